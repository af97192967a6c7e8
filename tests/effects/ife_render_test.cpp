// The layer-effect renderer without a display: key search and easing on
// the poses, and the OpenGL calls through the recording GL table.
#include <gtest/gtest.h>

#include <cmath>

#include "gl_recorder.h"
#include "ife_test_util.h"
#include "window/wm.h"

// The start-up shell's window; no window here, so swaps do nothing.
wm_window_t *DemoWindow = nullptr;

using namespace ember_test;

namespace {

// ---- key search and easing ---------------------------------------------

TEST(IfeInterpolate, EasesBetweenTwoValues) {
  EXPECT_FLOAT_EQ(ife_Interpolate(0, 800, 0.25f, IFE_LINEAR), 200);
  EXPECT_NEAR(ife_Interpolate(0, 800, 0.25f, IFE_EASE_OUT), 306.1, 0.05);
  EXPECT_NEAR(ife_Interpolate(0, 800, 0.25f, IFE_EASE_IN), 60.9, 0.05);
  for (uint8_t mode : {0, 1, 2}) {
    EXPECT_NEAR(ife_Interpolate(-3, 5, 0, mode), -3, 1e-5) << int(mode);
    EXPECT_NEAR(ife_Interpolate(-3, 5, 1, mode), 5, 1e-5) << int(mode);
  }
  EXPECT_EQ(ife_Interpolate(10, 20, 0.5f, 3), 0);
  EXPECT_EQ(ife_Interpolate(10, 20, 0.5f, 255), 0);
}

TEST(IfeLayerPose, HoldsTheEndPosesOutsideTheKeysAndHitsKeysExactly) {
  std::vector<ife_keys> keys = {Key(10, 100), Key(20, 200, IFE_EASE_OUT), Key(30, 300)};
  const ife_layer layer = Layer(keys);
  EXPECT_EQ(ife_LayerPose(layer, -1000).x, 100);
  EXPECT_EQ(ife_LayerPose(layer, 9.99f).x, 100);
  EXPECT_EQ(ife_LayerPose(layer, 10).x, 100);
  EXPECT_EQ(ife_LayerPose(layer, 20).x, 200);
  EXPECT_EQ(ife_LayerPose(layer, 30).x, 300);
  EXPECT_EQ(ife_LayerPose(layer, 1e9f).x, 300);
  // Between the keys the earlier key's mode rules.
  EXPECT_FLOAT_EQ(ife_LayerPose(layer, 15).x, 150);
  EXPECT_NEAR(ife_LayerPose(layer, 25).x, 200 + 100 * std::sin(M_PI / 4), 1e-3);
}

TEST(IfeLayerPose, OneKeyIsHeldAtEveryTime) {
  std::vector<ife_keys> keys = {Key(50, 42, 7)};
  for (float t : {-5.f, 50.f, 99.f}) EXPECT_EQ(ife_LayerPose(Layer(keys), t).x, 0);  // mode 7
  keys[0].mode = IFE_EASE_IN;
  for (float t : {-5.f, 50.f, 99.f}) EXPECT_NEAR(ife_LayerPose(Layer(keys), t).x, 42, 1e-5);
}

TEST(IfeLayerPose, EqualKeyTimesNeverDivideByZero) {
  std::vector<ife_keys> keys = {Key(0, 0), Key(50, 100), Key(50, 500), Key(100, 600)};
  const ife_layer layer = Layer(keys);
  const float at = ife_LayerPose(layer, 50).x;
  EXPECT_TRUE(std::isfinite(at));
  EXPECT_EQ(at, 500);  // earlier is the last key at 50, fraction 0
  EXPECT_FLOAT_EQ(ife_LayerPose(layer, 25).x, 50);
  EXPECT_FLOAT_EQ(ife_LayerPose(layer, 75).x, 550);
}

TEST(IfeLayerPose, KeysOutOfOrderStayBetweenTheirValues) {
  std::vector<ife_keys> keys = {Key(100, 0), Key(0, 800), Key(50, 400)};
  const ife_layer layer = Layer(keys);
  for (float t = -10; t <= 110; t += 5) {
    const float x = ife_LayerPose(layer, t).x;
    EXPECT_TRUE(std::isfinite(x)) << t;
    EXPECT_GE(x, 0) << t;
    EXPECT_LE(x, 800) << t;
  }
  EXPECT_EQ(ife_LayerPose(layer, NAN).x, 0);
}

TEST(IfeLayerPose, ExtremeKeyTimesDoNotOverflow) {
  std::vector<ife_keys> keys = {Key(INT32_MIN, 0), Key(INT32_MAX, 800)};
  const float x = ife_LayerPose(Layer(keys), 0).x;
  EXPECT_NEAR(x, 400, 1);
}

TEST(IfeLayerPose, EasesAllNineChannelsAndScalesColours) {
  ife_keys a{}, b{};
  b.time = 10;
  b.angle = 90;
  b.x = 10;
  b.y = 20;
  b.width = 30;
  b.height = 40;
  b.red = 255;
  b.green = 127.5f;
  b.blue = 51;
  b.alpha = 255;
  std::vector<ife_keys> keys = {a, b};
  const ife_pose p = ife_LayerPose(Layer(keys), 5);
  EXPECT_FLOAT_EQ(p.angle, 45);
  EXPECT_FLOAT_EQ(p.x, 5);
  EXPECT_FLOAT_EQ(p.y, 10);
  EXPECT_FLOAT_EQ(p.width, 15);
  EXPECT_FLOAT_EQ(p.height, 20);
  EXPECT_FLOAT_EQ(p.red, 0.5f);
  EXPECT_FLOAT_EQ(p.green, 0.25f);
  EXPECT_FLOAT_EQ(p.blue, 0.1f);
  EXPECT_FLOAT_EQ(p.alpha, 0.5f);
}

TEST(IfeRotatePoint, RotatesAboutBothAxes) {
  float x, y, z;
  ife_RotatePoint(1, 2, 3, 0, 0, x, y, z);
  EXPECT_FLOAT_EQ(x, 1);
  EXPECT_FLOAT_EQ(y, 2);
  EXPECT_FLOAT_EQ(z, 3);
  ife_RotatePoint(1, 0, 0, 0, float(M_PI / 2), x, y, z);
  EXPECT_NEAR(x, 0, 1e-6);
  EXPECT_NEAR(z, -1, 1e-6);
  ife_RotatePoint(0, 1, 0, float(M_PI / 2), 0, x, y, z);
  EXPECT_NEAR(y, 0, 1e-6);
  EXPECT_NEAR(z, 1, 1e-6);
}

// ---- OpenGL calls -------------------------------------------------------

// Layers over caller-owned keys, one pose each (a full-screen white quad).
struct TestInterface {
  explicit TestInterface(std::vector<std::pair<std::string, uint8_t>> named) {
    keys.resize(named.size());
    for (size_t i = 0; i < named.size(); ++i) {
      keys[i] = {Key(0, 400)};
      keys[i][0].y = 300;
      keys[i][0].width = 800;
      keys[i][0].height = 600;
      ife_layer l = Layer(keys[i], named[i].first.c_str());
      l.blend = named[i].second;
      l.texture = int32_t(10 + i);
      layers.push_back(l);
    }
    iface.layercount = int32_t(layers.size());
    iface.layers = layers.empty() ? nullptr : layers.data();
  }
  std::vector<std::vector<ife_keys>> keys;
  std::vector<ife_layer> layers;
  ife_interface iface{};
};

std::string Describe(const GlCall &c) {
  std::string s = c.name;
  for (double a : c.args) {
    char n[32];
    std::snprintf(n, sizeof n, " %g", a);
    s += n;
  }
  return s;
}

std::vector<std::string> Calls(const GlRecorder &gl) {
  std::vector<std::string> out;
  for (const GlCall &c : gl.calls()) out.push_back(Describe(c));
  return out;
}

std::string Num(GLenum e) { return std::to_string(e); }

TEST(IfeDraw, AnEmptyInterfaceOnlySetsTheFourStatesAndTheMatrixMode) {
  GlRecorder gl;
  ife_interface empty{};
  ife_DrawInterface(empty, 5);
  EXPECT_EQ(Calls(gl), (std::vector<std::string>{
                           "glDisable " + Num(GL_LIGHTING), "glDisable " + Num(GL_DEPTH_TEST),
                           "glDisable " + Num(GL_ALPHA_TEST), "glDisable " + Num(GL_CULL_FACE),
                           "glMatrixMode " + Num(GL_MODELVIEW)}));
}

TEST(IfeDraw, OneLayerDrawsOneQuadInTheOrthographicSpace) {
  std::vector<ife_keys> keys = {Key(0, 100), Key(10, 300)};
  keys[0].y = keys[1].y = 200;
  keys[0].width = keys[1].width = 40;
  keys[0].height = keys[1].height = 20;
  keys[0].angle = 0;
  keys[1].angle = 30;
  keys[0].red = keys[1].red = 255;
  keys[0].alpha = keys[1].alpha = 51;
  ife_layer layer = Layer(keys, "logo.tga");
  layer.texture = 7;
  layer.blend = 2;
  ife_interface iface{1, 0, &layer};

  GlRecorder gl;
  ife_DrawInterface(iface, 5);
  const std::string T = Num(GL_TEXTURE_2D);
  EXPECT_EQ(Calls(gl),
            (std::vector<std::string>{
                "glDisable " + Num(GL_LIGHTING), "glDisable " + Num(GL_DEPTH_TEST),
                "glDisable " + Num(GL_ALPHA_TEST), "glDisable " + Num(GL_CULL_FACE),
                "glMatrixMode " + Num(GL_TEXTURE), "glLoadIdentity",
                "glMatrixMode " + Num(GL_MODELVIEW), "glLoadIdentity",
                "glMatrixMode " + Num(GL_PROJECTION), "glLoadIdentity", "gluOrtho2D 0 800 0 600",
                "glEnable " + Num(GL_BLEND),
                "glBlendFunc " + Num(GL_SRC_ALPHA) + " " + Num(GL_ONE_MINUS_SRC_ALPHA),
                "glEnable " + T, "glBindTexture " + T + " 7", "glColor4f 1 0 0 0.2",
                "glTranslatef 200 200 0", "glRotatef 15 0 0 1", "glEnable " + T,
                "glBegin " + Num(GL_QUADS),
                "glTexCoord2f 1 0", "glVertex2f 20 10",
                "glTexCoord2f 1 1", "glVertex2f 20 -10",
                "glTexCoord2f 0 1", "glVertex2f -20 -10",
                "glTexCoord2f 0 0", "glVertex2f -20 10",
                "glEnd", "glMatrixMode " + Num(GL_MODELVIEW)}));
}

// The blend calls each layer made, one text per layer.
std::vector<std::string> BlendPerLayer(const GlRecorder &gl) {
  std::vector<std::string> out;
  for (const GlCall &c : gl.calls()) {
    if (c.name == "gluOrtho2D") out.emplace_back();
    if (out.empty()) continue;
    const bool blendSwitch = (c.name == "glEnable" || c.name == "glDisable") && c.args[0] == GL_BLEND;
    if (blendSwitch || c.name == "glBlendFunc") out.back() += Describe(c) + ";";
  }
  return out;
}

TEST(IfeDraw, BlendModesZeroToFourSetTheirStateAndHigherModesKeepThePrevious) {
  TestInterface t({{"a", 0}, {"a", 1}, {"a", 2}, {"a", 3}, {"a", 4}, {"a", 5}, {"a", 7}, {"a", 255}});
  GlRecorder gl;
  ife_DrawInterface(t.iface, 0);
  const std::string on = "glEnable " + Num(GL_BLEND) + ";glBlendFunc ";
  EXPECT_EQ(BlendPerLayer(gl),
            (std::vector<std::string>{
                "glDisable " + Num(GL_BLEND) + ";",
                on + Num(GL_ONE) + " " + Num(GL_ONE) + ";",
                on + Num(GL_SRC_ALPHA) + " " + Num(GL_ONE_MINUS_SRC_ALPHA) + ";",
                on + Num(GL_ONE_MINUS_SRC_ALPHA) + " " + Num(GL_SRC_ALPHA) + ";",
                on + Num(GL_SRC_COLOR) + " " + Num(GL_ONE_MINUS_SRC_COLOR) + ";",
                "", "", ""}));
}

// The texture coordinates of each layer's four corners, in drawing order.
std::vector<std::string> CornersPerLayer(const GlRecorder &gl) {
  std::vector<std::string> out;
  for (const GlCall &c : gl.calls()) {
    if (c.name == "glBegin") out.emplace_back();
    if (c.name == "glTexCoord2f") out.back() += Describe(c).substr(12) + ";";
  }
  return out;
}

TEST(IfeDraw, FrameCopiesShowTheirFirstRowAtTheBottom) {
  TestInterface t({{"RT", 0}, {"BUF0.JPG", 0}, {"GLOW", 0}, {"BUF1.JPG", 0}, {"logo.tga", 0},
                   {"white.tga", 0}, {"rt", 0}});
  GlRecorder gl;
  ife_DrawInterface(t.iface, 0);
  const std::string upright = " 1 1; 1 0; 0 0; 0 1;", image = " 1 0; 1 1; 0 1; 0 0;";
  EXPECT_EQ(CornersPerLayer(gl),
            (std::vector<std::string>{upright, upright, image, image, image, image, image}));
  // Corners go top right, bottom right, bottom left, top left.
  std::vector<std::string> vertices;
  for (int i = 0; i < 4; ++i) vertices.push_back(Describe(*gl.Find("glVertex2f", size_t(i))));
  EXPECT_EQ(vertices, (std::vector<std::string>{"glVertex2f 400 300", "glVertex2f 400 -300",
                                                "glVertex2f -400 -300", "glVertex2f -400 300"}));
}

TEST(IfeDraw, TheWhiteLayerIsDrawnUntexturedAndOthersTextured) {
  TestInterface t({{"white.tga", 0}, {"White.tga", 0}});
  GlRecorder gl;
  ife_DrawInterface(t.iface, 0);
  // The last texture switch before each glBegin.
  std::vector<std::string> before;
  std::string last;
  for (const GlCall &c : gl.calls()) {
    if ((c.name == "glEnable" || c.name == "glDisable") && c.args[0] == GL_TEXTURE_2D) last = c.name;
    if (c.name == "glBegin") before.push_back(last);
  }
  EXPECT_EQ(before, (std::vector<std::string>{"glDisable", "glEnable"}));
  EXPECT_EQ(gl.Find("glBindTexture", 0)->args[1], 10);
  EXPECT_EQ(gl.Find("glBindTexture", 1)->args[1], 11);
}

TEST(IfeDraw, LayersWithoutKeysAreSkipped) {
  TestInterface t({{"a", 0}, {"b", 0}, {"c", 0}});
  t.layers[0].keycount = 0;
  t.layers[2].keys = nullptr;
  GlRecorder gl;
  ife_DrawInterface(t.iface, 0);
  EXPECT_EQ(gl.Count("glBegin"), 1u);
  EXPECT_EQ(gl.Find("glBindTexture")->args[1], 11);
}

TEST(IfeDraw, ModeThreeMakesTheLayerVanishUntilTheNextKeyIsPassed) {
  std::vector<ife_keys> keys = {Key(0, 400, 3), Key(10, 400)};
  for (ife_keys &k : keys) k.width = k.height = k.red = k.alpha = 255;
  ife_layer layer = Layer(keys);
  ife_interface iface{1, 0, &layer};
  GlRecorder gl;
  ife_DrawInterface(iface, 5);
  ife_DrawInterface(iface, 10);
  EXPECT_EQ(Describe(*gl.Find("glColor4f", 0)), "glColor4f 0 0 0 0");
  EXPECT_EQ(Describe(*gl.Find("glVertex2f", 0)), "glVertex2f 0 0");
  EXPECT_EQ(Describe(*gl.Find("glColor4f", 1)), "glColor4f 1 0 0 1");
}

TEST(IfeLoadBar, EachStepAdvancesTheCounterAndDrawsAtCounterTimes14_0845) {
  std::vector<ife_keys> keys = {Key(0, 0), Key(1000, 1000)};
  ife_layer layer = Layer(keys);
  const int32_t savedCounter = ife_LoadBarCounter;
  ife_LoadBarCounter = 0;

  GlRecorder gl;
  ife_LoadBarStep();  // the module's own bar is empty: nothing drawn
  EXPECT_EQ(ife_LoadBarCounter, 1);
  EXPECT_EQ(gl.Count("glBegin"), 0u);
  EXPECT_EQ(gl.calls().back().name, "glMatrixMode");

  ife_LoadBar = {1, 0, &layer};
  ife_LoadBarStep();
  ife_LoadBar = {};
  EXPECT_EQ(ife_LoadBarCounter, 2);
  EXPECT_NEAR(gl.Find("glTranslatef")->args[0], 2 * 14.0845, 1e-3);
  ife_LoadBarCounter = savedCounter;
}

}  // namespace
