// Runs a program of the build, as a person would from a shell, and waits for it.
#pragma once

#include <string>
#include <vector>

namespace kelo::test {

/// Spawns arguments[0] (a path) with the rest as its arguments and this environment; its exit
/// status, or -1 when it could not be started or did not exit normally.
int runProgram(std::vector<std::string> arguments);

}  // namespace kelo::test
