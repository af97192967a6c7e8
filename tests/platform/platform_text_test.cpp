// Title text conversion and the key position table, checked against
// references made elsewhere: the C library's own Latin-2 converter, and
// USB HID usage numbers (which SDL scancodes are) written out by hand.
#include <gtest/gtest.h>
#include <iconv.h>

#include <string>

#include "platform/platform.h"

namespace {

std::string IconvLatin2ToUtf8(const std::string &in) {
  iconv_t cd = iconv_open("UTF-8", "ISO-8859-2");
  EXPECT_NE(reinterpret_cast<iconv_t>(-1), cd);
  std::string out(in.size() * 4 + 4, '\0');
  char *src = const_cast<char *>(in.data());
  size_t src_left = in.size();
  char *dst = out.data();
  size_t dst_left = out.size();
  EXPECT_NE(static_cast<size_t>(-1), iconv(cd, &src, &src_left, &dst, &dst_left));
  iconv_close(cd);
  out.resize(out.size() - dst_left);
  return out;
}

TEST(Latin2Title, EveryByteConvertsAsTheCLibraryConvertsIt) {
  for (int byte = 1; byte < 256; ++byte) {
    std::string one(1, static_cast<char>(byte));
    EXPECT_EQ(IconvLatin2ToUtf8(one), plLatin2ToUtf8(one.c_str())) << "byte 0x" << std::hex << byte;
  }
}

TEST(Latin2Title, AWholeTitleKeepsItsOrderAndPlainText) {
  // "Łódź" and "Żółw" in Latin-2, with plain text around them.
  const char title[] = "vantor - \xA3\xF3" "d\xBC / \xAF\xF3\xB3w";
  EXPECT_EQ("vantor - \xC5\x81\xC3\xB3" "d\xC5\xBA / \xC5\xBB\xC3\xB3\xC5\x82w", plLatin2ToUtf8(title));
  EXPECT_EQ("", plLatin2ToUtf8(""));
  EXPECT_EQ("", plLatin2ToUtf8(nullptr));
}

TEST(KeyPositions, KeysMapToTheMacKeyAtTheSamePlace) {
  struct {
    int32_t hid;
    uint32_t mac;
  } const cases[] = {
      {4, 0x00},    // A
      {29, 0x06},   // Z
      {30, 0x12},   // 1
      {39, 0x1D},   // 0
      {40, 0x24},   // Return
      {41, 0x35},   // Escape
      {42, 0x33},   // Backspace
      {44, 0x31},   // Space
      {58, 0x7A},   // F1
      {69, 0x6F},   // F12
      {73, 0x72},   // Insert sits where Help is
      {76, 0x75},   // forward Delete
      {79, 0x7C},   // Right
      {82, 0x7E},   // Up
      {83, 0x47},   // Num Lock sits where keypad Clear is
      {88, 0x4C},   // keypad Enter
      {98, 0x52},   // keypad 0
      {101, 0x6E},  // context menu
      {225, 0x38},  // left Shift
      {229, 0x3C},  // right Shift
  };
  for (const auto &c : cases) EXPECT_EQ(c.mac, plVirtualKeyForScancode(c.hid)) << "usage " << c.hid;
}

TEST(KeyPositions, KeysTheMacLacksAndBadNumbersHaveNoCode) {
  EXPECT_EQ(PL_KEY_NONE, plVirtualKeyForScancode(0));
  EXPECT_EQ(PL_KEY_NONE, plVirtualKeyForScancode(102));  // Power
  EXPECT_EQ(PL_KEY_NONE, plVirtualKeyForScancode(-1));
  EXPECT_EQ(PL_KEY_NONE, plVirtualKeyForScancode(100000));
  for (int32_t hid = 0; hid < 512; ++hid) {
    uint32_t mac = plVirtualKeyForScancode(hid);
    EXPECT_TRUE(mac == PL_KEY_NONE || mac < 127) << "usage " << hid;
  }
}

}  // namespace
