#include "tests/support/RunProgram.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

extern char** environ;

namespace kelo::test {

namespace {

// `errorFile` >= 0: the program's standard error goes there.
ProgramRun spawnAndCollect(const std::string& program, const std::vector<std::string>& arguments,
                           int errorFile) {
  ProgramRun run;
  int pipeEnds[2];
  if (::pipe2(pipeEnds, O_CLOEXEC) != 0) return run;
  std::vector<std::string> words = arguments;
  words.insert(words.begin(), program);
  std::vector<char*> pointers;
  for (std::string& word : words) pointers.push_back(word.data());
  pointers.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], 1);
  if (errorFile >= 0) posix_spawn_file_actions_adddup2(&actions, errorFile, 2);
  pid_t pid = -1;
  const int spawned = posix_spawnp(&pid, pointers[0], &actions, nullptr, pointers.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(pipeEnds[1]);
  if (spawned == 0) {
    char buffer[64 * 1024];
    for (;;) {
      const ssize_t got = ::read(pipeEnds[0], buffer, sizeof buffer);
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) break;
      run.out.append(buffer, static_cast<std::size_t>(got));
    }
  }
  ::close(pipeEnds[0]);
  if (spawned != 0) return run;
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (WIFEXITED(status)) run.status = WEXITSTATUS(status);
  return run;
}

}  // namespace

ProgramRun runProgram(const std::string& program, const std::vector<std::string>& arguments) {
  return spawnAndCollect(program, arguments, -1);
}

ProgramRun runProgram(const std::string& program, const std::vector<std::string>& arguments,
                      std::string& errors) {
  errors.clear();
  std::FILE* file = std::tmpfile();
  if (file == nullptr) return {};
  const ProgramRun run = spawnAndCollect(program, arguments, ::fileno(file));
  std::rewind(file);
  char buffer[4096];
  std::size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) errors.append(buffer, got);
  std::fclose(file);
  return run;
}

}  // namespace kelo::test
