// Scene 11 on raw images made for the test, through the recording OpenGL:
// the ray colours come from the right bytes, and a file that is shorter
// than the pixels a ray needs gives no ray rather than a read past its end.
#include <gtest/gtest.h>

#include <vector>

#include "demo/frame_loop.h"
#include "demo/resources.h"
#include "demo/scenes.h"
#include "gl_recorder.h"

namespace ember_test {
namespace {

constexpr int32_t kColumnAt80000 = 100;

class MonsterRays : public ::testing::Test {
protected:
  void SetUp() override {
    savedAlpha_ = MonsterAlphaTga;
    savedColor_ = MonsterColorTga;
    alpha_.assign(MONSTER_ALPHA_TGA_BYTES, 0);
    color_.assign(MONSTER_COLOR_TGA_BYTES, 0);
  }
  void TearDown() override {
    MonsterAlphaTga = savedAlpha_;
    MonsterColorTga = savedColor_;
  }

  void Use(int32_t alphaBytes, int32_t colorBytes) {
    MonsterAlphaTga = {alpha_.data(), alphaBytes};
    MonsterColorTga = {color_.data(), colorBytes};
  }
  // Byte offsets of pixel (x, y), row 0 first.
  static size_t AlphaAt(int x, int y) { return 18 + static_cast<size_t>(y) * 800 + x; }
  static size_t ColorAt(int x, int y) { return 18 + (static_cast<size_t>(y) * 800 + x) * 3; }

  std::vector<uint8_t> alpha_, color_;
  TLoadedFile savedAlpha_{}, savedColor_{};
};

// The inner-ray colours, one per row that shoots.
std::vector<std::vector<double>> RayColours(const GlRecorder &gl) {
  std::vector<std::vector<double>> colours;
  for (size_t n = 0; const GlCall *call = gl.Find("glColor4f", n); ++n)
    if (n % 4 == 0) colours.push_back(call->args);
  return colours;
}

TEST_F(MonsterRays, EachRowsRayTakesItsPixelsAlphaAndBlueGreenRedBytes) {
  const int x = kColumnAt80000;
  alpha_[AlphaAt(x, 64)] = 255;
  color_[ColorAt(x, 64)] = 51;       // blue
  color_[ColorAt(x, 64) + 1] = 102;  // green
  color_[ColorAt(x, 64) + 2] = 204;  // red
  alpha_[AlphaAt(x, 536)] = 51;
  color_[ColorAt(x, 536) + 2] = 255;
  alpha_[AlphaAt(x, 63)] = 255;  // rows outside 64..536 never shoot
  alpha_[AlphaAt(x, 537)] = 255;
  Use(MONSTER_ALPHA_TGA_BYTES, MONSTER_COLOR_TGA_BYTES);

  GlRecorder gl;
  DemoTime = 80000;
  Scene11();
  // Rows of alpha 0 would add black: only rows 64 and 536 shoot.
  const std::vector<std::vector<double>> colours = RayColours(gl);
  ASSERT_EQ(colours.size(), 5u * 2u);
  EXPECT_EQ(colours[0], (std::vector<double>{204 / 255.0f * 1 * 0.4f, 102 / 255.0f * 1 * 0.4f,
                                             51 / 255.0f * 1 * 0.4f, 1}));
  const float a = 51 / 255.0f;
  EXPECT_EQ(colours[1], (std::vector<double>{1.0f * a * 0.4f, 0, 0, a}));
}

TEST_F(MonsterRays, ShortFilesGiveRaysOnlyForThePixelsTheyHold) {
  // The alpha map ends with row 100's pixel at the scan column; the colour
  // file is complete.
  alpha_.assign(alpha_.size(), 1);
  Use(static_cast<int32_t>(AlphaAt(kColumnAt80000, 100) + 1), MONSTER_COLOR_TGA_BYTES);
  {
    GlRecorder gl;
    DemoTime = 80000;
    Scene11();
    EXPECT_EQ(RayColours(gl).size(), 5u * 37u);  // rows 64..100
  }
  // A colour file one byte short of row 64's red.
  Use(MONSTER_ALPHA_TGA_BYTES, static_cast<int32_t>(ColorAt(kColumnAt80000, 64) + 2));
  {
    GlRecorder gl;
    DemoTime = 80000;
    Scene11();
    EXPECT_EQ(RayColours(gl).size(), 0u);
    EXPECT_EQ(gl.Count("glBegin"), 1u + 5u);  // the picture and five empty passes
  }
}

}  // namespace
}  // namespace ember_test
