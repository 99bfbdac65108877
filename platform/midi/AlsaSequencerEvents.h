// Sequencer events of the ALSA back end turned back into MIDI bytes. Real-time safe.
#pragma once

#include <alsa/asoundlib.h>

#include <cstddef>
#include <cstdint>

namespace kelo::midi {

/// Writes the MIDI bytes of `event` into `out` (at most `capacity`) and returns their number;
/// 0 for events that carry no MIDI (announcements, queue control) or do not fit. System
/// exclusive data is copied as it stands.
std::size_t sequencerEventToMIDI(const snd_seq_event_t& event, std::uint8_t* out,
                                 std::size_t capacity);

}  // namespace kelo::midi
