#include "framework/zblock.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "framework/sys.h"
#include "vfs_test_util.h"

namespace {

std::string Random(size_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  std::string s(n, '\0');
  for (char &c : s) c = static_cast<char>(rng());
  return s;
}

std::string Compressible(size_t n) {
  std::string s;
  while (s.size() < n) s += "emberfield z-block " + std::to_string(s.size() % 977) + "\n";
  s.resize(n);
  return s;
}

struct Block {
  void *data = nullptr;
  uint32_t length = 0;
  ~Block() { SYS_MEMFREE(data); }
  std::string bytes() const { return std::string(static_cast<const char *>(data), length); }
};

int Inflate(const std::string &block, std::string &out, void **pointer = nullptr) {
  void *p = reinterpret_cast<void *>(0x1);  // sentinel: "untouched"
  uint32_t n = 0;
  int rc = SYS_ZUncompress(block.data(), static_cast<uint32_t>(block.size()), &p, &n);
  if (pointer) *pointer = p;
  if (rc == 0) {
    out.assign(static_cast<const char *>(p), n);
    SYS_MemFree(&p, __FILE__, __LINE__);
  }
  return rc;
}

class ZBlock : public ::testing::Test {
protected:
  void SetUp() override {
    SYS_ZSetLevel(9);
    SYS_ErrorGet();
  }
  void TearDown() override { SYS_ZSetLevel(9); }
};

}  // namespace

TEST_F(ZBlock, RoundTripsKeepBytesAndLength) {
  const std::vector<std::string> inputs = {
      "x", Random(1000, 1), Compressible(1000), Random(1 << 20, 2), Compressible(1 << 20), std::string(300000, '\0'),
  };
  for (const std::string &in : inputs) {
    Block b;
    ASSERT_EQ(SYS_ZCompress(in.data(), static_cast<uint32_t>(in.size()), &b.data, &b.length), 0);
    std::string block = b.bytes();
    // Header: raw size, packed size, CRC of exactly the packed bytes.
    uint32_t raw, packed, crc;
    memcpy(&raw, block.data(), 4);
    memcpy(&packed, block.data() + 4, 4);
    memcpy(&crc, block.data() + 8, 4);
    EXPECT_EQ(raw, in.size());
    EXPECT_EQ(packed + 12, block.size());
    EXPECT_EQ(crc, crc32(0, reinterpret_cast<const Bytef *>(block.data() + 12), packed));

    std::string out;
    ASSERT_EQ(Inflate(block, out), 0);
    EXPECT_EQ(out, in);
  }
}

TEST_F(ZBlock, IncompressibleInputOfEverySmallSizeStillMakesFinishedBlocks) {
  // The work buffer is only 0.1 % + 12 bytes larger than the input.
  for (int level : {0, 1, 9}) {
    SYS_ZSetLevel(level);
    for (uint32_t n = 1; n < 600; n += 7) {
      std::string in = Random(n, n);
      Block b;
      ASSERT_EQ(SYS_ZCompress(in.data(), n, &b.data, &b.length), 0) << "level " << level << " size " << n;
      std::string out;
      ASSERT_EQ(Inflate(b.bytes(), out), 0);
      ASSERT_EQ(out, in);
    }
  }
}

TEST_F(ZBlock, LevelZeroStoresAndBadLevelsAreRefused) {
  SYS_ZSetLevel(10);
  EXPECT_EQ(SYS_ErrorGet(), 6);
  SYS_ZSetLevel(-1);
  EXPECT_EQ(SYS_ErrorGet(), 6);

  SYS_ZSetLevel(0);
  EXPECT_EQ(SYS_ErrorGet(), 0);
  std::string in = Compressible(4000);
  Block b;
  ASSERT_EQ(SYS_ZCompress(in.data(), 4000, &b.data, &b.length), 0);
  // A stored deflate block: the text appears verbatim after the 2-byte
  // zlib header and the 5-byte stored-block header.
  std::string block = b.bytes();
  EXPECT_EQ(block.substr(12 + 2 + 5, 4000), in);
}

TEST_F(ZBlock, CompressRefusesBadArguments) {
  void *p = nullptr;
  uint32_t n = 0;
  char byte = 'a';
  EXPECT_EQ(SYS_ZCompress(&byte, 0, &p, &n), -1);
  EXPECT_EQ(SYS_ErrorGet(), 10);
  EXPECT_EQ(SYS_ZCompress(nullptr, 1, &p, &n), -1);
  EXPECT_EQ(SYS_ErrorGet(), 10);
  EXPECT_EQ(SYS_ZCompress(&byte, 1, nullptr, &n), -1);
  EXPECT_EQ(SYS_ErrorGet(), 10);
  EXPECT_EQ(SYS_ZCompress(&byte, 0x80000000u, &p, &n), -1);
  EXPECT_EQ(SYS_ErrorGet(), 10);
  EXPECT_EQ(p, nullptr);
}

TEST_F(ZBlock, AnyFlippedPackedByteFailsWithChecksumCodeBeforeAllocating) {
  std::string in = Compressible(3000);
  std::string block = ember_test::MakeZBlock(in);
  size_t live = SYS_MemLiveCount();
  for (size_t i = 12; i < block.size(); ++i) {
    std::string bad = block;
    bad[i] ^= 0x20;
    std::string out;
    void *p = nullptr;
    ASSERT_EQ(Inflate(bad, out, &p), -1);
    EXPECT_EQ(SYS_ErrorGet(), 7);
    EXPECT_EQ(p, reinterpret_cast<void *>(0x1)) << "output pointer must stay untouched";
  }
  EXPECT_EQ(SYS_MemLiveCount(), live);
}

TEST_F(ZBlock, AShortStreamLeavesZerosAndALongOneFails) {
  std::string in = Compressible(3000);
  std::string block = ember_test::MakeZBlock(in);
  std::string out;
  void *p = nullptr;

  // The stream holds more than the header admits.
  std::string small = block;
  ember_test::SetLE(small, 0, 2999);
  EXPECT_EQ(Inflate(small, out, &p), -1);
  EXPECT_EQ(SYS_ErrorGet(), 8);
  EXPECT_EQ(p, nullptr);

  // The stream ends before the header's size: the rest stays zero, however
  // far the size reaches beyond what the stream could give.
  for (uint32_t raw : {3001u, 1u << 24}) {
    std::string large = block;
    ember_test::SetLE(large, 0, raw);
    ASSERT_EQ(Inflate(large, out), 0) << raw;
    ASSERT_EQ(out.size(), raw);
    EXPECT_TRUE(out.compare(0, in.size(), in) == 0);
    EXPECT_EQ(out.find_first_not_of('\0', in.size()), std::string::npos);
  }

  // Bytes after the stream's end are not part of it.
  std::string padded = block + "tail";
  ember_test::SetLE(padded, 4, uint32_t(block.size() - 12 + 4));
  ember_test::SetLE(padded, 8, uint32_t(crc32(0, reinterpret_cast<const Bytef *>(padded.data() + 12), uInt(padded.size() - 12))));
  ASSERT_EQ(Inflate(padded, out), 0);
  EXPECT_EQ(out, in);

  // A stream cut short is no stream.
  std::string cut = block.substr(0, block.size() - 10);
  ember_test::SetLE(cut, 4, uint32_t(cut.size() - 12));
  ember_test::SetLE(cut, 8, uint32_t(crc32(0, reinterpret_cast<const Bytef *>(cut.data() + 12), uInt(cut.size() - 12))));
  p = nullptr;
  EXPECT_EQ(Inflate(cut, out, &p), -1);
  EXPECT_EQ(SYS_ErrorGet(), 8);
  EXPECT_EQ(p, nullptr);

  // No size a signed file size cannot carry.
  std::string forged = block;
  ember_test::SetLE(forged, 0, 0x80000000u);
  EXPECT_EQ(Inflate(forged, out), -1);
  EXPECT_EQ(SYS_ErrorGet(), 8);
}

TEST_F(ZBlock, ABlockIsNeverReadBeyondTheBytesGiven) {
  std::string block = ember_test::MakeZBlock(Compressible(2000));
  for (size_t cut = 0; cut < block.size(); ++cut) {
    // A copy of exactly `cut` bytes, so the sanitizers see any overread.
    std::unique_ptr<char[]> part(new char[cut]);
    memcpy(part.get(), block.data(), cut);
    void *p = nullptr;
    uint32_t n = 0;
    ASSERT_EQ(SYS_ZUncompress(part.get(), static_cast<uint32_t>(cut), &p, &n), -1);
    EXPECT_EQ(SYS_ErrorGet(), 7) << cut;
  }
  // A packed size of zero is no block either.
  std::string empty = block.substr(0, 12);
  ember_test::SetLE(empty, 4, 0);
  std::string out;
  EXPECT_EQ(Inflate(empty, out), -1);
  EXPECT_EQ(SYS_ErrorGet(), 7);

  void *p = nullptr;
  uint32_t n = 0;
  EXPECT_EQ(SYS_ZUncompress(nullptr, 12, &p, &n), -1);
  EXPECT_EQ(SYS_ErrorGet(), 10);
  EXPECT_EQ(SYS_ZUncompress(block.data(), 12, nullptr, &n), -1);
  EXPECT_EQ(SYS_ErrorGet(), 10);
}

// For readers that must not trust a raw size: only the bytes the stream
// yields come back, with SYS_ZUncompress's checks. 16 MB of zeros, which
// zlib packs into some 16 KB, grows the buffer well past its first size.
TEST_F(ZBlock, WithoutTheZeroFillOnlyTheStreamsOwnBytesComeBack) {
  const std::string zeros(size_t(16) << 20, '\0');
  std::string block = ember_test::MakeZBlock(zeros);
  auto produce = [](const std::string &b, std::string &out) {
    void *p = reinterpret_cast<void *>(0x1);  // sentinel: "untouched"
    uint32_t n = 0;
    int rc = SYS_ZUncompressProduced(b.data(), static_cast<uint32_t>(b.size()), &p, &n);
    if (rc == 0) {
      out.assign(static_cast<const char *>(p), n);
      SYS_MemFree(&p, __FILE__, __LINE__);
    } else {
      EXPECT_EQ(p, reinterpret_cast<void *>(0x1));
    }
    return rc == 0 ? 0 : SYS_ErrorGet();
  };
  std::string out;
  for (uint32_t raw : {uint32_t(zeros.size()), 0x7fffffffu}) {
    ember_test::SetLE(block, 0, raw);
    ASSERT_EQ(produce(block, out), 0) << raw;
    EXPECT_TRUE(out == zeros) << out.size();
  }
  ember_test::SetLE(block, 0, uint32_t(zeros.size() - 1));
  EXPECT_EQ(produce(block, out), 8);  // more than the raw size
  std::string cut = block.substr(0, block.size() - 10);
  ember_test::SetLE(cut, 4, uint32_t(cut.size() - 12));
  ember_test::SetLE(cut, 8, uint32_t(crc32(0, reinterpret_cast<const Bytef *>(cut.data() + 12), uInt(cut.size() - 12))));
  EXPECT_EQ(produce(cut, out), 8);  // a stream cut short
}

TEST(Checksums, MatchZlibAndRefuseEmptyInput) {
  const char text[] = "123456789";
  EXPECT_EQ(SYS_Crc32(text, 9), 0xcbf43926u);
  EXPECT_EQ(SYS_Adler32(text, 9), 0x091e01deu);
  EXPECT_EQ(SYS_ErrorGet(), 0);
  EXPECT_EQ(SYS_Crc32(nullptr, 9), 0xffffffffu);
  EXPECT_EQ(SYS_ErrorGet(), 10);
  EXPECT_EQ(SYS_Crc32(text, 0), 0xffffffffu);
  EXPECT_EQ(SYS_ErrorGet(), 10);
  EXPECT_EQ(SYS_Adler32(text, 0), 0xffffffffu);
  EXPECT_EQ(SYS_ErrorGet(), 10);
}

TEST(Round, HalvesGoAwayFromZeroAndExtremesSaturate) {
  EXPECT_EQ(SYS_Round(2.5f), 3);
  EXPECT_EQ(SYS_Round(-2.5f), -3);
  EXPECT_EQ(SYS_Round(0.4f), 0);
  EXPECT_EQ(SYS_Round(-0.4f), 0);
  EXPECT_EQ(SYS_Round(1001.0f), 1001);
  EXPECT_EQ(SYS_Round(1e20f), INT32_MAX);
  EXPECT_EQ(SYS_Round(-1e20f), INT32_MIN);
}
