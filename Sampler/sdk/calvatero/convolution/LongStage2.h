// The long convolver's second stage: per channel, 1024-frame blocks of the input convolved with
// the impulse from tap 544 on, through a 2048-point real odd-frequency transform done in three
// layers (a distributed radix-4 layer, a stepwise radix-4 layer, 64-point complex transforms)
// that splits the spectrum into 16 ways of 64 bins. The work of one block is cut into 32 steps,
// one per 32 frames of input: 16 way steps, 8 inverse slices, 8 forward slices. The output of
// the block that ends a cycle starts at frame 544 of the next cycle.
//
// One thread per engine: the transform objects are shared by both channels. Construction
// allocates; the processing and Reset never allocate, lock or block.
#pragma once

#include <cstddef>
#include <memory>

#include "Sampler/sdk/calvatero/convolution/GenericFilter.h"
#include "Sampler/sdk/calvatero/convolution/StepwiseComplexRad4.h"
#include "Sampler/sdk/calvatero/fourier/FourierTransformComplex.h"
#include "Sampler/sdk/calvatero/newconv/Common.h"

namespace calvatero::convolution {

/// The first radix-4 layer of the 2048-point real odd-frequency transform, in 8 slices: the
/// fold (x[j] - i x[j + N/2], pre-twiddled) and the butterfly across the four quarters of the
/// 1024 complex values. Slice s covers positions j = 32s .. 32s + 31 of each quarter; its
/// quarters then hold the frequencies 4k - 1, 4k + 1, 4k + 2, 4k (as StepwiseComplexRad4).
/// Read-only after construction.
class DistributedRealOddRad4 {
 public:
  /// Throws std::bad_alloc.
  DistributedRealOddRad4(std::size_t length, std::size_t slices, std::size_t alignment);

  /// A full window of `length` taps.
  void ForwardRad4_IR(float* re, float* im, const float* window, std::size_t slice) const;
  /// A block of length/2 frames (the upper half taken as zero).
  void ForwardRad4(float* re, float* im, const float* block, std::size_t slice) const;
  /// The inverse butterfly and post-twiddle: output frames j + 256 m of the second half of
  /// the inverse, for the slice's positions.
  void InverseRad4(float* out, const float* re, const float* im, std::size_t slice) const;

  std::size_t slices() const { return slices_; }

 private:
  template <bool kFullWindow>
  void forward(float* re, float* im, const float* x, std::size_t slice) const;

  std::size_t _length;
  std::size_t slices_;
  std::size_t quarter_;  // complex values per quarter (length / 8)
  std::size_t _stageLen; // positions per slice
  common::AlignedFloats fold_;   // cos, then sin of -pi i / length, i < length / 2
  common::AlignedFloats twiddle1_;  // W^j, W = e^(-2 pi i / (length / 2)), j < quarter
  common::AlignedFloats twiddle2_;  // W^(2j)
};

/// The transforms both channels' second stages share; they hold only tables and scratch.
struct Stage2Transforms {
  StepwiseComplexRad4* split;
  DistributedRealOddRad4* rad4;
  fourier::FourierTransformComplex* fft64;
};

/// The engine's owner of those transforms.
class Stage2TransformSet {
 public:
  /// Throws std::bad_alloc or the transforms' errors.
  Stage2TransformSet();
  Stage2Transforms view() { return {&split_, &rad4_, fft64_.get()}; }

 private:
  StepwiseComplexRad4 split_;
  DistributedRealOddRad4 rad4_;
  std::unique_ptr<fourier::FourierTransformComplex> fft64_;
};

/// The Karatsuba convolver of one channel: 16 ways, each with its partition spectra, its input
/// history and its filter; the partition counter advances after way 15.
class KaratsubaConvolver16Way {
 public:
  /// `leading` partitions are applied elsewhere (the buffered form): the ways' filters cover
  /// the partitions after them. `vardecay` builds split filters that keep the previous cycle's
  /// products apart (GenericFilter::AssignFilterLevels). Throws std::bad_alloc.
  KaratsubaConvolver16Way(const float* h, std::size_t length, Stage2Transforms transforms,
                          std::size_t leading, bool vardecay);
  virtual ~KaratsubaConvolver16Way() = default;

  virtual void Reset();
  /// First radix-4 layer of input slice `slice` (128 frames) of the block being collected.
  void PreForwardInput(const float* in, std::size_t slice);
  /// Way step `stage` (0 .. 15) of the completed block.
  virtual void ProcessStage(std::size_t stage);
  /// Output slice `slice` of the last block's result.
  void PostInverseOutput(float* out, std::size_t slice);

 protected:
  static constexpr std::size_t kWays = 16;
  static constexpr std::size_t kWayFloats = 128;

  /// The way's filter over its history (the current partition's spectrum just stored) into
  /// `out`, for ProcessStage; called once per way step.
  virtual void filterWay(float* out, std::size_t way, const float* history, const float* table);

  void InitH(const float* h, std::size_t length);
  /// Second and third layers of way `way` into `spectrum` (interleaved, 128 floats).
  void SmallestForwardFfts(float* spectrum, std::size_t way);
  /// Inverse third and second layers of `spectrum` back into the work arrays.
  void SmallestInverseFfts(const float* spectrum, std::size_t way);
  float* wayTable(std::size_t way) const {
    return tables_.get() + way * partitions_ * kWayFloats;
  }
  /// The way's partition j, counted from the table's end.
  float* partition(std::size_t way, std::size_t j) const {
    return wayTable(way) + (partitions_ - 1 - j) * kWayFloats;
  }
  float* wayHistory(std::size_t way) const {
    return histories_.get() + way * filterBlocks_ * kWayFloats;
  }

  Stage2Transforms transforms_;
  std::size_t partitions_;        // spectra per way, the leading ones included
  std::size_t leading_;
  std::size_t filterBlocks_;      // blocks of the ways' filters
  std::unique_ptr<GenericFilter> filters_[kWays];
  common::AlignedFloats tables_;     // per way: partitions_ blocks, partition j at the end - j
  common::AlignedFloats histories_;  // per way: filterBlocks_ blocks
  common::AlignedFloats re_, im_;
  common::AlignedFloats scratchRe_, scratchIm_;
  common::AlignedFloats spectrum_;  // the current way's spectrum
  common::AlignedFloats result_;    // the current way's filter output
  std::size_t counter_ = 0;
  bool start_ = true;
};

/// The form for impulses over 16000 frames: the first four partitions are applied at once by
/// direct filters, while the multi-level filters of the partitions beyond run one way per step,
/// spread over four blocks, into rotating result buffers.
class KaratsubaConvolver16WayBuffered final : public KaratsubaConvolver16Way {
 public:
  KaratsubaConvolver16WayBuffered(const float* h, std::size_t length,
                                  Stage2Transforms transforms);
  void Reset() override;
  void ProcessStage(std::size_t stage) override;

 private:
  float* directHistory(std::size_t way, std::size_t slot) const {
    return directHistories_.get() + (way * 4 + slot) * kWayFloats;
  }
  float* rotating(std::size_t buffer, std::size_t way) const {
    return rotating_.get() + (buffer * kWays + way) * kWayFloats;
  }

  std::unique_ptr<GenericFilter> directFilters_[kWays];
  common::AlignedFloats directHistories_;  // per way four slots
  common::AlignedFloats rotating_;         // four buffers of 16 ways
  std::size_t wayCounter_[kWays] = {};
  bool wayStart_[kWays] = {};
  std::size_t buffered_ = 0;          // b, 0 .. 3
  bool directStart_ = true;
};

/// The part of the impulse the second stage applies: from tap 544 on (stage 1 applies the taps
/// before it). `length` is the engine's impulse length, at least 1568.
struct Stage2Impulse {
  Stage2Impulse(const float* h, std::size_t length);
  const float* taps;
  std::size_t length;
};

/// One channel's 32-step schedule over its input and output rings.
class Kar16Processor {
 public:
  /// `h` and `length` are the engine's impulse. Channel 1 starts half a cycle in. Throws
  /// std::bad_alloc.
  Kar16Processor(const float* h, std::size_t length, std::size_t channel,
                 Stage2Transforms transforms, bool buffered);
  void Reset();
  /// The input and output blocks of the current step.
  void GetCurrentInOutBlocks(float** out, float** in);
  /// Runs the step of the completed input block and hands out the next step's blocks.
  void ProcessBlock(float** out, float** in);

 protected:
  /// A processor around `convolver`, built on a Stage2Impulse.
  Kar16Processor(std::unique_ptr<KaratsubaConvolver16Way> convolver, std::size_t channel);
  KaratsubaConvolver16Way& convolver() const { return *convolver_; }

 private:
  std::unique_ptr<KaratsubaConvolver16Way> convolver_;
  common::AlignedFloats inputRing_, outputRing_;
  std::size_t _stage = 0;
  std::size_t channel_;
};

/// Walks 32-frame blocks for the second stage: adds the output block into the output and
/// collects the input block, running the processor's step at every block's end.
class BlockParser2 {
 public:
  explicit BlockParser2(Kar16Processor& processor);
  virtual ~BlockParser2() = default;
  virtual void Reset();
  /// Adds the second stage's share for `frames` frames into `out`.
  void CalculateOutput(float* out, const float* in, std::size_t frames);

 protected:
  /// The same walk writing the share into `out` instead of adding it.
  void WriteOutput(float* out, const float* in, std::size_t frames);

 private:
  template <bool kAdd>
  void walk(float* out, const float* in, std::size_t frames);

  Kar16Processor& processor_;
  float* input_ = nullptr;
  float* output_ = nullptr;
  std::size_t position_ = 0;
};

}  // namespace calvatero::convolution
