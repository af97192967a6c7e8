// projectplay: watches an effect project.
//
//   projectplay PROJECT                 plays it in real time until Escape
//   projectplay PROJECT OUTDIR T1 ...   plays it from 0 in 40 ms steps and
//                                       writes OUTDIR/frame-T.png at each
//                                       requested time T (milliseconds)
//
// The framework and the window start as the demo's do with "-default"
// (the data pack holds the configuration dialog's file; it is looked for
// beside the project's folder, then beside the build, or where EMBER_PACK
// names it). The project's files are plain files relative to the project's
// folder, which becomes the current folder. The random sequence is seeded,
// so a run writes the same frames every time.
#include <png.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "demo/modules.h"
#include "demo/resources.h"
#include "demo/shell.h"
#include "engine/effects/render_targets.h"
#include "engine/project/project.h"
#include "engine/render/engine_state.h"
#include "framework/base.h"
#include "framework/random.h"
#include "framework/sys.h"
#include "texture/loader.h"
#include "texture/slot_table.h"
#include "window/gl_demo.h"
#include "window/wm.h"

namespace fs = std::filesystem;

namespace {

constexpr int32_t kWidth = 800;
constexpr int32_t kHeight = 600;
constexpr int32_t kStepMs = 40;
constexpr uint32_t kSeed = 20260;

int Usage() {
  std::fprintf(stderr, "usage: projectplay PROJECT [OUTDIR T1 [T2 ...]]\n");
  return 2;
}

std::string FindPack(const fs::path &project) {
  if (const char *named = std::getenv("EMBER_PACK")) return named;
  const fs::path beside = project.parent_path().parent_path() / "emberfield.dat";
  if (fs::exists(beside)) return beside.string();
  char self[PATH_MAX] = {};
  const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  if (n > 0) {
    const fs::path staged = fs::path(self).parent_path().parent_path().parent_path() / "stage" /
                            "emberfield.dat";
    if (fs::exists(staged)) return staged.string();
  }
  return beside.string();
}

bool WritePng(const fs::path &file) {
  std::vector<uint8_t> rgb(size_t(kWidth) * kHeight * 3);
  dgl::glPixelStorei(GL_PACK_ALIGNMENT, 1);
  dgl::glReadPixels(0, 0, kWidth, kHeight, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = kWidth;
  image.height = kHeight;
  image.format = PNG_FORMAT_RGB;
  // GL rows run bottom-up: a negative stride writes them top-down.
  const png_int_32 stride = -png_int_32(kWidth * 3);
  const int ok = png_image_write_to_file(&image, file.c_str(), 0, rgb.data(), stride, nullptr);
  if (!ok) std::fprintf(stderr, "projectplay: cannot write %s: %s\n", file.c_str(), image.message);
  return ok != 0;
}

void StartWindow(const std::string &pack) {
  static char program[] = "projectplay";
  static char skipDialog[] = "-default";
  static char *argv[] = {program, skipDialog, nullptr};
  InitialiseModules(2, argv);
  SYS_CallInitProcs();
  if (SYS_FilePackOpen(pack.c_str()) != 0)
    std::fprintf(stderr, "projectplay: no data pack at %s\n", pack.c_str());
  DemoWidth = kWidth;
  DemoHeight = kHeight;
  DemoFullScreen = 0;
  StartVideo("projectplay", DemoWidth, DemoHeight, DemoFullScreen);
  // Textures as the demo loads them: red first, at the chosen quality.
  txSetParam(3, TX_RED_FIRST);
  txSetParam(2, cfg_settings.texture_quality);
  txTexReset();
}

bool SoftwareRenderer() {
  const auto *renderer = reinterpret_cast<const char *>(dgl::glGetString(GL_RENDERER));
  const std::string name = renderer ? renderer : "";
  return name.find("llvmpipe") != std::string::npos || name.find("softpipe") != std::string::npos;
}

void Frame(const QEX_Project &project, float t) {
  _3DV_FacesDrawn = _3DV_ObjectsDrawn = _3DV_ParticlesDrawn = 0;
  dgl::glViewport(0, 0, kWidth, kHeight);
  QEX_RenderProject(project, t);
}

}  // namespace

int main(int argc, char **argv) {
  if (argc < 2 || argc == 3) return Usage();
  const fs::path projectPath = fs::absolute(argv[1]);
  fs::path outDir;
  std::vector<int64_t> times;
  if (argc > 3) {
    outDir = fs::absolute(argv[2]);
    for (int i = 3; i < argc; ++i) {
      char *end = nullptr;
      const long long t = std::strtoll(argv[i], &end, 10);
      if (!end || *end || t < 0) return Usage();
      times.push_back(t);
    }
    std::sort(times.begin(), times.end());
    std::error_code ec;
    fs::create_directories(outDir, ec);
  }
  if (!fs::exists(projectPath)) {
    std::fprintf(stderr, "projectplay: no project %s\n", projectPath.c_str());
    return 1;
  }

  StartWindow(FindPack(projectPath));
  // The framework has made the program's folder current; the project's
  // files are found from its own.
  fs::current_path(projectPath.parent_path());
  RandSeed(kSeed);
  _3DV_InitFramebufferTexture();
  _3DV_InitGlowTexture();
  QEX_Init(kWidth, kHeight);
  // Mesa's software rasteriser can spend unbounded time in its
  // anisotropic sampler on surfaces seen at a grazing angle; the pictures
  // this tool writes come from it under Xvfb.
  if (SoftwareRenderer()) _3DV_Anisotropic = 0;
  // The project lives as long as the process, as in play.
  static QEX_Project project{};
  QEX_LoadProject(project, projectPath.filename().string());

  if (!times.empty()) {
    // Every 40 ms step from 0, and each requested time between them.
    std::vector<int64_t> steps;
    for (int64_t ms = 0; ms <= times.back(); ms += kStepMs) steps.push_back(ms);
    steps.insert(steps.end(), times.begin(), times.end());
    std::sort(steps.begin(), steps.end());
    steps.erase(std::unique(steps.begin(), steps.end()), steps.end());
    int failures = 0;
    for (int64_t ms : steps) {
      Frame(project, float(ms));
      if (std::binary_search(times.begin(), times.end(), ms)) {
        const fs::path file = outDir / ("frame-" + std::to_string(ms) + ".png");
        if (!WritePng(file)) ++failures;
      }
      wmSwapBuffers(DemoWindow);
      wmPumpEvents();
    }
    const GLenum error = dgl::glGetError();
    if (error != GL_NO_ERROR) {
      std::fprintf(stderr, "projectplay: GL error 0x%x\n", unsigned(error));
      ++failures;
    }
    CloseVideo();
    return failures ? 1 : 0;
  }

  const auto start = std::chrono::steady_clock::now();
  while (!cfg_settings.quit) {
    const auto now = std::chrono::steady_clock::now();
    const float ms = std::chrono::duration<float, std::milli>(now - start).count();
    Frame(project, ms);
    wmSwapBuffers(DemoWindow);
    cfg_settings.last_key = 0;
    wmPumpEvents();
  }
  CloseVideo();
  return 0;
}
