// Texture runs: overlapping primitives never trade places, each texture
// keeps its order, and the screen boxes bound what OpenGL would draw.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "demo/texture_runs.h"

namespace {

constexpr float kIdentity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
// A frustum with its near plane at distance 1 and a 90 degree view.
constexpr float kFrustum[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, -1, -1, 0, 0, -2, 0};
constexpr int32_t kViewport[4] = {0, 0, 100, 100};

TScreenBox Square(float x, float y, float half) { return {x - half, y - half, x + half, y + half}; }

size_t Runs(const std::vector<uint32_t> &textures, const std::vector<int32_t> &order) {
  size_t runs = 0;
  for (size_t k = 0; k < order.size(); ++k)
    runs += k == 0 || textures[static_cast<size_t>(order[k])] != textures[static_cast<size_t>(order[k - 1])];
  return runs;
}

TEST(TextureRuns, APrimitiveJoinsItsTexturesRunOnlyPastPrimitivesItDoesNotTouch) {
  // 0 and 2 (texture 1) lie left, 1 (texture 2) right; 3 (texture 1)
  // overlaps 1 and must stay behind it; 4 covers nothing.
  const std::vector<uint32_t> textures = {1, 2, 1, 1, 2};
  const std::vector<TScreenBox> boxes = {Square(-0.5f, 0, 0.2f), Square(0.5f, 0, 0.2f),
                                         Square(-0.4f, 0, 0.2f), Square(0.6f, 0, 0.2f),
                                         SCREEN_BOX_NOWHERE};
  EXPECT_EQ(OrderInTextureRuns(textures, boxes), (std::vector<int32_t>{0, 2, 1, 4, 3}));
}

TEST(TextureRuns, ManyCrowdedPrimitivesKeepEveryOverlappingPairInOrder) {
  uint32_t seed = 12345;
  auto next = [&seed] {
    seed = seed * 1664525u + 1013904223u;
    return static_cast<float>(seed >> 8) / static_cast<float>(1u << 24);
  };
  std::vector<uint32_t> textures;
  std::vector<TScreenBox> boxes;
  for (int i = 0; i < 2000; ++i) {
    textures.push_back(static_cast<uint32_t>(i % 7));
    boxes.push_back(i % 97 == 0 ? SCREEN_BOX_EVERYWHERE
                                : Square(2.4f * next() - 1.2f, 2.4f * next() - 1.2f, 0.06f * next()));
  }
  const std::vector<int32_t> order = OrderInTextureRuns(textures, boxes);
  ASSERT_EQ(order.size(), boxes.size());
  std::vector<size_t> place(order.size(), SIZE_MAX);
  for (size_t k = 0; k < order.size(); ++k) place[static_cast<size_t>(order[k])] = k;
  for (size_t i = 0; i < boxes.size(); ++i) {
    ASSERT_NE(place[i], SIZE_MAX) << i;
    for (size_t j = i + 1; j < boxes.size(); ++j) {
      if (textures[i] == textures[j] || boxes[i].Overlaps(boxes[j])) {
        ASSERT_LT(place[i], place[j]) << i << " " << j;
      }
    }
  }
  EXPECT_LT(Runs(textures, order), boxes.size() / 4);
}

TEST(TextureRuns, BoxesCoverWhatIsInFrontOfTheNearPlaneAndInsideTheViewport) {
  // Straight on: the square itself, two pixels wider all round.
  const float square[12] = {-0.5f, -0.5f, 0, 0.5f, -0.5f, 0, 0.5f, 0.5f, 0, -0.5f, 0.5f, 0};
  const TScreenBox flat = TScreenMapping(kIdentity, kIdentity, kViewport).Box(square, 4);
  EXPECT_FLOAT_EQ(flat.x0, -0.54f);
  EXPECT_FLOAT_EQ(flat.y1, 0.54f);

  const TScreenMapping eye(kFrustum, kIdentity, kViewport);
  // A strip of floor from behind the eye to 3 ahead: only the part beyond
  // the near plane (1 ahead) counts, and that part is bounded.
  const float floor[12] = {-0.5f, -0.5f, -3, 0.5f, -0.5f, -3, 0.5f, -0.5f, 0.5f, -0.5f, -0.5f, 0.5f};
  const TScreenBox strip = eye.Box(floor, 4);
  EXPECT_NEAR(strip.x0, -0.54f, 1e-3);
  EXPECT_NEAR(strip.x1, 0.54f, 1e-3);
  EXPECT_NEAR(strip.y0, -0.54f, 1e-3);
  EXPECT_NEAR(strip.y1, -0.5f / 3 + 0.04f, 1e-3);
  // Wholly behind the eye, or wholly right of the viewport: nothing.
  const float behind[12] = {-1, -1, 0.5f, 1, -1, 0.5f, 1, 1, 2, -1, 1, 2};
  EXPECT_TRUE(eye.Box(behind, 4).Empty());
  const float right[12] = {2, 0, -1, 3, 0, -1, 3, 1, -1, 2, 1, -1};
  EXPECT_TRUE(eye.Box(right, 4).Empty());
  // A context that reports no viewport bounds nothing.
  const int32_t none[4] = {0, 0, 0, 0};
  const TScreenBox unknown = TScreenMapping(kFrustum, kIdentity, none).Box(square, 4);
  EXPECT_TRUE(unknown.Overlaps(SCREEN_BOX_EVERYWHERE) && unknown.x0 < -1 && unknown.x1 > 1);
}

}  // namespace
