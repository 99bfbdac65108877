#include <time.h>

#include <cstdint>
#include <regex>
#include <string>

#include <gtest/gtest.h>

#include "VNL/source/LogLine.h"

namespace {

// Each field read back from the line: level, thread as unsigned decimal, monotonic
// microseconds taken during the call, the object's address as 0x and lower-case hex, the text.
TEST(LogLine, FormatsLevelThreadTimeObjectAndText) {
  struct Case {
    vantor::LogLevel level;
    const char* letter;
    bool withObject;
  };
  const Case cases[] = {{vantor::LogLevel::Error, "E", true},
                        {vantor::LogLevel::Warning, "W", false},
                        {vantor::LogLevel::Info, "I", true}};
  const int object = 0;
  for (const Case& c : cases) {
    char line[256];
    const auto before = vantor::logTimeMicros();
    const int n = vantor::formatLogLine(line, sizeof line, c.level, c.withObject ? &object : nullptr,
                                        "failed %d", 7);
    const auto after = vantor::logTimeMicros();
    const std::string text(line, static_cast<size_t>(n));
    std::smatch field;
    ASSERT_TRUE(std::regex_match(
        text, field, std::regex("([IWE]):([1-9][0-9]*):([1-9][0-9]*|0):(0x[0-9a-f]+)?failed 7\n")))
        << text;
    EXPECT_EQ(field[1].str(), c.letter);
    EXPECT_EQ(std::stoull(field[2].str()), static_cast<unsigned long long>(pthread_self()));
    const auto stamp = std::stoull(field[3].str());
    EXPECT_GE(stamp, before);
    EXPECT_LE(stamp, after);
    if (c.withObject) {
      EXPECT_EQ(std::stoull(field[4].str(), nullptr, 16), reinterpret_cast<std::uintptr_t>(&object));
    } else {
      EXPECT_FALSE(field[4].matched) << text;
    }
  }
}

TEST(LogLine, TimeStampsAreMicrosecondsOfTheMonotonicClock) {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  const auto clock = static_cast<unsigned long long>(now.tv_sec) * 1000000ull +
                     static_cast<unsigned long long>(now.tv_nsec) / 1000ull;
  const auto stamp = vantor::logTimeMicros();
  EXPECT_GE(stamp, clock);
  EXPECT_LT(stamp - clock, 10'000'000ull);  // the same clock read later, not another one
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
