#include "effects/small/articulation/ArticulationPlugin.h"

#include <algorithm>
#include <cstring>

#include "VNL/source/StableSort.h"
#include "effects/small/articulation/ArticulationText.h"

namespace sorvelin {

namespace {
constexpr std::size_t kBlock = sdk::MAX_MIDIEVENTS_PER_CALL_SDK;
}

EventKind classify(const sdk::HDMIDIEvent& event) {
  switch (event.status & 0xF0) {
    case 0x90:
      return event.data2 > 0.0f ? EventKind::NoteOn : EventKind::NoteOff;
    case 0x80:
      return EventKind::NoteOff;
    case 0xB0:
      return EventKind::Controller;
    default:
      return EventKind::Other;
  }
}

std::size_t eventCount(const sdk::HDMIDIEvents* list) {
  if (list == nullptr) return 0;
  return static_cast<std::size_t>(
      std::clamp<std::int64_t>(list->numEvents, 0, sdk::MAX_MIDIEVENTS_PER_CALL_SDK));
}

EventList::EventList(std::size_t capacity)
    : items(std::make_unique<sdk::HDMIDIEvent[]>(capacity)), room(capacity) {}

void EventList::push(const sdk::HDMIDIEvent& event) {
  if (count == room) {
    ++refused;
    return;
  }
  items[count++] = event;
}

void EventList::eraseFront(std::size_t n) {
  n = std::min(n, count);
  std::memmove(items.get(), items.get() + n, (count - n) * sizeof(sdk::HDMIDIEvent));
  count -= n;
}

ArticulationPlugin::ArticulationPlugin(sdk::Host* host, std::size_t createdPerEvent)
    : EffectPlugin(host),
      sortBuffer(kBlock),
      // Each key pushed in a block leaves at most once through all-notes-off; the keys held
      // before it are bounded by the stack.
      outQueue(kBlock * (createdPerEvent + 1) + noteStack::kCapacity + kBlock),
      sortScratch(kBlock) {
  numMIDIIns = 1;
  numMIDIOuts = 1;
}

std::int32_t ArticulationPlugin::initEx(const char* initText, const char* extraText) {
  return init(initText, extraText) ? 1 : 0;
}

bool ArticulationPlugin::init(const char* initText, const char* extraText) {
  readKeyRange(initText, lowKey, highKey);
  return true;
}

void ArticulationPlugin::sortByTick() {
  vantor::stableSort(sortBuffer.data(), sortBuffer.size(), sortScratch.data(),
                     sortScratch.capacity(), sdk::midiSort);
}

void ArticulationPlugin::send(const sdk::HDMIDIEvent& trigger, std::int32_t status,
                              std::int32_t data1, float data2) {
  sdk::HDMIDIEvent event = trigger;
  event.status = status;
  event.data1 = data1;
  event.data2 = data2;
  outQueue.push(event);
}

void ArticulationPlugin::allNotesOff(const sdk::HDMIDIEvent& templateEvent) {
  while (heldNotes.Count() > 0) send(templateEvent, 128, heldNotes.Pop(), 0.5f);
}

void ArticulationPlugin::articulateNote(const sdk::HDMIDIEvent& event, EventKind kind,
                                        bool lastNotePriority) {
  const std::int32_t key = event.data1;
  const float value = event.data2;
  if (!inRange(key)) {
    forward(event);
    return;
  }
  if (!lastNotePriority) {
    if (kind == EventKind::NoteOn) {
      heldNotes.Push(key);
      beforeHeldNoteOn(event, key, value);
      send(event, 144, key, value);
    } else {
      heldNotes.Remove(key);
      send(event, 128, key, value);
    }
    return;
  }
  if (kind == EventKind::NoteOn) {
    beforeNoteOn(event, key, value);
    send(event, 144, key, value);
    if (heldNotes.Count() > 0)
      send(event, 128, heldNotes.Peek(), value);
    else
      afterFirstNoteOn(event, key, value);
    heldNotes.Push(key);
    lastVelocity = value;
    return;
  }
  if (heldNotes.Count() < 1 || heldNotes.Peek() != key) {
    heldNotes.Remove(key);
    return;
  }
  heldNotes.Pop();
  if (heldNotes.Count() > 0) {
    const std::int32_t to = heldNotes.Peek();
    beforeReturn(event, to, key);
    send(event, 144, to, lastVelocity);
    send(event, 128, key, lastVelocity);
  } else {
    beforeLastRelease(event, key);
    send(event, 128, key, value);
  }
}

void ArticulationPlugin::writeDefaults(sdk::HDMIDIEvents* list, float value) {
  if (list == nullptr) return;
  std::memset(static_cast<void*>(list), 0, sizeof *list);
  list->numEvents = 1;
  list->events[0].status = 176;
  list->events[0].data1 = 102;
  list->events[0].data2 = value;
}

void ArticulationPlugin::carryOver(std::size_t drained) {
  outQueue.eraseFront(drained);
  for (std::size_t i = 0; i < outQueue.size(); ++i) outQueue[i].bufTick = 0;
}

}  // namespace sorvelin
