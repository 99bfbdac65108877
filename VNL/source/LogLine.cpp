#include "VNL/source/LogLine.h"

#include <pthread.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdio>

namespace vantor {
namespace {

std::atomic<int> g_logDescriptor{-1};

int vformatLine(char* out, int size, LogLevel level, const void* object, const char* format,
                va_list args) {
  // Keep room for the newline: a cut line still ends the line.
  const int room = size - 1;
  int n = std::snprintf(out, static_cast<size_t>(room) + 1, "%c:%lu:%llu:", static_cast<char>(level),
                        static_cast<unsigned long>(pthread_self()),
                        static_cast<unsigned long long>(logTimeMicros()));
  if (n < 0) n = 0;
  if (n > room) n = room;
  if (object != nullptr && n < room) {
    int m = std::snprintf(out + n, static_cast<size_t>(room - n) + 1, "%p", object);
    if (m > 0) n += (m > room - n) ? room - n : m;
  }
  if (n < room) {
    int m = std::vsnprintf(out + n, static_cast<size_t>(room - n) + 1, format, args);
    if (m > 0) n += (m > room - n) ? room - n : m;
  }
  out[n++] = '\n';
  return n;
}

}  // namespace

void setLogDescriptor(int fd) { g_logDescriptor.store(fd, std::memory_order_release); }

int logDescriptor() { return g_logDescriptor.load(std::memory_order_acquire); }

std::uint64_t logTimeMicros() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  const auto nanos = static_cast<std::uint64_t>(now.tv_sec) * 1000000000u +
                     static_cast<std::uint64_t>(now.tv_nsec);
  return nanos / 1000u;
}

int formatLogLine(char* out, int size, LogLevel level, const void* object, const char* format,
                  ...) {
  va_list args;
  va_start(args, format);
  const int n = vformatLine(out, size, level, object, format, args);
  va_end(args);
  return n;
}

void logLine(LogLevel level, const void* object, const char* format, ...) {
  const int fd = logDescriptor();
  if (fd < 0) return;
  const int savedErrno = errno;  // callers log between a failing call and reading errno
  char line[kLogLineCapacity];
  va_list args;
  va_start(args, format);
  const int n = vformatLine(line, sizeof line, level, object, format, args);
  va_end(args);
  // One write: with O_APPEND (or a pipe) concurrent lines never interleave.
  ssize_t written;
  do {
    written = ::write(fd, line, static_cast<size_t>(n));
  } while (written < 0 && errno == EINTR);
  errno = savedErrno;
}

}  // namespace vantor
