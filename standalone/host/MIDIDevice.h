// The graph module of one MIDI device. It binds its driver when initialised; once per block the
// graph's render asks it for the events that arrived since the previous block, each placed at a
// frame offset within the block.
//
// Threads: construction, init, setDSPInfo, acquire, start, stop and destruction on the main
// thread; getMIDIEvents on the render thread (no lock, no allocation while the caller's vector
// has room for `maxEventsPerBlock` more events).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "VNL/source/MIDIEvent.h"
#include "standalone/host/DeviceIOType.h"
#include "standalone/host/Module.h"

class MIDIDriver;

namespace vantor {

class MIDIDevice : public Module {
 public:
  /// A device of the CoreMIDI layer's table; `name` is the factory's module name (a virtual
  /// device's begins "MidiVirtual_").
  MIDIDevice(const std::string& name, std::int32_t deviceId, std::int32_t ins, std::int32_t outs,
             DeviceIOType deviceType, const std::string& deviceName);
  /// Deletes the driver unless it is a virtual one, then tells the device manager the device
  /// is released.
  ~MIDIDevice() override;

  /// Binds the driver (a virtual device's from the CoreMIDI layer, else a new one) and sets the
  /// per-block limits; false, with an error line, when the driver cannot be had.
  bool init(const Context* context, const DSPInfo* dspInfo) override;
  void setDSPInfo(const DSPInfo* dspInfo) override;
  /// Tells the device manager the device is in use in its context.
  void acquire();
  void start() override;
  void stop() override;

  /// Appends the events that arrived since the previous call (at most `maxEventsPerBlock`; the
  /// rest wait for the next block). While rendering offline, live input is discarded. [render]
  void getMIDIEvents(std::vector<MIDIEvent>& events);

  std::int32_t getDeviceId() const { return m_deviceId; }
  DeviceIOType getDeviceType() const { return m_deviceType; }
  std::uint32_t getMaxEventsPerBlock() const { return m_maxEventsPerBlock; }
  bool getReduceJitter() const { return m_reduceJitter; }
  bool isVirtual() const;

 private:
  void computeLimits();

  std::int32_t m_deviceId;
  std::int32_t m_ins;
  std::int32_t m_outs;
  std::string m_name;
  std::string m_deviceName;
  DeviceIOType m_deviceType;
  std::uint32_t m_maxEventsPerBlock = 64;
  MIDIDriver* m_driver = nullptr;
  bool m_reduceJitter = true;
  std::uint64_t m_lastDrainNanos = 0;
};

}  // namespace vantor
