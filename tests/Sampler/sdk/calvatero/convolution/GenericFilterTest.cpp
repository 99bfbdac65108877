#include "Sampler/sdk/calvatero/convolution/GenericFilter.h"

#include <cmath>
#include <complex>
#include <vector>

#include <gtest/gtest.h>

#include "tests/Sampler/sdk/calvatero/support/AlignedAllocationProbe.h"
#include "tests/Sampler/sdk/calvatero/support/Reference.h"

namespace {

using calvatero::convolution::GenericFilter;

struct LevelCase {
  std::size_t impulseLength, blockLen;
  int forceDirect, wideBase;
  std::size_t blocks;
  std::vector<std::size_t> levels;
};

TEST(GenericFilter, AssignFilterLevelsPadsToTheSmallestSplitSize) {
  const LevelCase cases[] = {
      {200, 32, 0, 1, 7, {1}},             // 9 * 32 covers it: direct
      {1000, 32, 0, 1, 33, {3, 1}},        // 11 * 32 * 3 = 1056; 34 * 32 is larger
      {1000, 32, 1, 1, 32, {1}},           // forced direct, rounded up
      {256, 32, 0, 0, 8, {1}},             // 8 * 32 covers it without the wide base
      {257, 32, 0, 0, 9, {1}},             // the first s of smallest size: 9 * 32
      {16000, 64, 0, 1, 252, {3, 3, 1}},   // 28 * 64 * 9
      {2112, 32, 0, 1, 66, {3, 1}},        // 22 * 32 * 3
      {1000000, 64, 0, 1, 15687, {}},      // only the count is checked here
  };
  for (const LevelCase& c : cases) {
    std::size_t blocks = 0;
    std::size_t levels[calvatero::convolution::MAX_FILTER_LEVELS] = {};
    GenericFilter::AssignFilterLevels(&blocks, levels, c.impulseLength, c.blockLen, c.forceDirect,
                                      c.wideBase, 0);
    EXPECT_GE(blocks * c.blockLen, c.impulseLength);
    if (c.levels.empty()) continue;
    EXPECT_EQ(blocks, c.blocks) << c.impulseLength;
    for (std::size_t i = 0; i < c.levels.size(); ++i) EXPECT_EQ(levels[i], c.levels[i]) << i;
  }
  std::size_t blocks = 0;
  std::size_t levels[calvatero::convolution::MAX_FILTER_LEVELS] = {};
  GenericFilter::AssignFilterLevels(&blocks, levels, 16000, 64, 0, 1, 1);
  EXPECT_EQ(levels[0], 10003u);
  EXPECT_EQ(levels[1], 10003u);
  EXPECT_EQ(levels[2], 1u);
}

// Runs a filter over `cycles` cycles of random input blocks and a drain, with the sequences in
// either place, and returns every output block.
std::vector<float> runFilter(GenericFilter& filter, std::size_t blocks, std::size_t b,
                             bool inputUpwards, unsigned seed, std::size_t cycles) {
  const std::vector<float> impulse = calvatero::testing::randomFloats(blocks * b, seed);
  std::vector<std::vector<float>> input;
  for (std::size_t c = 0; c < cycles; ++c) {
    input.push_back(calvatero::testing::randomFloats(blocks * b, seed + 1 + c));
  }
  std::vector<float> out;
  std::vector<float> block(b);
  // Upwards: block m at base + m b. Downwards: the same blocks stored in reverse.
  std::vector<std::vector<float>> reversed;
  for (std::size_t c = 0; c < cycles; ++c) {
    std::vector<float> r(blocks * b);
    for (std::size_t m = 0; m < blocks; ++m) {
      std::copy_n(input[c].data() + m * b, b, r.data() + (blocks - 1 - m) * b);
    }
    reversed.push_back(r);
  }
  std::vector<float> impulseReversed(blocks * b);
  for (std::size_t m = 0; m < blocks; ++m) {
    std::copy_n(impulse.data() + m * b, b, impulseReversed.data() + (blocks - 1 - m) * b);
  }
  const float* down = impulseReversed.data() + (blocks - 1) * b;
  for (std::size_t c = 0; c <= cycles; ++c) {
    for (std::size_t a = 0; a < blocks; ++a) {
      // The current cycle's input is written by the time its index is reached; blocks beyond
      // it hold stale data the filter must not read.
      if (inputUpwards) {
        const float* cur = c < cycles ? input[c].data() : nullptr;
        const float* prev = c > 0 ? input[c - 1].data() : nullptr;
        if (c == 0) filter.RunStart(block.data(), cur, down, a);
        else if (c == cycles) filter.RunEnd(block.data(), prev, down, a);
        else filter.Run(block.data(), cur, down, prev, down, a);
      } else {
        const float* cur = c < cycles ? reversed[c].data() + (blocks - 1) * b : nullptr;
        const float* prev = c > 0 ? reversed[c - 1].data() + (blocks - 1) * b : nullptr;
        if (c == 0) filter.RunStart(block.data(), impulse.data(), cur, a);
        else if (c == cycles) filter.RunEnd(block.data(), impulse.data(), prev, a);
        else filter.Run(block.data(), impulse.data(), cur, impulse.data(), prev, a);
      }
      out.insert(out.end(), block.begin(), block.end());
    }
  }
  return out;
}

// The block sequence convolved bin by bin, in double.
std::vector<std::complex<double>> referenceConvolution(std::size_t blocks, std::size_t b,
                                                       unsigned seed, std::size_t cycles) {
  const std::vector<float> impulse = calvatero::testing::randomFloats(blocks * b, seed);
  std::vector<float> input;
  for (std::size_t c = 0; c < cycles; ++c) {
    const auto part = calvatero::testing::randomFloats(blocks * b, seed + 1 + c);
    input.insert(input.end(), part.begin(), part.end());
  }
  const auto bin = [&](const std::vector<float>& v, std::size_t block, std::size_t k) {
    const std::size_t g = block * b + (k / 4) * 8 + k % 4;
    return std::complex<double>(v[g], v[g + 4]);
  };
  const std::size_t total = (cycles + 1) * blocks;
  std::vector<std::complex<double>> out(total * b / 2);
  for (std::size_t t = 0; t < total; ++t) {
    for (std::size_t k = 0; k < b / 2; ++k) {
      std::complex<double> sum = 0;
      for (std::size_t i = 0; i < blocks; ++i) {
        if (t >= i && t - i < cycles * blocks) sum += bin(impulse, i, k) * bin(input, t - i, k);
      }
      out[t * b / 2 + k] = sum;
    }
  }
  return out;
}

std::vector<std::complex<double>> asBins(const std::vector<float>& v, std::size_t b) {
  std::vector<std::complex<double>> out(v.size() / 2);
  for (std::size_t block = 0; block < v.size() / b; ++block) {
    for (std::size_t k = 0; k < b / 2; ++k) {
      const std::size_t g = block * b + (k / 4) * 8 + k % 4;
      out[block * b / 2 + k] = {v[g], v[g + 4]};
    }
  }
  return out;
}

struct TreeCase {
  std::size_t blocks;
  std::vector<std::size_t> levels;
};

TEST(GenericFilter, SplitFiltersEqualTheDirectFilterAcrossStartRunAndEnd) {
  const std::size_t b = 16;
  const TreeCase cases[] = {
      {27, {1}}, {27, {3, 1}}, {27, {3, 3, 1}}, {27, {10003, 1}}, {27, {10003, 10003, 1}},
      {9, {3, 1}}, {33, {3, 1}}, {99, {3, 3, 1}}, {81, {10003, 3, 1}},
  };
  for (const TreeCase& c : cases) {
    for (const bool inputUpwards : {true, false}) {
      auto filter = GenericFilter::CreateFilter(c.blocks * b, b, c.levels.data(), 64);
      const auto out = runFilter(*filter, c.blocks, b, inputUpwards, 7, 3);
      const auto expected = referenceConvolution(c.blocks, b, 7, 3);
      EXPECT_LT(calvatero::testing::relativeError(asBins(out, b), expected), 1e-5)
          << c.blocks << " blocks, levels " << c.levels[0] << ", input "
          << (inputUpwards ? "upwards" : "downwards");
    }
  }
}

TEST(GenericFilter, ConstructionFailureReleasesEverything) {
  const std::size_t levels[] = {3, 3, 1};
  for (long k = 1;; ++k) {
    calvatero::testing::AlignedAllocationProbe probe(k);
    try {
      auto filter = GenericFilter::CreateFilter(27 * 16, 16, levels, 64);
      EXPECT_LT(probe.calls(), k);
      break;
    } catch (const std::bad_alloc&) {
      EXPECT_EQ(probe.liveBlocks(), 0) << k;
    }
  }
}

}  // namespace
