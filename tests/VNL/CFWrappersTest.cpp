// The CoreFoundation holders: ownership, bounded conversions and their edge cases, and the
// byte-order helpers.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "VNL/source/CFWrappers.h"

namespace {

using vantor::CFStringWrapper;
using vantor::CFTypeWrapper;
using vantor::CFURLWrapper;

// Restores the system encoding a test changed.
struct SystemEncoding {
  explicit SystemEncoding(CFStringEncoding e) { kelo::cf::setSystemEncoding(e); }
  ~SystemEncoding() { kelo::cf::setSystemEncoding(kCFStringEncodingUTF8); }
};

TEST(CFStringWrapper, InvalidTextGivesAnEmptyHolderUnlessTheFallbackTakesIt) {
  const std::string latin1 = "caf\xE9";
  CFStringWrapper strict(latin1, kCFStringEncodingUTF8, false);
  EXPECT_EQ(strict.getCFStringRef(), nullptr);
  std::string out = "kept";
  EXPECT_FALSE(strict.getCString64(out, kCFStringEncodingUTF8));
  EXPECT_EQ(out, "kept");

  {
    SystemEncoding macRoman(kCFStringEncodingMacRoman);
    CFStringWrapper fallback(latin1, kCFStringEncodingUTF8, true);
    ASSERT_NE(fallback.getCFStringRef(), nullptr);
    EXPECT_TRUE(fallback.getCString64(out, kCFStringEncodingUTF8));
    EXPECT_EQ(out, "caf\xC3\x88");  // 0xE9 is È in Mac Roman
  }
  // With the Linux default (UTF-8) the fallback cannot take it either.
  CFStringWrapper noFallback(latin1.c_str(), kCFStringEncodingUTF8, true);
  EXPECT_EQ(noFallback.getCFStringRef(), nullptr);

  CFStringWrapper windows(latin1, kCFStringEncodingWindowsLatin1, false);
  EXPECT_TRUE(windows.getCString64(out, kCFStringEncodingUTF8));
  EXPECT_EQ(out, "caf\xC3\xA9");
}

TEST(CFStringWrapper, TextStopsAtTheFirstZeroByte) {
  const std::string text("ab\0cd", 5);
  CFStringWrapper s(text, kCFStringEncodingUTF8, false);
  std::string out;
  ASSERT_TRUE(s.getCString64(out, kCFStringEncodingUTF8));
  EXPECT_EQ(out, "ab");
}

TEST(CFStringWrapper, BoundedCopiesNeverCutText) {
  using Getter = bool (CFStringWrapper::*)(std::string&, CFStringEncoding) const;
  struct Case {
    Getter get;
    std::size_t buffer;
  };
  const Case cases[] = {
      {&CFStringWrapper::getCString64, 64},     {&CFStringWrapper::getCString256, 256},
      {&CFStringWrapper::getCString512, 512},   {&CFStringWrapper::getCString1024, 1024},
      {&CFStringWrapper::getCString2048, 2048}, {&CFStringWrapper::getCStringPath, 1024},
  };
  for (const Case& c : cases) {
    const std::string fits(c.buffer - 1, 'a');
    const std::string tooLong(c.buffer, 'a');
    std::string out = "kept";
    CFStringWrapper small(fits, kCFStringEncodingUTF8, false);
    EXPECT_TRUE((small.*c.get)(out, kCFStringEncodingUTF8)) << c.buffer;
    EXPECT_EQ(out, fits);
    out = "kept";
    CFStringWrapper large(tooLong, kCFStringEncodingUTF8, false);
    EXPECT_FALSE((large.*c.get)(out, kCFStringEncodingUTF8)) << c.buffer;
    EXPECT_EQ(out, "kept");
  }
  // Bytes count in the target encoding: 32 é are 64 UTF-8 bytes but 32 Mac Roman bytes.
  std::string accents;
  for (int i = 0; i < 32; ++i) accents += "\xC3\xA9";
  CFStringWrapper s(accents, kCFStringEncodingUTF8, false);
  std::string out = "kept";
  EXPECT_FALSE(s.getCString64(out, kCFStringEncodingUTF8));
  EXPECT_TRUE(s.getCString64(out, kCFStringEncodingMacRoman));
  EXPECT_EQ(out, std::string(32, '\x8E'));
  out = "kept";
  EXPECT_FALSE(s.getCString64(out, kCFStringEncodingASCII));  // cannot be converted
  EXPECT_EQ(out, "kept");
}

TEST(CFStringWrapper, WideTextIsReadAsUTF32WhateverTheEncoding) {
  const std::wstring wide = L"h\u00E9llo \U0001F600";
  CFStringWrapper s(wide, kCFStringEncodingMacRoman, false);
  std::string out;
  ASSERT_TRUE(s.getCString64(out, kCFStringEncodingUTF8));
  EXPECT_EQ(out, "h\xC3\xA9llo \xF0\x9F\x98\x80");
  const std::wstring surrogate(1, static_cast<wchar_t>(0xD800));
  CFStringWrapper invalid(surrogate, kCFStringEncodingUTF8, false);
  EXPECT_EQ(invalid.getCFStringRef(), nullptr);
}

TEST(CFStringWrapper, GetCharactersKeepsAtMost255Units) {
  HFSUniStr255 record;
  std::memset(&record, 0xAB, sizeof record);
  CFStringWrapper empty(static_cast<CFStringRef>(nullptr));
  EXPECT_FALSE(empty.getCharacters(record));
  EXPECT_EQ(record.length, 0);
  EXPECT_EQ(record.unicode[254], 0);

  CFStringWrapper short_("a\xC3\xA9", kCFStringEncodingUTF8, false);
  ASSERT_TRUE(short_.getCharacters(record));
  EXPECT_EQ(record.length, 2);
  EXPECT_EQ(record.unicode[0], u'a');
  EXPECT_EQ(record.unicode[1], 0xE9);
  EXPECT_EQ(record.unicode[2], 0);

  // Inside a larger block, so that AddressSanitizer alone would not see a spill into it.
  struct {
    HFSUniStr255 record;
    UniChar guard[64];
  } block;
  std::memset(&block, 0xAB, sizeof block);
  CFStringWrapper long_(std::string(300, 'x'), kCFStringEncodingUTF8, false);
  ASSERT_TRUE(long_.getCharacters(block.record));
  EXPECT_EQ(block.record.length, 255);
  EXPECT_EQ(block.record.unicode[254], u'x');
  for (UniChar g : block.guard) EXPECT_EQ(g, 0xABAB);
}

TEST(CFStringWrapper, ResetDoesNotReleaseWhatWasHeld) {
  CFStringRef first = kelo::cf::makeString("first");
  CFRetain(first);  // the test's own reference
  {
    CFStringWrapper holder(first);
    holder.reset(kelo::cf::makeString("second"));
    EXPECT_EQ(CFGetRetainCount(first), 2);
  }
  EXPECT_EQ(CFGetRetainCount(first), 2);  // the holder released "second", not "first"
  CFRelease(first);
  CFRelease(first);
}

TEST(CFURLWrapper, FileSystemRepresentationEmptiesOutOnFailure) {
  const std::string path = "/tmp/kelo/file.plist";
  CFURLWrapper url(path.data(), static_cast<CFIndex>(path.size()), false);
  std::string out = "kept";
  ASSERT_TRUE(url.getFileSystemRepresentation(out));
  EXPECT_EQ(out, path);

  const std::string tooLong = "/" + std::string(1100, 'd');
  CFURLWrapper longURL(tooLong.data(), static_cast<CFIndex>(tooLong.size()), false);
  ASSERT_NE(longURL.getCFURLRef(), nullptr);
  out = "kept";
  EXPECT_FALSE(longURL.getFileSystemRepresentation(out));
  EXPECT_EQ(out, "");

  CFURLWrapper empty(static_cast<CFURLRef>(nullptr));
  out = "kept";
  EXPECT_FALSE(empty.getFileSystemRepresentation(out));
  EXPECT_EQ(out, "kept");

  CFURLWrapper fromString(CFSTR("/tmp/kelo/"), true);
  ASSERT_TRUE(fromString.getFileSystemRepresentation(out));
  EXPECT_EQ(out, "/tmp/kelo");
}

TEST(CFURLWrapper, BundleURLs) {
  CFBundleRef main = CFBundleGetMainBundle();
  CFURLWrapper own(main, false);
  CFURLWrapper resources(main, true);
  std::string ownPath, resourcesPath;
  ASSERT_TRUE(own.getFileSystemRepresentation(ownPath));
  ASSERT_TRUE(resources.getFileSystemRepresentation(resourcesPath));
  EXPECT_EQ(resourcesPath, ownPath + "/Resources");
  CFURLWrapper missing(main, CFSTR("no-such-resource"), CFSTR("png"), nullptr);
  EXPECT_EQ(missing.getCFURLRef(), nullptr);
}

TEST(CFTypeWrapper, OnlyStringsConvert) {
  SInt32 value = 5;
  CFTypeWrapper number(CFNumberCreate(kCFAllocatorDefault, kCFNumberSInt32Type, &value));
  std::string out = "kept";
  EXPECT_FALSE(number.getCString2048(out, kCFStringEncodingUTF8));
  EXPECT_EQ(out, "kept");
  CFTypeWrapper text(kelo::cf::makeString("value"));
  EXPECT_TRUE(text.getCString2048(out, kCFStringEncodingUTF8));
  EXPECT_EQ(out, "value");
  CFTypeWrapper nothing(nullptr);
  EXPECT_FALSE(nothing.getCString2048(out, kCFStringEncodingUTF8));
  nothing.reset(kelo::cf::makeString("later"));
  EXPECT_TRUE(nothing.getCString2048(out, kCFStringEncodingUTF8));
  EXPECT_EQ(out, "later");
}

TEST(ByteOrder, BitswapReversesBits) {
  EXPECT_TRUE(LittleEndian());
  std::uint8_t one = 0x01, high = 0xF0, mixed = 0x2C;
  EXPECT_EQ(bitswap(one), 0x80);
  EXPECT_EQ(bitswap(high), 0x0F);
  EXPECT_EQ(bitswap(mixed), 0x34);
  for (int b = 0; b < 256; ++b) {
    std::uint8_t byte = static_cast<std::uint8_t>(b);
    std::uint8_t swapped = bitswap(byte);
    EXPECT_EQ(bitswap(swapped), b);
  }
}

TEST(ByteOrder, BlockSwaps) {
  std::uint8_t shorts[] = {0x12, 0x34, 0x56, 0x78};
  Swap_16_block(shorts, 2);
  EXPECT_EQ(std::vector<int>(shorts, shorts + 4), (std::vector<int>{0x34, 0x12, 0x78, 0x56}));
  std::uint8_t words[] = {1, 2, 3, 4, 5, 6, 7, 8};
  Swap_32_block(words, 1);
  EXPECT_EQ(std::vector<int>(words, words + 8), (std::vector<int>{4, 3, 2, 1, 5, 6, 7, 8}));
  Swap_32_block(words, 0);
  Swap_16_block(words, 0);
  EXPECT_EQ(words[0], 4);
}

}  // namespace
