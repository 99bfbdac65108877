// The four-float vector the library's inner loops run on (SSE, the x86-64 baseline). Loads and
// stores are unaligned: MallocAligned buffers are aligned anyway, and callers' arrays need not be.
#pragma once

#include <xmmintrin.h>

namespace calvatero::simd {

typedef float F4 __attribute__((vector_size(16)));

inline F4 load(const float* p) { return _mm_loadu_ps(p); }
inline void store(float* p, F4 v) { _mm_storeu_ps(p, v); }
inline F4 splat(float x) { return F4{x, x, x, x}; }

/// The four vectors as the rows of a 4x4 matrix, transposed in place.
inline void transpose(F4& a, F4& b, F4& c, F4& d) {
  __m128 r0 = a, r1 = b, r2 = c, r3 = d;
  _MM_TRANSPOSE4_PS(r0, r1, r2, r3);
  a = r0;
  b = r1;
  c = r2;
  d = r3;
}

}  // namespace calvatero::simd
