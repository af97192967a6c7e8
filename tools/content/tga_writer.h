// Uncompressed TGA files in exactly the three forms the texture loader's
// header test accepts and the demo's raw readers address byte by byte:
// true colour (type 2, 24 or 32 bits), grey (type 3, 8 bits) and colour
// mapped (type 1, 256 palette entries of 24 bits, 8-bit indices). Every file
// has an 18-byte header and no image identifier, so a colour-mapped file's
// pixels start at byte 18 + 768 = 786 and all others' at byte 18.
//
// The row order is chosen per file: bottom-up (the TGA default; descriptor
// bit 5 clear) or top-down (bit 5 set). The picture given is always a raster
// with its top row first; the descriptor tells viewers how to show it.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "tools/content/image.h"

namespace content {

enum class RowOrder { kBottomUp, kTopDown };

constexpr int kTgaHeaderSize = 18;

std::vector<uint8_t> TgaTrueColour(const Image &img, bool with_alpha, RowOrder order);
// Grey bytes given top row first.
std::vector<uint8_t> TgaGrey(const std::vector<uint8_t> &pixels, int width, int height, RowOrder order);
// Palette indices given top row first; palette entries as red, green, blue.
std::vector<uint8_t> TgaColourMapped(const std::vector<uint8_t> &indices, int width, int height,
                                     const std::array<std::array<uint8_t, 3>, 256> &palette_rgb, RowOrder order);

}  // namespace content
