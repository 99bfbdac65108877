#include "tests/support/SmfWriter.h"

#include <algorithm>
#include <cmath>

namespace kelo::test {

namespace {

std::string bigEndian(std::uint64_t value, int bytes) {
  std::string out;
  for (int i = bytes - 1; i >= 0; --i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
  return out;
}

}  // namespace

std::string bytesOf(std::initializer_list<int> values) {
  std::string out;
  for (int value : values) out.push_back(static_cast<char>(value & 0xFF));
  return out;
}

std::string smfVarLen(std::uint64_t value) {
  std::string out(1, static_cast<char>(value & 0x7F));
  value >>= 7;
  while (value != 0) {
    out.insert(out.begin(), static_cast<char>(0x80 | (value & 0x7F)));
    value >>= 7;
  }
  return out;
}

SmfTrack& SmfTrack::add(std::uint32_t tick, std::string bytes) {
  m_events.push_back({tick, std::move(bytes)});
  return *this;
}

SmfTrack& SmfTrack::channelMessage(std::uint32_t tick, int status, int channel, int data1,
                                   int data2, bool twoDataBytes) {
  std::string bytes = bytesOf({status | (channel & 0x0F), data1});
  if (twoDataBytes) bytes.push_back(static_cast<char>(data2 & 0xFF));
  return add(tick, bytes);
}

SmfTrack& SmfTrack::noteOn(std::uint32_t tick, int channel, int key, int velocity) {
  return channelMessage(tick, 0x90, channel, key, velocity, true);
}
SmfTrack& SmfTrack::noteOff(std::uint32_t tick, int channel, int key, int velocity) {
  return channelMessage(tick, 0x80, channel, key, velocity, true);
}
SmfTrack& SmfTrack::controller(std::uint32_t tick, int channel, int number, int value) {
  return channelMessage(tick, 0xB0, channel, number, value, true);
}
SmfTrack& SmfTrack::program(std::uint32_t tick, int channel, int number) {
  return channelMessage(tick, 0xC0, channel, number, 0, false);
}
SmfTrack& SmfTrack::pitchBend(std::uint32_t tick, int channel, int lsb, int msb) {
  return channelMessage(tick, 0xE0, channel, lsb, msb, true);
}
SmfTrack& SmfTrack::polyPressure(std::uint32_t tick, int channel, int key, int value) {
  return channelMessage(tick, 0xA0, channel, key, value, true);
}
SmfTrack& SmfTrack::channelPressure(std::uint32_t tick, int channel, int value) {
  return channelMessage(tick, 0xD0, channel, value, 0, false);
}

SmfTrack& SmfTrack::meta(std::uint32_t tick, int type, const std::string& data) {
  return add(tick, bytesOf({0xFF, type}) + smfVarLen(data.size()) + data);
}
SmfTrack& SmfTrack::tempoMicros(std::uint32_t tick, std::uint32_t micros) {
  return meta(tick, 0x51, bigEndian(micros, 3));
}
SmfTrack& SmfTrack::tempo(std::uint32_t tick, double bpm) {
  return tempoMicros(tick, static_cast<std::uint32_t>(std::lround(60000000.0 / bpm)));
}
SmfTrack& SmfTrack::timeSignature(std::uint32_t tick, int numerator, int power, int clocks,
                                  int thirtySeconds) {
  return meta(tick, 0x58, bytesOf({numerator, power, clocks, thirtySeconds}));
}
SmfTrack& SmfTrack::text(std::uint32_t tick, int type, const std::string& text) {
  return meta(tick, type, text);
}
SmfTrack& SmfTrack::sysex(std::uint32_t tick, const std::string& data) {
  return add(tick, bytesOf({0xF0}) + smfVarLen(data.size()) + data);
}
SmfTrack& SmfTrack::endOfTrack(std::uint32_t tick) {
  m_endWritten = true;
  return meta(tick, 0x2F, "");
}
SmfTrack& SmfTrack::withoutEndOfTrack() {
  m_noEnd = true;
  return *this;
}
SmfTrack& SmfTrack::raw(std::uint32_t tick, const std::string& bytes) { return add(tick, bytes); }

std::string SmfTrack::chunk() const {
  std::vector<Event> events = m_events;
  std::stable_sort(events.begin(), events.end(),
                   [](const Event& a, const Event& b) { return a.tick < b.tick; });
  if (!m_endWritten && !m_noEnd) {
    const std::uint32_t last = events.empty() ? 0 : events.back().tick;
    events.push_back({last, bytesOf({0xFF, 0x2F, 0x00})});
  }
  std::string body;
  std::uint32_t previous = 0;
  for (const Event& event : events) {
    body += smfVarLen(event.tick - previous);
    body += event.bytes;
    previous = event.tick;
  }
  return "MTrk" + bigEndian(body.size(), 4) + body;
}

std::string smfHeader(int format, int numTracks, int division) {
  return "MThd" + bigEndian(6, 4) + bigEndian(format, 2) + bigEndian(numTracks, 2) +
         bigEndian(division, 2);
}

std::string smfFile(int format, int division, const std::vector<SmfTrack>& tracks) {
  std::string out = smfHeader(format, static_cast<int>(tracks.size()), division);
  for (const SmfTrack& track : tracks) out += track.chunk();
  return out;
}

}  // namespace kelo::test
