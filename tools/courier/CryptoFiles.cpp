// The support tool's file fingerprint, gzip archive and its check, over Crypto++. The first two
// replace the common library's stand-ins: a program linking this library gets these definitions.
#define CRYPTOPP_ENABLE_NAMESPACE_WEAK 1

#include <crypto++/files.h>
#include <crypto++/filters.h>
#include <crypto++/gzip.h>
#include <crypto++/hex.h>
#include <crypto++/md5.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <exception>
#include <fstream>
#include <memory>
#include <cstring>
#include <string>

#include "VNL/source/FileUtils.h"
#include "tools/courier/CryptoFiles.h"

namespace {

// Checked before a Crypto++ source opens the path, which would wait on a FIFO.
bool isRegularFile(const std::string& path) {
  struct stat status {};
  return ::stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode);
}

// A new empty file beside `target` (same folder, so the final rename stays within one file
// system), created with the permissions an ordinary new file gets; "" when none can be made.
std::string createFileBeside(const std::string& target) {
  static std::atomic<unsigned> counter{0};
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string name =
        target + ".part-" + std::to_string(::getpid()) + "-" + std::to_string(counter.fetch_add(1));
    const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) {
      ::close(fd);
      return name;
    }
    if (errno != EEXIST) break;
  }
  return {};
}

// Compares the bytes that flow in with a file's, piece by piece.
class FileComparer : public CryptoPP::Bufferless<CryptoPP::Sink> {
 public:
  explicit FileComparer(const std::string& path) : m_in(path, std::ios::binary), m_same(bool(m_in)) {}

  std::size_t Put2(const CryptoPP::byte* bytes, std::size_t length, int, bool) override {
    while (length > 0 && m_same) {
      const std::size_t piece = std::min(length, sizeof m_buffer);
      m_in.read(m_buffer, static_cast<std::streamsize>(piece));
      m_same = static_cast<std::size_t>(m_in.gcount()) == piece &&
               std::memcmp(m_buffer, bytes, piece) == 0;
      bytes += piece;
      length -= piece;
    }
    return 0;
  }

  bool sameToTheEnd() { return m_same && m_in.peek() == std::char_traits<char>::eof(); }

 private:
  std::ifstream m_in;
  bool m_same;
  char m_buffer[64 * 1024];
};

}  // namespace

std::string PcalcMD5(const std::string& path) {
  if (!isRegularFile(path)) return {};
  try {
    std::string digest;
    CryptoPP::Weak::MD5 hash;
    CryptoPP::FileSource source(
        path.c_str(), true,
        new CryptoPP::HashFilter(hash, new CryptoPP::HexEncoder(new CryptoPP::StringSink(digest), true)));
    return digest;
  } catch (const std::exception&) {
    return {};
  }
}

bool PGzipFile(const std::string& source, const std::string& target) {
  if (!isRegularFile(source)) return false;
  const std::string temporary = createFileBeside(target);
  if (temporary.empty()) return false;
  bool written = false;
  try {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    if (out) {
      constexpr unsigned kLevel = 9;
      constexpr unsigned kLog2Window = 15;
      constexpr bool kStoreIncompressible = true;
      CryptoPP::FileSource pump(
          source.c_str(), true,
          new CryptoPP::Gzip(new CryptoPP::FileSink(out), kLevel, kLog2Window, kStoreIncompressible));
      out.close();
      written = !out.fail();
    }
  } catch (const std::exception&) {
    written = false;
  }
  if (written && std::rename(temporary.c_str(), target.c_str()) == 0) return true;
  std::remove(temporary.c_str());
  return false;
}

bool gzipHolds(const std::string& archive, const std::string& original) {
  if (!isRegularFile(archive) || !isRegularFile(original)) return false;
  auto comparer = std::make_unique<FileComparer>(original);
  try {
    // Gunzip throws on a bad header, checksum or length.
    CryptoPP::FileSource pump(archive.c_str(), true,
                              new CryptoPP::Gunzip(new CryptoPP::Redirector(*comparer)));
  } catch (const std::exception&) {
    return false;
  }
  return comparer->sameToTheEnd();
}
