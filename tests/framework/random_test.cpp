// The demo's pseudo-random sequence: MT19937 with the published seeding,
// and Random(n) as the high half of a 64-bit product.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "framework/random.h"

namespace {

TEST(DemoRandom, Seed2056StartsWithThePublishedOutputs) {
  RandSeed(2056);
  EXPECT_EQ(RandNext(), 3051625932u);
  EXPECT_EQ(RandNext(), 212009767u);
  EXPECT_EQ(RandNext(), 1150079858u);
}

TEST(DemoRandom, FollowsTheStandardGeneratorAcrossManyStateRefills) {
  RandSeed(2056);
  std::mt19937 reference(2056);
  for (int i = 0; i < 5000; ++i) ASSERT_EQ(RandNext(), reference()) << "output " << i;
  RandSeed(1);
  reference.seed(1);
  for (int i = 0; i < 1000; ++i) ASSERT_EQ(RandNext(), reference()) << "output " << i;
}

TEST(DemoRandom, RandomIsTheHighHalfOfTheProduct) {
  RandSeed(2056);
  // 3051625932 * 1000 / 2^32 = 710.5..., 212009767 * 1000 / 2^32 = 49.3...
  EXPECT_EQ(Random(1000), 710);
  EXPECT_EQ(Random(1000), 49);
  std::mt19937 reference(2056);
  RandSeed(2056);
  for (int32_t n : {1, 2, 3, 255, 1301, 3391, 8000, 2147483647}) {
    const uint64_t raw = reference();
    EXPECT_EQ(Random(n), static_cast<int32_t>((raw * static_cast<uint64_t>(n)) >> 32)) << n;
  }
}

TEST(DemoRandom, AnEmptyRangeGivesZeroAndStillTakesItsDraw) {
  RandSeed(2056);
  EXPECT_EQ(Random(0), 0);
  EXPECT_EQ(Random(-5), 0);
  EXPECT_EQ(RandNext(), 1150079858u);  // the third output
}

TEST(DemoRandom, FillingBytesDrawsTheSameValuesAsOneCallPerByte) {
  RandSeed(2056);
  Random(7);  // start part-way through the state, so a refill falls inside
  std::vector<uint8_t> bytes(5000);
  RandomFill(bytes.data(), bytes.size(), 255);
  const uint32_t after = RandNext();
  RandSeed(2056);
  Random(7);
  for (size_t i = 0; i < bytes.size(); ++i)
    ASSERT_EQ(bytes[i], static_cast<uint8_t>(Random(255))) << "byte " << i;
  EXPECT_EQ(RandNext(), after);
}

}  // namespace
