#include "VNL/source/Threads.h"

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "VNL/source/LogLine.h"
#include "tests/support/LogCapture.h"

namespace {

using vantor::Condition;
using vantor::MutexOLD;
using vantor::Semaphore;
using vantor::ThreadDetached;

TEST(ThreadPriority, IsTheShareOfTheRangeTruncated) {
  struct Case {
    int minimum, maximum;
    unsigned percent;
    int expected;
  };
  const Case cases[] = {
      {15, 47, 60, 34}, {15, 47, 0, 15}, {15, 47, 100, 47}, {1, 99, 80, 79},
      {1, 99, 60, 59},  {0, 0, 60, 0},   {1, 99, 250, 99},  {1, 99, 0xFFFFFFFFu, 99},
  };
  for (const auto& c : cases)
    EXPECT_EQ(vantor::threadPriorityFor(c.minimum, c.maximum, c.percent), c.expected)
        << c.minimum << ".." << c.maximum << " at " << c.percent << "%";
}

TEST(Mutex, TryLockOnAMutexHeldElsewhereFailsQuietly) {
  kelo::test::LogCapture log;
  MutexOLD mutex("held", false);
  ASSERT_TRUE(mutex.isOk());
  ASSERT_TRUE(mutex.lock());
  bool taken = true;
  std::thread other([&] { taken = mutex.tryLock(); });
  other.join();
  EXPECT_FALSE(taken);
  EXPECT_TRUE(mutex.unlock());
  EXPECT_EQ(log.text(), "");
}

TEST(Mutex, RecursiveMutexIsTakenAgainByItsHolder) {
  MutexOLD mutex("again", true);
  ASSERT_TRUE(mutex.lock());
  EXPECT_TRUE(mutex.lock());
  EXPECT_TRUE(mutex.tryLock());
  EXPECT_TRUE(mutex.unlock());
  EXPECT_TRUE(mutex.unlock());
  EXPECT_TRUE(mutex.unlock());
}

TEST(Condition, TimedWaitRunsOutQuietlyAndSignalWakes) {
  kelo::test::LogCapture log;
  Condition condition("cond");
  ASSERT_TRUE(condition.lock());
  EXPECT_FALSE(condition.waitFor(1));
  EXPECT_FALSE(condition.waitFor(0));
  ASSERT_TRUE(condition.unlock());
  EXPECT_EQ(log.text(), "");

  bool ready = false;
  std::thread signaller([&] {
    condition.lock();
    ready = true;
    condition.signal();
    condition.unlock();
  });
  ASSERT_TRUE(condition.lock());
  while (!ready) ASSERT_TRUE(condition.waitFor(60000));
  condition.unlock();
  signaller.join();
}

TEST(Semaphore, PostStopsAtANonZeroMaximum) {
  Semaphore bounded("bounded", 0, 2);
  EXPECT_TRUE(bounded.post());
  EXPECT_TRUE(bounded.post());
  EXPECT_FALSE(bounded.post());
  EXPECT_TRUE(bounded.tryWait());
  EXPECT_TRUE(bounded.tryWait());
  EXPECT_FALSE(bounded.tryWait());

  Semaphore unbounded("unbounded", 3, 0);
  for (int i = 0; i < 100; ++i) EXPECT_TRUE(unbounded.post());
  int units = 0;
  while (unbounded.tryWait()) ++units;
  EXPECT_EQ(units, 103);
}

TEST(Semaphore, WaitTimeoutRunsOutWithoutAPost) {
  kelo::test::LogCapture log;
  Semaphore empty("empty", 0, 1);
  EXPECT_FALSE(empty.waitTimeout(20));
  EXPECT_FALSE(empty.waitTimeout(0));
  EXPECT_EQ(log.text(), "");
}

TEST(Semaphore, UnitsPostedByOneThreadAreTakenByAnother) {
  Semaphore units("units", 0, 0);
  constexpr int kUnits = 2000;
  std::thread poster([&] {
    for (int i = 0; i < kUnits; ++i) units.post();
  });
  int taken = 0;
  for (int i = 0; i < kUnits / 2; ++i) taken += units.semaWait();
  for (int i = 0; i < kUnits / 2; ++i) taken += units.waitTimeout(60000);
  poster.join();
  EXPECT_EQ(taken, kUnits);
  EXPECT_FALSE(units.tryWait());
}

// A thread that records what happens to it and waits for the test's go before finishing.
class Probe : public ThreadDetached {
 public:
  struct Record {
    std::mutex mutex;
    std::vector<std::string> events;
    pthread_t idSeen = 0;
    pthread_t selfSeen = 0;
    void add(const std::string& event) {
      std::lock_guard<std::mutex> hold(mutex);
      events.push_back(event);
    }
  };

  Probe(Record& record, Semaphore& go, Semaphore& gone)
      : ThreadDetached(false), m_record(record), m_go(go), m_gone(gone) {}
  ~Probe() override {
    m_record.add("deleted");
    m_gone.post();
  }
  void* entry() override {
    {
      std::lock_guard<std::mutex> hold(m_record.mutex);
      m_record.idSeen = getId();
      m_record.selfSeen = vantor::ThreadGetCurrentId();
    }
    m_record.add("entry");
    m_go.semaWait();
    return nullptr;
  }
  void onExit() override { m_record.add("exit"); }

 private:
  Record& m_record;
  Semaphore& m_go;
  Semaphore& m_gone;
};

TEST(ThreadDetached, RunsOnceThenDeletesItself) {
  Probe::Record record;
  Semaphore go("go", 0, 0);
  Semaphore gone("gone", 0, 0);
  auto* probe = new Probe(record, go, gone);
  probe->setPriority(60);
  EXPECT_EQ(probe->getId(), pthread_t{0});
  ASSERT_TRUE(probe->run());
  // The thread waits for `go`, so the object is still alive here.
  EXPECT_FALSE(probe->run());
  go.post();
  ASSERT_TRUE(gone.semaWait());

  std::lock_guard<std::mutex> hold(record.mutex);
  EXPECT_EQ(record.events, (std::vector<std::string>{"entry", "exit", "deleted"}));
  EXPECT_EQ(record.idSeen, record.selfSeen);
}

// A thread with nothing to do deletes itself at once, racing `run`: the start gate keeps
// `run` safe, which the sanitizers check.
class Quick : public ThreadDetached {
 public:
  explicit Quick(std::atomic<int>& done, bool realtime = false)
      : ThreadDetached(realtime), m_done(done) {}
  ~Quick() override { m_done.fetch_add(1); }
  void* entry() override { return nullptr; }

 private:
  std::atomic<int>& m_done;
};

TEST(ThreadDetached, ManyShortThreadsAllDeleteThemselves) {
  std::atomic<int> done{0};
  constexpr int kThreads = 64;
  for (int i = 0; i < kThreads; ++i) {
    auto* quick = new Quick(done);
    quick->setPriority(static_cast<unsigned>(i));
    ASSERT_TRUE(quick->run());
  }
  while (done.load() < kThreads) std::this_thread::yield();
  EXPECT_EQ(done.load(), kThreads);
}

TEST(ThreadDetached, RealtimeRequestStillStartsTheThread) {
  // A user without real-time rights still gets a thread (with inherited scheduling).
  std::atomic<int> done{0};
  auto* realtime = new Quick(done, true);
  realtime->setPriority(80);
  ASSERT_TRUE(realtime->run());
  while (done.load() < 1) std::this_thread::yield();
}

}  // namespace
