// The event plumbing the MIDI articulation plug-ins share (Phrasekit's Monophonic and
// SoloControl, Bowkit's Legato and Shakes): event classification, the key range, the three
// stages of a block (sort the input, articulate it into `outQueue`, drain the queue into
// `midiOut`), the last-note-priority note logic, all-notes-off, the default list and the
// absent state chunk.
//
// Threads: construction, init and the destructor run on the engine's control thread and
// allocate; everything a plug-in calls from `process` appends into storage reserved at
// construction and never allocates or locks. Calls on one object never overlap.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "Sampler/sdk/Plugin.h"
#include "effects/small/articulation/NoteStack.h"

namespace sorvelin {

namespace sdk = vantor::KELOPluginSDK;

enum class EventKind { NoteOn, NoteOff, Controller, Other };

/// By `status` AND 0xF0, every channel alike: 0x90 with `data2` above 0.0 is a note-on, 0x90
/// with 0.0 or less (or NaN) and 0x80 a note-off, 0xB0 a controller; the rest Other (also the
/// values 256 and 512).
EventKind classify(const sdk::HDMIDIEvent& event);

/// Events of an incoming list to read: its `numEvents` limited to 0..2048; 0 for null.
std::size_t eventCount(const sdk::HDMIDIEvents* list);

/// Events in storage reserved at construction: appending never allocates; an event that does
/// not fit is dropped and counted.
class EventList {
 public:
  explicit EventList(std::size_t capacity);

  void push(const sdk::HDMIDIEvent& event);
  void clear() { count = 0; }
  /// Removes the first `n` entries; the rest move to the front in order.
  void eraseFront(std::size_t n);

  std::size_t size() const { return count; }
  std::size_t capacity() const { return room; }
  sdk::HDMIDIEvent* data() { return items.get(); }
  sdk::HDMIDIEvent& operator[](std::size_t i) { return items[i]; }
  const sdk::HDMIDIEvent& operator[](std::size_t i) const { return items[i]; }
  /// Events refused because the list was full, since construction.
  std::uint64_t dropped() const { return refused; }

 private:
  std::unique_ptr<sdk::HDMIDIEvent[]> items;
  std::size_t room;
  std::size_t count = 0;
  std::uint64_t refused = 0;
};

class ArticulationPlugin : public sdk::EffectPlugin {
 public:
  /// `createdPerEvent`: the most events the plug-in appends for one incoming event, not
  /// counting the note-offs of all-notes-off. The queue holds what one full block can make
  /// on top of a block carried over from the last one.
  ArticulationPlugin(sdk::Host* host, std::size_t createdPerEvent);

  /// `init`, answered as 1 or 0.
  std::int32_t initEx(const char* initText, const char* extraText) override;
  void setCustomDataLink(const sdk::CustomDataLink* link) override {}
  /// Reads the key range ("low:36|high:96"); always true.
  virtual bool init(const char* initText, const char* extraText);
  /// No state is saved.
  virtual void setChunk(unsigned char* data, unsigned size) {}
  int getChunk(void** data) { return 0; }

  std::int32_t lowestKey() const { return lowKey; }
  std::int32_t highestKey() const { return highKey; }
  const noteStack& held() const { return heldNotes; }
  /// Events lost because a list was full, and keys the stack refused, since construction.
  std::uint64_t lostEvents() const { return outQueue.dropped() + heldNotes.refusedPushes(); }

 protected:
  /// Sort stage: `sortBuffer` = the events of `midiIn`, each passed through `remap` (which
  /// may change it) as it is appended, then stably sorted by `bufTick`.
  template <typename Remap>
  void sortInput(const sdk::HDMIDIEvents* midiIn, Remap&& remap) {
    sortBuffer.clear();
    const std::size_t count = eventCount(midiIn);
    for (std::size_t i = 0; i < count; ++i) {
      sdk::HDMIDIEvent event = midiIn->events[i];
      remap(event);
      sortBuffer.push(event);
    }
    sortByTick();
  }
  void sortInput(const sdk::HDMIDIEvents* midiIn) {
    sortInput(midiIn, [](sdk::HDMIDIEvent&) {});
  }

  bool inRange(std::int32_t key) const { return lowKey <= key && key <= highKey; }
  /// Appends `event` unchanged.
  void forward(const sdk::HDMIDIEvent& event) { outQueue.push(event); }
  /// Appends a created event: `status` (144, 128 or 176 exactly), `data1`, `data2`, and
  /// `legacy`, `reserved` and `bufTick` of `trigger`.
  void send(const sdk::HDMIDIEvent& trigger, std::int32_t status, std::int32_t data1, float data2);
  void sendController(const sdk::HDMIDIEvent& trigger, std::int32_t number, float value) {
    send(trigger, 176, number, value);
  }
  /// Note-offs (value 0.5) of every held key, the most recent first, at the template's tick;
  /// the stack ends empty.
  void allNotesOff(const sdk::HDMIDIEvent& templateEvent);

  /// One note event (kind NoteOn or NoteOff). Outside the key range it is forwarded. Inside,
  /// with `lastNotePriority` one voice sounds: a new key takes over from the sounding one
  /// (note-on, then note-off of the previous key with the new velocity), releasing the
  /// sounding key returns to the most recent key still held (at `lastVelocity`), releasing
  /// another key sends nothing. Without it every note sounds: a note-on leaves as 144 and a
  /// note-off as 128 (key, its value), whatever their channel, and the stack still tracks
  /// the keys held.
  void articulateNote(const sdk::HDMIDIEvent& event, EventKind kind, bool lastNotePriority);

  // Where a plug-in adds events around the notes of articulateNote; empty here.
  /// One voice: before the note-on of `key`; the stack is not changed yet.
  virtual void beforeNoteOn(const sdk::HDMIDIEvent& trigger, std::int32_t key, float velocity) {}
  /// One voice: after the note-on of `key` when no key was held (where a note-off of the
  /// previous key would be); the stack is not changed yet.
  virtual void afterFirstNoteOn(const sdk::HDMIDIEvent& trigger, std::int32_t key, float velocity) {
  }
  /// One voice: `from` was released; before the note-on of `to`, the key still held.
  virtual void beforeReturn(const sdk::HDMIDIEvent& trigger, std::int32_t to, std::int32_t from) {}
  /// One voice: before the note-off of `key`, the last key that was held.
  virtual void beforeLastRelease(const sdk::HDMIDIEvent& trigger, std::int32_t key) {}
  /// Every note sounds: `key` is held now; before its note-on.
  virtual void beforeHeldNoteOn(const sdk::HDMIDIEvent& trigger, std::int32_t key, float velocity) {
  }

  /// The default list: the whole list cleared, then one controller 102 = `value` at tick 0.
  static void writeDefaults(sdk::HDMIDIEvents* list, float value);

  /// Drain: examines at most 2048 queued entries in order; `admit(entry)` may change an entry
  /// and answers whether it is written to `midiOut` (from index 0; `numEvents` = the number
  /// written). Entries beyond those examined stay queued and leave first in the next block,
  /// at tick 0. A null `midiOut` receives nothing; the entries are examined all the same.
  template <typename Admit>
  void drain(sdk::HDMIDIEvents* midiOut, Admit&& admit) {
    const std::size_t examined =
        std::min(outQueue.size(), std::size_t{sdk::MAX_MIDIEVENTS_PER_CALL_SDK});
    std::int64_t written = 0;
    for (std::size_t i = 0; i < examined; ++i) {
      sdk::HDMIDIEvent& entry = outQueue[i];
      if (admit(entry) && midiOut != nullptr) midiOut->events[written++] = entry;
    }
    if (midiOut != nullptr) midiOut->numEvents = written;
    carryOver(examined);
  }
  void drain(sdk::HDMIDIEvents* midiOut) {
    drain(midiOut, [](sdk::HDMIDIEvent&) { return true; });
  }

  EventList sortBuffer;
  EventList outQueue;
  noteStack heldNotes;
  std::int32_t lowKey = 0;
  std::int32_t highKey = 127;
  float lastVelocity = 0.8f;

 private:
  void sortByTick();
  void carryOver(std::size_t drained);

  EventList sortScratch;
};

}  // namespace sorvelin
