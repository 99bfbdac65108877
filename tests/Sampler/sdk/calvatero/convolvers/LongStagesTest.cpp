// White-box checks of the long engine's stages.
#include <cmath>
#include <complex>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "Sampler/sdk/calvatero/convolution/ConvolverMasterLong.h"
#include "Sampler/sdk/calvatero/convolution/LongStage2.h"
#include "Sampler/sdk/calvatero/convolution/StepwiseComplexRad4.h"
#include "Sampler/sdk/calvatero/fourier/FourierTransformRealOdd.h"
#include "tests/Sampler/sdk/calvatero/convolvers/StereoConvolver.h"

namespace calvatero::testing {
namespace {

using namespace calvatero::convolution;

// Stage 1 alone applies, for an input frame at cycle position i (the right channel half a
// cycle later), exactly the taps 0 .. 1567 - i.
TEST(LongStage1, EqualsTheMaskedReferenceAtEveryCyclePosition) {
  const std::size_t frames = 3 * 1024 + 300;
  const std::vector<float> h = kelo::test::noise(1568, 5);
  const std::vector<float> x = kelo::test::noise(frames, 6);
  const fourier::RealOdd32 transform;
  for (std::size_t channel = 0; channel < 2; ++channel) {
    Filter23Processor processor(h.data(), channel, transform);
    BlockParser01 parser(h.data(), processor);
    std::vector<float> out(frames);
    const auto lengths = kelo::test::callPattern("random").lengths(frames, 64);
    for (std::size_t done = 0, i = 0; done < frames; done += lengths[i++]) {
      parser.CalculateOutput(out.data() + done, x.data() + done, lengths[i]);
    }
    std::vector<double> expected(frames);
    for (std::size_t t = 0; t < frames; ++t) {
      for (std::size_t k = 0; k <= t && k < 1568; ++k) {
        const std::size_t position = (t - k + channel * 512) % 1024;
        if (k <= 1567 - position) expected[t] += static_cast<double>(h[k]) * x[t - k];
      }
    }
    EXPECT_TRUE(kelo::test::closeToSignal(out, expected, kTolerance)) << "channel " << channel;
  }
}

// The three layers (distributed radix-4, stepwise radix-4 per quarter, 64-point transforms)
// give the 2048-point real odd-frequency transform: way 4q + r holds bin 16k + 4 r' + q' with
// q', r' the residues -1, 1, 2, 0 of quarters q and r.
TEST(LongStage2, ThreeLayerTransformEqualsTheRealOddTransformWayByWay) {
  const std::vector<float> x = kelo::test::noise(1024, 7);
  fourier::FourierTransformRealOdd reference(2048, 64);
  std::vector<float> expected(2048);
  reference.FTAndReorder(expected.data(), x.data(), 1024);

  const DistributedRealOddRad4 rad4(2048, 8, 64);
  const StepwiseComplexRad4 split(256, 64);
  std::unique_ptr<fourier::FourierTransformComplex> fft64(
      fourier::CreateFourierTransformComplex(64, 64));
  std::vector<float> re(1024), im(1024), wayRe(64), wayIm(64);
  for (std::size_t slice = 0; slice < 8; ++slice) rad4.ForwardRad4(re.data(), im.data(), x.data(), slice);
  const int residue[4] = {-1, 1, 2, 0};
  double error = 0, norm = 0;
  for (std::size_t way = 0; way < 16; ++way) {
    const std::size_t q = way / 4, r = way % 4;
    split.ForwardRad4(re.data() + 256 * q, im.data() + 256 * q, r);
    fft64->ForwardTransform(wayRe.data(), wayIm.data(), re.data() + 256 * q + 64 * r,
                            im.data() + 256 * q + 64 * r, 0);
    for (std::size_t k = 0; k < 64; ++k) {
      const std::size_t bin = (16 * k + 4 * residue[r] + residue[q] + 1024) % 1024;
      const std::size_t g = (bin / 4) * 8 + bin % 4;
      const std::complex<double> want(expected[g], expected[g + 4]);
      error += std::norm(want - std::complex<double>(wayRe[k], wayIm[k]));
      norm += std::norm(want);
    }
  }
  EXPECT_LT(std::sqrt(error / norm), 1e-5);
}

// The buffered second stage (first four partitions at once, the rest spread over four blocks)
// gives the unbuffered stage's output.
TEST(LongStage2, BufferedFormEqualsTheUnbufferedOne) {
  const std::size_t n = 20000, frames = 26000;
  const StereoImpulse impulse = noiseImpulse(n, 8);
  const auto input = noiseSignal(frames, 9);
  ConvolverMasterLong plain(impulse.left.data(), impulse.right.data(), n, false);
  ConvolverMasterLong buffered(impulse.left.data(), impulse.right.data(), n, true);
  const auto lengths = kelo::test::callPattern("random").lengths(frames, 64);
  const auto run = [&](ConvolverMaster& c) {
    return kelo::test::driveStereo(
        [&](float* a, float* b, const float* x, const float* y, std::size_t f) {
          c.CalculateOutput(a, b, x, y, f);
        },
        input, lengths);
  };
  const auto outPlain = run(plain);
  const auto outBuffered = run(buffered);
  const std::vector<double> left(outPlain.left.begin(), outPlain.left.end());
  const std::vector<double> right(outPlain.right.begin(), outPlain.right.end());
  EXPECT_TRUE(kelo::test::closeToSignal(outBuffered.left, left, 1e-6));
  EXPECT_TRUE(kelo::test::closeToSignal(outBuffered.right, right, 1e-6));
}

}  // namespace
}  // namespace calvatero::testing
