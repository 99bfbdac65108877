// The program form takes over the process's standard output and error, so each case runs the
// logger in a child whose own standard streams are a pipe the test reads.
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <iostream>
#include <regex>
#include <string>

#include <gtest/gtest.h>

#include "VNL/source/ConsoleLogger.h"
#include "VNL/source/LogLine.h"
#include "tests/support/TempDir.h"

namespace {

using kelo::test::readFile;
using kelo::test::TempDir;

// Runs `body` in a child with stdout and stderr on one pipe; returns what reached the pipe.
std::string runInChild(const std::function<int()>& body) {
  int pipeEnds[2];
  if (pipe(pipeEnds) != 0) return "pipe failed";
  std::fflush(nullptr);
  const pid_t child = fork();
  if (child == 0) {
    close(pipeEnds[0]);
    dup2(pipeEnds[1], STDOUT_FILENO);
    dup2(pipeEnds[1], STDERR_FILENO);
    close(pipeEnds[1]);
    setvbuf(stdout, nullptr, _IOFBF, BUFSIZ);
    const int status = body();
    std::fflush(nullptr);
    _exit(status);
  }
  close(pipeEnds[1]);
  std::string out;
  char bytes[4096];
  for (ssize_t n; (n = read(pipeEnds[0], bytes, sizeof bytes)) > 0;) out.append(bytes, n);
  close(pipeEnds[0]);
  int status = 0;
  waitpid(child, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) out += "[child failed]";
  return out;
}

TEST(ProgramLogger, CapturesStdioStreamsAndWritesInOrderThenGivesThemBack) {
  TempDir dir;
  const std::string path = dir.file("program.log");
  const std::string outside = runInChild([&] {
    std::printf("before\n");
    auto* logger = new ConsoleLogger;
    if (!logger->init(path)) return 1;
    std::printf("printf %d\n", 1);
    std::cerr << "cerr 2" << std::endl;
    if (write(STDOUT_FILENO, "write 3\n", 8) != 8) return 2;
    std::cout << "cout 4\n";
    PLOGI("log 5");
    std::fprintf(stderr, "stderr 6\n");
    delete logger;
    std::printf("after\n");
    std::cerr << "after cerr" << std::endl;
    return 0;
  });
  EXPECT_EQ(outside, "before\nafter\nafter cerr\n");

  const std::string stamp = "[A-Z][a-z]{2} [A-Z][a-z]{2} [ 1-3][0-9] ";
  const std::string expected =
      "I:[0-9]+:[0-9]+:" + path + " opened on: " + stamp +
      "[0-9]{2}_[0-9]{2}_[0-9]{2} [0-9]{4} BUILD:[A-Z][a-z]{2} [ 1-3][0-9] [0-9]{4}\n"
      "I:[0-9]+:[0-9]+:-{79}\n"
      "printf 1\ncerr 2\nwrite 3\ncout 4\nI:[0-9]+:[0-9]+:log 5\nstderr 6\n"
      "I:[0-9]+:[0-9]+:-{79}\n"
      "I:[0-9]+:[0-9]+:" + path + " closed on: " + stamp + "[0-9]{2}:[0-9]{2}:[0-9]{2} [0-9]{4}\n@";
  const std::string text = readFile(path);
  EXPECT_TRUE(std::regex_match(text, std::regex(expected))) << text;
}

TEST(ProgramLogger, AnUnopenableFileLeavesTheStreamsWhereTheyWere) {
  TempDir dir;
  const std::string outside = runInChild([&] {
    auto* logger = new ConsoleLogger;
    if (!logger->init(dir.file("no/such/folder/program.log"))) return 1;
    std::printf("still here\n");
    std::cerr << "and here" << std::endl;
    delete logger;
    return 0;
  });
  EXPECT_EQ(outside, "still here\nand here\n");
}

TEST(ProgramLogger, KeepsACopyOfAnUnclosedPreviousLog) {
  TempDir dir;
  const std::string path = dir.file("program.log");
  ASSERT_TRUE(kelo::test::writeFile(path, "I:1:1:unfinished\n"));
  const std::string outside = runInChild([&] {
    auto* logger = new ConsoleLogger;
    logger->init(path);
    delete logger;
    return 0;
  });
  EXPECT_EQ(outside, "");
  EXPECT_EQ(readFile(path).back(), '@');
  EXPECT_EQ(system(("ls '" + dir.path() + "' | grep -q '^program.log_.*\\.log$'").c_str()), 0);
}

}  // namespace
