#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include <gtest/gtest.h>

#include "Sampler/sdk/calvatero/convolution/ConvolutionInterfaceVariableDecay.h"
#include "tests/support/ConvolutionKit.h"
#include "tests/support/realtime/RealtimeGuard.h"

namespace {

using calvatero::convolution::DecayNode;

// Built outside the region, driven inside it across several decay cycles of both stages, with
// node lists of every kind and sanitised factors, a call longer than the scratch, calls in
// place, and a reset.
TEST(VardecayRealtime, CalculateAndResetNeverAllocateOrLock) {
  for (const std::size_t irFrames : {100u, 5000u, 20000u}) {
    const std::vector<float> h = kelo::test::noise(irFrames, 1);
    void* handle = nullptr;
    ASSERT_EQ(zkcvInitConvolverVariableDecayStereo(h.data(), h.data(), irFrames, 256, &handle),
              ZKCV_OK);
    const std::vector<float> x = kelo::test::noise(4096, 2);
    std::vector<float> left(4096), right(4096), inPlace(4096);
    DecayNode nodes[] = {{0.9995, 100}, {0.0, 0}, {std::numeric_limits<double>::quiet_NaN(), 50},
                         {2.0, 30}, {0.999, 10}};
    {
      kelo::test::RealtimeRegion region;
      const double minimum = zkcvGetMinimumAllowableDecayFactor(handle);
      for (int call = 0; call < 40; ++call) {
        const std::size_t frames = 1 + (call * 997) % 1200;
        zkcvCalculateCurrentOutputVariableDecayStereo(left.data(), right.data(), x.data(),
                                                      x.data(), frames, nodes, 5, handle);
        DecayNode atMinimum{minimum, frames};
        zkcvCalculateCurrentOutputVariableDecayStereo(left.data(), right.data(), x.data(),
                                                      x.data(), frames, &atMinimum, 1, handle);
        zkcvCalculateCurrentOutputVariableDecayStereo(left.data(), right.data(), x.data(),
                                                      x.data(), frames, nullptr, 0, handle);
        std::copy(x.begin(), x.begin() + frames, inPlace.begin());
        zkcvCalculateCurrentOutputVariableDecayStereo(inPlace.data(), inPlace.data(),
                                                      inPlace.data(), inPlace.data(), frames,
                                                      nodes, 5, handle);
      }
      zkcvCalculateCurrentOutputVariableDecayStereo(left.data(), right.data(), x.data(),
                                                    x.data(), 4096, nodes, 5, handle);
      zkcvResetConvolverVariableDecay(handle);
      zkcvCalculateCurrentOutputVariableDecayStereo(left.data(), right.data(), x.data(),
                                                    x.data(), 33, nodes, 2, handle);
    }
    for (const float v : left) ASSERT_TRUE(std::isfinite(v));
    for (const float v : inPlace) ASSERT_TRUE(std::isfinite(v));
    zkcvEndConvolverVariableDecay(handle);
  }
}

}  // namespace
