// The road of one texture, timed: a 1024 x 1024 32-bit TGA in a mounted
// data pack (stored plain and as a z-block) to a bitmap, and on to an
// OpenGL texture id through the slot table, beside a plain memcpy of the
// same bytes. Then a dialog's icon grid: one set of N IMG widgets, each a
// distinct 16 x 16 TGA on disk, loaded, shown and unloaded, so the cost of
// telling each picture apart from those already held shows as N grows.
// The upload cases need a display (run under xvfb-run); without one they
// are skipped.
#include <benchmark/benchmark.h>
#include <unistd.h>
#include <zlib.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "dialog/widget.h"
#include "framework/sys.h"
#include "platform/platform.h"
#include "texture/loader.h"
#include "texture/slot_table.h"
#include "texture/texture_manager.h"
#include "window/gl_demo.h"
#include "window/wm.h"

namespace {

constexpr int kSide = 1024;

void Put(std::string &s, uint32_t v, int bytes = 4) {
  for (int i = 0; i < bytes; ++i) s.push_back(char((v >> (8 * i)) & 0xFF));
}

std::string Tga() {
  std::string t(18, '\0');
  t[2] = 2;
  t[12] = char(kSide & 0xFF);
  t[13] = char(kSide >> 8);
  t[14] = char(kSide & 0xFF);
  t[15] = char(kSide >> 8);
  t[16] = 32;
  t[17] = 0x20;
  t.reserve(18 + size_t(kSide) * kSide * 4);
  for (int y = 0; y < kSide; ++y)
    for (int x = 0; x < kSide; ++x) {
      t.push_back(char(x ^ y));
      t.push_back(char(x * 3 + y));
      t.push_back(char((x * y) >> 4));
      t.push_back(char(255 - (x + y) / 8));
    }
  return t;
}

std::string ZBlock(const std::string &raw) {
  uLongf n = compressBound(raw.size());
  std::string packed(n, '\0');
  compress2(reinterpret_cast<Bytef *>(packed.data()), &n,
            reinterpret_cast<const Bytef *>(raw.data()), raw.size(), Z_DEFAULT_COMPRESSION);
  packed.resize(n);
  std::string block;
  Put(block, uint32_t(raw.size()));
  Put(block, uint32_t(n));
  Put(block, uint32_t(crc32(0, reinterpret_cast<const Bytef *>(packed.data()), uInt(n))));
  return block + packed;
}

// A pack holding the TGA twice: "plain.tga" stored, "packed.tga" deflated.
std::string Pack(const std::string &tga) {
  std::string pack = "QLPK";
  Put(pack, 2);
  Put(pack, 0);
  std::string records;
  for (auto [name, zblock] : {std::pair{"plain.tga", false}, std::pair{"packed.tga", true}}) {
    const std::string stored = zblock ? ZBlock(tga) : tga;
    Put(records, uint32_t(stored.size()));
    Put(records, uint32_t(pack.size()));
    records.push_back(zblock ? 1 : 0);
    Put(records, uint32_t(std::strlen(name)), 2);
    records += name;
    pack += stored;
  }
  const uint32_t catalog = uint32_t(pack.size());
  for (int i = 0; i < 4; ++i) pack[8 + size_t(i)] = char((catalog >> (8 * i)) & 0xFF);
  return pack + ZBlock(records);
}

struct Setup {
  std::string tga;
  std::filesystem::path dir;
  bool gl = false;
  wm_window_t *window = nullptr;

  Setup() {
    tga = Tga();
    dir = std::filesystem::temp_directory_path() /
          ("ember_texture_bench_" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    const std::filesystem::path pack = dir / "bench.dat";
    FILE *f = std::fopen(pack.c_str(), "wb");
    const std::string bytes = Pack(tga);
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
    if (SYS_FilePackOpen(pack.c_str()) != 0) std::fprintf(stderr, "pack not mounted\n");
    txInit(nullptr);
    txSetParam(3, TX_RED_FIRST);

    if (std::getenv("DISPLAY") && plSetBackend(PL_BACKEND_SDL) == 0 && wmInit() == 0) {
      InitGL();
      InitGLU();
      window = wmNewWindow(0, 0, 64, 64);
      if (window && wmShowWindow(window) == 0) {
        wmMakeCurrent(window);
        glInitExt();
        txTexReset();
        gl = true;
      }
    }
  }
  ~Setup() { std::filesystem::remove_all(dir); }
};

Setup &Env() {
  static Setup setup;
  return setup;
}

void BM_MemcpyTgaBytes(benchmark::State &state) {
  const std::string &tga = Env().tga;
  std::vector<char> out(tga.size());
  for (auto _ : state) {
    std::memcpy(out.data(), tga.data(), tga.size());
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(tga.size()));
}

void LoadBitmap(benchmark::State &state, const char *name) {
  Env();
  for (auto _ : state) {
    pxBitmap b = txLoadBitmap(name);
    if (!b) {
      state.SkipWithError("load failed");
      break;
    }
    benchmark::DoNotOptimize(b->image[0]);
    txFree(&b);
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(Env().tga.size()));
}

void BM_LoadStoredEntry(benchmark::State &state) { LoadBitmap(state, "plain.tga"); }
void BM_LoadDeflatedEntry(benchmark::State &state) { LoadBitmap(state, "packed.tga"); }

void LoadAndUpload(benchmark::State &state, const char *name, int32_t filter) {
  if (!Env().gl) {
    state.SkipWithError("no display: run under xvfb-run");
    return;
  }
  for (auto _ : state) {
    const int32_t id = txTexLoad(name, filter);
    dgl::glFinish();  // the upload itself, not just its queueing
    benchmark::DoNotOptimize(id);
    txTexRelease(id);
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(Env().tga.size()));
}

void BM_StoredEntryToTexture(benchmark::State &state) { LoadAndUpload(state, "plain.tga", 1); }
void BM_DeflatedEntryToTexture(benchmark::State &state) { LoadAndUpload(state, "packed.tga", 1); }
void BM_StoredEntryToMipmappedTexture(benchmark::State &state) {
  LoadAndUpload(state, "plain.tga", 3);
}

// N distinct icons on disk and the widget file that shows them in a grid.
std::string IconGrid(int n) {
  const std::filesystem::path icons = Env().dir / ("icons" + std::to_string(n));
  std::filesystem::create_directories(icons);
  std::string text = "<WINDOW WIDTH=\"640\" HEIGHT=\"480\"/>";
  for (int i = 0; i < n; ++i) {
    std::string tga(18, '\0');
    tga[2] = 2;
    tga[12] = tga[14] = 16;
    tga[16] = 32;
    tga[17] = 0x20;
    for (int p = 0; p < 16 * 16; ++p) Put(tga, uint32_t(i * 2654435761u + uint32_t(p)));
    const std::string name = (icons / ("icon" + std::to_string(i) + ".tga")).string();
    FILE *f = std::fopen(name.c_str(), "wb");
    std::fwrite(tga.data(), 1, tga.size(), f);
    std::fclose(f);
    text += "<IMG X=\"" + std::to_string(i % 40 * 16) + "\" Y=\"" + std::to_string(i / 40 * 16) +
            "\" WIDTH=\"16\" HEIGHT=\"16\" SRC=\"" + name + "\"/>";
  }
  return text;
}

void BM_IconGridShown(benchmark::State &state) {
  if (!Env().gl) {
    state.SkipWithError("no display: run under xvfb-run");
    return;
  }
  const std::string text = IconGrid(int(state.range(0)));
  for (auto _ : state) {
    SYS_List_p set = widget_load(0, text.c_str());
    if (!set || widget_show_set(set) != 0) {
      state.SkipWithError("the grid did not load");
      break;
    }
    dgl::glFinish();
    widget_unload(set);  // each picture goes with the widget that showed it
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * state.range(0));
}

}  // namespace

BENCHMARK(BM_IconGridShown)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MemcpyTgaBytes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadStoredEntry)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadDeflatedEntry)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StoredEntryToTexture)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DeflatedEntryToTexture)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StoredEntryToMipmappedTexture)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
