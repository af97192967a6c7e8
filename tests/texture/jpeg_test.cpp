// The JPEG filter: outside files decoded exactly as libjpeg's own djpeg
// decodes them (subsampling variants, progressive, truncated, CMYK, RGB,
// grey), broken streams refused without ending the process or reading past
// the buffer, and the writers' files read back.
#include <gtest/gtest.h>

#include <cstdio>
#include <jpeglib.h>

#include <cstdlib>
#include <filesystem>
#include <utility>

#include "image_test_util.h"
#include "texture/formats.h"

using namespace ember_test;

namespace {

Bytes JpegFixture(const std::string &name) { return Fixture("jpeg/" + name); }

struct DjpegCase {
  const char *name;
  const char *expected;  // djpeg's output
  int32_t bits;
};

class DjpegMatch : public ::testing::TestWithParam<DjpegCase> {};

TEST_P(DjpegMatch, DecodesToTheSamePixelsAsDjpeg) {
  const DjpegCase &c = GetParam();
  BitmapPtr b = Decode(jpegRead, JpegFixture(c.name));
  ASSERT_TRUE(b) << "error " << SYS_ErrorGet();
  EXPECT_EQ(b->type, TX_RED_FIRST);
  EXPECT_EQ(b->bits, c.bits);
  EXPECT_EQ(b->subtype, c.bits == 8 ? TX_LAYOUT_GREY : TX_LAYOUT_RGB);
  EXPECT_EQ(b->levels, 1);
  const Pnm want = ReadPnm(std::string("jpeg/") + c.expected);
  ASSERT_EQ(b->width, want.width);
  ASSERT_EQ(b->height, want.height);
  ASSERT_EQ(b->imagesize[0], want.pixels.size());
  EXPECT_TRUE(std::equal(want.pixels.begin(), want.pixels.end(), b->image[0]));
}

INSTANTIATE_TEST_SUITE_P(
    GoTestdata, DjpegMatch,
    ::testing::Values(DjpegCase{"video-001.jpeg", "video-001.ppm", 24},
                      DjpegCase{"video-001.q50.410.jpeg", "video-001.q50.410.ppm", 24},
                      DjpegCase{"video-001.q50.411.jpeg", "video-001.q50.411.ppm", 24},
                      DjpegCase{"video-001.q50.420.jpeg", "video-001.q50.420.ppm", 24},
                      DjpegCase{"video-001.q50.422.jpeg", "video-001.q50.422.ppm", 24},
                      DjpegCase{"video-001.q50.440.jpeg", "video-001.q50.440.ppm", 24},
                      DjpegCase{"video-001.q50.444.jpeg", "video-001.q50.444.ppm", 24},
                      DjpegCase{"video-001.progressive.jpeg", "video-001.progressive.ppm", 24},
                      DjpegCase{"video-001.progressive.truncated.jpeg",
                                "video-001.progressive.truncated.ppm", 24},
                      DjpegCase{"video-001.cmyk.jpeg", "video-001.cmyk.ppm", 24},
                      DjpegCase{"video-001.rgb.jpeg", "video-001.rgb.ppm", 24},
                      DjpegCase{"video-005.gray.jpeg", "video-005.gray.pgm", 8},
                      DjpegCase{"video-005.gray.q50.2x2.progressive.jpeg",
                                "video-005.gray.q50.2x2.progressive.pgm", 8}),
    [](const ::testing::TestParamInfo<DjpegCase> &info) {
      std::string n = info.param.name;
      n.resize(n.size() - 5);
      for (char &ch : n)
        if (!isalnum(static_cast<unsigned char>(ch))) ch = '_';
      return n;
    });

TEST(JpegIdentify, OnlyJfifFilesAreRecognised) {
  const Bytes jfif = JpegFixture("video-001.jpeg"), adobe = JpegFixture("video-001.rgb.jpeg");
  EXPECT_EQ(jpegIdentify(jfif.data(), jfif.size()), 0);
  EXPECT_EQ(jpegIdentify(jfif.data(), 9), TX_ERR_FORMAT);
  EXPECT_EQ(jpegIdentify(adobe.data(), adobe.size()), TX_ERR_FORMAT);  // APP14, no JFIF
}

TEST(JpegRead, ACutOffStreamEndsAtItsEndAndIsNeverServedAgain) {
  const Bytes whole = JpegFixture("video-001.q50.420.jpeg");
  const size_t live = SYS_MemLiveCount();
  // Every cut gives either the rows it holds or a clean failure (5), and
  // never reads outside its own buffer.
  for (size_t n = 1; n < whole.size(); n += 97) {
    const Bytes part(whole.begin(), whole.begin() + long(n));
    BitmapPtr b = Decode(jpegRead, part);
    if (!b) {
      EXPECT_EQ(SYS_ErrorGet(), 5) << n;
      continue;
    }
    EXPECT_EQ(b->width, 150) << n;
    EXPECT_EQ(b->height, 103) << n;
  }
  EXPECT_EQ(SYS_MemLiveCount(), live);

  // Past the header, a cut copy decodes its first rows as the whole file does.
  const Bytes half(whole.begin(), whole.begin() + long(whole.size() / 2));
  BitmapPtr cut = Decode(jpegRead, half), full = Decode(jpegRead, whole);
  ASSERT_TRUE(cut);
  ASSERT_TRUE(full);
  EXPECT_TRUE(std::equal(full->image[0], full->image[0] + 150 * 3 * 16, cut->image[0]));
}

// The fixture with its frame header claiming another size; its scans then
// run out long before the frame is full.
Bytes Claiming(const std::string &name, uint16_t width, uint16_t height) {
  Bytes b = JpegFixture(name);
  for (size_t i = 2; i + 9 < b.size(); i += 2 + size_t(b[i + 2] << 8 | b[i + 3])) {
    if (b[i + 1] != 0xC0 && b[i + 1] != 0xC2) continue;
    b[i + 5] = uint8_t(height >> 8), b[i + 6] = uint8_t(height);
    b[i + 7] = uint8_t(width >> 8), b[i + 8] = uint8_t(width);
    return b;
  }
  ADD_FAILURE() << name;
  return b;
}

void ExpectNear(const uint8_t *got, std::initializer_list<int> want) {
  size_t k = 0;
  for (int w : want) EXPECT_NEAR(int(got[k++]), w, 3) << "channel " << k - 1;
}

// A solid frame of one colour coded by libjpeg with its arithmetic coder,
// which spends almost nothing on a flat block.
Bytes ArithmeticSolid(int width, int height) {
  jpeg_compress_struct c;
  jpeg_error_mgr error;
  c.err = jpeg_std_error(&error);
  jpeg_create_compress(&c);
  unsigned char *out = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&c, &out, &size);
  c.image_width = JDIMENSION(width);
  c.image_height = JDIMENSION(height);
  c.input_components = 3;
  c.in_color_space = JCS_RGB;
  jpeg_set_defaults(&c);
  c.arith_code = TRUE;
  jpeg_start_compress(&c, TRUE);
  std::vector<JSAMPLE> row;
  for (int x = 0; x < width; ++x) row.insert(row.end(), {40, 120, 200});
  JSAMPROW rows[] = {row.data()};
  while (c.next_scanline < c.image_height) jpeg_write_scanlines(&c, rows, 1);
  jpeg_finish_compress(&c);
  const Bytes bytes(out, out + size);
  jpeg_destroy_compress(&c);
  std::free(out);
  return bytes;
}

// Any frame up to 4096 x 4096 decodes, however few its bytes: a solid
// frame arithmetic-coded in a couple of hundred bytes, or the fill of a cut
// stream, progressive scans included. Past that, a frame its bytes could
// not code fails at once: 3407 bytes code at most 6.98 megapixels, so
// 65500 x 21000 (4 GB of pixels) and 4097 x 4096 fail.
TEST(JpegRead, OnlyAFrameBeyond4096By4096AndWhatItsBytesCodeFailsWith5) {
  for (const auto &[width, height] : {std::pair{1920, 1080}, {4096, 4096}}) {
    const Bytes solid = ArithmeticSolid(width, height);
    EXPECT_LT(solid.size(), 400u);
    BitmapPtr b = Decode(jpegRead, solid);
    ASSERT_TRUE(b) << width << " error " << SYS_ErrorGet();
    ASSERT_EQ(b->imagesize[0], size_t(width) * size_t(height) * 3);
    const size_t last = b->imagesize[0] - 3;
    for (size_t at : {size_t(0), last / 2 / 3 * 3, last})
      ExpectNear(b->image[0] + at, {40, 120, 200});
  }

  const size_t live = SYS_MemLiveCount();
  for (const char *name : {"video-001.q50.420.jpeg", "video-005.gray.q50.2x2.progressive.jpeg"}) {
    EXPECT_FALSE(Decode(jpegRead, Claiming(name, 65500, 21000))) << name;
    EXPECT_EQ(SYS_ErrorGet(), 5);
  }
  EXPECT_FALSE(Decode(jpegRead, Claiming("video-001.q50.420.jpeg", 4097, 4096)));
  EXPECT_EQ(SYS_ErrorGet(), 5);
  EXPECT_EQ(SYS_MemLiveCount(), live);
  for (const auto &[name, bytesPerPixel] :
       {std::pair{"video-001.q50.420.jpeg", 3u}, {"video-005.gray.q50.2x2.progressive.jpeg", 1u}}) {
    BitmapPtr fills = Decode(jpegRead, Claiming(name, 4096, 4096));
    ASSERT_TRUE(fills) << name;
    EXPECT_EQ(fills->imagesize[0], 4096u * 4096 * bytesPerPixel);
  }
}

// The grey progressive fixture claiming side x side pixels, with its
// smallest scan (41 bytes) repeated `extra` times before the end.
Bytes RepeatingAScan(uint16_t side, int extra) {
  const Bytes b = Claiming("video-005.gray.q50.2x2.progressive.jpeg", side, side);
  size_t best = 0, bestEnd = 0;
  for (size_t i = 0; i + 1 < b.size(); ++i) {
    if (b[i] != 0xFF || b[i + 1] != 0xDA) continue;
    size_t end = i + 2;
    while (end + 1 < b.size() && !(b[end] == 0xFF && b[end + 1] != 0 && b[end + 1] != 0xFF)) ++end;
    if (!bestEnd || end - i < bestEnd - best) best = i, bestEnd = end;
    i = end - 1;
  }
  Bytes out(b.begin(), b.end() - 2);  // without the end-of-image marker
  for (int k = 0; k < extra; ++k) out.insert(out.end(), b.begin() + long(best), b.begin() + long(bestEnd));
  out.insert(out.end(), {0xFF, 0xD9});
  return out;
}

// Each scan walks the whole frame, however few its bytes: ten repeats of a
// 41-byte scan over 4 megapixels still decode, but 15 KB walking 16
// megapixels some 300 times fail with 5 once the walks outgrow what the
// bytes back.
TEST(JpegRead, ScansThatWalkTheFrameTooOftenFailWith5) {
  BitmapPtr fine = Decode(jpegRead, RepeatingAScan(2048, 10));
  ASSERT_TRUE(fine);
  EXPECT_EQ(fine->imagesize[0], 2048u * 2048);
  EXPECT_FALSE(Decode(jpegRead, RepeatingAScan(4096, 300)));
  EXPECT_EQ(SYS_ErrorGet(), 5);
}

TEST(JpegRead, GarbageFailsWith5AndTheProcessGoesOn) {
  const size_t live = SYS_MemLiveCount();
  Bytes junk = JpegFixture("video-001.jpeg");
  junk.resize(40);
  junk.insert(junk.end(), 200, 0x5A);
  for (const Bytes &bytes : {Bytes{0xFF}, Bytes{0xFF, 0xD8}, Bytes(64, 0), junk}) {
    EXPECT_FALSE(Decode(jpegRead, bytes));
    EXPECT_EQ(SYS_ErrorGet(), 5);
  }
  EXPECT_EQ(SYS_MemLiveCount(), live);
}

// ---- writing -------------------------------------------------------------

class JpegWrite : public LoaderTest {
 protected:
  std::string Path(const std::string &name) { return dir_.str(name); }
  BitmapPtr ReadBack(const std::string &name) { return Decode(jpegRead, ReadBytes(Path(name))); }
  TempDir dir_;
};

// A 16 x 16 bitmap of one colour; JPEG keeps flat areas nearly exact.
BitmapPtr Flat(int32_t dummyType, std::initializer_list<uint8_t> pixel) {
  BitmapPtr b(txCreateDummy(dummyType, 16, 16));
  const size_t bpp = pixel.size();
  for (size_t i = 0; i < b->imagesize[0]; i += bpp)
    std::copy(pixel.begin(), pixel.end(), b->image[0] + i);
  return b;
}

TEST_F(JpegWrite, BlueFirstPixelsGoOutRedFirstAndRedFirstOnesAsTheyAre) {
  BitmapPtr blue = Flat(0, {200, 100, 30});  // type 0: blue 200, red 30
  ASSERT_EQ(jpegWrite(Path("a.jpg").c_str(), blue.get()), 0);
  EXPECT_EQ(blue->image[0][0], 200);  // the bitmap itself is untouched
  BitmapPtr back = ReadBack("a.jpg");
  ASSERT_TRUE(back);
  ExpectNear(PixelAt(back.get(), 5, 5), {30, 100, 200});

  BitmapPtr red = Flat(1, {200, 100, 30});  // type 1 dummy: red first
  red->subtype = TX_LAYOUT_RGB;
  ASSERT_EQ(txSave(TX_ID_JPEG, Path("b.jpg").c_str(), red.get()), 0);
  back = ReadBack("b.jpg");
  ASSERT_TRUE(back);
  ExpectNear(PixelAt(back.get(), 5, 5), {200, 100, 30});
}

TEST_F(JpegWrite, ThirtyTwoBitsGiveAColourFileAndAGreyAlphaFile) {
  BitmapPtr b = Flat(2, {10, 20, 240, 77});
  b->type = TX_RED_FIRST;
  ASSERT_EQ(jpegWrite(Path("pic.jpg").c_str(), b.get()), 0);
  BitmapPtr colour = ReadBack("pic.jpg"), alpha = ReadBack("pic_a.jpg");
  ASSERT_TRUE(colour);
  ASSERT_TRUE(alpha);
  EXPECT_EQ(colour->bits, 24);
  ExpectNear(PixelAt(colour.get(), 3, 3), {10, 20, 240});
  EXPECT_EQ(alpha->bits, 8);
  ExpectNear(PixelAt(alpha.get(), 3, 3), {77});
}

TEST_F(JpegWrite, GreyGivesAOneComponentFileAndQualityIsClampedTo100) {
  BitmapPtr grey = Flat(3, {90});
  grey->type = TX_BLUE_FIRST;
  txSetParam(9, 150);
  ASSERT_EQ(jpegWrite(Path("g.jpg").c_str(), grey.get()), 0);
  EXPECT_EQ(txState.jpegQuality, 100);
  BitmapPtr back = ReadBack("g.jpg");
  ASSERT_TRUE(back);
  EXPECT_EQ(back->subtype, TX_LAYOUT_GREY);
  EXPECT_EQ(*PixelAt(back.get(), 8, 8), 90);
}

TEST_F(JpegWrite, LayoutsItCannotStoreFailWith1005) {
  BitmapPtr compressed = Flat(0, {1, 2, 3});
  compressed->type = TX_COMPRESSED;
  BitmapPtr indexed = Flat(3, {1});
  indexed->type = TX_BLUE_FIRST;
  indexed->subtype = TX_LAYOUT_INDEXED;
  BitmapPtr mislabelled = Flat(0, {1, 2, 3});
  mislabelled->subtype = TX_LAYOUT_GREY;
  for (txBitmap *b : {compressed.get(), indexed.get(), mislabelled.get()}) {
    EXPECT_EQ(jpegWrite(Path("x.jpg").c_str(), b), -1);
    EXPECT_EQ(SYS_ErrorGet(), TX_ERR_LAYOUT);
  }
  EXPECT_FALSE(std::filesystem::exists(Path("x.jpg")));
}

TEST_F(JpegWrite, LibraryAndFileErrorsReturnACodeInsteadOfEndingTheProcess) {
  BitmapPtr b = Flat(0, {1, 2, 3});
  EXPECT_EQ(jpegWrite(Path("no/such/folder.jpg").c_str(), b.get()), -1);
  EXPECT_EQ(SYS_ErrorGet(), 9);

  // libjpeg refuses sides above 65500 pixels once compression starts.
  const Bytes wide(70000 * 3, 128);
  EXPECT_EQ(jpegWriteFile(Path("wide.jpg").c_str(), wide.data(), 70000, 1, 3), -1);
  EXPECT_EQ(SYS_ErrorGet(), 5);
  EXPECT_EQ(jpegWriteFile(Path("two.jpg").c_str(), wide.data(), 10, 10, 2), -1);
  EXPECT_EQ(SYS_ErrorGet(), 10);
}

}  // namespace
