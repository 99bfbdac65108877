// Line-oriented text files, key/value files and byte-order-mark detection. Lines end at "\n",
// "\r\n" or "\r". Failure is false with outputs unchanged; lists and maps are added to, never
// cleared. Any thread; these read files and allocate, so never on a render path.
#pragma once

#include <cstddef>
#include <cstdint>
#include <istream>
#include <map>
#include <string>
#include <vector>

/// Encodings recognised by their byte-order mark, in the order they are tried.
enum CHARACTER_ENCODING {
  ENCODING_UTF8 = 0,
  ENCODING_UTF16_BE = 1,
  ENCODING_UTF16_LE = 2,
  ENCODING_UTF32_BE = 3,
  ENCODING_UTF32_LE = 4,  // never reported: FF FE 00 00 matches UTF-16 LE first
  ENCODING_UTF7 = 5,
  ENCODING_UTF1 = 6,
  ENCODING_UTF_EBCDIC = 7,
  ENCODING_SCSU = 8,
  ENCODING_BOCU1 = 9,
  ENCODING_NONE = 10,
};

/// Reads one line without its end; true when a line was read (an empty line too), false when
/// the stream had nothing more.
bool getLine(std::istream& stream, std::string& line);

/// Appends every line of the file; false when it cannot be opened. A last line break makes
/// no empty last line.
bool textInternalize(const std::string& path, std::vector<std::string>& lines);

/// Sets map[key] = value for each line "key<separator>value" of the file (both trimmed, a
/// later line wins); skips empty lines, lines without the separator and, with
/// `skipComments`, lines starting with "#" or "/". False when the file cannot be opened.
bool createStringMap(const std::string& path, std::map<std::string, std::string>& map,
                     char separator, bool skipComments);

/// True when `bytes` (at least 4 readable) start with a byte-order mark; then sets `encoding`
/// and `markLength`. Otherwise sets `encoding` to ENCODING_NONE and returns false.
bool getCharEncoding(const std::uint8_t* bytes, CHARACTER_ENCODING& encoding,
                     std::size_t& markLength);
/// The same for the first 4 bytes of a file; false when it cannot be read or is shorter.
bool getCharEncoding(const std::string& path, CHARACTER_ENCODING& encoding,
                     std::size_t& markLength);
