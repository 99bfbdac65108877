#include <gtest/gtest.h>

#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "Sampler/sdk/PluginThreads.h"

namespace vantor::KELOPluginSDK {
namespace {

TEST(PluginThreads, TryLockFailsWhileAnotherThreadHoldsTheMutex) {
  Mutex mutex("test");
  ASSERT_TRUE(mutex.isOk());
  EXPECT_EQ(mutex.name(), "test");
  ASSERT_TRUE(mutex.lock());
  bool taken = true;
  std::thread([&] { taken = mutex.tryLock(); }).join();
  EXPECT_FALSE(taken);
  EXPECT_TRUE(mutex.unlock());
  std::thread([&] {
    taken = mutex.tryLock();
    if (taken) mutex.unlock();
  }).join();
  EXPECT_TRUE(taken);
}

TEST(PluginThreads, MutexSerialisesWriters) {
  Mutex mutex("counter");
  long counter = 0;
  auto work = [&] {
    for (int i = 0; i < 20000; ++i) {
      mutex.lock();
      ++counter;
      mutex.unlock();
    }
  };
  std::thread a(work), b(work);
  a.join();
  b.join();
  EXPECT_EQ(counter, 40000);
}

struct Events {
  std::atomic<int> entered{0}, exited{0}, deleted{0};
  std::atomic<bool> release{false};
};

class Worker : public ThreadDetached {
 public:
  Worker(Events& events, bool wait) : ThreadDetached(false), m_events(events), m_wait(wait) {}
  ~Worker() override { m_events.deleted.fetch_add(1); }

 protected:
  int entry() override {
    m_events.entered.fetch_add(1);
    while (m_wait && !m_events.release.load()) sleep(1);
    return 0;
  }
  void onExit() override { m_events.exited.fetch_add(1); }

 private:
  Events& m_events;
  bool m_wait;
};

void waitFor(const std::atomic<int>& counter, int value) {
  while (counter.load() < value) std::this_thread::yield();
}

TEST(PluginThreads, DetachedThreadRunsOnceThenDeletesItself) {
  Events events;
  auto* worker = new Worker(events, true);
  EXPECT_EQ(worker->getId(), pthread_t{});
  EXPECT_EQ(worker->getPriority(), ThreadDetached::kDefaultPriority);
  ASSERT_TRUE(worker->run());
  EXPECT_NE(worker->getId(), pthread_t{});
  EXPECT_FALSE(worker->run());  // already started: no second thread
  events.release = true;
  waitFor(events.deleted, 1);
  EXPECT_EQ(events.entered.load(), 1);
  EXPECT_EQ(events.exited.load(), 1);
}

// Threads whose body returns at once delete their object while run may still be finishing;
// the start gate keeps that from touching freed memory (AddressSanitizer and ThreadSanitizer
// would report it).
TEST(PluginThreads, ShortLivedThreadsNeverOutliveRun) {
  Events events;
  constexpr int kThreads = 200;
  for (int i = 0; i < kThreads; ++i) {
    auto* worker = new Worker(events, false);
    worker->setPriority(100);
    ASSERT_TRUE(worker->run());
  }
  waitFor(events.deleted, kThreads);
  EXPECT_EQ(events.exited.load(), kThreads);
}

// A sleep of over a second (both parts of the request count) lasts its whole length even when
// a signal interrupts it; the id is the calling thread's, on any thread.
TEST(PluginThreads, SleepAndThreadId) {
  struct sigaction action {};
  action.sa_handler = [](int) {};
  sigemptyset(&action.sa_mask);
  struct sigaction previous {};
  ASSERT_EQ(sigaction(SIGUSR1, &action, &previous), 0);
  const pthread_t sleeper = pthread_self();
  std::thread interrupter([sleeper] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    pthread_kill(sleeper, SIGUSR1);
  });
  const auto start = std::chrono::steady_clock::now();
  sleep(1100);
  const auto slept = std::chrono::steady_clock::now() - start;
  interrupter.join();
  sigaction(SIGUSR1, &previous, nullptr);
  EXPECT_GE(slept, std::chrono::milliseconds(1100));

  pthread_t seen{}, self{};
  std::thread([&] {
    seen = ThreadGetCurrentId();
    self = pthread_self();
  }).join();
  EXPECT_TRUE(pthread_equal(seen, self));
  EXPECT_FALSE(pthread_equal(seen, ThreadGetCurrentId()));
  EXPECT_TRUE(pthread_equal(ThreadGetCurrentId(), pthread_self()));
}

}  // namespace
}  // namespace vantor::KELOPluginSDK
