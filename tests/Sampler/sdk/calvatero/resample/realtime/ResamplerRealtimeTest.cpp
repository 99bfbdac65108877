#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "Sampler/sdk/calvatero/resample/FIRResampler20khz.h"
#include "tests/support/realtime/RealtimeGuard.h"

namespace {

using calvatero::resample::FIRResampler20khz;

TEST(ResamplerRealtime, ResamplingAndResetNeverAllocateOrLock) {
  for (const std::size_t rate : {96000u, 192000u}) {
    std::unique_ptr<FIRResampler20khz> resampler(
        calvatero::resample::makeFIRResampler20khz(rate, 510, 0, 1));
    std::vector<float> in(512, 0.25f), baseLeft(512), baseRight(512), outLeft(512), outRight(512);
    {
      kelo::test::RealtimeRegion region;
      for (int block = 0; block < 50; ++block) {
        std::size_t down = 0, up = 0;
        resampler->Downsample(baseLeft.data(), baseRight.data(), &down, in.data(), in.data(),
                              512 - block % 5);
        resampler->Upsample(outLeft.data(), outRight.data(), &up, baseLeft.data(),
                            baseRight.data(), down);
      }
      resampler->Reset();
    }
  }
}

}  // namespace
