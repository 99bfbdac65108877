#include "standalone/host/DeviceManager.h"

#include <algorithm>
#include <stdexcept>

#include "VNL/source/FileUtils.h"
#include "VNL/source/LogLine.h"
#include "VNL/source/ProductConf.h"
#include "standalone/host/AudioDevice.h"
#include "standalone/host/CoreMIDILayer.h"
#include "standalone/host/DSPInfo.h"
#include "standalone/host/DeviceFactories.h"
#include "standalone/host/GraphManager.h"
#include "standalone/host/Instance.h"
#include "standalone/host/MIDIDevice.h"
#include "standalone/host/OfflineThread.h"
#include "standalone/host/PortAudioApi.h"

namespace vantor {
namespace {

// PortAudio's host-API type ids and the codes the records carry. ALSA and JACK stand where
// Core Audio stood: the platform's own devices.
bool hostApiCodeOf(PaHostApiTypeId type, std::int32_t& code) {
  switch (type) {
    case paDirectSound: code = 1; return true;
    case paMME: code = 0; return true;
    case paASIO: code = 2; return true;
    case paCoreAudio:
    case paALSA:
    case paJACK: code = DeviceManager::kHostApiCodePlatform; return true;
    case paWASAPI: code = 4; return true;
    default: return false;
  }
}

}  // namespace

DeviceManager::DeviceManager() = default;

DeviceManager::~DeviceManager() {
  close();
  if (midiDeviceManager() == this) setMIDIDeviceManager(nullptr);
  for (auto& [id, record] : m_midiDevices) delete record;
  m_midiDevices.clear();
  for (auto& [context, data] : m_contexts) {
    endOfflineThread(*data);
    delete data;
  }
  m_contexts.clear();
}

void DeviceManager::init() {
  PortAudioApi& pa = portAudio();
  PLOGI("Using %s", pa.versionText());
  PLOGI("Initialising Devices...");
  PLOGI("%s", kLogSeparator);
  setJackClientName(conf.productName);
  bool initialised = false;
  try {
    const PaError code = pa.initialize();
    if (code != paNoError) {
      PLOGE("Pa_Initialize Error number: %d Error message: %s", code, pa.errorText(code));
    } else {
      initialised = true;
    }
  } catch (...) {
    PLOGI("Unknown exception while calling Pa_Initialize()!");
  }
  PLOGI("Passed Pa_Initialize()");
  m_portAudioUp = initialised;
  // Also after a failure: PortAudio then answers the count with an error, which is logged.
  m_audioDeviceCount = enumAudioDevices();
  enumMIDIDevices();
  setMIDIDeviceManager(this);
}

void DeviceManager::close() {
  PLOGI("DeviceManager::close() in");
  if (m_portAudioUp && m_streamAbandoned) {
    PLOGW("PortAudio left as it is: a stream whose device went away is still open");
    m_portAudioUp = false;
  }
  if (m_portAudioUp) {
    try {
      portAudio().terminate();
    } catch (...) {
      PLOGI("ERROR: DeviceManager::close() Unknown exception in Pa_Terminate()");
    }
    m_portAudioUp = false;
  }
  PLOGI("Passed Pa_Terminate()");
  for (DMAudioDeviceInfo* record : m_audioDevices) {
    if (!record->free && record->valid && record->device != nullptr) {
      AudioDevice* device = record->device;
      record->device = nullptr;
      delete device;
    }
    delete record;
  }
  m_audioDevices.clear();
  m_audioDeviceCount = 0;
  PLOGI("DeviceManager::close() out");
}

int DeviceManager::enumAudioDevices() {
  PortAudioApi& pa = portAudio();
  PLOGI("Now enumerating Audio Devices...");
  int count = 0;
  try {
    count = pa.deviceCount();
    PLOGI("Passed Pa_CountDevices()");
    if (count < 0) {
      PLOGE("ERROR: Pa_CountDevices returned %d", count);
      PLOGE("An error occured while using the portaudio stream");
      PLOGE("Error number: %d Error message: %s", count, pa.errorText(count));
      return 0;
    }
  } catch (...) {
    PLOGE("Unknown exception while calling Pa_CountDevices()!");
    return 0;
  }

  PLOGI("Found %d :", count);
  for (int i = 0; i < count; ++i) {
    auto* record = new DMAudioDeviceInfo();
    m_audioDevices.push_back(record);
    try {
      const PaDeviceInfo* info = pa.deviceInfo(i);
      if (info == nullptr) {
        PLOGE("Dev:%d pointer is null! skipping device", i);
        continue;
      }
      record->free = record->valid = record->selectable = true;
      record->maxInputChannels = info->maxInputChannels;
      record->maxOutputChannels = info->maxOutputChannels;
      record->defaultLowInputLatency = info->defaultLowInputLatency;
      record->defaultLowOutputLatency = info->defaultLowOutputLatency;
      record->defaultHighInputLatency = info->defaultHighInputLatency;
      record->defaultHighOutputLatency = info->defaultHighOutputLatency;
      record->defaultSampleRate = info->defaultSampleRate;
      PLOGI("Dev:%d", i);

      const PaHostApiInfo* hostApi = pa.hostApiInfo(info->hostApi);
      const int type = hostApi != nullptr ? int(hostApi->type) : -1;
      if (hostApi != nullptr) record->hostApiName = hostApi->name != nullptr ? hostApi->name : "";
      if (hostApi == nullptr || !hostApiCodeOf(hostApi->type, record->hostApiCode)) {
        record->valid = record->selectable = false;
        PLOGE("Dev:%d unsupported host API(%d) skipping", i, type);
        continue;
      }

      const std::string name = info->name != nullptr ? info->name : "";
      record->portAudioName = name;
      record->name = name;
      const int ins = info->maxInputChannels;
      const int outs = info->maxOutputChannels;
      if (ins > 0 && outs > 0) {
        record->ioType = kDeviceInputOutput;
        record->inputIndex = record->outputIndex = i;
      } else if (ins > 0) {
        record->ioType = kDeviceInput;
        record->inputIndex = i;
        record->selectable = false;
      } else if (outs > 0) {
        record->ioType = kDeviceOutput;
        record->outputIndex = i;
      } else {
        PLOGE("This device is way screwed up!");
        record->name = name + "(BAD)";
        record->selectable = false;
      }

      PLOGI("API  = %s", record->hostApiName.c_str());
      PLOGI("Name = %s Max Inputs   = %d, Max Outputs = %d", record->name.c_str(), ins, outs);
      PLOGI("Default LowInputLatency:%g", record->defaultLowInputLatency);
      PLOGI("Default LowOutputLatency:%g", record->defaultLowOutputLatency);
      PLOGI("Default HighInputLatency:%g", record->defaultHighInputLatency);
      PLOGI("Default HighOutputLatency:%g", record->defaultHighOutputLatency);
      PLOGI("Default SampleRate:%g", record->defaultSampleRate);
      PLOGI("%s", kLogSeparator);
      if (outs == 1) {
        PLOGI("mono output device, do not use!");
        record->valid = record->selectable = false;
      }
    } catch (...) {
      PLOGE(" has caused an unknown exception while fetching info from it");
      record->valid = record->selectable = false;
    }
  }
  PLOGI("%s", kLogSeparator);
  return count;
}

void DeviceManager::fillMIDIRecord(DMMIDIDeviceInfo& record, int id) {
  const MIDIDeviceInfo* info = MIDI_GetDeviceInfo(id);
  if (info == nullptr) throw std::runtime_error("no MIDI record");
  record.kind = info->type;
  std::string name = info->name;
  if (info->ins != 0) {
    for (int k = 1; m_inputNames.count(name) != 0; ++k) name = info->name + "_" + std::to_string(k);
    m_inputNames.emplace(name, 0);
  }
  if (info->outs != 0) {
    for (int k = 1; m_outputNames.count(name) != 0; ++k) {
      name = info->name + "_" + std::to_string(k);
    }
    m_outputNames.emplace(name, 0);
  }
  record.uniqueName = name;
  if (info->ins != 0) {
    record.displayName = name + "(in)";
  } else if (info->outs != 0) {
    record.displayName = name + "(out)";
  }
  record.isInput = info->ins != 0 ? 1 : 0;
  record.isOutput = info->outs != 0 ? 1 : 0;
  record.free = true;
  record.online = info->working;
  record.id = info->id;
}

DMMIDIDeviceInfo* DeviceManager::makeMIDIRecord(int id) {
  const MIDIDeviceInfo* info = MIDI_GetDeviceInfo(id);
  const int key = info != nullptr ? info->id : id;
  auto* record = new DMMIDIDeviceInfo();
  delete m_midiDevices[key];
  m_midiDevices[key] = record;
  try {
    fillMIDIRecord(*record, id);
  } catch (...) {
    record->online = false;
  }
  if (record->isOutput == 1) {
    record->ioType = kDeviceOutput;
  } else if (record->isInput == 1) {
    record->ioType = kDeviceInput;
  }
  return record;
}

void DeviceManager::enumMIDIDevices() {
  PLOGI("Now enumerating MIDI Devices...");
  std::vector<int> ids;
  MIDI_GetDeviceIDs(ids);
  for (int id : ids) makeMIDIRecord(id);
  int counter = 0;
  for (auto& [id, record] : m_midiDevices) {
    std::string text = "MIDI_" + std::to_string(counter++) + " interf:*" + record->kind + "* ";
    if (record->isOutput == 1 || record->isInput == 1) {
      text += record->displayName;
    } else {
      text += "device is VERY strange";
      PLOGE("%s", text.c_str());
    }
    PLOGI("%s", text.c_str());
  }
  PLOGI("%s", kLogSeparator);
}

void DeviceManager::addContext(Instance* context) {
  if (context == nullptr || m_contexts.count(context) != 0) return;
  m_contexts.emplace(context, new DMContextualData(context));
}

void DeviceManager::removeContext(Instance* context) {
  auto found = m_contexts.find(context);
  if (found == m_contexts.end()) return;
  endOfflineThread(*found->second);
  delete found->second;
  m_contexts.erase(found);
}

DMContextualData* DeviceManager::contextData(const Context* context) const {
  auto found = m_contexts.find(context);
  return found != m_contexts.end() ? found->second : nullptr;
}

DMAudioDeviceInfo* DeviceManager::getAudioDeviceInfo(int index) const {
  if (index < 0 || index >= int(m_audioDevices.size())) return nullptr;
  return m_audioDevices[std::size_t(index)];
}

void DeviceManager::setAudioDevice(int index, AudioDevice* device) {
  if (DMAudioDeviceInfo* record = getAudioDeviceInfo(index)) record->device = device;
}

bool DeviceManager::setAudioDeviceMaster(const Context* context, int index) {
  DMContextualData* data = contextData(context);
  const DMAudioDeviceInfo* record = getAudioDeviceInfo(index);
  if (data == nullptr || record == nullptr || data->masterSet) return false;
  if (record->maxOutputChannels < 1) return false;
  data->masterDevice = index;
  data->masterSet = true;
  return true;
}

void DeviceManager::acquireAudioDevice(const Context*, int index) {
  if (DMAudioDeviceInfo* record = getAudioDeviceInfo(index)) record->free = false;
}

void DeviceManager::releaseAudioDevice(const Context* context, int index) {
  DMContextualData* data = contextData(context);
  if (data != nullptr && data->masterSet && data->masterDevice == index) data->masterSet = false;
  if (DMAudioDeviceInfo* record = getAudioDeviceInfo(index)) record->free = true;
}

bool DeviceManager::isPlaying(const Context* context, bool lock) {
  DMContextualData* data = contextData(context);
  if (data == nullptr) return false;
  if (!lock) return data->playing;
  data->psr.lock();
  const bool playing = data->playing;
  data->psr.unlock();
  return playing;
}

bool DeviceManager::playStopReq(const Context* context, bool play) {
  DMContextualData* data = contextData(context);
  if (data == nullptr) return false;
  data->psr.lock();
  PLOGI("###### PSR LOCK ACQUIRED ######");
  bool result = false;
  if (play) {
    if (!data->playing) {
      PLOGI("playReq 1");
      data->instance->start();
      PLOGI("playReq 2");
      result = privPlay(*data);
      PLOGI("playReq 3");
    } else {
      PLOGE("no play when playing");
    }
  } else {
    if (!data->playing) {
      PLOGE("no stop when not playing");
    } else {
      PLOGI("stopReq 1");
      result = privStop(*data);
      PLOGI("stopReq 2");
      data->instance->stop();
      PLOGI("stopReq 3");
    }
  }
  PLOGI("###### PSR LOCK RELEASED ###### sc:%d", result ? 1 : 0);
  data->psr.unlock();
  return result;
}

bool DeviceManager::watchAudioDevices(const Context* context) {
  DMContextualData* data = contextData(context);
  if (data == nullptr || !data->playing || data->instance->getDSPInfo().offline) return false;
  for (DMAudioDeviceInfo* record : m_audioDevices) {
    if (record->free || !record->valid || record->device == nullptr || record->gone) continue;
    if (!record->device->streamEnded()) continue;
    const PaDeviceInfo* info = portAudio().deviceInfo(record->outputIndex);
    const PaHostApiInfo* hostApi =
        info != nullptr ? portAudio().hostApiInfo(info->hostApi) : nullptr;
    // A JACK server takes every client with it.
    const bool wholeServer = hostApi != nullptr && hostApi->type == paJACK;
    for (DMAudioDeviceInfo* other : m_audioDevices) {
      if (other == record || (wholeServer && other->hostApiName == record->hostApiName))
        other->gone = true;
    }
    PLOGE("%s: the audio device stopped (its stream ended by itself)", record->name.c_str());
    popupModalMessageWindow(nullptr, conf.productName,
                            "The audio device \"" + record->name +
                                "\" has stopped: its audio server or the device itself went "
                                "away.\nChoose another device in the Preferences.");
    return true;
  }
  return false;
}

bool DeviceManager::privPlay(DMContextualData& data) {
  PLOGI("DeviceManager::privPlay()");
  bool result = false;
  if (data.instance->getDSPInfo().offline) {
    result = data.offlineThread != nullptr && data.offlineThread->start(data.instance);
  } else {
    for (DMAudioDeviceInfo* record : m_audioDevices) {
      if (!record->free && record->valid && record->device != nullptr) {
        result = record->device->onPlay();
      }
    }
  }
  data.playing = result;
  return result;
}

bool DeviceManager::privStop(DMContextualData& data) {
  PLOGI("DeviceManager::privStop()");
  bool changed = false;
  if (data.instance->getDSPInfo().offline) {
    if (data.offlineThread != nullptr && data.offlineThread->isStarted()) {
      changed = data.offlineThread->stop();
    }
  } else {
    for (DMAudioDeviceInfo* record : m_audioDevices) {
      if (!record->free && record->valid && record->device != nullptr) {
        changed = record->device->onStop();
      }
    }
  }
  if (changed) data.cpuUsage.store(0.0f, std::memory_order_relaxed);
  data.playing = !changed;
  PLOGI("DeviceManager::privStop(), exiting, stateChanged:%d", changed ? 1 : 0);
  return changed;
}

void DeviceManager::endOfflineThread(DMContextualData& data) {
  if (data.offlineThread == nullptr) return;
  data.offlineThread->stop();
  // Waited for: its last block reads the context record and the graph, which may go next.
  std::atomic<bool> gone{false};
  data.offlineThread->die(&gone);
  data.offlineThread = nullptr;
  while (!gone.load(std::memory_order_acquire)) PmilliSleep(1);
}

void DeviceManager::setOffline(const Context* context, bool offline) {
  DMContextualData* data = contextData(context);
  if (data == nullptr) return;
  data->psr.lock();
  PLOGI("###### PSR LOCK ACQUIRED for setOffline ######");
  PLOGI("DeviceManager::setOffline(%d)", offline ? 1 : 0);
  endOfflineThread(*data);
  if (offline) {
    OfflineThread* thread = nullptr;
    if (m_offlineThreadMaker != nullptr) {
      thread = m_offlineThreadMaker(this);
    } else if (Singleton<GraphManager>::isCreated()) {
      thread = new OfflineThread(*Singleton<GraphManager>::instance(), this);
    } else {
      PLOGE("DeviceManager::setOffline() no graph to render offline");
    }
    if (thread != nullptr && !thread->isRunning()) {
      // Its thread never started, so it is still ours to delete.
      PLOGE("DeviceManager::setOffline() the offline render thread did not start");
      delete thread;
      thread = nullptr;
    }
    data->offlineThread = thread;
  }
  PLOGI("###### PSR LOCK RELEASED for setOffline ######");
  data->psr.unlock();
}

void DeviceManager::preGraph(const Context*) {}

void DeviceManager::postGraph(const Context* context) {
  auto found = m_contexts.find(context);
  if (found == m_contexts.end()) return;
  found->second->renderedFrames.fetch_add(found->second->instance->getDSPInfo().blockSize,
                                          std::memory_order_relaxed);
}

void DeviceManager::setCpuUsage(const Context* context, float usage) {
  auto found = m_contexts.find(context);
  if (found != m_contexts.end()) found->second->cpuUsage.store(usage, std::memory_order_relaxed);
}

float DeviceManager::getCpuUsage(const Context* context) const {
  const DMContextualData* data = contextData(context);
  return data != nullptr ? data->cpuUsage.load(std::memory_order_relaxed) : 0.0f;
}

std::uint64_t DeviceManager::getRenderedFrames(const Context* context) const {
  const DMContextualData* data = contextData(context);
  return data != nullptr ? data->renderedFrames.load(std::memory_order_relaxed) : 0;
}

OfflineThread* DeviceManager::getOfflineThread(const Context* context) const {
  const DMContextualData* data = contextData(context);
  return data != nullptr ? data->offlineThread : nullptr;
}

void DeviceManager::listMIDIDevices(std::vector<DMMIDIDeviceInfo*>& out) const {
  for (const auto& [id, record] : m_midiDevices) out.push_back(record);
}

DMMIDIDeviceInfo* DeviceManager::getMIDIDeviceInfo(int id) const {
  auto found = m_midiDevices.find(id);
  return found != m_midiDevices.end() ? found->second : nullptr;
}

void DeviceManager::setMIDIDevice(int id, MIDIDevice* device) {
  if (DMMIDIDeviceInfo* record = getMIDIDeviceInfo(id)) record->device = device;
}

void DeviceManager::acquireMIDIDevice(const Context*, int id) {
  if (DMMIDIDeviceInfo* record = getMIDIDeviceInfo(id)) record->free = false;
}

void DeviceManager::releaseMIDIDevice(const Context*, int id) {
  DMMIDIDeviceInfo* record = getMIDIDeviceInfo(id);
  if (record == nullptr) return;
  PLOGI("DeviceManager : %s was deallocated", record->displayName.c_str());
  record->free = true;
  record->device = nullptr;
}

void DeviceManager::enableMIDIDevice(int id, int enable) {
  if (m_commands == nullptr) {
    PLOGE("DeviceManager: no command interface to enable MIDI device %d with %d", id, enable);
    return;
  }
  m_commands(kCommandMIDIDeviceEnable, nullptr, nullptr, id, enable, 0, 0.0f);
}

void DeviceManager::removeMIDIDevice(int id) {
  auto found = m_midiDevices.find(id);
  if (found == m_midiDevices.end()) return;
  DMMIDIDeviceInfo* record = found->second;
  // Copied: the command below may reach back into this record.
  const std::string uniqueName = record->uniqueName;
  const int isInput = record->isInput;
  if (!record->free && record->online) {
    PLOGI("removed MIDI Device is used : %s", uniqueName.c_str());
    enableMIDIDevice(id, -1);
    m_reEnable.emplace_back(isInput == 1 ? 1 : 0, uniqueName);
  }
  if (Singleton<MIDIDeviceFactory>::isCreated()) {
    Singleton<MIDIDeviceFactory>::instance()->removeMIDIDevice(id);
  }
  if (isInput == 1) {
    m_inputNames.erase(uniqueName);
  } else {
    m_outputNames.erase(uniqueName);
  }
  m_midiDevices.erase(id);
  delete record;
}

void DeviceManager::addMIDIDevice(int id) {
  const MIDIDeviceInfo* info = MIDI_GetDeviceInfo(id);
  if (info == nullptr) return;
  const int key = info->id;
  const DMMIDIDeviceInfo* record = makeMIDIRecord(id);
  if (Singleton<MIDIDeviceFactory>::isCreated()) {
    Singleton<MIDIDeviceFactory>::instance()->addMIDIDevice(key);
  }

  const int direction = record->isInput == 1 ? 1 : 0;
  const std::string uniqueName = record->uniqueName;
  auto pending = std::find_if(m_reEnable.begin(), m_reEnable.end(), [&](const auto& entry) {
    return entry.first == direction && entry.second == uniqueName;
  });
  if (pending == m_reEnable.end()) return;
  m_reEnable.erase(pending);
  enableMIDIDevice(key, 1);
  PLOGI("newly connected device is re-enabled : %s", uniqueName.c_str());
  DMMIDIDeviceInfo* now = getMIDIDeviceInfo(key);
  if (now != nullptr && !now->free && now->online && now->device != nullptr) now->device->start();
}

void DeviceManager::renameMIDIDevice(int id, const std::string& name) {
  PLOGI("TODO renaming :%d with %s", id, name.c_str());
}

}  // namespace vantor
