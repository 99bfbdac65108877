// Helpers of the back end's tests: log lines captured into a temporary file, MIDI files
// written from the test writer, events as readable tuples.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <string>
#include <tuple>
#include <vector>

#include "VNL/source/LogLine.h"
#include "VNL/source/MIDIEvent.h"
#include "tests/support/TempDir.h"

namespace kelo::test {

/// Sends every log line to a temporary file for the object's lifetime.
class LogCapture {
 public:
  LogCapture() : m_path(m_dir.file("log")) {
    m_fd = ::open(m_path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    vantor::setLogDescriptor(m_fd);
  }
  ~LogCapture() {
    vantor::setLogDescriptor(-1);
    if (m_fd >= 0) ::close(m_fd);
  }
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;

  std::string text() const { return readFile(m_path); }
  /// True when a line of `level` ('I', 'W', 'E') contains `fragment`.
  bool has(char level, const std::string& fragment) const {
    const std::string all = text();
    std::size_t start = 0;
    while (start < all.size()) {
      std::size_t end = all.find('\n', start);
      if (end == std::string::npos) end = all.size();
      const std::string line = all.substr(start, end - start);
      if (!line.empty() && line[0] == level && line.find(fragment) != std::string::npos) {
        return true;
      }
      start = end + 1;
    }
    return false;
  }

 private:
  TempDir m_dir;
  std::string m_path;
  int m_fd = -1;
};

/// status, data 1, data 2, frame offset
using EventTuple = std::tuple<int, int, int, int>;

inline std::vector<EventTuple> tuplesOf(const std::vector<vantor::MIDIEvent>& events) {
  std::vector<EventTuple> out;
  for (const auto& e : events) out.emplace_back(e.bytes[0], e.bytes[1], e.bytes[2], e.frameOffset);
  return out;
}

}  // namespace kelo::test
