// MIDI events and event lists as VST 2.4 hosts pass them to a plug-in. Header only.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "platform/vst2/VstInterface.h"

namespace kelo::test {

/// A host's MIDI event (a note-on unless `status` says otherwise).
inline VstMidiEvent note(std::uint8_t key, std::int32_t offset, std::uint8_t velocity = 100,
                        std::int32_t status = 0x90) {
  VstMidiEvent event{};
  event.type = kVstMidiType;
  event.byteSize = sizeof(VstMidiEvent);
  event.deltaFrames = offset;
  event.midiData[0] = static_cast<char>(status);
  event.midiData[1] = static_cast<char>(key);
  event.midiData[2] = static_cast<char>(velocity);
  return event;
}

/// A host's event list: a VstEvents head followed by as many pointers as needed.
class EventList {
 public:
  explicit EventList(std::vector<VstMidiEvent> events) : m_events(std::move(events)) {
    m_storage.resize(2 + m_events.size() + 2);
    auto* head = reinterpret_cast<VstEvents*>(m_storage.data());
    head->numEvents = static_cast<std::int32_t>(m_events.size());
    for (std::size_t i = 0; i < m_events.size(); ++i)
      VstEventsAt(*head, i) = reinterpret_cast<VstEvent*>(&m_events[i]);
  }
  VstEvents* get() { return reinterpret_cast<VstEvents*>(m_storage.data()); }
  VstEvent** pointers() { return &VstEventsAt(*get(), 0); }

 private:
  std::vector<VstMidiEvent> m_events;
  std::vector<std::intptr_t> m_storage;
};

}  // namespace kelo::test
