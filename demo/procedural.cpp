// The procedural set-up, step by step in the order of its draws. See
// procedural.h.
#include "demo/procedural.h"

#include <cmath>
#include <cstring>
#include <numbers>
#include <utility>

#include "framework/random.h"
#include "demo/resources.h"
#include "window/gl_demo.h"

float R1[RANDOM_TABLE_SIZE], R2[RANDOM_TABLE_SIZE], R3[RANDOM_TABLE_SIZE], R4[RANDOM_TABLE_SIZE],
    R5[RANDOM_TABLE_SIZE], R6[RANDOM_TABLE_SIZE];
TCell CellGrid[CELL_COLUMNS][CELL_ROWS];
TBitmapPoint FieldPoints[FIELD_POINTS_MAX];
int32_t FieldPointCount = 0;
TSplinePath FieldPaths[FIELD_PATHS];
TVec3 NearCloud[CLOUD_SIZE];
TVec3 FarCloud[CLOUD_SIZE];
TVec3 LogoPoints[LOGO_POINTS_MAX];
float LogoColors[LOGO_POINTS_MAX][4];
float LogoSpeeds[LOGO_POINTS_MAX];
uint8_t LogoCurves[LOGO_POINTS_MAX];
int32_t LogoCount = 0;
TVec3 GlyphPositions[GLYPH_ROWS][GLYPH_PARTICLES];
TVec3 GlyphRotations[GLYPH_ROWS][GLYPH_PARTICLES];
float GlyphWeights[GLYPH_ROWS][GLYPH_PARTICLES];
TVec3 TorusPositions[TORUS_RINGS][TORUS_SIDES];
TVec3 TorusNormals[TORUS_RINGS][TORUS_SIDES];
float CloudScales[CLOUD_SIZE];
TVec3 RandomVolume[VOLUME_A][VOLUME_B][VOLUME_C];
TVec3 CheckerLattice[LATTICE_SIZE];
int32_t CheckerCount = 0;
TVec3 SmallVectors[SMALL_VECTORS];
TVec3 ImagePositions[IMAGE_ROWS][IMAGE_PARTICLES];
float ImageWeights[IMAGE_ROWS][IMAGE_PARTICLES];
TSplinePath ImagePaths[IMAGE_PARTICLES];
TSpriteField SpriteField;
int32_t NoiseTextures[NOISE_TEXTURES];
int32_t RingPeriods[RING_PERIODS];
uint8_t NoiseImage[NOISE_WIDTH * NOISE_HEIGHT];

namespace {

// Storage behind the path records.
TVec3 field_path_tangents[FIELD_PATHS][FIELD_PATH_POINTS];
TVec3 field_path_points[FIELD_PATHS][FIELD_PATH_POINTS];
TVec3 image_path_tangents[IMAGE_PARTICLES][IMAGE_ROWS];
TVec3 image_path_points[IMAGE_PARTICLES][IMAGE_ROWS];
// Lit pixels not yet taken by a field path.
TBitmapPoint pool[FIELD_POINTS_MAX];
int32_t pool_size = 0;

template <typename T>
void Zero(T &table) {
  std::memset(&table, 0, sizeof table);
}

// Random(n) as a float, for the tables' integer offsets.
float RandomF(int32_t n) { return static_cast<float>(Random(n)); }
// Random(1000) / 1000: 0 to 0.999.
float Unit() { return static_cast<float>(Random(1000)) / 1000.0f; }
// Three draws of Random(n) - offset, in the order x, y, z.
TVec3 Scatter(int32_t n, int32_t offset) {
  TVec3 v;
  v.x = static_cast<float>(Random(n) - offset);
  v.y = static_cast<float>(Random(n) - offset);
  v.z = static_cast<float>(Random(n) - offset);
  return v;
}

void ClearTables() {
  Zero(CellGrid);
  Zero(FieldPoints);
  FieldPointCount = 0;
  Zero(FieldPaths);
  Zero(NearCloud);
  Zero(FarCloud);
  Zero(LogoPoints);
  Zero(LogoColors);
  Zero(LogoSpeeds);
  Zero(LogoCurves);
  LogoCount = 0;
  Zero(GlyphPositions);
  Zero(GlyphRotations);
  Zero(GlyphWeights);
  Zero(TorusPositions);
  Zero(TorusNormals);
  Zero(CloudScales);
  Zero(RandomVolume);
  Zero(CheckerLattice);
  CheckerCount = 0;
  Zero(SmallVectors);
  Zero(ImagePositions);
  Zero(ImageWeights);
  Zero(ImagePaths);
  Zero(SpriteField);
  Zero(NoiseTextures);
  Zero(RingPeriods);
  Zero(field_path_tangents);
  Zero(field_path_points);
  Zero(image_path_tangents);
  Zero(image_path_points);
  Zero(pool);
  pool_size = 0;
}

void BuildCellGrid() {
  for (auto &column : CellGrid)
    for (TCell &cell : column) {
      cell.a = Unit() - 0.5f;
      cell.b = Unit() - 0.5f;
      cell.c = Unit() - 0.5f;
      cell.d = Unit();
    }
}

// Lit pixels of the field image, row by row; more than the paths can take
// are left out.
void CollectFieldPoints(const uint8_t *raw) {
  FieldPointCount = 0;
  for (int32_t p = 0; p < EMBERFIELD_RAW_BYTES && FieldPointCount < FIELD_POINTS_MAX; ++p) {
    if (raw[p] == 0) continue;
    FieldPoints[FieldPointCount] = {p % EMBERFIELD_RAW_WIDTH, p / EMBERFIELD_RAW_WIDTH, 0};
    pool[FieldPointCount] = FieldPoints[FieldPointCount];
    ++FieldPointCount;
  }
  pool_size = FieldPointCount;
}

// Each path grows one point per round: the leftmost of 20 random pool
// samples, which then leaves the pool, so the paths run roughly left to
// right and share no pixel. The field-point count then follows the pool:
// the lit pixels no path has taken, none once every path is built.
void PickFieldPaths() {
  const int32_t lit = FieldPointCount;
  for (int32_t i = 0; i < FIELD_PATH_POINTS; ++i)
    for (int32_t j = 0; j < FIELD_PATHS; ++j) {
      TBitmapPoint best{};
      for (int32_t k = 0; k < 20; ++k) {
        // With the pool used up the draw still happens and reads entry 0.
        const TBitmapPoint sample = pool[Random(pool_size)];
        if (k == 0 || sample.x < best.x) best = sample;
      }
      FieldPaths[j].points[i] = {static_cast<float>(best.x), static_cast<float>(best.y), 0.0f};
      pool_size = 0;
      for (int32_t k = 0; k < lit; ++k) {
        TBitmapPoint &point = FieldPoints[k];
        if (point.x == best.x && point.y == best.y)
          point.used = 1;
        else if (!point.used)
          pool[pool_size++] = point;
      }
    }
  FieldPointCount = pool_size;
}

void JitterFieldPaths() {
  for (TSplinePath &path : FieldPaths) {
    for (int32_t j = 0; j < FIELD_PATH_POINTS; ++j) {
      TVec3 &p = path.points[j];
      p.x = p.x + Unit();
      p.y = (33.0f - p.y) + Unit();  // the image turned upright
    }
    CalcSplineTangents(path);
  }
}

void BuildLogoPoints(const uint8_t *tga) {
  LogoCount = 0;
  for (int32_t i = 0; i < 512; ++i)
    for (int32_t j = 0; j < 256; ++j) {
      const uint8_t *bgra = tga + TGA_HEADER_BYTES + 4 * (512 * j + i);
      if (bgra[3] == 0) continue;
      LogoPoints[LogoCount] = {static_cast<float>(i), static_cast<float>(j), 0.0f};
      LogoColors[LogoCount][0] = static_cast<float>(bgra[2]) / 255.0f;
      LogoColors[LogoCount][1] = static_cast<float>(bgra[1]) / 255.0f;
      LogoColors[LogoCount][2] = static_cast<float>(bgra[0]) / 255.0f;
      LogoColors[LogoCount][3] = static_cast<float>(bgra[3]) / 255.0f;
      ++LogoCount;
    }
  for (int32_t i = 0; i < LogoCount; ++i) {
    LogoSpeeds[i] = 1.0f + Unit();
    LogoCurves[i] = static_cast<uint8_t>(Random(3));
  }
}

void BuildGlyphParticles(const uint8_t *tga) {
  constexpr int32_t last = GLYPH_ROWS - 1;
  for (int32_t i = 0; i < GLYPH_PARTICLES; ++i) {
    GlyphPositions[0][i] = Scatter(100, 50);
    GlyphRotations[0][i] = Scatter(720, 360);
    GlyphWeights[0][i] = 0.0f;
    GlyphPositions[last][i] = Scatter(100, 50);
    GlyphRotations[last][i] = Scatter(720, 360);
    GlyphWeights[last][i] = 0.0f;
  }
  for (int32_t i = 0; i < GLYPH_PARTICLES; ++i)
    for (int32_t r = 2; r <= 12; r += 2) {
      GlyphPositions[r][i] = Scatter(50, 25);
      GlyphRotations[r][i] = Scatter(720, 360);
      GlyphWeights[r][i] = 1.0f;
    }
  // Each glyph becomes three layers of points in the even rows; the
  // particles it leaves over scatter in the odd row after it.
  for (int32_t k = 0; k < TEXT_GLYPHS; ++k) {
    const int32_t row = 2 * k;
    int32_t n = 0;
    for (int32_t j = 0; j < 24; ++j)
      for (int32_t i = 0; i < 48; ++i) {
        const uint8_t value = tga[TGA_PALETTED_PIXELS + 1152 * k + 48 * j + i];
        if (value == 0) continue;
        for (int32_t m = -2; m <= 0 && n < GLYPH_PARTICLES; ++m) {
          GlyphPositions[row][n] = {static_cast<float>(i - 24), static_cast<float>(j - 12),
                                    static_cast<float>(m)};
          GlyphRotations[row][n] = {0.0f, 0.0f, 0.0f};
          GlyphWeights[row][n] = static_cast<float>(value) / 255.0f;
          ++n;
        }
      }
    for (int32_t i = n; i < GLYPH_PARTICLES; ++i) {
      GlyphPositions[row + 1][i] = Scatter(100, 50);
      GlyphRotations[row + 1][i] = Scatter(720, 360);
      GlyphWeights[row][i] = 0.0f;
    }
  }
  for (int32_t r = 0; r < last; ++r)
    for (int32_t s = 0; s < 10001; ++s) {
      const int32_t a = Random(GLYPH_PARTICLES);
      const int32_t b = Random(GLYPH_PARTICLES);
      std::swap(GlyphPositions[r][a], GlyphPositions[r][b]);
      std::swap(GlyphRotations[r][a], GlyphRotations[r][b]);
      std::swap(GlyphWeights[r][a], GlyphWeights[r][b]);
    }
}

void BuildTorus() {
  constexpr double pi = std::numbers::pi;
  auto jitter = [] { return static_cast<float>(Random(1000) - 500) / 10000.0f; };
  for (int32_t i = 0; i < TORUS_RINGS; ++i)
    for (int32_t j = 0; j < TORUS_SIDES; ++j) {
      const double around = i / (40.0 / pi);
      const double across = j / (30.0 / pi);
      const double ring = 3.0 + std::cos(across);
      TVec3 &p = TorusPositions[i][j];
      p.x = static_cast<float>(ring * std::cos(around) + jitter());
      p.y = static_cast<float>(ring * std::sin(around) + jitter());
      p.z = static_cast<float>(std::sin(across) + jitter());
      TorusNormals[i][j] = {0.0f, 0.0f, 0.0f};
    }
}

void BuildLattice() {
  CheckerCount = 0;
  for (int32_t i = 0; i <= 7; ++i)
    for (int32_t j = 0; j <= 7; ++j)
      for (int32_t k = 7; k >= 0; --k)
        if ((i + j + k) % 2 == 0)
          CheckerLattice[CheckerCount++] = {static_cast<float>(i) - 3.5f,
                                            static_cast<float>(j) - 3.5f,
                                            2.0f * (static_cast<float>(k) - 3.5f)};
}

void BuildImageParticles(const uint8_t *tga) {
  for (int32_t f = 0; f < GREETS_FRAMES; ++f) {
    TVec3 *positions = ImagePositions[f + 1];
    float *weights = ImageWeights[f + 1];
    int32_t n = 0;
    for (int32_t j = 0; j < 128 && n < IMAGE_PARTICLES; ++j)
      for (int32_t i = 0; i < 256 && n < IMAGE_PARTICLES; ++i) {
        const uint8_t value = tga[TGA_PALETTED_PIXELS + 32768 * f + 256 * j + i];
        if (value == 0) continue;
        positions[n] = {static_cast<float>(127 - i) / 64.0f, static_cast<float>(j - 64) / 64.0f,
                        static_cast<float>(12 - 4 * f)};
        weights[n] = static_cast<float>(value) / 255.0f;
        ++n;
      }
    // Short frames repeat random particles of their own.
    for (int32_t i = n; i < IMAGE_PARTICLES; ++i) {
      const int32_t r = Random(n);
      positions[i] = positions[r];
      weights[i] = weights[r];
    }
  }
  constexpr int32_t last = IMAGE_ROWS - 1;
  for (int32_t i = 0; i < IMAGE_PARTICLES; ++i) {
    ImageWeights[0][i] = 0.0f;
    ImageWeights[last][i] = 0.0f;
  }
  auto scatter = [] {
    TVec3 v;
    v.x = static_cast<float>(127 - Random(256)) / 32.0f;
    v.y = static_cast<float>(Random(128) - 64) / 32.0f;
    v.z = 0.0f;
    return v;
  };
  for (int32_t i = 0; i < IMAGE_PARTICLES; ++i) {
    ImagePositions[0][i] = scatter();
    ImagePositions[last][i] = scatter();
  }
  for (int32_t i = 0; i < IMAGE_PARTICLES; ++i) {
    for (int32_t r = 6; r <= 9; ++r) {
      TVec3 &p = ImagePositions[r][i];
      const float x = p.x;
      p.x = p.y;
      p.y = -x;
    }
    for (int32_t r = 10; r <= 13; ++r) {
      TVec3 &p = ImagePositions[r][i];
      p.x = -p.x;
      p.y = -p.y;
    }
    TVec3 &p = ImagePositions[14][i];
    const float x = p.x;
    p.x = -p.y;
    p.y = x;
  }
  constexpr float kShift[5][2] = {{1, -1}, {-1, -1}, {-1, 0}, {0, -1}, {0, 0}};  // rows 1..5
  for (int32_t r = 1; r <= 5; ++r)
    for (TVec3 &p : ImagePositions[r]) {
      p.x = p.x + kShift[r - 1][0];
      p.y = p.y + kShift[r - 1][1];
    }
  for (int32_t r = 0; r < IMAGE_ROWS; ++r)
    for (int32_t s = 0; s < 20001; ++s) {
      const int32_t a = Random(IMAGE_PARTICLES);
      const int32_t b = Random(IMAGE_PARTICLES);
      std::swap(ImagePositions[r][a], ImagePositions[r][b]);
      std::swap(ImageWeights[r][a], ImageWeights[r][b]);
    }
}

void FillNoiseImage() {
  RandomFill(NoiseImage, sizeof NoiseImage, 255);
  // Two black squares of 256 x 256.
  for (int32_t row = 0; row < 256; ++row) {
    std::memset(NoiseImage + row * NOISE_WIDTH, 0, 256);
    std::memset(NoiseImage + (768 + row) * NOISE_WIDTH + 1280, 0, 256);
  }
}

}  // namespace

void SetupRandomTables() {
  RandSeed(DEMO_RANDOM_SEED);
  for (int32_t i = 0; i < RANDOM_TABLE_SIZE; ++i) {
    R1[i] = Unit();
    R2[i] = Unit();
    R3[i] = Unit() - 0.5f;
    R4[i] = Unit() - 0.5f;
    R5[i] = Unit() - 0.5f;
    R6[i] = Unit();
  }
}

void SetupProceduralTables(const TProceduralInputs &inputs, TSetupStepProc step,
                           TNoiseUploadProc upload) {
  // Static storage starts zeroed; only a second build (tests) clears it,
  // which spares the first start-up touching tables it never fills.
  static bool built = false;
  if (built) ClearTables();
  built = true;
  BuildCellGrid();

  CollectFieldPoints(inputs.emberfieldRaw);
  for (int32_t j = 0; j < FIELD_PATHS; ++j)
    FieldPaths[j] = {FIELD_PATH_POINTS, field_path_tangents[j], field_path_points[j]};
  step();
  PickFieldPaths();
  step();
  JitterFieldPaths();
  step();
  step();

  for (TVec3 &v : NearCloud) v = Scatter(200, 100);
  for (TVec3 &v : FarCloud) v = Scatter(3000, 1500);
  BuildLogoPoints(inputs.bpLogoSmallTga);
  BuildGlyphParticles(inputs.textTga);
  BuildTorus();
  for (float &scale : CloudScales) scale = 1.0f + Unit();
  for (auto &plane : RandomVolume)
    for (auto &line : plane)
      for (TVec3 &v : line) {
        v.x = Unit();
        v.y = Unit();
        v.z = Unit();
      }
  BuildLattice();
  for (TVec3 &v : SmallVectors) {
    v.x = static_cast<float>(Random(1000) - 500) / 5000.0f;
    v.y = static_cast<float>(Random(1000) - 500) / 5000.0f;
    v.z = static_cast<float>(Random(1000) - 500) / 5000.0f;
  }
  BuildImageParticles(inputs.greetsTga);

  for (int32_t i = 0; i < IMAGE_PARTICLES; ++i)
    ImagePaths[i] = {IMAGE_ROWS, image_path_tangents[i], image_path_points[i]};
  for (int32_t r = 0; r < IMAGE_ROWS; ++r) {
    for (int32_t i = 0; i < IMAGE_PARTICLES; ++i) ImagePaths[i].points[r] = ImagePositions[r][i];
    step();
  }
  for (const TSplinePath &path : ImagePaths) CalcSplineTangents(path);
  step();

  for (int32_t i = 0; i < SPRITE_COUNT; ++i) {
    TVec3 &p = SpriteField.position[i];
    p.x = static_cast<float>(Random(2000) - 1000);
    p.y = static_cast<float>(Random(2000) - 1000);
    p.z = RandomF(8000);
    SpriteField.spin[i] = Scatter(4000, 2000);
  }
  step();

  for (int32_t t = 0; t < NOISE_TEXTURES; ++t) {
    FillNoiseImage();
    NoiseTextures[t] = upload(NoiseImage);
    step();
  }
  for (int32_t &period : RingPeriods) period = -Random(8000) - 8000;
}

int32_t UploadNoiseTexture(const uint8_t *pixels) {
  dgl::glEnable(GL_TEXTURE_2D);
  GLuint id = 0;
  dgl::glGenTextures(1, &id);
  dgl::glBindTexture(GL_TEXTURE_2D, id);
  dgl::glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
  dgl::glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  dgl::glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
  dgl::glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
  dgl::glTexImage2D(GL_TEXTURE_2D, 0, 1, NOISE_WIDTH, NOISE_HEIGHT, 0, GL_LUMINANCE,
                    GL_UNSIGNED_BYTE, pixels);
  return static_cast<int32_t>(id);
}
