// Runs a program for a test the way a person would from a shell, but without one: the build's
// own tools, and independent ones (tar, gzip, md5sum) that judge what our code wrote.
#pragma once

#include <string>
#include <vector>

namespace kelo::test {

struct ProgramRun {
  int status = -1;  // exit status; -1 when it could not start or did not exit normally
  std::string out;  // everything it wrote on its standard output
};

/// Starts `program` (looked up on PATH unless it holds a "/") with `arguments` and this
/// process's environment, collects its standard output and waits for it. Standard error goes
/// to the test's own.
ProgramRun runProgram(const std::string& program, const std::vector<std::string>& arguments);
/// The same, with its standard error collected into `errors` instead.
ProgramRun runProgram(const std::string& program, const std::vector<std::string>& arguments,
                      std::string& errors);

}  // namespace kelo::test
