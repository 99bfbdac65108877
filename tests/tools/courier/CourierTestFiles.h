// Small makers of test files shared by the courier tests.
#pragma once

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <random>
#include <set>
#include <string>

namespace kelo::test {

/// `size` bytes: random when `seed` is non-zero, else a repeating printable pattern.
inline std::string makeBytes(std::size_t size, unsigned seed = 0) {
  std::string bytes(size, '\0');
  std::mt19937 random(seed);
  for (std::size_t i = 0; i < size; ++i)
    bytes[i] = static_cast<char>(seed != 0 ? random() & 0xFF : 'a' + i % 26);
  return bytes;
}

/// Sets the file's modification time; false when the file system does not keep that time.
inline bool setModificationTime(const std::string& path, std::int64_t seconds) {
  const struct timespec times[2] = {{static_cast<time_t>(seconds), 0}, {static_cast<time_t>(seconds), 0}};
  struct stat status {};
  return ::utimensat(AT_FDCWD, path.c_str(), times, 0) == 0 && ::stat(path.c_str(), &status) == 0 &&
         status.st_mtime == seconds;
}

/// The names in a folder.
inline std::set<std::string> namesIn(const std::string& folder) {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    names.insert(entry.path().filename().string());
  return names;
}

/// For a death-test child: writes beyond `bytes` in any file fail (EFBIG) instead of signalling.
inline void limitFileSize(rlim_t bytes) {
  const struct rlimit limit = {bytes, bytes};
  ::setrlimit(RLIMIT_FSIZE, &limit);
  std::signal(SIGXFSZ, SIG_IGN);
}

}  // namespace kelo::test
