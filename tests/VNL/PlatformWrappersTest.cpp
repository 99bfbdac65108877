#include "VNL/source/PlatformWrappers.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <filesystem>

#include "VNL/source/CFWrappers.h"
#include "VNL/source/FileUtils.h"
#include "VNL/source/LogLine.h"
#include "tests/support/LogCapture.h"
#include "tests/support/ScopedEnvironment.h"
#include "tests/support/TempDir.h"

namespace {

using kelo::test::readFile;
using kelo::test::ScopedEnvironment;
using kelo::test::TempDir;
using kelo::test::writeFile;

// ---- folders ----

class FolderTest : public ::testing::Test {
 protected:
  FolderTest() {
    std::filesystem::create_directory(home());
    env.set("HOME", home());
    for (const char* name : {"XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_DATA_DIRS",
                             "VANTOR_USER_LIBRARY_DIR", "VANTOR_LOCAL_LIBRARY_DIR"})
      env.unset(name);
  }
  std::string home() const { return tmp.file("home"); }
  std::string find(VNL_FindFolder kind, VNL_FindFolderDomain domain = VNL_UserDomain) {
    std::string out = "untouched";
    return wrap_FindFolder(kind, domain, out, false) ? out : "false:" + out;
  }
  void writeUserDirs(const std::string& line) {
    std::filesystem::create_directories(home() + "/.config");
    ASSERT_TRUE(writeFile(home() + "/.config/user-dirs.dirs", "# written by a test\n" + line + "\n"));
  }

  TempDir tmp;
  ScopedEnvironment env;
};

TEST_F(FolderTest, DefaultsFollowTheXdgLayoutUnderHome) {
  EXPECT_EQ(find(VNL_ApplicationSupportFolder), home() + "/.local/share");
  EXPECT_EQ(find(VNL_DesktopFolder), home() + "/Desktop");
  EXPECT_EQ(find(VNL_LibraryFolder), home() + "/.config/vantor");
  EXPECT_EQ(find(VNL_LibraryFolder, VNL_LocalDomain), "/etc/vantor");
  EXPECT_EQ(find(VNL_ApplicationSupportFolder, VNL_LocalDomain), "/usr/local/share");
  EXPECT_FALSE(wrap_FileExists(home() + "/.local")) << "lookups without create touch nothing";
}

TEST_F(FolderTest, VariablesMoveTheRoots) {
  env.set("XDG_DATA_HOME", tmp.file("data"));
  env.set("XDG_CONFIG_HOME", tmp.file("config"));
  env.set("XDG_DATA_DIRS", "/opt/kelo/share:/usr/share");
  EXPECT_EQ(find(VNL_ApplicationSupportFolder), tmp.file("data"));
  EXPECT_EQ(find(VNL_LibraryFolder), tmp.file("config") + "/vantor");
  EXPECT_EQ(find(VNL_ApplicationSupportFolder, VNL_LocalDomain), "/opt/kelo/share");

  env.set("VANTOR_USER_LIBRARY_DIR", tmp.file("user-lib"));
  env.set("VANTOR_LOCAL_LIBRARY_DIR", tmp.file("local-lib"));
  EXPECT_EQ(find(VNL_LibraryFolder), tmp.file("user-lib"));
  EXPECT_EQ(find(VNL_LibraryFolder, VNL_LocalDomain), tmp.file("local-lib"));
  env.set("VANTOR_USER_LIBRARY_DIR", tmp.file("user-lib") + "//");
  EXPECT_EQ(find(VNL_LibraryFolder), tmp.file("user-lib"));
}

TEST_F(FolderTest, RelativeXdgValuesAreIgnored) {
  env.set("XDG_DATA_HOME", "relative/data");
  env.set("XDG_CONFIG_HOME", "relative/config");
  env.set("XDG_DATA_DIRS", "share:/usr/share");
  EXPECT_EQ(find(VNL_ApplicationSupportFolder), home() + "/.local/share");
  EXPECT_EQ(find(VNL_LibraryFolder), home() + "/.config/vantor");
  EXPECT_EQ(find(VNL_ApplicationSupportFolder, VNL_LocalDomain), "/usr/local/share");
}

TEST_F(FolderTest, DesktopComesFromUserDirs) {
  struct Case {
    const char* line;
    std::string expected;
  };
  const Case cases[] = {
      {"XDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"", home() + "/Schreibtisch"},
      {"  XDG_DESKTOP_DIR = \"/srv/desk\"", "/srv/desk"},
      {"XDG_DESKTOP_DIR=\"$HOME/My \\\"Desk\\\"\"", home() + "/My \"Desk\""},
      {"XDG_DESKTOP_DIR=\"$HOME\"", home()},
      {"XDG_DESKTOP_DIR=\"relative\"", home() + "/Desktop"},
      {"XDG_DESKTOP_DIR=\"$HOMEWORK\"", home() + "/Desktop"},
      {"XDG_DOWNLOAD_DIR=\"$HOME/Downloads\"", home() + "/Desktop"},
  };
  for (const Case& c : cases) {
    writeUserDirs(c.line);
    EXPECT_EQ(find(VNL_DesktopFolder), c.expected) << c.line;
  }
  env.set("XDG_CONFIG_HOME", tmp.file("config"));
  std::filesystem::create_directory(tmp.file("config"));
  ASSERT_TRUE(writeFile(tmp.file("config") + "/user-dirs.dirs", "XDG_DESKTOP_DIR=\"$HOME/Bureau\"\n"));
  EXPECT_EQ(find(VNL_DesktopFolder), home() + "/Bureau");
}

TEST_F(FolderTest, UnknownKindsAndDomainsLeaveOutUnchanged) {
  EXPECT_EQ(find(static_cast<VNL_FindFolder>(3)), "false:untouched");
  EXPECT_EQ(find(VNL_ApplicationSupportFolder, static_cast<VNL_FindFolderDomain>(2)), "false:untouched");
  EXPECT_EQ(find(VNL_DesktopFolder, VNL_LocalDomain), "false:untouched");
}

TEST_F(FolderTest, CreateMakesTheFolderWithItsParents) {
  env.set("VANTOR_USER_LIBRARY_DIR", tmp.file("a/b/c"));
  std::string out;
  ASSERT_TRUE(wrap_FindFolder(VNL_LibraryFolder, VNL_UserDomain, out, true));
  EXPECT_EQ(out, tmp.file("a/b/c"));
  EXPECT_TRUE(std::filesystem::is_directory(out));

  ASSERT_TRUE(writeFile(tmp.file("plain"), "x"));
  env.set("VANTOR_USER_LIBRARY_DIR", tmp.file("plain/below"));
  out = "untouched";
  EXPECT_FALSE(wrap_FindFolder(VNL_LibraryFolder, VNL_UserDomain, out, true));
  EXPECT_EQ(out, "untouched");
}

TEST_F(FolderTest, PathsOfAThousandBytesDoNotFit) {
  env.set("VANTOR_USER_LIBRARY_DIR", "/" + std::string(1023, 'x'));
  std::string out = "untouched";
  EXPECT_FALSE(wrap_FindFolder(VNL_LibraryFolder, VNL_UserDomain, out, false));
  EXPECT_EQ(out, "");
  env.set("VANTOR_USER_LIBRARY_DIR", "/" + std::string(1022, 'x'));
  EXPECT_TRUE(wrap_FindFolder(VNL_LibraryFolder, VNL_UserDomain, out, false));
}

// ---- copying ----

std::uint64_t packed(std::uint32_t status, int error) {
  return (static_cast<std::uint64_t>(error) << 32) | status;
}

std::set<std::string> folderEntries(const std::string& folder) {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    names.insert(entry.path().filename().string());
  return names;
}

class CopyTest : public ::testing::Test {
 protected:
  CopyTest() {
    EXPECT_TRUE(writeFile(source(), "new bytes"));
    EXPECT_EQ(::chmod(source().c_str(), 0640), 0);
  }
  std::string source() const { return tmp.file("source.bin"); }
  std::string target() const { return tmp.file("target.bin"); }
  TempDir tmp;
};

TEST_F(CopyTest, CopiesBytesAndPermissions) {
  EXPECT_EQ(wrap_CopyFile(source(), target(), false), packed(0, 0));
  EXPECT_EQ(readFile(target()), "new bytes");
  struct stat status {};
  ASSERT_EQ(::stat(target().c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 07777, 0640u);
  EXPECT_EQ(folderEntries(tmp.path()), (std::set<std::string>{"source.bin", "target.bin"}));
}

TEST_F(CopyTest, StatusAndErrnoArePacked) {
  ASSERT_TRUE(writeFile(target(), "old bytes"));
  std::filesystem::create_directory(tmp.file("folder"));
  struct Case {
    const char* what;
    std::string from;
    std::string to;
    bool overwrite;
    std::uint64_t expected;
  };
  const Case cases[] = {
      {"existing target, no overwrite", source(), target(), false, packed(4, EEXIST)},
      {"missing source", tmp.file("missing"), target(), true, packed(4, ENOENT)},
      {"folder as source", tmp.file("folder"), target(), true, packed(4, EISDIR)},
      {"missing target folder", source(), tmp.file("no/such/target"), true, packed(4, ENOENT)},
      {"empty source path", "", target(), true, packed(2, ENOENT)},
      {"empty target path", source(), "", true, packed(2, ENOENT)},
  };
  for (const Case& c : cases) {
    const std::uint64_t result = wrap_CopyFile(c.from, c.to, c.overwrite);
    EXPECT_EQ(result, c.expected) << c.what;
    EXPECT_EQ(copyStatus(result), static_cast<std::uint32_t>(c.expected)) << c.what;
    EXPECT_EQ(copyErrorCode(result), static_cast<int>(c.expected >> 32)) << c.what;
    EXPECT_EQ(readFile(target()), "old bytes") << c.what << ": a failed copy keeps the old file";
  }
  EXPECT_EQ(folderEntries(tmp.path()), (std::set<std::string>{"folder", "source.bin", "target.bin"}))
      << "no temporary file is left behind";
}

TEST_F(CopyTest, OverwriteReplacesTheTarget) {
  ASSERT_TRUE(writeFile(target(), "old bytes that were longer"));
  EXPECT_EQ(PCopyFile(source(), target(), true), packed(0, 0));
  EXPECT_EQ(readFile(target()), "new bytes");
}

TEST_F(CopyTest, OverwriteOntoItselfKeepsTheFile) {
  EXPECT_EQ(wrap_CopyFile(source(), source(), true), packed(0, 0));
  EXPECT_EQ(readFile(source()), "new bytes");
}

TEST_F(CopyTest, ATargetFolderIsNotReplaced) {
  std::filesystem::create_directory(target());
  ASSERT_TRUE(writeFile(target() + "/kept", "kept"));
  EXPECT_EQ(copyStatus(wrap_CopyFile(source(), target(), true)), 4u);
  EXPECT_EQ(readFile(target() + "/kept"), "kept");
}

TEST(DeleteTest, RemovesFilesAndWholeFolders) {
  TempDir tmp;
  std::filesystem::create_directories(tmp.file("tree/inner"));
  ASSERT_TRUE(writeFile(tmp.file("tree/inner/f"), "x"));
  ASSERT_TRUE(writeFile(tmp.file("single"), "x"));
  EXPECT_TRUE(wrap_deleteFile(tmp.file("single")));
  EXPECT_TRUE(wrap_deleteDirectory(tmp.file("tree")));
  EXPECT_FALSE(wrap_FileExists(tmp.file("tree")));
  EXPECT_FALSE(wrap_deleteFile(tmp.file("single")));
  EXPECT_FALSE(wrap_deleteFile(""));
}

TEST(PermissionTest, TheItemTakesTheFolderPermissions) {
  TempDir tmp;
  std::filesystem::create_directory(tmp.file("folder"));
  ASSERT_EQ(::chmod(tmp.file("folder").c_str(), 0750), 0);
  ASSERT_TRUE(writeFile(tmp.file("folder/item"), "x"));
  ASSERT_EQ(::chmod(tmp.file("folder/item").c_str(), 0600), 0);
  EXPECT_TRUE(wrap_fixFilePermission(tmp.file("folder"), "item"));
  struct stat status {};
  ASSERT_EQ(::stat(tmp.file("folder/item").c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 07777, 0750u);
  EXPECT_FALSE(wrap_fixFilePermission(tmp.file("missing"), "item"));
  EXPECT_FALSE(wrap_fixFilePermission(tmp.file("folder"), "missing"));
}

// ---- listing ----

class ListerTest : public ::testing::Test {
 protected:
  ListerTest() {
    std::filesystem::create_directories(tmp.file("sub/deeper"));
    std::filesystem::create_directories(tmp.file("outside"));
    for (const char* name : {"a.wav", "c.WAV", "sub/b.wav", "sub/deeper/d.txt", ".wav", "sub/e.tar.gz",
                             "outside/x.wav"})
      EXPECT_TRUE(writeFile(tmp.file(name), name));
    std::filesystem::create_directory_symlink(tmp.file("outside"), tmp.file("sub/link"));
  }
  std::set<std::string> list(const std::string& pattern) {
    std::set<std::string> set;
    wrap_FileLister(tmp.path(), pattern, set);
    return set;
  }
  std::set<std::string> paths(std::initializer_list<const char*> names) {
    std::set<std::string> set;
    for (const char* name : names) set.insert(tmp.file(name));
    return set;
  }
  TempDir tmp;
};

TEST_F(ListerTest, PatternsMatchExtensionsExactly) {
  const auto all = paths({"a.wav", "c.WAV", ".wav", "sub", "sub/b.wav", "sub/deeper", "sub/deeper/d.txt",
                          "sub/e.tar.gz", "sub/link", "outside", "outside/x.wav"});
  struct Case {
    const char* pattern;
    std::set<std::string> expected;
  };
  const Case cases[] = {
      {"*.wav", paths({"a.wav", "sub/b.wav", "outside/x.wav"})},
      {"wav", paths({"a.wav", "sub/b.wav", "outside/x.wav"})},
      {"*.WAV", paths({"c.WAV"})},
      {"*.gz", paths({"sub/e.tar.gz"})},
      {"*.tar.gz", {}},
      {"*", all},
      {"*.*", all},
      {"*.", {}},
  };
  for (const Case& c : cases) EXPECT_EQ(list(c.pattern), c.expected) << c.pattern;
}

TEST_F(ListerTest, AddsToWhatTheSetHolds) {
  std::set<std::string> set{"/kept/before"};
  vantor::FileLister2(tmp.path() + "/sub/deeper/", "*.txt", set);
  EXPECT_EQ(set, (std::set<std::string>{"/kept/before", tmp.file("sub/deeper/d.txt")}));
  wrap_FileLister(tmp.file("missing"), "*", set);
  EXPECT_EQ(set.size(), 2u);
}

TEST_F(ListerTest, FoldersAndSizes) {
  std::set<std::string> folders;
  vantor::DirectoryLister(tmp.path(), folders);
  EXPECT_EQ(folders, paths({"sub", "sub/deeper", "outside"})) << "the link is not followed";

  std::uint64_t expected = 0;
  for (const std::string& path : list("*")) {
    struct stat status {};
    ASSERT_EQ(::stat(path.c_str(), &status), 0);
    expected += static_cast<std::uint64_t>(status.st_size);
  }
  EXPECT_EQ(directorySize(tmp.path()), expected);
  EXPECT_EQ(directorySize(tmp.file("missing")), 0u);
}

TEST(FileListerTest, ListsNothingAndLogsAnError) {
  TempDir tmp;
  ASSERT_TRUE(writeFile(tmp.file("a.log"), "x"));
  kelo::test::LogCapture log;
  ASSERT_TRUE(log.ok());
  std::set<std::string> set;
  vantor::FileLister(tmp.path(), "*.log", set, true);
  EXPECT_TRUE(set.empty());
  const std::string line = log.text();
  EXPECT_EQ(line.rfind("E:", 0), 0u) << line;
  EXPECT_NE(line.find(":FileLister is not implemented\n"), std::string::npos) << line;
}

// ---- numbers ----

TEST(TinyXmlNumberTest, Table) {
  struct Case {
    const char* text;
    double value;
    bool ok;
  };
  const Case cases[] = {
      {"3,5", 3.5, true},
      {"3.5", 3.5, true},
      {"  -2e3", -2000.0, true},
      {"\t\r\n+7", 7.0, true},
      {"1e", 1.0, false},
      {"1e+", 1.0, false},
      {"abc", 0.0, false},
      {"-", 0.0, false},
      {"5x", 5.0, false},
      {".25", 0.25, true},
      {"2.", 2.0, true},
      {"1.5D2", 150.0, true},
      {"1e400", 4294967295.0, true},
      {"-1e400", -4294967295.0, true},
      {"1e-400", 0.0, true},
      // An exponent of 0 ends at once, however long it is.
      {"0e2000000000", 0.0, true},
      {"0e99999999999999999999999999", 0.0, true},
      // Exponents too large to count: their direction still decides.
      {"1e99999999999999999999999999", 4294967295.0, true},
      {"1e-99999999999999999999999999", 0.0, true},
      {"1e-2147483649", 0.0, true},
      {"1e4294967296", 4294967295.0, true},
  };
  for (const Case& c : cases) {
    double out = -123.0;
    EXPECT_EQ(tinyxmlStringToDouble(c.text, out), c.ok) << c.text;
    EXPECT_DOUBLE_EQ(out, c.value) << c.text;
  }
}

TEST(TinyXmlNumberTest, NothingToReadLeavesOutUnchanged) {
  double out = -123.0;
  EXPECT_FALSE(tinyxmlStringToDouble(nullptr, out));
  EXPECT_FALSE(tinyxmlStringToDouble("", out));
  EXPECT_EQ(out, -123.0);
}

TEST(TinyXmlNumberTest, SmallExponentsStayClose) {
  double out = 0;
  ASSERT_TRUE(tinyxmlStringToDouble("1.25e-5", out));
  EXPECT_NEAR(out, 1.25e-5, 1e-19);
  ASSERT_TRUE(tinyxmlStringToDouble("6.02e23", out));
  EXPECT_NEAR(out, 6.02e23, 6.02e23 * 1e-14);
}

// ---- process and user facts ----

TEST(ProcessFactsTest, NamesAndVersions) {
  std::string name;
  EXPECT_TRUE(wrap_processName(name));
  EXPECT_EQ(name, std::filesystem::read_symlink("/proc/self/exe").filename().string());
  EXPECT_EQ(PGetCurrentApplicationPath(nullptr), name);

  std::string user;
  EXPECT_TRUE(wrap_userName(user));
  EXPECT_FALSE(user.empty());
  EXPECT_EQ(getUserName(), user);

  std::string version;
  EXPECT_TRUE(wrap_osversion(version));
  EXPECT_NE(version.find("Linux"), std::string::npos) << version;
}

TEST(ProcessFactsTest, TemporaryFolderAndSandbox) {
  ScopedEnvironment env;
  std::string folder;
  env.set("TMPDIR", "/var/tmp/kelo//");
  EXPECT_TRUE(wrap_tempDirectory(folder));
  EXPECT_EQ(folder, "/var/tmp/kelo");
  env.unset("TMPDIR");
  EXPECT_TRUE(wrap_tempDirectory(folder));
  EXPECT_EQ(folder, "/tmp");

  env.unset("APP_SANDBOX_CONTAINER_ID");
  EXPECT_FALSE(wrap_isProcessSandboxed());
  env.set("APP_SANDBOX_CONTAINER_ID", "x");
  EXPECT_TRUE(wrap_isProcessSandboxed());
}

// ---- bundles ----

std::string infoPlist(const std::string& entries) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
         "<plist version=\"1.0\">\n<dict>\n"
         "<key>CFBundleExecutable</key><string>Test</string>\n" +
         entries + "</dict>\n</plist>\n";
}

TEST(BundleVersionTest, ReadsTheInfoDictionary) {
  TempDir tmp;
  struct Case {
    const char* name;
    std::string info;  // empty: no Info.plist at all
    const char* expected;
  };
  const Case cases[] = {
      {"Good.bundle", infoPlist("<key>CFBundleVersion</key><string>1.4.2 (77)</string>\n"), "1.4.2 (77)"},
      {"Number.bundle", infoPlist("<key>CFBundleVersion</key><integer>3</integer>\n"), "Can't get version."},
      {"NoVersion.bundle", infoPlist(""), "Can't get version."},
      {"Broken.bundle", "<plist><dict><key>", "Can't get version."},
  };
  for (const Case& c : cases) {
    const std::string contents = tmp.file(std::string(c.name) + "/Contents");
    std::filesystem::create_directories(contents);
    ASSERT_TRUE(writeFile(contents + "/Info.plist", c.info));
    EXPECT_EQ(MacGetBundleVersion(tmp.file(c.name)), c.expected) << c.name;
  }
  std::filesystem::create_directory(tmp.file("plain"));
  EXPECT_EQ(MacGetBundleVersion(tmp.file("plain")), "Can't get version.");
  EXPECT_EQ(MacGetBundleVersion(tmp.file("missing")), "Can't get version.");
  EXPECT_EQ(MacGetBundleVersion(""), "Can't get version.");
  EXPECT_EQ(macOSGetBundleVersion(tmp.file("Good.bundle")), "1.4.2 (77)");
}

TEST(CreateFoldersTest, FromAFileUrl) {
  TempDir tmp;
  const std::string deep = tmp.file("x/y/z");
  const vantor::CFURLWrapper deepURL(deep.data(), static_cast<CFIndex>(deep.size()), true);
  EXPECT_FALSE(wrap_CreateFolders(deepURL, false)) << "parents are missing";
  EXPECT_TRUE(wrap_CreateFolders(deepURL, true));
  EXPECT_TRUE(std::filesystem::is_directory(deep));
  EXPECT_TRUE(wrap_CreateFolders(deepURL, false)) << "an existing folder is success";
  const vantor::CFURLWrapper empty(static_cast<CFURLRef>(nullptr));
  EXPECT_FALSE(wrap_CreateFolders(empty, true));
}

TEST(RegistrationTest, DoesNothing) {
  std::vector<vantor::PluginInfo> list{{"/a", "1"}};
  EXPECT_TRUE(vantor::registerKeloPlugin("Vantor", "Kelo", "AU"));
  listPluginPathVersion("Vantor", "Kelo", list, "VST");
  vantor::listAUPathVersion("Vantor", "Kelo", list);
  vantor::listVSTPathVersion("Vantor", "Kelo", list);
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].path, "/a");
}

}  // namespace
