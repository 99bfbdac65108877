// The ports of our own client in a MIDI back end (virtual endpoints and one input port per
// connection to a source), in a table of fixed size that the back end's MIDI thread reads
// without locking. Internal to platform/midi.
//
// Threads: `add`, `remove`, `find` and `clear` are [main]; the MIDI thread reads `slot(i).port`
// between `enterPass` and `leavePass`. A slot's fields are written before its port is
// published (release) and the port is withdrawn first, so a reader that sees a port sees the
// rest; `remove` hands the port back only once the MIDI thread has left the pass that may
// have seen it, so the caller can then unregister it and the slot can be reused.
#pragma once

#include <unistd.h>

#include <array>
#include <atomic>
#include <string>

#include "platform/midi/MIDIBackend.h"

namespace kelo::midi {

/// `Port` is the back end's handle of a port; `kNone` marks a free slot.
template <class Port, Port kNone>
class PortTable {
 public:
  static constexpr int kSlots = 64;

  struct Slot {
    std::atomic<Port> port{kNone};
    bool input = false;  // MIDI comes in through it
    Receiver receiver;
    std::string key;     // the back end's name of the port
  };

  /// The first free slot, or -1 when all are taken.
  int freeSlot() const {
    for (int i = 0; i < kSlots; ++i) {
      if (m_slots[i].port.load() == kNone) return i;
    }
    return -1;
  }

  /// Fills free slot `index` and publishes `port` last.
  void publish(int index, Port port, bool input, const Receiver& receiver, std::string key) {
    Slot& slot = m_slots[index];
    slot.input = input;
    slot.receiver = receiver;
    slot.key = std::move(key);
    slot.port.store(port, std::memory_order_release);
  }

  /// Withdraws slot `index`'s port and returns it once no pass can still use it; kNone when
  /// the slot was free. Index out of range: kNone.
  Port remove(int index) {
    if (index < 0 || index >= kSlots) return kNone;
    const Port port = m_slots[index].port.exchange(kNone);
    if (port != kNone) waitForPassEnd();
    return port;
  }

  /// The slot holding a port named `key`, or -1.
  int find(const std::string& key) const {
    for (int i = 0; i < kSlots; ++i) {
      if (m_slots[i].port.load() != kNone && m_slots[i].key == key) return i;
    }
    return -1;
  }

  /// Forgets every port without waiting: the MIDI thread has stopped.
  void clear() {
    for (Slot& slot : m_slots) slot.port.store(kNone);
  }

  /// Connection numbers handed to the services are slot + 1, so that 0 can mean none.
  static int connectionOf(int slot) { return slot + 1; }
  static int slotOf(int connection) { return connection - 1; }

  const Slot& slot(int index) const { return m_slots[index]; }
  std::array<Slot, kSlots>& slots() { return m_slots; }

  /// [MIDI thread] Around each pass over the slots.
  void enterPass() { m_pass.fetch_add(1); }
  void leavePass() { m_pass.fetch_add(1); }
  /// The MIDI thread will run no further pass (its server went away): nobody waits for it.
  void abandonPasses() { m_abandoned.store(true); }

 private:
  void waitForPassEnd() {
    const unsigned pass = m_pass.load();
    if ((pass & 1u) == 0) return;  // odd while inside a pass
    while (m_pass.load() == pass && !m_abandoned.load()) usleep(100);
  }

  std::array<Slot, kSlots> m_slots;
  std::atomic<unsigned> m_pass{0};
  std::atomic<bool> m_abandoned{false};
};

}  // namespace kelo::midi
