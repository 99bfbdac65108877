#include "tools/courier/TarFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

constexpr unsigned kMode = 644;
constexpr unsigned kUserAndGroup = 765;

// Right-aligned digits padded with "0" to `digits`, then a zero byte; false when they do not fit.
bool putNumber(char* field, std::size_t digits, const std::string& text) {
  if (text.size() > digits) return false;
  std::memset(field, '0', digits - text.size());
  std::memcpy(field + digits - text.size(), text.data(), text.size());
  field[digits] = '\0';
  return true;
}

// The file opened for reading, or -1. O_NONBLOCK so that a FIFO is refused, not waited on.
int openRegularFile(const std::string& path, struct stat& status) {
  const int in = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (in < 0) return -1;
  if (::fstat(in, &status) != 0 || !S_ISREG(status.st_mode)) {
    ::close(in);
    return -1;
  }
  return in;
}

// Fills `buffer` from the file as far as it goes; the count read (short at the end or on error).
std::size_t readUpTo(int in, char* buffer, std::size_t length) {
  std::size_t done = 0;
  while (done < length) {
    const ssize_t got = ::read(in, buffer + done, length - done);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    done += static_cast<std::size_t>(got);
  }
  return done;
}

}  // namespace

void TarHeader::init() { std::memset(&m_block, 0, sizeof m_block); }

bool TarHeader::setFileName(const std::string& name) {
  if (name.empty() || name.size() > kNameSize) return false;
  std::memset(m_block.name, 0, sizeof m_block.name);
  std::memcpy(m_block.name, name.data(), name.size());
  return true;
}

bool TarHeader::setFileMode(unsigned value) { return putNumber(m_block.mode, 7, std::to_string(value)); }

bool TarHeader::setOwnerUserId(unsigned value) {
  return putNumber(m_block.ownerId, 7, std::to_string(value));
}

bool TarHeader::setGroupUserId(unsigned value) {
  return putNumber(m_block.groupId, 7, std::to_string(value));
}

bool TarHeader::setFilSize(std::uint64_t bytes) { return putNumber(m_block.size, 11, toOctal(bytes)); }

bool TarHeader::setLastModTime(std::int64_t seconds) {
  if (seconds < 0) return false;
  return putNumber(m_block.modificationTime, 11, toOctal(static_cast<std::uint64_t>(seconds)));
}

void TarHeader::setLinkIndicator(char type) { m_block.linkIndicator = type; }

void TarHeader::setLinkedFileName() { std::memset(m_block.linkedName, 0, sizeof m_block.linkedName); }

void TarHeader::setCheckSum() {
  std::memset(m_block.checksum, ' ', sizeof m_block.checksum);
  const auto* bytes = reinterpret_cast<const unsigned char*>(&m_block);
  unsigned sum = 0;
  for (std::size_t i = 0; i < kBlockSize; ++i) sum += bytes[i];
  // At most 512 x 255, six octal digits; the field ends with a zero byte and a blank.
  putNumber(m_block.checksum, 6, toOctal(sum));
  m_block.checksum[7] = ' ';
}

std::string TarHeader::toOctal(std::uint64_t value) {
  std::string digits;
  do {
    digits.insert(digits.begin(), static_cast<char>('0' + (value & 7)));
    value >>= 3;
  } while (value != 0);
  return digits;
}

TarFile::~TarFile() {
  if (m_file != nullptr) close();
}

std::FILE* TarFile::open(const std::string& path) {
  if (m_file != nullptr) close();
  m_file = std::fopen(path.c_str(), "wb");
  m_writeFailed = false;
  return m_file;
}

bool TarFile::addFile(const std::string& path) {
  if (m_file == nullptr) return false;
  struct stat status {};
  const int in = openRegularFile(path, status);
  if (in < 0) return false;
  const std::uint64_t size = static_cast<std::uint64_t>(status.st_size);
  TarHeader header;
  const bool fits = header.setFileName(path.substr(path.rfind('/') + 1)) && header.setFilSize(size) &&
                    header.setLastModTime(status.st_mtime);
  if (!fits) {
    ::close(in);
    return false;
  }
  header.setFileMode(kMode);
  header.setOwnerUserId(kUserAndGroup);
  header.setGroupUserId(kUserAndGroup);
  header.setLinkIndicator('0');
  header.setLinkedFileName();
  header.setCheckSum();
  bool written = write(&header.block(), TarHeader::kBlockSize);

  // The data area holds exactly `size` bytes of the file, then zeros to the block boundary.
  const std::uint64_t area = (size + TarHeader::kBlockSize - 1) / TarHeader::kBlockSize * TarHeader::kBlockSize;
  static constexpr std::size_t kChunk = 64 * 1024;
  static_assert(kChunk % TarHeader::kBlockSize == 0);
  char chunk[kChunk];
  for (std::uint64_t done = 0; written && done < area;) {
    const std::size_t length = static_cast<std::size_t>(std::min<std::uint64_t>(kChunk, area - done));
    const std::size_t wanted = static_cast<std::size_t>(std::min<std::uint64_t>(length, size - std::min(size, done)));
    const std::size_t got = readUpTo(in, chunk, wanted);
    std::memset(chunk + got, 0, length - got);
    written = write(chunk, length);
    done += length;
  }
  ::close(in);
  return written;
}

int TarFile::close() {
  if (m_file == nullptr) return EOF;
  static constexpr char kEnd[2 * TarHeader::kBlockSize] = {};
  write(kEnd, sizeof kEnd);
  const int closed = std::fclose(m_file);
  m_file = nullptr;
  return closed == 0 && !m_writeFailed ? 0 : EOF;
}

bool TarFile::write(const void* bytes, std::size_t length) {
  if (std::fwrite(bytes, 1, length, m_file) != length) m_writeFailed = true;
  return !m_writeFailed;
}
