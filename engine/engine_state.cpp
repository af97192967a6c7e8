// The engine's shared values; see engine_state.h. They start at zero.
#include "engine/engine_state.h"

uint32_t _3DV_RenderTargets[_3DV_RENDER_TARGET_COUNT] = {};
uint32_t _3DV_GlowTexture = 0;

int32_t _3DV_FacesDrawn = 0;
int32_t _3DV_ObjectsDrawn = 0;
int32_t _3DV_ParticlesDrawn = 0;
