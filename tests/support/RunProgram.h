// Runs a program found on PATH (no shell) and collects its standard output, for tests that let
// an independent tool (tar, gzip, md5sum) judge what our code wrote.
#pragma once

#include <string>
#include <vector>

namespace kelo::test {

struct ProgramRun {
  int status = -1;  // exit status; -1 when it could not start or did not exit normally
  std::string out;
};

/// `argv[0]` is looked up on PATH; standard error goes to the test's own.
ProgramRun runProgram(const std::vector<std::string>& argv);

}  // namespace kelo::test
