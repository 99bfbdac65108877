#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <vector>

#include <gtest/gtest.h>

#include "Sampler/sdk/calvatero/convolution/BlockKernels.h"
#include "tests/Sampler/sdk/calvatero/support/Reference.h"

namespace calvatero::convolution {
namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kUntouched = 7.25f;

// The arrays a kernel may read or write; inputs are random over the counted range and NaN
// beyond it, outputs start at kUntouched beyond it, so a kernel that touched the remainder
// would leave NaN or a changed value there.
struct Arrays {
  std::vector<float> out, out2, a, b;
};

struct KernelCase {
  const char* name;
  std::size_t group;
  std::size_t span;  // floats of `a` and `b` the kernel reads per counted float
  std::function<void(Arrays&, std::size_t count)> kernel;
  std::function<void(Arrays&, std::size_t processed)> reference;
};

void complexProduct(float* out, const float* a, const float* b, bool accumulate) {
  for (std::size_t e = 0; e < 4; ++e) {
    const float re = a[e] * b[e] - a[e + 4] * b[e + 4];
    const float im = a[e] * b[e + 4] + b[e] * a[e + 4];
    out[e] = accumulate ? out[e] + re : re;
    out[e + 4] = accumulate ? out[e + 4] + im : im;
  }
}

const std::size_t kOffset = 6;  // rounded down to 4 by the offset kernels

std::vector<KernelCase> kernelCases() {
  return {
      {"do_block_mult_c", 8, 1,
       [](Arrays& x, std::size_t n) { do_block_mult_c(x.out.data(), x.a.data(), x.b.data(), n); },
       [](Arrays& x, std::size_t n) {
         for (std::size_t g = 0; g < n; g += 8) complexProduct(&x.out[g], &x.a[g], &x.b[g], false);
       }},
      {"do_block_mult_accum_c_for", 8, 3,
       [](Arrays& x, std::size_t n) {
         do_block_mult_accum_c_for(x.out.data(), x.a.data(), x.b.data(), n, 3);
       },
       [](Arrays& x, std::size_t n) {
         const std::size_t count = x.out.size() / 3;  // the stride the kernel was given
         for (std::size_t s = 0; s < 3; ++s) {
           for (std::size_t g = 0; g < n; g += 8) {
             complexProduct(&x.out[g], &x.a[s * count + g], &x.b[s * count + g], true);
           }
         }
       }},
      {"do_block_multadd_inplace", 4, 1,
       [](Arrays& x, std::size_t n) { do_block_multadd_inplace(x.out.data(), x.a.data(), n, 0.3f); },
       [](Arrays& x, std::size_t n) {
         for (std::size_t i = 0; i < n; ++i) x.out[i] += x.a[i] * 0.3f;
       }},
      {"do_block_sub_single", 4, 2,
       [](Arrays& x, std::size_t n) { do_block_sub_single(x.out.data(), x.a.data(), kOffset, n); },
       [](Arrays& x, std::size_t n) {
         for (std::size_t i = 0; i < n; ++i) x.out[i] = x.a[4 + i] - x.a[i];
       }},
      {"do_block_sub1", 16, 1,
       [](Arrays& x, std::size_t n) { do_block_sub1(x.out.data(), nullptr, x.a.data(), x.b.data(), n); },
       [](Arrays& x, std::size_t n) {
         for (std::size_t i = 0; i < n; ++i) x.out[i] = x.a[i] - x.b[i];
       }},
      {"do_block_sub_dual2", 4, 2,
       [](Arrays& x, std::size_t n) {
         do_block_sub_dual2(x.out.data(), x.a.data(), x.out2.data(), x.b.data(), kOffset, n);
       },
       [](Arrays& x, std::size_t n) {
         for (std::size_t i = 0; i < n; ++i) {
           x.out[i] = x.a[4 + i] - x.a[i];
           x.out2[i] = x.b[4 + i] - x.b[i];
         }
       }},
      {"do_block_adds34", 4, 3,
       [](Arrays& x, std::size_t n) { do_block_adds34(x.out.data(), x.a.data(), n); },
       [](Arrays& x, std::size_t n) {
         const std::size_t c = x.out.size() / 3;
         for (std::size_t i = 0; i < n; ++i) x.out[i] += x.a[i] + x.a[i + c] + x.a[i + 2 * c];
       }},
      {"do_block_adds34_saving", 4, 3,
       [](Arrays& x, std::size_t n) { do_block_adds34_saving(x.out.data(), x.a.data(), n); },
       [](Arrays& x, std::size_t n) {
         const std::size_t c = x.out.size() / 3;
         for (std::size_t i = 0; i < n; ++i) {
           const float s = x.a[i + c] + x.a[i + 2 * c];
           x.a[i + c] = s;
           x.out[i] += x.a[i] + s;
         }
       }},
      {"do_block_adds_s1", 4, 2,
       [](Arrays& x, std::size_t n) { do_block_adds_s1(x.out.data(), x.a.data(), n); },
       [](Arrays& x, std::size_t n) {
         const std::size_t c = x.out.size() / 3;
         for (std::size_t i = 0; i < n; ++i) x.out[i] += x.a[i] + x.a[i + c];
       }},
      {"do_block_adds_s9", 4, 3,
       [](Arrays& x, std::size_t n) { do_block_adds_s9(x.out.data(), x.a.data(), n); },
       [](Arrays& x, std::size_t n) {
         const std::size_t c = x.out.size() / 3;
         for (std::size_t i = 0; i < n; ++i) x.out[i] += x.a[i] + x.a[i + 2 * c];
       }},
  };
}

// Counts are passed as the stride of the multi-block kernels too, so the arrays are laid out
// in thirds of `count` floats: the counted part of each third is random, the rest NaN.
Arrays makeArrays(std::size_t count, std::size_t processed) {
  Arrays x;
  const std::size_t size = 3 * count + 8;
  const std::vector<float> ra = testing::randomFloats(size, 1), rb = testing::randomFloats(size, 2);
  x.a.assign(size, kNaN);
  x.b.assign(size, kNaN);
  for (std::size_t third = 0; third < 3; ++third) {
    for (std::size_t i = 0; i < processed + 4 && third * count + i < size; ++i) {
      // the offset kernels read 4 floats beyond the processed range
      if (i < processed || third == 0) {
        x.a[third * count + i] = ra[third * count + i];
        x.b[third * count + i] = rb[third * count + i];
      }
    }
  }
  x.out.assign(3 * count, kUntouched);
  x.out2.assign(3 * count, kUntouched);
  for (std::size_t i = 0; i < processed; ++i) {
    x.out[i] = ra[size - 1 - i];
    x.out2[i] = rb[size - 1 - i];
  }
  return x;
}

bool sameBits(const std::vector<float>& p, const std::vector<float>& q) {
  return p.size() == q.size() &&
         (p.empty() || std::memcmp(p.data(), q.data(), p.size() * sizeof(float)) == 0);
}

TEST(BlockKernels, EachKernelMatchesAScalarLoopAndLeavesTheRemainderAlone) {
  for (const KernelCase& c : kernelCases()) {
    for (std::size_t count = 0; count <= 3 * c.group + c.group - 1; ++count) {
      const std::size_t processed = count / c.group * c.group;
      Arrays actual = makeArrays(count, processed);
      Arrays expected = actual;
      c.kernel(actual, count);
      c.reference(expected, processed);
      EXPECT_TRUE(sameBits(actual.out, expected.out)) << c.name << " count " << count;
      EXPECT_TRUE(sameBits(actual.out2, expected.out2)) << c.name << " count " << count;
      EXPECT_TRUE(sameBits(actual.a, expected.a)) << c.name << " count " << count;
    }
  }
}

TEST(BlockKernels, ExactCases) {
  std::vector<float> one = {1, 1, 1, 1, 0, 0, 0, 0, 1, 1, 1, 1, 0, 0, 0, 0};
  const std::vector<float> b = testing::randomFloats(16, 3);
  std::vector<float> out(16);
  do_block_mult_c(out.data(), one.data(), b.data(), 16);
  EXPECT_EQ(out, b);

  std::vector<float> v = {1, 2, 3, 4, 10, 20, 30, 40, 100, 200, 300, 400};
  std::vector<float> acc(4, 0.5f);
  do_block_adds34_saving(acc.data(), v.data(), 4);
  EXPECT_EQ(std::vector<float>(v.begin() + 4, v.begin() + 8),
            (std::vector<float>{110, 220, 330, 440}));
  EXPECT_EQ(acc, (std::vector<float>{111.5f, 222.5f, 333.5f, 444.5f}));
}

TEST(BlockKernels, MultInplaceConstScalesEveryCountIncludingTails) {
  for (std::size_t count = 0; count <= 13; ++count) {
    for (const bool withSecond : {false, true}) {
      std::vector<float> first = testing::randomFloats(count + 3, 4);
      std::vector<float> second = testing::randomFloats(count + 3, 5);
      std::vector<float> expectFirst = first, expectSecond = second;
      for (std::size_t i = 0; i < count; ++i) {
        expectFirst[i] *= 1.5f;
        if (withSecond) expectSecond[i] *= 1.5f;
      }
      multInplaceConst(first.data(), withSecond ? second.data() : nullptr, count, 1.5f);
      EXPECT_EQ(first, expectFirst) << count;
      EXPECT_EQ(second, expectSecond) << count;
    }
  }
}

TEST(BlockKernels, BoostAndAttenuateWithOneNodeOfHalf) {
  const DecayNode node{0.5, 4};
  const float in[4] = {1, 1, 1, 1};
  const float zero[4] = {};
  float out[4], out2[4];
  double gain = 1, cachedFactor = 0, cachedInverse = 0;
  BoostInput(out, out2, in, in, 4, gain, &node, 1, cachedFactor, cachedInverse);
  EXPECT_EQ(std::vector<float>(out, out + 4), (std::vector<float>{1, 2, 4, 8}));
  EXPECT_EQ(std::vector<float>(out2, out2 + 4), (std::vector<float>{1, 2, 4, 8}));
  EXPECT_EQ(gain, 16);
  EXPECT_EQ(cachedFactor, 0.5);
  EXPECT_EQ(cachedInverse, 2);

  gain = 1;
  AttenuateOutput(out, out2, in, in, zero, zero, 4, gain, &node, 1);
  EXPECT_EQ(std::vector<float>(out, out + 4), (std::vector<float>{1, 0.5f, 0.25f, 0.125f}));
  EXPECT_EQ(std::vector<float>(out2, out2 + 4), (std::vector<float>{1, 0.5f, 0.25f, 0.125f}));
  EXPECT_EQ(gain, 0.0625);
}

TEST(BlockKernels, BoostReusesTheCachedInverseForAnUnchangedFactor) {
  const DecayNode node{0.5, 2};
  const float in[2] = {1, 1};
  float out[2] = {9, 9}, untouched[2] = {9, 9};
  double gain = 1, cachedFactor = 0.5, cachedInverse = 3;  // deliberately not 1/0.5
  BoostInput(out, untouched, in, nullptr, 2, gain, &node, 1, cachedFactor, cachedInverse);
  EXPECT_EQ(out[1], 3.0f);
  EXPECT_EQ(gain, 9);
  EXPECT_EQ(untouched[0], 9.0f);  // no second input: the second output stays
}

// out[i] = sum of inputs times the gain before frame i, gain updated per frame in double.
void rampReference(std::vector<double>& out, const std::vector<float>& in, double& gain,
                   const std::vector<DecayNode>& nodes, bool inverse) {
  std::size_t i = 0;
  for (std::size_t j = 0; j < nodes.size() && i < in.size(); ++j) {
    const std::size_t end =
        j + 1 == nodes.size() ? in.size() : std::min(in.size(), i + nodes[j].frames);
    const double r = inverse ? 1 / nodes[j].decayFactor : nodes[j].decayFactor;
    for (; i < end; ++i, gain *= r) out[i] = in[i] * gain;
  }
}

// Both channels follow the ramp, each from its own inputs.
TEST(BlockKernels, GainRampsFollowTheNodesForEveryCount) {
  const std::vector<DecayNode> nodes = {{0.99, 3}, {0.97, 6}, {1.0, 0}, {0.95, 2}};
  for (std::size_t count = 0; count <= 21; ++count) {
    const std::vector<float> in1 = testing::randomFloats(count, 6), in2 = testing::randomFloats(count, 7);
    const std::vector<float> in3 = testing::randomFloats(count, 8), in4 = testing::randomFloats(count, 9);
    std::vector<float> sum1(count), sum2(count);
    for (std::size_t i = 0; i < count; ++i) {
      sum1[i] = in1[i] + in2[i];
      sum2[i] = in3[i] + in4[i];
    }
    for (const bool boost : {true, false}) {
      std::vector<float> out1(count + 2, kUntouched), out2(count + 2, kUntouched);
      double gain = 0.75, expectedGain = 0.75, cachedFactor = 1, cachedInverse = 1;
      double expectedGain2 = 0.75;
      std::vector<double> expected1(count), expected2(count);
      if (boost) {
        BoostInput(out1.data(), out2.data(), in1.data(), in2.data(), count, gain, nodes.data(),
                   nodes.size(), cachedFactor, cachedInverse);
        rampReference(expected1, in1, expectedGain, nodes, true);
        rampReference(expected2, in2, expectedGain2, nodes, true);
      } else {
        AttenuateOutput(out1.data(), out2.data(), in1.data(), in3.data(), in2.data(), in4.data(),
                        count, gain, nodes.data(), nodes.size());
        rampReference(expected1, sum1, expectedGain, nodes, false);
        rampReference(expected2, sum2, expectedGain2, nodes, false);
      }
      for (std::size_t i = 0; i < count; ++i) {
        EXPECT_NEAR(out1[i], expected1[i], 1e-6 * std::abs(expected1[i]) + 1e-7) << count << " " << i;
        EXPECT_NEAR(out2[i], expected2[i], 1e-6 * std::abs(expected2[i]) + 1e-7) << count << " " << i;
      }
      EXPECT_EQ(out1[count], kUntouched);
      EXPECT_EQ(out2[count], kUntouched);
      EXPECT_NEAR(gain, expectedGain, 1e-12) << count;
    }
  }
}

TEST(BlockKernelsDeathTest, AccumulationNeedsAtLeastOneStage) {
  float out[8] = {}, a[8] = {}, b[8] = {};
  EXPECT_DEATH(do_block_mult_accum_c_for(out, a, b, 8, 0), testing::literally("stages != 0"));
}

}  // namespace
}  // namespace calvatero::convolution
