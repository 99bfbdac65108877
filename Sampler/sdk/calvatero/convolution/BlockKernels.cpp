#include "Sampler/sdk/calvatero/convolution/BlockKernels.h"

#include <algorithm>

#include "Sampler/sdk/calvatero/newconv/Assert.h"
#include "Sampler/sdk/calvatero/newconv/Vec4.h"

namespace calvatero::convolution {

using simd::F4;
using simd::load;
using simd::splat;
using simd::store;

namespace {

constexpr std::size_t kRoundDown4 = ~std::size_t{3};

inline void multiplyGroup(float* out, const float* a, const float* b) {
  const F4 ar = load(a), ai = load(a + 4), br = load(b), bi = load(b + 4);
  store(out, ar * br - ai * bi);
  store(out + 4, ar * bi + br * ai);
}

inline void accumulateGroup(float* out, const float* a, const float* b) {
  const F4 ar = load(a), ai = load(a + 4), br = load(b), bi = load(b + 4);
  store(out, load(out) + (ar * br - ai * bi));
  store(out + 4, load(out + 4) + (ar * bi + br * ai));
}

// Calls `run(start, end, factor)` for each node's share of 0 .. count.
template <typename Run>
void walkNodes(std::size_t count, const DecayNode* nodes, std::size_t nodeCount, Run run) {
  std::size_t done = 0;
  for (std::size_t j = 0; j < nodeCount && done < count; ++j) {
    const std::size_t end =
        j + 1 == nodeCount ? count : done + std::min<std::uint64_t>(nodes[j].frames, count - done);
    run(j, done, end);
    done = end;
  }
}

// out[i] = (inA[i] + inB[i]) * g over start .. end (inB may be null), g *= ratio per frame,
// four frames a step with the powers of the ratio formed in double.
inline void ramp(float* out, const float* inA, const float* inB, std::size_t start,
                 std::size_t end, double& gain, double ratio) {
  const double r2 = ratio * ratio;
  const double r3 = r2 * ratio;
  const double r4 = r2 * r2;
  double g = gain;
  std::size_t i = start;
  for (; i + 4 <= end; i += 4) {
    const F4 gains = {static_cast<float>(g), static_cast<float>(g * ratio),
                      static_cast<float>(g * r2), static_cast<float>(g * r3)};
    const F4 in = inB ? load(inA + i) + load(inB + i) : load(inA + i);
    store(out + i, in * gains);
    g *= r4;
  }
  for (; i < end; ++i) {
    const float in = inB ? inA[i] + inB[i] : inA[i];
    out[i] = in * static_cast<float>(g);
    g *= ratio;
  }
  gain = g;
}

}  // namespace

void do_block_mult_c(float* out, const float* a, const float* b, std::size_t count) {
  for (std::size_t i = 0; i + 8 <= count; i += 8) multiplyGroup(out + i, a + i, b + i);
}

void do_block_mult_accum_c_for(float* out, const float* a, const float* b, std::size_t count,
                               std::size_t stages) {
  CALVATERO_ASSERT(stages != 0);
  for (std::size_t s = 0; s < stages; ++s, a += count, b += count) {
    for (std::size_t i = 0; i + 8 <= count; i += 8) accumulateGroup(out + i, a + i, b + i);
  }
}

void do_block_multadd_inplace(float* values, const float* add, std::size_t count, float factor) {
  const F4 f = splat(factor);
  for (std::size_t i = 0; i + 4 <= count; i += 4) {
    store(values + i, load(values + i) + load(add + i) * f);
  }
}

void multInplaceConst(float* first, float* second, std::size_t count, float factor) {
  const F4 f = splat(factor);
  const std::size_t whole = count & kRoundDown4;
  for (std::size_t i = 0; i < whole; i += 4) store(first + i, load(first + i) * f);
  for (std::size_t i = whole; i < count; ++i) first[i] *= factor;
  if (second == nullptr) return;
  for (std::size_t i = 0; i < whole; i += 4) store(second + i, load(second + i) * f);
  for (std::size_t i = whole; i < count; ++i) second[i] *= factor;
}

void do_block_sub_single(float* out, const float* in, std::size_t offset, std::size_t count) {
  const float* later = in + (offset & kRoundDown4);
  for (std::size_t i = 0; i + 4 <= count; i += 4) store(out + i, load(later + i) - load(in + i));
}

void do_block_sub1(float* out, const float*, const float* a, const float* b, std::size_t count) {
  for (std::size_t i = 0; i + 16 <= count; i += 16) {
    for (std::size_t k = 0; k < 16; k += 4) store(out + i + k, load(a + i + k) - load(b + i + k));
  }
}

void do_block_sub_dual2(float* out1, const float* in1, float* out2, const float* in2,
                        std::size_t offset, std::size_t count) {
  const std::size_t shift = offset & kRoundDown4;
  for (std::size_t i = 0; i + 4 <= count; i += 4) {
    store(out1 + i, load(in1 + shift + i) - load(in1 + i));
    store(out2 + i, load(in2 + shift + i) - load(in2 + i));
  }
}

void do_block_adds34(float* out, const float* v, std::size_t count) {
  for (std::size_t i = 0; i + 4 <= count; i += 4) {
    store(out + i, load(out + i) + (load(v + i) + load(v + i + count) + load(v + i + 2 * count)));
  }
}

void do_block_adds34_saving(float* out, float* v, std::size_t count) {
  for (std::size_t i = 0; i + 4 <= count; i += 4) {
    const F4 s = load(v + i + count) + load(v + i + 2 * count);
    store(v + i + count, s);
    store(out + i, load(out + i) + (load(v + i) + s));
  }
}

void do_block_adds_s1(float* out, const float* v, std::size_t count) {
  for (std::size_t i = 0; i + 4 <= count; i += 4) {
    store(out + i, load(out + i) + (load(v + i) + load(v + i + count)));
  }
}

void do_block_adds_s9(float* out, const float* v, std::size_t count) {
  for (std::size_t i = 0; i + 4 <= count; i += 4) {
    store(out + i, load(out + i) + (load(v + i) + load(v + i + 2 * count)));
  }
}

void BoostInput(float* out1, float* out2, const float* in1, const float* in2, std::size_t count,
                double& gain, const DecayNode* nodes, std::size_t nodeCount,
                double& cachedFactor, double& cachedInverse) {
  walkNodes(count, nodes, nodeCount, [&](std::size_t j, std::size_t start, std::size_t end) {
    const double factor = nodes[j].decayFactor;
    if (!(factor == cachedFactor)) {
      cachedFactor = factor;
      cachedInverse = 1.0 / factor;
    }
    double second = gain;
    ramp(out1, in1, nullptr, start, end, gain, cachedInverse);
    if (in2 != nullptr) ramp(out2, in2, nullptr, start, end, second, cachedInverse);
  });
}

void AttenuateOutput(float* out1, float* out2, const float* in1a, const float* in2a,
                     const float* in1b, const float* in2b, std::size_t count, double& gain,
                     const DecayNode* nodes, std::size_t nodeCount) {
  walkNodes(count, nodes, nodeCount, [&](std::size_t j, std::size_t start, std::size_t end) {
    const double factor = nodes[j].decayFactor;
    double second = gain;
    ramp(out1, in1a, in1b, start, end, gain, factor);
    if (out2 != nullptr) ramp(out2, in2a, in2b, start, end, second, factor);
  });
}

}  // namespace calvatero::convolution
