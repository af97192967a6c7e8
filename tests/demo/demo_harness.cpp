// The in-process demo for scene tests. See demo_harness.h.
#include "demo_harness.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <system_error>

#include "demo/frame_loop.h"
#include "demo/modules.h"
#include "demo/resources.h"
#include "demo/shell.h"
#include "framework/sys.h"
#include "support/test_support.h"
#include "texture/formats.h"
#include "texture/loader.h"
#include "texture/slot_table.h"
#include "window/gl_demo.h"
#include "window/wm.h"

namespace ember_test {

namespace {

constexpr const char *kDigestVariable = "EMBER_DIGEST_FILE";

}  // namespace

uint64_t Frame::Sum(int x0, int y0, int x1, int y1) const {
  uint64_t sum = 0;
  for (int y = y0; y < y1; ++y)
    for (int x = x0; x < x1; ++x)
      for (int c = 0; c < 3; ++c) sum += static_cast<uint64_t>(At(x, y, c));
  return sum;
}

void StartDemo() {
  if (DemoWindow) return;  // started already in this process
  // "default" skips the configuration dialog: the windowed 800 x 600 mode.
  static char program[] = "demo_gl_tests";
  static char skipDialog[] = "-default";
  static char *argv[] = {program, skipDialog, nullptr};
  InitialiseModules(2, argv);
  SYS_CallInitProcs();
  const std::string pack = (BinaryDir() / "stage" / "emberfield.dat").string();
  ASSERT_EQ(SYS_FilePackOpen(pack.c_str()), 0) << "no sample pack at " << pack;
  StartVideo("vantor - emberfield", DemoWidth, DemoHeight, DemoFullScreen);
  DemoDebug = 0;
  LoadDemoResources();
  ResetFrameState();
  TakeGlError();
}

Frame ReadFrame() {
  Frame frame;
  frame.width = DemoWidth;
  frame.height = DemoHeight;
  frame.rgb.assign(static_cast<size_t>(frame.width) * frame.height * 3, 0);
  dgl::glPixelStorei(GL_PACK_ALIGNMENT, 1);
  dgl::glReadPixels(0, 0, frame.width, frame.height, GL_RGB, GL_UNSIGNED_BYTE, frame.rgb.data());
  return frame;
}

Frame DrawFrame(int32_t t) {
  DemoDrawFrame(t);
  Frame frame = ReadFrame();
  wmSwapBuffers(DemoWindow);
  cfg_settings.last_key = 0;
  return frame;
}

std::vector<GlCall> RecordFrame(int32_t t) {
  GlRecorder recorder;
  DemoDrawFrame(t);
  return recorder.calls();
}

GLenum TakeGlError() {
  GLenum first = GL_NO_ERROR;
  // A lost context reports errors for ever; a bounded drain cannot hang.
  for (int i = 0; i < 64; ++i) {
    const GLenum e = dgl::glGetError();
    if (e == GL_NO_ERROR) break;
    if (first == GL_NO_ERROR) first = e;
  }
  return first;
}

ScopedAspect::ScopedAspect(int32_t code) : saved_(cfg_settings.aspect) {
  cfg_settings.aspect = code;
}
ScopedAspect::~ScopedAspect() { cfg_settings.aspect = saved_; }

void ExpectDrawsInsideAspectViewport(int32_t t) {
  {
    ScopedAspect wide(ASPECT_16_9);  // viewport 160, 0, 960, 720
    const Frame frame = DrawFrame(t);
    EXPECT_TRUE(frame.AllBlack(0, 0, 160, frame.height)) << "16:9 at " << t;
    EXPECT_GT(frame.Sum(160, 0, frame.width, frame.height), 0u) << "16:9 at " << t;
  }
  {
    ScopedAspect tall(ASPECT_5_4);  // viewport 0, 24, 1024, 720
    const Frame frame = DrawFrame(t);
    EXPECT_TRUE(frame.AllBlack(0, frame.height - 24, frame.width, frame.height)) << "5:4 at " << t;
    EXPECT_GT(frame.Sum(0, 0, frame.width, frame.height - 24), 0u) << "5:4 at " << t;
  }
}

std::string FrameDigest(const Frame &frame) {
  uint64_t h = 1469598103934665603ull;
  for (uint8_t b : frame.rgb) {
    h ^= b;
    h *= 1099511628211ull;
  }
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(h));
  return text;
}

std::string DigestFile() {
  const char *name = std::getenv(kDigestVariable);
  return name ? name : "";
}

std::string RunSelfForDigests(const std::string &filter) {
  TempDir dir;
  const std::string file = dir.str("digests.txt");
  std::error_code ec;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return "";
  // The child's leak report would only repeat the parent's; its exit
  // status must tell whether its test passed.
  const char *asan = std::getenv("ASAN_OPTIONS");
  const std::string asanOptions =
      std::string("ASAN_OPTIONS=") + (asan && *asan ? std::string(asan) + ":" : "") + "detect_leaks=0";
  const RunResult run = Run({self.string(), "--gtest_filter=" + filter,
                             "--gtest_also_run_disabled_tests"},
                            {}, {std::string(kDigestVariable) + "=" + file, asanOptions});
  EXPECT_EQ(run.status, 0) << run.output;
  std::error_code missing;
  if (!std::filesystem::exists(file, missing)) return "";
  return ReadFile(file);
}

std::filesystem::path WriteFramePng(const Frame &frame, const std::string &name) {
  // A picture worth a look: some of it lit, in more than a few colours.
  size_t lit = 0;
  std::set<uint32_t> colours;
  for (size_t i = 0; i + 2 < frame.rgb.size(); i += 3) {
    const uint8_t r = frame.rgb[i], g = frame.rgb[i + 1], b = frame.rgb[i + 2];
    if (std::max({r, g, b}) > kLitLevel) ++lit;
    if (colours.size() < kPictureColours) colours.insert(uint32_t(r) << 16 | uint32_t(g) << 8 | b);
  }
  const size_t pixels = frame.rgb.size() / 3;
  if (pixels == 0 || lit * 100 < pixels * kLitPercent || colours.size() < kPictureColours) {
    ADD_FAILURE() << name << " is blank: " << lit << " of " << pixels << " pixels lit, "
                  << colours.size() << " colours";
    return {};
  }

  const std::filesystem::path folder = BinaryDir() / "scene-frames";
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  const std::filesystem::path path = folder / (name + ".png");

  // The writer takes rows top first.
  const size_t row = static_cast<size_t>(frame.width) * 3;
  std::vector<uint8_t> topDown(frame.rgb.size());
  for (int y = 0; y < frame.height; ++y)
    std::copy_n(frame.rgb.begin() + static_cast<ptrdiff_t>((frame.height - 1 - y) * row), row,
                topDown.begin() + static_cast<ptrdiff_t>(y * row));
  txBitmap bitmap{};
  bitmap.type = TX_RED_FIRST;
  bitmap.subtype = 0;
  bitmap.width = frame.width;
  bitmap.height = frame.height;
  bitmap.bits = 24;
  bitmap.levels = 1;
  bitmap.imagesize[0] = static_cast<int32_t>(topDown.size());
  bitmap.image[0] = topDown.data();
  if (pngWrite(path.string().c_str(), &bitmap) != 0) return {};
  return path;
}

}  // namespace ember_test
