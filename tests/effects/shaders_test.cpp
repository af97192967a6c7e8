// Building a shader program through the recording GL table: the call
// order, oversized sources, and renderers without shader objects.
#include <gtest/gtest.h>

#include "framework/core_test_util.h"
#include "framework/sys.h"
#include "gl_recorder.h"
#include "ife_test_util.h"
#include "window/gl_demo.h"

using namespace ember_test;

namespace {

class IfeShaders : public ::testing::Test {
protected:
  void SetUp() override {
    cwd_ = std::make_unique<ScopedCwd>(dir_.path());
    SYS_LogSetFile(dir_.str("shader.log").c_str());
    SYS_LogSetFlags(SYS_LOG_ON);
  }
  void TearDown() override {
    ResetLog();
    cwd_.reset();
  }
  std::string Log() { return ReadFile(dir_.path() / "shader.log"); }

  GlRecorder gl_;
  TempDir dir_;
  std::unique_ptr<ScopedCwd> cwd_;
};

TEST_F(IfeShaders, CompilesBothShadersThenLinks) {
  WriteFile(dir_.path() / "a.vs", "void main() {}");
  WriteFile(dir_.path() / "a.ps", "void main() {}");
  int32_t vs = -1, ps = -1, program = -1;
  ife_LoadShaders(vs, ps, program, "a.vs", "a.ps");
  std::vector<std::string> names;
  for (const std::string &n : gl_.Names())
    if (n.find("ARB") != std::string::npos) names.push_back(n);
  EXPECT_EQ(names, (std::vector<std::string>{
                       "glCreateProgramObjectARB", "glCreateShaderObjectARB",
                       "glCreateShaderObjectARB", "glShaderSourceARB", "glCompileShaderARB",
                       "glGetInfoLogARB", "glShaderSourceARB", "glCompileShaderARB",
                       "glGetInfoLogARB", "glAttachObjectARB", "glAttachObjectARB",
                       "glLinkProgramARB", "glGetInfoLogARB"}));
  EXPECT_EQ(gl_.Find("glCreateShaderObjectARB", 0)->args[0], GL_VERTEX_SHADER_ARB);
  EXPECT_EQ(gl_.Find("glCreateShaderObjectARB", 1)->args[0], GL_FRAGMENT_SHADER_ARB);
  EXPECT_NE(Log().find(" - loading a.vs and a.ps shader.\n"), std::string::npos);
  EXPECT_EQ(Log().find("unable"), std::string::npos);  // the recorder's logs are empty
}

TEST_F(IfeShaders, ASourceLongerThanTheBufferIsCutNotOverrun) {
  WriteFile(dir_.path() / "big.vs", std::string(70000, ' '));
  WriteFile(dir_.path() / "a.ps", "void main() {}");
  int32_t vs, ps, program;
  ife_LoadShaders(vs, ps, program, "big.vs", "a.ps");
  EXPECT_NE(Log().find(" - big.vs is longer than 65535 bytes; cut.\n"), std::string::npos);
  EXPECT_EQ(gl_.Count("glLinkProgramARB"), 1u);
}

TEST_F(IfeShaders, WithoutShaderObjectsNothingIsCalledAndTheHandlesAreZero) {
  const auto saved = dgl::glLinkProgramARB;
  dgl::glLinkProgramARB = nullptr;
  int32_t vs = -1, ps = -1, program = -1;
  ife_LoadShaders(vs, ps, program, "a.vs", "a.ps");
  dgl::glLinkProgramARB = saved;
  EXPECT_EQ(vs, 0);
  EXPECT_EQ(ps, 0);
  EXPECT_EQ(program, 0);
  EXPECT_EQ(gl_.calls().size(), 0u);
  EXPECT_NE(Log().find(" - shader objects are not available.\n"), std::string::npos);
}

}  // namespace
