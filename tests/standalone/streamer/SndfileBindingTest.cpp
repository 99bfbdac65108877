// This program does not link libsndfile: the library can only arrive through its bundle.
#include <dlfcn.h>
#include <sys/stat.h>

#include <string>

#include <gtest/gtest.h>

#include "standalone/host/Sndfile.h"
#include "tests/standalone/host/HostTestSupport.h"
#include "tests/support/TempDir.h"

namespace {

bool libraryLoaded() {
  void* handle = dlopen("libsndfile.so.1", RTLD_NOW | RTLD_NOLOAD);
  if (handle) dlclose(handle);
  return handle != nullptr;
}

TEST(Sndfile, BindsEveryEntryPointFromTheBundleBesideTheProgram) {
  kelo::test::LogCapture log;
  ASSERT_FALSE(libraryLoaded());
  vantor::Sndfile library;  // no folder set: the program's own Resources folder
  EXPECT_TRUE(library.init("ignored"));
  EXPECT_TRUE(library.available());
  EXPECT_TRUE(libraryLoaded());
  EXPECT_TRUE(log.has('I', "Success attaching to libsndfile-1."));
#define KELO_EXPECT_BOUND(name) EXPECT_NE(library.name, nullptr) << #name;
  KELO_SNDFILE_ENTRY_POINTS(KELO_EXPECT_BOUND)
#undef KELO_EXPECT_BOUND
}

struct UnavailableCase {
  const char* what;
  std::string (*folder)(const kelo::test::TempDir&);  // the resources folder to look in
  const char* errorLine;
};

const UnavailableCase kUnavailable[] = {
    {"no bundle", [](const kelo::test::TempDir& dir) { return dir.path(); },
     "libsndfile.bundle isn't present"},
    {"a folder that is no bundle",
     [](const kelo::test::TempDir& dir) {
       mkdir(dir.file("libsndfile.bundle").c_str(), 0755);
       return dir.path();
     },
     "CFBundleCreate failed for libsndfile"},
    {"no sf_write_sync", [](const kelo::test::TempDir&) {
       return std::string(KELO_TEST_INCOMPLETE_RESOURCES);
     },
     "CFBundleGetFunctionPointerForName failed for sf_write_sync"},
};

TEST(Sndfile, AMissingOrIncompleteBundleLeavesRecordingUnavailable) {
  for (const UnavailableCase& c : kUnavailable) {
    SCOPED_TRACE(c.what);
    kelo::test::TempDir dir;
    kelo::test::LogCapture log;
    vantor::Sndfile library;
    library.setResourcesFolder(c.folder(dir));
    EXPECT_FALSE(library.init(""));
    EXPECT_FALSE(library.available());
    EXPECT_TRUE(log.has('E', c.errorLine)) << log.text();
    // All or none: nothing stays bound from a bundle that lacks one name.
    EXPECT_EQ(library.sf_open, nullptr);
    EXPECT_EQ(library.sf_close, nullptr);

    // A second call answers true and changes nothing.
    const std::string before = log.text();
    EXPECT_TRUE(library.init(""));
    EXPECT_FALSE(library.available());
    EXPECT_EQ(library.sf_open, nullptr);
    EXPECT_EQ(log.text(), before);
  }
  EXPECT_FALSE(libraryLoaded());
}

TEST(Sndfile, ASecondBindAfterSuccessAnswersTrueAndKeepsTheBinding) {
  vantor::Sndfile library;
  library.setResourcesFolder(KELO_TEST_SNDFILE_RESOURCES);
  ASSERT_TRUE(library.init(""));
  const auto open = library.sf_open;
  kelo::test::LogCapture log;
  EXPECT_TRUE(library.init(""));
  EXPECT_TRUE(library.available());
  EXPECT_EQ(library.sf_open, open);
  EXPECT_EQ(log.text(), "");
}

}  // namespace
