// The reference frames of the demo's scenes (tests/fixtures/frames): the
// times they show, how a frame is made small, and where each one lies.
// Shared by the test that compares with them and the tool that writes
// them (picture_tools.cpp).
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "demo/frame_loop.h"
#include "demo/procedural.h"
#include "demo_harness.h"
#include "framework/random.h"
#include "window/gl_demo.h"

namespace ember_test {

constexpr int kShrink = 8;

// One or two times per scene; the heavy scenes at their busiest.
constexpr int32_t kTimes[] = {
    4000,   12000,  17000,  30000,  38000,  44000,  50500,  52000,  56500,  58500,  66500,
    70000,  84500,  92000,  100000, 106000, 114000, 118000, 136500, 155994, 170000, 188000,
    200000, 230000,
};

struct Small {
  int width = 0, height = 0;
  std::vector<uint8_t> rgb;  // top row first
};

inline Small Shrink(const Frame &frame) {
  Small s;
  s.width = frame.width / kShrink;
  s.height = frame.height / kShrink;
  s.rgb.resize(static_cast<size_t>(s.width) * s.height * 3);
  for (int y = 0; y < s.height; ++y)
    for (int x = 0; x < s.width; ++x)
      for (int c = 0; c < 3; ++c) {
        int sum = 0;
        for (int dy = 0; dy < kShrink; ++dy)
          for (int dx = 0; dx < kShrink; ++dx) sum += frame.At(kShrink * x + dx, kShrink * y + dy, c);
        s.rgb[(static_cast<size_t>(y) * s.width + x) * 3 + c] =
            static_cast<uint8_t>((sum + kShrink * kShrink / 2) / (kShrink * kShrink));
      }
  return s;
}

inline std::filesystem::path ReferenceFolder() {
  return std::filesystem::path(EMBER_SOURCE_DIR) / "tests" / "fixtures" / "frames";
}

inline std::filesystem::path ReferencePath(int32_t t) {
  return ReferenceFolder() / ("t" + std::to_string(t) + ".png");
}

// The frame of time t as the timeline shows it: the state it inherits is
// its own, the depth function is the one play has reached by then (the
// ring tunnel leaves GL_LEQUAL to everything after it), and the tunnel's
// noise starts from the demo's seed.
inline Small DrawSmall(int32_t t) {
  dgl::glDepthFunc(t >= DemoTimeline[15].from ? GL_LEQUAL : GL_LESS);
  RandSeed(DEMO_RANDOM_SEED);
  DrawFrame(t);
  RandSeed(DEMO_RANDOM_SEED);
  return Shrink(DrawFrame(t));
}

}  // namespace ember_test
