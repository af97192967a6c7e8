// Frames per second of every scene of the timeline at 800 x 600, beside a
// bare clear-and-swap loop in the same run, so a slow scene can be told
// from a slow display. Each frame is the whole pass the demo makes (frame
// head, scene, state reset) plus the swap. The frames are spread evenly
// over the scene's whole span, so a scene that is light at its start and
// heavy later (a cloud that spreads, a second pass that joins in) is
// measured as a viewer meets it; the worst frame is reported beside the
// mean.
//
// It runs the real start-up on the staged sample pack and needs a window:
//   xvfb-run -a -s "-screen 0 1024x768x24" build/bench/frame_bench
// The pack is found beside the program's build folder (<build>/stage), or
// where EMBER_PACK names it. Not part of the tests.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstdio>
#include <filesystem>
#include <string>

#include "demo/frame_loop.h"
#include "demo/modules.h"
#include "demo/resources.h"
#include "demo/shell.h"
#include "framework/base.h"
#include "framework/sys.h"
#include "texture/loader.h"
#include "texture/slot_table.h"
#include "window/gl_demo.h"
#include "window/wm.h"

namespace {

constexpr int kFramesPerScene = 120;

std::string PackPath() {
  if (const char *named = std::getenv("EMBER_PACK")) return named;
  char self[PATH_MAX] = {};
  const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  if (n <= 0) return "emberfield.dat";
  return (std::filesystem::path(self).parent_path().parent_path() / "stage" / "emberfield.dat")
      .string();
}

// The demo's start-up without the dialog, the music and the clock.
bool StartDemo() {
  static char program[] = "frame_bench";
  static char skipDialog[] = "-default";
  static char *argv[] = {program, skipDialog, nullptr};
  InitialiseModules(2, argv);
  SYS_CallInitProcs();
  const std::string pack = PackPath();
  if (SYS_FilePackOpen(pack.c_str()) != 0) {
    std::fprintf(stderr, "frame_bench: no data pack at %s\n", pack.c_str());
    return false;
  }
  StartVideo("vantor - emberfield", DemoWidth, DemoHeight, DemoFullScreen);
  DemoDebug = 0;
  LoadDemoResources();
  ResetFrameState();
  return true;
}

void Present() {
  wmSwapBuffers(DemoWindow);
  cfg_settings.last_key = 0;
  wmPumpEvents();
}

void ClearAndSwap(benchmark::State &state) {
  for (auto _ : state) {
    dgl::glViewport(0, 0, DemoWidth, DemoHeight);
    dgl::glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    Present();
  }
  state.counters["fps"] = benchmark::Counter(static_cast<double>(state.iterations()),
                                             benchmark::Counter::kIsRate);
}

void Scene(benchmark::State &state) {
  const TTimelineScene &scene = DemoTimeline[state.range(0) - 1];
  const int32_t from = scene.from < 0 ? 0 : scene.from;
  const int32_t span = scene.to - from;
  // One frame in the middle first: the state a scene inherits is its own.
  DemoDrawFrame(from + span / 2);
  Present();
  int64_t frame = 0;
  double worst = 0;  // ms: a steady average can hide a stutter
  for (auto _ : state) {
    const int32_t t = from + static_cast<int32_t>(frame * span / kFramesPerScene % span);
    const auto start = std::chrono::steady_clock::now();
    DemoDrawFrame(t);
    Present();
    worst = std::max(worst, std::chrono::duration<double, std::milli>(
                                std::chrono::steady_clock::now() - start).count());
    ++frame;
  }
  state.SetLabel("scene " + std::to_string(state.range(0)));
  state.counters["worst_ms"] = worst;
  state.counters["fps"] = benchmark::Counter(static_cast<double>(state.iterations()),
                                             benchmark::Counter::kIsRate);
}

BENCHMARK(ClearAndSwap)->Iterations(kFramesPerScene * 4)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(Scene)->DenseRange(1, SCENE_COUNT)->Iterations(kFramesPerScene)->UseRealTime()->Unit(
    benchmark::kMillisecond);

}  // namespace

int main(int argc, char **argv) {
  benchmark::Initialize(&argc, argv);
  if (!StartDemo()) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
