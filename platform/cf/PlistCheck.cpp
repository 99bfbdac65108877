// The strict grammar check of XML property lists.
#include "platform/cf/PlistCheck.h"

#include <cctype>
#include <charconv>
#include <cstdint>
#include <string>
#include <vector>

namespace kelo::cf::detail {
namespace {

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string_view trim(std::string_view s) {
  while (!s.empty() && isSpace(s.front())) s.remove_prefix(1);
  while (!s.empty() && isSpace(s.back())) s.remove_suffix(1);
  return s;
}

bool allDigits(std::string_view s) {
  if (s.empty()) return false;
  for (char c : s)
    if (c < '0' || c > '9') return false;
  return true;
}

// Decimal integers that fit in 64 bits, signed or (positive) unsigned.
bool validInteger(std::string_view text) {
  std::string_view s = trim(text);
  bool negative = false;
  if (!s.empty() && (s[0] == '-' || s[0] == '+')) {
    negative = s[0] == '-';
    s.remove_prefix(1);
  }
  if (!allDigits(s)) return false;
  while (s.size() > 1 && s[0] == '0') s.remove_prefix(1);
  const std::string_view limit = negative ? "9223372036854775808" : "18446744073709551615";
  return s.size() < limit.size() || (s.size() == limit.size() && s <= limit);
}

bool validReal(std::string_view text) {
  std::string_view s = trim(text);
  if (s == "nan" || s == "+infinity" || s == "-infinity" || s == "inf" || s == "-inf" ||
      s == "+inf")
    return true;
  if (!s.empty() && s[0] == '+') s.remove_prefix(1);
  if (s.empty()) return false;
  double value;
  const auto [end, error] = std::from_chars(s.data(), s.data() + s.size(), value);
  // Out-of-range values are numbers still (they read as infinities or zero).
  return end == s.data() + s.size() && (error == std::errc() || error == std::errc::result_out_of_range);
}

// YYYY-MM-DDTHH:MM:SSZ with fields in range.
bool validDate(std::string_view text) {
  const std::string_view s = trim(text);
  if (s.size() != 20 || s[4] != '-' || s[7] != '-' || s[10] != 'T' || s[13] != ':' ||
      s[16] != ':' || s[19] != 'Z')
    return false;
  auto field = [&](std::size_t at, std::size_t n, int lo, int hi) {
    const std::string_view f = s.substr(at, n);
    if (!allDigits(f)) return false;
    int v = 0;
    std::from_chars(f.data(), f.data() + f.size(), v);
    return v >= lo && v <= hi;
  };
  return field(0, 4, 0, 9999) && field(5, 2, 1, 12) && field(8, 2, 1, 31) &&
         field(11, 2, 0, 23) && field(14, 2, 0, 59) && field(17, 2, 0, 60);
}

bool validBase64(std::string_view text) {
  std::size_t count = 0;
  std::size_t padding = 0;
  for (char c : text) {
    if (isSpace(c)) continue;
    if (c == '=') {
      ++padding;
    } else if (std::isalnum(static_cast<unsigned char>(c)) || c == '+' || c == '/') {
      if (padding) return false;  // data after padding
    } else {
      return false;
    }
    ++count;
  }
  return count % 4 == 0 && padding <= 2;
}

class Checker {
 public:
  Checker(std::string_view doc, int maximumDepth) : m_doc(doc), m_maximumDepth(maximumDepth) {}

  bool run() {
    if (m_doc.substr(0, 3) == "\xEF\xBB\xBF") m_pos = 3;
    if (!skipMisc(true)) return false;
    std::string name;
    bool empty = false;
    std::string_view attributes;
    if (!openTag(name, empty, attributes) || name != "plist" || empty) return false;
    skipSpaceAndComments();
    if (!value(1)) return false;
    skipSpaceAndComments();
    if (!closeTag("plist")) return false;
    if (!skipMisc(false)) return false;
    return m_pos == m_doc.size();
  }

 private:
  bool startsWith(std::string_view s) const { return m_doc.substr(m_pos, s.size()) == s; }

  bool skipComment() {
    const std::size_t end = m_doc.find("-->", m_pos + 4);
    if (end == std::string_view::npos) return false;
    m_pos = end + 3;
    return true;
  }

  void skipSpaceAndComments() {
    for (;;) {
      while (m_pos < m_doc.size() && isSpace(m_doc[m_pos])) ++m_pos;
      if (startsWith("<!--")) {
        if (!skipComment()) return;
        continue;
      }
      return;
    }
  }

  // White space, comments, and in the prolog one XML declaration and one DOCTYPE without an
  // internal subset.
  bool skipMisc(bool prolog) {
    for (;;) {
      skipSpaceAndComments();
      if (m_pos < m_doc.size() && startsWith("<!--")) return false;  // unterminated comment
      if (prolog && startsWith("<?xml")) {
        const std::size_t end = m_doc.find("?>", m_pos);
        if (end == std::string_view::npos) return false;
        m_pos = end + 2;
        continue;
      }
      if (prolog && startsWith("<!DOCTYPE")) {
        const std::size_t end = m_doc.find('>', m_pos);
        if (end == std::string_view::npos) return false;
        if (m_doc.substr(m_pos, end - m_pos).find('[') != std::string_view::npos) return false;
        m_pos = end + 1;
        continue;
      }
      return true;
    }
  }

  bool openTag(std::string& name, bool& empty, std::string_view& attributes) {
    if (!startsWith("<") || startsWith("</")) return false;
    const std::size_t end = m_doc.find('>', m_pos);
    if (end == std::string_view::npos) return false;
    std::string_view inside = m_doc.substr(m_pos + 1, end - m_pos - 1);
    empty = !inside.empty() && inside.back() == '/';
    if (empty) inside.remove_suffix(1);
    std::size_t n = 0;
    while (n < inside.size() && std::isalpha(static_cast<unsigned char>(inside[n]))) ++n;
    name.assign(inside.substr(0, n));
    attributes = inside.substr(n);
    if (!attributes.empty() && !isSpace(attributes[0])) return false;
    // Attributes are name="value" pairs with no markup in them.
    for (char c : attributes)
      if (c == '<' || c == '&') return false;
    m_pos = end + 1;
    return !name.empty();
  }

  bool closeTag(std::string_view name) {
    const std::string tag = "</" + std::string(name);
    if (!startsWith(tag)) return false;
    m_pos += tag.size();
    while (m_pos < m_doc.size() && isSpace(m_doc[m_pos])) ++m_pos;
    if (!startsWith(">")) return false;
    ++m_pos;
    return true;
  }

  // Character data up to the closing tag, with references and CDATA checked; the raw text.
  bool text(std::string_view name, std::string& raw) {
    raw.clear();
    for (;;) {
      if (m_pos >= m_doc.size()) return false;
      const char c = m_doc[m_pos];
      if (c == '<') {
        if (startsWith("<![CDATA[")) {
          const std::size_t end = m_doc.find("]]>", m_pos);
          if (end == std::string_view::npos) return false;
          raw.append(m_doc.substr(m_pos + 9, end - m_pos - 9));
          m_pos = end + 3;
          continue;
        }
        if (startsWith("<!--")) {
          if (!skipComment()) return false;
          continue;
        }
        return closeTag(name);
      }
      if (c == '&') {
        if (!reference()) return false;
        raw += 'x';
        continue;
      }
      raw += c;
      ++m_pos;
    }
  }

  bool reference() {
    const std::size_t end = m_doc.find(';', m_pos);
    if (end == std::string_view::npos || end - m_pos > 12) return false;
    const std::string_view name = m_doc.substr(m_pos + 1, end - m_pos - 1);
    m_pos = end + 1;
    if (name == "amp" || name == "lt" || name == "gt" || name == "quot" || name == "apos") return true;
    if (name.size() < 2 || name[0] != '#') return false;
    std::string_view digits = name.substr(1);
    int base = 10;
    if (digits[0] == 'x') {
      base = 16;
      digits.remove_prefix(1);
    }
    std::uint32_t code = 0;
    const auto [stop, error] = std::from_chars(digits.data(), digits.data() + digits.size(), code, base);
    if (digits.empty() || error != std::errc() || stop != digits.data() + digits.size()) return false;
    return code != 0 && code <= 0x10FFFF && (code < 0xD800 || code > 0xDFFF);
  }

  bool value(int depth) {
    if (depth > m_maximumDepth) return false;
    std::string name;
    bool empty = false;
    std::string_view attributes;
    if (!openTag(name, empty, attributes) || !trim(attributes).empty()) return false;
    if (name == "true" || name == "false") return empty || closeTag(name);
    if (name == "dict") return empty || dictionary(depth);
    if (name == "array") return empty || array(depth);
    if (name == "string" || name == "data") {
      if (empty) return true;
      std::string raw;
      return text(name, raw) && (name == "string" || validBase64(raw));
    }
    if (name == "integer" || name == "real" || name == "date") {
      std::string raw;
      if (empty || !text(name, raw)) return false;
      if (name == "integer") return validInteger(raw);
      if (name == "real") return validReal(raw);
      return validDate(raw);
    }
    return false;
  }

  bool dictionary(int depth) {
    for (;;) {
      skipSpaceAndComments();
      if (startsWith("</")) return closeTag("dict");
      std::string name;
      bool empty = false;
      std::string_view attributes;
      if (!openTag(name, empty, attributes) || name != "key" || !trim(attributes).empty())
        return false;
      std::string raw;
      if (empty || !text("key", raw)) return false;  // libplist refuses <key/>
      skipSpaceAndComments();
      if (startsWith("</")) return false;  // a key without its value
      if (!value(depth + 1)) return false;
    }
  }

  bool array(int depth) {
    for (;;) {
      skipSpaceAndComments();
      if (startsWith("</")) return closeTag("array");
      if (!value(depth + 1)) return false;
    }
  }

  std::string_view m_doc;
  std::size_t m_pos = 0;
  const int m_maximumDepth;
};

}  // namespace

bool isStrictPropertyList(std::string_view document, int maximumDepth) {
  return Checker(document, maximumDepth).run();
}

}  // namespace kelo::cf::detail
