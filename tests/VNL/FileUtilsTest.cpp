#include "VNL/source/FileUtils.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <time.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <filesystem>

#include "VNL/source/LogLine.h"
#include "platform/cf/CFString.h"
#include "VNL/source/PlatformWrappers.h"
#include "tests/support/LogCapture.h"
#include "tests/support/ScopedEnvironment.h"
#include "tests/support/TempDir.h"

namespace {

using kelo::test::readFile;
using kelo::test::ScopedEnvironment;
using kelo::test::TempDir;
using kelo::test::writeFile;

// ---- path text ----

TEST(PathTextTest, Table) {
  struct Case {
    const char* in;
    const char* extension;
    const char* stripped;
    const char* file;
    const char* folder;
    bool relative;
  };
  const Case cases[] = {
      // in                 extension     stripped          file          folder     relative
      {"archive.tar.gz",    "gz",         "archive.tar",    "archive.tar.gz", ".",   true},
      {"dir.old/readme",    "old/readme", "dir",            "readme",     "dir.old", true},
      {".profile",          "profile",    "",               ".profile",   ".",       true},
      {"/a/b/",             "",           "/a/b/",          "",           "/a/b",    false},
      {"/file",             "",           "/file",          "file",       "",        false},
      {"file",              "",           "file",           "file",       ".",       true},
      {"",                  "",           "",               "",           "",        true},
      {"/",                 "",           "/",              "",           "",        false},
      {"/x/song.mid",       "mid",        "/x/song",        "song.mid",   "/x",      false},
      {"name.",             "",           "name",           "name.",      ".",       true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(getFileExtension(c.in), c.extension) << c.in;
    EXPECT_EQ(stripFileExtension(c.in), c.stripped) << c.in;
    EXPECT_EQ(getFileFromPath(c.in), c.file) << c.in;
    EXPECT_EQ(getPathFromFile(c.in), c.folder) << c.in;
    EXPECT_EQ(pathIsRelative(c.in), c.relative) << c.in;
  }
}

TEST(PathTextTest, CleanAndPosix) {
  struct Case {
    const char* in;
    const char* cleaned;
  };
  const Case cases[] = {
      {"a b:c", "a_b_c"},
      {"\\/*?><|: ", "_________"},
      {"ok-name_1.wav", "ok-name_1.wav"},
      {"caf\xC3\xA9", "caf\xC3\xA9"},
  };
  for (const Case& c : cases) {
    std::string name = c.in;
    cleanPathName(name);
    EXPECT_EQ(name, c.cleaned) << c.in;
  }

  std::string out = "old";
  PToPosix(std::string("C:\\a\\b/c"), out);
  EXPECT_EQ(out, "C:/a/b/c");
  PToPosix("x\\y", out);
  EXPECT_EQ(out, "x/y");
  std::wstring wide;
  PToPosix(std::wstring(L"\\\\server\\share"), wide);
  EXPECT_EQ(wide, L"//server/share");
}

TEST(PathTextTest, LocalTextBecomesUtf8) {
  struct Restore {
    CFStringEncoding saved = CFStringGetSystemEncoding();
    ~Restore() { kelo::cf::setSystemEncoding(saved); }
  } restore;
  kelo::cf::setSystemEncoding(kCFStringEncodingMacRoman);
  EXPECT_EQ(localToFileSystem("caf\x8E"), "caf\xC3\xA9");
  kelo::cf::setSystemEncoding(kCFStringEncodingUTF8);
  EXPECT_EQ(localToFileSystem("caf\xC3\xA9"), "caf\xC3\xA9");
  EXPECT_EQ(localToFileSystem("bad \xFF byte"), "bad \xFF byte") << "unchanged when it does not convert";
  const std::string longText(1024, 'a');
  EXPECT_EQ(localToFileSystem(longText), longText) << "too long for the buffer: unchanged";
}

// ---- whole files ----

TEST(BinFileTest, BlockIsRoundedAndZeroPadded) {
  TempDir tmp;
  ASSERT_TRUE(writeFile(tmp.file("ten"), "0123456789"));
  std::size_t length = 99;
  std::size_t spare = 4;
  unsigned char* block = binFileInternalize(tmp.file("ten"), length, spare);
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(length, 10u);
  EXPECT_EQ(spare, 6u);
  EXPECT_EQ(std::memcmp(block, "0123456789", 10), 0);
  for (int i = 10; i < 16; ++i) EXPECT_EQ(block[i], 0) << i;
  binFileFree(block);
}

TEST(BinFileTest, EmptyFileGivesItsZeroedBlock) {
  TempDir tmp;
  ASSERT_TRUE(writeFile(tmp.file("empty"), ""));
  for (std::size_t asked : {std::size_t{16}, std::size_t{0}}) {
    std::size_t length = 99;
    std::size_t spare = asked;
    unsigned char* block = binFileInternalize(tmp.file("empty"), length, spare);
    ASSERT_NE(block, nullptr) << asked;
    EXPECT_EQ(length, 0u);
    EXPECT_EQ(spare, 16u);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(block[i], 0);
    binFileFree(block);
  }
}

TEST(BinFileTest, RefusesWhatIsNotARegularFileOrTooLarge) {
  TempDir tmp;
  ASSERT_TRUE(writeFile(tmp.file("small"), "abc"));
  ASSERT_EQ(::mkfifo(tmp.file("fifo").c_str(), 0600), 0);
  struct Case {
    std::string path;
    std::size_t spare;
  };
  const Case cases[] = {
      {tmp.file("missing"), 0},
      {tmp.path(), 0},          // a folder
      {tmp.file("fifo"), 0},    // would block a plain read
      {"/dev/zero", 0},         // endless
      {tmp.file("small"), SIZE_MAX - 1},  // the block size would overflow
      {tmp.file("small"), SIZE_MAX - 18},
      {tmp.file("small"), PTRDIFF_MAX},
  };
  for (const Case& c : cases) {
    std::size_t length = 99;
    std::size_t spare = c.spare;
    EXPECT_EQ(binFileInternalize(c.path, length, spare), nullptr) << c.path << " spare " << c.spare;
    EXPECT_EQ(length, 0u) << c.path;
  }
}

TEST(BinFileTest, ALengthLimitRefusesOnlyLongerFiles) {
  TempDir tmp;
  ASSERT_TRUE(writeFile(tmp.file("ten"), "0123456789"));
  for (std::uint64_t limit : {std::uint64_t{9}, std::uint64_t{10}}) {
    std::size_t length = 99;
    std::size_t spare = 0;
    unsigned char* block = binFileInternalize(tmp.file("ten"), length, spare, limit);
    EXPECT_EQ(block != nullptr, limit == 10) << limit;
    EXPECT_EQ(length, limit == 10 ? 10u : 0u) << limit;
    binFileFree(block);
  }
}

TEST(BinFileTest, ExternalizeReplacesTheFile) {
  TempDir tmp;
  ASSERT_TRUE(writeFile(tmp.file("out"), "a much longer old content"));
  EXPECT_TRUE(binFileExternalize(tmp.file("out"), "new", 3));
  EXPECT_EQ(readFile(tmp.file("out")), "new");
  EXPECT_TRUE(binFileExternalize(tmp.file("out"), nullptr, 0));
  EXPECT_EQ(readFile(tmp.file("out")), "");
  EXPECT_FALSE(binFileExternalize(tmp.file("no/such/folder"), "x", 1));
}

// ---- file facts and folders ----

TEST(FileFactsTest, SizeDateAndDetails) {
  TempDir tmp;
  ASSERT_TRUE(writeFile(tmp.file("f"), "12345"));
  const timeval times[2] = {{1000000000, 0}, {1234567890, 0}};
  ASSERT_EQ(::utimes(tmp.file("f").c_str(), times), 0);
  EXPECT_EQ(fileSize(tmp.file("f")), 5u);
  EXPECT_EQ(fileDate(tmp.file("f")), 1234567890);
  const time_t when = 1234567890;
  char expected[64];
  ASSERT_NE(::ctime_r(&when, expected), nullptr);
  EXPECT_EQ(getFileTimeDetails(tmp.file("f")) + "\n", std::string("mtime : ") + expected);
  EXPECT_EQ(getFileTimeDetails(tmp.file("f")).size(), 8u + 24u);

  EXPECT_EQ(fileSize(tmp.file("missing")), 0u);
  EXPECT_EQ(fileDate(tmp.file("missing")), 0);
  EXPECT_TRUE(fileExists(tmp.file("f"), true));
  EXPECT_TRUE(directoryExists(tmp.path()));
  EXPECT_FALSE(fileExists(tmp.file("missing")));
}

TEST(FileFactsTest, DeleteFileAndFolder) {
  TempDir tmp;
  ASSERT_TRUE(writeFile(tmp.file("f"), "x"));
  EXPECT_EQ(PDeleteFile(tmp.file("f")), 0);
  EXPECT_EQ(PDeleteFile(tmp.file("f")), -1);
  std::filesystem::create_directories(tmp.file("d/e"));
  ASSERT_TRUE(writeFile(tmp.file("d/e/g"), "x"));
  EXPECT_TRUE(PDeleteDirectory(tmp.file("d")));
  EXPECT_FALSE(fileExists(tmp.file("d")));
}

TEST(CreateDirTest, CreatesTheFolderAndItsParents) {
  TempDir tmp;
  EXPECT_EQ(PCreateDir(tmp.file("a/b/c")), 0);
  EXPECT_TRUE(std::filesystem::is_directory(tmp.file("a/b/c")));
  EXPECT_EQ(PCreateDir(tmp.file("a/b/c")), 0) << "an existing folder is success";
  EXPECT_EQ(PCreateDir(tmp.file("a/single")), 0);
  EXPECT_TRUE(std::filesystem::is_directory(tmp.file("a/single")));

  ASSERT_TRUE(writeFile(tmp.file("plain"), "x"));
  EXPECT_EQ(PCreateDir(tmp.file("plain/below/deeper")), 2);
  EXPECT_FALSE(fileExists(tmp.file("plain/below")));
}

TEST(WriteAccessTest, ProbesWithoutLeavingAnything) {
  TempDir tmp;
  EXPECT_FALSE(directoryWriteAccess(""));
  EXPECT_TRUE(directoryWriteAccess(tmp.path()));
  EXPECT_TRUE(std::filesystem::is_empty(tmp.path()));
  EXPECT_FALSE(directoryWriteAccess(tmp.file("missing")));
}

TEST(TempNameTest, NamesLieInTheTemporaryFolder) {
  const std::string name = makeTempFileName(".wav");
  const std::string prefix = getTempDir() + "/vnt";
  ASSERT_EQ(name.rfind(prefix, 0), 0u) << name;
  ASSERT_GT(name.size(), prefix.size() + 4);
  EXPECT_EQ(name.substr(name.size() - 4), ".wav");
  for (char c : name.substr(prefix.size(), name.size() - prefix.size() - 4)) EXPECT_TRUE(isdigit(c)) << name;
  EXPECT_NE(makeTempFileName(""), makeTempFileName(""));
  EXPECT_EQ(&getTempDir(), &getTempDir());
  EXPECT_EQ(getSandboxResourcePath(), "");
}

TEST(UserFoldersTest, FollowTheEnvironment) {
  TempDir tmp;
  ScopedEnvironment env;
  env.set("HOME", tmp.file("home"));
  env.set("XDG_DATA_HOME", tmp.file("data"));
  env.set("XDG_CONFIG_HOME", tmp.file("config"));
  EXPECT_EQ(getUserPath(), tmp.file("data"));
  EXPECT_EQ(getUserDesktop(), tmp.file("home") + "/Desktop");
  EXPECT_FALSE(fileExists(tmp.file("data")));

  EXPECT_EQ(setUserPathVendorProduct("Vantor", "Kelo"), tmp.file("data") + "/Vantor/Kelo");
  EXPECT_TRUE(std::filesystem::is_directory(tmp.file("data/Vantor/Kelo")));
  ASSERT_TRUE(writeFile(tmp.file("data/Vantor/File"), "x"));
  EXPECT_EQ(setUserPathVendorProduct("Vantor", "File"), tmp.file("data") + "/Vantor/File")
      << "an existing item counts as created";
  ASSERT_TRUE(writeFile(tmp.file("data/Blocked"), "x"));
  EXPECT_EQ(setUserPathVendorProduct("Blocked", "Kelo"), "");
}

TEST(VolumeTest, TheMountPointHoldingThePath) {
  TempDir tmp;
  std::string out = "untouched";
  EXPECT_FALSE(PGetVolumeUIDForPath(tmp.file("missing"), out, false));
  EXPECT_EQ(out, "untouched");
  ASSERT_TRUE(PGetVolumeUIDForPath(tmp.path(), out, true));
  ASSERT_EQ(out.rfind("file:///", 0), 0u) << out;
  ASSERT_EQ(out.back(), '/');
  // The URL names a folder on the same file system whose parent is on another one (or "/").
  std::string mount = out.substr(7);
  if (mount.size() > 1) mount.pop_back();
  struct stat path {}, point {}, parent {};
  ASSERT_EQ(::stat(tmp.path().c_str(), &path), 0);
  ASSERT_EQ(::stat(mount.c_str(), &point), 0) << mount;
  EXPECT_EQ(path.st_dev, point.st_dev);
  if (mount != "/") {
    ASSERT_EQ(::stat((mount + "/..").c_str(), &parent), 0);
    EXPECT_NE(parent.st_dev, point.st_dev) << mount;
  }
}

// ---- memory, stubs, small things ----

TEST(MemoryTest, BlocksAreZeroedAndResizable) {
  auto* block = static_cast<unsigned char*>(vantor::defaultAlloc(64));
  ASSERT_NE(block, nullptr);
  for (int i = 0; i < 64; ++i) EXPECT_EQ(block[i], 0);
  block[63] = 7;
  block = static_cast<unsigned char*>(vantor::defaultRealloc(block, 4096));
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(block[63], 7);
  vantor::defaultFree(block);
  vantor::defaultFree(nullptr);
}

TEST(StubTest, FingerprintAndGzipDoNothing) {
  TempDir tmp;
  ASSERT_TRUE(writeFile(tmp.file("in"), "data"));
  EXPECT_EQ(PcalcMD5(tmp.file("in")), "DUMMYMD5");
  EXPECT_FALSE(PGzipFile(tmp.file("in"), tmp.file("out.gz")));
  EXPECT_FALSE(fileExists(tmp.file("out.gz")));
}

TEST(SmallThingsTest, ScaleAndTime) {
  EXPECT_EQ(getPlatformScale(), 1.0);
  {
    kelo::test::LogCapture log;
    IDELog("ignored");
    EXPECT_EQ(log.text(), "");
  }
  // Microseconds of the same clock the log lines carry.
  const double before = static_cast<double>(vantor::logTimeMicros());
  const double now = PTimeMilli();
  const double after = static_cast<double>(vantor::logTimeMicros());
  EXPECT_LE(before, now);
  EXPECT_LE(now, after + 1.0);
  // A sleep lasts at least what was asked; none and a negative one return.
  const double start = PTimeMilli();
  PmilliSleep(20);
  EXPECT_GE(PTimeMilli() - start, 20000.0);
  PmilliSleep(0);
  PmilliSleep(-5);
}

}  // namespace
