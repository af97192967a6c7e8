// Reading a project file and loading what it names.
//
// The bytes the file's layout takes are read and checked before any scene
// or layer effect is loaded: counts come from the file, and a count is only
// believed when the bytes still left can hold that many records. The file
// is read as a stream, a step at a time, so a pipe gives what a file gives
// and a count the file does not back costs only the bytes it does hold.
// Bytes after the last key record are never read, so a file's size alone
// costs nothing.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine/effects/particles.h"
#include "engine/project/project.h"
#include "engine/render/engine_state.h"
#include "engine/scene/scene_reader.h"
#include "engine/scene/scene_textures.h"
#include "framework/base.h"
#include "framework/file.h"
#include "framework/log.h"
#include "window/wm.h"

namespace {

int32_t ReadInt(const uint8_t *p) {
  int32_t v;
  std::memcpy(&v, p, 4);
  return v;
}

void ReadName(_3DV_SHORTSTRING &name, const uint8_t *p) { std::memcpy(&name, p, QEX_NAME_SIZE); }

std::string_view NameView(const uint8_t *p) {
  return {reinterpret_cast<const char *>(p) + 1, p[0]};
}

// Takes count records of recordSize bytes from what is left, or says why
// it cannot.
bool Take(size_t &left, int32_t count, size_t recordSize, const char *what, std::string &error) {
  if (count < 0) {
    error = std::string("negative ") + what + " count " + std::to_string(count);
    return false;
  }
  if (size_t(count) > left / recordSize) {
    error = std::string("the file ends inside the ") + what + " records";
    return false;
  }
  left -= size_t(count) * recordSize;
  return true;
}

template <class T>
T *Allocate(int32_t count, const char *description) {
  if (count <= 0) return nullptr;
  const uint64_t bytes = uint64_t(count) * sizeof(T);
  if (bytes > uint64_t(INT32_MAX)) wmFatal(std::string("Project too large: ") + description);
  return static_cast<T *>(_3DV_MemGet(int32_t(bytes), description));
}

void LoadSceneFile(_3DV_SCENE &scene, const std::string &path) {
  _3DV_LoadScene(scene, path);
  _3DV_LoadSceneTextures(scene, "textures");
  _3DV_AllocParticles(scene, QEX_PARTICLES_PER_SCENE);
}

void LoadLayerEffect(ife_interface &iface, const std::string &path) {
  ife_LoadInterface(iface, path, "textures");
}

// Cache lookup by exact name; null when absent.
_3DV_SCENE *Cached(std::string_view key) {
  for (int32_t i = 0; i < QEX_State.cachecount; ++i) {
    if (QEX_State.cache[i].name.view() == key) return QEX_State.cache[i].scene;
  }
  return nullptr;
}

// The scene files one project load has loaded, so that another spelling
// of one of them ("a.scn", "./a.scn", a link to it) gets a copy of its
// record as a cache hit does. Identities are compared only among the files
// of this load, taken while it runs: across loads a file is known by its
// name alone, as the cache's entries are, since an identity kept longer
// could match a later file on the same freed inode, or a scene record the
// allocator has since handed to another project. Names past the cache's
// room are kept here too, so they answer their exact name.
struct LoadedFiles {
  std::map<SYS_FileIdentity_t, const _3DV_SCENE *> byIdentity;
  std::unordered_map<std::string, const _3DV_SCENE *> uncachedByName;

  const _3DV_SCENE *Named(const std::string &key) const {
    const auto it = uncachedByName.find(key);
    return it == uncachedByName.end() ? nullptr : it->second;
  }
  const _3DV_SCENE *Same(const std::optional<SYS_FileIdentity_t> &identity) const {
    if (!identity) return nullptr;
    const auto it = byIdentity.find(*identity);
    return it == byIdentity.end() ? nullptr : it->second;
  }
};

// No identity for a name no file answers: it is only ever its own name.
std::optional<SYS_FileIdentity_t> Identify(const std::string &path) {
  SYS_FileIdentity_t identity{};
  const bool known = SYS_FileIdentify(path.c_str(), &identity) == 0;
  SYS_ErrorClear();
  if (!known) return std::nullopt;
  return identity;
}

}  // namespace

std::string QEX_StripPath(std::string_view name) {
  const size_t slash = name.rfind('\\');
  if (slash == std::string_view::npos) return std::string(name);
  return std::string(name.substr(slash + 1));
}

QEX_Loaders QEX_DefaultLoaders() { return {LoadSceneFile, LoadLayerEffect, ife_LoadBarStep}; }

bool QEX_ParseProject(QEX_Project &project, const uint8_t *bytes, size_t size,
                      const QEX_Loaders &loaders, std::string &error) {
  // The layout first: every count against the bytes left.
  if (size < QEX_HEADER_SIZE) {
    error = "the file ends inside the header";
    return false;
  }
  const int32_t S = ReadInt(bytes + 272), L = ReadInt(bytes + 276), N = ReadInt(bytes + 280);
  size_t left = size - QEX_HEADER_SIZE;
  if (!Take(left, S, QEX_NAME_SIZE, "scene name", error) ||
      !Take(left, L, QEX_NAME_SIZE, "layer-effect name", error) ||
      !Take(left, N, QEX_OPERATOR_SIZE, "operator", error))
    return false;
  const uint8_t *const sceneNames = bytes + QEX_HEADER_SIZE;
  const uint8_t *const layerNames = sceneNames + size_t(S) * QEX_NAME_SIZE;
  const uint8_t *const operators = layerNames + size_t(L) * QEX_NAME_SIZE;
  const uint8_t *const keys = operators + size_t(N) * QEX_OPERATOR_SIZE;
  for (int32_t i = 0; i < N; ++i) {
    if (!Take(left, ReadInt(operators + size_t(i) * QEX_OPERATOR_SIZE + 44), QEX_KEY_SIZE, "key",
              error))
      return false;
  }

  project = {};
  ReadName(project.name, bytes);
  for (int k = 0; k < 4; ++k) project.unused[k] = ReadInt(bytes + 256 + 4 * k);
  project.scenecount = S;
  project.layercount = L;
  project.operatorcount = N;
  project.scenes = Allocate<_3DV_SCENE>(S, "qex scenes");
  project.layers = Allocate<ife_interface>(L, "qex layer effects");

  // Every scene file loads once, whatever spellings name it: another
  // spelling of a file already loaded is a copy of its record, as a cache
  // hit is. A file past the cache's room still loads, uncached.
  LoadedFiles loaded;
  for (int32_t i = 0; i < S; ++i) {
    if (loaders.loadBarStep) loaders.loadBarStep();
    const std::string key = QEX_StripPath(NameView(sceneNames + size_t(i) * QEX_NAME_SIZE));
    const _3DV_SCENE *hit = Cached(key);
    if (!hit) hit = loaded.Named(key);
    const std::string path = "data/" + key;
    const std::optional<SYS_FileIdentity_t> identity = hit ? std::nullopt : Identify(path);
    if (!hit) hit = loaded.Same(identity);
    if (hit) {
      project.scenes[i] = *hit;
      pasLog("[CACHE] cached load " + key);
      continue;
    }
    loaders.loadScene(project.scenes[i], path);
    const _3DV_SCENE *scene = &project.scenes[i];
    if (identity) loaded.byIdentity.emplace(*identity, scene);
    if (QEX_State.cachecount < QEX_CACHE_SIZE) {
      QEX_CacheEntry &entry = QEX_State.cache[QEX_State.cachecount++];
      entry.name = {};
      entry.name.assign(key);
      entry.scene = &project.scenes[i];
    } else {
      loaded.uncachedByName.emplace(key, scene);
    }
  }
  for (int32_t j = 0; j < L; ++j) {
    if (loaders.loadBarStep) loaders.loadBarStep();
    loaders.loadLayers(project.layers[j],
                       "data/" + QEX_StripPath(NameView(layerNames + size_t(j) * QEX_NAME_SIZE)));
  }

  project.operators = Allocate<QEX_Operator>(N, "qex operators");
  const uint8_t *key = keys;
  for (int32_t i = 0; i < N; ++i) {
    const uint8_t *rec = operators + size_t(i) * QEX_OPERATOR_SIZE;
    QEX_Operator &op = project.operators[i];
    op.type = ReadInt(rec);
    op.index = ReadInt(rec + 4);
    std::memcpy(op.param, rec + 8, sizeof op.param);
    op.keycount = ReadInt(rec + 44);
    ReadName(op.name, rec + 48);
    op.keys = Allocate<QEX_Key>(op.keycount, "qex keys");
    for (int32_t k = 0; k < op.keycount; ++k, key += QEX_KEY_SIZE) {
      QEX_Key &kk = op.keys[k];
      kk.start = ReadInt(key);
      kk.end = ReadInt(key + 4);
      kk.easemode = key[8];
      kk.startvalue = ReadInt(key + 12);
      kk.middlevalue = ReadInt(key + 16);
      kk.endvalue = ReadInt(key + 20);
    }
  }
  return true;
}

bool QEX_ReadProjectFile(const std::string &fileName, std::vector<uint8_t> &bytes,
                         std::string &error) {
  bytes.clear();
  std::unique_ptr<std::FILE, int (*)(std::FILE *)> file(std::fopen(fileName.c_str(), "rb"),
                                                       std::fclose);
  if (!file) {
    error = "cannot be opened";
    return false;
  }
  // Reads on until the bytes reach `end` or the file ends; the buffer
  // grows with the bytes that have arrived, not with what `end` claims.
  auto fill = [&](uint64_t end) {
    constexpr size_t kStep = size_t(1) << 20;
    while (bytes.size() < end) {
      const size_t at = bytes.size();
      bytes.resize(at + size_t(std::min<uint64_t>(end - at, kStep)));
      const size_t got = std::fread(bytes.data() + at, 1, bytes.size() - at, file.get());
      bytes.resize(at + got);
      if (got == 0) break;
    }
    if (std::ferror(file.get())) {
      error = "cannot be read";
      return false;
    }
    return true;
  };
  // A negative count takes no bytes; the parser names it.
  auto records = [](int32_t count, size_t size) { return uint64_t(std::max(count, 0)) * size; };
  try {
    if (!fill(QEX_HEADER_SIZE)) return false;
    if (bytes.size() < QEX_HEADER_SIZE) return true;
    const uint64_t keysAt = QEX_HEADER_SIZE + records(ReadInt(bytes.data() + 272), QEX_NAME_SIZE) +
                            records(ReadInt(bytes.data() + 276), QEX_NAME_SIZE) +
                            records(ReadInt(bytes.data() + 280), QEX_OPERATOR_SIZE);
    if (!fill(keysAt)) return false;
    if (bytes.size() < keysAt) return true;
    const int32_t N = ReadInt(bytes.data() + 280);
    const uint8_t *const operators = bytes.data() + keysAt - records(N, QEX_OPERATOR_SIZE);
    uint64_t keys = 0;
    for (int32_t i = 0; i < N; ++i)
      keys += records(ReadInt(operators + size_t(i) * QEX_OPERATOR_SIZE + 44), QEX_KEY_SIZE);
    return fill(keysAt + keys);
  } catch (const std::bad_alloc &) {
    bytes.clear();
    error = "cannot be read: out of memory";
    return false;
  }
}

void QEX_LoadProject(QEX_Project &project, std::string_view fileName) {
  const std::string name(fileName);
  std::vector<uint8_t> bytes;
  std::string error;
  if (!QEX_ReadProjectFile(name, bytes, error)) wmFatal("Project file " + name + " " + error + ".");
  if (!QEX_ParseProject(project, bytes.data(), bytes.size(), QEX_DefaultLoaders(), error))
    wmFatal("Project file " + name + " is damaged: " + error);
}

void QEX_FreeProjectArrays(QEX_Project &project) {
  // Cache entries that point into this project's scenes would dangle.
  if (project.scenes) {
    int32_t kept = 0;
    for (int32_t i = 0; i < QEX_State.cachecount; ++i) {
      const QEX_CacheEntry &e = QEX_State.cache[i];
      if (e.scene >= project.scenes && e.scene < project.scenes + project.scenecount) continue;
      QEX_State.cache[kept++] = e;
    }
    for (int32_t i = kept; i < QEX_State.cachecount; ++i) QEX_State.cache[i] = {};
    QEX_State.cachecount = kept;
  }
  for (int32_t i = 0; i < project.operatorcount && project.operators; ++i)
    _3DV_MemFree(project.operators[i].keys);
  _3DV_MemFree(project.operators);
  _3DV_MemFree(project.scenes);
  // Layer effects are the project's alone: their keys and the textures
  // they took go with it.
  for (int32_t j = 0; j < project.layercount && project.layers; ++j) ife_FreeInterface(project.layers[j]);
  _3DV_MemFree(project.layers);
  project = {};
}
