#include "standalone/engine_interface/BarStart.h"

#include <cmath>

namespace vantor {

BarStart barStartAt(double ppq, const double* hostBarStart, std::int32_t numerator,
                    std::int32_t denominator) {
  const double barLength = numerator * 4.0 / denominator;
  if (hostBarStart != nullptr && ppq >= *hostBarStart && ppq <= *hostBarStart + barLength)
    return {*hostBarStart, true};
  return {std::floor(ppq / barLength) * barLength, false};
}

}  // namespace vantor
