// URLs of the CoreFoundation stand-in: chiefly file URLs.
//
// On Linux a path is its bytes: a file URL keeps the path bytes it was made from (UTF-8 when
// made from a string), made absolute against the working folder of the moment of creation.
// Other URLs (made from a URL text with a scheme) are kept as text and have no file-system
// path.
#pragma once

#include "platform/cf/CFBase.h"
#include "platform/cf/CFString.h"

struct KeloCFURL;
using CFURLRef = const KeloCFURL*;

using CFURLPathStyle = CFIndex;
enum : CFURLPathStyle {
  kCFURLPOSIXPathStyle = 0,
  kCFURLWindowsPathStyle = 2,
};

CFTypeID CFURLGetTypeID();
/// A file URL from a path; null for an empty path or a style other than POSIX.
CFURLRef CFURLCreateWithFileSystemPath(CFAllocatorRef allocator, CFStringRef path,
                                       CFURLPathStyle style, Boolean isDirectory);
/// A file URL from `count` path bytes; null for an empty path.
CFURLRef CFURLCreateFromFileSystemRepresentation(CFAllocatorRef allocator, const UInt8* bytes,
                                                 CFIndex count, Boolean isDirectory);
/// A URL from its text ("file:///tmp/a%20b", "https://example.org/"); a text without a
/// scheme is a path relative to the file URL `base`. Null when the text is malformed (blanks,
/// control characters, bad escapes), or has no scheme and no base.
CFURLRef CFURLCreateWithString(CFAllocatorRef allocator, CFStringRef text, CFURLRef base);
CFURLRef CFURLCreateWithBytes(CFAllocatorRef allocator, const UInt8* bytes, CFIndex count,
                              CFStringEncoding encoding, CFURLRef base);

/// Writes the absolute path (no trailing "/" except for the root) with a terminating zero.
/// False when the URL is not a file URL, the path holds a zero byte, or it does not fit.
Boolean CFURLGetFileSystemRepresentation(CFURLRef url, Boolean resolveAgainstBase,
                                         UInt8* buffer, CFIndex bufferSize);
/// The absolute path as a string; null for other URLs or paths that are not UTF-8.
CFStringRef CFURLCopyFileSystemPath(CFURLRef url, CFURLPathStyle style);
/// The URL's text, owned by the URL.
CFStringRef CFURLGetString(CFURLRef url);
CFStringRef CFURLCopyScheme(CFURLRef url);
Boolean CFURLHasDirectoryPath(CFURLRef url);
CFURLRef CFURLCopyAbsoluteURL(CFURLRef url);
CFStringRef CFURLCopyLastPathComponent(CFURLRef url);
/// The text after the last "." of the last component, or null when it has none.
CFStringRef CFURLCopyPathExtension(CFURLRef url);
CFURLRef CFURLCreateCopyAppendingPathComponent(CFAllocatorRef allocator, CFURLRef url,
                                               CFStringRef component, Boolean isDirectory);
CFURLRef CFURLCreateCopyDeletingLastPathComponent(CFAllocatorRef allocator, CFURLRef url);

namespace kelo::cf {

/// A file URL's absolute path bytes (empty for other URLs); valid while the URL lives.
std::string_view filePath(CFURLRef url);

}  // namespace kelo::cf
