// See texture_runs.h.
//
// The greedy pass: the textures take turns in the order they first appear;
// a turn draws the texture's next primitives for as long as none of them
// overlaps an earlier primitive still waiting. The earliest waiting
// primitive of all never waits on anything, so every round draws at least
// one and the pass ends. "Overlaps an earlier waiting one" is asked of a
// coarse grid over the viewport: each cell lists, in drawing order, the
// primitives whose boxes touch it, so only primitives that share a cell
// are compared.
#include "demo/texture_runs.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr int kGridSide = 32;  // cells across and down the viewport
constexpr size_t kCells = kGridSide * kGridSide;
constexpr size_t kMaxCorners = 16;
constexpr float kMarginPixels = 2.0f;

int CellOf(float ndc) {
  const float clamped = std::clamp(ndc, -1.0f, 1.0f);
  return std::min(static_cast<int>((clamped + 1.0f) * 0.5f * kGridSide), kGridSide - 1);
}

struct TClipPoint {
  double x, y, z, w;
};

struct TCellSpan {
  int x0, y0, x1, y1;
};

template <typename F>
void ForEachCell(const TCellSpan &s, F &&f) {
  for (int y = s.y0; y <= s.y1; ++y)
    for (int x = s.x0; x <= s.x1; ++x) f(static_cast<size_t>(y * kGridSide + x));
}

}  // namespace

TScreenMapping::TScreenMapping(const float projection[16], const float modelview[16],
                               const int32_t viewport[4])
    : clip_{},
      marginX_(0),
      marginY_(0),
      bounded_(viewport[2] > 0 && viewport[3] > 0) {
  for (int col = 0; col < 4; ++col)
    for (int row = 0; row < 4; ++row)
      for (int k = 0; k < 4; ++k)
        clip_[col * 4 + row] += double(projection[k * 4 + row]) * modelview[col * 4 + k];
  if (bounded_) {
    marginX_ = 2 * kMarginPixels / static_cast<float>(viewport[2]);
    marginY_ = 2 * kMarginPixels / static_cast<float>(viewport[3]);
  }
}

TScreenBox TScreenMapping::Box(const float *corners, size_t count) const {
  if (!bounded_) return SCREEN_BOX_EVERYWHERE;
  count = std::min(count, kMaxCorners);
  TClipPoint clip[kMaxCorners];
  double scale = 0;
  const double *m = clip_;
  for (size_t i = 0; i < count; ++i) {
    const double x = corners[3 * i], y = corners[3 * i + 1], z = corners[3 * i + 2];
    clip[i] = {m[0] * x + m[4] * y + m[8] * z + m[12], m[1] * x + m[5] * y + m[9] * z + m[13],
               m[2] * x + m[6] * y + m[10] * z + m[14], m[3] * x + m[7] * y + m[11] * z + m[15]};
    scale = std::max(scale, std::fabs(clip[i].z) + std::fabs(clip[i].w));
  }

  // OpenGL keeps what lies on the eye's side of the near plane (z >= -w).
  // Cut the outline there, a hair further out so that rounding on either
  // side cannot leave a sliver unaccounted for, and project what remains.
  const double slack = 1e-5 * scale;
  TScreenBox box = SCREEN_BOX_NOWHERE;
  bool unbounded = false;
  auto add = [&](const TClipPoint &c) {
    if (!(c.w > 1e-6 * scale)) {
      unbounded = true;
      return;
    }
    const auto sx = static_cast<float>(c.x / c.w), sy = static_cast<float>(c.y / c.w);
    box = {std::min(box.x0, sx), std::min(box.y0, sy), std::max(box.x1, sx), std::max(box.y1, sy)};
  };
  for (size_t i = 0; i < count; ++i) {
    const TClipPoint &a = clip[i], &b = clip[(i + 1) % count];
    const double da = a.z + a.w + slack, db = b.z + b.w + slack;
    if (da >= 0) add(a);
    if ((da >= 0) != (db >= 0)) {
      const double f = da / (da - db);
      add({a.x + f * (b.x - a.x), a.y + f * (b.y - a.y), a.z + f * (b.z - a.z),
           a.w + f * (b.w - a.w)});
    }
  }
  if (unbounded) return SCREEN_BOX_EVERYWHERE;
  if (box.Empty()) return SCREEN_BOX_NOWHERE;  // all of it behind the eye

  box = {box.x0 - marginX_, box.y0 - marginY_, box.x1 + marginX_, box.y1 + marginY_};
  // Nothing is drawn outside the viewport: a box beyond one of its edges
  // covers nothing, and the rest of a box may be cut to it.
  const TScreenBox viewport = {-1 - marginX_, -1 - marginY_, 1 + marginX_, 1 + marginY_};
  if (!box.Overlaps(viewport)) return SCREEN_BOX_NOWHERE;
  return {std::max(box.x0, viewport.x0), std::max(box.y0, viewport.y0),
          std::min(box.x1, viewport.x1), std::min(box.y1, viewport.y1)};
}

std::vector<int32_t> OrderInTextureRuns(std::span<const uint32_t> textures,
                                        std::span<const TScreenBox> boxes) {
  const size_t n = std::min(textures.size(), boxes.size());

  // Cell c lists its primitives in cellItems[cellStart[c] .. cellStart[c + 1]).
  std::vector<TCellSpan> spans(n);
  std::vector<size_t> cellStart(kCells + 1, 0);
  for (size_t i = 0; i < n; ++i) {
    const TScreenBox &b = boxes[i];
    // An empty box is in no cell: it waits for nothing and holds up nothing.
    spans[i] = b.Empty() ? TCellSpan{0, 0, -1, -1}
                         : TCellSpan{CellOf(b.x0), CellOf(b.y0), CellOf(b.x1), CellOf(b.y1)};
    ForEachCell(spans[i], [&](size_t c) { ++cellStart[c + 1]; });
  }
  for (size_t c = 0; c < kCells; ++c) cellStart[c + 1] += cellStart[c];
  std::vector<int32_t> cellItems(cellStart[kCells]);
  std::vector<size_t> fill(cellStart.begin(), cellStart.end() - 1);
  for (size_t i = 0; i < n; ++i)
    ForEachCell(spans[i], [&](size_t c) { cellItems[fill[c]++] = static_cast<int32_t>(i); });

  // Each texture's primitives in drawing order, the textures in the order
  // they first appear.
  std::vector<uint32_t> keys;
  std::vector<std::vector<int32_t>> queues;
  for (size_t i = 0; i < n; ++i) {
    const auto key = std::find(keys.begin(), keys.end(), textures[i]);
    const auto q = static_cast<size_t>(key - keys.begin());
    if (q == keys.size()) {
      keys.push_back(textures[i]);
      queues.emplace_back();
    }
    queues[q].push_back(static_cast<int32_t>(i));
  }

  std::vector<char> drawn(n, 0);
  std::vector<size_t> cellHeads(cellStart.begin(), cellStart.end() - 1);  // entries before: drawn
  // Whether j may be drawn now: no earlier primitive of another texture
  // that overlaps it is still waiting. Earlier ones of its own texture are
  // drawn by then, as each texture keeps its order.
  auto ready = [&](size_t j) {
    bool clear = true;
    ForEachCell(spans[j], [&](size_t c) {
      const size_t end = cellStart[c + 1];
      size_t &head = cellHeads[c];
      while (head < end && drawn[static_cast<size_t>(cellItems[head])]) ++head;
      for (size_t p = head; clear && p < end && static_cast<size_t>(cellItems[p]) < j; ++p) {
        const auto i = static_cast<size_t>(cellItems[p]);
        clear = drawn[i] || textures[i] == textures[j] || !boxes[i].Overlaps(boxes[j]);
      }
    });
    return clear;
  };

  std::vector<int32_t> order;
  order.reserve(n);
  std::vector<size_t> next(queues.size(), 0);
  while (order.size() < n)
    for (size_t q = 0; q < queues.size(); ++q)
      for (; next[q] < queues[q].size(); ++next[q]) {
        const int32_t j = queues[q][next[q]];
        if (!ready(static_cast<size_t>(j))) break;
        drawn[static_cast<size_t>(j)] = 1;
        order.push_back(j);
      }
  return order;
}
