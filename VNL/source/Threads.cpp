#include "VNL/source/Threads.h"

#include <time.h>

#include <algorithm>
#include <cerrno>

#include "VNL/source/LogLine.h"

namespace vantor {
namespace {

void logFailure(const char* call, int error, const std::string& name) {
  PLOGE("%s%d for %s", call, error, name.c_str());
}

}  // namespace

// --- MutexOLD ---

MutexOLD::MutexOLD(const std::string& name, bool recursive) : m_name(name) {
  int rc;
  if (recursive) {
    pthread_mutexattr_t attr;
    rc = pthread_mutexattr_init(&attr);
    if (rc == 0) {
      rc = pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
      if (rc == 0) rc = pthread_mutex_init(&m_mutex, &attr);
      pthread_mutexattr_destroy(&attr);
    }
  } else {
    rc = pthread_mutex_init(&m_mutex, nullptr);
  }
  m_ok = rc == 0;
  if (!m_ok) logFailure("pthread_mutex_init failed with ", rc, m_name);
}

MutexOLD::~MutexOLD() {
  if (m_ok) pthread_mutex_destroy(&m_mutex);
}

bool MutexOLD::isOk() { return m_ok; }

bool MutexOLD::lock() {
  const int rc = m_ok ? pthread_mutex_lock(&m_mutex) : EINVAL;
  if (rc != 0) logFailure("pthread_mutex_lock failed with ", rc, m_name);
  return rc == 0;
}

bool MutexOLD::tryLock() {
  const int rc = m_ok ? pthread_mutex_trylock(&m_mutex) : EINVAL;
  if (rc != 0 && rc != EBUSY) logFailure("pthread_mutex_trylock failed with ", rc, m_name);
  return rc == 0;
}

bool MutexOLD::unlock() {
  const int rc = m_ok ? pthread_mutex_unlock(&m_mutex) : EINVAL;
  if (rc != 0) logFailure("pthread_mutex_unlock failed with ", rc, m_name);
  return rc == 0;
}

// --- Condition ---

Condition::Condition(const std::string& name) : MutexOLD(name, false) {
  pthread_condattr_t attr;
  int rc = pthread_condattr_init(&attr);
  if (rc == 0) {
    rc = pthread_condattr_setclock(&attr, CLOCK_MONOTONIC);
    if (rc == 0) rc = pthread_cond_init(&m_cond, &attr);
    pthread_condattr_destroy(&attr);
  }
  m_condOk = rc == 0;
  if (!m_condOk) logFailure("pthread_cond_init failed with ", rc, m_name);
}

Condition::~Condition() {
  if (m_condOk) pthread_cond_destroy(&m_cond);
}

bool Condition::wait() {
  const int rc = (m_ok && m_condOk) ? pthread_cond_wait(&m_cond, &m_mutex) : EINVAL;
  if (rc != 0) logFailure("pthread_cond_wait failed with ", rc, m_name);
  return rc == 0;
}

bool Condition::timedWait(std::uint64_t ms, const char* failedCall) {
  int rc = EINVAL;
  if (m_ok && m_condOk) {
    timespec deadline{};
    clock_gettime(CLOCK_MONOTONIC, &deadline);
    // Far-off deadlines are capped rather than overflowing time_t.
    const std::uint64_t maxSeconds = std::uint64_t{1} << 40;
    const std::uint64_t seconds = std::min<std::uint64_t>(ms / 1000, maxSeconds);
    deadline.tv_sec += static_cast<time_t>(seconds);
    deadline.tv_nsec += static_cast<long>(ms % 1000) * 1000000L;
    if (deadline.tv_nsec >= 1000000000L) {
      deadline.tv_sec += 1;
      deadline.tv_nsec -= 1000000000L;
    }
    rc = pthread_cond_timedwait(&m_cond, &m_mutex, &deadline);
    if (rc == ETIMEDOUT) return false;
  }
  if (rc != 0) logFailure(failedCall, rc, m_name);
  return rc == 0;
}

bool Condition::waitFor(std::uint64_t ms) {
  return timedWait(ms, "pthread_cond_timedwait_relative_np failed with ");
}

void Condition::signal() {
  const int rc = m_condOk ? pthread_cond_signal(&m_cond) : EINVAL;
  if (rc != 0) logFailure("pthread_cond_signal failed with ", rc, m_name);
}

void Condition::broadcast() {
  const int rc = m_condOk ? pthread_cond_broadcast(&m_cond) : EINVAL;
  if (rc != 0) logFailure("pthread_cond_broadcast failed with ", rc, m_name);
}

// --- Semaphore ---
// The count is touched only under the mutex: when the mutex cannot be taken the operation
// answers false instead of racing on the count.

Semaphore::Semaphore(const std::string& name, std::uint64_t initialCount, std::uint64_t maximum)
    : Condition(name), m_count(initialCount), m_maximum(maximum) {}

Semaphore::~Semaphore() = default;

bool Semaphore::waitFor(std::uint64_t ms) {
  return timedWait(ms, "Semaphore - pthread_cond_timedwait_relative_np failed with ");
}

bool Semaphore::semaWait() {
  if (!lock()) return false;
  while (m_count == 0) {
    if (!wait()) break;
  }
  const bool taken = m_count != 0;
  if (taken) --m_count;
  unlock();
  return taken;
}

bool Semaphore::tryWait() {
  if (!lock()) return false;
  const bool taken = m_count != 0;
  if (taken) --m_count;
  unlock();
  return taken;
}

namespace {
std::uint64_t monotonicMillis() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<std::uint64_t>(now.tv_sec) * 1000u +
         static_cast<std::uint64_t>(now.tv_nsec) / 1000000u;
}
}  // namespace

bool Semaphore::waitTimeout(std::uint64_t ms) {
  if (!lock()) return false;
  // One budget for the whole call: a wake-up that finds the unit already taken by another
  // waiter waits only for what is left.
  const std::uint64_t start = monotonicMillis();
  bool taken = false;
  for (;;) {
    if (m_count != 0) {
      --m_count;
      taken = true;
      break;
    }
    const std::uint64_t elapsed = monotonicMillis() - start;
    if (elapsed >= ms) break;
    if (!waitFor(ms - elapsed)) break;
  }
  unlock();
  return taken;
}

bool Semaphore::post() {
  if (!lock()) return false;
  bool added = false;
  if (m_maximum == 0 || m_count != m_maximum) {
    ++m_count;
    signal();
    added = true;
  }
  unlock();
  return added;
}

// --- ThreadDetached ---

int threadPriorityFor(int minimum, int maximum, std::uint32_t percent) {
  const std::int64_t span = static_cast<std::int64_t>(maximum) - minimum;
  const std::int64_t priority = minimum + (span * std::min<std::uint32_t>(percent, 100)) / 100;
  return static_cast<int>(priority);
}

ThreadDetached::ThreadDetached(bool realtime) : m_realtime(realtime) {
  sem_init(&m_startGate, 0, 0);
}

ThreadDetached::~ThreadDetached() { sem_destroy(&m_startGate); }

void ThreadDetached::onExit() {}

void ThreadDetached::exit(void*) {}

bool ThreadDetached::run() {
  if (m_id != 0) return false;

  pthread_attr_t attr;
  if (pthread_attr_init(&attr) != 0) {
    PLOGE("pthread_attr_init failed");
    return false;
  }
  // The attribute is destroyed on every path out of here.
  struct AttrGuard {
    pthread_attr_t* attr;
    ~AttrGuard() { pthread_attr_destroy(attr); }
  } guard{&attr};

  int policy = 0;
  if (pthread_attr_getschedpolicy(&attr, &policy) != 0) {
    PLOGE("pthread_attr_getschedpolicy failed");
    return false;
  }
  const int maxPriority = sched_get_priority_max(policy);
  const int minPriority = sched_get_priority_min(policy);
  if (maxPriority != minPriority && maxPriority != -1 && minPriority != -1) {
    sched_param param{};
    if (pthread_attr_getschedparam(&attr, &param) != 0) PLOGE("pthread_attr_getschedparam failed");
    param.sched_priority = threadPriorityFor(minPriority, maxPriority, m_priority);
    if (pthread_attr_setschedparam(&attr, &param) != 0) PLOGE("pthread_attr_setschedparam failed");
  }
  // Linux threads inherit the creator's scheduling unless told otherwise, so the policy is a
  // request that never stops the thread from starting.
  if (m_realtime) pthread_attr_setschedpolicy(&attr, SCHED_RR);

  if (pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED) != 0) {
    PLOGE("pthread_attr_setdetachstate failed");
    return false;
  }
  pthread_t id;
  if (pthread_create(&id, &attr, &ThreadDetached::Entry, this) != 0) {
    PLOGE("pthread_create failed");
    return false;
  }
  m_id = id;
  // From here on the thread owns the object: nothing below may touch it.
  sem_post(&m_startGate);
  return true;
}

void* ThreadDetached::Entry(void* self) {
  auto* thread = static_cast<ThreadDetached*>(self);
  while (sem_wait(&thread->m_startGate) != 0 && errno == EINTR) {
  }
  void* result = thread->entry();
  thread->onExit();
  delete thread;
  return result;
}

pthread_t ThreadGetCurrentId() { return pthread_self(); }

}  // namespace vantor
