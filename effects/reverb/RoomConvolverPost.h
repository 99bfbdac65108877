// The room reverb of RoomFold ("com.Sorvelin.Kelo.Convolver.Room"): a stereo convolution
// reverb whose response is reshaped by pre-delay, size and decay (ImpulseResponse) on a
// background worker (ConvolverHelper), and which convolves at a base rate of 44.1 or 48 kHz
// when the engine runs at 2 or 4 times that (FIRResampler20khz around the convolvers).
//
// Responses: two channels (left input through 0, right through 1); four (0 left to left,
// 1 left to right, 2 right to left, 3 right to right, each output's sum x 0.70710677); one
// channel serves both sides; three or more than four channels are used as their first two.
// Init text: "name|dry|wet|pre-delay|size|decay", each number taken only when its field is
// wholly a finite number. Controllers (status 176; values that are not finite are ignored):
// 0 dryLevel, 1 wetLevel, 2 level, 3 pre-delay (0 to 1 spans 0 to 0.5 s), 4 size, 5 decay.
// Audio layout: 2 in, 2 out only. Mixing and threads: ConvolverPost; a settings change or a
// custom data link builds a new worker object and retires the old one, waiting for it (for a
// build in progress to end) while process passes the dry signal.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "Sampler/sdk/calvatero/resample/FIRResampler20khz.h"
#include "effects/reverb/ConvolverHelper.h"
#include "effects/reverb/ConvolverPost.h"

namespace acme {

class RoomConvolverPost : public ConvolverPost {
 public:
  explicit RoomConvolverPost(vantor::KELOPluginSDK::Host* host);
  ~RoomConvolverPost() override;

  std::int32_t initEx(const char* initText, const char* extraText) override;
  void getDefaults(vantor::KELOPluginSDK::HDMIDIEvents* list) override;
  /// 1 for 2/2; -1, keeping the counts, for anything else.
  void setIOConfig(vantor::KELOPluginSDK::ChannelInfo* info, std::int32_t* answer) override;

  std::uint64_t getDesiredIRSampleRate() override { return baseRate; }
  void dspInfoChanged(const vantor::KELOPluginSDK::DSPInfo& info) override;
  bool initConvEngineFromHaf(const vantor::KELOPluginSDK::HostAudioFile* file) override;
  void assignConvEngine() override;
  void ProcessMIDI(const vantor::KELOPluginSDK::HDMIDIEvents* events) override;
  bool Convolve(const float* const* in, std::int32_t frames, float** out) override;
  void Reset() override;
  std::uint64_t TailFrames() const override;
  /// Clears the convolvers' and the filters' history, keeping the decimation grid.
  void EnterRest() override;
  /// Still hands parameter changes to the worker and takes finished sets, and moves the
  /// decimation grid on by `frames`, as convolving silence would.
  void Rest(std::int32_t frames) override;

  /// The pre-delay in base-rate samples, less the resampling filters' delay (may be
  /// negative); saturates instead of overflowing.
  std::int64_t GetPreDelaySamples() const;
  /// A new resampler for the current rate and block; false, keeping the previous one, when it
  /// cannot be built. True without work below factor 2.
  bool initResampler();

  std::uint64_t getFactor() const { return factor; }
  std::uint64_t getBaseRate() const { return baseRate; }
  bool hasResampler() const { return resampler != nullptr; }
  /// The block the worker's convolvers take: ceil(maxBlockSize / factor).
  std::uint64_t workerBlockFrames() const { return (maxBlockSize + factor - 1) / factor; }
  /// Response channels the active worker object convolves with (1, 2 or 4; 0 without one).
  std::uint64_t getActiveChannels() const { return activeChannels; }
  float getPreDelay() const { return preDelay.load(std::memory_order_relaxed); }
  float getSize() const { return size.load(std::memory_order_relaxed); }
  float getDecay() const { return decay.load(std::memory_order_relaxed); }

 private:
  static void DeleteConvHelper(ConvolverHelper* helper);
  void buildDefaults();
  void freeBuffers();

  std::unique_ptr<vantor::KELOPluginSDK::HDMIDIEvents> defaults;
  ConvolverHelper* activeHelper = nullptr;
  ConvolverHelper* pendingHelper = nullptr;
  std::uint64_t activeChannels = 0;
  std::uint64_t pendingChannels = 0;
  float* reducedLeft = nullptr;
  float* reducedRight = nullptr;
  calvatero::resample::FIRResampler20khz* resampler = nullptr;
  std::uint64_t factor = 1;
  std::uint64_t upFilterTaps = 0;
  std::uint64_t downFilterTaps = 0;
  std::uint64_t baseRate = 44100;
  std::uint64_t engineRate = 44100;
  std::uint64_t maxBlockSize = 256;
  bool resamplingEnabled = true;
  bool filterDownsampling = true;
  std::uint64_t minimumPhase = 0;
  std::atomic<float> preDelay{0.0f};
  std::atomic<float> size{0.5f};
  std::atomic<float> decay{1.0f};
  float* tempLeft = nullptr;
  float* tempRight = nullptr;
  // The resampled path with blocks that are not a multiple of the factor: the decimation
  // phase of the next block, and up-sampled frames beyond the last block (at most 3).
  float* upLeft = nullptr;
  float* upRight = nullptr;
  std::uint64_t downPhase = 0;
  std::uint64_t heldFrames = 0;
  float heldLeft[4] = {};
  float heldRight[4] = {};
};

}  // namespace acme
