// XML property lists through libplist, and the file read stream they are read from.
//
// Documents pass a strict grammar check first (PlistCheck.h), which also refuses any DTD
// internal subset; libplist's own XML parser then neither fetches DTDs nor expands entities. Nodes it cannot tell apart through its interface (integers above INT64_MAX,
// dates outside 32-bit seconds) are carried through their XML text, so they survive a round
// trip unchanged.
#include "platform/cf/CFPropertyList.h"

#include <fcntl.h>
#include <plist/plist.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>

#include "platform/cf/CFObject.h"
#include "platform/cf/PlistCheck.h"

using kelo::cf::detail::as;
using kelo::cf::detail::Retained;

namespace {

constexpr int kMaximumDepth = 256;
constexpr std::size_t kMaximumFileSize = 64u << 20;

struct PlistFree {
  void operator()(plist_t node) const { plist_free(node); }
};
using PlistNode = std::unique_ptr<void, PlistFree>;

struct MallocFree {
  void operator()(void* p) const { std::free(p); }
};

// The XML libplist writes for one detached node.
std::string nodeXML(plist_t node) {
  PlistNode copy(plist_copy(node));
  char* xml = nullptr;
  uint32_t length = 0;
  plist_to_xml(copy.get(), &xml, &length);
  std::string text = xml ? std::string(xml, length) : std::string();
  std::free(xml);
  return text;
}

// Text between <tag> and </tag> in a node's XML.
std::string elementText(const std::string& xml, const char* tag) {
  const std::string open = std::string("<") + tag + ">";
  const std::string close = std::string("</") + tag + ">";
  const std::size_t start = xml.find(open);
  const std::size_t end = xml.find(close);
  if (start == std::string::npos || end == std::string::npos || end < start) return {};
  return xml.substr(start + open.size(), end - start - open.size());
}

// A node parsed from one element's XML (used for values the node interface cannot make).
plist_t nodeFromElement(const std::string& element) {
  const std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">" +
                          element + "</plist>";
  plist_t node = nullptr;
  plist_from_xml(xml.data(), static_cast<uint32_t>(xml.size()), &node);
  return node;
}

// "2020-02-29T12:34:56Z" in seconds since 2001; false when malformed.
bool parseISODate(const std::string& text, CFAbsoluteTime& at) {
  struct tm parts {};
  char zone = 0;
  long long year;
  if (std::sscanf(text.c_str(), "%lld-%d-%dT%d:%d:%d%c", &year, &parts.tm_mon, &parts.tm_mday,
                  &parts.tm_hour, &parts.tm_min, &parts.tm_sec, &zone) != 7 || zone != 'Z')
    return false;
  if (year < -100000 || year > 100000) return false;
  parts.tm_year = static_cast<int>(year - 1900);
  parts.tm_mon -= 1;
  const time_t seconds = timegm(&parts);
  at = static_cast<double>(seconds) - kCFAbsoluteTimeIntervalSince1970;
  return true;
}

// The text of a date in the range the grammar check reads (years 0000 to 9999, always four
// digits); empty outside it, so a date the reader would refuse is never written.
std::string formatISODate(CFAbsoluteTime at) {
  const double whole = std::floor(at + kCFAbsoluteTimeIntervalSince1970);
  if (!std::isfinite(whole) || std::fabs(whole) > 1e15) return {};
  const auto seconds = static_cast<time_t>(whole);
  struct tm parts {};
  if (!gmtime_r(&seconds, &parts)) return {};
  const long long year = static_cast<long long>(parts.tm_year) + 1900;
  if (year < 0 || year > 9999) return {};
  char text[64];
  std::snprintf(text, sizeof text, "%04lld-%02d-%02dT%02d:%02d:%02dZ",
                static_cast<long long>(parts.tm_year) + 1900, parts.tm_mon + 1, parts.tm_mday,
                parts.tm_hour, parts.tm_min, parts.tm_sec);
  return text;
}

Retained fromNode(plist_t node, int depth);

Retained fromDictionary(plist_t node, int depth) {
  auto* dictionary = new KeloCFDictionary();
  Retained result = Retained::adopt(dictionary);
  plist_dict_iter it = nullptr;
  plist_dict_new_iter(node, &it);
  std::unique_ptr<void, MallocFree> iterator(it);
  for (;;) {
    char* rawKey = nullptr;
    plist_t value = nullptr;
    plist_dict_next_item(node, it, &rawKey, &value);
    std::unique_ptr<char, MallocFree> key(rawKey);
    if (!value) break;
    if (!rawKey) return {};
    Retained k = Retained::adopt(kelo::cf::makeString(rawKey));
    Retained v = fromNode(value, depth + 1);
    if (!k || !v) return {};
    dictionary->set(k.get(), v.get());
  }
  return result;
}

Retained fromArray(plist_t node, int depth) {
  auto* array = new KeloCFArray();
  Retained result = Retained::adopt(array);
  const uint32_t count = plist_array_get_size(node);
  for (uint32_t i = 0; i < count; ++i) {
    Retained v = fromNode(plist_array_get_item(node, i), depth + 1);
    if (!v) return {};
    array->values.push_back(std::move(v));
  }
  return result;
}

Retained fromNode(plist_t node, int depth) {
  if (!node || depth > kMaximumDepth) return {};
  switch (plist_get_node_type(node)) {
    case PLIST_BOOLEAN: {
      uint8_t value = 0;
      plist_get_bool_val(node, &value);
      return Retained::adopt(value ? kCFBooleanTrue : kCFBooleanFalse);
    }
    case PLIST_UINT: {
      uint64_t value = 0;
      plist_get_uint_val(node, &value);
      if (value > static_cast<uint64_t>(INT64_MAX)) {
        // Either a negative integer or one above INT64_MAX: only the text tells.
        const std::string text = elementText(nodeXML(node), "integer");
        if (!text.empty() && text[0] != '-') return Retained::adopt(kelo::cf::makeUnsignedNumber(value));
      }
      const auto signedValue = static_cast<SInt64>(value);
      return Retained::adopt(CFNumberCreate(nullptr, kCFNumberSInt64Type, &signedValue));
    }
    case PLIST_REAL: {
      double value = 0;
      plist_get_real_val(node, &value);
      return Retained::adopt(CFNumberCreate(nullptr, kCFNumberFloat64Type, &value));
    }
    case PLIST_STRING: {
      uint64_t length = 0;
      const char* text = plist_get_string_ptr(node, &length);
      if (!text) return {};
      return Retained::adopt(kelo::cf::makeString(std::string_view(text, length)));
    }
    case PLIST_DATA: {
      uint64_t length = 0;
      const char* bytes = plist_get_data_ptr(node, &length);
      return Retained::adopt(
          CFDataCreate(nullptr, reinterpret_cast<const UInt8*>(bytes), bytes ? static_cast<CFIndex>(length) : 0));
    }
    case PLIST_DATE: {
      CFAbsoluteTime at = 0;
      if (!parseISODate(elementText(nodeXML(node), "date"), at)) return {};
      // Only an instant the writer can write back ("9999-12-31T23:59:60Z" is in the year 10000).
      if (formatISODate(at).empty()) return {};
      return Retained::adopt(CFDateCreate(nullptr, at));
    }
    case PLIST_ARRAY:
      return fromArray(node, depth);
    case PLIST_DICT:
      return fromDictionary(node, depth);
    case PLIST_UID: {
      // Written as the dictionary {"CF$UID": n}, which is also how it reads back.
      uint64_t value = 0;
      plist_get_uid_val(node, &value);
      Retained number = Retained::adopt(kelo::cf::makeUnsignedNumber(value));
      auto* dictionary = new KeloCFDictionary();
      dictionary->set(CFSTR("CF$UID"), number.get());
      return Retained::adopt(dictionary);
    }
    default:
      return {};
  }
}

plist_t toNode(CFTypeRef value, int depth) {
  if (!value || depth > kMaximumDepth) return nullptr;
  if (const auto* s = as<KeloCFString>(value)) {
    if (s->text.find('\0') != std::string::npos) return nullptr;
    return plist_new_string(s->text.c_str());
  }
  if (const auto* n = as<KeloCFNumber>(value)) {
    switch (n->kind) {
      case KeloCFNumber::Kind::Signed:
        return plist_new_uint(static_cast<uint64_t>(n->integer));
      case KeloCFNumber::Kind::LargeUnsigned:
        return nodeFromElement("<integer>" + std::to_string(n->unsignedValue) + "</integer>");
      default:
        return plist_new_real(n->real);
    }
  }
  if (const auto* b = as<KeloCFBoolean>(value)) return plist_new_bool(b->value);
  if (const auto* d = as<KeloCFData>(value))
    return plist_new_data(reinterpret_cast<const char*>(d->bytes.data()), d->bytes.size());
  if (const auto* d = as<KeloCFDate>(value)) {
    const std::string text = formatISODate(d->at);
    return text.empty() ? nullptr : nodeFromElement("<date>" + text + "</date>");
  }
  if (const auto* a = as<KeloCFArray>(value)) {
    PlistNode array(plist_new_array());
    for (const auto& v : a->values) {
      plist_t item = toNode(v.get(), depth + 1);
      if (!item) return nullptr;
      plist_array_append_item(array.get(), item);
    }
    return array.release();
  }
  if (const auto* d = as<KeloCFDictionary>(value)) {
    PlistNode dictionary(plist_new_dict());
    for (const auto& e : d->entries) {
      const auto* key = as<KeloCFString>(e.key.get());
      if (!key || key->text.find('\0') != std::string::npos) return nullptr;
      plist_t item = toNode(e.value.get(), depth + 1);
      if (!item) return nullptr;
      plist_dict_set_item(dictionary.get(), key->text.c_str(), item);
    }
    return dictionary.release();
  }
  return nullptr;
}

}  // namespace

namespace kelo::cf {

CFPropertyListRef propertyListFromXML(const void* bytes, std::size_t count) {
  if (!bytes || count == 0 || count > kMaximumFileSize) return nullptr;
  // A zero byte has no place in an XML document; libplist would stop reading at it.
  if (std::memchr(bytes, 0, count)) return nullptr;
  // libplist forgives cut and damaged documents; they must not pass for whole ones.
  if (!kelo::cf::detail::isStrictPropertyList(
          std::string_view(static_cast<const char*>(bytes), count), kMaximumDepth))
    return nullptr;
  // libplist does not expect a byte-order mark.
  const char* text = static_cast<const char*>(bytes);
  if (count >= 3 && std::memcmp(text, "\xEF\xBB\xBF", 3) == 0) text += 3, count -= 3;
  plist_t root = nullptr;
  plist_from_xml(text, static_cast<uint32_t>(count), &root);
  PlistNode owned(root);
  if (!root) return nullptr;
  return fromNode(root, 0).release();
}

bool propertyListToXML(CFPropertyListRef list, std::string& out) {
  PlistNode root(toNode(list, 0));
  if (!root) return false;
  char* xml = nullptr;
  uint32_t length = 0;
  plist_to_xml(root.get(), &xml, &length);
  if (!xml) return false;
  std::string text(xml, length);
  std::free(xml);
  // libplist writes a year below 1000 with fewer than four digits ("220-01-01T00:00:00Z"),
  // which no property-list reader takes: every date is written again in full. Element names
  // only appear as markup here ("<" inside keys and texts is written as "&lt;").
  static const std::string open = "<date>", close = "</date>";
  for (std::size_t at = text.find(open); at != std::string::npos; at = text.find(open, at)) {
    const std::size_t start = at + open.size();
    const std::size_t end = text.find(close, start);
    if (end == std::string::npos) return false;
    CFAbsoluteTime when = 0;
    if (!parseISODate(text.substr(start, end - start), when)) return false;
    const std::string full = formatISODate(when);
    if (full.empty()) return false;
    text.replace(start, end - start, full);
    at = start + full.size() + close.size();
  }
  // The writer never makes a text its own reader refuses (a document beyond the reader's size
  // or depth limits included), so no write can leave a file the store cannot read.
  const Retained readBack = Retained::adopt(propertyListFromXML(text.data(), text.size()));
  if (!readBack) return false;
  out = std::move(text);
  return true;
}

namespace {

// Whole contents of a regular file of at most kMaximumFileSize bytes. Anything else at the path
// is refused before it is opened, and opened without blocking in case it changed in between:
// a FIFO would otherwise wait for a writer for ever (and a writer of the store holds its lock).
PlistFileStatus readWholeFile(const std::string& path, std::string& bytes) {
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0)
    return errno == ENOENT || errno == ENOTDIR ? PlistFileStatus::Missing : PlistFileStatus::Unreadable;
  if (!S_ISREG(status.st_mode)) return PlistFileStatus::NotRegularFile;
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return errno == ENOENT || errno == ENOTDIR ? PlistFileStatus::Missing : PlistFileStatus::Unreadable;
  PlistFileStatus result = PlistFileStatus::Unreadable;
  if (::fstat(fd, &status) == 0 && !S_ISREG(status.st_mode)) result = PlistFileStatus::NotRegularFile;
  if (result != PlistFileStatus::NotRegularFile &&
      static_cast<std::size_t>(status.st_size) <= kMaximumFileSize) {
    bytes.clear();
    char buffer[65536];
    for (;;) {
      const ssize_t n = ::read(fd, buffer, sizeof buffer);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) break;
      if (n == 0) {
        result = PlistFileStatus::Read;
        break;
      }
      bytes.append(buffer, static_cast<std::size_t>(n));
      if (bytes.size() > kMaximumFileSize) break;
    }
  }
  ::close(fd);
  return result;
}

}  // namespace

CFPropertyListRef readPropertyListFile(const std::string& path, PlistFileStatus* status) {
  std::string bytes;
  PlistFileStatus result = readWholeFile(path, bytes);
  CFPropertyListRef list = nullptr;
  if (result == PlistFileStatus::Read) {
    list = propertyListFromXML(bytes.data(), bytes.size());
    if (!list) result = PlistFileStatus::Unreadable;
  }
  if (status) *status = result;
  return list;
}

}  // namespace kelo::cf

CFPropertyListRef CFPropertyListCreateWithData(CFAllocatorRef, CFDataRef data, CFOptionFlags,
                                               CFPropertyListFormat* format, CFErrorRef* error) {
  if (error) *error = nullptr;
  const auto* d = as<KeloCFData>(data);
  if (!d) return nullptr;
  CFPropertyListRef list = kelo::cf::propertyListFromXML(d->bytes.data(), d->bytes.size());
  if (list && format) *format = kCFPropertyListXMLFormat_v1_0;
  return list;
}

CFDataRef CFPropertyListCreateData(CFAllocatorRef, CFPropertyListRef list,
                                   CFPropertyListFormat format, CFOptionFlags, CFErrorRef* error) {
  if (error) *error = nullptr;
  std::string xml;
  if (format != kCFPropertyListXMLFormat_v1_0 || !kelo::cf::propertyListToXML(list, xml))
    return nullptr;
  return CFDataCreate(nullptr, reinterpret_cast<const UInt8*>(xml.data()),
                      static_cast<CFIndex>(xml.size()));
}

namespace {

Retained deepCopy(CFTypeRef value, int depth) {
  if (!value || depth > kMaximumDepth) return {};
  if (const auto* a = as<KeloCFArray>(value)) {
    auto* copy = new KeloCFArray();
    Retained result = Retained::adopt(copy);
    for (const auto& v : a->values) {
      Retained item = deepCopy(v.get(), depth + 1);
      if (!item) return {};
      copy->values.push_back(std::move(item));
    }
    return result;
  }
  if (const auto* d = as<KeloCFDictionary>(value)) {
    auto* copy = new KeloCFDictionary();
    Retained result = Retained::adopt(copy);
    for (const auto& e : d->entries) {
      Retained item = deepCopy(e.value.get(), depth + 1);
      if (!item) return {};
      copy->set(e.key.get(), item.get());
    }
    return result;
  }
  return Retained::retain(value);
}

}  // namespace

CFPropertyListRef CFPropertyListCreateDeepCopy(CFAllocatorRef, CFPropertyListRef list,
                                               CFOptionFlags) {
  return deepCopy(list, 0).release();
}

Boolean CFPropertyListIsValid(CFPropertyListRef list, CFPropertyListFormat format) {
  if (format != kCFPropertyListXMLFormat_v1_0) return false;
  PlistNode root(toNode(list, 0));
  return root != nullptr;
}

struct KeloCFReadStream final : kelo::cf::detail::Object {
  static constexpr CFTypeID kTypeID = kelo::cf::detail::kReadStreamTypeID;
  explicit KeloCFReadStream(std::string path) : Object(kTypeID), path(std::move(path)) {}
  const std::string path;
  std::string bytes;
  bool open = false;
};

CFReadStreamRef CFReadStreamCreateWithFile(CFAllocatorRef, CFURLRef url) {
  const std::string_view path = kelo::cf::filePath(url);
  if (path.empty()) return nullptr;
  return new KeloCFReadStream(std::string(path));
}

Boolean CFReadStreamOpen(CFReadStreamRef stream) {
  auto* s = kelo::cf::detail::asMutable<KeloCFReadStream>(stream);
  if (!s) return false;
  s->open = kelo::cf::readWholeFile(s->path, s->bytes) == kelo::cf::PlistFileStatus::Read;
  return s->open;
}

void CFReadStreamClose(CFReadStreamRef stream) {
  if (auto* s = kelo::cf::detail::asMutable<KeloCFReadStream>(stream)) {
    s->open = false;
    s->bytes.clear();
  }
}

CFPropertyListRef CFPropertyListCreateWithStream(CFAllocatorRef, CFReadStreamRef stream,
                                                 CFIndex length, CFOptionFlags,
                                                 CFPropertyListFormat* format, CFErrorRef* error) {
  if (error) *error = nullptr;
  const auto* s = as<KeloCFReadStream>(stream);
  if (!s || !s->open) return nullptr;
  std::size_t count = s->bytes.size();
  if (length > 0 && static_cast<std::size_t>(length) < count) count = static_cast<std::size_t>(length);
  CFPropertyListRef list = kelo::cf::propertyListFromXML(s->bytes.data(), count);
  if (list && format) *format = kCFPropertyListXMLFormat_v1_0;
  return list;
}
