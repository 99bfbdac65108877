// The decay bookkeeping of one variable-decay block parser (either stage of the variable-decay
// convolver). The input is multiplied by a rising envelope (the running product of 1/d) before
// the unchanged convolution and the output by the falling one (the running product of d), so
// that tap k of the output at frame t carries the product of the factors of frames t-k .. t-1.
// Both envelopes restart at 2^-50 and 2^50 at every decay cycle start; the stage is then told
// to rescale the history it holds by the attenuation of that moment.
//
// Caller's nodes: walked in order; a node of zero frames is skipped; the last node covers the
// rest of the call; frames of nodes beyond the call's end are ignored; no nodes continue with
// the factor in force. Every factor is sanitised before use, the same way in every parser of an
// engine: NaN keeps the factor in force, anything else is clamped into [floor, 1.0]. The
// caller's nodes are never written.
//
// One thread at a time. Construction allocates the boost scratch; Run and Reset never allocate,
// lock or block.
#pragma once

#include <cstddef>
#include <cstdint>

#include "Sampler/sdk/calvatero/convolution/DecayNode.h"
#include "Sampler/sdk/calvatero/newconv/Common.h"

namespace calvatero::convolution {

inline constexpr double INPUT_ENV_START_LEVEL = 0x1p-50;
inline constexpr double OUTPUT_ENV_START_LEVEL = 0x1p50;

/// The caller's nodes of one call, walked in order by the rules above (zero-frame nodes
/// skipped, the last covering the rest). The factors are handed on as they are.
class DecayNodeWalk {
 public:
  DecayNodeWalk(const DecayNode* nodes, std::size_t count)
      : nodes_(nodes), count_(nodes != nullptr ? count : 0) {}
  /// The node of the next frame, with in `frames` how many of the next `limit` (>= 1) frames it
  /// covers (at least 1); null when the call has no nodes.
  const DecayNode* next(std::size_t limit, std::size_t* frames);

 private:
  const DecayNode* nodes_;
  std::size_t count_;
  std::size_t index_ = 0;
  std::uint64_t used_ = 0;  // frames of the current node already walked
};

class DecayEnvelope {
 public:
  /// A stage that convolves the boosted input: writes (not adds) `frames` frames of not yet
  /// attenuated output for the frames starting at `cyclePosition` of the current cycle.
  class Stage {
   public:
    virtual void ConvolveBoosted(float* out, const float* boosted, std::size_t frames,
                                 std::size_t cyclePosition) = 0;
    /// Called at every cycle start with the factor that brings the stored history to the
    /// restarted envelope.
    virtual void SetCycleBoundaryAttenuation(float attenuation) = 0;

   protected:
    ~Stage() = default;
  };

  /// `chunkFrames` (1 .. 1024) is the longest run the stage is given at once; `accumulate`
  /// makes Run add its attenuated output into `out` (the second stage) instead of writing it.
  /// Throws std::bad_alloc.
  DecayEnvelope(Stage& stage, std::size_t cycleLength, std::size_t startPosition,
                std::size_t chunkFrames, bool accumulate);

  /// (2^-100)^(1 / cycle length): the smallest factor whose product over a whole cycle keeps
  /// the input envelope at or below 2^50.
  double GetMinimumAllowableDecayFactor() const;
  /// The smallest factor the walk lets through (the engine's minimum allowable factor).
  void SetFactorFloor(double floor) { floor_ = floor; }

  void Reset();
  void Run(float* out, const float* in, std::size_t frames, const DecayNode* nodes,
           std::size_t nodeCount);

  std::size_t cyclePosition() const { return position_; }
  std::size_t cycleLength() const { return cycleLength_; }
  double factor() const { return factor_; }
  double inputLevel() const { return inputEnvLevel_; }
  double outputLevel() const { return outputEnvLevel_; }

 private:
  // The caller's nodes (or the factor in force) as a walk of (factor, frames) segments.
  struct Cursor {
    DecayNodeWalk walk;
    double factor;  // the factor in force
  };
  struct Segment {
    double factor;
    std::size_t frames;
  };
  Segment next(Cursor& cursor, std::size_t limit) const;
  void runWithinCycle(float* out, const float* in, std::size_t frames, Cursor& cursor);
  void checkLevels() const;

  Stage& stage_;
  std::size_t cycleLength_;
  std::size_t startPosition_;
  std::size_t chunkFrames_;
  bool accumulate_;
  common::AlignedFloats boosted_;
  common::AlignedFloats share_;  // the second stage's output before the envelope
  double floor_;
  double inputEnvLevel_ = INPUT_ENV_START_LEVEL;
  double outputEnvLevel_ = OUTPUT_ENV_START_LEVEL;
  double factor_ = 1.0;
  double cachedFactor_ = 1.0;
  double cachedInverse_ = 1.0;
  std::size_t position_;
};

}  // namespace calvatero::convolution
