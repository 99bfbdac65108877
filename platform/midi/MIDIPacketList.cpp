// The packet-list helpers alone (library kelo_midi_packets), for code that builds packet lists
// without the MIDI services and their back ends: the Audio Unit's MIDI output.
#include <cstring>

#include "platform/midi/CoreMIDI.h"

MIDIPacket* MIDIPacketListInit(MIDIPacketList* list) {
  if (list == nullptr) return nullptr;
  list->numPackets = 0;
  return &list->packet[0];
}

MIDIPacket* MIDIPacketListAdd(MIDIPacketList* list, ByteCount listSize, MIDIPacket* current,
                              MIDITimeStamp time, ByteCount length, const Byte* data) {
  if (list == nullptr || current == nullptr || (length > 0 && data == nullptr)) return nullptr;
  auto* const base = reinterpret_cast<Byte*>(list);
  auto* const end = base + listSize;
  // Joined only within the packet's nominal bytes, so that a reader indexing `data` (as
  // CoreMIDI code does) stays inside it; a single longer message still gets a packet of its own.
  if (list->numPackets > 0 && length > 0 && current->timeStamp == time && current->length > 0 &&
      MIDIPacketData(current)[0] != 0xF0 && data[0] != 0xF0 &&
      static_cast<ByteCount>(current->length) + length <= kMIDIPacketNominalBytes &&
      MIDIPacketData(current) + current->length + length <= end) {
    std::memcpy(MIDIPacketData(current) + current->length, data, length);
    current->length = static_cast<UInt16>(current->length + length);
    return current;
  }
  MIDIPacket* packet = list->numPackets == 0 ? current : MIDIPacketNext(current);
  if (length > 0xFFFF || MIDIPacketData(packet) + length > end) return nullptr;
  packet->timeStamp = time;
  packet->length = static_cast<UInt16>(length);
  if (length > 0) std::memcpy(MIDIPacketData(packet), data, length);
  ++list->numPackets;
  return packet;
}
