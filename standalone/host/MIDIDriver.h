// One connection to the MIDI services. An input driver owns an input port connected to one
// source (or receives from one of the program's virtual destinations); its read callback parses
// packets into a ring of time-stamped messages that the render thread drains. An output driver
// only holds an output port for one destination: the program sends no MIDI.
//
// The ring: a `vantor::SpscRing` of 4096 slots (VNL/source/SpscRing.h), the read callback on
// the services' MIDI thread its producer and the render thread its consumer; a full ring drops
// the newest message and counts it. Neither side locks or allocates.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "VNL/source/SpscRing.h"
#include "platform/midi/CoreMIDI.h"
#include "standalone/host/Context.h"

/// One message of the ring.
struct DriverMIDIEvent {
  std::uint8_t bytes[4];        ///< status, data 1, data 2 (0 when the message has one), 0
  std::uint64_t hostTimeNanos;  ///< arrival time of the packet that carried it
};

class MIDIDriver : public virtual vantor::Contextual {
 public:
  static constexpr std::int32_t kRingSize = 4096;

  /// The driver of device `deviceId` of the CoreMIDI layer's table: an input port connected to
  /// its source when the device has an input, else an output port for its destination. Throws
  /// std::runtime_error when the services refuse the port or the connection. [main]
  explicit MIDIDriver(std::int32_t deviceId);
  /// A driver for one of the program's virtual endpoints, without port; an input one gets a
  /// ring. [main]
  MIDIDriver(bool isInput, std::int32_t deviceId);
  ~MIDIDriver() override;
  MIDIDriver(const MIDIDriver&) = delete;
  MIDIDriver& operator=(const MIDIDriver&) = delete;

  /// Stores the context and lets the callback store messages from now on. [main]
  void start(const vantor::Context* context);
  /// Stops storing; what is in the ring stays there. [main]
  void stop();

  /// Takes the oldest message; false when the ring is empty. [render]
  bool getMessage(DriverMIDIEvent& event);
  /// Empties the ring by moving the read index to the write index. [render]
  void flushMessages();

  /// The read procedure; `readProcRefCon` is the driver. [MIDI thread]
  static void midiInputCallback(const MIDIPacketList* list, void* readProcRefCon,
                                void* srcConnRefCon);
  /// Parses `list` into the ring (what the callback does). [MIDI thread]
  void parsePacketList(const MIDIPacketList* list);

  /// Messages dropped on a full ring since the last call, which resets the count. [any thread]
  std::uint64_t takeDroppedCount() { return m_dropped.exchange(0, std::memory_order_relaxed); }
  /// Writes a warning line when messages were dropped since the last report. [main]
  void reportDroppedMessages();

  bool isInput() const { return m_isInput; }
  bool isVirtual() const { return m_isVirtual; }
  MIDIEndpointRef virtualEndpoint() const { return m_virtualEndpoint; }
  void setVirtualEndpoint(MIDIEndpointRef endpoint) { m_virtualEndpoint = endpoint; }

 private:
  void store(const std::uint8_t* bytes, std::uint64_t hostTimeNanos);

  std::atomic<bool> m_started{false};
  bool m_isInput = false;
  MIDIPortRef m_inputPort = 0;
  MIDIPortRef m_outputPort = 0;
  MIDIEndpointRef m_source = 0;
  MIDIEndpointRef m_virtualEndpoint = 0;
  MIDIEndpointRef m_destination = 0;
  std::unique_ptr<vantor::SpscRing<DriverMIDIEvent>> m_ring;  // input drivers only
  bool m_isVirtual = false;
  std::int32_t m_deviceId = -1;
  std::atomic<std::uint64_t> m_dropped{0};
};
