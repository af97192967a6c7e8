// The scene-file writer: a scene record written as chunks in a fixed order
// (scene fields, every material, every object with its arrays, the camera
// tracks, the eight lights), so that the reader gives back every field the
// file carries. What the reader derives and what is set at run time (pass
// count, normals, tangents, shadow arrays, GL names, particles) is left
// out. Files carry version 1.2 and, in chunk 87, a chunk count that no
// reader uses.
//
// A scene with an absent or short array, or one the reader would refuse
// (see _3DV_CheckScene), is refused: nothing is written. The scene record is never modified.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/scene/records.h"

// The value of chunk 87: 12, 22 per material, 33 per object plus its
// optional arrays, 7 per light plus its key track, one per camera track.
int32_t _3DV_ChunkCount(const _3DV_SCENE &scene);

// Appends one stored chunk: "Z!", element type, chunk id, count, byte size
// (count x element size), packed size 0, index, then the data. A
// ShortString element goes out as its length and characters, zero-filled
// to 256 bytes.
void _3DV_WriteChunk(std::vector<uint8_t> &out, uint8_t type, uint8_t id, int32_t count,
                     int32_t index, const void *data);

// The whole file into out; false with the reason when the scene is refused.
bool _3DV_WriteSceneBytes(const _3DV_SCENE &scene, std::vector<uint8_t> &out, std::string &error);

// Writes the file. A refused scene logs the reason and answers false with
// no file made. A file that cannot be created, written or closed is
// removed and ends the process through the fatal exit, naming the file.
bool _3DV_SaveScene(const _3DV_SCENE &scene, std::string_view filename);
