// Doubles and helpers of the MIDI input tests: a device manager that records what it is told,
// a settable host clock, packet lists from byte strings.
#pragma once

#include <atomic>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "platform/midi/CoreMIDI.h"
#include "platform/midi/MIDIBackend.h"
#include "standalone/host/MIDIDeviceManagerInterface.h"

namespace kelo::test {

/// An endpoint of the fake MIDI system, of a device named `device`.
inline kelo::midi::EndpointDescription endpoint(const std::string& key, const std::string& device,
                                                const std::string& name, bool isSource,
                                                SInt32 uniqueID = 0) {
  kelo::midi::EndpointDescription d;
  d.key = key;
  d.deviceKey = device;
  d.deviceName = device;
  d.name = name;
  d.isSource = isSource;
  d.hasUniqueID = uniqueID != 0;
  d.uniqueID = uniqueID;
  return d;
}

/// Records each call as "add 4", "remove 4", "rename 4 Keys", "acquire 4", "release 4", and
/// installs itself for its lifetime.
class RecordingMIDIManager final : public vantor::MIDIDeviceManagerInterface {
 public:
  RecordingMIDIManager() { vantor::setMIDIDeviceManager(this); }
  ~RecordingMIDIManager() override { vantor::setMIDIDeviceManager(nullptr); }
  void addMIDIDevice(int id) override { calls.push_back("add " + std::to_string(id)); }
  void removeMIDIDevice(int id) override { calls.push_back("remove " + std::to_string(id)); }
  void renameMIDIDevice(int id, const std::string& name) override {
    calls.push_back("rename " + std::to_string(id) + " " + name);
  }
  void acquireMIDIDevice(const vantor::Context*, int id) override {
    calls.push_back("acquire " + std::to_string(id));
  }
  void releaseMIDIDevice(const vantor::Context*, int id) override {
    calls.push_back("release " + std::to_string(id));
  }
  std::vector<std::string> calls;
};

/// A host clock the test moves by hand; installed for the object's lifetime.
class ManualHostClock {
 public:
  ManualHostClock() { m_previous = kelo::midi::setHostClock(&ManualHostClock::read); }
  ~ManualHostClock() { kelo::midi::setHostClock(m_previous); }
  static void set(std::uint64_t nanos) { s_now.store(nanos); }
  static std::uint64_t now() { return s_now.load(); }

 private:
  static std::uint64_t read() { return s_now.load(); }
  static inline std::atomic<std::uint64_t> s_now{0};
  kelo::midi::HostClock m_previous = nullptr;
};

/// A packet list of one packet per entry, in storage it owns.
class PacketList {
 public:
  struct Packet {
    MIDITimeStamp time;
    std::vector<Byte> bytes;
  };
  PacketList(std::initializer_list<Packet> packets) : m_storage(packets.size() * 300 + 64) {
    auto* list = get();
    MIDIPacket* packet = MIDIPacketListInit(list);
    for (const Packet& p : packets) {
      // One packet each, even for bytes of equal time: write the packet by hand.
      MIDIPacket* slot = list->numPackets == 0 ? packet : MIDIPacketNext(packet);
      slot->timeStamp = p.time;
      slot->length = static_cast<UInt16>(p.bytes.size());
      for (std::size_t i = 0; i < p.bytes.size(); ++i) MIDIPacketData(slot)[i] = p.bytes[i];
      ++list->numPackets;
      packet = slot;
    }
  }
  MIDIPacketList* get() { return reinterpret_cast<MIDIPacketList*>(m_storage.data()); }

 private:
  std::vector<std::uint32_t> m_storage;  // 4-byte aligned
};

}  // namespace kelo::test
