// Runs of one texture out of primitives that each bind their own.
//
// A scene that binds a texture for every small primitive pays the driver's
// state change every time; drawn in runs of one texture it pays it once per
// run. Moving a primitive across another is only harmless when the two
// share no pixel: with the depth test and depth writes on, the earlier of
// two overlapping primitives can hide the later one, so their order decides
// the picture even where the blending itself would not care.
//
// OrderInTextureRuns therefore moves a primitive ahead of primitives of
// other textures only when their boxes on the screen do not meet, and keeps
// the order of each texture's own primitives. Every pixel then sees the
// primitives that cover it in the same order as before, so the picture is
// the one drawing them one by one gives. The boxes (TScreenMapping) are a
// little larger than what the primitives cover, so rounding on either side
// cannot make two of them meet unnoticed; a primitive that covers no pixel
// at all gets an empty box and may go anywhere, or be left out.
//
// Pure functions of plain arrays, no OpenGL: any thread. The caller reads
// the matrices and the viewport from the context it draws with.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <span>
#include <vector>

// A primitive's footprint in normalised device coordinates (-1 to 1 across
// the viewport). Closed: boxes that touch overlap.
struct TScreenBox {
  float x0, y0, x1, y1;

  bool Empty() const { return !(x0 <= x1 && y0 <= y1); }
  bool Overlaps(const TScreenBox &o) const {
    return x0 <= o.x1 && o.x0 <= x1 && y0 <= o.y1 && o.y0 <= y1;
  }
};

constexpr float SCREEN_BOX_FAR = std::numeric_limits<float>::infinity();
// What a primitive that draws nothing covers; what one that cannot be
// bounded is taken to cover.
constexpr TScreenBox SCREEN_BOX_NOWHERE = {SCREEN_BOX_FAR, SCREEN_BOX_FAR, -SCREEN_BOX_FAR,
                                           -SCREEN_BOX_FAR};
constexpr TScreenBox SCREEN_BOX_EVERYWHERE = {-SCREEN_BOX_FAR, -SCREEN_BOX_FAR, SCREEN_BOX_FAR,
                                              SCREEN_BOX_FAR};

// Where the context puts a primitive: its projection and modelview
// matrices (column-major, as glGetFloatv gives them) and its viewport (x,
// y, width, height). A viewport without area, as a context that reports
// nothing leaves it, bounds nothing: every box is then EVERYWHERE.
class TScreenMapping {
public:
  TScreenMapping(const float projection[16], const float modelview[16], const int32_t viewport[4]);

  // The box of a flat convex polygon given by its corners in order (x, y,
  // z each, at most 16), widened by two pixels. OpenGL clips at the near
  // plane, so only the part in front of it counts; NOWHERE when nothing is
  // in front or all of it lies beyond an edge of the viewport, EVERYWHERE
  // when what is in front cannot be projected.
  TScreenBox Box(const float *corners, size_t count) const;

private:
  double clip_[16];  // projection x modelview
  float marginX_, marginY_;
  bool bounded_;
};

// The drawing order of primitives 0 .. n-1, texture[i] bound for i and
// boxes[i] its footprint: each texture's primitives in their own order,
// every two overlapping primitives in theirs, and as few changes of texture
// as a greedy pass finds. Returns the indices in drawing order.
std::vector<int32_t> OrderInTextureRuns(std::span<const uint32_t> textures,
                                        std::span<const TScreenBox> boxes);
