// The sympathetic resonance plug-in ("com.Sorvelin.Piano.Resonance.Sympathetic"): every audio
// channel drives its own piano of 71 string pairs (pianosim); held keys lift their dampers and
// ring along with the sound, and the strings' output is added to the channel.
//
// Events (status compared whole, so MIDI channel 1 only) take effect before the block: note-on
// 144 (velocity 0 is a note-off) and note-off 128 move the dampers; controller 87 sets both mix
// gains (data2 / 1.5 on the parameters' 0..1 scale), 123 releases every key, 120 releases every
// key and silences every string in place; 64 is read but has no audible effect.
//
// Threads: the engine's control thread for everything but `process` (render thread: no
// allocation, no lock). setDSPInfo and setIOConfig rebuild the pianos, so they never overlap
// `process`.
#pragma once

#include <cstdint>
#include <memory>

#include "Sampler/sdk/Plugin.h"
#include "Sampler/sdk/StringBed/pianosim/output.h"
#include "Sampler/sdk/StringBed/pianosim/piano.h"

namespace acme {

/// One parameter of the string model: a value held in an `output`, its range and how the
/// controller scale 0..1 maps onto it.
struct param {
  std::int32_t kind;  // 1 logarithmic, 0 linear
  output value;
  float min, max;
  const char* name;
  const char* unit;

  param(std::int32_t kind, float value, float min, float max, const char* name,
        const char* unit);
  ~param();
  param(const param&) = delete;
  param& operator=(const param&) = delete;

  /// x in 0..1 (limited to it): min^(1 - x) * max^x, or the straight line from min to max.
  void setValueLinear(float x);
  float getValueLinear() const;
  float get() const { return output_getvalue(&value); }
};

class PianoSymp : public vantor::KELOPluginSDK::EffectPlugin {
 public:
  explicit PianoSymp(vantor::KELOPluginSDK::Host* host);
  ~PianoSymp() override;

  std::int32_t initEx(const char* text1, const char* text2) override;
  void start() override;
  void stop() override;
  void setDSPInfo(const vantor::KELOPluginSDK::DSPInfo* info) override;
  /// Any count with inputs equal to outputs; a new count rebuilds existing pianos at once.
  void setIOConfig(vantor::KELOPluginSDK::ChannelInfo* channels, std::int32_t* answer) override;
  /// Controllers 87 (mixgain1 on the 0..1 scale), 64, 123 and 120, all at tick 0.
  void getDefaults(vantor::KELOPluginSDK::HDMIDIEvents* events) override;
  void process(float** audio, std::int32_t frames, const vantor::KELOPluginSDK::HDMIDIEvents* in,
               vantor::KELOPluginSDK::HDMIDIEvents* out,
               const vantor::KELOPluginSDK::SyncInfo* sync) override;
  void setCustomDataLink(const vantor::KELOPluginSDK::CustomDataLink*) override {}
  virtual bool init(const char* text1, const char* text2);

  int getChunk(void**) { return 0; }
  void setChunk(unsigned char*, unsigned) {}
  /// Both mix gains from x on the 0..1 scale, into every piano.
  void setGain(float x);

  // For the tests.
  float mixGain1() const { return mixgain1.get(); }
  float mixGain2() const { return mixgain2.get(); }
  float currentGainValue() const { return gainValue; }
  std::uint32_t pianoCount() const { return pianoCount_; }
  const piano* pianoAt(std::uint32_t channel) const { return &pianos[channel]; }

 private:
  struct ScratchFree {
    void operator()(float* p) const;
  };
  void applyEvent(const vantor::KELOPluginSDK::HDMIDIEvent& event);
  void releaseAllKeys();
  void releasePianos();
  void rebuild();

  std::unique_ptr<piano[]> pianos;
  std::uint32_t pianoCount_ = 0;
  bool running = false;  // started, with delay lines
  param mixgain1{1, 0.003f, 0.0001f, 0.1f, "mixgain1", ""};
  param mixgain2{1, 0.003f, 0.0001f, 0.1f, "mixgain2", ""};
  param ghold1{1, 0.997f, 0.9f, 1.0f, "ghold1", ""};
  param ghold2{1, 0.997f, 0.9f, 1.0f, "ghold2", ""};
  param grels1{1, 0.9f, 0.9f, 1.0f, "grels1", ""};
  param grels2{1, 0.9f, 0.9f, 1.0f, "grels2", ""};
  param gtrack1{0, 0.0f, 0.0f, 1.0f, "gtrack1", ""};
  param gtrack2{0, 0.0f, 0.0f, 1.0f, "gtrack2", ""};
  param dhold1{1, 12000.0f, 2000.0f, 40000.0f, "dhold1", "Hz"};
  param dhold2{1, 12000.0f, 2000.0f, 40000.0f, "dhold2", "Hz"};
  param drels1{1, 12000.0f, 200.0f, 40000.0f, "drels1", "Hz"};
  param drels2{1, 12000.0f, 200.0f, 40000.0f, "drels2", "Hz"};
  param dtrack1{0, 0.0f, 0.0f, 1.0f, "dtrack1", ""};
  param dtrack2{0, 0.0f, 0.0f, 1.0f, "dtrack2", ""};
  param* paramTable[14] = {&mixgain1, &mixgain2, &ghold1, &ghold2, &grels1, &grels2, &gtrack1,
                           &gtrack2, &dhold1,   &dhold2,   &drels1, &drels2, &dtrack1, &dtrack2};
  std::unique_ptr<float, ScratchFree> scratch;  // pianoCount_ arrays of maxBlockSize
  float mixGain = 1.0f;
  float fadeStep = 0.0f;  // computed by controller 64, not applied
  std::int32_t fadeLength = 0;
  float gainValue = 0.0f;  // 0 switches the processing off
};

}  // namespace acme
