// The shared test library of the convolution engines and their users: a direct convolution in
// double as the reference, a driver that feeds a stereo convolver in a chosen pattern of call
// lengths, and comparisons with tolerances relative to the signal. (The MallocAligned failure
// hook and live-block count are calvatero::testing::AlignedAllocationProbe, in
// tests/Sampler/sdk/calvatero/support.)
#pragma once

#include <array>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace kelo::test {

/// y[t] = sum_k h[k] x[t - k] for t < x.size(), in double.
std::vector<double> directConvolution(const std::vector<float>& x, const std::vector<float>& h);

/// Seeded uniform noise in [-1, 1).
std::vector<float> noise(std::size_t frames, unsigned seed);

/// Noise around a silence: `sound` frames of seeded noise, `silence` frames of exact zeros,
/// `sound` frames of other noise.
std::vector<float> soundSilenceSound(std::size_t sound, std::size_t silence, unsigned seed);

/// The same signal with every exact zero made 1e-20: far too faint to change a result, yet not
/// silence, so a plug-in that rests in silence cannot rest over it. What it gives is what the
/// plug-in must give for the signal itself.
std::vector<float> faintForSilent(std::vector<float> signal);

/// The largest absolute difference between two signals of one length before frame `split`
/// ([0]) and from it on ([1]).
std::array<double, 2> largestDifferences(const std::vector<float>& a, const std::vector<float>& b,
                                         std::size_t split);

/// The amplitude of the `hz` component of `signal` over its last `window` frames (a whole
/// number of periods, at most the signal's length), from its sine and cosine parts.
double amplitudeAt(const std::vector<float>& signal, double hz, double rate, int window);

/// A way of cutting a signal into calls.
struct CallPattern {
  std::string name;
  /// The call lengths for `total` frames; `largest` is the longest call the convolver was
  /// sized for (the "sized maximum" pattern uses it).
  std::function<std::vector<std::size_t>(std::size_t total, std::size_t largest)> lengths;
};

/// `steps` repeated until they cover `total` (the last one cut short).
std::vector<std::size_t> cycled(std::size_t total, const std::vector<std::size_t>& steps);

/// `count` seeded random lengths from 1 to `largest`.
std::vector<std::size_t> seededLengths(unsigned seed, std::size_t largest, std::size_t count);

/// Every pattern: all calls of 1 frame; 3, 4, 5, 7, 8 and 9; 31, 32 and 33 cycled; 1024;
/// 5000; the sized maximum; seeded random lengths 1..1024; one call of everything.
const std::vector<CallPattern>& allCallPatterns();

/// One pattern by name (aborts the test on an unknown name).
const CallPattern& callPattern(const std::string& name);

/// A stereo convolver call: (outLeft, outRight, inLeft, inRight, frames).
using StereoCall = std::function<void(float*, float*, const float*, const float*, std::size_t)>;

struct StereoSignal {
  std::vector<float> left, right;
};

/// Feeds `input` through `call` in calls of `lengths` (which must add up to the input's
/// length) and returns the output.
StereoSignal driveStereo(const StereoCall& call, const StereoSignal& input,
                         const std::vector<std::size_t>& lengths);

/// As driveStereo, with each call's outputs being its inputs (in place, as plug-ins call), or
/// with `swapped` each output being the other channel's input.
StereoSignal driveStereoInPlace(const StereoCall& call, const StereoSignal& input,
                                const std::vector<std::size_t>& lengths, bool swapped);

/// Passes when every sample is within `tolerance` times the expected signal's peak (at least
/// 1) of the expected value; otherwise names the first offending frame.
::testing::AssertionResult closeToSignal(const std::vector<float>& actual,
                                         const std::vector<double>& expected,
                                         double tolerance);

}  // namespace kelo::test
