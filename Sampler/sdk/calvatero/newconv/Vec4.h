// The four-float vector the library's inner loops run on (SSE, the x86-64 baseline). Loads and
// stores are unaligned: MallocAligned buffers are aligned anyway, and callers' arrays need not be.
#pragma once

#include <xmmintrin.h>

namespace calvatero::simd {

typedef float F4 __attribute__((vector_size(16)));

inline F4 load(const float* p) { return _mm_loadu_ps(p); }
inline void store(float* p, F4 v) { _mm_storeu_ps(p, v); }
inline F4 splat(float x) { return F4{x, x, x, x}; }

}  // namespace calvatero::simd
