// Scene 1 through the recording OpenGL table, with cell-grid values the
// test chooses: the logo layer's frames, where the tiles sit and how they
// fade in each phase.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "demo/frame_loop.h"
#include "demo/procedural.h"
#include "demo/resources.h"
#include "demo/scenes.h"
#include "demo_harness.h"

namespace {

using ember_test::GlCall;
using ember_test::GlRecorder;
using ember_test::ProbeFrames;
using ember_test::ScopedProbeEffect;

constexpr int32_t kLogoTag = 9101;
constexpr float kW = 0.025f, kH = 0.033333335f;

// One tile's transform and picture as recorded.
struct Tile {
  double x, y;
  double rotX, rotY, rotZ;
};

class LogoTiles : public ::testing::Test {
protected:
  void SetUp() override {
    std::memcpy(savedGrid_, CellGrid, sizeof savedGrid_);
    for (int i = 0; i < CELL_COLUMNS; ++i)
      for (int j = 0; j < CELL_ROWS; ++j)
        CellGrid[i][j] = TCell{0.25f, -0.125f, 0.375f, 0.5f};
  }
  void TearDown() override { std::memcpy(CellGrid, savedGrid_, sizeof savedGrid_); }

  std::vector<GlCall> Record(int32_t t) {
    DemoTime = t;
    SyncValue = SyncValueForTime(t);
    GlRecorder recorder;
    Scene1();
    return recorder.calls();
  }

  // The tiles in drawing order, read back from the corners of the quads
  // they reach OpenGL as: the centre is the tile's translation, and the
  // turned edges give the angles of its rotations about x, then y, then z.
  static std::vector<Tile> Tiles(const std::vector<GlCall> &calls) {
    std::vector<Tile> tiles;
    const GlCall *draw = ember_test::Find(calls, "glDrawArrays");
    if (!draw) return tiles;
    const std::vector<float> &p = draw->arrays.at(GL_VERTEX_ARRAY);
    constexpr double kDegrees = 180 / 3.14159265358979323846;
    for (size_t q = 0; q + 12 <= p.size(); q += 12) {
      auto corner = [&](int c, int a) { return static_cast<double>(p[q + 3 * c + a]); };
      Tile tile{};
      tile.x = (corner(0, 0) + corner(1, 0) + corner(2, 0) + corner(3, 0)) / 4;
      tile.y = (corner(0, 1) + corner(1, 1) + corner(2, 1) + corner(3, 1)) / 4;
      double ex[3], ey[3];  // the turned unit x and y axes
      for (int a = 0; a < 3; ++a) {
        ex[a] = (corner(1, a) - corner(0, a)) / kW;
        ey[a] = (corner(2, a) - corner(1, a)) / kH;
      }
      const double ez1 = ex[2] * ey[0] - ex[0] * ey[2], ez2 = ex[0] * ey[1] - ex[1] * ey[0];
      tile.rotY = std::asin(std::clamp(ex[1] * ey[2] - ex[2] * ey[1], -1.0, 1.0)) * kDegrees;
      tile.rotZ = std::atan2(-ey[0], ex[0]) * kDegrees;
      tile.rotX = std::atan2(-ez1, ez2) * kDegrees;
      tiles.push_back(tile);
    }
    return tiles;
  }

  static double TileAlpha(const std::vector<GlCall> &calls) {
    for (const GlCall &call : calls)
      if (call.name == "glColor4f") return call.args[3];
    return -1;
  }

  TCell savedGrid_[CELL_COLUMNS][CELL_ROWS];
};

TEST_F(LogoTiles, TheLogoLayerRunsOnTheSyncClockAndHoldsFrame333) {
  ScopedProbeEffect logo(IfeVantorLogo, kLogoTag);
  // sync 960 / 8 = 120.
  EXPECT_EQ(ProbeFrames(Record(1000), kLogoTag), (std::vector<float>{120}));
  // 2775 ms: sync 2664, frame exactly 333; one more sync unit passes it.
  EXPECT_EQ(ProbeFrames(Record(2775), kLogoTag), (std::vector<float>{333}));
  EXPECT_EQ(ProbeFrames(Record(2777), kLogoTag), (std::vector<float>{333}));
  EXPECT_EQ(ProbeFrames(Record(6000), kLogoTag), (std::vector<float>{333}));
  // In the break-up the logo is drawn a second time.
  EXPECT_EQ(ProbeFrames(Record(6001), kLogoTag), (std::vector<float>{333, 333}));
  EXPECT_EQ(ProbeFrames(Record(7999), kLogoTag), (std::vector<float>{333, 333}));
}

TEST_F(LogoTiles, BetweenFiveAndSixSecondsEveryTileSitsInItsCell) {
  for (int32_t t : {5000, 5500, 6000}) {
    const std::vector<GlCall> calls = Record(t);
    const std::vector<Tile> tiles = Tiles(calls);
    ASSERT_EQ(tiles.size(), 4800u);
    EXPECT_EQ(TileAlpha(calls), 1.0) << t;
    for (int i = 0; i < CELL_COLUMNS; ++i)
      for (int j = 0; j < CELL_ROWS; ++j) {
        const Tile &tile = tiles[static_cast<size_t>(i * CELL_ROWS + j)];
        const float fi = static_cast<float>(i), fj = static_cast<float>(j);
        ASSERT_NEAR(tile.x, kW / 2 + fi * kW - 1, 1e-6) << i << "," << j;
        ASSERT_NEAR(tile.y, kH / 2 + fj * kH - 1, 1e-6) << i << "," << j;
        ASSERT_EQ(tile.rotX, 0);
        ASSERT_EQ(tile.rotY, 0);
        ASSERT_EQ(tile.rotZ, 0);
      }
  }
}

TEST_F(LogoTiles, TilesArriveFromTheLeftAndLeaveToTheRight) {
  // t = 4000: s = 1000, F = 0.25; t = 7000: the same s and F.
  const Tile arriving = Tiles(Record(4000))[0];
  const Tile leaving = Tiles(Record(7000))[0];
  const float home = kW / 2 - 1;
  // x drifts by d * s / 4000 * F * F = 0.5 * 1000 / 4000 / 16.
  EXPECT_NEAR(arriving.x, home - 0.0078125, 1e-6);
  EXPECT_NEAR(leaving.x, home + 0.0078125, 1e-6);
  // y by ((s / 100) * F * a) / 50, the same in both phases.
  EXPECT_NEAR(arriving.y, kH / 2 - 1 + 0.0125, 1e-6);
  EXPECT_NEAR(leaving.y, arriving.y, 1e-7);
  // The spin is a * s / 10 * F degrees about x, b about y, c about z (read
  // back from float corners a fortieth of a unit apart).
  EXPECT_NEAR(arriving.rotX, 6.25, 1e-3);
  EXPECT_NEAR(arriving.rotY, -3.125, 1e-3);
  EXPECT_NEAR(arriving.rotZ, 9.375, 1e-3);
}

TEST_F(LogoTiles, TheTilesFadeInBeforeTheStillPictureAndOutAfterIt) {
  // Alpha 1 - F: below 0 (clamped by OpenGL) until 3000 ms.
  EXPECT_FLOAT_EQ(static_cast<float>(TileAlpha(Record(0))), 1 - 6.25f);
  EXPECT_FLOAT_EQ(static_cast<float>(TileAlpha(Record(3000))), 0);
  EXPECT_FLOAT_EQ(static_cast<float>(TileAlpha(Record(4000))), 0.75f);
  EXPECT_FLOAT_EQ(static_cast<float>(TileAlpha(Record(6001))), 1 - 0.00000025f);
  EXPECT_FLOAT_EQ(static_cast<float>(TileAlpha(Record(7000))), 0.75f);
}

}  // namespace
