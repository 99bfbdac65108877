#include "VNL/source/TextFile.h"

#include <cstring>
#include <fstream>

#include "VNL/source/StringUtils.h"

bool getLine(std::istream& stream, std::string& line) {
  line.clear();
  for (;;) {
    const int c = stream.get();
    if (c == std::char_traits<char>::eof() || c == '\n') break;
    if (c == '\r') {
      // peek leaves the stream good at the end of the text, so a last "\r" ends a line as
      // a last "\n" does.
      if (stream.peek() == '\n') stream.get();
      break;
    }
    line += static_cast<char>(c);
  }
  return !line.empty() || !stream.fail();
}

bool textInternalize(const std::string& path, std::vector<std::string>& lines) {
  std::ifstream file(path, std::ios::binary);
  if (!file.is_open()) return false;
  std::string line;
  while (getLine(file, line)) lines.push_back(line);
  return true;
}

bool createStringMap(const std::string& path, std::map<std::string, std::string>& map,
                     char separator, bool skipComments) {
  std::ifstream file(path, std::ios::binary);
  if (!file.is_open()) return false;
  std::string line;
  std::string key;
  std::string value;
  while (getLine(file, line)) {
    if (line.empty()) continue;
    if (skipComments && (line[0] == '#' || line[0] == '/')) continue;
    const std::size_t at = line.find(separator);
    if (at == std::string::npos) continue;
    trim(line.substr(0, at), key);
    trim(line.substr(at + 1), value);
    map[key] = value;
  }
  return true;
}

bool getCharEncoding(const std::uint8_t* bytes, CHARACTER_ENCODING& encoding,
                     std::size_t& markLength) {
  static const struct {
    CHARACTER_ENCODING encoding;
    std::size_t length;
    std::uint8_t mark[4];
  } marks[] = {
      {ENCODING_UTF8, 3, {0xEF, 0xBB, 0xBF}},
      {ENCODING_UTF16_BE, 2, {0xFE, 0xFF}},
      {ENCODING_UTF16_LE, 2, {0xFF, 0xFE}},
      {ENCODING_UTF32_BE, 4, {0x00, 0x00, 0xFE, 0xFF}},
      {ENCODING_UTF32_LE, 4, {0xFF, 0xFE, 0x00, 0x00}},
      {ENCODING_UTF7, 3, {0x2B, 0x2F, 0x76}},
      {ENCODING_UTF1, 3, {0xF7, 0x64, 0x4C}},
      {ENCODING_UTF_EBCDIC, 4, {0xDD, 0x73, 0x66, 0x73}},
      {ENCODING_SCSU, 3, {0x0E, 0xFE, 0xFF}},
      {ENCODING_BOCU1, 3, {0xFB, 0xEE, 0x28}},
  };
  for (const auto& m : marks) {
    if (std::memcmp(bytes, m.mark, m.length) == 0) {
      encoding = m.encoding;
      markLength = m.length;
      return true;
    }
  }
  encoding = ENCODING_NONE;
  return false;
}

bool getCharEncoding(const std::string& path, CHARACTER_ENCODING& encoding,
                     std::size_t& markLength) {
  std::ifstream file(path, std::ios::binary);
  if (!file.is_open()) return false;
  char bytes[4];
  if (!file.read(bytes, sizeof bytes)) return false;
  return getCharEncoding(reinterpret_cast<const std::uint8_t*>(bytes), encoding, markLength);
}
