#include "Sampler/sdk/StringBed/PianoSymp.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "Sampler/sdk/DefaultAlloc.h"

namespace acme {

using namespace vantor::KELOPluginSDK;

namespace {

constexpr std::int32_t kNoteOn = 144;
constexpr std::int32_t kNoteOff = 128;
constexpr std::int32_t kController = 176;

std::int64_t eventCount(const HDMIDIEvents* events) {
  if (events == nullptr) return 0;
  return std::clamp<std::int64_t>(events->numEvents, 0, MAX_MIDIEVENTS_PER_CALL_SDK);
}

}  // namespace

param::param(std::int32_t kind, float value, float min, float max, const char* name,
             const char* unit)
    : kind(kind), min(min), max(max), name(name), unit(unit) {
  output_init(&this->value, value);
}

param::~param() { output_finalize(&value); }

void param::setValueLinear(float x) {
  x = std::clamp(x, 0.0f, 1.0f);
  const float v = kind == 1 ? std::pow(min, 1.0f - x) * std::pow(max, x) : x * max + (1 - x) * min;
  output_setvalue(&value, std::clamp(v, min, max));
}

float param::getValueLinear() const {
  const float v = get();
  return kind == 1 ? std::log(v / min) / std::log(max / min) : (v - min) / (max - min);
}

void PianoSymp::ScratchFree::operator()(float* p) const { vantor::defaultFree(p); }

PianoSymp::PianoSymp(Host* host) : EffectPlugin(host) {
  capabilityMask = 0;
  numAudioIns = 2;
  numAudioOuts = 2;
  numMIDIIns = 1;
  numMIDIOuts = 0;
}

PianoSymp::~PianoSymp() { releasePianos(); }

std::int32_t PianoSymp::initEx(const char*, const char*) { return 1; }

bool PianoSymp::init(const char*, const char*) { return true; }

void PianoSymp::start() {
  const float rate = static_cast<float>(dspInfo.sampleRate);
  for (std::uint32_t c = 0; c < pianoCount_; ++c) {
    piano* p = &pianos[c];
    piano_init(p, rate, nullptr);  // a string whose line is missing stays silent
    piano_setgain(p, 0, mixgain1.get());
    piano_setdecay(p, 0, rate, ghold1.get(), grels1.get(), gtrack1.get(), dhold1.get(),
                   drels1.get(), dtrack1.get());
    piano_setgain(p, 1, mixgain2.get());
    piano_setdecay(p, 1, rate, ghold2.get(), grels2.get(), gtrack2.get(), dhold2.get(),
                   drels2.get(), dtrack2.get());
  }
  running = pianoCount_ > 0;
}

void PianoSymp::stop() {
  running = false;
  for (std::uint32_t c = 0; c < pianoCount_; ++c) piano_finalize(&pianos[c]);
}

void PianoSymp::releasePianos() {
  stop();
  pianos.reset();
  pianoCount_ = 0;
  scratch.reset();
}

void PianoSymp::rebuild() {
  releasePianos();
  if (dspInfo.maxBlockSize > 0 && numAudioIns > 0) {
    scratch.reset(static_cast<float*>(vantor::defaultAlloc(
        sizeof(float) * static_cast<std::size_t>(dspInfo.maxBlockSize) * numAudioIns)));
  }
  pianos = std::make_unique<piano[]>(numAudioIns);
  pianoCount_ = numAudioIns;
  start();
}

void PianoSymp::setDSPInfo(const DSPInfo* info) {
  EffectPlugin::setDSPInfo(info);
  rebuild();
}

void PianoSymp::setIOConfig(ChannelInfo* channels, std::int32_t* answer) {
  if (channels == nullptr || channels->numInputs != channels->numOutputs ||
      channels->numInputs < 0) {
    *answer = -1;
    return;
  }
  const auto count = static_cast<std::uint32_t>(channels->numInputs);
  const bool rebuildNow = pianos != nullptr && count != pianoCount_;
  numAudioIns = numAudioOuts = count;
  if (rebuildNow) rebuild();
  *answer = 1;
}

void PianoSymp::getDefaults(HDMIDIEvents* events) {
  std::memset(events, 0, sizeof(*events));
  const float gain = paramTable[0]->getValueLinear();
  const std::int32_t controllers[4] = {87, 64, 123, 120};
  const float values[4] = {gain, 0.0f, 0.0f, 0.0f};
  events->numEvents = 4;
  for (int i = 0; i < 4; ++i) {
    events->events[i].status = kController;
    events->events[i].data1 = controllers[i];
    events->events[i].data2 = values[i];
  }
  gainValue = gain;
}

void PianoSymp::setGain(float x) {
  mixgain1.setValueLinear(x);
  mixgain2.setValueLinear(x);
  for (std::uint32_t c = 0; c < pianoCount_; ++c) {
    piano_setgain(&pianos[c], 0, mixgain1.get());
    piano_setgain(&pianos[c], 1, mixgain2.get());
  }
}

void PianoSymp::releaseAllKeys() {
  for (std::uint32_t c = 0; c < pianoCount_; ++c) {
    for (int key = 0; key < 128; ++key) piano_noteoff(&pianos[c], key);
  }
}

void PianoSymp::applyEvent(const HDMIDIEvent& event) {
  if (event.status == kNoteOn || event.status == kNoteOff) {
    const bool on = event.status == kNoteOn && event.data2 != 0.0f;
    for (std::uint32_t c = 0; c < pianoCount_; ++c) {
      if (on) {
        piano_noteon(&pianos[c], event.data1);
      } else {
        piano_noteoff(&pianos[c], event.data1);
      }
    }
    return;
  }
  if (event.status != kController) return;
  switch (event.data1) {
    case 87:
      if (!std::isfinite(event.data2)) return;
      gainValue = std::clamp(event.data2 / 1.5f, 0.0f, 1.0f);
      setGain(gainValue);
      return;
    case 64: {
      // The fade is worked out but deliberately not applied: mixGain stays 1.0.
      const double length = dspInfo.sampleRate * 0.01;
      fadeLength = length >= 4 && length < 1e9 ? static_cast<std::int32_t>(length) & ~3 : 0;
      if (fadeLength == 0) {
        fadeLength = 0;
        fadeStep = 0.0f;
      } else if (event.data2 == 0.0f) {
        fadeStep = (1.0f - mixGain) / static_cast<float>(fadeLength);
        if (fadeStep == 0.0f) fadeLength = 0;
      } else {
        fadeStep = -mixGain / static_cast<float>(fadeLength);
      }
      return;
    }
    case 120:
      releaseAllKeys();
      if (running) {
        for (std::uint32_t c = 0; c < pianoCount_; ++c) piano_reset(&pianos[c]);
      }
      return;
    case 123:
      releaseAllKeys();
      return;
    default:
      return;
  }
}

void PianoSymp::process(float** audio, std::int32_t frames, const HDMIDIEvents* in,
                        HDMIDIEvents*, const SyncInfo*) {
  const std::int64_t count = eventCount(in);
  for (std::int64_t i = 0; i < count; ++i) applyEvent(in->events[i]);
  if (frames <= 0 || gainValue == 0.0f || !running || !scratch || audio == nullptr) return;
  const std::uint32_t channels = std::min(numAudioIns, pianoCount_);
  const auto block = static_cast<std::size_t>(dspInfo.maxBlockSize);
  const auto n = static_cast<std::size_t>(std::min(frames, dspInfo.maxBlockSize));
  for (std::uint32_t c = 0; c < channels; ++c) {
    // A piano resting in silence adds nothing, not even a rounding residue.
    if (piano_idle(&pianos[c], audio[c], static_cast<int>(n))) continue;
    float* const wet = scratch.get() + c * block;
    std::fill(wet, wet + n, 0.0f);
    if (!piano_processadding(&pianos[c], audio[c], wet, static_cast<int>(n))) continue;
    // Every frame, the last frames % 4 too: the model has run over them.
    for (std::size_t i = 0; i < n; ++i) audio[c][i] += wet[i] * mixGain;
  }
}

}  // namespace acme
