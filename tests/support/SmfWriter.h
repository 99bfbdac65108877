// A small Standard MIDI File writer for tests: tracks of timed events (channel messages, meta
// events, raw bytes) turned into MThd/MTrk chunks with variable-length delta times, so that a
// test case is a readable table row instead of a binary file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kelo::test {

/// One track; events are written in tick order (equal ticks keep the order they were added).
/// Unless told otherwise, an end-of-track event is added at the last event's tick.
class SmfTrack {
 public:
  SmfTrack& noteOn(std::uint32_t tick, int channel, int key, int velocity);
  SmfTrack& noteOff(std::uint32_t tick, int channel, int key, int velocity = 0);
  SmfTrack& controller(std::uint32_t tick, int channel, int controller, int value);
  SmfTrack& program(std::uint32_t tick, int channel, int program);
  SmfTrack& pitchBend(std::uint32_t tick, int channel, int lsb, int msb);
  SmfTrack& polyPressure(std::uint32_t tick, int channel, int key, int value);
  SmfTrack& channelPressure(std::uint32_t tick, int channel, int value);

  /// Set-tempo meta event (0x51) in microseconds per quarter note.
  SmfTrack& tempoMicros(std::uint32_t tick, std::uint32_t microsPerQuarter);
  /// The same from beats per minute (60000000 / bpm, rounded).
  SmfTrack& tempo(std::uint32_t tick, double bpm);
  /// Time-signature meta event (0x58): numerator, denominator as a power of two.
  SmfTrack& timeSignature(std::uint32_t tick, int numerator, int denominatorPower,
                          int clocksPerClick = 24, int thirtySecondsPerQuarter = 8);
  /// Text meta events 0x01 to 0x0F (3: track name).
  SmfTrack& text(std::uint32_t tick, int type, const std::string& text);
  SmfTrack& meta(std::uint32_t tick, int type, const std::string& data);
  SmfTrack& sysex(std::uint32_t tick, const std::string& data);
  /// An end-of-track meta event at `tick` (and no automatic one).
  SmfTrack& endOfTrack(std::uint32_t tick);
  /// Writes no end-of-track event at all.
  SmfTrack& withoutEndOfTrack();
  /// Bytes written as they stand after the delta time (running status, junk...).
  SmfTrack& raw(std::uint32_t tick, const std::string& bytes);

  /// The MTrk chunk.
  std::string chunk() const;

 private:
  struct Event {
    std::uint32_t tick;
    std::string bytes;
  };
  SmfTrack& add(std::uint32_t tick, std::string bytes);
  SmfTrack& channelMessage(std::uint32_t tick, int status, int channel, int data1, int data2,
                           bool twoDataBytes);

  std::vector<Event> m_events;
  bool m_endWritten = false;
  bool m_noEnd = false;
};

/// MThd chunk: 6 bytes of format, track count and division.
std::string smfHeader(int format, int numTracks, int division);

/// A whole file: the header (track count from `tracks`) followed by every track's chunk.
std::string smfFile(int format, int division, const std::vector<SmfTrack>& tracks);

/// The variable-length quantity of `value` (up to 0x0FFFFFFF in four bytes; larger values
/// take five, as a hostile file might).
std::string smfVarLen(std::uint64_t value);

/// Bytes from a list of byte values, for readable literals.
std::string bytesOf(std::initializer_list<int> values);

}  // namespace kelo::test
