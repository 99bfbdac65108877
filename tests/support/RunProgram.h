// Runs a program for a test, as a person would from a shell but without one.
#pragma once

#include <string>
#include <vector>

namespace kelo::test {

/// Runs `arguments` (the program's path first) with this process's environment, waits, and
/// answers its exit status; -1 when it could not start or did not exit normally.
int runProgram(std::vector<std::string> arguments);

}  // namespace kelo::test
