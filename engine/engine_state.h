// Process-wide values of the 3D engine that the rest of the program reads
// or resets: the render-target textures, the glow texture and the per-frame
// drawing statistics.
//
// The layer-effect loader reads the texture names when it loads a layer
// named "RT" (render target 0) or "GLOW"; the demo's frame loop sets the
// three counters to 0 at the top of every frame. All stay 0 until the
// engine's own code writes them: the demo never runs that code, so the
// textures are never made while it plays.
//
// Main thread only, like every user of the OpenGL context; nothing locks.
#pragma once

#include <cstdint>

// Number of render targets: full-picture copies of the frame buffer.
constexpr int _3DV_RENDER_TARGET_COUNT = 8;

// OpenGL texture names; 0 until the engine makes its textures.
extern uint32_t _3DV_RenderTargets[_3DV_RENDER_TARGET_COUNT];
extern uint32_t _3DV_GlowTexture;

// Drawing statistics of the current frame, increased by the engine's
// object and particle renderers, reset by the client.
extern int32_t _3DV_FacesDrawn;
extern int32_t _3DV_ObjectsDrawn;
extern int32_t _3DV_ParticlesDrawn;
