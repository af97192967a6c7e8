// Decode speed of the image formats: the DXT1 and DXT5 block decoders in
// megapixels per second, and a 1024 x 1024 PNG and JPEG from memory, each
// beside the command-line decoder of the library underneath (djpeg for
// libjpeg, pngtopam for libpng, nvdecompress for DXT) run on the same file
// in the same process run. The command-line figures include starting the
// program and writing its output to /dev/null; a tool that is not
// installed is reported as skipped.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "framework/sys.h"
#include "texture/formats.h"
#include "texture/loader.h"
#include "texture/s3tc.h"

extern char **environ;

namespace {

constexpr int kSide = 1024;
constexpr int64_t kPixels = int64_t(kSide) * kSide;

using Bytes = std::vector<uint8_t>;

// Deterministic block data: every byte pattern is a valid S3TC block.
Bytes RandomBlocks(size_t bytes) {
  Bytes b(bytes);
  uint32_t x = 0x2545F491u;
  for (uint8_t &v : b) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    v = uint8_t(x >> 24);
  }
  return b;
}

const Bytes &Dxt1Blocks() {
  static const Bytes b = RandomBlocks(size_t(kPixels / 16) * 8);
  return b;
}

const Bytes &Dxt5Blocks() {
  static const Bytes b = RandomBlocks(size_t(kPixels / 16) * 16);
  return b;
}

// A scratch folder for the files the command-line decoders read, removed
// when the program ends.
struct ScratchDir {
  std::filesystem::path path;
  ScratchDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "ember-bench-XXXXXX").string();
    if (mkdtemp(pattern.data())) path = pattern;
  }
  ~ScratchDir() {
    std::error_code ignored;
    if (!path.empty()) std::filesystem::remove_all(path, ignored);
  }
};

const std::filesystem::path &WorkDir() {
  static const ScratchDir dir;
  return dir.path;
}

Bytes ReadAll(const std::filesystem::path &p) {
  std::ifstream in(p, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A smooth picture with some detail, so both codecs do real work.
txBitmap *Picture() {
  txBitmap *b = txCreateDummy(1, kSide, kSide);
  b->subtype = TX_LAYOUT_RGB;
  uint8_t *p = b->image[0];
  for (int y = 0; y < kSide; ++y)
    for (int x = 0; x < kSide; ++x, p += 3) {
      p[0] = uint8_t(x / 4 + ((x ^ y) & 15));
      p[1] = uint8_t(y / 4 + ((x * y) >> 12));
      p[2] = uint8_t((x + y) / 8 + ((x * 7 + y * 3) & 7));
    }
  return b;
}

// The same picture as a file of the given filter, written once.
const std::filesystem::path &PictureFile(int32_t id) {
  static std::filesystem::path png, jpg;
  std::filesystem::path &path = id == TX_ID_PNG ? png : jpg;
  if (path.empty()) {
    path = WorkDir() / (id == TX_ID_PNG ? "picture.png" : "picture.jpg");
    txBitmap *b = Picture();
    txSetParam(6, 0);   // baseline JPEG, as most files are
    txSetParam(11, 6);  // libpng's usual level
    txSave(id, path.c_str(), b);
    txFree(&b);
  }
  return path;
}

const std::filesystem::path &DdsFile() {
  static const std::filesystem::path path = [] {
    Bytes header(128, 0);
    std::memcpy(header.data(), "DDS ", 4);
    auto put = [&](size_t at, uint32_t v) { std::memcpy(&header[at], &v, 4); };
    put(4, 124);
    put(8, 0x00081007);
    put(12, kSide);
    put(16, kSide);
    put(20, uint32_t(Dxt1Blocks().size()));
    put(76, 32);
    put(80, 4);
    std::memcpy(&header[84], "DXT1", 4);
    put(108, 0x1000);
    const std::filesystem::path p = WorkDir() / "blocks.dds";
    std::ofstream out(p, std::ios::binary);
    out.write(reinterpret_cast<const char *>(header.data()), std::streamsize(header.size()));
    out.write(reinterpret_cast<const char *>(Dxt1Blocks().data()),
              std::streamsize(Dxt1Blocks().size()));
    return p;
  }();
  return path;
}

void SetMegapixels(benchmark::State &state) {
  state.counters["MP/s"] = benchmark::Counter(double(kPixels) * double(state.iterations()) / 1e6,
                                              benchmark::Counter::kIsRate);
}

// ---- our decoders ----------------------------------------------------------

void BM_DecodeDXT1(benchmark::State &state) {
  const int bits = int(state.range(0));
  Bytes out(size_t(kPixels) * size_t(bits / 8));
  for (auto _ : state) {
    ddsDecodeDXT1(Dxt1Blocks().data(), out.data(), kSide, kSide, bits);
    benchmark::DoNotOptimize(out.data());
  }
  SetMegapixels(state);
}
BENCHMARK(BM_DecodeDXT1)->Arg(24)->Arg(32)->Unit(benchmark::kMillisecond);

void BM_DecodeDXT5(benchmark::State &state) {
  Bytes out(size_t(kPixels) * 4);
  for (auto _ : state) {
    ddsDecodeDXT5(Dxt5Blocks().data(), out.data(), kSide, kSide, 32);
    benchmark::DoNotOptimize(out.data());
  }
  SetMegapixels(state);
}
BENCHMARK(BM_DecodeDXT5)->Unit(benchmark::kMillisecond);

void BM_ReadPng(benchmark::State &state) {
  const Bytes file = ReadAll(PictureFile(TX_ID_PNG));
  state.SetLabel(std::to_string(file.size()) + " bytes");
  for (auto _ : state) {
    txBitmap *b = pngRead(file.data(), file.size());
    if (!b) {
      state.SkipWithError("the PNG did not decode");
      break;
    }
    txFree(&b);
  }
  SetMegapixels(state);
}
BENCHMARK(BM_ReadPng)->Unit(benchmark::kMillisecond);

void BM_ReadJpeg(benchmark::State &state) {
  const Bytes file = ReadAll(PictureFile(TX_ID_JPEG));
  state.SetLabel(std::to_string(file.size()) + " bytes");
  for (auto _ : state) {
    txBitmap *b = jpegRead(file.data(), file.size());
    if (!b) {
      state.SkipWithError("the JPEG did not decode");
      break;
    }
    txFree(&b);
  }
  SetMegapixels(state);
}
BENCHMARK(BM_ReadJpeg)->Unit(benchmark::kMillisecond);

// ---- the libraries' own command-line decoders --------------------------------

// Runs a program with its output going to /dev/null; false when it cannot
// be started or fails.
bool RunQuietly(const std::vector<std::string> &args, const std::filesystem::path &cwd) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());
  std::vector<char *> argv;
  for (const std::string &a : args) argv.push_back(const_cast<char *>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid = 0;
  const int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return false;
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void RunTool(benchmark::State &state, const std::vector<std::string> &args) {
  if (!RunQuietly(args, WorkDir())) {
    state.SkipWithError((args[0] + " is not installed or failed").c_str());
    return;
  }
  for (auto _ : state) RunQuietly(args, WorkDir());
  SetMegapixels(state);
}

void BM_Djpeg(benchmark::State &state) {
  RunTool(state, {"djpeg", "-outfile", "/dev/null", PictureFile(TX_ID_JPEG).string()});
}
BENCHMARK(BM_Djpeg)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Pngtopam(benchmark::State &state) {
  RunTool(state, {"pngtopam", PictureFile(TX_ID_PNG).string()});
}
BENCHMARK(BM_Pngtopam)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_NvdecompressDXT1(benchmark::State &state) {
  RunTool(state, {"nvdecompress", DdsFile().string()});
}
BENCHMARK(BM_NvdecompressDXT1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
