#include "engine/EngineSynth.h"

#include <algorithm>
#include <cmath>

namespace kelo::engine {
namespace {

constexpr double kTwoPi = 6.283185307179586;
constexpr float kVoiceGain = 0.25f;

float waveSample(int waveform, double phase) {
  switch (waveform) {
    case 1:  // triangle
      return static_cast<float>(phase < 0.5 ? 4.0 * phase - 1.0 : 3.0 - 4.0 * phase);
    case 2:  // saw, starting at 0 like the others
      return static_cast<float>(phase < 0.5 ? 2.0 * phase : 2.0 * phase - 2.0);
    case 3:  // square
      return phase < 0.5 ? 1.0f : -1.0f;
    default:
      return static_cast<float>(std::sin(kTwoPi * phase));
  }
}

}  // namespace

void EngineSynth::setSampleRate(double sampleRate) {
  if (sampleRate > 0.0 && std::isfinite(sampleRate)) m_sampleRate = sampleRate;
}

void EngineSynth::reset() {
  for (Voice& voice : m_voices) voice = Voice{};
  std::fill(std::begin(m_pedal), std::end(m_pedal), false);
  m_noteCounter = 0;
}

int EngineSynth::activeVoices() const {
  return static_cast<int>(std::count_if(std::begin(m_voices), std::end(m_voices),
                                        [](const Voice& v) { return v.stage != Stage::Idle; }));
}

void EngineSynth::handleEvent(const vantor::MIDIEvent& event) {
  const int status = event.bytes[0] & 0xF0;
  const int channel = event.bytes[0] & 0x0F;
  const int data1 = event.bytes[1] & 0x7F;
  const int data2 = event.bytes[2] & 0x7F;
  switch (status) {
    case 0x90:
      if (data2 > 0) {
        noteOn(channel, data1, data2, event.detune);
      } else {
        noteOff(channel, data1);
      }
      break;
    case 0x80:
      noteOff(channel, data1);
      break;
    case 0xB0:
      if (data1 == 64) {
        m_pedal[channel] = data2 >= 64;
        if (!m_pedal[channel]) {
          for (Voice& voice : m_voices) {
            if (voice.stage != Stage::Idle && voice.channel == channel && !voice.keyDown) {
              release(voice);
            }
          }
        }
      } else if (data1 == 120) {  // all sound off: silent at once
        for (Voice& voice : m_voices) {
          if (voice.channel == channel) voice = Voice{};
        }
      } else if (data1 == 123) {  // all notes off: as if every key were let go
        for (Voice& voice : m_voices) {
          if (voice.stage != Stage::Idle && voice.channel == channel && voice.keyDown) {
            noteOff(channel, voice.note);
          }
        }
      }
      break;
    default:
      break;
  }
}

void EngineSynth::noteOn(int channel, int note, int velocity, float detuneCents) {
  const int polyphony = std::clamp(
      static_cast<int>(std::floor(m_parameters.get(kParamPolyphony) + 0.5f)), 1, kMaxVoices);
  // A free voice, else the oldest one: the choice depends only on the events, so a replay
  // renders the same samples.
  Voice* chosen = nullptr;
  for (int i = 0; i < polyphony; ++i) {
    Voice& voice = m_voices[i];
    if (voice.stage == Stage::Idle) {
      chosen = &voice;
      break;
    }
    if (chosen == nullptr || voice.age < chosen->age) chosen = &voice;
  }
  const float depth = m_parameters.get(kParamVelocityDepth);
  const double cents = (note - 69) * 100.0 + m_parameters.get(kParamTune) +
                       (std::isfinite(detuneCents) ? detuneCents : 0.0f) +
                       m_parameters.get(kParamBend) * 200.0;
  Voice& voice = *chosen;
  voice = Voice{};
  voice.stage = Stage::Attack;
  voice.channel = static_cast<std::uint8_t>(channel);
  voice.note = static_cast<std::uint8_t>(note);
  voice.keyDown = true;
  voice.velocity = (1.0f - depth) + depth * static_cast<float>(velocity) / 127.0f;
  voice.increment = std::min(0.5, 440.0 * std::exp2(cents / 1200.0) / m_sampleRate);
  voice.attackStep =
      static_cast<float>(1.0 / (std::max(0.0005f, m_parameters.get(kParamAttack)) * m_sampleRate));
  voice.releaseStep =
      static_cast<float>(1.0 / (std::max(0.001f, m_parameters.get(kParamRelease)) * m_sampleRate));
  voice.waveform =
      std::clamp(static_cast<int>(std::floor(m_parameters.get(kParamWaveform) + 0.5f)), 0, 3);
  voice.age = ++m_noteCounter;
}

void EngineSynth::noteOff(int channel, int note) {
  for (Voice& voice : m_voices) {
    if (voice.stage == Stage::Idle || voice.channel != channel || voice.note != note ||
        !voice.keyDown) {
      continue;
    }
    voice.keyDown = false;
    if (!m_pedal[channel] && m_parameters.get(kParamHold) < 0.5f) release(voice);
  }
}

void EngineSynth::release(Voice& voice) {
  if (voice.stage != Stage::Idle) voice.stage = Stage::Release;
}

void EngineSynth::render(float* const* outputs, int numOutputs, int offset, int frames) {
  if (numOutputs <= 0 || frames <= 0) return;
  const bool muted = m_parameters.get(kParamMute) >= 0.5f;
  const float volume = m_parameters.get(kParamVolume) * kVoiceGain;
  const double pan = m_parameters.get(kParamPan);
  const float leftGain = static_cast<float>(std::cos(pan * kTwoPi / 4.0));
  const float rightGain = static_cast<float>(std::sin(pan * kTwoPi / 4.0));
  const bool spread = m_parameters.get(kParamRouting) >= 0.5f;
  for (Voice& voice : m_voices) {
    if (voice.stage == Stage::Idle) continue;
    float* left = nullptr;
    float* right = nullptr;
    if (numOutputs == 1) {
      left = outputs[0];
    } else {
      const int pair = spread ? (2 * voice.channel) % (numOutputs & ~1) : 0;
      left = outputs[pair];
      right = outputs[pair + 1];
    }
    for (int i = offset; i < offset + frames; ++i) {
      if (voice.stage == Stage::Attack) {
        voice.level += voice.attackStep;
        if (voice.level >= 1.0f) {
          voice.level = 1.0f;
          voice.stage = Stage::Sustain;
        }
      }
      const float sample = waveSample(voice.waveform, voice.phase) * voice.level *
                           voice.velocity * volume;
      voice.phase += voice.increment;
      if (voice.phase >= 1.0) voice.phase -= 1.0;
      if (voice.stage == Stage::Release) {
        voice.level -= voice.releaseStep;
        if (voice.level <= 0.0f) {
          voice = Voice{};
          break;
        }
      }
      if (muted) continue;
      if (right == nullptr) {
        if (left != nullptr) left[i] += sample;
      } else {
        if (left != nullptr) left[i] += sample * leftGain;
        right[i] += sample * rightGain;
      }
    }
  }
}

}  // namespace kelo::engine
