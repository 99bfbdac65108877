#include <vector>

#include <gtest/gtest.h>

#include "Sampler/sdk/calvatero/convolution/ConvolutionInterface.h"
#include "tests/support/ConvolutionKit.h"
#include "tests/support/realtime/RealtimeGuard.h"

namespace {

// Every engine's calculate and reset calls, in the call lengths a host uses, inside the
// real-time region: any allocation or blocking lock aborts the test.
TEST(ConvolversRealtime, CalculateAndResetNeverAllocateOrLock) {
  for (const std::size_t n : {0u, 12u, 21u, 1000u, 3333u, 4737u, 16001u}) {
    const std::vector<float> left = kelo::test::noise(n, 1), right = kelo::test::noise(n, 2);
    void* handle = nullptr;
    ASSERT_EQ(zkcvInitConvolverStereo(left.data(), right.data(), n, 64, &handle), 0) << n;
    const std::vector<float> in = kelo::test::noise(5000, 3);
    std::vector<float> outLeft(5000), outRight(5000);
    {
      kelo::test::RealtimeRegion region;
      for (const std::size_t frames : {1u, 31u, 32u, 33u, 64u, 1024u, 5000u}) {
        for (int i = 0; i < 40; ++i) {
          zkcvCalculateCurrentOutputStereo(outLeft.data(), outRight.data(), in.data(), in.data(),
                                           frames, handle);
        }
      }
      zkcvResetConvolver(handle);
      zkcvCalculateCurrentOutputStereo(outLeft.data(), outRight.data(), in.data(), in.data(), 77,
                                       handle);
    }
    zkcvEndConvolver(handle);
  }
}

}  // namespace
