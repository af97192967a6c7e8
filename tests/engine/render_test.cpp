// The engine's renderers against the recording OpenGL: the material state
// tables, the pass order, fog, wrap, the environment layer, the face
// fraction, every call of the object renderers in order, client-memory
// draws, the camera set-up, render targets, the hit a pick chooses and the
// release of a scene. Pixels are checked in render_gl_test.cpp.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <map>
#include <numbers>
#include <set>
#include <string>
#include <vector>

#include "engine/effects/picking.h"
#include "engine/effects/render_targets.h"
#include "engine/render/camera.h"
#include "engine/render/engine_state.h"
#include "engine/render/object_render.h"
#include "engine/render/scene_render.h"
#include "engine/scene/scene_textures.h"
#include "framework/log.h"
#include "framework/memory.h"
#include "support/test_support.h"
#include "test_scene.h"
#include "window/gl_demo.h"
#include "window/gl_recorder.h"

using namespace ember_test;

namespace {

// The recorder keeps pointers, not what they point at; light colours are
// caught here while the call happens.
std::vector<std::vector<float>> light_colours;
void CatchLight(GLenum, GLenum pname, const GLfloat *v) {
  if (pname != GL_POSITION) light_colours.push_back({v[0], v[1], v[2], v[3]});
}
// Material colours, as "GL_AMBIENT" etc. with their four values.
std::vector<std::string> material_colours;
void CatchMaterial(GLenum, GLenum pname, const GLfloat *v) {
  char line[128];
  std::snprintf(line, sizeof line, "%s %g %g %g %g",
                pname == GL_AMBIENT ? "ambient" : pname == GL_DIFFUSE ? "diffuse" : "specular",
                v[0], v[1], v[2], v[3]);
  material_colours.push_back(line);
}

// "name(a, b)" with every argument to six significant digits.
std::string Floats(const ember_test::GlCall &c) {
  std::string line = c.name + "(";
  for (size_t i = 0; i < c.args.size(); ++i) {
    char n[32];
    std::snprintf(n, sizeof n, "%g", c.args[i]);
    line += (i ? ", " : "") + std::string(n);
  }
  return line + ")";
}

class EngineRender : public ::testing::Test {
protected:
  void SetUp() override {
    _3DV_EngineUnitInit();
    flags_ = glExtFlags;
    glExtFlags = {};
    light_colours.clear();
  }
  void TearDown() override {
    _3DV_FreeScene(scene_);
    glExtFlags = flags_;
  }

  // "name(arg, arg)" of every call of the given names, in order.
  std::vector<std::string> Trace(std::initializer_list<std::string_view> names) const {
    std::vector<std::string> out;
    for (const GlCall &c : gl_.calls()) {
      if (std::find(names.begin(), names.end(), c.name) != names.end()) out.push_back(Format(c));
    }
    return out;
  }
  static std::string Format(const GlCall &c) {
    std::string line = c.name + "(";
    for (size_t i = 0; i < c.args.size(); ++i)
      line += (i ? ", " : "") + std::to_string(int64_t(c.args[i]));
    return line + ")";
  }
  // Index counts of the triangle draws.
  std::vector<int> Draws() const {
    std::vector<int> counts;
    for (const GlCall &c : gl_.calls()) {
      if (c.name == "glDrawElements" && c.args[0] == GL_TRIANGLES) counts.push_back(int(c.args[1]));
    }
    return counts;
  }

  GlRecorder gl_;
  glExtFlags_t flags_{};
  _3DV_SCENE scene_{};
};

std::string Call(const char *name, std::initializer_list<int64_t> args) {
  std::string line = std::string(name) + "(";
  size_t i = 0;
  for (int64_t a : args) line += (i++ ? ", " : "") + std::to_string(a);
  return line + ")";
}

TEST_F(EngineRender, MaterialCodesSetBlendDepthAndDepthFunctionPerObject) {
  struct Row {
    uint8_t blend, depthtest, depthfunc;
    std::vector<std::string> states;
  };
  const std::vector<Row> rows = {
      {0,
       0,
       0,
       {Call("glDisable", {GL_BLEND}), Call("glDepthMask", {1}), Call("glEnable", {GL_DEPTH_TEST}),
        Call("glDepthFunc", {GL_LESS}), Call("glDepthFunc", {GL_LESS})}},
      {1,
       1,
       1,
       {Call("glEnable", {GL_BLEND}), Call("glBlendFunc", {GL_ONE, GL_ONE}),
        Call("glDepthMask", {0}), Call("glEnable", {GL_DEPTH_TEST}), Call("glDepthFunc", {GL_LESS}),
        Call("glDepthFunc", {GL_LEQUAL})}},
      {2,
       2,
       2,
       {Call("glEnable", {GL_BLEND}), Call("glBlendFunc", {GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA}),
        Call("glDepthMask", {1}), Call("glDisable", {GL_DEPTH_TEST}),
        Call("glDepthFunc", {GL_LESS}), Call("glDepthFunc", {GL_EQUAL})}},
      {3,
       3,
       3,
       {Call("glEnable", {GL_BLEND}), Call("glBlendFunc", {GL_ONE_MINUS_SRC_ALPHA, GL_SRC_ALPHA}),
        Call("glDepthMask", {0}), Call("glDisable", {GL_DEPTH_TEST}),
        Call("glDepthFunc", {GL_LESS}), Call("glDepthFunc", {GL_GREATER})}},
      {4,
       4,
       4,
       {Call("glEnable", {GL_BLEND}), Call("glBlendFunc", {GL_SRC_COLOR, GL_ONE_MINUS_SRC_COLOR}),
        Call("glDepthFunc", {GL_LESS}), Call("glDepthFunc", {GL_GEQUAL})}},
      // Codes outside the tables leave blend and depth alone; GL_LESS stands.
      {7, 9, 9, {Call("glDepthFunc", {GL_LESS}), Call("glDepthFunc", {GL_LESS})}},
  };
  scene_ = MakeScene(int32_t(rows.size()), int32_t(rows.size()));
  for (size_t k = 0; k < rows.size(); ++k) {
    _3DV_MATERIAL &m = scene_.materials[k];
    m.blend = rows[k].blend;
    m.depthtest = rows[k].depthtest;
    m.depthfunc = rows[k].depthfunc;
    scene_.objects[k].vertexbuffer = scene_.objects[k].facebuffer = int32_t(k + 1);
  }
  _3DV_RenderSceneClipped(scene_, 0);

  // Split the trace at each object's matrix push.
  std::vector<std::vector<std::string>> per_object(1);
  bool inside = false;
  for (const GlCall &c : gl_.calls()) {
    if (c.name == "glPushMatrix") {
      inside = true;
      per_object.emplace_back();
    } else if (c.name == "glPopMatrix") {
      inside = false;
    } else if (!inside) {
      const bool tracked =
          (c.name == "glEnable" || c.name == "glDisable")
              ? (c.args[0] == GL_BLEND || c.args[0] == GL_DEPTH_TEST)
              : (c.name == "glBlendFunc" || c.name == "glDepthMask" || c.name == "glDepthFunc");
      if (tracked) per_object.back().push_back(Format(c));
    }
  }
  ASSERT_EQ(per_object.size(), rows.size() + 1);  // the restore after the last
  for (size_t k = 0; k < rows.size(); ++k) {
    std::vector<std::string> got = per_object[k];
    if (k == 0) got.erase(got.begin(), got.begin() + 3);  // depth test on, blend off, mask on
    EXPECT_EQ(got, rows[k].states) << "object " << k;
  }
  // The clip plane was never enabled and is still switched off at the end.
  const auto enables = Trace({"glEnable"});
  EXPECT_EQ(std::count(enables.begin(), enables.end(), Call("glEnable", {GL_CLIP_PLANE0})), 0);
  EXPECT_EQ(gl_.Count("glClipPlane"), 0u);
  EXPECT_EQ(Trace({"glDisable"}).back(), Call("glDisable", {GL_CLIP_PLANE0}));

  // The simple member makes no depth-function call of its own.
  gl_.Clear();
  _3DV_RenderSceneSimple(scene_, 0);
  EXPECT_EQ(gl_.Count("glDepthFunc"), 0u);
}

TEST_F(EngineRender, PassesDrawInPassThenArrayOrderAndHugePassNumbersEndAtOnce) {
  scene_ = MakeScene(6);
  const int32_t passes[] = {2, 0, 1, 0, -1, std::numeric_limits<int32_t>::max()};
  for (int32_t k = 0; k < 6; ++k) {
    scene_.objects[k].passno = passes[k];
    scene_.objects[k].vertexbuffer = 100 + k;
    scene_.objects[k].facebuffer = 1;
  }
  scene_.objects[3].visible = 0;
  scene_.passcount = 2;
  auto drawn = [&] {
    std::vector<int> order;
    for (const GlCall &c : gl_.calls())
      if (c.name == "glBindBufferARB" && c.args[0] == GL_ARRAY_BUFFER_ARB && c.args[1] >= 100)
        order.push_back(int(c.args[1]) - 100);
    return order;
  };
  _3DV_RenderSceneClipped(scene_, 0);
  EXPECT_EQ(drawn(), (std::vector<int>{1, 2, 0}));

  gl_.Clear();
  scene_.passcount = std::numeric_limits<int32_t>::max();
  _3DV_RenderSceneVBO(scene_, 0);
  EXPECT_EQ(drawn(), (std::vector<int>{1, 2, 0, 5}));

  // Many objects in few passes keep their array order within each pass.
  _3DV_FreeScene(scene_);
  scene_ = MakeScene(40);
  for (int32_t k = 0; k < 40; ++k) {
    scene_.objects[k].passno = k % 3;
    scene_.objects[k].vertexbuffer = 100 + k;
    scene_.objects[k].facebuffer = 1;
  }
  std::vector<int> expected;
  for (int pass = 0; pass < 3; ++pass)
    for (int k = pass; k < 40; k += 3) expected.push_back(k);
  scene_.passcount = 2;
  gl_.Clear();
  _3DV_RenderSceneSimple(scene_, 0);
  EXPECT_EQ(drawn(), expected);
}

TEST_F(EngineRender, LightsTakeFourComponentsAndDisabledLightsSwitchOff) {
  scene_ = MakeScene(0);
  scene_.lights[2].enabled = 1;
  scene_.lights[2].ambient = {0.1f, 0.2f, 0.3f};
  scene_.lights[2].diffuse = {0.4f, 0.5f, 0.6f};
  dgl::glLightfv = CatchLight;
  _3DV_RenderSceneClipped(scene_, 0);
  ASSERT_EQ(light_colours.size(), 3u);  // ambient, diffuse, specular
  EXPECT_EQ(light_colours[0], (std::vector<float>{0.1f, 0.2f, 0.3f, 1}));
  EXPECT_EQ(light_colours[1], (std::vector<float>{0.4f, 0.5f, 0.6f, 1}));
  EXPECT_EQ(light_colours[2], (std::vector<float>{0, 0, 0, 1}));
  for (int i = 0; i < 8; ++i) {
    const auto lights = Trace({i == 2 ? "glEnable" : "glDisable"});
    EXPECT_NE(std::find(lights.begin(), lights.end(),
                        Call(i == 2 ? "glEnable" : "glDisable", {GL_LIGHT0 + i})),
              lights.end())
        << "light " << i;
  }
}

// The whole trace of a scene renderer. Light values and the clip plane are
// passed by pointer, so these stand-ins record them with the call; light
// colours to three components, as the light records hold them.
void RecordLight(GLenum light, GLenum pname, const GLfloat *v) {
  GlCall &c = GlRecorder::active->Append("glLightfv");
  c.args = {double(light), double(pname), v[0], v[1], v[2]};
  if (pname == GL_POSITION) c.args.push_back(v[3]);
}
void RecordClipPlane(GLenum plane, const GLdouble *e) {
  GlCall &c = GlRecorder::active->Append("glClipPlane");
  c.args = {double(plane), e[0], e[1], e[2], e[3]};
}
// "name(a, b)" with every argument to the last bit.
std::string Exact(std::string_view name, const std::vector<double> &args) {
  std::string line = std::string(name) + "(";
  for (size_t i = 0; i < args.size(); ++i) {
    char n[40];
    std::snprintf(n, sizeof n, "%.17g", args[i]);
    line += (i ? ", " : "") + std::string(n);
  }
  return line + ")";
}
std::vector<std::string> ExactTrace(const GlRecorder &gl) {
  std::vector<std::string> out;
  for (const GlCall &c : gl.calls()) out.push_back(Exact(c.name, c.args));
  return out;
}
// One call a line, so that a failure shows the difference.
std::string OneCallALine(const std::vector<std::string> &trace) {
  std::string text;
  for (const std::string &line : trace) text += line + "\n";
  return text;
}
// A track of the given keys in place of the one there.
void SetKeys(_3DV_KEYVECTOR *&keys, int32_t &count, std::initializer_list<_3DV_KEYVECTOR> list) {
  pasMemFree(&keys);
  count = int32_t(list.size());
  keys = FileArray<_3DV_KEYVECTOR>(count);
  std::copy(list.begin(), list.end(), keys);
}
// A camera whose eye moves between two keys, its tangents zero, so that
// halfway the eye lies halfway.
void SetCamera(_3DV_SCENE &s, _3DV_KEYVECTOR from, _3DV_KEYVECTOR to, _3DV_KEYVECTOR target) {
  SetKeys(s.camerapositions, s.camerapositioncount, {from, to});
  SetKeys(s.cameratargets, s.cameratargetcount, {target});
  _3DV_MemFree(s.camerapositionease);
  s.camerapositionease = EngineArray<_3DV_VECTOR>(2);
}

TEST_F(EngineRender, EveryMemberSetsCameraClipPlaneLightsAndPassStatesInOrder) {
  // Lights and objects at t = 10, halfway along their tracks (frames 0 and
  // 20). The mirror's camera comes from a second scene at frame 2, halfway
  // along its own track, which ends elsewhere at frame 10.
  const float t = 10, camera_time = 2;
  scene_ = MakeScene(7, 3);
  SetCamera(scene_, {0, 0, -8, 0}, {20, 4, -8, 2}, {0, 0, 0, 1});
  _3DV_SCENE camera = MakeScene(0);
  struct Free {
    _3DV_SCENE &s;
    ~Free() { _3DV_FreeScene(s); }
  } free_camera{camera};
  SetCamera(camera, {0, 1, -6, 0}, {4, 1, -6, 8}, {0, 0, 0, 4});
  camera.camerafov = std::numbers::pi_v<float> / 2;
  camera.cameranear = 1;
  camera.camerafar = 50;

  // Lights 0, 3 and 7 on; 3 and 7 on tracks (of two keys and of one) that
  // lead away from their pos.
  const _3DV_RGB colours[8][3] = {
      {{0.1f, 0.2f, 0.3f}, {0.4f, 0.5f, 0.6f}, {0.7f, 0.8f, 0.9f}}, {}, {},
      {{0.15f, 0.25f, 0.35f}, {0.45f, 0.55f, 0.65f}, {0.75f, 0.85f, 0.95f}}, {}, {}, {},
      {{0.3f, 0.2f, 0.1f}, {0.6f, 0.5f, 0.4f}, {0.9f, 0.8f, 0.7f}}};
  for (int i : {0, 3, 7}) {
    _3DV_LIGHT &l = scene_.lights[i];
    l.enabled = 1;
    l.ambient = colours[i][0], l.diffuse = colours[i][1], l.specular = colours[i][2];
  }
  scene_.lights[0].pos = {5, 6, 7};
  scene_.lights[3].pos = {9, 9, 9};
  SetKeys(scene_.lights[3].positionkeys, scene_.lights[3].positionkeycount,
          {{0, 0, 0, 0}, {20, 2, 4, 6}});
  scene_.lights[7].pos = {8, 8, 8};
  SetKeys(scene_.lights[7].positionkeys, scene_.lights[7].positionkeycount, {{0, -1, -2, -3}});
  const float positions[8][3] = {{5, 6, 7}, {}, {}, {1, 2, 3}, {}, {}, {}, {-1, -2, -3}};

  // Materials with an alpha test above and below 0 and one without; the
  // depth-function code 5 is the first outside the table.
  struct Codes {
    float alphatest;
    uint8_t blend, depthtest, depthfunc;
  };
  const Codes codes[] = {{0.5f, 2, 1, 3}, {0, 0, 2, 5}, {-0.25f, 1, 0, 4}};
  for (int m = 0; m < 3; ++m) {
    scene_.materials[m].alphatest = codes[m].alphatest;
    scene_.materials[m].blend = codes[m].blend;
    scene_.materials[m].depthtest = codes[m].depthtest;
    scene_.materials[m].depthfunc = codes[m].depthfunc;
  }
  // Drawn: 1 and 5 in pass 0, then 0 in the last pass. Never: 2 (hidden),
  // 3 (pass above passcount), 4 (negative pass), 6 (no such material).
  const int32_t pass[] = {1, 0, 0, 2, -1, 0, 0};
  const int32_t material[] = {0, 1, 2, 0, 0, 2, 7};
  for (int32_t k = 0; k < 7; ++k) {
    _3DV_OBJECT &o = scene_.objects[k];
    o.passno = pass[k];
    o.material = material[k];
    o.vertexbuffer = 100 + k;
    o.facebuffer = 200 + k;
  }
  scene_.objects[2].visible = 0;
  scene_.passcount = 1;
  _3DV_OBJECT &moving = scene_.objects[5];
  SetKeys(moving.positionkeys, moving.positionkeycount, {{0, 0, 0, 0}, {20, 2, 2, 2}});

  _3DV_ClipPlaneEnabled = 1;
  _3DV_ClipPlane[0] = 1, _3DV_ClipPlane[1] = 2, _3DV_ClipPlane[2] = 3, _3DV_ClipPlane[3] = 4;
  _3DV_ProjectionScale = 2;
  _3DV_SceneScale[0] = 2, _3DV_SceneScale[1] = 3, _3DV_SceneScale[2] = 4;
  dgl::glLightfv = RecordLight;
  dgl::glClipPlane = RecordClipPlane;

  // The pick renders as the scaled members do, in selection mode, with
  // every light off and each object named by its number.
  enum Member { kClipped, kMirror, kSimple, kVbo, kPick };
  for (Member member : {kClipped, kMirror, kSimple, kVbo, kPick}) {
    SCOPED_TRACE(member);
    const bool mirror = member == kMirror, clipped = member == kClipped || mirror;
    const bool pick = member == kPick, scaled = member == kSimple || member == kVbo || pick;
    gl_.Clear();
    switch (member) {
      case kClipped: _3DV_RenderSceneClipped(scene_, t); break;
      case kMirror: _3DV_RenderSceneMirror(scene_, camera, t, camera_time); break;
      case kSimple: _3DV_RenderSceneSimple(scene_, t); break;
      case kVbo: _3DV_RenderSceneVBO(scene_, t); break;
      case kPick:
        _3DV_PickX = 10;
        _3DV_PickY = 20;
        EXPECT_EQ(_3DV_PickScene(scene_, t), 0);
        break;
    }
    const std::vector<std::string> got = ExactTrace(gl_);

    std::vector<std::string> want;
    auto add = [&](std::string_view name, std::vector<double> args) {
      want.push_back(Exact(name, args));
    };
    const _3DV_SCENE &view = mirror ? camera : scene_;
    if (pick) {
      add("glGetIntegerv", {GL_VIEWPORT, 0});
      add("glSelectBuffer", {512, 0});
      add("glRenderMode", {GL_SELECT});
      add("glInitNames", {});
      add("glPushName", {0});
    }
    add("glEnable", {GL_DEPTH_TEST});
    add("glMatrixMode", {GL_TEXTURE});
    add("glLoadIdentity", {});
    add("glMatrixMode", {GL_PROJECTION});
    add("glLoadIdentity", {});
    if (pick) add("gluPickMatrix", {10, 479 - 20, 1, 1, 0});
    add("gluPerspective", {double(view.camerafov * 180.0f) / std::numbers::pi, 4.0 / 3.0,
                           view.cameranear, view.camerafar});
    if (scaled) add("glScalef", {2, 2, 2});
    auto look = [&] {
      add("glMatrixMode", {GL_MODELVIEW});
      add("glLoadIdentity", {});
      if (mirror) {
        add("gluLookAt", {1, -6, 4, 0, 0, 4, 0, 0, 1});
        add("glScalef", {2, 3, 4});
      } else {
        add("gluLookAt", {2, -8, 1, 0, 0, 1, 0, 0, 1});
      }
    };
    auto lights = [&] {
      for (int i = 0; i < 8; ++i) {
        const GLenum id = GL_LIGHT0 + i;
        if (!scene_.lights[i].enabled || pick) {
          add("glDisable", {double(id)});
          continue;
        }
        add("glEnable", {double(id)});
        const GLenum names[] = {GL_AMBIENT, GL_DIFFUSE, GL_SPECULAR};
        for (int c = 0; c < 3; ++c)
          add("glLightfv", {double(id), double(names[c]), colours[i][c].r, colours[i][c].g,
                            colours[i][c].b});
        add("glLightf", {double(id), GL_SPOT_CUTOFF, 180});
        add("glLightfv", {double(id), GL_POSITION, positions[i][0], positions[i][1],
                          positions[i][2], 1});
      }
    };
    if (member == kVbo) {
      lights();
      look();
    } else {
      look();
      if (clipped) {
        add("glEnable", {GL_CLIP_PLANE0});
        add("glClipPlane", {GL_CLIP_PLANE0, 1, 2, 3, 4});
      }
      lights();
    }
    add("glDisable", {GL_BLEND});
    add("glDepthMask", {GL_TRUE});
    if (!pick) {
      add("glDisable", {GL_LIGHTING});
      add("glColor3f", {1, 1, 1});
    }
    // Each drawn object: its material's states, then the object drawer's
    // own calls, taken from the drawer alone.
    std::vector<std::vector<std::string>> drawer(7);
    for (int32_t k : {1, 5, 0}) {
      gl_.Clear();
      if (member == kVbo) {
        _3DV_RenderObjectVBO(scene_, k, t);
      } else {
        _3DV_RenderObject(scene_, k, t);
      }
      drawer[k] = ExactTrace(gl_);
    }
    for (int32_t k : {1, 5, 0}) {
      const Codes &c = codes[material[k]];
      if (c.alphatest != 0) {
        add("glEnable", {GL_ALPHA_TEST});
        add("glAlphaFunc", {GL_GREATER, c.alphatest});
      } else {
        add("glDisable", {GL_ALPHA_TEST});
      }
      // Blend and depth codes (0, 2), (1, 0) and (2, 1) of objects 1, 5, 0.
      if (k == 1) {
        add("glDisable", {GL_BLEND});
        add("glDepthMask", {GL_TRUE});
        add("glDisable", {GL_DEPTH_TEST});
      } else if (k == 5) {
        add("glEnable", {GL_BLEND});
        add("glBlendFunc", {GL_ONE, GL_ONE});
        add("glDepthMask", {GL_TRUE});
        add("glEnable", {GL_DEPTH_TEST});
      } else {
        add("glEnable", {GL_BLEND});
        add("glBlendFunc", {GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA});
        add("glDepthMask", {GL_FALSE});
        add("glEnable", {GL_DEPTH_TEST});
      }
      if (pick) {
        add("glDepthFunc", {GL_LESS});
        add("glLoadName", {double(k + 1)});
      } else if (member != kSimple) {
        add("glDepthFunc", {GL_LESS});
        add("glDepthFunc", {double(k == 1 ? GL_LESS : k == 5 ? GL_GEQUAL : GL_GREATER)});
      }
      want.insert(want.end(), drawer[k].begin(), drawer[k].end());
    }
    add("glDisable", {GL_ALPHA_TEST});
    add("glDepthMask", {GL_TRUE});
    if (clipped) add("glDisable", {GL_CLIP_PLANE0});
    if (pick) add("glRenderMode", {GL_RENDER});
    EXPECT_EQ(OneCallALine(got), OneCallALine(want));
    // The camera of the call stays for the drawers that follow.
    EXPECT_EQ(_3DV_CameraPos.x, mirror ? 1.0f : 2.0f);
    EXPECT_EQ(_3DV_CameraTarget.z, mirror ? 4.0f : 1.0f);
  }
  _3DV_EngineUnitInit();
}

TEST_F(EngineRender, EachMemberLogsAMissingCameraOfTheSceneItLooksThrough) {
  TempDir dir;
  const std::string file = dir.str("engine.log");
  const char *old = SYS_LogGetFile();
  const std::string old_file = old ? old : "";
  ASSERT_EQ(SYS_LogSetFile(file.c_str()), 0);
  const uint32_t flags = SYS_LogGetFlags();
  SYS_LogSetFlags(SYS_LOG_ON);
  scene_ = MakeScene(0);
  _3DV_SCENE untracked = MakeScene(0);
  untracked.cameratargetcount = 0;
  _3DV_SCENE still = MakeScene(0);
  still.camerapositioncount = 0;
  // The line once for each call through a camera with an empty track.
  const std::string line =
      "V3IZOZU: Scene not renderable without camera animation target and position track\n";
  std::string logged;
  auto logs = [&](bool once) {
    if (once) logged += line;
    return ReadFile(file) == logged;
  };
  _3DV_RenderSceneClipped(untracked, 0);
  EXPECT_TRUE(logs(true));
  _3DV_RenderSceneSimple(still, 0);
  EXPECT_TRUE(logs(true));
  _3DV_RenderSceneVBO(untracked, 0);
  EXPECT_TRUE(logs(true));
  _3DV_RenderSceneMirror(scene_, untracked, 0, 0);
  EXPECT_TRUE(logs(true));
  _3DV_RenderSceneMirror(untracked, scene_, 0, 0);  // its own camera is not used
  EXPECT_TRUE(logs(false));
  _3DV_RenderSceneClipped(scene_, 0);
  EXPECT_TRUE(logs(false));
  SYS_LogSetFlags(flags);
  if (!old_file.empty()) SYS_LogSetFile(old_file.c_str());
  _3DV_FreeScene(untracked);
  _3DV_FreeScene(still);
}

TEST_F(EngineRender, ObjectStatesFogWrapShininessAndAnisotropy) {
  scene_ = MakeScene(1);
  _3DV_OBJECT &o = scene_.objects[0];
  _3DV_MATERIAL &m = scene_.materials[0];
  o.vertexbuffer = o.facebuffer = o.normalbuffer = o.uvbuffer = 1;
  o.fog = 1;
  m.textured = 1;
  const GLint modes[] = {GL_LINEAR, GL_EXP, GL_EXP2};
  for (uint8_t mode = 0; mode < 4; ++mode) {
    gl_.Clear();
    o.fogmode = mode;
    m.texturewrap = mode;  // 1 clamps, everything else repeats
    m.shine = mode == 3 ? 500 : -3;
    _3DV_RenderObject(scene_, 0, 0);
    EXPECT_EQ(Trace({"glFogi"}),
              mode < 3 ? std::vector<std::string>{Call("glFogi", {GL_FOG_MODE, modes[mode]})}
                       : std::vector<std::string>{});
    EXPECT_EQ(gl_.Count("glFogf"), 3u);
    const GLint wrap = mode == 1 ? GL_CLAMP_TO_EDGE : GL_REPEAT;
    EXPECT_EQ(Trace({"glTexParameteri"}),
              (std::vector<std::string>{
                  Call("glTexParameteri", {GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, wrap}),
                  Call("glTexParameteri", {GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, wrap})}));
    EXPECT_EQ(gl_.Find("glMateriali")->args[2], mode == 3 ? 128 : 0);
    EXPECT_EQ(Trace({"glDisable"}).back(), Call("glDisable", {GL_FOG}));
  }
  // Culling: front faces are the culled ones.
  o.backfacecull = 1;
  gl_.Clear();
  _3DV_RenderObject(scene_, 0, 0);
  EXPECT_EQ(Trace({"glCullFace"}), (std::vector<std::string>{Call("glCullFace", {GL_FRONT})}));
  // Anisotropy is neither asked for nor set without the extension.
  EXPECT_EQ(gl_.Count("glGetFloatv") + gl_.Count("glTexParameterf"), 0u);
  glExtFlags.anisotropicFilter = 1;
  gl_.floats[GL_MAX_TEXTURE_MAX_ANISOTROPY_EXT] = {16};
  gl_.Clear();
  _3DV_RenderObject(scene_, 0, 0);
  ASSERT_EQ(gl_.Count("glTexParameterf"), 1u);
  EXPECT_EQ(gl_.Find("glTexParameterf")->args[2], 16);
  EXPECT_EQ(gl_.Count("glTexCoordPointer"), 1u);
  // A maximum below 1 (no context should answer one) still sets the least
  // valid value.
  gl_.floats[GL_MAX_TEXTURE_MAX_ANISOTROPY_EXT] = {0.5f};
  gl_.Clear();
  _3DV_RenderObject(scene_, 0, 0);
  EXPECT_EQ(gl_.Find("glTexParameterf")->args[2], 1);
  // The engine's switch turns it off with the extension present; an object
  // without texture coordinates gets none from its buffer.
  _3DV_Anisotropic = false;
  o.hasuv = 0;
  gl_.Clear();
  _3DV_RenderObject(scene_, 0, 0);
  EXPECT_EQ(gl_.Count("glGetFloatv") + gl_.Count("glTexParameterf"), 0u);
  EXPECT_EQ(gl_.Count("glTexCoordPointer"), 0u);
  o.hasuv = 1;
  // A material switched to untextured leaves the texture coordinates off.
  m.textured = 0;
  gl_.Clear();
  _3DV_RenderObject(scene_, 0, 0);
  EXPECT_EQ(gl_.Count("glTexCoordPointer"), 0u);
}

TEST_F(EngineRender, FaceFractionEnvironmentLayerAndDistanceCulling) {
  scene_ = MakeScene(1);
  _3DV_OBJECT &o = scene_.objects[0];
  o.vertexbuffer = o.facebuffer = 1;
  o.facecount = 7;  // the buffer is what is drawn; the array is not read
  // A share of no face makes no draw; every fraction counts all faces.
  const float fractions[] = {0.5f, -1, 5, std::nanf(""), 0};
  const std::vector<int> expected[] = {{9}, {21}, {21}, {21}, {}};
  for (int i = 0; i < 5; ++i) {
    gl_.Clear();
    _3DV_FaceFraction = fractions[i];
    _3DV_FacesDrawn = 0;
    _3DV_RenderObject(scene_, 0, 0);
    EXPECT_EQ(Draws(), expected[i]) << fractions[i];
    EXPECT_EQ(_3DV_FacesDrawn, 7) << fractions[i];
  }
  // The environment layer always covers every face and leaves GL_LEQUAL.
  _3DV_FaceFraction = 0.5f;
  scene_.materials[0].envmap = 1;
  gl_.Clear();
  _3DV_RenderObject(scene_, 0, 0);
  EXPECT_EQ(Draws(), (std::vector<int>{9, 21}));
  EXPECT_EQ(Trace({"glDepthFunc", "glBlendFunc"}),
            (std::vector<std::string>{Call("glDepthFunc", {GL_EQUAL}),
                                      Call("glBlendFunc", {GL_ONE, GL_ONE}),
                                      Call("glDepthFunc", {GL_LEQUAL})}));
  scene_.materials[0].envmap = 0;
  _3DV_FaceFraction = -1;

  // Exactly at the view distance from the eye draws; a little farther does
  // not.
  o.distancecull = 1;
  _3DV_CameraPos = {0, 2, 0};
  _3DV_CameraTarget = o.pivot = {0, 12, 0};
  scene_.viewdistance = 10;
  gl_.Clear();
  _3DV_RenderObject(scene_, 0, 0);
  EXPECT_EQ(Draws().size(), 1u);
  scene_.viewdistance = 9.99f;
  gl_.Clear();
  _3DV_RenderObject(scene_, 0, 0);
  EXPECT_TRUE(Draws().empty());
  o.distancecull = 2;
  scene_.viewdistance = 1000;
  gl_.Clear();
  _3DV_RenderObjectVBO(scene_, 0, 0);
  EXPECT_TRUE(Draws().empty());
  o.distancecull = 0;

  // Without both buffers nothing is drawn, not even the environment
  // layer, but both renderers count the object.
  scene_.materials[0].envmap = 1;
  _3DV_FacesDrawn = _3DV_ObjectsDrawn = 0;
  gl_.Clear();
  for (const auto &[vertices, faces] : {std::pair{0, 0}, std::pair{1, 0}, std::pair{0, 1}}) {
    o.vertexbuffer = vertices, o.facebuffer = faces;
    _3DV_RenderObject(scene_, 0, 0);
    _3DV_RenderObjectVBO(scene_, 0, 0);
  }
  EXPECT_TRUE(Draws().empty());
  EXPECT_EQ(_3DV_ObjectsDrawn, 6);
  EXPECT_EQ(_3DV_FacesDrawn, 42);
  scene_.materials[0].envmap = 0;

  // A negative index or a material that does not exist draws nothing.
  gl_.Clear();
  _3DV_RenderObject(scene_, -1, 0);
  _3DV_RenderObjectVBO(scene_, 1, 0);
  for (int32_t material : {3, 1, -1}) {
    o.material = material;
    _3DV_RenderObject(scene_, 0, 0);
    _3DV_RenderObjectVBO(scene_, 0, 0);
  }
  EXPECT_TRUE(gl_.calls().empty());
}

// Every call with all its arguments, numbers to six significant digits; a
// pointer argument by the name of the array it points at ("ptr" for any
// other). Colours handed over by pointer are caught at the call and written
// out in place of the pointer, so they keep their place in the order.
using ArrayNames = std::map<const void *, std::string>;
std::vector<std::string> FullTrace(const GlRecorder &gl, const ArrayNames &arrays = {}) {
  std::vector<std::string> out;
  for (const GlCall &c : gl.calls()) {
    std::string line = c.name + "(";
    for (size_t i = 0; i < c.args.size(); ++i) {
      char n[32];
      std::snprintf(n, sizeof n, "%g", c.args[i]);
      std::string arg = n;
      if (i < c.pointers.size() && c.pointers[i]) {
        const auto it = arrays.find(c.pointers[i]);
        arg = it == arrays.end() ? "ptr" : it->second;
      }
      line += (i ? ", " : "") + arg;
    }
    out.push_back(line + ")");
  }
  return out;
}
// The expected line: the numbers, then a pointer's name when one ends the call.
std::string Line(const char *name, std::initializer_list<double> args,
                 const char *pointer = nullptr) {
  GlCall c{name, args, {}, {}, {}};
  std::string line = Floats(c);
  if (pointer) line.insert(line.size() - 1, (args.size() ? ", " : "") + std::string(pointer));
  return line;
}
void RecordValues(const char *name, std::initializer_list<double> leading, const GLfloat *v) {
  GlCall &c = GlRecorder::active->Append(name);
  c.args = leading;
  c.args.insert(c.args.end(), v, v + 4);
  c.pointers.assign(c.args.size(), nullptr);
}
void MaterialInTrace(GLenum face, GLenum pname, const GLfloat *v) {
  CatchMaterial(face, pname, v);
  RecordValues("glMaterialfv", {double(face), double(pname)}, v);
}
void FogInTrace(GLenum pname, const GLfloat *v) { RecordValues("glFogfv", {double(pname)}, v); }
using Lines = std::vector<std::string>;
Lines operator+(Lines a, const Lines &b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

TEST_F(EngineRender, ObjectRenderersTransformTextureMatrixMaterialAndLayers) {
  scene_ = MakeScene(1);
  _3DV_OBJECT &o = scene_.objects[0];
  _3DV_MATERIAL &m = scene_.materials[0];
  // Four different buffers, so each binding shows which one it names.
  o.vertexbuffer = 11, o.normalbuffer = 12, o.uvbuffer = 13, o.facebuffer = 14;
  o.positionkeycount = 2;  // at (1, 2, 3) at frame 4
  o.positionkeys = FileArray<_3DV_KEYVECTOR>(2);
  o.positionkeys[1] = {8, 2, 4, 6};
  o.pivot = {4, 5, 6};
  o.rotation = {10, 20, 30};
  o.texturescroll = {0.5f, 0.25f, -1};
  o.fog = 1, o.fogmode = 1, o.fogparam = {0.25f, 2, 50}, o.fogcolor = {0.1f, 0.2f, 0.3f, 0.4f};
  o.backfacecull = 1;
  // Vertex colours, which only the buffer-object renderer reads, and only
  // without the light factor.
  o.hascolors = 1;
  o.colors = FileArray<_3DV_RGB>(o.vertexcount);
  _3DV_Offset = {7, 8, 9};
  _3DV_SceneScale[0] = 2, _3DV_SceneScale[1] = 3, _3DV_SceneScale[2] = 4;
  _3DV_FaceFraction = 0.5f;  // a leading face of two; the layer covers both
  glExtFlags.anisotropicFilter = 1;
  gl_.floats[GL_MAX_TEXTURE_MAX_ANISOTROPY_EXT] = {8};
  m.textured = 1, m.texid = 3, m.texturewrap = 1, m.receivelight = 1, m.shine = 20;
  m.utile = 2, m.vtile = 3;
  m.ambient = {0.1f, 0.2f, 0.3f}, m.diffuse = {0.8f, 0.6f, 0.4f}, m.specular = {0.2f, 0.4f, 1};
  m.constantalpha = 0.5f;
  m.envmap = 1, m.envblend = 1, m.envcolor = {0.25f, 0.5f, 0.75f}, m.envalpha = 0.125f;
  m.envmaptexid = 9;
  dgl::glMaterialfv = MaterialInTrace;
  dgl::glFogfv = FogInTrace;
  const ArrayNames arrays = {{o.vertices, "vertices"}, {o.colors, "colors"}};

  const Lines push = {Line("glMatrixMode", {GL_MODELVIEW}), Line("glPushMatrix", {}),
                      Line("glTranslatef", {1, 2, 3}), Line("glTranslatef", {4, 5, 6}),
                      Line("glRotatef", {10, 1, 0, 0}), Line("glRotatef", {20, 0, 1, 0}),
                      Line("glRotatef", {30, 0, 0, 1}), Line("glTranslatef", {-4, -5, -6})};
  const Lines states = {Line("glEnable", {GL_CULL_FACE}), Line("glCullFace", {GL_FRONT}),
                        Line("glEnable", {GL_LIGHTING}), Line("glEnable", {GL_TEXTURE_2D}),
                        Line("glBindTexture", {GL_TEXTURE_2D, 3})};
  const Lines wrap = {
      Line("glTexParameteri", {GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE}),
      Line("glTexParameteri", {GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE})};
  auto material = [](float alpha, float factor) {
    return Lines{Line("glMaterialfv", {GL_FRONT_AND_BACK, GL_AMBIENT, 0.1f, 0.2f, 0.3f, alpha}),
                 Line("glMaterialfv", {GL_FRONT_AND_BACK, GL_DIFFUSE, 0.8f * factor,
                                       0.6f * factor, 0.4f * factor, alpha}),
                 Line("glMaterialfv", {GL_FRONT_AND_BACK, GL_SPECULAR, 0.2f * factor,
                                       0.4f * factor, 1 * factor, alpha}),
                 Line("glShadeModel", {GL_SMOOTH}),
                 Line("glMateriali", {GL_FRONT_AND_BACK, GL_SHININESS, 20})};
  };
  const Lines tiles = {Line("glMatrixMode", {GL_TEXTURE}), Line("glLoadIdentity", {}),
                       Line("glScalef", {2, 3, 1})};
  const Lines vertices = {Line("glEnableClientState", {GL_VERTEX_ARRAY}),
                          Line("glBindBufferARB", {GL_ARRAY_BUFFER_ARB, 11}),
                          Line("glVertexPointer", {3, GL_FLOAT, 12, 0})};
  const Lines normals = {Line("glEnableClientState", {GL_NORMAL_ARRAY}),
                         Line("glBindBufferARB", {GL_ARRAY_BUFFER_ARB, 12}),
                         Line("glNormalPointer", {GL_FLOAT, 12, 0})};
  const Lines uvs = {Line("glEnableClientState", {GL_TEXTURE_COORD_ARRAY}),
                     Line("glBindBufferARB", {GL_ARRAY_BUFFER_ARB, 13}),
                     Line("glTexCoordPointer", {2, GL_FLOAT, 8, 0})};
  auto draw = [](int indices) {
    return Lines{Line("glBindBufferARB", {GL_ELEMENT_ARRAY_BUFFER_ARB, 14}),
                 Line("glDrawElements", {GL_TRIANGLES, double(indices), GL_UNSIGNED_INT, 0})};
  };
  // The bindings go back to 0 after every buffer draw (see the header).
  const Lines unbind = {Line("glBindBufferARB", {GL_ARRAY_BUFFER_ARB, 0}),
                        Line("glBindBufferARB", {GL_ELEMENT_ARRAY_BUFFER_ARB, 0})};
  const Lines off = {Line("glDisableClientState", {GL_VERTEX_ARRAY}),
                     Line("glDisableClientState", {GL_NORMAL_ARRAY})};
  const Lines pop = {Line("glMatrixMode", {GL_MODELVIEW}), Line("glPopMatrix", {})};
  auto layer = [&](double source, double destination, const Lines &normals_on,
                   const Lines &normals_off) {
    return Lines{Line("glEnable", {GL_TEXTURE_2D}), Line("glBindTexture", {GL_TEXTURE_2D, 9}),
                 Line("glEnable", {GL_TEXTURE_GEN_S}), Line("glEnable", {GL_TEXTURE_GEN_T}),
                 Line("glTexGeni", {GL_S, GL_TEXTURE_GEN_MODE, GL_SPHERE_MAP}),
                 Line("glTexGeni", {GL_T, GL_TEXTURE_GEN_MODE, GL_SPHERE_MAP}),
                 Line("glDepthFunc", {GL_EQUAL}), Line("glEnable", {GL_BLEND}),
                 Line("glBlendFunc", {source, destination}),
                 Line("glColor4f", {0.25f, 0.5f, 0.75f, 0.125f})} +
           vertices + normals_on + draw(6) + Lines{off[0]} + normals_off + unbind +
           Lines{Line("glDepthFunc", {GL_LEQUAL}), Line("glDisable", {GL_TEXTURE_GEN_S}),
                 Line("glDisable", {GL_TEXTURE_GEN_T}), Line("glDisable", {GL_BLEND})};
  };

  // The full renderer at t = 4: fog; track, pivot rotation x then y then z,
  // world offset and scale; culling, lighting, the texture at the maximum
  // anisotropy, the material; tiles then scroll x t on the texture matrix;
  // the leading face in the ambient colour, then the environment layer
  // over every face, blended by its alpha.
  _3DV_RenderObject(scene_, 0, 4);
  const Lines fog = {Line("glEnable", {GL_FOG}), Line("glFogi", {GL_FOG_MODE, GL_EXP}),
                     Line("glFogf", {GL_FOG_DENSITY, 0.25f}), Line("glFogf", {GL_FOG_START, 2}),
                     Line("glFogf", {GL_FOG_END, 50}),
                     Line("glFogfv", {GL_FOG_COLOR, 0.1f, 0.2f, 0.3f, 0.4f})};
  const Lines world = {Line("glTranslatef", {7, 8, 9}), Line("glScalef", {2, 3, 4})};
  const Lines anisotropy = {
      Line("glGetFloatv", {GL_MAX_TEXTURE_MAX_ANISOTROPY_EXT}, "ptr"),
      Line("glTexParameterf", {GL_TEXTURE_2D, GL_TEXTURE_MAX_ANISOTROPY_EXT, 8})};
  const Lines ambient = {Line("glColor4f", {0.1f, 0.2f, 0.3f, 0.5f})};
  const Lines uvs_off = {Line("glDisableClientState", {GL_TEXTURE_COORD_ARRAY})};
  const Lines fog_off = {Line("glDisable", {GL_FOG})};
  EXPECT_EQ(FullTrace(gl_, arrays),
            (fog + push + world + states + anisotropy + wrap + material(0.5f, 1) + tiles +
                Lines{Line("glTranslatef", {2, 1, -4})} + vertices + normals + uvs + ambient +
                draw(3) + off + uvs_off + unbind +
                layer(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA, normals, Lines{off[1]}) + pop +
                fog_off));

  // Every switch the other way: no fog, track, culling, lighting, texture
  // or normals, and the layer added. Texture coordinates stay off for an
  // untextured material although the object has them.
  o.fog = 0, o.positionkeycount = 0, o.backfacecull = 0, o.hasnormals = 0;
  m.receivelight = 0, m.textured = 0, m.envblend = 0;
  _3DV_FaceFraction = -1;
  gl_.Clear();
  _3DV_RenderObject(scene_, 0, 4);
  const Lines untextured = {Line("glDisable", {GL_CULL_FACE}), Line("glDisable", {GL_LIGHTING}),
                            Line("glDisable", {GL_TEXTURE_2D})};
  const Lines pivot(push.begin() + 3, push.end());
  EXPECT_EQ(FullTrace(gl_, arrays),
            (fog_off + Lines{push[0], push[1]} + pivot + world + untextured + material(0.5f, 1) +
                tiles + Lines{Line("glTranslatef", {2, 1, -4})} + vertices + ambient + draw(6) +
                Lines{off[0]} + unbind + layer(GL_ONE, GL_ONE, {}, {}) + pop + fog_off));
  o.fog = 1, o.positionkeycount = 2, o.backfacecull = 1, o.hasnormals = 1;
  m.receivelight = 1, m.textured = 1, m.envblend = 1;
  _3DV_FaceFraction = 0.5f;

  // The buffer-object renderer: no fog, offset, scale, anisotropy, scroll
  // or layer, every face; alpha 1.0 in the material; the light factor on
  // diffuse and specular only, the current colour the unscaled diffuse
  // with the constant alpha, and the vertex colours unused.
  o.uselightfactor = 1;
  scene_.lightfactor = 0.5f;
  gl_.Clear();
  material_colours.clear();
  _3DV_RenderObjectVBO(scene_, 0, 4);
  EXPECT_EQ(FullTrace(gl_, arrays),
            (push + states + wrap + material(1, 0.5f) + tiles + vertices + normals + uvs +
                Lines{Line("glColor4f", {0.8f, 0.6f, 0.4f, 0.5f})} + draw(6) + off + uvs_off +
                unbind + pop));
  EXPECT_EQ(material_colours, (std::vector<std::string>{"ambient 0.1 0.2 0.3 1",
                                                        "diffuse 0.4 0.3 0.2 1",
                                                        "specular 0.1 0.2 0.5 1"}));

  // Without the light factor: the vertex colours from memory, with no
  // buffer bound, and switched off again after the draw, so no later draw
  // reads them; the current colour the ambient one with the constant
  // alpha. An untextured material gets no texture coordinates; unlit.
  o.uselightfactor = 0;
  m.textured = 0, m.receivelight = 0;
  gl_.Clear();
  material_colours.clear();
  _3DV_RenderObjectVBO(scene_, 0, 4);
  EXPECT_EQ(FullTrace(gl_, arrays),
            (push + Lines{states[0], states[1], untextured[1], untextured[2]} + material(1, 1) +
                tiles +
                vertices + normals +
                Lines{Line("glBindBufferARB", {GL_ARRAY_BUFFER_ARB, 0}),
                      Line("glEnableClientState", {GL_COLOR_ARRAY}),
                      Line("glColorPointer", {3, GL_FLOAT, 12}, "colors")} +
                ambient + draw(6) + off + unbind +
                Lines{Line("glDisableClientState", {GL_COLOR_ARRAY})} + pop));
  EXPECT_EQ(material_colours, (std::vector<std::string>{"ambient 0.1 0.2 0.3 1",
                                                        "diffuse 0.8 0.6 0.4 1",
                                                        "specular 0.2 0.4 1 1"}));
  _3DV_FaceFraction = -1;
  glExtFlags.anisotropicFilter = 0;
  auto call = [](const char *name, std::initializer_list<double> args) { return Line(name, args); };

  // The alpha test of the scene renderers: on above a reference, off at 0,
  // and off again when the scene is done.
  m.envmap = 0;
  m.alphatest = 0.75f;
  gl_.Clear();
  _3DV_RenderSceneClipped(scene_, 0);
  std::vector<std::string> alpha;
  for (const GlCall &c : gl_.calls()) {
    if (c.name == "glAlphaFunc" || ((c.name == "glEnable" || c.name == "glDisable") &&
                                    c.args[0] == GL_ALPHA_TEST))
      alpha.push_back(Floats(c));
  }
  EXPECT_EQ(alpha, (std::vector<std::string>{call("glEnable", {GL_ALPHA_TEST}),
                                             call("glAlphaFunc", {GL_GREATER, 0.75f}),
                                             call("glDisable", {GL_ALPHA_TEST})}));
  m.alphatest = 0;
  gl_.Clear();
  _3DV_RenderSceneClipped(scene_, 0);
  EXPECT_EQ(gl_.Count("glAlphaFunc"), 0u);
  _3DV_EngineUnitInit();
}

TEST_F(EngineRender, ClientMemoryDrawsHaveNoBufferBound) {
  scene_ = MakeScene(1);
  _3DV_OBJECT &o = scene_.objects[0];
  o.vertexbuffer = o.facebuffer = 5;
  o.hascolors = 1;
  o.colors = FileArray<_3DV_RGB>(o.vertexcount);
  // Whenever a pointer is given from memory, both bindings are 0.
  auto check = [&](const char *pointer) {
    GLint bound[2] = {-1, -1};
    for (const GlCall &c : gl_.calls()) {
      if (c.name == "glBindBufferARB")
        bound[c.args[0] == GL_ELEMENT_ARRAY_BUFFER_ARB] = GLint(c.args[1]);
      if (c.name == pointer) {
        EXPECT_EQ(bound[0], 0) << pointer;
      }
      if (c.name == "glDrawElements" && c.pointers[3]) {
        EXPECT_EQ(bound[1], 0);
      }
    }
  };
  _3DV_RenderObjectVBO(scene_, 0, 0);
  check("glColorPointer");
  gl_.Clear();
  _3DV_RenderObjectDepth(scene_, 0, 0);
  check("glVertexPointer");
  EXPECT_EQ(gl_.Find("glVertexPointer")->pointers[3], o.vertices);
  EXPECT_EQ(gl_.Find("glDrawElements")->pointers[3], o.faces);
  // The depth renderer in full: the track only (no pivot rotation), front
  // faces culled, everything but black vertices off, the faces or the strip
  // from memory.
  o.positionkeycount = 2;  // at (1, 2, 3) at frame 4
  o.positionkeys = FileArray<_3DV_KEYVECTOR>(2);
  o.positionkeys[1] = {8, 2, 4, 6};
  o.pivot = {4, 5, 6};
  o.rotation = {10, 20, 30};
  o.backfacecull = 1;
  o.stripcount = 3;
  o.strip = FileArray<uint16_t>(4);
  const ArrayNames arrays = {{o.vertices, "vertices"}, {o.faces, "faces"}, {o.strip, "strip"}};
  const Lines begin = {Line("glMatrixMode", {GL_MODELVIEW}), Line("glPushMatrix", {}),
                       Line("glTranslatef", {1, 2, 3}), Line("glEnable", {GL_CULL_FACE}),
                       Line("glCullFace", {GL_FRONT}), Line("glDisable", {GL_LIGHTING}),
                       Line("glDisable", {GL_TEXTURE_2D}),
                       Line("glDisableClientState", {GL_NORMAL_ARRAY}),
                       Line("glDisableClientState", {GL_TEXTURE_COORD_ARRAY}),
                       Line("glDisableClientState", {GL_COLOR_ARRAY}),
                       Line("glBindBufferARB", {GL_ARRAY_BUFFER_ARB, 0}),
                       Line("glBindBufferARB", {GL_ELEMENT_ARRAY_BUFFER_ARB, 0}),
                       Line("glEnableClientState", {GL_VERTEX_ARRAY}),
                       Line("glVertexPointer", {3, GL_FLOAT, 12}, "vertices"),
                       Line("glColor4f", {0, 0, 0, 1})};
  const Lines end = {Line("glDisableClientState", {GL_VERTEX_ARRAY}), Line("glPopMatrix", {})};
  for (uint8_t mode : {0, 1, 2}) {
    o.rendermode = mode;
    gl_.Clear();
    _3DV_RenderObjectDepth(scene_, 0, 4);
    const Lines drawn = {mode == 1 ? Line("glDrawElements",
                                          {GL_TRIANGLE_STRIP, 3, GL_UNSIGNED_SHORT}, "strip")
                                   : Line("glDrawElements",
                                          {GL_TRIANGLES, 6, GL_UNSIGNED_INT}, "faces")};
    EXPECT_EQ(FullTrace(gl_, arrays), (begin + drawn + end)) << int(mode);
  }
  o.backfacecull = 0;
  gl_.Clear();
  _3DV_RenderObjectDepth(scene_, 0, 4);
  EXPECT_EQ(FullTrace(gl_).at(3), Line("glDisable", {GL_CULL_FACE}));
  o.positionkeycount = 0;
  o.stripcount = 0;
  // A strip object with no strip, or one without faces, draws nothing.
  o.rendermode = 1;
  gl_.Clear();
  _3DV_RenderObjectDepth(scene_, 0, 0);
  o.rendermode = 0;
  o.facecount = 0;
  _3DV_RenderObjectDepth(scene_, 0, 0);
  EXPECT_EQ(gl_.Count("glDrawElements"), 0u);
  o.facecount = 2;
  // Colours only for an object that says it has them.
  o.hascolors = 0;
  gl_.Clear();
  _3DV_RenderObjectVBO(scene_, 0, 0);
  EXPECT_EQ(gl_.Count("glColorPointer"), 0u);
  o.hascolors = 1;

  // Absent arrays are never read: one at a time, the vertices, faces or
  // strip of the object, or the scene's objects or materials, are taken
  // away (and put back, so the scene still frees them).
  auto without = [&](auto &array, auto draw) {
    const auto kept = array;
    array = nullptr;
    gl_.Clear();
    draw();
    array = kept;
    return gl_.Count("glDrawElements") + gl_.Count("glVertex3f");
  };
  auto depth = [&] { _3DV_RenderObjectDepth(scene_, 0, 0); };
  auto lines = [&] { _3DV_RenderObjectLines(scene_, 0, 0, 1); };
  auto buffered = [&] {
    _3DV_RenderObject(scene_, 0, 0);
    _3DV_RenderObjectVBO(scene_, 0, 0);
  };
  // The second entry, which an absent array cannot hold whatever the count.
  auto second = [&] {
    _3DV_RenderObject(scene_, 1, 0);
    _3DV_RenderObjectVBO(scene_, 1, 0);
    _3DV_RenderObjectDepth(scene_, 1, 0);
    _3DV_RenderObjectLines(scene_, 1, 0, 1);
  };
  EXPECT_EQ(without(o.vertices, depth), 0u);
  EXPECT_EQ(without(o.faces, depth), 0u);
  EXPECT_EQ(without(o.vertices, lines), 0u);
  EXPECT_EQ(without(o.faces, lines), 0u);
  o.rendermode = 1;
  o.stripcount = 3;
  EXPECT_EQ(without(o.strip, depth), 0u);
  o.rendermode = 0;
  o.stripcount = 0;
  scene_.objectcount = scene_.materialcount = 2;
  EXPECT_EQ(without(scene_.objects, second), 0u);
  o.material = 1;
  EXPECT_EQ(without(scene_.materials, buffered), 0u);
  o.material = 0;
  scene_.objectcount = scene_.materialcount = 1;
  // An index one past the last object draws nothing.
  gl_.Clear();
  _3DV_RenderObjectDepth(scene_, 1, 0);
  EXPECT_TRUE(gl_.calls().empty());
}

TEST_F(EngineRender, LinesDrawThreeSegmentsPerFaceAndKeepWidthAndDepthFunction) {
  scene_ = MakeScene(1);
  _3DV_RenderObjectLines(scene_, 4, 0, 0.5f);
  EXPECT_EQ(Trace({"glLineWidth", "glDepthFunc"}),
            (std::vector<std::string>{Call("glLineWidth", {2}), Call("glDepthFunc", {GL_LESS})}));
  EXPECT_EQ(gl_.calls().size(), 2u);
  gl_.Clear();
  _3DV_RenderObjectLines(scene_, 0, 0, 0.5f);
  EXPECT_EQ(gl_.Count("glVertex3f"), size_t(6 * scene_.objects[0].facecount));
  // In full, at the track's position only: corners a b, b c, c a of each
  // face of the panel (faces 0 2 3 and 0 3 1).
  _3DV_OBJECT &o = scene_.objects[0];
  o.positionkeycount = 2;  // at (1, 2, 3) at frame 4
  o.positionkeys = FileArray<_3DV_KEYVECTOR>(2);
  o.positionkeys[1] = {8, 2, 4, 6};
  o.pivot = {4, 5, 6};
  o.rotation = {10, 20, 30};
  gl_.Clear();
  _3DV_RenderObjectLines(scene_, 0, 4, 0.25f);
  Lines expected = {Line("glLineWidth", {2}),           Line("glDepthFunc", {GL_LESS}),
                    Line("glMatrixMode", {GL_MODELVIEW}), Line("glPushMatrix", {}),
                    Line("glTranslatef", {1, 2, 3}),      Line("glDisable", {GL_CULL_FACE}),
                    Line("glDisable", {GL_LIGHTING}),     Line("glDisable", {GL_TEXTURE_2D}),
                    Line("glColor4f", {0.25f, 0.25f, 0.25f, 1}), Line("glBegin", {GL_LINES})};
  const float corners[4][3] = {{-1, 0, -1}, {-1, 0, 1}, {1, 0, -1}, {1, 0, 1}};
  for (int v : {0, 2, 2, 3, 3, 0, 0, 3, 3, 1, 1, 0})
    expected.push_back(Line("glVertex3f", {corners[v][0], corners[v][1], corners[v][2]}));
  expected.push_back(Line("glEnd", {}));
  expected.push_back(Line("glPopMatrix", {}));
  EXPECT_EQ(FullTrace(gl_), expected);
  // A face with a corner outside the vertex list is left out.
  for (int32_t outside : {-1, 4}) {
    o.faces[1].v[2] = outside;
    gl_.Clear();
    _3DV_RenderObjectLines(scene_, 0, 4, 0.25f);
    EXPECT_EQ(gl_.Count("glVertex3f"), 6u) << outside;
  }
}

TEST_F(EngineRender, CameraSetupAndLookupsByName) {
  scene_ = MakeScene(8);
  scene_.objects[3].name.assign("box");
  scene_.objects[7].name.assign("box");
  scene_.objects[5].name.assign("Box");
  EXPECT_EQ(_3DV_FindObjectIndex(scene_, "box"), 7);
  EXPECT_EQ(_3DV_FindObjectIndex(scene_, "crate"), 65535);
  _3DV_HideObject(scene_, "box");
  EXPECT_FALSE(scene_.objects[3].visible || scene_.objects[7].visible);
  EXPECT_TRUE(scene_.objects[5].visible);
  _3DV_ShowObject(scene_, "box");
  EXPECT_TRUE(scene_.objects[3].visible && scene_.objects[7].visible);

  _3DV_SetupCamera(scene_, 0);
  const GlCall *perspective = gl_.Find("gluPerspective");
  ASSERT_NE(perspective, nullptr);
  EXPECT_NEAR(perspective->args[0], 45, 1e-4);
  EXPECT_DOUBLE_EQ(perspective->args[1], 4.0 / 3.0);
  EXPECT_EQ(Trace({"glMatrixMode"}).back(), Call("glMatrixMode", {GL_PROJECTION}));
  EXPECT_FLOAT_EQ(float(gl_.Find("glScalef")->args[0]), 0.00001f);

  // The scaled render ends with the projection mirrored, and draws the
  // special object additively at frame 0.
  gl_.Clear();
  _3DV_RenderSceneScaled(scene_, 0, 1, 1, 1, 2, 2);
  const auto scales = Trace({"glScalef"});
  EXPECT_EQ(std::count(scales.begin(), scales.end(), Call("glScalef", {1, 1, -1})), 1);
  EXPECT_EQ(Trace({"glBlendFunc"}),
            (std::vector<std::string>{Call("glBlendFunc", {GL_ONE, GL_ONE})}));
}

// The selection mode as a context answers it: the records below are
// written into the buffer given to glSelectBuffer when glRenderMode leaves
// selection, which returns their count.
GLuint *select_buffer = nullptr;
std::vector<GLuint> selection;
GLint selection_hits = 0;
void KeepSelectBuffer(GLsizei size, GLuint *buffer) {
  select_buffer = buffer;
  GlRecorder::active->Append("glSelectBuffer").args = {double(size)};
}
GLint AnswerSelection(GLenum mode) {
  GlCall &c = GlRecorder::active->Append("glRenderMode");
  c.args = {double(mode)};
  c.pointers = {nullptr};
  if (mode != GL_RENDER) return 0;
  std::copy(selection.begin(), selection.end(), select_buffer);
  return selection_hits;
}

TEST_F(EngineRender, RenderTargetsAndPickRow) {
  // Eight targets, then the glow texture, each defined from a zeroed
  // block: clamped and linear targets; the glow texture keeps the default
  // wrap, and its one level needs a minification filter without mipmaps.
  _3DV_GlowSize = 16;
  const size_t blocks = SYS_MemLiveCount();
  _3DV_InitFramebufferTexture();
  _3DV_InitGlowTexture();
  EXPECT_EQ(SYS_MemLiveCount(), blocks);  // the blocks went back
  for (size_t n : {0, 7, 8}) EXPECT_NE(gl_.Find("glTexImage2D", n)->pointers[8], nullptr) << n;
  std::vector<std::string> want;
  for (int64_t name = 1; name <= 9; ++name) {
    const bool target = name <= 8;
    want.push_back(Call("glEnable", {GL_TEXTURE_2D}));
    want.push_back(Call("glGenTextures", {1, 0}));
    want.push_back(Call("glBindTexture", {GL_TEXTURE_2D, name}));
    for (GLenum filter : {GL_TEXTURE_MIN_FILTER, GL_TEXTURE_MAG_FILTER})
      want.push_back(Call("glTexParameteri", {GL_TEXTURE_2D, filter, GL_LINEAR}));
    for (GLenum wrap : {GL_TEXTURE_WRAP_S, GL_TEXTURE_WRAP_T})
      if (target) want.push_back(Call("glTexParameteri", {GL_TEXTURE_2D, wrap, GL_CLAMP_TO_EDGE}));
    want.push_back(Call("glTexImage2D", {GL_TEXTURE_2D, 0, 4, target ? 800 : 16,
                                         target ? 600 : 16, 0, GL_RGBA, GL_UNSIGNED_BYTE, 0}));
  }
  // Numbers outside 0..7 copy nothing; the first and the last target
  // take copies, and the glow copy takes the glow size of its own time.
  _3DV_GlowSize = 4;
  _3DV_CopyFramebuffer(8);
  _3DV_CopyDepthbuffer(-1);
  _3DV_CopyFramebuffer(0);
  _3DV_CopyDepthbuffer(7);
  _3DV_CopyGlow();
  const std::vector<std::vector<int64_t>> copies = {{1, GL_RGBA, 800, 600},
                                                    {8, GL_DEPTH_COMPONENT, 512, 512},
                                                    {9, GL_RGBA, 4, 4}};
  for (const auto &c : copies) {
    want.push_back(Call("glEnable", {GL_TEXTURE_2D}));
    want.push_back(Call("glBindTexture", {GL_TEXTURE_2D, c[0]}));
    want.push_back(Call("glCopyTexImage2D", {GL_TEXTURE_2D, 0, c[1], 0, 0, c[2], c[3], 0}));
  }
  std::vector<std::string> got;
  for (const GlCall &c : gl_.calls()) got.push_back(Format(c));
  EXPECT_EQ(OneCallALine(got), OneCallALine(want));

  scene_ = MakeScene(3);
  _3DV_PickX = 10;
  _3DV_PickY = 0;
  dgl::glSelectBuffer = KeepSelectBuffer;
  dgl::glRenderMode = AnswerSelection;
  // The smallest minimum depth wins, compared unsigned, the first of
  // equal ones: record 2 lies inside the depths of record 1, record 4 has
  // a smaller minimum but a larger maximum than record 3, record 5 ties
  // with 4. No count, or one that overflowed, names nothing.
  selection = {1, 0x90000000u, 0xF0000000u, 1, 1, 0xA0000000u, 0xB0000000u, 2,
               1, 0x30000000u, 0x40000000u, 3, 1, 0x20000000u, 0xA0000000u, 4,
               1, 0x20000000u, 0x20000000u, 5};
  const std::pair<GLint, int32_t> answers[] = {{2, 1}, {3, 3}, {4, 4}, {5, 4},
                                               {1, 1}, {0, 0}, {-1, 0}};
  for (const auto &[hits, picked] : answers) {
    selection_hits = hits;
    gl_.Clear();
    EXPECT_EQ(_3DV_PickScene(scene_, 0), picked) << hits;
  }
  // A full buffer: 128 records, the last one the nearest.
  selection.clear();
  for (GLuint name = 1; name <= 128; ++name)
    selection.insert(selection.end(), {1, ~0u - name, ~0u, name});
  selection_hits = 128;
  EXPECT_EQ(_3DV_PickScene(scene_, 0), 128);
  const GlCall *pick = gl_.Find("gluPickMatrix");
  ASSERT_NE(pick, nullptr);
  EXPECT_EQ(pick->args[0], 10);
  EXPECT_EQ(pick->args[1], 479);
  EXPECT_EQ(Trace({"glRenderMode"}).back(), Call("glRenderMode", {GL_RENDER}));
}

TEST_F(EngineRender, FreeSceneDeletesEachBufferOnceAndTwiceIsHarmless) {
  scene_ = MakeScene(3);
  for (int k = 0; k < 3; ++k) {
    _3DV_OBJECT &o = scene_.objects[k];
    o.vertexbuffer = 10 * k + 1;
    o.facebuffer = 10 * k + 2;
    o.normalbuffer = 10 * k + 3;
    o.origfaces = FileArray<_3DV_FACE>(o.facecount);
    o.positionkeycount = 1;
    o.positionkeys = FileArray<_3DV_KEYVECTOR>(1);
  }
  scene_.lights[4].positionkeycount = 2;
  scene_.lights[4].positionkeys = FileArray<_3DV_KEYVECTOR>(2);
  scene_.volumebuffer = 99;
  scene_.volumearray = EngineArray<_3DV_VECTOR>(12);
  _3DV_FreeScene(scene_);
  ASSERT_EQ(gl_.Count("glDeleteBuffersARB"), 1u);
  EXPECT_EQ(gl_.Find("glDeleteBuffersARB")->args[0], 10);
  EXPECT_EQ(scene_.objects, nullptr);
  EXPECT_EQ(scene_.objectcount, 0);
  gl_.Clear();
  _3DV_FreeScene(scene_);  // the sanitizers see any second free
  EXPECT_TRUE(gl_.calls().empty());
}

}  // namespace
