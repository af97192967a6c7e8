// One line of dialog text, timed: 40 characters at size 14 rendered by the
// font renderer into a 512 x 64 32-bit image, beside FreeType alone loading
// and rendering the same glyphs (the floor: what any renderer on FreeType
// must spend). A 22-character fps counter, the text redrawn most often, is
// timed the same way. All report glyphs per second; time per iteration is
// one line.
#include <benchmark/benchmark.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <cstring>

#include "dialog/font_renderer.h"
#include "dialog/ttf_handler.h"
#include "framework/sys.h"
#include "texture/loader.h"

namespace {

const char kFont[] = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
const char kLine[] = "Screen mode 1024 x 768, full screen: OK.";  // 40 characters
constexpr int kSize = 14;
static_assert(sizeof kLine - 1 == 40);
const char kShortLine[] = "fps: 59.94  frame 1234";
static_assert(sizeof kShortLine - 1 == 22);

frFont *LineFont() {
  static frFont *font = [] {
    frInit();
    if (frLoadFace(kFont) != 0) return static_cast<frFont *>(nullptr);
    frFont *f = frNewFont(FR_ENC_ISO8859_1, 0xFFFFFFFF, FR_HALIGN_LEFT, FR_VALIGN_CENTER);
    frSetFont(f, kFont, kSize, 100, 0);
    return f;
  }();
  return font;
}

void SetRate(benchmark::State &state, const char *text) {
  state.counters["glyphs/s"] =
      benchmark::Counter(double(state.iterations()) * double(std::strlen(text)), benchmark::Counter::kIsRate);
}

void Render(benchmark::State &state, const char *text) {
  frFont *font = LineFont();
  if (!font) {
    state.SkipWithError("DejaVuSans.ttf not installed");
    return;
  }
  pxBitmap image = txCreateDummy(2, 512, 64);
  for (auto _ : state) {
    int32_t w = 0, h = 0;
    if (frRender(font, image, text, &w, &h) != 0) state.SkipWithError("render failed");
    benchmark::DoNotOptimize(image->image[0][0]);
  }
  txFree(&image);
  SetRate(state, text);
}

void BM_RenderLine(benchmark::State &state) { Render(state, kLine); }
BENCHMARK(BM_RenderLine)->Unit(benchmark::kMicrosecond);

void BM_RenderShortLine(benchmark::State &state) { Render(state, kShortLine); }
BENCHMARK(BM_RenderShortLine)->Unit(benchmark::kMicrosecond);

void BM_FreeTypeFloor(benchmark::State &state) {
  if (!LineFont()) {
    state.SkipWithError("DejaVuSans.ttf not installed");
    return;
  }
  auto face = static_cast<FT_Face>(LineFont()->face->handler_face);
  for (auto _ : state) {
    FT_Set_Char_Size(face, 0, kSize * 64, 0, 0);
    for (const char *c = kLine; *c; ++c) {
      FT_Load_Glyph(face, FT_Get_Char_Index(face, static_cast<unsigned char>(*c)),
                    FT_LOAD_NO_HINTING | FT_LOAD_RENDER);
      benchmark::DoNotOptimize(face->glyph->bitmap.buffer);
    }
  }
  SetRate(state, kLine);
}
BENCHMARK(BM_FreeTypeFloor)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
