// The resampler's fixed low-pass tables, one per engine rate and phase. Each name states the
// engine rate in kHz (88 for 88.2, 176 for 176.4), the pass-band and stop-band edges in Hz and
// the stop-band attenuation. Every table holds its taps followed by one 0.0. The tap counts are
// part of the contract: the room reverb compensates its pre-delay with them.
//
// Generated, with lowpassTableFor, by scripts/design-resampler-filters.py (equiripple; each
// minimum-phase table keeps the magnitude of a linear-phase design of its own length).
// Read-only data; any thread.
#pragma once

#include <cstddef>

namespace calvatero::resample {

extern const float LOWPASS88_18000_TO_22050_106DB[95 + 1];
extern const float LOWPASS96_19000_TO_24000_125DB[95 + 1];
extern const float LOWPASS176_18000_TO_22050_106DB[191 + 1];
extern const float LOWPASS192_19000_TO_24000_123DB[191 + 1];
extern const float LOWPASS88_18000_TO_22050_102DB_MINPHASE[95 + 1];
extern const float LOWPASS96_19000_TO_24000_117DB_MINPHASE[95 + 1];
extern const float LOWPASS176_18000_TO_22050_115DB_MINPHASE[223 + 1];
extern const float LOWPASS192_19000_TO_24000_126DB_MINPHASE[223 + 1];

struct LowpassTable {
  const float* taps;  // null for a rate the resampler does not serve
  std::size_t tapCount;
};

/// The table for an engine rate of 88200, 96000, 176400 or 192000 Hz; {nullptr, 0} otherwise.
LowpassTable lowpassTableFor(std::size_t sampleRate, bool minimumPhase);

}  // namespace calvatero::resample
