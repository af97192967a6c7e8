// Checks the scene tests share: where a frame may hold pixels for each
// aspect code, repeatable frames, and small readers of recorded calls.
//
// Frames come from the in-process demo (demo_harness.h); the window is
// 800 x 600, so of the wider aspect viewports only the part inside the
// window is seen.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "demo/frame_loop.h"
#include "demo_harness.h"
#include "effects/ife.h"
#include "window/gl_demo.h"

namespace ember_test {

// A glViewport rectangle: x, y from the bottom left, in pixels.
struct GlRect {
  int x, y, width, height;
};

// Every aspect code of the table, and one outside it.
constexpr int32_t kAspectCodes[] = {43, 1610, 169, 54};
constexpr int32_t kUnknownAspect = 7;

inline GlRect AspectRect(int32_t code, GlRect otherwise) {
  for (const TAspectViewport &v : cfg_aspect)
    if (v.code == code) return {v.x, v.y, v.width, v.height};
  return otherwise;
}

// The channel sum of the frame's pixels inside the rectangle grown by
// margin pixels on every side (clipped to the frame).
inline uint64_t SumInside(const Frame &frame, GlRect r, int margin) {
  const int x0 = std::max(0, r.x - margin), x1 = std::min(frame.width, r.x + r.width + margin);
  const int top = std::max(0, frame.height - (r.y + r.height + margin));
  const int bottom = std::min(frame.height, frame.height - (r.y - margin));
  if (x0 >= x1 || top >= bottom) return 0;
  return frame.Sum(x0, top, x1, bottom);
}

inline uint64_t SumOutside(const Frame &frame, GlRect r, int margin) {
  return frame.Sum(0, 0, frame.width, frame.height) - SumInside(frame, r, margin);
}

// The frame of demo time t, drawn with every aspect code in turn, holds
// pixels only inside that code's viewport; with a code outside the table
// the picture stays in `unknown` (the whole window, or the glow square of
// a scene with a glow pass). Wide lines may reach `margin` pixels past the
// viewport's edge, as OpenGL allows.
inline void ExpectConfinedToAspect(int32_t t, GlRect unknown, int margin = 0) {
  for (int32_t code : kAspectCodes) {
    ScopedAspect aspect(code);
    const Frame frame = DrawFrame(t);
    const GlRect area = AspectRect(code, unknown);
    EXPECT_EQ(SumOutside(frame, area, margin), 0u) << "aspect " << code << " at " << t;
    EXPECT_GT(SumInside(frame, area, 0), 0u) << "aspect " << code << " at " << t;
  }
  ScopedAspect aspect(kUnknownAspect);
  const Frame frame = DrawFrame(t);
  EXPECT_EQ(SumOutside(frame, unknown, margin), 0u) << "unknown aspect at " << t;
  EXPECT_GT(SumInside(frame, unknown, 0), 0u) << "unknown aspect at " << t;
}

constexpr GlRect kWholeWindow = {0, 0, kFrameWidth, kFrameHeight};
constexpr GlRect kGlowSquare = {0, 0, 512, 512};

// Scene 16 leaves the depth function at GL_LEQUAL for the frames after it;
// in the timeline's order every scene before it draws with the context's
// initial GL_LESS. Tests that jump between scenes put that back first, so
// a frame looks as it does in play whatever ran before it in the process.
inline void UseTimelineDepthFunction() { dgl::glDepthFunc(GL_LESS); }

// Drawing the frame of t again gives the same pixels. The first draw only
// settles the state a frame inherits from the one before it (blending).
inline void ExpectRepeatable(int32_t t) {
  DrawFrame(t);
  const std::string first = FrameDigest(DrawFrame(t));
  const std::string second = FrameDigest(DrawFrame(t));
  EXPECT_EQ(first, second) << "frame " << t;
}

// Indices of the calls of that name, in order.
inline std::vector<size_t> IndicesOf(const std::vector<GlCall> &calls, const std::string &name) {
  std::vector<size_t> found;
  for (size_t i = 0; i < calls.size(); ++i)
    if (calls[i].name == name) found.push_back(i);
  return found;
}

// Indices of the glBegin calls of that primitive.
inline std::vector<size_t> Begins(const std::vector<GlCall> &calls, GLenum primitive) {
  std::vector<size_t> found;
  for (size_t i : IndicesOf(calls, "glBegin"))
    if (calls[i].args[0] == primitive) found.push_back(i);
  return found;
}

// Indices of the glDrawArrays calls of that primitive.
inline std::vector<size_t> Draws(const std::vector<GlCall> &calls, GLenum primitive) {
  std::vector<size_t> found;
  for (size_t i = 0; i < calls.size(); ++i)
    if (calls[i].name == "glDrawArrays" && calls[i].args[0] == primitive) found.push_back(i);
  return found;
}

// Vertex v of a client array a draw read (GL_VERTEX_ARRAY, GL_NORMAL_ARRAY,
// ...), as doubles; empty when the draw had no such array.
inline std::vector<double> ArrayVertex(const GlCall &draw, GLenum array, size_t v) {
  const auto data = draw.arrays.find(array);
  if (data == draw.arrays.end()) return {};
  const size_t size = static_cast<size_t>(draw.sizes.at(array));
  if ((v + 1) * size > data->second.size()) return {};
  return {data->second.begin() + static_cast<ptrdiff_t>(v * size),
          data->second.begin() + static_cast<ptrdiff_t>((v + 1) * size)};
}

// p turned by `degrees` about the axis (x, y, z) through the origin, the
// way glRotatef turns (right-handed), in doubles.
inline std::array<double, 3> Turned(const std::array<double, 3> &p, double degrees, double x,
                                    double y, double z) {
  const double length = std::sqrt(x * x + y * y + z * z);
  if (length == 0) return p;
  x /= length, y /= length, z /= length;
  const double a = degrees * 3.14159265358979323846 / 180, c = std::cos(a), s = std::sin(a);
  const double dot = x * p[0] + y * p[1] + z * p[2];
  const std::array<double, 3> cross = {y * p[2] - z * p[1], z * p[0] - x * p[2],
                                       x * p[1] - y * p[0]};
  std::array<double, 3> out;
  const double axis[3] = {x, y, z};
  for (int i = 0; i < 3; ++i) out[i] = p[i] * c + cross[i] * s + axis[i] * dot * (1 - c);
  return out;
}

// Calls of that name whose arguments start with the given values.
inline std::vector<const GlCall *> CallsWith(const std::vector<GlCall> &calls,
                                             const std::string &name,
                                             const std::vector<double> &leading) {
  std::vector<const GlCall *> found;
  for (const GlCall &call : calls) {
    if (call.name != name || call.args.size() < leading.size()) continue;
    if (std::equal(leading.begin(), leading.end(), call.args.begin())) found.push_back(&call);
  }
  return found;
}

// Index of the first call of that name whose arguments start with the
// given values, or the number of calls when there is none.
inline size_t IndexOfCall(const std::vector<GlCall> &calls, const std::string &name,
                          const std::vector<double> &leading) {
  for (size_t i = 0; i < calls.size(); ++i)
    if (calls[i].name == name && calls[i].args.size() >= leading.size() &&
        std::equal(leading.begin(), leading.end(), calls[i].args.begin()))
      return i;
  return calls.size();
}

// The viewport last set before call index `before`.
inline GlRect ViewportAt(const std::vector<GlCall> &calls, size_t before) {
  GlRect r{-1, -1, -1, -1};
  for (size_t i = 0; i < before && i < calls.size(); ++i)
    if (calls[i].name == "glViewport")
      r = {static_cast<int>(calls[i].args[0]), static_cast<int>(calls[i].args[1]),
           static_cast<int>(calls[i].args[2]), static_cast<int>(calls[i].args[3])};
  return r;
}

inline bool operator==(const GlRect &a, const GlRect &b) {
  return a.x == b.x && a.y == b.y && a.width == b.width && a.height == b.height;
}

inline std::ostream &operator<<(std::ostream &out, const GlRect &r) {
  return out << "(" << r.x << ", " << r.y << ", " << r.width << ", " << r.height << ")";
}

}  // namespace ember_test
