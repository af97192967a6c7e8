// Scene 15, 120000 <= t < 152000: a field of sphere-mapped cubes streams
// towards a bobbing camera while 3391 flare particles travel along their
// own paths through the sixteen key shapes of the greetings frames, one
// key per 2000 ms beat, each drawn as an additive flare with a short trail,
// and every 32nd path is drawn as a faint polyline. A white flash layer and
// the small logo finish the frame.
//
// Everything is computed anew from the demo time each frame; the flare
// positions and brightness are scratch written before they are read. The
// scene reads the checker lattice, the image paths and the image weights
// of the procedural set-up and never changes them. Main thread only.
#pragma once

#include <cstdint>

#include "demo/curves.h"
#include "demo/procedural.h"

constexpr int32_t FLARE_SCENE_START = 120000;  // ms
constexpr int32_t FLARE_BEAT = 2000;           // ms per key row
constexpr int32_t FLARE_LAST_KEY = IMAGE_ROWS - 1;
constexpr int32_t FLARE_FIELD_DEPTH = 32;      // the cube field repeats every 32 units
constexpr int32_t FLARE_PATH_STRIDE = 32;      // every 32nd path is drawn as a line
constexpr int32_t FLARE_PATH_STEPS = 150;      // segments per drawn path

// The values a frame of the scene derives from the demo time t.
struct TFlareSceneValues {
  int32_t T;      // t with its lowest bit set: even and odd t draw alike
  int32_t u;      // T - 112000, kept in the frame's sync value
  float height;   // eye height h above 1
  TVec3 eye;      // E, the point distances are measured from
  int32_t beat;   // s: the key row the particles leave
  int32_t next;   // s2: the key row they head for (at most the last)
  float ease;     // f: progress within the beat, ((w mod 2000) / 2000)^8
  float shift;    // zs: depth shift of every flare and path
};

TFlareSceneValues FlareSceneValues(int32_t t);

// The cube field's depth wrap: the integer part (towards zero) modulo 32
// with the sign of z, plus the fractional part; z mod 32 for z >= 0.
float WrapFieldDepth(float z);

// Scratch of the current frame, written by UpdateFlares.
extern TVec3 FlarePositions[IMAGE_PARTICLES];
extern float FlareBrightness[IMAGE_PARTICLES];

// Every particle on its path at beat + ease, and its brightness eased from
// key row beat to key row next.
void UpdateFlares(const TFlareSceneValues &v);
