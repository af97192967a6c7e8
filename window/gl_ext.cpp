// The extension check of the demo side: capability flags, the renderer's
// texture-size limit, the DXT formats and the extension entry points.
//
// glInitExt runs once, on the main thread, right after the demo window's
// context becomes current; everything it sets is read-only afterwards.
//
// Extension names are matched as whole space-separated words: a name that
// is only the beginning of a longer listed one ("GL_ARB_texture_env" in a
// list holding "GL_ARB_texture_env_combine") is not available. A driver
// that gives no extension string offers nothing. A known renderer always
// gets its log line, but its limit only ever lowers the maximum texture
// size the driver reported: raising it would let uploads past what the
// driver accepts.
//
// Every log line is written whole, so a date-time stamp never lands in the
// middle of one.
#include <algorithm>
#include <string>
#include <string_view>

#include "framework/base.h"
#include "window/gl_calls.h"
#include "window/gl_demo.h"

glExtFlags_t glExtFlags;

namespace {

// OpenGL's compressed formats that the texture loader can hand over.
constexpr GLint kRgbDxt1 = 0x83F0;
constexpr GLint kRgbaDxt3 = 0x83F2;
constexpr GLint kRgbaDxt5 = 0x83F3;

// Bytes reserved per listed compressed format.
constexpr size_t kFormatBytes = 16;

struct glExtCheck_t {
  const char *name;
  uint8_t glExtFlags_t::*flag;
};

// In this order; a later row for the same flag replaces the earlier result,
// so texture compression ends up meaning S3TC and shading language means
// fragment shaders.
const glExtCheck_t kExtensionChecks[] = {
    {"GL_EXT_compiled_vertex_array", &glExtFlags_t::compiledVertexArray},
    {"GL_EXT_texture_cube_map", &glExtFlags_t::cubeMap},
    {"GL_ARB_multitexture", &glExtFlags_t::multitexture},
    {"GL_ARB_texture_env_combine", &glExtFlags_t::textureEnvCombine},
    {"GL_ARB_texture_env_dot3", &glExtFlags_t::textureEnvDot3},
    {"GL_ARB_texture_compression", &glExtFlags_t::textureCompression},
    {"GL_EXT_texture_filter_anisotropic", &glExtFlags_t::anisotropicFilter},
    {"GL_ARB_multisample", &glExtFlags_t::multisample},
    {"GL_EXT_texture_compression_s3tc", &glExtFlags_t::textureCompression},
    {"GL_ARB_shading_language_100", &glExtFlags_t::shadingLanguage},
    {"GL_ARB_fragment_shader", &glExtFlags_t::shadingLanguage},
    {"GL_ARB_vertex_shader", &glExtFlags_t::vertexShader},
};

struct glRendererLimit_t {
  const char *renderers[2];  // any of these in the renderer text
  const char *line;
  int32_t maxTextureSize;
};

// Renderers whose drivers report more than they can handle.
const glRendererLimit_t kRendererLimits[] = {
    {{"Intel GMA 950", "Intel 965/963"},
     "[gl]   - Intel GMA950 detected. Maximum texture size overridden to 1024.", 1024},
    {{"ATI Radeon 9200", nullptr},
     "[gl]   - ATI Radeon 9200 detected. Maximum texture size overridden to 1024.", 1024},
};

struct glDxtFormat_t {
  GLint format;
  const char *label;
  uint8_t glExtFlags_t::*flag;
};

// The RGBA form of DXT1 is not one the loader hands over.
const glDxtFormat_t kDxtFormats[] = {
    {kRgbDxt1, " DXT1", &glExtFlags_t::dxt1},
    {kRgbaDxt3, " DXT3", &glExtFlags_t::dxt3},
    {kRgbaDxt5, " DXT5", &glExtFlags_t::dxt5},
};

bool HasWord(std::string_view list, std::string_view word) {
  if (word.empty()) return false;
  constexpr std::string_view kSpace = " \t\r\n";
  size_t pos = list.find_first_not_of(kSpace);
  while (pos != std::string_view::npos) {
    size_t end = list.find_first_of(kSpace, pos);
    std::string_view token = list.substr(pos, end == std::string_view::npos ? end : end - pos);
    if (token == word) return true;
    if (end == std::string_view::npos) break;
    pos = list.find_first_not_of(kSpace, end);
  }
  return false;
}

const char *GlText(GLenum name) {
  const GLubyte *text = dgl::glGetString ? dgl::glGetString(name) : nullptr;
  return text ? reinterpret_cast<const char *>(text) : "";
}

void ApplyRendererLimits(const char *renderer) {
  std::string_view text(renderer);
  for (const glRendererLimit_t &limit : kRendererLimits) {
    bool detected = false;
    for (const char *name : limit.renderers) {
      if (name && text.find(name) != std::string_view::npos) detected = true;
    }
    if (!detected) continue;
    pasLog(limit.line);
    glExtFlags.maxTextureSize = std::min(glExtFlags.maxTextureSize, limit.maxTextureSize);
  }
}

void ListDxtFormats() {
  if (!glExtFlags.textureCompression) {
    pasLog("[gl] DXTC : not available.");
    return;
  }
  GLint count = 0;
  dgl::glGetIntegerv(GL_NUM_COMPRESSED_TEXTURE_FORMATS, &count);
  count = std::max(count, 0);
  GLint *formats = nullptr;
  if (count > 0) {
    formats = static_cast<GLint *>(
        pasMemGet(static_cast<size_t>(count) * kFormatBytes, "glInitExt: DDS Support"));
    if (!formats) {
      pasLog("[gl] DXTC : not available.");
      return;
    }
    dgl::glGetIntegerv(GL_COMPRESSED_TEXTURE_FORMATS, formats);
  }
  std::string line = "[gl]   - supported DXTC modes (" + std::to_string(count) + "):";
  for (GLint i = 0; i < count; ++i) {
    for (const glDxtFormat_t &dxt : kDxtFormats) {
      if (formats[i] == dxt.format) {
        line += dxt.label;
        glExtFlags.*dxt.flag = 1;
      }
    }
  }
  pasLog(line);
  if (formats) pasMemFree(&formats);
}

}  // namespace

void glCheckExtension(const char *extensions, const char *name, uint8_t *flag) {
  std::string_view want = name ? name : "";
  bool available = HasWord(extensions ? extensions : "", want);
  if (flag) *flag = available ? 1 : 0;
  std::string line = "[gl] - ";
  line.append(want).append(" : ").append(available ? "" : "not ").append("available");
  pasLog(line);
}

void glInitExt() {
  const char *extensions = GlText(GL_EXTENSIONS);
  pasLog("[gl] --- check extensions:");
  for (const glExtCheck_t &check : kExtensionChecks) {
    glCheckExtension(extensions, check.name, &(glExtFlags.*check.flag));
  }

  const char *renderer = GlText(GL_RENDERER);
  pasLog(std::string("[gl] - renderer: ") + renderer);
  GLint size = 0;
  dgl::glGetIntegerv(GL_MAX_TEXTURE_SIZE, &size);
  glExtFlags.maxTextureSize = size;
  pasLog("[gl] - Maximum texture size : " + std::to_string(size));
  ApplyRendererLimits(renderer);

  ListDxtFormats();

#define GL_ENTRY(name, type) dgl::name = reinterpret_cast<type>(glGetExtProc(#name));
#include "window/gl_names_ext.inc"
#undef GL_ENTRY
  glRequireCalls(GL_CALLS_EXT, "OpenGL");
}
