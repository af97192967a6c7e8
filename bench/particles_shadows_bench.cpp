// The particle step on a full pool of 5000 slots (emission, 5000
// billboards, update), and the shadow volumes of one wavy heightfield of
// about 1k, 10k and 100k faces: the processor build alone (light-facing
// faces, contour, extruded quads) and the whole pass with its upload and
// two stencil draws, at 800 x 600.
//
// It needs a window:
//   xvfb-run -a -s "-screen 0 1024x768x24" build/bench/particles_shadows_bench
// Not part of the tests.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "engine/effects/particles.h"
#include "engine/effects/shadows.h"
#include "engine/render/engine_state.h"
#include "engine/render/scene_render.h"
#include "platform/platform.h"
#include "tests/engine/test_scene.h"
#include "tests/support/gl_window.h"
#include "window/gl_demo.h"
#include "window/wm.h"

namespace {

constexpr int kWidth = 800;
constexpr int kHeight = 600;
constexpr int32_t kPool = 5000;
constexpr int32_t kEmitters = 50;  // 10 a step each, 10 steps of life: the pool stays full

wm_window_t *window = nullptr;

bool Start() {
  window = ember_test::OpenGlWindow(kWidth, kHeight);
  if (!window) return false;
  _3DV_EngineUnitInit();
  _3DV_InitTypeSizes();
  return true;
}

void ParticleStep(benchmark::State &state) {
  _3DV_SCENE scene = ember_test::MakeScene(kEmitters);
  for (int32_t i = 0; i < kEmitters; ++i) {
    _3DV_PARTICLEDATA &e = scene.objects[i].particledata;
    e.particleenabled = 1;
    e.newparticle = kPool / kEmitters / 10;
    e.power = 10;
    e.deltapower = 1;
    e.deltavector = {0, 0, 0.01f};
    e.deltavectorspread = {0.05f, 0.05f, 0.05f};
    e.color = {0.05f, 0.03f, 0.01f};
    e.colorattrib = 1 | 2;
    e.size = 0.2f;
    scene.objects[i].pivot = {float(i % 10) - 4.5f, 0, float(i / 10) - 2};
  }
  _3DV_AllocParticles(scene, kPool);
  _3DV_RenderSceneSimple(scene, 0);  // the camera of the frame
  _3DV_CameraPos.z += 0.5f;          // a view with a horizontal part
  for (int k = 0; k < 20; ++k) _3DV_RenderParticles(scene, 0);
  _3DV_ParticlesDrawn = 0;
  for (auto _ : state) {
    _3DV_RenderParticles(scene, 0);
    dgl::glFinish();
  }
  state.counters["particles/step"] = double(_3DV_ParticlesDrawn) / double(state.iterations());
  _3DV_FreeParticles(scene);
  _3DV_FreeScene(scene);
}

// A square heightfield of w x w cells, two faces each.
ember_test::Mesh Heightfield(int w) {
  ember_test::Mesh m;
  for (int y = 0; y <= w; ++y) {
    for (int x = 0; x <= w; ++x) {
      const float u = 8.0f * float(x) / float(w) - 4, v = 8.0f * float(y) / float(w) - 4;
      m.vertices.push_back({u, v, 0.5f * std::sin(3 * u) * std::cos(2 * v)});
    }
  }
  for (int y = 0; y < w; ++y) {
    for (int x = 0; x < w; ++x) {
      const int a = y * (w + 1) + x;
      m.faces.push_back({{a, a + 1, a + w + 2}});
      m.faces.push_back({{a, a + w + 2, a + w + 1}});
    }
  }
  return m;
}

_3DV_SCENE ShadowScene(int64_t faces) {
  const int w = int(std::lround(std::sqrt(double(faces) / 2)));
  std::string error;
  _3DV_SCENE scene = ember_test::ReadMeshes({Heightfield(w)}, error);
  if (scene.objectcount != 1) std::fprintf(stderr, "particles_shadows_bench: %s\n", error.c_str());
  return scene;
}

constexpr _3DV_VECTOR kLight = {3, -2, 6};

void ShadowBuild(benchmark::State &state) {
  _3DV_SCENE scene = ShadowScene(state.range(0));
  _3DV_OBJECT &o = scene.objects[0];
  _3DV_ShadowExtrusion = scene.shadowextrusion;
  for (auto _ : state) {
    scene.shadowquadcount = 0;
    _3DV_CalcLightVisible(o, kLight, {0, 0, 0});
    _3DV_FindContour(o);
    _3DV_BuildShadowVolume(scene, o, kLight, {0, 0, 0});
    benchmark::DoNotOptimize(scene.volumearray[0]);
  }
  state.counters["faces"] = o.facecount;
  state.counters["quads"] = scene.shadowquadcount;
  _3DV_FreeScene(scene);
}

void ShadowPass(benchmark::State &state) {
  _3DV_SCENE scene = ShadowScene(state.range(0));
  _3DV_UploadScene(scene);
  scene.objects[0].castshadow = 1;
  dgl::glViewport(0, 0, kWidth, kHeight);
  for (auto _ : state) {
    _3DV_ClearScreen();
    _3DV_RenderSceneVBO(scene, 0);
    _3DV_RenderShadowVolumes(scene, kLight, 0);
    dgl::glFinish();
  }
  state.counters["faces"] = scene.objects[0].facecount;
  state.counters["quads"] = scene.shadowquadcount;
  _3DV_FreeScene(scene);
}

BENCHMARK(ParticleStep)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(ShadowBuild)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);
BENCHMARK(ShadowPass)->Arg(1000)->Arg(10000)->Arg(100000)->UseRealTime()->Unit(
    benchmark::kMillisecond);

}  // namespace

int main(int argc, char **argv) {
  benchmark::Initialize(&argc, argv);
  if (!Start()) {
    std::fprintf(stderr, "particles_shadows_bench: no window\n");
    return 1;
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  wmDestroyWindow(window);
  return 0;
}
