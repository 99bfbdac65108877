#include <string>

#include <gtest/gtest.h>

#include "VNL/source/LogLine.h"

namespace {

TEST(LogLine, FormatsLevelThreadTimeObjectAndText) {
  char line[256];
  const int object = 0;
  const int n = vantor::formatLogLine(line, sizeof line, vantor::LogLevel::Error, &object,
                                      "failed %d", 7);
  const std::string text(line, static_cast<size_t>(n));
  char expectedPrefix[64];
  std::snprintf(expectedPrefix, sizeof expectedPrefix, "E:%lu:",
                static_cast<unsigned long>(pthread_self()));
  EXPECT_EQ(text.rfind(expectedPrefix, 0), 0u) << text;
  char expectedTail[64];
  std::snprintf(expectedTail, sizeof expectedTail, ":%pfailed 7\n", static_cast<const void*>(&object));
  EXPECT_NE(text.find(expectedTail), std::string::npos) << text;
}

TEST(LogLine, CutsLongTextButStillEndsTheLine) {
  char line[32];
  const std::string longText(100, 'y');
  const int n = vantor::formatLogLine(line, sizeof line, vantor::LogLevel::Info, nullptr, "%s",
                                      longText.c_str());
  EXPECT_EQ(n, 32);
  EXPECT_EQ(line[31], '\n');
}

TEST(LogLine, TimeNeverGoesBack) {
  auto previous = vantor::logTimeMicros();
  for (int i = 0; i < 1000; ++i) {
    const auto now = vantor::logTimeMicros();
    EXPECT_GE(now, previous);
    previous = now;
  }
}

}  // namespace
