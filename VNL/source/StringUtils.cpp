#include "VNL/source/StringUtils.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "VNL/source/CFWrappers.h"

namespace {

template <typename String>
void tokenize(const String& text, const String& separator, std::vector<String>& pieces) {
  if (separator.empty()) {
    pieces.push_back(text);
    return;
  }
  std::size_t start = 0;
  bool found = false;
  for (std::size_t at = text.find(separator); at != String::npos;
       at = text.find(separator, start)) {
    pieces.push_back(text.substr(start, at - start));
    start = at + separator.size();
    found = true;
  }
  // A text without the separator is one piece, whatever the list held before: appending
  // only into an empty list would silently drop the text.
  pieces.push_back(found ? text.substr(start) : text);
}

template <typename String>
void replaceAll(const String& text, String& out, const String& search, const String& replacement) {
  if (search.empty()) {
    // Nothing to find: an empty search would match at every position and never advance.
    if (&out != &text) out = text;
    return;
  }
  String result;
  result.reserve(text.size());
  std::size_t start = 0;
  for (std::size_t at = text.find(search); at != String::npos; at = text.find(search, start)) {
    result.append(text, start, at - start);
    result.append(replacement);
    start = at + search.size();
  }
  result.append(text, start, String::npos);
  out = std::move(result);
}

const char* language(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0' ? value : nullptr;
}

// "de_AT.UTF-8@euro", "de-AT" or "de" gives "de"; "C" and "POSIX" give nothing.
bool languageCode(std::string_view locale, std::string& code) {
  const std::size_t end = locale.find_first_of("-_.@");
  const std::string_view cut = locale.substr(0, end);
  if (cut.empty() || cut == "C" || cut == "POSIX" || cut.size() >= 64) return false;
  for (char c : cut) {
    if (static_cast<unsigned char>(c) < 0x21 || static_cast<unsigned char>(c) > 0x7E) return false;
  }
  code.assign(cut);
  return true;
}

}  // namespace

std::string VNTSConv(const std::string& text, int mode) {
  if (mode != 12) return text;
  std::string utf8 = "VNTSConv_ERROR5";
  const vantor::CFStringWrapper string(text, kCFStringEncodingWindowsLatin1, false);
  if (!string.getCString1024(utf8, kCFStringEncodingUTF8)) utf8 = "VNTSConv_ERROR6";
  return utf8;
}

std::string VNTSConv(const std::wstring& text, int mode) {
  std::string utf8 = "VNTSConv_ERROR7";
  const vantor::CFStringWrapper string(text, kCFStringEncodingUTF32LE, false);
  if (!string.getCString1024(utf8, kCFStringEncodingUTF8)) utf8 = "VNTSConv_ERROR8";
  return utf8;
}

bool getUserLanguageList(std::vector<std::string>& languages) {
  bool any = false;
  std::string code;
  if (const char* list = language("LANGUAGE")) {
    std::string_view rest(list);
    while (!rest.empty()) {
      const std::size_t colon = rest.find(':');
      if (languageCode(rest.substr(0, colon), code)) {
        languages.push_back(code);
        any = true;
      }
      rest = colon == std::string_view::npos ? std::string_view() : rest.substr(colon + 1);
    }
  }
  if (!any) {
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
      if (const char* locale = language(name)) {
        if (languageCode(locale, code)) {
          languages.push_back(code);
          any = true;
        }
        break;
      }
    }
  }
  if (!any) languages.push_back("en");
  return any;
}

void PSimpleStringTokenizer(const std::string& text, const std::string& separator,
                            std::vector<std::string>& pieces) {
  tokenize(text, separator, pieces);
}

void PSimpleStringTokenizer(const std::wstring& text, const std::wstring& separator,
                            std::vector<std::wstring>& pieces) {
  tokenize(text, separator, pieces);
}

void PStringReplacer(const std::string& text, std::string& out, const std::string& search,
                     const std::string& replacement) {
  replaceAll(text, out, search, replacement);
}

void PStringReplacer(const std::wstring& text, std::wstring& out, const std::wstring& search,
                     const std::wstring& replacement) {
  replaceAll(text, out, search, replacement);
}

std::string PXmlStringEscape(const std::string& text) {
  // One pass gives what the five replacements in turn, "&" first, give.
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&apos;"; break;
      default: out += c; break;
    }
  }
  return out;
}

void trim(const std::string& in, std::string& out) {
  auto blank = [](char c) { return static_cast<unsigned char>(c) <= 32; };
  std::size_t first = 0;
  std::size_t last = in.size();
  while (first < last && blank(in[first])) ++first;
  while (last > first && blank(in[last - 1])) --last;
  out = in.substr(first, last - first);
}

void trim_left(const std::string& in, std::string& out) {
  const std::size_t first = in.find_first_not_of(' ');
  out = first == std::string::npos ? std::string() : in.substr(first);
}

void trim_right(const std::string& in, std::string& out) {
  const std::size_t last = in.find_last_not_of(' ');
  out = last == std::string::npos ? std::string() : in.substr(0, last + 1);
}

void lowercase(const std::string& in, std::string& out) {
  std::string result = in;
  for (char& c : result) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x80) c = static_cast<char>(std::tolower(byte));
  }
  out = std::move(result);
}

void uppercase(const std::string& in, std::string& out) {
  std::string result = in;
  for (char& c : result) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x80) c = static_cast<char>(std::toupper(byte));
  }
  out = std::move(result);
}

void Psrand(unsigned int seed) { std::srand(seed); }

double PUrand() { return std::rand() / 2147483647.0; }

float PUrandf() { return static_cast<float>(std::rand()) / 2147483647.0f; }

// Doubled in floating point: rand() * 2 overflows int.
double PBrand() { return std::rand() * 2.0 / 2147483647.0 - 1.0; }

float PBrandf() { return static_cast<float>(std::rand()) * 2.0f / 2147483647.0f - 1.0f; }

std::uint64_t PcompressBound(std::uint64_t n) { return n + (n >> 12) + (n >> 14) + 11; }

std::size_t copyUTF8Bounded(char* out, std::size_t size, const char* text) {
  if (out == nullptr || size == 0) return 0;
  std::memset(out, 0, size);
  if (text == nullptr) return 0;
  std::size_t length = ::strnlen(text, size);
  if (length == size) {
    length = size - 1;
    // Back off over continuation bytes to the lead byte of the character that does not fit.
    std::size_t start = length;
    while (start > 0 && (static_cast<unsigned char>(text[start]) & 0xC0) == 0x80) --start;
    length = start;
  }
  std::memcpy(out, text, length);
  return length;
}
