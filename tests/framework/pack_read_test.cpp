#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "core_test_util.h"
#include "vfs_test_util.h"

using ember_test::BuildPack;
using ember_test::PackItem;
using ember_test::ReadWhole;
using ember_test::ReportedErrors;
using ember_test::VfsTest;
using ember_test::WriteFile;

namespace {

std::string Random(size_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  std::string s(n, '\0');
  for (char &c : s) c = static_cast<char>(rng());
  return s;
}

std::string Compressible(size_t n) {
  std::string s;
  for (uint32_t i = 0; s.size() < n; ++i) s += "line " + std::to_string(i % 101) + " of the pack\n";
  s.resize(n);
  return s;
}

class Packs : public VfsTest {
protected:
  // Writes a pack built from items to `file` and mounts it.
  void Mount(const std::vector<PackItem> &items, const std::string &file = "test.dat") {
    WriteFile(Path(file), BuildPack(items).bytes);
    ASSERT_EQ(SYS_FilePackOpen(Path(file).c_str()), 0) << "code " << SYS_ErrorGet();
  }
};

using PacksDeathTest = Packs;

}  // namespace

TEST_F(Packs, EntriesOfEverySizeAndKindReadBackExactly) {
  const std::vector<std::pair<std::string, std::string>> contents = {
      {"empty", ""},
      {"one", "x"},
      {"random", Random(1 << 20, 7)},
      {"text", Compressible(1 << 20)},
  };
  std::vector<PackItem> items;
  for (const auto &[name, content] : contents) {
    items.push_back({"plain/" + name, content, false});
    items.push_back({"z/" + name, content, true});
  }
  Mount(items);
  size_t live = SYS_MemLiveCount();
  for (const PackItem &item : items) {
    SCOPED_TRACE(item.name);
    EXPECT_EQ(SYS_FileExists(item.name.c_str()), 0);
    EXPECT_EQ(SYS_FileSize(item.name.c_str()), int32_t(item.content.size()));
    SYS_File_p f = SYS_FileOpen(item.name.c_str(), 0);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->size, int32_t(item.content.size()));
    std::string got(item.content.size() + 5, '\0');
    EXPECT_EQ(SYS_FileRead(f, got.data(), int32_t(got.size())), int32_t(item.content.size()));
    got.resize(item.content.size());
    EXPECT_TRUE(got == item.content);
    EXPECT_EQ(SYS_FileEof(f), 1);
    EXPECT_EQ(SYS_FileRead(f, got.data(), 1), 0);
    SYS_FileClose(f);
  }
  // Closing releases every loaded entry.
  EXPECT_EQ(SYS_MemLiveCount(), live);
  SYS_FileUnmountAll();
}

TEST_F(Packs, NamesAreMatchedByteForByte) {
  Mount({{"tex/a.png", "A", true}, {"ab", "ab", false}, {std::string("n\0ul", 4), "nul", false}});
  std::string got;
  ASSERT_TRUE(ReadWhole("tex/a.png", got));
  EXPECT_EQ(got, "A");
  for (const char *name : {"tex\\a.png", "TEX/a.png", "./tex/a.png", "a", "ab ", "n", "tex/a.png/"}) {
    EXPECT_EQ(SYS_FileExists(name), -1) << name;
    EXPECT_EQ(SYS_ErrorGet(), 1);
  }
}

TEST_F(Packs, ADiskFileShadowsAPackedFile) {
  Mount({{"shadow.txt", "from the pack", true}});
  WriteFile(Path("shadow.txt"), "disk");
  std::string got;
  ASSERT_TRUE(ReadWhole("shadow.txt", got));
  EXPECT_EQ(got, "disk");
  EXPECT_EQ(SYS_FileSize("shadow.txt"), 4);
}

TEST_F(Packs, TheLaterMountWins) {
  Mount({{"both", "first", false}, {"only-first", "1", true}}, "first.dat");
  Mount({{"both", "second", true}}, "second.dat");
  std::string got;
  ASSERT_TRUE(ReadWhole("both", got));
  EXPECT_EQ(got, "second");
  ASSERT_TRUE(ReadWhole("only-first", got));
  EXPECT_EQ(got, "1");

  // The same path mounted again is one more pack, searched first.
  Mount({{"both", "first", false}}, "first.dat");
  ASSERT_TRUE(ReadWhole("both", got));
  EXPECT_EQ(got, "first");
}

TEST_F(Packs, ReadSeekAndTellWorkOnTheLoadedContent) {
  std::string content(50, '\0');
  for (int i = 0; i < 50; ++i) content[size_t(i)] = static_cast<char>('A' + i % 26);
  Mount({{"e", content, true}, {"zero", "", false}});
  SYS_File_p f = SYS_FileOpen("e", 0);
  ASSERT_NE(f, nullptr);
  char buf[100];

  EXPECT_EQ(SYS_FileSeek(f, 40), 0);
  EXPECT_EQ(SYS_FileRead(f, buf, 100), 10);
  EXPECT_EQ(buf[0], content[40]);
  EXPECT_EQ(SYS_FileTell(f), 50);
  EXPECT_EQ(SYS_FileRead(f, buf, 100), 0);

  EXPECT_EQ(SYS_FileSeek(f, 50), 0);
  EXPECT_EQ(SYS_FileTell(f), 50);
  EXPECT_EQ(SYS_FileSeek(f, 60), 0);
  EXPECT_EQ(SYS_FileTell(f), 49);
  EXPECT_EQ(SYS_FileSeek(f, -1), -1);
  EXPECT_EQ(SYS_ErrorGet(), 10);
  EXPECT_EQ(SYS_FileRead(f, buf, -5), -1);
  EXPECT_EQ(SYS_ErrorGet(), 10);
  EXPECT_EQ(SYS_FileRead(f, nullptr, 5), -1);
  EXPECT_EQ(SYS_ErrorGet(), 10);

  // The pack is read-only.
  EXPECT_EQ(SYS_FileWrite(f, buf, 1), -1);
  EXPECT_EQ(SYS_ErrorGet(), 11);
  EXPECT_EQ(SYS_FilePrintf(f, "x"), -1);
  EXPECT_EQ(SYS_ErrorGet(), 11);
  SYS_FileClose(f);

  SYS_File_p z = SYS_FileOpen("zero", 0);
  ASSERT_NE(z, nullptr);
  EXPECT_EQ(SYS_FileSeek(z, 10), 0);
  EXPECT_EQ(SYS_FileTell(z), 0);
  EXPECT_EQ(SYS_FileEof(z), 1);
  SYS_FileClose(z);
}

TEST_F(Packs, LinesKeepTheirLineFeedAndTheEndGivesAnEmptyText) {
  Mount({{"abc", "a\nb", false}, {"nul", std::string("x\0y\n\0\nz", 7), true}});
  SYS_File_p f = SYS_FileOpen("abc", 8);
  ASSERT_NE(f, nullptr);
  char buf[16];
  ASSERT_EQ(SYS_FileGets(f, buf, 16), buf);
  EXPECT_STREQ(buf, "a\n");
  EXPECT_EQ(SYS_FileEof(f), 0);
  ASSERT_EQ(SYS_FileGets(f, buf, 16), buf);
  EXPECT_STREQ(buf, "b");
  EXPECT_EQ(SYS_FileEof(f), 1);
  ASSERT_EQ(SYS_FileGets(f, buf, 16), buf);
  EXPECT_STREQ(buf, "");
  EXPECT_EQ(SYS_FileGets(f, buf, 0), nullptr);
  EXPECT_EQ(SYS_ErrorGet(), 10);
  EXPECT_EQ(SYS_FileGets(f, nullptr, 16), nullptr);
  EXPECT_EQ(SYS_ErrorGet(), 10);
  SYS_FileClose(f);

  // NUL bytes cut the text a caller sees, never the reader's progress.
  f = SYS_FileOpen("nul", 8);
  ASSERT_NE(f, nullptr);
  std::vector<std::string> lines;
  while (!SYS_FileEof(f) && lines.size() < 10) {
    ASSERT_EQ(SYS_FileGets(f, buf, 16), buf);
    lines.emplace_back(buf);
  }
  EXPECT_EQ(lines, (std::vector<std::string>{"x", "", "z"}));
  SYS_FileClose(f);

  // A long line comes in pieces of size - 1 bytes; a buffer of one byte
  // gets the empty text and the position stays.
  SYS_FileUnmountAll();
  Mount({{"long", "abcdefgh\n", false}});
  f = SYS_FileOpen("long", 8);
  buf[0] = 'q';
  ASSERT_EQ(SYS_FileGets(f, buf, 1), buf);
  EXPECT_EQ(SYS_ErrorGet(), 0);
  EXPECT_EQ(buf[0], '\0');
  EXPECT_EQ(SYS_FileTell(f), 0);
  ASSERT_EQ(SYS_FileGets(f, buf, 4), buf);
  EXPECT_STREQ(buf, "abc");
  ASSERT_EQ(SYS_FileGets(f, buf, 4), buf);
  EXPECT_STREQ(buf, "def");
  ASSERT_EQ(SYS_FileGets(f, buf, 4), buf);
  EXPECT_STREQ(buf, "gh\n");
  SYS_FileClose(f);
}

TEST_F(Packs, WritingIntoAPackFailsWithCode11ThroughTheCallback) {
  Mount({{"packed-only", "p", false}});
  for (uint32_t mode : {16u, 24u, 32u}) {
    ReportedErrors().clear();
    EXPECT_EQ(SYS_FileOpen("packed-only", mode), nullptr);
    EXPECT_EQ(SYS_ErrorGet(), 11);
    ASSERT_EQ(ReportedErrors().size(), 1u);
    EXPECT_EQ(ReportedErrors()[0].code, 11);
    EXPECT_EQ(ReportedErrors()[0].name, "packed-only");
  }
}

TEST_F(Packs, OpensOfOneEntryShareItsPositionAndItsBuffer) {
  Mount({{"e", "0123456789", true}});
  SYS_File_p a = SYS_FileOpen("e", 0);
  char buf[4] = {};
  EXPECT_EQ(SYS_FileRead(a, buf, 3), 3);
  SYS_File_p b = SYS_FileOpen("e", 0);
  EXPECT_EQ(SYS_FileTell(a), 0);  // the second open rewound the first
  SYS_FileClose(b);
  EXPECT_EQ(SYS_FileRead(a, buf, 3), -1);  // unloaded for both
  EXPECT_EQ(SYS_ErrorGet(), 1);
  char line[8];
  EXPECT_EQ(SYS_FileGets(a, line, 8), nullptr);
  EXPECT_EQ(SYS_ErrorGet(), 1);
  SYS_FileClose(a);

  std::string got;
  ASSERT_TRUE(ReadWhole("e", got));
  EXPECT_EQ(got, "0123456789");
}

TEST_F(Packs, AnEntryWithABadChecksumFailsEveryOpenWithCode7) {
  ember_test::PackLayout layout = BuildPack({{"good", "fine", true}, {"bad", Compressible(500), true}});
  layout.bytes[layout.entries[1].offset + 20] ^= 0x01;
  WriteFile(Path("p.dat"), layout.bytes);
  ASSERT_EQ(SYS_FilePackOpen(Path("p.dat").c_str()), 0);
  size_t live = SYS_MemLiveCount();
  for (int attempt = 0; attempt < 2; ++attempt) {
    ReportedErrors().clear();
    EXPECT_EQ(SYS_FileOpen("bad", 0), nullptr);
    EXPECT_EQ(SYS_ErrorGet(), 7);
    ASSERT_EQ(ReportedErrors().size(), 1u);
    EXPECT_EQ(ReportedErrors()[0].code, 7);
  }
  EXPECT_EQ(SYS_MemLiveCount(), live);
  std::string got;
  ASSERT_TRUE(ReadWhole("good", got));
  EXPECT_EQ(got, "fine");
}

// What the mount reads nothing of cannot fail it: an entry whose bytes
// leave the file, a z-block entry too short for its header, or one whose
// raw size no file size can carry fails alone, at every open and size,
// while its neighbours read as usual.
TEST_F(Packs, AnEntryThatCannotBeReadFailsItsOwnOpenAndSizeWithCode7) {
  using ember_test::MakeZBlock;
  using ember_test::PutLE;
  std::string huge = MakeZBlock("big");
  ember_test::SetLE(huge, 0, 0x80000000u);
  std::string pack = "QLPK";
  PutLE(pack, 6);
  PutLE(pack, 0);  // catalog offset, set below
  std::string records;
  auto record = [&](const std::string &name, size_t offset, size_t size, bool zblock) {
    ember_test::PutCatalogRecord(records, name, offset, size, zblock);
  };
  record("good", pack.size(), 4, false);
  pack += "good";
  record("huge", pack.size(), huge.size(), true);
  pack += huge;
  record("tiny", pack.size(), 11, true);  // a z-block header is 12 bytes
  pack += MakeZBlock("t").substr(0, 11);
  record("plain-past", pack.size(), 500, false);
  record("z-past", pack.size() - 4, 40, true);  // its raw size lies inside
  record("z-beyond", 1u << 20, 40, true);       // even its raw size lies outside
  ember_test::SetLE(pack, 8, uint32_t(pack.size()));
  pack += MakeZBlock(records);
  WriteFile(Path("damaged.dat"), pack);
  ASSERT_EQ(SYS_FilePackOpen_pack(Path("damaged.dat").c_str()), 0) << "code " << SYS_ErrorGet();

  size_t live = SYS_MemLiveCount();
  for (const char *name : {"huge", "tiny", "plain-past", "z-past", "z-beyond"}) {
    for (int attempt = 0; attempt < 2; ++attempt) {
      ReportedErrors().clear();
      EXPECT_EQ(SYS_FileOpen(name, 0), nullptr) << name;
      EXPECT_EQ(SYS_ErrorGet(), 7) << name;
      ASSERT_EQ(ReportedErrors().size(), 1u) << name;
      EXPECT_EQ(ReportedErrors()[0].code, 7) << name;
    }
    EXPECT_EQ(SYS_FileSize(name), -1) << name;
    EXPECT_EQ(SYS_ErrorGet(), 7) << name;
    EXPECT_EQ(SYS_FileExists(name), 0) << name;
  }
  EXPECT_EQ(SYS_MemLiveCount(), live);
  std::string got;
  ASSERT_TRUE(ReadWhole("good", got));
  EXPECT_EQ(got, "good");
  EXPECT_EQ(SYS_FileSize("good"), 4);
  ReportedErrors().clear();
}

TEST_F(Packs, MountCodesSayWhatIsWrong) {
  EXPECT_EQ(SYS_FilePackOpen_pack(nullptr), -1);
  EXPECT_EQ(SYS_ErrorGet(), 10);
  EXPECT_EQ(SYS_FilePackOpen_pack(Path("absent.dat").c_str()), -1);
  EXPECT_EQ(SYS_ErrorGet(), 1);

  WriteFile(Path("magic.dat"), "QLPX" + BuildPack({{"a", "a", false}}).bytes.substr(4));
  EXPECT_EQ(SYS_FilePackOpen_pack(Path("magic.dat").c_str()), -1);
  EXPECT_EQ(SYS_ErrorGet(), 12);
  EXPECT_EQ(SYS_FilePackOpen(Path("magic.dat").c_str()), -1);
  EXPECT_EQ(SYS_ErrorGet(), 11);

  // The magic with no catalog after it, or a catalog offset past the end
  // of the file or too near it for a block: the catalog fails as a
  // damaged block does.
  WriteFile(Path("short.dat"), "QLPK");
  EXPECT_EQ(SYS_FilePackOpen_pack(Path("short.dat").c_str()), -1);
  EXPECT_EQ(SYS_ErrorGet(), 7);
  ember_test::PackLayout one = BuildPack({{"a", "a", false}});
  for (uint32_t offset : {uint32_t(one.bytes.size()) + 1000, uint32_t(one.bytes.size()) - 11}) {
    ember_test::PackLayout far = one;
    ember_test::SetLE(far.bytes, 8, offset);
    WriteFile(Path("far.dat"), far.bytes);
    EXPECT_EQ(SYS_FilePackOpen_pack(Path("far.dat").c_str()), -1);
    EXPECT_EQ(SYS_ErrorGet(), 7);
  }

  // A folder is no pack (the folder handler takes it through the public call).
  std::filesystem::create_directory(Path("folder.dat"));
  EXPECT_EQ(SYS_FilePackOpen_pack(Path("folder.dat").c_str()), -1);
  EXPECT_EQ(SYS_ErrorGet(), 2);
  ReportedErrors().clear();  // that open went through the callback

  // Records beyond the catalog.
  ember_test::PackLayout more = BuildPack({{"a", "a", false}});
  ember_test::SetLE(more.bytes, 4, 2);
  WriteFile(Path("count.dat"), more.bytes);
  EXPECT_EQ(SYS_FilePackOpen_pack(Path("count.dat").c_str()), -1);
  EXPECT_EQ(SYS_ErrorGet(), 7);

  // Failed mounts keep nothing.
  EXPECT_EQ(SYS_PackList(), nullptr);
  EXPECT_TRUE(ReportedErrors().empty());
}

// Only what a read depends on is checked: entries anywhere in the file
// (even in the header or behind the catalog), spare bytes after the last
// record and after the catalog, a z-block entry stored with padding after
// its stream, and one whose stream ends before its size (zeros follow).
TEST_F(Packs, AnyLayoutWhoseReadsStayInsideTheFileMounts) {
  using ember_test::MakeZBlock;
  using ember_test::PutLE;
  std::string padded = MakeZBlock("bravo") + "PADDING";
  std::string short_stream = MakeZBlock("ch");
  ember_test::SetLE(short_stream, 0, 8);
  std::string pack = "QLPK";
  PutLE(pack, 5);
  PutLE(pack, 0);  // catalog offset, set below
  std::vector<std::pair<std::string, std::string>> stored = {
      {"alpha", "alpha"}, {"bravo", padded}, {"charlie", short_stream}};
  std::string records;
  auto record = [&](const std::string &name, size_t offset, size_t size, bool zblock) {
    ember_test::PutCatalogRecord(records, name, offset, size, zblock);
  };
  record("magic", 0, 4, false);
  for (const auto &[name, bytes] : stored) {
    record(name, pack.size(), bytes.size(), name != "alpha");
    pack += bytes;
  }
  // The last entry lies behind the catalog; a stored block's length does
  // not depend on the offsets it holds.
  const size_t catalog_offset = pack.size();
  const size_t catalog_size = MakeZBlock(records + std::string(15 + 18, '?'), 0).size();
  record("tail", catalog_offset + catalog_size + 3, 4, false);
  records += "spare record bytes";
  ember_test::SetLE(pack, 8, uint32_t(catalog_offset));
  std::string catalog = MakeZBlock(records, 0);
  ASSERT_EQ(catalog.size(), catalog_size);
  pack += catalog + "..." + "TAIL" + "after the tail";
  WriteFile(Path("loose.dat"), pack);
  ASSERT_EQ(SYS_FilePackOpen(Path("loose.dat").c_str()), 0) << "code " << SYS_ErrorGet();

  const std::vector<std::pair<std::string, std::string>> expected = {
      {"magic", "QLPK"}, {"alpha", "alpha"}, {"bravo", "bravo"},
      {"charlie", std::string("ch\0\0\0\0\0\0", 8)}, {"tail", "TAIL"}};
  for (const auto &[name, content] : expected) {
    std::string got;
    ASSERT_TRUE(ReadWhole(name, got)) << name;
    EXPECT_TRUE(got == content) << name;
  }

  // A count below the records ignores the rest.
  ember_test::PackLayout fewer = BuildPack({{"a", "a", false}, {"b", "b", false}});
  ember_test::SetLE(fewer.bytes, 4, 1);
  WriteFile(Path("fewer.dat"), fewer.bytes);
  ASSERT_EQ(SYS_FilePackOpen(Path("fewer.dat").c_str()), 0);
  std::string got;
  ASSERT_TRUE(ReadWhole("a", got));
  EXPECT_EQ(got, "a");
  EXPECT_EQ(SYS_FileExists("b"), -1);
}

TEST_F(Packs, AMountLogsTheHeaderAndEveryName) {
  ember_test::PackLayout layout = BuildPack({{"one", "1", false}, {"dir/two", "2", true}});
  WriteFile(Path("log.dat"), layout.bytes);
  ember_test::LogCapture log;
  ASSERT_EQ(SYS_FilePackOpen(Path("log.dat").c_str()), 0);
  const std::string offset = std::to_string(layout.catalog_offset);
  EXPECT_NE(log.text().find("[file-pack]  - number of entrys (original) : 2\n"
                            "[file-pack]  - catalog's offset (original) : " + offset + "\n"
                            "[file-pack] " + Path("log.dat") + "\n"
                            "[file-pack]  - number of entrys: 2\n"
                            "[file-pack]  - catalog's offset: " + offset + "\n"
                            "[file-pack]  - files:\n"
                            "[file-pack]     - one\n"
                            "[file-pack]     - dir/two\n"),
            std::string::npos)
      << log.text();
}

TEST_F(Packs, UnmountingReleasesEverything) {
  size_t live = SYS_MemLiveCount();
  Mount({{"a", Compressible(1000), true}, {"b", "bb", false}});
  std::string got;
  ASSERT_TRUE(ReadWhole("a", got));
  SYS_FileUnmountAll();
  EXPECT_EQ(SYS_MemLiveCount(), live);
}

TEST_F(Packs, OneFileUnderEverySpellingHasOneIdentityAndDistinctFilesDiffer) {
  namespace fs = std::filesystem;
  WriteFile(Path("a.png"), "same bytes");
  WriteFile(Path("b.png"), "same bytes");  // equal content, another file
  fs::create_symlink(Path("a.png"), Path("link.png"));
  fs::create_directories(Path("root/sub"));
  WriteFile(Path("root/sub/c.png"), "c");
  ASSERT_EQ(SYS_FilePackOpen(Path("root").c_str()), 0);

  // Two records share one entry's bytes; a third has bytes of its own.
  std::string pack = "QLPK";
  ember_test::PutLE(pack, 3);
  ember_test::PutLE(pack, 0);
  const size_t first = pack.size();
  pack += "entry bytes";
  const size_t second = pack.size();
  pack += "entry bytes";
  std::string records;
  ember_test::PutCatalogRecord(records, "p/one", first, 11, false);
  ember_test::PutCatalogRecord(records, "p/again", first, 11, false);
  ember_test::PutCatalogRecord(records, "p/other", second, 11, false);
  ember_test::SetLE(pack, 8, static_cast<uint32_t>(pack.size()));
  pack += ember_test::MakeZBlock(records);
  WriteFile(Path("test.dat"), pack);
  ASSERT_EQ(SYS_FilePackOpen(Path("test.dat").c_str()), 0);

  auto id = [](const std::string &name) {
    SYS_FileIdentity_t identity{~0ull, ~0ull, 0, 0, 0, 0};
    EXPECT_EQ(SYS_FileIdentify(name.c_str(), &identity), 0) << name;
    return identity;
  };
  const SYS_FileIdentity_t a = id("a.png");
  for (const std::string &spelling :
       std::vector<std::string>{"./a.png", ".//a.png", "root/../a.png", "link.png", Path("a.png")})
    EXPECT_EQ(id(spelling), a) << spelling;
  EXPECT_FALSE(id("b.png") == a);
  EXPECT_EQ(id("sub/c.png"), id(Path("root/sub/c.png")));  // the mounted folder's file is the disk file
  EXPECT_EQ(id("p/again"), id("p/one"));
  EXPECT_FALSE(id("p/other") == id("p/one"));

  // An identity names the file as it was: the same inode rewritten, and the
  // same pack mounted again (its record may well sit where the last one
  // did), are other files.
  const SYS_FileIdentity_t entry = id("p/one");
  SYS_FileUnmountPacks();
  ASSERT_EQ(SYS_FilePackOpen(Path("test.dat").c_str()), 0);
  EXPECT_FALSE(id("p/one") == entry);
  EXPECT_EQ(id("p/again"), id("p/one"));
  {
    std::ofstream rewrite(Path("a.png"), std::ios::binary | std::ios::trunc);
    rewrite << "other bytes, same inode";
  }
  EXPECT_FALSE(id("a.png") == a);
  EXPECT_EQ(id("link.png"), id("a.png"));

  SYS_FileIdentity_t untouched{1, 2, 3, 4, 5, 6};
  EXPECT_EQ(SYS_FileIdentify("missing.png", &untouched), -1);
  EXPECT_EQ(SYS_ErrorGet(), 1);
  EXPECT_EQ(untouched, (SYS_FileIdentity_t{1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(SYS_FileIdentify(nullptr, &untouched), -1);
  EXPECT_EQ(SYS_ErrorGet(), 10);
  EXPECT_TRUE(ReportedErrors().empty());  // the error callback is the open's alone
}

// Unmounting frees every entry of the pack. A file still open on one of
// them must never read the freed bytes: it fails as a file whose handle is
// gone, and closes cleanly.
TEST_F(Packs, AFileOpenWhenItsPackIsUnmountedReadsNothingAndClosesCleanly) {
  Mount({{"plain/a", Compressible(5000), false}, {"z/b", Compressible(7000), true}});
  SYS_File_p plain = SYS_FileOpen("plain/a", 0);
  SYS_File_p packed = SYS_FileOpen("z/b", 0);
  ASSERT_NE(plain, nullptr);
  ASSERT_NE(packed, nullptr);
  char buffer[64];
  ASSERT_EQ(SYS_FileRead(plain, buffer, 10), 10);
  const size_t live = SYS_MemLiveCount();
  SYS_FileUnmountPacks();
  EXPECT_LT(SYS_MemLiveCount(), live);  // the entries' bytes are gone
  for (SYS_File_p f : {plain, packed}) {
    EXPECT_EQ(SYS_FileRead(f, buffer, sizeof buffer), -1);
    EXPECT_EQ(SYS_ErrorGet(), 10);
    EXPECT_EQ(SYS_FileGets(f, buffer, sizeof buffer), nullptr);
    EXPECT_EQ(SYS_ErrorGet(), 10);
    EXPECT_EQ(SYS_FileSeek(f, 3), -1);
  }
  EXPECT_EQ(SYS_FileClose(plain), 0);

  // A pack mounted afterwards serves its own files, and the old open file
  // still reads nothing.
  Mount({{"plain/a", "fresh", false}}, "other.dat");
  SYS_File_p fresh = SYS_FileOpen("plain/a", 0);
  ASSERT_NE(fresh, nullptr);
  EXPECT_EQ(SYS_FileRead(fresh, buffer, sizeof buffer), 5);
  EXPECT_EQ(SYS_FileRead(packed, buffer, sizeof buffer), -1);
  EXPECT_EQ(SYS_FileClose(packed), 0);
  EXPECT_EQ(SYS_FileClose(fresh), 0);
  SYS_FileUnmountAll();
}

// The framework shutdown frees every block, the records of open files,
// mounts and modules too: nothing may still name them afterwards, so a
// call made after it (from an exit handler, say) finds nothing mounted
// instead of reading what was freed.
TEST_F(PacksDeathTest, AfterTheShutdownNoListNamesWhatItFreed) {
  Mount({{"plain/a", "abc", false}});
  EXPECT_EXIT(
      {
        if (!SYS_FileOpen("plain/a", 0)) _exit(2);
        SYS_Shutdown();
        const bool forgotten = SYS_PackList() == nullptr && SYS_DlGetList() == nullptr &&
                               SYS_FileExists("plain/a") != 0;
        SYS_FileUnmountAll();
        _exit(forgotten ? 0 : 3);
      },
      ::testing::ExitedWithCode(0), "");
}
