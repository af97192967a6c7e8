// MT19937, written out so that the sequence and its seeding are ours to see
// and cannot change with a library. See random.h.
#include "framework/random.h"

#include <algorithm>

namespace {

constexpr int kStateWords = 624;
constexpr int kShift = 397;
constexpr uint32_t kMatrix = 0x9908b0dfu;
constexpr uint32_t kUpper = 0x80000000u;
constexpr uint32_t kLower = 0x7fffffffu;

uint32_t state[kStateWords];
int next_word = kStateWords + 1;  // unseeded: seed 5489 on first use, as published

uint32_t Mix(uint32_t upper, uint32_t lower, uint32_t far) {
  uint32_t y = (upper & kUpper) | (lower & kLower);
  return far ^ (y >> 1) ^ ((y & 1u) ? kMatrix : 0u);
}

void Twist() {
  int i = 0;
  for (; i < kStateWords - kShift; ++i) state[i] = Mix(state[i], state[i + 1], state[i + kShift]);
  for (; i < kStateWords - 1; ++i)
    state[i] = Mix(state[i], state[i + 1], state[i + kShift - kStateWords]);
  state[kStateWords - 1] = Mix(state[kStateWords - 1], state[0], state[kShift - 1]);
  next_word = 0;
}

}  // namespace

void RandSeed(uint32_t seed) {
  state[0] = seed;
  for (int i = 1; i < kStateWords; ++i)
    state[i] = 1812433253u * (state[i - 1] ^ (state[i - 1] >> 30)) + static_cast<uint32_t>(i);
  next_word = kStateWords;
}

namespace {

inline uint32_t Temper(uint32_t y) {
  y ^= y >> 11;
  y ^= (y << 7) & 0x9d2c5680u;
  y ^= (y << 15) & 0xefc60000u;
  y ^= y >> 18;
  return y;
}

}  // namespace

uint32_t RandNext() {
  if (next_word > kStateWords) RandSeed(5489u);
  if (next_word >= kStateWords) Twist();
  return Temper(state[next_word++]);
}

int32_t Random(int32_t n) {
  uint32_t r = RandNext();
  if (n <= 0) return 0;
  return static_cast<int32_t>((static_cast<uint64_t>(r) * static_cast<uint32_t>(n)) >> 32);
}

void RandomFill(uint8_t *bytes, size_t count, int32_t n) {
  if (next_word > kStateWords) RandSeed(5489u);
  const uint64_t range = n > 0 ? static_cast<uint64_t>(n) : 0;
  while (count > 0) {
    if (next_word >= kStateWords) Twist();
    const size_t run = std::min<size_t>(count, static_cast<size_t>(kStateWords - next_word));
    for (size_t i = 0; i < run; ++i)
      bytes[i] = static_cast<uint8_t>((Temper(state[next_word + static_cast<int>(i)]) * range) >> 32);
    next_word += static_cast<int>(run);
    bytes += run;
    count -= run;
  }
}
