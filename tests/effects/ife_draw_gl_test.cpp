// Layer effects drawn by a real OpenGL (Mesa under Xvfb) and read back: a
// layer fills exactly its rectangle of the 800 x 600 space, blends over a
// known background as its mode says, and shows images and frame copies the
// right way up.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <memory>

#include "framework/sys.h"
#include "ife_test_util.h"
#include "platform/platform.h"
#include "texture/slot_table.h"
#include "window/gl_demo.h"
#include "window/wm.h"
#include "support/gl_window.h"

using namespace ember_test;

namespace {

// One pixel of the window per 5 x 5 units of the drawing space.
constexpr int kWidth = 160, kHeight = 120;

using Rgb = std::array<int, 3>;
const Rgb kBackground = {51, 102, 153};

class IfeDrawGl : public ::testing::Test {
protected:
  void SetUp() override {
    savedTx_ = txState;
    window_ = ember_test::OpenGlWindow(kWidth, kHeight);
    ASSERT_NE(window_, nullptr);
    txInit(nullptr);
    txSetParam(3, 1);  // red first, as the demo loads its textures
    txTexReset();
    cwd_ = std::make_unique<ScopedCwd>(dir_.path());
  }
  void TearDown() override {
    ife_FreeInterface(iface_);
    txTexFreeAll();
    std::fill(std::begin(ife_BufferTable), std::end(ife_BufferTable), 0);
    cwd_.reset();
    if (window_) wmDestroyWindow(window_);
    FreeGLU();
    FreeGL();
    glExtFlags = {};
    txState = savedTx_;
  }

  // Loads the text as an interface, clears to the background and draws it
  // at time t; then reads the window back, bottom row first.
  void Draw(const std::string &text, float t = 0) {
    WriteFile(dir_.path() / "effect.ife", text);
    ife_FreeInterface(iface_);
    ife_LoadInterface(iface_, "effect.ife", "");
    dgl::glViewport(0, 0, kWidth, kHeight);
    dgl::glDisable(GL_BLEND);
    dgl::glClearColor(kBackground[0] / 255.f, kBackground[1] / 255.f, kBackground[2] / 255.f, 1);
    dgl::glClear(GL_COLOR_BUFFER_BIT);
    ife_DrawInterface(iface_, t);
    pixels_.assign(size_t(kWidth) * kHeight * 3, 0);
    dgl::glPixelStorei(GL_PACK_ALIGNMENT, 1);
    dgl::glReadPixels(0, 0, kWidth, kHeight, GL_RGB, GL_UNSIGNED_BYTE, pixels_.data());
    ASSERT_EQ(dgl::glGetError(), GLenum(GL_NO_ERROR));
  }

  // Pixel (x, y) counted from the bottom left.
  Rgb At(int x, int y) const {
    const size_t i = (size_t(y) * kWidth + size_t(x)) * 3;
    return {pixels_[i], pixels_[i + 1], pixels_[i + 2]};
  }

  // Every pixel inside [x0, x1) x [y0, y1) is near `inside`, every other
  // one is near `outside`.
  void ExpectRect(int x0, int y0, int x1, int y1, Rgb inside, Rgb outside, int tolerance = 1) {
    int wrong = 0;
    for (int y = 0; y < kHeight; ++y)
      for (int x = 0; x < kWidth; ++x) {
        const bool in = x >= x0 && x < x1 && y >= y0 && y < y1;
        const Rgb want = in ? inside : outside, got = At(x, y);
        bool near = true;
        for (int c = 0; c < 3; ++c) near = near && std::abs(got[c] - want[c]) <= tolerance;
        if (!near && ++wrong <= 3)
          ADD_FAILURE() << "pixel " << x << "," << y << " is " << got[0] << " " << got[1] << " "
                        << got[2] << ", want " << want[0] << " " << want[1] << " " << want[2];
      }
    EXPECT_EQ(wrong, 0);
  }

  static std::string OneLayer(const std::string &name, int blend, const std::string &key) {
    IfeLayerText l;
    l.name = name;
    l.blend = std::to_string(blend);
    l.keys = {key};
    return IfeText({l});
  }

  wm_window_t *window_ = nullptr;
  TempDir dir_;
  std::unique_ptr<ScopedCwd> cwd_;
  txLoaderState savedTx_;
  ife_interface iface_{};
  std::vector<uint8_t> pixels_;
};

TEST_F(IfeDrawGl, ASolidLayerFillsExactlyItsRectangle) {
  // Centre (400, 300), 400 x 300: x 200..600, y 150..450 of the space.
  Draw(OneLayer("white.tga", 0, KeyLine(0, 400, 300, 0, 0, 400, 300, 255, 128, 0, 255)));
  ExpectRect(40, 30, 120, 90, {255, 128, 0}, kBackground, 0);
}

TEST_F(IfeDrawGl, ARotatedLayerTurnsAboutItsCentre) {
  // 200 x 100 turned a quarter: x 350..450, y 200..400.
  Draw(OneLayer("white.tga", 0, KeyLine(0, 400, 300, 0, 90, 200, 100, 0, 255, 0, 255)));
  ExpectRect(70, 40, 90, 80, {0, 255, 0}, kBackground, 0);
}

TEST_F(IfeDrawGl, BlendModesCombineWithTheBackground) {
  const std::string key = KeyLine(0, 400, 300, 0, 0, 800, 600, 100, 50, 200, 128);
  const float a = 128 / 255.f;
  auto mix = [](float s, float d) { return int(std::lround(std::min(255.f, s + d))); };
  struct Case {
    int blend;
    Rgb expected;
  } cases[] = {
      {0, {100, 50, 200}},
      {1, {mix(100, 51), mix(50, 102), mix(200, 153)}},
      {2, {mix(100 * a, 51 * (1 - a)), mix(50 * a, 102 * (1 - a)), mix(200 * a, 153 * (1 - a))}},
      {3, {mix(100 * (1 - a), 51 * a), mix(50 * (1 - a), 102 * a), mix(200 * (1 - a), 153 * a)}},
      {4,
       {mix(100 * 100 / 255.f, 51 * (1 - 100 / 255.f)), mix(50 * 50 / 255.f, 102 * (1 - 50 / 255.f)),
        mix(200 * 200 / 255.f, 153 * (1 - 200 / 255.f))}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE("blend " + std::to_string(c.blend));
    Draw(OneLayer("white.tga", c.blend, key));
    ExpectRect(0, 0, kWidth, kHeight, c.expected, c.expected, 2);
  }
}

TEST_F(IfeDrawGl, LayersDrawInOrderAndAHighModeKeepsTheBlendBeforeIt) {
  IfeLayerText under, over;
  under.blend = "1";
  under.keys = {KeyLine(0, 400, 300, 0, 0, 800, 600, 10, 20, 30, 255)};
  over.blend = "7";  // stays additive
  over.keys = {KeyLine(0, 200, 300, 0, 0, 400, 600, 100, 100, 100, 255)};
  Draw(IfeText({under, over}));
  ExpectRect(0, 0, 80, kHeight, {161, 222, 255}, {61, 122, 183}, 1);
}

// A 2 x 2 texture whose first row is red and second row blue.
GLuint TwoRowTexture() {
  const uint8_t rows[] = {255, 0, 0, 255, 0, 0, 0, 0, 255, 0, 0, 255};
  GLuint id = 0;
  dgl::glGenTextures(1, &id);
  dgl::glBindTexture(GL_TEXTURE_2D, id);
  dgl::glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  dgl::glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  dgl::glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  dgl::glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, 2, 2, 0, GL_RGB, GL_UNSIGNED_BYTE, rows);
  return id;
}

TEST_F(IfeDrawGl, TheFirstFrameBufferShowsItsFirstRowAtTheBottomOthersAtTheTop) {
  const GLuint texture = TwoRowTexture();
  ife_BufferTable[0] = ife_BufferTable[1] = int32_t(texture);
  const std::string key = KeyLine(0, 400, 300, 0, 0, 800, 600);

  Draw(OneLayer("BUF0.JPG", 0, key));
  ExpectRect(0, 0, kWidth, kHeight / 2, {255, 0, 0}, {0, 0, 255}, 0);
  Draw(OneLayer("BUF1.JPG", 0, key));
  ExpectRect(0, kHeight / 2, kWidth, kHeight, {255, 0, 0}, {0, 0, 255}, 0);
  dgl::glDeleteTextures(1, &texture);
}

TEST_F(IfeDrawGl, AnImageFileShowsItsTopRowAtTheTop) {
  // 4 x 4, stored top row first: the upper half red, the lower half blue.
  std::vector<unsigned char> tga = SolidTga(4, 4, 255, 0, 0);
  for (size_t i = 18 + 2 * 4 * 3; i < tga.size(); i += 3) {
    tga[i] = 255;
    tga[i + 1] = 0;
    tga[i + 2] = 0;
  }
  WriteBytes(dir_.path() / "halves.tga", tga);
  // Texels of 40 x 30 pixels; sample between two texel centres of one
  // colour, away from the clamped edges.
  Draw(OneLayer("halves.tga", 0, KeyLine(0, 400, 300, 0, 0, 800, 600)));
  EXPECT_EQ(At(80, 90), (Rgb{255, 0, 0}));
  EXPECT_EQ(At(80, 30), (Rgb{0, 0, 255}));
}

TEST_F(IfeDrawGl, TheDrawLeavesTheDocumentedState) {
  Draw(OneLayer("white.tga", 2, KeyLine(0, 400, 300, 0, 0, 800, 600)));
  GLint mode = 0;
  dgl::glGetIntegerv(GL_MATRIX_MODE, &mode);
  EXPECT_EQ(mode, GL_MODELVIEW);
  for (GLenum cap : {GL_LIGHTING, GL_DEPTH_TEST, GL_ALPHA_TEST, GL_CULL_FACE})
    EXPECT_FALSE(dgl::glIsEnabled(cap)) << cap;
  EXPECT_TRUE(dgl::glIsEnabled(GL_BLEND));
}

}  // namespace
