// Text for the art: lines of text rendered with FreeType from the DejaVu
// fonts into coverage masks, which the texture generators colour, glow and
// place. Also hands out the font files' bytes for the dialogs, which carry
// their fonts in the pack.
//
// Masks are cropped to the ink of the text, so a caller centres a line by
// centring its mask. Only one-line texts; the callers lay out lines.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "tools/content/image.h"

namespace content {

enum class Face { kSans, kSansBold, kSerif, kSerifBold, kMonoBold };

class FontBook {
public:
  // Opens the DejaVu faces of the given folder; throws std::runtime_error
  // naming the file when one cannot be opened.
  explicit FontBook(const std::string &dir);
  ~FontBook();
  FontBook(const FontBook &) = delete;
  FontBook &operator=(const FontBook &) = delete;

  // One line of text at a pixel height of `size` (the em size), stretched
  // horizontally by `x_scale`, with `tracking` extra pixels between letters.
  Mask Render(Face face, std::string_view text, double size, double x_scale = 1.0, double tracking = 0.0) const;
  // The largest rendering of the text (size at most `max_size`) whose ink
  // fits inside max_w x max_h pixels.
  Mask Fit(Face face, std::string_view text, double max_w, double max_h, double max_size, double x_scale = 1.0,
           double tracking = 0.0) const;

  static std::string FileName(Face face);
  std::vector<uint8_t> FileBytes(Face face) const;

private:
  struct Impl;
  Impl *impl_;
};

// Centres a mask on (cx, cy) of the image and draws it in colour c, with an
// optional soft glow of the given radius and colour added around it first.
void DrawTextMask(Image &img, const Mask &m, double cx, double cy, const Color &c, int glow_radius = 0,
                  const Color &glow = Color{}, double glow_gain = 1.0);

}  // namespace content
