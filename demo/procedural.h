// The procedural set-up: every data set the scenes animate, computed once
// between the loading-bar frames from one pseudo-random sequence seeded
// with 2056. The order of the draws is part of the result, so the steps
// run in one fixed order and each draws its values in a fixed order.
//
// Every table is a fixed array sized for what its readers index, zeroed at
// the start of the set-up; inputs that would overrun a table (more lit
// pixels than a table holds) are dropped, never written past its end.
// Filled on the main thread during start-up; read-only afterwards.
#pragma once

#include <cstdint>

#include "demo/curves.h"

constexpr uint32_t DEMO_RANDOM_SEED = 2056;

constexpr int32_t RANDOM_TABLE_SIZE = 61;
constexpr int32_t CELL_COLUMNS = 80, CELL_ROWS = 60;
constexpr int32_t FIELD_POINTS_MAX = 1591;  // lit pixels the field paths use
constexpr int32_t FIELD_PATHS = 37, FIELD_PATH_POINTS = 43;
constexpr int32_t CLOUD_SIZE = 4800;
constexpr int32_t LOGO_POINTS_MAX = 512 * 256;
constexpr int32_t GLYPH_ROWS = 15, GLYPH_PARTICLES = 1301;
constexpr int32_t TORUS_RINGS = 80, TORUS_SIDES = 60;
constexpr int32_t VOLUME_A = 128, VOLUME_B = 128, VOLUME_C = 48;
constexpr int32_t LATTICE_SIZE = 256;
constexpr int32_t SMALL_VECTORS = 2561;
constexpr int32_t IMAGE_ROWS = 16, IMAGE_PARTICLES = 3391;
constexpr int32_t SPRITE_COUNT = 4001;
constexpr int32_t NOISE_TEXTURES = 10;
constexpr int32_t NOISE_WIDTH = 2048, NOISE_HEIGHT = 1024;
constexpr int32_t RING_PERIODS = 8;

// A lit pixel of "emberfld.raw".
#pragma pack(push, 1)
struct TBitmapPoint {
  int32_t x, y;
  uint8_t used;
};
#pragma pack(pop)

// One cell of the 80 x 60 grid.
struct TCell {
  float a, b, c, d;  // a, b, c in [-0.5, 0.5), d in [0, 1)
};

struct TSpriteField {
  TVec3 position[SPRITE_COUNT];  // x, y in -1000..999, z in 0..7999
  TVec3 spin[SPRITE_COUNT];      // each -2000..1999
};

extern float R1[RANDOM_TABLE_SIZE], R2[RANDOM_TABLE_SIZE], R3[RANDOM_TABLE_SIZE],
    R4[RANDOM_TABLE_SIZE], R5[RANDOM_TABLE_SIZE], R6[RANDOM_TABLE_SIZE];
extern TCell CellGrid[CELL_COLUMNS][CELL_ROWS];
// Lit pixels of "emberfld.raw", each marked used once a path takes it; the
// count is of those no path has taken, so 0 after the set-up.
extern TBitmapPoint FieldPoints[FIELD_POINTS_MAX];
extern int32_t FieldPointCount;
extern TSplinePath FieldPaths[FIELD_PATHS];
extern TVec3 NearCloud[CLOUD_SIZE];
extern TVec3 FarCloud[CLOUD_SIZE];
// Opaque pixels of "bplogo_small.tga": position (column, row, 0), colour
// (r, g, b, a in 0..1), speed factor in [1, 2) and curve type 0..2.
extern TVec3 LogoPoints[LOGO_POINTS_MAX];
extern float LogoColors[LOGO_POINTS_MAX][4];
extern float LogoSpeeds[LOGO_POINTS_MAX];
extern uint8_t LogoCurves[LOGO_POINTS_MAX];
extern int32_t LogoCount;
// Glyph particles: 15 key rows of 1301 particles.
extern TVec3 GlyphPositions[GLYPH_ROWS][GLYPH_PARTICLES];
extern TVec3 GlyphRotations[GLYPH_ROWS][GLYPH_PARTICLES];
extern float GlyphWeights[GLYPH_ROWS][GLYPH_PARTICLES];
extern TVec3 TorusPositions[TORUS_RINGS][TORUS_SIDES];
extern TVec3 TorusNormals[TORUS_RINGS][TORUS_SIDES];
extern float CloudScales[CLOUD_SIZE];
extern TVec3 RandomVolume[VOLUME_A][VOLUME_B][VOLUME_C];
extern TVec3 CheckerLattice[LATTICE_SIZE];
extern int32_t CheckerCount;
extern TVec3 SmallVectors[SMALL_VECTORS];
// Image particles: 16 key rows of 3391 particles, and one path per
// particle through its 16 key positions.
extern TVec3 ImagePositions[IMAGE_ROWS][IMAGE_PARTICLES];
extern float ImageWeights[IMAGE_ROWS][IMAGE_PARTICLES];
extern TSplinePath ImagePaths[IMAGE_PARTICLES];
extern TSpriteField SpriteField;
extern int32_t NoiseTextures[NOISE_TEXTURES];
extern int32_t RingPeriods[RING_PERIODS];
// The noise image as last uploaded (texture 9's pixels).
extern uint8_t NoiseImage[NOISE_WIDTH * NOISE_HEIGHT];

// The raw images the set-up reads; each must hold the bytes its layout in
// resources.h names (the loader checks that).
struct TProceduralInputs {
  const uint8_t *emberfieldRaw;  // 196 x 32, non-zero = lit
  const uint8_t *greetsTga;      // 14 frames of 256 x 128 at byte 786
  const uint8_t *bpLogoSmallTga; // 512 x 256 BGRA at byte 18
  const uint8_t *textTga;        // 7 glyphs of 48 x 24 at byte 786
};

// Called after each step that moves the loading bar.
typedef void (*TSetupStepProc)();
// Makes one noise texture of NOISE_WIDTH x NOISE_HEIGHT luminance bytes
// and returns its name.
typedef int32_t (*TNoiseUploadProc)(const uint8_t *pixels);

// Seeds the sequence and fills R1 to R6. Runs before the textures load.
void SetupRandomTables();
// Every other table, in order, with 32 calls of step along the way.
void SetupProceduralTables(const TProceduralInputs &inputs, TSetupStepProc step,
                           TNoiseUploadProc upload);
// The OpenGL upload of a noise image: linear filtering, clamped edges.
int32_t UploadNoiseTexture(const uint8_t *pixels);
