// The texture slot table without a display: the demo side's GL entry
// variables point at a recorder, which also reads every byte OpenGL would
// read, so an upload that overruns its buffer shows under AddressSanitizer.
#include <gtest/gtest.h>
#include <unistd.h>

#include <map>

#include "image_test_util.h"
#include "texture/slot_table.h"
#include "window/gl_demo.h"

using namespace ember_test;

namespace {

struct Upload {
  std::string call;  // "glTexImage2D", "gluBuild2DMipmaps", "glCompressedTexImage2DARB"
  GLint level;
  GLint components;  // or the compressed format
  GLsizei width, height;
  GLenum format;
  Bytes pixels;
};

struct Recorder {
  GLuint next = 1;
  std::vector<std::string> calls;
  std::vector<Upload> uploads;
  std::vector<GLuint> deleted;
  std::map<GLenum, GLint> params;  // last glTexParameteri values
  GLint alignment = 4;
  GLint alignmentAtUpload = -1;
};
Recorder *rec = nullptr;

size_t UnpackedSize(GLsizei w, GLsizei h, GLenum format) {
  const size_t n = format == GL_RGBA ? 4 : format == GL_RGB ? 3 : 1;
  const size_t row = size_t(w) * n, stride = (row + size_t(rec->alignment) - 1) /
                                             size_t(rec->alignment) * size_t(rec->alignment);
  return stride * size_t(h - 1) + row;
}

void GenTextures(GLsizei n, GLuint *ids) {
  rec->calls.push_back("glGenTextures");
  for (GLsizei i = 0; i < n; ++i) ids[i] = rec->next++;
}
void BindTexture(GLenum, GLuint id) { rec->calls.push_back("glBindTexture " + std::to_string(id)); }
void TexParameteri(GLenum, GLenum name, GLint value) { rec->params[name] = value; }
void DeleteTextures(GLsizei n, const GLuint *ids) {
  for (GLsizei i = 0; i < n; ++i) rec->deleted.push_back(ids[i]);
}
void PixelStorei(GLenum name, GLint value) {
  if (name == GL_UNPACK_ALIGNMENT) rec->alignment = value;
}
void GetIntegerv(GLenum name, GLint *value) {
  if (name == GL_UNPACK_ALIGNMENT) *value = rec->alignment;
}
void Record(const char *call, GLint level, GLint components, GLsizei w, GLsizei h, GLenum format,
            const void *pixels) {
  rec->alignmentAtUpload = rec->alignment;
  const size_t n = UnpackedSize(w, h, format);
  const auto *p = static_cast<const uint8_t *>(pixels);
  rec->uploads.push_back({call, level, components, w, h, format, Bytes(p, p + n)});
}
void TexImage2D(GLenum, GLint level, GLint components, GLsizei w, GLsizei h, GLint, GLenum format,
                GLenum, const void *pixels) {
  Record("glTexImage2D", level, components, w, h, format, pixels);
}
GLint Build2DMipmaps(GLenum, GLint components, GLsizei w, GLsizei h, GLenum format, GLenum,
                     const void *pixels) {
  Record("gluBuild2DMipmaps", 0, components, w, h, format, pixels);
  return 0;
}
void CompressedTexImage2D(GLenum, GLint level, GLenum format, GLsizei w, GLsizei h, GLint,
                          GLsizei size, const void *data) {
  const auto *p = static_cast<const uint8_t *>(data);
  rec->uploads.push_back({"glCompressedTexImage2DARB", level, GLint(format), w, h, 0,
                          Bytes(p, p + size)});
}

class SlotTable : public LoaderTest {
protected:
  void SetUp() override {
    LoaderTest::SetUp();
    rec = &recorder_;
    dgl::glGenTextures = GenTextures;
    dgl::glBindTexture = BindTexture;
    dgl::glTexParameteri = TexParameteri;
    dgl::glDeleteTextures = DeleteTextures;
    dgl::glPixelStorei = PixelStorei;
    dgl::glGetIntegerv = GetIntegerv;
    dgl::glTexImage2D = TexImage2D;
    dgl::gluBuild2DMipmaps = Build2DMipmaps;
    dgl::glCompressedTexImage2DARB = CompressedTexImage2D;
    flags_ = glExtFlags;
    glExtFlags.maxTextureSize = 1024;
    cwd_ = std::make_unique<ScopedCwd>(dir_.path());
    txSetParam(3, TX_RED_FIRST);  // as the demo does before its first load
    txTexReset();
  }
  void TearDown() override {
    txTexReset();
    cwd_.reset();
    glExtFlags = flags_;
    dgl::glGenTextures = nullptr;
    dgl::glBindTexture = nullptr;
    dgl::glTexParameteri = nullptr;
    dgl::glDeleteTextures = nullptr;
    dgl::glPixelStorei = nullptr;
    dgl::glGetIntegerv = nullptr;
    dgl::glTexImage2D = nullptr;
    dgl::gluBuild2DMipmaps = nullptr;
    dgl::glCompressedTexImage2DARB = nullptr;
    rec = nullptr;
    LoaderTest::TearDown();
  }
  void Write(const std::string &name, const Bytes &bytes) { WriteBytes(dir_.path() / name, bytes); }
  void WriteTga(const std::string &name, uint16_t w, uint16_t h, uint8_t bits = 24) {
    TgaSpec s;
    s.width = w;
    s.height = h;
    s.bits = bits;
    s.pixels = Ramp(size_t(w) * h, bits / 8);
    Write(name, MakeTga(s));
  }
  int LiveSlots() const {
    int n = 0;
    for (const txNode &s : txNodes) n += !s.free;
    return n;
  }

  Recorder recorder_;
  glExtFlags_t flags_{};
  TempDir dir_;
  std::unique_ptr<ScopedCwd> cwd_;
};

// Runs a statement that must end the program through the fatal exit; its
// message goes to standard output, which the death test cannot see, so the
// child sends standard output to standard error first.
#define EXPECT_FATAL(statement, message)                                                    \
  EXPECT_EXIT(                                                                              \
      {                                                                                     \
        dup2(2, 1);                                                                         \
        statement;                                                                          \
      },                                                                                    \
      ::testing::ExitedWithCode(1), message)

}  // namespace

TEST_F(SlotTable, ResetEmptiesEverySlotWithoutDeleting) {
  WriteTga("a.tga", 2, 2);
  txTexLoad("a.tga", 1);
  txTexReset();
  EXPECT_TRUE(recorder_.deleted.empty());
  EXPECT_EQ(LiveSlots(), 0);
  EXPECT_STREQ(txNodes[0].name, "empty");
  EXPECT_EQ(txNodes[0].id, 0);
  EXPECT_EQ(txNodes[0].filter, 3);
  EXPECT_EQ(txNodes[1000].references, 0);
}

TEST_F(SlotTable, SharesByNameAndFilterTypeAndCountsReferences) {
  WriteTga("a.tga", 2, 2);
  WriteTga("A.tga", 2, 2);
  const int32_t first = txTexLoad("a.tga", 1);
  EXPECT_NE(first, 0);
  EXPECT_EQ(txTexLoad("a.tga", 1), first);
  EXPECT_EQ(txNodes[0].references, 2);
  EXPECT_EQ(recorder_.uploads.size(), 1u);

  const int32_t mipmapped = txTexLoad("a.tga", 3);
  EXPECT_NE(mipmapped, first);
  const int32_t upper = txTexLoad("A.tga", 1);  // names are compared exactly
  EXPECT_NE(upper, first);
  EXPECT_EQ(LiveSlots(), 3);
  EXPECT_STREQ(txNodes[2].name, "A.tga");
}

TEST_F(SlotTable, ReleaseDeletesAtTheLastReferenceAndFreesTheSlotForReuse) {
  WriteTga("a.tga", 2, 2);
  WriteTga("b.tga", 2, 2);
  const int32_t a = txTexLoad("a.tga", 1);
  const int32_t b = txTexLoad("b.tga", 1);
  txTexLoad("a.tga", 1);
  txTexRelease(a);
  EXPECT_TRUE(recorder_.deleted.empty());
  txTexRelease(a);
  EXPECT_EQ(recorder_.deleted, std::vector<GLuint>{GLuint(a)});
  EXPECT_TRUE(txNodes[0].free);
  EXPECT_FALSE(txNodes[0].uploaded);
  txTexRelease(a);  // no live slot holds it any more
  txTexRelease(12345);
  EXPECT_EQ(recorder_.deleted.size(), 1u);

  WriteTga("c.tga", 2, 2);
  const int32_t c = txTexLoad("c.tga", 0);
  EXPECT_STREQ(txNodes[0].name, "c.tga");  // the lowest free slot
  EXPECT_EQ(txNodes[0].id, c);
  EXPECT_EQ(txNodes[1].id, b);
}

TEST_F(SlotTable, FilterTypesSetTheirFiltersAndUploadPath) {
  WriteTga("t.tga", 4, 2);
  struct Case {
    int32_t type;
    GLint mag, min;
    const char *call;
  };
  for (const Case &c : {Case{0, GL_NEAREST, GL_NEAREST, "glTexImage2D"},
                        Case{1, GL_LINEAR, GL_LINEAR, "glTexImage2D"},
                        Case{2, GL_NEAREST, GL_NEAREST_MIPMAP_NEAREST, "gluBuild2DMipmaps"},
                        Case{3, GL_LINEAR, GL_LINEAR_MIPMAP_LINEAR, "gluBuild2DMipmaps"}}) {
    recorder_.uploads.clear();
    recorder_.params.clear();
    txTexLoad("t.tga", c.type);
    EXPECT_EQ(recorder_.params[GL_TEXTURE_MAG_FILTER], c.mag) << c.type;
    EXPECT_EQ(recorder_.params[GL_TEXTURE_MIN_FILTER], c.min) << c.type;
    ASSERT_EQ(recorder_.uploads.size(), 1u);
    EXPECT_EQ(recorder_.uploads[0].call, c.call);
    EXPECT_EQ(recorder_.uploads[0].width, 4);
  }
  recorder_.uploads.clear();
  recorder_.params.clear();
  const int32_t other = txTexLoad("t.tga", 5);  // generated and bound, nothing more
  EXPECT_NE(other, 0);
  EXPECT_TRUE(recorder_.uploads.empty());
  EXPECT_TRUE(recorder_.params.empty());
  EXPECT_TRUE(txNodes[4].uploaded);
  EXPECT_EQ(LiveSlots(), 5);
}

TEST_F(SlotTable, TheFormatFollowsTheRealBytesPerPixel) {
  WriteTga("rgb.tga", 3, 3);  // odd rows: 9 bytes each
  WriteTga("rgba.tga", 3, 1, 32);
  TgaSpec grey;
  grey.imageType = 3;
  grey.bits = 8;
  grey.width = 5;
  grey.height = 1;
  grey.pixels = {1, 2, 3, 4, 5};
  Write("grey.tga", MakeTga(grey));
  Write("indexed.bmp", Fixture("palette_netpbm8.bmp"));

  txTexLoad("rgb.tga", 1);
  txTexLoad("rgba.tga", 1);
  txTexLoad("grey.tga", 1);
  txTexLoad("indexed.bmp", 1);
  ASSERT_EQ(recorder_.uploads.size(), 4u);
  const Upload &rgb = recorder_.uploads[0], &rgba = recorder_.uploads[1];
  const Upload &lum = recorder_.uploads[2], &idx = recorder_.uploads[3];
  EXPECT_EQ(rgb.format, GLenum(GL_RGB));
  EXPECT_EQ(rgb.components, 3);
  EXPECT_EQ(rgb.pixels.size(), 27u);  // packed rows: unpack alignment 1
  EXPECT_EQ(rgb.pixels[0], 2);        // red first: the file's B, G, R was 0, 1, 2
  EXPECT_EQ(rgba.format, GLenum(GL_RGBA));
  EXPECT_EQ(rgba.components, 4);
  EXPECT_EQ(lum.format, GLenum(GL_LUMINANCE));
  EXPECT_EQ(lum.components, 1);
  EXPECT_EQ(lum.pixels, (Bytes{1, 2, 3, 4, 5}));
  EXPECT_EQ(txTexBpp(txNodes[2].id), 8);

  // The indexed BMP arrives expanded through its palette, red first.
  EXPECT_EQ(idx.format, GLenum(GL_RGB));
  const Pnm pnm = ReadPnm("palette.ppm");
  EXPECT_EQ(idx.pixels, pnm.pixels);
  EXPECT_EQ(txTexBpp(txNodes[3].id), 24);

  EXPECT_EQ(recorder_.alignmentAtUpload, 1);
  EXPECT_EQ(recorder_.alignment, 4);  // put back afterwards
}

// PNG images come from the reader as the library delivers them; the table
// uploads them in bytes, with Netpbm's pixels.
TEST_F(SlotTable, PngSamplesArriveAsBytes) {
  struct Case {
    const char *name;
    GLenum format;
    int32_t bits;
  } cases[] = {{"basn3p04", GL_RGB, 24}, {"basn2c16", GL_RGB, 24}, {"basn6a16", GL_RGBA, 32},
               {"basn0g04", GL_LUMINANCE, 8}};
  for (const Case &c : cases) {
    Write(std::string(c.name) + ".png", Fixture(std::string("png/") + c.name + ".png"));
    const int32_t id = txTexLoad(std::string(c.name) + ".png", 1);
    ASSERT_FALSE(recorder_.uploads.empty());
    const Upload &up = recorder_.uploads.back();
    EXPECT_EQ(up.format, c.format) << c.name;
    EXPECT_EQ(txTexBpp(id), c.bits) << c.name;
    const Pnm want = ReadPnm(std::string("png/") + c.name + ".pam");
    const size_t n = size_t(c.bits / 8);
    ASSERT_EQ(up.pixels.size(), size_t(want.width * want.height) * n) << c.name;
    for (size_t i = 0; i < up.pixels.size(); ++i)
      ASSERT_EQ(up.pixels[i], want.pixels[i / n * size_t(want.channels) + i % n]) << c.name << " byte " << i;
  }
}

TEST_F(SlotTable, ImagesLargerThanTheMaximumShrinkOnTheSidesThatAreTooLarge) {
  glExtFlags.maxTextureSize = 8;
  WriteTga("square.tga", 16, 16);
  WriteTga("wide.tga", 16, 4);
  WriteTga("small.tga", 8, 2);
  txTexLoad("square.tga", 1);
  txTexLoad("wide.tga", 1);
  txTexLoad("small.tga", 1);
  ASSERT_EQ(recorder_.uploads.size(), 3u);
  EXPECT_EQ(recorder_.uploads[0].width, 8);
  EXPECT_EQ(recorder_.uploads[0].height, 8);
  EXPECT_EQ(recorder_.uploads[1].width, 8);
  EXPECT_EQ(recorder_.uploads[1].height, 4);
  EXPECT_EQ(recorder_.uploads[2].width, 8);
  EXPECT_EQ(recorder_.uploads[2].height, 2);
}

TEST_F(SlotTable, CompressedLevelsUploadOneCallEach) {
  pxBitmap b = txNewBitmap("test");
  b->type = TX_COMPRESSED;
  b->subtype = 0x83F3;
  b->width = b->height = 256;
  b->bits = 32;
  b->levels = 9;
  for (int n = 0; n < 9; ++n) {
    const int side = std::max(1, 256 >> n);
    b->imagesize[n] = uint32_t(std::max(1, side / 4) * std::max(1, side / 4) * 16);
    b->image[n] = static_cast<uint8_t *>(SYS_MemGet(b->imagesize[n], __FILE__, __LINE__, "lvl"));
    std::memset(b->image[n], n, b->imagesize[n]);
  }
  EXPECT_EQ(txTexUpload(b, 0), 0);
  ASSERT_EQ(recorder_.uploads.size(), 9u);
  for (int n = 0; n < 9; ++n) {
    EXPECT_EQ(recorder_.uploads[size_t(n)].call, "glCompressedTexImage2DARB");
    EXPECT_EQ(recorder_.uploads[size_t(n)].level, n);
    EXPECT_EQ(recorder_.uploads[size_t(n)].width, 256 >> n);
    EXPECT_EQ(recorder_.uploads[size_t(n)].components, 0x83F3);
  }
  EXPECT_EQ(recorder_.params[GL_TEXTURE_MAX_LEVEL], 8);
  EXPECT_EQ(recorder_.params[GL_GENERATE_MIPMAP], 0);

  // Levels above the maximum are left out; the first that fits is level 0.
  recorder_.uploads.clear();
  glExtFlags.maxTextureSize = 64;
  EXPECT_EQ(txTexUpload(b, 0), 0);
  ASSERT_EQ(recorder_.uploads.size(), 7u);
  EXPECT_EQ(recorder_.uploads[0].width, 64);
  EXPECT_EQ(recorder_.uploads[0].level, 0);
  EXPECT_EQ(recorder_.params[GL_TEXTURE_MAX_LEVEL], 6);
  txFree(&b);
}

TEST_F(SlotTable, OwnLevelsStopAtABufferSmallerThanItsLevel) {
  pxBitmap b = txCreateDummy(0, 4, 4);
  b->levels = 3;
  b->image[1] = static_cast<uint8_t *>(SYS_MemGet(12, __FILE__, __LINE__, "lvl1"));
  b->imagesize[1] = 12;
  b->image[2] = static_cast<uint8_t *>(SYS_MemGet(1, __FILE__, __LINE__, "lvl2"));
  b->imagesize[2] = 1;  // 1 x 1 x 3 would be needed
  EXPECT_EQ(txTexUpload(b, 1), 0);
  ASSERT_EQ(recorder_.uploads.size(), 2u);
  EXPECT_EQ(recorder_.uploads[1].width, 2);
  EXPECT_EQ(recorder_.params[GL_TEXTURE_MAX_LEVEL], 1);

  b->levels = 1;
  b->bits = 16;
  EXPECT_EQ(txTexUpload(b, 1), -1);
  EXPECT_EQ(SYS_ErrorGet(), TX_ERR_LAYOUT);
  txFree(&b);
}

TEST_F(SlotTable, RendererDxtSupportReachesTheLoader) {
  WriteTga("a.tga", 1, 1);
  glExtFlags.dxt1 = 1;
  glExtFlags.dxt3 = 0;
  glExtFlags.dxt5 = 1;
  txTexLoad("a.tga", 1);
  EXPECT_EQ(txState.dxt1, 1);
  EXPECT_EQ(txState.dxt3, 0);
  EXPECT_EQ(txState.dxt5, 1);
}

TEST_F(SlotTable, FreeAllDeletesEveryLiveTextureAndDumpListsTheLiveSlots) {
  WriteTga("a.tga", 1, 1);
  WriteTga("b.tga", 1, 1);
  const int32_t a = txTexLoad("a.tga", 1);
  txTexLoad("a.tga", 1);
  const int32_t b = txTexLoad("b.tga", 3);
  txTexDump("dump.txt");
  EXPECT_EQ(ReadFile(dir_.path() / "dump.txt"),
            "zelka!quorvix texture management system\n \n"
            "a.tga OpenGL ref.:" + std::to_string(a) + " uploaded:TRUE type:1 reqs.:2\n"
            "b.tga OpenGL ref.:" + std::to_string(b) + " uploaded:TRUE type:3 reqs.:1\n");

  txTexFreeAll();
  EXPECT_EQ(recorder_.deleted, (std::vector<GLuint>{GLuint(a), GLuint(b)}));
  EXPECT_EQ(LiveSlots(), 0);
  EXPECT_EQ(txTexBpp(a), 0);
}

TEST_F(SlotTable, ReloadAllUploadsAgainUnderNewNamesAndSkipsFilesThatAreGone) {
  WriteTga("a.tga", 2, 2);
  WriteTga("b.tga", 2, 2);
  const int32_t a = txTexLoad("a.tga", 1);
  const int32_t b = txTexLoad("b.tga", 2);
  std::filesystem::remove(dir_.path() / "b.tga");
  recorder_.uploads.clear();
  txTexReloadAll();
  ASSERT_EQ(recorder_.uploads.size(), 1u);
  EXPECT_EQ(recorder_.deleted, std::vector<GLuint>{GLuint(a)});
  EXPECT_NE(txNodes[0].id, a);
  EXPECT_TRUE(txNodes[0].uploaded);
  EXPECT_EQ(txNodes[1].id, b);  // left as it was
}

TEST_F(SlotTable, LongNamesAreCutTo255Characters) {
  const std::string name(300, 'n');
  WriteTga(name.substr(0, 255), 1, 1);
  const int32_t id = txTexLoad(name, 1);
  EXPECT_EQ(std::strlen(txNodes[0].name), 255u);
  EXPECT_EQ(txTexLoad(name.substr(0, 255), 1), id);
}

using SlotTableDeathTest = SlotTable;

TEST_F(SlotTableDeathTest, ATextureThatCannotBeLoadedEndsTheProgram) {
  EXPECT_FATAL(txTexLoad("nowhere.tga", 1),
               "Error occoured ! Texture Loader Error\\. \\( nowhere\\.tga \\)");
  Write("junk.tga", Bytes(64, 0x42));
  EXPECT_FATAL(txTexLoad("junk.tga", 1),
               "Error occoured ! Texture Loader Error\\. \\( junk\\.tga \\)");
  WriteTga("deep.tga", 2, 2, 16);  // 16 bits: no upload format
  EXPECT_FATAL(txTexLoad("deep.tga", 1),
               "Error occoured ! Texture Loader Error\\. \\( deep\\.tga \\)");
  // 16-bit grey and 8-bit grey with alpha cannot be told apart.
  Write("grey16.png", Fixture("png/basn0g16.png"));
  EXPECT_FATAL(txTexLoad("grey16.png", 1),
               "Error occoured ! Texture Loader Error\\. \\( grey16\\.png \\)");
}

TEST_F(SlotTableDeathTest, AFullTableEndsTheProgramInsteadOfOverrunning) {
  WriteTga("a.tga", 1, 1);
  // Filter types above 3 upload nothing, so each is a cheap slot of its own.
  for (int32_t type = 0; type < TX_SLOT_COUNT; ++type) txTexLoad("a.tga", 4 + type);
  EXPECT_EQ(LiveSlots(), TX_SLOT_COUNT);
  EXPECT_FATAL(txTexLoad("a.tga", 9999), "Texture slot table full\\. \\( a\\.tga \\)");
}
