// The texture slot table: the demo side's texture manager.
//
// Turns an image file name and a filter type into an OpenGL texture name.
// Each (name, filter type) pair is loaded and uploaded once and shared by a
// reference count; the texture is deleted when its last user releases it.
// The table is a fixed array of 1001 slots. A texture that cannot be loaded
// or uploaded ends the program through the fatal exit, and so does a load
// when every slot is taken.
//
// Invariants: a slot is live while `free` is false; a live slot is found by
// (name, filter type) and by OpenGL id only once it is uploaded. Uploads
// choose the pixel format from the bitmap's real bytes per pixel (8 grey as
// luminance, 24 RGB, 32 RGBA; indexed images are expanded first, and PNG
// images with 16-bit or packed samples are brought to bytes), so OpenGL
// never reads past a level buffer; an image whose layout cannot be brought
// to bytes (16 bits per pixel: 16-bit grey or 8-bit grey with alpha) ends
// the program like one that cannot be loaded; images larger than the renderer's
// maximum are shrunk on the side that is too large.
//
// Threads: main thread only, with the OpenGL context current. OpenGL and
// GLU are called through the demo side's entry variables (window/gl_demo.h).
#pragma once

#include <cstdint>
#include <string_view>

#include "texture/loader.h"

constexpr int TX_SLOT_COUNT = 1001;
constexpr int TX_SLOT_NAME_MAX = 255;

// Filter types: what the slot's texture is minified and magnified with.
enum : int32_t {
  TX_FILTER_NEAREST = 0,
  TX_FILTER_LINEAR = 1,
  TX_FILTER_NEAREST_MIPMAP = 2,
  TX_FILTER_LINEAR_MIPMAP = 3,
};

struct txNode {
  char name[TX_SLOT_NAME_MAX + 1];  // "empty" after a reset
  int32_t id;                       // OpenGL texture name
  bool uploaded;
  bool free;
  int32_t filter;                   // filter type
  int32_t references;
  int32_t bits;                     // bits per pixel of the uploaded bitmap
};

extern txNode txNodes[TX_SLOT_COUNT];

int32_t txTexLoad(std::string_view name, int32_t filter);
void txTexRelease(int32_t id);
int32_t txTexBpp(int32_t id);
void txTexReset();
void txTexFreeAll();
void txTexReloadAll();
void txTexDump(std::string_view fileName);
// Uploads into the texture bound to GL_TEXTURE_2D: one level when oneLevel
// is 1, mipmaps built by GLU when 0 (images with their own levels upload
// those). An indexed bitmap is expanded to 24 bits in place first. Returns
// 0, or -1 with code 1005 for a bitmap whose layout cannot be uploaded.
int32_t txTexUpload(pxBitmap bitmap, int32_t oneLevel);
// The unit's initialisation: an empty table.
void txTexUnitInit();
