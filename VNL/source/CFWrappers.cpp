// The CoreFoundation holders and the byte-order helpers.
#include "VNL/source/CFWrappers.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace vantor {
namespace {

CFStringRef createString(const UInt8* bytes, CFIndex count, CFStringEncoding encoding,
                         bool fallback) {
  CFStringRef ref = CFStringCreateWithBytes(kCFAllocatorDefault, bytes, count, encoding, false);
  if (!ref && fallback)
    ref = CFStringCreateWithBytes(kCFAllocatorDefault, bytes, count, CFStringGetSystemEncoding(),
                                  false);
  return ref;
}

template <std::size_t Size>
bool copyOut(CFStringRef ref, std::string& out, CFStringEncoding encoding) {
  if (!ref) return false;
  std::array<char, Size> buffer{};
  if (!CFStringGetCString(ref, buffer.data(), Size, encoding)) return false;
  buffer[Size - 1] = '\0';
  out = buffer.data();
  return true;
}

}  // namespace

CFStringWrapper::CFStringWrapper(const char* text, CFStringEncoding encoding, bool fallback) {
  if (text)
    m_ref = createString(reinterpret_cast<const UInt8*>(text),
                         static_cast<CFIndex>(std::strlen(text)), encoding, fallback);
}

CFStringWrapper::CFStringWrapper(const std::string& text, CFStringEncoding encoding, bool fallback)
    : CFStringWrapper(text.c_str(), encoding, fallback) {}

// The encoding is not consulted: callers pass wide text, which is UTF-32 whatever they name.
CFStringWrapper::CFStringWrapper(const std::wstring& text, CFStringEncoding, bool fallback) {
  static_assert(sizeof(wchar_t) == 4, "wide text is UTF-32 on the platforms built for");
  // The units are laid out as UTF-32LE bytes on the little-endian hosts built for.
  std::string bytes;
  bytes.reserve(text.size() * 4);
  for (wchar_t unit : text) {
    const auto u = static_cast<std::uint32_t>(unit);
    for (int shift = 0; shift < 32; shift += 8) bytes += static_cast<char>((u >> shift) & 0xFF);
  }
  m_ref = CFStringCreateWithBytes(kCFAllocatorDefault, reinterpret_cast<const UInt8*>(bytes.data()),
                                  static_cast<CFIndex>(bytes.size()), kCFStringEncodingUTF32LE,
                                  false);
  if (!m_ref && fallback)
    m_ref = CFStringCreateWithBytes(kCFAllocatorDefault,
                                    reinterpret_cast<const UInt8*>(bytes.data()),
                                    static_cast<CFIndex>(bytes.size()),
                                    CFStringGetSystemEncoding(), false);
}

CFStringWrapper::CFStringWrapper(CFStringRef ref) : m_ref(ref) {}

CFStringWrapper::~CFStringWrapper() {
  if (m_ref) CFRelease(m_ref);
}

bool CFStringWrapper::getCString64(std::string& out, CFStringEncoding e) const {
  return copyOut<64>(m_ref, out, e);
}
bool CFStringWrapper::getCString256(std::string& out, CFStringEncoding e) const {
  return copyOut<256>(m_ref, out, e);
}
bool CFStringWrapper::getCString512(std::string& out, CFStringEncoding e) const {
  return copyOut<512>(m_ref, out, e);
}
bool CFStringWrapper::getCString1024(std::string& out, CFStringEncoding e) const {
  return copyOut<1024>(m_ref, out, e);
}
bool CFStringWrapper::getCString2048(std::string& out, CFStringEncoding e) const {
  return copyOut<2048>(m_ref, out, e);
}
bool CFStringWrapper::getCStringPath(std::string& out, CFStringEncoding e) const {
  return copyOut<1024>(m_ref, out, e);
}

bool CFStringWrapper::getCharacters(HFSUniStr255& out) const {
  std::memset(&out, 0, sizeof out);
  if (!m_ref) return false;
  constexpr CFIndex kRoom = sizeof out.unicode / sizeof out.unicode[0];
  const CFIndex length = std::min(CFStringGetLength(m_ref), kRoom);
  CFStringGetCharacters(m_ref, CFRangeMake(0, length), out.unicode);
  out.length = static_cast<UInt16>(length);
  return true;
}

CFURLWrapper::CFURLWrapper(CFStringRef path, bool isFolder)
    : m_ref(CFURLCreateWithFileSystemPath(kCFAllocatorDefault, path, kCFURLPOSIXPathStyle,
                                          isFolder)) {}

CFURLWrapper::CFURLWrapper(const char* bytes, CFIndex length, bool isFolder)
    : m_ref(CFURLCreateFromFileSystemRepresentation(
          kCFAllocatorDefault, reinterpret_cast<const UInt8*>(bytes), length, isFolder)) {}

CFURLWrapper::CFURLWrapper(CFBundleRef bundle, bool resources)
    : m_ref(resources ? CFBundleCopyResourcesDirectoryURL(bundle) : CFBundleCopyBundleURL(bundle)) {}

CFURLWrapper::CFURLWrapper(CFBundleRef bundle, CFStringRef name, CFStringRef type,
                           CFStringRef subFolder)
    : m_ref(CFBundleCopyResourceURL(bundle, name, type, subFolder)) {}

CFURLWrapper::CFURLWrapper(CFURLRef ref) : m_ref(ref) {}

CFURLWrapper::~CFURLWrapper() {
  if (m_ref) CFRelease(m_ref);
}

bool CFURLWrapper::getFileSystemRepresentation(std::string& out) const {
  if (!m_ref) return false;
  std::array<UInt8, 1024> buffer{};
  const bool converted = CFURLGetFileSystemRepresentation(m_ref, true, buffer.data(), buffer.size());
  if (!converted) buffer.fill(0);
  buffer.back() = 0;
  out = reinterpret_cast<const char*>(buffer.data());
  return converted;
}

CFTypeWrapper::CFTypeWrapper(CFTypeRef ref) : m_ref(ref) {}

CFTypeWrapper::~CFTypeWrapper() {
  if (m_ref) CFRelease(m_ref);
}

bool CFTypeWrapper::getCString2048(std::string& out, CFStringEncoding encoding) const {
  if (!m_ref || CFGetTypeID(m_ref) != CFStringGetTypeID()) return false;
  return copyOut<2048>(static_cast<CFStringRef>(m_ref), out, encoding);
}

}  // namespace vantor

namespace {

constexpr std::array<std::uint8_t, 256> makeBitswapTable() {
  std::array<std::uint8_t, 256> table{};
  for (int value = 0; value < 256; ++value) {
    int reversed = 0;
    for (int bit = 0; bit < 8; ++bit)
      if (value & (1 << bit)) reversed |= 1 << (7 - bit);
    table[value] = static_cast<std::uint8_t>(reversed);
  }
  return table;
}

constexpr std::array<std::uint8_t, 256> kBitswap = makeBitswapTable();

}  // namespace

bool LittleEndian() { return true; }

std::uint8_t bitswap(std::uint8_t& byte) { return kBitswap[byte]; }

void Swap_16_block(void* values, std::size_t count) {
  auto* bytes = static_cast<unsigned char*>(values);
  for (std::size_t i = 0; i < count; ++i, bytes += 2) std::swap(bytes[0], bytes[1]);
}

void Swap_32_block(void* values, std::size_t count) {
  auto* bytes = static_cast<unsigned char*>(values);
  for (std::size_t i = 0; i < count; ++i, bytes += 4) {
    std::swap(bytes[0], bytes[3]);
    std::swap(bytes[1], bytes[2]);
  }
}
