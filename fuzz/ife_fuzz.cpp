// Fuzzes the layer-effect reader over a real file of the virtual file
// system, then poses every layer it accepted at a few times, the way the
// renderer would. The reader must report every fault to its caller (never
// end the program), and the tracked heap must be as it was once the
// interface is freed, whether the read succeeded or not.
//
// Input: the file's bytes, as they are.
#include <unistd.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "effects/ife.h"
#include "effects/ife_file.h"
#include "framework/sys.h"

namespace {

std::string g_path;

void RemoveFile() {
  if (!g_path.empty()) unlink(g_path.c_str());
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  char name[] = "/tmp/ife_fuzz_XXXXXX";
  const int fd = mkstemp(name);
  if (fd < 0) abort();
  close(fd);
  g_path = name;
  atexit(RemoveFile);
  // The log bridge keeps one growing block; make it before counting.
  pasLog(std::string(1024, ' '));
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  FILE *out = fopen(g_path.c_str(), "wb");
  if (!out) abort();
  if (size && fwrite(data, 1, size, out) != size) abort();
  fclose(out);

  const size_t live = SYS_MemLiveCount();
  SYS_File_p file = SYS_FileOpen(g_path.c_str(), SYS_FILE_TEXT);
  if (!file) abort();
  ife_interface iface{};
  ife_ParseError error;
  const int32_t result = ife_ReadInterface(file, iface, nullptr, nullptr, error);
  SYS_FileClose(file);

  if (result == 0) {
    if (iface.layercount < 0 || iface.layercount > IFE_MAX_LAYERS) abort();
    for (int32_t i = 0; i < iface.layercount; ++i) {
      const ife_layer &layer = iface.layers[i];
      if (layer.keycount < 1 || layer.keycount > IFE_MAX_KEYS) abort();
      const ife_keys &first = layer.keys[0], &last = layer.keys[layer.keycount - 1];
      for (float t : {float(first.time) - 1, float(first.time), float(last.time) + 0.5f,
                      float(first.time) / 2 + float(last.time) / 2}) {
        const ife_pose pose = ife_LayerPose(layer, t);
        // Finite keys give finite poses unless the easing itself overflows.
        if (std::isnan(pose.x) && std::isfinite(first.x) && std::isfinite(last.x) &&
            std::fabs(first.x) < 1e30f && std::fabs(last.x) < 1e30f)
          abort();
      }
    }
  } else if (iface.layers || iface.layercount != 0 || error.line < 1 || error.message.empty()) {
    abort();
  }

  ife_FreeInterface(iface);
  if (SYS_MemLiveCount() != live) abort();
  return 0;
}
