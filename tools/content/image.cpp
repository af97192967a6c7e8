// Floating-point canvas; see image.h.
#include "tools/content/image.h"

#include <algorithm>
#include <cmath>

#include "tools/content/procedural.h"

namespace content {

Color Rgb(double r, double g, double b, double a) {
  return Color{static_cast<float>(r), static_cast<float>(g), static_cast<float>(b), static_cast<float>(a)};
}

Color Rgb8(int r, int g, int b, int a) { return Rgb(r / 255.0, g / 255.0, b / 255.0, a / 255.0); }

Color Lerp(const Color &x, const Color &y, double t) {
  return Rgb(Mix(x.r, y.r, t), Mix(x.g, y.g, t), Mix(x.b, y.b, t), Mix(x.a, y.a, t));
}

Color Scale(const Color &c, double k) { return Rgb(c.r * k, c.g * k, c.b * k, c.a); }

Color Add(const Color &x, const Color &y) { return Rgb(x.r + y.r, x.g + y.g, x.b + y.b, std::max(x.a, y.a)); }

uint8_t ToByte(double v) {
  double c = Clamp01(v) * 255.0 + 0.5;
  return static_cast<uint8_t>(c >= 255.0 ? 255 : static_cast<int>(c));
}

float Mask::Get(int x, int y) const {
  if (x < 0 || y < 0 || x >= width || y >= height) {
    return 0.0f;
  }
  return at(x, y);
}

float Mask::Sample(double x, double y) const {
  int x0 = static_cast<int>(std::floor(x)), y0 = static_cast<int>(std::floor(y));
  double fx = x - x0, fy = y - y0;
  double a = Get(x0, y0), b = Get(x0 + 1, y0), c = Get(x0, y0 + 1), d = Get(x0 + 1, y0 + 1);
  return static_cast<float>(Mix(Mix(a, b, fx), Mix(c, d, fx), fy));
}

namespace {

// One box pass along rows (step 1) or columns (step width) of a buffer.
void BoxPass(std::vector<float> &buf, int count, int length, int stride, int step, int radius) {
  std::vector<float> line(static_cast<size_t>(length));
  double norm = 1.0 / (2 * radius + 1);
  for (int c = 0; c < count; ++c) {
    float *base = buf.data() + static_cast<size_t>(c) * stride;
    double sum = 0.0;
    for (int i = -radius; i <= radius; ++i) {
      if (i >= 0 && i < length) {
        sum += base[static_cast<size_t>(i) * step];
      }
    }
    for (int i = 0; i < length; ++i) {
      line[static_cast<size_t>(i)] = static_cast<float>(sum * norm);
      int out = i - radius, in = i + radius + 1;
      if (out >= 0 && out < length) {
        sum -= base[static_cast<size_t>(out) * step];
      }
      if (in >= 0 && in < length) {
        sum += base[static_cast<size_t>(in) * step];
      }
    }
    for (int i = 0; i < length; ++i) {
      base[static_cast<size_t>(i) * step] = line[static_cast<size_t>(i)];
    }
  }
}

}  // namespace

Mask BlurMask(const Mask &m, int radius) {
  Mask out = m;
  if (radius <= 0 || m.width == 0 || m.height == 0) {
    return out;
  }
  for (int pass = 0; pass < 3; ++pass) {
    BoxPass(out.v, out.height, out.width, out.width, 1, radius);
    BoxPass(out.v, out.width, out.height, 1, out.width, radius);
  }
  return out;
}

Image::Image(int w, int h, Color fill) : width_(w), height_(h), px_(static_cast<size_t>(w) * h, fill) {}

Color Image::Sample(double x, double y) const {
  x = std::clamp(x, 0.0, width_ - 1.0);
  y = std::clamp(y, 0.0, height_ - 1.0);
  int x0 = static_cast<int>(x), y0 = static_cast<int>(y);
  int x1 = std::min(x0 + 1, width_ - 1), y1 = std::min(y0 + 1, height_ - 1);
  double fx = x - x0, fy = y - y0;
  return Lerp(Lerp(at(x0, y0), at(x1, y0), fx), Lerp(at(x0, y1), at(x1, y1), fx), fy);
}

void Image::BlendOver(int x, int y, const Color &c, double k) {
  if (x < 0 || y < 0 || x >= width_ || y >= height_ || k <= 0.0) {
    return;
  }
  k = std::min(k, 1.0) * c.a;
  Color &d = at(x, y);
  d.r = static_cast<float>(Mix(d.r, c.r, k));
  d.g = static_cast<float>(Mix(d.g, c.g, k));
  d.b = static_cast<float>(Mix(d.b, c.b, k));
  d.a = static_cast<float>(k + d.a * (1.0 - k));
}

void Image::AddLight(int x, int y, const Color &c, double k) {
  if (x < 0 || y < 0 || x >= width_ || y >= height_ || k <= 0.0) {
    return;
  }
  Color &d = at(x, y);
  d.r += static_cast<float>(c.r * k);
  d.g += static_cast<float>(c.g * k);
  d.b += static_cast<float>(c.b * k);
  d.a = std::max(d.a, static_cast<float>(std::min(k, 1.0)));
}

void Image::DrawMask(const Mask &m, int x0, int y0, const Color &c, bool additive) {
  for (int y = 0; y < m.height; ++y) {
    for (int x = 0; x < m.width; ++x) {
      double k = m.at(x, y);
      if (additive) {
        AddLight(x0 + x, y0 + y, c, k);
      } else {
        BlendOver(x0 + x, y0 + y, c, k);
      }
    }
  }
}

void Image::SoftDisc(double cx, double cy, double r0, double r1, const Color &c, bool additive) {
  int xa = std::max(0, static_cast<int>(cx - r1 - 1)), xb = std::min(width_ - 1, static_cast<int>(cx + r1 + 1));
  int ya = std::max(0, static_cast<int>(cy - r1 - 1)), yb = std::min(height_ - 1, static_cast<int>(cy + r1 + 1));
  for (int y = ya; y <= yb; ++y) {
    for (int x = xa; x <= xb; ++x) {
      double d = std::hypot(x + 0.5 - cx, y + 0.5 - cy);
      double k = 1.0 - SmoothStep(r0, r1, d);
      if (additive) {
        AddLight(x, y, c, k);
      } else {
        BlendOver(x, y, c, k);
      }
    }
  }
}

void Image::SoftLine(double x0, double y0, double x1, double y1, double w, double f, const Color &c, bool additive) {
  double reach = w + f + 1;
  int xa = std::max(0, static_cast<int>(std::min(x0, x1) - reach));
  int xb = std::min(width_ - 1, static_cast<int>(std::max(x0, x1) + reach));
  int ya = std::max(0, static_cast<int>(std::min(y0, y1) - reach));
  int yb = std::min(height_ - 1, static_cast<int>(std::max(y0, y1) + reach));
  double dx = x1 - x0, dy = y1 - y0, len2 = dx * dx + dy * dy;
  for (int y = ya; y <= yb; ++y) {
    for (int x = xa; x <= xb; ++x) {
      double px = x + 0.5 - x0, py = y + 0.5 - y0;
      double t = len2 > 0 ? Clamp01((px * dx + py * dy) / len2) : 0.0;
      double d = std::hypot(px - t * dx, py - t * dy);
      double k = 1.0 - SmoothStep(w, w + f, d);
      if (additive) {
        AddLight(x, y, c, k);
      } else {
        BlendOver(x, y, c, k);
      }
    }
  }
}

Image Image::Resized(int w, int h) const {
  // Area averaging along each axis in turn keeps thin features when
  // shrinking; growing falls back to bilinear sampling.
  auto resize_axis = [](const Image &src, int nw, int nh, bool horizontal) {
    Image out(nw, nh);
    int n_src = horizontal ? src.width() : src.height();
    int n_dst = horizontal ? nw : nh;
    double ratio = static_cast<double>(n_src) / n_dst;
    for (int y = 0; y < nh; ++y) {
      for (int x = 0; x < nw; ++x) {
        int i = horizontal ? x : y;
        Color acc;
        if (ratio <= 1.0) {
          double s = (i + 0.5) * ratio - 0.5;
          acc = horizontal ? src.Sample(s, y) : src.Sample(x, s);
        } else {
          double a = i * ratio, b = (i + 1) * ratio, total = 0.0;
          double r = 0, g = 0, bl = 0, al = 0;
          for (int k = static_cast<int>(a); k < b && k < n_src; ++k) {
            double wgt = std::min<double>(k + 1, b) - std::max<double>(k, a);
            const Color &c = horizontal ? src.at(k, y) : src.at(x, k);
            r += c.r * wgt;
            g += c.g * wgt;
            bl += c.b * wgt;
            al += c.a * wgt;
            total += wgt;
          }
          acc = Rgb(r / total, g / total, bl / total, al / total);
        }
        out.at(x, y) = acc;
      }
    }
    return out;
  };
  Image tmp = resize_axis(*this, w, height_, true);
  return resize_axis(tmp, w, h, false);
}

std::vector<uint8_t> Image::BgrRows(bool with_alpha) const {
  size_t bpp = with_alpha ? 4 : 3;
  std::vector<uint8_t> out(px_.size() * bpp);
  for (size_t i = 0; i < px_.size(); ++i) {
    const Color &c = px_[i];
    out[i * bpp + 0] = ToByte(c.b);
    out[i * bpp + 1] = ToByte(c.g);
    out[i * bpp + 2] = ToByte(c.r);
    if (with_alpha) {
      out[i * bpp + 3] = ToByte(c.a);
    }
  }
  return out;
}

}  // namespace content
