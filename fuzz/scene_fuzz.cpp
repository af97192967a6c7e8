// Fuzzes the scene-file reader on bytes in memory: the chunk loop, the
// checks of the finished scene and the derived data. An accepted scene
// saves unless an object counts entries of an array that is absent or
// shorter than the count (a track nothing evaluates, vertices no face
// uses), and then the writer's refusal names that object and that array;
// what it saves must read back and save to the same bytes (so every field
// the file carries survived). The tracked heap must be as it was: every
// array the reader made goes back.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/scene/records.h"
#include "engine/scene/scene_file.h"
#include "engine/scene/scene_reader.h"
#include "engine/scene/scene_writer.h"
#include "framework/memory.h"

namespace {

[[noreturn]] void Fail(const char *what, const std::string &detail) {
  std::fprintf(stderr, "scene_fuzz: %s %s\n", what, detail.c_str());
  std::abort();
}

// Whether a refusal, "object <i> (<name>): <array>", names an array that
// object i counts and does not hold: absent, or shorter than its count.
bool NamesAMissingArray(const _3DV_SCENE &scene, const std::string &error) {
  if (error.rfind("object ", 0) != 0) return false;
  const long i = std::strtol(error.c_str() + 7, nullptr, 10);
  const size_t colon = error.rfind("): ");
  if (i < 0 || i >= scene.objectcount || colon == std::string::npos) return false;
  const std::string field = error.substr(colon + 3);
  const _3DV_OBJECT &o = scene.objects[i];
  const struct {
    const char *field;
    const void *array;
    int64_t element, count;
  } arrays[] = {
      {"vertexcount", o.vertices, 12, o.vertexcount},
      {"facecount", o.faces, 12, o.facecount},
      {"origfaces", o.origfaces, 12, o.facecount},
      {"neighbours", o.neighbours, 12, o.facecount},
      {"stripcount", o.strip, 2, o.stripcount},
      {"positionkeycount", o.positionkeys, 16, o.positionkeycount},
      {"rotationkeycount", o.rotationkeys, 20, o.rotationkeycount},
      {"scalekeycount", o.scalekeys, 16, o.scalekeycount},
      {"colors", o.colors, 12, o.vertexcount},
      {"uvs", o.uvs, 8, o.vertexcount},
      {"normals", o.normals, 12, o.vertexcount},
  };
  for (const auto &a : arrays) {
    if (field != a.field) continue;
    if (a.count <= 0) return false;
    const int64_t bytes = a.array ? SYS_MemSize(a.array) : 0;
    return bytes >= 0 && bytes / a.element < a.count;
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  _3DV_InitTypeSizes();
  _3DV_LoaderUnitInit();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const size_t live = SYS_MemLiveCount();
  {
    _3DV_SCENE scene{};
    std::string error;
    if (_3DV_ParseScene(scene, data, size, error)) {
      std::vector<uint8_t> first, second;
      if (_3DV_WriteSceneBytes(scene, first, error)) {
        _3DV_SCENE again{};
        if (!_3DV_ParseScene(again, first.data(), first.size(), error))
          Fail("saved scene unreadable:", error);
        if (!_3DV_WriteSceneBytes(again, second, error)) Fail("reread scene refused:", error);
        if (first != second) Fail("saved scene changed on rereading", "");
        _3DV_FreeSceneArrays(again);
      } else if (!NamesAMissingArray(scene, error)) {
        Fail("accepted scene refused:", error);
      }
    }
    _3DV_FreeSceneArrays(scene);
  }
  if (SYS_MemLiveCount() != live) Fail("tracked blocks left behind", "");
  return 0;
}
