// The extension check, driven through the recording OpenGL: which flags a
// driver's extension list sets, the renderer limits on the maximum texture
// size and the DXT formats the texture loader may rely on.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "framework/base.h"
#include "framework/memory.h"
#include "gl_recorder.h"
#include "gl_test_log.h"
#include "window/gl_demo.h"

using ember_test::GlRecorder;
using ember_test::GlTestLog;

namespace {

uint8_t Check(const char *extensions, const char *name) {
  uint8_t flag = 7;  // neither 0 nor 1, so a flag left alone shows
  glCheckExtension(extensions, name, &flag);
  return flag;
}

}  // namespace

TEST(GlCheckExtension, MatchesWholeNamesOnly) {
  const char *list = "GL_ARB_texture_env_combine GL_EXT_abgr GL_ARB_multitexture";
  EXPECT_EQ(Check(list, "GL_ARB_texture_env_combine"), 1);  // first word
  EXPECT_EQ(Check(list, "GL_EXT_abgr"), 1);                 // inner word
  EXPECT_EQ(Check(list, "GL_ARB_multitexture"), 1);         // last word, no blank after it
  // The beginning of a longer listed name is not that extension.
  EXPECT_EQ(Check(list, "GL_ARB_texture_env"), 0);
  EXPECT_EQ(Check(list, "GL_EXT_ab"), 0);
  // Nor is a longer name that starts with a listed one, or a name that
  // only spans two words.
  EXPECT_EQ(Check(list, "GL_ARB_multitexture_more"), 0);
  EXPECT_EQ(Check(list, "abgr GL_ARB"), 0);
  EXPECT_EQ(Check(list, "texture_env_combine"), 0);
}

TEST(GlCheckExtension, ToleratesOddListsAndNames) {
  EXPECT_EQ(Check("  GL_EXT_a   GL_EXT_b  ", "GL_EXT_b"), 1);
  EXPECT_EQ(Check("GL_EXT_a\nGL_EXT_b", "GL_EXT_b"), 1);
  EXPECT_EQ(Check("", "GL_EXT_a"), 0);
  EXPECT_EQ(Check(nullptr, "GL_EXT_a"), 0);  // a driver without a list offers nothing
  EXPECT_EQ(Check("GL_EXT_a", ""), 0);
  EXPECT_EQ(Check("GL_EXT_a  ", ""), 0);
  glCheckExtension("GL_EXT_a", "GL_EXT_a", nullptr);  // no flag to set: only logs
}

TEST(GlCheckExtension, LogsOneLinePerCheck) {
  GlTestLog log;
  uint8_t flag = 0;
  glCheckExtension("GL_EXT_a GL_EXT_b", "GL_EXT_b", &flag);
  glCheckExtension("GL_EXT_a GL_EXT_b", "GL_EXT_c", &flag);
  EXPECT_EQ(log.Text(),
            "[gl] - GL_EXT_b : available\n"
            "[gl] - GL_EXT_c : not available\n");
}

class GlInitExtTest : public ::testing::Test {
protected:
  void SetUp() override { glExtFlags = {}; }
  void TearDown() override { glExtFlags = {}; }

  // A driver with this extension list, renderer and maximum texture size.
  void Driver(const std::string &extensions, const std::string &renderer, GLint max_size) {
    gl.strings[GL_EXTENSIONS] = extensions;
    gl.strings[GL_RENDERER] = renderer;
    gl.integers[GL_MAX_TEXTURE_SIZE] = {max_size};
  }
  void Formats(std::vector<GLint> formats) {
    gl.integers[GL_NUM_COMPRESSED_TEXTURE_FORMATS] = {static_cast<GLint>(formats.size())};
    gl.integers[GL_COMPRESSED_TEXTURE_FORMATS] = std::move(formats);
  }

  GlTestLog log;
  GlRecorder gl;
};

TEST_F(GlInitExtTest, EveryListedExtensionSetsItsFlag) {
  Driver("GL_EXT_compiled_vertex_array GL_EXT_texture_cube_map GL_ARB_multitexture "
         "GL_ARB_texture_env_combine GL_ARB_texture_env_dot3 GL_ARB_texture_compression "
         "GL_EXT_texture_filter_anisotropic GL_ARB_multisample "
         "GL_EXT_texture_compression_s3tc GL_ARB_shading_language_100 "
         "GL_ARB_fragment_shader GL_ARB_vertex_shader",
         "Test renderer", 4096);
  Formats({});
  glInitExt();
  const glExtFlags_t &f = glExtFlags;
  EXPECT_EQ(f.compiledVertexArray, 1);
  EXPECT_EQ(f.cubeMap, 1);
  EXPECT_EQ(f.textureCompression, 1);
  EXPECT_EQ(f.multitexture, 1);
  EXPECT_EQ(f.textureEnvCombine, 1);
  EXPECT_EQ(f.textureEnvDot3, 1);
  EXPECT_EQ(f.anisotropicFilter, 1);
  EXPECT_EQ(f.multisample, 1);
  EXPECT_EQ(f.shadingLanguage, 1);
  EXPECT_EQ(f.vertexShader, 1);
  EXPECT_EQ(f.maxTextureSize, 4096);

  // The checks log in their fixed order, then the renderer and the size.
  std::string text = log.Text();
  std::vector<std::string> order = {
      "[gl] --- check extensions:\n",
      "[gl] - GL_EXT_compiled_vertex_array : available\n",
      "[gl] - GL_EXT_texture_cube_map : available\n",
      "[gl] - GL_ARB_multitexture : available\n",
      "[gl] - GL_ARB_texture_env_combine : available\n",
      "[gl] - GL_ARB_texture_env_dot3 : available\n",
      "[gl] - GL_ARB_texture_compression : available\n",
      "[gl] - GL_EXT_texture_filter_anisotropic : available\n",
      "[gl] - GL_ARB_multisample : available\n",
      "[gl] - GL_EXT_texture_compression_s3tc : available\n",
      "[gl] - GL_ARB_shading_language_100 : available\n",
      "[gl] - GL_ARB_fragment_shader : available\n",
      "[gl] - GL_ARB_vertex_shader : available\n",
      "[gl] - renderer: Test renderer\n",
      "[gl] - Maximum texture size : 4096\n",
      "[gl]   - supported DXTC modes (0):\n",
  };
  size_t at = 0;
  for (const std::string &line : order) {
    size_t found = text.find(line, at);
    ASSERT_NE(found, std::string::npos) << line << "in\n" << text;
    at = found + line.size();
  }
}

TEST_F(GlInitExtTest, TextureCompressionMeansS3tc) {
  // Generic compression without S3TC gives no compressed uploads at all.
  Driver("GL_ARB_texture_compression GL_ARB_multitexture", "Test renderer", 2048);
  Formats({0x83F0, 0x83F2, 0x83F3});
  glInitExt();
  EXPECT_EQ(glExtFlags.textureCompression, 0);
  EXPECT_EQ(glExtFlags.dxt1 | glExtFlags.dxt3 | glExtFlags.dxt5, 0);
  EXPECT_TRUE(log.Has("[gl] - GL_ARB_texture_compression : available\n"));
  EXPECT_TRUE(log.Has("[gl] - GL_EXT_texture_compression_s3tc : not available\n"));
  EXPECT_TRUE(log.Has("[gl] DXTC : not available.\n"));
  for (const auto &call : gl.calls()) {
    if (call.name == "glGetIntegerv") {
      EXPECT_EQ(call.args[0], GL_MAX_TEXTURE_SIZE);
    }
  }
}

TEST_F(GlInitExtTest, ShadingLanguageMeansFragmentShaders) {
  Driver("GL_ARB_fragment_shader", "Test renderer", 2048);
  glInitExt();
  EXPECT_EQ(glExtFlags.shadingLanguage, 1);
  EXPECT_EQ(glExtFlags.vertexShader, 0);

  glExtFlags = {};
  Driver("GL_ARB_shading_language_100 GL_ARB_vertex_shader", "Test renderer", 2048);
  glInitExt();
  EXPECT_EQ(glExtFlags.shadingLanguage, 0);
  EXPECT_EQ(glExtFlags.vertexShader, 1);
}

TEST_F(GlInitExtTest, DxtFlagsFollowTheDriversFormats) {
  Driver("GL_EXT_texture_compression_s3tc", "Test renderer", 2048);
  // RGBA DXT1 and an unrelated format are passed over; the line keeps the
  // driver's order.
  Formats({0x83F1, 0x83F3, 0x1234, 0x83F0});
  // The log's text buffer lives for the whole process: make it big enough
  // now so only the format buffer can show up in the count.
  PasStr(std::string(300, 'x'));
  size_t live = SYS_MemLiveCount();
  glInitExt();
  EXPECT_EQ(glExtFlags.dxt1, 1);
  EXPECT_EQ(glExtFlags.dxt3, 0);
  EXPECT_EQ(glExtFlags.dxt5, 1);
  EXPECT_TRUE(log.Has("[gl]   - supported DXTC modes (4): DXT5 DXT1\n")) << log.Text();
  EXPECT_EQ(SYS_MemLiveCount(), live);  // the format buffer is released

  const auto *asked = gl.Find("glGetIntegerv", 2);
  ASSERT_NE(asked, nullptr);
  EXPECT_EQ(asked->args[0], GL_COMPRESSED_TEXTURE_FORMATS);

  Formats({0x83F0, 0x83F2, 0x83F3});
  glInitExt();
  EXPECT_EQ(glExtFlags.dxt1 + glExtFlags.dxt3 + glExtFlags.dxt5, 3);
  EXPECT_TRUE(log.Has("[gl]   - supported DXTC modes (3): DXT1 DXT3 DXT5\n"));
}

TEST_F(GlInitExtTest, NegativeFormatCountListsNothing) {
  Driver("GL_EXT_texture_compression_s3tc", "Test renderer", 2048);
  gl.integers[GL_NUM_COMPRESSED_TEXTURE_FORMATS] = {-5};
  glInitExt();
  EXPECT_EQ(glExtFlags.dxt1 + glExtFlags.dxt3 + glExtFlags.dxt5, 0);
  EXPECT_TRUE(log.Has("[gl]   - supported DXTC modes (0):\n"));
  EXPECT_EQ(gl.Count("glGetIntegerv"), 2u);  // size and count, never the list
}

TEST_F(GlInitExtTest, KnownRenderersAreLimitedTo1024) {
  struct Case {
    const char *renderer;
    const char *line;
  } cases[] = {
      {"Intel GMA 950 OpenGL Engine",
       "[gl]   - Intel GMA950 detected. Maximum texture size overridden to 1024.\n"},
      {"Intel 965/963 Graphics Media Accelerator",
       "[gl]   - Intel GMA950 detected. Maximum texture size overridden to 1024.\n"},
      {"ATI Radeon 9200 OpenGL Engine",
       "[gl]   - ATI Radeon 9200 detected. Maximum texture size overridden to 1024.\n"},
  };
  for (const Case &c : cases) {
    GlTestLog own;
    Driver("", c.renderer, 2048);
    glInitExt();
    EXPECT_EQ(glExtFlags.maxTextureSize, 1024) << c.renderer;
    std::string text = own.Text();
    EXPECT_NE(text.find("[gl] - Maximum texture size : 2048\n"), std::string::npos);
    size_t first = text.find(c.line);
    EXPECT_NE(first, std::string::npos) << c.renderer;
    EXPECT_EQ(text.find("detected.", first + strlen(c.line)), std::string::npos)
        << "one override line";
  }
}

TEST_F(GlInitExtTest, OtherRenderersAndSmallerSizesAreLeftAlone) {
  for (auto [renderer, size] : {std::pair{"Intel GMA 950 OpenGL Engine", 512},
                                {"llvmpipe (LLVM 15.0.6, 256 bits)", 16384}}) {
    GlTestLog own;
    Driver("", renderer, size);
    glInitExt();
    EXPECT_EQ(glExtFlags.maxTextureSize, size) << renderer;
    // A known renderer is named even when its driver already reports less.
    EXPECT_EQ(own.Has("[gl]   - Intel GMA950 detected. Maximum texture size overridden to 1024.\n"),
              size == 512)
        << renderer;
    EXPECT_TRUE(own.Has(std::string("[gl] - renderer: ") + renderer + "\n"));
  }
}

TEST_F(GlInitExtTest, DriverWithoutStringsOffersNothing) {
  // No extension list, no renderer name: nothing available, nothing read
  // through a null pointer.
  gl.integers[GL_MAX_TEXTURE_SIZE] = {1024};
  glInitExt();
  glExtFlags_t none{};
  none.maxTextureSize = 1024;
  EXPECT_EQ(memcmp(&glExtFlags, &none, sizeof none), 0);
  EXPECT_TRUE(log.Has("[gl] - renderer: \n"));
  EXPECT_TRUE(log.Has("[gl] DXTC : not available.\n"));
}

TEST_F(GlInitExtTest, WithoutALibraryTheExtensionEntriesStayEmpty) {
  Driver("GL_ARB_vertex_buffer_object", "Test renderer", 2048);
  void *saved = glModule;
  glModule = nullptr;
  glInitExt();
  EXPECT_EQ(dgl::glBindBufferARB, nullptr);
  EXPECT_EQ(dgl::glCompressedTexImage2DARB, nullptr);
  EXPECT_EQ(glGetExtProc("glBindBufferARB"), nullptr);
  glModule = saved;
}
