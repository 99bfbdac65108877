// Level statistics of one audio channel: peak, a level that halves every 0.1 s, the highest
// level, a peak held for one second and a clip flag. The graph keeps one per output channel
// and feeds it every rendered block. Render thread only; never allocates or locks.
#pragma once

namespace vantor {

class AudioStatKeeper {
 public:
  AudioStatKeeper() = default;
  virtual ~AudioStatKeeper() = default;

  /// Takes in one block of `frames` samples at `sampleRate`; `blockSeconds` is the time the
  /// block covers (it runs the hold timer).
  void process(const float* samples, int frames, double sampleRate, double blockSeconds);

  /// Set once a sample's magnitude exceeds 1.0001; never cleared.
  bool clipped() const { return m_clipped; }
  float level() const { return m_level; }
  float maximumLevel() const { return m_maximumLevel; }
  /// The highest block peak of the last second (0 once a second passed without a higher one).
  float heldPeak() const { return m_heldPeak; }
  /// Seconds since the held peak was set.
  double holdTime() const { return m_holdTime; }
  bool updated() const { return m_updated; }
  /// The signed sample of the last block with the greatest magnitude (its first occurrence).
  float peakSample() const { return m_peakSample; }

 private:
  bool m_clipped = false;
  float m_level = 0;
  float m_maximumLevel = 0;
  float m_heldPeak = 0;
  double m_holdTime = 0;
  bool m_updated = false;
  float m_peakSample = 0;
};

}  // namespace vantor
