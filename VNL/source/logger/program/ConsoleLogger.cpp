// Program form: standard output and error are pointed at the log file with dup2, and log lines
// go to standard output.
#include "VNL/source/ConsoleLogger.h"

#include <fcntl.h>
#include <stdio_ext.h>
#include <unistd.h>

#include <cstdio>
#include <iostream>

using vantor::LogLevel;

namespace {

// Everything buffered in C and C++ reaches the descriptors before they change.
void flushStandardStreams() {
  std::cout.flush();
  std::cerr.flush();
  std::fflush(stdout);
  std::fflush(stderr);
}

void writeAll(int fd, const char* bytes, size_t size) {
  while (size > 0) {
    const ssize_t written = ::write(fd, bytes, size);
    if (written <= 0) return;
    bytes += written;
    size -= static_cast<size_t>(written);
  }
}

}  // namespace

ConsoleLogger::ConsoleLogger() = default;

bool ConsoleLogger::init(const std::string& path) {
  m_path = path;
  const std::string stamp = vantor::logStamp(true);
  vantor::keepUnclosedLog(path, stamp);
  m_outputFile = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC, 0644);
  if (m_outputFile < 0) return true;

  flushStandardStreams();
  m_savedOutput = fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 0);
  m_savedError = fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 0);
  dup2(m_outputFile, STDOUT_FILENO);
  dup2(m_outputFile, STDERR_FILENO);
  // Whole lines reach the file as they are written, in step with stderr and write(2).
  m_savedOutputLineBuffered = __flbf(stdout) != 0;
  setvbuf(stdout, nullptr, _IOLBF, BUFSIZ);
  std::cout.clear();
  std::cerr.clear();
  m_savedLogDescriptor = vantor::logDescriptor();
  vantor::setLogDescriptor(STDOUT_FILENO);

  vantor::logLine(LogLevel::Info, nullptr, "%s opened on: %s BUILD:%s", m_path.c_str(),
                  stamp.c_str(), vantor::logBuildDate());
  vantor::logLine(LogLevel::Info, nullptr, "%s", vantor::kLogSeparator);
  return true;
}

bool ConsoleLogger::good() {
  return m_outputFile >= 0 && std::cout.good();
}

ConsoleLogger::~ConsoleLogger() {
  if (m_outputFile < 0) return;  // nothing was redirected
  const std::string stamp = vantor::logStamp(false);
  flushStandardStreams();
  vantor::logLine(LogLevel::Info, nullptr, "%s", vantor::kLogSeparator);
  vantor::logLine(LogLevel::Info, nullptr, "%s closed on: %s", m_path.c_str(), stamp.c_str());
  writeAll(STDOUT_FILENO, "@", 1);

  flushStandardStreams();
  vantor::setLogDescriptor(m_savedLogDescriptor);
  if (m_savedOutput >= 0) {
    dup2(m_savedOutput, STDOUT_FILENO);
    ::close(m_savedOutput);
  }
  if (m_savedError >= 0) {
    dup2(m_savedError, STDERR_FILENO);
    ::close(m_savedError);
  }
  setvbuf(stdout, nullptr, m_savedOutputLineBuffered ? _IOLBF : _IOFBF, BUFSIZ);
  ::close(m_outputFile);
  std::cout.clear();
  std::cerr.clear();
  clearerr(stdout);
  clearerr(stderr);
}
