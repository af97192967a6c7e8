// Frames per second of the engine's sample project at a few times, beside
// a bare clear-and-swap loop in the same run, so a slow operator can be
// told from a slow display. Before each measured time the project plays
// from the start in 40 ms steps, so its lasting state is the one a viewer
// would see; the measured frames then walk on through the next second.
//
// It starts like the demo with "-default" and needs a window:
//   xvfb-run -a -s "-screen 0 1024x768x24" build/bench/project_bench
// The staged sample set (<build>/stage/engine-sample) is used, or the
// folder EMBER_ENGINE_SAMPLE names. Not part of the tests.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "demo/modules.h"
#include "demo/resources.h"
#include "demo/shell.h"
#include "engine/effects/render_targets.h"
#include "engine/project/project.h"
#include "engine/render/engine_state.h"
#include "framework/random.h"
#include "framework/sys.h"
#include "texture/loader.h"
#include "texture/slot_table.h"
#include "window/gl_demo.h"
#include "window/wm.h"

namespace fs = std::filesystem;

namespace {

constexpr int kFrames = 100;
constexpr int32_t kStepMs = 40;
QEX_Project project{};
int32_t played = 0;  // project time the state has reached

fs::path StageDir() {
  char self[PATH_MAX] = {};
  const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  if (n <= 0) return "stage";
  return fs::path(self).parent_path().parent_path() / "stage";
}

bool Start() {
  static char program[] = "project_bench";
  static char skipDialog[] = "-default";
  static char *argv[] = {program, skipDialog, nullptr};
  const fs::path sample = std::getenv("EMBER_ENGINE_SAMPLE")
                              ? fs::path(std::getenv("EMBER_ENGINE_SAMPLE"))
                              : StageDir() / "engine-sample";
  if (!fs::exists(sample / "sample.qep")) {
    std::fprintf(stderr, "project_bench: no sample project in %s\n", sample.c_str());
    return false;
  }
  InitialiseModules(2, argv);
  SYS_CallInitProcs();
  SYS_FilePackOpen((sample.parent_path() / "emberfield.dat").c_str());
  DemoWidth = 800;
  DemoHeight = 600;
  DemoFullScreen = 0;
  StartVideo("project_bench", DemoWidth, DemoHeight, DemoFullScreen);
  // Textures as the demo loads them: red first, at the chosen quality.
  txSetParam(3, TX_RED_FIRST);
  txSetParam(2, cfg_settings.texture_quality);
  txTexReset();
  fs::current_path(sample);
  const auto *renderer = reinterpret_cast<const char *>(dgl::glGetString(GL_RENDERER));
  // Mesa's software sampler can stall on anisotropic filtering.
  if (renderer && std::string(renderer).find("pipe") != std::string::npos) _3DV_Anisotropic = 0;
  RandSeed(1);
  _3DV_InitFramebufferTexture();
  _3DV_InitGlowTexture();
  QEX_Init(DemoWidth, DemoHeight);
  QEX_LoadProject(project, "sample.qep");
  return true;
}

void Frame(int32_t ms) {
  dgl::glViewport(0, 0, DemoWidth, DemoHeight);
  QEX_RenderProject(project, float(ms));
  wmSwapBuffers(DemoWindow);
  wmPumpEvents();
}

void ClearAndSwap(benchmark::State &state) {
  for (auto _ : state) {
    dgl::glViewport(0, 0, DemoWidth, DemoHeight);
    dgl::glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    wmSwapBuffers(DemoWindow);
    wmPumpEvents();
  }
  state.counters["fps"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}

void ProjectAt(benchmark::State &state) {
  const int32_t at = int32_t(state.range(0));
  for (; played < at; played += kStepMs) Frame(played);
  int32_t ms = at;
  for (auto _ : state) {
    Frame(ms);
    ms += kStepMs;
  }
  played = ms;
  state.SetLabel("t = " + std::to_string(at) + " ms");
  state.counters["fps"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}

BENCHMARK(ClearAndSwap)->Iterations(kFrames * 4)->UseRealTime()->Unit(benchmark::kMillisecond);
// Title over the hall; grid and ring; feedback and build-up; bolts; room
// with the targets effect. Ascending, each after the last one's frames.
BENCHMARK(ProjectAt)->Arg(1000)->Arg(9000)->Arg(13000)->Arg(18000)->Arg(24000)->Iterations(25)
    ->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char **argv) {
  benchmark::Initialize(&argc, argv);
  if (!Start()) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
