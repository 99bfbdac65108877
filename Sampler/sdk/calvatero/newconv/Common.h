// Numeric helpers every part of the convolution and Fourier library leans on: aligned heap
// blocks for all sample, spectrum and coefficient buffers, the fixed processor and cache report,
// conversions between decibels and linear ratios, and the test for silence. The reverbs and the
// spatializer call MallocAligned, FreeAligned and DBToAmplitude directly; the plug-ins that rest
// in silence call AllZero.
//
// All functions are re-entrant and touch no shared state besides the C allocator.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace calvatero {

/// Floats per vector: every internal length of the library is a multiple of it.
inline constexpr std::size_t SIMD_VECTOR_ELEMENTS = 4;

}  // namespace calvatero

namespace calvatero::common {

/// A block of at least `size` bytes whose address is congruent to `offset` modulo `alignment`
/// (0 means 16; need not be a power of two). The heap address sits in the pointer-sized word
/// just before the result. Null when the heap is exhausted or size + alignment + 8 would not
/// fit in a size_t. Never throws, never logs. Allocates: not for render paths.
void* MallocAligned(std::size_t size, std::size_t alignment, std::size_t offset);

/// Releases a block from MallocAligned; null does nothing.
void FreeAligned(void* p);

/// Stores the vector capability bits (always 6: bit 2 means the library's vector code runs).
int GetSIMDSupportLevel(std::size_t* level);

/// Stores the cache report 64, 6 and 128 through the non-null pointers. The first is the
/// alignment the library uses for its filter objects.
int GetL2CacheInfo(std::int32_t* lineSize, std::int32_t* second, std::int32_t* third);

// Conversions in exactly these operation orders, so results match to the last bit; no range
// checks (0 gives minus infinity, negatives NaN).
inline constexpr double kLn10 = 2.302585092994046;
/// Whether every sample is zero, of either sign (a NaN is not). Without a branch per sample,
/// so that it runs over whole vectors: real-time safe. Sixteen samples to a step keep four
/// vectors in flight, which an idle engine with many outputs feels.
inline bool AllZeroFourWide(const float* samples, std::size_t count) {
  std::size_t i = 0;
  std::uint32_t bits = 0;
#ifdef __SSE2__
  __m128i a = _mm_setzero_si128(), b = a, c = a, d = a;
  for (; i + 16 <= count; i += 16) {
    a = _mm_or_si128(a, _mm_loadu_si128(reinterpret_cast<const __m128i*>(samples + i)));
    b = _mm_or_si128(b, _mm_loadu_si128(reinterpret_cast<const __m128i*>(samples + i + 4)));
    c = _mm_or_si128(c, _mm_loadu_si128(reinterpret_cast<const __m128i*>(samples + i + 8)));
    d = _mm_or_si128(d, _mm_loadu_si128(reinterpret_cast<const __m128i*>(samples + i + 12)));
  }
  const __m128i all = _mm_or_si128(_mm_or_si128(a, b), _mm_or_si128(c, d));
  std::uint32_t lanes[4];
  std::memcpy(lanes, &all, sizeof lanes);
  bits = lanes[0] | lanes[1] | lanes[2] | lanes[3];
#endif
  for (; i < count; ++i) {
    std::uint32_t word;
    std::memcpy(&word, samples + i, sizeof word);
    bits |= word;
  }
  return (bits & 0x7fffffffu) == 0;
}

/// The same answer as AllZeroFourWide, thirty-two samples to a step in AVX2 vectors. Only for
/// processors with AVX2 (AllZeroEightWideRuns).
bool AllZeroEightWide(const float* samples, std::size_t count);

/// Whether this processor runs AllZeroEightWide. Not from a constructor.
bool AllZeroEightWideRuns();

/// AllZeroFourWide or AllZeroEightWide, whichever this processor runs faster.
bool AllZero(const float* samples, std::size_t count);

inline double DBToEnergy(double dB) { return std::exp(dB / 10 * kLn10); }
inline double EnergyToDB(double energy) { return std::log(energy) * 10 / kLn10; }
/// The base is 10^(1/20) rounded to double.
inline double DBToAmplitude(double dB) { return std::pow(1.1220184543019633, dB); }
inline double AmplitudeToDB(double amplitude) { return std::log(amplitude) * 20 / kLn10; }

/// Owner of one MallocAligned block of floats; throws std::bad_alloc when the heap is short.
class AlignedFloats {
 public:
  AlignedFloats() = default;
  AlignedFloats(std::size_t count, std::size_t alignment);
  float* get() const { return data_.get(); }
  float& operator[](std::size_t i) const { return data_.get()[i]; }

 private:
  struct Free {
    void operator()(float* p) const { FreeAligned(p); }
  };
  std::unique_ptr<float, Free> data_;
};

}  // namespace calvatero::common
