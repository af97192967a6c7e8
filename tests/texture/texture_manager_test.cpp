// The framework's texture manager through the recording OpenGL: which
// calls an upload makes, how names are shared, and who frees which bitmap.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "framework/core_test_util.h"
#include "gl_recorder.h"
#include "gl_test_log.h"
#include "image_test_util.h"
#include "texture/texture_manager.h"
#include "window/gl_stub.h"

using namespace ember_test;

namespace {

// A tracked bitmap of one or more levels, every byte numbered, that txFree
// can release. Level n is (w >> n) x (h >> n), each side at least 1.
pxBitmap MakeBitmap(int32_t w, int32_t h, int32_t bits, int32_t subtype, int32_t levels = 1,
                    int32_t type = TX_RED_FIRST) {
  pxBitmap b = txNewBitmap("test bitmap");
  b->type = type;
  b->subtype = subtype;
  b->width = w;
  b->height = h;
  b->bits = bits;
  b->levels = levels;
  for (int32_t n = 0; n < levels; ++n) {
    const size_t bytes = size_t(std::max(1, w >> n)) * size_t(std::max(1, h >> n)) * size_t(bits / 8);
    b->image[n] = static_cast<uint8_t *>(SYS_MemGet(bytes, __FILE__, __LINE__, "test level"));
    for (size_t i = 0; i < bytes; ++i) b->image[n][i] = uint8_t(i * 7 + n);
    b->imagesize[n] = uint32_t(bytes);
  }
  return b;
}

class TextureManagerTest : public LoaderTest {
protected:
  void SetUp() override {
    LoaderTest::SetUp();
    txSetParam(3, TX_RED_FIRST);  // as the dialog engine sets it
    tmInit();
    baseline_ = SYS_MemLiveCount();
  }
  void TearDown() override {
    tmDeleteAll();
    EXPECT_EQ(tmNodes, nullptr);
    EXPECT_EQ(SYS_MemLiveCount(), baseline_);
    LoaderTest::TearDown();
  }

  // A 2 x 2, 24-bit TGA on disk; returns its path.
  std::string WriteTga(const std::string &name, uint16_t width = 2, uint16_t height = 2) {
    TgaSpec s;
    s.width = width;
    s.height = height;
    s.pixels = Ramp(size_t(width) * height, 3);
    WriteBytes(dir_.path() / name, MakeTga(s));
    return dir_.str(name);
  }

  int NodeCount() const {
    int n = 0;
    for (SYS_List_p l = tmNodes; l; l = l->next) ++n;
    return n;
  }

  GlRecorder gl_;
  TempDir dir_;
  size_t baseline_ = 0;
};

using Names = std::vector<std::string>;

TEST_F(TextureManagerTest, FirstLoadUploadsOnceAndLaterLoadsShare) {
  gl_.integers[GL_UNPACK_ALIGNMENT] = {4};
  const std::string path = WriteTga("pic.tga", 3, 2);
  const int32_t id = tmLoad(path.c_str(), TM_FILTER_LINEAR);
  ASSERT_GT(id, 0);
  EXPECT_EQ(gl_.Names(), (Names{"glEnable", "glDeleteTextures", "glGenTextures", "glBindTexture",
                                "glTexParameteri", "glTexParameteri", "glTexParameteri", "glTexParameteri",
                                "glGetIntegerv", "glPixelStorei", "glTexImage2D", "glPixelStorei"}));
  // Rows of 9 bytes are read unpadded, and the old alignment comes back.
  EXPECT_EQ(gl_.Find("glPixelStorei", 0)->args[1], 1);
  EXPECT_EQ(gl_.Find("glPixelStorei", 1)->args[1], 4);

  const GlCall *image = gl_.Find("glTexImage2D");
  pxBitmap bitmap = tmGetBitmap(path.c_str());
  ASSERT_NE(bitmap, nullptr);
  EXPECT_EQ(image->args[3], 3);       // width
  EXPECT_EQ(image->args[6], GL_RGB);  // red first, 24 bits
  EXPECT_EQ(image->pointers[8], bitmap->image[0]);

  // The same name again, with another filter: the cached texture, bound.
  gl_.Clear();
  EXPECT_EQ(tmLoad(path.c_str(), TM_FILTER_LINEAR_MIPMAP), id);
  EXPECT_EQ(gl_.Names(), (Names{"glEnable", "glBindTexture"}));
  EXPECT_EQ(gl_.Find("glBindTexture")->args[1], id);
  tmNode *node = tmFind(path.c_str());
  ASSERT_NE(node, nullptr);
  EXPECT_EQ(node->references, 2);
  EXPECT_EQ(node->filter, TM_FILTER_LINEAR);
  EXPECT_EQ(NodeCount(), 1);
}

TEST_F(TextureManagerTest, FilterModesChooseParametersAndUploadPath) {
  struct Case {
    int32_t filter;
    int mag, min;  // 0: not set
    const char *upload;
  };
  const Case cases[] = {
      {TM_FILTER_NEAREST, GL_NEAREST, GL_NEAREST, "glTexImage2D"},
      {TM_FILTER_LINEAR, GL_LINEAR, GL_LINEAR, "glTexImage2D"},
      {TM_FILTER_NEAREST_MIPMAP, GL_NEAREST, GL_NEAREST_MIPMAP_NEAREST, "gluBuild2DMipmaps"},
      {TM_FILTER_LINEAR_MIPMAP, GL_LINEAR, GL_LINEAR_MIPMAP_LINEAR, "gluBuild2DMipmaps"},
      {7, 0, 0, "gluBuild2DMipmaps"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.filter);
    gl_.Clear();
    const std::string name = "text-" + std::to_string(c.filter);
    pxBitmap b = MakeBitmap(4, 4, 32, TX_LAYOUT_RGBA);
    ASSERT_GT(tmLoadBitmap(name.c_str(), b, c.filter), 0);
    EXPECT_EQ(gl_.Count("glTexImage2D") + gl_.Count("gluBuild2DMipmaps"), 1u);
    const GlCall *upload = gl_.Find(c.upload);
    ASSERT_NE(upload, nullptr);
    if (c.mag) {
      EXPECT_EQ(gl_.Find("glTexParameteri", 0)->args[2], c.mag);
      EXPECT_EQ(gl_.Find("glTexParameteri", 1)->args[2], c.min);
    } else {
      EXPECT_EQ(gl_.Count("glTexParameteri"), 2u);  // only the wrap modes
    }
    if (std::string(c.upload) == "gluBuild2DMipmaps") {
      EXPECT_EQ(upload->args[1], 4);  // components
      EXPECT_EQ(upload->args[4], GL_RGBA);
    }
    tmRemove(name.c_str());
    txFree(&b);
  }
}

TEST_F(TextureManagerTest, PixelFormatFollowsBytesPerPixel) {
  struct Case {
    int32_t bits, subtype;
    int components;
    GLenum format;
  };
  const Case cases[] = {
      {8, TX_LAYOUT_GREY, 1, GL_LUMINANCE},    {24, TX_LAYOUT_RGB, 3, GL_RGB},
      {24, TX_LAYOUT_RGB_DUMMY, 3, GL_BGR},    {32, TX_LAYOUT_RGBA, 4, GL_RGBA},
      {32, TX_LAYOUT_RGB_DUMMY, 4, GL_BGRA},
      // A layout word that disagrees with the bytes: the bytes decide.
      {32, TX_LAYOUT_RGB, 4, GL_RGBA},         {24, TX_LAYOUT_RGBA, 3, GL_RGB},
      {8, TX_LAYOUT_RGBA, 1, GL_LUMINANCE},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(std::to_string(c.bits) + " bits, layout " + std::to_string(c.subtype));
    gl_.Clear();
    pxBitmap b = MakeBitmap(5, 3, c.bits, c.subtype);
    ASSERT_GT(tmLoadBitmap("x", b, TM_FILTER_NEAREST), 0);
    const GlCall *image = gl_.Find("glTexImage2D");
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->args[2], c.components);
    EXPECT_EQ(image->args[6], c.format);
    EXPECT_EQ(image->pointers[8], b->image[0]);
    tmRemove("x");
    txFree(&b);
  }
}

TEST_F(TextureManagerTest, IndexedPixelsAreExpandedThroughThePalette) {
  pxBitmap b = MakeBitmap(3, 2, 8, TX_LAYOUT_INDEXED);
  b->palette = static_cast<uint8_t *>(SYS_MemGet(TX_PALETTE_BYTES, __FILE__, __LINE__, "test palette"));
  ASSERT_GT(tmLoadBitmap("indexed", b, TM_FILTER_NEAREST), 0);
  const GlCall *image = gl_.Find("glTexImage2D");
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->args[2], 3);
  EXPECT_EQ(image->args[6], GL_RGB);
  EXPECT_NE(image->pointers[8], b->image[0]);  // a 3-byte copy, not the index bytes
  // The caller's bitmap is left as it was.
  EXPECT_EQ(b->bits, 8);
  EXPECT_NE(b->palette, nullptr);
  tmRemove("indexed");
  txFree(&b);
}

// A PNG in the library's sample layout is uploaded from an unpacked copy;
// the node keeps the bitmap as loaded. One whose layout cannot be told is
// refused like a file that cannot be loaded.
TEST_F(TextureManagerTest, PngSamplesAreUploadedAsBytesOrRefused) {
  WriteBytes(dir_.path() / "deep.png", Fixture("png/basn2c16.png"));
  const std::string deep = dir_.str("deep.png");
  ASSERT_GT(tmLoad(deep.c_str(), TM_FILTER_LINEAR), 0);
  const GlCall *image = gl_.Find("glTexImage2D");
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->args[2], 3);
  EXPECT_EQ(image->args[6], GL_RGB);
  pxBitmap kept = tmGetBitmap(deep.c_str());
  EXPECT_EQ(kept->bits, 48);
  EXPECT_NE(image->pointers[8], kept->image[0]);

  GlTestLog log;
  WriteBytes(dir_.path() / "ga.png", Fixture("png/basn4a08.png"));
  gl_.Clear();
  EXPECT_EQ(tmLoad(dir_.str("ga.png").c_str(), TM_FILTER_LINEAR), -1);
  EXPECT_EQ(SYS_ErrorGet(), TX_ERR_LAYOUT);
  EXPECT_TRUE(log.Has("[TM]  ! texture loading error: 1004\n")) << log.Text();
  EXPECT_TRUE(gl_.calls().empty());
  EXPECT_EQ(tmFind(dir_.str("ga.png").c_str()), nullptr);
}

TEST_F(TextureManagerTest, BitmapsOpenGLWouldOverrunAreRefused) {
  pxBitmap odd = MakeBitmap(4, 4, 16, TX_LAYOUT_RGB);
  pxBitmap shortBuffer = MakeBitmap(4, 4, 32, TX_LAYOUT_RGBA);
  shortBuffer->imagesize[0] -= 1;
  pxBitmap noPixels = MakeBitmap(4, 4, 24, TX_LAYOUT_RGB);
  SYS_MEMFREE(noPixels->image[0]);
  for (pxBitmap b : {odd, shortBuffer, noPixels}) {
    gl_.Clear();
    EXPECT_EQ(tmLoadBitmap("bad", b, TM_FILTER_LINEAR), -1);
    EXPECT_EQ(SYS_ErrorGet(), TX_ERR_LAYOUT);
    EXPECT_TRUE(gl_.calls().empty());
    EXPECT_EQ(tmFind("bad"), nullptr);
  }
  // An existing node keeps its texture and bitmap when the new one is refused.
  pxBitmap good = MakeBitmap(4, 4, 24, TX_LAYOUT_RGB);
  ASSERT_GT(tmLoadBitmap("name", good, TM_FILTER_LINEAR), 0);
  gl_.Clear();
  EXPECT_EQ(tmReloadBitmap("name", odd), -1);
  EXPECT_EQ(SYS_ErrorGet(), TX_ERR_LAYOUT);
  EXPECT_TRUE(gl_.calls().empty());
  EXPECT_EQ(tmGetBitmap("name"), good);
  EXPECT_EQ(tmFind("name")->uploaded, 1);
  EXPECT_EQ(tmLoadBitmap(nullptr, good, 0), -1);
  EXPECT_EQ(SYS_ErrorGet(), 10);
  EXPECT_EQ(tmLoadBitmap("name", nullptr, 0), -1);
  EXPECT_EQ(SYS_ErrorGet(), 10);
  tmRemove("name");
  for (pxBitmap b : {odd, shortBuffer, noPixels, good}) txFree(&b);
}

TEST_F(TextureManagerTest, SecondBitmapUnderOneNameGetsANewTextureName) {
  pxBitmap first = MakeBitmap(4, 4, 32, TX_LAYOUT_RGBA);
  pxBitmap second = MakeBitmap(8, 2, 32, TX_LAYOUT_RGBA);
  const int32_t id1 = tmLoadBitmap("label-1", first, TM_FILTER_LINEAR);
  gl_.Clear();
  const int32_t id2 = tmLoadBitmap("label-1", second, TM_FILTER_NEAREST);
  EXPECT_NE(id1, id2);
  EXPECT_EQ(gl_.Count("glDeleteTextures"), 1u);
  EXPECT_EQ(NodeCount(), 1);
  tmNode *node = tmFind("label-1");
  EXPECT_EQ(node->references, 2);
  EXPECT_EQ(node->filter, TM_FILTER_NEAREST);
  EXPECT_EQ(node->bitmap, second);
  EXPECT_EQ(gl_.Find("glTexImage2D")->args[3], 8);
  EXPECT_EQ(tmGetId("label-1"), id2);
  txFree(&first);  // replaced, so the caller's again; the held one goes with the manager
}

TEST_F(TextureManagerTest, LevelsAreUploadedOneByOne) {
  pxBitmap b = MakeBitmap(8, 4, 24, TX_LAYOUT_RGB, 3);
  ASSERT_GT(tmLoadBitmap("levels", b, TM_FILTER_LINEAR_MIPMAP), 0);
  ASSERT_EQ(gl_.Count("glTexImage2D"), 3u);
  EXPECT_EQ(gl_.Count("gluBuild2DMipmaps"), 0u);
  for (int n = 0; n < 3; ++n) {
    const GlCall *c = gl_.Find("glTexImage2D", n);
    EXPECT_EQ(c->args[1], n);
    EXPECT_EQ(c->args[3], 8 >> n);
    EXPECT_EQ(c->args[4], std::max(1, 4 >> n));
    EXPECT_EQ(c->pointers[8], b->image[n]);
  }
  const GlCall *generate = gl_.Find("glTexParameteri", 4);
  EXPECT_EQ(generate->args[1], GL_GENERATE_MIPMAP);
  EXPECT_EQ(generate->args[2], 0);
  const GlCall *maxLevel = gl_.Find("glTexParameteri", 5);
  EXPECT_EQ(maxLevel->args[1], GL_TEXTURE_MAX_LEVEL);
  EXPECT_EQ(maxLevel->args[2], 2);

  // A level shorter than its size says ends the chain before it.
  b->imagesize[1] -= 1;
  gl_.Clear();
  ASSERT_EQ(tmReload("levels"), 0);
  EXPECT_EQ(gl_.Count("glTexImage2D"), 1u);
  EXPECT_EQ(gl_.Find("glTexParameteri", 5)->args[2], 0);
  tmRemove("levels");
  txFree(&b);
}

TEST_F(TextureManagerTest, CompressedLevelsWithErrorCheckAfterEach) {
  // A DXT5 256 x 256 image with 9 levels, 256 down to 1.
  pxBitmap b = txNewBitmap("test dxt");
  b->type = TX_COMPRESSED;
  b->subtype = GL_COMPRESSED_RGBA_S3TC_DXT5_EXT;
  b->width = b->height = 256;
  b->bits = 8;
  b->levels = 9;
  for (int n = 0; n < 9; ++n) {
    const int side = std::max(1, 256 >> n);
    const uint32_t bytes = uint32_t(std::max(1, side / 4) * std::max(1, side / 4) * 16);
    b->image[n] = static_cast<uint8_t *>(SYS_MemGet(bytes, __FILE__, __LINE__, "test dxt level"));
    b->imagesize[n] = bytes;
  }
  gl_.error = GL_INVALID_VALUE;  // the first level's check reports an error
  ASSERT_GT(tmLoadBitmap("dxt", b, TM_FILTER_LINEAR_MIPMAP), 0);
  ASSERT_EQ(gl_.Count("glCompressedTexImage2DARB"), 9u);
  EXPECT_EQ(gl_.Count("glGetError"), 9u);
  EXPECT_EQ(gl_.Count("glTexImage2D") + gl_.Count("gluBuild2DMipmaps"), 0u);
  for (int n = 0; n < 9; ++n) {
    const GlCall *c = gl_.Find("glCompressedTexImage2DARB", n);
    EXPECT_EQ(c->args[1], n);
    EXPECT_EQ(c->args[2], GL_COMPRESSED_RGBA_S3TC_DXT5_EXT);
    EXPECT_EQ(c->args[3], 256 >> n);
    EXPECT_EQ(c->args[6], b->imagesize[n]);
    EXPECT_EQ(c->pointers[7], b->image[n]);
  }
  const std::vector<std::string> names = gl_.Names();
  EXPECT_EQ(names.back(), "glTexParameteri");
  EXPECT_EQ(gl_.calls().back().args[1], GL_TEXTURE_MAX_LEVEL);
  EXPECT_EQ(gl_.calls().back().args[2], 8);
  tmRemove("dxt");
  txFree(&b);
}

TEST_F(TextureManagerTest, UnknownNamesChangeNoOpenGLState) {
  EXPECT_EQ(tmBind("nothing"), -1);
  EXPECT_EQ(SYS_ErrorGet(), TM_ERR_UNKNOWN);
  EXPECT_EQ(tmGetId("nothing"), -1);
  EXPECT_EQ(SYS_ErrorGet(), TM_ERR_UNKNOWN);
  EXPECT_EQ(tmGetBitmap("nothing"), nullptr);
  EXPECT_EQ(SYS_ErrorGet(), TM_ERR_UNKNOWN);
  EXPECT_EQ(tmReload("nothing"), -1);
  EXPECT_EQ(SYS_ErrorGet(), TM_ERR_UNKNOWN);
  EXPECT_EQ(tmRemove("nothing"), -1);
  EXPECT_EQ(SYS_ErrorGet(), TM_ERR_UNKNOWN);
  pxBitmap b = MakeBitmap(2, 2, 24, TX_LAYOUT_RGB);
  EXPECT_EQ(tmReloadBitmap("nothing", b), -1);
  EXPECT_EQ(SYS_ErrorGet(), TM_ERR_UNKNOWN);
  EXPECT_TRUE(gl_.calls().empty());
  txFree(&b);
}

TEST_F(TextureManagerTest, BindReloadRemoveAndDeleteAll) {
  const std::string a = WriteTga("a.tga"), c = WriteTga("c.tga");
  const int32_t ida = tmLoad(a.c_str(), TM_FILTER_NEAREST);
  const int32_t idc = tmLoad(c.c_str(), TM_FILTER_NEAREST);
  ASSERT_GT(ida, 0);
  ASSERT_GT(idc, 0);
  // Newest first.
  EXPECT_EQ(static_cast<tmNode *>(tmNodes->data)->name, std::string(c));

  gl_.Clear();
  EXPECT_EQ(tmBind(a.c_str()), 0);
  EXPECT_EQ(gl_.Names(), (Names{"glEnable", "glBindTexture"}));
  EXPECT_EQ(gl_.Find("glBindTexture")->args[1], ida);

  gl_.Clear();
  EXPECT_EQ(tmReload(a.c_str()), 0);
  const int32_t reloaded = tmGetId(a.c_str());
  EXPECT_NE(reloaded, ida);
  EXPECT_EQ(gl_.Count("glTexImage2D"), 1u);

  gl_.Clear();
  pxBitmap taken = tmGetBitmap(a.c_str());
  EXPECT_EQ(tmRemove(a.c_str()), 0);
  EXPECT_EQ(gl_.Names(), (Names{"glDeleteTextures"}));
  txFree(&taken);
  EXPECT_EQ(tmGetId(a.c_str()), -1);
  EXPECT_EQ(SYS_ErrorGet(), TM_ERR_UNKNOWN);

  gl_.Clear();
  EXPECT_EQ(tmDeleteAll(), 0);
  EXPECT_EQ(gl_.Names(), (Names{"glDeleteTextures"}));
  EXPECT_EQ(tmGetId(c.c_str()), -1);
  EXPECT_EQ(SYS_ErrorGet(), TM_ERR_UNKNOWN);
  EXPECT_EQ(tmDeleteAll(), 0);  // an empty manager: nothing to do
}

// The manager owns a bitmap from load or registration on; only delete-all
// frees, and a bitmap a node drops stays alive for whoever gave it.
TEST_F(TextureManagerTest, OnlyDeleteAllFreesBitmaps) {
  const std::string path = WriteTga("owned.tga");
  ASSERT_GT(tmLoad(path.c_str(), TM_FILTER_LINEAR), 0);
  pxBitmap loaded = tmGetBitmap(path.c_str());
  pxBitmap mine = MakeBitmap(2, 2, 24, TX_LAYOUT_RGB);
  pxBitmap other = MakeBitmap(2, 2, 24, TX_LAYOUT_RGB);
  const size_t live = SYS_MemLiveCount();

  ASSERT_EQ(tmReloadBitmap(path.c_str(), mine), 0);            // drops the loaded one
  ASSERT_GT(tmLoadBitmap(path.c_str(), other, TM_FILTER_LINEAR), 0);  // drops mine
  ASSERT_EQ(tmRemove(path.c_str()), 0);                          // drops other
  EXPECT_EQ(SYS_MemLiveCount(), live - 3);  // only the node, its name and its list cell
  for (pxBitmap b : {loaded, mine, other}) {
    EXPECT_GT(SYS_MemSize(b->image[0]), 0);
    txFree(&b);
  }

  // One bitmap under two names, one loaded from a file: each freed once.
  pxBitmap shared = MakeBitmap(2, 2, 32, TX_LAYOUT_RGBA);
  ASSERT_GT(tmLoadBitmap("label-a", shared, TM_FILTER_LINEAR), 0);
  ASSERT_GT(tmLoadBitmap("label-b", shared, TM_FILTER_LINEAR), 0);
  ASSERT_GT(tmLoad(path.c_str(), TM_FILTER_LINEAR), 0);
  EXPECT_EQ(tmDeleteAll(), 0);
  EXPECT_EQ(SYS_MemLiveCount(), baseline_);
}

// A release listener may look every name up while all is deleted: it
// finds exactly the nodes not yet released, each with its own name and a
// bitmap that is still there, shared or not.
TEST_F(TextureManagerTest, AListenerThatLooksNamesUpDuringDeleteAllFindsOnlyNodesStillHeld) {
  static Names names;
  static std::vector<int> found;
  names = {"label-a", "label-b", "label-c", "label-d", "label-e"};
  pxBitmap shared = MakeBitmap(2, 2, 32, TX_LAYOUT_RGBA);
  for (size_t i = 0; i < names.size(); ++i)
    ASSERT_GT(tmLoadBitmap(names[i].c_str(), i < 3 ? shared : MakeBitmap(2, 2, 24, TX_LAYOUT_RGB),
                           TM_FILTER_LINEAR), 0);
  found.clear();
  const tmReleaseProc before = tmOnRelease;
  tmOnRelease = [](const tmNode *) {
    int held = 0;
    for (const std::string &n : names)
      if (const tmNode *node = tmFind(n.c_str())) {
        EXPECT_EQ(node->name, n);
        EXPECT_GT(SYS_MemSize(node->bitmap->image[0]), 0);
        ++held;
      }
    found.push_back(held);
  };
  EXPECT_EQ(tmDeleteAll(), 0);
  tmOnRelease = before;
  EXPECT_EQ(found, (std::vector<int>{5, 4, 3, 2, 1}));
  EXPECT_EQ(SYS_MemLiveCount(), baseline_);
}

TEST_F(TextureManagerTest, FileThatCannotBeLoaded) {
  const std::string missing = dir_.str("missing.tga");
  EXPECT_EQ(tmLoad(missing.c_str(), TM_FILTER_LINEAR), -1);
  EXPECT_EQ(SYS_ErrorGet(), TX_ERR_LAYOUT);
  EXPECT_TRUE(gl_.calls().empty());
  EXPECT_EQ(tmNodes, nullptr);

  WriteBytes(dir_.path() / "garbage.tga", Bytes{1, 2, 3});
  EXPECT_EQ(tmLoad(dir_.str("garbage.tga").c_str(), TM_FILTER_LINEAR), -1);
  EXPECT_EQ(SYS_ErrorGet(), TX_ERR_LAYOUT);
  EXPECT_EQ(tmNodes, nullptr);
  EXPECT_EQ(tmLoad(nullptr, TM_FILTER_LINEAR), -1);
  EXPECT_EQ(SYS_ErrorGet(), 10);
}

TEST_F(TextureManagerTest, LogLinesFollowTheDebugOption) {
  const std::string path = WriteTga("logged.tga");
  const std::string missing = dir_.str("none.tga");
  const std::string log = dir_.str("debug.log");
  SetArgs({});
  baseline_ = SYS_MemLiveCount();  // the argument words are the framework's, not ours
  auto run = [&](std::initializer_list<const char *> words) {
    SetArgs(words);
    tmInit();
    SYS_LogSetFile(log.c_str());
    SYS_LogSetFlags(SYS_LOG_ON);
    tmLoad(path.c_str(), TM_FILTER_LINEAR);
    tmLoad(path.c_str(), TM_FILTER_LINEAR);
    tmLoad(missing.c_str(), TM_FILTER_LINEAR);
    tmDeleteAll();
    ResetLog();
    std::string text = ReadFile(log);
    std::filesystem::remove(log);
    return text;
  };
  const std::string quiet = run({});
  EXPECT_NE(quiet.find("[TM]  ! texture loading error: "), std::string::npos);
  EXPECT_EQ(quiet.find("[TM] Upload texture"), std::string::npos);

  const std::string loud = run({"-debug-tm"});
  for (const std::string &line : {"[TM]  ! New node: " + path + "\n", "[TM] Upload texture: " + path + "\n",
                                 "[TM] Load texture from cache: " + path + "\n",
                                 std::string("[TM] Delete all loaded textures:\n"), "[TM]  - '" + path + "'\n"})
    EXPECT_NE(loud.find(line), std::string::npos) << line;
  SetArgs({});
  tmInit();
}

TEST_F(TextureManagerTest, MissingGluRefusesMipmapsInsteadOfCrashing) {
  auto saved = glu_stub_table.gluBuild2DMipmaps;
  glu_stub_table.gluBuild2DMipmaps = nullptr;
  pxBitmap b = MakeBitmap(4, 4, 24, TX_LAYOUT_RGB);
  EXPECT_EQ(tmLoadBitmap("mip", b, TM_FILTER_LINEAR_MIPMAP), -1);
  EXPECT_EQ(SYS_ErrorGet(), TX_ERR_LAYOUT);
  // One-level filters need no GLU.
  EXPECT_GT(tmLoadBitmap("mip", b, TM_FILTER_LINEAR), 0);
  glu_stub_table.gluBuild2DMipmaps = saved;
  tmRemove("mip");
  txFree(&b);
}

}  // namespace
