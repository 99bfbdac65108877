// The bundle layer: the test bundle built in the tree, bare shared objects, resources, and
// clean failures for what is not a loadable bundle.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "platform/cf/CoreFoundation.h"
#include "tests/support/TempDir.h"

namespace {

using Answer = int (*)(int);

CFURLRef urlOf(const std::string& path, bool folder) {
  return CFURLCreateFromFileSystemRepresentation(
      nullptr, reinterpret_cast<const UInt8*>(path.data()), static_cast<CFIndex>(path.size()), folder);
}

CFBundleRef bundleAt(const std::string& path) {
  CFURLRef url = urlOf(path, true);
  CFBundleRef bundle = CFBundleCreate(nullptr, url);
  CFRelease(url);
  return bundle;
}

std::string pathOf(CFURLRef url) {
  char buffer[1024];
  if (!CFURLGetFileSystemRepresentation(url, true, reinterpret_cast<UInt8*>(buffer), sizeof buffer))
    return "<none>";
  return buffer;
}

const char kInfo[] = R"(<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0">
<dict>
	<key>CFBundleExecutable</key>
	<string>Nothing</string>
	<key>CFBundleVersion</key>
	<string>9.9</string>
</dict>
</plist>
)";

TEST(Bundles, TheTestBundleLoadsAndAnswersByName) {
  CFBundleRef bundle = bundleAt(KELO_TEST_BUNDLE_DIR);
  ASSERT_NE(bundle, nullptr);
  EXPECT_FALSE(CFBundleIsExecutableLoaded(bundle));
  EXPECT_TRUE(CFBundleLoadExecutable(bundle));
  EXPECT_TRUE(CFBundleIsExecutableLoaded(bundle));
  auto answer = reinterpret_cast<Answer>(CFBundleGetFunctionPointerForName(bundle, CFSTR("keloTestAnswer")));
  ASSERT_NE(answer, nullptr);
  EXPECT_EQ(answer(1), 44);

  CFTypeRef version = CFBundleGetValueForInfoDictionaryKey(bundle, kCFBundleVersionKey);
  ASSERT_EQ(CFGetTypeID(version), CFStringGetTypeID());
  EXPECT_EQ(kelo::cf::utf8(static_cast<CFStringRef>(version)), "2.5.1");
  EXPECT_EQ(kelo::cf::utf8(CFBundleGetIdentifier(bundle)), "com.vantor.KeloCFTestBundle");

  CFURLRef own = CFBundleCopyBundleURL(bundle);
  EXPECT_EQ(pathOf(own), KELO_TEST_BUNDLE_DIR);
  CFURLRef executable = CFBundleCopyExecutableURL(bundle);
  EXPECT_EQ(pathOf(executable), KELO_TEST_BUNDLE_SO);
  CFRelease(own);
  CFRelease(executable);

  // A second owner keeps the code loaded after the first lets go.
  CFRetain(bundle);
  CFRelease(bundle);
  EXPECT_EQ(answer(2), 46);
  CFRelease(bundle);
}

TEST(Bundles, OnlyTheBundlesOwnExportsAreFound) {
  CFBundleRef bundle = bundleAt(KELO_TEST_BUNDLE_DIR);
  ASSERT_NE(bundle, nullptr);
  EXPECT_EQ(CFBundleGetFunctionPointerForName(bundle, CFSTR("keloTestMissing")), nullptr);
  EXPECT_EQ(CFBundleGetFunctionPointerForName(bundle, CFSTR("keloTestHidden")), nullptr);
  EXPECT_EQ(CFBundleGetFunctionPointerForName(bundle, CFSTR("malloc")), nullptr);  // a dependency's
  EXPECT_EQ(CFBundleGetFunctionPointerForName(bundle, CFSTR("")), nullptr);
  EXPECT_NE(CFBundleGetFunctionPointerForName(bundle, CFSTR("keloTestName")), nullptr);
  CFRelease(bundle);
}

TEST(Bundles, ABareSharedObjectIsABundleWithoutInformation) {
  CFURLRef url = urlOf(KELO_TEST_BUNDLE_SO, false);
  CFBundleRef bundle = CFBundleCreate(nullptr, url);
  CFRelease(url);
  ASSERT_NE(bundle, nullptr);
  auto answer = reinterpret_cast<Answer>(CFBundleGetFunctionPointerForName(bundle, CFSTR("keloTestAnswer")));
  ASSERT_NE(answer, nullptr);
  EXPECT_EQ(answer(0), 42);
  EXPECT_EQ(CFBundleGetValueForInfoDictionaryKey(bundle, kCFBundleVersionKey), nullptr);
  EXPECT_EQ(CFBundleCopyResourcesDirectoryURL(bundle), nullptr);
  CFRelease(bundle);
}

TEST(Bundles, WhatIsNotALoadableBundleFailsCleanly) {
  kelo::test::TempDir dir;
  // Nothing there, and a plain folder.
  EXPECT_EQ(bundleAt(dir.file("Absent.bundle")), nullptr);
  EXPECT_EQ(bundleAt(dir.path()), nullptr);

  // A bundle whose executable is missing: it exists, but loads nothing.
  const std::string empty = dir.file("Empty.bundle");
  ASSERT_EQ(mkdir(empty.c_str(), 0755), 0);
  ASSERT_EQ(mkdir((empty + "/Contents").c_str(), 0755), 0);
  ASSERT_TRUE(kelo::test::writeFile(empty + "/Contents/Info.plist", kInfo));
  CFBundleRef bundle = bundleAt(empty);
  ASSERT_NE(bundle, nullptr);
  EXPECT_EQ(kelo::cf::utf8(static_cast<CFStringRef>(CFBundleGetValueForInfoDictionaryKey(bundle, kCFBundleVersionKey))), "9.9");
  EXPECT_FALSE(CFBundleLoadExecutable(bundle));
  EXPECT_NE(kelo::cf::bundleLoadError(bundle).find("Nothing.so"), std::string::npos);
  EXPECT_EQ(CFBundleGetFunctionPointerForName(bundle, CFSTR("keloTestAnswer")), nullptr);
  EXPECT_EQ(CFBundleCopyExecutableURL(bundle), nullptr);
  CFRelease(bundle);

  // An executable that is not a shared object.
  ASSERT_EQ(mkdir((empty + "/Contents/x86_64-linux").c_str(), 0755), 0);
  ASSERT_TRUE(kelo::test::writeFile(empty + "/Contents/x86_64-linux/Nothing.so", "not an ELF file"));
  bundle = bundleAt(empty);
  ASSERT_NE(bundle, nullptr);
  EXPECT_FALSE(CFBundleLoadExecutable(bundle));
  EXPECT_FALSE(kelo::cf::bundleLoadError(bundle).empty());
  EXPECT_EQ(CFBundleGetFunctionPointerForName(bundle, CFSTR("keloTestAnswer")), nullptr);
  CFRelease(bundle);

  // An Info.plist that cannot be read makes no bundle.
  ASSERT_TRUE(kelo::test::writeFile(empty + "/Contents/Info.plist", "<plist><dict><key>"));
  EXPECT_EQ(bundleAt(empty), nullptr);
}

TEST(Bundles, ResourcesAreFoundUnderContentsResources) {
  kelo::test::TempDir dir;
  const std::string root = dir.file("Data.bundle");
  for (const char* folder : {"", "/Contents", "/Contents/Resources", "/Contents/Resources/GUI",
                             "/Contents/Resources/libsndfile.bundle"})
    ASSERT_EQ(mkdir((root + folder).c_str(), 0755), 0) << folder;
  ASSERT_TRUE(kelo::test::writeFile(root + "/Contents/Resources/GUI/play.png", "png"));
  CFBundleRef bundle = bundleAt(root);
  ASSERT_NE(bundle, nullptr);

  CFURLRef resources = CFBundleCopyResourcesDirectoryURL(bundle);
  EXPECT_EQ(pathOf(resources), root + "/Contents/Resources");
  CFRelease(resources);
  CFURLRef image = CFBundleCopyResourceURL(bundle, CFSTR("play"), CFSTR("png"), CFSTR("GUI"));
  EXPECT_EQ(pathOf(image), root + "/Contents/Resources/GUI/play.png");
  CFRelease(image);
  CFURLRef nested = CFBundleCopyResourceURL(bundle, CFSTR("libsndfile.bundle"), nullptr, nullptr);
  EXPECT_EQ(pathOf(nested), root + "/Contents/Resources/libsndfile.bundle");
  EXPECT_TRUE(CFURLHasDirectoryPath(nested));
  CFRelease(nested);
  EXPECT_EQ(CFBundleCopyResourceURL(bundle, CFSTR("play"), CFSTR("jpg"), CFSTR("GUI")), nullptr);
  EXPECT_EQ(CFBundleCopyResourceURL(bundle, nullptr, CFSTR("png"), nullptr), nullptr);
  CFRelease(bundle);
}

TEST(Bundles, TheMainBundleIsTheRunningProgram) {
  CFBundleRef main = CFBundleGetMainBundle();
  ASSERT_EQ(main, CFBundleGetMainBundle());
  char exe[4096] = {};
  ASSERT_GT(readlink("/proc/self/exe", exe, sizeof exe - 1), 0);
  std::string folder(exe);
  folder.resize(folder.rfind('/'));
  CFURLRef resources = CFBundleCopyResourcesDirectoryURL(main);
  EXPECT_EQ(pathOf(resources), folder + "/Resources");
  CFRelease(resources);
  EXPECT_NE(CFBundleGetFunctionPointerForName(main, CFSTR("getpid")), nullptr);
  CFRelease(main);  // owned by the process: no effect
  EXPECT_TRUE(CFBundleIsExecutableLoaded(CFBundleGetMainBundle()));
}

}  // namespace
