// Error lines of the lock layer, outside the ThreadSanitizer build (which rightly reports the
// misuse provoked here).
#include <regex>
#include <string>

#include <gtest/gtest.h>

#include "VNL/source/Threads.h"
#include "tests/support/LogCapture.h"

namespace {

TEST(MutexErrors, AFailingCallWritesItsNameNumberAndTheLockName) {
  kelo::test::LogCapture log;
  ASSERT_TRUE(log.ok());
  {
    // A recursive mutex knows its owner, so unlocking it unheld fails with EPERM.
    vantor::MutexOLD mutex("psr", true);
    EXPECT_FALSE(mutex.unlock());
  }
  EXPECT_TRUE(std::regex_match(log.text(),
                               std::regex("E:[0-9]+:[0-9]+:pthread_mutex_unlock failed with 1 for psr\n")))
      << log.text();
}

}  // namespace
