// URLs of the stand-in: file URLs keep absolute path bytes; others keep their text.
#include "platform/cf/CFURL.h"

#include <unistd.h>

#include <cctype>
#include <cstring>
#include <functional>

#include "platform/cf/CFObject.h"

using kelo::cf::detail::as;

struct KeloCFURL final : kelo::cf::detail::Object {
  static constexpr CFTypeID kTypeID = kelo::cf::detail::kURLTypeID;
  KeloCFURL(bool isFile, std::string path, bool isDirectory, std::string text)
      : Object(kTypeID), isFile(isFile), path(std::move(path)), isDirectory(isDirectory),
        text(kelo::cf::makeString(text)) {}
  ~KeloCFURL() override { CFRelease(text); }
  bool equals(const Object& other) const override {
    const auto* u = as<KeloCFURL>(&other);
    return u && CFEqual(u->text, text);
  }
  CFHashCode hash() const override { return CFHash(text); }

  const bool isFile;
  const std::string path;  // file URLs: absolute, without a trailing "/" except for the root
  const bool isDirectory;
  const CFStringRef text;  // the URL's text (percent-encoded)
};

namespace {

bool keptInURL(unsigned char c) {
  return std::isalnum(c) || std::strchr("-._~/!$&'()*+,;=:@", c) != nullptr;
}

std::string percentEncode(std::string_view bytes) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : bytes) {
    if (c && keptInURL(c)) {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 0xF];
    }
  }
  return out;
}

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool percentDecode(std::string_view text, std::string& out) {
  std::string bytes;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      bytes += text[i];
      continue;
    }
    if (i + 2 >= text.size()) return false;
    const int hi = hexValue(text[i + 1]);
    const int lo = hexValue(text[i + 2]);
    if (hi < 0 || lo < 0) return false;
    bytes += static_cast<char>(hi * 16 + lo);
    i += 2;
  }
  out = std::move(bytes);
  return true;
}

// Absolute path without trailing "/" (except the root); empty when the working folder is
// unknown.
std::string absolutePath(std::string_view path) {
  std::string full;
  if (!path.empty() && path[0] == '/') {
    full.assign(path);
  } else {
    char cwd[4096];
    if (!getcwd(cwd, sizeof cwd)) return {};
    full = cwd;
    if (full.back() != '/') full += '/';
    full.append(path);
  }
  while (full.size() > 1 && full.back() == '/') full.pop_back();
  return full;
}

CFURLRef newFileURL(std::string_view path, bool isDirectory) {
  if (path.empty()) return nullptr;
  std::string full = absolutePath(path);
  if (full.empty()) return nullptr;
  std::string text = "file://" + percentEncode(full);
  if (isDirectory && full != "/") text += '/';
  return new KeloCFURL(true, std::move(full), isDirectory, std::move(text));
}

// The scheme of a URL text ("" when it has none).
std::string_view schemeOf(std::string_view text) {
  if (text.empty() || !std::isalpha(static_cast<unsigned char>(text[0]))) return {};
  for (std::size_t i = 1; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c == ':') return text.substr(0, i);
    if (!std::isalnum(c) && c != '+' && c != '-' && c != '.') return {};
  }
  return {};
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

std::string_view lastComponent(std::string_view path) {
  if (path == "/") return path;
  const std::size_t slash = path.rfind('/');
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

}  // namespace

CFTypeID CFURLGetTypeID() { return KeloCFURL::kTypeID; }

CFURLRef CFURLCreateWithFileSystemPath(CFAllocatorRef, CFStringRef path, CFURLPathStyle style,
                                       Boolean isDirectory) {
  if (style != kCFURLPOSIXPathStyle || !as<KeloCFString>(path)) return nullptr;
  return newFileURL(kelo::cf::utf8(path), isDirectory);
}

CFURLRef CFURLCreateFromFileSystemRepresentation(CFAllocatorRef, const UInt8* bytes, CFIndex count,
                                                 Boolean isDirectory) {
  if (!bytes || count <= 0) return nullptr;
  return newFileURL(std::string_view(reinterpret_cast<const char*>(bytes), count), isDirectory);
}

CFURLRef CFURLCreateWithString(CFAllocatorRef, CFStringRef string, CFURLRef base) {
  const std::string_view text = kelo::cf::utf8(string);
  if (text.empty()) return nullptr;
  for (unsigned char c : text)
    if (c <= 0x20 || c >= 0x7F || c == '"' || c == '<' || c == '>' || c == '\\' || c == '^' ||
        c == '`' || c == '{' || c == '|' || c == '}')
      return nullptr;
  const std::string_view scheme = schemeOf(text);
  std::string path;
  if (scheme.empty()) {
    const auto* b = as<KeloCFURL>(base);
    if (!b || !b->isFile || !percentDecode(text, path)) return nullptr;
    if (path.empty() || path[0] != '/') {
      std::string folder = b->isDirectory ? b->path : b->path.substr(0, b->path.rfind('/'));
      if (folder.empty() || folder.back() != '/') folder += '/';
      path = folder + path;
    }
    return newFileURL(path, text.back() == '/');
  }
  if (equalsIgnoringCase(scheme, "file")) {
    std::string_view rest = text.substr(scheme.size() + 1);
    if (rest.substr(0, 2) != "//") return nullptr;
    rest.remove_prefix(2);
    const std::size_t slash = rest.find('/');
    if (slash == std::string_view::npos) return nullptr;
    const std::string_view host = rest.substr(0, slash);
    if (!host.empty() && !equalsIgnoringCase(host, "localhost")) return nullptr;
    if (!percentDecode(rest.substr(slash), path)) return nullptr;
    return newFileURL(path, text.back() == '/');
  }
  return new KeloCFURL(false, std::string(), text.back() == '/', std::string(text));
}

CFURLRef CFURLCreateWithBytes(CFAllocatorRef, const UInt8* bytes, CFIndex count,
                              CFStringEncoding encoding, CFURLRef base) {
  CFStringRef text = CFStringCreateWithBytes(nullptr, bytes, count, encoding, false);
  if (!text) return nullptr;
  CFURLRef url = CFURLCreateWithString(nullptr, text, base);
  CFRelease(text);
  return url;
}

Boolean CFURLGetFileSystemRepresentation(CFURLRef url, Boolean, UInt8* buffer,
                                         CFIndex bufferSize) {
  const auto* u = as<KeloCFURL>(url);
  if (!u || !u->isFile || !buffer || bufferSize <= 0) return false;
  if (u->path.find('\0') != std::string::npos) return false;
  if (static_cast<CFIndex>(u->path.size()) >= bufferSize) return false;
  std::memcpy(buffer, u->path.c_str(), u->path.size() + 1);
  return true;
}

CFStringRef CFURLCopyFileSystemPath(CFURLRef url, CFURLPathStyle style) {
  const auto* u = as<KeloCFURL>(url);
  if (!u || !u->isFile || style != kCFURLPOSIXPathStyle) return nullptr;
  return kelo::cf::makeString(u->path);
}

CFStringRef CFURLGetString(CFURLRef url) {
  const auto* u = as<KeloCFURL>(url);
  return u ? u->text : nullptr;
}

CFStringRef CFURLCopyScheme(CFURLRef url) {
  const auto* u = as<KeloCFURL>(url);
  if (!u) return nullptr;
  return kelo::cf::makeString(schemeOf(kelo::cf::utf8(u->text)));
}

Boolean CFURLHasDirectoryPath(CFURLRef url) {
  const auto* u = as<KeloCFURL>(url);
  return u && u->isDirectory;
}

CFURLRef CFURLCopyAbsoluteURL(CFURLRef url) {
  return as<KeloCFURL>(url) ? static_cast<CFURLRef>(CFRetain(url)) : nullptr;
}

CFStringRef CFURLCopyLastPathComponent(CFURLRef url) {
  const auto* u = as<KeloCFURL>(url);
  if (!u) return nullptr;
  if (u->isFile) return kelo::cf::makeString(lastComponent(u->path));
  std::string_view text = kelo::cf::utf8(u->text);
  if (text.size() > 1 && text.back() == '/') text.remove_suffix(1);
  std::string decoded;
  if (!percentDecode(lastComponent(text), decoded)) return nullptr;
  return kelo::cf::makeString(decoded);
}

CFStringRef CFURLCopyPathExtension(CFURLRef url) {
  CFStringRef last = CFURLCopyLastPathComponent(url);
  if (!last) return nullptr;
  const std::string_view name = kelo::cf::utf8(last);
  const std::size_t dot = name.rfind('.');
  CFStringRef extension = dot == std::string_view::npos || dot + 1 == name.size()
                              ? nullptr
                              : kelo::cf::makeString(name.substr(dot + 1));
  CFRelease(last);
  return extension;
}

CFURLRef CFURLCreateCopyAppendingPathComponent(CFAllocatorRef, CFURLRef url, CFStringRef component,
                                               Boolean isDirectory) {
  const auto* u = as<KeloCFURL>(url);
  if (!u || !u->isFile || !as<KeloCFString>(component)) return nullptr;
  std::string path = u->path;
  if (path.back() != '/') path += '/';
  path += kelo::cf::utf8(component);
  return newFileURL(path, isDirectory);
}

CFURLRef CFURLCreateCopyDeletingLastPathComponent(CFAllocatorRef, CFURLRef url) {
  const auto* u = as<KeloCFURL>(url);
  if (!u || !u->isFile) return nullptr;
  const std::size_t slash = u->path.rfind('/');
  return newFileURL(slash == 0 ? std::string("/") : u->path.substr(0, slash), true);
}

namespace kelo::cf {

std::string_view filePath(CFURLRef url) {
  const auto* u = as<KeloCFURL>(url);
  return u && u->isFile ? std::string_view(u->path) : std::string_view();
}

}  // namespace kelo::cf
