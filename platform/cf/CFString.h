// Strings of the CoreFoundation stand-in: immutable Unicode text, held as UTF-8.
//
// Lengths, ranges and characters are counted in UTF-16 code units, as callers written for
// CoreFoundation expect. Conversions cover UTF-8, UTF-16 and UTF-32 (either byte order, or
// the host's with an optional byte-order mark), ASCII, ISO Latin-1, Windows Latin-1 (cp1252)
// and Mac Roman; text that is invalid in the source encoding, or a character the target
// encoding cannot hold, makes the conversion fail (no replacement characters).
#pragma once

#include <string>
#include <string_view>

#include "platform/cf/CFBase.h"

struct KeloCFString;
using CFStringRef = const KeloCFString*;

using CFStringEncoding = UInt32;
enum : CFStringEncoding {
  kCFStringEncodingMacRoman = 0,
  kCFStringEncodingWindowsLatin1 = 0x0500,
  kCFStringEncodingISOLatin1 = 0x0201,
  kCFStringEncodingASCII = 0x0600,
  kCFStringEncodingUnicode = 0x0100,
  kCFStringEncodingUTF8 = 0x08000100,
  kCFStringEncodingUTF16 = 0x0100,
  kCFStringEncodingUTF16BE = 0x10000100,
  kCFStringEncodingUTF16LE = 0x14000100,
  kCFStringEncodingUTF32 = 0x0c000100,
  kCFStringEncodingUTF32BE = 0x18000100,
  kCFStringEncodingUTF32LE = 0x1c000100,
};
inline constexpr CFStringEncoding kCFStringEncodingInvalidId = 0xffffffffU;

using CFStringCompareFlags = CFOptionFlags;
enum : CFStringCompareFlags {
  kCFCompareCaseInsensitive = 1,
};

/// The Carbon name record: a length and up to 255 UTF-16 code units (512 bytes).
struct HFSUniStr255 {
  UInt16 length;
  UniChar unicode[255];
};
static_assert(sizeof(HFSUniStr255) == 512);

CFTypeID CFStringGetTypeID();

/// Text up to the first zero byte, in `encoding`; null when it is not valid there.
CFStringRef CFStringCreateWithCString(CFAllocatorRef allocator, const char* text,
                                      CFStringEncoding encoding);
/// `count` bytes in `encoding`. With `isExternalRepresentation`, a leading byte-order mark of
/// UTF-16 or UTF-32 decides the byte order (and is dropped); without it the host's order is
/// taken for kCFStringEncodingUTF16/UTF32. Null when the bytes are not valid.
CFStringRef CFStringCreateWithBytes(CFAllocatorRef allocator, const UInt8* bytes, CFIndex count,
                                    CFStringEncoding encoding, Boolean isExternalRepresentation);
/// `count` UTF-16 code units; null when they hold an unpaired surrogate.
CFStringRef CFStringCreateWithCharacters(CFAllocatorRef allocator, const UniChar* characters,
                                         CFIndex count);
CFStringRef CFStringCreateCopy(CFAllocatorRef allocator, CFStringRef string);

/// Length in UTF-16 code units.
CFIndex CFStringGetLength(CFStringRef string);
/// Copies the UTF-16 code units of `range` (clipped to the string) into `buffer`.
void CFStringGetCharacters(CFStringRef string, CFRange range, UniChar* buffer);
/// Writes the text in `encoding` with a terminating zero into `buffer`. False, with `buffer`
/// untouched, when the text cannot be converted or does not fit in `bufferSize` bytes.
Boolean CFStringGetCString(CFStringRef string, char* buffer, CFIndex bufferSize,
                           CFStringEncoding encoding);
/// The held text when `encoding` is UTF-8 (or ASCII and the text is ASCII), else null. Valid
/// while the string lives.
const char* CFStringGetCStringPtr(CFStringRef string, CFStringEncoding encoding);
/// Upper bound of the bytes `length` UTF-16 units take in `encoding` (no terminator).
CFIndex CFStringGetMaximumSizeForEncoding(CFIndex length, CFStringEncoding encoding);
/// Compares by UTF-16 code units; case-insensitively (simple case folding of the Latin, Greek
/// and Cyrillic letters) with kCFCompareCaseInsensitive.
CFComparisonResult CFStringCompare(CFStringRef a, CFStringRef b, CFStringCompareFlags options);

/// The encoding byte texts of unknown origin are read in. On Linux this is UTF-8 (the locale's
/// encoding everywhere the suite runs); tests may change it with kelo::cf::setSystemEncoding.
CFStringEncoding CFStringGetSystemEncoding();

/// A constant string for a literal: never freed, made once per literal.
#define CFSTR(literal) ::keloCFConstantString("" literal "")
CFStringRef keloCFConstantString(const char* utf8Literal);

namespace kelo::cf {

/// Sets what CFStringGetSystemEncoding answers (for tests); any thread.
void setSystemEncoding(CFStringEncoding encoding);

/// A new string from UTF-8 text; null when it is not valid UTF-8.
CFStringRef makeString(std::string_view utf8);
/// The string's UTF-8 text (empty for null); valid while the string lives.
std::string_view utf8(CFStringRef string);

/// Converts `count` bytes in `encoding` to UTF-8; false (and `out` unchanged) when invalid.
bool decodeToUTF8(const void* bytes, std::size_t count, CFStringEncoding encoding,
                  bool isExternalRepresentation, std::string& out);
/// Converts UTF-8 text to `encoding` (host byte order for UTF16/UTF32, no byte-order mark);
/// false (and `out` unchanged) when the text is not valid UTF-8 or a character has no place
/// in `encoding`.
bool encodeFromUTF8(std::string_view utf8, CFStringEncoding encoding, std::string& out);

}  // namespace kelo::cf
