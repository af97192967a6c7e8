// The layer-effect loader over real files and the texture slot table, with
// OpenGL recorded: which texture each name gets, where the wrap modes go,
// sharing and release, the log, and the two ways loading ends the program.
#include <gtest/gtest.h>

#include <memory>
#include <sstream>

#include "engine/render/engine_state.h"
#include "framework/core_test_util.h"
#include "framework/sys.h"
#include "framework/vfs_test_util.h"
#include "gl_recorder.h"
#include "ife_test_util.h"
#include "texture/slot_table.h"
#include "window/gl_demo.h"

using namespace ember_test;

namespace {

class IfeLoader : public ::testing::Test {
protected:
  void SetUp() override {
    savedTx_ = txState;
    txInit(nullptr);
    txTexReset();
    cwd_ = std::make_unique<ScopedCwd>(dir_.path());
    WriteBytes(dir_.path() / "logo.tga", SolidTga(4, 4, 255, 0, 0));
    // Tracked blocks the log bridge keeps are made once, before counting.
    pasLog(std::string(1024, ' '));
    live_ = SYS_MemLiveCount();
  }
  void TearDown() override {
    txTexFreeAll();
    txTexReset();
    cwd_.reset();
    txState = savedTx_;
    std::fill(std::begin(ife_BufferTable), std::end(ife_BufferTable), 0);
    _3DV_RenderTargets[0] = 0;
    _3DV_GlowTexture = 0;
  }

  // Writes the text as name and loads it.
  void Load(ife_interface &iface, const std::string &text, std::string_view base = "",
            const std::string &name = "effect.ife") {
    WriteFile(dir_.path() / name, text);
    ife_LoadInterface(iface, name, base);
  }

  static IfeLayerText Named(const std::string &name) {
    IfeLayerText l;
    l.name = name;
    return l;
  }

  GlRecorder gl_;  // first made, last gone: the slot table's releases are recorded too
  TempDir dir_;
  std::unique_ptr<ScopedCwd> cwd_;
  txLoaderState savedTx_;
  size_t live_ = 0;
};

TEST_F(IfeLoader, EachNameGetsItsTexture) {
  WriteBytes(dir_.path() / "buf0.jpg", SolidTga(2, 2, 0, 255, 0));
  _3DV_RenderTargets[0] = 77;
  _3DV_GlowTexture = 78;
  ife_BufferTable[0] = 30;
  ife_BufferTable[3] = 33;
  gl_.next_texture = 100;

  ife_interface iface{};
  Load(iface, IfeText({Named("logo.tga"), Named("white.tga"), Named("RT"), Named("GLOW"),
                       Named("BUF3.JPG"), Named("BUF9.JPG"), Named("BUFFER"), Named("buf0.jpg"),
                       Named("BUF0.JPG")}));
  // The owners' later changes do not reach loaded layers.
  _3DV_RenderTargets[0] = 1;
  ife_BufferTable[3] = 1;

  std::vector<int32_t> textures;
  for (int32_t i = 0; i < iface.layercount; ++i) textures.push_back(iface.layers[i].texture);
  EXPECT_EQ(textures, (std::vector<int32_t>{100, 0, 77, 78, 33, 0, 0, 101, 30}));
  EXPECT_STREQ(txNodes[0].name, "logo.tga");
  EXPECT_EQ(txNodes[0].filter, TX_FILTER_LINEAR);
  EXPECT_STREQ(txNodes[1].name, "buf0.jpg");
  ife_FreeInterface(iface);
}

TEST_F(IfeLoader, WrapModesGoOnTheLayersOwnTextureOnly) {
  _3DV_RenderTargets[0] = 77;
  ife_BufferTable[0] = 30;
  gl_.next_texture = 100;
  ife_interface iface{};
  Load(iface, IfeText({Named("logo.tga"), Named("white.tga"), Named("RT"), Named("BUF1.JPG"),
                       Named("BUF0.JPG")}));

  // Each wrap call with the texture bound at that moment.
  std::vector<std::string> wraps;
  double bound = -1;
  for (const GlCall &c : gl_.calls()) {
    if (c.name == "glBindTexture") bound = c.args[1];
    if (c.name == "glTexParameteri" && (c.args[1] == GL_TEXTURE_WRAP_S || c.args[1] == GL_TEXTURE_WRAP_T)) {
      EXPECT_EQ(c.args[2], GL_CLAMP);
      wraps.push_back(std::to_string(int(bound)) + (c.args[1] == GL_TEXTURE_WRAP_S ? "s" : "t"));
    }
  }
  EXPECT_EQ(wraps, (std::vector<std::string>{"100s", "100t", "77s", "77t", "30s", "30t"}));
  ife_FreeInterface(iface);
}

TEST_F(IfeLoader, TexturesLoadBelowTheBaseFolder) {
  std::filesystem::create_directory(dir_.path() / "fx");
  WriteBytes(dir_.path() / "fx" / "logo.tga", SolidTga(2, 2, 0, 0, 255));
  ife_interface withBase{}, without{};
  Load(withBase, IfeText({Named("logo.tga")}), "fx");
  Load(without, IfeText({Named("logo.tga")}), "");
  EXPECT_STREQ(txNodes[0].name, "fx/logo.tga");
  EXPECT_STREQ(txNodes[1].name, "logo.tga");
  EXPECT_NE(withBase.layers[0].texture, without.layers[0].texture);
  ife_FreeInterface(withBase);
  ife_FreeInterface(without);
}

TEST_F(IfeLoader, InterfacesShareTexturesAndReleaseThemWithTheirMemory) {
  // The buffer entry names the same texture, but only the slot table's
  // reference is released for it.
  ife_BufferTable[0] = int32_t(gl_.next_texture);
  ife_interface a{}, b{};
  Load(a, IfeText({Named("logo.tga"), Named("BUF0.JPG")}));
  Load(b, IfeText({Named("logo.tga")}));
  EXPECT_EQ(a.layers[0].texture, b.layers[0].texture);
  EXPECT_EQ(a.layers[1].texture, a.layers[0].texture);
  EXPECT_EQ(gl_.Count("glGenTextures"), 1u);

  ife_FreeInterface(a);
  EXPECT_EQ(a.layercount, 0);
  EXPECT_EQ(a.layers, nullptr);
  EXPECT_EQ(gl_.Count("glDeleteTextures"), 0u);
  ife_FreeInterface(b);
  EXPECT_EQ(gl_.Count("glDeleteTextures"), 1u);
  EXPECT_EQ(SYS_MemLiveCount(), live_);

  ife_FreeInterface(b);  // freeing twice is harmless
  EXPECT_EQ(gl_.Count("glDeleteTextures"), 1u);
}

// Each line used is logged once as read: a regular file's lines have lost
// their line feed, a pack's keep it (and get no second one).
TEST_F(IfeLoader, LogsTheFileNameAndEveryLineUsedAsReadButNoComments) {
  IfeLayerText l;
  l.line2 = "  # kept text";
  l.keys = {"0 1 2 3 4 5 6 7 8 9 10"};
  const std::string text = "# secret comment\n" + IfeText({l}, "17");
  const std::string used = "1\n17\nwhite.tga\n  # kept text\nthird\n1\n0\n0 1 2 3 4 5 6 7 8 9 10\n";
  WriteFile(dir_.path() / "fx.dat", BuildPack({{"packed.ife", text, true}}).bytes);
  ASSERT_EQ(SYS_FilePackOpen(dir_.str("fx.dat").c_str()), 0);

  const auto logOf = [&](const std::string &name) {
    LogCapture capture;
    ife_interface iface{};
    if (name == "packed.ife")
      ife_LoadInterface(iface, name, "");
    else
      Load(iface, text, "", name);
    EXPECT_EQ(iface.layercount, 1);
    EXPECT_EQ(iface.layers[0].keys[0].alpha, 10.0f);
    ife_FreeInterface(iface);
    // Without the file system's own lines about the open.
    std::istringstream in(capture.text());
    std::string log, line;
    while (std::getline(in, line))
      if (!line.starts_with("[file")) log += line + (in.eof() ? "" : "\n");
    return log;
  };
  std::string joined = used;
  std::erase(joined, '\n');
  EXPECT_EQ(logOf("effect.ife"), "[ife] load: effect.ife\n" + joined);
  EXPECT_EQ(logOf("packed.ife"), "[ife] load: packed.ife\n" + used);
  SYS_FileUnmountAll();
}

TEST_F(IfeLoader, AMalformedNumberEndsTheProgramNamingFileAndLine) {
  WriteFile(dir_.path() / "bad.ife", "1\n0\nwhite.tga\n\n\nmany\n");
  ChildResult r = RunInChild([] {
    ife_interface iface{};
    ife_LoadInterface(iface, "bad.ife", "");
  });
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.output, "Malformed layer effect bad.ife, line 6: key count is not a decimal integer\n");
}

// Here every texture is 4096 x 4096 (48 MB). Distinct files all load; the
// slot table knows a texture by its name, so each other spelling of one
// file, a link included, is loaded anew: past 64 MB of such repeats the
// program ends naming the file and the layer. A name already held is
// shared and costs nothing.
TEST_F(IfeLoader, DistinctTexturesAllLoadButRepeatsOfOneFileEndTheProgramPast64MB) {
  for (const char *name : {"a.tga", "b.tga", "c.tga", "d.tga"})
    WriteBytes(dir_.path() / name, SolidTga(4, 4, 0, 0, 255));
  std::filesystem::create_symlink("logo.tga", dir_.path() / "link.tga");
  ChildResult r = RunInChild([this] {
    dgl::glGetTexLevelParameteriv = [](GLenum, GLint, GLenum, GLint *out) { *out = 4096; };
    ife_interface distinct{}, repeats{};
    Load(distinct, IfeText({Named("logo.tga"), Named("a.tga"), Named("b.tga"), Named("c.tga"),
                            Named("d.tga")}),
         "", "distinct.ife");
    Load(repeats, IfeText({Named("logo.tga"), Named("./logo.tga"), Named("./logo.tga"), Named("link.tga")}));
  });
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.output, "Layer effect effect.ife repeats more than 64 MB of textures ( link.tga )\n");
}

TEST_F(IfeLoader, AFileNoSourceServesEndsTheProgram) {
  ChildResult r = RunInChild([] {
    ife_interface iface{};
    ife_LoadInterface(iface, "missing.ife", "");
  });
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.output, "Unable to open missing.ife\n");
}

}  // namespace
