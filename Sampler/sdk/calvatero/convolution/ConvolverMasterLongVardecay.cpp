#include "Sampler/sdk/calvatero/convolution/ConvolverMasterLongVardecay.h"

#include <algorithm>
#include <cstring>

#include "Sampler/sdk/calvatero/convolution/BlockKernels.h"
#include "Sampler/sdk/calvatero/newconv/Assert.h"

namespace calvatero::convolution {

namespace {

constexpr std::size_t kBlock = BASE_BUFFER_SIZE;
constexpr std::size_t kSteps = 32;
constexpr std::size_t kRingFrames = STAGE2_BUFFER_SIZE;
constexpr std::size_t kOutputLead = 480;     // output ring offset of the current step
constexpr std::size_t kStage2FirstTap = 544;
// Stage 2's output below this cycle position comes wholly from blocks that ended before the
// cycle's boundary (the block ending there is output from 544 to 1567).
constexpr std::size_t kStage2OldOutput = BASE_BUFFER_SIZE + STAGE2_BUFFER_SIZE * 3 / 2;

// The boost scratch: min(maxBlock, 1024) frames; a maximum of 0 says nothing, so it gets 1024.
std::size_t runFrames(std::size_t maxBlock) {
  return maxBlock == 0 ? STAGE2_BUFFER_SIZE : std::min(maxBlock, STAGE2_BUFFER_SIZE);
}

}  // namespace

// ---- Stage 1 -----------------------------------------------------------------------------------

Filter23ProcessorVardecay::Filter23ProcessorVardecay(const float* h, std::size_t channel,
                                                     const fourier::RealOdd32& transform)
    : transform_(transform),
      head_(kSpectrum, 64),
      impulse_(kImpulseBlocks * kSpectrum, 64),
      history_(2 * kTotalBlocks * kSpectrum, 64),
      accumulator_(kSpectrum, 64),
      previous_(kSpectrum, 64),
      channel_(channel) {
  static_assert(kTotalBlocks * 3 == 2 * kImpulseBlocks);
  const common::AlignedFloats window(2 * kBlock, 32);
  std::fill(window.get(), window.get() + kBlock, 0.0f);
  std::copy(h, h + kBlock, window.get() + kBlock);
  transform_.ForwardFFT_IR(head_.get(), window.get());
  for (std::size_t i = 0; i < kImpulseBlocks; ++i) {
    transform_.ForwardFFT_IR(impulse_.get() + (kImpulseBlocks - 1 - i) * kSpectrum, h + kBlock * i);
  }
  filter_.InitH(impulse_.get() + (kImpulseBlocks - 1) * kSpectrum);
  std::memset(history_.get(), 0, 2 * kTotalBlocks * kSpectrum * sizeof(float));
  Reset();
}

void Filter23ProcessorVardecay::Reset() {
  std::memset(accumulator_.get(), 0, kSpectrum * sizeof(float));
  std::memset(previous_.get(), 0, kSpectrum * sizeof(float));
  pending_ = remembered_ = 0.0f;
  start_ = true;
  if (channel_ == 0) {
    step_ = 0;
    filter_.Reset();
  } else {
    // Half a cycle in, as if 16 silent blocks had come first.
    step_ = kTotalBlocks / 2;
    filter_.ResetHalfway();
    std::memset(history_.get(), 0, kTotalBlocks / 2 * kSpectrum * sizeof(float));
  }
}

// A block at a cycle's first step: the accumulator was formed from the previous cycle's blocks,
// under the envelope the boundary has just restarted.
void Filter23ProcessorVardecay::startBlock() {
  if (step_ % kTotalBlocks != 0) return;
  multInplaceConst(accumulator_.get(), nullptr, kSpectrum, pending_);
  remembered_ = pending_;
}

// The current cycle's blocks (RunStart) and, apart, the previous cycle's (RunEnd, first half
// of the cycle only), scaled to the current envelope: together what Filter2_3::Run forms.
void Filter23ProcessorVardecay::filterStep() {
  const std::size_t half = step_ / kTotalBlocks;
  const std::size_t a = step_ % kTotalBlocks;
  const float* y = history_.get() + half * kTotalBlocks * kSpectrum;
  const float* yPrev = history_.get() + (1 - half) * kTotalBlocks * kSpectrum;
  const float* g = impulse_.get() + (kImpulseBlocks - 1) * kSpectrum;
  filter_.RunStart(accumulator_.get(), y, g, a);
  if (!start_ && a < kTotalBlocks / 2) {
    filter_.RunEnd(previous_.get(), yPrev, g, a);
    do_block_multadd_inplace(accumulator_.get(), previous_.get(), kSpectrum, remembered_);
  }
  if (++step_ == kTotalBlocks) start_ = false;
  if (step_ == 2 * kTotalBlocks) {
    start_ = false;
    step_ = 0;
  }
}

void Filter23ProcessorVardecay::ProcessBufferStartToMid(float* outBlock) {
  startBlock();
  transform_.InverseFFT(outBlock, accumulator_.get());
}

void Filter23ProcessorVardecay::ProcessBufferStartToEnd(float* out, const float* inBlock) {
  startBlock();
  float* spectrum = slot(step_);
  transform_.ForwardFFT(spectrum, inBlock);
  do_block_mult_accum_c_for(accumulator_.get(), head_.get(), spectrum, kSpectrum, 1);
  transform_.InverseFFT(out, accumulator_.get());
  filterStep();
}

void Filter23ProcessorVardecay::ProcessBufferMidToEnd(const float* inBlock) {
  transform_.ForwardFFT(slot(step_), inBlock);
  filterStep();
}

BlockParser01Vardecay::BlockParser01Vardecay(const float* h, std::size_t maxBlock,
                                             Filter23ProcessorVardecay& processor,
                                             std::size_t channel)
    : direct_(kBlock, h),
      processor_(processor),
      input_(kBlock, 64),
      output_(kBlock, 64),
      envelope_(*this, processor.GetDecayCycleLength(),
                channel == 0 ? 0 : processor.GetDecayCycleLength() / 2, runFrames(maxBlock),
                false) {
  Reset();
}

void BlockParser01Vardecay::Reset() {
  direct_.Reset();
  processor_.Reset();
  position_ = 0;
  std::memset(output_.get(), 0, kBlock * sizeof(float));
  envelope_.Reset();
}

// The plain stage-1 block walk: writes the head and the earlier blocks' share.
void BlockParser01Vardecay::ConvolveBoosted(float* out, const float* in, std::size_t frames,
                                            std::size_t) {
  while (frames > 0) {
    if (position_ == 0 && frames >= kBlock) {
      processor_.ProcessBufferStartToEnd(out, in);
      out += kBlock;
      in += kBlock;
      frames -= kBlock;
      continue;
    }
    if (position_ == 0) processor_.ProcessBufferStartToMid(output_.get());
    const std::size_t n = std::min(frames, kBlock - position_);
    std::memcpy(input_.get() + position_, in, n * sizeof(float));
    direct_.CalculateOutput(out, in, n);
    for (std::size_t i = 0; i < n; ++i) out[i] += output_[position_ + i];
    position_ += n;
    out += n;
    in += n;
    frames -= n;
    if (position_ == kBlock) {
      position_ = 0;
      processor_.ProcessBufferMidToEnd(input_.get());
    }
  }
}

// ---- Stage 2 -----------------------------------------------------------------------------------

KaratsubaConvolver16WayVardecay::KaratsubaConvolver16WayVardecay(const float* h,
                                                                 std::size_t length,
                                                                 Stage2Transforms transforms)
    : KaratsubaConvolver16Way(h, length, transforms, 0), previousShare_(kWayFloats, 64) {
  // The same partitioning with the split filters that keep the previous cycle's products apart.
  std::size_t levels[MAX_FILTER_LEVELS] = {};
  std::size_t blocks = 0;
  GenericFilter::AssignFilterLevels(&blocks, levels, (length + 15) / 16, 64, 0, 1, 1);
  CALVATERO_ASSERT(blocks == filterBlocks_);
  for (auto& filter : filters_) {
    filter = GenericFilter::CreateFilter(filterBlocks_ * kWayFloats, kWayFloats, levels, 64);
  }
  Reset();
}

void KaratsubaConvolver16WayVardecay::Reset() {
  KaratsubaConvolver16Way::Reset();
  attenuation_ = previousAttenuation_ = 0.0f;
}

void KaratsubaConvolver16WayVardecay::SetCycleBoundaryAttenuation(float attenuation) {
  CALVATERO_ASSERT(counter_ == filterBlocks_ - 1);
  previousAttenuation_ = attenuation_;
  attenuation_ = attenuation;
}

void KaratsubaConvolver16WayVardecay::ProcessStage(std::size_t stage) {
  CALVATERO_ASSERT(stage < kWays);
  float* history = histories_ + stage * filterBlocks_ * kWayFloats;
  const float* table = partition(stage, 0);
  SmallestForwardFfts(history + counter_ * kWayFloats, stage);
  filters_[stage]->RunStart(result_.get(), history, table, counter_);
  if (!start_) {
    // The last partition's ways run after the next boundary was set: the block they finish
    // still belongs to the cycle that the boundary before it began.
    const float attenuation =
        counter_ == filterBlocks_ - 1 ? previousAttenuation_ : attenuation_;
    filters_[stage]->RunEnd(previousShare_.get(), history, table, counter_);
    do_block_multadd_inplace(result_.get(), previousShare_.get(), kWayFloats, attenuation);
  }
  SmallestInverseFfts(result_.get(), stage);
  if (stage == kWays - 1 && ++counter_ == filterBlocks_) {
    counter_ = 0;
    start_ = false;
  }
}

Kar16ProcessorVardecay::Kar16ProcessorVardecay(const float* h, std::size_t length,
                                               std::size_t channel, Stage2Transforms transforms)
    : convolver_((CALVATERO_ASSERT(length >= BASE_BUFFER_SIZE + STAGE2_BUFFER_SIZE * 3 / 2),
                  h + kStage2FirstTap),
                 length - kStage2FirstTap, transforms),
      inputRing_(kRingFrames, 64),
      outputRing_(kRingFrames, 64),
      channel_(channel) {
  Reset();
}

void Kar16ProcessorVardecay::Reset() {
  convolver_.Reset();
  std::memset(inputRing_.get(), 0, kRingFrames * sizeof(float));
  std::memset(outputRing_.get(), 0, kRingFrames * sizeof(float));
  _stage = channel_ == 0 ? 0 : kSteps / 2;
}

void Kar16ProcessorVardecay::GetCurrentInOutBlocks(float** out, float** in) {
  *in = inputRing_.get() + kBlock * _stage;
  *out = outputRing_.get() + (kBlock * _stage + kOutputLead) % kRingFrames;
}

void Kar16ProcessorVardecay::ProcessBlock(float** out, float** in) {
  CALVATERO_ASSERT(_stage < kSteps);
  if (_stage < 16) {
    convolver_.ProcessStage(_stage);
  } else if (_stage < 24) {
    convolver_.PostInverseOutput(outputRing_.get(), _stage - 16);
  } else {
    convolver_.PreForwardInput(inputRing_.get(), _stage - 24);
  }
  _stage = (_stage + 1) % kSteps;
  GetCurrentInOutBlocks(out, in);
}

BlockParser2Vardecay::BlockParser2Vardecay(std::size_t maxBlock,
                                           Kar16ProcessorVardecay& processor,
                                           std::size_t initialPosition)
    : processor_(processor),
      envelope_(*this, processor.GetDecayCycleLength(), initialPosition, runFrames(maxBlock),
                true) {
  Reset();
}

void BlockParser2Vardecay::Reset() {
  position_ = 0;
  attenuation_ = 0.0f;
  processor_.Reset();
  processor_.GetCurrentInOutBlocks(&output_, &input_);
  envelope_.Reset();
}

void BlockParser2Vardecay::CalculateOutput(float* out, const float* in, std::size_t frames) {
  while (frames > 0) {
    const std::size_t n = std::min(frames, kBlock - position_);
    std::memcpy(out, output_ + position_, n * sizeof(float));
    std::memcpy(input_ + position_, in, n * sizeof(float));
    out += n;
    in += n;
    frames -= n;
    position_ += n;
    if (position_ == kBlock) {
      processor_.ProcessBlock(&output_, &input_);
      position_ = 0;
    }
  }
}

void BlockParser2Vardecay::ConvolveBoosted(float* out, const float* boosted, std::size_t frames,
                                           std::size_t cyclePosition) {
  CalculateOutput(out, boosted, frames);
  if (cyclePosition < kStage2OldOutput) {
    multInplaceConst(out, nullptr, std::min(frames, kStage2OldOutput - cyclePosition),
                     attenuation_);
  }
}

void BlockParser2Vardecay::SetCycleBoundaryAttenuation(float attenuation) {
  attenuation_ = attenuation;
  processor_.SetCycleBoundaryAttenuation(attenuation);
}

// ---- The engine --------------------------------------------------------------------------------

ConvolverMasterLongVardecay::ConvolverMasterLongVardecay(const float* irLeft,
                                                         const float* irRight,
                                                         std::size_t irFrames,
                                                         std::size_t maxBlockFrames)
    : processorLeft_((CALVATERO_ASSERT(irFrames >= VARDECAY_MINIMUM_IMPULSE), irLeft), 0,
                     realOdd32_),
      processorRight_(irRight, 1, realOdd32_),
      stage1Left_(irLeft, maxBlockFrames, processorLeft_, 0),
      stage1Right_(irRight, maxBlockFrames, processorRight_, 1),
      split_(256, 64),
      rad4_(2048, 8, 64),
      fft64_(fourier::CreateFourierTransformComplex(64, 64)),
      karLeft_(irLeft, irFrames, 0, {&split_, &rad4_, fft64_.get()}),
      karRight_(irRight, irFrames, 1, {&split_, &rad4_, fft64_.get()}),
      stage2Left_(maxBlockFrames, karLeft_, STAGE2_BUFFER_SIZE),
      stage2Right_(maxBlockFrames, karRight_, STAGE2_BUFFER_SIZE / 2) {
  // Every parser clamps to the same floor, so that both stages apply the same factors.
  const double floor = GetMinimumAllowableDecayFactor();
  stage1Left_.SetFactorFloor(floor);
  stage1Right_.SetFactorFloor(floor);
  stage2Left_.SetFactorFloor(floor);
  stage2Right_.SetFactorFloor(floor);
}

double ConvolverMasterLongVardecay::GetMinimumAllowableDecayFactor() const {
  return std::max(stage1Left_.GetMinimumAllowableDecayFactor(),
                  stage2Left_.GetMinimumAllowableDecayFactor());
}

void ConvolverMasterLongVardecay::Reset() {
  stage1Left_.Reset();
  stage1Right_.Reset();
  stage2Left_.Reset();
  stage2Right_.Reset();
}

void ConvolverMasterLongVardecay::CalculateOutputVariableDecay(
    float* outLeft, float* outRight, const float* inLeft, const float* inRight,
    std::size_t frames, const DecayNode* nodes, std::size_t nodeCount) {
  stage1Left_.CalculateOutputVariableDecay(outLeft, inLeft, frames, nodes, nodeCount);
  stage1Right_.CalculateOutputVariableDecay(outRight, inRight, frames, nodes, nodeCount);
  stage2Left_.CalculateOutputVariableDecay(outLeft, inLeft, frames, nodes, nodeCount);
  stage2Right_.CalculateOutputVariableDecay(outRight, inRight, frames, nodes, nodeCount);
}

const DecayEnvelope& ConvolverMasterLongVardecay::envelope(std::size_t parser) const {
  switch (parser) {
    case 0:
      return stage1Left_.envelope();
    case 1:
      return stage1Right_.envelope();
    case 2:
      return stage2Left_.envelope();
    default:
      return stage2Right_.envelope();
  }
}

ConvolverMasterVardecay* ConvolverMasterVardecay::CreateConvolverMasterVardecay(
    const float* irLeft, const float* irRight, std::size_t irFrames, std::size_t maxBlockFrames) {
  if (irFrames >= VARDECAY_MINIMUM_IMPULSE) {
    return new ConvolverMasterLongVardecay(irLeft, irRight, irFrames, maxBlockFrames);
  }
  // The engine reads its impulse only while it is built.
  const common::AlignedFloats left(VARDECAY_MINIMUM_IMPULSE, 32);
  const common::AlignedFloats right(VARDECAY_MINIMUM_IMPULSE, 32);
  std::fill(left.get(), left.get() + VARDECAY_MINIMUM_IMPULSE, 0.0f);
  std::fill(right.get(), right.get() + VARDECAY_MINIMUM_IMPULSE, 0.0f);
  if (irFrames > 0) {
    std::copy(irLeft, irLeft + irFrames, left.get());
    std::copy(irRight, irRight + irFrames, right.get());
  }
  return new ConvolverMasterLongVardecay(left.get(), right.get(), VARDECAY_MINIMUM_IMPULSE,
                                         maxBlockFrames);
}

}  // namespace calvatero::convolution
