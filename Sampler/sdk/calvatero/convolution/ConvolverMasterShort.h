// The engine for impulses of 81 to 2112 frames: one partitioned stage on 32-frame blocks. The
// current block's own frames come from the sawtooth direct convolver (whole blocks through the
// head spectrum); every earlier block reaches the output through a KaratsubaConvolver over
// 64-point real odd-frequency spectra, one filter for both channels.
#pragma once

#include <cstddef>
#include <memory>

#include "Sampler/sdk/calvatero/convolution/ConvolverMaster.h"
#include "Sampler/sdk/calvatero/convolution/GenericFilter.h"
#include "Sampler/sdk/calvatero/convolution/InPlaceGuard.h"
#include "Sampler/sdk/calvatero/convolution/SawtoothDirectConvolver.h"
#include "Sampler/sdk/calvatero/fourier/FourierTransformRealOdd.h"
#include "Sampler/sdk/calvatero/newconv/Common.h"

namespace calvatero::convolution {

/// A partitioned filter over 32-frame blocks: partition i (taps 32i .. 32i + 63) links an
/// input block to the output block i + 1 blocks later. A block spectrum holds the left and,
/// when given, the right channel. The caller writes each new input block's spectra at
/// GetInputPointerLeft/Right + block * GetBlockLen() and then runs the step for that block.
class KaratsubaConvolver {
 public:
  /// Throws std::bad_alloc.
  KaratsubaConvolver(std::size_t totalBlocks, std::size_t blockLenFD, std::size_t transformLen,
                     const std::size_t* levels, std::size_t alignment);
  virtual ~KaratsubaConvolver();

  /// The spectrum of the next output block's share of the blocks up to `block` (the position
  /// in the cycle of the block just stored), written to `acc`.
  void RunStart(float* acc, std::size_t block);
  void Run(float* acc, std::size_t block);
  void RunEnd(float* acc, std::size_t block);

  std::size_t GetTotalBlocks() const { return totalBlocks_; }
  std::size_t GetBlockLen() const { return blockLenFD_; }
  float* GetInputPointerLeft() const { return history_; }
  float* GetInputPointerRight() const { return history_ + transformLen_; }

  /// Transforms the impulse partitions with `transform` (64 points, block length 32).
  void InitH(const float* hLeft, const float* hRight, std::size_t n,
             const fourier::RealOdd32& transform);

 private:
  const float* tableEnd() const { return table_ + (totalBlocks_ - 1) * blockLenFD_; }

  std::unique_ptr<GenericFilter> filter_;
  float* table_ = nullptr;    // impulse spectra, partition i at block totalBlocks - 1 - i
  float* history_ = nullptr;  // input spectra, block i of the cycle at block i
  std::size_t blockLenTD_ = 32;
  std::size_t transformLen_;
  std::size_t blockLenFD_;
  std::size_t totalBlocks_;
};

/// The Karatsuba convolver for an impulse of `n` frames in blocks of `blockLen` (32), with its
/// impulse transformed. `hRight` may be null for a mono convolver. Throws std::bad_alloc.
std::unique_ptr<KaratsubaConvolver> makeKaratsubaConvolver(const float* hLeft,
                                                           const float* hRight, std::size_t n,
                                                           std::size_t blockLen,
                                                           int forceDirect, bool tuneToCache);

class ConvolverMasterShort final : public ConvolverMaster {
 public:
  /// `irFrames` at least 32. Throws std::bad_alloc (nothing left allocated).
  ConvolverMasterShort(const float* irLeft, const float* irRight, std::size_t irFrames);
  void Reset() override;
  void CalculateOutput(float* outLeft, float* outRight, const float* inLeft,
                       const float* inRight, std::size_t frames) override;

 private:
  void completeBlock(const float* left, const float* right);
  void calculate(float* outLeft, float* outRight, const float* inLeft, const float* inRight,
                 std::size_t frames);

  SawtoothDirectConvolver directLeft_;
  SawtoothDirectConvolver directRight_;
  fourier::RealOdd32 transform_;
  std::unique_ptr<KaratsubaConvolver> convolver_;
  common::AlignedFloats headLeft_, headRight_;      // 32 zeros then taps 0 .. 31
  common::AlignedFloats outputLeft_, outputRight_;  // earlier blocks' share of this block
  common::AlignedFloats inputLeft_, inputRight_;
  common::AlignedFloats accumulator_;               // left spectrum, then right
  std::size_t counter_ = 0;
  bool start_ = true;
  std::size_t position_ = 0;
  std::size_t totalBlocks_, blockLen_;
  float* historyLeft_;
  float* historyRight_;
  InPlaceGuard inPlace_;
};

}  // namespace calvatero::convolution
