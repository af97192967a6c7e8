// The framework's texture manager: named OpenGL textures for the dialog
// engine.
//
// A texture is known by its name alone. It comes either from an image file
// (tmLoad, loaded once through the texture loader) or from a bitmap a
// caller rendered (tmLoadBitmap, widget text), and is uploaded with one of
// four filter modes. The bitmap stays with the node after the upload, so a
// texture can be uploaded again (tmReload) or given a new bitmap
// (tmReloadBitmap). References are counted but never decide removal.
//
// Ownership: the manager owns a node's bitmap from load (tmLoad) or
// registration (tmLoadBitmap) on, and tmDeleteAll frees every node's bitmap
// (one bitmap held under several names once). A bitmap a node drops is not
// freed, since its giver may still use it: the one tmReloadBitmap or
// tmLoadBitmap on a held name replaces, and the one of a node tmRemove
// takes away (take it with tmGetBitmap first to free it). A bitmap the
// manager refuses stays with the caller.
//
// Uploads choose the pixel format from the bitmap's real bytes per pixel
// (8 grey, 24 RGB or BGR, 32 RGBA or BGRA; indexed pixels are expanded
// through their palette; a PNG's 16-bit or packed samples are brought to
// bytes in a copy), with rows read unpadded, so OpenGL never reads
// past a pixel buffer; a bitmap that cannot be uploaded that way is
// refused with code 1005 before any OpenGL state changes.
//
// OpenGL and GLU are called through the framework's own entry tables
// (window/gl_stub.h). Main thread only, with the OpenGL context current.
#pragma once

#include <cstdint>

#include "framework/list.h"
#include "texture/loader.h"

// Filter modes: what a texture is minified and magnified with.
enum : int32_t {
  TM_FILTER_NEAREST = 0,
  TM_FILTER_LINEAR = 1,
  TM_FILTER_NEAREST_MIPMAP = 2,
  TM_FILTER_LINEAR_MIPMAP = 3,
};

// Error code of a name the manager does not hold.
constexpr int32_t TM_ERR_UNKNOWN = 14;

struct tmNode {
  char *name;          // tracked copy; the key, compared exactly
  uint32_t id;         // OpenGL texture name
  int32_t uploaded;    // the OpenGL texture exists
  int32_t references;  // loads and registrations, only counted up
  int32_t filter;      // filter mode
  pxBitmap bitmap;     // the image, the manager's (see Ownership)
};

// The managed textures, newest first (data: tmNode *), and the flag of the
// option "debug-tm".
extern SYS_List_p tmNodes;
extern int32_t tmDebug;

// Called with a node just before the manager lets its bitmap go: the node
// is removed (tmRemove, tmDeleteAll) or given another bitmap (tmLoadBitmap
// or tmReloadBitmap on its name). Whoever keeps facts about what a name
// holds drops them here, in step with the manager. NULL for no listener.
typedef void (*tmReleaseProc)(const tmNode *node);
extern tmReleaseProc tmOnRelease;

int32_t tmInit();
int32_t tmLoad(const char *name, int32_t filter);
int32_t tmLoadBitmap(const char *name, pxBitmap bitmap, int32_t filter);
int32_t tmReload(const char *name);
int32_t tmReloadBitmap(const char *name, pxBitmap bitmap);
int32_t tmBind(const char *name);
int32_t tmRemove(const char *name);
int32_t tmGetId(const char *name);
pxBitmap tmGetBitmap(const char *name);
int32_t tmDeleteAll();
tmNode *tmFind(const char *name);
int32_t tmUpload(tmNode *node);
