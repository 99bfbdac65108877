// sorvelin::Expression, the MIDI plug-in that moves an instrument's dynamics from a breath
// controller (2) or an expression pedal (11) to controller 1, and controller 79 to the
// engine-internal 129, leaving everything else as it came. Phrasekit and Bowkit each carry
// it; SoloControl applies the same remap to its input.
// Threads: the engine's control thread for everything but `process` (render thread: no
// allocation, no lock); calls on one object never overlap.
#pragma once

#include <cstdint>

#include "Sampler/sdk/Plugin.h"

namespace sorvelin {

/// On `status` exactly 176 (the first channel only): `data1` 2 and 11 become 1, 79 becomes
/// 129. Nothing else of the event changes.
inline void remapExpressionController(vantor::KELOPluginSDK::HDMIDIEvent& event) {
  if (event.status != 176) return;
  if (event.data1 == 2 || event.data1 == 11)
    event.data1 = 1;
  else if (event.data1 == 79)
    event.data1 = 129;
}

/// Stateless: any block on its own, in the same order, no sorting. No allocation or lock.
class Expression : public vantor::KELOPluginSDK::EffectPlugin {
 public:
  explicit Expression(vantor::KELOPluginSDK::Host* host);

  /// 1, without reading the texts or calling init.
  std::int32_t initEx(const char* initText, const char* extraText) override { return 1; }
  void stop() override {}
  /// No parameter: `numEvents` 0, the events left as they are.
  void getDefaults(vantor::KELOPluginSDK::HDMIDIEvents* list) override;
  /// midiOut = midiIn remapped (`numEvents` read as 0..2048); the audio is not touched.
  void process(float** audio, std::int32_t frames,
               const vantor::KELOPluginSDK::HDMIDIEvents* midiIn,
               vantor::KELOPluginSDK::HDMIDIEvents* midiOut,
               const vantor::KELOPluginSDK::SyncInfo* sync) override;
  void setCustomDataLink(const vantor::KELOPluginSDK::CustomDataLink* link) override {}
  virtual bool init(const char* initText, const char* extraText) { return true; }
  virtual void setChunk(unsigned char* data, unsigned size) {}
  int getChunk(void** data) { return 0; }
};

}  // namespace sorvelin
