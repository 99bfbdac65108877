// Small helpers the benchmark programs share: seeded noise, CPU clocks, and flush-to-zero on
// the calling thread (threads it starts inherit it).
#pragma once

#include <pmmintrin.h>
#include <time.h>
#include <xmmintrin.h>

#include <cstddef>
#include <random>
#include <vector>

namespace kelo::bench {

/// Seeded uniform noise in [-scale, scale).
inline std::vector<float> noise(std::size_t n, unsigned seed, float scale = 1.0f) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> dist(-scale, scale);
  std::vector<float> v(n);
  for (float& x : v) x = dist(rng);
  return v;
}

/// The clock's time in seconds (CLOCK_MONOTONIC, CLOCK_PROCESS_CPUTIME_ID, ...).
inline double cpuSeconds(clockid_t clock) {
  timespec ts;
  clock_gettime(clock, &ts);
  return static_cast<double>(ts.tv_sec) + 1e-9 * static_cast<double>(ts.tv_nsec);
}

inline void setFlushToZero() {
  _MM_SET_FLUSH_ZERO_MODE(_MM_FLUSH_ZERO_ON);
  _MM_SET_DENORMALS_ZERO_MODE(_MM_DENORMALS_ZERO_ON);
}

}  // namespace kelo::bench
