// Writes the font fuzz target's seeds of embedded grey strikes, one a depth
// (1, 2, 4 and 8 bits), into the folder it is given:
//   strikefont fuzz/corpus/font
// Each seed is the target's mode byte (size 14, the strike's size, and
// Latin-1) and then a font of printable Latin-1 glyphs in a few box sizes,
// so that the target's texts land glyphs of mixed sizes side by side.
#include <cstdio>
#include <string>

#include "tools/strikefont/strike_font.h"

int main(int argc, char **argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: strikefont FOLDER\n");
    return 2;
  }
  const uint8_t kBoxes[][2] = {{3, 3}, {5, 6}, {7, 7}, {8, 2}};
  for (uint8_t bits : {1, 2, 4, 8}) {
    strikefont::Font font;
    font.bits = bits;
    font.ppem = 14;
    font.first_char = 0x20;
    for (uint32_t c = 0x20; c <= 0xFF; ++c) {
      const auto &box = kBoxes[c % 4];
      font.glyphs.push_back(strikefont::Patterned(box[0], box[1], bits, c));
    }
    std::vector<uint8_t> bytes = strikefont::Build(font);
    bytes.insert(bytes.begin(), uint8_t(0x02));  // size 14, Latin-1, aligned
    const std::string path = std::string(argv[1]) + "/strike" + std::to_string(bits);
    FILE *out = std::fopen(path.c_str(), "wb");
    if (!out || std::fwrite(bytes.data(), 1, bytes.size(), out) != bytes.size() || std::fclose(out) != 0) {
      std::fprintf(stderr, "strikefont: cannot write %s\n", path.c_str());
      return 1;
    }
  }
  return 0;
}
