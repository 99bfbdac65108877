// The owner of the process's log file. A deliverable creates one with `new` before its first
// line and deletes it after its last; in between every `logLine` of the process lands in the
// file. Two forms share this class and are chosen at link time:
//  - plug-in form (library vnl_logger_plugin): the file is the logger's own stream, published
//    as `g_pluginStream`, and its descriptor is the log descriptor;
//  - program form (library vnl_logger_program): the process's standard output and error are
//    pointed at the file with dup2, so C stdio, C++ streams and plain write(2) land there too,
//    and log lines go to standard output.
// The file opens with the path, " opened on: ", the stamp and " BUILD:" with the build date and a
// separator; it closes with a separator, the path, " closed on: " and the stamp, and a last "@"
// without a newline. A previous log whose last byte is not "@" is first kept under a dated name.
// A process keeps the lines it wrote: a plug-in's log opened again in the same process (its last
// instance gone, a new one made) continues after the earlier "@" on a line of its own.
// Main thread; the lines themselves may come from any thread.
#pragma once

#include <ostream>
#include <string>

#include "VNL/source/LogFile.h"

class ConsoleLogger {
 public:
  ConsoleLogger();
  virtual ~ConsoleLogger();
  ConsoleLogger(const ConsoleLogger&) = delete;
  ConsoleLogger& operator=(const ConsoleLogger&) = delete;

  /// Opens the log at `path`, truncating it; the plug-in form appends instead to a log an
  /// earlier logger of this process closed when nobody has written to it since. Plug-in form:
  /// true when the opening lines were written. Program form: always true; when the file cannot be opened the standard streams
  /// stay where they were.
  bool init(const std::string& path);
  /// True while the log has no error state.
  bool good();

 private:
  std::string m_path;
  // Program form only; the plug-in form's source leaves them alone.
  [[maybe_unused]] int m_savedOutput = -1;  // standard output and error before `init`
  [[maybe_unused]] int m_savedError = -1;
  [[maybe_unused]] int m_outputFile = -1;  // the log file
  [[maybe_unused]] int m_savedLogDescriptor = -1;
  [[maybe_unused]] bool m_savedOutputLineBuffered = false;
  vantor::LogDescriptorStream m_logStream;  // plug-in form: the log file
};

/// Plug-in form only: the stream of the logger most recently initialised, null before the first
/// `init` and after that logger has gone.
extern std::ostream* g_pluginStream;
