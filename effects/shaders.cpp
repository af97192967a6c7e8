// Building a shader program from a vertex and a pixel shader file with the
// ARB shader objects. Nothing in the demo calls it.
//
// A non-empty info log counts as failure; failures are only logged and the
// handles are returned in every case. The renderer may lack shader objects:
// then nothing is created, the handles are 0 and that is logged, rather
// than calling an entry point that is not there. A source file is read
// whole, at most 65535 bytes (a longer one is cut, and the cut is logged),
// and always ends with a NUL byte.
//
// Main thread, with the OpenGL context current.
#include <string>

#include "effects/ife.h"
#include "framework/base.h"
#include "framework/file.h"
#include "window/gl_demo.h"

namespace {

// Longest shader source, in bytes.
constexpr int32_t kMaxSource = 65535;
// Size of the buffer an info log is read into.
constexpr GLsizei kInfoLogSize = 2048;

bool ShaderObjectsPresent() {
  return dgl::glCreateProgramObjectARB && dgl::glCreateShaderObjectARB &&
         dgl::glShaderSourceARB && dgl::glCompileShaderARB && dgl::glGetInfoLogARB &&
         dgl::glAttachObjectARB && dgl::glLinkProgramARB;
}

std::string ReadSource(std::string_view fileName) {
  const std::string name(fileName);
  SYS_File_p file = SYS_FileOpen(name.c_str(), SYS_FILE_READ);
  if (!file) {
    pasLog(" - unable to open " + name + ".");
    return {};
  }
  int32_t size = SYS_FileSize(name.c_str());
  if (size < 0) size = 0;
  if (size > kMaxSource) {
    pasLog(" - " + name + " is longer than " + std::to_string(kMaxSource) + " bytes; cut.");
    size = kMaxSource;
  }
  std::string text(size_t(size), '\0');
  const int32_t read = size > 0 ? SYS_FileRead(file, text.data(), size) : 0;
  text.resize(read > 0 ? size_t(read) : 0);
  SYS_FileClose(file);
  return text;
}

bool HasInfoLog(GLhandleARB object) {
  GLcharARB log[kInfoLogSize] = {};
  GLsizei length = 0;
  dgl::glGetInfoLogARB(object, kInfoLogSize, &length, log);
  return length > 0 && log[0] != '\0';
}

void Compile(GLhandleARB shader, const std::string &source, const char *failure) {
  const GLcharARB *text = source.c_str();
  dgl::glShaderSourceARB(shader, 1, &text, nullptr);
  dgl::glCompileShaderARB(shader);
  if (HasInfoLog(shader)) pasLog(failure);
}

}  // namespace

void ife_LoadShaders(int32_t &vertexShader, int32_t &pixelShader, int32_t &program,
                     std::string_view vertexFile, std::string_view pixelFile) {
  pasLog(" - loading " + std::string(vertexFile) + " and " + std::string(pixelFile) + " shader.");
  vertexShader = pixelShader = program = 0;
  if (!ShaderObjectsPresent()) {
    pasLog(" - shader objects are not available.");
    return;
  }

  const GLhandleARB prog = dgl::glCreateProgramObjectARB();
  const GLhandleARB vs = dgl::glCreateShaderObjectARB(GL_VERTEX_SHADER_ARB);
  const GLhandleARB ps = dgl::glCreateShaderObjectARB(GL_FRAGMENT_SHADER_ARB);
  program = int32_t(prog);
  vertexShader = int32_t(vs);
  pixelShader = int32_t(ps);

  const std::string vertexText = ReadSource(vertexFile);
  const std::string pixelText = ReadSource(pixelFile);
  Compile(vs, vertexText, " - unable to compile vertex shader.");
  Compile(ps, pixelText, " - unable to compile pixel shader.");

  dgl::glAttachObjectARB(prog, vs);
  dgl::glAttachObjectARB(prog, ps);
  dgl::glLinkProgramARB(prog);
  if (HasInfoLog(prog)) pasLog(" - unable to link shader program.");
}
