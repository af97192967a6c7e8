// The face registry and fonts: loading through the file layer, what is
// refused, lookups by exact name, and the setters' ranges.
#include <cstring>
#include <filesystem>

#include "font_test_util.h"

using namespace ember_test;
namespace fs = std::filesystem;

namespace {

int FaceCount() {
  int n = 0;
  for (SYS_List_p l = frFaces; l; l = l->next) ++n;
  return n;
}

TEST_F(FontTest, AFaceLoadedTwiceIsReadOnceAndFoundOnlyByItsExactName) {
  TempDir dir;
  const std::string path = dir.str("Face.ttf");
  fs::copy_file(FontPath("sans_bold.ttf"), path);
  ASSERT_EQ(frLoadFace(path.c_str()), 0);
  fs::remove(path);  // a second read would now fail
  EXPECT_EQ(frLoadFace(path.c_str()), 0);
  EXPECT_EQ(FaceCount(), 1);
  frFace *face = frFindFace(path.c_str());
  ASSERT_NE(face, nullptr);
  EXPECT_EQ(face->bold, 1);
  EXPECT_EQ(face->scalable, 1);
  EXPECT_EQ(face->kerning, 1);

  frFont *font = frNewFont(FR_ENC_UTF8, 0, 0, 3);
  const std::string other = dir.str("face.ttf");
  EXPECT_EQ(frSetFont(font, other.c_str(), 17, 800, 1), -1);
  EXPECT_EQ(SYS_ErrorGet(), 14);
  EXPECT_EQ(font->face, nullptr);
  EXPECT_EQ(font->size, 17);
  EXPECT_EQ(font->weight, 800);
  EXPECT_EQ(frSetFont(font, path.c_str(), 12, 100, 0), 0);
  EXPECT_EQ(font->face, face);
  frFreeFont(font);
}

// A release listener that looks faces up as the registry closes finds only
// those not yet released.
TEST_F(FontTest, AListenerThatLooksFacesUpOnCloseFindsOnlyFacesStillHeld) {
  static std::vector<std::string> names;
  static std::vector<int> found;
  names.clear();
  found.clear();
  TempDir dir;
  for (const char *n : {"a.ttf", "b.ttf", "c.ttf"}) {
    names.push_back(dir.str(n));
    fs::copy_file(FontPath("sans_bold.ttf"), names.back());
    ASSERT_EQ(frLoadFace(names.back().c_str()), 0);
  }
  const frReleaseProc before = frOnRelease;
  frOnRelease = [](const frFace *) {
    int held = 0;
    for (const std::string &n : names)
      if (const frFace *face = frFindFace(n.c_str())) {
        EXPECT_EQ(face->name, n);
        ++held;
      }
    found.push_back(held);
  };
  EXPECT_EQ(frClose(), 0);
  frOnRelease = before;
  EXPECT_EQ(found, (std::vector<int>{3, 2, 1}));
  EXPECT_EQ(frInit(), 0);
}

// Closing the registry frees every face: a font made before keeps no
// pointer to its face, renders as a font without one (code 11), and draws
// again once bound to the face loaded anew.
TEST_F(FontTest, AFontOutlivingTheRegistryRendersNothingUntilBoundAgain) {
  frFont *font = Font("sans_bold.ttf", 20);
  Image before(2, 64, 32), after(2, 64, 32);
  ASSERT_EQ(frRender(font, before.b, "Ag", nullptr, nullptr), 0);
  EXPECT_EQ(frClose(), 0);
  ASSERT_EQ(frInit(), 0);
  EXPECT_EQ(font->face, nullptr);
  EXPECT_EQ(frRender(font, after.b, "Ag", nullptr, nullptr), -1);
  EXPECT_EQ(SYS_ErrorGet(), 11);
  const std::string path = FontPath("sans_bold.ttf");
  ASSERT_EQ(frLoadFace(path.c_str()), 0);
  ASSERT_EQ(frSetFont(font, path.c_str(), 20, 100, 0), 0);
  ASSERT_EQ(frRender(font, after.b, "Ag", nullptr, nullptr), 0);
  EXPECT_EQ(0, std::memcmp(before.b->image[0], after.b->image[0], before.b->imagesize[0]));
}

TEST_F(FontTest, FilesThatCannotBecomeFacesRegisterNothing) {
  TempDir dir;
  WriteFile(dir.path() / "empty.ttf", "");
  EXPECT_EQ(frLoadFace(dir.str("empty.ttf").c_str()), -1);
  EXPECT_EQ(SYS_ErrorGet(), 0);  // the allocator refuses 0 bytes and says nothing

  EXPECT_EQ(frLoadFace(dir.str("missing.ttf").c_str()), -1);
  EXPECT_NE(SYS_ErrorGet(), 0);

  WriteFile(dir.path() / "junk.ttf", std::string(300, 'x'));
  EXPECT_EQ(frLoadFace(dir.str("junk.ttf").c_str()), -1);
  EXPECT_EQ(SYS_ErrorGet(), 11);

  // A bitmap format FreeType opens but that has no em square to size by.
  EXPECT_EQ(frLoadFace(FontPath("tiny.bdf").c_str()), -1);
  EXPECT_EQ(SYS_ErrorGet(), 11);
  EXPECT_EQ(FaceCount(), 0);
}

TEST_F(FontTest, AShortReadFailsAndRegistersNothing) {
  // sysfs reports a page for files that hold a few bytes.
  const char *name = "/sys/devices/system/cpu/online";
  ASSERT_TRUE(fs::exists(name));
  ASSERT_GT(SYS_FileSize(name), int32_t(ReadFile(name).size())) << "sysfs no longer pads " << name;
  EXPECT_EQ(frLoadFace(name), -1);
  EXPECT_EQ(SYS_ErrorGet(), 10);
  EXPECT_EQ(FaceCount(), 0);
}

TEST_F(FontTest, ASecondInitKeepsFacesAndTheirBytes) {
  frFont *font = Font("sans_bold.ttf", 12);
  ASSERT_EQ(frInit(), 0);
  EXPECT_EQ(FaceCount(), 1);
  Image img(2, 40, 20);
  EXPECT_EQ(frRender(font, img.b, "Ag", nullptr, nullptr), 0);
  EXPECT_FALSE(InkOf(img).empty());
}

TEST_F(FontTest, SettersKeepTheirRanges) {
  EXPECT_EQ(frNewFont(3, 0, 0, 3), nullptr);
  EXPECT_EQ(SYS_ErrorGet(), 10);
  frFont *font = frNewFont(FR_ENC_UTF8, 0x11223344, 7, 9);  // alignments stored unchecked
  ASSERT_NE(font, nullptr);
  EXPECT_EQ(font->size, 10);
  for (int32_t v : {0, 3, 31}) EXPECT_EQ(frSetEncoding(font, v), -1);
  for (int32_t v : {-1, 3}) EXPECT_EQ(frSetHAlign(font, v), -1);
  for (int32_t v : {-1, 1, 5}) EXPECT_EQ(frSetVAlign(font, v), -1);
  EXPECT_EQ(font->encoding, 20);  // refused values change nothing
  EXPECT_EQ(font->halign, 7);
  EXPECT_EQ(font->valign, 9);
  EXPECT_EQ(frSetPosition(font, -3, 8), 0);
  EXPECT_EQ(font->halign, -1);
  EXPECT_EQ(font->valign, -1);
  EXPECT_EQ(frFreeFont(font), 0);
  EXPECT_EQ(frSetColor(nullptr, 1), -1);
  EXPECT_EQ(SYS_ErrorGet(), 10);
}

TEST_F(FontTest, DebugLinesAreWrittenOnlyWithTheOption) {
  {
    LogCapture quiet;
    frClose();
    ASSERT_EQ(frInit(), 0);
    Image img(2, 40, 20);
    ASSERT_EQ(frRender(Font("sans_bold.ttf", 12), img.b, "A", nullptr, nullptr), 0);
    EXPECT_EQ(quiet.text().find("[fr]"), std::string::npos) << quiet.text();
  }
  SetArgs({"-debug-fr"});
  LogCapture log;
  ASSERT_EQ(frInit(), 0);  // already started: only the option is read again
  frClose();
  ASSERT_EQ(frInit(), 0);
  frFont *font = Font("sans_bold.ttf", 12);
  Image img(2, 40, 20);
  ASSERT_EQ(frRender(font, img.b, "A", nullptr, nullptr), 0);
  const std::string text = log.text();
  const std::string path = FontPath("sans_bold.ttf");
  EXPECT_NE(text.find("[fr]  - closing: TTF\n[fr]  - initialize: TTF\n[fr]  ...done.\n"), std::string::npos);
  EXPECT_NE(text.find("[fr][ttf] New font: '" + path + "' (b: 1 i: 0 s: 1 k: 1)\n"), std::string::npos);
  EXPECT_NE(text.find("[fr][ttf]  - encodings:\n[fr][ttf]    - unic\n"), std::string::npos);
  EXPECT_NE(text.find("[fr] ! set font: " + path + " (handler: 0x"), std::string::npos);
  EXPECT_NE(text.find("[fr][ttf]  - rendering: A...\n"), std::string::npos);
  EXPECT_NE(text.find("[fr][ttf]  - bitmap size: "), std::string::npos);
  SetArgs({});
  frInit();
}

}  // namespace
