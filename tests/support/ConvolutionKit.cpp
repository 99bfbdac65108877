#include "tests/support/ConvolutionKit.h"

#include <algorithm>
#include <cmath>
#include <random>

namespace kelo::test {

std::vector<double> directConvolution(const std::vector<float>& x, const std::vector<float>& h) {
  std::vector<double> y(x.size(), 0.0);
  // Sparse impulses (long tails of zeros) cost only their non-zero taps.
  for (std::size_t k = 0; k < h.size(); ++k) {
    if (h[k] == 0.0f) continue;
    const double tap = h[k];
    for (std::size_t t = k; t < x.size(); ++t) y[t] += tap * x[t - k];
  }
  return y;
}

std::vector<float> noise(std::size_t frames, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> dist(-1, 1);
  std::vector<float> v(frames);
  for (float& x : v) x = dist(rng);
  return v;
}

std::vector<float> soundSilenceSound(std::size_t sound, std::size_t silence, unsigned seed) {
  std::vector<float> signal = noise(sound, seed);
  signal.resize(sound + silence, 0.0f);
  const std::vector<float> after = noise(sound, seed + 1);
  signal.insert(signal.end(), after.begin(), after.end());
  return signal;
}

std::vector<float> faintForSilent(std::vector<float> signal) {
  for (float& x : signal)
    if (x == 0.0f) x = 1e-20f;
  return signal;
}

std::array<double, 2> largestDifferences(const std::vector<float>& a, const std::vector<float>& b,
                                         std::size_t split) {
  std::array<double, 2> largest{0.0, 0.0};
  for (std::size_t i = 0; i < a.size() && i < b.size(); ++i) {
    double& part = largest[i < split ? 0 : 1];
    part = std::max(part, std::abs(double(a[i]) - double(b[i])));
  }
  return largest;
}

double amplitudeAt(const std::vector<float>& signal, double hz, double rate, int window) {
  double s = 0, c = 0;
  const std::size_t start = signal.size() - static_cast<std::size_t>(window);
  for (std::size_t i = start; i < signal.size(); ++i) {
    const double phase = 2 * M_PI * hz * static_cast<double>(i) / rate;
    s += signal[i] * std::sin(phase);
    c += signal[i] * std::cos(phase);
  }
  return 2.0 * std::hypot(s, c) / window;
}

std::vector<std::size_t> cycled(std::size_t total, const std::vector<std::size_t>& steps) {
  std::vector<std::size_t> out;
  for (std::size_t done = 0, i = 0; done < total; ++i) {
    const std::size_t n = std::min(steps[i % steps.size()], total - done);
    out.push_back(n);
    done += n;
  }
  return out;
}

std::vector<std::size_t> seededLengths(unsigned seed, std::size_t largest, std::size_t count) {
  std::mt19937 rng(seed);
  std::uniform_int_distribution<std::size_t> dist(1, std::max<std::size_t>(largest, 1));
  std::vector<std::size_t> steps(count);
  for (std::size_t& s : steps) s = dist(rng);
  return steps;
}

const std::vector<CallPattern>& allCallPatterns() {
  static const std::vector<CallPattern> patterns = {
      {"ones", [](std::size_t t, std::size_t) { return cycled(t, {1}); }},
      {"3-4-5-7-8-9", [](std::size_t t, std::size_t) { return cycled(t, {3, 4, 5, 7, 8, 9}); }},
      {"31-32-33", [](std::size_t t, std::size_t) { return cycled(t, {31, 32, 33}); }},
      {"1024", [](std::size_t t, std::size_t) { return cycled(t, {1024}); }},
      {"5000", [](std::size_t t, std::size_t) { return cycled(t, {5000}); }},
      {"sized-maximum",
       [](std::size_t t, std::size_t largest) { return cycled(t, {std::max<std::size_t>(largest, 1)}); }},
      {"random",
       [](std::size_t t, std::size_t) { return cycled(t, seededLengths(4711, 1024, 512)); }},
      {"whole", [](std::size_t t, std::size_t) { return cycled(t, {std::max<std::size_t>(t, 1)}); }},
  };
  return patterns;
}

const CallPattern& callPattern(const std::string& name) {
  for (const CallPattern& p : allCallPatterns()) {
    if (p.name == name) return p;
  }
  ADD_FAILURE() << "no call pattern " << name;
  return allCallPatterns().front();
}

StereoSignal driveStereo(const StereoCall& call, const StereoSignal& input,
                         const std::vector<std::size_t>& lengths) {
  StereoSignal out{std::vector<float>(input.left.size()), std::vector<float>(input.right.size())};
  std::size_t done = 0;
  for (const std::size_t n : lengths) {
    if (done + n > input.left.size()) break;
    call(out.left.data() + done, out.right.data() + done, input.left.data() + done,
         input.right.data() + done, n);
    done += n;
  }
  EXPECT_EQ(done, input.left.size()) << "call lengths do not cover the input";
  return out;
}

StereoSignal driveStereoInPlace(const StereoCall& call, const StereoSignal& input,
                                const std::vector<std::size_t>& lengths, bool swapped) {
  StereoSignal buffer = input;
  std::size_t done = 0;
  for (const std::size_t n : lengths) {
    if (done + n > input.left.size()) break;
    float* left = buffer.left.data() + done;
    float* right = buffer.right.data() + done;
    if (swapped) {
      call(right, left, left, right, n);
      std::swap_ranges(left, left + n, right);
    } else {
      call(left, right, left, right, n);
    }
    done += n;
  }
  EXPECT_EQ(done, input.left.size()) << "call lengths do not cover the input";
  return buffer;
}

::testing::AssertionResult closeToSignal(const std::vector<float>& actual,
                                         const std::vector<double>& expected,
                                         double tolerance) {
  if (actual.size() != expected.size()) {
    return ::testing::AssertionFailure()
           << "length " << actual.size() << ", expected " << expected.size();
  }
  double peak = 1.0;
  for (const double e : expected) peak = std::max(peak, std::abs(e));
  const double limit = tolerance * peak;
  for (std::size_t i = 0; i < actual.size(); ++i) {
    const double error = std::abs(actual[i] - expected[i]);
    if (!(error <= limit)) {
      return ::testing::AssertionFailure()
             << "frame " << i << ": " << actual[i] << ", expected " << expected[i]
             << " (error " << error << ", limit " << limit << ")";
    }
  }
  return ::testing::AssertionSuccess();
}

}  // namespace kelo::test
