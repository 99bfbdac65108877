#include "effects/small/Bowkit/Shakes.h"

#include <algorithm>
#include <limits>
#include <string>

#include "VNL/source/StableSort.h"
#include "effects/small/articulation/ArticulationText.h"

namespace sorvelin {

namespace {

enum Controller : std::int32_t {
  kCC15 = 15,
  kPortamento = 20,
  kCC21 = 21,
  kCC28 = 28,
  kSustain = 64,
  kSwitch = 102,
};

constexpr float kLowerVelocity = 107.0f / 127.0f;
constexpr float kPhraseCC28 = 44.0f / 127.0f;

// Values of keys 81..94, 78..94; the end columns answer every key below and above.
constexpr std::uint8_t kUpperVel[] = {70, 64, 57, 54, 52, 51, 50, 48, 47, 45, 43, 40, 38, 36};
constexpr std::uint8_t kPortaByNote[] = {69, 69, 69, 69, 70, 71, 72, 73, 74,
                                         75, 75, 75, 75, 75, 75, 75, 77};

template <std::size_t N>
float tableValue(const std::uint8_t (&table)[N], std::int64_t first, std::uint8_t below,
                 std::uint8_t above, std::int64_t key) {
  if (key < first) return below / 127.0f;
  if (key >= first + static_cast<std::int64_t>(N)) return above / 127.0f;
  return table[key - first] / 127.0f;
}

// The most one event makes besides all-notes-off's note-offs: a last release (or the end of a
// phrase by a controller) sends four controllers, controller 15 twice and a note-off.
constexpr std::size_t kCreatedPerEvent = 7;

}  // namespace

float computeUpperVel(std::int64_t key) { return tableValue(kUpperVel, 81, 80, 36, key); }

float computePortaByNote(std::int64_t key) { return tableValue(kPortaByNote, 78, 67, 77, key); }

Shakes::Shakes(sdk::Host* host)
    : ArticulationPlugin(host, kCreatedPerEvent), queueScratch(outQueue.capacity()) {}

bool Shakes::init(const char* initText, const char* extraText) {
  ArticulationPlugin::init(initText, extraText);
  forEachInitItem(initText, [this](const std::vector<std::string>& pieces) {
    if (pieces.size() != 1) return;
    if (pieces[0].find("shift") == std::string::npos) {
      keyShift = 0;
      return;
    }
    const std::int64_t shift = -static_cast<std::int64_t>(leadingInteger(pieces[0].c_str() + 5));
    keyShift = static_cast<std::int32_t>(
        std::min<std::int64_t>(shift, std::numeric_limits<std::int32_t>::max()));
  });
  return true;
}

void Shakes::getDefaults(sdk::HDMIDIEvents* list) { writeDefaults(list, shakesOn ? 1.0f : 0.0f); }

void Shakes::process(float** audio, std::int32_t frames, const sdk::HDMIDIEvents* midiIn,
                     sdk::HDMIDIEvents* midiOut, const sdk::SyncInfo* sync) {
  sortInput(midiIn);
  processShakes();
  manageQueue(frames, midiOut);
}

void Shakes::processShakes() {
  for (std::size_t i = 0; i < sortBuffer.size(); ++i) {
    const sdk::HDMIDIEvent& event = sortBuffer[i];
    const std::size_t queuedBefore = outQueue.size();
    const EventKind kind = classify(event);
    switch (kind) {
      case EventKind::Controller:
        if (event.data1 == kSwitch) {
          shakesOn = event.data2 > 0.25f && event.data2 < 0.75f;
          sdk::HDMIDIEvent sent = event;
          if (shakesOn) sent.data2 = 2.0f;
          forward(sent);
          allNotesOff(sent);
          break;
        }
        if (event.data1 == kCC15) {
          savedCC15 = event.data2;
          if (!shakesOn) forward(event);
          break;
        }
        forward(event);
        if (event.data1 == kPortamento) savedCC20 = event.data2;
        if (event.data1 == kCC21) savedCC21 = event.data2;
        if (event.data1 == 120 || event.data1 == 123) allNotesOff(event);
        break;
      case EventKind::NoteOn:
      case EventKind::NoteOff:
        if (!shakesOn || !inRange(event.data1))
          articulateNote(event, kind, false);
        else if (kind == EventKind::NoteOn)
          shakeNoteOn(event);
        else
          shakeNoteOff(event);
        break;
      case EventKind::Other:
        forward(event);
        break;
    }
    noteQueuedNoteOns(queuedBefore);
  }
}

void Shakes::shakeNoteOn(const sdk::HDMIDIEvent& event) {
  const std::int32_t key = event.data1;
  if (heldNotes.Count() == 1 && !sustainSent) legatoON(event);
  const bool first = heldNotes.Count() < 1;
  if (first) baseNote = key;
  const float velocity = first ? event.data2 : alternateVelocity(key);
  send(event, 144, key, velocity);
  if (!first) {
    sendLater(event, 1, 128, heldNotes.Peek(), velocity);
  } else {
    sendController(event, kCC21, 0.0f);
    sendController(event, kPortamento, computePortaByNote(std::int64_t{baseNote} + keyShift));
    sendController(event, kCC28, kPhraseCC28);
  }
  heldNotes.Push(key);
}

void Shakes::shakeNoteOff(const sdk::HDMIDIEvent& event) {
  const std::int32_t key = event.data1;
  if (heldNotes.Count() < 1 || heldNotes.Peek() != key) {
    heldNotes.Remove(key);
    return;
  }
  heldNotes.Pop();
  if (heldNotes.Count() < 1) {
    legatoOFF(event);
    baseNote = 0;
    sendLater(event, 1, 128, key, event.data2);
    return;
  }
  const std::int32_t next = heldNotes.Peek();
  const float velocity = alternateVelocity(next);
  sendLater(event, 1, 144, next, velocity);
  sendLater(event, 2, 128, key, velocity);
}

float Shakes::alternateVelocity(std::int32_t key) const {
  return key > baseNote ? computeUpperVel(std::int64_t{key} + keyShift) : kLowerVelocity;
}

void Shakes::sendLater(const sdk::HDMIDIEvent& trigger, std::uint32_t frames, std::int32_t status,
                       std::int32_t data1, float data2) {
  sdk::HDMIDIEvent later = trigger;
  constexpr std::uint32_t kLast = std::numeric_limits<std::uint32_t>::max();
  later.bufTick = trigger.bufTick > kLast - frames ? kLast : trigger.bufTick + frames;
  send(later, status, data1, data2);
}

void Shakes::allNotesOff(const sdk::HDMIDIEvent& templateEvent) {
  sdk::HDMIDIEvent at = templateEvent;
  at.bufTick = std::max(at.bufTick, latestNoteOn);
  ArticulationPlugin::allNotesOff(at);
  legatoOFF(at);
}

void Shakes::legatoON(const sdk::HDMIDIEvent& trigger) {
  sustainSent = true;
  sendController(trigger, kSustain, 0.5f);
  sendController(trigger, kCC15, 0.0f);
}

void Shakes::legatoOFF(const sdk::HDMIDIEvent& trigger) {
  sustainSent = false;
  sendController(trigger, kSustain, 0.0f);
  sendController(trigger, kPortamento, savedCC20);
  sendController(trigger, kCC21, savedCC21);
  sendController(trigger, kCC28, 0.0f);
  if (savedCC15 > 0.0f) {
    sendController(trigger, kCC15, savedCC15);
    sendLater(trigger, 2, 176, kCC15, 0.0f);
    savedCC15 = 0.0f;
  }
}

void Shakes::noteQueuedNoteOns(std::size_t from) {
  for (std::size_t i = from; i < outQueue.size(); ++i)
    if (classify(outQueue[i]) == EventKind::NoteOn)
      latestNoteOn = std::max(latestNoteOn, outQueue[i].bufTick);
}

void Shakes::manageQueue(std::int32_t frames, sdk::HDMIDIEvents* midiOut) {
  vantor::stableSort(outQueue.data(), outQueue.size(), queueScratch.data(),
                     queueScratch.capacity(), sdk::midiSort);
  const auto end = static_cast<std::uint32_t>(std::max(frames, 0));
  std::size_t due = 0;
  while (due < outQueue.size() && due < std::size_t{sdk::MAX_MIDIEVENTS_PER_CALL_SDK} &&
         outQueue[due].bufTick < end)
    ++due;
  if (midiOut != nullptr) {
    std::copy(outQueue.data(), outQueue.data() + due, midiOut->events);
    midiOut->numEvents = static_cast<std::int64_t>(due);
  }
  outQueue.eraseFront(due);
  // What was due but did not fit leaves first in the next block.
  for (std::size_t i = 0; i < outQueue.size(); ++i)
    outQueue[i].bufTick = outQueue[i].bufTick < end ? 0 : outQueue[i].bufTick - end;
  latestNoteOn = 0;
  noteQueuedNoteOns(0);
}

}  // namespace sorvelin
