// The variable-decay convolver: the long engine's two stages with every tap weighted by the
// product of the decay factors of the frames it spans (DecayNode.h). Each stage's block parser
// keeps an envelope pair (DecayEnvelope.h); at its decay cycle starts the processors rescale the
// history they hold by the cycle boundary's attenuation:
// - stage 1 (1024-frame cycles): the accumulator is scaled at the cycle's first step, and in
//   the first 16 steps the previous cycle's share (Filter2_3::RunEnd) is formed apart and
//   scaled before it joins the current cycle's (RunStart);
// - stage 2 (cycles of its partition count x 1024 frames): each way's filter forms the previous
//   cycle's share apart (RunEnd) and scales it, and the parser scales its output below cycle
//   position 1568, which comes wholly from blocks that ended before the boundary.
// The parsers start their stage-2 cycles at 1024 (left) and 512 (right) so that every stage-2
// boundary arrives while the convolver's partition counter is at its last partition.
//
// One thread per engine; the transforms are shared by the channels. Construction allocates;
// CalculateOutputVariableDecay and Reset never allocate, lock or block.
#pragma once

#include <cstddef>
#include <memory>

#include "Sampler/sdk/calvatero/convolution/ConvolverMaster.h"
#include "Sampler/sdk/calvatero/convolution/ConvolverMasterLong.h"
#include "Sampler/sdk/calvatero/convolution/DecayEnvelope.h"
#include "Sampler/sdk/calvatero/convolution/DecayNode.h"
#include "Sampler/sdk/calvatero/convolution/InPlaceGuard.h"
#include "Sampler/sdk/calvatero/convolution/LongStage2.h"
#include "Sampler/sdk/calvatero/convolution/SawtoothDirectConvolver.h"
#include "Sampler/sdk/calvatero/fourier/FourierTransformRealOdd.h"
#include "Sampler/sdk/calvatero/newconv/Common.h"

namespace calvatero::convolution {

/// Abstract base of the variable-decay engine and holder of its factory.
class ConvolverMasterVardecay : public ConvolverHandle {
 public:
  /// Convolves and writes `frames` output frames, the factors given by `nodes` (see
  /// DecayEnvelope.h for the walk; none continue the factor in force, 1.0 after creation or
  /// Reset). Factors outside [GetMinimumAllowableDecayFactor(), 1.0] are clamped into it and a
  /// NaN keeps the factor in force. Any call length is accepted; outputs may be the inputs.
  virtual void CalculateOutputVariableDecay(float* outLeft, float* outRight, const float* inLeft,
                                            const float* inRight, std::size_t frames,
                                            const DecayNode* nodes, std::size_t nodeCount) = 0;
  /// The smallest decay factor that keeps the envelopes within single-precision range.
  virtual double GetMinimumAllowableDecayFactor() const = 0;

  /// The engine for an impulse of `irFrames` frames, padded with silence to 1600 when shorter.
  /// Calls are processed in runs of min(maxBlockFrames, 1024) frames (0: 1024). Throws
  /// std::bad_alloc or the transforms' errors; nothing is left allocated then.
  static ConvolverMasterVardecay* CreateConvolverMasterVardecay(const float* irLeft,
                                                                const float* irRight,
                                                                std::size_t irFrames,
                                                                std::size_t maxBlockFrames);
};

/// Impulses shorter than this are padded with silence: the second stage needs taps from 1568.
inline constexpr std::size_t VARDECAY_MINIMUM_IMPULSE = 1600;

/// Stage 1's processor with the cycle-boundary rescaling of its accumulator and history.
class Filter23ProcessorVardecay final : public Filter23Processor {
 public:
  Filter23ProcessorVardecay(const float* h, std::size_t channel,
                            const fourier::RealOdd32& transform);
  void Reset() override;
  void ProcessBufferStartToEnd(float* out, const float* inBlock) override;
  void ProcessBufferStartToMid(float* outBlock) override;
  void SetCycleBoundaryAttenuation(float attenuation) { pending_ = attenuation; }

 private:
  void runFilter(float* accumulator, const float* y, const float* g, const float* yPrev,
                 std::size_t a, bool start) override;
  void startBlock();

  common::AlignedFloats previous_;  // the previous cycle's share of the next block
  float pending_ = 0.0f;     // attenuation of the boundary about to start a cycle
  float remembered_ = 0.0f;  // attenuation of the boundary that started the current cycle
};

/// What a variable-decay parser adds to its plain parser: the envelope pair around the plain
/// convolution (DecayEnvelope.h), whose stage the parser is.
class DecayParser : private DecayEnvelope::Stage {
 public:
  void CalculateOutputVariableDecay(float* out, const float* in, std::size_t frames,
                                    const DecayNode* nodes, std::size_t nodeCount) {
    envelope_.Run(out, in, frames, nodes, nodeCount);
  }
  double GetMinimumAllowableDecayFactor() const {
    return envelope_.GetMinimumAllowableDecayFactor();
  }
  void SetFactorFloor(double floor) { envelope_.SetFactorFloor(floor); }
  const DecayEnvelope& envelope() const { return envelope_; }

 protected:
  /// Runs of min(maxBlock, 1024) frames (0: 1024); `accumulate` for the second stage.
  DecayParser(std::size_t cycleLength, std::size_t startPosition, std::size_t maxBlock,
              bool accumulate);
  ~DecayParser() = default;
  void ResetEnvelope() { envelope_.Reset(); }

 private:
  DecayEnvelope envelope_;
};

/// Stage 1's block parser: writes its output, through the envelope pair.
class BlockParser01Vardecay final : public BlockParser01, public DecayParser {
 public:
  BlockParser01Vardecay(const float* h, std::size_t maxBlock, Filter23ProcessorVardecay& processor,
                        std::size_t channel);
  void Reset() override;

 private:
  void ConvolveBoosted(float* out, const float* boosted, std::size_t frames,
                       std::size_t cyclePosition) override;
  void SetCycleBoundaryAttenuation(float attenuation) override {
    processor_.SetCycleBoundaryAttenuation(attenuation);
  }

  Filter23ProcessorVardecay& processor_;
};

/// Stage 2's Karatsuba convolver with each way's previous-cycle share formed apart and scaled.
class KaratsubaConvolver16WayVardecay final : public KaratsubaConvolver16Way {
 public:
  KaratsubaConvolver16WayVardecay(const float* h, std::size_t length, Stage2Transforms transforms);
  void Reset() override;
  std::size_t GetDecayCycleLength() const { return filterBlocks_ * STAGE2_BUFFER_SIZE; }
  void SetCycleBoundaryAttenuation(float attenuation);

 private:
  void filterWay(float* out, std::size_t way, const float* history, const float* table) override;

  common::AlignedFloats previousShare_;
  float attenuation_ = 0.0f;          // of the newest boundary
  float previousAttenuation_ = 0.0f;  // of the one before it
};

/// Stage 2's 32-step schedule over its rings, with the variable-decay convolver.
class Kar16ProcessorVardecay final : public Kar16Processor {
 public:
  Kar16ProcessorVardecay(const float* h, std::size_t length, std::size_t channel,
                         Stage2Transforms transforms);
  std::size_t GetDecayCycleLength() const { return decayConvolver().GetDecayCycleLength(); }
  void SetCycleBoundaryAttenuation(float attenuation) {
    decayConvolver().SetCycleBoundaryAttenuation(attenuation);
  }

 private:
  KaratsubaConvolver16WayVardecay& decayConvolver() const {
    return static_cast<KaratsubaConvolver16WayVardecay&>(convolver());
  }
};

/// Stage 2's block parser: adds its output, through the envelope pair.
class BlockParser2Vardecay final : public BlockParser2, public DecayParser {
 public:
  BlockParser2Vardecay(std::size_t maxBlock, Kar16ProcessorVardecay& processor,
                       std::size_t initialPosition);
  void Reset() override;

 private:
  void ConvolveBoosted(float* out, const float* boosted, std::size_t frames,
                       std::size_t cyclePosition) override;
  void SetCycleBoundaryAttenuation(float attenuation) override;

  Kar16ProcessorVardecay& processor_;
  float attenuation_ = 0.0f;  // of the last boundary, for output made before it
};

class ConvolverMasterLongVardecay final : public ConvolverMasterVardecay {
 public:
  /// `irFrames` at least 1600. Throws std::bad_alloc or the transforms' errors.
  ConvolverMasterLongVardecay(const float* irLeft, const float* irRight, std::size_t irFrames,
                              std::size_t maxBlockFrames);
  void Reset() override;
  void CalculateOutputVariableDecay(float* outLeft, float* outRight, const float* inLeft,
                                    const float* inRight, std::size_t frames,
                                    const DecayNode* nodes, std::size_t nodeCount) override;
  double GetMinimumAllowableDecayFactor() const override;

  /// The envelopes of the four parsers (left 1, right 1, left 2, right 2), for tests.
  const DecayEnvelope& envelope(std::size_t parser) const;

 private:
  // In-place calls run in pieces of up to this many blocks, long enough that the envelopes'
  // work per run stays small beside the convolution.
  static constexpr std::size_t kInPlaceBlocks = 8;

  void calculate(float* outLeft, float* outRight, const float* inLeft, const float* inRight,
                 std::size_t frames, const DecayNode* nodes, std::size_t nodeCount);

  fourier::RealOdd32 realOdd32_;
  Filter23ProcessorVardecay processorLeft_, processorRight_;
  BlockParser01Vardecay stage1Left_, stage1Right_;
  Stage2TransformSet stage2Transforms_;
  Kar16ProcessorVardecay karLeft_, karRight_;
  BlockParser2Vardecay stage2Left_, stage2Right_;
  InPlaceGuard inPlace_{kInPlaceBlocks};
  DecayNode pieceNodes_[kInPlaceBlocks * BASE_BUFFER_SIZE];  // an in-place piece's nodes
};

}  // namespace calvatero::convolution
