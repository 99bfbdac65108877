#include "Sampler/sdk/calvatero/convolution/DecayEnvelope.h"

#include <algorithm>
#include <cmath>

#include "Sampler/sdk/calvatero/convolution/BlockKernels.h"
#include "Sampler/sdk/calvatero/newconv/Assert.h"
#include "Sampler/sdk/calvatero/newconv/Vec4.h"

namespace calvatero::convolution {

DecayEnvelope::DecayEnvelope(Stage& stage, std::size_t cycleLength, std::size_t startPosition,
                             std::size_t chunkFrames, bool accumulate)
    : stage_(stage),
      cycleLength_(cycleLength),
      startPosition_(startPosition),
      chunkFrames_(chunkFrames),
      accumulate_(accumulate),
      boosted_(chunkFrames, 64),
      share_(accumulate ? common::AlignedFloats(chunkFrames, 64) : common::AlignedFloats()),
      position_(startPosition) {
  CALVATERO_ASSERT(chunkFrames >= 1 && chunkFrames <= 1024);
  CALVATERO_ASSERT(startPosition < cycleLength);
  floor_ = GetMinimumAllowableDecayFactor();
}

double DecayEnvelope::GetMinimumAllowableDecayFactor() const {
  return std::pow(0x1p-100, 1.0 / static_cast<double>(cycleLength_));
}

void DecayEnvelope::Reset() {
  inputEnvLevel_ = INPUT_ENV_START_LEVEL;
  outputEnvLevel_ = OUTPUT_ENV_START_LEVEL;
  factor_ = cachedFactor_ = cachedInverse_ = 1.0;
  position_ = startPosition_;
}

const DecayNode* DecayNodeWalk::next(std::size_t limit, std::size_t* frames) {
  *frames = limit;
  if (count_ == 0) return nullptr;
  while (index_ + 1 < count_ && used_ >= nodes_[index_].frames) {
    ++index_;
    used_ = 0;
  }
  const DecayNode& node = nodes_[index_];
  if (index_ + 1 < count_) {
    *frames = static_cast<std::size_t>(std::min<std::uint64_t>(limit, node.frames - used_));
  }
  used_ += *frames;
  return &node;
}

DecayEnvelope::Segment DecayEnvelope::next(Cursor& cursor, std::size_t limit) const {
  std::size_t frames = 0;
  const DecayNode* node = cursor.walk.next(limit, &frames);
  if (node != nullptr && !std::isnan(node->decayFactor)) {
    cursor.factor = std::clamp(node->decayFactor, floor_, 1.0);
  }
  return {cursor.factor, frames};
}

void DecayEnvelope::checkLevels() const {
  CALVATERO_ASSERT(outputEnvLevel_ >= INPUT_ENV_START_LEVEL * 0.125 &&
                   outputEnvLevel_ <= OUTPUT_ENV_START_LEVEL);
  CALVATERO_ASSERT(inputEnvLevel_ >= INPUT_ENV_START_LEVEL &&
                   inputEnvLevel_ <= OUTPUT_ENV_START_LEVEL * 8.0);
}

void DecayEnvelope::Run(float* out, const float* in, std::size_t frames, const DecayNode* nodes,
                        std::size_t nodeCount) {
  if (frames == 0) return;
  Cursor cursor{DecayNodeWalk(nodes, nodeCount), factor_};
  std::size_t done = 0;
  if (position_ > 0) {
    done = std::min(frames, cycleLength_ - position_);
    runWithinCycle(out, in, done, cursor);
  }
  while (done < frames) {
    // The history was built with the old input envelope: a = 2^-50 / input level.
    stage_.SetCycleBoundaryAttenuation(static_cast<float>(outputEnvLevel_ * INPUT_ENV_START_LEVEL));
    inputEnvLevel_ = INPUT_ENV_START_LEVEL;
    outputEnvLevel_ = OUTPUT_ENV_START_LEVEL;
    const std::size_t n = std::min(frames - done, cycleLength_);
    runWithinCycle(out + done, in + done, n, cursor);
    done += n;
  }
  factor_ = cursor.factor;
}

void DecayEnvelope::runWithinCycle(float* out, const float* in, std::size_t frames,
                                   Cursor& cursor) {
  checkLevels();
  for (std::size_t done = 0; done < frames;) {
    const std::size_t n = std::min(chunkFrames_, frames - done);
    const Cursor replay = cursor;
    float* boosted = boosted_.get();
    for (std::size_t i = 0; i < n;) {
      const Segment s = next(cursor, n - i);
      const DecayNode node{s.factor, s.frames};
      BoostInput(boosted + i, nullptr, in + done + i, nullptr, s.frames, inputEnvLevel_, &node, 1,
                 cachedFactor_, cachedInverse_);
      i += s.frames;
    }
    float* target = accumulate_ ? share_.get() : out + done;
    stage_.ConvolveBoosted(target, boosted, n, position_);
    Cursor again = replay;
    for (std::size_t i = 0; i < n;) {
      const Segment s = next(again, n - i);
      const DecayNode node{s.factor, s.frames};
      AttenuateOutput(target + i, nullptr, target + i, nullptr, nullptr, nullptr, s.frames,
                      outputEnvLevel_, &node, 1);
      i += s.frames;
    }
    if (accumulate_) {
      using namespace simd;
      float* o = out + done;
      std::size_t i = 0;
      for (; i + 4 <= n; i += 4) store(o + i, load(o + i) + load(target + i));
      for (; i < n; ++i) o[i] += target[i];
    }
    // Exact reciprocals at every chunk boundary, whatever the ramps' rounding.
    inputEnvLevel_ = 1.0 / outputEnvLevel_;
    position_ += n;
    done += n;
  }
  if (position_ == cycleLength_) position_ = 0;
  checkLevels();
}

}  // namespace calvatero::convolution
