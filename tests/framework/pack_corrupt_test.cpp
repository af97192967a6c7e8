// A small pack damaged in every possible single place: cut at every
// length, and every byte flipped once. Each damage must end in the one
// outcome its place calls for, never in a crash or an out-of-bounds access
// (the sanitizer build runs these too). Damage the format cannot see (a
// plain entry's bytes, a z-block's larger raw size) reads back as it lies.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core_test_util.h"
#include "vfs_test_util.h"

using ember_test::BuildPack;
using ember_test::PackItem;
using ember_test::PackLayout;
using ember_test::VfsTest;
using ember_test::WriteFile;

namespace {

uint32_t LE32(const std::string &s, size_t at) {
  return uint32_t(uint8_t(s[at])) | uint32_t(uint8_t(s[at + 1])) << 8 | uint32_t(uint8_t(s[at + 2])) << 16 |
         uint32_t(uint8_t(s[at + 3])) << 24;
}

const std::vector<PackItem> &Items() {
  static const std::vector<PackItem> items = {
      {"plain.txt", "hello\nworld\n", false},
      {"packed.txt", std::string(200, 'a') + "tail", true},
      {"empty", "", false},
      {"z-empty", "", true},
  };
  return items;
}

class CorruptPacks : public VfsTest {
protected:
  void SetUp() override {
    VfsTest::SetUp();
    layout_ = BuildPack(Items());
  }

  // Mounts `bytes` through the pack handler itself; returns its code.
  int32_t MountCode(const std::string &bytes) {
    WriteFile(Path("p.dat"), bytes);
    SYS_FileUnmountAll();
    if (SYS_FilePackOpen_pack(Path("p.dat").c_str()) == 0) return 0;
    return SYS_ErrorGet();
  }

  // Opens and reads every entry; returns the open's code (0 when it
  // opened) and the content read.
  int32_t ReadEntry(const std::string &name, std::string &content) {
    content.clear();
    SYS_File_p f = SYS_FileOpen(name.c_str(), 0);
    if (!f) return SYS_ErrorGet();
    content.assign(size_t(f->size), '\0');
    int32_t got = SYS_FileRead(f, content.data(), f->size);
    SYS_FileClose(f);
    EXPECT_EQ(got, int32_t(content.size()));
    return 0;
  }

  PackLayout layout_;
};

}  // namespace

TEST_F(CorruptPacks, TheUndamagedPackReadsBack) {
  ASSERT_EQ(MountCode(layout_.bytes), 0);
  for (const PackItem &item : Items()) {
    std::string got;
    ASSERT_EQ(ReadEntry(item.name, got), 0) << item.name;
    EXPECT_EQ(got, item.content);
  }
}

TEST_F(CorruptPacks, EveryCutFailsTheMount) {
  const std::string &full = layout_.bytes;
  for (size_t cut = 0; cut < full.size(); ++cut) {
    int32_t code = MountCode(full.substr(0, cut));
    // Too short for the magic: no pack. Otherwise the catalog is missing
    // or shorter than its block says, and fails as its block would.
    int32_t expected = cut < 4 ? 12 : 7;
    ASSERT_EQ(code, expected) << "cut at " << cut;
    EXPECT_EQ(SYS_PackList(), nullptr);
  }
  // Through the public call every failed mount reads as "no handler".
  WriteFile(Path("cut.dat"), full.substr(0, full.size() - 1));
  EXPECT_EQ(SYS_FilePackOpen(Path("cut.dat").c_str()), -1);
  EXPECT_EQ(SYS_ErrorGet(), 11);
}

TEST_F(CorruptPacks, EveryFlippedByteGivesTheCodeOfItsPlace) {
  const std::string &good = layout_.bytes;
  const size_t size = good.size();
  size_t live = SYS_MemLiveCount();

  for (size_t at = 0; at < size; ++at) {
    SCOPED_TRACE("byte " + std::to_string(at));
    std::string bad = good;
    bad[at] = static_cast<char>(~bad[at]);

    // What the damage at `at` must lead to.
    int32_t mount = 0;          // expected mount code
    int bad_entry = -1;         // entry that no longer opens
    int32_t open_code = 0;      // and its code
    int changed_entry = -1;     // entry whose bytes differ, unnoticed
    std::string changed;        // and what it reads as

    if (at < 4) {
      mount = 12;  // magic
    } else if (at < 8) {
      mount = 7;  // count: more records than the catalog holds
    } else if (at < 12) {
      mount = 7;  // catalog offset: no room for a block there, or no block there
    } else if (at >= layout_.catalog_offset) {
      size_t in = at - layout_.catalog_offset;
      if (in < 4) {
        // Raw size: smaller than the stream fails, larger leaves spare
        // zero bytes after the last record, which is fine.
        uint32_t raw = LE32(bad, layout_.catalog_offset);
        mount = raw < LE32(good, layout_.catalog_offset) || raw > 0x7fffffff ? 8 : 0;
      } else {
        mount = 7;  // packed size, CRC or stream
      }
    } else {
      for (size_t i = 0; i < layout_.entries.size(); ++i) {
        const auto &e = layout_.entries[i];
        if (at < e.offset || at >= e.offset + e.length) continue;
        size_t in = at - e.offset;
        if (!e.zblock) {
          changed_entry = int(i);
          changed = Items()[i].content;
          changed[in] = bad[at];
        } else if (in < 4) {
          // Raw size: beyond any file size fails that entry's open;
          // smaller than the stream fails to open too; larger reads as
          // zeros after it.
          uint32_t raw = LE32(bad, e.offset);
          if (raw > 0x7fffffff) {
            bad_entry = int(i);
            open_code = 7;
          } else if (raw < Items()[i].content.size()) {
            bad_entry = int(i);
            open_code = 8;
          } else {
            changed_entry = int(i);
            changed = Items()[i].content;
            changed.resize(raw, '\0');
          }
        } else {
          bad_entry = int(i);  // packed size, CRC or packed bytes
          open_code = 7;
        }
      }
    }

    ASSERT_EQ(MountCode(bad), mount);
    if (mount != 0) continue;
    for (size_t i = 0; i < Items().size(); ++i) {
      const PackItem &item = Items()[i];
      std::string got;
      int32_t code = ReadEntry(item.name, got);
      if (int(i) == bad_entry) {
        EXPECT_EQ(code, open_code) << item.name;
      } else {
        ASSERT_EQ(code, 0) << item.name;
        if (int(i) == changed_entry) {
          EXPECT_TRUE(got == changed) << item.name;
        } else {
          EXPECT_EQ(got, item.content) << item.name;
        }
      }
    }
  }
  SYS_FileUnmountAll();
  EXPECT_EQ(SYS_MemLiveCount(), live);
}

// A catalog whose raw size promises a third record that its stream never
// produced: the zero fill is no record, so the mount fails and says why.
// With the record really there the same pack mounts.
TEST_F(CorruptPacks, RecordsInTheCatalogsZeroFillFailTheMount) {
  std::string pack = "QLPK";
  ember_test::PutLE(pack, 3);
  ember_test::PutLE(pack, 14);
  pack += "ab";
  std::string records;
  ember_test::PutCatalogRecord(records, "a", 12, 1, false);
  ember_test::PutCatalogRecord(records, "b", 13, 1, false);
  std::string third;
  ember_test::PutCatalogRecord(third, "c", 12, 2, false);
  std::string catalog = ember_test::MakeZBlock(records);
  ember_test::SetLE(catalog, 0, uint32_t(records.size() + third.size()));
  ember_test::LogCapture log;
  EXPECT_EQ(MountCode(pack + catalog), 7);
  EXPECT_NE(log.text().find("[file-pack]  ! 3 records cannot lie in the catalog's 24 inflated bytes\n"),
            std::string::npos)
      << log.text();
  EXPECT_EQ(SYS_PackList(), nullptr);
  ASSERT_EQ(MountCode(pack + ember_test::MakeZBlock(records + third)), 0);
  std::string got;
  ASSERT_EQ(ReadEntry("c", got), 0);
  EXPECT_EQ(got, "ab");
}
