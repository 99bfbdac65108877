// The two lists of idle listeners the processing context keeps. The command interface fires
// both for PE_ENGINE_IDLE; the GUI one ticks its listeners at a fixed rate whatever the rate of
// the calls (through a TimerRectifier), the non-GUI one on every call.
//
// Threads: the GUI generator is main-thread only and locks nothing. The non-GUI generator
// guards its list with the mutex "NONGUIIdle", so listeners may come and go from another
// thread while it fires. Listeners are not owned.
#pragma once

#include <vector>

#include "VNL/source/Threads.h"
#include "standalone/host/Context.h"
#include "standalone/host/TimerRectifier.h"

namespace vantor {

class GUIIdleGenerator {
 public:
  /// `rate`: ticks per second.
  explicit GUIIdleGenerator(double rate, TimerRectifier::Clock clock = TimerRectifier::systemSeconds);
  virtual ~GUIIdleGenerator() = default;
  GUIIdleGenerator(const GUIIdleGenerator&) = delete;
  GUIIdleGenerator& operator=(const GUIIdleGenerator&) = delete;

  /// Null is ignored; a listener added twice is told twice.
  void addGUIIdleListener(GUIIdleListener* listener);
  /// Removes the first occurrence; false for null or a listener not in the list.
  bool removeGUIIdleListener(GUIIdleListener* listener);
  /// When a tick is due, tells every listener in order of registration the milliseconds the
  /// tick covers.
  void fireGUIIdle();

 private:
  std::vector<GUIIdleListener*> m_listeners;
  TimerRectifier m_rectifier;
  MutexOLD m_mutex{"GUIIdle", false};  // kept for its name; nothing here needs it
};

class NonGUIIdleGenerator {
 public:
  NonGUIIdleGenerator() = default;
  virtual ~NonGUIIdleGenerator() = default;
  NonGUIIdleGenerator(const NonGUIIdleGenerator&) = delete;
  NonGUIIdleGenerator& operator=(const NonGUIIdleGenerator&) = delete;

  /// As the GUI generator's, under the mutex.
  void addNonGUIIdleListener(NonGUIIdleListener* listener);
  bool removeNonGUIIdleListener(NonGUIIdleListener* listener);
  /// Tells every listener in order, under the mutex; tells nobody when it cannot be taken.
  void fireNonGUIIdle();

 private:
  std::vector<NonGUIIdleListener*> m_listeners;
  MutexOLD m_mutex{"NONGUIIdle", false};
};

}  // namespace vantor
