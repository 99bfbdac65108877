// The sustain harp: the sustain-pedal resonance of one stereo channel pair. It convolves the
// pedal-weighted input with a recorded impulse of the piano's strings through the
// variable-decay convolver, whose decay follows the pedal, and mixes the result into the pair
// in place while the dry signal is attenuated by an equal-power law. At 88.2 kHz and above the
// convolution runs at a half or a quarter of the engine rate and is brought back up through a
// low-pass convolver.
//
// Silence: once the convolvers' input (the pedal-weighted input) has been exactly zero for
// longer than the impulse, they are cleared once and rest until it is not; a pair that is
// silent, with the ramps settled and no pedal change, then costs next to nothing. The output
// is the same but for rounding.
//
// Built on a worker or control thread (makePianoHarp reads the impulse file and allocates);
// CalculateCurrentHarpOutput, UpdateFromSustainEvent and ResetHarp never allocate, lock or
// block, so they run on the audio thread. One thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>

#include "Sampler/sdk/calvatero/convolution/DecayNode.h"
#include "Sampler/sdk/calvatero/newconv/Common.h"

/// One sustain change within a block.
struct tagThinSusEvent {
  std::uint64_t frame;  // offset within the current block
  double value;         // pedal position, 0.0 up to 1.0 down
};

class Convolution_init_error : public std::runtime_error {
 public:
  Convolution_init_error() : std::runtime_error("Convolution_init_error") {}
};

class Convolution_oom_error : public std::runtime_error {
 public:
  Convolution_oom_error() : std::runtime_error("Convolution_oom_error") {}
};

/// The impulse as the harp uses it: faded, cut and scaled, one array per channel. A temporary
/// copy, in blocks of the bundle's allocation functions.
struct HarpImpulse {
  struct Free {
    void operator()(float* p) const;
  };
  std::unique_ptr<float[], Free> left, right;
  std::size_t frames = 0;
};

class PianoHarp {
 public:
  static constexpr std::size_t kMaxDecayNodes = 2048;

  /// Loads the impulse and builds the convolvers for blocks of up to `blockSize` frames at
  /// `sampleRate`. Throws Convolution_init_error (no impulse, an unusable file or rate, a
  /// convolver that would not build) or Convolution_oom_error; nothing stays allocated then.
  PianoHarp(const char* impulsePath, const char* impulseName, unsigned long blockSize,
            unsigned long sampleRate, char, char, float gain);
  virtual ~PianoHarp();
  PianoHarp(const PianoHarp&) = delete;
  PianoHarp& operator=(const PianoHarp&) = delete;

  /// Processes `frames` frames (at most the block size) of pair[0] and pair[1] in place.
  /// `events` are the block's sustain changes in ascending frame order; an event at frame
  /// `frames` takes effect from the next call. With `bypass` the audio is left untouched and
  /// the convolvers are silenced. `knownSilent` says the caller has just seen both channels
  /// exactly zero, which spares looking again.
  void CalculateCurrentHarpOutput(unsigned long frames, float** pair,
                                  const tagThinSusEvent* events, unsigned long count,
                                  double level, bool bypass, bool knownSilent = false);
  /// New targets for a pedal position (limited to 0..1) and resonance level; a non-finite value
  /// keeps the one in force.
  void UpdateFromSustainEvent(double pedal, double level);
  /// Silences the harp: convolvers cleared, pedal up, ramps settled; the level stays.
  void ResetHarp();

  /// The file name of the impulse for an impulse rate: path "/" name, then the rate in kHz.
  static std::string impulseFileName(const char* impulsePath, const char* impulseName,
                                     unsigned long impulseRate);
  /// Reads "<path>/<name><kHz>" as headerless 16-bit little-endian stereo, fades and cuts it at
  /// 10 s and scales it by gain * 44100 / impulseRate. Reads only regular files, and of them
  /// only what the cut keeps. Throws Convolution_init_error (with a line on stderr).
  static HarpImpulse loadImpulse(const char* impulsePath, const char* impulseName,
                                 unsigned long impulseRate, float gain);

  // What the construction chose, for the plug-in's log and the tests.
  unsigned long impulseRate() const { return m_impulseRate; }
  std::size_t impulseFrames() const { return m_impulseFrames; }
  unsigned shift() const { return m_shift; }
  std::size_t maxBufferSize() const { return _maxBufferSize; }
  bool decimating() const { return lowpassConvolver != nullptr; }
  double minimumDecay() const { return minDecay; }
  double dryGain() const { return currentGain; }
  double targetDryGain() const { return targetGain; }
  double pedalWeight() const { return currentPedal; }
  /// Full-rate output frames produced ahead and held for the next call.
  std::size_t heldFrames() const { return _extraOutputStored; }
  /// Whether the last call left the convolvers resting.
  bool isResting() const { return resting; }

 private:
  struct ConvolverEnd {
    void operator()(void* handle) const;
  };
  struct NodesFree {
    void operator()(calvatero::convolution::DecayNode* nodes) const;
  };
  using Convolver = std::unique_ptr<void, ConvolverEnd>;

  void applyTargetRule(double pedal);
  void settleRamps();
  std::size_t appendNode(std::size_t count, double factor, std::uint64_t frames);
  /// Convolvers cleared (reset, bypass): no input history.
  void forgetInput();
  /// Counts the trailing silence of this call's `frames` convolver input frames; answers
  /// whether they were all silent.
  bool countSilence(std::uint64_t frames);
  /// The convolvers start or go on resting over a call of `frames` frames whose `convFrames`
  /// convolver frames are silent: the output frames they make are silence.
  void rest(float** pair, std::uint64_t frames, std::uint64_t convFrames);

  double fallRate = 0;
  double pedalRate = 0;
  double minDecay = 0;
  double riseRate = 0;
  double targetPedal = 0;
  double targetGain = 1.0;
  double currentGain = 1.0;
  double currentPedal = 0;
  double targetDecay = 0;
  double gainStep = 0, pedalStep = 0;
  double level = 0;
  Convolver decayConvolver;
  Convolver lowpassConvolver;
  calvatero::common::AlignedFloats decimatedIn[2];
  calvatero::common::AlignedFloats convOut[2];
  calvatero::common::AlignedFloats upsampled[2];
  std::unique_ptr<calvatero::convolution::DecayNode, NodesFree> decayNodes;
  std::uint64_t _maxBufferSize = 0;
  std::uint8_t m_shift = 0;
  double inverseFactor = 1.0;
  std::int64_t _resample_factor = 1;
  std::uint64_t _resample_remainder = 0;
  std::uint64_t _extraOutputStored = 0;
  float extraOutput[2][4] = {};
  unsigned long m_impulseRate = 0;
  std::size_t m_impulseFrames = 0;
  // Convolver frames after its last non-zero input frame until the output, low-pass and
  // held frames included, is exactly zero; the silent frames counted so far (saturating).
  std::uint64_t tailFrames = 0;
  std::uint64_t silentFrames = UINT64_MAX;
  bool resting = true;  // nothing has reached the new convolvers yet
};

/// Builds a harp for blocks of up to `maxBlock` frames (rounded up to a multiple of 4). Answers
/// null with `*error` 10 when the impulse or a convolver cannot be built, 1 when memory is
/// short; `*error` 0 and the harp otherwise. The two byte arguments have no effect. Lets no
/// exception out.
PianoHarp* makePianoHarp(const char* impulsePath, const char* impulseName, unsigned long maxBlock,
                         unsigned long* error, char, char, unsigned long sampleRate, float gain);
