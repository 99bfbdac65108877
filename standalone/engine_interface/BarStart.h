// The bar start a host wrapper hands the engine in its transport record: KeloRack and KeloUnit
// take it from here so that the same transport gives the engine the same bar.
#pragma once

#include <cstdint>

namespace vantor {

struct BarStart {
  double position = 0.0;  // in quarter notes
  bool hostHolds = false;  // the host's bar start was taken as it came
};

/// The host's bar start (`hostBarStart`, null when the host gives none) while `ppq` lies
/// within the bar it starts, its end included; otherwise whole bars of numerator/denominator
/// counted from 0, rounded down so that a negative position lands on its own bar. The
/// signature must have positive parts. Real-time safe.
BarStart barStartAt(double ppq, const double* hostBarStart, std::int32_t numerator,
                    std::int32_t denominator);

}  // namespace vantor
