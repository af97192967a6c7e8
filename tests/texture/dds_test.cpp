// The DDS filter and the DXT decoders: exact values of hand-built blocks,
// nvcompress's files decoded within the format's tolerance of
// nvdecompress, keep-or-decode and the level dropping of the texture
// quality, and files whose header promises more than they hold.
#include <gtest/gtest.h>

#include "image_test_util.h"
#include "texture/formats.h"
#include "texture/s3tc.h"

using namespace ember_test;

namespace {

// A DDS file: the 128-byte header and the given blocks.
Bytes MakeDds(uint32_t width, uint32_t height, uint32_t mipmaps, const char *fourcc,
              const Bytes &blocks) {
  Bytes b = {'D', 'D', 'S', ' '};
  Put(b, 124, 4);
  Put(b, 0x000A1007, 4);  // caps, height, width, pixel format, mipmap count, linear size
  Put(b, height, 4);
  Put(b, width, 4);
  Put(b, 0, 4);
  Put(b, 0, 4);
  Put(b, mipmaps, 4);
  b.resize(76, 0);
  Put(b, 32, 4);
  Put(b, 4, 4);  // four-character code present
  b.insert(b.end(), fourcc, fourcc + 4);
  b.resize(128, 0);
  b.insert(b.end(), blocks.begin(), blocks.end());
  return b;
}

// Blocks whose bytes count up, enough for `levels` levels of w x h.
Bytes LevelBlocks(uint32_t w, uint32_t h, int levels, uint32_t blockBytes) {
  Bytes b;
  for (int i = 0; i < levels; ++i) {
    const uint32_t lw = std::max(1u, w >> i), lh = std::max(1u, h >> i);
    const size_t n = size_t((lw + 3) / 4) * ((lh + 3) / 4) * blockBytes;
    for (size_t k = 0; k < n; ++k) b.push_back(uint8_t(i * 16 + k));
  }
  return b;
}

std::array<uint8_t, 4> Decode1(txDecodeProc decode, const Bytes &block, int k, int32_t bits = 32) {
  uint8_t out[4 * 4 * 4] = {};
  decode(block.data(), out, 4, 4, bits);
  const uint8_t *p = out + k * (bits / 8);
  return {p[0], p[1], p[2], uint8_t(bits == 32 ? p[3] : 0)};
}

// Restores the loader's DXT parameters.
class DdsTest : public LoaderTest {
 protected:
  void Support(bool dxt1, bool dxt3, bool dxt5) {
    txSetParam(TX_GL_DXT1, dxt1);
    txSetParam(TX_GL_DXT3, dxt3);
    txSetParam(TX_GL_DXT5, dxt5);
  }
  void SetUp() override {
    LoaderTest::SetUp();
    txState.disableBits = 0;
    Support(false, false, false);
  }
};

// ---- block decoding ------------------------------------------------------------

TEST(DxtDecode, ColoursWidenByShiftingAloneAndFourColourModeRoundsThirds) {
  // c0 = 0xFFFF > c1 = 0: index 0 everywhere.
  const Bytes white = {0xFF, 0xFF, 0x00, 0x00, 0, 0, 0, 0};
  EXPECT_EQ(Decode1(ddsDecodeDXT1, white, 0), (std::array<uint8_t, 4>{248, 252, 248, 255}));
  // c0 red 0xF800, c1 blue 0x001F; pixels 0..3 take indices 0, 1, 2, 3.
  const Bytes block = {0x00, 0xF8, 0x1F, 0x00, 0xE4, 0, 0, 0};
  EXPECT_EQ(Decode1(ddsDecodeDXT1, block, 0), (std::array<uint8_t, 4>{248, 0, 0, 255}));
  EXPECT_EQ(Decode1(ddsDecodeDXT1, block, 1), (std::array<uint8_t, 4>{0, 0, 248, 255}));
  EXPECT_EQ(Decode1(ddsDecodeDXT1, block, 2), (std::array<uint8_t, 4>{165, 0, 83, 255}));
  EXPECT_EQ(Decode1(ddsDecodeDXT1, block, 3), (std::array<uint8_t, 4>{83, 0, 165, 255}));
  // DXT3 and DXT5 always use four colours, even with c0 <= c1.
  Bytes dxt5(8, 0);
  dxt5[0] = 255;
  dxt5.insert(dxt5.end(), {0x1F, 0x00, 0x00, 0xF8, 0xE4, 0, 0, 0});
  EXPECT_EQ(Decode1(ddsDecodeDXT5, dxt5, 2), (std::array<uint8_t, 4>{83, 0, 165, 255}));
}

TEST(DxtDecode, Dxt1ThreeColourModeHasTheMeanAndTransparentBlack) {
  const Bytes mean = {0x1F, 0x00, 0x00, 0xF8, 0x02, 0, 0, 0};  // c0 < c1, pixel 0 index 2
  EXPECT_EQ(Decode1(ddsDecodeDXT1, mean, 0), (std::array<uint8_t, 4>{124, 0, 124, 255}));
  const Bytes black = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};  // c0 = c1, index 3
  EXPECT_EQ(Decode1(ddsDecodeDXT1, black, 7), (std::array<uint8_t, 4>{0, 0, 0, 0}));
  EXPECT_EQ(Decode1(ddsDecodeDXT1, black, 7, 24), (std::array<uint8_t, 4>{0, 0, 0, 0}));
}

TEST(DxtDecode, Dxt3AlphaIsFourBitsPerPixelTimes17) {
  Bytes block = {0x10, 0x32, 0, 0, 0, 0, 0xFF, 0xFF};  // row 0: 0,1,2,3; row 3: 15,15,15,15
  block.insert(block.end(), {0xFF, 0xFF, 0, 0, 0, 0, 0, 0});
  EXPECT_EQ(Decode1(ddsDecodeDXT3, block, 0)[3], 0);
  EXPECT_EQ(Decode1(ddsDecodeDXT3, block, 3)[3], 51);
  EXPECT_EQ(Decode1(ddsDecodeDXT3, block, 12)[3], 255);
}

TEST(DxtDecode, Dxt5AlphaFollowsBothInterpolationModes) {
  // Indices 3 bits each: pixel 0 -> 2, pixel 1 -> 7, pixel 2 -> 6, pixel 3 -> 1.
  const uint64_t indices = 2 | 7 << 3 | 6 << 6 | 1 << 9;
  auto block = [&](uint8_t a0, uint8_t a1) {
    Bytes b = {a0, a1};
    for (int i = 0; i < 6; ++i) b.push_back(uint8_t(indices >> (8 * i)));
    b.insert(b.end(), 8, 0);
    return b;
  };
  const Bytes eight = block(255, 0);
  EXPECT_EQ(Decode1(ddsDecodeDXT5, eight, 0)[3], 219);  // (6 * 255 + 3) / 7
  EXPECT_EQ(Decode1(ddsDecodeDXT5, eight, 1)[3], 36);   // (1 * 255 + 6 * 0 + 3) / 7
  EXPECT_EQ(Decode1(ddsDecodeDXT5, eight, 3)[3], 0);
  const Bytes six = block(0, 255);
  EXPECT_EQ(Decode1(ddsDecodeDXT5, six, 0)[3], 51);  // (4 * 0 + 1 * 255 + 2) / 5
  EXPECT_EQ(Decode1(ddsDecodeDXT5, six, 1)[3], 255);
  EXPECT_EQ(Decode1(ddsDecodeDXT5, six, 2)[3], 0);
}

TEST(DxtDecode, EdgeBlocksWriteOnlyThePixelsInsideTheImage) {
  // 5 x 3: two blocks across, one down; the destination is fenced by canaries.
  const Bytes blocks(2 * 16, 0xAA);
  for (int bits : {24, 32}) {
    const size_t bytes = 5 * 3 * size_t(bits / 8);
    Bytes out(bytes + 8, 0x5C);
    ddsDecodeDXT5(blocks.data(), out.data(), 5, 3, bits);
    for (size_t i = bytes; i < out.size(); ++i)
      ASSERT_EQ(out[i], 0x5C) << bits << " bits, byte " << i;
  }
}

// ---- nvcompress's files ----------------------------------------------------------

struct NvCase {
  const char *name;
  int32_t width, height, levels, bits;
};

class NvttFile : public DdsTest, public ::testing::WithParamInterface<NvCase> {};

TEST_P(NvttFile, DecodesWithinTheFormatsToleranceOfNvdecompress) {
  const NvCase &c = GetParam();
  BitmapPtr b = Decode(ddsRead, Fixture(std::string("dds/") + c.name + ".dds"));
  ASSERT_TRUE(b) << SYS_ErrorGet();
  EXPECT_EQ(b->type, TX_RED_FIRST);
  EXPECT_EQ(b->width, c.width);
  EXPECT_EQ(b->height, c.height);
  EXPECT_EQ(b->levels, c.levels);
  EXPECT_EQ(b->bits, c.bits);
  EXPECT_EQ(b->subtype, c.bits == 24 ? TX_LAYOUT_RGB : TX_LAYOUT_RGBA);
  for (int i = 0; i < b->levels; ++i) {
    const size_t w = size_t(std::max(1, c.width >> i)), h = size_t(std::max(1, c.height >> i));
    EXPECT_EQ(b->imagesize[i], std::max<size_t>(64, w * h * size_t(c.bits / 8))) << "level " << i;
  }
  // Colours widen by shifting alone (up to 7 below bit replication) and
  // interpolate with their own rounding; alpha steps are exact to one.
  const Pnm want = ReadPnm(std::string("dds/") + c.name + "_nvdecompress.pam");
  ASSERT_EQ(want.width, c.width);
  for (int y = 0; y < c.height; ++y)
    for (int x = 0; x < c.width; ++x) {
      const uint8_t *got = PixelAt(b.get(), x, y), *exp = want.at(x, y);
      for (int k = 0; k < 3; ++k) ASSERT_NEAR(int(got[k]), int(exp[k]), 8) << x << "," << y;
      if (c.bits == 32) {
        ASSERT_NEAR(int(got[3]), int(exp[3]), 1) << x << "," << y;
      }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Nvcompress, NvttFile,
    ::testing::Values(NvCase{"mips_bc1", 64, 64, 7, 24}, NvCase{"mips_bc1a", 64, 64, 7, 24},
                      NvCase{"mips_bc2", 64, 64, 7, 32}, NvCase{"mips_bc3", 64, 64, 7, 32},
                      NvCase{"odd_bc1", 13, 7, 4, 24}, NvCase{"odd_bc2", 13, 7, 4, 32},
                      NvCase{"odd_bc3", 13, 7, 4, 32}, NvCase{"single_bc1", 64, 64, 1, 24}),
    [](const ::testing::TestParamInfo<NvCase> &info) { return info.param.name; });

TEST_F(DdsTest, ASupportedFormatKeepsTheFilesBlocksUnlessDisabled) {
  Support(true, false, false);
  const Bytes file = Fixture("dds/mips_bc1.dds");
  BitmapPtr b = Decode(ddsRead, file);
  ASSERT_TRUE(b);
  EXPECT_EQ(b->type, TX_COMPRESSED);
  EXPECT_EQ(b->subtype, TX_GL_DXT1);
  EXPECT_EQ(b->fourcc, txFourCC('D', 'X', 'T', '1'));
  EXPECT_EQ(b->bits, 24);
  size_t offset = 128;
  for (int i = 0; i < 7; ++i) {
    const size_t side = size_t(std::max(1, 64 >> i)),
                 bytes = ((side + 3) / 4) * ((side + 3) / 4) * 8;
    ASSERT_EQ(b->imagesize[i], bytes) << i;
    EXPECT_TRUE(std::equal(b->image[i], b->image[i] + bytes, file.begin() + long(offset))) << i;
    offset += bytes;
  }
  EXPECT_EQ(offset, file.size());
  EXPECT_EQ(b->image[7], nullptr);

  // A format disabled by option is decoded even when the renderer has it.
  txState.disableBits = 4;
  Support(true, true, true);
  b = Decode(ddsRead, Fixture("dds/mips_bc3.dds"));
  ASSERT_TRUE(b);
  EXPECT_EQ(b->type, TX_RED_FIRST);
  EXPECT_EQ(b->subtype, TX_LAYOUT_RGBA);
  EXPECT_EQ(b->bits, 32);
}

// ---- texture quality ---------------------------------------------------------------

TEST_F(DdsTest, QualityDropsTheLargestLevelsAndSkipsTheirBlocks) {
  Support(false, false, true);
  const Bytes file = Fixture("dds/mips_bc3.dds");
  struct Want {
    int quality, side, levels;
    size_t offset;  // of the first kept level
  };
  for (const Want &w :
       {Want{1, 32, 6, 128 + 4096}, Want{2, 16, 5, 128 + 4096 + 1024}, Want{3, 64, 7, 128}}) {
    txState.quality = w.quality;
    BitmapPtr b = Decode(ddsRead, file);
    ASSERT_TRUE(b);
    EXPECT_EQ(b->width, w.side) << w.quality;
    EXPECT_EQ(b->height, w.side) << w.quality;
    EXPECT_EQ(b->levels, w.levels) << w.quality;
    EXPECT_TRUE(
        std::equal(b->image[0], b->image[0] + b->imagesize[0], file.begin() + long(w.offset)));
  }
}

TEST_F(DdsTest, DroppingNeverLeavesNoLevelAndDecodedTinyLevelsGet64Bytes) {
  txState.quality = 2;
  Support(true, false, false);
  BitmapPtr one = Decode(ddsRead, Fixture("dds/single_bc1.dds"));  // mipmap count 0
  ASSERT_TRUE(one);
  EXPECT_EQ(one->levels, 1);
  EXPECT_EQ(one->width, 64);

  txState.quality = 0;
  BitmapPtr tiny = Decode(ddsRead, MakeDds(2, 2, 2, "DXT5", LevelBlocks(2, 2, 2, 16)));
  ASSERT_TRUE(tiny);
  EXPECT_EQ(tiny->imagesize[0], 64u);
  EXPECT_EQ(tiny->imagesize[1], 64u);

  txState.quality = 2;
  // Two levels declared, one present: the one present is kept at full size.
  BitmapPtr b = Decode(ddsRead, MakeDds(8, 8, 2, "DXT1", LevelBlocks(8, 8, 1, 8)));
  ASSERT_TRUE(b);
  EXPECT_EQ(b->levels, 1);
  EXPECT_EQ(b->width, 8);
  // A 256 x 1 image halves to sides of at least one pixel.
  b = Decode(ddsRead, MakeDds(256, 1, 9, "DXT1", LevelBlocks(256, 1, 9, 8)));
  ASSERT_TRUE(b);
  EXPECT_EQ(b->width, 64);
  EXPECT_EQ(b->height, 1);
  EXPECT_EQ(b->levels, 7);
}

// ---- headers that promise too much -------------------------------------------------

TEST_F(DdsTest, ShortFilesAndUnknownCodesAreRefused) {
  EXPECT_FALSE(Decode(ddsRead, Bytes(127, 0)));
  EXPECT_EQ(SYS_ErrorGet(), TX_ERR_SHORT);
  EXPECT_FALSE(Decode(ddsRead, MakeDds(4, 4, 1, "DX10", Bytes(16))));
  EXPECT_EQ(SYS_ErrorGet(), TX_ERR_DEPTH);
  EXPECT_FALSE(Decode(ddsRead, MakeDds(0, 4, 1, "DXT1", Bytes(8))));
  EXPECT_EQ(SYS_ErrorGet(), TX_ERR_FORMAT);
  // The first level one byte short.
  EXPECT_FALSE(Decode(ddsRead, MakeDds(8, 8, 1, "DXT1", Bytes(31))));
  EXPECT_EQ(SYS_ErrorGet(), TX_ERR_SHORT);
}

TEST_F(DdsTest, HugeSidesInATinyFileAreCaughtIn64BitArithmetic) {
  const size_t live = SYS_MemLiveCount();
  for (auto [w, h] : {std::pair{0x7FFFFFFFu, 0x7FFFFFFFu}, std::pair{0x80000000u, 4u},
                      std::pair{0x40000000u, 0x40000004u}}) {
    EXPECT_FALSE(Decode(ddsRead, MakeDds(w, h, 32, "DXT5", Bytes(64)))) << w << "x" << h;
    const int32_t code = SYS_ErrorGet();
    EXPECT_TRUE(code == TX_ERR_SHORT || code == TX_ERR_FORMAT) << code;
  }
  EXPECT_EQ(SYS_MemLiveCount(), live);
}

TEST_F(DdsTest, LevelsPastTheEndOfTheFileAreCutOff) {
  Support(false, false, true);
  Bytes file = Fixture("dds/mips_bc3.dds");
  file.resize(128 + 4096 + 1024 + 100);  // two whole levels and part of a third
  BitmapPtr b = Decode(ddsRead, file);
  ASSERT_TRUE(b);
  EXPECT_EQ(b->levels, 2);
  EXPECT_NE(b->image[1], nullptr);
  EXPECT_EQ(b->image[2], nullptr);
}

TEST_F(DdsTest, AtMost13LevelsAreKept) {
  Support(true, false, false);
  // 8192 x 1 has 14 levels, all present; a count of 1000 is no more than that.
  const Bytes blocks = LevelBlocks(8192, 1, 14, 8);
  BitmapPtr b = Decode(ddsRead, MakeDds(8192, 1, 1000, "DXT1", blocks));
  ASSERT_TRUE(b);
  EXPECT_EQ(b->levels, 13);
  EXPECT_EQ(b->imagesize[12], 8u * 1);  // 2 x 1
}

}  // namespace
