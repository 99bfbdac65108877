// Transports as a host reports them and the bar start and signature the engine must get: one
// table that KeloRack's and KeloUnit's tests both run, so that the two wrappers agree.
#pragma once

#include <cstdint>

namespace kelo::test {

struct TransportCase {
  const char* what;
  double ppq;
  bool hostBar;  // the host reports a bar start (VST: kVstBarsValid; AU: musical time answers)
  double hostBarStart;
  // The signature the host reports (a VST host with kVstTimeSigValid; an Audio Unit host only
  // with its musical time) and the one the record held before.
  float numerator;
  std::int32_t denominator;
  std::int32_t priorNumerator, priorDenominator;
  double barStart;
  std::int32_t expectedNumerator, expectedDenominator;
};

inline constexpr TransportCase kTransportCases[] = {
    {"host bar start within the bar", 9.5, true, 8.0, 4, 4, 4, 4, 8.0, 4, 4},
    {"no host bar start", 9.5, false, 0.0, 4, 4, 4, 4, 8.0, 4, 4},
    {"no host bar start at 7.5", 7.5, false, 0.0, 4, 4, 4, 4, 4.0, 4, 4},
    {"host more than a bar behind", 13.0, true, 4.0, 4, 4, 4, 4, 12.0, 4, 4},
    {"host bar start behind", 10.0, true, 0.0, 4, 4, 4, 4, 8.0, 4, 4},
    {"host bar start ahead of the position", 3.5, true, 4.0, 4, 4, 4, 4, 0.0, 4, 4},
    {"a correct jump", 100.5, true, 100.0, 4, 4, 4, 4, 100.0, 4, 4},
    {"6/8", 7.0, true, 6.0, 6, 8, 4, 4, 6.0, 6, 8},
    {"6/8 computed", 7.0, false, 0.0, 6, 8, 6, 8, 6.0, 6, 8},
    {"3/4 on its downbeat", 7.5, true, 6.0, 3, 4, 4, 4, 6.0, 3, 4},
    {"3/4 bar start behind", 7.5, true, 0.0, 3, 4, 4, 4, 6.0, 3, 4},
    {"negative position", -1.0, true, 0.0, 4, 4, 4, 4, -4.0, 4, 4},
    {"negative position, host bar start behind", -3.0, true, 0.0, 4, 4, 4, 4, -4.0, 4, 4},
    {"negative position without a host bar start", -3.0, false, 0.0, 4, 4, 4, 4, -4.0, 4, 4},
    {"negative position on its bar", -3.0, true, -4.0, 4, 4, 4, 4, -4.0, 4, 4},
    {"zero numerator keeps the signature", 5.0, true, 4.0, 0, 4, 4, 4, 4.0, 4, 4},
    {"numerator rounding to zero keeps the signature", 2.0, true, 0.0, 0.2f, 8, 4, 4, 0.0, 4, 4},
    {"zero denominator keeps the signature", 2.0, true, 0.0, 7, 0, 4, 4, 0.0, 4, 4},
    {"zero numerator keeps 3/4", 4.0, true, 3.0, 0, 4, 3, 4, 3.0, 3, 4},
};

}  // namespace kelo::test
