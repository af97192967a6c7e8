// The framework's texture manager: a list of named nodes, each an OpenGL
// texture with the bitmap it was made from.
//
// Every operation clears the last-error code on entry. A name the manager
// does not hold fails with code 14 and touches no OpenGL state. Before any
// upload the bitmap is checked against what OpenGL will read from it (pixel
// format by bytes per pixel, buffer sizes, the entry points the upload
// needs); a bitmap that fails is refused with code 1005 and nothing changes,
// so a node never holds a bitmap it could not upload. A PNG image in the
// library's sample layout is uploaded from an unpacked copy; the node keeps
// the bitmap as it was given.
//
// Bitmaps: the manager owns a node's bitmap from load or registration on
// and frees it only in tmDeleteAll. A bitmap a node drops (tmReloadBitmap,
// tmLoadBitmap on a held name, tmRemove) is not freed: whoever gave it may
// still use it, and the dropper takes it back (tmGetBitmap before removing).
#include "texture/texture_manager.h"

#include <algorithm>
#include <cstring>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "framework/log.h"
#include "framework/memory.h"
#include "framework/options.h"
#include "framework/strings.h"
#include "texture/convert.h"
#include "window/gl_stub.h"

SYS_List_p tmNodes = nullptr;
int32_t tmDebug = 0;
tmReleaseProc tmOnRelease = nullptr;

#define TM_DEBUG(...)                     \
  do {                                    \
    if (tmDebug) SYS_Log(1, __VA_ARGS__); \
  } while (0)

namespace {

gl_stub_table_t &gl = gl_stub_table;

// How a bitmap's pixels reach OpenGL.
struct UploadPlan {
  GLenum format = GL_RGBA;
  GLint components = 4;
  bool expand = false;  // indexed pixels: expanded through the palette first
};

bool MipmapsBuiltByGlu(const txBitmap *bitmap, int32_t filter) {
  return bitmap->levels < 2 && filter != TM_FILTER_NEAREST && filter != TM_FILTER_LINEAR;
}

// Whether the bitmap can be uploaded with the given filter, and how.
bool PlanUpload(const txBitmap *bitmap, int32_t filter, UploadPlan *plan) {
  if (!bitmap || bitmap->levels < 1 || bitmap->levels > TX_MAX_LEVELS || !bitmap->image[0] ||
      bitmap->width <= 0 || bitmap->height <= 0)
    return false;
  if (!gl.glEnable || !gl.glDeleteTextures || !gl.glGenTextures || !gl.glBindTexture ||
      !gl.glTexParameteri)
    return false;

  if (bitmap->type == TX_COMPRESSED)
    return gl.glCompressedTexImage2DARB && gl.glGetError && bitmap->imagesize[0] > 0;

  if (txSampleLayout(bitmap)) return false;  // unpacked first, see Prepare
  switch (bitmap->bits) {
    case 8:
      if (bitmap->subtype == TX_LAYOUT_INDEXED && bitmap->palette)
        *plan = {bitmap->type == TX_BLUE_FIRST ? GLenum(GL_BGR) : GLenum(GL_RGB), 3, true};
      else
        *plan = {GL_LUMINANCE, 1, false};
      break;
    case 24:
      *plan = {bitmap->subtype == TX_LAYOUT_RGB_DUMMY ? GLenum(GL_BGR) : GLenum(GL_RGB), 3, false};
      break;
    case 32:
      *plan = {bitmap->subtype == TX_LAYOUT_RGB_DUMMY ? GLenum(GL_BGRA) : GLenum(GL_RGBA), 4, false};
      break;
    default:
      return false;
  }
  size_t bytes = 0;
  if (!txPixelBytes(bitmap->width, bitmap->height, bitmap->bits, &bytes) || bitmap->imagesize[0] < bytes)
    return false;
  if (!gl.glPixelStorei || !gl.glGetIntegerv) return false;
  if (MipmapsBuiltByGlu(bitmap, filter)) return glu_stub_table.gluBuild2DMipmaps != nullptr;
  return gl.glTexImage2D != nullptr;
}

// The bitmap as OpenGL gets it: the node's own, or an unpacked copy when it
// holds a library's sample layout (the given bitmap is never changed).
struct Prepared {
  const txBitmap *bitmap = nullptr;
  pxBitmap copy = nullptr;
  UploadPlan plan;
  Prepared() = default;
  Prepared(const Prepared &) = delete;
  Prepared &operator=(const Prepared &) = delete;
  ~Prepared() {
    if (!copy) return;
    const int32_t code = SYS_ErrorGet();  // txFree clears it
    txFree(&copy);
    if (code) SYS_ErrorSet(code);
  }
};

// False with the reason's code: 1004 or 1005 from the unpacking, 5, or 1005
// for a bitmap OpenGL would read past.
bool Prepare(const txBitmap *bitmap, int32_t filter, Prepared *p) {
  p->bitmap = bitmap;
  if (txSampleLayout(bitmap)) {
    p->copy = txDup(const_cast<pxBitmap>(bitmap));
    if (!p->copy || txUnpack(p->copy) != 0) return false;
    p->bitmap = p->copy;
  }
  if (!PlanUpload(p->bitmap, filter, &p->plan)) {
    SYS_ErrorSet(TX_ERR_LAYOUT);
    return false;
  }
  return true;
}

// The pixels of one level as OpenGL should read them, or NULL when the
// level's buffer is missing or shorter than its size says.
const uint8_t *LevelPixels(const txBitmap *bitmap, int32_t level, int32_t w, int32_t h,
                           const UploadPlan &plan, std::vector<uint8_t> &scratch) {
  size_t bytes = 0;
  if (!bitmap->image[level] || !txPixelBytes(w, h, bitmap->bits, &bytes) ||
      bitmap->imagesize[level] < bytes)
    return nullptr;
  if (!plan.expand) return bitmap->image[level];
  scratch.resize(bytes * 3);
  txExpandPalette(bitmap->image[level], scratch.data(), bytes, bitmap->palette);
  return scratch.data();
}

void SetFilters(int32_t filter) {
  struct Filters {
    GLint mag, min;
  };
  static const Filters kFilters[] = {
      {GL_NEAREST, GL_NEAREST},                 // TM_FILTER_NEAREST
      {GL_LINEAR, GL_LINEAR},                   // TM_FILTER_LINEAR
      {GL_NEAREST, GL_NEAREST_MIPMAP_NEAREST},  // TM_FILTER_NEAREST_MIPMAP
      {GL_LINEAR, GL_LINEAR_MIPMAP_LINEAR},     // TM_FILTER_LINEAR_MIPMAP
  };
  if (filter >= 0 && filter < 4) {
    gl.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, kFilters[filter].mag);
    gl.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, kFilters[filter].min);
  }
  gl.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP);
  gl.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP);
}

void UploadCompressed(const tmNode *node, const txBitmap *b) {
  gl.glTexParameteri(GL_TEXTURE_2D, GL_GENERATE_MIPMAP, 0);
  int32_t w = b->width, h = b->height;
  for (int32_t n = 0; n < b->levels; ++n) {
    if (!b->image[n] || b->imagesize[n] == 0) break;
    gl.glCompressedTexImage2DARB(GL_TEXTURE_2D, n, GLenum(b->subtype), std::max(1, w), std::max(1, h), 0,
                                 GLsizei(b->imagesize[n]), b->image[n]);
    GLenum error = gl.glGetError();
    if (error != GL_NO_ERROR) {
      SYS_Log(1, "[TM] Texture upload error: %d (0x%04x)\n", error, error);
      SYS_Log(1, "[TM]  - node's name: %s\n", node->name);
    }
    w /= 2;
    h /= 2;
  }
  gl.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, b->levels - 1);
}

void UploadPixels(const tmNode *node, const txBitmap *b, const UploadPlan &plan) {
  // Level buffers hold rows without padding, whatever their width.
  GLint alignment = 4;
  gl.glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
  gl.glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  std::vector<uint8_t> scratch;

  if (b->levels < 2) {
    const uint8_t *pixels = LevelPixels(b, 0, b->width, b->height, plan, scratch);
    if (MipmapsBuiltByGlu(b, node->filter))
      glu_stub_table.gluBuild2DMipmaps(GL_TEXTURE_2D, plan.components, b->width, b->height, plan.format,
                                       GL_UNSIGNED_BYTE, pixels);
    else
      gl.glTexImage2D(GL_TEXTURE_2D, 0, plan.components, b->width, b->height, 0, plan.format,
                      GL_UNSIGNED_BYTE, pixels);
  } else {
    gl.glTexParameteri(GL_TEXTURE_2D, GL_GENERATE_MIPMAP, 0);
    int32_t w = b->width, h = b->height, uploaded = 0;
    for (int32_t n = 0; n < b->levels; ++n) {
      const int32_t lw = std::max(1, w), lh = std::max(1, h);
      const uint8_t *pixels = LevelPixels(b, n, lw, lh, plan, scratch);
      if (!pixels) break;  // a short level ends the chain; OpenGL gets what is whole
      gl.glTexImage2D(GL_TEXTURE_2D, n, plan.components, lw, lh, 0, plan.format, GL_UNSIGNED_BYTE, pixels);
      ++uploaded;
      w /= 2;
      h /= 2;
    }
    gl.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, std::max(0, uploaded - 1));
  }
  gl.glPixelStorei(GL_UNPACK_ALIGNMENT, alignment);
}

void DeleteTexture(tmNode *node) {
  if (!node->uploaded) return;
  gl.glDeleteTextures(1, &node->id);
  node->uploaded = 0;
}

// The nodes by name, in step with tmNodes at every add and removal, so a
// lookup costs the same however many textures are held. Never destroyed:
// the manager may be emptied from an exit handler.
std::unordered_map<std::string_view, tmNode *> &Index() {
  static auto *index = new std::unordered_map<std::string_view, tmNode *>;
  return *index;
}

// Puts a new node in front of the list; false when the list cannot take it.
bool Register(tmNode *node) {
  SYS_List_p head = SYS_ListAddFirst(tmNodes, node);
  if (!head) return false;
  tmNodes = head;
  Index()[node->name] = node;
  return true;
}

void Releasing(const tmNode *node) {
  if (tmOnRelease) tmOnRelease(node);
}

// Takes a node out of the list and the index, before its name is freed.
void Unregister(tmNode *node) {
  tmNodes = SYS_ListRemove(tmNodes, node);
  Index().erase(node->name);
}

// Frees the node and its name; its bitmap stays where it is.
void FreeNode(tmNode *node) {
  SYS_MEMFREE(node->name);
  SYS_MEMFREE(node);
}

tmNode *NewNode(const char *name) {
  auto *node = SYS_MEMGET(tmNode, 1, "tmLoad: New node");
  if (!node) return nullptr;
  node->name = STRDUP(name);
  if (!node->name) SYS_MEMFREE(node);
  return node;
}

// The node of a name, or NULL with the code set (10 no name, 14 unknown).
tmNode *Lookup(const char *name) {
  SYS_ErrorClear();
  if (!name) {
    SYS_ErrorSet(10);
    return nullptr;
  }
  return tmFind(name);
}

}  // namespace

int32_t tmInit() {
  tmDebug = SYS_CfgGet("debug-tm", SYS_CFG_FLAG) > 0;
  SYS_ErrorClear();
  return 0;
}

tmNode *tmFind(const char *name) {
  if (name) {
    const auto it = Index().find(name);
    if (it != Index().end()) return it->second;
  }
  SYS_ErrorSet(TM_ERR_UNKNOWN);
  return nullptr;
}

namespace {

// tmUpload; on refusal -1 with code 1005, and *reason the code that says
// why (1004: a layout that cannot be brought to bytes).
int32_t Upload(tmNode *node, int32_t *reason) {
  SYS_ErrorClear();
  Prepared prepared;
  if (!node || !Prepare(node->bitmap, node->filter, &prepared)) {
    const int32_t code = SYS_ErrorGet();
    if (reason) *reason = code;
    SYS_ErrorSet(TX_ERR_LAYOUT);
    return -1;
  }
  gl.glEnable(GL_TEXTURE_2D);
  gl.glDeleteTextures(1, &node->id);  // nothing to delete for a new node's id 0
  gl.glGenTextures(1, &node->id);
  gl.glBindTexture(GL_TEXTURE_2D, node->id);
  TM_DEBUG("[TM] Upload texture: %s\n", node->name);
  SetFilters(node->filter);
  if (prepared.bitmap->type == TX_COMPRESSED)
    UploadCompressed(node, prepared.bitmap);
  else
    UploadPixels(node, prepared.bitmap, prepared.plan);
  node->uploaded = 1;
  return 0;
}

}  // namespace

int32_t tmUpload(tmNode *node) { return Upload(node, nullptr); }

int32_t tmLoad(const char *name, int32_t filter) {
  tmNode *node = Lookup(name);
  if (!name) return -1;
  SYS_ErrorClear();
  if (node) {
    if (!node->uploaded && tmUpload(node) != 0) return -1;
    node->references += 1;
    gl.glEnable(GL_TEXTURE_2D);
    gl.glBindTexture(GL_TEXTURE_2D, node->id);
    TM_DEBUG("[TM] Load texture from cache: %s\n", name);
    return int32_t(node->id);
  }

  node = NewNode(name);
  if (!node) {
    SYS_ErrorSet(5);
    return -1;
  }
  TM_DEBUG("[TM]  ! New node: %s\n", name);
  node->references = 1;
  node->filter = filter;
  node->bitmap = txLoad(name);
  // An image that cannot be uploaded counts as one that cannot be loaded.
  int32_t reason = 0;
  if (!node->bitmap || Upload(node, &reason) != 0) {
    SYS_Log(1, "[TM]  ! texture loading error: %d\n", node->bitmap ? reason : txGetError());
    if (node->bitmap) txFree(&node->bitmap);
    FreeNode(node);
    SYS_ErrorSet(TX_ERR_LAYOUT);
    return -1;
  }
  if (!Register(node)) {
    DeleteTexture(node);
    txFree(&node->bitmap);
    FreeNode(node);
    SYS_ErrorSet(5);
    return -1;
  }
  return int32_t(node->id);
}

int32_t tmLoadBitmap(const char *name, pxBitmap bitmap, int32_t filter) {
  SYS_ErrorClear();
  if (!name || !bitmap) {
    SYS_ErrorSet(10);
    return -1;
  }
  TM_DEBUG("[TM] New node from bitmap: %s\n", name);
  {
    Prepared check;
    if (!Prepare(bitmap, filter, &check)) {
      SYS_ErrorGet();
      SYS_ErrorSet(TX_ERR_LAYOUT);
      return -1;
    }
  }
  tmNode *node = tmFind(name);
  SYS_ErrorClear();
  if (!node) {
    node = NewNode(name);
    if (!node || !Register(node)) {
      if (node) FreeNode(node);
      SYS_ErrorSet(5);
      return -1;
    }
  }
  node->references += 1;
  node->filter = filter;
  if (node->bitmap && node->bitmap != bitmap) Releasing(node);
  node->bitmap = bitmap;  // a bitmap the node held before is not freed
  if (tmUpload(node) != 0) return -1;
  return int32_t(node->id);
}

int32_t tmReload(const char *name) {
  tmNode *node = Lookup(name);
  if (!node) return -1;
  SYS_ErrorClear();
  TM_DEBUG("[TM] Reload texture: %s\n", name);
  gl.glEnable(GL_TEXTURE_2D);
  DeleteTexture(node);
  return tmUpload(node);
}

int32_t tmReloadBitmap(const char *name, pxBitmap bitmap) {
  tmNode *node = Lookup(name);
  if (!node) return -1;
  SYS_ErrorClear();
  if (!bitmap) {
    SYS_ErrorSet(10);
    return -1;
  }
  {
    Prepared check;
    if (!Prepare(bitmap, node->filter, &check)) {
      SYS_ErrorGet();
      SYS_ErrorSet(TX_ERR_LAYOUT);
      return -1;
    }
  }
  TM_DEBUG("[TM] Reload texture from bitmap: %s\n", name);
  gl.glEnable(GL_TEXTURE_2D);
  DeleteTexture(node);
  if (node->bitmap != bitmap) Releasing(node);
  node->bitmap = bitmap;  // the bitmap it replaces is not freed
  return tmUpload(node);
}

int32_t tmBind(const char *name) {
  tmNode *node = Lookup(name);
  if (!node) return -1;
  if (node->uploaded) {
    gl.glEnable(GL_TEXTURE_2D);
    gl.glBindTexture(GL_TEXTURE_2D, node->id);
  }
  return 0;
}

int32_t tmRemove(const char *name) {
  tmNode *node = Lookup(name);
  if (!node) return -1;
  TM_DEBUG("[TM] Remove texture: '%s'\n", name);
  DeleteTexture(node);
  Releasing(node);
  Unregister(node);
  FreeNode(node);  // the bitmap is not freed
  SYS_ErrorClear();
  return 0;
}

int32_t tmGetId(const char *name) {
  tmNode *node = Lookup(name);
  return node ? int32_t(node->id) : -1;
}

pxBitmap tmGetBitmap(const char *name) {
  tmNode *node = Lookup(name);
  return node ? node->bitmap : nullptr;
}

int32_t tmDeleteAll() {
  SYS_ErrorClear();
  if (!tmNodes) return 0;
  TM_DEBUG("[TM] Delete all loaded textures:\n");
  // Each node leaves the list and the index before its name is freed, so a
  // release listener finds only nodes still held, and the bitmaps are freed
  // once every node is gone, so none it finds has lost its bitmap to a node
  // that shared it. One bitmap registered under several names is freed once.
  std::unordered_set<pxBitmap> bitmaps;
  while (tmNodes) {
    auto *node = static_cast<tmNode *>(tmNodes->data);
    TM_DEBUG("[TM]  - '%s'\n", node->name);
    DeleteTexture(node);
    Releasing(node);
    Unregister(node);
    if (node->bitmap) bitmaps.insert(node->bitmap);
    FreeNode(node);
  }
  for (pxBitmap b : bitmaps) txFree(&b);
  SYS_ErrorClear();
  return 0;
}
