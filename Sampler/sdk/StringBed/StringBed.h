// The sustain resonance plug-in ("com.Sorvelin.Piano.Resonance.Sustain"): every stereo pair of
// channels goes through a sustain harp (PianoHarp), the recorded resonance of the piano's
// strings whose decay follows the sustain pedal, mixed with the dry signal.
//
// Init texts: the first is "<impulse name>" or "<impulse name>|<gain>", the second the folder
// of the impulse files ("<folder>/<name><kHz>"). Controllers (status exactly 176): 64 the
// pedal position at its frame, 84 the resonance level and 85 the bypass (any value but 0.0),
// both for the whole block.
//
// Threads: the engine's control thread for everything but `process` (render thread: no
// allocation, no lock). setDSPInfo and setIOConfig rebuild the harps, so they never overlap
// `process`.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "Sampler/sdk/Plugin.h"
#include "Sampler/sdk/StringBed/PianoHarp.h"

namespace acme {

class StringBed : public vantor::KELOPluginSDK::EffectPlugin {
 public:
  static constexpr unsigned long kMaxSustainEvents = 2047;

  explicit StringBed(vantor::KELOPluginSDK::Host* host);
  ~StringBed() override;

  std::int32_t initEx(const char* text1, const char* text2) override;
  void start() override;
  void stop() override;
  /// Builds one harp per channel pair from the impulse files (reading them: slow).
  void setDSPInfo(const vantor::KELOPluginSDK::DSPInfo* info) override;
  /// Even counts with inputs equal to outputs; a new count rebuilds existing harps at once.
  void setIOConfig(vantor::KELOPluginSDK::ChannelInfo* channels, std::int32_t* answer) override;
  /// Controllers 84 (0.2) and 85 (0.0) at tick 0.
  void getDefaults(vantor::KELOPluginSDK::HDMIDIEvents* events) override;
  void process(float** audio, std::int32_t frames, const vantor::KELOPluginSDK::HDMIDIEvents* in,
               vantor::KELOPluginSDK::HDMIDIEvents* out,
               const vantor::KELOPluginSDK::SyncInfo* sync) override;
  void setCustomDataLink(const vantor::KELOPluginSDK::CustomDataLink*) override {}
  virtual bool init(const char* text1, const char* text2);

  int getChunk(void**) { return 0; }
  void setChunk(unsigned char*, unsigned) {}
  /// The block's pedal changes into `susEvents`: at most 2046 plus the last pending one, changes
  /// within `mergeWindow` frames of the last stored one merged; applies 84 and 85 on the way.
  void ExtractFromMidiStream(const vantor::KELOPluginSDK::HDMIDIEvent* events,
                             unsigned long count, unsigned long* storedCount);

  // For the tests.
  const std::string& getImpulsePath() const { return impulsePath; }
  const std::string& getImpulseName() const { return impulseName; }
  float getImpulseGain() const { return impulseGain; }
  double getLevel() const { return level; }
  bool isBypassed() const { return bypass; }
  std::uint64_t getMergeWindow() const { return mergeWindow; }
  const tagThinSusEvent* sustainEvents() const { return susEvents.get(); }
  std::size_t harpCount() const { return harps.size(); }
  const PianoHarp* harpAt(std::size_t pair) const { return harps[pair].get(); }

 private:
  void removeHarps();
  void buildHarps();

  std::string impulsePath;
  std::string impulseName;
  float impulseGain = 0.025f;
  std::unique_ptr<tagThinSusEvent[]> susEvents;
  std::uint64_t mergeWindow = 0;
  double level = 0.2;
  bool bypass = true;
  std::vector<std::unique_ptr<PianoHarp>> harps;  // null entries: pairs left dry
  std::vector<float> lastGood;
  std::vector<std::uint8_t> silentIn;  // per channel, this block's input was exactly zero
  double builtRate = 0;  // the format the harps were built for
  std::int32_t builtBlock = 0;
};

}  // namespace acme
