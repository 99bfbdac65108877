// The convolution engines behind the C interface (ConvolutionInterface.h): zero-added-latency
// stereo convolution, left impulse with left input and right with right, no cross terms. The
// factory picks one of five engines by the impulse length; every engine applies the impulse's
// first tap to the current input frame and honours its full length.
//
// Threads: one thread per convolver (calculate and reset share the engine's transforms and
// buffers); different convolvers are independent. Creation allocates and transforms the whole
// impulse; CalculateOutput and Reset never allocate, lock or block.
#pragma once

#include <cstddef>

namespace calvatero::convolution {

/// Block length of the first partitioned stage; the current 32-frame block's own frames are
/// convolved by the sawtooth direct convolver.
inline constexpr std::size_t BASE_BUFFER_SIZE = 32;
/// Block length of the mid-short engine's second stage.
inline constexpr std::size_t MIDSHORT_BUFFER_SIZE = 128;
/// Block length of the long engine's second stage.
inline constexpr std::size_t STAGE2_BUFFER_SIZE = 1024;
/// Partitions applied at once in the buffered form of the long engine's second stage.
inline constexpr std::size_t BUFFERED_PARTITIONS = 4;
/// The longest impulse any convolver takes (2^28 frames, a gigabyte a channel): beyond it
/// every creation fails as out of memory, before the impulse is read, and the sizes'
/// arithmetic stays exact below it.
inline constexpr std::size_t LONGEST_IMPULSE_FRAMES = std::size_t{1} << 28;

/// What every handle of the C interface points at, plain or variable-decay: the interface
/// hands out this base's address and converts back through it, so destroying or resetting
/// either kind through the plain calls is well defined.
class ConvolverHandle {
 public:
  virtual ~ConvolverHandle() = default;
  /// Clears all signal history: the next output is as if the input had always been silent.
  virtual void Reset() = 0;
};

/// Abstract base of the five plain engines.
class ConvolverMaster : public ConvolverHandle {
 public:
  /// Convolves `frames` input frames and writes (not adds) `frames` output frames. Zero frames
  /// return at once. Any call length is accepted.
  virtual void CalculateOutput(float* outLeft, float* outRight, const float* inLeft,
                               const float* inRight, std::size_t frames) = 0;

  /// The engine for `irFrames` (see the selection table in the source). `maxBlockFrames` is
  /// the longest call the caller intends; the very short engines size their buffers by it and
  /// split longer calls. An impulse of 0 frames gives silence (its arrays are not read).
  /// Throws std::bad_alloc or the transforms' errors; nothing is left allocated then.
  static ConvolverMaster* CreateConvolverMaster(const float* irLeft, const float* irRight,
                                                std::size_t irFrames,
                                                std::size_t maxBlockFrames);
};

}  // namespace calvatero::convolution
