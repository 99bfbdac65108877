// One segment of the piecewise-exponential decay of the variable-decay convolution: for
// `frames` frames the gain is multiplied by `decayFactor` after every frame (1.0 leaves the
// impulse response unchanged). Crosses the convolution library's C interface in this layout.
#pragma once

#include <cstddef>
#include <cstdint>

namespace calvatero::convolution {

struct DecayNode {
  double decayFactor;
  std::uint64_t frames;
};

static_assert(sizeof(DecayNode) == 16 && offsetof(DecayNode, decayFactor) == 0 &&
              offsetof(DecayNode, frames) == 8);

}  // namespace calvatero::convolution
