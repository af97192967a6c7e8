// Deterministic randomness and noise for the procedural art, meshes, voxels
// and music. Everything here is a pure function of its seed and arguments:
// no global state, no std distributions (whose output differs between
// standard libraries), so the same build always produces the same bytes.
#pragma once

#include <cstdint>

namespace content {

// SplitMix64: a small, well-mixed generator; one per generator task.
class Rng {
public:
  explicit Rng(uint64_t seed) : state_(seed) {}
  uint64_t Next();
  // Uniform in [0, 1).
  double Unit();
  // Uniform in [lo, hi).
  double Range(double lo, double hi) { return lo + (hi - lo) * Unit(); }
  // Uniform integer in [0, n); n must be positive.
  int Below(int n);

private:
  uint64_t state_;
};

// Hash of lattice coordinates and a seed, mapped to [0, 1).
double Hash2(int x, int y, uint32_t seed);

// Fractal value noise in [0, 1]: octaves of smooth lattice noise, halving
// in amplitude and doubling in frequency.
double Fbm(double x, double y, int octaves, uint32_t seed);
// Noise that wraps with the given integer period along x, for textures that
// must repeat around a ring.
double FbmWrapX(double x, double y, int octaves, int period, uint32_t seed);

double Clamp01(double v);
double SmoothStep(double edge0, double edge1, double v);
double Mix(double a, double b, double t);

constexpr double kPi = 3.14159265358979323846;

}  // namespace content
