// Turns irregular calls into ticks of a fixed period; a late call counts as at most one
// period, so a long stall gives one tick, not a burst. The GUI idle generator ticks at 60 Hz
// through one. Used on one thread at a time; never locks.
#pragma once

#include <functional>

namespace vantor {

class TimerRectifier {
 public:
  /// Seconds from some fixed start.
  using Clock = std::function<double()>;

  /// `rate`: ticks per second. The clock is `System::getTimefromCPU` (which runs only once
  /// `System::init` has) unless a test gives its own.
  explicit TimerRectifier(double rate, Clock clock = systemSeconds);
  virtual ~TimerRectifier() = default;

  /// True when a tick is due; `elapsed` is then the time in seconds it covers (at least one
  /// period, less than two).
  virtual bool update(double& elapsed);
  virtual bool update();

  double period() const { return m_period; }

  /// `System::getTimefromCPU` in seconds.
  static double systemSeconds();

 private:
  Clock m_clock;
  double m_period;
  double m_lastTime;
  double m_carriedTime = 0;
  double m_step = 0;
  double m_now = 0;
};

}  // namespace vantor
