#include "standalone/host/EngineManager.h"

#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <iostream>

#include "VNL/source/ConsoleLogger.h"
#include "VNL/source/FileUtils.h"
#include "VNL/source/LogLine.h"
#include "VNL/source/ProductConf.h"
#include "standalone/host/AudioDevice.h"
#include "standalone/host/CoreMIDILayer.h"
#include "standalone/host/DSPInfo.h"
#include "standalone/host/DeviceFactories.h"
#include "standalone/host/DeviceManager.h"
#include "standalone/host/GraphManager.h"
#include "standalone/host/Instance.h"
#include "standalone/host/InstrumentFrontEnd.h"
#include "standalone/host/MIDIDevice.h"
#include "standalone/host/SMPLModule.h"
#include "standalone/host/Sndfile.h"
#include "standalone/host/Streamer.h"

namespace vantor {
namespace {

constexpr int kMaxBlockSize = 32768;
// How long shut-down waits for a back-end thread to end before it goes on without it.
constexpr int kThreadExitWaitMilliseconds = 5000;

InstrumentFrontEnd* g_frontEnd = nullptr;

const char* commandName(PE_ENGINE_OPCODE command) {
  switch (command) {
#define KELO_COMMAND_NAME(name) \
  case name: return #name;
    KELO_COMMAND_NAME(PE_ENGINE_VERSION)
    KELO_COMMAND_NAME(PE_ENGINE_INITIALIZE)
    KELO_COMMAND_NAME(PE_ENGINE_SHUTDOWN)
    KELO_COMMAND_NAME(PE_ENGINE_IDLE)
    KELO_COMMAND_NAME(PE_ENGINE_OFFLINE_SET)
    KELO_COMMAND_NAME(PE_ENGINE_AUDIODEVICE_LIST)
    KELO_COMMAND_NAME(PE_ENGINE_AUDIODEVICE_SET)
    KELO_COMMAND_NAME(PE_ENGINE_AUDIODEVICE_GET)
    KELO_COMMAND_NAME(PE_ENGINE_AUDIODEVICE_SHOWPANEL)
    KELO_COMMAND_NAME(PE_ENGINE_AUDIODEVICE_SAMPLERATE_LIST)
    KELO_COMMAND_NAME(PE_ENGINE_AUDIODEVICE_BUFFERSIZE_LIST)
    KELO_COMMAND_NAME(PE_ENGINE_AUDIODEVICE_SETTINGS)
    KELO_COMMAND_NAME(PE_ENGINE_AUDIODEVICE_SETTINGS_GET)
    KELO_COMMAND_NAME(PE_ENGINE_AUDIODEVICE_OUTPUTSTEREOPAIR_SET)
    KELO_COMMAND_NAME(PE_ENGINE_AUDIODEVICE_LATENCY_GET)
    KELO_COMMAND_NAME(PE_ENGINE_AUDIODEVICE_OUTPUTSTEREOPAIR_GET)
    KELO_COMMAND_NAME(PE_ENGINE_AUDIO_START)
    KELO_COMMAND_NAME(PE_ENGINE_AUDIO_STOP)
    KELO_COMMAND_NAME(PE_ENGINE_AUDIO_ISPLAYING)
    KELO_COMMAND_NAME(PE_ENGINE_MIDI_PLAY)
    KELO_COMMAND_NAME(PE_ENGINE_MIDI_STOP)
    KELO_COMMAND_NAME(PE_ENGINE_MIDI_SEEK)
    KELO_COMMAND_NAME(PE_ENGINE_MIDI_POSITION_GET)
    KELO_COMMAND_NAME(PE_ENGINE_MIDI_LOAD)
    KELO_COMMAND_NAME(PE_ENGINE_INSTRUMENT_ADD)
    KELO_COMMAND_NAME(PE_ENGINE_INSTRUMENT_REMOVE)
    KELO_COMMAND_NAME(PE_ENGINE_INSTRUMENT_GUI_SHOW)
    KELO_COMMAND_NAME(PE_ENGINE_INSTRUMENT_GUI_CLOSE)
    KELO_COMMAND_NAME(PE_ENGINE_INSTRUMENT_CHUNK_SAVE)
    KELO_COMMAND_NAME(PE_ENGINE_INSTRUMENT_CHUNK_SAVE_END)
    KELO_COMMAND_NAME(PE_ENGINE_INSTRUMENT_CHUNK_LOAD)
    KELO_COMMAND_NAME(PE_ENGINE_MIDIDEVICE_LIST)
    KELO_COMMAND_NAME(PE_ENGINE_MIDIDEVICE_GET)
    KELO_COMMAND_NAME(PE_ENGINE_MIDIDEVICE_ENABLE)
    KELO_COMMAND_NAME(PE_ENGINE_MIDIDEVICE_GETUSED)
    KELO_COMMAND_NAME(PE_ENGINE_RECORDING_FILE_SET)
    KELO_COMMAND_NAME(PE_ENGINE_RECORDING_START)
    KELO_COMMAND_NAME(PE_ENGINE_RECORDING_STOP)
    KELO_COMMAND_NAME(PE_ENGINE_RECORDING_ISRECORDING)
    KELO_COMMAND_NAME(PE_ENGINE_APP_ARGUMENTS_SET)
    KELO_COMMAND_NAME(PE_ENGINE_APP_ARGUMENTS_GET)
#undef KELO_COMMAND_NAME
  }
  return nullptr;
}

// The commands the back end calls itself (the device manager's MIDI re-enabling, the engine
// module's position polls) take the command as a plain integer.
std::int32_t engineCommand(std::int32_t command, void* p1, void* p2, std::int32_t i1,
                           std::int32_t i2, std::int32_t i3, float f) {
  return engineOpcode(static_cast<PE_ENGINE_OPCODE>(command), p1, p2, i1, i2, i3, f);
}

// The disk thread deletes itself after it has answered `die`, and its last lines must land
// before the log closes; a detached thread cannot be joined, so shut-down waits for its task
// to leave /proc, which is when nothing of it runs any more.
std::vector<pid_t> threadIds() {
  std::vector<pid_t> ids;
  DIR* tasks = ::opendir("/proc/self/task");
  if (tasks == nullptr) return ids;
  while (const dirent* entry = ::readdir(tasks)) {
    if (entry->d_name[0] != '.') ids.push_back(static_cast<pid_t>(std::atol(entry->d_name)));
  }
  ::closedir(tasks);
  std::sort(ids.begin(), ids.end());
  return ids;
}

// The one task in `after` that `before` lacks; 0 when there is not exactly one.
pid_t newThreadId(const std::vector<pid_t>& before, const std::vector<pid_t>& after) {
  std::vector<pid_t> added;
  std::set_difference(after.begin(), after.end(), before.begin(), before.end(),
                      std::back_inserter(added));
  return added.size() == 1 ? added.front() : 0;
}

bool threadAlive(pid_t id) {
  return ::access(("/proc/self/task/" + std::to_string(id)).c_str(), F_OK) == 0;
}

void waitForThreadExit(pid_t id) {
  if (id == 0) return;
  for (int waited = 0; threadAlive(id); ++waited) {
    if (waited == kThreadExitWaitMilliseconds) {
      PLOGE("EngineManager: the disk thread did not end");
      return;
    }
    PmilliSleep(1);
  }
}

void copyName(char* out, std::size_t capacity, const std::string& name) {
  const std::size_t length = std::min(name.size(), capacity - 1);
  std::memset(out, 0, capacity);
  std::memcpy(out, name.data(), length);
}

AudioDevice* audioDeviceOf(GraphManager& graph) {
  return dynamic_cast<AudioDevice*>(graph.getAudioDevice());
}

}  // namespace

void setEngineFrontEnd(InstrumentFrontEnd* frontEnd) { g_frontEnd = frontEnd; }

std::int32_t frontEndHostApiCode(std::int32_t deviceManagerCode) {
  switch (deviceManagerCode) {
    case 1: return 1;  // DirectSound
    case 2: return 2;  // ASIO
    case DeviceManager::kHostApiCodePlatform: return 10;
    case 4: return 3;  // WASAPI
    default: return 0;  // MME and anything else
  }
}

void fillMIDIDeviceRecord(PEMIDIDeviceRecord& record, std::int32_t id, const std::string& name) {
  record.id = id;
  copyName(record.name, sizeof record.name, name);
}

EngineManager::EngineManager() {
  appSupportPath = setUserPathVendorProduct(conf.vendorName, conf.productName);
  std::string logPath;
  if (appSupportPath.empty()) {
    std::cout << "can't get app support path" << std::endl;
    logPath = std::string(conf.productName) + " Standalone.log";
  } else {
    logPath = appSupportPath + "/" + conf.productName + " Standalone.log";
  }
  logger = new ConsoleLogger;
  logger->init(logPath);
}

EngineManager::~EngineManager() { delete logger; }

bool EngineManager::isPlaying() const {
  return Singleton<DeviceManager>::instance()->isPlaying(instance, true);
}

std::int32_t EngineManager::initialize() {
  if (instance != nullptr) {
    PLOGW("PE_ENGINE_INITIALIZE: the back end is already running");
    return PE_ENGINE_OK;
  }
  MIDI_CreateVirtualDevices(conf.uniqueID, {conf.productName}, {});
  Singleton<Sndfile>::instance()->init("");

  instance = new Instance;
  instance->init();

  DeviceManager* devices = Singleton<DeviceManager>::instance();
  devices->setCommandFunction(&engineCommand);
  devices->init();
  devices->addContext(instance);

  // The factories are made from the records just listed: a registry left from an earlier
  // initialisation would offer PortAudio indices and MIDI ids of devices as they were then.
  Singleton<Factory>::destroyInstance();
  Singleton<MIDIDeviceFactory>::destroyInstance();
  Singleton<Factory>::instance();
  Singleton<GraphManager>::instance()->init(instance, instance->dspInfo());

  const std::vector<pid_t> before = threadIds();
  Singleton<Streamer>::instance();
  m_streamerThread = newThreadId(before, threadIds());

  PLOGI("PE_ENGINE_INITIALIZE OK");
  return PE_ENGINE_OK;
}

void EngineManager::endOfflineThread() {
  // The device manager waits until the thread no longer touches the graph.
  DeviceManager* devices = Singleton<DeviceManager>::instance();
  if (devices->getOfflineThread(instance) != nullptr) devices->setOffline(instance, false);
}

std::int32_t EngineManager::shutdown() {
  if (instance == nullptr) return PE_ENGINE_OK;  // nothing was built
  command(PE_ENGINE_AUDIO_STOP, nullptr, nullptr, 0, 0, 0, 0.0f);
  // The offline thread renders the graph: it must be gone before the graph is.
  endOfflineThread();
  MIDI_Terminate();
  Singleton<GraphManager>::destroyInstance();

  Singleton<DeviceManager>::instance()->removeContext(instance);
  // The factories hold indices into the device manager's records: they go with them.
  Singleton<Factory>::destroyInstance();
  Singleton<MIDIDeviceFactory>::destroyInstance();
  Singleton<DeviceManager>::destroyInstance();

  std::atomic<std::int32_t> streamerDone{0};
  Singleton<Streamer>::instance()->die(&streamerDone);
  Singleton<Streamer>::releaseInstance();  // its thread deletes it
  waitForThreadExit(m_streamerThread);
  m_streamerThread = 0;

  Singleton<Sndfile>::destroyInstance();
  delete instance;
  instance = nullptr;
  return PE_ENGINE_OK;
}

std::int32_t EngineManager::listAudioDevices(PEAudioDeviceRecord* records, int capacity,
                                             std::int32_t* count) {
  if (count == nullptr) return PE_ENGINE_FAILED;
  std::vector<int> listed;
  Singleton<Factory>::instance()->getAudioDeviceFactory()->listAudioDevicesID(listed);
  // Only devices the manager has a record of (the factory is made from the same records).
  DeviceManager* devices = Singleton<DeviceManager>::instance();
  std::vector<const DMAudioDeviceInfo*> infos;
  std::vector<int> ids;
  for (int id : listed) {
    if (const DMAudioDeviceInfo* info = devices->getAudioDeviceInfo(id)) {
      if (info->gone) continue;
      infos.push_back(info);
      ids.push_back(id);
    } else {
      PLOGE("PE_ENGINE_AUDIODEVICE_LIST: no record of device %d", id);
    }
  }
  if (records == nullptr) {
    *count = static_cast<std::int32_t>(ids.size());
    return PE_ENGINE_OK;
  }
  const std::size_t filled = std::min(ids.size(), static_cast<std::size_t>(std::max(capacity, 0)));
  for (std::size_t i = 0; i < filled; ++i) {
    const DMAudioDeviceInfo* info = infos[i];
    PEAudioDeviceRecord& record = records[i];
    record.id = ids[i];
    record.hostApiCode = frontEndHostApiCode(info->hostApiCode);
    copyName(record.name, sizeof record.name, info->name);
    record.isASIO = record.hostApiCode == 2 ? 1 : 0;
    record.defaultSampleRate = static_cast<std::int32_t>(info->defaultSampleRate);
    record.outputChannels = info->maxOutputChannels;
  }
  *count = static_cast<std::int32_t>(filled);
  return PE_ENGINE_OK;
}

std::int32_t EngineManager::listMIDIDevices(PEMIDIDeviceRecord* records, int capacity, int kind,
                                            std::int32_t* count) {
  if (count == nullptr) return PE_ENGINE_FAILED;
  std::vector<int> ids;
  Singleton<MIDIDeviceFactory>::instance()->listMIDIDevicesID(ids, kind);
  if (records == nullptr) {
    *count = static_cast<std::int32_t>(ids.size());
    return PE_ENGINE_OK;
  }
  const std::size_t filled = std::min(ids.size(), static_cast<std::size_t>(std::max(capacity, 0)));
  DeviceManager* devices = Singleton<DeviceManager>::instance();
  for (std::size_t i = 0; i < filled; ++i) {
    const DMMIDIDeviceInfo* info = devices->getMIDIDeviceInfo(ids[i]);
    fillMIDIDeviceRecord(records[i], ids[i], info != nullptr ? info->displayName : std::string());
  }
  *count = static_cast<std::int32_t>(filled);
  return PE_ENGINE_OK;
}

std::int32_t EngineManager::listDeviceValues(bool rates, std::int32_t* values, int capacity,
                                             std::int32_t* count) {
  const char* name = rates ? "PE_ENGINE_AUDIODEVICE_SAMPLERATE_LIST"
                           : "PE_ENGINE_AUDIODEVICE_BUFFERSIZE_LIST";
  AudioDevice* device = audioDeviceOf(*Singleton<GraphManager>::instance());
  if (device == nullptr || (values == nullptr && count == nullptr)) return PE_ENGINE_FAILED;
  std::vector<std::int32_t> listed;
  const bool listedOk = rates ? device->listAvailableSampleRates(listed)
                              : device->listAvailableBufferSizes(listed);
  if (!listedOk) {
    PLOGE("%s failed%d", name, values == nullptr ? 1 : 2);
    return PE_ENGINE_FAILED;
  }
  if (count == nullptr) return PE_ENGINE_FAILED;
  std::size_t filled = listed.size();
  if (values != nullptr) {
    filled = std::min(filled, static_cast<std::size_t>(std::max(capacity, 0)));
    std::copy_n(listed.begin(), filled, values);
  }
  *count = static_cast<std::int32_t>(filled);
  return PE_ENGINE_OK;
}

std::int32_t EngineManager::setAudioDevice(int id) {
  if (isPlaying()) return PE_ENGINE_FAILED;
  GraphManager* graph = Singleton<GraphManager>::instance();
  graph->setAudioDevice(nullptr);
  if (id == -1) return PE_ENGINE_OK;
  Module* module = nullptr;
  try {
    module = Singleton<Factory>::instance()->getAudioDeviceFactory()->newInstanceByID(instance, id);
  } catch (const InstantiationException& e) {
    PLOGE("PE_ENGINE_AUDIODEVICE_SET: %s", e.what());
    return PE_ENGINE_FAILED;
  }
  auto* device = dynamic_cast<AudioDevice*>(module);
  if (device == nullptr) {
    delete module;
    return PE_ENGINE_FAILED;
  }
  device->init(instance, instance->dspInfo());
  device->acquire();
  graph->setAudioDevice(device);
  return PE_ENGINE_OK;
}

std::int32_t EngineManager::applySettings(int sampleRate, int blockSize) {
  if (isPlaying()) return PE_ENGINE_FAILED;
  // A saved "buffersize" arrives here unchecked; 0 would divide by zero in the render.
  if (blockSize < 1 || blockSize > kMaxBlockSize) {
    PLOGE("PE_ENGINE_AUDIODEVICE_SETTINGS, block size %d outside 1..%d", blockSize, kMaxBlockSize);
    return PE_ENGINE_FAILED;
  }
  GraphManager* graph = Singleton<GraphManager>::instance();
  if (AudioDevice* device = audioDeviceOf(*graph)) {
    std::vector<std::int32_t> rates;
    if (!device->listAvailableSampleRates(rates) || rates.empty()) {
      PLOGE("PE_ENGINE_AUDIODEVICE_SETTINGS, SEVERE DEVICE ERROR");
      return PE_ENGINE_FAILED;
    }
    if (std::find(rates.begin(), rates.end(), sampleRate) == rates.end()) {
      PLOGE("PE_ENGINE_AUDIODEVICE_SETTINGS, current device does NOT support %dHz, reverting to %d",
            sampleRate, rates.front());
      sampleRate = rates.front();
    }
  }
  instance->resetDSP(sampleRate, blockSize);
  graph->setDSPInfo(instance->dspInfo());
  return PE_ENGINE_OK;
}

std::int32_t EngineManager::addInstrument() {
  auto* module = new SMPLModule(g_frontEnd, &engineCommand);
  module->init(instance, instance->dspInfo());
  module->start();
  if (!Singleton<GraphManager>::instance()->addInstrument(0, module)) {
    module->stop();
    delete module;  // the slot is taken: the module stayed ours
  }
  return PE_ENGINE_NOT_HANDLED;
}

std::int32_t EngineManager::enableMIDIDevice(int id, int enable) {
  GraphManager* graph = Singleton<GraphManager>::instance();
  if (enable == -1) {
    graph->removeMIDIDevice(id);
    return PE_ENGINE_OK;
  }
  Module* module = Singleton<MIDIDeviceFactory>::instance()->newInstanceByID(instance, id);
  auto* device = dynamic_cast<MIDIDevice*>(module);
  if (device == nullptr) {
    delete module;
    return PE_ENGINE_FAILED;
  }
  if (!device->init(instance, instance->dspInfo())) {
    PLOGE("MIDIDevice can't be loaded!, choose another");
    delete device;
    return PE_ENGINE_MIDI_UNAVAILABLE;
  }
  device->acquire();
  graph->addMIDIDevice(id, device);
  return PE_ENGINE_OK;
}

std::int32_t EngineManager::command(PE_ENGINE_OPCODE command, void* p1, void* p2, int i1, int i2,
                                    int i3, float f) {
  const char* name = commandName(command);
  if (name == nullptr) return PE_ENGINE_NOT_HANDLED;
  if (command != PE_ENGINE_IDLE && command != PE_ENGINE_MIDI_POSITION_GET &&
      command != PE_ENGINE_RECORDING_ISRECORDING) {
    PLOGI("%s", name);
  }

  switch (command) {
    case PE_ENGINE_VERSION:
      if (p1 == nullptr) return PE_ENGINE_FAILED;
      std::strcpy(static_cast<char*>(p1), kProgramVersionText);
      return PE_ENGINE_OK;
    case PE_ENGINE_INITIALIZE: return initialize();
    case PE_ENGINE_SHUTDOWN: return shutdown();
    case PE_ENGINE_APP_ARGUMENTS_SET:
      if (p1 == nullptr) return PE_ENGINE_FAILED;
      arguments = *static_cast<const std::vector<std::string>*>(p1);
      return PE_ENGINE_OK;
    case PE_ENGINE_APP_ARGUMENTS_GET:
      if (p1 == nullptr) return PE_ENGINE_FAILED;
      *static_cast<std::vector<std::string>*>(p1) = arguments;
      return PE_ENGINE_OK;
    case PE_ENGINE_AUDIODEVICE_SHOWPANEL: return PE_ENGINE_NOT_HANDLED;
    default: break;
  }

  // Everything below works on the built back end.
  if (instance == nullptr) {
    if (command == PE_ENGINE_IDLE) return PE_ENGINE_NOT_HANDLED;
    PLOGE("%s: the back end is not initialised", name);
    return PE_ENGINE_FAILED;
  }
  GraphManager& graph = *Singleton<GraphManager>::instance();
  DeviceManager& devices = *Singleton<DeviceManager>::instance();
  Sndfile& sndfile = *Singleton<Sndfile>::instance();

  switch (command) {
    case PE_ENGINE_IDLE:
      devices.watchAudioDevices(instance);
      instance->fireGUIIdle();
      instance->fireNonGUIIdle();
      return PE_ENGINE_NOT_HANDLED;
    case PE_ENGINE_OFFLINE_SET: {
      if (isPlaying()) return PE_ENGINE_FAILED;
      const bool offline = i1 == 1;
      // Back to real time, the offline thread goes first: the device manager waits until it
      // has left its last block, so the modules never take the new format under a render.
      if (!offline) devices.setOffline(instance, false);
      instance->setOffline(offline);
      graph.setDSPInfo(instance->dspInfo());
      if (offline) devices.setOffline(instance, true);
      return PE_ENGINE_OK;
    }

    case PE_ENGINE_AUDIODEVICE_LIST:
      return listAudioDevices(static_cast<PEAudioDeviceRecord*>(p1), i1,
                              static_cast<std::int32_t*>(p2));
    case PE_ENGINE_AUDIODEVICE_SET: return setAudioDevice(i1);
    case PE_ENGINE_AUDIODEVICE_GET: {
      if (p1 == nullptr) return PE_ENGINE_FAILED;
      const AudioDevice* device = audioDeviceOf(graph);
      *static_cast<std::int32_t*>(p1) = device != nullptr ? device->getDeviceId() : -1;
      return PE_ENGINE_OK;
    }
    case PE_ENGINE_AUDIODEVICE_SAMPLERATE_LIST:
    case PE_ENGINE_AUDIODEVICE_BUFFERSIZE_LIST:
      return listDeviceValues(command == PE_ENGINE_AUDIODEVICE_SAMPLERATE_LIST,
                              static_cast<std::int32_t*>(p1), i1, static_cast<std::int32_t*>(p2));
    case PE_ENGINE_AUDIODEVICE_SETTINGS: return applySettings(i1, i2);
    case PE_ENGINE_AUDIODEVICE_SETTINGS_GET: {
      if (p1 == nullptr || p2 == nullptr) return PE_ENGINE_FAILED;
      const DSPInfo& format = instance->getDSPInfo();
      *static_cast<std::int32_t*>(p1) = static_cast<std::int32_t>(format.sampleRateInt);
      *static_cast<std::int32_t*>(p2) = static_cast<std::int32_t>(format.blockSize);
      return PE_ENGINE_OK;
    }
    case PE_ENGINE_AUDIODEVICE_OUTPUTSTEREOPAIR_SET: {
      AudioDevice* device = audioDeviceOf(graph);
      if (device == nullptr || isPlaying()) return PE_ENGINE_NOT_HANDLED;
      if (i1 < 0) {
        PLOGE("PE_ENGINE_AUDIODEVICE_OUTPUTSTEREOPAIR_SET, no stereo pair %d", i1);
        return PE_ENGINE_FAILED;
      }
      return device->setOutputStereoPair(i1) ? PE_ENGINE_OK : PE_ENGINE_FAILED;
    }
    case PE_ENGINE_AUDIODEVICE_LATENCY_GET: {
      AudioDevice* device = audioDeviceOf(graph);
      double milliseconds = 0.0;
      if (p1 == nullptr || device == nullptr || !isPlaying() ||
          !device->getOutputLatency(milliseconds)) {
        return PE_ENGINE_FAILED;
      }
      *static_cast<float*>(p1) = static_cast<float>(milliseconds);
      return PE_ENGINE_OK;
    }
    case PE_ENGINE_AUDIODEVICE_OUTPUTSTEREOPAIR_GET: {
      const AudioDevice* device = audioDeviceOf(graph);
      if (p1 == nullptr || device == nullptr) return PE_ENGINE_FAILED;
      *static_cast<std::int32_t*>(p1) = device->getOutputStereoPair();
      return PE_ENGINE_OK;
    }

    case PE_ENGINE_AUDIO_START: {
      const bool noOutput = audioDeviceOf(graph) == nullptr && !instance->getDSPInfo().offline;
      if (noOutput || isPlaying()) return PE_ENGINE_AUDIO_REFUSED;
      graph.start();
      return devices.playStopReq(instance, true) ? PE_ENGINE_OK : PE_ENGINE_AUDIO_REFUSED;
    }
    case PE_ENGINE_AUDIO_STOP: {
      const bool noOutput = audioDeviceOf(graph) == nullptr && !instance->getDSPInfo().offline;
      if (noOutput || !isPlaying()) return PE_ENGINE_AUDIO_REFUSED;
      const bool stopped = devices.playStopReq(instance, false);
      graph.stop();
      return stopped ? PE_ENGINE_OK : PE_ENGINE_AUDIO_REFUSED;
    }
    case PE_ENGINE_AUDIO_ISPLAYING:
      if (p1 == nullptr) return PE_ENGINE_FAILED;
      *static_cast<bool*>(p1) = isPlaying();
      return PE_ENGINE_OK;

    case PE_ENGINE_MIDI_PLAY: graph.startMIDIFile(); return PE_ENGINE_OK;
    case PE_ENGINE_MIDI_STOP: graph.stopMIDIFile(); return PE_ENGINE_OK;
    case PE_ENGINE_MIDI_SEEK: graph.seekMIDIFile(f); return PE_ENGINE_OK;
    case PE_ENGINE_MIDI_POSITION_GET:
      if (p1 == nullptr) return PE_ENGINE_FAILED;
      *static_cast<double*>(p1) = graph.getMIDIFilePos();
      return PE_ENGINE_OK;
    case PE_ENGINE_MIDI_LOAD:
      if (p1 == nullptr) return PE_ENGINE_NOT_HANDLED;
      return graph.setMIDIFile(static_cast<const char*>(p1)) ? PE_ENGINE_OK : PE_ENGINE_FAILED;

    case PE_ENGINE_INSTRUMENT_ADD: return addInstrument();
    case PE_ENGINE_INSTRUMENT_REMOVE:
      return graph.removeInstrument(i1) ? PE_ENGINE_OK : PE_ENGINE_FAILED;
    case PE_ENGINE_INSTRUMENT_GUI_SHOW:
      return graph.showInstrumentUI(i1, p1) ? PE_ENGINE_OK : PE_ENGINE_FAILED;
    case PE_ENGINE_INSTRUMENT_GUI_CLOSE:
      return graph.closeInstrumentUI(i1) ? PE_ENGINE_OK : PE_ENGINE_FAILED;
    case PE_ENGINE_INSTRUMENT_CHUNK_SAVE: {
      if (p1 == nullptr || p2 == nullptr) return PE_ENGINE_FAILED;
      int size = 0;
      if (!graph.saveInstrumentChunk(i1, static_cast<unsigned char**>(p1), size)) {
        return PE_ENGINE_FAILED;
      }
      *static_cast<std::int32_t*>(p2) = size;
      return PE_ENGINE_OK;
    }
    case PE_ENGINE_INSTRUMENT_CHUNK_SAVE_END:
      return graph.saveInstrumentChunkEnd(i1) ? PE_ENGINE_OK : PE_ENGINE_FAILED;
    case PE_ENGINE_INSTRUMENT_CHUNK_LOAD:
      if (p1 == nullptr || i3 <= 0) return PE_ENGINE_FAILED;
      return graph.loadInstrumentChunk(i1, static_cast<unsigned char*>(p1), i3) ? PE_ENGINE_OK
                                                                               : PE_ENGINE_FAILED;

    case PE_ENGINE_MIDIDEVICE_LIST:
      return listMIDIDevices(static_cast<PEMIDIDeviceRecord*>(p1), i1, i2,
                             static_cast<std::int32_t*>(p2));
    case PE_ENGINE_MIDIDEVICE_GET: {
      if (p1 == nullptr) return PE_ENGINE_FAILED;
      const MIDIDevice* device = graph.getMIDIDevice(i1);
      *static_cast<std::int32_t*>(p1) = device != nullptr ? device->getDeviceId() : -1;
      return PE_ENGINE_OK;
    }
    case PE_ENGINE_MIDIDEVICE_ENABLE: return enableMIDIDevice(i1, i2);
    case PE_ENGINE_MIDIDEVICE_GETUSED:
      if (p1 == nullptr) return PE_ENGINE_FAILED;
      graph.getUsedMIDIDevice(*static_cast<std::vector<std::int32_t>*>(p1), i1);
      return PE_ENGINE_OK;

    case PE_ENGINE_RECORDING_FILE_SET:
      if (p1 == nullptr) return PE_ENGINE_FAILED;
      if (!sndfile.available()) return PE_ENGINE_NO_AUDIO_FILES;
      // The recording takes format, extensible flag, bits: i1, i3, i2; p2, when given, a
      // std::string that gets why the file was refused.
      return graph.setRecordingFile(static_cast<const char*>(p1), static_cast<unsigned>(i1),
                                    static_cast<unsigned>(i3), static_cast<unsigned>(i2),
                                    static_cast<std::string*>(p2))
                 ? PE_ENGINE_OK
                 : PE_ENGINE_FAILED;
    case PE_ENGINE_RECORDING_START:
      if (!sndfile.available()) return PE_ENGINE_NO_AUDIO_FILES;
      return graph.startRecording() ? PE_ENGINE_OK : PE_ENGINE_FAILED;
    case PE_ENGINE_RECORDING_STOP:
      if (!sndfile.available()) return PE_ENGINE_NO_AUDIO_FILES;
      return graph.stopRecording() ? PE_ENGINE_OK : PE_ENGINE_FAILED;
    case PE_ENGINE_RECORDING_ISRECORDING:
      if (p1 == nullptr) return PE_ENGINE_FAILED;
      *static_cast<std::int32_t*>(p1) = graph.isRecording() ? 1 : 0;
      return PE_ENGINE_OK;

    default: return PE_ENGINE_NOT_HANDLED;
  }
}

}  // namespace vantor

extern "C" std::int32_t engineOpcode(PE_ENGINE_OPCODE command, void* p1, void* p2, int i1, int i2,
                                     int i3, float f) noexcept {
  using vantor::EngineManager;
  using vantor::Singleton;
  try {
    const std::int32_t result =
        Singleton<EngineManager>::instance()->command(command, p1, p2, i1, i2, i3, f);
    if (command == PE_ENGINE_SHUTDOWN) Singleton<EngineManager>::destroyInstance();
    return result;
  } catch (const std::exception& e) {
    PLOGE("engineOpcode %d: %s", static_cast<int>(command), e.what());
  } catch (...) {
    PLOGE("engineOpcode %d: unknown exception", static_cast<int>(command));
  }
  return PE_ENGINE_FAILED;
}
