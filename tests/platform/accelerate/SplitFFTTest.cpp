#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/accelerate/SplitFFT.h"

namespace {

using accelerate::FFTDirection;
using accelerate::SplitFFT;
using accelerate::VectorWidth;

// Relative L2 distance between the float result and a DFT computed naively in double.
double errorAgainstNaive(const std::vector<float>& inRe, const std::vector<float>& inIm,
                         const std::vector<float>& outRe, const std::vector<float>& outIm,
                         double sign) {
  const std::size_t n = inRe.size();
  double err = 0, ref = 0;
  for (std::size_t k = 0; k < n; ++k) {
    std::complex<double> sum = 0;
    for (std::size_t j = 0; j < n; ++j) {
      const double angle = sign * 2 * M_PI * static_cast<double>((j * k) % n) / n;
      sum += std::complex<double>(inRe[j], inIm[j]) * std::polar(1.0, angle);
    }
    err += std::norm(sum - std::complex<double>(outRe[k], outIm[k]));
    ref += std::norm(sum);
  }
  return std::sqrt(err / ref);
}

// Both widths, wherever the processor has the wide one (it then covers every mix of radices
// the eight-float plans use, and the four-float fallbacks of their narrow passes).
TEST(SplitFFT, MatchesNaiveDftBothDirectionsOnEveryVectorWidth) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<float> dist(-1, 1);
  for (const auto width : {VectorWidth::Four, VectorWidth::Eight}) {
    for (unsigned log2n = SplitFFT::kMinLog2n; log2n <= 11; ++log2n) {
      const auto fft = SplitFFT::create(log2n, width);
      ASSERT_NE(fft, nullptr);
      const std::size_t n = fft->length();
      ASSERT_EQ(n, std::size_t{1} << log2n);
      std::vector<float> re(n), im(n), outRe(n), outIm(n);
      std::vector<float> sRe(fft->scratchLength()), sIm(fft->scratchLength());
      for (std::size_t i = 0; i < n; ++i) {
        re[i] = dist(rng);
        im[i] = dist(rng);
      }
      for (const auto direction : {FFTDirection::Forward, FFTDirection::Inverse}) {
        fft->transform(re.data(), im.data(), outRe.data(), outIm.data(), sRe.data(), sIm.data(),
                       direction);
        const double sign = direction == FFTDirection::Forward ? -1 : 1;
        EXPECT_LT(errorAgainstNaive(re, im, outRe, outIm, sign), 5e-7 * log2n)
            << "n " << n << " direction " << static_cast<int>(direction) << " width "
            << static_cast<unsigned>(fft->vectorWidth());
      }
    }
  }
}

// KELO_ACCELERATE_NO_AVX2 turns the eight-float passes off (the tests' second run), and
// nothing else does.
TEST(SplitFFT, EightFloatVectorsWhereTheProcessorHasThemUnlessSwitchedOff) {
  const char* off = std::getenv("KELO_ACCELERATE_NO_AVX2");
  const bool switchedOff = off != nullptr && *off != '\0' && std::string(off) != "0";
  __builtin_cpu_init();
  const bool wide = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
  const VectorWidth expected = wide && !switchedOff ? VectorWidth::Eight : VectorWidth::Four;
  EXPECT_EQ(SplitFFT::widestVectors(), expected);
  EXPECT_EQ(SplitFFT::create(10)->vectorWidth(), expected);
  EXPECT_EQ(SplitFFT::create(10, VectorWidth::Four)->vectorWidth(), VectorWidth::Four);
}

TEST(SplitFFT, InPlaceEqualsOutOfPlace) {
  for (unsigned log2n : {2u, 3u, 4u, 5u, 6u, 7u, 10u}) {
    const auto fft = SplitFFT::create(log2n);
    const std::size_t n = fft->length();
    std::vector<float> re(n), im(n), outRe(n), outIm(n);
    std::vector<float> sRe(fft->scratchLength()), sIm(fft->scratchLength());
    for (std::size_t i = 0; i < n; ++i) {
      re[i] = std::sin(0.3f * i);
      im[i] = std::cos(0.7f * i);
    }
    fft->transform(re.data(), im.data(), outRe.data(), outIm.data(), sRe.data(), sIm.data(),
                   FFTDirection::Forward);
    fft->transform(re.data(), im.data(), re.data(), im.data(), sRe.data(), sIm.data(),
                   FFTDirection::Forward);
    EXPECT_EQ(re, outRe) << n;
    EXPECT_EQ(im, outIm) << n;
  }
}

// The arrays need no alignment: one float past a 64-byte boundary gives the same numbers.
TEST(SplitFFT, ArraysOffTheVectorAlignmentGiveTheSameResult) {
  for (const auto width : {VectorWidth::Four, VectorWidth::Eight}) {
    for (unsigned log2n : {5u, 6u, 8u, 11u}) {
      const auto fft = SplitFFT::create(log2n, width);
      const std::size_t n = fft->length(), s = fft->scratchLength();
      // Six arrays per layout, each in its own 64-byte aligned stretch of one block.
      const std::size_t stride = (std::max(n, s) + 1 + 15) / 16 * 16;
      std::vector<float> block(12 * stride + 16);
      float* const base = block.data() + (16 - reinterpret_cast<std::uintptr_t>(block.data()) / 4 % 16) % 16;
      const auto arrays = [&](std::size_t layout, std::size_t offset) {
        std::vector<float*> a(6);
        for (std::size_t i = 0; i < 6; ++i) a[i] = base + (6 * layout + i) * stride + offset;
        return a;
      };
      const std::vector<float*> aligned = arrays(0, 0), shifted = arrays(1, 1);
      for (std::size_t i = 0; i < n; ++i) {
        aligned[0][i] = shifted[0][i] = std::sin(0.3f * i);
        aligned[1][i] = shifted[1][i] = std::cos(0.7f * i);
      }
      for (const auto* a : {&aligned, &shifted}) {
        fft->transform((*a)[0], (*a)[1], (*a)[2], (*a)[3], (*a)[4], (*a)[5], FFTDirection::Inverse);
      }
      EXPECT_TRUE(std::equal(aligned[2], aligned[2] + n, shifted[2])) << n;
      EXPECT_TRUE(std::equal(aligned[3], aligned[3] + n, shifted[3])) << n;
    }
  }
}

TEST(SplitFFT, RefusesLengthsOutsideTheSupportedRange) {
  EXPECT_EQ(SplitFFT::create(0), nullptr);
  EXPECT_EQ(SplitFFT::create(1), nullptr);
  EXPECT_EQ(SplitFFT::create(21), nullptr);
  EXPECT_NE(SplitFFT::create(20), nullptr);
}

}  // namespace
