// BMP and TGA readers against files written by netpbm and ImageMagick (their
// pixels compared with the PNM sources the tools were given), hand-made
// malformed files, and the TGA writer's round trips.
#include <gtest/gtest.h>

#include "image_test_util.h"
#include "texture/formats.h"

using namespace ember_test;

namespace {

// Decodes an indexed bitmap through its palette into R, G, B triples.
Bytes ThroughPalette(const txBitmap *b) {
  Bytes rgb;
  for (size_t i = 0; i < size_t(b->width) * size_t(b->height); ++i) {
    const uint8_t *e = b->palette + 4 * b->image[0][i];
    rgb.insert(rgb.end(), {e[2], e[1], e[0]});
  }
  return rgb;
}

struct ToolFile {
  const char *file;
  const char *source;
  int bits;
  int subtype;
  bool upsideDown = false;
};

class ToolMadeBmp : public ::testing::TestWithParam<ToolFile> {};
class ToolMadeTga : public ::testing::TestWithParam<ToolFile> {};

}  // namespace

TEST_P(ToolMadeBmp, DecodesToTheSourcePixelsBlueFirstTopRowFirst) {
  const ToolFile &f = GetParam();
  const Bytes file = Fixture(f.file);
  ASSERT_EQ(bmpIdentify(file.data(), file.size()), 0);
  BitmapPtr b = Decode(bmpRead, file);
  ASSERT_TRUE(b) << "error " << SYS_ErrorGet();
  EXPECT_EQ(b->type, TX_BLUE_FIRST);
  EXPECT_EQ(b->bits, f.bits);
  EXPECT_EQ(b->subtype, f.subtype);
  EXPECT_EQ(b->levels, 1);
  EXPECT_EQ(b->imagesize[0], uint32_t(b->width * b->height * b->bits / 8));
  const Pnm pnm = ReadPnm(f.source);
  if (f.subtype == TX_LAYOUT_INDEXED) {
    ASSERT_NE(b->palette, nullptr);
    EXPECT_EQ(ThroughPalette(b.get()), pnm.pixels);
  } else {
    EXPECT_EQ(b->palette, nullptr);
    ExpectSamePixels(b.get(), pnm, true);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Files, ToolMadeBmp,
    ::testing::Values(ToolFile{"quadrants_netpbm24.bmp", "quadrants.ppm", 24, TX_LAYOUT_RGB},
                      ToolFile{"wide_netpbm24.bmp", "wide.ppm", 24, TX_LAYOUT_RGB},
                      ToolFile{"quadrants_magick24.bmp", "quadrants.ppm", 24, TX_LAYOUT_RGB},
                      ToolFile{"wide_magick24.bmp", "wide.ppm", 24, TX_LAYOUT_RGB},
                      // v5 header with plain B, G, R, A bit fields
                      ToolFile{"alpha_magick32.bmp", "alpha.pam", 32, TX_LAYOUT_RGBA},
                      // "0 colours used" and a full palette before the pixels
                      ToolFile{"palette_netpbm8.bmp", "palette.ppm", 8, TX_LAYOUT_INDEXED},
                      ToolFile{"cmap256_magick8.bmp", "cmap256.ppm", 8, TX_LAYOUT_INDEXED}));

TEST(BmpRead, RefusesCompressedAndLowDepthFilesFromImageMagick) {
  for (const char *name : {"palette_magick4.bmp", "cmap256_magick_rle8.bmp"}) {
    const Bytes file = Fixture(name);
    EXPECT_FALSE(Decode(bmpRead, file)) << name;
    EXPECT_EQ(SYS_ErrorGet(), TX_ERR_DEPTH) << name;
  }
}

TEST_P(ToolMadeTga, DecodesToTheSourcePixelsBlueFirstTopRowFirst) {
  const ToolFile &f = GetParam();
  const Bytes file = Fixture(f.file);
  ASSERT_EQ(tgaIdentify(file.data(), file.size()), 0);
  BitmapPtr b = Decode(tgaRead, file);
  ASSERT_TRUE(b) << "error " << SYS_ErrorGet();
  EXPECT_EQ(b->type, TX_BLUE_FIRST);
  EXPECT_EQ(b->bits, f.bits);
  EXPECT_EQ(b->subtype, f.subtype);
  EXPECT_EQ(b->palette, nullptr);
  Pnm pnm = ReadPnm(f.source);
  if (f.upsideDown) pnm = FlipRows(pnm);
  ExpectSamePixels(b.get(), pnm, true);
}

INSTANTIATE_TEST_SUITE_P(
    Files, ToolMadeTga,
    ::testing::Values(ToolFile{"quadrants_netpbm24.tga", "quadrants.ppm", 24, TX_LAYOUT_RGB},
                      ToolFile{"alpha_netpbm32.tga", "alpha.pam", 32, TX_LAYOUT_RGBA},
                      ToolFile{"grey_netpbm8.tga", "grey.pgm", 8, TX_LAYOUT_GREY},
                      // ImageMagick 6 stores its rows top first under a
                      // bottom-left descriptor; the descriptor decides, so the
                      // picture arrives upside down (netpbm's tgatoppm agrees).
                      ToolFile{"quadrants_magick24.tga", "quadrants.ppm", 24, TX_LAYOUT_RGB, true},
                      ToolFile{"alpha_magick32.tga", "alpha.pam", 32, TX_LAYOUT_RGBA, true},
                      ToolFile{"grey_magick8.tga", "grey.pgm", 8, TX_LAYOUT_GREY, true},
                      // 256 colour-map entries of 24 bits: expanded
                      ToolFile{"cmap256_netpbm.tga", "cmap256.ppm", 24, TX_LAYOUT_RGB}));

TEST(TgaRead, AShortColourMapIsNotRecognisedButReadsWhenAskedDirectly) {
  const Bytes file = Fixture("palette_netpbm_cmap.tga");  // 4 entries
  EXPECT_NE(tgaIdentify(file.data(), file.size()), 0);
  BitmapPtr b = Decode(tgaRead, file);
  ASSERT_TRUE(b);
  ExpectSamePixels(b.get(), ReadPnm("palette.ppm"), true);
}

// ---- hand-made BMP files ----------------------------------------------------

TEST(BmpRead, ShortOrEmptyHeadersFailWith1002) {
  Bytes file = MakeBmp({});
  file.resize(53);
  EXPECT_FALSE(Decode(bmpRead, file));
  EXPECT_EQ(SYS_ErrorGet(), TX_ERR_SHORT);

  for (auto [w, h] : std::initializer_list<std::pair<int, int>>{{0, 2}, {2, 0}, {-2, 2}, {2, -2}}) {
    BmpSpec s;
    s.width = w;
    s.height = h;
    s.pixels = Bytes(16);
    EXPECT_FALSE(Decode(bmpRead, MakeBmp(s))) << w << "x" << h;
    EXPECT_EQ(SYS_ErrorGet(), TX_ERR_SHORT);
  }
}

TEST(BmpRead, UnsupportedDepthsAndCompressionFailWith1004) {
  for (uint16_t bits : {1, 4, 16, 12, 48}) {
    BmpSpec s;
    s.bits = bits;
    s.pixels = Bytes(64);
    EXPECT_FALSE(Decode(bmpRead, MakeBmp(s))) << bits;
    EXPECT_EQ(SYS_ErrorGet(), TX_ERR_DEPTH) << bits;
  }
  BmpSpec rle;
  rle.bits = 8;
  rle.compression = 1;
  rle.pixels = Bytes(8);
  EXPECT_FALSE(Decode(bmpRead, MakeBmp(rle)));
  EXPECT_EQ(SYS_ErrorGet(), TX_ERR_DEPTH);

  // Bit fields in an order other than B, G, R are not plain pixels.
  BmpSpec fields;
  fields.bits = 32;
  fields.compression = 3;
  fields.palette = Bytes(12);  // masks right after the 40-byte header
  fields.palette[2] = 0xFF;    // red mask 0x00FF0000 ...
  fields.palette[4] = 0xFF;    // ... but green 0x000000FF
  fields.palette[9] = 0xFF;
  fields.pixels = Bytes(16);
  EXPECT_FALSE(Decode(bmpRead, MakeBmp(fields)));
  EXPECT_EQ(SYS_ErrorGet(), TX_ERR_DEPTH);
}

TEST(BmpRead, PixelsThatRunPastTheFileFailWith1002) {
  BmpSpec s;  // 2 x 2 x 24: two rows of 8 bytes (6 + padding)
  s.pixels = Bytes(15);
  EXPECT_FALSE(Decode(bmpRead, MakeBmp(s)));
  EXPECT_EQ(SYS_ErrorGet(), TX_ERR_SHORT);

  s.pixels = Bytes(16);
  Bytes file = MakeBmp(s);
  file[10] = 0xF0;  // pixel offset far beyond the end
  file[11] = 0xFF;
  EXPECT_FALSE(Decode(bmpRead, file));
  EXPECT_EQ(SYS_ErrorGet(), TX_ERR_SHORT);

  file = MakeBmp(s);
  file[10] = 20;  // pixels inside the info header
  EXPECT_FALSE(Decode(bmpRead, file));
  EXPECT_EQ(SYS_ErrorGet(), TX_ERR_SHORT);

  BmpSpec indexed;  // 256 colours promised, room for 2
  indexed.bits = 8;
  indexed.colorsUsed = 256;
  indexed.palette = Bytes(8);
  indexed.pixels = Bytes(8);
  EXPECT_FALSE(Decode(bmpRead, MakeBmp(indexed)));
  EXPECT_EQ(SYS_ErrorGet(), TX_ERR_SHORT);
}

TEST(BmpRead, EightBitsWithoutAPaletteAreGrey) {
  BmpSpec s;
  s.bits = 8;
  s.width = 4;
  s.pixels = {1, 2, 3, 4, 5, 6, 7, 8};  // bottom row first
  BitmapPtr b = Decode(bmpRead, MakeBmp(s));
  ASSERT_TRUE(b);
  EXPECT_EQ(b->subtype, TX_LAYOUT_GREY);
  EXPECT_EQ(b->palette, nullptr);
  EXPECT_EQ(Bytes(b->image[0], b->image[0] + 8), (Bytes{5, 6, 7, 8, 1, 2, 3, 4}));
}

TEST(BmpRead, AShortPaletteIsKeptAsAFullTableAndPixelsComeFromTheDeclaredOffset) {
  BmpSpec s;
  s.bits = 8;
  s.width = 4;
  s.height = 1;
  s.colorsUsed = 2;
  s.palette = {10, 20, 30, 0, 40, 50, 60, 0};
  s.pixelOffset = 54 + 8 + 6;  // a gap the reader must step over
  s.pixels = {1, 0, 1, 255};
  BitmapPtr b = Decode(bmpRead, MakeBmp(s));
  ASSERT_TRUE(b);
  EXPECT_EQ(b->subtype, TX_LAYOUT_INDEXED);
  ASSERT_NE(b->palette, nullptr);
  EXPECT_EQ(Bytes(b->palette, b->palette + 8), s.palette);
  EXPECT_EQ(b->palette[4 * 255], 0);  // entries the file lacks are black
  EXPECT_EQ(Bytes(b->image[0], b->image[0] + 4), s.pixels);
}

// ---- hand-made TGA files ----------------------------------------------------

TEST(TgaRead, ShortFilesFailWith1002) {
  TgaSpec s;
  s.pixels = Bytes(12);
  Bytes file = MakeTga(s);
  EXPECT_FALSE(Decode(tgaRead, Bytes(file.begin(), file.begin() + 17)));
  EXPECT_EQ(SYS_ErrorGet(), TX_ERR_SHORT);

  file.pop_back();  // one pixel byte missing
  EXPECT_FALSE(Decode(tgaRead, file));
  EXPECT_EQ(SYS_ErrorGet(), TX_ERR_SHORT);

  s.id = std::string(200, 'x');  // an ID that swallows the pixels
  file = MakeTga(s);
  file.resize(18 + 100);
  EXPECT_FALSE(Decode(tgaRead, file));
  EXPECT_EQ(SYS_ErrorGet(), TX_ERR_SHORT);

  s = TgaSpec{};
  s.width = 0;
  EXPECT_FALSE(Decode(tgaRead, MakeTga(s)));
  EXPECT_EQ(SYS_ErrorGet(), TX_ERR_SHORT);
}

TEST(TgaRead, DescriptorBit5DecidesTheRowOrder) {
  TgaSpec s;
  s.width = 1;
  s.height = 3;
  s.pixels = Ramp(3, 3);
  BitmapPtr top = Decode(tgaRead, MakeTga(s));
  ASSERT_TRUE(top);
  EXPECT_EQ(Bytes(top->image[0], top->image[0] + 9), s.pixels);

  s.descriptor = 0x00;
  BitmapPtr bottom = Decode(tgaRead, MakeTga(s));
  ASSERT_TRUE(bottom);
  EXPECT_EQ(Bytes(bottom->image[0], bottom->image[0] + 9),
            (Bytes{20, 21, 22, 10, 11, 12, 0, 1, 2}));
}

TEST(TgaRead, ALongColourMapIsSkippedWholeAndItsFirst256EntriesUsed) {
  TgaSpec s;
  s.mapType = 1;
  s.imageType = 1;
  s.mapLength = 300;
  s.mapBits = 24;
  s.bits = 8;
  s.width = 2;
  s.height = 1;
  for (int i = 0; i < 300; ++i) s.map.insert(s.map.end(), {uint8_t(i), uint8_t(i + 1), 7});
  s.pixels = {3, 255};
  BitmapPtr b = Decode(tgaRead, MakeTga(s));
  ASSERT_TRUE(b);
  EXPECT_EQ(b->bits, 24);
  EXPECT_EQ(Bytes(b->image[0], b->image[0] + 6), (Bytes{3, 4, 7, 255, 0, 7}));
}

TEST(TgaRead, ThirtyTwoBitMapEntriesGiveTheirColourBytes) {
  TgaSpec s;
  s.mapType = 1;
  s.imageType = 1;
  s.mapLength = 2;
  s.mapBits = 32;
  s.bits = 8;
  s.width = 2;
  s.height = 1;
  s.map = {1, 2, 3, 4, 5, 6, 7, 8};
  s.pixels = {1, 0};
  BitmapPtr b = Decode(tgaRead, MakeTga(s));
  ASSERT_TRUE(b);
  EXPECT_EQ(Bytes(b->image[0], b->image[0] + 6), (Bytes{5, 6, 7, 1, 2, 3}));
}

TEST(TgaRead, UnusableColourMapsAndDepthsAreRefused) {
  TgaSpec s;
  s.mapType = 1;
  s.imageType = 1;
  s.mapLength = 256;
  s.bits = 8;
  s.pixels = Bytes(4);
  for (uint8_t entry : {15, 16, 0, 7}) {
    s.mapBits = entry;
    s.map = Bytes(256 * ((entry + 7) / 8));
    EXPECT_FALSE(Decode(tgaRead, MakeTga(s))) << int(entry);
    EXPECT_EQ(SYS_ErrorGet(), TX_ERR_DEPTH);
  }
  s.mapBits = 24;
  s.map = Bytes(100);  // the map runs past the end of the file
  EXPECT_FALSE(Decode(tgaRead, MakeTga(s)));
  EXPECT_EQ(SYS_ErrorGet(), TX_ERR_SHORT);

  TgaSpec odd;
  odd.bits = 15;
  odd.pixels = Bytes(16);
  EXPECT_FALSE(Decode(tgaRead, MakeTga(odd)));
  EXPECT_EQ(SYS_ErrorGet(), TX_ERR_DEPTH);
}

TEST(TgaIdentify, KnowsTheThreePatternsAndTheBufferLength) {
  TgaSpec s;
  Bytes file = MakeTga(s);
  EXPECT_EQ(tgaIdentify(file.data(), file.size()), 0);
  EXPECT_NE(tgaIdentify(file.data(), 7), 0);  // the pattern runs to byte 7
  s.imageType = 3;
  file = MakeTga(s);
  EXPECT_EQ(tgaIdentify(file.data(), file.size()), 0);
  s.imageType = 10;  // run-length encoded
  file = MakeTga(s);
  EXPECT_NE(tgaIdentify(file.data(), file.size()), 0);
  EXPECT_NE(bmpIdentify(reinterpret_cast<const uint8_t *>("B"), 1), 0);
}

// ---- TGA writer -------------------------------------------------------------

class TgaWrite : public LoaderTest {
protected:
  void SetUp() override {
    LoaderTest::SetUp();
    cwd_ = std::make_unique<ScopedCwd>(dir_.path());
  }
  void TearDown() override {
    cwd_.reset();
    LoaderTest::TearDown();
  }
  BitmapPtr Dummy(int type, int w, int h) {
    BitmapPtr b(txCreateDummy(type, w, h));
    b->type = type == 1 ? TX_RED_FIRST : TX_BLUE_FIRST;  // the dummy's type is its layout
    for (uint32_t i = 0; i < b->imagesize[0]; ++i) b->image[0][i] = uint8_t(i * 7 + 1);
    return b;
  }
  TempDir dir_;
  std::unique_ptr<ScopedCwd> cwd_;
};

TEST_F(TgaWrite, RoundTripsAt24And32Bits) {
  for (int type : {0, 2}) {
    BitmapPtr b = Dummy(type, 5, 3);
    ASSERT_EQ(tgaWrite("out.tga", b.get()), 0);
    const Bytes file = ReadBytes(dir_.path() / "out.tga");
    BitmapPtr back = Decode(tgaRead, file);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->bits, b->bits);
    EXPECT_EQ(back->subtype, b->subtype);
    EXPECT_EQ(back->width, 5);
    EXPECT_EQ(back->height, 3);
    EXPECT_EQ(Bytes(back->image[0], back->image[0] + back->imagesize[0]),
              Bytes(b->image[0], b->image[0] + b->imagesize[0]));
  }
}

TEST_F(TgaWrite, HeaderCarriesTheCommentAndTopRowFirst) {
  BitmapPtr b = Dummy(2, 4, 2);
  ASSERT_EQ(tgaWrite("out.tga", b.get()), 0);
  const Bytes file = ReadBytes(dir_.path() / "out.tga");
  const std::string comment = "Created by zelka!quorvix's TGA output filter. v0.3";
  ASSERT_EQ(file.size(), 18 + comment.size() + 32);
  EXPECT_EQ(file[0], 50);
  EXPECT_EQ(file[2], 2);
  EXPECT_EQ(file[16], 32);
  EXPECT_EQ(file[17], 0x20);
  EXPECT_EQ(std::string(file.begin() + 18, file.begin() + 68), comment);
}

TEST_F(TgaWrite, GreyGivesImageType3AndDummyRgbIsSwappedOnlyInTheFile) {
  BitmapPtr grey = Dummy(3, 3, 3);
  ASSERT_EQ(tgaWrite("grey.tga", grey.get()), 0);
  EXPECT_EQ(ReadBytes(dir_.path() / "grey.tga")[2], 3);

  BitmapPtr rgb = Dummy(1, 2, 1);  // red first, subtype 1
  const Bytes before(rgb->image[0], rgb->image[0] + 6);
  ASSERT_EQ(tgaWrite("rgb.tga", rgb.get()), 0);
  EXPECT_EQ(Bytes(rgb->image[0], rgb->image[0] + 6), before);
  const Bytes file = ReadBytes(dir_.path() / "rgb.tga");
  const Bytes pixels(file.end() - 6, file.end());
  EXPECT_EQ(pixels, (Bytes{before[2], before[1], before[0], before[5], before[4], before[3]}));
}

TEST_F(TgaWrite, LayoutsItCannotStoreFailWith1005AndCreateNoFile) {
  BitmapPtr b = Dummy(0, 2, 2);
  b->type = TX_COMPRESSED;
  EXPECT_EQ(tgaWrite("a.tga", b.get()), -1);
  EXPECT_EQ(SYS_ErrorGet(), TX_ERR_LAYOUT);

  b->type = 0;
  b->subtype = TX_LAYOUT_INDEXED;
  EXPECT_EQ(tgaWrite("a.tga", b.get()), -1);
  EXPECT_EQ(SYS_ErrorGet(), TX_ERR_LAYOUT);

  b->subtype = TX_LAYOUT_RGBA;  // says alpha, holds 24 bits
  EXPECT_EQ(tgaWrite("a.tga", b.get()), -1);
  EXPECT_EQ(SYS_ErrorGet(), TX_ERR_LAYOUT);
  EXPECT_FALSE(std::filesystem::exists(dir_.path() / "a.tga"));
}

TEST_F(TgaWrite, SaveThroughTheTableAndLoadBack) {
  BitmapPtr b = Dummy(2, 3, 2);
  ASSERT_EQ(txSave(TX_ID_TGA, "saved.tga", b.get()), 0);
  BitmapPtr back(txLoad("saved.tga"));
  ASSERT_TRUE(back);
  EXPECT_EQ(back->id, TX_ID_TGA);
  EXPECT_EQ(Bytes(back->image[0], back->image[0] + 24), Bytes(b->image[0], b->image[0] + 24));

  EXPECT_EQ(txSave(TX_ID_BMP, "saved.bmp", b.get()), -1);  // input only
  EXPECT_EQ(SYS_ErrorGet(), TX_ERR_FORMAT);
  EXPECT_EQ(txSave(42, "saved.x", b.get()), -1);
  EXPECT_EQ(SYS_ErrorGet(), TX_ERR_FORMAT);
}
