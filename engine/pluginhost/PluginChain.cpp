#include "engine/pluginhost/PluginChain.h"

#include <algorithm>
#include <cmath>
#include <map>

#include "VNL/source/LogLine.h"
#include "VNL/source/StableSort.h"

namespace kelo::pluginhost {

using namespace vantor::KELOPluginSDK;

namespace {

constexpr int kDefaultBlockSize = 512;  // when the engine was given no block size

std::uint8_t velocityByte(float value) {
  return static_cast<std::uint8_t>(std::lround(std::clamp(value, 0.0f, 1.0f) * 127.0f));
}

}  // namespace

PluginChain::PluginChain(const std::string& dataFolder, std::vector<SetupPlugin> plugins)
    : m_host(std::make_unique<AudioFileHost>()),
      m_events(std::make_unique<HDMIDIEvents>()),
      m_scratch(std::make_unique<HDMIDIEvents>()),
      m_played(MAX_MIDIEVENTS_PER_CALL_SDK),
      m_sortScratch(MAX_MIDIEVENTS_PER_CALL_SDK) {
  m_events->numEvents = 0;
  m_scratch->numEvents = 0;
  std::map<std::string, std::shared_ptr<PluginBundle>> loaded;
  for (SetupPlugin& plugin : plugins) {
    plugin.bundle = resolvePath(dataFolder, plugin.bundle);
    plugin.customDataFile = resolvePath(dataFolder, plugin.customDataFile);
    plugin.initText = withDataFolder(plugin.initText, dataFolder);
    plugin.extraText = withDataFolder(plugin.extraText, dataFolder);
    auto& bundle = loaded[plugin.bundle];
    if (bundle == nullptr) {
      std::string error;
      bundle = PluginBundle::open(plugin.bundle, error);
      if (bundle == nullptr) PLOGE("KeloEngine: engine plug-in bundle left out: %s", error.c_str());
    }
    m_entries.push_back({std::move(plugin), bundle});
  }
}

PluginChain::~PluginChain() {
  m_audioStage.clear();
  m_midiStage.clear();
}

void PluginChain::prepare(double sampleRate, int maxFrames, int, int numOutputs) {
  if (sampleRate == m_sampleRate && maxFrames == m_maxFrames && numOutputs == m_numOutputs) return;
  m_audioStage.clear();
  m_midiStage.clear();
  m_sampleRate = sampleRate;
  m_maxFrames = maxFrames;
  m_numOutputs = numOutputs;
  for (const Entry& entry : m_entries) {
    if (entry.bundle == nullptr) continue;
    InstanceSettings settings;
    settings.initText = entry.setup.initText;
    settings.extraText = entry.setup.extraText;
    settings.initThroughRecord = entry.setup.initThroughRecord;
    settings.sampleRate = sampleRate;
    settings.maxBlockSize = maxFrames > 0 ? maxFrames : kDefaultBlockSize;
    settings.audioChannels = numOutputs;
    // A plug-in that holds fewer channels than the outputs (the room reverb takes sixteen)
    // still runs on the first pair, where the default routing plays, as in the stereo build.
    settings.fallbackAudioChannels = numOutputs > 2 ? 2 : 0;
    settings.customDataFile = entry.setup.customDataFile;
    std::string error;
    auto instance =
        PluginInstance::create(*entry.bundle, entry.setup.identifier, *m_host, settings, error);
    if (instance == nullptr) {
      PLOGE("KeloEngine: engine plug-in left out: %s", error.c_str());
    } else if (instance->numAudioChannels() > 0) {
      if (instance->numAudioChannels() <= numOutputs) {
        if (instance->numAudioChannels() < numOutputs) {
          PLOGI("KeloEngine: \"%s\" runs on the first %d of %d outputs",
                entry.setup.identifier.c_str(), instance->numAudioChannels(), numOutputs);
        }
        m_audioStage.push_back(std::move(instance));
      } else {
        PLOGE("KeloEngine: \"%s\" wants %d channels, the engine has %d outputs",
              entry.setup.identifier.c_str(), instance->numAudioChannels(), numOutputs);
      }
    } else if (instance->numMIDIOuts() > 0) {
      m_midiStage.push_back(std::move(instance));
    } else {
      PLOGE("KeloEngine: \"%s\" has neither audio channels nor MIDI output",
            entry.setup.identifier.c_str());
    }
  }
}

const vantor::MIDIEvent* PluginChain::processMIDI(const vantor::MIDIEvent* events,
                                                  std::size_t count, std::size_t& outCount,
                                                  int frames, const vantor::SyncInfo* sync) {
  outCount = count;
  m_eventsValid = false;
  if (m_midiStage.empty() && m_audioStage.empty()) return events;

  HDMIDIEvents& list = *m_events;
  list.numEvents = 0;
  for (std::size_t i = 0; i < count && list.numEvents < MAX_MIDIEVENTS_PER_CALL_SDK; ++i) {
    const vantor::MIDIEvent& event = events[i];
    list.events[list.numEvents++] =
        midiEvent(event.bytes[0], event.bytes[1], event.bytes[2] / 127.0f,
                  static_cast<std::uint32_t>(std::max(event.frameOffset, 0)));
  }
  m_eventsValid = true;
  if (m_midiStage.empty()) return events;

  const auto* syncRecord = reinterpret_cast<const SyncInfo*>(sync);
  for (const auto& instance : m_midiStage) {
    m_scratch->numEvents = 0;
    instance->process(nullptr, frames, m_events.get(), m_scratch.get(), syncRecord);
    m_events.swap(m_scratch);
  }

  // The voices play what a MIDI byte stream can carry; engine-internal controllers (numbers
  // above 127) stay in the list the audio plug-ins see.
  std::size_t played = 0;
  const std::int64_t produced = std::clamp<std::int64_t>(m_events->numEvents, 0, MAX_MIDIEVENTS_PER_CALL_SDK);
  for (std::int64_t i = 0; i < produced; ++i) {
    const HDMIDIEvent& event = m_events->events[i];
    if (event.status < 0x80 || event.status > 0xFF || event.data1 < 0 || event.data1 > 127)
      continue;
    vantor::MIDIEvent& out = m_played[played++];
    out = vantor::MIDIEvent{};
    out.bytes[0] = static_cast<std::uint8_t>(event.status);
    out.bytes[1] = static_cast<std::uint8_t>(event.data1);
    out.bytes[2] = velocityByte(event.data2);
    out.frameOffset = static_cast<std::int32_t>(
        std::min<std::uint32_t>(event.bufTick, static_cast<std::uint32_t>(std::max(frames - 1, 0))));
  }
  vantor::stableSort(m_played.data(), played, m_sortScratch.data(), m_sortScratch.size(),
                     vantor::midiSort);
  outCount = played;
  return m_played.data();
}

void PluginChain::processAudio(float* const* outputs, int numOutputs, int frames,
                               const vantor::SyncInfo* sync) {
  if (!m_eventsValid) m_events->numEvents = 0;
  const auto* syncRecord = reinterpret_cast<const SyncInfo*>(sync);
  for (const auto& instance : m_audioStage) {
    if (instance->numAudioChannels() > numOutputs) continue;
    instance->process(outputs, frames, m_events.get(), nullptr, syncRecord);
  }
  m_eventsValid = false;
}

std::unique_ptr<kelo::engine::EngineChain> loadEngineChain(const std::string& dataFolder) {
  std::vector<SetupPlugin> plugins;
  std::string error;
  if (!readKeloSetup(dataFolder + "/KeloSetup.xml", plugins, error)) {
    PLOGE("KeloEngine: no engine plug-ins: %s", error.c_str());
    return std::make_unique<kelo::engine::EngineChain>();
  }
  if (plugins.empty()) return std::make_unique<kelo::engine::EngineChain>();
  return std::make_unique<PluginChain>(dataFolder, std::move(plugins));
}

}  // namespace kelo::pluginhost
