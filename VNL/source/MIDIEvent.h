// The timed MIDI event every engine host hands to the external engine, its sort order, the 7-
// and 14-bit MIDI value helpers and a formatter of raw MIDI messages for log lines.
// Hosts collect a block's events in arrival order and order them with vantor::stableSort
// (VNL/source/StableSort.h) under vantor::midiSort; everything here is real-time safe.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vantor {

/// One timed MIDI event; its 32-byte layout crosses to the external engine.
struct MIDIEvent {
  std::uint8_t bytes[4];        ///< status with channel, data 1, data 2 (or 0), always 0
  std::int32_t frameOffset;     ///< frames from the first frame of the block; the sort key
  std::uint64_t hostTimeNanos;  ///< arrival time (standalone MIDI input), else writer-specific
  float detune;                 ///< cents
  std::uint8_t reserved[12];    ///< not interpreted
};

static_assert(sizeof(MIDIEvent) == 32);
static_assert(offsetof(MIDIEvent, bytes) == 0);
static_assert(offsetof(MIDIEvent, frameOffset) == 4);
static_assert(offsetof(MIDIEvent, hostTimeNanos) == 8);
static_assert(offsetof(MIDIEvent, detune) == 16);
static_assert(offsetof(MIDIEvent, reserved) == 20);

/// Orders by frame offset (signed); meant for a stable sort, so that events of one frame keep
/// their collection order (a note-off stays before a note-on of the same key).
inline bool midiSort(const MIDIEvent& a, const MIDIEvent& b) {
  return a.frameOffset < b.frameOffset;
}

}  // namespace vantor

/// (msb << 7) | lsb; the bytes are not masked.
int PMIDICombineBytes(std::uint8_t lsb, std::uint8_t msb);

/// Splits the low 14 bits of `value` into two 7-bit bytes.
void PMIDICreateBytes(std::uint16_t value, std::uint8_t& lsb, std::uint8_t& msb);

/// floor(value * 127 + 0.5) & 0x7F, unclamped: 1.0 gives 127, 1.01 wraps to 0.
/// Values far out of range wrap like near ones; NaN and infinities give 0.
int PDowngradeFloatMIDI7(float& value);

/// value in -1..1 to 0..16383 (0.0 gives 8192), clamped. NaN counts as 0.0.
int PDowngradeFloatMIDI14(float& value);

/// Writes a readable description of the message at `data` (at least three bytes) into
/// `buffer`, always ending it with a 0 at index size - 1; messages without a description
/// leave the rest of the buffer as it was. Nothing happens for a null buffer or a size of 0.
/// Formats on the caller's buffer only: real-time safe.
void PMIDILogMessage(char* buffer, std::uint64_t size, const std::uint8_t* data);
