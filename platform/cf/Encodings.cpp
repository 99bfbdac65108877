// Byte encodings of the stand-in's strings, to and from UTF-8.
#include <array>
#include <atomic>
#include <cstring>

#include "platform/cf/CFString.h"

namespace {

constexpr char32_t kNoCharacter = 0xFFFFFFFF;

// Apple's Mac OS Roman, bytes 0x80 to 0xFF (0xDB is the euro sign, 0xF0 the Apple logo in the
// private use area).
constexpr std::array<char16_t, 128> kMacRomanHigh = {
    0x00C4, 0x00C5, 0x00C7, 0x00C9, 0x00D1, 0x00D6, 0x00DC, 0x00E1,
    0x00E0, 0x00E2, 0x00E4, 0x00E3, 0x00E5, 0x00E7, 0x00E9, 0x00E8,
    0x00EA, 0x00EB, 0x00ED, 0x00EC, 0x00EE, 0x00EF, 0x00F1, 0x00F3,
    0x00F2, 0x00F4, 0x00F6, 0x00F5, 0x00FA, 0x00F9, 0x00FB, 0x00FC,
    0x2020, 0x00B0, 0x00A2, 0x00A3, 0x00A7, 0x2022, 0x00B6, 0x00DF,
    0x00AE, 0x00A9, 0x2122, 0x00B4, 0x00A8, 0x2260, 0x00C6, 0x00D8,
    0x221E, 0x00B1, 0x2264, 0x2265, 0x00A5, 0x00B5, 0x2202, 0x2211,
    0x220F, 0x03C0, 0x222B, 0x00AA, 0x00BA, 0x03A9, 0x00E6, 0x00F8,
    0x00BF, 0x00A1, 0x00AC, 0x221A, 0x0192, 0x2248, 0x2206, 0x00AB,
    0x00BB, 0x2026, 0x00A0, 0x00C0, 0x00C3, 0x00D5, 0x0152, 0x0153,
    0x2013, 0x2014, 0x201C, 0x201D, 0x2018, 0x2019, 0x00F7, 0x25CA,
    0x00FF, 0x0178, 0x2044, 0x20AC, 0x2039, 0x203A, 0xFB01, 0xFB02,
    0x2021, 0x00B7, 0x201A, 0x201E, 0x2030, 0x00C2, 0x00CA, 0x00C1,
    0x00CB, 0x00C8, 0x00CD, 0x00CE, 0x00CF, 0x00CC, 0x00D3, 0x00D4,
    0xF8FF, 0x00D2, 0x00DA, 0x00DB, 0x00D9, 0x0131, 0x02C6, 0x02DC,
    0x00AF, 0x02D8, 0x02D9, 0x02DA, 0x00B8, 0x02DD, 0x02DB, 0x02C7,
};

// Windows code page 1252, bytes 0x80 to 0x9F; 0 marks the five undefined bytes, which are
// rejected. Bytes 0xA0 to 0xFF are Latin-1.
constexpr std::array<char16_t, 32> kWindowsLatin1C1 = {
    0x20AC, 0x0000, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x0000, 0x017D, 0x0000,
    0x0000, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x0000, 0x017E, 0x0178,
};

std::atomic<CFStringEncoding> gSystemEncoding{kCFStringEncodingUTF8};

bool isScalar(char32_t c) { return c < 0xD800 || (c > 0xDFFF && c <= 0x10FFFF); }

void appendUTF8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
char32_t nextUTF8(const unsigned char* p, std::size_t n, std::size_t& i) {
  const unsigned char b = p[i];
  if (b < 0x80) {
    ++i;
    return b;
  }
  std::size_t extra;
  char32_t c;
  char32_t minimum;
  if ((b & 0xE0) == 0xC0) {
    extra = 1, c = b & 0x1F, minimum = 0x80;
  } else if ((b & 0xF0) == 0xE0) {
    extra = 2, c = b & 0x0F, minimum = 0x800;
  } else if ((b & 0xF8) == 0xF0) {
    extra = 3, c = b & 0x07, minimum = 0x10000;
  } else {
    return kNoCharacter;
  }
  if (n - i <= extra) return kNoCharacter;
  for (std::size_t k = 1; k <= extra; ++k) {
    if ((p[i + k] & 0xC0) != 0x80) return kNoCharacter;
    c = (c << 6) | (p[i + k] & 0x3F);
  }
  if (c < minimum || !isScalar(c)) return kNoCharacter;
  i += extra + 1;
  return c;
}

bool isUnicode(CFStringEncoding e) {
  switch (e) {
    case kCFStringEncodingUTF16:
    case kCFStringEncodingUTF16BE:
    case kCFStringEncodingUTF16LE:
    case kCFStringEncodingUTF32:
    case kCFStringEncodingUTF32BE:
    case kCFStringEncodingUTF32LE:
      return true;
    default:
      return false;
  }
}

char32_t decodeSingleByte(unsigned char b, CFStringEncoding encoding) {
  if (b < 0x80) return b;
  switch (encoding) {
    case kCFStringEncodingMacRoman:
      return kMacRomanHigh[b - 0x80];
    case kCFStringEncodingWindowsLatin1:
      if (b < 0xA0) return kWindowsLatin1C1[b - 0x80] ? kWindowsLatin1C1[b - 0x80] : kNoCharacter;
      return b;
    case kCFStringEncodingISOLatin1:
      return b;
    default:  // ASCII
      return kNoCharacter;
  }
}

int encodeSingleByte(char32_t c, CFStringEncoding encoding) {
  if (c < 0x80) return static_cast<int>(c);
  switch (encoding) {
    case kCFStringEncodingMacRoman:
      for (int i = 0; i < 128; ++i)
        if (kMacRomanHigh[i] == c) return 0x80 + i;
      return -1;
    case kCFStringEncodingWindowsLatin1:
      if (c >= 0xA0 && c <= 0xFF) return static_cast<int>(c);
      for (int i = 0; i < 32; ++i)
        if (kWindowsLatin1C1[i] && kWindowsLatin1C1[i] == c) return 0x80 + i;
      return -1;
    case kCFStringEncodingISOLatin1:
      return c <= 0xFF ? static_cast<int>(c) : -1;
    default:  // ASCII
      return -1;
  }
}

bool isSingleByte(CFStringEncoding e) {
  return e == kCFStringEncodingMacRoman || e == kCFStringEncodingWindowsLatin1 ||
         e == kCFStringEncodingISOLatin1 || e == kCFStringEncodingASCII;
}

std::uint32_t readUnit(const unsigned char* p, int size, bool bigEndian) {
  std::uint32_t v = 0;
  for (int k = 0; k < size; ++k) {
    const int shift = bigEndian ? 8 * (size - 1 - k) : 8 * k;
    v |= static_cast<std::uint32_t>(p[k]) << shift;
  }
  return v;
}

void writeUnit(std::string& out, std::uint32_t v, int size, bool bigEndian) {
  for (int k = 0; k < size; ++k) {
    const int shift = bigEndian ? 8 * (size - 1 - k) : 8 * k;
    out += static_cast<char>((v >> shift) & 0xFF);
  }
}

constexpr bool kHostBigEndian = __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__;

}  // namespace

CFStringEncoding CFStringGetSystemEncoding() { return gSystemEncoding.load(); }

namespace kelo::cf {

void setSystemEncoding(CFStringEncoding encoding) { gSystemEncoding.store(encoding); }

bool decodeToUTF8(const void* bytes, std::size_t count, CFStringEncoding encoding,
                  bool isExternalRepresentation, std::string& out) {
  if (!bytes && count) return false;
  const auto* p = static_cast<const unsigned char*>(bytes);
  std::string text;
  text.reserve(count);
  if (encoding == kCFStringEncodingUTF8) {
    std::size_t i = 0;
    // A byte-order mark in an external representation is not part of the text.
    if (isExternalRepresentation && count >= 3 && p[0] == 0xEF && p[1] == 0xBB && p[2] == 0xBF)
      i = 3;
    const std::size_t start = i;
    while (i < count)
      if (nextUTF8(p, count, i) == kNoCharacter) return false;
    text.assign(reinterpret_cast<const char*>(p) + start, count - start);
  } else if (isSingleByte(encoding)) {
    for (std::size_t i = 0; i < count; ++i) {
      const char32_t c = decodeSingleByte(p[i], encoding);
      if (c == kNoCharacter) return false;
      appendUTF8(text, c);
    }
  } else if (isUnicode(encoding)) {
    const bool utf32 = encoding == kCFStringEncodingUTF32 || encoding == kCFStringEncodingUTF32BE ||
                       encoding == kCFStringEncodingUTF32LE;
    const int unit = utf32 ? 4 : 2;
    if (count % unit) return false;
    bool bigEndian = encoding == kCFStringEncodingUTF16BE || encoding == kCFStringEncodingUTF32BE;
    std::size_t i = 0;
    if (encoding == kCFStringEncodingUTF16 || encoding == kCFStringEncodingUTF32) {
      bigEndian = kHostBigEndian;
      if (isExternalRepresentation && count >= static_cast<std::size_t>(unit)) {
        constexpr std::uint32_t bom = 0xFEFF;
        if (readUnit(p, unit, true) == bom) {
          bigEndian = true, i = unit;
        } else if (readUnit(p, unit, false) == bom) {
          bigEndian = false, i = unit;
        }
      }
    }
    for (; i < count; i += unit) {
      char32_t c = readUnit(p + i, unit, bigEndian);
      if (!utf32 && c >= 0xD800 && c <= 0xDBFF) {
        if (i + 2 * unit > count) return false;
        const char32_t low = readUnit(p + i + unit, unit, bigEndian);
        if (low < 0xDC00 || low > 0xDFFF) return false;
        c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
        i += unit;
      }
      if (!isScalar(c)) return false;
      appendUTF8(text, c);
    }
  } else {
    return false;
  }
  out = std::move(text);
  return true;
}

bool encodeFromUTF8(std::string_view utf8, CFStringEncoding encoding, std::string& out) {
  const auto* p = reinterpret_cast<const unsigned char*>(utf8.data());
  const std::size_t n = utf8.size();
  std::string bytes;
  bytes.reserve(n);
  const bool utf32 = encoding == kCFStringEncodingUTF32 || encoding == kCFStringEncodingUTF32BE ||
                     encoding == kCFStringEncodingUTF32LE;
  const bool bigEndian = encoding == kCFStringEncodingUTF16BE ||
                         encoding == kCFStringEncodingUTF32BE ||
                         ((encoding == kCFStringEncodingUTF16 || encoding == kCFStringEncodingUTF32) &&
                          kHostBigEndian);
  if (encoding != kCFStringEncodingUTF8 && !isSingleByte(encoding) && !isUnicode(encoding))
    return false;
  for (std::size_t i = 0; i < n;) {
    const char32_t c = nextUTF8(p, n, i);
    if (c == kNoCharacter) return false;
    if (encoding == kCFStringEncodingUTF8) {
      appendUTF8(bytes, c);
    } else if (isSingleByte(encoding)) {
      const int b = encodeSingleByte(c, encoding);
      if (b < 0) return false;
      bytes += static_cast<char>(b);
    } else if (utf32) {
      writeUnit(bytes, c, 4, bigEndian);
    } else if (c >= 0x10000) {
      writeUnit(bytes, 0xD800 + ((c - 0x10000) >> 10), 2, bigEndian);
      writeUnit(bytes, 0xDC00 + ((c - 0x10000) & 0x3FF), 2, bigEndian);
    } else {
      writeUnit(bytes, c, 2, bigEndian);
    }
  }
  out = std::move(bytes);
  return true;
}

}  // namespace kelo::cf
