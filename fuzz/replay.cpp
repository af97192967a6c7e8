// Replays a fuzz target's inputs pass after pass, in one process and
// without the fuzzer, and fails when the heap holds more after a later
// pass than after the first. Whatever an input makes must go with it, or a
// fuzz run of any length, or a program that does the same work again and
// again, grows without end. The first pass may fill what is made once
// (libraries, registries, buffers kept at their largest size).
//
// Usage: <target>_replay PASSES FILE_OR_FOLDER...
#include <sanitizer/allocator_interface.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int *argc, char ***argv);

namespace {

namespace fs = std::filesystem;

std::vector<std::string> Inputs(int argc, char **argv) {
  std::vector<std::string> files;
  for (int i = 2; i < argc; ++i) {
    if (fs::is_directory(argv[i])) {
      for (const auto &e : fs::directory_iterator(argv[i]))
        if (e.is_regular_file()) files.push_back(fs::absolute(e.path()).string());
    } else {
      files.push_back(fs::absolute(argv[i]).string());
    }
  }
  std::sort(files.begin(), files.end());
  return files;
}

}  // namespace

int main(int argc, char **argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s PASSES FILE_OR_FOLDER...\n", argv[0]);
    return 2;
  }
  const int passes = std::atoi(argv[1]);
  // Paths are made absolute first: a target may change its working folder.
  const std::vector<std::string> files = Inputs(argc, argv);
  std::vector<std::vector<uint8_t>> inputs;
  for (const std::string &f : files) {
    std::ifstream in(f, std::ios::binary);
    inputs.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  if (inputs.empty() || passes < 2) {
    std::fprintf(stderr, "%s: needs two passes or more over at least one input\n", argv[0]);
    return 2;
  }
  if (LLVMFuzzerInitialize) LLVMFuzzerInitialize(&argc, &argv);
  size_t first = 0, last = 0;
  for (int pass = 1; pass <= passes; ++pass) {
    for (const auto &input : inputs) {
      // Each input in a block of its exact size, as the fuzzer hands it over.
      auto *copy = static_cast<uint8_t *>(std::malloc(input.size() ? input.size() : 1));
      std::copy(input.begin(), input.end(), copy);
      LLVMFuzzerTestOneInput(copy, input.size());
      std::free(copy);
    }
    last = __sanitizer_get_current_allocated_bytes();
    if (pass == 1) first = last;
  }
  std::printf("%s: %zu inputs, %d passes: heap %zu bytes after the first, %zu after the last\n",
              fs::path(argv[0]).filename().c_str(), inputs.size(), passes, first, last);
  if (last > first) {
    std::fprintf(stderr, "%s: the heap grew by %zu bytes over %d passes\n", argv[0], last - first, passes - 1);
    return 1;
  }
  return 0;
}
