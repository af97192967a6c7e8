// The layer-effect renderer: for each layer, the two keys around the time,
// nine eased channels, and one rotated, coloured quad in the 800 x 600
// orthographic space with the layer's blend mode.
//
// Key search: "earlier" is the highest key whose time is at most t,
// "later" the lowest whose time is at least t; before the first key both
// are the first, after the last both are the last, and on a key's time
// both are that key. The fraction between them is 0 when they are the same
// key or share a time, and always lies within 0..1, so keys out of order
// or repeated never produce a division by zero or an overshoot.
//
// The translation and rotation go onto the projection matrix, which is
// current while a layer draws; callers drawing in 3D afterwards set their
// own projection.
//
// Main thread, with the OpenGL context current. Nothing is cached.
#include <cmath>
#include <cstring>
#include <iterator>

#include "effects/ife.h"
#include "window/gl_demo.h"

namespace {

// The drawing space.
constexpr double kSpaceWidth = 800;
constexpr double kSpaceHeight = 600;

constexpr double kHalfPi = 1.5707963267948966;

// Blend modes 0 to 4; higher modes leave the blend state as it was.
struct ife_BlendMode {
  bool enable;
  GLenum source, destination;
};

const ife_BlendMode kBlendModes[] = {
    {false, 0, 0},                                // 0 opaque
    {true, GL_ONE, GL_ONE},                       // 1 additive
    {true, GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA}, // 2 alpha
    {true, GL_ONE_MINUS_SRC_ALPHA, GL_SRC_ALPHA}, // 3 inverted alpha
    {true, GL_SRC_COLOR, GL_ONE_MINUS_SRC_COLOR}, // 4 colour
};

void SetBlend(uint8_t blend) {
  if (blend >= std::size(kBlendModes)) return;
  const ife_BlendMode &mode = kBlendModes[blend];
  if (!mode.enable) {
    dgl::glDisable(GL_BLEND);
    return;
  }
  dgl::glEnable(GL_BLEND);
  dgl::glBlendFunc(mode.source, mode.destination);
}

// Texture coordinates of the corners top right, bottom right, bottom left,
// top left. Ordinary images keep their first row at the top; the render
// target and the first frame buffer hold copies of the frame buffer, whose
// first row is the bottom.
struct ife_Corner {
  float sx, sy;  // sign of the offset from the centre
  float s, t;
};
const ife_Corner kImageCorners[4] = {{1, 1, 1, 0}, {1, -1, 1, 1}, {-1, -1, 0, 1}, {-1, 1, 0, 0}};
const ife_Corner kFrameCorners[4] = {{1, 1, 1, 1}, {1, -1, 1, 0}, {-1, -1, 0, 0}, {-1, 1, 0, 1}};

const char *const kFrameCopyNames[] = {"RT", "BUF0.JPG"};

// The layer drawn without a texture.
constexpr char kUntexturedName[] = "white.tga";

const ife_Corner *CornersFor(const char *name) {
  for (const char *frame : kFrameCopyNames)
    if (std::strcmp(name, frame) == 0) return kFrameCorners;
  return kImageCorners;
}

float Fraction(const ife_keys &earlier, const ife_keys &later, float t) {
  const int64_t span = int64_t(later.time) - int64_t(earlier.time);
  if (span == 0) return 0;
  const float f = (t - float(earlier.time)) / float(span);
  if (!(f > 0)) return 0;  // also NaN
  return f < 1 ? f : 1;
}

}  // namespace

float ife_Interpolate(float a, float b, float f, uint8_t mode) {
  switch (mode) {
    case IFE_LINEAR: return a + (b - a) * f;
    case IFE_EASE_OUT: return float(a + (b - a) * std::sin(double(f) * kHalfPi));
    case IFE_EASE_IN: return float(a + (b - a) * (1 - std::sin(kHalfPi + double(f) * kHalfPi)));
    default: return 0;
  }
}

ife_pose ife_LayerPose(const ife_layer &layer, float t) {
  const int32_t n = layer.keycount;
  const ife_keys *keys = layer.keys;
  int32_t earlier = 0, later = n - 1;
  for (int32_t k = 0; k < n; ++k) {
    if (float(keys[k].time) <= t) earlier = k;
    if (float(keys[n - 1 - k].time) >= t) later = n - 1 - k;
  }
  const ife_keys &a = keys[earlier], &b = keys[later];
  const float f = earlier == later ? 0 : Fraction(a, b, t);
  const uint8_t mode = a.mode;
  auto ease = [&](float ife_keys::*channel) { return ife_Interpolate(a.*channel, b.*channel, f, mode); };

  ife_pose pose;
  pose.angle = ease(&ife_keys::angle);
  pose.x = ease(&ife_keys::x);
  pose.y = ease(&ife_keys::y);
  pose.width = ease(&ife_keys::width);
  pose.height = ease(&ife_keys::height);
  pose.red = ease(&ife_keys::red) / 255;
  pose.green = ease(&ife_keys::green) / 255;
  pose.blue = ease(&ife_keys::blue) / 255;
  pose.alpha = ease(&ife_keys::alpha) / 255;
  return pose;
}

void ife_DrawInterface(ife_interface &iface, float t) {
  dgl::glDisable(GL_LIGHTING);
  dgl::glDisable(GL_DEPTH_TEST);
  dgl::glDisable(GL_ALPHA_TEST);
  dgl::glDisable(GL_CULL_FACE);

  for (int32_t i = 0; iface.layers && i < iface.layercount; ++i) {
    const ife_layer &layer = iface.layers[i];
    if (layer.keycount < 1 || !layer.keys) continue;

    dgl::glMatrixMode(GL_TEXTURE);
    dgl::glLoadIdentity();
    dgl::glMatrixMode(GL_MODELVIEW);
    dgl::glLoadIdentity();
    dgl::glMatrixMode(GL_PROJECTION);
    dgl::glLoadIdentity();
    dgl::gluOrtho2D(0, kSpaceWidth, 0, kSpaceHeight);

    SetBlend(layer.blend);
    dgl::glEnable(GL_TEXTURE_2D);
    dgl::glBindTexture(GL_TEXTURE_2D, GLuint(layer.texture));

    const ife_pose pose = ife_LayerPose(layer, t);
    const float w = pose.width / 2, h = pose.height / 2;
    dgl::glColor4f(pose.red, pose.green, pose.blue, pose.alpha);
    dgl::glTranslatef(pose.x, pose.y, 0);
    dgl::glRotatef(pose.angle, 0, 0, 1);

    if (std::strcmp(layer.name, kUntexturedName) == 0)
      dgl::glDisable(GL_TEXTURE_2D);
    else
      dgl::glEnable(GL_TEXTURE_2D);

    const ife_Corner *corners = CornersFor(layer.name);
    dgl::glBegin(GL_QUADS);
    for (int c = 0; c < 4; ++c) {
      const ife_Corner &corner = corners[c];
      dgl::glTexCoord2f(corner.s, corner.t);
      dgl::glVertex2f(corner.sx * w, corner.sy * h);
    }
    dgl::glEnd();
  }

  dgl::glMatrixMode(GL_MODELVIEW);
}

void ife_RotatePoint(float x, float y, float z, float a, float b, float &rx, float &ry,
                     float &rz) {
  const float ca = std::cos(a), sa = std::sin(a), cb = std::cos(b), sb = std::sin(b);
  rx = x * cb + z * sb;
  ry = x * sb * sa + y * ca - z * cb * sa;
  rz = -x * sb * ca + y * sa + z * cb * ca;
}
