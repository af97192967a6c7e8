// The texture slot table; see slot_table.h.
//
// OpenGL errors are not asked for: everything handed to OpenGL is checked
// here first (format from the real depth, level sizes against their
// buffers, unpack alignment of 1 for rows of any width), so a call either
// gets consistent data or is not made.
#include "texture/slot_table.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "framework/sys.h"
#include "texture/convert.h"
#include "window/gl_demo.h"
#include "window/wm.h"

txNode txNodes[TX_SLOT_COUNT];

namespace {

constexpr int32_t TX_PARAM_DXT1 = 0x83F0;
constexpr int32_t TX_PARAM_DXT3 = 0x83F2;
constexpr int32_t TX_PARAM_DXT5 = 0x83F3;

struct txFilterParams {
  GLint mag;
  GLint min;
  int32_t oneLevel;  // 1: one level with glTexImage2D, 0: GLU mipmaps
};

// Filter types 0..3 in order.
const txFilterParams txFilterTable[] = {
    {GL_NEAREST, GL_NEAREST, 1},
    {GL_LINEAR, GL_LINEAR, 1},
    {GL_NEAREST, GL_NEAREST_MIPMAP_NEAREST, 0},
    {GL_LINEAR, GL_LINEAR_MIPMAP_LINEAR, 0},
};

std::string_view cutName(std::string_view name) {
  return name.substr(0, std::min<size_t>(name.size(), TX_SLOT_NAME_MAX));
}

void resetSlot(txNode &slot) {
  std::strcpy(slot.name, "empty");
  slot.id = 0;
  slot.uploaded = false;
  slot.free = true;
  slot.filter = TX_FILTER_LINEAR_MIPMAP;
  slot.references = 0;
  slot.bits = 0;
}

void passDxtSupport() {
  txSetParam(TX_PARAM_DXT1, glExtFlags.dxt1);
  txSetParam(TX_PARAM_DXT3, glExtFlags.dxt3);
  txSetParam(TX_PARAM_DXT5, glExtFlags.dxt5);
}

[[noreturn]] void loaderError(std::string_view name) {
  wmFatal("Error occoured ! Texture Loader Error. ( " + std::string(name) + " )");
}

// An indexed bitmap becomes 24-bit pixels in the channel order the loader
// hands out for true-colour images, so both upload alike.
int32_t expandIndexed(txBitmap *bitmap) {
  if (bitmap->bits != 8 || bitmap->subtype != TX_LAYOUT_INDEXED || !bitmap->palette) return 0;
  if (txExpandIndexed(bitmap) != 0) return -1;
  const int32_t order = txSetParam(12, 0);
  if (bitmap->type != order && txSwapRB(bitmap) == 0) bitmap->type = order;
  return 0;
}

// Brings a bitmap to a layout OpenGL takes as bytes: a library's sample
// layout unpacked, then indexed pixels expanded; -1 with the code set when
// it cannot be.
int32_t prepareBitmap(txBitmap *bitmap) {
  if (txSampleLayout(bitmap)) {
    if (txUnpack(bitmap) != 0) return -1;
    const int32_t order = txSetParam(12, 0);
    if (bitmap->type != order && txSwapRB(bitmap) == 0) bitmap->type = order;
  }
  return expandIndexed(bitmap);
}

// Shrinks a one-level image that exceeds the renderer's maximum on either
// side to fit it; images with their own levels drop the large ones at upload.
void fitMaximum(txBitmap *bitmap, std::string_view name) {
  const int32_t max = glExtFlags.maxTextureSize;
  if (max <= 0 || (bitmap->width <= max && bitmap->height <= max)) return;
  const int32_t w = std::min(bitmap->width, max), h = std::min(bitmap->height, max);
  pasLog(" - scaling down " + std::string(name));
  pasLog("   - " + std::to_string(bitmap->width) + "x" + std::to_string(bitmap->height) + " -> " +
         std::to_string(w) + "x" + std::to_string(h));
  if (bitmap->levels == 1 && bitmap->type != TX_COMPRESSED) txScale(bitmap, w, h);
}

// Binds a new texture to the slot and uploads the bitmap with the slot's
// filter type; false when the bitmap cannot be uploaded.
bool uploadSlot(txNode &slot, txBitmap *bitmap) {
  GLuint id = 0;
  dgl::glGenTextures(1, &id);
  slot.id = int32_t(id);
  dgl::glBindTexture(GL_TEXTURE_2D, id);
  slot.bits = bitmap->bits;
  if (slot.filter >= 0 && slot.filter <= 3) {
    const txFilterParams &p = txFilterTable[slot.filter];
    dgl::glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, p.mag);
    dgl::glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, p.min);
    if (txTexUpload(bitmap, p.oneLevel) != 0) return false;
  }
  slot.uploaded = true;
  return true;
}

struct txPixelFormat {
  GLenum format;
  GLint components;
};

bool pixelFormat(int32_t bits, txPixelFormat *pf) {
  switch (bits) {
    case 8: *pf = {GL_LUMINANCE, 1}; return true;
    case 24: *pf = {GL_RGB, 3}; return true;
    case 32: *pf = {GL_RGBA, 4}; return true;
    default: return false;
  }
}

}  // namespace

int32_t txTexUpload(pxBitmap bitmap, int32_t oneLevel) {
  if (!bitmap || !bitmap->image[0] || bitmap->levels < 1 || bitmap->levels > TX_MAX_LEVELS) {
    SYS_ErrorSet(TX_ERR_LAYOUT);
    return -1;
  }
  const int32_t max = glExtFlags.maxTextureSize;
  auto tooLarge = [max](int32_t w, int32_t h) { return max > 0 && (w > max || h > max); };

  if (bitmap->type == TX_COMPRESSED) {
    dgl::glTexParameteri(GL_TEXTURE_2D, GL_GENERATE_MIPMAP, 0);
    int32_t level = 0;
    for (int32_t n = 0; n < bitmap->levels && bitmap->image[n]; ++n) {
      const int32_t w = std::max(1, bitmap->width >> n), h = std::max(1, bitmap->height >> n);
      if (tooLarge(w, h)) continue;
      if (dgl::glCompressedTexImage2DARB)
        dgl::glCompressedTexImage2DARB(GL_TEXTURE_2D, level, GLenum(bitmap->subtype), w, h, 0,
                                       GLsizei(bitmap->imagesize[n]), bitmap->image[n]);
      ++level;
    }
    dgl::glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, std::max(0, level - 1));
    return 0;
  }

  if (prepareBitmap(bitmap) != 0) return -1;
  txPixelFormat pf = {};
  size_t bytes0 = 0;
  if (!pixelFormat(bitmap->bits, &pf) ||
      !txPixelBytes(bitmap->width, bitmap->height, bitmap->bits, &bytes0) ||
      bitmap->imagesize[0] < bytes0) {
    SYS_ErrorSet(TX_ERR_LAYOUT);
    return -1;
  }

  // Rows are packed without padding whatever their width.
  GLint alignment = 4;
  dgl::glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
  dgl::glPixelStorei(GL_UNPACK_ALIGNMENT, 1);

  if (bitmap->levels > 1) {
    dgl::glTexParameteri(GL_TEXTURE_2D, GL_GENERATE_MIPMAP, 0);
    int32_t level = 0;
    for (int32_t n = 0; n < bitmap->levels && bitmap->image[n]; ++n) {
      const int32_t w = std::max(1, bitmap->width >> n), h = std::max(1, bitmap->height >> n);
      size_t bytes = 0;
      if (!txPixelBytes(w, h, bitmap->bits, &bytes) || bitmap->imagesize[n] < bytes) break;
      if (tooLarge(w, h)) continue;
      dgl::glTexImage2D(GL_TEXTURE_2D, level, pf.components, w, h, 0, pf.format,
                        GL_UNSIGNED_BYTE, bitmap->image[n]);
      ++level;
    }
    dgl::glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, std::max(0, level - 1));
  } else if (oneLevel == 0) {
    dgl::gluBuild2DMipmaps(GL_TEXTURE_2D, pf.components, bitmap->width, bitmap->height,
                           pf.format, GL_UNSIGNED_BYTE, bitmap->image[0]);
  } else {
    dgl::glTexImage2D(GL_TEXTURE_2D, 0, pf.components, bitmap->width, bitmap->height, 0,
                      pf.format, GL_UNSIGNED_BYTE, bitmap->image[0]);
  }
  dgl::glPixelStorei(GL_UNPACK_ALIGNMENT, alignment);
  return 0;
}

int32_t txTexLoad(std::string_view fullName, int32_t filter) {
  const std::string_view name = cutName(fullName);
  passDxtSupport();

  int32_t result = 0;
  for (txNode &slot : txNodes) {
    if (!slot.free && slot.uploaded && slot.filter == filter && name == slot.name) {
      result = slot.id;
      slot.references += 1;
    }
  }
  if (result != 0) return result;

  txNode *slot = std::find_if(std::begin(txNodes), std::end(txNodes),
                              [](const txNode &s) { return s.free; });
  if (slot == std::end(txNodes))
    wmFatal("Error occoured ! Texture slot table full. ( " + std::string(name) + " )");
  std::memcpy(slot->name, name.data(), name.size());
  slot->name[name.size()] = '\0';
  slot->free = false;
  slot->filter = filter;
  slot->references = 1;

  pxBitmap bitmap = txLoadBitmap(name);
  if (!bitmap) loaderError(name);
  if (prepareBitmap(bitmap) != 0) loaderError(name);
  fitMaximum(bitmap, name);
  if (!uploadSlot(*slot, bitmap)) loaderError(name);
  txFree(&bitmap);
  return slot->id;
}

void txTexRelease(int32_t id) {
  for (txNode &slot : txNodes) {
    if (slot.free || !slot.uploaded || slot.id != id) continue;
    slot.references -= 1;
    if (slot.references < 1) {
      const GLuint name = GLuint(id);
      dgl::glDeleteTextures(1, &name);
      slot.free = true;
      slot.uploaded = false;
    }
  }
}

int32_t txTexBpp(int32_t id) {
  int32_t bits = 0;
  for (const txNode &slot : txNodes)
    if (!slot.free && slot.uploaded && slot.id == id) bits = slot.bits;
  return bits;
}

void txTexReset() {
  for (txNode &slot : txNodes) resetSlot(slot);
}

void txTexFreeAll() {
  for (txNode &slot : txNodes) {
    if (!slot.free && slot.uploaded) {
      const GLuint name = GLuint(slot.id);
      dgl::glDeleteTextures(1, &name);
    }
  }
  txTexReset();
}

void txTexReloadAll() {
  passDxtSupport();
  for (txNode &slot : txNodes) {
    if (slot.free || !slot.uploaded) continue;
    pxBitmap bitmap = txLoadBitmap(slot.name);
    if (!bitmap || prepareBitmap(bitmap) != 0) {
      // The slot keeps its old name; nothing is uploaded from a bitmap
      // that is not there.
      pasLog("Error occoured ! Texture Loader Error. (NIL RETURN VALUE)");
      if (bitmap) txFree(&bitmap);
      continue;
    }
    const GLuint old = GLuint(slot.id);
    dgl::glDeleteTextures(1, &old);
    fitMaximum(bitmap, slot.name);
    if (!uploadSlot(slot, bitmap))
      pasLog("Error occoured ! Texture Loader Error. ( " + std::string(slot.name) + " )");
    slot.uploaded = true;
    txFree(&bitmap);
  }
}

void txTexDump(std::string_view fileName) {
  const std::string name(fileName);
  SYS_File_p file = SYS_FileOpen(name.c_str(), SYS_FILE_WRITE | SYS_FILE_TEXT);
  if (!file) return;
  SYS_FilePrintf(file, "zelka!quorvix texture management system\n");
  SYS_FilePrintf(file, " \n");
  for (const txNode &slot : txNodes) {
    if (slot.free) continue;
    SYS_FilePrintf(file, "%s OpenGL ref.:%d uploaded:%s type:%d reqs.:%d\n", slot.name, slot.id,
                   slot.uploaded ? "TRUE" : "FALSE", slot.filter, slot.references);
  }
  SYS_FileClose(file);
}

void txTexUnitInit() { txTexReset(); }
