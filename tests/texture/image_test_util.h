// Shared by the texture tests: a reader for the PNM sources of the image
// fixtures (so decoded pixels can be compared with what the outside tools
// were given), one builder per image format for hand-made files, a bitmap
// owner, and a guard that puts the loader's parameters back after a test.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "framework/sys.h"
#include "support/test_support.h"
#include "texture/loader.h"

namespace ember_test {

using Bytes = std::vector<uint8_t>;

// ---- PNM sources ------------------------------------------------------------

// A decoded P5 (grey), P6 (RGB) or P7 (RGB_ALPHA) file, top row first,
// channels in file order (red first).
struct Pnm {
  int width = 0, height = 0, channels = 0;
  Bytes pixels;
  const uint8_t *at(int x, int y) const { return &pixels[size_t(y * width + x) * size_t(channels)]; }
};

inline Pnm ReadPnm(const std::string &name) {
  const Bytes data = ReadBytes(FixturesDir() / "images" / name);
  Pnm pnm;
  size_t pos = 0;
  auto word = [&]() {
    while (pos < data.size() && isspace(data[pos])) ++pos;
    std::string w;
    while (pos < data.size() && !isspace(data[pos])) w.push_back(char(data[pos++]));
    return w;
  };
  const std::string magic = word();
  if (magic == "P7") {
    for (std::string key = word(); key != "ENDHDR"; key = word()) {
      if (key == "WIDTH") pnm.width = std::stoi(word());
      else if (key == "HEIGHT") pnm.height = std::stoi(word());
      else if (key == "DEPTH") pnm.channels = std::stoi(word());
      else word();
    }
  } else {
    pnm.width = std::stoi(word());
    pnm.height = std::stoi(word());
    word();  // maxval, 255 in every fixture
    pnm.channels = magic == "P5" ? 1 : 3;
  }
  ++pos;  // the single whitespace before the raster
  pnm.pixels.assign(data.begin() + long(pos), data.end());
  EXPECT_EQ(pnm.pixels.size(), size_t(pnm.width * pnm.height * pnm.channels)) << name;
  return pnm;
}

inline Pnm FlipRows(const Pnm &pnm) {
  Pnm out = pnm;
  const size_t row = size_t(pnm.width * pnm.channels);
  for (int y = 0; y < pnm.height; ++y)
    std::memcpy(&out.pixels[size_t(y) * row], &pnm.pixels[size_t(pnm.height - 1 - y) * row], row);
  return out;
}

inline Bytes Fixture(const std::string &name) {
  return ReadBytes(FixturesDir() / "images" / name);
}

// ---- bitmaps -------------------------------------------------------------

struct BitmapFree {
  void operator()(txBitmap *b) const {
    if (b) txFree(&b);
  }
};
using BitmapPtr = std::unique_ptr<txBitmap, BitmapFree>;

inline BitmapPtr Decode(txReadImageProc read, const Bytes &file) {
  return BitmapPtr(read(file.data(), file.size()));
}

// Pixel (x, y) of level 0.
inline const uint8_t *PixelAt(const txBitmap *b, int x, int y) {
  return b->image[0] + (size_t(y) * size_t(b->width) + size_t(x)) * size_t(b->bits / 8);
}

// Expects a true-colour bitmap to hold the PNM's pixels; `blueFirst` says
// whether the bitmap's bytes are B, G, R[, A].
inline void ExpectSamePixels(const txBitmap *b, const Pnm &pnm, bool blueFirst) {
  ASSERT_EQ(b->width, pnm.width);
  ASSERT_EQ(b->height, pnm.height);
  const int bpp = b->bits / 8;
  for (int y = 0; y < pnm.height; ++y)
    for (int x = 0; x < pnm.width; ++x) {
      const uint8_t *got = PixelAt(b, x, y);
      const uint8_t *want = pnm.at(x, y);
      if (pnm.channels == 1) {
        ASSERT_EQ(got[0], want[0]) << "at " << x << "," << y;
        continue;
      }
      const uint8_t r = got[blueFirst ? 2 : 0], g = got[1], bl = got[blueFirst ? 0 : 2];
      ASSERT_EQ(r, want[0]) << "red at " << x << "," << y;
      ASSERT_EQ(g, want[1]) << "green at " << x << "," << y;
      ASSERT_EQ(bl, want[2]) << "blue at " << x << "," << y;
      if (pnm.channels == 4 && bpp == 4) {
        ASSERT_EQ(got[3], want[3]) << "alpha at " << x << "," << y;
      }
    }
}

// ---- hand-made files -------------------------------------------------------

inline void Put(Bytes &b, uint32_t v, int n) {
  for (int i = 0; i < n; ++i) b.push_back(uint8_t(v >> (8 * i)));
}

// A BMP with a 40-byte info header. `rows` are the stored rows, bottom row
// first, each already padded as the caller wants; the palette (4-byte
// entries) sits right after the header unless `pixelOffset` says otherwise.
struct BmpSpec {
  int32_t width = 2, height = 2;
  uint16_t bits = 24;
  uint32_t compression = 0;
  uint32_t colorsUsed = 0;
  Bytes palette;
  Bytes pixels;
  int64_t pixelOffset = -1;  // -1: right after the palette
};

inline Bytes MakeBmp(const BmpSpec &s) {
  Bytes b;
  const uint32_t offset = s.pixelOffset >= 0 ? uint32_t(s.pixelOffset)
                                             : uint32_t(54 + s.palette.size());
  b.push_back('B');
  b.push_back('M');
  Put(b, uint32_t(offset + s.pixels.size()), 4);
  Put(b, 0, 4);
  Put(b, offset, 4);
  Put(b, 40, 4);
  Put(b, uint32_t(s.width), 4);
  Put(b, uint32_t(s.height), 4);
  Put(b, 1, 2);
  Put(b, s.bits, 2);
  Put(b, s.compression, 4);
  Put(b, uint32_t(s.pixels.size()), 4);
  Put(b, 2835, 4);
  Put(b, 2835, 4);
  Put(b, s.colorsUsed, 4);
  Put(b, 0, 4);
  b.insert(b.end(), s.palette.begin(), s.palette.end());
  if (b.size() < offset) b.resize(offset, 0);
  b.insert(b.end(), s.pixels.begin(), s.pixels.end());
  return b;
}

// A TGA: header, image ID, colour map, pixels as given.
struct TgaSpec {
  uint8_t mapType = 0, imageType = 2;
  uint16_t mapFirst = 0, mapLength = 0;
  uint8_t mapBits = 0;
  uint16_t width = 2, height = 2;
  uint8_t bits = 24, descriptor = 0x20;
  std::string id;
  Bytes map;
  Bytes pixels;
};

inline Bytes MakeTga(const TgaSpec &s) {
  Bytes b;
  b.push_back(uint8_t(s.id.size()));
  b.push_back(s.mapType);
  b.push_back(s.imageType);
  Put(b, s.mapFirst, 2);
  Put(b, s.mapLength, 2);
  b.push_back(s.mapBits);
  Put(b, 0, 4);
  Put(b, s.width, 2);
  Put(b, s.height, 2);
  b.push_back(s.bits);
  b.push_back(s.descriptor);
  b.insert(b.end(), s.id.begin(), s.id.end());
  b.insert(b.end(), s.map.begin(), s.map.end());
  b.insert(b.end(), s.pixels.begin(), s.pixels.end());
  return b;
}

// Pixels i = 0, 1, 2 ... of n bytes each, with byte k of pixel i = 10 * i + k.
inline Bytes Ramp(size_t count, size_t bpp) {
  Bytes b(count * bpp);
  for (size_t i = 0; i < count; ++i)
    for (size_t k = 0; k < bpp; ++k) b[i * bpp + k] = uint8_t(10 * i + k);
  return b;
}

// ---- loader parameters ---------------------------------------------------

// Restores every loader parameter a test may change, and starts each test
// with the defaults and the default stream operations.
class LoaderTest : public ::testing::Test {
protected:
  void SetUp() override {
    saved_ = txState;
    txInit(nullptr);
    txSetParam(2, 0);
    txSetParam(3, 0);
    txSetParam(4, 0);
    SYS_ErrorGet();
  }
  void TearDown() override { txState = saved_; }

  txLoaderState saved_;
};

}  // namespace ember_test
