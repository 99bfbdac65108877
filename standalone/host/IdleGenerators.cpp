#include "standalone/host/IdleGenerators.h"

#include <algorithm>
#include <utility>

namespace vantor {

namespace {

template <typename Listener>
bool removeFirst(std::vector<Listener*>& listeners, Listener* listener) {
  if (listener == nullptr) return false;
  const auto found = std::find(listeners.begin(), listeners.end(), listener);
  if (found == listeners.end()) return false;
  listeners.erase(found);
  return true;
}

}  // namespace

GUIIdleGenerator::GUIIdleGenerator(double rate, TimerRectifier::Clock clock)
    : m_rectifier(rate, std::move(clock)) {}

void GUIIdleGenerator::addGUIIdleListener(GUIIdleListener* listener) {
  if (listener != nullptr) m_listeners.push_back(listener);
}

bool GUIIdleGenerator::removeGUIIdleListener(GUIIdleListener* listener) {
  return removeFirst(m_listeners, listener);
}

void GUIIdleGenerator::fireGUIIdle() {
  double elapsed = 0;
  if (!m_rectifier.update(elapsed)) return;
  for (GUIIdleListener* listener : m_listeners) listener->guiIdle(elapsed * 1000.0);
}

void NonGUIIdleGenerator::addNonGUIIdleListener(NonGUIIdleListener* listener) {
  if (listener == nullptr) return;
  if (!m_mutex.lock()) return;
  m_listeners.push_back(listener);
  m_mutex.unlock();
}

bool NonGUIIdleGenerator::removeNonGUIIdleListener(NonGUIIdleListener* listener) {
  if (listener == nullptr) return false;
  if (!m_mutex.lock()) return false;
  const bool removed = removeFirst(m_listeners, listener);
  m_mutex.unlock();
  return removed;
}

void NonGUIIdleGenerator::fireNonGUIIdle() {
  if (!m_mutex.lock()) return;
  for (NonGUIIdleListener* listener : m_listeners) listener->nonGuiIdle();
  m_mutex.unlock();
}

}  // namespace vantor
