// The direction of a device, shared by the device records and the audio and MIDI devices.
#pragma once

#include <cstdint>

namespace vantor {

enum DeviceIOType : std::int32_t {
  kDeviceInput = 0,
  kDeviceOutput = 1,
  kDeviceInputOutput = 2,  // audio devices only
};

}  // namespace vantor
