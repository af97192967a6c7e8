// Tools, not tests: the pictures that go into the source tree, drawn by the
// in-process demo (demo_harness.h) under xvfb-run. CTest never runs them;
// each has a build target of its own (tests/demo/CMakeLists.txt):
//
//   reference-frames  the reference frames the scene tests compare with
//                     (tests/fixtures/frames, reference_frames.h)
//   readme-pictures   the small pictures of the README (docs/scenes)
//
// Both write from the code as it stands, so run them only after a change
// that is meant to alter the pictures, and look at what they wrote.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "demo/procedural.h"
#include "demo_harness.h"
#include "framework/random.h"
#include "reference_frames.h"
#include "support/test_support.h"
#include "texture/formats.h"

namespace ember_test {
namespace {

// Level 0 of a 24-bit red-first picture, rows top first, as a PNG.
bool WritePng(const std::filesystem::path &path, int width, int height, std::vector<uint8_t> &rgb) {
  txBitmap bitmap{};
  bitmap.type = TX_RED_FIRST;
  bitmap.subtype = 0;
  bitmap.width = width;
  bitmap.height = height;
  bitmap.bits = 24;
  bitmap.levels = 1;
  bitmap.imagesize[0] = static_cast<int32_t>(rgb.size());
  bitmap.image[0] = rgb.data();
  return pngWrite(path.string().c_str(), &bitmap) == 0;
}

// Halves the frame by averaging 2 x 2 pixels and writes it as a PNG.
bool WriteHalfSizePng(const Frame &frame, const std::filesystem::path &path) {
  const int w = frame.width / 2, h = frame.height / 2;
  std::vector<uint8_t> rows(static_cast<size_t>(w) * h * 3);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      for (int c = 0; c < 3; ++c) {
        const int sum = frame.At(2 * x, 2 * y, c) + frame.At(2 * x + 1, 2 * y, c) +
                        frame.At(2 * x, 2 * y + 1, c) + frame.At(2 * x + 1, 2 * y + 1, c);
        rows[(static_cast<size_t>(y) * w + x) * 3 + c] = static_cast<uint8_t>((sum + 2) / 4);
      }
  return WritePng(path, w, h, rows);
}

class Pictures : public ::testing::Test {
protected:
  static void SetUpTestSuite() { StartDemo(); }
};

TEST_F(Pictures, ReferenceFrames) {
  std::filesystem::create_directories(ReferenceFolder());
  for (int32_t t : kTimes) {
    Small s = DrawSmall(t);
    EXPECT_TRUE(WritePng(ReferencePath(t), s.width, s.height, s.rgb)) << t;
  }
}

TEST_F(Pictures, ReadmePictures) {
  const std::filesystem::path folder = std::filesystem::path(EMBER_SOURCE_DIR) / "docs" / "scenes";
  std::filesystem::create_directories(folder);
  struct Picture {
    int32_t t;
    const char *name;
  } pictures[] = {
      {4000, "logo-and-tiles"}, {30000, "text-pages"},  {70000, "tile-torus"},
      {84500, "monster"},       {100000, "voxel-cloud"}, {136500, "flares"},
      {155994, "ring-tunnel"},  {188000, "closing-screen"},
  };
  RandSeed(DEMO_RANDOM_SEED);  // the tunnel's noise: the same picture every time
  for (const Picture &p : pictures) {
    DrawFrame(p.t);  // settles the state a frame inherits
    const Frame frame = DrawFrame(p.t);
    EXPECT_TRUE(WriteHalfSizePng(frame, folder / (std::string(p.name) + ".png"))) << p.name;
  }
}

}  // namespace
}  // namespace ember_test
