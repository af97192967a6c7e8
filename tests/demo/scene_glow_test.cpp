// The glow pass's sequence of copies, clears and viewports through the
// recording OpenGL table, and the start-up check that the drawable holds
// the 512 x 512 capture square.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "demo/glow.h"
#include "demo/resources.h"
#include "demo/shell.h"
#include "demo_harness.h"
#include "support/test_support.h"

namespace {

using ember_test::GlCall;
using ember_test::GlRecorder;
using ember_test::ProbeFrames;
using ember_test::ScopedProbeEffect;

constexpr int32_t kBlurTag = 7001;

class GlowPass : public ::testing::Test {
protected:
  void SetUp() override {
    savedAspect_ = cfg_settings.aspect;
    savedWork_ = WorkTexture;
    WorkTexture = 77;
  }
  void TearDown() override {
    cfg_settings.aspect = savedAspect_;
    WorkTexture = savedWork_;
  }
  int32_t savedAspect_ = 0, savedWork_ = 0;
};

void ExpectCapture(const GlCall &call) {
  ASSERT_EQ(call.name, "glCopyTexImage2D");
  EXPECT_EQ(call.args, (std::vector<double>{GL_TEXTURE_2D, 0, GL_RGB, 0, 0, 512, 512, 0}));
}

TEST_F(GlowPass, CapturesBlursCapturesAgainThenClearsIntoTheAspectViewport) {
  ife_interface blur{};
  ScopedProbeEffect probe(blur, kBlurTag);
  cfg_settings.aspect = ASPECT_16_9;
  GlRecorder recorder;
  GlowSourceViewport();
  GlowBlurSource(blur, 1000);

  std::vector<std::string> outline;  // the calls that shape the pass
  for (const GlCall &call : recorder.calls())
    if (call.name == "glViewport" || call.name == "glCopyTexImage2D" || call.name == "glClear" ||
        (call.name == "glBindTexture" && call.args[1] == 77))
      outline.push_back(call.name);
  EXPECT_EQ(outline, (std::vector<std::string>{"glViewport", "glBindTexture", "glCopyTexImage2D",
                                               "glClear", "glBindTexture", "glCopyTexImage2D",
                                               "glViewport", "glClear"}));
  EXPECT_EQ(recorder.Find("glViewport", 0)->args, (std::vector<double>{0, 0, 512, 512}));
  EXPECT_EQ(recorder.Find("glViewport", 1)->args, (std::vector<double>{160, 0, 960, 720}));
  ExpectCapture(*recorder.Find("glCopyTexImage2D", 0));
  ExpectCapture(*recorder.Find("glCopyTexImage2D", 1));
  for (size_t k = 0; k < 2; ++k)
    EXPECT_EQ(recorder.Find("glClear", k)->args[0], GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  // Texturing is on for each capture.
  const std::vector<GlCall> &calls = recorder.calls();
  for (size_t i = 0; i < calls.size(); ++i)
    if (calls[i].name == "glCopyTexImage2D") {
      EXPECT_EQ(calls[i - 2].name, "glEnable");
      EXPECT_EQ(calls[i - 2].args[0], GL_TEXTURE_2D);
    }
  // The blur is drawn between the captures, at its frame.
  EXPECT_EQ(ProbeFrames(calls, kBlurTag), (std::vector<float>{1000}));
}

TEST_F(GlowPass, AnAspectCodeOutsideTheTableKeepsTheSquare) {
  ife_interface blur{};
  cfg_settings.aspect = 0;
  GlRecorder recorder;
  GlowSourceViewport();
  GlowBlurSource(blur, 500);
  EXPECT_EQ(recorder.Count("glViewport"), 1u);
}

// The check with a context whose drawable is width x height.
void CheckWithViewport(GLint width, GLint height) {
  GlRecorder recorder;
  recorder.integers[GL_VIEWPORT] = {0, 0, width, height};
  CheckGlowDrawable(800, 600);
}

TEST(GlowDrawable, TheCaptureSquareMustFitBothWays) {
  EXPECT_TRUE(GlowFitsDrawable(512, 512));
  EXPECT_TRUE(GlowFitsDrawable(800, 600));
  EXPECT_FALSE(GlowFitsDrawable(511, 600));
  EXPECT_FALSE(GlowFitsDrawable(800, 511));
  EXPECT_FALSE(GlowFitsDrawable(0, 0));
}

TEST(GlowDrawable, ASmallDrawableEndsTheProgramThroughTheFatalExit) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(CheckWithViewport(640, 480), ::testing::ExitedWithCode(1), "");
}

// The check passes by returning; a refusal would end the child through
// the fatal exit with status 1.
TEST(GlowDrawable, ALargeEnoughDrawablePasses) {
  const ember_test::RunResult r = ember_test::RunInChild(
      [] {
        {
          GlRecorder recorder;
          recorder.integers[GL_VIEWPORT] = {0, 0, 800, 600};
          CheckGlowDrawable(800, 600);
        }
        // A context that cannot tell leaves the chosen mode to decide.
        GlRecorder silent;
        CheckGlowDrawable(1024, 768);
      },
      ember_test::kChildBoth, 0);
  EXPECT_EQ(r.status, 0) << r.output;
}

}  // namespace

