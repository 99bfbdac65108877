// The reference engine's instrument: up to 32 voices of simple waveforms with a linear attack
// and release, driven by channel-voice MIDI events (note on and off, sustain pedal, all sound
// off, all notes off) and rendered into the output channels. Render thread only, after
// prepare() on the main thread while not processing; never allocates or locks.
#pragma once

#include <cstdint>

#include "engine/EngineParameters.h"
#include "VNL/source/MIDIEvent.h"

namespace kelo::engine {

class EngineSynth {
 public:
  explicit EngineSynth(const EngineParameters& parameters) : m_parameters(parameters) {}

  void setSampleRate(double sampleRate);
  /// Silences every voice and forgets pedals (the state a fresh instance starts in).
  void reset();

  /// Applies one event at the current position.
  void handleEvent(const vantor::MIDIEvent& event);

  /// Adds `frames` frames of the sounding voices into `outputs` from `offset` on.
  /// Routing "Mix" puts every channel on outputs 0 and 1, "Spread" MIDI channel c on the pair
  /// starting at 2c (modulo the outputs); a single output gets the sum.
  void render(float* const* outputs, int numOutputs, int offset, int frames);

  int activeVoices() const;

 private:
  enum class Stage : std::uint8_t { Idle, Attack, Sustain, Release };

  struct Voice {
    Stage stage = Stage::Idle;
    std::uint8_t channel = 0;
    std::uint8_t note = 0;
    bool keyDown = false;
    float velocity = 0.0f;
    double phase = 0.0;
    double increment = 0.0;
    float level = 0.0f;
    float attackStep = 0.0f;
    float releaseStep = 0.0f;
    int waveform = 0;
    std::uint64_t age = 0;
  };

  void noteOn(int channel, int note, int velocity, float detuneCents);
  void noteOff(int channel, int note);
  void release(Voice& voice);

  const EngineParameters& m_parameters;
  double m_sampleRate = 44100.0;
  Voice m_voices[kMaxVoices];
  bool m_pedal[16] = {};
  std::uint64_t m_noteCounter = 0;
};

}  // namespace kelo::engine
