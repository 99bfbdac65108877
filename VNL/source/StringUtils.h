// Free text helpers of the common library: encoding conversion, splitting and replacing,
// trimming and case, XML escaping, the user's languages, and a small random-number family.
// Strings are byte strings (UTF-8 unless said otherwise); the wide forms hold UTF-32.
// Nothing here keeps state beyond the C library's rand(); any thread. Outputs may be the same
// string as the input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

/// Mode 12: `text` (up to its first 0) read as Windows Latin-1, returned as UTF-8 of at most
/// 1023 bytes, or "VNTSConv_ERROR6" when it does not convert or fit. Other modes: a copy.
std::string VNTSConv(const std::string& text, int mode);
/// The wide text read as UTF-32 returned as UTF-8 of at most 1023 bytes, whatever `mode`;
/// "VNTSConv_ERROR8" when it does not convert or fit.
std::string VNTSConv(const std::wstring& text, int mode);

/// Appends the user's preferred languages, each cut to its language code ("de_AT.UTF-8"
/// gives "de"), from LANGUAGE, else LC_ALL, LC_MESSAGES or LANG, and returns true. Without
/// any (or only "C"/"POSIX"), appends "en" and returns false.
bool getUserLanguageList(std::vector<std::string>& languages);

/// Appends the pieces of `text` between occurrences of `separator`. An empty separator gives
/// the whole text. When `separator` does not occur, the whole text is appended as one piece
/// (an empty text as one empty piece).
void PSimpleStringTokenizer(const std::string& text, const std::string& separator,
                            std::vector<std::string>& pieces);
void PSimpleStringTokenizer(const std::wstring& text, const std::wstring& separator,
                            std::vector<std::wstring>& pieces);

/// `out` = `text` with every occurrence of `search` (left to right, no overlap) replaced by
/// `replacement`. An empty `search` leaves the text unchanged.
void PStringReplacer(const std::string& text, std::string& out, const std::string& search,
                     const std::string& replacement);
void PStringReplacer(const std::wstring& text, std::wstring& out, const std::wstring& search,
                     const std::wstring& replacement);

/// The text with &, <, >, " and ' written as XML entities.
std::string PXmlStringEscape(const std::string& text);

/// Without leading and trailing bytes of value 32 or less (bytes >= 128 stay).
void trim(const std::string& in, std::string& out);
/// Copies `text` (null: empty) into `out` of `size` bytes, cut so that it ends on a UTF-8
/// character boundary, and terminates it; the rest of `out` is zero. Answers the bytes kept.
/// No allocation.
std::size_t copyUTF8Bounded(char* out, std::size_t size, const char* text);

/// Without leading, respectively trailing, blanks (the character 32 only).
void trim_left(const std::string& in, std::string& out);
void trim_right(const std::string& in, std::string& out);

/// ASCII letters mapped by the C library's tolower/toupper; bytes >= 0x80 (UTF-8 sequences)
/// come back unchanged.
void lowercase(const std::string& in, std::string& out);
void uppercase(const std::string& in, std::string& out);

/// Seeds rand().
void Psrand(unsigned int seed);
/// rand() / 2147483647: 0 to 1.
double PUrand();
float PUrandf();
/// rand() * 2 / 2147483647 - 1: -1 to 1.
double PBrand();
float PBrandf();

/// n + n/4096 + n/16384 + 11 (64-bit, wrapping): room for compressed output of n bytes.
std::uint64_t PcompressBound(std::uint64_t n);
