#include <pthread.h>

#include <atomic>
#include <cstdlib>
#include <mutex>
#include <thread>

#include <gtest/gtest.h>

#include "tests/support/realtime/RealtimeGuard.h"

namespace {

using kelo::test::RealtimeExemption;
using kelo::test::RealtimeRegion;

// Called through volatile pointers so that the compiler cannot drop an allocation it sees
// freed at once.
void* (*volatile g_malloc)(size_t) = std::malloc;
void* (*volatile g_calloc)(size_t, size_t) = std::calloc;
void* (*volatile g_realloc)(void*, size_t) = std::realloc;
void (*volatile g_free)(void*) = std::free;
void* (*volatile g_alignedAlloc)(size_t, size_t) = std::aligned_alloc;
int (*volatile g_posixMemalign)(void**, size_t, size_t) = posix_memalign;

void* volatile g_sink = nullptr;

struct GuardedCall {
  const char* name;
  void (*call)();
};

const GuardedCall kCalls[] = {
    {"malloc", [] { g_sink = g_malloc(16); }},
    {"calloc", [] { g_sink = g_calloc(4, 4); }},
    {"realloc", [] { g_sink = g_realloc(nullptr, 16); }},
    {"free",
     [] {
       g_free(g_sink);
       g_sink = nullptr;
     }},
    {"aligned_alloc", [] { g_sink = g_alignedAlloc(64, 64); }},
    {"posix_memalign",
     [] {
       void* p = nullptr;
       (void)g_posixMemalign(&p, 64, 64);
       g_sink = p;
     }},
    {"malloc", [] { g_sink = new int(3); }},  // operator new allocates through malloc
    {"pthread_mutex_lock",
     [] {
       static std::mutex mutex;
       mutex.lock();
       mutex.unlock();
     }},
};

TEST(RealtimeGuard, AbortsOnEachGuardedCallInsideARegion) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  for (const GuardedCall& c : kCalls) {
    g_sink = g_malloc(8);  // something for free to free
    EXPECT_DEATH(
        {
          RealtimeRegion region;
          c.call();
        },
        std::string("real-time guard: ") + c.name + " called inside a real-time region")
        << c.name;
    g_free(g_sink);
  }
}

TEST(RealtimeGuard, AllowsTheSameCallsOutsideRegionsAndUnderAnExemption) {
  for (const GuardedCall& c : kCalls) {
    g_sink = g_malloc(8);
    c.call();
    g_free(g_sink);
    g_sink = g_malloc(8);
    {
      RealtimeRegion region;
      // Deliberately exempted: this test checks that an exemption lets the call through.
      RealtimeExemption exemption("guard test");
      EXPECT_FALSE(kelo::test::realtimeGuardActive());
      c.call();
    }
    EXPECT_FALSE(kelo::test::realtimeGuardActive());
    g_free(g_sink);
    g_sink = nullptr;
  }
}

TEST(RealtimeGuard, AllowsTryLockInsideARegion) {
  std::mutex mutex;
  bool locked = false;
  {
    RealtimeRegion region;
    EXPECT_TRUE(kelo::test::realtimeGuardActive());
    locked = mutex.try_lock();
    if (locked) mutex.unlock();
  }
  EXPECT_TRUE(locked);
}

TEST(RealtimeGuard, MarksOnlyTheCallingThread) {
  std::atomic<bool> regionOpen{false};
  std::atomic<bool> otherDone{false};
  std::thread other([&] {
    while (!regionOpen.load()) std::this_thread::yield();
    g_free(g_malloc(32));  // another thread is real-time, this one is not
    otherDone.store(true);
  });
  {
    RealtimeRegion region;
    regionOpen.store(true);
    while (!otherDone.load()) {
    }
  }
  other.join();
  SUCCEED();
}

}  // namespace
