// A stereo gain with a one-block linear ramp: each block moves the gain from where it stands
// to the target, so a new gain (starting at 0 with target 1) fades in over its first block.
// The graph keeps one per instrument slot and one master gain.
#pragma once

#include <atomic>

#include "standalone/host/Module.h"

namespace vantor {

class StereoGainModule : public Module {
 public:
  StereoGainModule();

  /// The gain the next block ramps to. Main thread.
  void setGain(float gain) { m_targetGain.store(gain, std::memory_order_relaxed); }
  float currentGain() const { return m_currentGain; }
  float targetGain() const { return m_targetGain.load(std::memory_order_relaxed); }

  /// Render thread: `outputs` = (or +=, with `add`) the ramped gain x `inputs`, both stereo.
  void processStereo(float** inputs, float** outputs, unsigned frames, bool add) override;

 private:
  float m_currentGain = 0.0f;  // render thread
  std::atomic<float> m_targetGain{1.0f};
};

}  // namespace vantor
