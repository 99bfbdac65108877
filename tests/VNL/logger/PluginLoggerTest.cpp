#include <sys/stat.h>

#include <dirent.h>

#include <memory>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "VNL/source/ConsoleLogger.h"
#include "VNL/source/LogLine.h"
#include "tests/support/TempDir.h"

namespace {

using kelo::test::readFile;
using kelo::test::TempDir;
using kelo::test::writeFile;

const std::string kLinePrefix = "I:[0-9]+:[0-9]+:";
const std::string kDashes(79, '-');
const std::string kWeekdayAndDate = "(Mon|Tue|Wed|Thu|Fri|Sat|Sun) [A-Z][a-z]{2} [ 1-3][0-9] ";
const std::string kBuildDate = "[A-Z][a-z]{2} [ 1-3][0-9] [0-9]{4}";

std::vector<std::string> keptCopies(const TempDir& dir) {
  std::vector<std::string> names;
  DIR* folder = opendir(dir.path().c_str());
  while (dirent* entry = readdir(folder)) {
    const std::string name = entry->d_name;
    if (name.rfind("plugin.log_", 0) == 0) names.push_back(name);
  }
  closedir(folder);
  return names;
}

/// The three opening lines and the two closing ones of the log at `path` (the closing ones end
/// before the "@").
std::string openingLines(const std::string& path) {
  return kLinePrefix + "g_pluginStream:0x[0-9a-f]+\n" +                                    //
         kLinePrefix + path + " opened on: " + kWeekdayAndDate + "[0-9]{2}_[0-9]{2}_[0-9]{2} " +
         "[0-9]{4} BUILD:" + kBuildDate + "\n" +                                           //
         kLinePrefix + kDashes + "\n";
}
std::string closingLines(const std::string& path) {
  return kLinePrefix + kDashes + "\n" +                                                    //
         kLinePrefix + path + " closed on: " + kWeekdayAndDate + "[0-9]{2}:[0-9]{2}:[0-9]{2} " +
         "[0-9]{4}\n";
}

TEST(PluginLogger, OpensAndClosesWithItsBannersAndEndsInAnAt) {
  TempDir dir;
  const std::string path = dir.file("plugin.log");
  auto* logger = new ConsoleLogger;
  ASSERT_TRUE(logger->init(path));
  EXPECT_TRUE(logger->good());
  ASSERT_NE(g_pluginStream, nullptr);
  PLOGW("between %d", 42);
  *g_pluginStream << "streamed\n" << std::flush;
  delete logger;
  EXPECT_EQ(g_pluginStream, nullptr);
  PLOGE("after the logger went");  // dropped

  const std::string expected = openingLines(path) + "W:[0-9]+:[0-9]+:between 42\n" +
                               "streamed\n" + closingLines(path) + "@";
  const std::string text = readFile(path);
  EXPECT_TRUE(std::regex_match(text, std::regex(expected))) << text;
  EXPECT_TRUE(keptCopies(dir).empty());
}

TEST(PluginLogger, KeepsACopyOnlyOfALogItsRunNeverClosed) {
  struct Case {
    const char* previous;  // null: no file
    bool kept;
  };
  const Case cases[] = {
      {nullptr, false}, {"", false}, {"I:1:2:closed\n@", false},
      {"I:1:2:crashed\n", true}, {"@x", true},
  };
  for (const auto& c : cases) {
    TempDir dir;
    const std::string path = dir.file("plugin.log");
    if (c.previous != nullptr) {
      ASSERT_TRUE(writeFile(path, c.previous));
    }
    {
      auto logger = std::make_unique<ConsoleLogger>();
      ASSERT_TRUE(logger->init(path));
      if (c.previous != nullptr && *c.previous != '\0') {
        EXPECT_EQ(readFile(path).find(c.previous), std::string::npos) << "the log is truncated";
      }
    }
    const auto copies = keptCopies(dir);
    if (!c.kept) {
      EXPECT_TRUE(copies.empty()) << (c.previous ? c.previous : "(none)");
      continue;
    }
    ASSERT_EQ(copies.size(), 1u) << c.previous;
    EXPECT_TRUE(std::regex_match(copies[0],
                                 std::regex("plugin\\.log_" + kWeekdayAndDate +
                                            "[0-9]{2}_[0-9]{2}_[0-9]{2} [0-9]{4}\\.log")))
        << copies[0];
    EXPECT_EQ(readFile(dir.file(copies[0])), c.previous);
  }
}

// A host that removes its last instance and adds one later opens the log again in one process.
TEST(PluginLogger, AProcessThatOpensItsLogAgainKeepsTheLinesItWrote) {
  TempDir dir;
  const std::string path = dir.file("plugin.log");
  const std::string earlierRun = "I:1:2:crashed\n";  // a run that never closed its log
  ASSERT_TRUE(writeFile(path, earlierRun));
  for (const char* text : {"first", "second"}) {
    auto logger = std::make_unique<ConsoleLogger>();
    ASSERT_TRUE(logger->init(path));
    PLOGI("%s", text);
  }
  const std::string expected = openingLines(path) + kLinePrefix + "first\n" + closingLines(path) +
                               "@\n" + openingLines(path) + kLinePrefix + "second\n" +
                               closingLines(path) + "@";
  const std::string text = readFile(path);
  EXPECT_TRUE(std::regex_match(text, std::regex(expected))) << text;
  const auto copies = keptCopies(dir);
  ASSERT_EQ(copies.size(), 1u);
  EXPECT_EQ(readFile(dir.file(copies[0])), earlierRun);

  // Written to by someone else since, the log is another run's: kept, then replaced.
  const std::string changed = text + "\nI:1:2:another run\n";
  ASSERT_TRUE(writeFile(path, changed));
  {
    auto logger = std::make_unique<ConsoleLogger>();
    ASSERT_TRUE(logger->init(path));
  }
  EXPECT_EQ(readFile(path).find("first"), std::string::npos);
  bool kept = false;
  for (const std::string& copy : keptCopies(dir))
    kept = kept || readFile(dir.file(copy)) == changed;
  EXPECT_TRUE(kept);
}

TEST(PluginLogger, ALogThatCannotBeOpenedDropsLinesAndSaysSo) {
  TempDir dir;
  auto* logger = new ConsoleLogger;
  EXPECT_FALSE(logger->init(dir.file("missing/folder/plugin.log")));
  EXPECT_FALSE(logger->good());
  EXPECT_NE(g_pluginStream, nullptr);
  EXPECT_EQ(vantor::logDescriptor(), -1);
  PLOGI("dropped");
  *g_pluginStream << "dropped too\n" << std::flush;
  delete logger;
  EXPECT_EQ(g_pluginStream, nullptr);
}

TEST(PluginLogger, EightThreadsWriteOnlyWholeLines) {
  TempDir dir;
  const std::string path = dir.file("plugin.log");
  auto* logger = new ConsoleLogger;
  ASSERT_TRUE(logger->init(path));
  constexpr int kThreads = 8;
  constexpr int kLines = 300;
  const std::string payload(200, 'y');
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([t, &payload] {
      for (int i = 0; i < kLines; ++i) PLOGI("t%d %d %s", t, i, payload.c_str());
    });
  for (auto& thread : threads) thread.join();
  delete logger;

  const std::string text = readFile(path);
  ASSERT_FALSE(text.empty());
  EXPECT_EQ(text.back(), '@');
  const std::regex line("I:[0-9]+:[0-9]+:t[0-7] [0-9]+ y{200}");
  int count = 0;
  std::size_t start = 0;
  for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
    const std::string one = text.substr(start, end - start);
    if (one.find(":t") == std::string::npos || one.find("yyy") == std::string::npos) continue;
    EXPECT_TRUE(std::regex_match(one, line)) << one;
    ++count;
  }
  EXPECT_EQ(count, kThreads * kLines);
}

}  // namespace
