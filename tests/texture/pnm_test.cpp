// The PNM filter: Netpbm's raw files read blue first, headers and pixels
// that do not hold together refused without reading past the buffer, and
// the writer's header and byte order.
#include <gtest/gtest.h>

#include <filesystem>

#include "image_test_util.h"
#include "texture/formats.h"

using namespace ember_test;

namespace {

Bytes Text(const std::string &s) { return Bytes(s.begin(), s.end()); }

Bytes operator+(Bytes a, const Bytes &b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

TEST(PnmRead, ACommentedP6GivesBlueFirstPixels) {
  const Bytes file = Text("P6\n# one comment\n2 1\n255\n") + Bytes{1, 2, 3, 4, 5, 6};
  BitmapPtr b = Decode(pnmRead, file);
  ASSERT_TRUE(b);
  EXPECT_EQ(b->width, 2);
  EXPECT_EQ(b->height, 1);
  EXPECT_EQ(b->bits, 24);
  EXPECT_EQ(b->subtype, TX_LAYOUT_RGB);
  EXPECT_EQ(b->type, TX_BLUE_FIRST);
  EXPECT_EQ(Bytes(b->image[0], b->image[0] + 6), (Bytes{3, 2, 1, 6, 5, 4}));
}

TEST(PnmRead, NetpbmsGreyAndColourFilesMatchTheirPixels) {
  BitmapPtr grey = Decode(pnmRead, Fixture("pnm/ramp_netpbm.pgm"));
  ASSERT_TRUE(grey);
  EXPECT_EQ(grey->subtype, TX_LAYOUT_GREY);
  EXPECT_EQ(grey->bits, 8);
  ExpectSamePixels(grey.get(), ReadPnm("pnm/ramp_netpbm.pgm"), false);
  EXPECT_EQ(*PixelAt(grey.get(), 0, 0), 0);    // the ramp runs from black
  EXPECT_EQ(*PixelAt(grey.get(), 9, 5), 255);  // to white

  BitmapPtr colour = Decode(pnmRead, Fixture("pnm/rainbow_netpbm.ppm"));
  ASSERT_TRUE(colour);
  ExpectSamePixels(colour.get(), ReadPnm("pnm/rainbow_netpbm.ppm"), true);
}

TEST(PnmRead, OtherKindsAndDepthsAreRefused) {
  EXPECT_FALSE(Decode(pnmRead, Fixture("pnm/rainbow_netpbm_plain.ppm")));  // P3
  EXPECT_EQ(SYS_ErrorGet(), TX_ERR_FORMAT);
  EXPECT_FALSE(Decode(pnmRead, Text("P4\n8 1\n") + Bytes{0xAA}));
  EXPECT_EQ(SYS_ErrorGet(), TX_ERR_FORMAT);
  EXPECT_FALSE(Decode(pnmRead, Fixture("pnm/ramp16_netpbm.pgm")));  // maximum 65535
  EXPECT_EQ(SYS_ErrorGet(), TX_ERR_DEPTH);
}

TEST(PnmRead, HeadersThatDoNotHoldTogetherFailWith1000) {
  for (const char *header : {"P6\n2 1\n",        // no maximum value line
                             "P6\n2 1\n255",     // no '\n' after it
                             "P6\n2\n255\n",     // one number
                             "P6\n-2 1\n255\n",  // negative width
                             "P6\n0 1\n255\n",   // empty
                             "P6\nx y\n255\n",   // not numbers
                             "P6\n2 1\nabc\n",   // not a maximum
                             "P6\n99999999999 1\n255\n"}) {
    EXPECT_FALSE(Decode(pnmRead, Text(header) + Bytes(64, 0x41))) << header;
    EXPECT_EQ(SYS_ErrorGet(), TX_ERR_FORMAT) << header;
  }
}

TEST(PnmRead, PixelsShorterThanPromisedFailWith1002) {
  EXPECT_FALSE(Decode(pnmRead, Text("P5\n4 4\n255\n") + Bytes(15, 7)));
  EXPECT_EQ(SYS_ErrorGet(), TX_ERR_SHORT);
  EXPECT_FALSE(Decode(pnmRead, Text("P6\n65535 65535\n255\n") + Bytes(16, 7)));
  EXPECT_EQ(SYS_ErrorGet(), TX_ERR_SHORT);
  // Every cut-off copy of a real file fails without reading past its end.
  const Bytes whole = Fixture("pnm/rainbow_netpbm.ppm");
  const size_t live = SYS_MemLiveCount();
  for (size_t n = 1; n < whole.size(); ++n)
    EXPECT_FALSE(Decode(pnmRead, Bytes(whole.begin(), whole.begin() + long(n)))) << n;
  EXPECT_EQ(SYS_MemLiveCount(), live);
}

// ---- writing -------------------------------------------------------------

class PnmWrite : public LoaderTest {
 protected:
  std::string Path(const std::string &name) { return dir_.str(name); }
  TempDir dir_;
};

TEST_F(PnmWrite, GreyGivesAP5WithTheCommentLine) {
  BitmapPtr grey(txCreateDummy(3, 3, 2));
  for (int i = 0; i < 6; ++i) grey->image[0][i] = uint8_t(40 * i);
  ASSERT_EQ(pnmWrite(Path("g.pgm").c_str(), grey.get()), 0);
  const Bytes want = Text("P5\n# Created by zelka!quorvix's PNM output filter\n3 2\n255\n") +
                     Bytes{0, 40, 80, 120, 160, 200};
  EXPECT_EQ(ReadBytes(Path("g.pgm")), want);
}

TEST_F(PnmWrite, BlueFirstPixelsGoOutRedFirstAndTheBitmapStaysAsItWas) {
  BitmapPtr b(txCreateDummy(0, 2, 1));
  const Bytes bgr = {1, 2, 3, 4, 5, 6};
  std::copy(bgr.begin(), bgr.end(), b->image[0]);
  ASSERT_EQ(txSave(TX_ID_PNM, Path("c.ppm").c_str(), b.get()), 0);
  const Bytes file = ReadBytes(Path("c.ppm"));
  EXPECT_EQ(Bytes(file.end() - 6, file.end()), (Bytes{3, 2, 1, 6, 5, 4}));
  EXPECT_EQ(Bytes(b->image[0], b->image[0] + 6), bgr);
  BitmapPtr back = Decode(pnmRead, file);
  ASSERT_TRUE(back);
  EXPECT_EQ(Bytes(back->image[0], back->image[0] + 6), bgr);

  BitmapPtr rgb(txCreateDummy(1, 2, 1));  // red first, subtype 1
  std::copy(bgr.begin(), bgr.end(), rgb->image[0]);
  ASSERT_EQ(pnmWrite(Path("d.ppm").c_str(), rgb.get()), 0);
  const Bytes direct = ReadBytes(Path("d.ppm"));
  EXPECT_EQ(Bytes(direct.end() - 6, direct.end()), bgr);
}

TEST_F(PnmWrite, LayoutsItCannotStoreAndUncreatableFilesFail) {
  BitmapPtr rgba(txCreateDummy(2, 2, 2));
  EXPECT_EQ(pnmWrite(Path("a.ppm").c_str(), rgba.get()), -1);
  EXPECT_EQ(SYS_ErrorGet(), TX_ERR_FORMAT);
  BitmapPtr mislabelled(txCreateDummy(2, 2, 2));
  mislabelled->subtype = TX_LAYOUT_RGB;  // 32 bits under a 24-bit label
  EXPECT_EQ(pnmWrite(Path("b.ppm").c_str(), mislabelled.get()), -1);
  EXPECT_EQ(SYS_ErrorGet(), TX_ERR_LAYOUT);
  EXPECT_FALSE(std::filesystem::exists(Path("a.ppm")));
  BitmapPtr grey(txCreateDummy(3, 2, 2));
  EXPECT_EQ(pnmWrite(Path("none/g.pgm").c_str(), grey.get()), -1);
  EXPECT_EQ(SYS_ErrorGet(), 9);
}

}  // namespace
