// A small floating-point RGBA canvas for the procedural art, with the few
// drawing operations the textures need (shading by a function, masks, soft
// discs and lines, blur, resampling) and conversion to 8-bit pixel rows.
//
// Invariants: pixels are stored row after row, row 0 is the top row of the
// picture; colour channels are linear 0..1 values and are clamped only when
// converted to bytes, so additive light can build up above 1 before then.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace content {

struct Color {
  float r = 0, g = 0, b = 0, a = 0;
};

Color Rgb(double r, double g, double b, double a = 1.0);
// A colour from 0..255 byte values.
Color Rgb8(int r, int g, int b, int a = 255);
Color Lerp(const Color &x, const Color &y, double t);
Color Scale(const Color &c, double k);  // scales r, g, b; keeps alpha
Color Add(const Color &x, const Color &y);  // adds r, g, b; alpha is the max

// A coverage mask (0..1 per pixel), used for text, silhouettes and glows.
struct Mask {
  int width = 0, height = 0;
  std::vector<float> v;

  Mask() = default;
  Mask(int w, int h) : width(w), height(h), v(static_cast<std::size_t>(w) * h, 0.0f) {}
  float &at(int x, int y) { return v[static_cast<std::size_t>(y) * width + x]; }
  float at(int x, int y) const { return v[static_cast<std::size_t>(y) * width + x]; }
  // Value at (x, y), 0 outside the mask.
  float Get(int x, int y) const;
  // Bilinear sample at fractional coordinates, 0 outside.
  float Sample(double x, double y) const;
};

// Separable box blur repeated three times (close to a Gaussian of the given
// radius); edges are treated as 0.
Mask BlurMask(const Mask &m, int radius);

class Image {
public:
  Image() = default;
  Image(int w, int h, Color fill = Color{});

  int width() const { return width_; }
  int height() const { return height_; }
  Color &at(int x, int y) { return px_[static_cast<std::size_t>(y) * width_ + x]; }
  const Color &at(int x, int y) const { return px_[static_cast<std::size_t>(y) * width_ + x]; }
  // Bilinear sample with clamped edges; u, v in pixels.
  Color Sample(double x, double y) const;

  // Sets every pixel to f(x, y).
  template <class F>
  void Shade(F f) {
    for (int y = 0; y < height_; ++y) {
      for (int x = 0; x < width_; ++x) {
        at(x, y) = f(x, y);
      }
    }
  }

  // Composites colour c over pixel (x, y) with coverage k (0..1), the
  // picture's alpha building up as in ordinary "over" blending.
  void BlendOver(int x, int y, const Color &c, double k);
  // Adds c times k to the colour of pixel (x, y); alpha becomes at least k.
  void AddLight(int x, int y, const Color &c, double k);

  // Draws a mask with its top-left corner at (x0, y0), over or additive.
  void DrawMask(const Mask &m, int x0, int y0, const Color &c, bool additive = false);
  // A soft round spot: full strength inside radius r0, fading out to r1.
  void SoftDisc(double cx, double cy, double r0, double r1, const Color &c, bool additive);
  // A soft line segment of half width w with a fade of f on each side.
  void SoftLine(double x0, double y0, double x1, double y1, double w, double f, const Color &c, bool additive);

  // Scales the picture to a new size by area averaging (down) or bilinear
  // interpolation (up), each axis on its own.
  Image Resized(int w, int h) const;
  // Pixel rows as bytes, top row first: 3 bytes (blue, green, red) or
  // 4 bytes (blue, green, red, alpha) per pixel, as TGA stores them.
  std::vector<uint8_t> BgrRows(bool with_alpha) const;

private:
  int width_ = 0, height_ = 0;
  std::vector<Color> px_;
};

uint8_t ToByte(double v);

}  // namespace content
