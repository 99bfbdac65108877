#include "standalone/host/AudioStatKeeper.h"

#include <cmath>

namespace vantor {

namespace {

constexpr float kClipThreshold = 1.0001f;
constexpr double kHalfLifeSeconds = 0.1;
constexpr double kHoldSeconds = 1.0;

}  // namespace

void AudioStatKeeper::process(const float* samples, int frames, double sampleRate,
                              double blockSeconds) {
  // The factor per block that halves the level every 0.1 second. An empty block leaves the
  // level as it is (a negative count would otherwise make it grow).
  float decay = 1.0f;
  float peak = 0.0f;
  m_peakSample = 0.0f;
  if (frames >= 1) {
    decay = static_cast<float>(std::pow(2.0, -1.0 / ((sampleRate / frames) * kHalfLifeSeconds)));
    for (int i = 0; i < frames; ++i) {
      const float magnitude = std::fabs(samples[i]);
      if (magnitude > peak) {
        peak = magnitude;
        m_peakSample = samples[i];
      }
    }
    if (peak > kClipThreshold) m_clipped = true;
  }

  m_level = m_level < peak ? peak : m_level * decay;
  if (m_level > m_maximumLevel) m_maximumLevel = m_level;

  if (peak > m_heldPeak) {
    m_heldPeak = peak;
    m_holdTime = 0.0;
  }
  m_holdTime += blockSeconds;
  if (m_holdTime >= kHoldSeconds) m_heldPeak = 0.0f;

  m_updated = true;
}

}  // namespace vantor
