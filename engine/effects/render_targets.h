// Copies of the frame buffer as textures: eight 800 x 600 render targets
// and one small square glow texture (_3DV_RenderTargets and
// _3DV_GlowTexture, engine_state.h).
//
// Copies come from the lower-left corner of the current read buffer, so a
// caller draws what it wants there first. Render target 0 is the one the
// rest of the program shows: materials naming "$framebuffer$.jpg" and the
// layer effects' "RT" layers; "GLOW" layers show the glow texture. The two
// Init routines run once with a current context before any copy; new
// textures start transparent black. Every copy redefines its texture from
// its own arguments (a depth copy makes that target a 512 x 512 depth
// texture until the next colour copy), and every operation leaves 2D
// texturing on with its texture bound. A render-target number outside 0..7
// is ignored with a log line. The textures live until the program ends.
//
// Main thread only, with the context current.
#pragma once

#include <cstdint>

constexpr int32_t _3DV_RENDER_TARGET_WIDTH = 800;
constexpr int32_t _3DV_RENDER_TARGET_HEIGHT = 600;
constexpr int32_t _3DV_DEPTH_COPY_SIZE = 512;

void _3DV_InitFramebufferTexture();
void _3DV_CopyFramebuffer(int32_t n);
void _3DV_CopyDepthbuffer(int32_t n);
void _3DV_InitGlowTexture();
void _3DV_CopyGlow();
