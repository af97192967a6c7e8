// Pixel converters and the box-filter shrink.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>

#include "image_test_util.h"
#include "texture/convert.h"

using namespace ember_test;

namespace {

// A one-level bitmap of the given depth holding exactly these bytes.
BitmapPtr Make(int bits, int w, int h, const Bytes &pixels) {
  const int type = bits == 32 ? 2 : bits == 8 ? 3 : 0;
  BitmapPtr b(txCreateDummy(type, w, h));
  EXPECT_EQ(b->imagesize[0], pixels.size());
  std::memcpy(b->image[0], pixels.data(), pixels.size());
  return b;
}

Bytes Level0(const txBitmap *b) { return Bytes(b->image[0], b->image[0] + b->imagesize[0]); }

}  // namespace

TEST(Convert, ThirtyTwoToTwentyFourDropsTheFourthByte) {
  BitmapPtr b = Make(32, 2, 1, {1, 2, 3, 4, 5, 6, 7, 8});
  EXPECT_EQ(tx32to24(b.get()), 0);
  EXPECT_EQ(b->bits, 24);
  EXPECT_EQ(b->subtype, TX_LAYOUT_RGB);
  EXPECT_EQ(Level0(b.get()), (Bytes{1, 2, 3, 5, 6, 7}));

  EXPECT_EQ(tx32to24(b.get()), 0);  // already 24: nothing done
  EXPECT_EQ(Level0(b.get()), (Bytes{1, 2, 3, 5, 6, 7}));
}

TEST(Convert, TwentyFourToThirtyTwoAddsOpaqueAlphaAndKeepsTheSubtype) {
  BitmapPtr b = Make(24, 2, 1, {1, 2, 3, 5, 6, 7});
  EXPECT_EQ(tx24to32(b.get()), 0);
  EXPECT_EQ(b->bits, 32);
  EXPECT_EQ(b->subtype, TX_LAYOUT_RGB);
  EXPECT_EQ(Level0(b.get()), (Bytes{1, 2, 3, 255, 5, 6, 7, 255}));
}

TEST(Convert, OneChannelBecomesGrey) {
  BitmapPtr b = Make(32, 2, 1, {1, 2, 3, 4, 5, 6, 7, 8});
  EXPECT_EQ(tx24to8(b.get(), 1), 0);
  EXPECT_EQ(b->bits, 8);
  EXPECT_EQ(b->subtype, TX_LAYOUT_GREY);
  EXPECT_EQ(Level0(b.get()), (Bytes{2, 6}));

  EXPECT_EQ(tx24to8(b.get(), 0), -1);  // now 8 bits
  EXPECT_EQ(SYS_ErrorGet(), TX_ERR_DEPTH);
}

TEST(Convert, IntensityWeightedAndPlain) {
  BitmapPtr b = Make(24, 3, 1, {255, 0, 0, 255, 255, 255, 10, 20, 31});
  BitmapPtr weighted(txIntensity(b.get(), 1));
  ASSERT_TRUE(weighted);
  EXPECT_EQ(weighted->bits, 8);
  EXPECT_EQ(weighted->subtype, TX_LAYOUT_GREY);
  EXPECT_EQ(weighted->levels, 1);
  EXPECT_EQ(Level0(weighted.get())[0], 76);
  EXPECT_EQ(Level0(weighted.get())[1], 255);
  BitmapPtr plain(txIntensity(b.get(), 0));
  EXPECT_EQ(Level0(plain.get())[2], 20);

  EXPECT_EQ(txIntensity(nullptr, 1), nullptr);
  EXPECT_EQ(SYS_ErrorGet(), TX_ERR_FORMAT);
  BitmapPtr grey = Make(8, 1, 1, {5});
  EXPECT_EQ(txIntensity(grey.get(), 1), nullptr);
  EXPECT_EQ(SYS_ErrorGet(), TX_ERR_DEPTH);
}

TEST(Convert, ConvertersRefuseABufferSmallerThanTheFieldsSay) {
  BitmapPtr b = Make(32, 2, 2, Bytes(16));
  b->imagesize[0] = 8;  // a lie
  EXPECT_EQ(tx32to24(b.get()), -1);
  EXPECT_EQ(tx24to8(b.get(), 0), -1);
  EXPECT_EQ(txIntensity(b.get(), 0), nullptr);
  EXPECT_EQ(b->bits, 32);
  b->imagesize[0] = 16;
}

TEST(Scale, ShrinkingFourByFourAveragesTwoByTwoBlocks) {
  Bytes grey(16);
  for (int i = 0; i < 16; ++i) grey[size_t(i)] = uint8_t(i * 10 + (i % 3));
  BitmapPtr b = Make(8, 4, 4, grey);
  EXPECT_EQ(txScale(b.get(), 2, 2), 0);
  EXPECT_EQ(b->width, 2);
  EXPECT_EQ(b->height, 2);
  EXPECT_EQ(b->imagesize[0], 4u);
  auto mean = [&](int x, int y) {
    const int s = grey[size_t(y * 4 + x)] + grey[size_t(y * 4 + x + 1)] +
                  grey[size_t(y * 4 + x + 4)] + grey[size_t(y * 4 + x + 5)];
    return uint8_t(s / 4);
  };
  EXPECT_EQ(Level0(b.get()), (Bytes{mean(0, 0), mean(2, 0), mean(0, 2), mean(2, 2)}));
}

TEST(Scale, ShrinkingThreeByThreePutsColumnsZeroAndOneTogether) {
  // RGBA pixels whose channels all hold x + 10 y.
  Bytes px;
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 3; ++x)
      for (int c = 0; c < 4; ++c) px.push_back(uint8_t(x + 10 * y));
  BitmapPtr b = Make(32, 3, 3, px);
  EXPECT_EQ(txScale(b.get(), 2, 2), 0);
  const Bytes out = Level0(b.get());
  ASSERT_EQ(out.size(), 16u);
  EXPECT_EQ(out[0], 5);    // x 0..1, y 0..1: (0+1+10+11)/4
  EXPECT_EQ(out[4], 7);    // x 2, y 0..1: (2+12)/2
  EXPECT_EQ(out[8], 20);   // x 0..1, y 2: (20+21)/2 = 20.5 truncated
  EXPECT_EQ(out[12], 22);  // x 2, y 2
  EXPECT_EQ(out[15], 22);  // the alpha channel is averaged too
}

TEST(Scale, GrowingIsNotDoneAndLeavesTheBitmap) {
  BitmapPtr b = Make(24, 64, 64, Bytes(64 * 64 * 3, 9));
  EXPECT_EQ(txScale(b.get(), 128, 32), 0);
  EXPECT_EQ(b->width, 64);
  EXPECT_EQ(txScale(b.get(), 128, 128), 0);
  EXPECT_EQ(b->height, 64);
}

TEST(Scale, ImpossibleTargetsFailAndLeaveTheBitmap) {
  BitmapPtr b = Make(24, 4, 4, Bytes(48, 1));
  EXPECT_EQ(txScale(b.get(), 0, 2), -1);
  EXPECT_EQ(SYS_ErrorGet(), 5);
  EXPECT_EQ(b->width, 4);

  // Averaging palette indices would make up colours.
  BitmapPtr indexed = Make(8, 4, 4, Bytes(16, 1));
  indexed->subtype = TX_LAYOUT_INDEXED;
  EXPECT_EQ(txScale(indexed.get(), 2, 2), -1);
  EXPECT_EQ(SYS_ErrorGet(), TX_ERR_DEPTH);
  EXPECT_EQ(indexed->width, 4);
}

TEST(Scale, ALargeReductionDoesNotOverflowTheSums) {
  const int side = 4200;  // more than 2^24 pixels of 255 into one
  BitmapPtr b = Make(8, side, side, Bytes(size_t(side) * side, 255));
  EXPECT_EQ(txScale(b.get(), 1, 1), 0);
  EXPECT_EQ(Level0(b.get()), Bytes{255});
}

#ifndef __SANITIZE_ADDRESS__  // the sanitizer's shadow memory needs the whole address space
// The shrink keeps one row of sums, not one per target pixel: halving an
// 8192 x 4096 grey image (32 MB, 320 MB of sums for every target pixel)
// fits in 64 MB to spare and gives each target row the mean of its two.
TEST(Scale, ShrinkingHoldsOneRowOfSums) {
  const int w = 8192, h = 4096;
  RunResult r = RunInChild([&] {
    BitmapPtr b(txCreateDummy(3, w, h));
    for (int y = 0; y < h; ++y) std::memset(b->image[0] + size_t(y) * w, y & 0x7F, w);
    ember_test::LimitAddressSpaceAboveUse(size_t(64) << 20);
    const int32_t result = txScale(b.get(), w / 2, h / 2);
    const uint8_t *p = b->image[0];
    std::printf("%d %dx%d %d %d", result, b->width, b->height, p[size_t(w / 2) * 3 + 5],
                p[b->imagesize[0] - 1]);
  });
  EXPECT_EQ(r.status, 99);
  EXPECT_EQ(r.output, "0 4096x2048 6 126");  // rows 6 and 7; rows 4094 and 4095 give 126
}
#endif
