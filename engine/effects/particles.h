// Particle pools and the particle step.
//
// Every object of a scene may emit particles (its particledata); all
// emitters of a scene share one pool of slots, scene.particles with
// scene.particlecount entries. One call of _3DV_RenderParticles is one
// step: every enabled emitter emits newparticle particles at its tracked
// position plus pivot, every live particle is drawn as an additive,
// depth-tested camera-facing billboard, then moves by its velocity once
// and loses deltapower once; at power 0 or below its slot is free again.
// Motion is per step, not per unit of time; t only places the emitters.
//
// A new particle takes the first free slot, or the last slot when none is
// free. An emitter emits at most particlecount particles per step. The
// velocity of a new particle is deltavector plus, per component, a random
// offset in [-spread/2, spread/2) in steps of 1/10000; a negative (or not
// a number) spread counts as 0. The life fraction power / emitter power,
// which the fading and growing flags of colorattrib use, is 0 for an
// emitter of power 0.
//
// A pool that cannot be made (also a count of 0 or less) ends the program
// through the fatal exit. Allocating frees the scene's old pool first;
// freeing sets the count to 0, and a step on a scene without a pool does
// nothing. A particle whose emitter index no longer names an object of the
// scene is dropped. With no billboard basis (the camera looks along y
// alone) a step does nothing but leave depth writes on.
//
// Main thread only, with the context current and the camera of a scene
// render of the same frame in _3DV_CameraPos and _3DV_CameraTarget.
#pragma once

#include <cstdint>

#include "engine/scene/records.h"

// The pool is one of the arrays that copies of a scene record share (the
// project loader's cache hands out copies): allocating again or freeing it
// through one copy frees the pool every other copy still draws from, so
// only the record that loaded the scene, and no copy of it alive, may.
void _3DV_AllocParticles(_3DV_SCENE &scene, int32_t count);
void _3DV_FreeParticles(_3DV_SCENE &scene);
void _3DV_RenderParticles(_3DV_SCENE &scene, float t);
