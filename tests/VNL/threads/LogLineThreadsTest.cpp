#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "VNL/source/LogLine.h"
#include "tests/support/LogCapture.h"

namespace {

TEST(LogLine, LinesFromEightThreadsComeOutWholeAndInFormat) {
  kelo::test::LogCapture log;
  ASSERT_TRUE(log.ok());

  constexpr int kThreads = 8;
  constexpr int kLines = 500;
  const std::string payload(300, 'x');  // long enough for interleaving to show
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t, &payload] {
      for (int i = 0; i < kLines; ++i)
        vantor::logLine(vantor::LogLevel::Warning, &payload, "thread %d line %d %s", t, i,
                        payload.c_str());
    });
  }
  for (auto& thread : threads) thread.join();

  const std::regex line("W:[0-9]+:[1-9][0-9]*:0x[0-9a-f]+thread ([0-7]) line ([0-9]+) x{300}");
  std::istringstream in(log.text());
  std::vector<int> next(kThreads, 0);
  int count = 0;
  for (std::string text; std::getline(in, text); ++count) {
    std::smatch m;
    ASSERT_TRUE(std::regex_match(text, m, line)) << text;
    const int t = std::stoi(m[1]);
    EXPECT_EQ(std::stoi(m[2]), next[t]++) << "lines of one thread keep their order";
  }
  EXPECT_EQ(count, kThreads * kLines);
}

}  // namespace
