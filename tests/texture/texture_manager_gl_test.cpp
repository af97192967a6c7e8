// The framework's texture manager against a real context (Mesa under
// Xvfb): textures it uploads, drawn as a quad over a viewport of the
// image's own size, read back pixel for pixel.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "image_test_util.h"
#include "platform/platform.h"
#include "texture/texture_manager.h"
#include "window/gl_stub.h"
#include "window/wm.h"

using namespace ember_test;

namespace {

constexpr int kWindow = 64;
gl_stub_table_t &gl = gl_stub_table;

// Top row first, three bytes (R, G, B) per pixel.
struct Rgb {
  int width = 0, height = 0;
  Bytes pixels;
  const uint8_t *at(int x, int y) const { return &pixels[(size_t(y) * size_t(width) + size_t(x)) * 3]; }
};

class TextureManagerGl : public LoaderTest {
protected:
  void SetUp() override {
    LoaderTest::SetUp();
    ASSERT_EQ(plSetBackend(PL_BACKEND_SDL), 0);
    ASSERT_EQ(wmInit(), 0);  // fills the framework's GL table
    ASSERT_EQ(glu_stub_load(), 0);
    window_ = wmNewWindow(0, 0, kWindow, kWindow);
    ASSERT_NE(window_, nullptr);
    ASSERT_EQ(wmShowWindow(window_), 0);
    wmMakeCurrent(window_);
    txSetParam(3, TX_RED_FIRST);  // as the dialog engine sets it
    tmInit();
  }
  void TearDown() override {
    tmDeleteAll();
    if (window_) wmDestroyWindow(window_);
    LoaderTest::TearDown();
  }

  // Draws the named texture over a w x h viewport, its first row at the
  // top, and reads the viewport back.
  Rgb Draw(const char *name, int w, int h) {
    gl.glViewport(0, 0, w, h);
    gl.glClearColor(0, 0, 0, 1);
    gl.glClear(GL_COLOR_BUFFER_BIT);
    gl.glMatrixMode(GL_PROJECTION);
    gl.glLoadIdentity();
    gl.glOrtho(0, 1, 0, 1, -1, 1);
    gl.glMatrixMode(GL_MODELVIEW);
    gl.glLoadIdentity();
    gl.glDisable(GL_BLEND);
    EXPECT_EQ(tmBind(name), 0);
    gl.glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
    gl.glBegin(GL_QUADS);
    gl.glTexCoord2f(0, 1);
    gl.glVertex2f(0, 0);
    gl.glTexCoord2f(1, 1);
    gl.glVertex2f(1, 0);
    gl.glTexCoord2f(1, 0);
    gl.glVertex2f(1, 1);
    gl.glTexCoord2f(0, 0);
    gl.glVertex2f(0, 1);
    gl.glEnd();
    gl.glDisable(GL_TEXTURE_2D);

    Rgb out;
    out.width = w;
    out.height = h;
    Bytes raw(size_t(w) * size_t(h) * 3);
    gl.glPixelStorei(GL_PACK_ALIGNMENT, 1);
    gl.glReadPixels(0, 0, w, h, GL_RGB, GL_UNSIGNED_BYTE, raw.data());
    EXPECT_EQ(gl.glGetError(), GLenum(GL_NO_ERROR));
    // glReadPixels gives the bottom row first.
    const size_t row = size_t(w) * 3;
    for (int y = h - 1; y >= 0; --y) out.pixels.insert(out.pixels.end(), raw.begin() + long(y * row),
                                                       raw.begin() + long((y + 1) * row));
    return out;
  }

  wm_window_t *window_ = nullptr;
  TempDir dir_;
};

// A picture with distinct quadrants and detail in every channel.
Rgb Picture(int w, int h) {
  Rgb p;
  p.width = w;
  p.height = h;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const int q = (x >= w / 2) + 2 * (y >= h / 2);
      p.pixels.push_back(uint8_t(q * 60 + x));
      p.pixels.push_back(uint8_t(200 - 3 * y));
      p.pixels.push_back(uint8_t((x * y + q * 17) & 0xFF));
    }
  return p;
}

void ExpectSame(const Rgb &got, const Rgb &want) {
  ASSERT_EQ(got.pixels.size(), want.pixels.size());
  for (int y = 0; y < want.height; ++y)
    for (int x = 0; x < want.width; ++x)
      for (int c = 0; c < 3; ++c) ASSERT_EQ(got.at(x, y)[c], want.at(x, y)[c]) << x << "," << y << " channel " << c;
}

pxBitmap BitmapOf(const Rgb &p, int32_t bits) {
  pxBitmap b = txNewBitmap("test bitmap");
  b->type = TX_RED_FIRST;
  b->subtype = bits == 32 ? TX_LAYOUT_RGBA : bits == 8 ? TX_LAYOUT_GREY : TX_LAYOUT_RGB;
  b->width = p.width;
  b->height = p.height;
  b->bits = bits;
  b->levels = 1;
  const size_t count = size_t(p.width) * size_t(p.height);
  const size_t bpp = size_t(bits / 8);
  b->image[0] = static_cast<uint8_t *>(SYS_MemGet(count * bpp, __FILE__, __LINE__, "test pixels"));
  b->imagesize[0] = uint32_t(count * bpp);
  for (size_t i = 0; i < count; ++i) {
    if (bits == 8) {
      b->image[0][i] = p.pixels[i * 3];
      continue;
    }
    memcpy(b->image[0] + i * bpp, &p.pixels[i * 3], 3);
    if (bits == 32) b->image[0][i * bpp + 3] = 255;
  }
  return b;
}

TEST_F(TextureManagerGl, ImageFileWithUnpaddedRowsDrawsExactly) {
  // 33 pixels of 3 bytes: rows of 99 bytes, not a multiple of four.
  const Rgb picture = Picture(33, 21);
  TgaSpec s;
  s.width = 33;
  s.height = 21;
  for (size_t i = 0; i < picture.pixels.size(); i += 3)
    s.pixels.insert(s.pixels.end(), {picture.pixels[i + 2], picture.pixels[i + 1], picture.pixels[i]});
  WriteBytes(dir_.path() / "odd.tga", MakeTga(s));
  const std::string path = dir_.str("odd.tga");

  const int32_t id = tmLoad(path.c_str(), TM_FILTER_NEAREST);
  ASSERT_GT(id, 0);
  EXPECT_EQ(gl.glGetError(), GLenum(GL_NO_ERROR));
  EXPECT_TRUE(gl.glIsTexture(GLuint(id)));
  ExpectSame(Draw(path.c_str(), 33, 21), picture);

  // Shared by name: the same texture, still whole.
  EXPECT_EQ(tmLoad(path.c_str(), TM_FILTER_LINEAR_MIPMAP), id);
  ExpectSame(Draw(path.c_str(), 33, 21), picture);

  // Uploaded again from the kept bitmap.
  ASSERT_EQ(tmReload(path.c_str()), 0);
  ExpectSame(Draw(path.c_str(), 33, 21), picture);
}

TEST_F(TextureManagerGl, CallersBitmapsInEveryDepth) {
  const Rgb picture = Picture(7, 5);
  for (int32_t bits : {8, 24, 32}) {
    SCOPED_TRACE(bits);
    pxBitmap b = BitmapOf(picture, bits);
    ASSERT_GT(tmLoadBitmap("caller", b, TM_FILTER_NEAREST), 0);
    EXPECT_EQ(gl.glGetError(), GLenum(GL_NO_ERROR));
    Rgb want = picture;
    if (bits == 8)  // grey: luminance shows in all three channels
      for (size_t i = 0; i < want.pixels.size(); i += 3) want.pixels[i + 1] = want.pixels[i + 2] = want.pixels[i];
    ExpectSame(Draw("caller", 7, 5), want);
    ASSERT_EQ(tmRemove("caller"), 0);
    txFree(&b);
  }
}

TEST_F(TextureManagerGl, ReloadBitmapShowsTheNewPictureAndRemoveDeletes) {
  const Rgb first = Picture(16, 16);
  Rgb second = first;
  for (uint8_t &v : second.pixels) v = uint8_t(255 - v);
  pxBitmap a = BitmapOf(first, 32);
  pxBitmap b = BitmapOf(second, 32);
  ASSERT_GT(tmLoadBitmap("label", a, TM_FILTER_LINEAR), 0);
  ExpectSame(Draw("label", 16, 16), first);
  ASSERT_EQ(tmReloadBitmap("label", b), 0);
  ExpectSame(Draw("label", 16, 16), second);
  const int32_t id = tmGetId("label");
  EXPECT_TRUE(gl.glIsTexture(GLuint(id)));
  ASSERT_EQ(tmRemove("label"), 0);
  EXPECT_FALSE(gl.glIsTexture(GLuint(id)));
  txFree(&a);
  txFree(&b);
}

TEST_F(TextureManagerGl, MipmapFiltersKeepLevelZeroExact) {
  const Rgb picture = Picture(16, 16);
  pxBitmap b = BitmapOf(picture, 24);
  ASSERT_GT(tmLoadBitmap("mip", b, TM_FILTER_NEAREST_MIPMAP), 0);
  EXPECT_EQ(gl.glGetError(), GLenum(GL_NO_ERROR));
  ExpectSame(Draw("mip", 16, 16), picture);
  tmRemove("mip");
  txFree(&b);
}

TEST_F(TextureManagerGl, CompressedImageUploadsItsBlocks) {
  const char *extensions = reinterpret_cast<const char *>(gl.glGetString(GL_EXTENSIONS));
  // Mesa has carried S3TC since its patents ran out.
  ASSERT_TRUE(extensions && strstr(extensions, "GL_EXT_texture_compression_s3tc"))
      << "no S3TC in this OpenGL";
  // 8 x 8 DXT1: four solid blocks, red, green / blue, white (colour 0 of
  // each block, every index 0).
  const uint16_t colours[4] = {0xF800, 0x07E0, 0x001F, 0xFFFF};
  pxBitmap b = txNewBitmap("test dxt1");
  b->type = TX_COMPRESSED;
  b->subtype = GL_COMPRESSED_RGB_S3TC_DXT1_EXT;
  b->width = b->height = 8;
  b->bits = 4;
  b->levels = 1;
  b->imagesize[0] = 4 * 8;
  b->image[0] = static_cast<uint8_t *>(SYS_MemGet(32, __FILE__, __LINE__, "test blocks"));
  for (int i = 0; i < 4; ++i) {
    uint8_t *block = b->image[0] + i * 8;
    block[0] = uint8_t(colours[i] & 0xFF);
    block[1] = uint8_t(colours[i] >> 8);
  }
  ASSERT_GT(tmLoadBitmap("dxt", b, TM_FILTER_NEAREST), 0);
  EXPECT_EQ(gl.glGetError(), GLenum(GL_NO_ERROR));
  const Rgb got = Draw("dxt", 8, 8);
  const uint8_t want[4][3] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}};
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) {
      const int q = (x >= 4) + 2 * (y >= 4);
      for (int c = 0; c < 3; ++c) ASSERT_EQ(got.at(x, y)[c], want[q][c]) << x << "," << y;
    }
  tmRemove("dxt");
  txFree(&b);
}

}  // namespace
