// Conversions between the stand-in's UTF-8 strings and byte encodings, checked against tables
// and against glibc's iconv as an independent reader.
#include <gtest/gtest.h>
#include <iconv.h>

#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "platform/cf/CoreFoundation.h"

namespace {

// The bytes as iconv converts them from `charset` to UTF-8; empty when it refuses them.
std::string iconvToUTF8(const std::string& bytes, const char* charset) {
  iconv_t cd = iconv_open("UTF-8", charset);
  if (cd == reinterpret_cast<iconv_t>(-1)) return {};
  std::string in = bytes;
  std::string out(bytes.size() * 4 + 8, '\0');
  char* inPtr = in.data();
  char* outPtr = out.data();
  std::size_t inLeft = in.size();
  std::size_t outLeft = out.size();
  const std::size_t done = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
  iconv_close(cd);
  if (done == static_cast<std::size_t>(-1)) return {};
  out.resize(out.size() - outLeft);
  return out;
}

std::string decode(const std::string& bytes, CFStringEncoding encoding, bool external = false) {
  std::string out = "<unchanged>";
  if (!kelo::cf::decodeToUTF8(bytes.data(), bytes.size(), encoding, external, out)) return "<invalid>";
  return out;
}

std::string encode(const std::string& utf8, CFStringEncoding encoding) {
  std::string out = "<unchanged>";
  if (!kelo::cf::encodeFromUTF8(utf8, encoding, out)) return "<invalid>";
  return out;
}

TEST(Encodings, MacRomanHighBytesMatchIconvAndRoundTrip) {
  for (int b = 0x80; b <= 0xFF; ++b) {
    const std::string byte(1, static_cast<char>(b));
    const std::string text = decode(byte, kCFStringEncodingMacRoman);
    // Two bytes where Apple's own table and glibc differ: Apple maps 0xC6 to U+2206
    // (increment; glibc: the Greek capital delta) and its logo 0xF0 to U+F8FF (glibc: another
    // private-use point).
    const std::string expected = b == 0xC6   ? "\xE2\x88\x86"
                                 : b == 0xF0 ? "\xEF\xA3\xBF"
                                             : iconvToUTF8(byte, "MACINTOSH");
    EXPECT_EQ(text, expected) << "byte 0x" << std::hex << b;
    EXPECT_EQ(encode(text, kCFStringEncodingMacRoman), byte) << "byte 0x" << std::hex << b;
  }
}

TEST(Encodings, WindowsLatin1MatchesIconvAndRejectsItsFiveHoles) {
  for (int b = 0x80; b <= 0xFF; ++b) {
    const std::string byte(1, static_cast<char>(b));
    const std::string reference = iconvToUTF8(byte, "CP1252");
    const std::string text = decode(byte, kCFStringEncodingWindowsLatin1);
    if (b == 0x81 || b == 0x8D || b == 0x8F || b == 0x90 || b == 0x9D) {
      EXPECT_EQ(text, "<invalid>") << "byte 0x" << std::hex << b;
      continue;
    }
    EXPECT_EQ(text, reference) << "byte 0x" << std::hex << b;
    EXPECT_EQ(encode(text, kCFStringEncodingWindowsLatin1), byte) << "byte 0x" << std::hex << b;
  }
}

struct Case {
  const char* utf8;
  CFStringEncoding encoding;
  std::string bytes;  // "<invalid>" when the text has no form in the encoding
};

TEST(Encodings, TextToBytesTable) {
  const std::vector<Case> cases = {
      {"caf\xC3\xA9", kCFStringEncodingMacRoman, "caf\x8E"},
      {"caf\xC3\xA9", kCFStringEncodingWindowsLatin1, "caf\xE9"},
      {"caf\xC3\xA9", kCFStringEncodingISOLatin1, "caf\xE9"},
      {"caf\xC3\xA9", kCFStringEncodingASCII, "<invalid>"},
      {"\xE2\x82\xAC", kCFStringEncodingMacRoman, "\xDB"},
      {"\xE2\x82\xAC", kCFStringEncodingWindowsLatin1, "\x80"},
      {"\xE2\x82\xAC", kCFStringEncodingISOLatin1, "<invalid>"},
      {"\xE2\x84\xA2", kCFStringEncodingMacRoman, "\xAA"},
      {"\xE2\x84\xA2", kCFStringEncodingWindowsLatin1, "\x99"},
      {"\xE4\xB8\xAD", kCFStringEncodingMacRoman, "<invalid>"},
      {"\xE4\xB8\xAD", kCFStringEncodingWindowsLatin1, "<invalid>"},
      {"A\xC3\xA9", kCFStringEncodingUTF16LE, std::string("A\0\xE9\0", 4)},
      {"A\xC3\xA9", kCFStringEncodingUTF16BE, std::string("\0A\0\xE9", 4)},
      {"\xF0\x9F\x98\x80", kCFStringEncodingUTF16BE, std::string("\xD8\x3D\xDE\x00", 4)},
      {"\xF0\x9F\x98\x80", kCFStringEncodingUTF16LE, std::string("\x3D\xD8\x00\xDE", 4)},
      {"\xF0\x9F\x98\x80", kCFStringEncodingUTF32LE, std::string("\x00\xF6\x01\x00", 4)},
      {"\xF0\x9F\x98\x80", kCFStringEncodingUTF32BE, std::string("\x00\x01\xF6\x00", 4)},
      {"\xF0\x9F\x98\x80", kCFStringEncodingUTF16, std::string("\x3D\xD8\x00\xDE", 4)},  // host order
      {"", kCFStringEncodingUTF32LE, ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(encode(c.utf8, c.encoding), c.bytes) << c.utf8 << " in 0x" << std::hex << c.encoding;
    if (c.bytes != "<invalid>") {
      EXPECT_EQ(decode(c.bytes, c.encoding), c.utf8) << c.utf8 << " from 0x" << std::hex << c.encoding;
    }
  }
}

TEST(Encodings, InvalidInputIsRejected) {
  const std::vector<std::pair<std::string, CFStringEncoding>> cases = {
      {"\xC0\x80", kCFStringEncodingUTF8},              // overlong zero
      {"\xE0\x80\xAF", kCFStringEncodingUTF8},          // overlong "/"
      {"\xED\xA0\x80", kCFStringEncodingUTF8},          // encoded surrogate
      {"\xF4\x90\x80\x80", kCFStringEncodingUTF8},      // above U+10FFFF
      {"\xE2\x82", kCFStringEncodingUTF8},              // cut short
      {"\x80", kCFStringEncodingUTF8},                  // lone continuation
      {"\xFE", kCFStringEncodingUTF8},
      {"caf\xE9", kCFStringEncodingUTF8},               // Latin-1 taken as UTF-8
      {"\xE9", kCFStringEncodingASCII},
      {"\x81", kCFStringEncodingWindowsLatin1},
      {std::string("\x00\xD8", 2), kCFStringEncodingUTF16LE},          // unpaired high
      {std::string("\x00\xDC\x41\x00", 4), kCFStringEncodingUTF16LE},  // unpaired low
      {std::string("\x41\x00\x42", 3), kCFStringEncodingUTF16LE},      // odd length
      {std::string("\x00\x00\x11\x00", 4), kCFStringEncodingUTF32LE},  // above U+10FFFF
      {std::string("\x00\xD8\x00\x00", 4), kCFStringEncodingUTF32LE},  // surrogate
      {"abc", 0x0A01 /* an encoding not provided */},
  };
  for (const auto& [bytes, encoding] : cases) {
    EXPECT_EQ(decode(bytes, encoding), "<invalid>") << "encoding 0x" << std::hex << encoding;
    CFStringRef s = CFStringCreateWithBytes(nullptr, reinterpret_cast<const UInt8*>(bytes.data()),
                                            static_cast<CFIndex>(bytes.size()), encoding, false);
    EXPECT_EQ(s, nullptr);
  }
  EXPECT_EQ(encode("caf\xE9", kCFStringEncodingMacRoman), "<invalid>");
}

TEST(Encodings, ExternalRepresentationHonoursTheByteOrderMark) {
  EXPECT_EQ(decode(std::string("\xFE\xFF\x00\x41", 4), kCFStringEncodingUTF16, true), "A");
  EXPECT_EQ(decode(std::string("\xFF\xFE\x41\x00", 4), kCFStringEncodingUTF16, true), "A");
  EXPECT_EQ(decode(std::string("\x00\x00\xFE\xFF\x00\x00\x00\x41", 8), kCFStringEncodingUTF32, true), "A");
  EXPECT_EQ(decode("\xEF\xBB\xBF" "A", kCFStringEncodingUTF8, true), "A");
  // Without the flag a mark is text like any other.
  EXPECT_EQ(decode(std::string("\xFF\xFE\x41\x00", 4), kCFStringEncodingUTF16, false), "\xEF\xBB\xBF" "A");
}

TEST(Strings, LengthAndCharactersCountUTF16Units) {
  CFStringRef s = kelo::cf::makeString("a\xC3\xA9\xF0\x9F\x98\x80z");
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(CFStringGetLength(s), 5);
  UniChar units[5] = {};
  CFStringGetCharacters(s, CFRangeMake(0, 5), units);
  const UniChar expected[5] = {u'a', 0xE9, 0xD83D, 0xDE00, u'z'};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(units[i], expected[i]) << i;
  UniChar tail[2] = {1, 1};
  CFStringGetCharacters(s, CFRangeMake(4, 10), tail);  // clipped to the string
  EXPECT_EQ(tail[0], u'z');
  EXPECT_EQ(tail[1], 1);
  CFRelease(s);
}

TEST(Strings, GetCStringNeedsRoomForTheTerminatorAndLeavesTheBufferAloneOnFailure) {
  CFStringRef s = CFStringCreateWithCString(nullptr, "caf\xC3\xA9", kCFStringEncodingUTF8);
  ASSERT_NE(s, nullptr);
  char buffer[8];
  std::memset(buffer, 'x', sizeof buffer);
  EXPECT_FALSE(CFStringGetCString(s, buffer, 5, kCFStringEncodingUTF8));  // 5 bytes + zero
  EXPECT_EQ(std::string(buffer, 8), "xxxxxxxx");
  EXPECT_TRUE(CFStringGetCString(s, buffer, 6, kCFStringEncodingUTF8));
  EXPECT_STREQ(buffer, "caf\xC3\xA9");
  EXPECT_TRUE(CFStringGetCString(s, buffer, 5, kCFStringEncodingMacRoman));  // 4 bytes + zero
  EXPECT_STREQ(buffer, "caf\x8E");
  EXPECT_FALSE(CFStringGetCString(s, buffer, 8, kCFStringEncodingASCII));
  CFRelease(s);
}

TEST(Strings, CaseInsensitiveComparison) {
  const std::vector<std::tuple<const char*, const char*, CFComparisonResult>> cases = {
      {"Path", "path", kCFCompareEqualTo},
      {"\xC3\x89T\xC3\x89", "\xC3\xA9t\xC3\xA9", kCFCompareEqualTo},  // ÉTÉ / été
      {"\xD0\x96", "\xD0\xB6", kCFCompareEqualTo},                    // Ж / ж
      {"a", "B", kCFCompareLessThan},
      {"path2", "PATH1", kCFCompareGreaterThan},
  };
  for (const auto& [a, b, expected] : cases) {
    CFStringRef sa = kelo::cf::makeString(a);
    CFStringRef sb = kelo::cf::makeString(b);
    EXPECT_EQ(CFStringCompare(sa, sb, kCFCompareCaseInsensitive), expected) << a << " / " << b;
    CFRelease(sa);
    CFRelease(sb);
  }
  EXPECT_EQ(CFStringCompare(CFSTR("Path"), CFSTR("path"), 0), kCFCompareLessThan);
}

TEST(Strings, SystemEncodingIsUTF8UnlessATestSetsIt) {
  EXPECT_EQ(CFStringGetSystemEncoding(), kCFStringEncodingUTF8);
  kelo::cf::setSystemEncoding(kCFStringEncodingMacRoman);
  EXPECT_EQ(CFStringGetSystemEncoding(), kCFStringEncodingMacRoman);
  kelo::cf::setSystemEncoding(kCFStringEncodingUTF8);
}

TEST(Strings, ConstantsAreSharedAndNeverFreed) {
  CFStringRef a = CFSTR("kelo");
  CFRelease(a);
  CFRelease(a);
  EXPECT_EQ(kelo::cf::utf8(a), "kelo");
  EXPECT_TRUE(CFEqual(a, CFSTR("kelo")));
}

}  // namespace
