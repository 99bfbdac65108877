#include "tests/Sampler/sdk/TestPlugins.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "Sampler/sdk/PluginText.h"

#ifndef KELO_TEST_MARK
#error "each test bundle defines its mark"
#endif

namespace kelo::test {

namespace {

HDMIDIEvent event(std::int32_t status, std::int32_t data1, float data2, std::uint32_t tick = 0) {
  HDMIDIEvent e{};
  e.status = status;
  e.data1 = data1;
  e.data2 = data2;
  e.bufTick = tick;
  return e;
}

void append(HDMIDIEvents* list, const HDMIDIEvent& e) {
  if (list->numEvents < MAX_MIDIEVENTS_PER_CALL_SDK) list->events[list->numEvents++] = e;
}

void acceptMatchingChannels(ChannelInfo* channels, std::int32_t* answer, std::uint32_t& ins,
                            std::uint32_t& outs) {
  if (channels->numInputs == channels->numOutputs && channels->numInputs >= 1 &&
      channels->numInputs <= 32) {
    ins = outs = static_cast<std::uint32_t>(channels->numInputs);
    *answer = 1;
  } else {
    *answer = -1;
  }
}

}  // namespace

PassThrough::PassThrough(Host* host) : EffectPlugin(host) { numAudioIns = numAudioOuts = 2; }

void PassThrough::setIOConfig(ChannelInfo* channels, std::int32_t* answer) {
  acceptMatchingChannels(channels, answer, numAudioIns, numAudioOuts);
}

Probe::Probe(Host* host) : EffectPlugin(host) { numMIDIIns = numMIDIOuts = 1; }

Probe::~Probe() = default;

void Probe::note(std::int32_t opcode, float detail) {
  if (m_traceCount < static_cast<int>(std::size(m_trace)))
    m_trace[m_traceCount++] = event(kTraceStatus, opcode, detail);
}

std::int32_t Probe::initEx(const char* initText, const char* extraText) {
  note(PLUGOP_INITEX, 0);
  double value = 0;
  if (StringToDouble(initText, value)) m_default7 = static_cast<float>(value);
  return 1;
}

void Probe::setDSPInfo(const DSPInfo* info) {
  EffectPlugin::setDSPInfo(info);
  note(PLUGOP_SET_DSPINFO, static_cast<float>(info->maxBlockSize));
}

void Probe::setIOConfig(ChannelInfo* channels, std::int32_t* answer) {
  note(PLUGOP_SET_IO_CONFIG, static_cast<float>(channels->numInputs));
  *answer = channels->numInputs == 0 && channels->numOutputs == 0 ? 1 : -1;
}

void Probe::getDefaults(HDMIDIEvents* events) {
  note(PLUGOP_GET_DEFAULTS, 0);
  events->numEvents = 0;
  append(events, event(176, 7, m_default7));
  append(events, event(176, 300, kProbeDefault300));
}

void Probe::setCustomDataLink(const CustomDataLink* link) {
  CustomDataPayload* payload = link->payload;
  if (payload == nullptr || payload->magic != kCustomDataMagic) {
    note(PLUGOP_SET_CUSTOM_DATA_LINK, -1);
    return;
  }
  HostAudioFile file{};
  file.version = kSDKVersion;
  file.fileName = payload->fileName;
  file.sampleRate = dspInfo.sampleRate;
  host->callback(host, HOSTOP_LOAD_AUDIO_FILE, 0, &file);
  HDMIDIEvent loaded = event(kTraceStatus, PLUGOP_SET_CUSTOM_DATA_LINK,
                             file.loadStatus ? static_cast<float>(file.numFrames) : -1.0f);
  loaded.legacy[0] = static_cast<std::uint8_t>(file.numChannels);
  if (m_traceCount < static_cast<int>(std::size(m_trace))) m_trace[m_traceCount++] = loaded;
  if (file.loadStatus) host->callback(host, HOSTOP_RELEASE_AUDIO_FILE, 0, &file);
  payload->pending = 0;
}

void Probe::process(float**, std::int32_t frames, const HDMIDIEvents* midiIn, HDMIDIEvents* midiOut,
                    const SyncInfo*) {
  midiOut->numEvents = 0;
  for (int i = 0; i < m_traceCount; ++i) append(midiOut, m_trace[i]);
  m_traceCount = 0;
  for (std::int64_t i = 0; midiIn != nullptr && i < midiIn->numEvents; ++i)
    append(midiOut, midiIn->events[i]);
  append(midiOut, event(kBlockStatus, frames, 0));
}

FileFeed::FileFeed(Host* host) : EffectPlugin(host) { numAudioIns = numAudioOuts = 2; }

FileFeed::~FileFeed() { release(); }

void FileFeed::release() {
  if (m_file.loadStatus) host->callback(host, HOSTOP_RELEASE_AUDIO_FILE, 0, &m_file);
  m_file = HostAudioFile{};
}

void FileFeed::setIOConfig(ChannelInfo* channels, std::int32_t* answer) {
  acceptMatchingChannels(channels, answer, numAudioIns, numAudioOuts);
}

void FileFeed::setCustomDataLink(const CustomDataLink* link) {
  CustomDataPayload* payload = link->payload;
  if (payload == nullptr || payload->magic != kCustomDataMagic) return;
  release();
  std::snprintf(m_fileName, sizeof m_fileName, "%.*s", static_cast<int>(sizeof m_fileName - 1),
                payload->fileName);
  m_file.version = kSDKVersion;
  m_file.fileName = m_fileName;
  m_file.sampleRate = dspInfo.sampleRate;
  host->callback(host, HOSTOP_LOAD_AUDIO_FILE, 0, &m_file);
  m_position = 0;
  payload->pending = 0;
}

void FileFeed::process(float** audio, std::int32_t frames, const HDMIDIEvents*, HDMIDIEvents*,
                       const SyncInfo*) {
  for (std::uint32_t channel = 0; channel < numAudioOuts; ++channel) {
    const float* source = m_file.loadStatus && m_file.numChannels > 0
                              ? m_file.channels[channel % m_file.numChannels]
                              : nullptr;
    for (std::int32_t i = 0; i < frames; ++i) {
      const std::int64_t at = m_position + i;
      audio[channel][i] = source != nullptr && at < m_file.numFrames ? source[at] : 0.0f;
    }
  }
  m_position += frames;
}

Faulty::Faulty(Host* host) : EffectPlugin(host) {
  numAudioIns = numAudioOuts = 2;
  numMIDIOuts = 1;
}

std::int32_t Faulty::initEx(const char* initText, const char* extraText) {
  std::vector<std::string> words;
  SimpleStringTokenizer(initText != nullptr ? initText : "", ",", words);
  for (const std::string& word : words) {
    if (word == "init") throw std::runtime_error("initEx asked to fail");
    m_throwDSP |= word == "dsp";
    m_throwProcess |= word == "process";
    m_throwDefaults |= word == "defaults";
    m_throwStart |= word == "start";
    if (word == "nomidi") numMIDIOuts = 0;
  }
  double answer = 0;
  return StringToDouble(extraText, answer) ? static_cast<std::int32_t>(answer) : 1;
}

void Faulty::start() {
  if (m_throwStart) throw 42;  // not even a std::exception
}

void Faulty::setDSPInfo(const DSPInfo* info) {
  if (m_throwDSP && info->sampleRateInt == 22050) throw std::runtime_error("rate refused");
  EffectPlugin::setDSPInfo(info);
}

void Faulty::getDefaults(HDMIDIEvents* events) {
  if (m_throwDefaults) throw std::runtime_error("no defaults");
  events->numEvents = 0;
}

void Faulty::process(float** audio, std::int32_t frames, const HDMIDIEvents*, HDMIDIEvents* midiOut,
                     const SyncInfo*) {
  if (numMIDIOuts > 0) {
    midiOut->numEvents = 0;
    append(midiOut, event(144, 60, 1.0f));
  }
  for (std::uint32_t channel = 0; channel < numAudioOuts; ++channel)
    std::fill(audio[channel], audio[channel] + frames, 1.0f);
  if (m_throwProcess) throw std::runtime_error("process failed half way");
}

ThrowsOnCreate::ThrowsOnCreate(Host* host) : EffectPlugin(host) {
  throw std::runtime_error("cannot be created");
}

Marker::Marker(Host* host) : PlainEffect(host) { numAudioIns = numAudioOuts = 1; }

void Marker::process(float** audio, std::int32_t frames, const HDMIDIEvents*, HDMIDIEvents*,
                     const SyncInfo*) {
  std::fill(audio[0], audio[0] + frames, static_cast<float>(KELO_TEST_MARK));
}

Echo::Echo(Host* host) : PlainEffect(host) { numMIDIIns = numMIDIOuts = 1; }

void Echo::process(float**, std::int32_t, const HDMIDIEvents* midiIn, HDMIDIEvents* midiOut,
                   const SyncInfo*) {
  midiOut->numEvents = 0;
  for (std::int64_t i = 0; i < midiIn->numEvents; ++i) {
    // Insertion keeps equal ticks in arrival order without allocating.
    std::int64_t at = midiOut->numEvents;
    while (at > 0 && midiSort(midiIn->events[i], midiOut->events[at - 1])) {
      midiOut->events[at] = midiOut->events[at - 1];
      --at;
    }
    midiOut->events[at] = midiIn->events[i];
    ++midiOut->numEvents;
  }
}

Swallow::Swallow(Host* host) : PlainEffect(host) { numMIDIIns = numMIDIOuts = 1; }

void Swallow::process(float**, std::int32_t, const HDMIDIEvents* midiIn, HDMIDIEvents* midiOut,
                      const SyncInfo*) {
  midiOut->numEvents = 0;
  for (std::int64_t i = 0; i < midiIn->numEvents; ++i) {
    const std::int32_t kind = midiIn->events[i].status & 0xF0;
    if (kind != 0x80 && kind != 0x90) append(midiOut, midiIn->events[i]);
  }
}

}  // namespace kelo::test
