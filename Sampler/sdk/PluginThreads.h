// Locks and threads of the engine plug-in runtime, used by the plug-ins that run background
// work (the reverbs' rebuild worker). Separate from the common library's namesakes: a bundle
// carries only what it needs and writes no log file.
#pragma once

#include <pthread.h>

#include <cstdint>
#include <mutex>
#include <string>

namespace vantor::KELOPluginSDK {

/// A named, non-recursive mutex. Any thread; lock blocks, tryLock never does (render threads
/// may use only tryLock). Answers report failure; nothing is logged.
class Mutex {
 public:
  explicit Mutex(const std::string& name);
  virtual ~Mutex();
  Mutex(const Mutex&) = delete;
  Mutex& operator=(const Mutex&) = delete;

  virtual bool isOk();
  virtual bool lock();
  /// False at once when another thread holds the mutex.
  virtual bool tryLock();
  virtual bool unlock();

  const std::string& name() const { return m_name; }

 private:
  std::string m_name;
  bool m_ok = false;
  pthread_mutex_t m_mutex;
};

/// Suspends the calling thread for `milliseconds` (resumed after signals).
void sleep(std::uint64_t milliseconds);

pthread_t ThreadGetCurrentId();

/// A thread that deletes its own object when its body returns. Create it with new, start it
/// once with run; after a successful run the object belongs to its thread: the owner must not
/// delete it nor touch it once entry can have returned. After a failed run it stays the
/// owner's.
class ThreadDetached {
 public:
  /// Priority used when the owner never calls setPriority: the middle of the policy's range.
  static constexpr std::uint32_t kDefaultPriority = 50;

  explicit ThreadDetached(bool realTime);
  virtual ~ThreadDetached();
  ThreadDetached(const ThreadDetached&) = delete;
  ThreadDetached& operator=(const ThreadDetached&) = delete;

  /// Percent of the scheduling policy's priority range, applied by run.
  void setPriority(std::uint32_t percent) { m_priority = percent; }
  std::uint32_t getPriority() const { return m_priority; }
  /// Null (0) before run.
  pthread_t getId() const { return m_id; }
  void exit(void*) {}

  /// Starts the thread; false when it was already started or a step failed (each failure
  /// prints an "E:" line on standard output).
  bool run();

  /// The start routine: entry, onExit, then deletes the object; answers entry's result.
  static void* Entry(ThreadDetached* self);

 protected:
  virtual void onExit() {}
  /// The thread's body.
  virtual int entry() = 0;

 private:
  std::uint32_t m_priority = kDefaultPriority;
  bool m_realTime;
  pthread_t m_id{};
  // Held by run until it is done with the object, so the new thread cannot delete it earlier.
  std::mutex m_startGate;
};

}  // namespace vantor::KELOPluginSDK
