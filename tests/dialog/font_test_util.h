// Shared by the font tests: the font fixtures and their ttx-read numbers,
// a started renderer that must give back every tracked block, bitmaps, and
// the box of pixels a render inked.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "dialog/font_renderer.h"
#include "framework/core_test_util.h"
#include "texture/loader.h"

namespace ember_test {

inline std::string FontPath(const std::string &name) { return (FixturesDir() / "fonts" / name).string(); }

// "key value" lines of metrics.txt.
inline long Metric(const std::string &key) {
  static const std::map<std::string, long> table = [] {
    std::map<std::string, long> t;
    std::ifstream in(FixturesDir() / "fonts" / "metrics.txt");
    std::string line, k;
    while (std::getline(in, line)) {
      std::istringstream words(line);
      long v;
      if (line[0] != '#' && words >> k >> v) t[k] = v;
    }
    return t;
  }();
  auto it = table.find(key);
  EXPECT_NE(it, table.end()) << key;
  return it == table.end() ? 0 : it->second;
}

// Owns a txCreateDummy bitmap: type 3 is 8-bit, 0 24-bit, 2 32-bit.
struct Image {
  pxBitmap b;
  Image(int32_t type, int32_t w, int32_t h) : b(txCreateDummy(type, w, h)) {}
  ~Image() { txFree(&b); }
  Image(const Image &) = delete;
  Image &operator=(const Image &) = delete;
  uint8_t *at(int x, int y) const { return b->image[0] + (size_t(y) * b->width + x) * (b->bits / 8); }
};

// The smallest box holding every pixel whose first byte is not 0.
struct Ink {
  int left = 1 << 30, top = 1 << 30, right = -1, bottom = -1;
  bool empty() const { return right < 0; }
};
inline Ink InkOf(const Image &img) {
  Ink ink;
  for (int y = 0; y < img.b->height; ++y)
    for (int x = 0; x < img.b->width; ++x)
      if (*img.at(x, y)) {
        ink.left = std::min(ink.left, x);
        ink.right = std::max(ink.right, x);
        ink.top = std::min(ink.top, y);
        ink.bottom = std::max(ink.bottom, y);
      }
  return ink;
}

class FontTest : public ::testing::Test {
protected:
  void SetUp() override {
    SetArgs({});
    live_ = SYS_MemLiveCount();
    ASSERT_EQ(frInit(), 0);
  }
  void TearDown() override {
    for (frFont *f : fonts_) frFreeFont(f);
    frClose();
    EXPECT_EQ(frFaces, nullptr);
    EXPECT_EQ(SYS_MemLiveCount(), live_);
  }
  // A font on a fixture face, white and opaque, left and top aligned.
  frFont *Font(const std::string &file, int32_t size, int32_t encoding = FR_ENC_ISO8859_1) {
    const std::string path = FontPath(file);
    EXPECT_EQ(frLoadFace(path.c_str()), 0) << file;
    frFont *f = frNewFont(encoding, 0xFFFFFFFF, FR_HALIGN_LEFT, FR_VALIGN_TOP);
    EXPECT_EQ(frSetFont(f, path.c_str(), size, 100, 0), 0);
    fonts_.push_back(f);
    return f;
  }

  size_t live_ = 0;
  std::vector<frFont *> fonts_;
};

}  // namespace ember_test
