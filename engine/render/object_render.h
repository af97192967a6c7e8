// Drawing one object of a loaded scene at an animation frame t.
//
//   _3DV_RenderObject       the full renderer: fog, transform with the
//                           engine's world offset and scale, distance
//                           culling, culling, lighting, texture, material,
//                           buffer-object draw, environment layer;
//   _3DV_RenderObjectVBO    for the buffer-object scene renderer: no fog,
//                           offset, scale, anisotropy, scrolling or
//                           environment layer, but the light factor and
//                           vertex colours;
//   _3DV_RenderObjectLines  the faces as grey line segments;
//   _3DV_RenderObjectDepth  the faces in black, lighting and texturing off,
//                           from memory (the flare occlusion pass).
//
// The scene renderers pick the objects and set blend, alpha-test and depth
// states; these never read visible, passno or those material codes. Each
// pushes the model-view matrix and pops it before returning; every other
// state it sets stays for the next draw, as every draw sets its own again.
//
// An index outside the scene, or an object whose material index does not
// name a material (for the two that read one), draws nothing and changes no
// state, except that the lines renderer always leaves line width 2 and
// depth function GL_LESS. Both buffer bindings are 0 before anything is
// drawn from client memory and after every buffer-object draw, so no
// client pointer is ever read as a buffer offset. A face fraction above 1
// draws every face. Shininess is clamped to OpenGL's 0..128.
//
// Main thread only, with the context current; the buffer-object entry
// points are checked on first use.
#pragma once

#include <cstdint>

#include "engine/scene/records.h"

void _3DV_RenderObject(const _3DV_SCENE &scene, int32_t index, float t);
void _3DV_RenderObjectVBO(const _3DV_SCENE &scene, int32_t index, float t);
void _3DV_RenderObjectLines(const _3DV_SCENE &scene, int32_t index, float t, float grey);
void _3DV_RenderObjectDepth(const _3DV_SCENE &scene, int32_t index, float t);

// Ends the program through the fatal exit when an entry point of the
// engine's buffer-object calls is missing; checks once.
void _3DV_RequireBufferObjects();

// Both buffer bindings back to 0, so pointers name client memory again.
void _3DV_UnbindBuffers();

// The object at index, or null outside the scene; its material, or null
// when the object's material index names none.
const _3DV_OBJECT *_3DV_ObjectAt(const _3DV_SCENE &scene, int32_t index);
const _3DV_MATERIAL *_3DV_MaterialOf(const _3DV_SCENE &scene, const _3DV_OBJECT &object);
