// The tables a split FFT's passes read, and the entry points of the two builds of the passes:
// four-float SSE (the x86-64 baseline) and eight-float AVX2 with FMA (SplitFFTWide.cpp, compiled
// for those instructions and only called where the processor has them).
#pragma once

#include <cstddef>

namespace accelerate::detail {

constexpr unsigned kMaxPasses = 10;

struct PassTables {
  std::size_t length = 0;
  unsigned passes = 0;
  unsigned radices[kMaxPasses] = {};
  // Per pass of radix R with m = n/R butterflies: cos and sin of w^(kp), k = 1 .. R-1, as
  // 2 arrays of m floats.
  const float* twiddles = nullptr;
  std::size_t offsets[kMaxPasses] = {};
};

using PassRunner = void (*)(const PassTables& tables, const float* inReal, const float* inImag,
                            float* outReal, float* outImag, float* scratchReal,
                            float* scratchImag, bool inverse);

void runFourFloatPasses(const PassTables& tables, const float* inReal, const float* inImag,
                        float* outReal, float* outImag, float* scratchReal, float* scratchImag,
                        bool inverse);
void runEightFloatPasses(const PassTables& tables, const float* inReal, const float* inImag,
                         float* outReal, float* outImag, float* scratchReal, float* scratchImag,
                         bool inverse);

}  // namespace accelerate::detail
