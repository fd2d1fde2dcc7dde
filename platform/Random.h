// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <cmath>
#include <cstdint>

namespace mv {

// The game's one random source: a 32-bit linear congruential generator, so a
// seed replays a game exactly. Random(n) is uniform over 0 .. n-1.
class TRandom {
 public:
  explicit TRandom(uint32_t seed = 0) : Seed(seed) {}
  uint32_t Seed;

  int Random(int n) {
    Seed = Seed * 134775813u + 1u;
    if (n <= 0) return 0;
    return int((uint64_t(Seed) * uint32_t(n)) >> 32);
  }
  // Uniform over a .. b-1.
  int RandomRange(int a, int b) { return a < b ? a + Random(b - a) : b + Random(a - b); }
};

// Rounding of real values: to nearest, halves to even.
inline int Round(double v) { return int(std::nearbyint(v)); }

}  // namespace mv
