#include <cmath>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "Sampler/sdk/calvatero/convolution/BlockKernels.h"
#include "Sampler/sdk/calvatero/convolution/SawtoothDirectConvolver.h"
#include "Sampler/sdk/calvatero/convolution/StepwiseComplexRad4.h"
#include "Sampler/sdk/calvatero/fourier/FourierTransformComplex.h"
#include "Sampler/sdk/calvatero/fourier/FourierTransformRealOdd.h"
#include "tests/support/realtime/RealtimeGuard.h"

namespace {

// What the convolvers run while rendering: built outside the region, used inside it, where any
// allocation or blocking lock aborts the test.
TEST(CalvateroRealtime, TransformsKernelsAndTheSawtoothConvolverNeverAllocate) {
  std::vector<std::unique_ptr<calvatero::fourier::FourierTransformComplex>> transforms;
  for (const std::size_t n : {64u, 128u, 96u, 20u, 28u, 44u}) {
    transforms.emplace_back(calvatero::fourier::CreateFourierTransformComplex(n, 64));
  }
  calvatero::fourier::FourierTransformRealOdd realOdd(256, 64);
  const calvatero::fourier::RealOdd4 odd4;
  const calvatero::fourier::RealOdd8 odd8;
  const calvatero::fourier::RealOdd32 odd32;
  const calvatero::convolution::StepwiseComplexRad4 split(256, 64);
  std::vector<float> impulse(32, 0.5f);
  SawtoothDirectConvolver sawtooth(32, impulse.data());
  std::vector<float> a(512, 0.25f), b(512, 0.5f), c(512), d(512);
  const calvatero::convolution::DecayNode node{0.99, 64};
  double gain = 1, cachedFactor = 1, cachedInverse = 1;

  {
    kelo::test::RealtimeRegion region;
    for (auto& t : transforms) {
      t->ForwardTransform(c.data(), d.data(), a.data(), b.data(), 0);
      t->ScaleH(c.data(), d.data(), 0);
      t->InverseTransform(a.data(), b.data(), c.data(), d.data(), 0);
      t->ForwardTransform(c.data(), d.data(), a.data(), b.data(), 1);
      t->InverseTransform(a.data(), b.data(), c.data(), d.data(), 1);
  }
  realOdd.FTAndReorder(c.data(), a.data(), 128);
  realOdd.ScaleH(c.data());
  realOdd.ReorderAndIFT2(d.data(), c.data(), 128);
  realOdd.ReorderAndIFT(d.data(), c.data());
  odd4.ForwardFFT(c.data(), a.data());
  odd4.InverseFFT(d.data(), c.data());
  odd8.ForwardFFT(c.data(), a.data());
  odd8.InverseFFT(d.data(), c.data());
  odd32.ForwardFFT(c.data(), a.data());
  odd32.InverseFFT(d.data(), c.data());
  for (std::size_t stage = 0; stage < 4; ++stage) split.ForwardRad4(a.data(), b.data(), stage);
  for (const std::size_t stage : {0u, 2u, 1u, 3u}) split.InverseRad4(a.data(), b.data(), stage);
  sawtooth.CalculateOutput(c.data(), a.data(), 13);
  sawtooth.CalculateOutput(c.data(), a.data(), 19);
  sawtooth.Reset();
  calvatero::convolution::do_block_mult_accum_c_for(c.data(), a.data(), b.data(), 64, 4);
  calvatero::convolution::BoostInput(c.data(), d.data(), a.data(), b.data(), 64, gain, &node, 1,
                                     cachedFactor, cachedInverse);
  calvatero::convolution::AttenuateOutput(c.data(), d.data(), a.data(), b.data(), a.data(),
                                          b.data(), 64, gain, &node, 1);
  }
  EXPECT_TRUE(std::isfinite(gain));
}

}  // namespace
