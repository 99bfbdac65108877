// A convolver handle of the C interface, owned for a test's lifetime, and the stereo impulse
// it was made from.
#pragma once

#include <cstddef>
#include <vector>

#include <gtest/gtest.h>

#include "Sampler/sdk/calvatero/convolution/ConvolutionInterface.h"
#include "tests/support/ConvolutionKit.h"

namespace calvatero::testing {

struct StereoImpulse {
  std::vector<float> left, right;
  std::size_t frames() const { return left.size(); }
};

/// Different noise per channel.
inline StereoImpulse noiseImpulse(std::size_t frames, unsigned seed) {
  return {kelo::test::noise(frames, seed), kelo::test::noise(frames, seed + 1000)};
}

class StereoConvolver {
 public:
  StereoConvolver(const StereoImpulse& impulse, std::size_t maxBlockFrames) {
    code_ = zkcvInitConvolverStereo(impulse.left.data(), impulse.right.data(), impulse.frames(),
                                    maxBlockFrames, &handle_);
  }
  ~StereoConvolver() { zkcvEndConvolver(handle_); }
  StereoConvolver(const StereoConvolver&) = delete;
  StereoConvolver& operator=(const StereoConvolver&) = delete;

  int code() const { return code_; }
  void* handle() const { return handle_; }
  void reset() { zkcvResetConvolver(handle_); }
  kelo::test::StereoCall call() {
    return [this](float* ol, float* orr, const float* il, const float* ir, std::size_t n) {
      zkcvCalculateCurrentOutputStereo(ol, orr, il, ir, n, handle_);
    };
  }
  kelo::test::StereoSignal run(const kelo::test::StereoSignal& input,
                               const std::vector<std::size_t>& lengths) {
    return kelo::test::driveStereo(call(), input, lengths);
  }

 private:
  void* handle_ = nullptr;
  int code_ = -1;
};

inline kelo::test::StereoSignal noiseSignal(std::size_t frames, unsigned seed) {
  return {kelo::test::noise(frames, seed), kelo::test::noise(frames, seed + 1)};
}

/// Float convolution of unit-range noise stays this close to the double reference, relative
/// to the signal's peak, for every engine and impulse length used in the tests.
inline constexpr double kTolerance = 2e-5;

}  // namespace calvatero::testing
