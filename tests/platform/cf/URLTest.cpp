// File URLs: paths as bytes, made absolute, and back through bounded buffers.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "platform/cf/CoreFoundation.h"

namespace {

CFURLRef fromBytes(const std::string& path, bool folder) {
  return CFURLCreateFromFileSystemRepresentation(
      nullptr, reinterpret_cast<const UInt8*>(path.data()), static_cast<CFIndex>(path.size()), folder);
}

std::string pathOf(CFURLRef url, CFIndex size = 1024) {
  std::string buffer(static_cast<std::size_t>(size), '\x7F');
  if (!CFURLGetFileSystemRepresentation(url, true, reinterpret_cast<UInt8*>(buffer.data()), size))
    return "<failed>";
  return buffer.c_str();
}

TEST(FileURLs, PathsComeBackAsTheirBytes) {
  struct Case {
    std::string path;
    bool folder;
    std::string back;
    std::string text;
  };
  const Case cases[] = {
      {"/tmp/a b", false, "/tmp/a b", "file:///tmp/a%20b"},
      {"/tmp/dir/", true, "/tmp/dir", "file:///tmp/dir/"},
      {"/tmp/dir", true, "/tmp/dir", "file:///tmp/dir/"},
      {"/", true, "/", "file:///"},
      {"/caf\xC3\xA9", false, "/caf\xC3\xA9", "file:///caf%C3%A9"},
      {"/raw\xE9", false, "/raw\xE9", "file:///raw%E9"},  // not UTF-8: still a path
  };
  for (const Case& c : cases) {
    CFURLRef url = fromBytes(c.path, c.folder);
    ASSERT_NE(url, nullptr) << c.path;
    EXPECT_EQ(pathOf(url), c.back);
    EXPECT_EQ(kelo::cf::utf8(CFURLGetString(url)), c.text);
    EXPECT_EQ(bool(CFURLHasDirectoryPath(url)), c.folder);
    CFRelease(url);
  }
}

TEST(FileURLs, RelativePathsAreMadeAbsolute) {
  char cwd[4096];
  ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
  CFURLRef url = CFURLCreateWithFileSystemPath(nullptr, CFSTR("sub/file.txt"), kCFURLPOSIXPathStyle, false);
  EXPECT_EQ(pathOf(url), std::string(cwd) + "/sub/file.txt");
  CFStringRef extension = CFURLCopyPathExtension(url);
  EXPECT_EQ(kelo::cf::utf8(extension), "txt");
  CFRelease(extension);
  CFRelease(url);
}

TEST(FileURLs, ConversionFailsWhenThePathDoesNotFit) {
  CFURLRef url = fromBytes("/tmp/abc", false);
  EXPECT_EQ(pathOf(url, 9), "/tmp/abc");
  EXPECT_EQ(pathOf(url, 8), "<failed>");
  CFRelease(url);
  CFURLRef zero = fromBytes(std::string("/tmp/a\0b", 8), false);
  EXPECT_EQ(pathOf(zero), "<failed>");
  CFRelease(zero);
  EXPECT_EQ(fromBytes("", false), nullptr);
}

TEST(URLs, TextsWithSchemes) {
  CFURLRef file = CFURLCreateWithString(nullptr, CFSTR("file:///tmp/a%20b/"), nullptr);
  EXPECT_EQ(pathOf(file), "/tmp/a b");
  CFStringRef scheme = CFURLCopyScheme(file);
  EXPECT_EQ(kelo::cf::utf8(scheme), "file");
  CFRelease(scheme);
  CFURLRef relative = CFURLCreateWithString(nullptr, CFSTR("c.txt"), file);
  EXPECT_EQ(pathOf(relative), "/tmp/a b/c.txt");
  CFRelease(relative);
  CFRelease(file);

  CFURLRef web = CFURLCreateWithString(nullptr, CFSTR("https://example.org/x"), nullptr);
  ASSERT_NE(web, nullptr);
  EXPECT_EQ(pathOf(web), "<failed>");
  EXPECT_EQ(CFURLCopyFileSystemPath(web, kCFURLPOSIXPathStyle), nullptr);
  CFRelease(web);
  EXPECT_EQ(CFURLCreateWithString(nullptr, CFSTR("https://example.org/a b"), nullptr), nullptr);
  EXPECT_EQ(CFURLCreateWithString(nullptr, CFSTR("file:///bad%zz"), nullptr), nullptr);
}

TEST(FileURLs, AppendAndDeleteComponents) {
  CFURLRef folder = fromBytes("/tmp/x", true);
  CFURLRef child = CFURLCreateCopyAppendingPathComponent(nullptr, folder, CFSTR("y.plist"), false);
  EXPECT_EQ(pathOf(child), "/tmp/x/y.plist");
  CFStringRef last = CFURLCopyLastPathComponent(child);
  EXPECT_EQ(kelo::cf::utf8(last), "y.plist");
  CFURLRef parent = CFURLCreateCopyDeletingLastPathComponent(nullptr, child);
  EXPECT_TRUE(CFEqual(parent, folder));
  for (CFTypeRef o : {CFTypeRef(folder), CFTypeRef(child), CFTypeRef(last), CFTypeRef(parent)})
    CFRelease(o);
}

}  // namespace
