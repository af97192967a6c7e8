// Frames per second of the 3D engine's scene renderers on one scene of a
// few hundred lit panels (clipped, simple and buffer-object members), beside
// a bare clear-and-swap loop in the same run, at 800 x 600.
//
// It needs a window:
//   xvfb-run -a -s "-screen 0 1024x768x24" build/bench/engine_render_bench
// Not part of the tests.
#include <benchmark/benchmark.h>

#include <cstdio>

#include "engine/render/engine_state.h"
#include "engine/render/scene_render.h"
#include "engine/scene/scene_textures.h"
#include "platform/platform.h"
#include "tests/engine/test_scene.h"
#include "tests/support/gl_window.h"
#include "window/gl_demo.h"
#include "window/wm.h"

namespace {

constexpr int kWidth = 800;
constexpr int kHeight = 600;
constexpr int kFrames = 240;
constexpr int kRows = 15;
constexpr int kColumns = 20;  // 300 objects
constexpr int kFacesPerObject = 16;

wm_window_t *window = nullptr;
_3DV_SCENE scene{};

int32_t Buffer(GLenum target, const void *data, size_t bytes) {
  GLuint name = 0;
  dgl::glGenBuffersARB(1, &name);
  dgl::glBindBufferARB(target, name);
  dgl::glBufferDataARB(target, GLsizeiptrARB(bytes), data, GL_STATIC_DRAW_ARB);
  dgl::glBindBufferARB(target, 0);
  return int32_t(name);
}

// A wall of small panels facing the camera, lit by two lights, four
// materials, objects spread over two passes.
void BuildScene() {
  scene = ember_test::MakeScene(kRows * kColumns, 4);
  scene.camerapositions[0] = {0, 0, -30, 0};
  for (int m = 0; m < 4; ++m) {
    scene.materials[m].receivelight = 1;
    scene.materials[m].diffuse = {0.2f + 0.2f * m, 0.8f, 1.0f - 0.2f * m};
    scene.materials[m].shine = 20;
    scene.materials[m].blend = m == 3 ? 1 : 0;
  }
  for (int r = 0; r < kRows; ++r) {
    for (int c = 0; c < kColumns; ++c) {
      _3DV_OBJECT &o = scene.objects[r * kColumns + c];
      // The test scene's geometry is the framework's tracked memory.
      pasMemFree(&o.vertices);
      pasMemFree(&o.normals);
      pasMemFree(&o.uvs);
      pasMemFree(&o.faces);
      ember_test::MakePanel(
          o, {float(c) * 1.6f - 16, 0, float(r) * 1.2f - 9, 0.7f, 0.5f, kFacesPerObject / 2},
          "panel");
      o.passno = (r + c) % 2;
      const size_t n = size_t(o.vertexcount);
      o.vertexbuffer = Buffer(GL_ARRAY_BUFFER_ARB, o.vertices, n * sizeof(_3DV_VECTOR));
      o.normalbuffer = Buffer(GL_ARRAY_BUFFER_ARB, o.normals, n * sizeof(_3DV_VECTOR));
      o.uvbuffer = Buffer(GL_ARRAY_BUFFER_ARB, o.uvs, n * sizeof(_3DV_TEXTCOORD));
      o.facebuffer =
          Buffer(GL_ELEMENT_ARRAY_BUFFER_ARB, o.faces, size_t(o.facecount) * sizeof(_3DV_FACE));
    }
  }
  scene.passcount = 1;
  for (int i = 0; i < 2; ++i) {
    scene.lights[i].enabled = 1;
    scene.lights[i].pos = {i ? 10.0f : -10.0f, -20, 5};
    scene.lights[i].diffuse = {0.8f, 0.8f, 0.8f};
  }
}

bool Start() {
  window = ember_test::OpenGlWindow(kWidth, kHeight);
  if (!window) return false;
  _3DV_EngineUnitInit();
  BuildScene();
  return true;
}

// Render null: the bare clear-and-swap loop.
void Frames(benchmark::State &state, void (*Render)(const _3DV_SCENE &, float)) {
  float t = 0;
  for (auto _ : state) {
    dgl::glViewport(0, 0, kWidth, kHeight);
    _3DV_ClearScreen();
    if (Render) Render(scene, t);
    wmSwapBuffers(window);
    wmPumpEvents();
    t += 1;
  }
  state.counters["fps"] =
      benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
  state.counters["objects"] = scene.objectcount;
}

void ClearAndSwap(benchmark::State &state) { Frames(state, nullptr); }
void Clipped(benchmark::State &state) { Frames(state, _3DV_RenderSceneClipped); }
void Simple(benchmark::State &state) { Frames(state, _3DV_RenderSceneSimple); }
void BufferObjects(benchmark::State &state) { Frames(state, _3DV_RenderSceneVBO); }

BENCHMARK(ClearAndSwap)->Iterations(kFrames)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(Clipped)->Iterations(kFrames)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(Simple)->Iterations(kFrames)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BufferObjects)->Iterations(kFrames)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char **argv) {
  benchmark::Initialize(&argc, argv);
  if (!Start()) {
    std::fprintf(stderr, "engine_render_bench: no window\n");
    return 1;
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  _3DV_FreeScene(scene);
  wmDestroyWindow(window);
  return 0;
}
