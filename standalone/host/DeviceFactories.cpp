#include "standalone/host/DeviceFactories.h"

#include "VNL/source/LogLine.h"
#include "standalone/host/AudioDevice.h"
#include "standalone/host/DeviceManager.h"
#include "standalone/host/MIDIDevice.h"

namespace vantor {
namespace {

DeviceManager& manager() { return *Singleton<DeviceManager>::instance(); }

template <class Map, class Predicate>
typename Map::const_iterator findEntry(const Map& list, Predicate matches) {
  for (auto entry = list.begin(); entry != list.end(); ++entry) {
    if (matches(*entry)) return entry;
  }
  return list.end();
}

}  // namespace

std::vector<ModuleInfo> DeviceListFactory::listModules() {
  std::vector<ModuleInfo> out;
  for (const auto& [info, device] : m_list) out.push_back(info);
  return out;
}

Module* DeviceListFactory::newInstance(const Context* context, const std::string& moduleName) {
  auto entry = findEntry(m_list, [&](const auto& e) { return e.first.name == moduleName; });
  return entry != m_list.end() ? create(context, entry->first, entry->second) : nullptr;
}

Module* DeviceListFactory::newInstanceByName(const Context* context,
                                             const std::string& deviceName) {
  auto entry = findEntry(m_list, [&](const auto& e) { return e.first.deviceName == deviceName; });
  return entry != m_list.end() ? create(context, entry->first, entry->second) : nullptr;
}

Module* DeviceListFactory::newInstanceByID(const Context* context, int device) {
  auto entry = findEntry(m_list, [&](const auto& e) { return e.second == device; });
  return entry != m_list.end() ? create(context, entry->first, entry->second) : nullptr;
}

AudioDeviceFactory::AudioDeviceFactory() {
  static const char* const kPrefixes[] = {"AudioInput_", "AudioOutput_", "AudioDuplex_"};
  int counts[3] = {0, 0, 0};
  DeviceManager& devices = manager();
  for (int i = 0; i < devices.getNumAudioDevices(); ++i) {
    const DMAudioDeviceInfo* record = devices.getAudioDeviceInfo(i);
    if (record == nullptr || !record->free || !record->valid || !record->selectable) continue;
    const int type = int(record->ioType);
    if (type < 0 || type > 2) continue;
    m_list.emplace(ModuleInfo{kPrefixes[type] + std::to_string(counts[type]++), record->name}, i);
  }
}

void AudioDeviceFactory::listAudioDevicesID(std::vector<int>& out) {
  for (const auto& [info, index] : m_list) out.push_back(index);
}

Module* AudioDeviceFactory::create(const Context* context, const ModuleInfo& entry, int index) {
  DeviceManager& devices = manager();
  const DMAudioDeviceInfo* record = devices.getAudioDeviceInfo(index);
  if (record == nullptr || !record->free) return nullptr;
  if (!devices.setAudioDeviceMaster(context, index)) {
    throw InstantiationException("Only one audio device at the same time");
  }
  auto* device = new AudioDevice(entry.name, index, record->maxInputChannels,
                                 record->maxOutputChannels, record->ioType);
  device->setContext(context);
  devices.setAudioDevice(index, device);
  return device;
}

MIDIDeviceFactory::MIDIDeviceFactory() {
  std::vector<DMMIDIDeviceInfo*> records;
  manager().listMIDIDevices(records);
  for (const DMMIDIDeviceInfo* record : records) list(record->id);
}

void MIDIDeviceFactory::list(int id) {
  const DMMIDIDeviceInfo* record = manager().getMIDIDeviceInfo(id);
  if (record == nullptr || !record->online) return;
  const bool isVirtual = record->kind == "virtual";
  std::string name;
  if (isVirtual) {
    name = "MidiVirtual_" + std::to_string(m_virtualCount++);
  } else if (record->ioType == kDeviceInput) {
    name = "MidiInput_" + std::to_string(m_inputCount++);
  } else if (record->ioType == kDeviceOutput) {
    name = "MIDIOutput_" + std::to_string(m_outputCount++);
  } else {
    return;
  }
  m_list.emplace(ModuleInfo{name, record->displayName}, record->id);
}

void MIDIDeviceFactory::addMIDIDevice(int id) { list(id); }

void MIDIDeviceFactory::removeMIDIDevice(int id) {
  auto entry = findEntry(m_list, [&](const auto& e) { return e.second == id; });
  if (entry != m_list.end()) m_list.erase(entry);
}

void MIDIDeviceFactory::listMIDIDevicesID(std::vector<int>& out, int which) {
  if (which < 0 || which > 2) return;
  for (const auto& [info, id] : m_list) {
    const DMMIDIDeviceInfo* record = manager().getMIDIDeviceInfo(id);
    if (record == nullptr) continue;
    if (which == 2 || int(record->ioType) == which) out.push_back(id);
  }
}

Module* MIDIDeviceFactory::create(const Context* context, const ModuleInfo& entry, int id) {
  DeviceManager& devices = manager();
  const DMMIDIDeviceInfo* record = devices.getMIDIDeviceInfo(id);
  if (record == nullptr || !record->free) return nullptr;
  auto* device = new MIDIDevice(entry.name, id, record->isInput, record->isOutput, record->ioType,
                                record->displayName);
  device->setContext(context);
  devices.setMIDIDevice(id, device);
  return device;
}

Factory::Factory() {
  PLOGI("Factory init");
  PLOGI("Factory init AudioDeviceFactory");
  m_audioDeviceFactory = new AudioDeviceFactory();
  enumerate(m_audioDeviceFactory);
  PLOGI("Factory init MIDIDeviceFactory");
  enumerate(Singleton<MIDIDeviceFactory>::instance());
}

Factory::~Factory() { clear(); }

void Factory::enumerate(BaseFactory* factory) {
  if (factory == nullptr) return;
  for (const ModuleInfo& info : factory->listModules()) {
    m_modulesByName[info.name] = info;
    m_factoriesByModule[info] = factory;
  }
}

BaseFactory* Factory::factoryOf(const std::string& moduleName) const {
  auto found = m_modulesByName.find(moduleName);
  if (found == m_modulesByName.end()) return nullptr;
  auto factory = m_factoriesByModule.find(found->second);
  return factory != m_factoriesByModule.end() ? factory->second : nullptr;
}

void Factory::clear() {
  m_factoriesByModule.clear();
  m_modulesByName.clear();
  if (m_audioDeviceFactory != nullptr) {
    m_audioDeviceFactory->clear();
    delete m_audioDeviceFactory;
    m_audioDeviceFactory = nullptr;
  }
}

}  // namespace vantor
