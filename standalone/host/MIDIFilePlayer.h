// Plays a loaded Standard MIDI File into the graph. The graph creates it, forwards the media
// bar's load, play, stop, seek and position commands to it, and on the render thread asks it
// each block to advance (`fireSyncInfo`) and to hand over the block's events with frame
// offsets (`getMIDIEvents`). Time inside the player is counted in beats; a block covers
// tempo / 60 x block duration beats, with the tempo of the tempo change that falls inside it.
// When playback stops, moves or ends, the next block starts with `shutUpEvents()` (sustain
// off, all notes off, all sound off on every channel) and note-offs for the notes still held.
//
// Threads: load, play, stop, seek and the position run on the main thread; `fireSyncInfo` and
// `getMIDIEvents` on the render thread, where they neither allocate nor block: the render only
// try-locks the mutex "BMFP" (a block finding it busy produces nothing and does not advance),
// and the event storage is reserved by the main thread when a file is loaded.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "VNL/source/MIDIEvent.h"
#include "VNL/source/Threads.h"
#include "standalone/host/MIDIFile.h"
#include "standalone/host/MIDINoteMonitor.h"
#include "standalone/host/Module.h"

namespace vantor {

class MIDIFilePlayer : public Module {
 public:
  static constexpr std::size_t kShutUpSize = 48;

  MIDIFilePlayer();
  ~MIDIFilePlayer() override;

  /// Per channel 0 to 15: controllers 64, 123 and 120 with value 0. Shared by every player.
  static const std::array<MIDIEvent, kShutUpSize>& shutUpEvents();

  /// Stops playback and loads `path` in place of the current file, at position 0 with the
  /// file's first tempo (120 without one). False, with no file kept, when the file cannot be
  /// read or is refused. Blocks on the mutex.
  bool setMIDIFile(const std::string& path);
  bool hasFile() const { return m_file != nullptr; }
  /// The most events one block can produce with the file loaded now (with none: the silencing
  /// list and every note-off): the room a caller collecting the blocks must reserve. Main
  /// thread; set by `setMIDIFile`.
  std::size_t maxEventsPerBlock() const { return m_maxEventsPerBlock; }

  /// Neither moves the position; stopping silences the next block.
  bool playFile();
  bool stopFile();
  bool isPlaying() const { return m_playing.load(std::memory_order_relaxed); }

  /// Moves to `normalised` x the file's length (not clamped) and silences the next block.
  /// Blocks on the mutex.
  void seek(double normalised);
  /// Position over length, 0 without a file. May pass 1.0 while the last, partly filled
  /// measure plays; exactly 1.0 once the end is reached. Any thread: the render asks too.
  double getNormalisedPos() const;
  /// Beats.
  double position() const { return m_position.load(std::memory_order_relaxed); }

  /// Render thread: advances by one block and produces its events.
  void fireSyncInfo();
  /// Render thread: appends the block's events to `out` (which must have room for them) and
  /// empties the player's own list.
  void getMIDIEvents(std::vector<MIDIEvent>& out);

  /// Guards the file, the position and the measure index; the render only try-locks it.
  MutexOLD& mutex() { return m_mutex; }

 private:
  void mainTimingProc();
  /// Replaces the output with the silencing list and the held notes' note-offs.
  void silence();
  void append(const MIDIEvent& event);
  /// The tempo in force at `beat`: the last change at or before it, else the first change,
  /// else 120.
  float tempoAt(double beat) const;

  std::atomic<bool> m_playing{false};
  bool m_active = false;  // render thread: silencing is owed when playback stops
  float m_tempo = 120.0f;
  std::atomic<double> m_position{0.0};
  std::atomic<double> m_length{0.0};  // the loaded file's, 0 without one: read without the mutex
  MutexOLD m_mutex{"BMFP", false};
  std::unique_ptr<MIDIFile> m_file;
  std::size_t m_mesureIndex = 0;
  std::vector<MIDIEvent> m_output;  // render thread only
  bool m_resetPending = false;
  bool m_atEnd = false;  // the end was reached: stay there, silencing, until moved
  std::unique_ptr<MIDINoteMonitor> m_monitor;
  std::size_t m_maxEventsPerBlock = 0;  // main thread

  // Larger output storage prepared by the main thread when a file is loaded; the render swaps
  // it in under the mutex, so only the render ever touches the live list. Afterwards it holds
  // the old storage until the main thread next replaces it.
  std::vector<MIDIEvent> m_spareOutput;
  bool m_swapPending = false;
  std::size_t m_outputCapacity = 0;  // capacity of the live list, known under the mutex
};

}  // namespace vantor
