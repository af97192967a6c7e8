// The chunked scene file ("Z!" chunks), read into a caller's scene record.
//
// A file is a flat run of chunks with no header. A chunk is the magic "Z!",
// an element type byte (0..13), a chunk id byte, then four little-endian
// LongInts (count, byte size, packed size, index) and byte size bytes of
// data. Each chunk fills one field of the scene, of material, object or
// light `index`, or one whole array. Bytes that do not start a chunk are
// stepped over four at a time.
//
// Reading is split in three:
//   - _3DV_ParseScene takes the bytes and does everything that needs no
//     OpenGL: the chunks, the checks of the finished scene, and the derived
//     data (pass count, face normals and centres, tangents, neighbours,
//     shadow-volume arrays). It answers false with a message naming what is
//     wrong, and then the record is as it was before the call;
//   - _3DV_UploadScene makes the buffer objects, four names per object,
//     each with a data store only for an array the object holds; needs the
//     current context;
//   - _3DV_ParseSceneFile does the same for an open file, from where it
//     stands, read as the chunk loop goes: only the chunks the scene keeps
//     are read into memory, everything else is stepped over, so a file
//     costs memory for what it holds, not for its size. A pipe, a FIFO or
//     a terminal is read to its end as a stream and gives what the same
//     bytes in a plain file give;
//   - _3DV_LoadScene does both for a file and ends the process, naming the
//     file, when it cannot be read or holds a scene that some later step
//     would read out of bounds.
//
// The record is not cleared first: fields the file does not carry keep what
// the caller left in them. A load never frees, nor writes into, an array it
// did not make in the same call, since copies of a record share its arrays
// (a record that already holds materials or objects gets its own copy of
// those records before the load changes them). Arrays it replaces stay
// with their owner: _3DV_FreeSceneArrays gives a record's arrays back.
//
// Main thread only: the upload uses the context.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "engine/scene/records.h"

// The shadow volumes take 144 bytes per face of the whole scene; more faces
// than this are not a scene the engine can hold.
constexpr int64_t _3DV_MAX_SCENE_FACES = INT32_MAX / 144;

bool _3DV_ParseScene(_3DV_SCENE &scene, const uint8_t *bytes, size_t size, std::string &error);
// unreadable: the refusal is the file's reading ("cannot be read"), not
// its bytes.
bool _3DV_ParseSceneFile(_3DV_SCENE &scene, std::FILE *file, bool &unreadable, std::string &error);
void _3DV_UploadScene(_3DV_SCENE &scene);
void _3DV_LoadScene(_3DV_SCENE &scene, std::string_view filename);

// One line of the log.
void _3DV_LoadLog(std::string_view text);

// Fills the object's neighbours (facecount entries, present) from the
// corner indices of origfaces: entry e of face i is the face across the
// edge from corner e to corner (e + 1) mod 3, or -1. Faces are paired in
// ascending order and an edge that already has a neighbour is not matched
// again, so of more than two faces on one edge the first two pair up and a
// later one may overwrite the entry of the second.
// Runs in O(n log n); _3DV_CalcNeighboursPairwise is the same search over
// every pair of faces, in O(n^2), which defines the result.
void _3DV_CalcNeighbours(_3DV_OBJECT &object);
void _3DV_CalcNeighboursPairwise(_3DV_OBJECT &object);

// Tangent and binormal of one triangle from its corners and texture
// triples (u, v, 0). Components whose determinant is within 1e-5 of zero
// are 0.
void _3DV_FaceTangent(const _3DV_VECTOR p[3], const _3DV_VECTOR t[3], _3DV_VECTOR &tangent,
                      _3DV_VECTOR &binormal);
void _3DV_Set2(_3DV_VECTOR &triple, float a, float b);

// Whether the scene can be written so that it reads back: every array the
// file carries present where its count or flag needs it and not shorter
// than its count where its size is known, every count non-negative, no
// more materials and objects than their array types admit (5001 and
// 8001), corner, strip and neighbour indexes in range. A material index
// out of range is written as it is. An empty string when the scene
// passes, else what is wrong, naming the object or light and field.
std::string _3DV_CheckScene(const _3DV_SCENE &scene);

// Frees every array the reader made (chunk arrays, materials, objects,
// derived data), each to the allocator it came from, and sets the
// pointers to null and the material, object and key counts to 0. The
// particle pool and GL names are left alone.
void _3DV_FreeSceneArrays(_3DV_SCENE &scene);
