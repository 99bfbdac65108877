#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>

#include "VNL/source/FileUtils.h"
#include "tests/support/RunProgram.h"
#include "tests/support/TempDir.h"
#include "tests/tools/courier/CourierTestFiles.h"
#include "tools/courier/CryptoFiles.h"

namespace {

using kelo::test::limitFileSize;
using kelo::test::makeBytes;
using kelo::test::namesIn;
using kelo::test::readFile;
using kelo::test::runProgram;
using kelo::test::TempDir;
using kelo::test::writeFile;

struct Content {
  const char* what;
  std::string bytes;
};

std::vector<Content> contents() {
  return {{"empty", ""},
          {"one byte", "a"},
          {"64 bytes", makeBytes(64)},
          {"text", "I:1:2:started\nW:1:3:slow\n" + makeBytes(3000)},
          {"1 MiB", makeBytes(1 << 20)},
          {"random", makeBytes(100001, 3)}};
}

// Places that cannot be read: missing, a folder, a FIFO (must not be waited on).
std::vector<std::string> unreadablePaths(const TempDir& dir) {
  EXPECT_EQ(::mkfifo(dir.file("fifo").c_str(), 0644), 0);
  std::vector<std::string> paths = {dir.file("missing"), dir.path(), dir.file("fifo")};
  if (::geteuid() != 0) {
    EXPECT_TRUE(writeFile(dir.file("locked"), "secret"));
    EXPECT_EQ(::chmod(dir.file("locked").c_str(), 0), 0);
    paths.push_back(dir.file("locked"));
  }
  return paths;
}

TEST(PcalcMD5Test, EqualsMd5sumInUpperCase) {
  TempDir dir;
  for (const Content& c : contents()) {
    SCOPED_TRACE(c.what);
    ASSERT_TRUE(writeFile(dir.file("f"), c.bytes));
    const kelo::test::ProgramRun reference = runProgram("md5sum", {dir.file("f")});
    ASSERT_EQ(reference.status, 0);
    std::string expected = reference.out.substr(0, 32);
    std::transform(expected.begin(), expected.end(), expected.begin(), ::toupper);
    EXPECT_EQ(PcalcMD5(dir.file("f")), expected);
  }
}

TEST(PcalcMD5Test, AFileThatCannotBeReadGivesTheEmptyText) {
  TempDir dir;
  for (const std::string& path : unreadablePaths(dir)) EXPECT_EQ(PcalcMD5(path), "") << path;
}

TEST(PGzipFileTest, GzipReadsBackTheSourceByteForByte) {
  TempDir dir;
  std::vector<Content> cases = contents();
  cases.push_back({"10 MiB random", makeBytes(10 << 20, 11)});
  for (const Content& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_TRUE(writeFile(dir.file("in.tar"), c.bytes));
    ASSERT_TRUE(writeFile(dir.file("out.gz"), "an older archive"));
    ASSERT_TRUE(PGzipFile(dir.file("in.tar"), dir.file("out.gz")));
    const std::string packed = readFile(dir.file("out.gz"));
    ASSERT_GE(packed.size(), 18u);
    EXPECT_EQ(packed.substr(0, 2), "\x1f\x8b");
    EXPECT_EQ(packed[8], 2) << "the header's flags mark the slowest, best compression";
    // Incompressible data is stored, so it grows only by the block and member overhead.
    EXPECT_LE(packed.size(), c.bytes.size() + c.bytes.size() / 1000 + 64);
    EXPECT_EQ(runProgram("gzip", {"-t", dir.file("out.gz")}).status, 0);
    const kelo::test::ProgramRun unpacked = runProgram("gzip", {"-dc", dir.file("out.gz")});
    EXPECT_EQ(unpacked.status, 0);
    EXPECT_TRUE(unpacked.out == c.bytes) << "gzip -dc gives " << unpacked.out.size() << " bytes";
    EXPECT_EQ(namesIn(dir.path()), (std::set<std::string>{"in.tar", "out.gz"}));
  }
}

TEST(PGzipFileTest, FailuresAnswerFalseAndLeaveTheTargetAsItWas) {
  TempDir dir;
  ASSERT_TRUE(writeFile(dir.file("in.tar"), "data"));
  ASSERT_TRUE(writeFile(dir.file("old.gz"), "an older archive"));
  ASSERT_EQ(::mkdir(dir.file("folder").c_str(), 0755), 0);
  for (const std::string& source : unreadablePaths(dir)) {
    EXPECT_FALSE(PGzipFile(source, dir.file("new.gz"))) << source;
    EXPECT_FALSE(PGzipFile(source, dir.file("old.gz"))) << source;
  }
  EXPECT_FALSE(PGzipFile(dir.file("in.tar"), dir.file("no/such/folder/new.gz")));
  EXPECT_FALSE(PGzipFile(dir.file("in.tar"), dir.file("folder")));
  std::set<std::string> expected = {"in.tar", "old.gz", "folder", "fifo"};
  if (::geteuid() != 0) expected.insert("locked");
  EXPECT_EQ(namesIn(dir.path()), expected);
  EXPECT_EQ(readFile(dir.file("old.gz")), "an older archive");
  EXPECT_TRUE(namesIn(dir.file("folder")).empty());
}

// With the file size limited, the target cannot be written whole.
TEST(PGzipFileTest, ATargetThatCannotBeWrittenWholeIsNotPutInPlace) {
  TempDir dir;
  ASSERT_TRUE(writeFile(dir.file("in.tar"), makeBytes(1 << 20, 5)));
  ASSERT_TRUE(writeFile(dir.file("old.gz"), "an older archive"));
  EXPECT_EXIT(
      {
        limitFileSize(65536);
        std::_Exit(PGzipFile(dir.file("in.tar"), dir.file("old.gz")) ? 1 : 0);
      },
      ::testing::ExitedWithCode(0), "");
  EXPECT_EQ(readFile(dir.file("old.gz")), "an older archive");
  EXPECT_EQ(namesIn(dir.path()), (std::set<std::string>{"in.tar", "old.gz"}));
}

TEST(GzipHoldsTest, OnlyAnIntactArchiveOfTheSameBytesHoldsTheFile) {
  TempDir dir;
  const std::string original = makeBytes(200000, 3);
  ASSERT_TRUE(writeFile(dir.file("tar"), original));
  ASSERT_TRUE(writeFile(dir.file("other"), original.substr(0, original.size() - 1) + "x"));
  ASSERT_TRUE(writeFile(dir.file("longer"), original + "x"));
  ASSERT_EQ(runProgram("gzip", {"-k", dir.file("tar")}).status, 0);  // GNU gzip's own archive
  const std::string archive = readFile(dir.file("tar.gz"));
  std::string badCrc = archive;
  badCrc[badCrc.size() - 6] ^= 1;
  ASSERT_TRUE(writeFile(dir.file("crc.gz"), badCrc));
  ASSERT_TRUE(writeFile(dir.file("cut.gz"), archive.substr(0, archive.size() / 2)));
  struct Case {
    const char* archive;
    const char* original;
    bool holds;
  };
  const Case cases[] = {
      {"tar.gz", "tar", true},     {"tar.gz", "other", false}, {"tar.gz", "longer", false},
      {"crc.gz", "tar", false},    {"cut.gz", "tar", false},   {"tar", "tar", false},
      {"missing.gz", "tar", false}, {"tar.gz", "missing", false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(gzipHolds(dir.file(c.archive), dir.file(c.original)), c.holds)
        << c.archive << " " << c.original;
}

}  // namespace
