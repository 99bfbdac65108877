// Inner loops of the partitioned convolution stages: products and sums of block spectra in the
// layout of four real parts followed by four imaginary parts, differences of blocks, scaling,
// and the two gain ramps of the variable-decay convolver.
//
// Counts are in floats. Kernels on spectra (the complex products) work in groups of 8 floats,
// `do_block_sub1` in groups of 16, the others in groups of 4; a remainder below one group is
// left untouched (every count the convolvers pass is a multiple of the group). Offsets are
// rounded down to a multiple of 4. No kernel allocates, locks or keeps state: any thread.
#pragma once

#include <cstddef>

#include "Sampler/sdk/calvatero/convolution/DecayNode.h"

namespace calvatero::convolution {

/// out = a * b, complex, per group of 8 floats (re0..3, im0..3). out may be a or b.
void do_block_mult_c(float* out, const float* a, const float* b, std::size_t count);

/// out += a_s * b_s for `stages` consecutive block pairs (a and b advance by `count` floats per
/// pair). `stages` must be at least 1.
void do_block_mult_accum_c_for(float* out, const float* a, const float* b, std::size_t count,
                               std::size_t stages);

/// values += add * factor.
void do_block_multadd_inplace(float* values, const float* add, std::size_t count, float factor);

/// first *= factor and, when `second` is not null, second *= factor; any count.
void multInplaceConst(float* first, float* second, std::size_t count, float factor);

/// out[j] = in[offset' + j] - in[j], offset' = offset rounded down to a multiple of 4.
void do_block_sub_single(float* out, const float* in, std::size_t offset, std::size_t count);

/// out = a - b in groups of 16 floats; the second argument is not used.
void do_block_sub1(float* out, const float* unused, const float* a, const float* b,
                   std::size_t count);

/// out1[j] = in1[offset' + j] - in1[j] and out2[j] = in2[offset' + j] - in2[j].
void do_block_sub_dual2(float* out1, const float* in1, float* out2, const float* in2,
                        std::size_t offset, std::size_t count);

/// out[j] += v[j] + v[j + count] + v[j + 2 count].
void do_block_adds34(float* out, const float* v, std::size_t count);

/// s = v[j + count] + v[j + 2 count]; v[j + count] = s; out[j] += v[j] + s.
void do_block_adds34_saving(float* out, float* v, std::size_t count);

/// out[j] += v[j] + v[j + count].
void do_block_adds_s1(float* out, const float* v, std::size_t count);

/// out[j] += v[j] + v[j + 2 count].
void do_block_adds_s9(float* out, const float* v, std::size_t count);

/// out = in * g with g rising by the inverse of the node factors: for each node in turn, over
/// its frames (cumulative within the call, clipped to `count`; the last node covers whatever
/// frames remain), out[i] = in[i] * g, then g *= 1/factor. The inverse is recomputed only when
/// the node's factor differs from `cachedFactor` (or either is NaN). `gain`, `cachedFactor`
/// and `cachedInverse` are the caller's running state. With `in2` null, out2 is untouched.
void BoostInput(float* out1, float* out2, const float* in1, const float* in2, std::size_t count,
                double& gain, const DecayNode* nodes, std::size_t nodeCount,
                double& cachedFactor, double& cachedInverse);

/// out1 = (in1a + in1b) * g and out2 = (in2a + in2b) * g with g falling by the node factors
/// (the same node walk as BoostInput). With out2 null only channel 1 is computed.
void AttenuateOutput(float* out1, float* out2, const float* in1a, const float* in2a,
                     const float* in1b, const float* in2b, std::size_t count, double& gain,
                     const DecayNode* nodes, std::size_t nodeCount);

}  // namespace calvatero::convolution
