// Process-wide settings and counters of the 3D engine, shared by all its
// renderers, with their setters, the engine's log line and the screen clear.
//
// _3DV_EngineUnitInit gives every setting its start value; it runs once at
// program start among the engine's module initialisations. The camera
// position and target are those of the last scene render, so before any
// render distance culling measures from the origin.
//
// The render-target and glow texture names are read by the layer-effect
// loader when it loads a layer named "RT" (render target 0) or "GLOW"; the
// demo's frame loop sets the three draw counters to 0 at the top of every
// frame and the engine only adds to them. All stay 0 until the engine's own
// code writes them: the demo never runs that code, so the textures are
// never made while it plays.
//
// Main thread only, like every user of the OpenGL context; nothing locks.
#pragma once

#include <cstdint>
#include <string_view>

#include "engine/scene/records.h"

// Number of render targets: full-picture copies of the frame buffer.
constexpr int _3DV_RENDER_TARGET_COUNT = 8;

// OpenGL texture names; 0 until the engine makes its textures.
extern uint32_t _3DV_RenderTargets[_3DV_RENDER_TARGET_COUNT];
extern uint32_t _3DV_GlowTexture;

// Translation applied after each object's own transform.
extern _3DV_VECTOR _3DV_Offset;
// Scale after _3DV_Offset, and the scale of the projection.
extern float _3DV_SceneScale[3];
extern float _3DV_ProjectionScale;
// Kept for clients; no renderer reads them.
extern float _3DV_Scale[3];
extern _3DV_RGB _3DV_Color;
// Point size of the flare occlusion probes.
extern int32_t _3DV_FlarePointSize;
// Side in pixels of the square glow texture.
extern int32_t _3DV_GlowSize;
// Maximum anisotropic filtering on material textures.
extern _3DV_BOOLEAN _3DV_Anisotropic;
extern _3DV_BOOLEAN _3DV_ClipPlaneEnabled;
extern double _3DV_ClipPlane[4];
// Below 0 every face of an object is drawn, else that leading share.
extern float _3DV_FaceFraction;
extern _3DV_VECTOR _3DV_CameraPos;
extern _3DV_VECTOR _3DV_CameraTarget;

// Drawing statistics of the current frame, increased by the engine's
// object and particle renderers, reset by the client.
extern int32_t _3DV_FacesDrawn;
extern int32_t _3DV_ObjectsDrawn;
extern int32_t _3DV_ParticlesDrawn;

// Module initialisation: the start values above.
void _3DV_EngineUnitInit();

void _3DV_SetColor(float r, float g, float b);
void _3DV_SetScale(float x, float y, float z);
void _3DV_SetOffset(float x, float y, float z);

// One line of the framework log, at level 1 and without a module tag: the
// engine's messages begin with their own text. Cut to 255 characters.
void _3DV_Log(std::string_view message);

// Clears colour, depth and stencil to zero (colour and depth in one call,
// stencil in a second). Needs the current context.
void _3DV_ClearScreen();
