#include "tests/support/ScopedLocale.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <clocale>
#include <cstdlib>

#include "tests/support/TempDir.h"

extern char** environ;

namespace kelo::test {
namespace {

// localedef reports warnings with a non-zero status, so success is the compiled folder.
bool compileLocale(const std::string& source, const std::string& charset,
                   const std::string& target) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  std::string input = source;
  std::string encoding = charset;
  std::string output = target;
  char program[] = "localedef";
  char inputFlag[] = "-i";
  char charsetFlag[] = "-f";
  char* argv[] = {program, inputFlag, input.data(), charsetFlag, encoding.data(), output.data(),
                  nullptr};
  pid_t pid = -1;
  const int spawned = posix_spawnp(&pid, "localedef", &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return false;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
  }
  struct stat info {};
  return stat((target + "/LC_CTYPE").c_str(), &info) == 0;
}

}  // namespace

ScopedLocale::ScopedLocale(int category, const std::string& source, const std::string& charset)
    : m_category(category), m_dir(std::make_unique<TempDir>()) {
  const char* previous = std::setlocale(category, nullptr);
  m_previousLocale = previous != nullptr ? previous : "C";
  if (const char* locPath = std::getenv("LOCPATH")) {
    m_hadLocPath = true;
    m_previousLocPath = locPath;
  }
  const std::string name = source + "." + charset;
  if (!compileLocale(source, charset, m_dir->file(name))) return;
  setenv("LOCPATH", m_dir->path().c_str(), 1);
  m_active = std::setlocale(category, name.c_str()) != nullptr;
}

ScopedLocale::~ScopedLocale() {
  std::setlocale(m_category, m_previousLocale.c_str());
  if (m_hadLocPath) {
    setenv("LOCPATH", m_previousLocPath.c_str(), 1);
  } else {
    unsetenv("LOCPATH");
  }
}

}  // namespace kelo::test
