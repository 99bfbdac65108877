// The engine for impulses over 4736 frames. Per channel two stages run side by side on the same
// input: stage 1 on 32-frame blocks applies, for each input frame, the taps that reach output
// frames before stage 2 can (taps 0 to 1567 for a frame at the start of a 1024-frame cycle, 0 to
// 544 for its last frame), the current block's own frames through the sawtooth direct
// convolver; stage 2 (LongStage2.h) applies the rest in 1024-frame partitions. Every tap is
// applied once and every output frame is final when written.
//
// One thread per engine (the transforms are shared by the channels). Construction allocates;
// CalculateOutput and Reset never allocate, lock or block.
#pragma once

#include <cstddef>
#include <memory>

#include "Sampler/sdk/calvatero/convolution/ConvolverMaster.h"
#include "Sampler/sdk/calvatero/convolution/GenericFilter.h"
#include "Sampler/sdk/calvatero/convolution/InPlaceGuard.h"
#include "Sampler/sdk/calvatero/convolution/LongStage2.h"
#include "Sampler/sdk/calvatero/convolution/SawtoothDirectConvolver.h"
#include "Sampler/sdk/calvatero/fourier/FourierTransformRealOdd.h"
#include "Sampler/sdk/calvatero/newconv/Common.h"

namespace calvatero::convolution {

/// Stage 1's spectral filter: the first two phases of the three-way split over 48 impulse
/// blocks and a 32-step cycle (T = 16). The input history is addressed upwards, the impulse
/// spectra downwards. Its output at step a is the sum over the current cycle's blocks j <= a
/// of Y_j G_(a-j) and, for a < 16, over all 32 blocks of the previous cycle of Y'_j G_(32+a-j).
class Filter2_3 {
 public:
  /// Throws std::bad_alloc.
  Filter2_3();
  ~Filter2_3();
  /// Forms the impulse differences once; `g` is impulse block 0 (the others below it).
  void InitH(const float* g);
  void RunStart(float* out, const float* y, const float* g, std::size_t a);
  void Run(float* out, const float* y, const float* g, const float* yPrev, std::size_t a);
  void RunEnd(float* out, const float* yPrev, const float* g, std::size_t a);
  void Reset() {}
  /// Clears the partial results, for a first cycle that starts in the second phase.
  void ResetHalfway();

 private:
  static constexpr std::size_t T = 16;
  static constexpr std::size_t kBlock = 64;
  float* d1(std::size_t m) const { return work_ + m * kBlock; }
  float* d2(std::size_t m) const { return work_ + (2 * T - 1 - m) * kBlock; }
  float* partial(std::size_t k, std::size_t i) const {
    return work_ + (2 * T + 3 * i + k) * kBlock;
  }
  void secondPhase(float* out, const float* y, const float* g, std::size_t a);

  std::unique_ptr<GenericFilter> sub1_, sub2_;
  float* work_ = nullptr;
};

/// What a stage-1 block parser drives, once per 32-frame block: the earlier blocks' share of
/// the block and the processing of the completed block.
class BlockProcessor {
 public:
  virtual ~BlockProcessor() = default;
  virtual void Reset() = 0;
  /// The completed block `inBlock`, whose own share the parser formed directly.
  virtual void ProcessBufferMidToEnd(const float* inBlock) = 0;
  /// A whole block at once: writes its 32 output frames into `out`, the block's own share
  /// included.
  virtual void ProcessBufferStartToEnd(float* out, const float* inBlock) = 0;
  /// Writes the earlier blocks' share of the block that starts into `outBlock`.
  virtual void ProcessBufferStartToMid(float* outBlock) = 0;
};

/// Stage 1's block processor of one channel: 64-point spectra of the 32-frame input blocks,
/// the head spectrum, the 48 impulse blocks and the accumulator of the earlier blocks' share
/// of the next block. Channel 1 starts at step 16, half a cycle after channel 0.
class Filter23Processor : public BlockProcessor {
 public:
  /// `h` holds at least 1568 taps. Throws std::bad_alloc.
  Filter23Processor(const float* h, std::size_t channel, const fourier::RealOdd32& transform);
  void Reset() override;
  void ProcessBufferMidToEnd(const float* inBlock) override;
  void ProcessBufferStartToEnd(float* out, const float* inBlock) override;
  void ProcessBufferStartToMid(float* outBlock) override;
  std::size_t GetDecayCycleLength() const { return 32 * _totalBlocks; }

 protected:
  static constexpr std::size_t kSpectrum = 64;
  static constexpr std::size_t _totalBlocks = 32;

  /// Forms in `accumulator` the earlier blocks' share of the next block at cycle step `a`, from
  /// the current cycle's spectra `y` and the previous cycle's `yPrev`, with the impulse blocks
  /// from `g` down; `start` while the first cycle runs. Once per block.
  virtual void runFilter(float* accumulator, const float* y, const float* g, const float* yPrev,
                         std::size_t a, bool start);

  /// The step counter (0 .. 63 over the two history halves).
  std::size_t step() const { return step_; }
  float* accumulator() const { return accumulator_.get(); }
  Filter2_3& filter() { return filter_; }

 private:
  static constexpr std::size_t f23TotalImpulseBlocks = 48;
  float* slot(std::size_t step) const { return history_.get() + step * kSpectrum; }
  void filterStep();

  const fourier::RealOdd32& transform_;
  Filter2_3 filter_;
  common::AlignedFloats head_;
  common::AlignedFloats impulse_;  // block i at block 47 - i
  common::AlignedFloats history_;  // two halves of 32 spectra
  common::AlignedFloats accumulator_;
  std::size_t step_ = 0;
  bool start_ = true;
  std::size_t channel_;
};

/// Walks 32-frame blocks for stage 1: writes the head and the earlier blocks' share.
class BlockParser01 {
 public:
  BlockParser01(const float* h, BlockProcessor& processor);
  virtual ~BlockParser01() = default;
  virtual void Reset();
  void CalculateOutput(float* out, const float* in, std::size_t frames);

 private:
  SawtoothDirectConvolver direct_;
  BlockProcessor& processor_;
  common::AlignedFloats input_, output_;
  std::size_t position_ = 0;
};

class ConvolverMasterLong final : public ConvolverMaster {
 public:
  /// `irFrames` at least 1568; `buffered` (impulses over 16000 frames) needs more than 4640.
  /// Throws std::bad_alloc or the transforms' errors (nothing left allocated).
  ConvolverMasterLong(const float* irLeft, const float* irRight, std::size_t irFrames,
                      bool buffered);
  void Reset() override;
  void CalculateOutput(float* outLeft, float* outRight, const float* inLeft,
                       const float* inRight, std::size_t frames) override;
  bool buffered() const { return buffered_; }

 private:
  bool buffered_;
  fourier::RealOdd32 realOdd32_;
  Filter23Processor processorLeft_, processorRight_;
  BlockParser01 stage1Left_, stage1Right_;
  Stage2TransformSet stage2Transforms_;
  Kar16Processor karLeft_, karRight_;
  BlockParser2 stage2Left_, stage2Right_;
  InPlaceGuard inPlace_;
};

}  // namespace calvatero::convolution
