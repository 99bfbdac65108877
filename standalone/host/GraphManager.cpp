#include "standalone/host/GraphManager.h"

#include <algorithm>

#include "VNL/source/LogLine.h"
#include "VNL/source/StableSort.h"
#include "standalone/host/Alloc2D.h"
#include "standalone/host/AudioStatKeeper.h"
#include "standalone/host/DSPInfo.h"
#include "standalone/host/MIDIDevice.h"
#include "standalone/host/MIDIFilePlayer.h"
#include "standalone/host/Module.h"
#include "standalone/host/MutexHold.h"
#include "standalone/host/StereoFileOutputModule.h"
#include "standalone/host/StereoGainModule.h"

namespace vantor {

namespace {

constexpr int kChannels = 2;

void clear(float** bus, unsigned frames) {
  for (int channel = 0; channel < kChannels; ++channel) {
    for (unsigned i = 0; i < frames; ++i) bus[channel][i] = 0.0f;
  }
}

}  // namespace

GraphManager::GraphManager() = default;

GraphManager::~GraphManager() {
  delete m_audioDevice;
  for (auto& [slot, instrument] : m_instruments) delete instrument;
  for (auto& [slot, gain] : m_slotGains) delete gain;
  m_eventLists.clear();
  for (auto& [id, device] : m_inputMIDIDevices) delete device;
  for (auto& [id, device] : m_otherMIDIDevices) delete device;
  delete m_masterGain;
  delete m_fileOutput;
  delete m_player;
  freeBuses();
  delete m_leftStatistics;
  delete m_rightStatistics;
}

void GraphManager::makeBuses() {
  freeBuses();
  const std::uint32_t frames = m_dspInfo != nullptr ? m_dspInfo->blockSize : 0;
  m_instrumentBus = alloc_2d<float>(kChannels, frames);
  m_mixBus = alloc_2d<float>(kChannels, frames);
  if (m_instrumentBus == nullptr || m_mixBus == nullptr) {
    PLOGE("GraphManager: no memory for the buses of %u frames", frames);
    freeBuses();
    return;
  }
  m_busFrames = frames;
}

void GraphManager::freeBuses() {
  free_2d(m_instrumentBus);
  free_2d(m_mixBus);
  m_instrumentBus = nullptr;
  m_mixBus = nullptr;
  m_busFrames = 0;
}

void GraphManager::init(const Context* context, const DSPInfo* dspInfo) {
  MutexHold hold(m_mutex);
  m_context = context;
  m_dspInfo = dspInfo;
  makeBuses();
  m_masterGain = new StereoGainModule();
  m_masterGain->init(context, dspInfo);
  m_masterGain->setGain(1.0f);
  m_fileOutput = new StereoFileOutputModule();
  m_fileOutput->init(context, dspInfo);
  m_player = new MIDIFilePlayer();
  m_player->init(context, dspInfo);
  m_playerCapacity = m_player->maxEventsPerBlock();
  m_leftStatistics = new AudioStatKeeper();
  m_rightStatistics = new AudioStatKeeper();
  reserveEventStorage();
}

void GraphManager::setDSPInfo(const DSPInfo* dspInfo) {
  // The modules are told without the mutex: a module may reach back into the graph (the engine
  // module's front end reloads the MIDI file when the render comes back from offline).
  if (m_audioDevice != nullptr) m_audioDevice->setDSPInfo(dspInfo);
  if (m_player != nullptr) m_player->setDSPInfo(dspInfo);
  for (auto& [id, device] : m_inputMIDIDevices) device->setDSPInfo(dspInfo);
  for (auto& [id, device] : m_otherMIDIDevices) device->setDSPInfo(dspInfo);
  for (auto& [slot, instrument] : m_instruments) instrument->setDSPInfo(dspInfo);
  for (auto& [slot, gain] : m_slotGains) gain->setDSPInfo(dspInfo);
  if (m_masterGain != nullptr) m_masterGain->setDSPInfo(dspInfo);
  if (m_fileOutput != nullptr) m_fileOutput->setDSPInfo(dspInfo);
  MutexHold hold(m_mutex);
  m_dspInfo = dspInfo;
  makeBuses();
  reserveEventStorage();  // the devices' per-block limits follow the format
}

void GraphManager::reserveEventStorage() {
  std::size_t deviceEvents = 0;
  for (auto& [id, device] : m_inputMIDIDevices) deviceEvents += device->getMaxEventsPerBlock();
  const std::size_t capacity = deviceEvents + m_playerCapacity;
  for (auto& [slot, events] : m_eventLists) events.reserve(capacity);
  if (m_sortScratch.size() < capacity) m_sortScratch.resize(capacity);
  m_drainedEvents.reserve(deviceEvents);
  m_eventCapacity = capacity;
}

void GraphManager::setAudioDevice(Module* device) {
  MutexHold hold(m_mutex);
  delete m_audioDevice;
  m_audioDevice = device;
}

void GraphManager::addMIDIDevice(int id, MIDIDevice* device) {
  if (device == nullptr) return;
  MutexHold hold(m_mutex);
  if (device->getDeviceType() == kDeviceInput) {
    m_inputMIDIDevices[id] = device;
  } else {
    m_otherMIDIDevices[id] = device;
  }
  reserveEventStorage();
}

void GraphManager::removeMIDIDevice(int id) {
  MutexHold hold(m_mutex);
  for (auto* map : {&m_inputMIDIDevices, &m_otherMIDIDevices}) {
    const auto found = map->find(id);
    if (found != map->end()) {
      delete found->second;
      map->erase(found);
      return;
    }
  }
}

MIDIDevice* GraphManager::getMIDIDevice(int id) const {
  for (const auto* map : {&m_inputMIDIDevices, &m_otherMIDIDevices}) {
    const auto found = map->find(id);
    if (found != map->end()) return found->second;
  }
  return nullptr;
}

void GraphManager::getUsedMIDIDevice(std::vector<int>& ids, int kind) const {
  if (kind == 0 || kind == 2) {
    for (const auto& [id, device] : m_inputMIDIDevices) ids.push_back(device->getDeviceId());
  }
  if (kind == 1 || kind == 2) {
    for (const auto& [id, device] : m_otherMIDIDevices) ids.push_back(device->getDeviceId());
  }
}

void GraphManager::start() {
  for (auto& [slot, instrument] : m_instruments) instrument->start();
  for (auto& [id, device] : m_inputMIDIDevices) device->start();
  for (auto& [id, device] : m_otherMIDIDevices) device->start();
}

void GraphManager::stop() {
  for (auto& [slot, instrument] : m_instruments) instrument->stop();
  for (auto& [id, device] : m_inputMIDIDevices) device->stop();
  for (auto& [id, device] : m_otherMIDIDevices) device->stop();
}

bool GraphManager::addInstrument(int slot, Module* instrument) {
  if (m_instruments.count(slot) != 0) {
    PLOGE("GraphManager::addInstrument, already an instrument in slot: %d", slot);
    return false;
  }
  auto* gain = new StereoGainModule();
  gain->init(m_context, m_dspInfo);
  std::vector<MIDIEvent> events;
  events.reserve(m_eventCapacity);
  MutexHold hold(m_mutex);
  m_instruments[slot] = instrument;
  m_slotGains[slot] = gain;
  m_eventLists[slot] = std::move(events);
  return true;
}

bool GraphManager::removeInstrument(int slot) {
  if (m_instruments.count(slot) == 0) {
    PLOGE("GraphManager::removeInstrument, no instrument in slot: %d", slot);
    return false;
  }
  MutexHold hold(m_mutex);
  delete m_instruments[slot];
  m_instruments.erase(slot);
  delete m_slotGains[slot];
  m_slotGains.erase(slot);
  m_eventLists.erase(slot);
  return true;
}

Module* GraphManager::getInstrument(int slot) const {
  const auto found = m_instruments.find(slot);
  return found != m_instruments.end() ? found->second : nullptr;
}

StereoGainModule* GraphManager::getSlotGain(int slot) const {
  const auto found = m_slotGains.find(slot);
  return found != m_slotGains.end() ? found->second : nullptr;
}

bool GraphManager::showInstrumentUI(int slot, void* parent) {
  Module* instrument = getInstrument(slot);
  if (instrument == nullptr) {
    PLOGE("GraphManager::showInstrumentUI, no instrument in slot: %d", slot);
    return false;
  }
  return instrument->showUI(parent);
}

bool GraphManager::closeInstrumentUI(int slot) {
  Module* instrument = getInstrument(slot);
  if (instrument == nullptr) {
    PLOGE("GraphManager::closeInstrumentUI, no instrument in slot: %d", slot);
    return false;
  }
  return instrument->closeUI(true);
}

bool GraphManager::saveInstrumentChunk(int slot, unsigned char** data, int& size) {
  Module* instrument = getInstrument(slot);
  if (instrument == nullptr) {
    PLOGE("GraphManager::saveInstrumentChunk, no instrument in slot: %d", slot);
    return false;
  }
  return instrument->saveChunk(data, size);
}

bool GraphManager::saveInstrumentChunkEnd(int slot) {
  Module* instrument = getInstrument(slot);
  if (instrument == nullptr) {
    PLOGE("GraphManager::saveInstrumentChunkEnd, no instrument in slot: %d", slot);
    return false;
  }
  return instrument->saveChunkEnd();
}

bool GraphManager::loadInstrumentChunk(int slot, unsigned char* data, int size) {
  Module* instrument = getInstrument(slot);
  if (instrument == nullptr) {
    PLOGE("GraphManager::loadInstrumentChunk, no instrument in slot: %d", slot);
    return false;
  }
  return instrument->loadChunk(data, size);
}

bool GraphManager::setRecordingFile(const std::string& path, unsigned format, unsigned extensible,
                                    unsigned bits, std::string* reason) {
  return m_fileOutput != nullptr &&
         m_fileOutput->setRecordingFile(path, static_cast<int>(format),
                                        static_cast<int>(extensible), static_cast<int>(bits),
                                        reason);
}

bool GraphManager::startRecording() {
  return m_fileOutput != nullptr && m_fileOutput->startRecording();
}

bool GraphManager::stopRecording() { return m_fileOutput != nullptr && m_fileOutput->stopRecording(); }

bool GraphManager::isRecording() { return m_fileOutput != nullptr && m_fileOutput->isRecording(); }

bool GraphManager::setMIDIFile(const std::string& path) {
  if (m_player == nullptr) return false;
  // Loading stops playback, and only this thread starts it again: the room for the new file's
  // largest block is there before the player can produce one.
  const bool loaded = m_player->setMIDIFile(path);
  MutexHold hold(m_mutex);
  m_playerCapacity = std::max(m_playerCapacity, m_player->maxEventsPerBlock());
  reserveEventStorage();
  return loaded;
}

bool GraphManager::startMIDIFile() { return m_player != nullptr && m_player->playFile(); }

bool GraphManager::stopMIDIFile() { return m_player != nullptr && m_player->stopFile(); }

bool GraphManager::seekMIDIFile(float position) {
  if (m_player != nullptr) m_player->seek(static_cast<double>(position));
  return true;
}

double GraphManager::getMIDIFilePos() {
  return m_player != nullptr ? m_player->getNormalisedPos() : 0.0;
}

void GraphManager::collectDeviceEvents(std::vector<MIDIEvent>& events) {
  for (auto& [id, device] : m_inputMIDIDevices) device->getMIDIEvents(events);
}

void GraphManager::runGraphStereo(float** outputs, unsigned frames) {
  if (!m_mutex.tryLock()) return;
  if (m_mixBus == nullptr || m_dspInfo == nullptr) {
    m_mutex.unlock();
    return;
  }
  if (frames > m_busFrames) frames = m_busFrames;
  clear(m_mixBus, frames);

  if (m_instruments.empty()) {
    // Nobody takes the devices' events, but their rings must not fill up unread.
    collectDeviceEvents(m_drainedEvents);
    m_drainedEvents.clear();
  }
  for (auto& [slot, instrument] : m_instruments) {
    std::vector<MIDIEvent>& events = m_eventLists[slot];
    collectDeviceEvents(events);
    if (m_player != nullptr) {
      m_player->fireSyncInfo();
      m_player->getMIDIEvents(events);
      if (m_dspInfo->offline && m_player->getNormalisedPos() == 1.0 &&
          !m_fileOutput->isRMSEngaged()) {
        m_fileOutput->engageRMSCalculation(true);
      }
    }
    // Equal offsets keep their order of arrival: device events, then file events.
    stableSort(events.data(), events.size(), m_sortScratch.data(), m_sortScratch.size(),
               midiSort);
    clear(m_instrumentBus, frames);
    instrument->setSyncInfo(m_syncInfo, 0.0);
    instrument->processMIDIStereo(events, nullptr, m_instrumentBus, frames, false);
    events.clear();
    m_slotGains[slot]->processStereo(m_instrumentBus, m_mixBus, frames, true);
  }

  m_masterGain->processStereo(m_mixBus, outputs, frames, false);
  m_fileOutput->processStereo(outputs, nullptr, frames, false);
  const int count = static_cast<int>(frames);
  m_leftStatistics->process(outputs[0], count, m_dspInfo->sampleRate, m_dspInfo->blockDuration);
  m_rightStatistics->process(outputs[1], count, m_dspInfo->sampleRate, m_dspInfo->blockDuration);
  m_mutex.unlock();
}

}  // namespace vantor
