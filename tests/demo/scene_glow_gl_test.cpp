// The glow pass on a real context with the sample pack's blur effects: a
// lit square comes out brighter and with a halo; and the frames of the
// opening, the logo swarm and the closing (the glow passes among them)
// come out identical in two fresh processes.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "demo/glow.h"
#include "demo/resources.h"
#include "demo_harness.h"
#include "window/gl_demo.h"

namespace {

using ember_test::Frame;

class GlowFrames : public ::testing::Test {
protected:
  static void SetUpTestSuite() { ember_test::StartDemo(); }
};

// A grey square over the middle of the current viewport, untextured.
void DrawLitSquare() {
  dgl::glMatrixMode(GL_PROJECTION);
  dgl::glLoadIdentity();
  dgl::glMatrixMode(GL_MODELVIEW);
  dgl::glLoadIdentity();
  dgl::glDisable(GL_TEXTURE_2D);
  dgl::glDisable(GL_BLEND);
  dgl::glDisable(GL_DEPTH_TEST);
  dgl::glColor3f(0.5f, 0.5f, 0.5f);
  dgl::glBegin(GL_QUADS);
  dgl::glVertex2f(-0.25f, -0.25f);
  dgl::glVertex2f(0.25f, -0.25f);
  dgl::glVertex2f(0.25f, 0.25f);
  dgl::glVertex2f(-0.25f, 0.25f);
  dgl::glEnd();
}

TEST_F(GlowFrames, ALitSourceComesOutBrighterWithAHalo) {
  dgl::glViewport(0, 0, ember_test::kFrameWidth, ember_test::kFrameHeight);
  dgl::glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  GlowSourceViewport();
  DrawLitSquare();
  GlowBlurSource(IfeHBlur, 1000);
  // The work texture's square is cleared away; the frame is empty.
  const Frame cleared = ember_test::ReadFrame();
  EXPECT_TRUE(cleared.AllBlack(0, 0, cleared.width, cleared.height));

  DrawLitSquare();
  const Frame source = ember_test::ReadFrame();
  ife_DrawInterface(IfeVBlur, 1000);
  const Frame glow = ember_test::ReadFrame();
  EXPECT_EQ(ember_test::TakeGlError(), static_cast<GLenum>(GL_NO_ERROR));

  // The square covers x 300..500, y 225..375 of the 4:3 viewport.
  ASSERT_NEAR(source.At(400, 300, 0), 128, 1);
  for (int c = 0; c < 3; ++c) EXPECT_GT(glow.At(400, 300, c), source.At(400, 300, c) + 40) << c;
  // Just outside the square, the blur spills light where there was none.
  EXPECT_EQ(source.At(400, 222, 0), 0);
  EXPECT_GT(glow.At(400, 222, 0), 0);
  // Far from it, nothing.
  EXPECT_EQ(glow.At(50, 50, 0), 0);
  EXPECT_EQ(glow.At(750, 550, 0), 0);
}

// Frames of this helper's scenes compared across processes.
const int32_t kDigestTimes[] = {1000, 5500, 7000, 56500, 58000, 114000, 118000,
                                186000, 195000, 210000, 232000};

// Run only in a child started by the test below: writes one digest per
// frame.
TEST_F(GlowFrames, DISABLED_WriteFrameDigests) {
  const std::string file = ember_test::DigestFile();
  ASSERT_FALSE(file.empty());
  std::ofstream out(file);
  for (int32_t t : kDigestTimes) out << t << " " << ember_test::FrameDigest(ember_test::DrawFrame(t)) << "\n";
}

TEST(FreshProcesses, DrawTheSameFrames) {
  const std::string first = ember_test::RunSelfForDigests("GlowFrames.DISABLED_WriteFrameDigests");
  const std::string second = ember_test::RunSelfForDigests("GlowFrames.DISABLED_WriteFrameDigests");
  std::istringstream lines(first);
  size_t count = 0;
  for (std::string line; std::getline(lines, line);) ++count;
  EXPECT_EQ(count, std::size(kDigestTimes));
  EXPECT_EQ(first, second);
}

}  // namespace
