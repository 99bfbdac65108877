#include <gtest/gtest.h>

#include "platform/cf/CoreFoundation.h"

TEST(Smoke, RoundTrip) {
  const char xml[] = R"(<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0"><dict><key>z</key><integer>-5</integer><key>a</key><string>x</string></dict></plist>)";
  CFPropertyListRef list = kelo::cf::propertyListFromXML(xml, sizeof xml - 1);
  ASSERT_NE(list, nullptr);
  std::string out;
  ASSERT_TRUE(kelo::cf::propertyListToXML(list, out));
  EXPECT_NE(out.find("<key>z</key>"), std::string::npos) << out;
  CFRelease(list);
}

TEST(Smoke, Bundle) {
  CFURLRef url = CFURLCreateFromFileSystemRepresentation(
      nullptr, reinterpret_cast<const UInt8*>(KELO_TEST_BUNDLE_DIR), sizeof KELO_TEST_BUNDLE_DIR - 1, true);
  CFBundleRef bundle = CFBundleCreate(nullptr, url);
  ASSERT_NE(bundle, nullptr);
  auto f = reinterpret_cast<int (*)(int)>(CFBundleGetFunctionPointerForName(bundle, CFSTR("keloTestAnswer")));
  ASSERT_NE(f, nullptr) << kelo::cf::bundleLoadError(bundle);
  EXPECT_EQ(f(1), 44);
  CFRelease(bundle);
  CFRelease(url);
}
