#include "tools/packtool/pack_writer.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "framework/file_internal.h"
#include "framework/sys.h"
#include "support/test_support.h"

namespace fs = std::filesystem;
using ember_test::ReadBytes;
using ember_test::TempDir;

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Random(size_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  Bytes b(n);
  for (uint8_t &c : b) c = static_cast<uint8_t>(rng());
  return b;
}

Bytes Text(size_t n) {
  Bytes b;
  for (uint32_t i = 0; b.size() < n; ++i)
    for (char c : "row " + std::to_string(i % 97) + ";") b.push_back(static_cast<uint8_t>(c));
  b.resize(n);
  return b;
}

uint32_t LE(const Bytes &b, size_t at) {
  return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}

class PackWriter : public ::testing::Test {
protected:
  void SetUp() override { SYS_FileUnmountAll(); }
  void TearDown() override { SYS_FileUnmountAll(); }
  TempDir dir_;
};

}  // namespace

TEST_F(PackWriter, EntriesAreStoredPackedOnlyWhenThatIsSmaller) {
  const Bytes empty, one{42}, noise = Random(1 << 20, 3), text = Text(1 << 20);
  std::vector<packwriter::Entry> entries = {
      {"empty", empty}, {"one", one}, {"noise.bin", noise}, {"dir/text.txt", text}};
  Bytes pack;
  std::string error;
  ASSERT_TRUE(packwriter::Build(entries, pack, error)) << error;

  // Read the format by hand: header, catalog z-block at the end, records.
  ASSERT_EQ(std::string(pack.begin(), pack.begin() + 4), "QLPK");
  EXPECT_EQ(LE(pack, 4), 4u);
  uint32_t catalog = LE(pack, 8);
  uint32_t raw = LE(pack, catalog), packed = LE(pack, catalog + 4);
  ASSERT_EQ(catalog + 12 + packed, pack.size());
  EXPECT_EQ(LE(pack, catalog + 8), crc32(0, pack.data() + catalog + 12, packed));
  Bytes records(raw);
  uLongf n = raw;
  ASSERT_EQ(uncompress(records.data(), &n, pack.data() + catalog + 12, packed), Z_OK);
  ASSERT_EQ(n, raw);

  size_t at = 0;
  uint32_t expect_offset = 12;
  const bool expect_z[] = {false, false, false, true};
  for (size_t i = 0; i < entries.size(); ++i) {
    uint32_t stored = LE(records, at), offset = LE(records, at + 4);
    uint8_t flags = records[at + 8];
    uint16_t len = static_cast<uint16_t>(records[at + 9] | records[at + 10] << 8);
    EXPECT_EQ(std::string(records.begin() + long(at) + 11, records.begin() + long(at) + 11 + len), entries[i].name);
    EXPECT_EQ(offset, expect_offset) << "entries follow each other";
    EXPECT_EQ(flags, expect_z[i] ? 1 : 0) << entries[i].name;
    if (expect_z[i]) {
      EXPECT_LT(stored, entries[i].bytes.size());
    } else {
      EXPECT_EQ(stored, entries[i].bytes.size());
    }
    expect_offset += stored;
    at += 11 + len;
  }
  EXPECT_EQ(at, records.size());
  EXPECT_EQ(expect_offset, catalog);

  // And the framework serves every entry byte for byte.
  fs::path file = dir_.path() / "w.dat";
  ASSERT_TRUE(packwriter::WriteFile(file.string(), entries, error)) << error;
  EXPECT_EQ(ReadBytes(file), pack);
  EXPECT_FALSE(fs::exists(file.string() + ".tmp"));
  ASSERT_EQ(SYS_FilePackOpen(file.c_str()), 0);
  for (const auto &e : entries) {
    SYS_File_p f = SYS_FileOpen(e.name.c_str(), 0);
    ASSERT_NE(f, nullptr) << e.name;
    Bytes got(e.bytes.size());
    EXPECT_EQ(SYS_FileRead(f, got.data(), int32_t(got.size())), int32_t(got.size()));
    SYS_FileClose(f);
    EXPECT_TRUE(std::equal(got.begin(), got.end(), e.bytes.begin(), e.bytes.end())) << e.name;
  }
}

TEST_F(PackWriter, TheSameEntriesGiveTheSameBytes) {
  const Bytes a = Text(5000), b = Random(300, 9);
  Bytes first, second;
  std::string error;
  ASSERT_TRUE(packwriter::Build({{"a", a}, {"b", b}}, first, error));
  ASSERT_TRUE(packwriter::Build({{"a", a}, {"b", b}}, second, error));
  EXPECT_EQ(first, second);
}

TEST_F(PackWriter, PacksTheFrameworkCouldNotServeAreRefused) {
  const Bytes x{1};
  Bytes pack;
  std::string error;
  const std::vector<std::vector<packwriter::Entry>> refused = {
      {},
      {{"", x}},
      {{std::string("a\0b", 3), x}},
      {{std::string(70000, 'n'), x}},
      {{"same", x}, {"other", x}, {"same", x}},
  };
  for (const auto &entries : refused) {
    error.clear();
    EXPECT_FALSE(packwriter::Build(entries, pack, error));
    EXPECT_FALSE(error.empty());
    EXPECT_TRUE(pack.empty());
  }
  EXPECT_FALSE(packwriter::WriteFile((dir_.path() / "none.dat").string(), {}, error));
  EXPECT_FALSE(fs::exists(dir_.path() / "none.dat"));

  EXPECT_FALSE(packwriter::WriteFile((dir_.path() / "no/such/dir/p.dat").string(), {{"a", x}}, error));
  EXPECT_NE(error.find("cannot"), std::string::npos);
}
