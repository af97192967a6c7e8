// Randomness and noise; see procedural.h.
#include "tools/content/procedural.h"

#include <cmath>

namespace content {

uint64_t Rng::Next() {
  uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

double Rng::Unit() { return static_cast<double>(Next() >> 11) * (1.0 / 9007199254740992.0); }

int Rng::Below(int n) { return static_cast<int>((Next() >> 33) % static_cast<uint64_t>(n)); }

namespace {

uint32_t Mix32(uint32_t h) {
  h ^= h >> 16;
  h *= 0x7FEB352Du;
  h ^= h >> 15;
  h *= 0x846CA68Bu;
  h ^= h >> 16;
  return h;
}

double Fade(double t) { return t * t * (3.0 - 2.0 * t); }

int FloorInt(double v) { return static_cast<int>(std::floor(v)); }

int Wrap(int v, int period) {
  int m = v % period;
  return m < 0 ? m + period : m;
}

double NoiseLattice(double x, double y, uint32_t seed, int period) {
  int x0 = FloorInt(x), y0 = FloorInt(y);
  double fx = Fade(x - x0), fy = Fade(y - y0);
  int x1 = x0 + 1;
  if (period > 0) {
    x0 = Wrap(x0, period);
    x1 = Wrap(x1, period);
  }
  double a = Hash2(x0, y0, seed), b = Hash2(x1, y0, seed);
  double c = Hash2(x0, y0 + 1, seed), d = Hash2(x1, y0 + 1, seed);
  return Mix(Mix(a, b, fx), Mix(c, d, fx), fy);
}

}  // namespace

double Hash2(int x, int y, uint32_t seed) {
  uint32_t h = Mix32(static_cast<uint32_t>(x) * 0x8DA6B343u ^ Mix32(static_cast<uint32_t>(y) * 0xD8163841u ^ seed));
  return static_cast<double>(h) / 4294967296.0;
}

double Fbm(double x, double y, int octaves, uint32_t seed) {
  double sum = 0.0, amp = 1.0, norm = 0.0;
  for (int o = 0; o < octaves; ++o) {
    sum += amp * NoiseLattice(x, y, seed + static_cast<uint32_t>(o) * 101u, 0);
    norm += amp;
    amp *= 0.5;
    x *= 2.0;
    y *= 2.0;
  }
  return sum / norm;
}

double FbmWrapX(double x, double y, int octaves, int period, uint32_t seed) {
  double sum = 0.0, amp = 1.0, norm = 0.0;
  for (int o = 0; o < octaves; ++o) {
    sum += amp * NoiseLattice(x, y, seed + static_cast<uint32_t>(o) * 101u, period);
    norm += amp;
    amp *= 0.5;
    x *= 2.0;
    y *= 2.0;
    period *= 2;
  }
  return sum / norm;
}

double Clamp01(double v) { return v < 0.0 ? 0.0 : (v > 1.0 ? 1.0 : v); }

double SmoothStep(double edge0, double edge1, double v) {
  double t = Clamp01((v - edge0) / (edge1 - edge0));
  return t * t * (3.0 - 2.0 * t);
}

double Mix(double a, double b, double t) { return a + (b - a) * t; }

}  // namespace content
