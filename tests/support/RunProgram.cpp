#include "tests/support/RunProgram.h"

#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

namespace kelo::test {

int runProgram(std::vector<std::string> arguments) {
  if (arguments.empty()) return -1;
  std::vector<char*> argv;
  for (std::string& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return -1;
  int status = 0;
  if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

}  // namespace kelo::test
