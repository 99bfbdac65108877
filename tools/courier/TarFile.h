// The support tool's tar writer: packs whole files, each under its bare name, into an archive
// of the old version 7 layout that every tar reader understands. Used by KeloCourier on its main
// thread; one TarFile writes one archive at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

/// One 512-byte member header. Numbers are ASCII digits padded on the left with "0", then a
/// zero byte; fields not set stay zero. A setter whose value does not fit its field answers
/// false and leaves the field as it was.
class TarHeader {
 public:
  static constexpr std::size_t kBlockSize = 512;
  static constexpr std::size_t kNameSize = 100;

  /// The bytes as they go into the archive.
  struct Block {
    char name[100];
    char mode[8];
    char ownerId[8];
    char groupId[8];
    char size[12];
    char modificationTime[12];
    char checksum[8];
    char linkIndicator;
    char linkedName[100];
    char rest[255];
  };

  TarHeader() { init(); }

  void init();  // clears all 512 bytes
  /// Byte for byte; a name of exactly 100 bytes has no terminating zero. Empty is refused.
  bool setFileName(const std::string& name);
  /// Mode and ids are written as the decimal digits of `value` (7 at most) into fields that
  /// readers take as octal: 644 reads as mode 0644, 765 as id 501.
  bool setFileMode(unsigned value);
  bool setOwnerUserId(unsigned value);
  bool setGroupUserId(unsigned value);
  /// Octal, 11 digits: below 8 GiB.
  bool setFilSize(std::uint64_t bytes);
  /// Seconds since 1970 in octal, 11 digits: from 1970 into the year 2242.
  bool setLastModTime(std::int64_t seconds);
  void setLinkIndicator(char type);
  void setLinkedFileName();  // no link: the field stays empty
  /// Last: the sum of all bytes with the checksum field counted as eight blanks.
  void setCheckSum();

  /// The octal digits of `value`, without leading zeros ("0" for 0).
  static std::string toOctal(std::uint64_t value);

  const Block& block() const { return m_block; }

 private:
  Block m_block;
};

static_assert(sizeof(TarHeader::Block) == TarHeader::kBlockSize);
static_assert(offsetof(TarHeader::Block, mode) == 100);
static_assert(offsetof(TarHeader::Block, ownerId) == 108);
static_assert(offsetof(TarHeader::Block, groupId) == 116);
static_assert(offsetof(TarHeader::Block, size) == 124);
static_assert(offsetof(TarHeader::Block, modificationTime) == 136);
static_assert(offsetof(TarHeader::Block, checksum) == 148);
static_assert(offsetof(TarHeader::Block, linkIndicator) == 156);
static_assert(offsetof(TarHeader::Block, linkedName) == 157);

/// The archive being written: owns its output stream (null when closed).
class TarFile {
 public:
  TarFile() = default;
  TarFile(const TarFile&) = delete;
  TarFile& operator=(const TarFile&) = delete;
  /// Closes an open archive as close() does.
  virtual ~TarFile();

  /// Closes an open archive first, then creates or replaces the file at `path`. Answers the
  /// stream, or null when it cannot be opened (addFile then does nothing).
  std::FILE* open(const std::string& path);
  /// Appends the regular file at `path` under the part of the path after its last "/": the
  /// header, then the data padded with zeros to a multiple of 512 bytes. Answers whether the
  /// member was added. A file that cannot be opened, or whose name (over 100 bytes), size
  /// (8 GiB or more) or modification time (before 1970, after 2242) the header cannot hold, adds
  /// nothing. Exactly the size in the header is written: a file that shrinks meanwhile leaves
  /// zeros, a file that grows gives only its first bytes.
  bool addFile(const std::string& path);
  /// Ends the archive with two zero blocks and closes it. Answers 0, or EOF when nothing was
  /// open, closing failed, or any write to this archive failed.
  int close();

  std::FILE* stream() const { return m_file; }

 private:
  bool write(const void* bytes, std::size_t length);

  std::FILE* m_file = nullptr;
  bool m_writeFailed = false;
};
