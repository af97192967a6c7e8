// Arbitrary bytes as a data pack: mount them, then open, read, line-read
// and seek every entry the mount accepted. Whatever the bytes, nothing may
// crash, read out of bounds or leak; every mount is undone before the next
// input.
//
// Mutations rarely keep a catalog's CRC intact, so each input is tried a
// second time with the catalog's CRC mended, which lets the record parser
// behind the check see the mutated bytes.
//
// A catalog costs only what its stream produces, whatever raw size it
// claims, so every catalog is tried. An entry's z-block may promise far
// more bytes than its stream holds (the rest reads as zeros, up to 2 GiB
// for a four-byte mutation): entries that promise more than kMaxRaw are
// not opened.
//
// Entries are opened through the pack handler itself rather than by name
// through the whole file system: a fuzzed name may be any path on this
// machine, and the regular handler would open it.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "framework/file_internal.h"
#include "framework/sys.h"
#include "framework/zblock.h"

namespace {

constexpr uint32_t kMaxRaw = 64u << 20;

const std::string &PackPath() {
  static const std::string path = [] {
    char tmpl[] = "/tmp/ember-pack-fuzz-XXXXXX";
    int fd = mkstemp(tmpl);
    if (fd < 0) abort();
    close(fd);
    return std::string(tmpl);
  }();
  static const bool removed_at_exit = [] { return atexit([] { unlink(path.c_str()); }) == 0; }();
  (void)removed_at_exit;
  return path;
}

void Exercise(SYS_PackEntry_t &entry) {
  const SYS_FileHandler_t &h = SYS_FileHandler_pack;
  std::string name(entry.name, entry.name_length);
  // The entry an open serves (the first of its name) must stay small.
  SYS_PackEntry_t *served = nullptr;
  if (SYS_PackFind(name.c_str(), nullptr, &served) && served->size > kMaxRaw) return;
  SYS_File_t file{};
  file.name = name.data();
  if (h.open(&file) != 0) return;

  // SYS_PackFind serves the first entry of that name, which may be another.
  auto *e = static_cast<SYS_PackEntry_t *>(file.entry);
  char buffer[97];
  int32_t total = 0;
  for (int32_t n; (n = h.read(&file, buffer, sizeof buffer)) > 0;) total += n;
  if (total != int32_t(e->size)) abort();

  // Every line read must advance by at least a byte, so the entry's size
  // bounds the lines (an entry of zeros has no line ends at all).
  h.seek(&file, 0);
  for (int64_t lines = 0; !h.eof(&file) && lines <= int64_t(e->size); ++lines)
    if (!h.gets(&file, buffer, sizeof buffer)) abort();
  if (!h.eof(&file)) abort();

  h.seek(&file, int32_t(e->size / 2));
  h.read(&file, buffer, sizeof buffer);
  h.close(&file);
}

uint32_t LE32(const uint8_t *p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }

void MountAndRead(const uint8_t *data, size_t size) {
  FILE *f = fopen(PackPath().c_str(), "wb");
  if (!f) abort();
  if (size) fwrite(data, 1, size, f);
  fclose(f);

  size_t live = SYS_MemLiveCount();
  if (SYS_FilePackOpen_pack(PackPath().c_str()) == 0) {
    auto *pack = static_cast<SYS_Pack_t *>(SYS_PackList()->data);
    for (int32_t i = 0; i < pack->count; ++i) Exercise(pack->entries[i]);
  }
  SYS_FileUnmountAll();
  if (SYS_MemLiveCount() != live) abort();  // a failed or undone mount keeps nothing
  SYS_ErrorGet();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  MountAndRead(data, size);

  // Mutated catalogs rarely keep their CRC; mend it so the record parser
  // behind the check sees the mutations too.
  if (size < 12) return 0;
  uint32_t at = LE32(data + 8);
  if (at > size || size - at < 12) return 0;
  uint32_t packed = LE32(data + at + 4);
  if (packed == 0 || packed > size - at - 12) return 0;
  std::vector<uint8_t> mended(data, data + size);
  uint32_t crc = SYS_Crc32(mended.data() + at + 12, packed);
  for (int i = 0; i < 4; ++i) mended[at + 8 + size_t(i)] = static_cast<uint8_t>(crc >> (8 * i));
  if (memcmp(mended.data(), data, size) != 0) MountAndRead(mended.data(), size);
  return 0;
}
