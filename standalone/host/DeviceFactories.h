// The factories of the device modules: each turns the device manager's records into a list of
// creatable modules, listed under a generated module name ("AudioOutput_0", "MidiInput_3"...)
// in byte order of those names, and creates a module by module name, device name or device
// identifier. `Factory` is the registry that owns the audio device factory and records what
// both factories offer; the MIDI device factory is a singleton of its own because MIDI devices
// come and go while the program runs.
//
// Main thread only. A created module belongs to the caller (the graph once added); the caller
// initialises and acquires it. The command interface makes the registry and the factories at
// `PE_ENGINE_INITIALIZE`, from the device manager's records, and deletes them at shut-down.
#pragma once

#include <exception>
#include <map>
#include <string>
#include <vector>

#include "standalone/host/ModuleInfo.h"
#include "standalone/host/Singleton.h"

namespace vantor {

class Context;
class Module;

/// A second audio device asked for a context that has one.
class InstantiationException : public std::exception {
 public:
  explicit InstantiationException(std::string message) : m_message(std::move(message)) {}
  const char* what() const noexcept override { return m_message.c_str(); }

 private:
  std::string m_message;
};

class BaseFactory {
 public:
  virtual ~BaseFactory() = default;
  /// The listed modules in ascending module-name order.
  virtual std::vector<ModuleInfo> listModules() = 0;
  /// The module listed under `moduleName`; null when none is, or the device is in use.
  virtual Module* newInstance(const Context* context, const std::string& moduleName) = 0;
  /// The first module, in listing order, whose device is named `deviceName`.
  virtual Module* newInstanceByName(const Context* context, const std::string& deviceName) = 0;
  virtual void clear() = 0;
};

/// What both device factories share: the listed modules, each with its device's number in the
/// device manager (a PortAudio index or a MIDI id), and the three look-ups into that list.
class DeviceListFactory : public BaseFactory {
 public:
  std::vector<ModuleInfo> listModules() override;
  Module* newInstance(const Context* context, const std::string& moduleName) override;
  Module* newInstanceByName(const Context* context, const std::string& deviceName) override;
  void clear() override { m_list.clear(); }
  /// The first module, in listing order, of device number `device`.
  Module* newInstanceByID(const Context* context, int device);

 protected:
  /// Makes the module of a listed entry; null when the device is in use.
  virtual Module* create(const Context* context, const ModuleInfo& entry, int device) = 0;

  std::map<ModuleInfo, int> m_list;
};

/// The selectable output devices, read once from the device manager at construction: devices
/// that appear later are not offered. Creating a module throws InstantiationException ("Only
/// one audio device at the same time") when the context already has an output device.
class AudioDeviceFactory : public DeviceListFactory {
 public:
  AudioDeviceFactory();

  /// Appends the PortAudio index of every listed device, in listing order.
  void listAudioDevicesID(std::vector<int>& out);

 private:
  Module* create(const Context* context, const ModuleInfo& entry, int index) override;
};

/// The online MIDI endpoints; follows hot-plug. Module numbers are never given twice.
class MIDIDeviceFactory : public DeviceListFactory {
 public:
  MIDIDeviceFactory();

  /// Appends, in listing order, the id of every listed device of direction `which`: 0 inputs,
  /// 1 outputs, 2 all; any other value appends nothing.
  void listMIDIDevicesID(std::vector<int>& out, int which);
  /// Lists a device that has just appeared (when it is online).
  void addMIDIDevice(int id);
  /// Takes the first listed module with that id out of the list; unknown ids are ignored.
  void removeMIDIDevice(int id);

 private:
  void list(int id);
  Module* create(const Context* context, const ModuleInfo& entry, int id) override;

  int m_inputCount = 0;
  int m_outputCount = 0;
  int m_virtualCount = 0;
};

class Factory {
 public:
  /// Builds the audio device factory and the MIDI device factory singleton, and records what
  /// both list.
  Factory();
  virtual ~Factory();
  Factory(const Factory&) = delete;
  Factory& operator=(const Factory&) = delete;

  /// Records every module the factory lists, and which factory listed it.
  void enumerate(BaseFactory* factory);
  AudioDeviceFactory* getAudioDeviceFactory() { return m_audioDeviceFactory; }
  /// The factory that listed `moduleName`, or null.
  BaseFactory* factoryOf(const std::string& moduleName) const;
  /// Empties both maps, then clears and deletes the audio device factory.
  void clear();

 private:
  std::map<ModuleInfo, BaseFactory*> m_factoriesByModule;
  std::map<std::string, ModuleInfo> m_modulesByName;
  AudioDeviceFactory* m_audioDeviceFactory = nullptr;
};

}  // namespace vantor
