// Objects shared between threads: atomic reference counts, constants made on first use, and
// bundles loaded from several threads at once.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "platform/cf/CoreFoundation.h"

namespace {

TEST(Sharing, RetainAndReleaseFromManyThreadsBalance) {
  CFStringRef shared = kelo::cf::makeString("shared");
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([shared] {
      CFMutableArrayRef mine = CFArrayCreateMutable(nullptr, 0, &kCFTypeArrayCallBacks);
      for (int i = 0; i < 20000; ++i) {
        CFRetain(shared);
        CFArrayAppendValue(mine, shared);
        CFRelease(shared);
        if (i % 64 == 63) CFArrayRemoveAllValues(mine);
      }
      CFRelease(mine);
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(CFGetRetainCount(shared), 1);
  CFRelease(shared);
}

TEST(Sharing, ConstantsAndTheMainBundleAreMadeOnce) {
  std::vector<std::thread> threads;
  std::vector<CFStringRef> constants(8);
  std::vector<CFBundleRef> mains(8);
  for (int t = 0; t < 8; ++t)
    threads.emplace_back([&, t] {
      constants[t] = CFSTR("made once");
      mains[t] = CFBundleGetMainBundle();
    });
  for (auto& thread : threads) thread.join();
  for (int t = 1; t < 8; ++t) {
    EXPECT_EQ(constants[t], constants[0]);
    EXPECT_EQ(mains[t], mains[0]);
  }
}

TEST(Sharing, BundlesLoadFromSeveralThreads) {
  std::vector<std::thread> threads;
  std::vector<int> answers(4, 0);
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&answers, t] {
      const std::string path = KELO_TEST_BUNDLE_DIR;
      CFURLRef url = CFURLCreateFromFileSystemRepresentation(
          nullptr, reinterpret_cast<const UInt8*>(path.data()), static_cast<CFIndex>(path.size()), true);
      CFBundleRef bundle = CFBundleCreate(nullptr, url);
      auto answer = reinterpret_cast<int (*)(int)>(
          CFBundleGetFunctionPointerForName(bundle, CFSTR("keloTestAnswer")));
      answers[t] = answer ? answer(t) : -1;
      CFRelease(bundle);
      CFRelease(url);
    });
  for (auto& thread : threads) thread.join();
  for (int t = 0; t < 4; ++t) EXPECT_EQ(answers[t], 42 + 2 * t);
}

}  // namespace
