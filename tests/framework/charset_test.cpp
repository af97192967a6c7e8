// The character-set converter against glibc's iconv, an implementation
// written by other people from the same published tables.
#include <gtest/gtest.h>

#include <cstring>
#include <iconv.h>
#include <vector>

#include "framework/charset.h"
#include "framework/log.h"

namespace {

const int32_t kParts[] = {1, 2, 4, 5, 9, 10, 13, 14, 15};

// The code point glibc gives byte b in ISO-8859 part `part`, or -1.
int64_t IconvCodePoint(int32_t part, unsigned char b) {
  std::string name = "ISO-8859-" + std::to_string(part);
  iconv_t cd = iconv_open("UCS-4LE", name.c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) return -1;
  char in[1] = {static_cast<char>(b)};
  unsigned char out[8] = {};
  char *ip = in, *op = reinterpret_cast<char *>(out);
  size_t il = 1, ol = sizeof out;
  size_t rc = iconv(cd, &ip, &il, &op, &ol);
  iconv_close(cd);
  if (rc == static_cast<size_t>(-1) || ol != 4) return -1;
  return out[0] | out[1] << 8 | out[2] << 16 | static_cast<int64_t>(out[3]) << 24;
}

TEST(CharsetTest, EveryByteOfEveryPartMatchesIconv) {
  std::vector<unsigned char> all(256);
  for (int b = 0; b < 256; ++b) all[b] = static_cast<unsigned char>(b);
  for (int32_t part : kParts) {
    uint16_t ucs2[256];
    uint32_t ucs4[256];
    uint32_t bytes2 = 0, bytes4 = 0;
    ASSERT_EQ(SYS_CharsetConvert(part, SYS_CHARSET_UCS2, all.data(), 256, ucs2, &bytes2), 0) << part;
    ASSERT_EQ(SYS_CharsetConvert(part, SYS_CHARSET_UCS4, all.data(), 256, ucs4, &bytes4), 0) << part;
    EXPECT_EQ(bytes2, 512u);
    EXPECT_EQ(bytes4, 1024u);
    for (int b = 0; b < 256; ++b) {
      int64_t expected = IconvCodePoint(part, static_cast<unsigned char>(b));
      ASSERT_GE(expected, 0) << "iconv has no mapping for part " << part << " byte " << b;
      EXPECT_EQ(ucs4[b], expected) << "part " << part << " byte 0x" << std::hex << b;
      EXPECT_EQ(ucs2[b], expected) << "part " << part << " byte 0x" << std::hex << b;
    }
  }
}

TEST(CharsetTest, EmptyInputAndUnalignedOutput) {
  uint32_t bytes = 99;
  unsigned char sentinel[4] = {0xAA, 0xAA, 0xAA, 0xAA};
  EXPECT_EQ(SYS_CharsetConvert(1, 31, "x", 0, sentinel, &bytes), 0);
  EXPECT_EQ(bytes, 0u);
  EXPECT_EQ(sentinel[0], 0xAA);

  // Output elements go wherever the caller points, aligned or not.
  unsigned char raw[1 + 3 * 4] = {};
  ASSERT_EQ(SYS_CharsetConvert(15, 31, "\xA4\xBD" "a", 3, raw + 1, &bytes), 0);
  uint32_t codes[3];
  memcpy(codes, raw + 1, sizeof codes);
  EXPECT_EQ(codes[0], 0x20ACu);
  EXPECT_EQ(codes[1], 0x0153u);
  EXPECT_EQ(codes[2], static_cast<uint32_t>('a'));
}

TEST(CharsetTest, PairsWithoutARowFailWithCode11) {
  const char in[] = "abc";
  uint16_t out[3] = {7, 7, 7};
  uint32_t bytes = 5;
  for (auto [source, target] : {std::pair{20, 30}, {3, 30}, {3, 31}, {30, 31}, {1, 20}, {1, 1}, {16, 30}}) {
    EXPECT_EQ(SYS_CharsetConvert(source, target, in, 3, out, &bytes), -1) << source << "->" << target;
    EXPECT_EQ(SYS_ErrorGet(), 11);
  }
  EXPECT_EQ(out[0], 7);
  EXPECT_EQ(bytes, 5u);
}

TEST(CharsetTest, BadArguments) {
  uint16_t out[2];
  uint32_t bytes = 0;
  EXPECT_EQ(SYS_CharsetConvert(1, 30, nullptr, 2, out, &bytes), -1);
  EXPECT_EQ(SYS_ErrorGet(), 10);
  EXPECT_EQ(SYS_CharsetConvert(1, 30, "ab", 2, nullptr, &bytes), -1);
  EXPECT_EQ(SYS_ErrorGet(), 10);
  EXPECT_EQ(SYS_CharsetConvert(1, 30, "ab", -1, out, &bytes), -1);
  EXPECT_EQ(SYS_ErrorGet(), 10);
  EXPECT_EQ(SYS_CharsetConvert(1, 30, "ab", 2, out, nullptr), -1);
  EXPECT_EQ(SYS_ErrorGet(), 10);
}

}  // namespace
