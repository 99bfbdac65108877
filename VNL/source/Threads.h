// The library's thin layer over POSIX threads: a named mutex, a condition on that mutex, a
// counting semaphore on the condition, and a detached thread that deletes itself.
//
// Every failing platform call writes one "E:" line naming the call, its error number and the
// object's name, and is answered with false; nothing throws. A busy try-lock and a timed wait
// that runs out are normal outcomes and write nothing. Callers pair lock and unlock themselves.
#pragma once

#include <pthread.h>
#include <semaphore.h>

#include <cstdint>
#include <string>

namespace vantor {

/// A named mutex, optionally recursive. Any thread; `tryLock` is real-time safe.
class MutexOLD {
 public:
  MutexOLD(const std::string& name, bool recursive);
  virtual ~MutexOLD();
  MutexOLD(const MutexOLD&) = delete;
  MutexOLD& operator=(const MutexOLD&) = delete;

  /// True when the platform mutex was created; an unusable mutex fails every operation.
  virtual bool isOk();
  virtual bool lock();
  /// False without a log line when another thread holds the mutex.
  virtual bool tryLock();
  virtual bool unlock();

 protected:
  std::string m_name;
  bool m_ok = false;
  pthread_mutex_t m_mutex;
};

/// A condition used with its own (non-recursive) mutex, which the caller holds around `wait`
/// and `waitFor`. Timed waits run on the monotonic clock, so setting the wall clock does not
/// stretch or cut them.
class Condition : public MutexOLD {
 public:
  explicit Condition(const std::string& name);
  ~Condition() override;

  virtual bool wait();
  /// Waits at most `ms` milliseconds from the call; false on time-out (no line) or failure.
  /// True also for a wake-up nobody signalled: callers re-check their predicate.
  virtual bool waitFor(std::uint64_t ms);
  virtual void signal();
  virtual void broadcast();

 protected:
  /// The timed wait with the caller's text for its error line.
  bool timedWait(std::uint64_t ms, const char* failedCall);

 private:
  bool m_condOk = false;  // `m_ok` speaks for the mutex only
  pthread_cond_t m_cond;
};

/// A counting semaphore; `maximum` 0 means unbounded. The count lives under the object's mutex.
class Semaphore : public Condition {
 public:
  Semaphore(const std::string& name, std::uint64_t initialCount, std::uint64_t maximum);
  ~Semaphore() override;

  bool waitFor(std::uint64_t ms) override;
  /// Takes one unit, waiting as long as it takes; false only when waiting fails.
  virtual bool semaWait();
  /// Takes one unit if one is there; never waits.
  virtual bool tryWait();
  /// Takes one unit, waiting at most `ms` milliseconds in all.
  virtual bool waitTimeout(std::uint64_t ms);
  /// Adds one unit and wakes one waiter; false, count unchanged, at a non-zero maximum.
  virtual bool post();

 private:
  std::uint64_t m_count;
  std::uint64_t m_maximum;
};

/// The scheduling priority `percent` of the way from `minimum` to `maximum`, truncated, kept
/// inside the range (percentages above 100 give the maximum).
int threadPriorityFor(int minimum, int maximum, std::uint32_t percent);

/// A detached thread running `entry()` then `onExit()`, after which the thread deletes the
/// object. Always created with `new`. After a successful `run` the object belongs to its thread:
/// the owner must not delete it nor touch it once `entry` may have returned. If `run` fails the
/// owner still owns it.
class ThreadDetached {
 public:
  explicit ThreadDetached(bool realtime);
  virtual ~ThreadDetached();
  ThreadDetached(const ThreadDetached&) = delete;
  ThreadDetached& operator=(const ThreadDetached&) = delete;

  /// Runs on the new thread after `entry`; does nothing unless overridden.
  virtual void onExit();
  /// The thread's work; its result is the thread's exit value.
  virtual void* entry() = 0;

  /// Share (0 to 100) of the default policy's priority range; set before `run`.
  void setPriority(std::uint32_t percent) { m_priority = percent; }
  std::uint32_t getPriority() const { return m_priority; }
  /// The thread's id; 0 before `run`.
  pthread_t getId() const { return m_id; }

  /// Starts the thread once; false when already started or a step failed.
  bool run();

  /// Start routine given to pthread_create.
  static void* Entry(void* self);
  static void exit(void*);

 private:
  std::uint32_t m_priority = 0;
  bool m_realtime;
  pthread_t m_id = 0;
  // Held shut until `run` is done with the object, so the thread cannot delete it under `run`.
  sem_t m_startGate;
};

/// The calling thread's id.
pthread_t ThreadGetCurrentId();

}  // namespace vantor
