// Shared by the file-system tests: a fixture that runs each test in a
// fresh current folder with nothing mounted and records the error
// callback's calls, and a pack builder written straight on zlib (not on
// the framework's z-blocks, nor on the pack tool), so the reader is
// checked against an independent writer.
#pragma once

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "framework/file_internal.h"
#include "framework/sys.h"
#include "support/test_support.h"

namespace ember_test {

// ---- error callback recorder ------------------------------------------------

struct Reported {
  int32_t code;
  std::string name;
};

inline std::vector<Reported> &ReportedErrors() {
  static std::vector<Reported> calls;
  return calls;
}

inline void RecordError(int32_t code, const char *name) { ReportedErrors().push_back({code, name ? name : ""}); }

// Runs each test in an empty current folder, with no mounts and a
// recording error callback; everything is undone afterwards.
class VfsTest : public ::testing::Test {
protected:
  void SetUp() override {
    SYS_FileUnmountAll();
    ReportedErrors().clear();
    SYS_ErrorSetCallback(RecordError);
    cwd_ = std::make_unique<ScopedCwd>(dir_.path());
    SYS_ErrorGet();
  }
  void TearDown() override {
    SYS_FileUnmountAll();
    SYS_ErrorSetCallback(nullptr);
    cwd_.reset();
  }
  std::string Path(const std::string &name) const { return dir_.str(name); }

  TempDir dir_;
  std::unique_ptr<ScopedCwd> cwd_;
};

// Reads a whole file through the file system the way the program's loaders
// do: open, size by name, read, close.
inline bool ReadWhole(const std::string &name, std::string &out) {
  SYS_File_p f = SYS_FileOpen(name.c_str(), SYS_FILE_READ);
  if (!f) return false;
  int32_t size = SYS_FileSize(name.c_str());
  out.assign(size > 0 ? size_t(size) : 0, '\0');
  int32_t got = size > 0 ? SYS_FileRead(f, out.data(), size) : 0;
  SYS_FileClose(f);
  return got == size;
}

// ---- independent pack writer --------------------------------------------------

inline void PutLE(std::string &s, uint32_t v, int bytes = 4) {
  for (int i = 0; i < bytes; ++i) s.push_back(static_cast<char>((v >> (8 * i)) & 0xff));
}

inline void SetLE(std::string &s, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) s[at + i] = static_cast<char>((v >> (8 * i)) & 0xff);
}

// A z-block of raw: {raw size, packed size, CRC of the packed bytes}, then
// a zlib stream made by zlib's own compress2.
inline std::string MakeZBlock(const std::string &raw, int level = Z_DEFAULT_COMPRESSION) {
  uLongf n = compressBound(raw.size());
  std::string packed(n, '\0');
  compress2(reinterpret_cast<Bytef *>(packed.data()), &n, reinterpret_cast<const Bytef *>(raw.data()), raw.size(),
            level);
  packed.resize(n);
  std::string block;
  PutLE(block, static_cast<uint32_t>(raw.size()));
  PutLE(block, static_cast<uint32_t>(n));
  PutLE(block, static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef *>(packed.data()), n)));
  return block + packed;
}

struct PackItem {
  std::string name;
  std::string content;
  bool zblock = false;
};

// Where each part of a built pack lies, for tests that damage it.
struct PackLayout {
  std::string bytes;
  struct Stored {
    size_t offset, length;
    bool zblock;
  };
  std::vector<Stored> entries;
  size_t catalog_offset = 0;
};

// One catalog record as the pack stores it: stored size, offset, z-block
// flag, then the name behind its 16-bit length.
inline void PutCatalogRecord(std::string &records, const std::string &name, size_t offset,
                             size_t size, bool zblock) {
  PutLE(records, static_cast<uint32_t>(size));
  PutLE(records, static_cast<uint32_t>(offset));
  records.push_back(zblock ? 1 : 0);
  PutLE(records, static_cast<uint32_t>(name.size()), 2);
  records += name;
}

inline PackLayout BuildPack(const std::vector<PackItem> &items) {
  PackLayout out;
  out.bytes = "QLPK";
  PutLE(out.bytes, static_cast<uint32_t>(items.size()));
  PutLE(out.bytes, 0);  // catalog offset, set below
  std::string records;
  for (const PackItem &item : items) {
    std::string stored = item.zblock ? MakeZBlock(item.content) : item.content;
    out.entries.push_back({out.bytes.size(), stored.size(), item.zblock});
    PutCatalogRecord(records, item.name, out.bytes.size(), stored.size(), item.zblock);
    out.bytes += stored;
  }
  out.catalog_offset = out.bytes.size();
  SetLE(out.bytes, 8, static_cast<uint32_t>(out.catalog_offset));
  out.bytes += MakeZBlock(records);
  return out;
}

}  // namespace ember_test
