// Runs a piece of a test in a child process with a time limit, so that a call that blocks for
// ever (an open of a FIFO, a lock never released) fails the test instead of hanging it.
#pragma once

#include <chrono>
#include <functional>
#include <string>

namespace kelo::test {

/// What `textFromChild` answers when the child did not finish in time (it is then killed).
inline constexpr const char* kChildHung = "<hung>";

/// Runs `work` in a forked child and answers the text it returned; `kChildHung` when the child
/// has not finished within `limit`. The child ends with _exit (no destructors, no leak check).
std::string textFromChild(const std::function<std::string()>& work,
                          std::chrono::milliseconds limit = std::chrono::seconds(10));

}  // namespace kelo::test
