// The layer-effect loader: reads an ".ife" file (ife_file.cpp), gives each
// layer its texture and turns every failure into the fatal exit.
//
// Texture of a layer, by name (exact, case-sensitive), in probing order:
//   "white.tga"             none: drawn untextured in the key colour
//   "RT"                    the 3D engine's render target 0
//   "GLOW"                  the 3D engine's glow texture
//   "BUF0.JPG".."BUF7.JPG"  that entry of the buffer table
//   other names "BUF..."    none
//   anything else           the texture slot table, filter type 1, below
//                           the base folder when one is given
// Special textures are read when the layer is loaded; a later change of
// their owner's value does not reach the layer.
//
// Every layer's texture is set to clamp (GL_CLAMP) in both directions. The
// layer's own texture is bound for that, so no other texture is touched; a
// layer without a texture sets nothing.
//
// The slot table knows a texture by its name, so one file naming one image
// under many spellings ("a.png", "./a.png", ".//a.png", a link to it)
// would load it once per spelling, up to a thousand times. Distinct files
// always load, however many and however large. A spelling whose file (by
// its identity, not its name) this effect file already loaded under
// another name is a repeat; a file's repeats take at most 64 MB, and one
// more ends the program like a texture that cannot be loaded, naming the
// file and the layer. A name the slot table already holds is shared and
// costs nothing.
//
// Main thread, with the OpenGL context current.
#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "effects/ife.h"
#include "effects/ife_file.h"
#include "engine/render/engine_state.h"
#include "framework/base.h"
#include "texture/slot_table.h"
#include "window/gl_demo.h"
#include "window/wm.h"

int32_t ife_BufferTable[IFE_BUFFER_COUNT] = {};

namespace {

enum class ife_Source { None, RenderTarget, Glow, Buffer };

struct ife_SpecialName {
  const char *name;
  ife_Source source;
  int32_t entry;  // buffer table entry
};

const ife_SpecialName kSpecialNames[] = {
    {"white.tga", ife_Source::None, 0},
    {"RT", ife_Source::RenderTarget, 0},
    {"GLOW", ife_Source::Glow, 0},
    {"BUF0.JPG", ife_Source::Buffer, 0},
    {"BUF1.JPG", ife_Source::Buffer, 1},
    {"BUF2.JPG", ife_Source::Buffer, 2},
    {"BUF3.JPG", ife_Source::Buffer, 3},
    {"BUF4.JPG", ife_Source::Buffer, 4},
    {"BUF5.JPG", ife_Source::Buffer, 5},
    {"BUF6.JPG", ife_Source::Buffer, 6},
    {"BUF7.JPG", ife_Source::Buffer, 7},
};

// Names the buffer table answers for, whether or not it has an entry.
constexpr char kBufferPrefix[] = "BUF";

const ife_SpecialName *FindSpecial(const char *name) {
  for (const ife_SpecialName &special : kSpecialNames)
    if (std::strcmp(special.name, name) == 0) return &special;
  return nullptr;
}

bool FromSlotTable(const char *name) {
  return !FindSpecial(name) && std::strncmp(name, kBufferPrefix, sizeof kBufferPrefix - 1) != 0;
}

int32_t SpecialTexture(const ife_SpecialName &special) {
  switch (special.source) {
    case ife_Source::RenderTarget: return int32_t(_3DV_RenderTargets[0]);
    case ife_Source::Glow: return int32_t(_3DV_GlowTexture);
    case ife_Source::Buffer: return ife_BufferTable[special.entry];
    case ife_Source::None: break;
  }
  return 0;
}

// The name the slot table keeps for a layer's file: what it loads and
// shares.
std::string SlotName(const char *name, std::string_view baseFolder) {
  std::string path = baseFolder.empty() ? std::string(name) : std::string(baseFolder) + "/" + name;
  path.resize(std::min<size_t>(path.size(), TX_SLOT_NAME_MAX));
  return path;
}

int32_t LayerTexture(const char *name, std::string_view baseFolder) {
  if (FromSlotTable(name)) return txTexLoad(SlotName(name, baseFolder), TX_FILTER_LINEAR);
  const ife_SpecialName *special = FindSpecial(name);
  return special ? SpecialTexture(*special) : 0;
}

constexpr uint64_t kRepeatBudget = uint64_t(64) << 20;

// What the hook needs of the load: the base folder, the file's name, the
// files its layers took slot-table textures from so far (by identity, with
// the bytes of each one's texture) and the bytes their repeats took.
// Identities are compared only among this one effect file's layers, taken
// while it loads, and forgotten with it.
struct LoadContext {
  std::string_view baseFolder;
  const std::string &fileName;
  std::map<SYS_FileIdentity_t, uint64_t> loaded;
  uint64_t repeatBytes;
};

// True when the slot table holds an uploaded texture of that name and
// filter, which a load shares instead of loading it again.
bool Held(std::string_view name) {
  return std::any_of(std::begin(txNodes), std::end(txNodes), [&](const txNode &slot) {
    return !slot.free && slot.uploaded && slot.filter == TX_FILTER_LINEAR && name == slot.name;
  });
}

// Level 0 of the bound texture, in bytes.
uint64_t BoundTextureBytes(int32_t texture) {
  GLint width = 0, height = 0;
  dgl::glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &width);
  dgl::glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &height);
  const int32_t bytesPerPixel = std::max(txTexBpp(texture), 8) / 8;
  return uint64_t(std::max(width, 0)) * uint64_t(std::max(height, 0)) * uint64_t(bytesPerPixel);
}

// A repeat is refused before it is decoded: it would take what its file
// took the first time.
void TakeTexture(ife_layer &layer, void *user) {
  auto &load = *static_cast<LoadContext *>(user);
  SYS_FileIdentity_t identity{};
  bool identified = false;
  bool repeat = false;
  if (FromSlotTable(layer.name)) {
    const std::string slotName = SlotName(layer.name, load.baseFolder);
    identified = SYS_FileIdentify(slotName.c_str(), &identity) == 0;
    const auto first = identified ? load.loaded.find(identity) : load.loaded.end();
    repeat = first != load.loaded.end();
    if (repeat && !Held(slotName)) {
      if (first->second > kRepeatBudget - std::min(load.repeatBytes, kRepeatBudget))
        wmFatal("Layer effect " + load.fileName + " repeats more than 64 MB of textures ( " +
                layer.name + " )");
      load.repeatBytes += first->second;
    }
  }
  layer.texture = LayerTexture(layer.name, load.baseFolder);
  if (layer.texture == 0) return;
  dgl::glBindTexture(GL_TEXTURE_2D, GLuint(layer.texture));
  if (identified && !repeat) load.loaded.emplace(identity, BoundTextureBytes(layer.texture));
  dgl::glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP);
  dgl::glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP);
}

std::string_view Counted(std::string_view text) {
  return text.substr(0, std::min<size_t>(text.size(), IFE_TEXT_MAX));
}

}  // namespace

void ife_LoadInterface(ife_interface &iface, std::string_view fileName,
                       std::string_view baseFolder) {
  const std::string name(Counted(fileName));
  std::string_view base = Counted(baseFolder);
  pasLog("[ife] load: " + name);

  SYS_File_p file = SYS_FileOpen(name.c_str(), SYS_FILE_TEXT);
  if (!file) wmFatal("Unable to open " + name);

  ife_ParseError error;
  LoadContext load{base, name, {}, 0};
  const int32_t result = ife_ReadInterface(file, iface, TakeTexture, &load, error);
  SYS_FileClose(file);
  if (result != 0)
    wmFatal("Malformed layer effect " + name + ", line " + std::to_string(error.line) + ": " +
            error.message);
}

void ife_FreeInterface(ife_interface &iface) {
  if (iface.layercount > 0 && iface.layers) {
    for (int32_t i = 0; i < iface.layercount; ++i) {
      ife_layer &layer = iface.layers[i];
      if (layer.texture != 0 && FromSlotTable(layer.name)) txTexRelease(layer.texture);
      pasMemFree(&layer.keys);
    }
    pasMemFree(&iface.layers);
  }
  iface.layers = nullptr;
  iface.layercount = 0;
}
