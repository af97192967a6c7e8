// Scene 11: the monster reveal and its light rays (80000 <= t < 88000).
//
// A vertical scan line sweeps from column 100 to 700 and back, uncovering
// "monster.tga" to its left. From every pixel of the scan column that the
// monster's alpha map covers, coloured rays shoot towards and away from
// five fixed points of the 800 x 600 screen, added onto the picture: the
// inner ray fades from the pixel's colour to black at the point, the outer
// one keeps the colour out to twelve times the pixel's distance from it.
// A flash layer and the small logo finish the frame.
//
// The rays read the raw bytes of "monster_alpha.tga" (one byte per pixel)
// and "monster_color.tga" (blue, green, red) straight, 800 pixels per row
// after the 18-byte header, row 0 at the bottom. The scan column stays in
// 100..700 and the rows in 64..536, and the loader guarantees the files
// hold all 800 x 600 pixels; a file shorter than the pixels a ray needs
// still draws no ray from them rather than reading past its end.
// Nothing is kept between frames. Main thread, inside the frame loop, with
// the demo's context current.
#include <cmath>
#include <cstdint>
#include <numbers>

#include "demo/frame_loop.h"
#include "demo/resources.h"
#include "demo/scenes.h"
#include "effects/ife.h"
#include "window/gl_demo.h"

namespace {

constexpr int32_t kSceneStart = 80000;
constexpr int32_t kImageWidth = 800;
constexpr int32_t kFirstRayRow = 64, kLastRayRow = 536;
constexpr float kRayGain = 0.4f;
constexpr float kRayStretch = 12;  // the outer ray ends this many times as far out

struct RayOrigin {
  float x, y;
};
// In drawing order: top left, bottom right, top right, bottom left, centre.
constexpr RayOrigin kRayOrigins[] = {{0, 600}, {800, 0}, {800, 600}, {0, 0}, {400, 300}};

bool HoldsPixel(const TLoadedFile &file, int64_t lastByte) {
  return file.data && lastByte < file.size;
}

void DrawRays(const RayOrigin &O, int32_t j) {
  dgl::glDisable(GL_TEXTURE_2D);
  dgl::glEnable(GL_BLEND);
  dgl::glBlendFunc(GL_ONE, GL_ONE);
  dgl::glBegin(GL_QUADS);
  const float e = kRayStretch;
  for (int32_t y = kFirstRayRow; y <= kLastRayRow; ++y) {
    const int64_t pixel = static_cast<int64_t>(y) * kImageWidth + j;
    const int64_t alphaAt = TGA_HEADER_BYTES + pixel;
    const int64_t colorAt = TGA_HEADER_BYTES + pixel * 3;
    if (!HoldsPixel(MonsterAlphaTga, alphaAt) || !HoldsPixel(MonsterColorTga, colorAt + 2))
      continue;
    // Where the alpha map is empty both rays are black, and black adds
    // nothing: those rows are not sent at all.
    if (MonsterAlphaTga.data[alphaAt] == 0) continue;
    const float a = static_cast<float>(MonsterAlphaTga.data[alphaAt]) / 255.0f;
    const uint8_t *bgr = MonsterColorTga.data + colorAt;
    const float R = static_cast<float>(bgr[2]) / 255.0f * a * kRayGain;
    const float G = static_cast<float>(bgr[1]) / 255.0f * a * kRayGain;
    const float B = static_cast<float>(bgr[0]) / 255.0f * a * kRayGain;

    const float x = static_cast<float>(j);
    const float y1 = static_cast<float>(y), y2 = static_cast<float>(y - 1);
    const float f1x = O.x + e * (x - O.x), f1y = O.y + e * (y1 - O.y);
    const float f2x = O.x + e * (x - O.x), f2y = O.y + e * (y2 - O.y);

    // Inner ray: from the pixel to the origin, fading to black.
    dgl::glColor4f(R, G, B, a);
    dgl::glVertex2f(x, y1);
    dgl::glVertex2f(x, y2);
    dgl::glColor4f(0, 0, 0, 0);
    dgl::glVertex2f(O.x, O.y);
    dgl::glVertex2f(O.x, O.y);
    // Outer ray: from the far edge back to the pixel.
    dgl::glColor4f(R, G, B, 12 * a);
    dgl::glVertex2f(f1x, f1y);
    dgl::glVertex2f(f2x, f2y);
    dgl::glColor4f(R, G, B, a);
    dgl::glVertex2f(x, y2);
    dgl::glVertex2f(x, y1);
  }
  dgl::glEnd();
}

// 100 at the scene's start, 700 half-way, 100 again at its end.
int32_t ScanColumn(int32_t t) {
  const double wave = 600.0 * std::sin(std::numbers::pi * (t - kSceneStart) / 8000.0);
  return 100 + static_cast<int32_t>(std::lround(wave));  // halves away from zero
}

}  // namespace

void Scene11() {
  const int32_t t = DemoTime;
  const int32_t j = ScanColumn(t);

  ife_DrawInterface(IfeBpLogoSmallHatter, 999);

  dgl::glMatrixMode(GL_TEXTURE);
  dgl::glLoadIdentity();
  dgl::glMatrixMode(GL_MODELVIEW);
  dgl::glDisable(GL_CULL_FACE);
  dgl::glDisable(GL_DEPTH_TEST);
  dgl::glLoadIdentity();
  dgl::glMatrixMode(GL_PROJECTION);
  dgl::glLoadIdentity();
  dgl::gluOrtho2D(0, 800, 0, 600);

  // The uncovered part of the picture, blended as the layer effect left it.
  const float column = static_cast<float>(j);
  const float s = column / 800.0f;
  dgl::glColor3f(1, 1, 1);
  dgl::glEnable(GL_TEXTURE_2D);
  dgl::glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(TexMonster));
  dgl::glBegin(GL_QUADS);
  dgl::glTexCoord2f(0, 1);
  dgl::glVertex2f(0, 0);
  dgl::glTexCoord2f(s, 1);
  dgl::glVertex2f(column, 0);
  dgl::glTexCoord2f(s, 0);
  dgl::glVertex2f(column, 600);
  dgl::glTexCoord2f(0, 0);
  dgl::glVertex2f(0, 600);
  dgl::glEnd();

  for (const RayOrigin &origin : kRayOrigins) DrawRays(origin, j);

  ife_DrawInterface(IfeMonsterFlash, static_cast<float>(t - 83875) * 4);
  ife_DrawInterface(IfeBpLogoSmall, 999);
}
