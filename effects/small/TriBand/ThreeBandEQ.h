// The three-band equaliser of the TriBand bundle: a low shelf, a peaking filter with a
// movable centre and a high shelf in series on every audio channel, each with a gain of
// -12 to +12 dB set by a controller. Gain and centre changes glide over about 10 ms plus
// 200 groups of four frames instead of jumping; every channel of a block follows the same
// coefficient trajectory.
//
// Controllers (status 176 compared whole; other events are ignored; values that are not
// finite change nothing): 0, 1, 2 the gain of band 0, 1, 2 (0.0 to 1.0 is -12 to +12 dB);
// 3 clears the filters and sets their coefficients at once, then bypasses when its value
// truncates to a non-zero integer; 4 the peak's centre, 100 + 7900 x value Hz.
//
// Threads: the engine's control calls and process never overlap on one instance; process
// allocates nothing and takes no lock. No threads of its own.
#pragma once

#include <cstdint>
#include <memory>

#include "Sampler/sdk/Plugin.h"
#include "Sampler/source/Biquad.h"

namespace sorvelin {

class ThreeBandEQ : public vantor::KELOPluginSDK::EffectPlugin {
 public:
  static constexpr int kBands = 3;

  explicit ThreeBandEQ(vantor::KELOPluginSDK::Host* host);

  std::int32_t initEx(const char* initText, const char* extraText) override;
  /// Clears every filter memory and sets the coefficients at once (nothing before the first
  /// setDSPInfo).
  void start() override;
  void stop() override;
  /// Builds one filter memory per input channel and the rate-dependent coefficients.
  void setDSPInfo(const vantor::KELOPluginSDK::DSPInfo* info) override;
  /// Accepts any channel count with inputs equal to outputs. Takes effect for filtering at
  /// the next setDSPInfo; until then process filters only the channels it has memories for.
  void setIOConfig(vantor::KELOPluginSDK::ChannelInfo* channels, std::int32_t* answer) override;
  void getDefaults(vantor::KELOPluginSDK::HDMIDIEvents* events) override;
  /// Applies the block's controllers, then filters in place (nothing while bypassed or
  /// before the first setDSPInfo). `midiOut` is not touched.
  void process(float** audio, std::int32_t frames,
               const vantor::KELOPluginSDK::HDMIDIEvents* midiIn,
               vantor::KELOPluginSDK::HDMIDIEvents* midiOut,
               const vantor::KELOPluginSDK::SyncInfo* sync) override;
  void setCustomDataLink(const vantor::KELOPluginSDK::CustomDataLink* link) override;

  bool init(const char* initText, const char* extraText);
  std::int32_t getChunk(void** data);
  void setChunk(unsigned char* data, unsigned size);

  bool isBypassed() const { return bypassed != 0; }
  /// Steps of one glide (each one group of four frames) at the current rate.
  std::int32_t glideSteps() const { return bands[0].glideSteps; }

 private:
  struct Band {
    biquad_coeffs coeffs;
    std::unique_ptr<biquad_state[]> states;
    biquad_interpolation_state glide;
    std::int32_t filter_type;
    std::int32_t q_type;
    float gainDb;
    float q_value;
    float frequencyHz;
    double normalisedFrequency;
    std::int32_t glideSteps;
  };

  void applyController(std::int32_t controller, float value);
  void retune(Band& band);  // normalisedFrequency and glideSteps from the rate
  void cook(Band& band);
  void filter(float** audio, std::int32_t frames);

  std::unique_ptr<vantor::KELOPluginSDK::HDMIDIEvents> defaults;
  std::int32_t bypassed = 0;
  Band bands[kBands];
  std::int32_t builtChannels = 0;  // filter memories per band, from the last setDSPInfo
};

}  // namespace sorvelin
