#include "VNL/source/LogFile.h"

#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>

#include "VNL/source/FileUtils.h"

namespace vantor {

std::string logStamp(bool forFileName) {
  const time_t now = time(nullptr);
  tm local{};
  localtime_r(&now, &local);
  char text[80] = {};
  if (asctime_r(&local, text) == nullptr) return std::string();
  text[78] = '\0';
  std::string stamp(text);
  if (!stamp.empty()) stamp.pop_back();  // asctime's newline
  if (forFileName)
    for (char& c : stamp)
      if (c == ':') c = '_';
  return stamp;
}

void keepUnclosedLog(const std::string& path, const std::string& stamp) {
  const std::uint64_t size = fileSize(path);
  if (size == 0) return;
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return;
  char last = 0;
  const ssize_t got = pread(fd, &last, 1, static_cast<off_t>(size - 1));
  ::close(fd);
  if (got == 1 && last == '@') return;
  PCopyFile(path, path + "_" + stamp + ".log", true);
}

const char* logBuildDate() { return __DATE__; }

LogDescriptorStream::LogDescriptorStream() : std::ostream(&m_buffer) {}

LogDescriptorStream::~LogDescriptorStream() { close(); }

bool LogDescriptorStream::open(const std::string& path, Opening opening) {
  close();
  clear();
  const int truncate = opening == Opening::Truncate ? O_TRUNC : 0;
  m_buffer.fd = ::open(path.c_str(), O_WRONLY | O_CREAT | truncate | O_APPEND | O_CLOEXEC, 0644);
  if (m_buffer.fd < 0) setstate(std::ios::failbit);
  return m_buffer.fd >= 0;
}

void LogDescriptorStream::close() {
  if (m_buffer.fd < 0) return;
  flush();
  if (::close(m_buffer.fd) != 0) setstate(std::ios::failbit);
  m_buffer.fd = -1;
}

void LogDescriptorStream::writeLine(LogLevel level, const char* format, ...) {
  char line[kLogLineCapacity];
  char text[kLogLineCapacity];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  const int n = formatLogLine(line, sizeof line, level, nullptr, "%s", text);
  write(line, n);
  flush();
}

LogDescriptorStream::Buffer::int_type LogDescriptorStream::Buffer::overflow(int_type c) {
  if (!drain()) return traits_type::eof();
  if (!traits_type::eq_int_type(c, traits_type::eof())) {
    *pptr() = traits_type::to_char_type(c);
    pbump(1);
  }
  return traits_type::not_eof(c);
}

int LogDescriptorStream::Buffer::sync() { return drain() ? 0 : -1; }

bool LogDescriptorStream::Buffer::drain() {
  const char* at = pbase();
  const char* end = pptr();
  setp(bytes, bytes + sizeof bytes);
  if (fd < 0) return at == end;
  while (at < end) {
    const ssize_t written = ::write(fd, at, static_cast<size_t>(end - at));
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    at += written;
  }
  return true;
}

}  // namespace vantor
