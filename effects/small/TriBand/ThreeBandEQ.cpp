#include "effects/small/TriBand/ThreeBandEQ.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace sorvelin {

using namespace vantor::KELOPluginSDK;

namespace {

constexpr std::int32_t kController = 176;
constexpr int kDefaultCount = 5;
constexpr float kDefaultValues[kDefaultCount] = {0.5f, 0.5f, 0.5f, 0.0f,
                                                 (1000.0f - 100.0f) / 7900.0f};

// Frequency over rate, kept from 0.01 to 0.39 (a NaN ratio counts as the low limit).
double limitedRatio(double hz, double rate) {
  const double ratio = hz / rate;
  if (!(ratio >= 0.01)) return 0.01;
  return std::min(ratio, 0.39);
}

// Truncation toward zero that saturates instead of overflowing.
std::int32_t truncated(float value) {
  if (value >= 2147483647.0f) return std::numeric_limits<std::int32_t>::max();
  if (value <= -2147483648.0f) return std::numeric_limits<std::int32_t>::min();
  return static_cast<std::int32_t>(value);
}

}  // namespace

ThreeBandEQ::ThreeBandEQ(Host* host)
    : EffectPlugin(host), defaults(std::make_unique<HDMIDIEvents>()) {
  numAudioIns = 2;
  numAudioOuts = 2;
  numMIDIIns = 1;
  numMIDIOuts = 0;
  capabilityMask = 0;
  defaults->numEvents = kDefaultCount;
  for (int i = 0; i < kDefaultCount; ++i) {
    HDMIDIEvent& event = defaults->events[i];
    event = HDMIDIEvent{};
    event.status = kController;
    event.data1 = i;
    event.data2 = kDefaultValues[i];
  }
  const struct {
    std::int32_t type, qType;
    float q, hz;
  } layout[kBands] = {{RBJ_LOWSHELF, RBJ_QTYPE_SLOPE, 1.0f, 500.0f},
                      {RBJ_PEAKING, RBJ_QTYPE_BANDWIDTH, 2.0f, 1000.0f},
                      {RBJ_HIGHSHELF, RBJ_QTYPE_SLOPE, 1.0f, 2500.0f}};
  for (int b = 0; b < kBands; ++b) {
    Band& band = bands[b];
    band.filter_type = layout[b].type;
    band.q_type = layout[b].qType;
    band.q_value = layout[b].q;
    band.frequencyHz = layout[b].hz;
    band.gainDb = 0.0f;
    retune(band);
    cook(band);
    biquad_interpolation_state_init(&band.glide, &band.coeffs);
  }
}

std::int32_t ThreeBandEQ::initEx(const char*, const char*) { return 1; }

bool ThreeBandEQ::init(const char*, const char*) { return true; }

void ThreeBandEQ::start() {
  for (Band& band : bands) {
    for (std::int32_t ch = 0; ch < builtChannels; ++ch) biquad_state_init(&band.states[ch]);
    cook(band);
    biquad_interpolation_state_init(&band.glide, &band.coeffs);
  }
}

void ThreeBandEQ::stop() {}

void ThreeBandEQ::setDSPInfo(const DSPInfo* info) {
  EffectPlugin::setDSPInfo(info);
  const std::int32_t channels = static_cast<std::int32_t>(numAudioIns);
  // All three memories first, so that a failed allocation leaves the filters as they were.
  std::unique_ptr<biquad_state[]> states[kBands];
  for (auto& memory : states) {
    memory = std::make_unique<biquad_state[]>(static_cast<std::size_t>(channels));
    for (std::int32_t ch = 0; ch < channels; ++ch) biquad_state_init(&memory[ch]);
  }
  for (int b = 0; b < kBands; ++b) {
    Band& band = bands[b];
    band.states = std::move(states[b]);
    retune(band);
    cook(band);
    biquad_interpolation_state_init(&band.glide, &band.coeffs);
  }
  builtChannels = channels;
}

void ThreeBandEQ::setIOConfig(ChannelInfo* channels, std::int32_t* answer) {
  if (answer == nullptr) return;
  if (channels == nullptr || channels->numInputs != channels->numOutputs ||
      channels->numInputs < 0) {
    *answer = -1;
    return;
  }
  numAudioIns = numAudioOuts = static_cast<std::uint32_t>(channels->numInputs);
  *answer = 1;
}

void ThreeBandEQ::getDefaults(HDMIDIEvents* events) { *events = *defaults; }

void ThreeBandEQ::setCustomDataLink(const CustomDataLink*) {}

std::int32_t ThreeBandEQ::getChunk(void**) { return 0; }

void ThreeBandEQ::setChunk(unsigned char*, unsigned) {}

void ThreeBandEQ::retune(Band& band) {
  const double rate = dspInfo.sampleRate;
  band.normalisedFrequency = limitedRatio(band.frequencyHz, rate);
  const double hundredth = std::trunc(rate * 0.01);
  const std::int32_t whole =
      hundredth >= 0.0 && hundredth < 1.0e9 ? static_cast<std::int32_t>(hundredth) : 0;
  band.glideSteps = whole / 4 + 200;
}

void ThreeBandEQ::cook(Band& band) {
  biquad_coeffs_cook_rbj(&band.coeffs, band.filter_type,
                         static_cast<float>(band.normalisedFrequency), band.gainDb, band.q_type,
                         band.q_value);
}

void ThreeBandEQ::applyController(std::int32_t controller, float value) {
  if (!std::isfinite(value)) return;
  switch (controller) {
    case 0:
    case 1:
    case 2: {
      Band& band = bands[controller];
      band.gainDb = (std::clamp(value, 0.0f, 1.0f) - 0.5f) * 24.0f;
      cook(band);
      biquad_interpolation_state_set_target(&band.glide, &band.coeffs, band.glideSteps);
      break;
    }
    case 3:
      start();
      bypassed = truncated(value);
      break;
    case 4: {
      Band& band = bands[1];
      band.frequencyHz = 100.0f + 7900.0f * value;
      retune(band);
      cook(band);
      biquad_interpolation_state_set_target(&band.glide, &band.coeffs, band.glideSteps);
      break;
    }
    default:
      break;
  }
}

void ThreeBandEQ::process(float** audio, std::int32_t frames, const HDMIDIEvents* midiIn,
                          HDMIDIEvents*, const SyncInfo*) {
  if (bands[0].states == nullptr) return;
  if (midiIn != nullptr) {
    const std::int64_t count =
        std::clamp<std::int64_t>(midiIn->numEvents, 0, MAX_MIDIEVENTS_PER_CALL_SDK);
    for (std::int64_t i = 0; i < count; ++i) {
      const HDMIDIEvent& event = midiIn->events[i];
      if (event.status == kController) applyController(event.data1, event.data2);
    }
  }
  if (frames <= 0 || bypassed != 0 || audio == nullptr) return;
  filter(audio, frames);
}

void ThreeBandEQ::filter(float** audio, std::int32_t frames) {
  const std::int32_t channels = std::min(builtChannels, static_cast<std::int32_t>(numAudioIns));
  const std::int32_t pairs = channels / 2;
  const bool odd = channels % 2 != 0;
  for (std::int32_t pair = 0; pair < pairs; ++pair) {
    const std::int32_t left = 2 * pair, right = left + 1;
    const int advance = pair == pairs - 1 && !odd ? 1 : 0;
    for (Band& band : bands)
      biquad_process_inplace_interpolating_4n2(audio[left], audio[right], frames,
                                               &band.states[left], &band.states[right], &band.glide,
                                               advance);
  }
  if (odd) {
    const std::int32_t last = channels - 1;
    for (Band& band : bands)
      biquad_process_inplace_interpolating_4n(audio[last], frames, &band.states[last], &band.glide,
                                              1);
  }
}

}  // namespace sorvelin
