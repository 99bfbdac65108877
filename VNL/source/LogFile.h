// Pieces the two forms of the log file's owner (`ConsoleLogger`) share: the stamps, the kept
// copy of a log its run never closed, the build date, and a stream over the log's descriptor.
#pragma once

#include <ostream>
#include <streambuf>
#include <string>

#include "VNL/source/LogLine.h"

namespace vantor {

/// The local time in asctime form without its newline (24 characters); with `forFileName` every
/// ":" becomes "_", as in the opening line and a kept copy's name.
std::string logStamp(bool forFileName);

/// When the log at `path` is not empty and its last byte is not "@" (its run never closed it),
/// copies it to `path` + "_" + `stamp` + ".log", replacing a file of that name. A log that cannot
/// be opened is left alone; a failed copy is ignored.
void keepUnclosedLog(const std::string& path, const std::string& stamp);

/// The date the library was compiled, as "Feb 22 2022".
const char* logBuildDate();

/// An output stream over a file descriptor that writes what it holds with one write(2) at
/// every flush (and when its one-line buffer fills). One thread at a time; components log
/// through `logLine`, this stream carries the logger's own lines.
class LogDescriptorStream : public std::ostream {
 public:
  LogDescriptorStream();
  ~LogDescriptorStream() override;

  enum class Opening { Truncate, KeepContent };
  /// Opens `path` for appending, truncated unless told; false (and the fail state) when it
  /// cannot be.
  bool open(const std::string& path, Opening opening = Opening::Truncate);
  int descriptor() const { return m_buffer.fd; }
  /// Flushes and closes; a failed close sets the fail state.
  void close();

  /// Writes one log line (level, thread, time, text) followed by a flush.
  void writeLine(LogLevel level, const char* format, ...) __attribute__((format(printf, 3, 4)));

 private:
  struct Buffer : std::streambuf {
    int fd = -1;
    char bytes[kLogLineCapacity];
    Buffer() { setp(bytes, bytes + sizeof bytes); }
    int_type overflow(int_type c) override;
    int sync() override;
    bool drain();
  };
  Buffer m_buffer;
};

}  // namespace vantor
