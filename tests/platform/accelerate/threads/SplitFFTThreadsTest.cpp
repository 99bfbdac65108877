#include <cmath>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/accelerate/SplitFFT.h"

namespace {

using accelerate::FFTDirection;
using accelerate::SplitFFT;

// One setup shared by several threads, each with its own scratch, gives every thread the
// result a lone caller gets.
TEST(SplitFFTThreads, OneSetupServesSeveralThreadsWithTheirOwnScratch) {
  const auto fft = SplitFFT::create(7);
  const std::size_t n = fft->length();
  std::vector<float> re(n), im(n);
  for (std::size_t i = 0; i < n; ++i) {
    re[i] = std::sin(0.37f * i);
    im[i] = std::cos(0.11f * i);
  }
  std::vector<float> expectRe(n), expectIm(n), sRe(fft->scratchLength()), sIm(fft->scratchLength());
  fft->transform(re.data(), im.data(), expectRe.data(), expectIm.data(), sRe.data(), sIm.data(),
                 FFTDirection::Forward);

  constexpr int kThreads = 4;
  std::vector<int> mismatches(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      std::vector<float> outRe(n), outIm(n), scratchRe(fft->scratchLength()),
          scratchIm(fft->scratchLength());
      for (int round = 0; round < 200; ++round) {
        fft->transform(re.data(), im.data(), outRe.data(), outIm.data(), scratchRe.data(),
                       scratchIm.data(), FFTDirection::Forward);
        if (outRe != expectRe || outIm != expectIm) ++mismatches[t];
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (int t = 0; t < kThreads; ++t) EXPECT_EQ(mismatches[t], 0) << t;
}

}  // namespace
