// Sends the process's log lines to a temporary file for the object's lifetime, then gives the
// log back the descriptor it had. Header-only: a program that uses it links the common
// library (vnl) itself, and kelo_test_support stays free of it.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "VNL/source/LogLine.h"
#include "tests/support/TempDir.h"

namespace kelo::test {

/// What a plug-in's log holds since it last opened: a log one process opens again continues
/// after the earlier closing "@" on a line of its own.
inline std::string sinceLastOpening(const std::string& all) {
  const std::size_t reopened = all.rfind("\n@\n");
  return reopened == std::string::npos ? all : all.substr(reopened + 3);
}

/// The texts of the lines of `level` ('I', 'W' or 'E') in a log's contents: what follows
/// "<level>:<thread>:<microseconds>:", in the order written.
inline std::vector<std::string> logLineTexts(const std::string& all, char level) {
  std::vector<std::string> out;
  for (std::size_t start = 0; start < all.size();) {
    std::size_t end = all.find('\n', start);
    if (end == std::string::npos) end = all.size();
    const std::string line = all.substr(start, end - start);
    start = end + 1;
    if (line.size() < 2 || line[0] != level || line[1] != ':') continue;
    const std::size_t afterThread = line.find(':', 2);
    const std::size_t afterTime =
        afterThread == std::string::npos ? afterThread : line.find(':', afterThread + 1);
    if (afterTime != std::string::npos) out.push_back(line.substr(afterTime + 1));
  }
  return out;
}

class LogCapture {
 public:
  LogCapture() : m_path(m_dir.file("log")), m_previous(vantor::logDescriptor()) {
    m_fd = ::open(m_path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    vantor::setLogDescriptor(m_fd);
  }
  ~LogCapture() {
    vantor::setLogDescriptor(m_previous);
    if (m_fd >= 0) ::close(m_fd);
  }
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;

  /// False when the file could not be opened (nothing is captured then).
  bool ok() const { return m_fd >= 0; }
  /// Everything written so far, as it stands in the file.
  std::string text() const { return readFile(m_path); }

  /// The texts of the lines of `level` ('I', 'W' or 'E'), as logLineTexts gives them.
  std::vector<std::string> texts(char level) const { return logLineTexts(text(), level); }

  /// True when a line of `level` holds `fragment`.
  bool has(char level, const std::string& fragment) const {
    for (const std::string& line : texts(level))
      if (line.find(fragment) != std::string::npos) return true;
    return false;
  }

 private:
  TempDir m_dir;
  std::string m_path;
  int m_previous;
  int m_fd = -1;
};

}  // namespace kelo::test
