// sorvelin::Shakes, "com.Sorvelin.Bowkit.Shakes": shakes, a fast alternation between a base note
// and a neighbour played as overlapping keys. With shakes mode on (controller 102 strictly
// between 0.25 and 0.75) each overlap becomes a note-on and, one or two frames later, a
// note-off; the alternating notes take per-key velocities, a phrase starts with a portamento
// controller (20) chosen by its base note and holds sustain (64) at half from its first
// overlap, and its end restores the instrument's controllers (20, 21, 28, and 15, which is held
// back during the mode). With it off notes pass (as channel-1 notes) while the held keys are
// tracked. Its output goes through a queue kept from block to block, because events may fall
// after the end of their block.
// Threads: as every articulation plug-in (ArticulationPlugin.h); the queue's room is reserved
// at construction.
#pragma once

#include <cstdint>

#include "effects/small/articulation/ArticulationPlugin.h"

namespace sorvelin {

/// Velocity of an upper alternating note on `key` (key + the init text's shift), over 127.
float computeUpperVel(std::int64_t key);
/// Controller 20 of a phrase on base key `key` (key + the shift), over 127.
float computePortaByNote(std::int64_t key);

class Shakes : public ArticulationPlugin {
 public:
  explicit Shakes(sdk::Host* host);

  /// The key range, and an item "shift<n>:" (one piece containing "shift") makes the shift -n:
  /// the integer after the piece's first five characters; any other one-piece item sets 0.
  bool init(const char* initText, const char* extraText) override;
  /// Controller 102 = 1.0 while shakes mode is on, else 0.0.
  void getDefaults(sdk::HDMIDIEvents* list) override;
  /// Sort, articulate into the queue, deliver what falls inside these `frames` (at most 2048;
  /// what is due but does not fit leaves first in the next block, at tick 0); later events
  /// wait with `frames` taken off their tick. No allocation or lock.
  void process(float** audio, std::int32_t frames, const sdk::HDMIDIEvents* midiIn,
               sdk::HDMIDIEvents* midiOut, const sdk::SyncInfo* sync) override;

  bool isShakesOn() const { return shakesOn; }
  std::int32_t shift() const { return keyShift; }
  std::size_t queued() const { return outQueue.size(); }
  std::size_t queueCapacity() const { return outQueue.capacity(); }

 private:
  void processShakes();
  void shakeNoteOn(const sdk::HDMIDIEvent& event);
  void shakeNoteOff(const sdk::HDMIDIEvent& event);
  /// Velocity of an alternating note on `key`: the table's above the base note, else 107/127.
  float alternateVelocity(std::int32_t key) const;
  /// A created event `frames` after its trigger.
  void sendLater(const sdk::HDMIDIEvent& trigger, std::uint32_t frames, std::int32_t status,
                 std::int32_t data1, float data2);
  void allNotesOff(const sdk::HDMIDIEvent& templateEvent);
  void legatoON(const sdk::HDMIDIEvent& trigger);
  void legatoOFF(const sdk::HDMIDIEvent& trigger);
  void manageQueue(std::int32_t frames, sdk::HDMIDIEvents* midiOut);
  void noteQueuedNoteOns(std::size_t from);

  bool shakesOn = false;
  bool sustainSent = false;
  std::int32_t keyShift = 0;
  std::int32_t baseNote = 0;
  float savedCC21 = 0.0f;
  float savedCC20 = 0.0f;
  float savedCC15 = 0.0f;
  // The latest tick of a note-on waiting in the queue: all-notes-off goes out no earlier, or a
  // note-on one frame after it would sound with its key no longer held.
  std::uint32_t latestNoteOn = 0;
  EventList queueScratch;
};

}  // namespace sorvelin
