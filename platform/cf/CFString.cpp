// Strings of the stand-in: creation, conversion, comparison and constants.
#include "platform/cf/CFString.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <mutex>
#include <unordered_map>

#include "platform/cf/CFObject.h"

using kelo::cf::detail::as;
using kelo::cf::detail::object;

namespace {

// UTF-16 code units of valid UTF-8 text: one per lead byte, two for four-byte sequences.
CFIndex utf16Length(std::string_view utf8) {
  CFIndex n = 0;
  for (unsigned char b : utf8) {
    if ((b & 0xC0) != 0x80) ++n;
    if ((b & 0xF8) == 0xF0) ++n;
  }
  return n;
}

std::u16string toUTF16(std::string_view utf8) {
  std::string bytes;
  kelo::cf::encodeFromUTF8(utf8, kCFStringEncodingUTF16LE, bytes);
  std::u16string units(bytes.size() / 2, u'\0');
  for (std::size_t i = 0; i < units.size(); ++i)
    units[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                     (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
  return units;
}

// Simple case folding of the letters that have one-to-one lower-case forms in the Latin-1,
// Latin Extended-A, Greek and Cyrillic blocks.
char16_t fold(char16_t c) {
  if (c >= u'A' && c <= u'Z') return c + 0x20;
  if (c < 0x80) return c;
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 0x20;
  if (c >= 0x100 && c <= 0x137 && (c % 2) == 0) return c + 1;
  if (c >= 0x139 && c <= 0x148 && (c % 2) == 1) return c + 1;
  if (c >= 0x14A && c <= 0x177 && (c % 2) == 0) return c + 1;
  if (c == 0x178) return 0xFF;
  if (c >= 0x179 && c <= 0x17E && (c % 2) == 1) return c + 1;
  if (c >= 0x391 && c <= 0x3A9 && c != 0x3A2) return c + 0x20;
  if (c >= 0x410 && c <= 0x42F) return c + 0x20;
  if (c >= 0x400 && c <= 0x40F) return c + 0x50;
  return c;
}

CFStringRef newString(std::string utf8) {
  const CFIndex length = utf16Length(utf8);
  return new KeloCFString(std::move(utf8), length);
}

}  // namespace

bool KeloCFString::equals(const Object& other) const {
  const auto* s = as<KeloCFString>(&other);
  return s && s->text == text;
}

CFHashCode KeloCFString::hash() const { return std::hash<std::string>{}(text); }

CFTypeID CFStringGetTypeID() { return KeloCFString::kTypeID; }

CFStringRef CFStringCreateWithCString(CFAllocatorRef, const char* text, CFStringEncoding encoding) {
  if (!text) return nullptr;
  return CFStringCreateWithBytes(nullptr, reinterpret_cast<const UInt8*>(text),
                                 static_cast<CFIndex>(std::strlen(text)), encoding, false);
}

CFStringRef CFStringCreateWithBytes(CFAllocatorRef, const UInt8* bytes, CFIndex count,
                                    CFStringEncoding encoding, Boolean isExternalRepresentation) {
  if (count < 0 || (!bytes && count)) return nullptr;
  std::string utf8;
  if (!kelo::cf::decodeToUTF8(bytes, static_cast<std::size_t>(count), encoding,
                              isExternalRepresentation, utf8))
    return nullptr;
  return newString(std::move(utf8));
}

CFStringRef CFStringCreateWithCharacters(CFAllocatorRef, const UniChar* characters, CFIndex count) {
  if (count < 0 || (!characters && count)) return nullptr;
  std::string bytes;
  bytes.reserve(2 * count);
  for (CFIndex i = 0; i < count; ++i) {
    bytes += static_cast<char>(characters[i] & 0xFF);
    bytes += static_cast<char>(characters[i] >> 8);
  }
  return CFStringCreateWithBytes(nullptr, reinterpret_cast<const UInt8*>(bytes.data()),
                                 static_cast<CFIndex>(bytes.size()), kCFStringEncodingUTF16LE,
                                 false);
}

CFStringRef CFStringCreateCopy(CFAllocatorRef, CFStringRef string) {
  return as<KeloCFString>(string) ? static_cast<CFStringRef>(CFRetain(string)) : nullptr;
}

CFIndex CFStringGetLength(CFStringRef string) {
  const auto* s = as<KeloCFString>(string);
  return s ? s->utf16Length : 0;
}

void CFStringGetCharacters(CFStringRef string, CFRange range, UniChar* buffer) {
  const auto* s = as<KeloCFString>(string);
  if (!s || !buffer || range.location < 0 || range.length <= 0) return;
  const std::u16string units = toUTF16(s->text);
  const auto size = static_cast<CFIndex>(units.size());
  if (range.location >= size) return;
  const CFIndex n = std::min(range.length, size - range.location);
  std::copy_n(units.begin() + range.location, n, buffer);
}

Boolean CFStringGetCString(CFStringRef string, char* buffer, CFIndex bufferSize,
                           CFStringEncoding encoding) {
  const auto* s = as<KeloCFString>(string);
  if (!s || !buffer || bufferSize <= 0) return false;
  std::string bytes;
  if (!kelo::cf::encodeFromUTF8(s->text, encoding, bytes)) return false;
  if (static_cast<CFIndex>(bytes.size()) >= bufferSize) return false;
  std::memcpy(buffer, bytes.data(), bytes.size());
  buffer[bytes.size()] = '\0';
  return true;
}

const char* CFStringGetCStringPtr(CFStringRef string, CFStringEncoding encoding) {
  const auto* s = as<KeloCFString>(string);
  if (!s) return nullptr;
  if (encoding == kCFStringEncodingUTF8) return s->text.c_str();
  if (encoding == kCFStringEncodingASCII &&
      std::all_of(s->text.begin(), s->text.end(), [](char c) { return (c & 0x80) == 0; }))
    return s->text.c_str();
  return nullptr;
}

CFIndex CFStringGetMaximumSizeForEncoding(CFIndex length, CFStringEncoding encoding) {
  if (length < 0) return kCFNotFound;
  switch (encoding) {
    case kCFStringEncodingUTF8:
      return 3 * length;
    case kCFStringEncodingUTF16:
    case kCFStringEncodingUTF16BE:
    case kCFStringEncodingUTF16LE:
      return 2 * length;
    case kCFStringEncodingUTF32:
    case kCFStringEncodingUTF32BE:
    case kCFStringEncodingUTF32LE:
      return 4 * length;
    default:
      return length;
  }
}

CFComparisonResult CFStringCompare(CFStringRef a, CFStringRef b, CFStringCompareFlags options) {
  const auto* sa = as<KeloCFString>(a);
  const auto* sb = as<KeloCFString>(b);
  std::u16string ua = sa ? toUTF16(sa->text) : std::u16string();
  std::u16string ub = sb ? toUTF16(sb->text) : std::u16string();
  if (options & kCFCompareCaseInsensitive) {
    std::transform(ua.begin(), ua.end(), ua.begin(), fold);
    std::transform(ub.begin(), ub.end(), ub.begin(), fold);
  }
  const int c = ua.compare(ub);
  return c < 0 ? kCFCompareLessThan : c > 0 ? kCFCompareGreaterThan : kCFCompareEqualTo;
}

namespace {

// The constant strings of this copy of the library. They live as long as the copy does: a
// plug-in that carries the library frees them when it is unloaded, instead of leaving them
// behind unreachable.
class ConstantStrings {
 public:
  ~ConstantStrings() {
    for (auto& entry : m_strings) delete object(entry.second);
  }

  CFStringRef get(const char* utf8Literal) {
    std::lock_guard<std::mutex> lock(m_mutex);
    auto found = m_strings.find(utf8Literal);
    if (found != m_strings.end()) return found->second;
    std::string text(utf8Literal);
    const CFIndex length = utf16Length(text);
    CFStringRef s = new KeloCFString(std::move(text), length, true);
    m_strings.emplace(utf8Literal, s);
    return s;
  }

 private:
  std::mutex m_mutex;
  std::unordered_map<const char*, CFStringRef> m_strings;
};

}  // namespace

CFStringRef keloCFConstantString(const char* utf8Literal) {
  // Literals live for the whole process, so their address identifies them.
  static ConstantStrings constants;
  return constants.get(utf8Literal);
}

namespace kelo::cf {

CFStringRef makeString(std::string_view utf8) {
  std::string text;
  if (!decodeToUTF8(utf8.data(), utf8.size(), kCFStringEncodingUTF8, false, text)) return nullptr;
  return newString(std::move(text));
}

std::string_view utf8(CFStringRef string) {
  const auto* s = as<KeloCFString>(string);
  return s ? std::string_view(s->text) : std::string_view();
}

}  // namespace kelo::cf
