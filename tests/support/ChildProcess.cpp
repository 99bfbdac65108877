#include "tests/support/ChildProcess.h"

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

namespace kelo::test {

std::string textFromChild(const std::function<std::string()>& work,
                          std::chrono::milliseconds limit) {
  int ends[2];
  if (pipe(ends) != 0) return "<no pipe>";
  const pid_t child = fork();
  if (child < 0) {
    close(ends[0]);
    close(ends[1]);
    return "<no fork>";
  }
  if (child == 0) {
    close(ends[0]);
    const std::string text = work();
    for (std::size_t at = 0; at < text.size();) {
      const ssize_t n = write(ends[1], text.data() + at, text.size() - at);
      if (n <= 0) break;
      at += static_cast<std::size_t>(n);
    }
    _exit(0);
  }
  close(ends[1]);
  std::string text;
  bool hung = false;
  const auto deadline = std::chrono::steady_clock::now() + limit;
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    pollfd from{ends[0], POLLIN, 0};
    if (left.count() <= 0 || poll(&from, 1, static_cast<int>(left.count())) <= 0) {
      hung = true;
      break;
    }
    char buffer[512];
    const ssize_t n = read(ends[0], buffer, sizeof buffer);
    if (n <= 0) break;
    text.append(buffer, static_cast<std::size_t>(n));
  }
  close(ends[0]);
  if (hung) kill(child, SIGKILL);
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  return hung ? kChildHung : text;
}

}  // namespace kelo::test
