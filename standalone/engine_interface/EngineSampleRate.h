// The sample rates a host wrapper hands the engine. KELO_OP_DSP_SET carries the rate as whole
// hertz in an int32, so a rate that is not finite or lies far outside audio would reach an
// integer conversion it does not fit.
#pragma once

#include <cmath>

namespace vantor {

inline constexpr double kEngineMinSampleRate = 8000.0;
inline constexpr double kEngineMaxSampleRate = 768000.0;

/// True for a finite rate in [kEngineMinSampleRate, kEngineMaxSampleRate]; wrappers refuse
/// others and keep the rate they had. Any thread.
inline bool engineTakesSampleRate(double rate) {
  return std::isfinite(rate) && rate >= kEngineMinSampleRate && rate <= kEngineMaxSampleRate;
}

}  // namespace vantor
