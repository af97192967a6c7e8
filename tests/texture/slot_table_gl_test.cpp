// The texture slot table against a real context (Mesa under Xvfb): a
// lossless image loaded through the table and drawn as a full-viewport quad
// reads back exactly, for every filter type and every upload format.
#include <gtest/gtest.h>

#include "image_test_util.h"
#include "platform/platform.h"
#include "texture/slot_table.h"
#include "window/gl_demo.h"
#include "window/wm.h"
#include "support/gl_window.h"

using namespace ember_test;

namespace {

constexpr int kWindow = 64;

class SlotTableGl : public LoaderTest {
protected:
  void SetUp() override {
    LoaderTest::SetUp();
    window_ = OpenGlWindow(kWindow, kWindow);
    ASSERT_NE(window_, nullptr);
    cwd_ = std::make_unique<ScopedCwd>(dir_.path());
    txSetParam(3, TX_RED_FIRST);  // as the demo does before its first load
    txTexReset();
  }
  void TearDown() override {
    txTexFreeAll();
    cwd_.reset();
    if (window_) wmDestroyWindow(window_);
    FreeGLU();
    FreeGL();
    glExtFlags = {};
    LoaderTest::TearDown();
  }

  // Draws the texture over a w x h viewport, its top row at the top, and
  // reads the viewport back top row first as R, G, B.
  Bytes DrawAndRead(int32_t id, int w, int h) {
    dgl::glViewport(0, 0, w, h);
    dgl::glClearColor(0, 0, 0, 1);
    dgl::glClear(GL_COLOR_BUFFER_BIT);
    dgl::glMatrixMode(GL_PROJECTION);
    dgl::glLoadIdentity();
    dgl::gluOrtho2D(0, 1, 0, 1);
    dgl::glMatrixMode(GL_MODELVIEW);
    dgl::glLoadIdentity();
    dgl::glDisable(GL_BLEND);
    dgl::glEnable(GL_TEXTURE_2D);
    dgl::glBindTexture(GL_TEXTURE_2D, GLuint(id));
    dgl::glColor4f(1, 1, 1, 1);
    dgl::glBegin(GL_QUADS);
    dgl::glTexCoord2f(0, 1);
    dgl::glVertex2f(0, 0);
    dgl::glTexCoord2f(1, 1);
    dgl::glVertex2f(1, 0);
    dgl::glTexCoord2f(1, 0);
    dgl::glVertex2f(1, 1);
    dgl::glTexCoord2f(0, 0);
    dgl::glVertex2f(0, 1);
    dgl::glEnd();
    dgl::glDisable(GL_TEXTURE_2D);

    Bytes rgb(size_t(w) * size_t(h) * 3);
    dgl::glPixelStorei(GL_PACK_ALIGNMENT, 1);
    dgl::glReadPixels(0, 0, w, h, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
    EXPECT_EQ(dgl::glGetError(), GLenum(GL_NO_ERROR));
    // glReadPixels gives the bottom row first.
    Pnm read;
    read.width = w;
    read.height = h;
    read.channels = 3;
    read.pixels = rgb;
    return FlipRows(read).pixels;
  }

  void Write(const std::string &name, const Bytes &bytes) { WriteBytes(dir_.path() / name, bytes); }

  wm_window_t *window_ = nullptr;
  TempDir dir_;
  std::unique_ptr<ScopedCwd> cwd_;
};

// A 64 x 64 picture with distinct quadrants and fine detail in every channel.
Pnm Picture() {
  Pnm p;
  p.width = p.height = kWindow;
  p.channels = 3;
  for (int y = 0; y < kWindow; ++y)
    for (int x = 0; x < kWindow; ++x) {
      const int q = (x >= 32) + 2 * (y >= 32);
      p.pixels.push_back(uint8_t(q * 60 + x));
      p.pixels.push_back(uint8_t(200 - 3 * y));
      p.pixels.push_back(uint8_t((x * y + q * 17) & 0xFF));
    }
  return p;
}

// The picture as a top-row-first TGA (blue first in the file).
Bytes PictureTga(const Pnm &p) {
  TgaSpec s;
  s.width = uint16_t(p.width);
  s.height = uint16_t(p.height);
  for (size_t i = 0; i < p.pixels.size(); i += 3)
    s.pixels.insert(s.pixels.end(), {p.pixels[i + 2], p.pixels[i + 1], p.pixels[i]});
  return MakeTga(s);
}

}  // namespace

TEST_F(SlotTableGl, EveryFilterTypeShowsTheImageExactly) {
  const Pnm picture = Picture();
  Write("picture.tga", PictureTga(picture));
  for (int32_t type = 0; type <= 3; ++type) {
    const int32_t id = txTexLoad("picture.tga", type);
    ASSERT_NE(id, 0);
    EXPECT_EQ(DrawAndRead(id, kWindow, kWindow), picture.pixels) << "filter type " << type;
  }
}

TEST_F(SlotTableGl, OddRowsGreyAndIndexedImagesUploadWithTheirRealFormat) {
  // 7 x 5 at 24 bits: rows of 21 bytes.
  Write("quadrants.tga", Fixture("quadrants_netpbm24.tga"));
  EXPECT_EQ(DrawAndRead(txTexLoad("quadrants.tga", 0), 7, 5), ReadPnm("quadrants.ppm").pixels);

  // 32 bits with alpha: the colour arrives unchanged.
  Write("alpha.bmp", Fixture("alpha_magick32.bmp"));
  EXPECT_EQ(DrawAndRead(txTexLoad("alpha.bmp", 0), 7, 5), ReadPnm("quadrants.ppm").pixels);

  // 8-bit grey as luminance.
  Write("grey.tga", Fixture("grey_netpbm8.tga"));
  const Pnm grey = ReadPnm("grey.pgm");
  Bytes greyRgb;
  for (uint8_t v : grey.pixels) greyRgb.insert(greyRgb.end(), {v, v, v});
  EXPECT_EQ(DrawAndRead(txTexLoad("grey.tga", 0), 7, 5), greyRgb);

  // 8-bit indexed, expanded through its palette.
  Write("palette.bmp", Fixture("palette_netpbm8.bmp"));
  EXPECT_EQ(DrawAndRead(txTexLoad("palette.bmp", 1), 9, 6), ReadPnm("palette.ppm").pixels);
}
