// Fuzzes the scene configuration reader on text in memory, applied to a
// fixed scene of two materials, three objects (two of them sharing a
// name, one with an empty name) and the eight lights. Whatever the text,
// the reader stays inside the arrays, every object's material index stays
// a material, passcount is the largest passno (at least 0), and the scene
// can be written again.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "engine/anim/scene_config.h"
#include "engine/scene/records.h"

namespace {

[[noreturn]] void Fail(const char *what) {
  std::fprintf(stderr, "scene_config_fuzz: %s\n", what);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  // Heap arrays of exactly their counts, so an index beyond them is seen.
  auto *materials = new _3DV_MATERIAL[2]{};
  auto *objects = new _3DV_OBJECT[3]{};
  materials[0].name.assign("wood");
  materials[0].bpp = 24;
  materials[1].name.assign("glass");
  materials[1].bpp = 32;
  objects[0].name.assign("ball");
  objects[1].name.assign("ball");
  objects[1].material = 1;
  static _3DV_SCENE scene;
  scene = {};
  scene.materialcount = 2;
  scene.materials = materials;
  scene.objectcount = 3;
  scene.objects = objects;
  scene.lights[3].name.assign("sun");

  std::string error;
  const bool parsed =
      _3DV_ParseConfig(scene, std::string_view(reinterpret_cast<const char *>(data), size), error);
  if (parsed != error.empty()) Fail("answer and error disagree");
  int32_t passes = 0;
  for (int32_t i = 0; i < 3; ++i) {
    if (objects[i].material < 0 || objects[i].material >= 2) Fail("material index outside");
    passes = std::max(passes, objects[i].passno);
  }
  if (scene.passcount != passes) Fail("passcount is not the largest passno");
  const std::string text = _3DV_ConfigText(scene);
  if (!text.starts_with("# 3DVell config file\n")) Fail("written text has no header");

  delete[] materials;
  delete[] objects;
  return 0;
}
