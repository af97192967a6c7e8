// Reading every entry of a 64 MiB pack of mixed compressible data through
// the file system (open, size, read, close, as the program's loaders do),
// next to zlib's own inflate of the very same z-blocks in the same run.
// Both report bytes per second of inflated content.
//
// "ZlibInflate/reused" inflates into one buffer that is never released
// (the bare cost of inflate); "ZlibInflate/fresh" allocates each entry's
// output as a loader would.
#include <benchmark/benchmark.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "framework/file_internal.h"
#include "framework/sys.h"
#include "framework/zblock.h"

namespace {

constexpr size_t kEntrySize = 256 * 1024;
constexpr size_t kEntries = 256;  // 64 MiB of content

// Content of varied compressibility: text, smooth gradients, sparse
// noise and repeated records, chosen per entry.
std::vector<uint8_t> MakeContent(size_t index, std::mt19937 &rng) {
  std::vector<uint8_t> out(kEntrySize);
  switch (index % 4) {
    case 0: {  // text-like
      static const char *words[] = {"ember", "field", "layer", "glow", "scene", "blur", "mesh", "tile", "\n"};
      size_t at = 0;
      while (at < out.size()) {
        const char *w = words[rng() % 9];
        for (; *w && at < out.size(); ++w) out[at++] = static_cast<uint8_t>(*w);
        if (at < out.size()) out[at++] = ' ';
      }
      break;
    }
    case 1:  // image-like gradient with a little noise
      for (size_t i = 0; i < out.size(); ++i) out[i] = static_cast<uint8_t>((i % 1024) / 4 + (rng() % 4));
      break;
    case 2:  // mostly zero with sparse noise
      for (size_t i = 0; i < out.size(); ++i) out[i] = (rng() % 16 == 0) ? static_cast<uint8_t>(rng()) : 0;
      break;
    default:  // repeated 32-byte records with a counter
      for (size_t i = 0; i < out.size(); ++i) out[i] = static_cast<uint8_t>(i % 32 == 0 ? (i / 32) & 0xff : i % 32);
      break;
  }
  return out;
}

void PutLE(std::vector<uint8_t> &s, uint32_t v, int bytes = 4) {
  for (int i = 0; i < bytes; ++i) s.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

struct Fixture {
  std::string path;
  std::vector<std::string> names;
  std::vector<std::vector<uint8_t>> blocks;  // the entries' z-blocks, as stored

  Fixture() {
    char tmpl[] = "/tmp/ember-pack-bench-XXXXXX";
    int fd = mkstemp(tmpl);
    if (fd < 0) abort();
    close(fd);
    path = tmpl;

    std::mt19937 rng(2056);
    SYS_ZSetLevel(6);
    std::vector<uint8_t> pack = {'Q', 'L', 'P', 'K'};
    PutLE(pack, kEntries);
    PutLE(pack, 0);
    std::vector<uint8_t> records;
    for (size_t i = 0; i < kEntries; ++i) {
      std::vector<uint8_t> content = MakeContent(i, rng);
      void *block = nullptr;
      uint32_t length = 0;
      if (SYS_ZCompress(content.data(), uint32_t(content.size()), &block, &length) != 0) abort();
      auto *b = static_cast<uint8_t *>(block);
      blocks.emplace_back(b, b + length);
      SYS_MemFree(&block, __FILE__, __LINE__);

      names.push_back("data/entry" + std::to_string(i) + ".bin");
      PutLE(records, length);
      PutLE(records, uint32_t(pack.size()));
      records.push_back(1);
      PutLE(records, uint32_t(names.back().size()), 2);
      records.insert(records.end(), names.back().begin(), names.back().end());
      pack.insert(pack.end(), blocks.back().begin(), blocks.back().end());
    }
    uint32_t catalog_offset = uint32_t(pack.size());
    for (int i = 0; i < 4; ++i) pack[8 + size_t(i)] = static_cast<uint8_t>(catalog_offset >> (8 * i));
    void *catalog = nullptr;
    uint32_t length = 0;
    if (SYS_ZCompress(records.data(), uint32_t(records.size()), &catalog, &length) != 0) abort();
    auto *c = static_cast<uint8_t *>(catalog);
    pack.insert(pack.end(), c, c + length);
    SYS_MemFree(&catalog, __FILE__, __LINE__);
    SYS_ZSetLevel(9);

    FILE *f = fopen(path.c_str(), "wb");
    if (!f || fwrite(pack.data(), 1, pack.size(), f) != pack.size() || fclose(f) != 0) abort();
    if (SYS_FilePackOpen(path.c_str()) != 0) abort();
    fprintf(stderr, "pack: %zu entries, %zu bytes of content in %zu bytes\n", kEntries, kEntries * kEntrySize,
            pack.size());
  }
  ~Fixture() {
    SYS_FileUnmountAll();
    unlink(path.c_str());
  }
};

Fixture &Pack() {
  static Fixture fixture;
  return fixture;
}

void BM_PackReadAll(benchmark::State &state) {
  Fixture &fx = Pack();
  std::vector<uint8_t> buffer(kEntrySize);
  for (auto _ : state) {
    for (const std::string &name : fx.names) {
      SYS_File_p f = SYS_FileOpen(name.c_str(), 0);
      int32_t size = SYS_FileSize(name.c_str());
      if (!f || SYS_FileRead(f, buffer.data(), size) != size) abort();
      SYS_FileClose(f);
    }
    benchmark::DoNotOptimize(buffer.data());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kEntries * kEntrySize));
}
BENCHMARK(BM_PackReadAll)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void InflateAll(benchmark::State &state, bool fresh) {
  Fixture &fx = Pack();
  std::vector<uint8_t> reused(kEntrySize);
  for (auto _ : state) {
    for (const std::vector<uint8_t> &block : fx.blocks) {
      uint8_t *out = fresh ? static_cast<uint8_t *>(malloc(kEntrySize)) : reused.data();
      z_stream zs{};
      inflateInit(&zs);
      zs.next_in = const_cast<Bytef *>(block.data() + 12);
      zs.avail_in = uInt(block.size() - 12);
      zs.next_out = out;
      zs.avail_out = uInt(kEntrySize);
      if (inflate(&zs, Z_FINISH) != Z_STREAM_END) abort();
      inflateEnd(&zs);
      benchmark::DoNotOptimize(out);
      if (fresh) free(out);
    }
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kEntries * kEntrySize));
}

void BM_ZlibInflate_reused(benchmark::State &state) { InflateAll(state, false); }
void BM_ZlibInflate_fresh(benchmark::State &state) { InflateAll(state, true); }
BENCHMARK(BM_ZlibInflate_reused)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_ZlibInflate_fresh)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
