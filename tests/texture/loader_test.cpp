// The image loader: identification through the filter table, the load
// sequence over the file system (alpha maps, channel order, flipping, the
// texture qualities), its failures, and the bitmap utilities.
#include <gtest/gtest.h>

#include "image_test_util.h"
#include "texture/formats.h"

using namespace ember_test;

namespace {

std::vector<std::pair<int32_t, std::string>> &CallbackCalls() {
  static std::vector<std::pair<int32_t, std::string>> calls;
  return calls;
}
void RecordCallback(int32_t code, const char *name) { CallbackCalls().push_back({code, name}); }

// Loads run in a scratch folder with a recording error callback.
class Load : public LoaderTest {
protected:
  void SetUp() override {
    LoaderTest::SetUp();
    cwd_ = std::make_unique<ScopedCwd>(dir_.path());
    CallbackCalls().clear();
    SYS_ErrorSetCallback(RecordCallback);
    liveBlocks_ = SYS_MemLiveCount();
  }
  void TearDown() override {
    SYS_ErrorSetCallback(nullptr);
    cwd_.reset();
    LoaderTest::TearDown();
  }
  void Write(const std::string &name, const Bytes &bytes) { WriteBytes(dir_.path() / name, bytes); }
  // A top-row-first 24-bit TGA whose pixel i holds Ramp's bytes.
  void WriteRampTga(const std::string &name, uint16_t w, uint16_t h) {
    TgaSpec s;
    s.width = w;
    s.height = h;
    s.pixels = Ramp(size_t(w) * h, 3);
    Write(name, MakeTga(s));
  }
  void WriteGreyTga(const std::string &name, uint16_t w, uint16_t h, uint8_t first) {
    TgaSpec s;
    s.imageType = 3;
    s.bits = 8;
    s.width = w;
    s.height = h;
    for (size_t i = 0; i < size_t(w) * h; ++i) s.pixels.push_back(uint8_t(first + i));
    Write(name, MakeTga(s));
  }

  TempDir dir_;
  std::unique_ptr<ScopedCwd> cwd_;
  size_t liveBlocks_ = 0;
};

}  // namespace

// ---- identification -----------------------------------------------------------

TEST(FilterTable, ListsTheEightFormatsInProbingOrder) {
  std::vector<int32_t> ids;
  for (const txFilter *const *row = txFilters; *row; ++row) ids.push_back((*row)->id);
  EXPECT_EQ(ids, (std::vector<int32_t>{TX_ID_BMP, TX_ID_PNG, TX_ID_TGA, TX_ID_JPEG, TX_ID_DDS,
                                       TX_ID_QTX, TX_ID_PNM, TX_ID_DICOM}));
  EXPECT_STREQ(txFilters[2]->description, "Targa (TGA)");
  EXPECT_EQ(txFilters[0]->write, nullptr);  // BMP is read only
  EXPECT_NE(txFilters[2]->write, nullptr);
}

TEST(FilterTable, IdentificationNeverLooksPastTheBuffer) {
  // Every prefix of real files: a test must not accept what it cannot see.
  for (const char *name : {"quadrants_netpbm24.bmp", "quadrants_netpbm24.tga"}) {
    const Bytes file = Fixture(name);
    for (size_t n = 0; n <= 20; ++n) {
      Bytes prefix(file.begin(), file.begin() + long(n));
      const txFilter *f = txIdentify(prefix.data(), prefix.size());
      const bool bmp = name[std::strlen(name) - 1] == 'p';
      if (bmp && n >= 2) EXPECT_EQ(f, txFilters[0]) << n;
      else if (!bmp && n >= 8) EXPECT_EQ(f, txFilters[2]) << n;
      else EXPECT_EQ(f, nullptr) << name << " " << n;
    }
  }
  EXPECT_EQ(txIdentify(nullptr, 0), nullptr);
  EXPECT_EQ(SYS_ErrorGet(), TX_ERR_FORMAT);
}

TEST_F(Load, TheFirstBytesDecideNotTheName) {
  Write("picture.jpg", Fixture("quadrants_netpbm24.bmp"));
  BitmapPtr b(txLoad("picture.jpg"));
  ASSERT_TRUE(b);
  EXPECT_EQ(b->id, TX_ID_BMP);
  b.reset();

  Write("noise.tga", Bytes(200, 0x55));
  EXPECT_FALSE(txLoad("noise.tga"));
  EXPECT_EQ(SYS_ErrorGet(), TX_ERR_FORMAT);
  EXPECT_EQ(SYS_MemLiveCount(), liveBlocks_);
}

TEST_F(Load, AMissingFileFailsWithCode1WithoutTheErrorCallback) {
  EXPECT_FALSE(txLoad("nowhere.tga"));
  EXPECT_EQ(SYS_ErrorGet(), 1);
  EXPECT_FALSE(txLoad(nullptr));
  EXPECT_EQ(SYS_ErrorGet(), 1);
  EXPECT_TRUE(CallbackCalls().empty());
  EXPECT_EQ(SYS_MemLiveCount(), liveBlocks_);
}

TEST_F(Load, DecodingFailuresKeepTheReadersCodeAndFreeEverything) {
  Bytes truncated = Fixture("quadrants_netpbm24.tga");
  truncated.resize(truncated.size() - 1);
  Write("cut.tga", truncated);
  EXPECT_FALSE(txLoad("cut.tga"));
  EXPECT_EQ(SYS_ErrorGet(), TX_ERR_SHORT);
  Write("four.bmp", Fixture("palette_magick4.bmp"));
  EXPECT_FALSE(txLoad("four.bmp"));
  EXPECT_EQ(SYS_ErrorGet(), TX_ERR_DEPTH);
  EXPECT_EQ(SYS_MemLiveCount(), liveBlocks_);
}

// ---- parameters applied by the load ---------------------------------------------

TEST_F(Load, WantedOrderSwapsTrueColourButLeavesGreyAsRead) {
  Write("q.tga", Fixture("quadrants_netpbm24.tga"));
  Write("g.tga", Fixture("grey_netpbm8.tga"));
  txSetParam(3, TX_RED_FIRST);
  BitmapPtr q(txLoad("q.tga"));
  ASSERT_TRUE(q);
  EXPECT_EQ(q->type, TX_RED_FIRST);
  ExpectSamePixels(q.get(), ReadPnm("quadrants.ppm"), false);

  BitmapPtr g(txLoad("g.tga"));
  ASSERT_TRUE(g);
  EXPECT_EQ(g->type, TX_BLUE_FIRST);
  EXPECT_EQ(SYS_ErrorGet(), TX_ERR_FORMAT);  // the refused swap's code stays
  ExpectSamePixels(g.get(), ReadPnm("grey.pgm"), false);
}

TEST_F(Load, FlipTurnsTheRowsOver) {
  WriteRampTga("r.tga", 2, 3);
  txSetParam(4, 1);
  BitmapPtr b(txLoad("r.tga"));
  ASSERT_TRUE(b);
  const Bytes ramp = Ramp(6, 3);
  EXPECT_EQ(Bytes(b->image[0], b->image[0] + 6), Bytes(ramp.begin() + 12, ramp.end()));
  EXPECT_EQ(Bytes(b->image[0] + 12, b->image[0] + 18), Bytes(ramp.begin(), ramp.begin() + 6));
}

TEST_F(Load, QualityHalvesOrQuartersOneLevelImages) {
  WriteRampTga("big.tga", 256, 128);
  WriteRampTga("thin.tga", 1, 8);
  txSetParam(2, 1);
  BitmapPtr half(txLoad("big.tga"));
  ASSERT_TRUE(half);
  EXPECT_EQ(half->width, 128);
  EXPECT_EQ(half->height, 64);
  EXPECT_EQ(half->imagesize[0], 128u * 64 * 3);

  BitmapPtr thin(txLoad("thin.tga"));  // a target width of 0 cannot be made
  ASSERT_TRUE(thin);
  EXPECT_EQ(thin->width, 1);
  EXPECT_EQ(thin->height, 8);

  txSetParam(2, 2);
  BitmapPtr quarter(txLoad("big.tga"));
  ASSERT_TRUE(quarter);
  EXPECT_EQ(quarter->width, 64);
  EXPECT_EQ(quarter->height, 32);
  txSetParam(2, 7);  // any other value is a quarter too
  BitmapPtr other(txLoad("big.tga"));
  EXPECT_EQ(other->width, 64);
}

// A PNG in the library's sample layout (16-bit samples, grey with alpha in
// 32 bits, packed rows) with neither an alpha map nor a quality to apply
// comes back as read; the flip turns its whole rows over.
TEST_F(Load, PngSampleLayoutsWithNothingToApplyAreOnlyFlipped) {
  txSetParam(4, 1);
  for (const char *name : {"basn4a16", "basn2c16", "basn0g01-30"}) {
    const Bytes file = Fixture(std::string("png/") + name + ".png");
    Write("p.png", file);
    BitmapPtr want = Decode(pngRead, file);
    BitmapPtr b(txLoad("p.png"));
    ASSERT_TRUE(b && want) << name;
    EXPECT_EQ(b->type, TX_RED_FIRST) << name;
    EXPECT_EQ(b->subtype, TX_LAYOUT_OTHER) << name;
    ASSERT_EQ(b->width, want->width) << name;
    ASSERT_EQ(b->imagesize[0], want->imagesize[0]) << name;
    const size_t row = b->imagesize[0] / size_t(b->height);
    for (int32_t y = 0; y < b->height; ++y)
      ASSERT_EQ(0, memcmp(b->image[0] + size_t(y) * row,
                          want->image[0] + size_t(b->height - 1 - y) * row, row))
          << name << " row " << y;
  }
}

// One pixel wide, an image has no half or quarter to scale to, so the
// quality leaves it as read: a palette PNG keeps its indices and palette,
// a packed or 16-bit one the library's layout. netpbm's reading of the
// 8-bit palette file checks what its indices name.
TEST_F(Load, OnePixelWidePngsTheQualityCannotScaleComeBackAsRead) {
  struct Case {
    const char *name;
    int32_t bits, subtype;
  };
  for (int32_t quality : {1, 2}) {
    txSetParam(2, quality);
    for (const Case &c : {Case{"basn3p08-col5", 8, TX_LAYOUT_INDEXED}, Case{"basn3p08-1x8", 4, TX_LAYOUT_OTHER},
                          Case{"basn2c16-1x8", 48, TX_LAYOUT_OTHER}}) {
      SCOPED_TRACE(std::string(c.name) + " at quality " + std::to_string(quality));
      const Bytes file = Fixture(std::string("png/") + c.name + ".png");
      Write("p.png", file);
      BitmapPtr want = Decode(pngRead, file);
      BitmapPtr b(txLoad("p.png"));
      ASSERT_TRUE(b && want);
      EXPECT_EQ(b->bits, c.bits);
      EXPECT_EQ(b->subtype, c.subtype);
      EXPECT_EQ(b->type, TX_RED_FIRST);
      EXPECT_EQ(b->width, 1);
      EXPECT_EQ(b->height, want->height);
      ASSERT_EQ(b->imagesize[0], want->imagesize[0]);
      EXPECT_EQ(0, memcmp(b->image[0], want->image[0], b->imagesize[0]));
      if (c.subtype != TX_LAYOUT_INDEXED) continue;
      ASSERT_TRUE(b->palette);
      const Pnm pam = ReadPnm(std::string("png/") + c.name + ".pam");
      for (int y = 0; y < pam.height; ++y)
        for (int ch = 0; ch < 3; ++ch)
          EXPECT_EQ(b->palette[4 * size_t(b->image[0][y]) + size_t(ch)], pam.at(0, y)[ch]) << y;
    }
  }
}

// The quality and the alpha map apply to such a PNG once it is unpacked
// (and to a palette image once its indices are colours): netpbm's reading
// of the file, taken to bytes, averaged over 2 x 2 blocks, with the alpha
// map's grey as alpha where the image is true colour.
TEST_F(Load, PngSampleLayoutsAreUnpackedThenTakeTheirAlphaMapAndQuality) {
  txSetParam(2, 1);
  struct Case {
    const char *name;
    int32_t bits, subtype;
  };
  for (const Case &c : {Case{"basn2c16", 32, TX_LAYOUT_RGBA}, Case{"basn6a16", 32, TX_LAYOUT_RGBA},
                        Case{"basn4a16", 32, TX_LAYOUT_RGBA}, Case{"basn0g04", 8, TX_LAYOUT_GREY},
                        Case{"basn3p02", 24, TX_LAYOUT_RGB}, Case{"basn3p08", 24, TX_LAYOUT_RGB}}) {
    SCOPED_TRACE(c.name);
    Write("p.png", Fixture(std::string("png/") + c.name + ".png"));
    WriteGreyTga("p_a.png", 32, 32, 0);  // grey i at pixel i, wrapping at 256
    BitmapPtr b(txLoad("p.png"));
    ASSERT_TRUE(b);
    EXPECT_EQ(b->width, 16);
    EXPECT_EQ(b->height, 16);
    EXPECT_EQ(b->bits, c.bits);
    EXPECT_EQ(b->subtype, c.subtype);
    EXPECT_EQ(b->imagesize[0], uint32_t(16 * 16 * c.bits / 8));
    if (c.bits == 8) continue;
    const Pnm want = ReadPnm(std::string("png/") + c.name + ".pam");
    for (int y = 0; y < 16; y += 5) {
      for (int x = 0; x < 16; x += 5) {
        const uint8_t *p = PixelAt(b.get(), x, y);
        // The alpha map's 2 x 2 block: (i + (i + 1) + (i + 32) + (i + 33)) / 4.
        const int i = 64 * y + 2 * x;
        if (c.bits == 32) {
          EXPECT_EQ(p[3], ((i % 256) + (i + 1) % 256 + (i + 32) % 256 + (i + 33) % 256) / 4)
              << x << "," << y;
        }
        // Blue first, the loader's wanted order here: the swap applies too.
        EXPECT_EQ(b->type, TX_BLUE_FIRST);
        for (int ch = 0; ch < 3; ++ch) {
          const int from = want.channels >= 3 ? ch : 0;  // grey fills all three
          int sum = 0;
          for (int dy = 0; dy < 2; ++dy)
            for (int dx = 0; dx < 2; ++dx) sum += want.at(2 * x + dx, 2 * y + dy)[from];
          EXPECT_NEAR(p[2 - ch], sum / 4, 1) << x << "," << y << " channel " << ch;
        }
      }
    }
  }
}

// A PNG alpha map in a sample layout gives its unpacked first channel.
TEST_F(Load, APngAlphaMapInASampleLayoutIsUnpackedFirst) {
  WriteRampTga("t.tga", 32, 32);
  Write("t_a.tga", Fixture("png/basn0g16.png"));  // 16-bit grey: refused, 16 bits
  BitmapPtr refused(txLoad("t.tga"));
  ASSERT_TRUE(refused);
  EXPECT_EQ(refused->bits, 24);
  EXPECT_EQ(SYS_ErrorGet(), 0);

  Write("t_a.tga", Fixture("png/basn0g04.png"));  // 4-bit grey
  const Pnm grey = ReadPnm("png/basn0g04.pam");
  BitmapPtr b(txLoad("t.tga"));
  ASSERT_TRUE(b);
  EXPECT_EQ(b->bits, 32);
  for (int i : {0, 33, 500, 1023})
    EXPECT_EQ(b->image[0][4 * size_t(i) + 3], grey.at(i % 32, i / 32)[0]) << i;
}

// ---- alpha maps ---------------------------------------------------------------

TEST_F(Load, AGreyAlphaMapBecomesTheAlphaChannel) {
  WriteRampTga("logo.tga", 3, 2);
  WriteGreyTga("logo_a.tga", 3, 2, 100);
  BitmapPtr b(txLoad("logo.tga"));
  ASSERT_TRUE(b);
  EXPECT_EQ(b->bits, 32);
  EXPECT_EQ(b->subtype, TX_LAYOUT_RGBA);
  EXPECT_EQ(SYS_ErrorGet(), 0);
  const Bytes ramp = Ramp(6, 3);
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(b->image[0][4 * i + 3], 100 + i);
    EXPECT_EQ(b->image[0][4 * i], ramp[3 * size_t(i)]);
  }
}

TEST_F(Load, WithoutAnAlphaMapTheImageKeepsItsDepthAndTheCodeIsClear) {
  WriteRampTga("plain.tga", 2, 2);
  BitmapPtr b(txLoad("plain.tga"));
  ASSERT_TRUE(b);
  EXPECT_EQ(b->bits, 24);
  EXPECT_EQ(b->subtype, TX_LAYOUT_RGB);
  EXPECT_EQ(SYS_ErrorGet(), 0);
}

TEST_F(Load, AlphaMapNames) {
  EXPECT_EQ(txAlphaName("logo.tga"), "logo_a.tga");
  EXPECT_EQ(txAlphaName("a.b.tga"), "a.b_a.tga");
  EXPECT_EQ(txAlphaName("logo"), "logo_a");
  EXPECT_EQ(txAlphaName("data.v2/logo"), "data.v2/logo_a");
  EXPECT_EQ(txAlphaName(std::string(600, 'n') + ".tga"), std::string(600, 'n') + "_a.tga");

  WriteRampTga("noext", 1, 1);
  WriteGreyTga("noext_a", 1, 1, 42);
  BitmapPtr b(txLoad("noext"));
  ASSERT_TRUE(b);
  EXPECT_EQ(b->image[0][3], 42);
}

TEST_F(Load, ASmallAlphaMapCoversOnlyItsOwnPixels) {
  WriteRampTga("big.tga", 4, 2);
  WriteGreyTga("big_a.tga", 1, 3, 7);  // three pixels for eight
  BitmapPtr b(txLoad("big.tga"));
  ASSERT_TRUE(b);
  EXPECT_EQ(b->bits, 32);
  const Bytes alpha = {b->image[0][3],  b->image[0][7],  b->image[0][11], b->image[0][15],
                       b->image[0][19], b->image[0][23], b->image[0][27], b->image[0][31]};
  EXPECT_EQ(alpha, (Bytes{7, 8, 9, 255, 255, 255, 255, 255}));
}

TEST_F(Load, AColourAlphaMapGivesItsFirstChannelAndGreyImagesTakeNoAlpha) {
  WriteRampTga("c.tga", 2, 1);
  WriteRampTga("c_a.tga", 2, 1);  // 24-bit: stride 3, first byte of each pixel
  BitmapPtr c(txLoad("c.tga"));
  ASSERT_TRUE(c);
  EXPECT_EQ(c->image[0][3], 0);
  EXPECT_EQ(c->image[0][7], 10);

  WriteGreyTga("g.tga", 2, 1, 1);
  WriteGreyTga("g_a.tga", 2, 1, 50);
  BitmapPtr g(txLoad("g.tga"));
  ASSERT_TRUE(g);
  EXPECT_EQ(g->bits, 8);
  EXPECT_EQ(g->image[0][0], 1);
  EXPECT_EQ(g->image[0][1], 2);
  EXPECT_EQ(SYS_ErrorGet(), 0);
}

TEST_F(Load, TheAlphaMapIsMergedBeforeTheFlip) {
  WriteRampTga("f.tga", 1, 2);
  WriteGreyTga("f_a.tga", 1, 2, 1);
  txSetParam(4, 1);
  BitmapPtr b(txLoad("f.tga"));
  ASSERT_TRUE(b);
  EXPECT_EQ(b->image[0][0], 10);  // the bottom pixel is now on top ...
  EXPECT_EQ(b->image[0][3], 2);   // ... with its own alpha
}

// ---- custom stream operations ---------------------------------------------------

namespace {
Bytes gMemoryFile;
bool gMemoryOpen = false;
int32_t MemOpen(const char *name) { return name && std::string(name) == "mem" ? 0 : -1; }
uint8_t *MemRead() {
  auto *p = static_cast<uint8_t *>(SYS_MemGet(gMemoryFile.size() + 1, __FILE__, __LINE__, "test"));
  std::memcpy(p, gMemoryFile.data(), gMemoryFile.size());
  gMemoryOpen = true;
  return p;
}
int32_t MemSize() { return int32_t(gMemoryFile.size()); }
int32_t MemClose() {
  gMemoryOpen = false;
  return 0;
}
int32_t MemExist(const char *name) { return MemOpen(name) == 0 ? MemSize() : -1; }
}  // namespace

TEST_F(Load, InstalledStreamOperationsServeTheLoads) {
  txFunctions ops = {MemOpen, MemRead, MemSize, MemClose, MemExist};
  txInit(&ops);
  gMemoryFile = Fixture("alpha_netpbm32.tga");
  BitmapPtr b(txLoad("mem"));
  ASSERT_TRUE(b);
  EXPECT_FALSE(gMemoryOpen);
  ExpectSamePixels(b.get(), ReadPnm("alpha.pam"), true);
  EXPECT_FALSE(txLoad("other"));
}

// ---- parameters and utilities ---------------------------------------------------

TEST_F(Load, SetParamKnowsItsCodes) {
  EXPECT_EQ(txSetParam(10, 1), -1);
  EXPECT_EQ(SYS_ErrorGet(), 10);
  EXPECT_EQ(txSetParam(13, 1), -1);
  EXPECT_EQ(txSetParam(3, 1), 0);
  EXPECT_EQ(txSetParam(12, 99), 1);
  EXPECT_EQ(txSetParam(0x83F1, 1), -1);

  txState.dxt5 = 0;
  SYS_CfgAdd("-disable-dxt5");
  txInit(nullptr);
  SYS_CfgFree();
  EXPECT_EQ(txSetParam(0x83F3, 1), 0);
  EXPECT_EQ(txState.dxt5, 0);
  EXPECT_EQ(txSetParam(0x83F0, 1), 0);
  EXPECT_EQ(txState.dxt1, 1);
}

TEST(BitmapUtilities, CreateDummy) {
  EXPECT_EQ(txCreateDummy(4, 8, 8), nullptr);
  EXPECT_EQ(SYS_ErrorGet(), 10);
  BitmapPtr b(txCreateDummy(2, 8, 8));
  ASSERT_TRUE(b);
  EXPECT_EQ(b->type, 2);
  EXPECT_EQ(b->subtype, 2);
  EXPECT_EQ(b->bits, 32);
  EXPECT_EQ(b->levels, 1);
  EXPECT_EQ(b->imagesize[0], 256u);
  EXPECT_EQ(Bytes(b->image[0], b->image[0] + 256), Bytes(256, 0));
}

TEST(BitmapUtilities, SwapRBSwapsEveryLevelOfTrueColourOnly) {
  BitmapPtr b(txCreateDummy(2, 2, 1));
  for (int i = 0; i < 8; ++i) b->image[0][i] = uint8_t(i);
  EXPECT_EQ(txSwapRB(b.get()), 0);
  EXPECT_EQ(Bytes(b->image[0], b->image[0] + 8), (Bytes{2, 1, 0, 3, 6, 5, 4, 7}));
  EXPECT_EQ(b->type, 2);  // fields stay

  BitmapPtr g(txCreateDummy(3, 2, 1));
  g->image[0][0] = 9;
  EXPECT_EQ(txSwapRB(g.get()), -1);
  EXPECT_EQ(SYS_ErrorGet(), TX_ERR_FORMAT);
  EXPECT_EQ(g->image[0][0], 9);
}

TEST(BitmapUtilities, DupCopiesEveryBufferAndFreeClearsThePointer) {
  EXPECT_EQ(txDup(nullptr), nullptr);
  EXPECT_EQ(SYS_ErrorGet(), TX_ERR_NO_BITMAP);

  const size_t before = SYS_MemLiveCount();
  pxBitmap b = txCreateDummy(0, 4, 4);
  b->image[0][5] = 77;
  b->levels = 2;
  b->image[1] = static_cast<uint8_t *>(SYS_MemGet(12, __FILE__, __LINE__, "level 1"));
  b->imagesize[1] = 12;
  std::memset(b->image[1], 3, 12);
  pxBitmap copy = txDup(b);
  ASSERT_NE(copy, nullptr);
  EXPECT_NE(copy->image[0], b->image[0]);
  EXPECT_NE(copy->image[1], b->image[1]);
  EXPECT_EQ(copy->image[0][5], 77);
  EXPECT_EQ(copy->image[1][11], 3);
  EXPECT_EQ(copy->width, 4);
  EXPECT_EQ(txFree(&b), 0);
  EXPECT_EQ(b, nullptr);
  EXPECT_EQ(txFree(&copy), 0);
  EXPECT_EQ(SYS_MemLiveCount(), before);

  EXPECT_EQ(txFree(nullptr), -1);
  EXPECT_EQ(SYS_ErrorGet(), 10);
  EXPECT_EQ(txFree(&b), -1);
}
