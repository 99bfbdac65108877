#include "standalone/host/TimerRectifier.h"

#include <utility>

#include "VNL/source/System.h"

namespace vantor {

TimerRectifier::TimerRectifier(double rate, Clock clock)
    : m_clock(std::move(clock)), m_period(1.0 / rate), m_lastTime(m_clock()) {}

bool TimerRectifier::update(double& elapsed) {
  m_now = m_clock();
  if (m_lastTime > m_now) m_now = m_lastTime;  // never run backwards
  m_step = m_now - m_lastTime;
  m_lastTime = m_now;
  if (m_step > m_period) m_step = m_period;
  elapsed = m_step + m_carriedTime;
  if (elapsed >= m_period) {
    m_carriedTime = 0;
    return true;
  }
  m_carriedTime += m_step;
  return false;
}

bool TimerRectifier::update() {
  double ignored;
  return update(ignored);
}

double TimerRectifier::systemSeconds() {
  double seconds = 0;
  System::getTimefromCPU(seconds);
  return seconds;
}

}  // namespace vantor
