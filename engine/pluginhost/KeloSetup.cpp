#include "engine/pluginhost/KeloSetup.h"

#include <cstdint>
#include <fstream>
#include <map>
#include <iterator>

#include "VNL/source/LogLine.h"

namespace kelo::pluginhost {

namespace {

// A strict reader of the small subset of XML the setup file uses.
class Reader {
 public:
  explicit Reader(const std::string& text) : m_text(text) {}

  bool parse(std::vector<SetupPlugin>& plugins, std::string& error) {
    // As "&#0;" is: the texts go on as C strings, which a zero byte would cut short.
    if (const std::size_t zero = m_text.find('\0'); zero != std::string::npos) {
      m_at = zero;
      return fail("a zero byte", error);
    }
    bool rootSeen = false, rootClosed = false;
    for (;;) {
      skipBlank();
      if (m_at >= m_text.size()) break;
      if (!startsWith("<")) return fail("text outside an element", error);
      if (startsWith("<?")) {
        if (!skipPast("?>")) return fail("unterminated declaration", error);
        continue;
      }
      if (startsWith("<!--")) {
        if (!skipPast("-->")) return fail("unterminated comment", error);
        continue;
      }
      if (startsWith("<!")) return fail("document type declarations are not read", error);
      if (startsWith("</")) {
        m_at += 2;
        std::string name;
        if (!readName(name)) return fail("bad closing tag", error);
        skipBlank();
        if (!startsWith(">")) return fail("bad closing tag", error);
        ++m_at;
        if (name != "KeloSetup" || !rootSeen || rootClosed) return fail("unexpected </" + name + ">", error);
        rootClosed = true;
        continue;
      }
      ++m_at;
      std::string name;
      std::map<std::string, std::string> attributes;
      bool empty = false;
      if (!readName(name)) return fail("bad element name", error);
      if (!readAttributes(attributes, empty, error)) return false;
      if (rootClosed) return fail("element after the root", error);
      if (!rootSeen) {
        if (name != "KeloSetup") return fail("the root element is not KeloSetup", error);
        rootSeen = true;
        if (empty) rootClosed = true;
        continue;
      }
      if (!empty) return fail("<" + name + "> must be an empty element (<" + name + " .../>)", error);
      if (name != "Plugin") {
        PLOGW("KeloSetup.xml line %d: <%s> ignored", line(), name.c_str());
        continue;
      }
      SetupPlugin plugin;
      if (!makePlugin(attributes, plugin, error)) return false;
      plugins.push_back(std::move(plugin));
    }
    if (!rootSeen) return fail("no KeloSetup element", error);
    if (!rootClosed) return fail("KeloSetup is not closed", error);
    return true;
  }

 private:
  bool fail(const std::string& message, std::string& error) {
    error = "line " + std::to_string(line()) + ": " + message;
    return false;
  }
  int line() const {
    int count = 1;
    for (std::size_t i = 0; i < m_at && i < m_text.size(); ++i) count += m_text[i] == '\n';
    return count;
  }
  bool startsWith(const char* prefix) const { return m_text.compare(m_at, std::char_traits<char>::length(prefix), prefix) == 0; }
  bool skipPast(const char* end) {
    const std::size_t found = m_text.find(end, m_at);
    if (found == std::string::npos) return false;
    m_at = found + std::char_traits<char>::length(end);
    return true;
  }
  void skipBlank() {
    while (m_at < m_text.size() &&
           (m_text[m_at] == ' ' || m_text[m_at] == '\t' || m_text[m_at] == '\n' || m_text[m_at] == '\r'))
      ++m_at;
  }
  static bool isNameChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           c == '_' || c == '-' || c == '.' || c == ':';
  }
  bool readName(std::string& name) {
    const std::size_t start = m_at;
    while (m_at < m_text.size() && isNameChar(m_text[m_at])) ++m_at;
    name = m_text.substr(start, m_at - start);
    return !name.empty();
  }
  bool readAttributes(std::map<std::string, std::string>& attributes, bool& empty,
                      std::string& error) {
    for (;;) {
      skipBlank();
      if (startsWith("/>")) {
        m_at += 2;
        empty = true;
        return true;
      }
      if (startsWith(">")) {
        ++m_at;
        return true;
      }
      std::string name;
      if (!readName(name)) return fail("bad attribute", error);
      skipBlank();
      if (!startsWith("=")) return fail("attribute " + name + " without a value", error);
      ++m_at;
      skipBlank();
      if (m_at >= m_text.size() || (m_text[m_at] != '"' && m_text[m_at] != '\''))
        return fail("attribute " + name + " without a quoted value", error);
      const char quote = m_text[m_at++];
      const std::size_t end = m_text.find(quote, m_at);
      if (end == std::string::npos) return fail("unterminated value of " + name, error);
      std::string value;
      if (!decode(m_text.substr(m_at, end - m_at), value))
        return fail("bad character reference in " + name, error);
      m_at = end + 1;
      if (!attributes.emplace(name, value).second) return fail("attribute " + name + " given twice", error);
    }
  }
  static void appendUTF8(std::uint32_t code, std::string& out) {
    if (code < 0x80) {
      out += static_cast<char>(code);
    } else if (code < 0x800) {
      out += static_cast<char>(0xC0 | (code >> 6));
      out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
      out += static_cast<char>(0xE0 | (code >> 12));
      out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (code >> 18));
      out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (code & 0x3F));
    }
  }
  static bool decode(const std::string& raw, std::string& out) {
    static const std::map<std::string, char> named = {
        {"amp", '&'}, {"lt", '<'}, {"gt", '>'}, {"quot", '"'}, {"apos", '\''}};
    for (std::size_t i = 0; i < raw.size(); ++i) {
      if (raw[i] == '<') return false;
      if (raw[i] != '&') {
        out += raw[i];
        continue;
      }
      const std::size_t end = raw.find(';', i);
      if (end == std::string::npos) return false;
      const std::string name = raw.substr(i + 1, end - i - 1);
      if (auto found = named.find(name); found != named.end()) {
        out += found->second;
      } else if (name.size() > 1 && name[0] == '#') {
        const bool hex = name[1] == 'x';
        const std::string digits = name.substr(hex ? 2 : 1);
        if (digits.empty() || digits.size() > 8) return false;
        std::uint32_t code = 0;
        for (char c : digits) {
          const int digit = c >= '0' && c <= '9'                ? c - '0'
                            : hex && c >= 'a' && c <= 'f'       ? c - 'a' + 10
                            : hex && c >= 'A' && c <= 'F'       ? c - 'A' + 10
                                                                : -1;
          if (digit < 0) return false;
          code = code * (hex ? 16 : 10) + static_cast<std::uint32_t>(digit);
        }
        if (code == 0 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
        appendUTF8(code, out);
      } else {
        return false;
      }
      i = end;
    }
    return true;
  }
  bool makePlugin(std::map<std::string, std::string>& attributes, SetupPlugin& plugin,
                  std::string& error) {
    for (const auto& [name, value] : attributes) {
      if (name == "bundle") plugin.bundle = value;
      else if (name == "identifier") plugin.identifier = value;
      else if (name == "init") plugin.initText = value;
      else if (name == "extra") plugin.extraText = value;
      else if (name == "customData") plugin.customDataFile = value;
      else if (name == "initOpcode") {
        if (value != "0" && value != "19") return fail("initOpcode is 0 or 19, not " + value, error);
        plugin.initThroughRecord = value == "19";
      } else {
        PLOGW("KeloSetup.xml line %d: attribute %s ignored", line(), name.c_str());
      }
    }
    if (plugin.bundle.empty() || plugin.identifier.empty())
      return fail("a Plugin needs bundle and identifier", error);
    return true;
  }

  const std::string& m_text;
  std::size_t m_at = 0;
};

}  // namespace

bool parseKeloSetup(const std::string& text, std::vector<SetupPlugin>& plugins,
                    std::string& error) {
  std::vector<SetupPlugin> parsed;
  if (!Reader(text).parse(parsed, error)) return false;
  plugins = std::move(parsed);
  return true;
}

bool readKeloSetup(const std::string& path, std::vector<SetupPlugin>& plugins,
                   std::string& error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = "cannot read \"" + path + "\"";
    return false;
  }
  const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  if (in.bad()) {
    error = "cannot read \"" + path + "\"";
    return false;
  }
  if (!parseKeloSetup(text, plugins, error)) {
    error = path + ": " + error;
    return false;
  }
  return true;
}

std::string resolvePath(const std::string& folder, const std::string& path) {
  if (path.empty() || path[0] == '/') return path;
  return folder + "/" + path;
}

std::string withDataFolder(const std::string& text, const std::string& folder) {
  static const std::string placeholder = "{DataFolder}";
  std::string result;
  std::size_t from = 0;
  for (std::size_t at = text.find(placeholder); at != std::string::npos;
       at = text.find(placeholder, from)) {
    result.append(text, from, at - from).append(folder);
    from = at + placeholder.size();
  }
  return result.append(text, from, std::string::npos);
}

}  // namespace kelo::pluginhost
