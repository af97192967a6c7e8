// Fuzzes the scene-file reader on bytes in memory: the chunk loop, the
// checks of the finished scene and the derived data. An accepted scene
// saves unless an array it counts is absent (a track nothing evaluates,
// vertices no face uses); what it saves must read back and save to the
// same bytes (so every field the file carries survived). The tracked heap must be as
// it was: every array the reader made goes back.
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
      }
    }
    _3DV_FreeSceneArrays(scene);
  }
  if (SYS_MemLiveCount() != live) Fail("tracked blocks left behind", "");
  return 0;
}
