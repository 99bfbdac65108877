// The reference of the variable-decay convolution, in double: per-frame factors from a sequence
// of calls with their nodes (the rules the convolver promises, stated independently here), and
// y[t] = sum_k h[k] x[t-k] prod_{j=t-k}^{t-1} d_j.
//
// Defined in calvatero_test_support, so that it keeps the preset's optimisation: sanitized test
// bodies are built at -O0, where this direct sum took nearly all of the convolver tests' time.
#pragma once

#include <cstddef>
#include <vector>

#include "Sampler/sdk/calvatero/convolution/DecayNode.h"

namespace calvatero::testing {

using convolution::DecayNode;

/// One call: its frames and the nodes passed with it (empty: continue with the factor in force).
struct DecayCall {
  std::size_t frames;
  std::vector<DecayNode> nodes;
};

/// The factor of every frame of the calls, with NaN keeping the factor in force and other
/// factors clamped into [floor, 1]; a node of zero frames other than the last is skipped.
/// Starts at 1.0.
std::vector<double> factorsOf(const std::vector<DecayCall>& calls, double floor);

/// The decaying convolution: running products for dense impulses, differences of summed
/// logarithms for sparse ones (so their zero taps cost nothing).
std::vector<double> decayingConvolution(const std::vector<float>& x, const std::vector<float>& h,
                                        const std::vector<double>& d);

}  // namespace calvatero::testing
