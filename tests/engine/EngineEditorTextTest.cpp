// The text the editor hands the X server, linked against the engine's own objects.
#include <gtest/gtest.h>

#include <string>

#include "engine/EngineEditor.h"

namespace kelo::test {
namespace {

// The editor draws with the core X font, whose characters are ISO 8859-1: a UTF-8 label drawn
// as it is shows "Ã©" for "é".
TEST(EngineEditorText, LabelsAreDrawnInTheCoreFontsEncoding) {
  struct Case {
    const char* utf8;
    const char* latin1;
  };
  const Case cases[] = {
      {"Volume", "Volume"},
      {"voic\xc3\xa9s", "voic\xe9s"},
      {"\xc2\xb0 \xc3\xbf", "\xb0 \xff"},
      {"\xe2\x82\xac 5", "? 5"},          // the euro sign is not in ISO 8859-1
      {"a\xc3", "a?"},                   // cut inside a character
      {"\xf0\x9f\x8e\xb9!", "?!"},
  };
  for (const Case& c : cases) {
    char out[32];
    const int length = engine::latin1Of(c.utf8, out, sizeof out);
    EXPECT_EQ(std::string(out, static_cast<std::size_t>(length)), c.latin1) << c.utf8;
    EXPECT_EQ(out[length], '\0');
  }
  char small[4];
  EXPECT_EQ(engine::latin1Of("voic\xc3\xa9s", small, sizeof small), 3);
  EXPECT_STREQ(small, "voi");
}

}  // namespace
}  // namespace kelo::test
