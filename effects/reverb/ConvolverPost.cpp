#include "effects/reverb/ConvolverPost.h"

#include <cmath>
#include <cstring>
#include <new>

#include "Sampler/sdk/PluginText.h"
#include "Sampler/sdk/calvatero/newconv/Common.h"

namespace acme {

using namespace vantor::KELOPluginSDK;
using calvatero::common::FreeAligned;
using calvatero::common::MallocAligned;

namespace {

constexpr std::size_t kWetAlignment = 64;

}  // namespace

ConvolverPost::ConvolverPost(Host* host) : EffectPlugin(host) {
  numAudioIns = 2;
  numAudioOuts = 2;
  numMIDIIns = 0;
  numMIDIOuts = 0;
}

ConvolverPost::~ConvolverPost() {
  releaseHaf();
  freeWetBuffers();
}

void ConvolverPost::freeWetBuffers() {
  for (float*& buffer : wet) {
    FreeAligned(buffer);
    buffer = nullptr;
  }
}

void ConvolverPost::clearLastGood() {
  for (float& sample : lastGood) sample = 0.0f;
}

void ConvolverPost::forgetInput() {
  silentFrames = UINT64_MAX;
  resting = false;
}

bool ConvolverPost::countSilence(std::uint32_t channels, std::int32_t frames,
                                 float* const* audio, const bool* silent) {
  std::int32_t lastSound = -1;
  for (std::uint32_t i = 0; i < channels; ++i) {
    const float* channel = audio[i];
    if (silent[i] || calvatero::common::AllZero(channel, static_cast<std::size_t>(frames)))
      continue;
    for (std::int32_t j = frames - 1; j > lastSound; --j) {
      if (channel[j] != 0.0f) {
        lastSound = j;
        break;
      }
    }
  }
  const auto quiet = static_cast<std::uint64_t>(frames - 1 - lastSound);
  if (lastSound >= 0)
    silentFrames = quiet;
  else
    silentFrames = silentFrames > UINT64_MAX - quiet ? UINT64_MAX : silentFrames + quiet;
  return lastSound < 0;
}

void ConvolverPost::releaseHaf() {
  if (haf == nullptr) return;
  if (haf->loadStatus != 0) host->callback(host, HOSTOP_RELEASE_AUDIO_FILE, 0, haf);
  delete haf;
  haf = nullptr;
}

void ConvolverPost::updateHaf() {
  if (irName.empty()) return;
  releaseHaf();
  hafName = irName;
  auto* file = new HostAudioFile;
  std::memset(file, 0, sizeof *file);
  file->version = kSDKVersion;
  file->fileName = hafName.c_str();
  file->sampleRate = static_cast<double>(getDesiredIRSampleRate());
  haf = file;
  host->callback(host, HOSTOP_LOAD_AUDIO_FILE, 0, haf);
}

void ConvolverPost::setDSPInfo(const DSPInfo* info) {
  ScopedLock lock(mutex);
  EffectPlugin::setDSPInfo(info);
  heldFrames = 0;
  dspInfoChanged(dspInfo);
  clearLastGood();
  freeWetBuffers();
  // Whole groups of four, at least one: the library's vector loops work on groups.
  const std::size_t frames =
      dspInfo.maxBlockSize > 0 ? (static_cast<std::size_t>(dspInfo.maxBlockSize) + 3) / 4 * 4 : 4;
  for (std::uint32_t i = 0; i < numAudioIns && i < kMaxChannels; ++i) {
    wet[i] = static_cast<float*>(MallocAligned(frames * sizeof(float), kWetAlignment, 0));
    if (wet[i] == nullptr) {
      freeWetBuffers();
      throw std::bad_alloc();
    }
  }
  heldFrames = dspInfo.maxBlockSize > 0 ? dspInfo.maxBlockSize : 0;
  updateHaf();
  if (haf != nullptr && haf->loadStatus != 0) {
    initConvEngineFromHaf(haf);
  } else if (haf != nullptr) {
    delete haf;
    haf = nullptr;
  }
  assignConvEngine();
  forgetInput();
}

void ConvolverPost::setCustomDataLink(const CustomDataLink* link) {
  if (link == nullptr) return;
  CustomDataPayload* payload = nullptr;
  std::memcpy(&payload, reinterpret_cast<const char*>(link) + offsetof(CustomDataLink, payload),
              sizeof payload);
  if (payload == nullptr || payload->magic != kCustomDataMagic) return;
  irName.assign(payload->fileName, strnlen(payload->fileName, sizeof payload->fileName));
  updateHaf();
  if (haf != nullptr && haf->loadStatus != 0) {
    if (initConvEngineFromHaf(haf)) {
      ScopedLock lock(mutex);
      clearLastGood();
      assignConvEngine();
      forgetInput();
    }
  } else if (haf != nullptr) {
    delete haf;
    haf = nullptr;
  }
  payload->pending = 0;
}

void ConvolverPost::stop() {
  ScopedLock lock(mutex);
  Reset();
  clearLastGood();
  forgetInput();
}

bool ConvolverPost::applyMixController(const HDMIDIEvent& event) {
  if (event.status != kController || event.data1 < 0 || event.data1 > 2) return false;
  if (!std::isfinite(event.data2)) return true;
  std::atomic<float>* targets[] = {&dryLevel, &wetLevel, &level};
  targets[event.data1]->store(event.data2, std::memory_order_relaxed);
  return true;
}

bool ConvolverPost::finiteField(const std::string& field, float& value) {
  double parsed = 0;
  if (!StringToDouble(field.c_str(), parsed) || !std::isfinite(parsed)) return false;
  value = static_cast<float>(parsed);
  return true;
}

std::vector<std::string> ConvolverPost::readInitText(const char* initText) {
  std::vector<std::string> fields;
  if (initText == nullptr || initText[0] == '\0') return fields;
  SimpleStringTokenizer(initText, "|", fields);
  if (!fields.empty()) irName = fields[0];
  float value = 0;
  if (fields.size() > 1 && finiteField(fields[1], value))
    dryLevel.store(value, std::memory_order_relaxed);
  if (fields.size() > 2 && finiteField(fields[2], value))
    wetLevel.store(value, std::memory_order_relaxed);
  return fields;
}

HDMIDIEvent ConvolverPost::defaultEvent(std::int32_t controller, float value) {
  HDMIDIEvent event{};
  event.status = kController;
  event.data1 = controller;
  event.data2 = value;
  return event;
}

void ConvolverPost::process(float** audio, std::int32_t frames, const HDMIDIEvents* midiIn,
                            HDMIDIEvents*, const SyncInfo*) {
  if (midiIn != nullptr) ProcessMIDI(midiIn);
  if (frames <= 0 || audio == nullptr) return;
  const std::uint32_t channels = numAudioIns < kMaxChannels ? numAudioIns : kMaxChannels;
  const float dry = dryLevel.load(std::memory_order_relaxed);
  if (!mutex.tryLock()) {
    for (std::uint32_t i = 0; i < channels; ++i)
      for (std::int32_t j = 0; j < frames; ++j) audio[i][j] *= dry;
    return;
  }
  // A silent channel has nothing to mend; testing it whole is far cheaper than sample by
  // sample, which an idle reverb would otherwise pay every block.
  bool silent[kMaxChannels];
  for (std::uint32_t i = 0; i < channels; ++i) {
    float* channel = audio[i];
    silent[i] = calvatero::common::AllZero(channel, static_cast<std::size_t>(frames));
    if (silent[i]) {
      lastGood[i] = channel[frames - 1];
      continue;
    }
    float good = lastGood[i];
    for (std::int32_t j = 0; j < frames; ++j) {
      const float x = channel[j];
      if (std::isnan(x) || x * x > 4096.0f)
        channel[j] = good;
      else
        good = x;
    }
    lastGood[i] = good;
  }
  // Buffers come with the next setDSPInfo after a change of channel count; until then dry.
  // The engine's blocks may still follow an older maximum than the buffers held.
  bool buffersReady = frames <= heldFrames;
  for (std::uint32_t i = 0; i < channels; ++i) buffersReady = buffersReady && wet[i] != nullptr;
  // The silence before this block is what decides: a tail still sounding within it was made
  // by earlier input.
  const std::uint64_t silentBefore = silentFrames;
  const bool silentBlock = countSilence(channels, frames, audio, silent);
  if (silentBlock && silentBefore >= TailFrames()) {
    if (!resting) EnterRest();
    resting = true;
    Rest(frames);
    mutex.unlock();
    return;  // silence x dry + nothing: the block stays as it is
  }
  resting = false;
  if (buffersReady && Convolve(audio, frames, wet)) {
    const float gain = level.load(std::memory_order_relaxed) *
                       wetLevel.load(std::memory_order_relaxed);
    for (std::uint32_t i = 0; i < channels; ++i) {
      float* channel = audio[i];
      const float* wetChannel = wet[i];
      for (std::int32_t j = 0; j < frames; ++j)
        channel[j] = channel[j] * dry + wetChannel[j] * gain;
    }
  } else {
    for (std::uint32_t i = 0; i < channels; ++i)
      for (std::int32_t j = 0; j < frames; ++j) audio[i][j] *= dry;
  }
  mutex.unlock();
}

}  // namespace acme
