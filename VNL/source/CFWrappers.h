// Holders of CoreFoundation references, and conversions between the library's byte strings
// and the platform's strings and paths through fixed-size buffers.
//
// Each holder owns one reference (null when it holds nothing) and releases it when it goes;
// holders are not copied and live on the stack of the function that uses them. Creation
// failures leave a holder empty; every accessor answers false (or null) for an empty holder.
// Out-parameters are written only on success, except where a function says otherwise.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/cf/CoreFoundation.h"

namespace vantor {

class CFStringWrapper {
 public:
  /// The text up to its first zero byte in `encoding`; when that fails and `fallback` is set,
  /// in the system encoding.
  CFStringWrapper(const std::string& text, CFStringEncoding encoding, bool fallback);
  CFStringWrapper(const char* text, CFStringEncoding encoding, bool fallback);
  /// The wide text's units read as UTF-32 little-endian, whatever `encoding` says; with
  /// `fallback`, the same bytes in the system encoding when that fails.
  CFStringWrapper(const std::wstring& text, CFStringEncoding encoding, bool fallback);
  /// Adopts a reference the caller created or copied.
  explicit CFStringWrapper(CFStringRef ref);
  ~CFStringWrapper();
  CFStringWrapper(const CFStringWrapper&) = delete;
  CFStringWrapper& operator=(const CFStringWrapper&) = delete;

  /// Still owned by the holder.
  CFStringRef getCFStringRef() const { return m_ref; }
  /// Holds `ref` from now on without releasing what was held: call it on an empty holder.
  void reset(CFStringRef ref) { m_ref = ref; }

  /// The text in `encoding` through a buffer of 64 ... 2048 bytes (getCStringPath: 1024).
  /// False, with `out` unchanged, when nothing is held, the text cannot be converted or it
  /// does not fit with its terminating zero (text is never cut).
  bool getCString64(std::string& out, CFStringEncoding encoding) const;
  bool getCString256(std::string& out, CFStringEncoding encoding) const;
  bool getCString512(std::string& out, CFStringEncoding encoding) const;
  bool getCString1024(std::string& out, CFStringEncoding encoding) const;
  bool getCString2048(std::string& out, CFStringEncoding encoding) const;
  bool getCStringPath(std::string& out, CFStringEncoding encoding) const;

  /// Zeroes `out`, then stores the UTF-16 code units and their count; a longer text keeps
  /// its first 255 units (the record's room) and the count 255. False when nothing is held.
  bool getCharacters(HFSUniStr255& out) const;

 private:
  CFStringRef m_ref = nullptr;
};

class CFURLWrapper {
 public:
  /// A file URL from a POSIX path.
  CFURLWrapper(CFStringRef path, bool isFolder);
  /// A file URL from `length` path bytes.
  CFURLWrapper(const char* bytes, CFIndex length, bool isFolder);
  /// The bundle's resources folder when `resources`, else the bundle's own URL.
  CFURLWrapper(CFBundleRef bundle, bool resources);
  /// A resource of the bundle; any of the three names may be null.
  CFURLWrapper(CFBundleRef bundle, CFStringRef name, CFStringRef type, CFStringRef subFolder);
  /// Adopts a reference the caller created or copied.
  explicit CFURLWrapper(CFURLRef ref);
  ~CFURLWrapper();
  CFURLWrapper(const CFURLWrapper&) = delete;
  CFURLWrapper& operator=(const CFURLWrapper&) = delete;

  CFURLRef getCFURLRef() const { return m_ref; }

  /// The absolute path through a 1024-byte buffer. False at once when nothing is held;
  /// otherwise `out` receives the buffer's text whether or not the conversion succeeded (so it
  /// is empty after a failure) and the result says whether it did.
  bool getFileSystemRepresentation(std::string& out) const;

 private:
  CFURLRef m_ref = nullptr;
};

class CFTypeWrapper {
 public:
  /// Adopts a reference of any type (null allowed).
  explicit CFTypeWrapper(CFTypeRef ref);
  ~CFTypeWrapper();
  CFTypeWrapper(const CFTypeWrapper&) = delete;
  CFTypeWrapper& operator=(const CFTypeWrapper&) = delete;

  CFTypeRef getCFTypeRef() const { return m_ref; }
  /// Holds `ref` from now on without releasing what was held: call it on an empty holder.
  void reset(CFTypeRef ref) { m_ref = ref; }

  /// As CFStringWrapper::getCString2048; false when the held object is not a string.
  bool getCString2048(std::string& out, CFStringEncoding encoding) const;

 private:
  CFTypeRef m_ref = nullptr;
};

}  // namespace vantor

/// True: the processors the suite is built for are little-endian.
bool LittleEndian();
/// The byte with its eight bits in reverse order (bit 0 becomes bit 7).
std::uint8_t bitswap(std::uint8_t& byte);
/// Reverses the byte order of each of `count` 16-bit values at `values`, in place.
void Swap_16_block(void* values, std::size_t count);
/// Reverses the byte order of each of `count` 32-bit values at `values`, in place.
void Swap_32_block(void* values, std::size_t count);
