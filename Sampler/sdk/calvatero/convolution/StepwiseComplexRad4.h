// The outer radix-4 stage of an N-point complex transform on split arrays, in place, cut into
// stages that the long convolver spreads over several audio blocks. After the forward stages
// each quarter (elements r Q .. r Q + Q - 1, Q = N/4) is transformed by a Q-point transform;
// the quarters then hold the frequencies 4k - 1, 4k + 1, 4k + 2 and 4k (mod N), in that order.
// Before the inverse stages each quarter has been inverse-transformed; the inverse stages
// return the unscaled inverse in natural order.
//
// Read-only after construction (only the twiddle tables): threads may share one object.
#pragma once

#include <cstddef>

#include "Sampler/sdk/calvatero/newconv/Common.h"

namespace calvatero::convolution {

class StepwiseComplexRad4 {
 public:
  /// N a multiple of 16. Throws std::bad_alloc.
  StepwiseComplexRad4(std::size_t length, std::size_t alignment);

  /// Stage 0 first (the butterflies), then 1 and 2 in either order; 3 does nothing.
  void ForwardRad4(float* real, float* imag, std::size_t stage) const;
  /// Stages 0 and 2 first, 1 after 0, 3 last (after 1 and 2).
  void InverseRad4(float* real, float* imag, std::size_t stage) const;

 private:
  std::size_t quarterLength_;
  common::AlignedFloats table1_;  // W^j, j < Q: Q cosines then Q sines; W = e^(-2 pi i / N)
  common::AlignedFloats table2_;  // W^(2j)
};

}  // namespace calvatero::convolution
