// The QTX filter: files of z-packed and stored levels read kept or decoded,
// the texture quality's level dropping, the writer's files read back, and
// levels that do not hold exactly their blocks refused.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "framework/zblock.h"
#include "image_test_util.h"
#include "texture/formats.h"
#include "texture/s3tc.h"

using namespace ember_test;

namespace {

// The blocks of one level of a w x h image, counting up from `seed`.
Bytes Blocks(uint32_t w, uint32_t h, uint32_t blockBytes, uint8_t seed) {
  Bytes b(size_t((std::max(1u, w) + 3) / 4) * ((std::max(1u, h) + 3) / 4) * blockBytes);
  for (size_t i = 0; i < b.size(); ++i) b[i] = uint8_t(seed + i / 64);  // compressible
  return b;
}

Bytes ZBlock(const Bytes &raw) {
  void *block = nullptr;
  uint32_t length = 0;
  EXPECT_EQ(SYS_ZCompress(raw.data(), uint32_t(raw.size()), &block, &length), 0);
  const uint8_t *p = static_cast<uint8_t *>(block);
  Bytes out(p, p + length);
  SYS_MemFree(&block, __FILE__, __LINE__);
  return out;
}

struct Qtx {
  Bytes bytes;
  std::vector<Bytes> levels;  // the raw blocks of each level
};

// A QTX file of `count` levels, z-packed or stored.
Qtx MakeQtx(uint16_t w, uint16_t h, const char *fourcc, int count, bool packed,
            const char *magic = "QTX ") {
  const uint32_t blockBytes = std::string(fourcc) == "DXT1" ? 8 : 16;
  Qtx q;
  q.bytes.assign(magic, magic + 4);
  Put(q.bytes, w, 2);
  Put(q.bytes, h, 2);
  q.bytes.insert(q.bytes.end(), fourcc, fourcc + 4);
  Put(q.bytes, uint32_t(count), 2);
  for (int i = 0; i < count; ++i) {
    q.levels.push_back(Blocks(uint32_t(w) >> i, uint32_t(h) >> i, blockBytes, uint8_t(i)));
    const Bytes &raw = q.levels.back();
    if (packed) {
      const Bytes z = ZBlock(raw);
      Put(q.bytes, uint32_t(z.size()), 4);
      q.bytes.insert(q.bytes.end(), z.begin(), z.end());
    } else {
      Put(q.bytes, uint32_t(-int32_t(raw.size())), 4);
      q.bytes.insert(q.bytes.end(), raw.begin(), raw.end());
    }
  }
  return q;
}

class QtxTest : public LoaderTest {
 protected:
  void SetUp() override {
    LoaderTest::SetUp();
    txState.disableBits = 0;
    txSetParam(TX_GL_DXT1, 1);
    txSetParam(TX_GL_DXT3, 1);
    txSetParam(TX_GL_DXT5, 1);
  }
  std::string Path(const std::string &name) { return dir_.str(name); }
  TempDir dir_;
};

void ExpectLevels(const txBitmap *b, const std::vector<Bytes> &levels, size_t first) {
  for (int i = 0; i < b->levels; ++i) {
    const Bytes &want = levels[first + size_t(i)];
    ASSERT_EQ(b->imagesize[i], want.size()) << "level " << i;
    EXPECT_TRUE(std::equal(want.begin(), want.end(), b->image[i])) << "level " << i;
  }
}

// ---- reading -------------------------------------------------------------

TEST_F(QtxTest, PackedAndStoredLevelsAreKeptByteForByteUnderEitherMagic) {
  for (auto [packed, magic] :
       {std::pair{true, "QTX "}, std::pair{false, "QTX "}, std::pair{true, "DDZ "}}) {
    const Qtx q = MakeQtx(64, 32, "DXT3", 7, packed, magic);
    EXPECT_EQ(ddzIdentify(q.bytes.data(), q.bytes.size()), 0);
    BitmapPtr b = Decode(ddzRead, q.bytes);
    ASSERT_TRUE(b) << SYS_ErrorGet();
    EXPECT_EQ(b->type, TX_COMPRESSED);
    EXPECT_EQ(b->subtype, TX_GL_DXT3);
    EXPECT_EQ(b->bits, 32);
    EXPECT_EQ(b->width, 64);
    EXPECT_EQ(b->height, 32);
    EXPECT_EQ(b->levels, 7);
    ExpectLevels(b.get(), q.levels, 0);
  }
}

TEST_F(QtxTest, TheKeepParameterOrAMissingFormatDecodesEveryLevel) {
  const Qtx q = MakeQtx(8, 4, "DXT1", 3, true);
  txSetParam(0, 0);
  BitmapPtr b = Decode(ddzRead, q.bytes);
  ASSERT_TRUE(b);
  EXPECT_EQ(b->type, TX_RED_FIRST);
  EXPECT_EQ(b->subtype, TX_LAYOUT_RGB);
  EXPECT_EQ(b->bits, 24);
  Bytes want(96, 0);
  ddsDecodeDXT1(q.levels[0].data(), want.data(), 8, 4, 24);
  ASSERT_EQ(b->imagesize[0], 96u);
  EXPECT_TRUE(std::equal(want.begin(), want.end(), b->image[0]));
  EXPECT_EQ(b->imagesize[2], 64u);  // 2 x 1 decoded, at least 64 bytes

  txSetParam(0, 1);
  txState.dxt5 = 0;
  b = Decode(ddzRead, MakeQtx(8, 8, "DXT5", 1, false).bytes);
  ASSERT_TRUE(b);
  EXPECT_EQ(b->subtype, TX_LAYOUT_RGBA);
}

TEST_F(QtxTest, QualityDropsLevelsFromA256SquareDxt5) {
  const Qtx q = MakeQtx(256, 256, "DXT5", 9, true);
  struct Want {
    int quality, side, levels;
    size_t first;
  };
  for (const Want &w : {Want{1, 128, 8, 1}, Want{2, 64, 7, 2}, Want{3, 256, 9, 0}}) {
    txState.quality = w.quality;
    BitmapPtr b = Decode(ddzRead, q.bytes);
    ASSERT_TRUE(b);
    EXPECT_EQ(b->width, w.side) << w.quality;
    EXPECT_EQ(b->height, w.side) << w.quality;
    EXPECT_EQ(b->levels, w.levels) << w.quality;
    ExpectLevels(b.get(), q.levels, w.first);
  }
}

// ---- levels that are not what they claim ---------------------------------------------

TEST_F(QtxTest, APackedLevelMustCheckOutAndInflateToExactlyItsSize) {
  const size_t live = SYS_MemLiveCount();
  Qtx q = MakeQtx(16, 16, "DXT1", 2, true);
  Bytes flipped = q.bytes;
  flipped[14 + 4 + 12] ^= 0x40;  // first byte of level 0's zlib stream
  EXPECT_FALSE(Decode(ddzRead, flipped));
  EXPECT_EQ(SYS_ErrorGet(), 7);  // its CRC no longer matches

  // A z-block of level 1's size where level 0 belongs.
  Bytes wrong(q.bytes.begin(), q.bytes.begin() + 14);
  const Bytes small = ZBlock(Bytes(32, 1));
  Put(wrong, uint32_t(small.size()), 4);
  wrong.insert(wrong.end(), small.begin(), small.end());
  EXPECT_FALSE(Decode(ddzRead, wrong));
  EXPECT_EQ(SYS_ErrorGet(), TX_ERR_SHORT);

  // A stored level of the wrong length.
  Bytes stored(q.bytes.begin(), q.bytes.begin() + 14);
  Put(stored, uint32_t(-100), 4);
  stored.insert(stored.end(), 100, 0);
  EXPECT_FALSE(Decode(ddzRead, stored));
  EXPECT_EQ(SYS_ErrorGet(), TX_ERR_SHORT);
  EXPECT_EQ(SYS_MemLiveCount(), live);
}

// A stream that stops early leaves its level's rest zero, but only as far
// as deflate could have filled it (1032:1): a 38-byte file claiming
// 65535 x 21845 pixels fails at once instead of holding 4 GB.
TEST_F(QtxTest, AShortStreamZeroFillsOnlyWhatItsBytesCouldHold) {
  Bytes z = ZBlock(Bytes(1, 0xFF));
  auto file = [&](uint16_t w, uint16_t h) {
    const uint32_t raw = uint32_t(((w + 3) / 4) * ((h + 3) / 4) * 8);
    for (int i = 0; i < 4; ++i) z[size_t(i)] = uint8_t(raw >> (8 * i));
    Bytes f = {'Q', 'T', 'X', ' '};
    Put(f, w, 2);
    Put(f, h, 2);
    f.insert(f.end(), {'D', 'X', 'T', '1'});
    Put(f, 1, 2);
    Put(f, uint32_t(z.size()), 4);
    f.insert(f.end(), z.begin(), z.end());
    return f;
  };
  for (int keep : {1, 0}) {
    txSetParam(0, keep);
    BitmapPtr b = Decode(ddzRead, file(8, 8));
    ASSERT_TRUE(b) << keep;
    const size_t n = b->imagesize[0];
    EXPECT_EQ(n, keep ? 32u : 192u);
    EXPECT_NE(b->image[0][0] | b->image[0][1] | b->image[0][2], 0);
    // The lower blocks are zero and decode to zero bytes.
    EXPECT_EQ(std::count(b->image[0] + n / 2, b->image[0] + n, 0), long(n / 2));

    EXPECT_FALSE(Decode(ddzRead, file(65535, 21845))) << keep;
    EXPECT_EQ(SYS_ErrorGet(), TX_ERR_SHORT);
  }
}

#ifndef __SANITIZE_ADDRESS__  // the sanitizer's shadow memory needs the whole address space
// A z-block whose own raw size is not its level's fails as one of the
// wrong size (1002) without its stated size being allocated: a few bytes
// claiming 2 GB fail the same in a child that cannot hold 64 MB more.
TEST_F(QtxTest, AZBlockClaimingAnotherRawSizeFailsWithoutAllocatingIt) {
  Bytes z = ZBlock(Bytes(32, 1));
  z[0] = 0xFE, z[1] = 0xFF, z[2] = 0xFF, z[3] = 0x7F;  // the raw size is not under the CRC
  Bytes f = {'Q', 'T', 'X', ' '};
  Put(f, 16, 2);
  Put(f, 16, 2);
  f.insert(f.end(), {'D', 'X', 'T', '1'});
  Put(f, 1, 2);
  Put(f, uint32_t(z.size()), 4);
  f.insert(f.end(), z.begin(), z.end());
  RunResult r = RunInChild([&] {
    LimitAddressSpaceAboveUse(size_t(64) << 20);
    BitmapPtr b = Decode(ddzRead, f);
    std::printf("%d %d", b ? 1 : 0, SYS_ErrorGet());
  });
  EXPECT_EQ(r.status, 99);
  EXPECT_EQ(r.output, "0 1002");
}
#endif

TEST_F(QtxTest, LevelsPastTheEndAreCutOffAndNoWholeLevelFails) {
  Qtx q = MakeQtx(32, 32, "DXT1", 6, false);
  q.bytes.resize(14 + 4 + 512 + 4 + 128 + 10);  // two whole levels
  BitmapPtr b = Decode(ddzRead, q.bytes);
  ASSERT_TRUE(b);
  EXPECT_EQ(b->levels, 2);
  EXPECT_EQ(b->image[2], nullptr);

  q.bytes.resize(14 + 4 + 511);
  EXPECT_FALSE(Decode(ddzRead, q.bytes));
  EXPECT_EQ(SYS_ErrorGet(), TX_ERR_SHORT);
  // Lengths near the 32-bit limits never wrap the position.
  for (uint32_t n : {0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFFu}) {
    Bytes big(q.bytes.begin(), q.bytes.begin() + 14);
    Put(big, n, 4);
    big.insert(big.end(), 16, 0);
    EXPECT_FALSE(Decode(ddzRead, big)) << n;
  }
  EXPECT_FALSE(Decode(ddzRead, Bytes(13, 0)));
  EXPECT_EQ(SYS_ErrorGet(), TX_ERR_SHORT);
}

TEST_F(QtxTest, UnknownCodesZeroSidesAndZeroLevelsAreRefused) {
  EXPECT_FALSE(Decode(ddzRead, MakeQtx(8, 8, "ATI2", 1, false).bytes));
  EXPECT_EQ(SYS_ErrorGet(), TX_ERR_DEPTH);
  EXPECT_FALSE(Decode(ddzRead, MakeQtx(0, 8, "DXT1", 1, false).bytes));
  EXPECT_EQ(SYS_ErrorGet(), TX_ERR_FORMAT);
  EXPECT_FALSE(Decode(ddzRead, MakeQtx(8, 8, "DXT1", 0, false).bytes));
  EXPECT_EQ(SYS_ErrorGet(), TX_ERR_FORMAT);
  const Bytes dds = {'D', 'D', 'S', ' '};
  EXPECT_EQ(ddzIdentify(dds.data(), dds.size()), -1);
  EXPECT_EQ(SYS_ErrorGet(), TX_ERR_FORMAT);
}

TEST_F(QtxTest, MoreThan13LevelsKeepTheFirst13) {
  const Qtx q = MakeQtx(16384, 4, "DXT1", 15, true);  // 15 levels: 16384 .. 1
  BitmapPtr b = Decode(ddzRead, q.bytes);
  ASSERT_TRUE(b);
  EXPECT_EQ(b->levels, 13);
  ExpectLevels(b.get(), q.levels, 0);
}

// ---- writing ---------------------------------------------------------------------------

TEST_F(QtxTest, ADdsBitmapWritesAQtxFileThatReadsBackAsTheSameBlocks) {
  ScopedCwd cwd(dir_.path());
  WriteBytes(dir_.path() / "in.dds", Fixture("dds/mips_bc3.dds"));
  BitmapPtr dds(txLoad("in.dds"));
  ASSERT_TRUE(dds);
  ASSERT_EQ(dds->type, TX_COMPRESSED);
  ASSERT_EQ(txSave(TX_ID_QTX, "out.qtx", dds.get()), 0);

  const Bytes file = ReadBytes(dir_.path() / "out.qtx");
  ASSERT_GE(file.size(), 14u);
  EXPECT_EQ(std::string(file.begin(), file.begin() + 4), "QTX ");
  EXPECT_EQ(txGet16(&file[4]), 64);
  EXPECT_EQ(txGet16(&file[6]), 64);
  EXPECT_EQ(std::string(file.begin() + 8, file.begin() + 12), "DXT5");
  EXPECT_EQ(txGet16(&file[12]), 7);
  EXPECT_GT(int32_t(txGet32(&file[14])), 0);  // level 0 packs smaller

  BitmapPtr qtx(txLoad("out.qtx"));
  ASSERT_TRUE(qtx);
  EXPECT_EQ(qtx->id, TX_ID_QTX);
  ASSERT_EQ(qtx->levels, dds->levels);
  for (int i = 0; i < dds->levels; ++i) {
    ASSERT_EQ(qtx->imagesize[i], dds->imagesize[i]);
    EXPECT_TRUE(std::equal(dds->image[i], dds->image[i] + dds->imagesize[i], qtx->image[i]));
  }
}

TEST_F(QtxTest, ALevelThatDoesNotPackSmallerIsStoredWithANegativeLength) {
  BitmapPtr b(txNewBitmap("test"));
  b->id = TX_ID_DDS;
  b->type = TX_COMPRESSED;
  b->subtype = TX_GL_DXT1;
  b->fourcc = txFourCC('D', 'X', 'T', '1');
  b->width = b->height = 4;
  b->bits = 24;
  b->levels = 1;
  b->imagesize[0] = 8;
  b->image[0] = static_cast<uint8_t *>(SYS_MemGet(8, __FILE__, __LINE__, "test"));
  const uint8_t block[8] = {0x13, 0x57, 0x9B, 0xDF, 0x24, 0x68, 0xAC, 0xE0};
  std::copy(block, block + 8, b->image[0]);
  ASSERT_EQ(ddzWrite(Path("s.qtx").c_str(), b.get()), 0);
  const Bytes file = ReadBytes(Path("s.qtx"));
  ASSERT_EQ(file.size(), 14u + 4 + 8);
  EXPECT_EQ(int32_t(txGet32(&file[14])), -8);
  BitmapPtr back = Decode(ddzRead, file);
  ASSERT_TRUE(back);
  EXPECT_TRUE(std::equal(block, block + 8, back->image[0]));
}

TEST_F(QtxTest, TheWriterStoresOnlyDdsBlocksItCanReadBack) {
  BitmapPtr notDds = Decode(ddzRead, MakeQtx(8, 8, "DXT1", 1, false).bytes);
  ASSERT_TRUE(notDds);
  notDds->id = TX_ID_QTX;
  EXPECT_EQ(ddzWrite(Path("a.qtx").c_str(), notDds.get()), -1);
  EXPECT_EQ(SYS_ErrorGet(), TX_ERR_FORMAT);

  txState.dxt1 = 0;  // decoded pixels are not S3TC blocks
  BitmapPtr decoded = Decode(ddsRead, Fixture("dds/mips_bc1.dds"));
  ASSERT_TRUE(decoded);
  decoded->id = TX_ID_DDS;
  EXPECT_EQ(ddzWrite(Path("b.qtx").c_str(), decoded.get()), -1);
  EXPECT_EQ(SYS_ErrorGet(), TX_ERR_LAYOUT);
  EXPECT_FALSE(std::filesystem::exists(Path("b.qtx")));

  txState.dxt1 = 1;
  BitmapPtr kept = Decode(ddsRead, Fixture("dds/mips_bc1.dds"));
  kept->id = TX_ID_DDS;
  kept->imagesize[3] -= 8;  // a level shorter than its blocks
  EXPECT_EQ(ddzWrite(Path("c.qtx").c_str(), kept.get()), -1);
  EXPECT_EQ(SYS_ErrorGet(), TX_ERR_LAYOUT);
  kept->imagesize[3] += 8;
  EXPECT_EQ(ddzWrite(Path("missing/c.qtx").c_str(), kept.get()), -1);
  EXPECT_EQ(SYS_ErrorGet(), 2);
}

}  // namespace
