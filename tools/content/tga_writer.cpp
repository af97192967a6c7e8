// TGA encoding; see tga_writer.h.
#include "tools/content/tga_writer.h"

#include <stdexcept>

namespace content {

namespace {

std::vector<uint8_t> Header(uint8_t colour_map_type, uint8_t image_type, int width, int height, uint8_t depth,
                            uint8_t descriptor) {
  if (width <= 0 || height <= 0 || width > 65535 || height > 65535) {
    throw std::invalid_argument("TGA size out of range");
  }
  std::vector<uint8_t> h(kTgaHeaderSize, 0);
  h[1] = colour_map_type;
  h[2] = image_type;
  if (colour_map_type == 1) {
    h[5] = 0x00;  // 256 entries, first entry 0
    h[6] = 0x01;
    h[7] = 24;
  }
  h[12] = static_cast<uint8_t>(width & 0xFF);
  h[13] = static_cast<uint8_t>(width >> 8);
  h[14] = static_cast<uint8_t>(height & 0xFF);
  h[15] = static_cast<uint8_t>(height >> 8);
  h[16] = depth;
  h[17] = descriptor;
  return h;
}

uint8_t Descriptor(RowOrder order, uint8_t alpha_bits) {
  return static_cast<uint8_t>(alpha_bits | (order == RowOrder::kTopDown ? 0x20 : 0x00));
}

// Appends rows of `stride` bytes in the file's row order.
void AppendRows(std::vector<uint8_t> &out, const uint8_t *rows, int height, size_t stride, RowOrder order) {
  for (int i = 0; i < height; ++i) {
    int row = order == RowOrder::kTopDown ? i : height - 1 - i;
    const uint8_t *p = rows + static_cast<size_t>(row) * stride;
    out.insert(out.end(), p, p + stride);
  }
}

}  // namespace

std::vector<uint8_t> TgaTrueColour(const Image &img, bool with_alpha, RowOrder order) {
  std::vector<uint8_t> out = Header(0, 2, img.width(), img.height(), with_alpha ? 32 : 24,
                                    Descriptor(order, with_alpha ? 8 : 0));
  std::vector<uint8_t> rows = img.BgrRows(with_alpha);
  AppendRows(out, rows.data(), img.height(), static_cast<size_t>(img.width()) * (with_alpha ? 4 : 3), order);
  return out;
}

std::vector<uint8_t> TgaGrey(const std::vector<uint8_t> &pixels, int width, int height, RowOrder order) {
  if (pixels.size() != static_cast<size_t>(width) * height) {
    throw std::invalid_argument("grey pixel count does not match the size");
  }
  std::vector<uint8_t> out = Header(0, 3, width, height, 8, Descriptor(order, 0));
  AppendRows(out, pixels.data(), height, static_cast<size_t>(width), order);
  return out;
}

std::vector<uint8_t> TgaColourMapped(const std::vector<uint8_t> &indices, int width, int height,
                                     const std::array<std::array<uint8_t, 3>, 256> &palette_rgb, RowOrder order) {
  if (indices.size() != static_cast<size_t>(width) * height) {
    throw std::invalid_argument("index count does not match the size");
  }
  std::vector<uint8_t> out = Header(1, 1, width, height, 8, Descriptor(order, 0));
  for (const auto &e : palette_rgb) {
    out.push_back(e[2]);
    out.push_back(e[1]);
    out.push_back(e[0]);
  }
  AppendRows(out, indices.data(), height, static_cast<size_t>(width), order);
  return out;
}

}  // namespace content
