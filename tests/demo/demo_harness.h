// The demo started inside a test program: the real start-up (framework,
// window under the virtual display, every resource of the staged sample
// pack behind the loading bar, the procedural set-up) once per process,
// then any frame of the timeline drawn at a chosen demo time and read back
// before the swap.
//
// Scene tests use it to look at pixels (DrawFrame), to count OpenGL calls
// through the recording table (RecordFrame: no pixels, the real context is
// untouched), to compare frames across fresh processes (FrameDigest,
// RunSelfForDigests) and to leave a picture of each scene in the build
// folder for a person to look at (WriteFramePng).
//
// Main thread only, like the demo itself.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include <GL/gl.h>

#include "effects/ife.h"
#include "gl_recorder.h"

namespace ember_test {

// The window the harness opens (the demo's windowed mode).
constexpr int kFrameWidth = 800;
constexpr int kFrameHeight = 600;

// Runs the demo's start-up once; later calls return at once. The timeline
// is then at demo time 0 with the frame state reset.
void StartDemo();

// A frame as read back: RGB bytes, rows bottom-up as OpenGL gives them.
struct Frame {
  int width = 0, height = 0;
  std::vector<uint8_t> rgb;
  // Channel c (0 red, 1 green, 2 blue) of the pixel x, y counted from the
  // top left, as a person sees it.
  int At(int x, int y, int c) const { return rgb[((height - 1 - y) * width + x) * 3 + c]; }
  // Sum of the three channels over the rectangle [x0, x1) x [y0, y1), top
  // left origin.
  uint64_t Sum(int x0, int y0, int x1, int y1) const;
  bool AllBlack(int x0, int y0, int x1, int y1) const { return Sum(x0, y0, x1, y1) == 0; }
};

// Draws the frame of demo time t (frame head, scene, state reset, no
// overlay), reads the window's back buffer and swaps.
Frame DrawFrame(int32_t t);
// The back buffer as it is now.
Frame ReadFrame();

// Every OpenGL call the frame of demo time t makes, through the recording
// table. Nothing reaches the real context.
std::vector<GlCall> RecordFrame(int32_t t);

// Drains the context's error queue; the first error found, or GL_NO_ERROR.
GLenum TakeGlError();

// Sets the aspect code of the start-up settings for the lifetime of the
// object.
class ScopedAspect {
public:
  explicit ScopedAspect(int32_t code);
  ~ScopedAspect();
  ScopedAspect(const ScopedAspect &) = delete;
  ScopedAspect &operator=(const ScopedAspect &) = delete;

private:
  int32_t saved_;
};

// Draws the frame of demo time t with the 16:9 and the 5:4 aspect codes,
// whose viewports leave a band of the 800 x 600 window outside (columns 0
// to 159, and the bottom 24 rows), and expects those bands black and the
// rest not.
void ExpectDrawsInsideAspectViewport(int32_t t);

// A short text digest of a frame's pixels (FNV-1a, 64 bits, in hex).
std::string FrameDigest(const Frame &frame);

// Runs this test program again in a fresh process with the given gtest
// filter, the environment variable EMBER_DIGEST_FILE naming a file, and
// returns that file's text. The child's test (disabled by default, named
// with the filter) writes whatever it wants to compare there.
std::string RunSelfForDigests(const std::string &filter);
// The file name a digest-writing child test should write to, or empty
// when the program was not started by RunSelfForDigests.
std::string DigestFile();

// Writes the frame as a PNG into <build>/scene-frames/<name>.png for a
// person to look at and returns the path. A blank picture (fewer than
// kLitPercent per cent of its pixels above kLitLevel in some channel, or
// fewer than kPictureColours colours) is a test failure and is not
// written; a failed write returns an empty path too.
constexpr int kLitLevel = 16;
constexpr size_t kLitPercent = 2;
constexpr size_t kPictureColours = 16;
std::filesystem::path WriteFramePng(const Frame &frame, const std::string &name);

// ---- without a context ----------------------------------------------------
// The rest needs no window: scene tests that run the scenes under a
// recording table use it to see which layer effect was drawn at which
// effect time.

// A layer effect of one layer whose texture name is a tag and whose x
// position equals the effect time, so a recording shows the tag bound and
// the frame the renderer was given as the layer's translation, also where
// the real effect holds still. Keys at -16384, 0 and 16384 frames: every
// time from 0 on, and whole negative times, come through exactly.
struct ProbeEffect {
  ife_interface iface{};
  ife_layer layer{};
  ife_keys keys[3]{};
};

inline void MakeProbeEffect(ProbeEffect &probe, int32_t tag) {
  probe.layer = ife_layer{};
  probe.layer.texture = tag;
  probe.layer.keycount = 3;
  probe.layer.keys = probe.keys;
  probe.keys[0] = ife_keys{-16384, -16384, 0, IFE_LINEAR, 0, 1, 1, 255, 255, 255, 255};
  probe.keys[1] = ife_keys{0, 0, 0, IFE_LINEAR, 0, 1, 1, 255, 255, 255, 255};
  probe.keys[2] = ife_keys{16384, 16384, 0, IFE_LINEAR, 0, 1, 1, 255, 255, 255, 255};
  probe.iface.layercount = 1;
  probe.iface.layers = &probe.layer;
}

// Puts a probe with the given tag in place of one of the demo's layer
// effects for the lifetime of the object.
class ScopedProbeEffect {
public:
  ScopedProbeEffect(ife_interface &target, int32_t tag) : target_(target), saved_(target) {
    MakeProbeEffect(probe_, tag);
    target_ = probe_.iface;
  }
  ~ScopedProbeEffect() { target_ = saved_; }
  ScopedProbeEffect(const ScopedProbeEffect &) = delete;
  ScopedProbeEffect &operator=(const ScopedProbeEffect &) = delete;

private:
  ife_interface &target_;
  ife_interface saved_;
  ProbeEffect probe_;
};

// Calls of that name in a recording.
inline size_t CountCalls(const std::vector<GlCall> &calls, const std::string &name) {
  size_t n = 0;
  for (const GlCall &call : calls) n += call.name == name;
  return n;
}
// The nth call (from 0) of that name in a recording, or NULL.
inline const GlCall *Find(const std::vector<GlCall> &calls, const std::string &name,
                          size_t nth = 0) {
  for (const GlCall &call : calls)
    if (call.name == name && nth-- == 0) return &call;
  return nullptr;
}

// The effect times at which the probe with this tag was drawn, in order.
inline std::vector<float> ProbeFrames(const std::vector<GlCall> &calls, int32_t tag) {
  std::vector<float> frames;
  bool bound = false;
  for (const GlCall &call : calls) {
    if (call.name == "glBindTexture") bound = call.args.size() == 2 && call.args[1] == tag;
    if (bound && call.name == "glTranslatef") {
      frames.push_back(static_cast<float>(call.args[0]));
      bound = false;
    }
  }
  return frames;
}

}  // namespace ember_test
