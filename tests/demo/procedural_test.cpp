// The procedural set-up on small inputs made here: which tables follow the
// seeded sequence draw for draw, how the lit pixels become paths, and what
// happens to images with more lit pixels than the tables hold.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <set>
#include <utility>
#include <vector>

#include "demo/procedural.h"
#include "demo/resources.h"

namespace {

// The sequence the set-up must draw from, computed independently.
struct Oracle {
  std::mt19937 mt{DEMO_RANDOM_SEED};
  int32_t Random(int32_t n) {
    const uint64_t r = mt();
    return n <= 0 ? 0 : static_cast<int32_t>((r * static_cast<uint64_t>(n)) >> 32);
  }
  float Unit() { return static_cast<float>(Random(1000)) / 1000.0f; }
  void Skip(unsigned long long draws) { mt.discard(draws); }
};

// Draws taken before each table (with exactly 1591 lit field pixels).
constexpr unsigned long long kRandomTableDraws = 61 * 6;
constexpr unsigned long long kCellDraws = 80 * 60 * 4;
constexpr unsigned long long kFieldPickDraws = 43 * 37 * 20;
constexpr unsigned long long kFieldJitterDraws = 37 * 43 * 2;
constexpr unsigned long long kCloudStart =
    kRandomTableDraws + kCellDraws + kFieldPickDraws + kFieldJitterDraws;

struct Inputs {
  std::vector<uint8_t> raw = std::vector<uint8_t>(EMBERFIELD_RAW_BYTES, 0);
  std::vector<uint8_t> greets = std::vector<uint8_t>(GREETS_TGA_BYTES, 0);
  std::vector<uint8_t> logo = std::vector<uint8_t>(BPLOGO_SMALL_TGA_BYTES, 0);
  std::vector<uint8_t> text = std::vector<uint8_t>(TEXT_TGA_BYTES, 0);
  std::set<std::pair<int, int>> lit;  // field pixels (x, y)

  void Light(int p) {
    raw[p] = 1;
    lit.insert({p % EMBERFIELD_RAW_WIDTH, p / EMBERFIELD_RAW_WIDTH});
  }
  uint8_t &Greets(int f, int i, int j) { return greets[786 + 32768 * f + 256 * j + i]; }
  uint8_t &Glyph(int k, int i, int j) { return text[786 + 1152 * k + 48 * j + i]; }

  TProceduralInputs View() const {
    return {raw.data(), greets.data(), logo.data(), text.data()};
  }
};

// The images the main fixture uses: 1591 lit field pixels; greets frame 0
// and text glyph 0 wholly lit (more than their tables hold); frame 1 and
// glyph 1 with a few pixels only.
Inputs MakeInputs() {
  Inputs in;
  for (int k = 0; k < FIELD_POINTS_MAX; ++k) in.Light(3 * k + 1);
  for (int j = 0; j < 128; ++j)
    for (int i = 0; i < 256; ++i) in.Greets(0, i, j) = 200;
  for (int j = 40; j < 50; ++j)
    for (int i = 100; i < 110; ++i) in.Greets(1, i, j) = 100;
  for (int j = 0; j < 24; ++j)
    for (int i = 0; i < 48; ++i) in.Glyph(0, i, j) = 255;
  for (int i = 0; i < 20; ++i) in.Glyph(1, i, 5) = 51;
  for (int j = 0; j < 256; ++j)
    for (int i = 0; i < 512; ++i)
      if ((i + j) % 97 == 0) {
        uint8_t *p = &in.logo[18 + 4 * (512 * j + i)];
        p[0] = 10, p[1] = 20, p[2] = 30, p[3] = 255;
      }
  return in;
}

int steps = 0;
std::vector<int32_t> uploads;
bool squares_black = true;
bool noise_in_range = true;

void CountStep() { ++steps; }

int32_t FakeUpload(const uint8_t *pixels) {
  for (int row = 0; row < 256; ++row)
    for (int col = 0; col < 256; ++col)
      if (pixels[row * NOISE_WIDTH + col] != 0 ||
          pixels[(768 + row) * NOISE_WIDTH + 1280 + col] != 0)
        squares_black = false;
  if (*std::max_element(pixels, pixels + NOISE_WIDTH * NOISE_HEIGHT) > 254) noise_in_range = false;
  uploads.push_back(700 + static_cast<int32_t>(uploads.size()));
  return uploads.back();
}

void RunSetup(const Inputs &in) {
  steps = 0;
  uploads.clear();
  SetupRandomTables();
  SetupProceduralTables(in.View(), CountStep, FakeUpload);
}

class ProceduralSetup : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    inputs = new Inputs(MakeInputs());
    RunSetup(*inputs);
  }
  static void TearDownTestSuite() { delete inputs; }
  static Inputs *inputs;
};
Inputs *ProceduralSetup::inputs = nullptr;

void ExpectVec(const TVec3 &v, float x, float y, float z) {
  EXPECT_EQ(v.x, x);
  EXPECT_EQ(v.y, y);
  EXPECT_EQ(v.z, z);
}

TEST_F(ProceduralSetup, RandomTablesTakeSixDrawsPerEntryFromTheSeed) {
  Oracle o;
  for (int i = 0; i < RANDOM_TABLE_SIZE; ++i) {
    const float r1 = o.Unit(), r2 = o.Unit(), r3 = o.Unit() - 0.5f, r4 = o.Unit() - 0.5f,
                r5 = o.Unit() - 0.5f, r6 = o.Unit();
    if (i != 0 && i != RANDOM_TABLE_SIZE - 1) continue;
    EXPECT_EQ(R1[i], r1) << i;
    EXPECT_EQ(R2[i], r2) << i;
    EXPECT_EQ(R3[i], r3) << i;
    EXPECT_EQ(R4[i], r4) << i;
    EXPECT_EQ(R5[i], r5) << i;
    EXPECT_EQ(R6[i], r6) << i;
  }
  EXPECT_FLOAT_EQ(R1[0], 0.710f);  // 3051625932 x 1000 / 2^32
  EXPECT_FLOAT_EQ(R2[0], 0.049f);
}

TEST_F(ProceduralSetup, CellGridFollowsTheRandomTables) {
  Oracle o;
  o.Skip(kRandomTableDraws);
  const float a = o.Unit() - 0.5f, b = o.Unit() - 0.5f, c = o.Unit() - 0.5f, d = o.Unit();
  EXPECT_EQ(CellGrid[0][0].a, a);
  EXPECT_EQ(CellGrid[0][0].b, b);
  EXPECT_EQ(CellGrid[0][0].c, c);
  EXPECT_EQ(CellGrid[0][0].d, d);
  o.Skip(kCellDraws - 8);
  const float la = o.Unit() - 0.5f, lb = o.Unit() - 0.5f, lc = o.Unit() - 0.5f, ld = o.Unit();
  EXPECT_EQ(CellGrid[79][59].a, la);
  EXPECT_EQ(CellGrid[79][59].b, lb);
  EXPECT_EQ(CellGrid[79][59].c, lc);
  EXPECT_EQ(CellGrid[79][59].d, ld);
}

TEST_F(ProceduralSetup, CloudsFollowTheFieldPathsDrawForDraw) {
  Oracle o;
  o.Skip(kCloudStart);
  auto scatter = [&](int32_t n, int32_t off) {
    TVec3 v;
    v.x = static_cast<float>(o.Random(n) - off);
    v.y = static_cast<float>(o.Random(n) - off);
    v.z = static_cast<float>(o.Random(n) - off);
    return v;
  };
  TVec3 v = scatter(200, 100);
  ExpectVec(NearCloud[0], v.x, v.y, v.z);
  o.Skip(3 * (CLOUD_SIZE - 2));
  v = scatter(200, 100);
  ExpectVec(NearCloud[CLOUD_SIZE - 1], v.x, v.y, v.z);
  v = scatter(3000, 1500);
  ExpectVec(FarCloud[0], v.x, v.y, v.z);
  o.Skip(3 * (CLOUD_SIZE - 2));
  v = scatter(3000, 1500);
  ExpectVec(FarCloud[CLOUD_SIZE - 1], v.x, v.y, v.z);
}

TEST_F(ProceduralSetup, FieldPathsUseEveryLitPixelExactlyOnceUpright) {
  std::multiset<std::pair<int, int>> used;
  for (const TSplinePath &path : FieldPaths) {
    ASSERT_EQ(path.count, FIELD_PATH_POINTS);
    for (int i = 0; i < FIELD_PATH_POINTS; ++i) {
      const TVec3 &p = path.points[i];
      // x gained a jitter below 1; y was turned upright (33 - y) and jittered.
      const int x = static_cast<int>(std::floor(p.x));
      const int y = 33 - static_cast<int>(std::floor(p.y));
      used.insert({x, y});
      EXPECT_EQ(p.z, 0.0f);
    }
    TVec3 mid;
    SplinePoint(mid, path, 5.0f);  // tangents are in place: an integer t hits its point
    EXPECT_EQ(mid.x, path.points[5].x);
  }
  EXPECT_EQ(used.size(), inputs->lit.size());
  const std::set<std::pair<int, int>> distinct(used.begin(), used.end());
  EXPECT_EQ(distinct, inputs->lit);
  EXPECT_EQ(FieldPointCount, FIELD_POINTS_MAX);
}

TEST_F(ProceduralSetup, CheckerLatticeHoldsTheEvenCellsFromTheTopDown) {
  EXPECT_EQ(CheckerCount, LATTICE_SIZE);
  ExpectVec(CheckerLattice[0], -3.5f, -3.5f, 5.0f);
  ExpectVec(CheckerLattice[LATTICE_SIZE - 1], 3.5f, 3.5f, -7.0f);
}

TEST_F(ProceduralSetup, LogoPointsKeepTheirPixelColours) {
  int expected = 0;
  for (int i = 0; i < 512; ++i)
    for (int j = 0; j < 256; ++j)
      if ((i + j) % 97 == 0) ++expected;
  ASSERT_EQ(LogoCount, expected);
  ExpectVec(LogoPoints[0], 0, 0, 0);  // column-major: column 0 first
  EXPECT_FLOAT_EQ(LogoColors[0][0], 30 / 255.0f);
  EXPECT_FLOAT_EQ(LogoColors[0][2], 10 / 255.0f);
  EXPECT_FLOAT_EQ(LogoColors[0][3], 1.0f);
  for (int i = 0; i < LogoCount; ++i) {
    EXPECT_GE(LogoSpeeds[i], 1.0f);
    EXPECT_LT(LogoSpeeds[i], 2.0f);
    EXPECT_LE(LogoCurves[i], 2);
  }
}

TEST_F(ProceduralSetup, AGlyphWithTooManyPixelsFillsItsRowAndDropsTheRest) {
  // Glyph 0: 1152 lit pixels would give 3456 points; the row holds 1301.
  for (int i = 0; i < GLYPH_PARTICLES; ++i) {
    EXPECT_EQ(GlyphWeights[0][i], 1.0f) << i;
    EXPECT_GE(GlyphPositions[0][i].z, -2.0f);
    EXPECT_LE(GlyphPositions[0][i].z, 0.0f);
    ExpectVec(GlyphRotations[0][i], 0, 0, 0);
    // Nothing was left over to scatter in the row after it.
    ExpectVec(GlyphPositions[1][i], 0, 0, 0);
  }
  // Glyph 1: 20 pixels, three points each; the rest of its row weighs 0.
  EXPECT_EQ(std::count(GlyphWeights[2], GlyphWeights[2] + GLYPH_PARTICLES, 51 / 255.0f), 60);
  EXPECT_EQ(std::count(GlyphWeights[2], GlyphWeights[2] + GLYPH_PARTICLES, 0.0f),
            GLYPH_PARTICLES - 60);
  // The last row is random scatter, unshuffled and weightless.
  for (int i = 0; i < GLYPH_PARTICLES; ++i) EXPECT_EQ(GlyphWeights[14][i], 0.0f);
}

TEST_F(ProceduralSetup, AGreetsFrameWithTooManyPixelsKeepsTheFirstOnes) {
  // Frame 0 is row 1, moved by (+1, -1) after it was read.
  std::multiset<std::pair<float, float>> expected, got;
  int n = 0;
  for (int j = 0; j < 128 && n < IMAGE_PARTICLES; ++j)
    for (int i = 0; i < 256 && n < IMAGE_PARTICLES; ++i, ++n)
      expected.insert({static_cast<float>(127 - i) / 64.0f + 1.0f,
                       static_cast<float>(j - 64) / 64.0f - 1.0f});
  for (int i = 0; i < IMAGE_PARTICLES; ++i) {
    got.insert({ImagePositions[1][i].x, ImagePositions[1][i].y});
    EXPECT_EQ(ImagePositions[1][i].z, 12.0f);
    EXPECT_EQ(ImageWeights[1][i], 200 / 255.0f);
  }
  EXPECT_EQ(got, expected);
}

TEST_F(ProceduralSetup, AShortGreetsFrameRepeatsItsOwnParticles) {
  // Frame 1 is row 2, moved by (-1, -1); its 100 pixels fill all 3391 places.
  std::set<std::pair<float, float>> pixels;
  for (int j = 40; j < 50; ++j)
    for (int i = 100; i < 110; ++i)
      pixels.insert({static_cast<float>(127 - i) / 64.0f - 1.0f,
                     static_cast<float>(j - 64) / 64.0f - 1.0f});
  std::set<std::pair<float, float>> seen;
  for (int i = 0; i < IMAGE_PARTICLES; ++i) {
    const std::pair<float, float> p{ImagePositions[2][i].x, ImagePositions[2][i].y};
    EXPECT_TRUE(pixels.count(p)) << i;
    seen.insert(p);
    EXPECT_EQ(ImageWeights[2][i], 100 / 255.0f);
  }
  EXPECT_EQ(seen.size(), pixels.size());
}

TEST_F(ProceduralSetup, ImagePathsRunThroughTheSixteenKeyRows) {
  for (int i : {0, 1234, IMAGE_PARTICLES - 1}) {
    const TSplinePath &path = ImagePaths[i];
    ASSERT_EQ(path.count, IMAGE_ROWS);
    for (int r = 0; r < IMAGE_ROWS; ++r) {
      TVec3 p;
      SplinePoint(p, path, static_cast<float>(r));
      ExpectVec(p, ImagePositions[r][i].x, ImagePositions[r][i].y, ImagePositions[r][i].z);
    }
  }
  for (int i = 0; i < IMAGE_PARTICLES; ++i) {
    EXPECT_EQ(ImageWeights[0][i], 0.0f);
    EXPECT_EQ(ImageWeights[15][i], 0.0f);
  }
}

TEST_F(ProceduralSetup, NoiseTexturesAreBlackInTheirTwoSquaresAndTheBarMoves32Times) {
  EXPECT_EQ(steps, 32);
  ASSERT_EQ(uploads.size(), static_cast<size_t>(NOISE_TEXTURES));
  EXPECT_TRUE(squares_black);
  EXPECT_TRUE(noise_in_range);
  for (int t = 0; t < NOISE_TEXTURES; ++t) EXPECT_EQ(NoiseTextures[t], uploads[t]);
}

TEST_F(ProceduralSetup, SpritesAndRingPeriodsStayInTheirRanges) {
  for (int i = 0; i < SPRITE_COUNT; ++i) {
    const TVec3 &p = SpriteField.position[i];
    EXPECT_TRUE(p.x >= -1000 && p.x <= 999 && p.y >= -1000 && p.y <= 999) << i;
    EXPECT_TRUE(p.z >= 0 && p.z <= 7999) << i;
  }
  for (int32_t period : RingPeriods) {
    EXPECT_GE(period, -15999);
    EXPECT_LE(period, -8000);
  }
  for (int i = 0; i < TORUS_RINGS; ++i)
    for (int j = 0; j < TORUS_SIDES; ++j) {
      const TVec3 &p = TorusPositions[i][j];
      const float ring = std::sqrt(p.x * p.x + p.y * p.y);
      EXPECT_NEAR(ring, 3.0 + std::cos(j * M_PI / 30), 0.08);
    }
}

TEST_F(ProceduralSetup, TwoRunsBuildIdenticalTables) {
  const std::vector<TVec3> volume(&RandomVolume[0][0][0], &RandomVolume[0][0][0] + 128 * 128 * 48);
  const std::vector<TVec3> image(&ImagePositions[0][0], &ImagePositions[0][0] + 16 * 3391);
  std::vector<int32_t> periods(RingPeriods, RingPeriods + RING_PERIODS);
  RunSetup(*inputs);
  EXPECT_EQ(std::memcmp(volume.data(), RandomVolume, sizeof RandomVolume), 0);
  EXPECT_EQ(std::memcmp(image.data(), ImagePositions, sizeof ImagePositions), 0);
  EXPECT_EQ(periods, std::vector<int32_t>(RingPeriods, RingPeriods + RING_PERIODS));
}

TEST(ProceduralSetupSparse, AFieldWithFewLitPixelsStillBuildsEveryPathFromThem) {
  Inputs in = MakeInputs();
  std::fill(in.raw.begin(), in.raw.end(), 0);
  in.lit.clear();
  for (int k = 0; k < 100; ++k) in.Light(61 * k + 5);
  RunSetup(in);
  EXPECT_EQ(FieldPointCount, 100);
  for (const TSplinePath &path : FieldPaths)
    for (int i = 0; i < FIELD_PATH_POINTS; ++i) {
      const std::pair<int, int> p{static_cast<int>(std::floor(path.points[i].x)),
                                  33 - static_cast<int>(std::floor(path.points[i].y))};
      EXPECT_TRUE(in.lit.count(p)) << p.first << "," << p.second;
    }
  EXPECT_EQ(steps, 32);
}

}  // namespace
