// The PNG filter: the PNG suite decoded against Netpbm's reading of the
// same files, invalid and cut-off files refused without reading past the
// buffer, and the writer's files read back.
#include <gtest/gtest.h>
#include <zlib.h>

#include <filesystem>
#include <functional>

#include "image_test_util.h"
#include "texture/convert.h"
#include "texture/formats.h"

using namespace ember_test;

namespace {

Bytes PngFixture(const std::string &name) { return Fixture("png/" + name); }

// Pixel (x, y) of a bitmap in bytes as red, green, blue, alpha; palette
// indices go through the palette, grey is spread over the three colours.
std::array<int, 4> Rgba(const txBitmap *b, int x, int y) {
  const uint8_t *p = PixelAt(b, x, y);
  switch (b->bits) {
    case 8:
      if (b->subtype == TX_LAYOUT_INDEXED) {
        const uint8_t *e = b->palette + 4 * p[0];
        return {e[0], e[1], e[2], 255};
      }
      return {p[0], p[0], p[0], 255};
    case 24:
      return {p[0], p[1], p[2], 255};
    default:
      return {p[0], p[1], p[2], p[3]};
  }
}

std::array<int, 4> Rgba(const Pnm &pnm, int x, int y) {
  const uint8_t *p = pnm.at(x, y);
  switch (pnm.channels) {
    case 1:
      return {p[0], p[0], p[0], 255};
    case 2:
      return {p[0], p[0], p[0], p[1]};
    case 3:
      return {p[0], p[1], p[2], 255};
    default:
      return {p[0], p[1], p[2], p[3]};
  }
}

struct SuiteCase {
  const char *name;
  int depth, channels;  // as the file stores them
  int32_t subtype;
};

// Pixel (x, y) of a bitmap as libpng delivers it (rows ending on a whole
// byte, packed pixels leftmost in the high bits, 16-bit samples big-endian),
// each channel on 0..255 the way Netpbm's pamdepth scales it.
std::array<int, 4> RawRgba(const txBitmap *b, const SuiteCase &c, int x, int y) {
  const size_t row = (size_t(b->width) * size_t(b->bits) + 7) / 8;
  const uint8_t *r = b->image[0] + size_t(y) * row;
  const int top = (1 << c.depth) - 1;
  int v[4] = {0, 0, 0, 255};
  for (int k = 0; k < c.channels; ++k) {
    const size_t at = size_t(x * c.channels + k);
    if (c.depth < 8) v[k] = (r[at * size_t(c.depth) / 8] >> (8 - c.depth - int(at * size_t(c.depth) % 8))) & top;
    else if (c.depth == 8) v[k] = r[at];
    else v[k] = r[2 * at] << 8 | r[2 * at + 1];
    if (b->palette == nullptr) v[k] = (v[k] * 255 + top / 2) / top;
  }
  if (b->palette) {
    const uint8_t *e = b->palette + 4 * v[0];
    return {e[0], e[1], e[2], 255};
  }
  if (c.channels <= 2) return {v[0], v[0], v[0], c.channels == 2 ? v[1] : 255};
  return {v[0], v[1], v[2], v[3]};
}

void ExpectPixels(const txBitmap *b, const Pnm &want, bool withAlpha,
                  const std::function<std::array<int, 4>(int, int)> &got) {
  ASSERT_EQ(b->width, want.width);
  ASSERT_EQ(b->height, want.height);
  for (int y = 0; y < want.height; ++y)
    for (int x = 0; x < want.width; ++x) {
      const auto g = got(x, y), e = Rgba(want, x, y);
      // Palette transparency (tRNS) is not carried by an indexed bitmap.
      for (size_t k = 0; k < (withAlpha ? 4u : 3u); ++k)
        ASSERT_EQ(g[k], e[k]) << "channel " << k << " at " << x << "," << y;
    }
}

class PngSuite : public ::testing::TestWithParam<SuiteCase> {};

// The reader gives the library's layout, checked against Netpbm's reading
// of the file; the uploaders' unpacking of it gives the same pixels in
// bytes, or refuses the one depth that does not say what it holds.
TEST_P(PngSuite, DecodesAsTheLibraryDeliversAndUnpacksToNetpbmsPixels) {
  const SuiteCase &c = GetParam();
  BitmapPtr b = Decode(pngRead, PngFixture(std::string(c.name) + ".png"));
  ASSERT_TRUE(b) << "error " << SYS_ErrorGet();
  const bool palette = c.channels == 1 && c.subtype != TX_LAYOUT_GREY &&
                       std::string(c.name).find("3p") != std::string::npos;
  EXPECT_EQ(b->type, TX_RED_FIRST);
  EXPECT_EQ(b->id, TX_ID_PNG);
  EXPECT_EQ(b->bits, c.depth * c.channels);
  EXPECT_EQ(b->subtype, c.subtype);
  EXPECT_EQ(b->levels, 1);
  EXPECT_EQ(b->imagesize[0], uint32_t((b->width * b->bits + 7) / 8 * b->height));
  EXPECT_EQ(b->palette != nullptr, palette);
  for (size_t i = 3; b->palette && i < TX_PALETTE_BYTES; i += 4) ASSERT_EQ(b->palette[i], 0) << i;

  const Pnm want = ReadPnm(std::string("png/") + c.name + ".pam");
  const bool alpha = c.channels == 2 || c.channels == 4;
  ExpectPixels(b.get(), want, alpha, [&](int x, int y) { return RawRgba(b.get(), c, x, y); });

  const int32_t unpacked = txUnpack(b.get());
  if (b->bits == 16) {  // 16-bit grey or 8-bit grey with alpha
    EXPECT_EQ(unpacked, -1);
    EXPECT_EQ(SYS_ErrorGet(), TX_ERR_DEPTH);
    return;
  }
  ASSERT_EQ(unpacked, 0);
  EXPECT_NE(b->subtype, TX_LAYOUT_OTHER);
  EXPECT_EQ(b->imagesize[0], uint32_t(b->width * b->height * b->bits / 8));
  ExpectPixels(b.get(), want, b->bits == 32, [&](int x, int y) { return Rgba(b.get(), x, y); });
}

constexpr int32_t kOther = TX_LAYOUT_OTHER;

INSTANTIATE_TEST_SUITE_P(
    Pngsuite, PngSuite,
    ::testing::Values(
        SuiteCase{"basn0g01", 1, 1, kOther}, SuiteCase{"basn0g01-30", 1, 1, kOther},
        SuiteCase{"basn0g02", 2, 1, kOther}, SuiteCase{"basn0g02-29", 2, 1, kOther},
        SuiteCase{"basn0g04", 4, 1, kOther}, SuiteCase{"basn0g04-31", 4, 1, kOther},
        SuiteCase{"basn0g08", 8, 1, TX_LAYOUT_GREY}, SuiteCase{"basn0g16", 16, 1, kOther},
        SuiteCase{"basn2c08", 8, 3, TX_LAYOUT_RGB}, SuiteCase{"basn2c16", 16, 3, kOther},
        SuiteCase{"basn3p01", 1, 1, kOther}, SuiteCase{"basn3p02", 2, 1, kOther},
        SuiteCase{"basn3p04", 4, 1, kOther}, SuiteCase{"basn3p04-31i", 4, 1, kOther},
        SuiteCase{"basn3p08", 8, 1, TX_LAYOUT_INDEXED},
        SuiteCase{"basn3p08-trns", 8, 1, TX_LAYOUT_INDEXED},
        SuiteCase{"basn4a08", 8, 2, kOther},
        // 32 bits, but grey with alpha in 16-bit samples, not RGBA.
        SuiteCase{"basn4a16", 16, 2, kOther}, SuiteCase{"basn6a08", 8, 4, TX_LAYOUT_RGBA},
        SuiteCase{"basn6a16", 16, 4, kOther}, SuiteCase{"gray-gradient", 8, 1, TX_LAYOUT_GREY},
        SuiteCase{"gray-gradient.interlaced", 4, 1, kOther}),
    [](const ::testing::TestParamInfo<SuiteCase> &info) {
      std::string n = info.param.name;
      for (char &ch : n)
        if (!isalnum(static_cast<unsigned char>(ch))) ch = '_';
      return n;
    });

TEST(PngRead, InvalidFilesFailCleanly) {
  const size_t live = SYS_MemLiveCount();
  for (const char *name :
       {"invalid-crc32.png", "invalid-noend.png", "invalid-trunc.png", "invalid-zlib.png"}) {
    EXPECT_FALSE(Decode(pngRead, PngFixture(name))) << name;
    const int32_t code = SYS_ErrorGet();
    EXPECT_TRUE(code == TX_ERR_FORMAT || code == TX_ERR_SHORT) << name << ": " << code;
  }
  // Indices past the palette's end still address the full 256-entry table.
  if (BitmapPtr b = Decode(pngRead, PngFixture("invalid-palette.png"))) {
    EXPECT_NE(b->palette, nullptr);
  }
  EXPECT_EQ(SYS_MemLiveCount(), live);
}

TEST(PngRead, EveryCutOffCopyFailsWithoutReadingPastItsEnd) {
  const Bytes whole = PngFixture("basn6a16.png");
  const size_t live = SYS_MemLiveCount();
  for (size_t n = 0; n < whole.size(); ++n) {
    const Bytes part(whole.begin(), whole.begin() + long(n));  // its own block, for ASan
    EXPECT_FALSE(Decode(pngRead, part)) << n;
    const int32_t code = SYS_ErrorGet();
    EXPECT_TRUE(code == TX_ERR_SHORT || code == TX_ERR_FORMAT) << n << ": " << code;
  }
  EXPECT_EQ(SYS_MemLiveCount(), live);
}

TEST(PngRead, ASizeTheFileCannotHoldIsRefusedBeforeAnythingIsAllocated) {
  Bytes png = PngFixture("basn2c08.png");
  // IHDR's width and height at bytes 16..23, its CRC after the 13 data bytes.
  const uint8_t huge[] = {0x00, 0x01, 0x00, 0x00};  // 65536
  std::copy(huge, huge + 4, png.begin() + 16);
  std::copy(huge, huge + 4, png.begin() + 20);
  const uint32_t crc = uint32_t(crc32(0, png.data() + 12, 17));
  for (int i = 0; i < 4; ++i) png[29 + size_t(i)] = uint8_t(crc >> (24 - 8 * i));
  EXPECT_FALSE(Decode(pngRead, png));
  EXPECT_EQ(SYS_ErrorGet(), TX_ERR_SHORT);
}

// ---- writing -------------------------------------------------------------

class PngWrite : public LoaderTest {
 protected:
  std::string Path(const std::string &name) { return dir_.str(name); }
  BitmapPtr ReadBack(const std::string &name) { return Decode(pngRead, ReadBytes(Path(name))); }
  static size_t OpenDescriptors() {
    return size_t(std::distance(std::filesystem::directory_iterator("/proc/self/fd"),
                                std::filesystem::directory_iterator()));
  }
  TempDir dir_;
};

// A 3 x 2 dummy whose pixel i has bytes 10i, 10i+1, ...
BitmapPtr RampBitmap(int32_t type, int32_t subtype, int32_t dummyType) {
  BitmapPtr b(txCreateDummy(dummyType, 3, 2));
  const size_t bpp = size_t(b->bits / 8);
  const Bytes ramp = Ramp(6, bpp);
  std::copy(ramp.begin(), ramp.end(), b->image[0]);
  b->type = type;
  b->subtype = subtype;
  return b;
}

TEST_F(PngWrite, PixelsGoOutRedFirstWhateverTheBitmapsOrderAndTheBitmapIsLeftAlone) {
  struct Case {
    int32_t type, subtype, dummy;
    bool swapped;  // the file holds bytes 0 and 2 exchanged
  };
  for (const Case &c :
       {Case{TX_BLUE_FIRST, TX_LAYOUT_RGB, 0, true}, Case{TX_RED_FIRST, TX_LAYOUT_RGB, 0, false},
        Case{TX_RED_FIRST, TX_LAYOUT_RGB_DUMMY, 1, false},
        Case{TX_BLUE_FIRST, TX_LAYOUT_RGBA, 2, true}, Case{TX_RED_FIRST, TX_LAYOUT_RGBA, 2, false},
        Case{TX_BLUE_FIRST, TX_LAYOUT_GREY, 3, false}}) {
    BitmapPtr b = RampBitmap(c.type, c.subtype, c.dummy);
    Bytes want(b->image[0], b->image[0] + b->imagesize[0]);
    ASSERT_EQ(txSave(TX_ID_PNG, Path("w.png").c_str(), b.get()), 0);
    EXPECT_EQ(Bytes(b->image[0], b->image[0] + b->imagesize[0]), want);
    BitmapPtr back = ReadBack("w.png");
    ASSERT_TRUE(back);
    EXPECT_EQ(back->bits, b->bits);
    EXPECT_EQ(back->subtype, c.subtype == TX_LAYOUT_RGB_DUMMY ? TX_LAYOUT_RGB : c.subtype);
    const size_t bpp = size_t(b->bits / 8);
    for (size_t i = 0; c.swapped && i < want.size(); i += bpp) std::swap(want[i], want[i + 2]);
    EXPECT_EQ(Bytes(back->image[0], back->image[0] + back->imagesize[0]), want)
        << "type " << c.type << " subtype " << c.subtype;
  }
}

TEST_F(PngWrite, LayoutsItCannotStoreFailWith1005AndCreateNoFile) {
  BitmapPtr indexed = RampBitmap(TX_BLUE_FIRST, TX_LAYOUT_INDEXED, 3);
  BitmapPtr compressed = RampBitmap(TX_COMPRESSED, TX_LAYOUT_RGB, 0);
  BitmapPtr mislabelled = RampBitmap(TX_BLUE_FIRST, TX_LAYOUT_RGBA, 0);  // 24 bits
  BitmapPtr shortBuffer = RampBitmap(TX_BLUE_FIRST, TX_LAYOUT_RGB, 0);
  shortBuffer->imagesize[0] -= 1;
  for (txBitmap *b : {indexed.get(), compressed.get(), mislabelled.get(), shortBuffer.get()}) {
    EXPECT_EQ(pngWrite(Path("x.png").c_str(), b), -1);
    EXPECT_EQ(SYS_ErrorGet(), TX_ERR_LAYOUT);
  }
  EXPECT_FALSE(std::filesystem::exists(Path("x.png")));
}

TEST_F(PngWrite, FileAndLibraryErrorsReturnTheirCodeAndCloseTheFile) {
  BitmapPtr b = RampBitmap(TX_BLUE_FIRST, TX_LAYOUT_RGB, 0);
  EXPECT_EQ(pngWrite(Path("missing/x.png").c_str(), b.get()), -1);
  EXPECT_EQ(SYS_ErrorGet(), 9);
  txSetParam(11, 42);  // zlib refuses the level once the first row is compressed
  const size_t open = OpenDescriptors();
  EXPECT_EQ(pngWrite(Path("bad.png").c_str(), b.get()), -1);
  EXPECT_EQ(SYS_ErrorGet(), 5);
  EXPECT_EQ(OpenDescriptors(), open);
  txSetParam(11, 0);
  EXPECT_EQ(pngWrite(Path("stored.png").c_str(), b.get()), 0);
  EXPECT_TRUE(ReadBack("stored.png"));
}

// The table's rows: each format's files load under its id, whatever their
// names say (a PNG named ".jpg" is still a PNG).
TEST_F(PngWrite, EveryFormatLoadsThroughTheFilterTable) {
  ScopedCwd cwd(dir_.path());
  for (auto [fixture, name, id] : {std::tuple{"png/basn2c08.png", "suite.jpg", TX_ID_PNG},
                                   std::tuple{"jpeg/video-001.jpeg", "v.jpg", TX_ID_JPEG},
                                   std::tuple{"dds/odd_bc3.dds", "t.dds", TX_ID_DDS},
                                   std::tuple{"pnm/rainbow_netpbm.ppm", "r.ppm", TX_ID_PNM},
                                   std::tuple{"dicom/grey8_pydicom.dcm", "g.dcm", TX_ID_DICOM}}) {
    WriteBytes(dir_.path() / name, Fixture(fixture));
    BitmapPtr b(txLoad(name));
    ASSERT_TRUE(b) << fixture << ": " << SYS_ErrorGet();
    EXPECT_EQ(b->id, id) << fixture;
  }
}

}  // namespace
