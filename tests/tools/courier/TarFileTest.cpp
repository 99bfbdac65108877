#include "tools/courier/TarFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <sstream>

#include "tests/support/RunProgram.h"
#include "tests/support/TempDir.h"
#include "tests/tools/courier/CourierTestFiles.h"

namespace {

using kelo::test::limitFileSize;
using kelo::test::makeBytes;
using kelo::test::namesIn;
using kelo::test::readFile;
using kelo::test::runProgram;
using kelo::test::setModificationTime;
using kelo::test::TempDir;
using kelo::test::writeFile;

constexpr std::int64_t kTime = 1700000000;  // 2023-11-14 22:13:20 UTC
const std::string kZeroBlocks(1024, '\0');

std::string field(const std::string& header, std::size_t offset, std::size_t width) {
  return header.substr(offset, width);
}

// The checksum as a tar reader verifies it: all bytes summed, the checksum field as blanks.
std::string expectedChecksum(std::string header) {
  header.replace(148, 8, 8, ' ');
  unsigned sum = 0;
  for (unsigned char byte : header) sum += byte;
  char text[9];
  std::snprintf(text, sizeof text, "%06o", sum);
  return std::string(text, 6) + '\0' + ' ';
}

std::string archiveOf(const TempDir& dir, const std::vector<std::string>& files) {
  TarFile tar;
  EXPECT_NE(tar.open(dir.file("out.tar")), nullptr);
  for (const std::string& file : files) EXPECT_TRUE(tar.addFile(file)) << file;
  EXPECT_EQ(tar.close(), 0);
  return readFile(dir.file("out.tar"));
}

TEST(TarHeaderTest, OneMemberIsLaidOutByteForByte) {
  struct Case {
    std::string name;
    std::size_t size;
    const char* sizeField;
    std::size_t dataBytes;  // the member's data area
  };
  const Case cases[] = {
      {"empty.log", 0, "00000000000", 0},
      {"a.log", 5, "00000000005", 512},
      {"block.log", 512, "00000001000", 512},
      {"over.log", 513, "00000001001", 1024},
      {"k.log", 1000, "00000001750", 1024},
      {std::string(96, 'n') + ".log", 7, "00000000007", 512},  // 100 bytes: no terminator
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    const std::string bytes = makeBytes(c.size);
    ASSERT_TRUE(writeFile(dir.file(c.name), bytes));
    ASSERT_TRUE(setModificationTime(dir.file(c.name), kTime));
    const std::string archive = archiveOf(dir, {dir.file(c.name)});

    ASSERT_EQ(archive.size(), 512 + c.dataBytes + 1024);
    const std::string header = archive.substr(0, 512);
    EXPECT_EQ(field(header, 0, 100), c.name + std::string(100 - c.name.size(), '\0'));
    EXPECT_EQ(field(header, 100, 8), std::string("0000644\0", 8));
    EXPECT_EQ(field(header, 108, 8), std::string("0000765\0", 8));
    EXPECT_EQ(field(header, 116, 8), std::string("0000765\0", 8));
    EXPECT_EQ(field(header, 124, 12), std::string(c.sizeField) + '\0');
    EXPECT_EQ(field(header, 136, 12), std::string("14524770400") + '\0');
    EXPECT_EQ(field(header, 148, 8), expectedChecksum(header));
    EXPECT_EQ(header[156], '0');
    EXPECT_EQ(field(header, 157, 355), std::string(355, '\0'));
    const std::string data = archive.substr(512, c.dataBytes);
    EXPECT_EQ(data, bytes + std::string(c.dataBytes - c.size, '\0'));
    EXPECT_EQ(archive.substr(512 + c.dataBytes), kZeroBlocks);
  }
}

TEST(TarHeaderTest, NumbersTheFieldsCannotHoldAreRefused) {
  EXPECT_EQ(TarHeader::toOctal(0), "0");
  EXPECT_EQ(TarHeader::toOctal(8), "10");
  EXPECT_EQ(TarHeader::toOctal(0777), "777");
  constexpr std::uint64_t kEightGiB = std::uint64_t{1} << 33;
  TarHeader header;
  EXPECT_TRUE(header.setFilSize(kEightGiB - 1));
  EXPECT_EQ(std::string(header.block().size, 12), std::string("77777777777") + '\0');
  EXPECT_FALSE(header.setFilSize(kEightGiB));
  EXPECT_EQ(std::string(header.block().size, 12), std::string("77777777777") + '\0');
  EXPECT_TRUE(header.setLastModTime(kEightGiB - 1));  // in the year 2242
  EXPECT_FALSE(header.setLastModTime(kEightGiB));
  EXPECT_FALSE(header.setLastModTime(-1));
  EXPECT_TRUE(header.setFileName(std::string(100, 'x')));
  EXPECT_FALSE(header.setFileName(std::string(101, 'x')));
  EXPECT_FALSE(header.setFileName(""));
  EXPECT_TRUE(header.setFileMode(9999999));
  EXPECT_FALSE(header.setFileMode(10000000));
}

// GNU tar, an independent reader, lists and extracts what was added and nothing else.
TEST(TarFileTest, GnuTarListsAndExtractsTheMembersAndNothingThatCouldNotBeAdded) {
  TempDir dir;
  ASSERT_EQ(::mkdir(dir.file("in").c_str(), 0755), 0);
  ASSERT_EQ(::mkfifo(dir.file("in/fifo").c_str(), 0644), 0);
  struct Member {
    std::string name;
    std::string bytes;
    std::int64_t time;
    bool added;
  };
  constexpr std::int64_t kLastTime = (std::int64_t{1} << 33) - 1;
  std::vector<Member> members = {
      {"KeloCourier.log", "I:1:2:started\n", kTime, true},
      {"empty.log", "", kTime, true},
      {"random.bin", makeBytes(70000, 7), 1, true},
      {"block.log", makeBytes(512), kTime, true},
      {std::string(100, 'n'), "full name", kTime, true},
      {std::string(101, 'o'), "over-long name", kTime, false},
      {"before1970.log", "x", -1, false},
      {"last.log", "y", kLastTime, true},
      {"after2242.log", "z", kLastTime + 1, false},
  };
  TarFile tar;
  ASSERT_NE(tar.open(dir.file("out.tar")), nullptr);
  for (const Member& m : members) {
    const std::string path = dir.file("in/" + m.name);
    ASSERT_TRUE(writeFile(path, m.bytes));
    if (!setModificationTime(path, m.time)) {
      std::printf("file system keeps no time %lld: %s left out\n", static_cast<long long>(m.time),
                  m.name.c_str());
      continue;
    }
    EXPECT_EQ(tar.addFile(path), m.added) << m.name;
  }
  // Files that cannot be read, of 8 GiB (sparse), a folder, a FIFO (not waited on), a missing file.
  ASSERT_TRUE(writeFile(dir.file("in/huge.bin"), ""));
  ASSERT_EQ(::truncate(dir.file("in/huge.bin").c_str(), std::int64_t{1} << 33), 0);
  for (const char* refused : {"in/huge.bin", "in", "in/fifo", "in/missing.log"})
    EXPECT_FALSE(tar.addFile(dir.file(refused))) << refused;
  if (::geteuid() != 0) {
    ASSERT_TRUE(writeFile(dir.file("in/locked.log"), "secret"));
    ASSERT_EQ(::chmod(dir.file("in/locked.log").c_str(), 0), 0);
    EXPECT_FALSE(tar.addFile(dir.file("in/locked.log")));
  }
  ASSERT_EQ(tar.close(), 0);
  std::erase_if(members, [](const Member& m) { return !m.added; });

  const kelo::test::ProgramRun listing =
      runProgram("tar", {"--numeric-owner", "--utc", "--full-time", "-tvf", dir.file("out.tar")});
  ASSERT_EQ(listing.status, 0);
  std::istringstream lines(listing.out);
  for (const Member& m : members) {
    std::string mode, owner, size, day, time, name;
    lines >> mode >> owner >> size >> day >> time >> name;
    char when[32];
    const time_t seconds = static_cast<time_t>(m.time);
    struct tm parts {};
    std::strftime(when, sizeof when, "%Y-%m-%d %H:%M:%S", gmtime_r(&seconds, &parts));
    EXPECT_EQ(mode, "-rw-r--r--");
    EXPECT_EQ(owner, "501/501");
    EXPECT_EQ(size, std::to_string(m.bytes.size()));
    EXPECT_EQ(day + " " + time, when);
    EXPECT_EQ(name, m.name);
  }
  std::string rest;
  EXPECT_FALSE(lines >> rest) << "unexpected member " << rest;

  ASSERT_EQ(::mkdir(dir.file("out").c_str(), 0755), 0);
  ASSERT_EQ(runProgram("tar", {"-xf", dir.file("out.tar"), "-C", dir.file("out")}).status, 0);
  std::set<std::string> expectedNames;
  for (const Member& m : members) {
    expectedNames.insert(m.name);
    EXPECT_EQ(readFile(dir.file("out/" + m.name)), m.bytes) << m.name;
  }
  EXPECT_EQ(namesIn(dir.file("out")), expectedNames);
}

TEST(TarFileTest, OpeningReplacesTheTargetAndClosingEndsTheArchive) {
  TempDir dir;
  ASSERT_TRUE(writeFile(dir.file("out.tar"), std::string(5000, 'x')));
  {
    TarFile tar;
    std::FILE* stream = tar.open(dir.file("out.tar"));
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(tar.stream(), stream);
  }  // the destructor ends the archive
  EXPECT_EQ(readFile(dir.file("out.tar")), kZeroBlocks);

  // Opening again closes the first archive properly before starting the second.
  ASSERT_TRUE(writeFile(dir.file("a.log"), "abc"));
  TarFile tar;
  ASSERT_NE(tar.open(dir.file("first.tar")), nullptr);
  ASSERT_TRUE(tar.addFile(dir.file("a.log")));
  ASSERT_NE(tar.open(dir.file("second.tar")), nullptr);
  EXPECT_EQ(readFile(dir.file("first.tar")).size(), 512u + 512u + 1024u);
  EXPECT_EQ(tar.close(), 0);
  EXPECT_EQ(tar.stream(), nullptr);
  EXPECT_EQ(readFile(dir.file("second.tar")), kZeroBlocks);
  EXPECT_EQ(tar.close(), EOF);  // nothing open

  EXPECT_EQ(tar.open(dir.file("no/such/folder/x.tar")), nullptr);
  EXPECT_FALSE(tar.addFile(dir.file("a.log")));
  EXPECT_EQ(tar.close(), EOF);
}

// A file whose size the system reports larger than what it reads (as files in /sys do) keeps
// zeros in the rest of its data area; one reported as empty while it reads text (as in /proc)
// contributes nothing beyond its stated size.
TEST(TarFileTest, TheHeaderSizeBoundsTheDataWhateverTheFileReads) {
  const std::string shrinking = "/sys/devices/system/cpu/online";
  const std::string growing = "/proc/self/cmdline";
  struct stat status {};
  if (::stat(shrinking.c_str(), &status) != 0 || status.st_size != 4096 || readFile(shrinking).empty())
    GTEST_SKIP() << "no file that reads shorter than its size";
  TempDir dir;
  TarFile tar;
  ASSERT_NE(tar.open(dir.file("out.tar")), nullptr);
  ASSERT_TRUE(tar.addFile(shrinking));
  ASSERT_TRUE(tar.addFile(growing));
  ASSERT_EQ(tar.close(), 0);
  const std::string archive = readFile(dir.file("out.tar"));
  ASSERT_EQ(archive.size(), 512u + 4096u + 512u + 1024u);
  const std::string text = readFile(shrinking);
  EXPECT_EQ(archive.substr(512, 4096), text + std::string(4096 - text.size(), '\0'));
  EXPECT_EQ(field(archive, 512 + 4096 + 124, 12), std::string("00000000000") + '\0');
  EXPECT_EQ(runProgram("tar", {"-tf", dir.file("out.tar")}).out, "online\ncmdline\n");
}

// With the file size limited, writing fails part-way: the close reports it.
TEST(TarFileTest, CloseReportsAWriteThatFailed) {
  TempDir dir;
  ASSERT_TRUE(writeFile(dir.file("big.bin"), makeBytes(100000)));
  EXPECT_EXIT(
      {
        limitFileSize(16384);
        TarFile tar;
        tar.open(dir.file("out.tar"));
        const bool added = tar.addFile(dir.file("big.bin"));
        std::_Exit(!added && tar.close() == EOF ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

}  // namespace
