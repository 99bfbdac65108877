// Compiled with AVX2 (see the CMake file): reached only through AllZero's run-time choice.
// Calls no inline function of the header, whose AVX2 copy the linker might keep for everyone.
#include <immintrin.h>

#include <cstdint>
#include <cstring>

#include "Sampler/sdk/calvatero/newconv/Common.h"

namespace calvatero::common {

bool AllZeroEightWide(const float* samples, std::size_t count) {
  std::size_t i = 0;
  __m256i a = _mm256_setzero_si256(), b = a, c = a, d = a;
  for (; i + 32 <= count; i += 32) {
    a = _mm256_or_si256(a, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(samples + i)));
    b = _mm256_or_si256(b, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(samples + i + 8)));
    c = _mm256_or_si256(c,
                        _mm256_loadu_si256(reinterpret_cast<const __m256i*>(samples + i + 16)));
    d = _mm256_or_si256(d,
                        _mm256_loadu_si256(reinterpret_cast<const __m256i*>(samples + i + 24)));
  }
  const __m256i all = _mm256_or_si256(_mm256_or_si256(a, b), _mm256_or_si256(c, d));
  if (_mm256_testz_si256(all, _mm256_set1_epi32(0x7fffffff)) == 0) return false;
  std::uint32_t bits = 0;
  for (; i < count; ++i) {
    std::uint32_t word;
    std::memcpy(&word, samples + i, sizeof word);
    bits |= word;
  }
  return (bits & 0x7fffffffu) == 0;
}

}  // namespace calvatero::common
