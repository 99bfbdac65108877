// Decimating resampler around a stereo effect: the room reverb runs at 44.1 or 48 kHz while the
// engine runs at 2 or 4 times that. Downsample low-passes (optionally) and keeps every 2nd or
// 4th frame; Upsample zero-stuffs and low-passes back to the engine's rate. Everything above
// about 18 kHz (44.1 kHz family) or 19 kHz (48 kHz family) is dropped. The filters are fixed
// tables run through the library's zero-latency convolver, so only their group delay is added.
//
// Thread: one owner thread calls Downsample, Upsample and Reset; creation and destruction are
// kept apart from processing by the owner. Construction allocates; processing and Reset never
// allocate, lock or throw.
#pragma once

#include <cstddef>
#include <stdexcept>

namespace calvatero::exceptions {

/// A resampler that cannot be built for these settings; what() is "Resampler_init_error".
class FIRResampler20khz_init_error : public std::runtime_error {
 public:
  FIRResampler20khz_init_error() : std::runtime_error("Resampler_init_error") {}
};

}  // namespace calvatero::exceptions

namespace calvatero::resample {

/// Owns both low-pass convolvers and both scratch buffers.
class FIRResampler20khz {
 public:
  /// sampleRate: 88200, 96000 (factor 2), 176400 or 192000 (factor 4); blockFrames: the most
  /// engine-rate frames of one call, a multiple of 4 and above 0. Throws
  /// FIRResampler20khz_init_error for any other rate, a block of 0 or a convolver that cannot
  /// be built, std::bad_alloc when memory is short; nothing stays allocated after a throw.
  FIRResampler20khz(std::size_t sampleRate, std::size_t blockFrames, std::size_t minimumPhase,
                    std::size_t filterDownsampling);
  virtual ~FIRResampler20khz();
  FIRResampler20khz(const FIRResampler20khz&) = delete;
  FIRResampler20khz& operator=(const FIRResampler20khz&) = delete;

  /// Factor (1, 2 or 4; 1 for any rate without a table), whether it resamples, and the tap
  /// counts of the up filter and (0 without filtered down-sampling) the down filter. The
  /// filters delay by (downFilterTaps / 2 + upFilterTaps / 2) / factor base-rate frames.
  static void GetResamplerInfo(std::size_t* resampling, std::size_t* factor,
                               std::size_t* downFilterTaps, std::size_t* upFilterTaps,
                               std::size_t sampleRate, std::size_t minimumPhase,
                               std::size_t filterDownsampling);

  /// Clears the filters' history.
  void Reset();

  /// inFrames (at most blockFrames) engine-rate frames to ceil(inFrames / factor) base-rate
  /// frames: input indices 0, f, 2f, ... of this block (the grid restarts with every block, so
  /// it stays uniform only when every block's length is a multiple of the factor).
  void Downsample(float* outLeft, float* outRight, std::size_t* outFrames, const float* inLeft,
                  const float* inRight, std::size_t inFrames);

  /// As Downsample, picking input indices phase, phase + f, ... (phase below the factor), so
  /// that blocks of any length continue one grid; answers the next block's phase. Phase 0
  /// is Downsample.
  std::size_t DownsampleFrom(float* outLeft, float* outRight, std::size_t* outFrames,
                             const float* inLeft, const float* inRight, std::size_t inFrames,
                             std::size_t phase);

  /// inFrames (factor x inFrames at most blockFrames) base-rate frames to factor x inFrames
  /// engine-rate frames.
  void Upsample(float* outLeft, float* outRight, std::size_t* outFrames, const float* inLeft,
                const float* inRight, std::size_t inFrames);

  std::size_t blockFrames() const { return blockFrames_; }
  std::size_t factor() const { return factor_; }

 private:
  void release();

  void* upConvolver_ = nullptr;
  void* downConvolver_ = nullptr;
  float* scratchLeft_ = nullptr;
  float* scratchRight_ = nullptr;
  std::size_t blockFrames_ = 0;
  std::size_t shift_ = 0;
  std::size_t factor_ = 1;
};

/// A new resampler with blockFrames rounded up to a multiple of 4; the caller deletes it.
/// Throws what the constructor throws.
FIRResampler20khz* makeFIRResampler20khz(std::size_t sampleRate, std::size_t blockFrames,
                                         std::size_t minimumPhase,
                                         std::size_t filterDownsampling);

}  // namespace calvatero::resample
