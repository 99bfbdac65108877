#include "Sampler/sdk/StringBed/StringBed.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "Sampler/sdk/PluginText.h"
#include "Sampler/sdk/calvatero/newconv/Common.h"

namespace acme {

using namespace vantor::KELOPluginSDK;

namespace {

constexpr std::int32_t kController = 176;
constexpr unsigned long kMostStored = StringBed::kMaxSustainEvents - 1;  // plus one pending

// The engine's rate as the harps take it: truncated, 0 for what is no rate.
unsigned long harpRate(double rate) {
  return rate >= 1 && rate < 1e9 ? static_cast<unsigned long>(rate) : 0;
}

}  // namespace

StringBed::StringBed(Host* host)
    : EffectPlugin(host), susEvents(std::make_unique<tagThinSusEvent[]>(kMaxSustainEvents)) {
  capabilityMask = 0;
  numAudioIns = 2;
  numAudioOuts = 2;
  numMIDIIns = 1;
  numMIDIOuts = 0;
}

StringBed::~StringBed() = default;

std::int32_t StringBed::initEx(const char* text1, const char* text2) {
  return init(text1, text2) ? 1 : 0;
}

bool StringBed::init(const char* text1, const char* text2) {
  impulsePath = text2 != nullptr ? text2 : "";
  if (text1 == nullptr || *text1 == '\0') return true;
  std::vector<std::string> pieces;
  SimpleStringTokenizer(text1, "|", pieces);
  if (!pieces.empty()) impulseName = pieces[0];
  double gain = 0;
  if (pieces.size() >= 2 && StringToDouble(pieces[1].c_str(), gain)) {
    impulseGain = static_cast<float>(gain);
  }
  return true;
}

void StringBed::start() { std::fill(lastGood.begin(), lastGood.end(), 0.0f); }

void StringBed::stop() {
  for (const auto& harp : harps) {
    if (harp) harp->ResetHarp();
  }
}

void StringBed::removeHarps() {
  harps.clear();
  lastGood.clear();
  silentIn.clear();
}

void StringBed::buildHarps() {
  if (impulsePath.empty() || impulseName.empty()) {
    // Nothing to build from: the harps stay only for the format they were made for.
    if (builtRate != dspInfo.sampleRate || builtBlock != dspInfo.maxBlockSize) removeHarps();
    return;
  }
  removeHarps();
  const double window = dspInfo.sampleRate * 0.005;
  mergeWindow = window >= 0 && window < 1e12 ? static_cast<std::uint64_t>(window) : 0;
  if (dspInfo.maxBlockSize < 1) return;
  lastGood.assign(numAudioIns, 0.0f);
  silentIn.assign(numAudioIns, 0);
  harps.resize(numAudioIns / 2);
  for (auto& harp : harps) {
    unsigned long error = 0;
    harp.reset(makePianoHarp(impulsePath.c_str(), impulseName.c_str(),
                             static_cast<unsigned long>(dspInfo.maxBlockSize), &error, 0, 0,
                             harpRate(dspInfo.sampleRate), impulseGain));
  }
  builtRate = dspInfo.sampleRate;
  builtBlock = dspInfo.maxBlockSize;
}

void StringBed::setDSPInfo(const DSPInfo* info) {
  EffectPlugin::setDSPInfo(info);
  buildHarps();
}

void StringBed::setIOConfig(ChannelInfo* channels, std::int32_t* answer) {
  if (channels == nullptr || channels->numInputs != channels->numOutputs ||
      channels->numInputs < 0 || channels->numInputs % 2 != 0) {
    *answer = -1;
    return;
  }
  const auto count = static_cast<std::uint32_t>(channels->numInputs);
  const bool rebuild = !harps.empty() && count != numAudioIns;
  numAudioIns = numAudioOuts = count;
  if (rebuild) {
    removeHarps();
    buildHarps();
  }
  *answer = 1;
}

void StringBed::getDefaults(HDMIDIEvents* events) {
  std::memset(events, 0, sizeof(*events));
  events->numEvents = 2;
  events->events[0].status = kController;
  events->events[0].data1 = 84;
  events->events[0].data2 = 0.2f;
  events->events[1].status = kController;
  events->events[1].data1 = 85;
  events->events[1].data2 = 0.0f;
}

void StringBed::ExtractFromMidiStream(const HDMIDIEvent* events, unsigned long count,
                                      unsigned long* storedCount) {
  unsigned long stored = 0;
  bool pending = false;
  tagThinSusEvent pendingEvent{};
  for (unsigned long i = 0; i < count; ++i) {
    const HDMIDIEvent& e = events[i];
    if (e.status != kController) continue;
    const double v = e.data2;
    switch (e.data1) {
      case 64: {
        const std::uint64_t t = e.bufTick;
        if (stored == 0 ||
            (stored < kMostStored && t > susEvents[stored - 1].frame + mergeWindow)) {
          susEvents[stored++] = {t, v};
          pending = false;
        } else if (t > susEvents[stored - 1].frame) {
          pending = true;
          pendingEvent = {t, v};
        }
        break;
      }
      case 84:
        if (std::isfinite(v)) level = v;
        break;
      case 85:
        bypass = v != 0.0;  // a NaN bypasses too
        break;
      default:
        break;
    }
  }
  if (pending && stored > 0 && pendingEvent.frame > susEvents[stored - 1].frame) {
    susEvents[stored++] = pendingEvent;
  }
  *storedCount = stored;
}

void StringBed::process(float** audio, std::int32_t frames, const HDMIDIEvents* in,
                        HDMIDIEvents*, const SyncInfo*) {
  unsigned long stored = 0;
  if (in != nullptr) {
    const std::int64_t count =
        std::clamp<std::int64_t>(in->numEvents, 0, MAX_MIDIEVENTS_PER_CALL_SDK);
    ExtractFromMidiStream(in->events, static_cast<unsigned long>(count), &stored);
  }
  if (harps.empty() || audio == nullptr || frames <= 0) return;
  const auto n = static_cast<std::size_t>(frames);
  // Last channel first: the engine has just written them in order, so the latest are still
  // in the L1 cache when there are more than it holds.
  for (std::size_t c = lastGood.size(); c-- > 0;) {
    silentIn[c] = calvatero::common::AllZero(audio[c], n) ? 1 : 0;
    if (silentIn[c] != 0) {  // nothing to mend
      lastGood[c] = audio[c][n - 1];
      continue;
    }
    float good = lastGood[c];
    for (std::size_t i = 0; i < n; ++i) {
      const float x = audio[c][i];
      if (std::isnan(x) || x * x > 16.0f) {
        audio[c][i] = good;
      } else {
        good = x;
      }
    }
    lastGood[c] = good;
  }
  for (std::size_t k = 0; k < harps.size(); ++k) {
    if (!harps[k] || n > harps[k]->maxBufferSize()) continue;
    harps[k]->CalculateCurrentHarpOutput(n, audio + 2 * k, susEvents.get(), stored, level, bypass,
                                         silentIn[2 * k] != 0 && silentIn[2 * k + 1] != 0);
  }
}

}  // namespace acme
