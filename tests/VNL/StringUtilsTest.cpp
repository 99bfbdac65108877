#include <clocale>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "VNL/source/StringUtils.h"
#include "tests/support/ScopedLocale.h"

namespace {

using Pieces = std::vector<std::string>;

TEST(VNTSConv, WindowsLatin1ToUtf8) {
  const struct {
    std::string text;
    int mode;
    std::string out;
  } cases[] = {
      {"caf\xe9 \x80 \x99", 12, "caf\xc3\xa9 \xe2\x82\xac \xe2\x84\xa2"},
      {"plain", 12, "plain"},
      {"", 12, ""},
      {std::string("ab\0cd", 5), 12, "ab"},           // up to the first zero byte
      {"undefined \x81", 12, "VNTSConv_ERROR6"},     // no character in Windows Latin-1
      {std::string(1023, 'a'), 12, std::string(1023, 'a')},
      {std::string(1024, 'a'), 12, "VNTSConv_ERROR6"},  // does not fit 1023 bytes
      {std::string(512, '\xe9'), 12, "VNTSConv_ERROR6"},  // 1024 bytes once in UTF-8
      {"caf\xe9", 0, "caf\xe9"},                     // other modes copy
      {std::string("a\0b", 3), 3, std::string("a\0b", 3)},
  };
  for (const auto& c : cases) EXPECT_EQ(VNTSConv(c.text, c.mode), c.out) << c.text.size();
}

TEST(VNTSConv, WideTextToUtf8WhateverTheMode) {
  EXPECT_EQ(VNTSConv(std::wstring(L"caf\u00e9 \U0001F3B9"), 0), "caf\xc3\xa9 \xf0\x9f\x8e\xb9");
  EXPECT_EQ(VNTSConv(std::wstring(L"x"), 12), "x");
  EXPECT_EQ(VNTSConv(std::wstring(), 0), "");
  EXPECT_EQ(VNTSConv(std::wstring(1, wchar_t(0xD800)), 0), "VNTSConv_ERROR8");  // a surrogate
  EXPECT_EQ(VNTSConv(std::wstring(1, wchar_t(0x110000)), 0), "VNTSConv_ERROR8");
  EXPECT_EQ(VNTSConv(std::wstring(1023, L'a'), 0), std::string(1023, 'a'));
  EXPECT_EQ(VNTSConv(std::wstring(1024, L'a'), 0), "VNTSConv_ERROR8");
}

TEST(CopyUTF8Bounded, CutsOnACharacterBoundaryAndTerminates) {
  struct Row {
    const char* text;
    std::size_t size;
    const char* kept;
  };
  const Row rows[] = {
      {"abc", 8, "abc"},
      {"abcdef", 4, "abc"},
      {"ab\xc3\xa9", 4, "ab"},          // the two-byte character would end past the room
      {"ab\xc3\xa9", 5, "ab\xc3\xa9"},
      {"a\xe2\x82\xac", 3, "a"},       // a three-byte character cut after its first byte
      {"a\xe2\x82\xac", 4, "a"},       // ... after its second
      {"a\xe2\x82\xac" "b", 5, "a\xe2\x82\xac"},
      {nullptr, 4, ""},
      {"abc", 1, ""},
  };
  for (const Row& row : rows) {
    char out[8];
    std::memset(out, 'x', sizeof out);
    const std::size_t kept = copyUTF8Bounded(out, row.size, row.text);
    EXPECT_STREQ(out, row.kept) << row.size;
    EXPECT_EQ(kept, std::strlen(row.kept));
    for (std::size_t i = kept; i < row.size; ++i) EXPECT_EQ(out[i], '\0');
  }
}

TEST(PSimpleStringTokenizer, SplitsAtEverySeparator) {
  const struct {
    const char* text;
    const char* separator;
    Pieces pieces;
  } cases[] = {
      {"a|b", "|", {"a", "b"}},
      {"a|", "|", {"a", ""}},
      {"a||b", "|", {"a", "", "b"}},
      {"|a", "|", {"", "a"}},
      {"a::b::c", "::", {"a", "b", "c"}},
      {"abc", "|", {"abc"}},
      {"", "|", {""}},
      {"a|b", "", {"a|b"}},
  };
  for (const auto& c : cases) {
    Pieces pieces;
    PSimpleStringTokenizer(c.text, c.separator, pieces);
    EXPECT_EQ(pieces, c.pieces) << c.text;
  }
}

TEST(PSimpleStringTokenizer, AppendsToWhatTheListHolds) {
  Pieces pieces = {"x"};
  PSimpleStringTokenizer("a|b", "|", pieces);
  EXPECT_EQ(pieces, (Pieces{"x", "a", "b"}));
  PSimpleStringTokenizer("none", "|", pieces);  // no separator: the text is still kept
  EXPECT_EQ(pieces, (Pieces{"x", "a", "b", "none"}));
  PSimpleStringTokenizer("", "|", pieces);
  EXPECT_EQ(pieces, (Pieces{"x", "a", "b", "none", ""}));
}

TEST(PSimpleStringTokenizer, WideForm) {
  std::vector<std::wstring> pieces;
  PSimpleStringTokenizer(std::wstring(L"\u00e9|\u4e2d|"), std::wstring(L"|"), pieces);
  EXPECT_EQ(pieces, (std::vector<std::wstring>{L"\u00e9", L"\u4e2d", L""}));
}

TEST(PStringReplacer, ReplacesLeftToRightWithoutOverlap) {
  const struct {
    const char* text;
    const char* search;
    const char* replacement;
    const char* out;
  } cases[] = {
      {"a&b", "&", "&amp;", "a&amp;b"},
      {"aaa", "aa", "b", "ba"},
      {"abab", "ab", "", ""},
      {"xyz", "q", "r", "xyz"},
      {"aaa", "a", "aa", "aaaaaa"},  // replacements are not searched again
      {"text", "", "zz", "text"},    // an empty search changes nothing (and ends)
      {"", "", "", ""},
  };
  for (const auto& c : cases) {
    std::string out = "old";
    PStringReplacer(c.text, out, c.search, c.replacement);
    EXPECT_EQ(out, c.out) << c.text << " / " << c.search;
  }
}

TEST(PStringReplacer, OutputMayBeTheInput) {
  std::string text = "one two two";
  PStringReplacer(text, text, "two", "three");
  EXPECT_EQ(text, "one three three");
  PStringReplacer(text, text, "", "x");
  EXPECT_EQ(text, "one three three");
  std::wstring wide = L"\u00e9-\u00e9";
  PStringReplacer(wide, wide, std::wstring(L"\u00e9"), std::wstring(L"e"));
  EXPECT_EQ(wide, L"e-e");
  PStringReplacer(wide, wide, std::wstring(), std::wstring(L"x"));
  EXPECT_EQ(wide, L"e-e");
}

TEST(PXmlStringEscape, EscapesTheFiveCharactersOnce) {
  EXPECT_EQ(PXmlStringEscape("<a&b>"), "&lt;a&amp;b&gt;");
  EXPECT_EQ(PXmlStringEscape("\"it's\""), "&quot;it&apos;s&quot;");
  EXPECT_EQ(PXmlStringEscape("&amp;"), "&amp;amp;");
  EXPECT_EQ(PXmlStringEscape("plain \xc3\xa9"), "plain \xc3\xa9");
}

TEST(Trim, Table) {
  const struct {
    const char* in;
    const char* trimmed;
    const char* left;
    const char* right;
  } cases[] = {
      {"  a b  ", "a b", "a b  ", "  a b"},
      {"\t\r\na\n", "a", "\t\r\na\n", "\t\r\na\n"},  // trim_left/right: blanks only
      {"\xa0x\xa0", "\xa0x\xa0", "\xa0x\xa0", "\xa0x\xa0"},  // bytes >= 128 stay
      {"   ", "", "", ""},
      {"", "", "", ""},
  };
  for (const auto& c : cases) {
    std::string out;
    trim(c.in, out);
    EXPECT_EQ(out, c.trimmed) << '"' << c.in << '"';
    trim_left(c.in, out);
    EXPECT_EQ(out, c.left) << '"' << c.in << '"';
    trim_right(c.in, out);
    EXPECT_EQ(out, c.right) << '"' << c.in << '"';
  }
  std::string same = "  x ";
  trim(same, same);
  EXPECT_EQ(same, "x");
}

TEST(Case, MapsAsciiAndKeepsOtherBytes) {
  const std::string in = "Ab\xc3\x89z\x80\xff!";
  std::string out;
  lowercase(in, out);
  EXPECT_EQ(out, "ab\xc3\x89z\x80\xff!");
  uppercase(in, out);
  EXPECT_EQ(out, "AB\xc3\x89Z\x80\xff!");
}

TEST(Case, HighBytesStayEvenInALatin1Locale) {
  // A single-byte locale's tolower maps 0xC9 to 0xE9, which would break UTF-8 text.
  std::string lower, upper;
  {
    kelo::test::ScopedLocale latin1(LC_CTYPE, "de_DE", "ISO-8859-1");
    if (!latin1.active()) GTEST_SKIP() << "no locale sources to build a Latin-1 locale";
    lowercase("A\xc9", lower);
    uppercase("a\xe9", upper);
  }
  EXPECT_EQ(lower, "a\xc9");
  EXPECT_EQ(upper, "A\xe9");
}

class UserLanguages : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : kNames) {
      const char* value = std::getenv(name);
      saved_.push_back(value != nullptr ? std::make_pair(true, std::string(value))
                                        : std::make_pair(false, std::string()));
      unsetenv(name);
    }
  }
  void TearDown() override {
    for (std::size_t i = 0; i < std::size(kNames); ++i) {
      if (saved_[i].first) setenv(kNames[i], saved_[i].second.c_str(), 1);
      else unsetenv(kNames[i]);
    }
  }
  static constexpr const char* kNames[] = {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"};
  std::vector<std::pair<bool, std::string>> saved_;
};

TEST_F(UserLanguages, CutToLanguageCodes) {
  const struct {
    const char* language;
    const char* lcAll;
    const char* lang;
    bool found;
    Pieces list;
  } cases[] = {
      {"de_AT:fr:en_GB", nullptr, "it_IT.UTF-8", true, {"de", "fr", "en"}},
      {nullptr, nullptr, "pt_BR.UTF-8@latin", true, {"pt"}},
      {nullptr, "sv-SE", "it_IT.UTF-8", true, {"sv"}},
      {"", nullptr, "nl_NL", true, {"nl"}},
      {nullptr, nullptr, "C.UTF-8", false, {"x", "en"}},
      {nullptr, nullptr, "POSIX", false, {"x", "en"}},
      {nullptr, nullptr, nullptr, false, {"x", "en"}},
  };
  for (const auto& c : cases) {
    for (auto [name, value] : {std::pair{"LANGUAGE", c.language}, std::pair{"LC_ALL", c.lcAll},
                               std::pair{"LANG", c.lang}}) {
      if (value != nullptr) setenv(name, value, 1);
      else unsetenv(name);
    }
    Pieces list = {"x"};
    EXPECT_EQ(getUserLanguageList(list), c.found) << (c.lang ? c.lang : "-");
    Pieces expected = c.list;
    if (c.found) expected.insert(expected.begin(), "x");
    EXPECT_EQ(list, expected) << (c.lang ? c.lang : "-");
  }
}

TEST(Random, RangesAndSeeding) {
  Psrand(17);
  const double first = PUrand();
  Psrand(17);
  EXPECT_EQ(PUrand(), first);
  for (int i = 0; i < 1000; ++i) {
    const double u = PUrand();
    EXPECT_GE(u, 0.0);
    EXPECT_LE(u, 1.0);
    const float uf = PUrandf();
    EXPECT_GE(uf, 0.0f);
    EXPECT_LE(uf, 1.0f);
    const double b = PBrand();
    EXPECT_GE(b, -1.0);
    EXPECT_LE(b, 1.0);
    const float bf = PBrandf();
    EXPECT_GE(bf, -1.0f);
    EXPECT_LE(bf, 1.0f);
  }
}

TEST(PcompressBound, AddsTheMargin) {
  EXPECT_EQ(PcompressBound(0), 11u);
  EXPECT_EQ(PcompressBound(16384), 16384u + 4 + 1 + 11);
  EXPECT_EQ(PcompressBound(1ull << 40), (1ull << 40) + (1ull << 28) + (1ull << 26) + 11);
}

}  // namespace
