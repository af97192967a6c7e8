// The procedural set-up on small inputs made here: which tables follow the
// seeded sequence draw for draw, how the lit pixels become paths, and what
// happens to images with more lit pixels than the tables hold.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "demo/procedural.h"
#include "demo/resources.h"

namespace {

// The sequence the set-up must draw from, computed independently.
struct Oracle {
  std::mt19937 mt{2056};
  int32_t Random(int32_t n) {
    const uint64_t r = mt();
    return n <= 0 ? 0 : static_cast<int32_t>((r * static_cast<uint64_t>(n)) >> 32);
  }
  float Unit() { return static_cast<float>(Random(1000)) / 1000.0f; }
};

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
std::vector<size_t> noise_hashes;
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
  noise_hashes.push_back(std::hash<std::string_view>{}(
      std::string_view(reinterpret_cast<const char *>(pixels), NOISE_WIDTH * NOISE_HEIGHT)));
  uploads.push_back(700 + static_cast<int32_t>(uploads.size()));
  return uploads.back();
}

void RunSetup(const Inputs &in) {
  steps = 0;
  uploads.clear();
  noise_hashes.clear();
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

// Every table the set-up draws, rebuilt here step by step from the
// oracle's sequence: every draw, in order.
struct Reference {
  float R[6][61];
  TCell cells[80][60];
  TVec3 field[37][43];
  TVec3 nearCloud[4800], farCloud[4800];
  std::vector<TVec3> logo;
  std::vector<float> logoColors, logoSpeeds;
  std::vector<uint8_t> logoCurves;
  TVec3 glyphPos[15][1301], glyphRot[15][1301];
  float glyphWeight[15][1301];
  TVec3 torus[80][60];
  float cloudScales[4800];
  TVec3 volume[128][128][48];
  TVec3 small[2561];
  TVec3 imagePos[16][3391];
  float imageWeight[16][3391];
  TVec3 spritePos[4001], spin[4001];
  std::vector<size_t> noise;
  std::vector<int32_t> periods;
};

std::unique_ptr<Reference> BuildReference(const Inputs &in) {
  auto ref = std::make_unique<Reference>();
  Reference &r = *ref;
  Oracle o;
  auto f = [](int32_t v) { return static_cast<float>(v); };
  auto scatter = [&](int32_t n, int32_t off) {
    return TVec3{f(o.Random(n) - off), f(o.Random(n) - off), f(o.Random(n) - off)};
  };
  for (int i = 0; i <= 60; ++i) {
    r.R[0][i] = o.Unit();
    r.R[1][i] = o.Unit();
    r.R[2][i] = o.Unit() - 0.5f;
    r.R[3][i] = o.Unit() - 0.5f;
    r.R[4][i] = o.Unit() - 0.5f;
    r.R[5][i] = o.Unit();
  }
  for (auto &column : r.cells)
    for (TCell &c : column) c = {o.Unit() - 0.5f, o.Unit() - 0.5f, o.Unit() - 0.5f, o.Unit()};

  struct Pixel {
    int x, y;
    bool used;
  };
  std::vector<Pixel> points;
  for (int p = 0; p < 196 * 32; ++p)
    if (in.raw[p]) points.push_back({p % 196, p / 196, false});
  std::vector<Pixel> pool = points;
  for (int i = 0; i <= 42; ++i)
    for (int j = 0; j <= 36; ++j) {
      Pixel best{};
      for (int k = 0; k < 20; ++k) {
        const Pixel sample = pool[o.Random(static_cast<int32_t>(pool.size()))];
        if (k == 0 || sample.x < best.x) best = sample;
      }
      r.field[j][i] = {f(best.x), f(best.y), 0};
      pool.clear();
      for (Pixel &p : points) {
        if (p.x == best.x && p.y == best.y)
          p.used = true;
        else if (!p.used)
          pool.push_back(p);
      }
    }
  for (auto &path : r.field)
    for (TVec3 &p : path) {
      p.x = p.x + o.Unit();
      p.y = (33 - p.y) + o.Unit();
    }
  for (TVec3 &v : r.nearCloud) v = scatter(200, 100);
  for (TVec3 &v : r.farCloud) v = scatter(3000, 1500);

  for (int i = 0; i < 512; ++i)
    for (int j = 0; j < 256; ++j) {
      const uint8_t *bgra = &in.logo[18 + 4 * (512 * j + i)];
      if (bgra[3] == 0) continue;
      r.logo.push_back({f(i), f(j), 0});
      for (int c : {2, 1, 0, 3}) r.logoColors.push_back(f(bgra[c]) / 255.0f);
    }
  for (size_t i = 0; i < r.logo.size(); ++i) {
    r.logoSpeeds.push_back(1 + o.Unit());
    r.logoCurves.push_back(static_cast<uint8_t>(o.Random(3)));
  }

  for (int i = 0; i <= 1300; ++i)
    for (int row : {0, 14}) {
      r.glyphPos[row][i] = scatter(100, 50);
      r.glyphRot[row][i] = scatter(720, 360);
      r.glyphWeight[row][i] = 0;
    }
  for (int i = 0; i <= 1300; ++i)
    for (int row = 2; row <= 12; row += 2) {
      r.glyphPos[row][i] = scatter(50, 25);
      r.glyphRot[row][i] = scatter(720, 360);
      r.glyphWeight[row][i] = 1;
    }
  for (int k = 0; k <= 6; ++k) {
    int n = 0;
    for (int j = 0; j <= 23; ++j)
      for (int i = 0; i <= 47; ++i) {
        const uint8_t byte = in.text[786 + 1152 * k + 48 * j + i];
        if (byte == 0) continue;
        for (int m = -2; m <= 0; ++m, ++n)
          if (n <= 1300) {
            r.glyphPos[2 * k][n] = {f(i - 24), f(j - 12), f(m)};
            r.glyphRot[2 * k][n] = {0, 0, 0};
            r.glyphWeight[2 * k][n] = f(byte) / 255.0f;
          }
      }
    for (int i = n; i <= 1300; ++i) {
      r.glyphPos[2 * k + 1][i] = scatter(100, 50);
      r.glyphRot[2 * k + 1][i] = scatter(720, 360);
      r.glyphWeight[2 * k][i] = 0;
    }
  }
  for (int row = 0; row <= 13; ++row)
    for (int t = 0; t < 10001; ++t) {
      const int a = o.Random(1301), b = o.Random(1301);
      std::swap(r.glyphPos[row][a], r.glyphPos[row][b]);
      std::swap(r.glyphRot[row][a], r.glyphRot[row][b]);
      std::swap(r.glyphWeight[row][a], r.glyphWeight[row][b]);
    }

  auto jitter = [&] { return f(o.Random(1000) - 500) / 10000.0f; };
  for (int i = 0; i <= 79; ++i)
    for (int j = 0; j <= 59; ++j) {
      const double ring = 3 + std::cos(j / (30 / M_PI));
      const double a = i / (40 / M_PI), b = j / (30 / M_PI);
      const float x = static_cast<float>(ring * std::cos(a) + jitter());
      const float y = static_cast<float>(ring * std::sin(a) + jitter());
      r.torus[i][j] = {x, y, static_cast<float>(std::sin(b) + jitter())};
    }
  for (float &scale : r.cloudScales) scale = 1 + o.Unit();
  for (auto &plane : r.volume)
    for (auto &line : plane)
      for (TVec3 &v : line) v = {o.Unit(), o.Unit(), o.Unit()};
  for (TVec3 &v : r.small)
    v = {f(o.Random(1000) - 500) / 5000.0f, f(o.Random(1000) - 500) / 5000.0f,
         f(o.Random(1000) - 500) / 5000.0f};

  for (int fr = 0; fr <= 13; ++fr) {
    int n = 0;
    for (int j = 0; j <= 127; ++j)
      for (int i = 0; i <= 255; ++i) {
        const uint8_t byte = in.greets[786 + 32768 * fr + 256 * j + i];
        if (byte == 0 || n > 3390) continue;
        r.imagePos[fr + 1][n] = {f(127 - i) / 64.0f, f(j - 64) / 64.0f, f(12 - 4 * fr)};
        r.imageWeight[fr + 1][n++] = f(byte) / 255.0f;
      }
    for (int i = n; i <= 3390; ++i) {
      const int c = o.Random(n);
      r.imagePos[fr + 1][i] = r.imagePos[fr + 1][c];
      r.imageWeight[fr + 1][i] = r.imageWeight[fr + 1][c];
    }
  }
  for (int i = 0; i <= 3390; ++i)
    for (int row : {0, 15}) {
      const float x = f(127 - o.Random(256)) / 32.0f;
      r.imagePos[row][i] = {x, f(o.Random(128) - 64) / 32.0f, 0};
    }
  for (int i = 0; i <= 3390; ++i) {
    for (int row = 6; row <= 9; ++row) {
      TVec3 &p = r.imagePos[row][i];
      p = {p.y, -p.x, p.z};
    }
    for (int row = 10; row <= 13; ++row) {
      TVec3 &p = r.imagePos[row][i];
      p = {-p.x, -p.y, p.z};
    }
    TVec3 &p = r.imagePos[14][i];
    p = {-p.y, p.x, p.z};
  }
  const float shift[5][2] = {{1, -1}, {-1, -1}, {-1, 0}, {0, -1}, {0, 0}};
  for (int row = 1; row <= 5; ++row)
    for (TVec3 &p : r.imagePos[row]) {
      p.x = p.x + shift[row - 1][0];
      p.y = p.y + shift[row - 1][1];
    }
  for (int row = 0; row <= 15; ++row)
    for (int t = 0; t < 20001; ++t) {
      const int a = o.Random(3391), b = o.Random(3391);
      std::swap(r.imagePos[row][a], r.imagePos[row][b]);
      std::swap(r.imageWeight[row][a], r.imageWeight[row][b]);
    }

  for (int i = 0; i <= 4000; ++i) {
    const float x = f(o.Random(2000) - 1000), y = f(o.Random(2000) - 1000);
    r.spritePos[i] = {x, y, f(o.Random(8000))};
    r.spin[i] = scatter(4000, 2000);
  }
  std::string noise(2048 * 1024, '\0');
  for (int t = 0; t <= 9; ++t) {
    for (char &byte : noise) byte = static_cast<char>(o.Random(255));
    for (int row = 0; row < 256; ++row) {
      std::fill_n(noise.begin() + row * 2048, 256, '\0');
      std::fill_n(noise.begin() + (768 + row) * 2048 + 1280, 256, '\0');
    }
    r.noise.push_back(std::hash<std::string>{}(noise));
  }
  for (int i = 0; i <= 7; ++i) r.periods.push_back(-o.Random(8000) - 8000);
  return ref;
}

// The first float of two tables that differs, or none.
::testing::AssertionResult SameFloats(const void *got, const void *want, size_t bytes) {
  const auto *g = static_cast<const float *>(got);
  const auto *w = static_cast<const float *>(want);
  for (size_t i = 0; i < bytes / sizeof(float); ++i)
    if (!(g[i] == w[i]))
      return ::testing::AssertionFailure() << "float " << i << ": " << g[i] << " != " << w[i];
  return ::testing::AssertionSuccess();
}

TEST_F(ProceduralSetup, EveryTableFollowsTheStepsDrawForDraw) {
  EXPECT_FLOAT_EQ(R1[0], 0.710f);  // 3051625932 x 1000 / 2^32
  EXPECT_FLOAT_EQ(R2[0], 0.049f);
  const std::unique_ptr<Reference> ref = BuildReference(*inputs);
  const Reference &r = *ref;
  const float *tables[6] = {R1, R2, R3, R4, R5, R6};
  for (int t = 0; t < 6; ++t) EXPECT_TRUE(SameFloats(tables[t], r.R[t], sizeof r.R[t])) << "R" << t + 1;
  EXPECT_TRUE(SameFloats(CellGrid, r.cells, sizeof r.cells));
  for (int j = 0; j < 37; ++j)
    EXPECT_TRUE(SameFloats(FieldPaths[j].points, r.field[j], sizeof r.field[j])) << "path " << j;
  EXPECT_TRUE(SameFloats(NearCloud, r.nearCloud, sizeof r.nearCloud));
  EXPECT_TRUE(SameFloats(FarCloud, r.farCloud, sizeof r.farCloud));
  ASSERT_EQ(LogoCount, static_cast<int32_t>(r.logo.size()));
  EXPECT_TRUE(SameFloats(LogoPoints, r.logo.data(), r.logo.size() * sizeof(TVec3)));
  EXPECT_TRUE(SameFloats(LogoColors, r.logoColors.data(), r.logoColors.size() * sizeof(float)));
  EXPECT_TRUE(SameFloats(LogoSpeeds, r.logoSpeeds.data(), r.logoSpeeds.size() * sizeof(float)));
  EXPECT_EQ(std::vector<uint8_t>(LogoCurves, LogoCurves + LogoCount), r.logoCurves);
  EXPECT_TRUE(SameFloats(GlyphPositions, r.glyphPos, sizeof r.glyphPos));
  EXPECT_TRUE(SameFloats(GlyphRotations, r.glyphRot, sizeof r.glyphRot));
  EXPECT_TRUE(SameFloats(GlyphWeights, r.glyphWeight, sizeof r.glyphWeight));
  EXPECT_TRUE(SameFloats(TorusPositions, r.torus, sizeof r.torus));
  EXPECT_TRUE(SameFloats(CloudScales, r.cloudScales, sizeof r.cloudScales));
  EXPECT_TRUE(SameFloats(RandomVolume, r.volume, sizeof r.volume));
  EXPECT_TRUE(SameFloats(SmallVectors, r.small, sizeof r.small));
  EXPECT_TRUE(SameFloats(ImagePositions, r.imagePos, sizeof r.imagePos));
  EXPECT_TRUE(SameFloats(ImageWeights, r.imageWeight, sizeof r.imageWeight));
  EXPECT_TRUE(SameFloats(SpriteField.position, r.spritePos, sizeof r.spritePos));
  EXPECT_TRUE(SameFloats(SpriteField.spin, r.spin, sizeof r.spin));
  EXPECT_EQ(noise_hashes, r.noise);
  EXPECT_EQ(std::vector<int32_t>(RingPeriods, RingPeriods + RING_PERIODS), r.periods);
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
  EXPECT_EQ(FieldPointCount, 0);  // every lit pixel taken
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
  EXPECT_EQ(FieldPointCount, 0);
  for (const TSplinePath &path : FieldPaths)
    for (int i = 0; i < FIELD_PATH_POINTS; ++i) {
      const std::pair<int, int> p{static_cast<int>(std::floor(path.points[i].x)),
                                  33 - static_cast<int>(std::floor(path.points[i].y))};
      EXPECT_TRUE(in.lit.count(p)) << p.first << "," << p.second;
    }
  EXPECT_EQ(steps, 32);
}

}  // namespace
