// The reference engine's parameters: their descriptions (ParameterInfo records at stable
// addresses, which hosts read in place) and their current values, and the state chunk that
// carries the values.
//
// Values are atomics: the render thread reads them while the main thread (or any host thread)
// gets, sets, saves and restores them, without a lock.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "VNL/source/ParameterInfo.h"

namespace kelo::engine {

enum ParameterIndex : int {
  kParamVolume = 0,    // continuous, linear gain shown in dB
  kParamWaveform,      // list: sine, triangle, saw, square
  kParamAttack,        // continuous, seconds
  kParamRelease,       // continuous, seconds (shown in ms)
  kParamPolyphony,     // integer, voices in use
  kParamPan,           // continuous, stereo pan
  kParamMute,          // on/off
  kParamTune,          // continuous, cents
  kParamVelocityDepth, // continuous (type 4), shown as a 7-bit MIDI value
  kParamBend,          // continuous (type 5), shown as a 14-bit MIDI value
  kParamRouting,       // continuous shown by names: mix, spread over the output pairs
  kParamEngineName,    // fixed text
  kParamHidden,        // has a value but no description
  kParamHold,          // on/off shown against its off value
  kParamBright,        // continuous shown as off/on around the centre
  kParamLongLabel,     // continuous in cents, a 60-character label (one character beyond
                       // ASCII), not automatable
  kParamUnlabelled,    // described without a label, shown in dB
  kParameterCount
};

inline constexpr int kMaxVoices = 32;

class EngineParameters {
 public:
  EngineParameters();

  /// Null for an index without a description (or out of range). The record lives as long as
  /// this object.
  const ParameterInfo* info(int index) const;
  bool valid(int index) const { return index >= 0 && index < kParameterCount; }

  /// Any thread. get answers the default for an invalid index; set ignores it (false).
  float get(int index) const;
  bool set(int index, float value);

  /// Appends the state chunk (deterministic: the same values give the same bytes).
  /// Main thread.
  void save(std::vector<std::uint8_t>& out) const;
  /// Takes the values of a well-formed chunk; refuses anything else and keeps the values.
  bool restore(const std::uint8_t* bytes, std::size_t length);

 private:
  std::array<ParameterInfo, kParameterCount> m_info;
  std::array<std::atomic<float>, kParameterCount> m_values;
};

/// Layout of the state chunk, version 1, little-endian:
///   0  "KELO"          magic
///   4  uint32 1        version
///   8  uint32 n        parameter count (1 .. kParameterCount)
///  12  float32[n]      values, each finite and within its parameter's range
///  12 + 4n uint32      CRC-32 (IEEE) of the bytes before it
inline constexpr std::uint32_t kChunkVersion = 1;
std::uint32_t chunkChecksum(const std::uint8_t* bytes, std::size_t length);

}  // namespace kelo::engine
