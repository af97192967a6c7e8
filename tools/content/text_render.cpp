// FreeType text rendering; see text_render.h.
#include "tools/content/text_render.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>
#include <mutex>
#include <stdexcept>

namespace content {

namespace {

constexpr Face kFaces[] = {Face::kSans, Face::kSansBold, Face::kSerif, Face::kSerifBold, Face::kMonoBold};

}  // namespace

struct FontBook::Impl {
  std::string dir;
  // FreeType faces carry their size: one rendering at a time.
  std::mutex lock;
  FT_Library lib = nullptr;
  FT_Face faces[5] = {};
};

std::string FontBook::FileName(Face face) {
  switch (face) {
    case Face::kSans: return "DejaVuSans.ttf";
    case Face::kSansBold: return "DejaVuSans-Bold.ttf";
    case Face::kSerif: return "DejaVuSerif.ttf";
    case Face::kSerifBold: return "DejaVuSerif-Bold.ttf";
    case Face::kMonoBold: return "DejaVuSansMono-Bold.ttf";
  }
  return {};
}

FontBook::FontBook(const std::string &dir) : impl_(new Impl) {
  impl_->dir = dir;
  if (FT_Init_FreeType(&impl_->lib) != 0) {
    delete impl_;
    throw std::runtime_error("FreeType cannot start");
  }
  for (Face f : kFaces) {
    std::string path = dir + "/" + FileName(f);
    if (FT_New_Face(impl_->lib, path.c_str(), 0, &impl_->faces[static_cast<int>(f)]) != 0) {
      FT_Done_FreeType(impl_->lib);
      delete impl_;
      throw std::runtime_error("cannot open font " + path);
    }
  }
}

FontBook::~FontBook() {
  FT_Done_FreeType(impl_->lib);  // also releases the faces
  delete impl_;
}

std::vector<uint8_t> FontBook::FileBytes(Face face) const {
  std::string path = impl_->dir + "/" + FileName(face);
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    throw std::runtime_error("cannot read font " + path);
  }
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

Mask FontBook::Render(Face face, std::string_view text, double size, double x_scale, double tracking) const {
  std::lock_guard<std::mutex> hold(impl_->lock);
  FT_Face ft = impl_->faces[static_cast<int>(face)];
  FT_F26Dot6 h = static_cast<FT_F26Dot6>(std::lround(size * 64.0));
  FT_F26Dot6 w = static_cast<FT_F26Dot6>(std::lround(size * x_scale * 64.0));
  if (FT_Set_Char_Size(ft, std::max<FT_F26Dot6>(w, 64), std::max<FT_F26Dot6>(h, 64), 72, 72) != 0) {
    throw std::runtime_error("cannot size font");
  }
  struct Placed {
    int x, y;
    Mask bits;
  };
  std::vector<Placed> glyphs;
  long pen = 0;  // 26.6 units
  long track = std::lround(tracking * 64.0);
  FT_UInt prev = 0;
  int baseline = static_cast<int>(std::ceil(size * 1.2));
  for (unsigned char ch : text) {
    FT_UInt gi = FT_Get_Char_Index(ft, ch);
    if (prev != 0 && gi != 0 && FT_HAS_KERNING(ft)) {
      FT_Vector k;
      if (FT_Get_Kerning(ft, prev, gi, FT_KERNING_DEFAULT, &k) == 0) {
        pen += k.x;
      }
    }
    if (FT_Load_Glyph(ft, gi, FT_LOAD_RENDER) != 0) {
      throw std::runtime_error("cannot render glyph");
    }
    FT_GlyphSlot slot = ft->glyph;
    const FT_Bitmap &bm = slot->bitmap;
    Placed p{static_cast<int>(pen >> 6) + slot->bitmap_left, baseline - slot->bitmap_top,
             Mask(static_cast<int>(bm.width), static_cast<int>(bm.rows))};
    for (unsigned r = 0; r < bm.rows; ++r) {
      for (unsigned c = 0; c < bm.width; ++c) {
        p.bits.at(static_cast<int>(c), static_cast<int>(r)) = bm.buffer[r * bm.pitch + c] / 255.0f;
      }
    }
    glyphs.push_back(std::move(p));
    pen += slot->advance.x + track;
    prev = gi;
  }
  // Bounds of the ink over all glyphs.
  int x0 = 1 << 30, y0 = 1 << 30, x1 = -(1 << 30), y1 = -(1 << 30);
  for (const Placed &p : glyphs) {
    for (int y = 0; y < p.bits.height; ++y) {
      for (int x = 0; x < p.bits.width; ++x) {
        if (p.bits.at(x, y) > 0.0f) {
          x0 = std::min(x0, p.x + x);
          x1 = std::max(x1, p.x + x);
          y0 = std::min(y0, p.y + y);
          y1 = std::max(y1, p.y + y);
        }
      }
    }
  }
  if (x1 < x0) {
    return Mask(1, 1);
  }
  Mask out(x1 - x0 + 1, y1 - y0 + 1);
  for (const Placed &p : glyphs) {
    for (int y = 0; y < p.bits.height; ++y) {
      for (int x = 0; x < p.bits.width; ++x) {
        float v = p.bits.at(x, y);
        if (v > 0.0f) {
          float &d = out.at(p.x + x - x0, p.y + y - y0);
          d = std::max(d, v);
        }
      }
    }
  }
  return out;
}

Mask FontBook::Fit(Face face, std::string_view text, double max_w, double max_h, double max_size, double x_scale,
                   double tracking) const {
  double size = max_size;
  Mask m = Render(face, text, size, x_scale, tracking);
  for (int i = 0; i < 12 && (m.width > max_w || m.height > max_h); ++i) {
    double k = std::min(max_w / m.width, max_h / m.height);
    size = std::floor(size * std::min(k, 0.98) * 4.0) / 4.0;
    m = Render(face, text, size, x_scale, tracking);
  }
  return m;
}

void DrawTextMask(Image &img, const Mask &m, double cx, double cy, const Color &c, int glow_radius, const Color &glow,
                  double glow_gain) {
  int x0 = static_cast<int>(std::lround(cx - m.width / 2.0));
  int y0 = static_cast<int>(std::lround(cy - m.height / 2.0));
  if (glow_radius > 0) {
    int pad = glow_radius * 3;
    Mask big(m.width + 2 * pad, m.height + 2 * pad);
    for (int y = 0; y < m.height; ++y) {
      for (int x = 0; x < m.width; ++x) {
        big.at(x + pad, y + pad) = m.at(x, y);
      }
    }
    Mask soft = BlurMask(big, glow_radius);
    for (float &v : soft.v) {
      v = static_cast<float>(std::min(1.0, v * glow_gain));
    }
    img.DrawMask(soft, x0 - pad, y0 - pad, glow, true);
  }
  img.DrawMask(m, x0, y0, c, false);
}

}  // namespace content
