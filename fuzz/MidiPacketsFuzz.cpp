// MIDI bytes from the fuzzer, cut into packets of a packet list with MIDIPacketListAdd and read
// by an input driver's parser. The list holds every byte added, in order, each with its time;
// bytes at the time of the packet before join it exactly when that packet and they are no
// exclusive and the two together stay within the nominal 256 bytes (so only a single longer
// add makes a longer packet). Every stored message is a whole one (a status, exactly its data
// bytes, zeros after them), every real-time byte before a packet's first exclusive comes out
// on its own, and every message carries the time of a packet of the list.
//
// Input: repeated [length byte, time step byte, `length` MIDI bytes]; a length byte of 0xFF
// takes every byte left (one long message). A time step of 0 adds the bytes at the previous
// time.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <set>
#include <vector>

#include "fuzz/FuzzCheck.h"
#include "platform/midi/CoreMIDI.h"
#include "standalone/host/MIDIDriver.h"

namespace {

// Data bytes of a status (-1: not a message start the driver keeps).
int dataBytes(std::uint8_t status) {
  if (status < 0xF0) return (status & 0xE0) == 0xC0 ? 1 : 2;
  switch (status) {
    case 0xF1: case 0xF3: return 1;
    case 0xF2: return 2;
    case 0xF6: return 0;
    default: return status >= 0xF8 ? 0 : -1;
  }
}

// Real-time bytes the parser must pass on: those before the packet's first exclusive.
int realtimeBytes(const MIDIPacket& packet) {
  int count = 0;
  const Byte* const bytes = MIDIPacketData(&packet);
  for (UInt16 i = 0; i < packet.length && bytes[i] != 0xF0; ++i) {
    if (bytes[i] >= 0xF8) ++count;
  }
  return count;
}

// A packet as the list should hold it.
struct Expected {
  MIDITimeStamp time;
  std::vector<Byte> bytes;
};

// Adds `length` bytes at `time` to the expected packets.
void expectAdd(std::vector<Expected>& packets, MIDITimeStamp time, const std::uint8_t* bytes,
               std::size_t length) {
  if (!packets.empty() && length > 0 && packets.back().time == time) {
    std::vector<Byte>& last = packets.back().bytes;
    if (!last.empty() && last[0] != 0xF0 && bytes[0] != 0xF0 && last.size() + length <= 256) {
      last.insert(last.end(), bytes, bytes + length);
      return;
    }
  }
  packets.push_back({time, std::vector<Byte>(bytes, bytes + length)});
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Fewer bytes than the driver's ring has slots, so nothing is dropped.
  if (size > 3000) size = 3000;
  alignas(8) static Byte storage[32768];
  auto* list = reinterpret_cast<MIDIPacketList*>(storage);
  MIDIPacket* packet = MIDIPacketListInit(list);
  std::vector<Expected> expected;
  MIDITimeStamp time = 1000;
  std::size_t at = 0;
  while (at + 2 <= size) {
    std::size_t length = data[at];
    const std::uint8_t step = data[at + 1];
    at += 2;
    if (length == 0xFF || length > size - at) length = size - at;
    time += step;
    // The storage has room for any input of this size, however it is cut.
    MIDIPacket* next = MIDIPacketListAdd(list, sizeof(storage), packet, time, length, data + at);
    FUZZ_CHECK(next != nullptr);
    expectAdd(expected, time, data + at, length);
    packet = next;
    at += length;
  }

  MIDIDriver driver(true, 0);
  driver.start(nullptr);
  driver.parsePacketList(list);

  std::set<std::uint64_t> times;
  int realtimeExpected = 0;
  const MIDIPacket* p = &list->packet[0];
  FUZZ_CHECK(list->numPackets == expected.size());
  for (UInt32 i = 0; i < list->numPackets; ++i, p = MIDIPacketNext(p)) {
    FUZZ_CHECK(p->timeStamp == expected[i].time);
    FUZZ_CHECK(p->length == expected[i].bytes.size());
    FUZZ_CHECK(std::equal(expected[i].bytes.begin(), expected[i].bytes.end(), MIDIPacketData(p)));
    times.insert(AudioConvertHostTimeToNanos(p->timeStamp));
    realtimeExpected += realtimeBytes(*p);
  }
  int realtimeSeen = 0;
  DriverMIDIEvent event;
  while (driver.getMessage(event)) {
    const int needed = dataBytes(event.bytes[0]);
    FUZZ_CHECK(needed >= 0);
    for (int i = 1; i <= needed; ++i) FUZZ_CHECK(event.bytes[i] < 0x80);
    for (int i = needed + 1; i < 4; ++i) FUZZ_CHECK(event.bytes[i] == 0);
    FUZZ_CHECK(times.count(event.hostTimeNanos) == 1);
    if (event.bytes[0] >= 0xF8) ++realtimeSeen;
  }
  FUZZ_CHECK(realtimeSeen == realtimeExpected);
  FUZZ_CHECK(driver.takeDroppedCount() == 0);
  return 0;
}
