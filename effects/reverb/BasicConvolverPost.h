// The simple reverb of RoomFold ("com.Sorvelin.Kelo.Convolver.Simple"): every input pair is
// convolved with the delivered response at the engine's rate, channel 0 on the left and
// channel 1 on the right (channel 0 on both sides for a one-channel response), with zero added
// latency. Mixing, parameters and threads: ConvolverPost.
//
// Init text: "name|dry|wet"; the name is always taken, each level only when its field is
// wholly a finite number. Audio layouts: equal, even input and output counts up to 16.
#pragma once

#include <cstdint>
#include <memory>

#include "effects/reverb/ConvolverPost.h"

namespace acme {

class BasicConvolverPost : public ConvolverPost {
 public:
  static constexpr int kMaxPairs = kMaxChannels / 2;

  explicit BasicConvolverPost(vantor::KELOPluginSDK::Host* host);
  ~BasicConvolverPost() override;

  /// Answers 1. The name is stored; nothing is loaded before setDSPInfo.
  std::int32_t initEx(const char* initText, const char* extraText) override;
  void getDefaults(vantor::KELOPluginSDK::HDMIDIEvents* list) override;
  /// 1 for equal, even counts from 0 to 16 (stored); -1, keeping the counts, otherwise.
  void setIOConfig(vantor::KELOPluginSDK::ChannelInfo* info, std::int32_t* answer) override;

  std::uint64_t getDesiredIRSampleRate() override { return irSampleRate; }
  void dspInfoChanged(const vantor::KELOPluginSDK::DSPInfo& info) override;
  bool initConvEngineFromHaf(const vantor::KELOPluginSDK::HostAudioFile* file) override;
  void assignConvEngine() override;
  void ProcessMIDI(const vantor::KELOPluginSDK::HDMIDIEvents* events) override;
  bool Convolve(const float* const* in, std::int32_t frames, float** out) override;
  void Reset() override;
  std::uint64_t TailFrames() const override { return activeFrames; }

  /// Active stereo convolvers (for tests).
  int activePairs() const;

 private:
  void buildDefaults();

  void* activeConvolvers[kMaxPairs] = {};
  void* pendingConvolvers[kMaxPairs] = {};
  std::unique_ptr<vantor::KELOPluginSDK::HDMIDIEvents> defaults;
  std::uint64_t irSampleRate = 44100;
  std::uint64_t maxBlock = 256;
  std::uint64_t activeFrames = 0, pendingFrames = 0;  // response frames of each set
};

}  // namespace acme
