// The loader's own log lines: those written whatever the options, and a
// load's trace under the option "debug-tl".
#include <gtest/gtest.h>

#include "framework/core_test_util.h"
#include "gl_test_log.h"
#include "image_test_util.h"
#include "texture/convert.h"
#include "texture/formats.h"
#include "texture/s3tc.h"

using namespace ember_test;

namespace {

// Expects the lines to appear in this order.
void ExpectInOrder(const std::string &text, std::initializer_list<std::string> lines) {
  size_t at = 0;
  for (const std::string &line : lines) {
    const size_t found = text.find(line, at);
    ASSERT_NE(found, std::string::npos) << "missing or out of order: " << line << "in\n" << text;
    at = found + line.size();
  }
}

class LoaderLog : public LoaderTest {
protected:
  TempDir dir_;
};

TEST_F(LoaderLog, LinesWrittenWhateverTheOptions) {
  ScopedCwd cwd(dir_.path());
  WriteBytes(dir_.path() / "q.bmp", Fixture("quadrants_netpbm24.bmp"));
  GlTestLog log;
  txSetParam(2, 2);
  BitmapPtr b(txCreateDummy(0, 8, 4));
  txScale(b.get(), 4, 2);
  txScale(b.get(), 16, 16);
  txScale(b.get(), 2, 16);
  ASSERT_EQ(tgaWrite("out.tga", b.get()), 0);
  const uint8_t block[8] = {};
  uint8_t pixels[4 * 4 * 3];
  ddsDecodeDXT1(block, pixels, 4, 4, 24);
  txSetParam(2, 0);
  BitmapPtr q(txLoad("q.bmp"));
  ASSERT_TRUE(q);
  ExpectInOrder(log.Text(), {"[TL] Set texture quality: 2\n", "[TL] !!! --- scale to 4x2\n",
                             "[TL] !!! --- scale to 16x16\n",
                             "[TL] !!! Magnify ... please implement me.\n",
                             "[TL] !!! --- scale to 2x16\n",
                             "[TL] !!! Scale ... please implement me.\n",
                             "[TL][tga] smp->type: 0\n", "[TL][tga] smp->subtype: 0\n",
                             "[TL][dds] wxh 4x4\n", "[TL][dds] d: 3\n",
                             "[TL] Set texture quality: 0\n"});
  EXPECT_FALSE(log.Has("[TL] Load bitmap")) << "a trace line without the option";
}

TEST_F(LoaderLog, DebugOptionTracesALoad) {
  ScopedCwd cwd(dir_.path());
  WriteBytes(dir_.path() / "q.bmp", Fixture("quadrants_netpbm24.bmp"));
  SetArgs({"-debug-tl"});
  txInit(nullptr);
  txSetParam(4, 1);
  {
    GlTestLog log;
    BitmapPtr q(txLoad("q.bmp"));
    ASSERT_TRUE(q);
    EXPECT_EQ(txLoad("none.bmp"), nullptr);
    EXPECT_EQ(txSave(99, "x.img", q.get()), -1);
    EXPECT_EQ(txSave(TX_ID_PNG, "q.png", q.get()), 0);
    ExpectInOrder(log.Text(), {"[TL] Load bitmap: q.bmp\n", "[TL] type: Windows bitmap (BMP)\n",
                               "[TL][bmp] BMP: q.bmp\n", "[TL] size: 7x5 bits: 24\n",
                               "[TL] imagesize: 105\n", "[TL] Load bitmap: q_a.bmp\n",
                               "[TL]  ! unable to open texture (q_a.bmp).\n",
                               "[TL] alpha map not found.\n", "[TL] ---\n",
                               "[TL] Horizontal flipping.\n",
                               "[TL]  ! unable to open texture (none.bmp).\n",
                               "[TL]  ! unknown format.\n",
                               "[TL]  ! saving with zelka!quorvix's PNG filter\n"});
  }
  SetArgs({});
}

}  // namespace
