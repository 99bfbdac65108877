// Error lines of the lock layer, outside the ThreadSanitizer build (which rightly reports the
// misuse provoked here).
#include <fcntl.h>
#include <unistd.h>

#include <regex>
#include <string>

#include <gtest/gtest.h>

#include "VNL/source/LogLine.h"
#include "VNL/source/Threads.h"
#include "tests/support/TempDir.h"

namespace {

TEST(MutexErrors, AFailingCallWritesItsNameNumberAndTheLockName) {
  kelo::test::TempDir dir;
  const std::string path = dir.file("log");
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  ASSERT_GE(fd, 0);
  vantor::setLogDescriptor(fd);
  {
    // A recursive mutex knows its owner, so unlocking it unheld fails with EPERM.
    vantor::MutexOLD mutex("psr", true);
    EXPECT_FALSE(mutex.unlock());
  }
  vantor::setLogDescriptor(-1);
  close(fd);
  EXPECT_TRUE(std::regex_match(kelo::test::readFile(path),
                               std::regex("E:[0-9]+:[0-9]+:pthread_mutex_unlock failed with 1 for psr\n")))
      << kelo::test::readFile(path);
}

}  // namespace
