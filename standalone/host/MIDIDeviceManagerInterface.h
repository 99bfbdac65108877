// What the MIDI code (the CoreMIDI layer and the MIDI device module) asks of the device
// manager: hot-plug news, renames, and acquiring and releasing a device. The device manager
// implements it and installs itself; tests install a double. Main thread only.
#pragma once

#include <string>

namespace vantor {

class Context;

class MIDIDeviceManagerInterface {
 public:
  virtual ~MIDIDeviceManagerInterface() = default;
  /// A device the layer has just listed under `id` (its record is already there).
  virtual void addMIDIDevice(int id) = 0;
  /// A device about to leave the layer's table (its record is still there).
  virtual void removeMIDIDevice(int id) = 0;
  virtual void renameMIDIDevice(int id, const std::string& name) = 0;
  virtual void acquireMIDIDevice(const Context* context, int id) = 0;
  virtual void releaseMIDIDevice(const Context* context, int id) = 0;
};

/// The manager the MIDI code tells (not owned; null for none, the start value).
void setMIDIDeviceManager(MIDIDeviceManagerInterface* manager);
MIDIDeviceManagerInterface* midiDeviceManager();

}  // namespace vantor
