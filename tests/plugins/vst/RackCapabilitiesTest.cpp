// What a host learns of the plug-in besides its parameters: capabilities, names, output pins
// and speaker arrangements. Compiled into the programs of the single-output, the multi-output
// and the no-MIDI-output product blocks; each row gives the answer of each build.
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "VNL/source/ProductConf.h"
#include "tests/plugins/vst/RackFixture.h"

namespace kelo::test {
namespace {

enum Build { kSingle, kMulti, kNoMidiOut };

/// Lines of the plug-in's log (the multi-output build has its own) that hold `fragment`.
std::size_t infoLines(const std::string& fragment) {
  return pluginLogCount('I', fragment, conf.multiActive);
}

Build thisBuild() {
  if (conf.multiActive) return kMulti;
  return conf.sendsMIDI ? kSingle : kNoMidiOut;
}

class RackCapabilitiesTest : public RackTest {
 protected:
  void TearDown() override {
    if (m_effect) dispatch(m_effect, effClose);
    EXPECT_TRUE(engineFindings().empty());
    RackTest::TearDown();
  }
  AEffect* started() {
    m_effect = make();
    dispatch(m_effect, effMainsChanged, 0, 1);
    return m_effect;
  }
  AEffect* m_effect = nullptr;
};

TEST_F(RackCapabilitiesTest, CanDo) {
  struct Case {
    const char* text;
    std::intptr_t answer[3];  // single, multi, no MIDI output
  };
  const Case cases[] = {
      {"sendVstMidiEvent", {1, 1, -1}},
      {"sendVstEvents", {1, 1, -1}},
      {"receiveVstEvents", {1, 1, 1}},
      {"receiveVstMidiEvent", {1, 1, 1}},
      {"supportsViewDpiScaling", {1, 1, 1}},
      {"receiveVstTimeInfo", {1, 1, 1}},
      {"offline", {-1, -1, -1}},
      {"receiveVstSysexEvent", {-1, -1, -1}},
      {"", {-1, -1, -1}},
  };
  AEffect* effect = make();
  m_effect = effect;
  for (const Case& c : cases) {
    std::string text = c.text;
    EXPECT_EQ(dispatch(effect, effCanDo, 0, 0, text.data()), c.answer[thisBuild()]) << c.text;
  }
  EXPECT_EQ(dispatch(effect, effCanDo, 0, 0, nullptr), -1);
}

TEST_F(RackCapabilitiesTest, NamesAndVersion) {
  const char* product = thisBuild() == kMulti ? "KELO Player (Multi)" : "KELO Player";
  struct Case {
    std::int32_t opcode;
    const char* text;
  };
  const Case cases[] = {
      {effGetEffectName, product},
      {effGetProductString, product},
      {effGetVendorString, "Sorvelin"},
  };
  AEffect* effect = make();
  m_effect = effect;
  for (const Case& c : cases) {
    char text[80];
    std::memset(text, 'x', sizeof text);
    EXPECT_EQ(dispatch(effect, c.opcode, 0, 0, text), 1) << c.opcode;
    EXPECT_STREQ(text, c.text);
  }
  EXPECT_EQ(dispatch(effect, effGetVendorVersion), 2056);
  EXPECT_EQ(dispatch(effect, effKeysRequired), 1);  // 1: no keys needed
}

TEST_F(RackCapabilitiesTest, OutputPins) {
  struct Case {
    std::int32_t index;
    bool answer[3];
    const char* label;
  };
  const Case cases[] = {
      {0, {true, true, true}, "Out 1"},
      {1, {true, true, true}, "Out 2"},
      {2, {false, true, false}, "Out 3"},
      {31, {false, true, false}, "Out 32"},
      {32, {false, false, false}, ""},
      {-1, {false, false, false}, ""},
  };
  AEffect* effect = make();
  m_effect = effect;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.index);
    VstPinProperties pin{};
    std::strcpy(pin.label, "host");
    pin.flags = 0x40;
    pin.arrangementType = 7;
    std::strcpy(pin.shortLabel, "h");
    const bool answer = c.answer[thisBuild()];
    EXPECT_EQ(dispatch(effect, effGetOutputProperties, c.index, 0, &pin), answer ? 1 : 0);
    EXPECT_STREQ(pin.label, answer ? c.label : "host");
    EXPECT_EQ(pin.flags, answer ? kVstPinIsActive | kVstPinIsStereo : 0x40);
    EXPECT_EQ(pin.arrangementType, 7);  // the other fields stay as the host passed them
    EXPECT_STREQ(pin.shortLabel, "h");
    EXPECT_EQ(dispatch(effect, effGetInputProperties, c.index, 0, &pin), 0);
  }
  dispatch(effect, effGetOutputProperties, 0, 0, nullptr);
}

/// A speaker arrangement as a host passes it (longer than declared beyond eight channels).
struct Arrangement {
  Arrangement(std::int32_t type, std::int32_t channels) {
    const std::size_t size = offsetof(VstSpeakerArrangement, speakers) +
                             sizeof(VstSpeakerProperties) * static_cast<std::size_t>(channels > 8 ? channels : 8);
    bytes.resize(size);
    get()->type = type;
    get()->numChannels = channels;
  }
  VstSpeakerArrangement* get() { return reinterpret_cast<VstSpeakerArrangement*>(bytes.data()); }
  std::vector<unsigned char> bytes;
};

TEST_F(RackCapabilitiesTest, SpeakerArrangements) {
  constexpr std::int32_t kNone = -99;  // a null arrangement
  struct Case {
    const char* name;
    const char* vendor;
    const char* product;
    bool ignored;  // the host's arrangements are not believed
    std::int32_t inputChannels;  // kNone: null
    std::int32_t outputType;
    std::int32_t outputChannels;  // kNone: null
    bool answer[3];
    std::int32_t outputsAfter[3];
  };
  const Case cases[] = {
      {"Cakewalk", "Cakewalk", "Cakewalk by BandLab", true, 0, 0, kNone, {true, true, true}, {2, 32, 2}},
      {"SONAR", "Cakewalk", "SONAR X3", true, 0, kSpeakerArr51, 40, {true, true, true}, {2, 32, 2}},
      {"FX-MAX", "FX-MAX Audio", "Host", true, kNone, kSpeakerArrStereo, 8, {true, true, true}, {2, 32, 2}},
      {"null input", "", "Host", false, kNone, kSpeakerArrStereo, 2, {false, false, false}, {2, 32, 2}},
      {"null output", "", "Host", false, 0, kSpeakerArrStereo, kNone, {false, false, false}, {2, 32, 2}},
      {"mono", "", "Host", false, 0, kSpeakerArrMono, 2, {false, false, false}, {2, 32, 2}},
      {"5.1", "", "Host", false, 0, kSpeakerArr51, 6, {false, false, false}, {2, 32, 2}},
      {"33 outputs", "", "Host", false, 0, kSpeakerArrStereo, 33, {false, false, false}, {2, 32, 2}},
      {"8 outputs", "", "Host", false, 0, kSpeakerArrStereo, 8, {false, true, false}, {2, 8, 2}},
      {"4 outputs", "", "Host", false, 0, kSpeakerArrStereo, 4, {false, true, false}, {2, 4, 2}},
      {"an input too many", "", "Host", false, 1, kSpeakerArrStereo, 2, {false, false, false}, {2, 2, 2}},
  };
  const Build build = thisBuild();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    engineControl()(KELO_TEST_RESET, nullptr, nullptr, 0, 0);
    m_host.clear();
    m_host.setVendorString(c.vendor);
    m_host.setProductString(c.product);
    AEffect* effect = started();
    const std::size_t hype = infoLines("Don't believe the speaker arrangement hype!");
    const std::size_t called = infoLines("setSpeakerArrangement called");
    Arrangement input(kSpeakerArrStereo, c.inputChannels == kNone ? 0 : c.inputChannels);
    Arrangement output(c.outputType, c.outputChannels == kNone ? 0 : c.outputChannels);
    const bool answer = c.answer[build];
    EXPECT_EQ(dispatch(effect, effSetSpeakerArrangement, 0,
                       c.inputChannels == kNone ? 0 : reinterpret_cast<std::intptr_t>(input.get()),
                       c.outputChannels == kNone ? nullptr : output.get()),
              answer ? 1 : 0);
    EXPECT_EQ(object(effect).outputCount(), c.outputsAfter[build]);
    EXPECT_EQ(infoLines("Don't believe the speaker arrangement hype!") - hype,
              c.ignored ? 1u : 0u);
    const bool considered = !c.ignored && c.inputChannels != kNone && c.outputChannels != kNone &&
                            c.outputType != kSpeakerArrMono && c.outputType != kSpeakerArr51;
    EXPECT_EQ(infoLines("setSpeakerArrangement called") - called, considered ? 1u : 0u);
    if (considered) {
      const std::vector<std::string> lines = pluginLog('I', conf.multiActive);
      std::vector<std::string> described;
      for (const std::string& line : lines)
        if (line.find("plugin") != std::string::npos && line.find("->") != std::string::npos)
          described.push_back(line.substr(line.find("plugin")));
      const std::vector<std::string> expected = {
          "pluginInput->type : 1", "pluginInput->numChannels : " + std::to_string(c.inputChannels),
          "pluginOutput->type : " + std::to_string(c.outputType),
          "pluginOutput->numChannels : " + std::to_string(c.outputChannels)};
      EXPECT_EQ(described, expected);
    }

    // A new count reaches the engine with the next format; host buffers beyond it are zeroed.
    dispatch(effect, effMainsChanged, 0, 0);
    dispatch(effect, effMainsChanged, 0, 1);
    EXPECT_EQ(engineControl()(KELO_TEST_OUTPUT_CHANNELS, object(effect).engineInstance(), nullptr,
                              0, 0),
              c.outputsAfter[build]);
    std::vector<std::vector<float>> channels(static_cast<std::size_t>(effect->numOutputs),
                                             std::vector<float>(64, std::nanf("")));
    std::vector<float*> outputs;
    for (auto& channel : channels) outputs.push_back(channel.data());
    effect->processReplacing(effect, nullptr, outputs.data(), 64);
    for (std::size_t i = 0; i < channels.size(); ++i)
      for (float sample : channels[i]) ASSERT_EQ(sample, 0.0f) << "channel " << i;
    dispatch(effect, effClose);
    m_effect = nullptr;
  }
}

TEST_F(RackCapabilitiesTest, GetSpeakerArrangementInTheMultiOutputBuildOnly) {
  AEffect* effect = started();
  VstSpeakerArrangement* input = reinterpret_cast<VstSpeakerArrangement*>(1);
  VstSpeakerArrangement* output = reinterpret_cast<VstSpeakerArrangement*>(1);
  const bool multi = thisBuild() == kMulti;
  EXPECT_EQ(dispatch(effect, effGetSpeakerArrangement, 0, reinterpret_cast<std::intptr_t>(&input),
                     &output),
            multi ? 1 : 0);
  EXPECT_EQ(infoLines("getSpeakerArrangement called"), multi ? 1u : 0u);
  EXPECT_EQ(input, nullptr);  // no inputs: no input arrangement
  if (multi) {
    ASSERT_NE(output, nullptr);
    EXPECT_EQ(output->numChannels, 32);
    EXPECT_EQ(output->type, kSpeakerArrStereo);
  } else {
    EXPECT_EQ(output, nullptr);
  }
}

}  // namespace
}  // namespace kelo::test
