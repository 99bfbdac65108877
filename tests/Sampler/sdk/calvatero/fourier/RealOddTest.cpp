#include <cmath>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "Sampler/sdk/calvatero/fourier/FourierTransformRealOdd.h"
#include "tests/Sampler/sdk/calvatero/support/AlignedAllocationProbe.h"
#include "tests/Sampler/sdk/calvatero/support/Reference.h"

namespace calvatero::fourier {
namespace {

using testing::Complex;
using testing::randomFloats;
using testing::relativeError;

// Bins of a spectrum in the layout of four real parts then four imaginary parts.
std::vector<Complex> bins(const std::vector<float>& spectrum) {
  std::vector<Complex> out(spectrum.size() / 2);
  for (std::size_t k = 0; k < out.size(); ++k) {
    out[k] = {spectrum[(k / 4) * 8 + k % 4], spectrum[(k / 4) * 8 + 4 + k % 4]};
  }
  return out;
}

// B_k = scale sum x[n] e^(-i pi (4k+1) n / L) over the first `count` samples.
std::vector<Complex> naiveOdd(const std::vector<float>& x, std::size_t length, std::size_t count,
                              double scale = 1) {
  std::vector<Complex> out(length / 2);
  for (std::size_t k = 0; k < out.size(); ++k) {
    for (std::size_t n = 0; n < count; ++n) {
      out[k] += static_cast<double>(x[n]) *
                std::polar(scale, -M_PI * static_cast<double>(((4 * k + 1) * n) % (2 * length)) /
                                      static_cast<double>(length));
    }
  }
  return out;
}

// Negacyclic convolution of length L of x (zero-padded) with h.
std::vector<double> negacyclic(const std::vector<float>& x, const std::vector<float>& h,
                               std::size_t length) {
  std::vector<double> out(length);
  for (std::size_t i = 0; i < x.size(); ++i) {
    for (std::size_t j = 0; j < h.size(); ++j) {
      const double p = static_cast<double>(x[i]) * h[j];
      if (i + j < length) {
        out[i + j] += p;
      } else {
        out[i + j - length] -= p;
      }
    }
  }
  return out;
}

std::vector<double> secondHalf(const std::vector<double>& v) {
  return std::vector<double>(v.begin() + static_cast<long>(v.size() / 2), v.end());
}

double tolerance(std::size_t length) { return 1e-6 * std::log2(static_cast<double>(length)); }

TEST(FourierTransformRealOdd, MatchesNaiveOddFrequencyDft) {
  for (const std::size_t length : {8u, 16u, 64u, 128u, 256u, 2048u}) {
    FourierTransformRealOdd t(length, 64);
    const std::vector<float> x = randomFloats(length, static_cast<unsigned>(length));
    for (const std::size_t count : {length, length / 2, length / 2 - 3, length - 5, std::size_t{1}}) {
      std::vector<float> spectrum(length);
      t.FTAndReorder(spectrum.data(), x.data(), count);
      EXPECT_LT(relativeError(bins(spectrum), naiveOdd(x, length, count)), tolerance(length))
          << length << " count " << count;
    }
    std::vector<float> spectrum(length, 5.0f);
    t.FTAndReorder(spectrum.data(), x.data(), 0);
    EXPECT_EQ(spectrum, std::vector<float>(length, 0.0f));
  }
}

// Every complex form underneath: power of two, radix 3, 5 and 7, chirp-z.
const std::size_t kAllForms[] = {8, 24, 40, 56, 88, 256};

TEST(FourierTransformRealOdd, ProductOfSpectraIsNegacyclicConvolution) {
  for (const std::size_t length : kAllForms) {
    FourierTransformRealOdd t(length, 64);
    const std::size_t half = length / 2;
    const std::vector<float> h = randomFloats(length, 1), x = randomFloats(half, 2);
    std::vector<float> hs(length), xs(length), y(half);
    t.FTAndReorder(hs.data(), h.data(), length);
    t.ScaleH(hs.data());
    t.FTAndReorder(xs.data(), x.data(), half);
    for (std::size_t g = 0; g < length; g += 8) {
      for (std::size_t e = 0; e < 4; ++e) {
        const Complex p = Complex(xs[g + e], xs[g + 4 + e]) * Complex(hs[g + e], hs[g + 4 + e]);
        xs[g + e] = static_cast<float>(p.real());
        xs[g + 4 + e] = static_cast<float>(p.imag());
      }
    }
    t.ReorderAndIFT2(y.data(), xs.data(), half);
    EXPECT_LT(relativeError(y, secondHalf(negacyclic(x, h, length))), tolerance(length)) << length;

    std::vector<float> partial(half - 3, 9.0f);
    t.ReorderAndIFT2(partial.data(), xs.data(), half - 3);
    EXPECT_EQ(partial, std::vector<float>(y.begin(), y.end() - 3)) << length;
  }
}

TEST(FourierTransformRealOdd, InverseOfScaledSpectrumReturnsTheInput) {
  for (const std::size_t length : {8u, 24u, 40u, 56u, 256u, 2048u}) {
    FourierTransformRealOdd t(length, 64);
    const std::vector<float> x = randomFloats(length, 5);
    std::vector<float> spectrum(length), y(length);
    t.FTAndReorder(spectrum.data(), x.data(), length);
    t.ScaleH(spectrum.data());
    t.ReorderAndIFT(y.data(), spectrum.data());
    EXPECT_LT(relativeError(y, x), tolerance(length)) << length;
  }
}

TEST(FourierTransformRealOdd, ImpulseGivesOnesAndLength8MatchesRealOdd4) {
  FourierTransformRealOdd t(8, 64);
  const RealOdd4 fixed;
  std::vector<float> impulse(8), spectrum(8);
  impulse[0] = 1;
  t.FTAndReorder(spectrum.data(), impulse.data(), 8);
  EXPECT_EQ(bins(spectrum), std::vector<Complex>(4, 1.0));
  const std::vector<float> x = randomFloats(4, 9);
  std::vector<float> fromFixed(8);
  t.FTAndReorder(spectrum.data(), x.data(), 4);
  fixed.ForwardFFT(fromFixed.data(), x.data());
  for (std::size_t i = 0; i < 8; ++i) EXPECT_NEAR(spectrum[i], fromFixed[i], 1e-6) << i;
}

template <typename Fixed>
void checkFixedClass(std::size_t length) {
  const Fixed t;
  const std::size_t half = length / 2;
  const std::vector<float> h = randomFloats(length, 3), x = randomFloats(half, 4);
  std::vector<float> hs(length), xs(length), y(half);

  t.ForwardFFT_IR(hs.data(), h.data());
  EXPECT_LT(relativeError(bins(hs), naiveOdd(h, length, length, 1.0 / half)), 1e-7) << length;
  t.ForwardFFT(xs.data(), x.data());
  EXPECT_LT(relativeError(bins(xs), naiveOdd(x, length, half)), tolerance(length)) << length;

  // The product and inverse properties, whatever the bin order inside.
  for (std::size_t g = 0; g < length; g += 8) {
    for (std::size_t e = 0; e < 4; ++e) {
      const Complex p = Complex(xs[g + e], xs[g + 4 + e]) * Complex(hs[g + e], hs[g + 4 + e]);
      xs[g + e] = static_cast<float>(p.real());
      xs[g + 4 + e] = static_cast<float>(p.imag());
    }
  }
  t.InverseFFT(y.data(), xs.data());
  EXPECT_LT(relativeError(y, secondHalf(negacyclic(x, h, length))), tolerance(length)) << length;

  // The general class of the same length gives the same numbers.
  FourierTransformRealOdd general(length, 64);
  std::vector<float> ghs(length), gxs(length), gy(half);
  general.FTAndReorder(ghs.data(), h.data(), length);
  general.ScaleH(ghs.data());
  general.FTAndReorder(gxs.data(), x.data(), half);
  for (std::size_t g = 0; g < length; g += 8) {
    for (std::size_t e = 0; e < 4; ++e) {
      const Complex p = Complex(gxs[g + e], gxs[g + 4 + e]) * Complex(ghs[g + e], ghs[g + 4 + e]);
      gxs[g + e] = static_cast<float>(p.real());
      gxs[g + 4 + e] = static_cast<float>(p.imag());
    }
  }
  general.ReorderAndIFT2(gy.data(), gxs.data(), half);
  EXPECT_LT(relativeError(y, gy), tolerance(length)) << length;

  // A unit impulse gives every bin 1, and 1/K from the impulse-response form.
  std::vector<float> impulse(length), spectrum(length);
  impulse[0] = 1;
  t.ForwardFFT(spectrum.data(), impulse.data());
  EXPECT_EQ(bins(spectrum), std::vector<Complex>(half, 1.0)) << length;
  t.ForwardFFT_IR(spectrum.data(), impulse.data());
  EXPECT_EQ(bins(spectrum), std::vector<Complex>(half, 1.0 / half)) << length;
}

TEST(RealOddFixed, TransformsProductsAndInversesOfAllThreeSizes) {
  checkFixedClass<RealOdd4>(8);
  checkFixedClass<RealOdd8>(16);
  checkFixedClass<RealOdd32>(64);
}

TEST(RealOddFixed, BlockLoopsOfRealOdd4EqualSingleBlocks) {
  const RealOdd4 t;
  for (const std::size_t count : {0u, 1u, 2u, 5u}) {
    const std::vector<float> x = randomFloats(4 * count + 4, 8);
    std::vector<float> spectra(8 * count + 8, 3.0f), expected(spectra);
    t.ForwardFFT_for(spectra.data(), x.data(), count);
    for (std::size_t b = 0; b < count; ++b) t.ForwardFFT(expected.data() + 8 * b, x.data() + 4 * b);
    EXPECT_EQ(spectra, expected) << count;
    std::vector<float> out(4 * count + 4, 3.0f), expectedOut(out);
    t.InverseFFT_for(out.data(), spectra.data(), count);
    for (std::size_t b = 0; b < count; ++b) t.InverseFFT(expectedOut.data() + 4 * b, spectra.data() + 8 * b);
    EXPECT_EQ(out, expectedOut) << count;
  }
}

TEST(FourierTransformRealOdd, FailedAllocationReleasesEverything) {
  long calls;
  {
    testing::AlignedAllocationProbe probe;
    FourierTransformRealOdd t(88, 64);
    calls = probe.calls();
  }
  for (long k = 1; k <= calls; ++k) {
    testing::AlignedAllocationProbe probe(k);
    EXPECT_THROW(FourierTransformRealOdd(88, 64), std::bad_alloc) << k;
    EXPECT_EQ(probe.liveBlocks(), 0) << k;
  }
  testing::AlignedAllocationProbe probe(1);
  EXPECT_THROW(RealOdd32(), std::bad_alloc);
  EXPECT_EQ(probe.liveBlocks(), 0);
}

TEST(FourierTransformRealOddDeathTest, LengthMustBeAMultipleOf8) {
  EXPECT_DEATH(FourierTransformRealOdd(12, 64),
               testing::literally("length % (SIMD_VECTOR_ELEMENTS * 2) == 0"));
}

}  // namespace
}  // namespace calvatero::fourier
