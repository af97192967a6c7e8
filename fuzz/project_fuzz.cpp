// Fuzzes the effect-project loader on bytes in memory, with scene and
// layer-effect loaders that count their calls: a project is accepted only
// when every count fits the bytes, every key it reports lies inside the
// input, the loaders ran at most once per named file, filling the cache
// first, and a refused project has loaded nothing. Each layer effect holds
// a tracked layer, as a loaded one does, and freeing the project must give
// every block back.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <string>

#include "effects/ife.h"
#include "engine/project/project.h"
#include "engine/scene/records.h"
#include "framework/base.h"
#include "framework/memory.h"

namespace {

int scenes = 0, layers = 0, steps = 0;

void CountScene(_3DV_SCENE &scene, const std::string &) {
  ++scenes;
  scene.objectcount = 0;
}
void CountLayers(ife_interface &iface, const std::string &) {
  ++layers;
  iface.layers = static_cast<ife_layer *>(pasMemGet(sizeof(ife_layer), "fuzz layer"));
  iface.layercount = 1;
}
void CountStep() { ++steps; }

[[noreturn]] void Fail(const char *what) {
  std::fprintf(stderr, "project_fuzz: %s\n", what);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  // The log bridge keeps one block at its largest line; make it before
  // counting.
  pasLog(std::string(1024, ' '));
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  scenes = layers = steps = 0;
  QEX_State.cachecount = 0;
  const size_t live = SYS_MemLiveCount();
  QEX_Project project{};
  std::string error;
  const bool ok = QEX_ParseProject(project, data, size, {CountScene, CountLayers, CountStep}, error);
  if (!ok) {
    if (scenes || layers || steps || project.scenes || project.operators) Fail("refused but loaded");
    if (error.empty()) Fail("refused without a reason");
    return 0;
  }
  uint64_t need = QEX_HEADER_SIZE + QEX_NAME_SIZE * uint64_t(project.scenecount + project.layercount) +
                  QEX_OPERATOR_SIZE * uint64_t(project.operatorcount);
  for (int32_t i = 0; i < project.operatorcount; ++i) {
    const QEX_Operator &op = project.operators[i];
    if (op.keycount < 0 || (op.keycount > 0) != (op.keys != nullptr)) Fail("bad key array");
    need += QEX_KEY_SIZE * uint64_t(op.keycount);
    // Touch every key: the sanitizer sees any that lies outside its array.
    for (int32_t k = 0; k < op.keycount; ++k) (void)QEX_EaseKey(
        float(op.keys[k].start), float(op.keys[k].end), op.keys[k].easemode, 0, 1, 2, 0);
  }
  if (need > size) Fail("accepted more than the bytes hold");
  if (steps != project.scenecount + project.layercount) Fail("loading bar");
  if (layers != project.layercount || scenes > project.scenecount) Fail("loader calls");
  // Loads fill the cache first; only those past its room stay uncached.
  if (QEX_State.cachecount != std::min(scenes, QEX_CACHE_SIZE)) Fail("cache count");
  QEX_FreeProjectArrays(project);
  if (SYS_MemLiveCount() != live) Fail("blocks left behind");
  return 0;
}
