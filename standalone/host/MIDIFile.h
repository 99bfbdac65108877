// A Standard MIDI File (formats 0 and 1) loaded into memory for the MIDI file player: channel
// events by track on a time axis in quarter notes (beats), a merged track of every event, the
// tempo map, the time signatures, the measures and the length. portsmf parses the file.
//
// Main thread: `open` and `init` read and build everything; afterwards the player reads the
// file from the render thread under its own mutex, and nothing here changes it.
#pragma once

#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace vantor {

/// A channel event of the file.
class Pmds_midiEvent {
 public:
  explicit Pmds_midiEvent(std::int32_t channel) : channel(channel) {}
  virtual ~Pmds_midiEvent() = default;
  virtual void print() {}
  /// The event's three MIDI bytes.
  virtual void transform(std::uint8_t& status, std::uint8_t& data1, std::uint8_t& data2) const = 0;

  std::int32_t channel;  ///< 0 to 15
};

/// A note-on or note-off.
class Pmds_note : public Pmds_midiEvent {
 public:
  Pmds_note(std::int32_t channel, std::int64_t key, int velocity, double time, bool on);
  /// 0x90 or 0x80 plus the channel, the key's low byte, the velocity back in 0 to 127.
  void transform(std::uint8_t& status, std::uint8_t& data1, std::uint8_t& data2) const override;

  std::int64_t key;
  double keyValue;
  double velocity;  ///< 0 to 1: the MIDI velocity times 1/127 (single precision)
  double time;      ///< beats
  bool on;
};

/// Aftertouch, controller, program, channel pressure or pitch bend.
class Pmds_simple : public Pmds_midiEvent {
 public:
  Pmds_simple(std::int32_t channel, std::int32_t kind, std::int32_t data1, std::int32_t data2)
      : Pmds_midiEvent(channel), kind(kind), data1(data1), data2(data2) {}
  void transform(std::uint8_t& status, std::uint8_t& data1, std::uint8_t& data2) const override;

  std::int32_t kind;  ///< the status's high nibble: 0xA0, 0xB0, 0xC0, 0xD0 or 0xE0
  std::int32_t data1;
  std::int32_t data2;
};

/// Events on a time axis in beats; events of equal time keep the order they were added.
/// The events are not owned (the file owns them).
class Pmds_track {
 public:
  using Events = std::multimap<double, Pmds_midiEvent*>;
  virtual ~Pmds_track() = default;

  double endTime = 0;  ///< beats; from the end-of-track event
  bool ended = false;  ///< the end-of-track event was read
  Events events;
};

struct Pmds_timeSig {
  std::int32_t numerator;
  std::int32_t denominator;  ///< the note value (4 for quarters), not its power of two
};

struct Pmds_mesure {
  double start;  ///< beats
  double end;    ///< beats
  std::int32_t numerator;
  std::int32_t denominator;
  std::int32_t index;  ///< counted from 0
};

class MIDIFile {
 public:
  using TempoMap = std::map<double, double>;  ///< beats to beats per minute
  using TimeSigs = std::map<double, Pmds_timeSig>;

  /// More measures than this refuse the file: one crafted delta time must not build millions.
  static constexpr std::int64_t kMaxMesures = 1000000;

  explicit MIDIFile(const std::string& path);
  ~MIDIFile();
  MIDIFile(const MIDIFile&) = delete;
  MIDIFile& operator=(const MIDIFile&) = delete;

  /// Reads the file. False, with an error line, when it cannot be opened, has no header chunk
  /// or has a division of 0 or in SMPTE form. A file cut short or damaged after its header
  /// keeps what was read before the damage, and `open` answers true.
  bool open();
  /// Sets the length, builds the merged track and the measures. False, with an error line,
  /// when the file would need more than `kMaxMesures` measures.
  bool init();

  /// Stores a signature at `time` unless one is stored there already. A numerator below 1 or
  /// a denominator outside 1 to 2^30 is ignored with a warning line.
  void insertTimeSig(double time, double numerator, double denominator);
  /// Stores or replaces the tempo at `time`.
  void insertTempoChange(double time, double bpm);

  /// From measure `index` on (from the first when `fromStart`), finds the measure holding
  /// `position` (start <= position < end), leaving `index` on it and copying it to `out`.
  /// False when none does; `index` then equals the number of measures and `out` is unchanged.
  bool getMesureInfo(std::size_t& index, double position, Pmds_mesure* out, bool fromStart) const;

  const std::string& path() const { return m_path; }
  std::int64_t numTracks() const { return m_numTracks; }
  std::int64_t numMesures() const { return m_numMesures; }
  double length() const { return m_length; }  ///< beats
  const TempoMap& tempoMap() const { return m_tempoMap; }
  const TimeSigs& timeSigs() const { return m_timeSigs; }
  const std::vector<Pmds_mesure>& mesures() const { return m_mesures; }
  const Pmds_track& mergedTrack() const { return m_mergedTrack; }
  const std::map<int, Pmds_track>& tracks() const { return m_tracks; }
  /// Events of every track.
  std::size_t numEvents() const { return m_events.size(); }

  // Filled by the reader.
  void setNumTracks(std::int64_t count) { m_numTracks = count; }
  Pmds_track& track(int number) { return m_tracks[number]; }
  void addEvent(int track, double time, std::unique_ptr<Pmds_midiEvent> event);
  /// Gives every track read without an end-of-track event the time of its last event as its
  /// end.
  void endUnendedTracks();

 private:
  void createMergedTrack();
  bool createMesureVec();

  std::int64_t m_numTracks = 0;
  std::int64_t m_numMesures = 0;
  double m_length = 0;
  std::string m_path;
  TempoMap m_tempoMap;
  TimeSigs m_timeSigs;
  std::vector<Pmds_mesure> m_mesures;
  Pmds_track m_mergedTrack;
  std::map<int, Pmds_track> m_tracks;
  std::vector<std::unique_ptr<Pmds_midiEvent>> m_events;  // owns what the tracks point at
};

/// Reads the open `stream` into `file` through portsmf (the reader, `Pmds_midifile_reader`,
/// lives in MIDIFile.cpp). False when no header chunk was found or its division
/// was refused; what was read before a parse error is kept either way.
bool pmds_smf_read(MIDIFile* file, std::FILE* stream);

}  // namespace vantor
