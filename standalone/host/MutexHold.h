// A blocking hold on a MutexOLD for one scope, for the main-thread side of the back end's
// modules (the render side only try-locks). A lock that fails has already written its error
// line; the scope then runs unlocked, as the system's callers of the mutex do.
#pragma once

#include "VNL/source/Threads.h"

namespace vantor {

class MutexHold {
 public:
  explicit MutexHold(MutexOLD& mutex) : m_mutex(mutex), m_held(mutex.lock()) {}
  ~MutexHold() {
    if (m_held) m_mutex.unlock();
  }
  MutexHold(const MutexHold&) = delete;
  MutexHold& operator=(const MutexHold&) = delete;

 private:
  MutexOLD& m_mutex;
  bool m_held;
};

}  // namespace vantor
