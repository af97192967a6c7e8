// A loaded scene's textures, and handing a scene back.
//
// _3DV_LoadSceneTextures turns the texture names of the materials (texture
// and environment map) and of the particle emitters into OpenGL textures
// through the demo's texture slot table, which shares one texture between
// all users of the same file and filter type; the path is the folder, "/"
// and the name, cut to 255 characters. A textured material naming
// "$framebuffer$.jpg" shows render target 0 instead and keeps its bpp.
// _3DV_FreeSceneTextures gives back one reference for each texture the
// load took (each load needs its own release); a particle texture only
// while a load's reference is left, however the emitters were switched
// since. The name fields keep their values.
//
// _3DV_FreeScene returns every array of the scene to _3DV_MemFree (so every
// array of a scene comes from _3DV_MemGet) and deletes every buffer object
// its objects and shadow volumes hold, each once: it then clears the
// pointers, buffer names and counts, so the record describes an empty scene
// and a second call frees nothing. The particle pool is not the scene
// file's and is left alone. Scene copies share arrays: free only one.
//
// Main thread only, with the context current.
#pragma once

#include <string_view>

#include "engine/scene/records.h"

// The material texture name that shows render target 0.
constexpr std::string_view _3DV_FRAMEBUFFER_TEXTURE = "$framebuffer$.jpg";

void _3DV_LoadSceneTextures(_3DV_SCENE &scene, std::string_view folder);
void _3DV_FreeSceneTextures(_3DV_SCENE &scene);
void _3DV_FreeScene(_3DV_SCENE &scene);
