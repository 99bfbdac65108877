// Remembers the notes that are sounding, per MIDI channel or for all channels together, from
// the events passing through it, and produces the note-offs that end them. The MIDI file
// player silences the instrument with it when playback stops, moves or ends.
//
// Render thread only. Each map has a fixed capacity allocated at construction, so neither
// operation allocates or locks (`getNotesOff` appends: the caller reserves room for
// `maxNotesOff()` events).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "VNL/source/MIDIEvent.h"

namespace vantor {

class MIDINoteMonitor {
 public:
  /// Notes one map remembers; 128 keys with room for detuned duplicates. A note-on beyond it
  /// is not remembered (one warning line).
  static constexpr int kNotesPerMap = 256;

  /// 16 maps, one per channel, when `perChannel`; else one map for every channel.
  explicit MIDINoteMonitor(bool perChannel);
  virtual ~MIDINoteMonitor();
  MIDINoteMonitor(const MIDINoteMonitor&) = delete;
  MIDINoteMonitor& operator=(const MIDINoteMonitor&) = delete;

  /// Remembers every note-on (velocity not 0) under (note, detune) and forgets the notes that
  /// note-offs, or note-ons of velocity 0, end. Other events change nothing.
  void processMIDIEvents(const std::vector<MIDIEvent>& events);

  /// Appends, map by map and in (note, detune) order, a note-off for every remembered note:
  /// status 0x90 plus the map's channel (0 in the single-map form), the note, velocity 0, at
  /// `frameOffset` with the note's detune; then forgets them all.
  void getNotesOff(std::vector<MIDIEvent>& out, unsigned frameOffset);

  int numMaps() const { return m_numMaps; }
  /// The most note-offs one `getNotesOff` can append.
  std::size_t maxNotesOff() const { return static_cast<std::size_t>(m_numMaps) * kNotesPerMap; }
  /// Notes remembered now, over all maps.
  std::size_t numNotes() const;

 private:
  struct Key {
    std::uint8_t note;
    float detune;
  };
  struct NoteMap {
    Key keys[kNotesPerMap];  // sorted by (note, detune)
    int count = 0;
  };

  NoteMap& mapFor(std::uint8_t status) { return m_maps[m_numMaps == 1 ? 0 : (status & 0x0F)]; }
  void remember(NoteMap& map, Key key);
  void forget(NoteMap& map, Key key);

  int m_numMaps;
  std::unique_ptr<NoteMap[]> m_maps;
};

}  // namespace vantor
