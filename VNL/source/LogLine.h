// The one log-line format of every deliverable, and the writer all components log through.
//
// A line is "I:", "W:" or "E:", the calling thread's id, ":", monotonic microseconds, ":",
// optionally the address of the object the line speaks for, then the text and a newline.
// Lines are formatted on the caller's stack and written with a single write(2) on the log
// descriptor, so any thread may log, render threads included: no lock, no allocation, and
// lines written at the same time never mix. Text beyond one line's buffer is cut.
#pragma once

#include <cstdint>

namespace vantor {

enum class LogLevel : char { Info = 'I', Warning = 'W', Error = 'E' };

/// Bytes of one formatted line, newline included; longer text is cut.
inline constexpr int kLogLineCapacity = 2048;

/// The 79 dashes of a separator line.
inline constexpr const char* kLogSeparator =
    "-------------------------------------------------------------------------------";

/// Descriptor every line goes to; -1 (the start value) drops lines. Any thread.
/// The log file's owner sets it when it opens the file and clears it before closing it.
void setLogDescriptor(int fd);
int logDescriptor();

/// Microseconds of the monotonic clock (never goes back).
std::uint64_t logTimeMicros();

/// Writes one line; `object` may be null. Any thread; real-time safe.
void logLine(LogLevel level, const void* object, const char* format, ...)
    __attribute__((format(printf, 3, 4)));

/// Formats one line into `out` (capacity `size` >= 2) without writing it; returns its length.
int formatLogLine(char* out, int size, LogLevel level, const void* object, const char* format,
                  ...) __attribute__((format(printf, 5, 6)));

}  // namespace vantor

#define PLOGI(...) ::vantor::logLine(::vantor::LogLevel::Info, nullptr, __VA_ARGS__)
#define PLOGW(...) ::vantor::logLine(::vantor::LogLevel::Warning, nullptr, __VA_ARGS__)
#define PLOGE(...) ::vantor::logLine(::vantor::LogLevel::Error, nullptr, __VA_ARGS__)
