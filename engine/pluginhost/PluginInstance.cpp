#include "engine/pluginhost/PluginInstance.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "VNL/source/LogLine.h"
#include "engine/pluginhost/AudioFileHost.h"

namespace kelo::pluginhost {

using namespace vantor::KELOPluginSDK;

namespace {

constexpr std::int32_t kMaxBlockSize = 65536;

bool makeDSPInfo(double sampleRate, std::int32_t maxBlockSize, DSPInfo& info) {
  if (!(std::isfinite(sampleRate) && sampleRate >= 1.0 && sampleRate <= 1.0e6) ||
      maxBlockSize < 1 || maxBlockSize > kMaxBlockSize)
    return false;
  info = DSPInfo{};
  info.sampleRate = sampleRate;
  info.sampleRateInt = static_cast<std::int32_t>(std::lround(sampleRate));
  info.samplePeriod = 1.0 / sampleRate;
  info.maxBlockSize = maxBlockSize;
  info.blockDuration = maxBlockSize / sampleRate;
  info.inverseBlockSize = 1.0 / maxBlockSize;
  return true;
}

std::int64_t validCount(const HDMIDIEvents* events) {
  if (events == nullptr) return 0;
  return std::clamp<std::int64_t>(events->numEvents, 0, MAX_MIDIEVENTS_PER_CALL_SDK);
}

void append(HDMIDIEvents& list, const HDMIDIEvent& event, std::uint32_t tick) {
  if (list.numEvents >= MAX_MIDIEVENTS_PER_CALL_SDK) return;
  HDMIDIEvent& added = list.events[list.numEvents++];
  added = event;
  added.bufTick = tick;
}

}  // namespace

HDMIDIEvent midiEvent(std::int32_t status, std::int32_t data1, float data2, std::uint32_t tick) {
  HDMIDIEvent event{};
  event.status = status;
  event.data1 = data1;
  event.data2 = data2;
  event.legacy[0] = static_cast<std::uint8_t>(status);
  event.legacy[1] = static_cast<std::uint8_t>(data1);
  event.legacy[2] = static_cast<std::uint8_t>(std::lround(std::clamp(data2, 0.0f, 1.0f) * 127.0f));
  event.bufTick = tick;
  return event;
}

std::unique_ptr<PluginInstance> PluginInstance::create(PluginBundle& bundle,
                                                       const std::string& identifier,
                                                       AudioFileHost& host,
                                                       const InstanceSettings& settings,
                                                       std::string& error) {
  const PluginDescription* description = bundle.find(identifier);
  if (description == nullptr) {
    error = "\"" + bundle.path() + "\" has no plug-in \"" + identifier + "\"";
    return nullptr;
  }
  std::unique_ptr<PluginInstance> instance(new PluginInstance);
  instance->m_bundle = &bundle;
  instance->m_description = *description;
  if (!makeDSPInfo(settings.sampleRate, settings.maxBlockSize, instance->m_dspInfo)) {
    error = "sample rate or block size out of range";
    return nullptr;
  }
  const std::int32_t offered = description->channelLayout != 0 ? settings.audioChannels : 0;
  if (offered < 0 || offered > kMaxPluginChannels ||
      (description->channelLayout == -2 && offered % 2 != 0)) {
    error = "\"" + identifier + "\" cannot run on " + std::to_string(offered) + " channels";
    return nullptr;
  }
  instance->m_defaults = std::make_unique<HDMIDIEvents>();
  instance->m_blockIn = std::make_unique<HDMIDIEvents>();
  instance->m_blockOut = std::make_unique<HDMIDIEvents>();
  instance->m_payload = std::make_unique<CustomDataPayload>();
  instance->m_defaults->numEvents = 0;
  std::memset(instance->m_payload.get(), 0, sizeof(CustomDataPayload));

  instance->m_handle = bundle.newInstance(identifier.c_str(), host.host());
  if (instance->m_handle == nullptr || instance->m_handle->dispatcher == nullptr ||
      instance->m_handle->processor == nullptr) {
    instance->m_handle = nullptr;
    error = "\"" + identifier + "\" could not be created";
    return nullptr;
  }

  if (settings.initThroughRecord) {
    InitExRecord record{};
    record.initText = settings.initText.c_str();
    record.extraText = settings.extraText.c_str();
    instance->dispatch(PLUGOP_INITEX_RECORD, &record, nullptr);
    if (record.result == 0) {
      error = "\"" + identifier + "\" refused its init text \"" + settings.initText + "\"";
      return nullptr;
    }
  } else {
    instance->dispatch(PLUGOP_INITEX, const_cast<char*>(settings.initText.c_str()),
                       reinterpret_cast<std::int32_t*>(const_cast<char*>(settings.extraText.c_str())));
  }

  ChannelInfo channels{offered, offered};
  std::int32_t accepted = 0;
  instance->dispatch(PLUGOP_SET_IO_CONFIG, &channels, &accepted);
  const std::int32_t fallback = settings.fallbackAudioChannels;
  if (accepted < 0 && offered > 0 && fallback > 0 && fallback < offered) {
    channels = ChannelInfo{fallback, fallback};
    accepted = 0;
    instance->dispatch(PLUGOP_SET_IO_CONFIG, &channels, &accepted);
  }
  if (accepted < 0) {
    error = "\"" + identifier + "\" refused " + std::to_string(offered) + " channels";
    return nullptr;
  }
  instance->dispatch(PLUGOP_SET_DSPINFO, &instance->m_dspInfo, nullptr);

  std::int32_t ins = 0, outs = 0, midiIns = 0, midiOuts = 0;
  instance->dispatch(PLUGOP_GET_NUM_AUDIO_INS, nullptr, &ins);
  instance->dispatch(PLUGOP_GET_NUM_AUDIO_OUTS, nullptr, &outs);
  instance->dispatch(PLUGOP_GET_NUM_MIDI_INS, nullptr, &midiIns);
  instance->dispatch(PLUGOP_GET_NUM_MIDI_OUTS, nullptr, &midiOuts);
  if (ins < 0 || outs < 0 || ins > kMaxPluginChannels || outs > kMaxPluginChannels) {
    error = "\"" + identifier + "\" reports " + std::to_string(ins) + " inputs and " +
            std::to_string(outs) + " outputs";
    return nullptr;
  }
  instance->m_audioChannels = std::max(ins, outs);
  instance->m_midiIns = midiIns;
  instance->m_midiOuts = midiOuts;

  instance->dispatch(PLUGOP_GET_DEFAULTS, instance->m_defaults.get(), nullptr);
  instance->m_defaults->numEvents = validCount(instance->m_defaults.get());

  if (!settings.customDataFile.empty()) instance->setCustomData(settings.customDataFile);

  instance->dispatch(PLUGOP_START, nullptr, nullptr);
  instance->m_started = true;
  instance->m_defaultsPending = true;
  return instance;
}

PluginInstance::~PluginInstance() {
  if (m_handle == nullptr) return;
  std::lock_guard lock(m_callLock);
  if (m_started) dispatch(PLUGOP_STOP, nullptr, nullptr);
  m_bundle->deleteInstance(m_handle);
}

void PluginInstance::dispatch(PluginOpcodes1 opcode, void* ptr, std::int32_t* val) {
  m_handle->dispatcher(m_handle, opcode, ptr, val);
}

bool PluginInstance::setDSPSettings(double sampleRate, std::int32_t maxBlockSize) {
  DSPInfo info;
  if (!makeDSPInfo(sampleRate, maxBlockSize, info)) return false;
  std::lock_guard lock(m_callLock);
  m_dspInfo = info;
  dispatch(PLUGOP_SET_DSPINFO2, &m_dspInfo, nullptr);
  return true;
}

void PluginInstance::setCustomData(const std::string& file) {
  std::lock_guard lock(m_callLock);
  CustomDataPayload& payload = *m_payload;
  payload.magic = kCustomDataMagic;
  const std::size_t length = std::min(file.size(), sizeof payload.fileName - 1);
  if (length < file.size())
    PLOGW("engine plug-in host: custom data file name cut to %zu bytes", length);
  std::memcpy(payload.fileName, file.data(), length);
  payload.fileName[length] = '\0';
  payload.pending = 1;
  m_link.header = 0;
  m_link.payload = &payload;
  dispatch(PLUGOP_SET_CUSTOM_DATA_LINK, &m_link, nullptr);
}

void PluginInstance::idle() {
  std::lock_guard lock(m_callLock);
  dispatch(PLUGOP_IDLE, nullptr, nullptr);
}

void PluginInstance::clear(float* const* audio, std::int32_t frames, HDMIDIEvents* midiOut) {
  for (std::int32_t channel = 0; audio != nullptr && channel < m_audioChannels; ++channel)
    std::fill(audio[channel], audio[channel] + frames, 0.0f);
  if (midiOut != nullptr) midiOut->numEvents = 0;
}

void PluginInstance::process(float* const* audio, std::int32_t frames, const HDMIDIEvents* midiIn,
                             HDMIDIEvents* midiOut, const SyncInfo* sync) {
  if (frames <= 0) return;
  std::unique_lock lock(m_callLock, std::try_to_lock);
  if (!lock.owns_lock()) {  // a control call is running: this block stays silent
    clear(audio, frames, midiOut);
    return;
  }
  const std::int64_t inCount = validCount(midiIn);
  if (midiOut != nullptr) midiOut->numEvents = 0;
  const auto lastTick = static_cast<std::uint32_t>(frames - 1);
  for (std::int32_t done = 0; done < frames;) {
    const std::int32_t chunk = std::min(frames - done, m_dspInfo.maxBlockSize);
    HDMIDIEvents& in = *m_blockIn;
    in.numEvents = 0;
    if (m_defaultsPending) {
      for (std::int64_t i = 0; i < m_defaults->numEvents; ++i) append(in, m_defaults->events[i], 0);
      m_defaultsPending = false;
    }
    for (std::int64_t i = 0; i < inCount; ++i) {
      const std::uint32_t tick = std::min(midiIn->events[i].bufTick, lastTick);
      if (tick >= static_cast<std::uint32_t>(done) &&
          tick < static_cast<std::uint32_t>(done + chunk))
        append(in, midiIn->events[i], tick - static_cast<std::uint32_t>(done));
    }
    for (std::int32_t channel = 0; channel < m_audioChannels; ++channel)
      m_blockAudio[channel] = audio[channel] + done;
    m_blockOut->numEvents = 0;
    m_handle->processor(m_handle, m_audioChannels > 0 ? m_blockAudio : nullptr, chunk, &in,
                        m_blockOut.get(), sync);
    if (midiOut != nullptr) {
      const std::int64_t outCount = validCount(m_blockOut.get());
      for (std::int64_t i = 0; i < outCount; ++i) {
        const std::uint32_t tick =
            std::min(m_blockOut->events[i].bufTick, static_cast<std::uint32_t>(chunk - 1));
        append(*midiOut, m_blockOut->events[i], tick + static_cast<std::uint32_t>(done));
      }
    }
    done += chunk;
  }
}

}  // namespace kelo::pluginhost
