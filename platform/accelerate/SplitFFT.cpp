#include "platform/accelerate/SplitFFT.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>

#include "platform/accelerate/SplitPasses.h"

namespace accelerate {

namespace detail {

void runFourFloatPasses(const PassTables& tables, const float* inReal, const float* inImag,
                        float* outReal, float* outImag, float* scratchReal, float* scratchImag,
                        bool inverse) {
  passes::runPasses<passes::F4>(tables, inReal, inImag, outReal, outImag, scratchReal,
                                scratchImag, inverse);
}

}  // namespace detail

VectorWidth SplitFFT::widestVectors() {
  static const VectorWidth widest = [] {
    const char* off = std::getenv("KELO_ACCELERATE_NO_AVX2");
    if (off != nullptr && *off != '\0' && std::strcmp(off, "0") != 0) return VectorWidth::Four;
    __builtin_cpu_init();
    const bool wide = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
    return wide ? VectorWidth::Eight : VectorWidth::Four;
  }();
  return widest;
}

std::unique_ptr<SplitFFT> SplitFFT::create(unsigned log2n, VectorWidth widest) {
  if (log2n < kMinLog2n || log2n > kMaxLog2n) return nullptr;
  std::unique_ptr<SplitFFT> fft(new (std::nothrow) SplitFFT);
  if (!fft) return nullptr;
  const std::size_t n = std::size_t{1} << log2n;
  fft->length_ = n;
  fft->log2n_ = log2n;
  if (widest == VectorWidth::Eight && widestVectors() == VectorWidth::Eight) {
    fft->width_ = VectorWidth::Eight;
    fft->run_ = detail::runEightFloatPasses;
  } else {
    fft->width_ = VectorWidth::Four;
    fft->run_ = detail::runFourFloatPasses;
  }

  detail::PassTables& t = fft->tables_;
  t.length = n;
  unsigned bits = log2n;
  if (fft->width_ == VectorWidth::Eight && log2n >= 6) {
    // Radix-8 passes with none, one or two radix-4 passes after the first (log2 n = 3 a + 2 b,
    // the fastest order measured): every pass after the first has s >= 8, a whole eight-float
    // vector along q.
    constexpr unsigned kFours[3] = {0, 2, 1};
    const unsigned fours = kFours[log2n % 3];
    t.radices[t.passes++] = 8;
    for (unsigned i = 0; i < fours; ++i) t.radices[t.passes++] = 4;
    for (bits -= 3 + 2 * fours; bits > 0; bits -= 3) t.radices[t.passes++] = 8;
  } else if (bits % 2 == 1) {
    // Radix-4 passes, and for odd log2 n one radix-8 pass first.
    t.radices[t.passes++] = 8;
    bits -= 3;
  }
  for (; bits > 0; bits -= 2) t.radices[t.passes++] = 4;

  std::size_t total = 0;
  std::size_t remaining = n;
  for (unsigned i = 0; i < t.passes; ++i) {
    t.offsets[i] = total;
    const std::size_t radix = t.radices[i];
    remaining /= radix;
    total += 2 * (radix - 1) * remaining;
  }
  void* block = nullptr;
  if (posix_memalign(&block, 64, total * sizeof(float) + 64) != 0) return nullptr;
  fft->twiddles_ = static_cast<float*>(block);
  t.twiddles = fft->twiddles_;

  remaining = n;
  for (unsigned i = 0; i < t.passes; ++i) {
    const std::size_t radix = t.radices[i];
    const std::size_t m = remaining / radix;
    float* tw = fft->twiddles_ + t.offsets[i];
    for (std::size_t k = 1; k < radix; ++k) {
      for (std::size_t p = 0; p < m; ++p) {
        // k p < R m: the angle stays within one turn.
        const double angle =
            -2.0 * M_PI * static_cast<double>(k * p) / static_cast<double>(remaining);
        tw[(2 * k - 2) * m + p] = static_cast<float>(std::cos(angle));
        tw[(2 * k - 1) * m + p] = static_cast<float>(std::sin(angle));
      }
    }
    remaining = m;
  }
  return fft;
}

SplitFFT::~SplitFFT() { std::free(twiddles_); }

void SplitFFT::transform(const float* inReal, const float* inImag, float* outReal,
                         float* outImag, float* scratchReal, float* scratchImag,
                         FFTDirection direction) const {
  run_(tables_, inReal, inImag, outReal, outImag, scratchReal, scratchImag,
       direction == FFTDirection::Inverse);
}

}  // namespace accelerate
