#include "Sampler/sdk/calvatero/convolution/ConvolverMasterLongVardecay.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <new>

#include "Sampler/sdk/calvatero/convolution/BlockKernels.h"
#include "Sampler/sdk/calvatero/newconv/Assert.h"

namespace calvatero::convolution {

namespace {

// Stage 2's output below this cycle position comes wholly from blocks that ended before the
// cycle's boundary (the block ending there is output from 544 to 1567).
constexpr std::size_t kStage2OldOutput = BASE_BUFFER_SIZE + STAGE2_BUFFER_SIZE * 3 / 2;

// The boost scratch: min(maxBlock, 1024) frames; a maximum of 0 says nothing, so it gets 1024.
std::size_t runFrames(std::size_t maxBlock) {
  return maxBlock == 0 ? STAGE2_BUFFER_SIZE : std::min(maxBlock, STAGE2_BUFFER_SIZE);
}

}  // namespace

DecayParser::DecayParser(std::size_t cycleLength, std::size_t startPosition,
                         std::size_t maxBlock, bool accumulate)
    : envelope_(*this, cycleLength, startPosition, runFrames(maxBlock), accumulate) {}

// ---- Stage 1 -----------------------------------------------------------------------------------

Filter23ProcessorVardecay::Filter23ProcessorVardecay(const float* h, std::size_t channel,
                                                     const fourier::RealOdd32& transform)
    : Filter23Processor(h, channel, transform), previous_(kSpectrum, 64) {
  std::memset(previous_.get(), 0, kSpectrum * sizeof(float));
}

void Filter23ProcessorVardecay::Reset() {
  Filter23Processor::Reset();
  std::memset(previous_.get(), 0, kSpectrum * sizeof(float));
  pending_ = remembered_ = 0.0f;
}

// A block at a cycle's first step: the accumulator was formed from the previous cycle's blocks,
// under the envelope the boundary has just restarted.
void Filter23ProcessorVardecay::startBlock() {
  if (step() % _totalBlocks != 0) return;
  multInplaceConst(accumulator(), nullptr, kSpectrum, pending_);
  remembered_ = pending_;
}

// The current cycle's blocks (RunStart) and, apart, the previous cycle's (RunEnd, first half
// of the cycle only), scaled to the current envelope: together what Filter2_3::Run forms.
void Filter23ProcessorVardecay::runFilter(float* accumulator, const float* y, const float* g,
                                          const float* yPrev, std::size_t a, bool start) {
  filter().RunStart(accumulator, y, g, a);
  if (!start && a < _totalBlocks / 2) {
    filter().RunEnd(previous_.get(), yPrev, g, a);
    do_block_multadd_inplace(accumulator, previous_.get(), kSpectrum, remembered_);
  }
}

void Filter23ProcessorVardecay::ProcessBufferStartToMid(float* outBlock) {
  startBlock();
  Filter23Processor::ProcessBufferStartToMid(outBlock);
}

void Filter23ProcessorVardecay::ProcessBufferStartToEnd(float* out, const float* inBlock) {
  startBlock();
  Filter23Processor::ProcessBufferStartToEnd(out, inBlock);
}

BlockParser01Vardecay::BlockParser01Vardecay(const float* h, std::size_t maxBlock,
                                             Filter23ProcessorVardecay& processor,
                                             std::size_t channel)
    : BlockParser01(h, processor),
      DecayParser(processor.GetDecayCycleLength(),
                  channel == 0 ? 0 : processor.GetDecayCycleLength() / 2, maxBlock, false),
      processor_(processor) {}

void BlockParser01Vardecay::Reset() {
  BlockParser01::Reset();
  ResetEnvelope();
}

void BlockParser01Vardecay::ConvolveBoosted(float* out, const float* boosted, std::size_t frames,
                                            std::size_t) {
  CalculateOutput(out, boosted, frames);
}

// ---- Stage 2 -----------------------------------------------------------------------------------

KaratsubaConvolver16WayVardecay::KaratsubaConvolver16WayVardecay(const float* h,
                                                                 std::size_t length,
                                                                 Stage2Transforms transforms)
    : KaratsubaConvolver16Way(h, length, transforms, 0, true), previousShare_(kWayFloats, 64) {}

void KaratsubaConvolver16WayVardecay::Reset() {
  KaratsubaConvolver16Way::Reset();
  attenuation_ = previousAttenuation_ = 0.0f;
}

void KaratsubaConvolver16WayVardecay::SetCycleBoundaryAttenuation(float attenuation) {
  CALVATERO_ASSERT(counter_ == filterBlocks_ - 1);
  previousAttenuation_ = attenuation_;
  attenuation_ = attenuation;
}

void KaratsubaConvolver16WayVardecay::filterWay(float* out, std::size_t way,
                                                const float* history, const float* table) {
  filters_[way]->RunStart(out, history, table, counter_);
  if (!start_) {
    // The last partition's ways run after the next boundary was set: the block they finish
    // still belongs to the cycle that the boundary before it began.
    const float attenuation =
        counter_ == filterBlocks_ - 1 ? previousAttenuation_ : attenuation_;
    filters_[way]->RunEnd(previousShare_.get(), history, table, counter_);
    do_block_multadd_inplace(out, previousShare_.get(), kWayFloats, attenuation);
  }
}

namespace {

std::unique_ptr<KaratsubaConvolver16Way> makeDecayConvolver(const Stage2Impulse& impulse,
                                                            Stage2Transforms transforms) {
  return std::make_unique<KaratsubaConvolver16WayVardecay>(impulse.taps, impulse.length,
                                                           transforms);
}

}  // namespace

Kar16ProcessorVardecay::Kar16ProcessorVardecay(const float* h, std::size_t length,
                                               std::size_t channel, Stage2Transforms transforms)
    : Kar16Processor(makeDecayConvolver(Stage2Impulse(h, length), transforms), channel) {}

BlockParser2Vardecay::BlockParser2Vardecay(std::size_t maxBlock,
                                           Kar16ProcessorVardecay& processor,
                                           std::size_t initialPosition)
    : BlockParser2(processor),
      DecayParser(processor.GetDecayCycleLength(), initialPosition, maxBlock, true),
      processor_(processor) {}

void BlockParser2Vardecay::Reset() {
  BlockParser2::Reset();
  attenuation_ = 0.0f;
  ResetEnvelope();
}

void BlockParser2Vardecay::ConvolveBoosted(float* out, const float* boosted, std::size_t frames,
                                           std::size_t cyclePosition) {
  WriteOutput(out, boosted, frames);
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
      karLeft_(irLeft, irFrames, 0, stage2Transforms_.view()),
      karRight_(irRight, irFrames, 1, stage2Transforms_.view()),
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
  inPlace_.Reset();
}

// An in-place call runs in pieces, each with its share of the nodes.
void ConvolverMasterLongVardecay::CalculateOutputVariableDecay(
    float* outLeft, float* outRight, const float* inLeft, const float* inRight,
    std::size_t frames, const DecayNode* nodes, std::size_t nodeCount) {
  DecayNodeWalk walk(nodes, nodeCount);
  inPlace_.run(outLeft, outRight, inLeft, inRight, frames,
               [&](float* ol, float* orr, const float* il, const float* ir, std::size_t n) {
                 if (n == frames) return calculate(ol, orr, il, ir, n, nodes, nodeCount);
                 CALVATERO_ASSERT(n <= std::size(pieceNodes_));
                 std::size_t count = 0;  // each node covers at least one frame
                 for (std::size_t done = 0, m = 0; done < n; done += m) {
                   const DecayNode* node = walk.next(n - done, &m);
                   if (node == nullptr) break;
                   pieceNodes_[count++] = {node->decayFactor, m};
                 }
                 calculate(ol, orr, il, ir, n, count > 0 ? pieceNodes_ : nullptr, count);
               });
}

void ConvolverMasterLongVardecay::calculate(float* outLeft, float* outRight, const float* inLeft,
                                            const float* inRight, std::size_t frames,
                                            const DecayNode* nodes, std::size_t nodeCount) {
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
  // As the plain engines: far beyond any memory, refused before the impulse is read.
  if (irFrames > LONGEST_IMPULSE_FRAMES) throw std::bad_alloc();
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
