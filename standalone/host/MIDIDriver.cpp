#include "standalone/host/MIDIDriver.h"

#include <stdexcept>
#include <string>

#include "VNL/source/LogLine.h"
#include "standalone/host/CoreMIDILayer.h"

namespace {

CFStringRef portName(const char* prefix, std::int32_t id) {
  return kelo::cf::makeString(std::string(prefix) + std::to_string(id));
}

/// Data bytes that complete a message of this status; -1 for bytes that start nothing.
int dataBytesOf(std::uint8_t status) {
  if (status < 0xF0) return (status & 0xE0) == 0xC0 ? 1 : 2;  // C0-DF take one, the rest two
  switch (status) {
    case 0xF1: case 0xF3: return 1;
    case 0xF2: return 2;
    case 0xF6: return 0;
    default: return -1;  // F4, F5 (undefined), F7 (end of an exclusive we do not keep)
  }
}

}  // namespace

MIDIDriver::MIDIDriver(std::int32_t deviceId) : m_deviceId(deviceId) {
  const MIDIDeviceInfo* info = MIDI_GetDeviceInfo(deviceId);
  const MIDIClientRef client = MIDI_GetClient();
  if (info == nullptr || client == 0) {
    throw std::runtime_error("no MIDI device " + std::to_string(deviceId));
  }
  OSStatus status = noErr;
  if (info->ins != 0) {
    m_isInput = true;
    m_ring = std::make_unique<vantor::SpscRing<DriverMIDIEvent>>(kRingSize);
    CFStringRef name = portName("Input port", deviceId);
    status = MIDIInputPortCreate(client, name, &MIDIDriver::midiInputCallback, this, &m_inputPort);
    CFRelease(name);
    m_source = MIDI_GetEndpointRef(deviceId);
    if (status == noErr) status = MIDIPortConnectSource(m_inputPort, m_source, nullptr);
    if (status != noErr && m_inputPort != 0) {
      MIDIPortDispose(m_inputPort);
      m_inputPort = 0;
    }
    MIDI_RegisterDriver(this);
  } else {
    CFStringRef name = portName("Output port", deviceId);
    status = MIDIOutputPortCreate(client, name, &m_outputPort);
    CFRelease(name);
    m_destination = MIDI_GetEndpointRef(deviceId);
  }
  if (status != noErr) {
    if (m_isInput) MIDI_UnregisterDriver(this);
    throw std::runtime_error("MIDI services refused device " + std::to_string(deviceId) +
                             " (status " + std::to_string(status) + ")");
  }
}

MIDIDriver::MIDIDriver(bool isInput, std::int32_t deviceId)
    : m_isInput(isInput), m_isVirtual(true), m_deviceId(deviceId) {
  if (m_isInput) {
    m_ring = std::make_unique<vantor::SpscRing<DriverMIDIEvent>>(kRingSize);
    MIDI_RegisterDriver(this);
  }
}

MIDIDriver::~MIDIDriver() {
  m_started.store(false, std::memory_order_release);
  if (!m_isVirtual) {
    if (m_isInput && m_inputPort != 0) {
      // Both calls return only once the read callback cannot run any more.
      MIDIPortDisconnectSource(m_inputPort, m_source);
      MIDIPortDispose(m_inputPort);
    } else if (m_outputPort != 0) {
      MIDIPortDispose(m_outputPort);
    }
  }
  if (m_isInput) {
    reportDroppedMessages();
    MIDI_UnregisterDriver(this);
  }
}

void MIDIDriver::start(const vantor::Context* context) {
  setContext(context);
  m_started.store(true, std::memory_order_release);
}

void MIDIDriver::stop() { m_started.store(false, std::memory_order_release); }

bool MIDIDriver::getMessage(DriverMIDIEvent& event) { return m_ring && m_ring->pop(event); }

void MIDIDriver::flushMessages() {
  if (m_ring) m_ring->discardAll();
}

void MIDIDriver::store(const std::uint8_t* bytes, std::uint64_t hostTimeNanos) {
  if (!m_started.load(std::memory_order_acquire)) return;
  DriverMIDIEvent event;
  for (int i = 0; i < 4; ++i) event.bytes[i] = bytes[i];
  event.hostTimeNanos = hostTimeNanos;
  // A full ring keeps what the render has not read and drops the newest.
  if (!m_ring->push(event)) m_dropped.fetch_add(1, std::memory_order_relaxed);
}

void MIDIDriver::midiInputCallback(const MIDIPacketList* list, void* readProcRefCon, void*) {
  try {
    static_cast<MIDIDriver*>(readProcRefCon)->parsePacketList(list);
  } catch (...) {
    // Nothing here throws; nothing may cross back into the services' thread either.
  }
}

// A message is stored once its status has all its data bytes. A channel status stays in force
// for the data bytes that follow (running status) until another status byte; real-time bytes
// (F8-FF) are stored on their own where they stand, even inside a message. Data bytes without a
// status, and a message cut short, are dropped; an exclusive (F0) ends the packet's reading.
void MIDIDriver::parsePacketList(const MIDIPacketList* list) {
  if (list == nullptr) {
    PLOGE("MIDIPacketList is NULL!");
    return;
  }
  if (!m_ring) return;
  const MIDIPacket* packet = &list->packet[0];
  for (UInt32 p = 0; p < list->numPackets; ++p, packet = MIDIPacketNext(packet)) {
    const MIDITimeStamp stamp = packet->timeStamp != 0 ? packet->timeStamp : AudioGetCurrentHostTime();
    const std::uint64_t nanos = AudioConvertHostTimeToNanos(stamp);
    std::uint8_t message[4] = {0, 0, 0, 0};
    int gathered = 0;  // bytes of `message` so far, status included; 0: no status in force
    int needed = 0;    // data bytes the status in force takes
    const Byte* const bytes = MIDIPacketData(packet);  // may be more than `data`'s 256
    for (UInt16 i = 0; i < packet->length; ++i) {
      const std::uint8_t byte = bytes[i];
      if (byte == 0xF0) break;
      if (byte >= 0xF8) {
        const std::uint8_t realtime[4] = {byte, 0, 0, 0};
        store(realtime, nanos);
        continue;
      }
      if ((byte & 0x80) != 0) {
        needed = dataBytesOf(byte);
        gathered = needed < 0 ? 0 : 1;
        message[0] = byte;
        message[1] = message[2] = 0;
        if (needed == 0) {
          store(message, nanos);
          gathered = 0;
        }
        continue;
      }
      if (gathered == 0) continue;  // no status before it
      message[gathered++] = byte;
      if (gathered == needed + 1) {
        store(message, nanos);
        // A channel status stays for the next data bytes; a system common one does not.
        gathered = message[0] < 0xF0 ? 1 : 0;
        message[1] = message[2] = 0;
      }
    }
  }
}

void MIDIDriver::reportDroppedMessages() {
  const std::uint64_t dropped = takeDroppedCount();
  if (dropped != 0) {
    PLOGW("MIDI input of device %d: %llu messages dropped, the ring was full", m_deviceId,
          static_cast<unsigned long long>(dropped));
  }
}
