// The articulation plug-ins' init texts and event classification.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "Sampler/sdk/PluginText.h"
#include "VNL/source/StringUtils.h"
#include "effects/small/articulation/ArticulationPlugin.h"
#include "effects/small/articulation/ArticulationText.h"

namespace {

using Pieces = std::vector<std::string>;

// The three tokenizers differ on purpose: the articulation plug-ins' gives nothing for a text
// without the separator and drops an empty last piece (Shakes' "shift12:" relies on it).
TEST(ArticulationText, TheTokenizerBesideTheSDKsAndTheCommonLibrarys) {
  struct Case {
    std::string text, separator;
    Pieces articulation, sdk, common;
  };
  const Case cases[] = {
      {"low:40|high:80", "|", {"low:40", "high:80"}, {"low:40", "high:80"}, {"low:40", "high:80"}},
      {"high:80", "|", {}, {"high:80"}, {"high:80"}},
      {"", "|", {}, {""}, {""}},
      {"a|", "|", {"a"}, {"a", ""}, {"a", ""}},
      {"|a", "|", {"", "a"}, {"", "a"}, {"", "a"}},
      {"a||b", "|", {"a", "", "b"}, {"a", "", "b"}, {"a", "", "b"}},
      {"a||", "|", {"a", ""}, {"a", "", ""}, {"a", "", ""}},
      {"shift12:", ":", {"shift12"}, {"shift12", ""}, {"shift12", ""}},
      {"a<>b<>", "<>", {"a", "b"}, {"a", "b", ""}, {"a", "b", ""}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE('"' + c.text + "\" at \"" + c.separator + '"');
    Pieces articulation{"kept"}, sdk, common;
    sorvelin::PSimpleStringTokenizer(c.text, c.separator, articulation);
    vantor::KELOPluginSDK::SimpleStringTokenizer(c.text, c.separator, sdk);
    PSimpleStringTokenizer(c.text, c.separator, common);
    Pieces expected{"kept"};
    expected.insert(expected.end(), c.articulation.begin(), c.articulation.end());
    EXPECT_EQ(articulation, expected);
    EXPECT_EQ(sdk, c.sdk);
    EXPECT_EQ(common, c.common);
  }
}

TEST(ArticulationText, TheKeyRangeTakesExactLowAndHighItems) {
  struct Case {
    const char* text;
    std::int32_t low, high;
  };
  const Case cases[] = {
      {nullptr, 10, 100},         {"", 10, 100},
      {"low:40|high:80", 40, 80}, {"high:90", 10, 90},  // one item without a bar
      {"low:40:50", 10, 100},     {"LOW:40", 10, 100},
      {"low", 10, 100},           {"low:x", 0, 100},
      {"low: 40", 40, 100},       {"low:-3|high:200", -3, 200},
      {"low:40|low:45", 45, 100}, {"low:36abc|other:1|high:+96", 36, 96},
      {"low:40|", 40, 100},       {"|high:70", 10, 70},
      // Beyond int32 the bound saturates instead of overflowing.
      {"low:-99999999999|high:4294967297", -2147483647 - 1, 2147483647},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text ? c.text : "(null)");
    std::int32_t low = 10, high = 100;
    sorvelin::readKeyRange(c.text, low, high);
    EXPECT_EQ(low, c.low);
    EXPECT_EQ(high, c.high);
  }
}

TEST(ArticulationText, EventsAreClassifiedByTheirUpperFourBits) {
  using sorvelin::EventKind;
  const float nan = std::numeric_limits<float>::quiet_NaN();
  struct Case {
    std::int32_t status;
    float data2;
    EventKind kind;
  };
  const Case cases[] = {
      {144, 0.5f, EventKind::NoteOn},     {148, 0.5f, EventKind::NoteOn},
      {148, 0.0f, EventKind::NoteOff},    {144, -0.1f, EventKind::NoteOff},
      {144, nan, EventKind::NoteOff},     {128, 0.7f, EventKind::NoteOff},
      {143, 0.7f, EventKind::NoteOff},    {176, 0.0f, EventKind::Controller},
      {191, 1.0f, EventKind::Controller}, {224, 0.5f, EventKind::Other},
      {256, 0.5f, EventKind::Other},      {512, 0.5f, EventKind::Other},
      {0x190, 0.5f, EventKind::NoteOn},   {-112, 0.5f, EventKind::NoteOn},
  };
  for (const Case& c : cases) {
    vantor::KELOPluginSDK::HDMIDIEvent event{};
    event.status = c.status;
    event.data2 = c.data2;
    EXPECT_EQ(sorvelin::classify(event), c.kind) << c.status << " " << c.data2;
  }
}

}  // namespace
