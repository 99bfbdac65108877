#include "standalone/host/MIDINoteMonitor.h"

#include <algorithm>
#include <cmath>

#include "VNL/source/LogLine.h"

namespace vantor {

namespace {

// (note, detune) order; a NaN detune sorts after every number and equals another NaN, so the
// order stays total whatever a host hands in.
template <typename K>
bool keyLess(const K& a, const K& b) {
  if (a.note != b.note) return a.note < b.note;
  if (std::isnan(a.detune)) return false;
  if (std::isnan(b.detune)) return true;
  return a.detune < b.detune;
}

}  // namespace

MIDINoteMonitor::MIDINoteMonitor(bool perChannel)
    : m_numMaps(perChannel ? 16 : 1), m_maps(std::make_unique<NoteMap[]>(m_numMaps)) {}

MIDINoteMonitor::~MIDINoteMonitor() = default;

void MIDINoteMonitor::processMIDIEvents(const std::vector<MIDIEvent>& events) {
  for (const MIDIEvent& event : events) {
    const std::uint8_t status = event.bytes[0];
    const std::uint8_t kind = status & 0xF0;
    if (kind != 0x80 && kind != 0x90) continue;
    const Key key{static_cast<std::uint8_t>(event.bytes[1] & 0x7F), event.detune};
    const bool noteOn = kind == 0x90 && (event.bytes[2] & 0x7F) != 0;
    if (noteOn) {
      remember(mapFor(status), key);
    } else {
      forget(mapFor(status), key);
    }
  }
}

void MIDINoteMonitor::getNotesOff(std::vector<MIDIEvent>& out, unsigned frameOffset) {
  for (int channel = 0; channel < m_numMaps; ++channel) {
    NoteMap& map = m_maps[channel];
    for (int i = 0; i < map.count; ++i) {
      MIDIEvent off{};
      off.bytes[0] = static_cast<std::uint8_t>(0x90 + channel);
      off.bytes[1] = map.keys[i].note;
      off.frameOffset = static_cast<std::int32_t>(frameOffset);
      off.detune = map.keys[i].detune;
      out.push_back(off);
    }
    map.count = 0;
  }
}

std::size_t MIDINoteMonitor::numNotes() const {
  std::size_t total = 0;
  for (int i = 0; i < m_numMaps; ++i) total += static_cast<std::size_t>(m_maps[i].count);
  return total;
}

void MIDINoteMonitor::remember(NoteMap& map, Key key) {
  Key* end = map.keys + map.count;
  Key* at = std::lower_bound(map.keys, end, key, keyLess<Key>);
  if (at != end && !keyLess(key, *at)) return;  // already sounding
  if (map.count == kNotesPerMap) {
    PLOGW("MIDINoteMonitor full, note %d not remembered", key.note);
    return;
  }
  std::move_backward(at, end, end + 1);
  *at = key;
  ++map.count;
}

void MIDINoteMonitor::forget(NoteMap& map, Key key) {
  Key* end = map.keys + map.count;
  Key* at = std::lower_bound(map.keys, end, key, keyLess<Key>);
  if (at == end || keyLess(key, *at)) return;
  std::move(at + 1, end, at);
  --map.count;
}

}  // namespace vantor
