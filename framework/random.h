// The program's one pseudo-random sequence: MT19937 with its published
// seeding from a 32-bit value, and Random(n), an integer in 0..n-1 made
// from the high 32 bits of the 64-bit product of the next output and n.
//
// Every procedural table of the demo and the per-frame noise of the ring
// tunnel depend on the exact order of draws from this single sequence, so
// it is process-wide and only ever seeded once, by the demo's procedural
// set-up. The 3D engine draws from the same sequence.
// Main thread only.
#pragma once

#include <cstddef>
#include <cstdint>

// Restarts the sequence from seed (the published init_genrand).
void RandSeed(uint32_t seed);
// The next raw 32-bit output.
uint32_t RandNext();
// An integer from 0 to n - 1; n <= 0 gives 0 and still takes one draw, so a
// table built from an empty pool keeps the order of the draws after it.
int32_t Random(int32_t n);
// count draws of Random(n) into bytes, in order (n at most 256): the same
// values as a loop of Random calls, without a call per byte.
void RandomFill(uint8_t *bytes, size_t count, int32_t n);
