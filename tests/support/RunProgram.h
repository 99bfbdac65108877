// Runs a program of the build the way a person would, for tests of command-line tools.
#pragma once

#include <string>
#include <vector>

namespace kelo::test {

/// Starts `program` with `arguments` (no shell), waits for it and answers its exit status;
/// -1 when it could not be started or did not exit normally.
int runProgram(const std::string& program, const std::vector<std::string>& arguments);

}  // namespace kelo::test
