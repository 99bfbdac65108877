#include <fftw3.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include <gtest/gtest.h>

#include "Sampler/sdk/calvatero/fourier/FourierTransformComplex.h"
#include "Sampler/sdk/calvatero/fourier/FourierTransformComplexChirpz.h"
#include "Sampler/sdk/calvatero/fourier/FourierTransformComplexRadix.h"
#include "Sampler/sdk/calvatero/fourier/FourierTransformComplexVDSP.h"
#include "tests/Sampler/sdk/calvatero/support/AlignedAllocationProbe.h"
#include "tests/Sampler/sdk/calvatero/support/Reference.h"

namespace calvatero::fourier {
namespace {

using testing::Complex;
using testing::relativeError;

std::unique_ptr<FourierTransformComplex> create(std::size_t n) {
  return std::unique_ptr<FourierTransformComplex>(CreateFourierTransformComplex(n, 64));
}

enum class Kind { Vdsp, Rad3, Rad5, Rad7, Chirpz };

Kind kindOf(const FourierTransformComplex& t) {
  if (dynamic_cast<const FourierTransformComplexVDSP*>(&t)) return Kind::Vdsp;
  if (dynamic_cast<const FourierTransformComplexRad3*>(&t)) return Kind::Rad3;
  if (dynamic_cast<const FourierTransformComplexRad5*>(&t)) return Kind::Rad5;
  if (dynamic_cast<const FourierTransformComplexRad7*>(&t)) return Kind::Rad7;
  return Kind::Chirpz;
}

bool isChirpz(std::size_t n) { return kindOf(*create(n)) == Kind::Chirpz; }

struct Split {
  std::vector<float> re, im;
  explicit Split(std::size_t n) : re(n), im(n) {}
  std::vector<Complex> complex() const {
    std::vector<Complex> v(re.size());
    for (std::size_t i = 0; i < v.size(); ++i) v[i] = {re[i], im[i]};
    return v;
  }
};

Split randomSplit(std::size_t n, unsigned seed) {
  Split s(n);
  s.re = testing::randomFloats(n, seed);
  s.im = testing::randomFloats(n, seed + 1000);
  return s;
}

double tolerance(std::size_t n) {
  return (isChirpz(n) ? 2e-6 : 5e-7) * std::log2(static_cast<double>(n));
}

TEST(FourierTransformComplex, FactoryChoosesTheClassByLength) {
  const struct {
    std::size_t length;
    Kind kind;
  } cases[] = {{4, Kind::Vdsp},   {64, Kind::Vdsp},  {128, Kind::Vdsp}, {12, Kind::Rad3},
               {96, Kind::Rad3},  {20, Kind::Rad5},  {28, Kind::Rad7},  {36, Kind::Rad3},
               {44, Kind::Chirpz}, {100, Kind::Chirpz}, {1004, Kind::Chirpz}};
  for (const auto& c : cases) EXPECT_EQ(kindOf(*create(c.length)), c.kind) << c.length;

  const auto nine = create(36);
  const auto& sub = dynamic_cast<const FourierTransformComplexRad3&>(*nine).subTransform();
  EXPECT_EQ(kindOf(sub), Kind::Rad3);
  EXPECT_EQ(sub.length(), 12u);
  const auto chirp = create(44);
  EXPECT_EQ(dynamic_cast<const FourierTransformComplexChirpz&>(*chirp).subTransform().length(),
            96u);
}

TEST(FourierTransformComplex, SuperTransformChirpzLengths) {
  const std::size_t cases[][2] = {{4, 8}, {5, 12}, {44, 96}, {100, 224}, {1004, 2048}};
  for (const auto& c : cases) EXPECT_EQ(GetSuperTransformChirpzLen(c[0]), c[1]) << c[0];
}

TEST(FourierTransformComplex, EfficientConvolutionLengths) {
  const std::size_t cases[][4] = {
      {100, 32, 4, 112}, {65, 32, 4, 72}, {1000, 32, 4, 1024}, {64, 64, 4, 64},
      {60, 64, 4, 64},   {300, 64, 4, 320}, {33, 16, 4, 36},  {200, 32, 4, 224}};
  for (const auto& c : cases) {
    EXPECT_EQ(GetEfficientConvFFTLen(c[0], c[1], c[2]), c[3]) << c[0] << " " << c[1];
  }
}

const std::size_t kAccuracyLengths[] = {4, 8, 12, 20, 28, 36, 44, 64, 96, 100, 1000, 1004, 4096};

TEST(FourierTransformComplex, OrderedTransformsMatchNaiveDft) {
  for (const std::size_t n : kAccuracyLengths) {
    const auto t = create(n);
    const Split x = randomSplit(n, static_cast<unsigned>(n));
    Split y(n);
    t->ForwardTransform(y.re.data(), y.im.data(), x.re.data(), x.im.data(), 1);
    EXPECT_LT(relativeError(y.complex(), testing::naiveDft(x.complex(), -1)), tolerance(n)) << n;
    t->InverseTransform(y.re.data(), y.im.data(), x.re.data(), x.im.data(), 1);
    EXPECT_LT(relativeError(y.complex(), testing::naiveDft(x.complex(), +1)), tolerance(n)) << n;
  }
}

TEST(FourierTransformComplex, MatchesFftwForOneLengthOfEachFormUpTo65536) {
  for (const std::size_t n : {65536u, 49152u, 40960u, 57344u, 36864u, 65532u}) {
    const auto t = create(n);
    const Split x = randomSplit(n, 3);
    Split y(n);
    t->ForwardTransform(y.re.data(), y.im.data(), x.re.data(), x.im.data(), 1);

    for (const int sign : {FFTW_FORWARD, FFTW_BACKWARD}) {
      if (sign == FFTW_BACKWARD) {
        t->InverseTransform(y.re.data(), y.im.data(), x.re.data(), x.im.data(), 1);
      }
      std::vector<Complex> in = x.complex(), out(n);
      fftw_plan plan = fftw_plan_dft_1d(static_cast<int>(n), reinterpret_cast<fftw_complex*>(in.data()),
                                        reinterpret_cast<fftw_complex*>(out.data()), sign,
                                        FFTW_ESTIMATE);
      fftw_execute(plan);
      fftw_destroy_plan(plan);
      EXPECT_LT(relativeError(y.complex(), out), tolerance(n)) << n << " sign " << sign;
    }
  }
}

TEST(FourierTransformComplex, ForwardThenInverseGivesNTimesTheInputInBothOrders) {
  for (const std::size_t n : kAccuracyLengths) {
    const auto t = create(n);
    const Split x = randomSplit(n, 11);
    for (const unsigned char ordered : {0, 1}) {
      Split y(n);
      t->ForwardTransform(y.re.data(), y.im.data(), x.re.data(), x.im.data(), ordered);
      t->InverseTransform(y.re.data(), y.im.data(), y.re.data(), y.im.data(), ordered);
      std::vector<Complex> expected = x.complex();
      for (Complex& v : expected) v *= static_cast<double>(n);
      EXPECT_LT(relativeError(y.complex(), expected), tolerance(n))
          << n << " ordered " << int{ordered};
    }
  }
}

TEST(FourierTransformComplex, UnorderedChainIsCircularConvolution) {
  for (const std::size_t n : {4u, 8u, 12u, 20u, 28u, 36u, 44u, 64u, 100u, 128u, 1004u}) {
    const auto t = create(n);
    const Split x = randomSplit(n, 21), h = randomSplit(n, 22);
    Split xs(n), hs(n), y(n);
    t->ForwardTransform(hs.re.data(), hs.im.data(), h.re.data(), h.im.data(), 0);
    t->ScaleH(hs.re.data(), hs.im.data(), 0);
    t->ForwardTransform(xs.re.data(), xs.im.data(), x.re.data(), x.im.data(), 0);
    for (std::size_t k = 0; k < n; ++k) {
      const Complex p = Complex(xs.re[k], xs.im[k]) * Complex(hs.re[k], hs.im[k]);
      xs.re[k] = static_cast<float>(p.real());
      xs.im[k] = static_cast<float>(p.imag());
    }
    t->InverseTransform(y.re.data(), y.im.data(), xs.re.data(), xs.im.data(), 0);

    const std::vector<Complex> xc = x.complex(), hc = h.complex();
    std::vector<Complex> expected(n);
    for (std::size_t i = 0; i < n; ++i) {
      for (std::size_t j = 0; j < n; ++j) expected[(i + j) % n] += xc[i] * hc[j];
    }
    EXPECT_LT(relativeError(y.complex(), expected), tolerance(n)) << n;
  }
}

TEST(FourierTransformComplex, ImpulseAndConstantGiveTheirSpectra) {
  for (const std::size_t n : {4u, 12u, 20u, 28u, 36u, 44u, 64u}) {
    const auto t = create(n);
    Split impulse(n), constant(n), y(n);
    impulse.re[0] = 1;
    std::fill(constant.re.begin(), constant.re.end(), 1.0f);
    t->ForwardTransform(y.re.data(), y.im.data(), impulse.re.data(), impulse.im.data(), 1);
    EXPECT_LT(relativeError(y.complex(), std::vector<Complex>(n, 1.0)), tolerance(n)) << n;
    t->ForwardTransform(y.re.data(), y.im.data(), constant.re.data(), constant.im.data(), 1);
    std::vector<Complex> expected(n);
    expected[0] = static_cast<double>(n);
    EXPECT_LT(relativeError(y.complex(), expected), tolerance(n)) << n;
  }
}

TEST(FourierTransformComplex, CoresAbove2To20AreOutOfRange) {
  for (const std::size_t n : {std::size_t{1} << 21, std::size_t{3} << 21, std::size_t{9} << 20 << 1}) {
    try {
      create(n);
      ADD_FAILURE() << n;
    } catch (const Fft_out_of_range_error& e) {
      EXPECT_STREQ(e.what(), "Fft_out_of_range_error");
    }
  }
}

TEST(FourierTransformComplex, FailedAllocationReleasesEverything) {
  for (const std::size_t n : {64u, 96u, 36u, 44u}) {
    long calls;
    {
      testing::AlignedAllocationProbe probe;
      create(n);
      calls = probe.calls();
      EXPECT_EQ(probe.liveBlocks(), 0);
    }
    ASSERT_GT(calls, 1);
    for (long k = 1; k <= calls; ++k) {
      testing::AlignedAllocationProbe probe(k);
      EXPECT_THROW(create(n), std::bad_alloc) << n << " failing call " << k;
      EXPECT_EQ(probe.liveBlocks(), 0) << n << " failing call " << k;
    }
  }
}

TEST(FourierTransformComplexDeathTest, PreconditionsNameTheirCondition) {
  EXPECT_DEATH(create(6), testing::literally("length % SIMD_VECTOR_ELEMENTS == 0"));
  EXPECT_DEATH(GetEfficientConvFFTLen(100, 0, 4), testing::literally("alignment != 0"));
  EXPECT_DEATH(GetEfficientConvFFTLen(100, 30, 4),
               testing::literally("alignment % element_size == 0"));
  EXPECT_DEATH(FourierTransformComplexRad5(24, 64), testing::literally("sublen*5 == length"));
  EXPECT_DEATH(FourierTransformComplexVDSP(96), testing::literally("tmplen == length"));
}

}  // namespace
}  // namespace calvatero::fourier
