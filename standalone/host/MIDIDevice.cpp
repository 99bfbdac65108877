#include "standalone/host/MIDIDevice.h"

#include <exception>
#include <stdexcept>

#include "VNL/source/LogLine.h"
#include "platform/midi/HostTime.h"
#include "standalone/host/CoreMIDILayer.h"
#include "standalone/host/DSPInfo.h"
#include "standalone/host/MIDIDeviceManagerInterface.h"
#include "standalone/host/MIDIDriver.h"

namespace vantor {

namespace {
std::uint64_t hostNanos() { return AudioConvertHostTimeToNanos(AudioGetCurrentHostTime()); }
}  // namespace

MIDIDevice::MIDIDevice(const std::string& name, std::int32_t deviceId, std::int32_t ins,
                       std::int32_t outs, DeviceIOType deviceType, const std::string& deviceName)
    : m_deviceId(deviceId),
      m_ins(ins),
      m_outs(outs),
      m_name(name),
      m_deviceName(deviceName),
      m_deviceType(deviceType) {
  PLOGI("MIDIDevice:  id:%d ins:%d outs:%d name:%s allocated!", deviceId, ins, outs,
        deviceName.c_str());
}

MIDIDevice::~MIDIDevice() {
  if (!isVirtual()) {
    try {
      delete m_driver;
    } catch (const std::exception& e) {
      PLOGE("MIDIDevice:%s", e.what());
    } catch (...) {
      PLOGE("unknown exception on MIDIDevice dtor %s", m_deviceName.c_str());
    }
  } else if (m_driver != nullptr && MIDI_IsLiveDriver(m_driver)) {
    // The layer keeps the driver: it stops storing while no device drains it.
    m_driver->stop();
  }
  m_driver = nullptr;
  if (MIDIDeviceManagerInterface* manager = midiDeviceManager()) {
    manager->releaseMIDIDevice(m_context, m_deviceId);
  }
}

bool MIDIDevice::isVirtual() const { return m_name.find("MidiVirtual") != std::string::npos; }

bool MIDIDevice::init(const Context* context, const DSPInfo* dspInfo) {
  setContext(context);
  m_dspInfo = dspInfo;
  try {
    if (isVirtual()) {
      m_driver = MIDI_GetMIDIDriverForVirtualDriver(m_deviceId);
      // Without its driver the device could never deliver: refuse it.
      if (m_driver == nullptr) throw std::runtime_error("no virtual driver");
    } else {
      m_driver = new MIDIDriver(m_deviceId);
    }
  } catch (const std::exception& e) {
    PLOGE("MIDIDevice::init()%s", e.what());
    return false;
  } catch (...) {
    PLOGE("ERROR: init Of MIDIDevice %s", m_deviceName.c_str());
    return false;
  }
  computeLimits();
  PLOGI("MIDI Dev:%d init reduceJitter:%d", m_deviceId, m_reduceJitter ? 1 : 0);
  return true;
}

void MIDIDevice::setDSPInfo(const DSPInfo* dspInfo) {
  Module::setDSPInfo(dspInfo);
  computeLimits();
  PLOGI("MIDI Dev:%d setDSPInfo reduceJitter:%d", m_deviceId, m_reduceJitter ? 1 : 0);
}

void MIDIDevice::computeLimits() {
  if (m_dspInfo == nullptr || m_dspInfo->blockSize == 0) return;
  const double blocksPerSecond = m_dspInfo->sampleRate / m_dspInfo->blockSize;
  const auto limit = static_cast<std::uint32_t>(1042.0 / blocksPerSecond);
  m_maxEventsPerBlock = limit > 64 ? limit : 64;
  m_reduceJitter = m_dspInfo->blockDuration >= 0.012;
}

void MIDIDevice::acquire() {
  if (MIDIDeviceManagerInterface* manager = midiDeviceManager()) {
    manager->acquireMIDIDevice(m_context, m_deviceId);
  }
  PLOGI("MIDIDevice: %s is acquired", m_name.c_str());
}

void MIDIDevice::start() {
  PLOGI("MIDIDevice::start()");
  try {
    if (m_driver != nullptr) m_driver->start(m_context);
  } catch (...) {
    PLOGE("MidiDevice: %s unknown exception in start", m_name.c_str());
  }
  m_lastDrainNanos = 0;
}

void MIDIDevice::stop() {
  PLOGI("MIDIDevice::stop()");
  if (m_driver == nullptr) return;
  m_driver->stop();
  m_driver->reportDroppedMessages();
}

void MIDIDevice::getMIDIEvents(std::vector<MIDIEvent>& events) {
  if (m_ins != 1 || m_driver == nullptr || m_dspInfo == nullptr) return;
  const std::uint64_t now = hostNanos();
  const double span = static_cast<double>(now - m_lastDrainNanos);
  if (m_dspInfo->offline) m_driver->flushMessages();
  const std::uint32_t blockSize = m_dspInfo->blockSize;
  const std::uint32_t lastFrame = blockSize > 0 ? blockSize - 1 : 0;
  DriverMIDIEvent message;
  for (std::uint32_t n = 0; n < m_maxEventsPerBlock && m_driver->getMessage(message); ++n) {
    std::uint32_t offset = 0;
    if (m_reduceJitter) {
      if (message.hostTimeNanos >= m_lastDrainNanos) {
        const double place = blockSize * static_cast<double>(message.hostTimeNanos - m_lastDrainNanos) / span;
        // Also catches a span of 0 and stamps from after `now`.
        offset = place < blockSize ? static_cast<std::uint32_t>(place) : lastFrame;
      }
    } else {
      offset = n < blockSize ? n : lastFrame;
    }
    MIDIEvent event{};
    event.bytes[0] = message.bytes[0];
    event.bytes[1] = message.bytes[1];
    event.bytes[2] = message.bytes[2];
    event.frameOffset = static_cast<std::int32_t>(offset);
    event.hostTimeNanos = message.hostTimeNanos;
    event.detune = 0.0f;
    events.push_back(event);
  }
  m_lastDrainNanos = hostNanos();
}

}  // namespace vantor
