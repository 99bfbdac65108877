#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "VNL/source/TextFile.h"
#include "tests/support/TempDir.h"

namespace {

using Lines = std::vector<std::string>;

Lines readAll(const std::string& text) {
  std::istringstream stream(text);
  Lines lines;
  std::string line;
  while (getLine(stream, line)) lines.push_back(line);
  return lines;
}

TEST(GetLine, EveryLineEnd) {
  const struct {
    const char* text;
    Lines lines;
  } cases[] = {
      {"a\nb\n", {"a", "b"}},
      {"a\nb", {"a", "b"}},
      {"a\r\nb\r\n", {"a", "b"}},
      {"a\rb\r", {"a", "b"}},
      {"a\n\nb", {"a", "", "b"}},
      {"\r\n\r\n", {"", ""}},
      {"\n", {""}},
      {"", {}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(readAll(c.text), c.lines) << testing::PrintToString(std::string(c.text));
  }
}

TEST(TextInternalize, AppendsTheLinesOfAFile) {
  kelo::test::TempDir dir;
  ASSERT_TRUE(kelo::test::writeFile(dir.file("t.txt"), "one\r\ntwo\n\nlast"));
  Lines lines = {"kept"};
  EXPECT_TRUE(textInternalize(dir.file("t.txt"), lines));
  EXPECT_EQ(lines, (Lines{"kept", "one", "two", "", "last"}));
  EXPECT_FALSE(textInternalize(dir.file("missing.txt"), lines));
  EXPECT_EQ(lines.size(), 5u);
}

TEST(CreateStringMap, ReadsTrimmedPairs) {
  kelo::test::TempDir dir;
  ASSERT_TRUE(kelo::test::writeFile(dir.file("m.txt"),
                                    "# comment=1\n"
                                    "/ also=2\n"
                                    "\n"
                                    " key = value \r\n"
                                    "novalue\n"
                                    "path=/a=b\n"
                                    "key=later\n"
                                    "\tempty=\n"));
  std::map<std::string, std::string> map = {{"old", "kept"}};
  EXPECT_TRUE(createStringMap(dir.file("m.txt"), map, '=', true));
  EXPECT_EQ(map, (std::map<std::string, std::string>{
                     {"old", "kept"}, {"key", "later"}, {"path", "/a=b"}, {"empty", ""}}));

  std::map<std::string, std::string> withComments;
  EXPECT_TRUE(createStringMap(dir.file("m.txt"), withComments, '=', false));
  EXPECT_EQ(withComments["# comment"], "1");
  EXPECT_EQ(withComments["/ also"], "2");

  EXPECT_FALSE(createStringMap(dir.file("missing"), map, '=', true));
}

TEST(GetCharEncoding, RecognisesMarksInOrder) {
  const struct {
    std::string bytes;
    bool found;
    CHARACTER_ENCODING encoding;
    std::size_t length;
  } cases[] = {
      {std::string("\xEF\xBB\xBF" "a", 4), true, ENCODING_UTF8, 3},
      {std::string("\xFE\xFF\0a", 4), true, ENCODING_UTF16_BE, 2},
      {std::string("\xFF\xFE" "a\0", 4), true, ENCODING_UTF16_LE, 2},
      {std::string("\0\0\xFE\xFF", 4), true, ENCODING_UTF32_BE, 4},
      {std::string("\xFF\xFE\0\0", 4), true, ENCODING_UTF16_LE, 2},  // UTF-16 LE is tried first
      {std::string("+/v8", 4), true, ENCODING_UTF7, 3},
      {std::string("\xF7\x64\x4C" "a", 4), true, ENCODING_UTF1, 3},
      {std::string("\xDD\x73\x66\x73", 4), true, ENCODING_UTF_EBCDIC, 4},
      {std::string("\x0E\xFE\xFF" "a", 4), true, ENCODING_SCSU, 3},
      {std::string("\xFB\xEE\x28" "a", 4), true, ENCODING_BOCU1, 3},
      {std::string("abcd", 4), false, ENCODING_NONE, 99},
      {std::string("\xEF\xBB\x00\x00", 4), false, ENCODING_NONE, 99},
  };
  for (const auto& c : cases) {
    CHARACTER_ENCODING encoding = ENCODING_UTF7;
    std::size_t length = 99;
    EXPECT_EQ(getCharEncoding(reinterpret_cast<const std::uint8_t*>(c.bytes.data()), encoding,
                              length),
              c.found);
    EXPECT_EQ(encoding, c.encoding);
    EXPECT_EQ(length, c.length);
  }
}

TEST(GetCharEncoding, FilesNeedFourBytes) {
  kelo::test::TempDir dir;
  ASSERT_TRUE(kelo::test::writeFile(dir.file("three"), "\xEF\xBB\xBF"));
  ASSERT_TRUE(kelo::test::writeFile(dir.file("four"), "\xEF\xBB\xBFx"));
  CHARACTER_ENCODING encoding = ENCODING_NONE;
  std::size_t length = 0;
  EXPECT_FALSE(getCharEncoding(dir.file("three"), encoding, length));
  EXPECT_FALSE(getCharEncoding(dir.file("missing"), encoding, length));
  EXPECT_TRUE(getCharEncoding(dir.file("four"), encoding, length));
  EXPECT_EQ(encoding, ENCODING_UTF8);
  EXPECT_EQ(length, 3u);
}

}  // namespace
