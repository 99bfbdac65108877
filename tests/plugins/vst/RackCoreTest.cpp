// The plug-in object against the reference engine and a recording host: the engine instance
// made once on first need, the host adjustments, the sample rate, the latency report and the
// order of destruction. The program carries a product block with three parameters.
#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "plugins/vst/SamplerVST.h"
#include "tests/plugins/vst/RackFixture.h"
#include "tests/support/LogCapture.h"
#include "tests/support/PreferenceSandbox.h"

namespace kelo::test {
namespace {

class RackCoreTest : public RackTest {
 protected:
  static void close(AEffect* effect) { ASSERT_EQ(dispatch(effect, effClose), 1); }

  void expectCleanEnd() {
    const std::vector<std::int32_t> opcodes = engineOpcodes();
    ASSERT_GE(opcodes.size(), 2u);
    EXPECT_EQ(opcodes[opcodes.size() - 2], KELO_OP_HOST_CALLBACK_CLEAR);
    EXPECT_EQ(opcodes.back(), KELO_OP_INSTANCE_DESTROY);
    EXPECT_TRUE(engineFindings().empty());
  }
};

TEST_F(RackCoreTest, EachTriggerMakesTheInstanceOnce) {
  struct Trigger {
    const char* name;
    std::function<void(AEffect*)> fire;
  };
  const Trigger triggers[] = {
      {"resume", [](AEffect* e) { dispatch(e, effMainsChanged, 0, 1); }},
      {"suspend", [](AEffect* e) { dispatch(e, effMainsChanged, 0, 0); }},
      {"getChunk",
       [](AEffect* e) {
         void* data = nullptr;
         EXPECT_GT(dispatch(e, effGetChunk, 0, 0, &data), 0);
         EXPECT_NE(data, nullptr);
       }},
      {"setChunk without data", [](AEffect* e) { dispatch(e, effSetChunk, 0, 0, nullptr); }},
      {"editor rectangle",
       [](AEffect* e) {
         ERect* rect = nullptr;
         EXPECT_EQ(dispatch(e, effEditGetRect, 0, 0, &rect), 1);
         ASSERT_NE(rect, nullptr);
         EXPECT_GT(rect->right, 0);
       }},
  };
  for (const Trigger& t : triggers) {
    SCOPED_TRACE(t.name);
    engineControl()(KELO_TEST_RESET, nullptr, nullptr, 0, 0);
    AEffect* effect = make();
    EXPECT_EQ(countOpcode(KELO_OP_INSTANCE_CREATE), 0u);
    t.fire(effect);
    EXPECT_EQ(countOpcode(KELO_OP_INSTANCE_CREATE), 1u);
    EXPECT_NE(object(effect).engineInstance(), nullptr);
    t.fire(effect);
    dispatch(effect, effMainsChanged, 0, 1);
    EXPECT_EQ(countOpcode(KELO_OP_INSTANCE_CREATE), 1u);
    close(effect);
    expectCleanEnd();
    EXPECT_EQ(pluginLogCount('I', " init() in"), 1u);
  }
}

TEST_F(RackCoreTest, SetChunkFirstStartsFromThatChunkAndRefreshesEveryParameter) {
  std::vector<unsigned char> state;
  {
    AEffect* effect = make();
    dispatch(effect, effMainsChanged, 0, 1);
    SamplerVST& plugin = object(effect);
    ASSERT_EQ(plugin.engineEntry()(plugin.engineInstance(), KELO_OP_PARAMETER_SET, nullptr, nullptr,
                                   nullptr, 0, 0.25f, 0, 0),
              0);
    void* data = nullptr;
    const std::intptr_t size = dispatch(effect, effGetChunk, 0, 0, &data);
    ASSERT_GT(size, 0);
    state.assign(static_cast<unsigned char*>(data), static_cast<unsigned char*>(data) + size);
    close(effect);
  }
  engineControl()(KELO_TEST_RESET, nullptr, nullptr, 0, 0);
  m_host.clear();

  AEffect* effect = make();
  EXPECT_EQ(dispatch(effect, effSetChunk, 0, static_cast<std::intptr_t>(state.size()), state.data()),
            0);
  std::vector<KeloTraceEntry> creates;
  for (const KeloTraceEntry& entry : engineTrace())
    if (entry.opcode == KELO_OP_INSTANCE_CREATE) creates.push_back(entry);
  ASSERT_EQ(creates.size(), 1u);
  EXPECT_EQ(creates[0].i1, static_cast<std::int32_t>(state.size()));

  // Every parameter of the product, each in its gesture, then one display update.
  std::vector<std::string> sequence;
  for (const HostCall& call : m_host.calls()) {
    if (call.opcode == audioMasterBeginEdit) sequence.push_back("begin " + std::to_string(call.index));
    if (call.opcode == audioMasterAutomate) sequence.push_back("value " + std::to_string(call.index));
    if (call.opcode == audioMasterEndEdit) sequence.push_back("end " + std::to_string(call.index));
    if (call.opcode == audioMasterUpdateDisplay) sequence.push_back("display");
  }
  const std::vector<std::string> expected = {"begin 0", "value 0", "end 0", "begin 1", "value 1",
                                             "end 1",   "begin 2", "value 2", "end 2", "display"};
  EXPECT_EQ(sequence, expected);
  const auto automated = m_host.calls(audioMasterAutomate);
  ASSERT_EQ(automated.size(), 3u);
  EXPECT_FLOAT_EQ(automated[0].opt, 0.25f);  // the chunk's value, not the default
  EXPECT_EQ(pluginLogCount('I', "Kelo Slot:0 was changed, need to update display completely"), 1u);

  // Later chunks go to the running instance.
  EXPECT_EQ(dispatch(effect, effSetChunk, 0, static_cast<std::intptr_t>(state.size()), state.data()),
            0);
  EXPECT_EQ(countOpcode(KELO_OP_INSTANCE_CREATE), 1u);
  EXPECT_EQ(countOpcode(KELO_OP_CHUNK_SET), 1u);
  close(effect);
  expectCleanEnd();
}

TEST_F(RackCoreTest, WithoutADataFolderInitialisationFailsOnceAndIsNeverRetried) {
  PreferenceSandbox::clear();
  installEngine("", KELO_ENGINE_BUNDLE);
  AEffect* effect = make();
  EXPECT_EQ(effect->flags & effFlagsHasEditor, 0);
  dispatch(effect, effMainsChanged, 0, 1);
  dispatch(effect, effMainsChanged, 0, 0);
  void* data = nullptr;
  EXPECT_EQ(dispatch(effect, effGetChunk, 0, 0, &data), 0);
  dispatch(effect, effSetChunk, 0, 4, &data);
  dispatch(effect, effMainsChanged, 0, 1);
  EXPECT_EQ(m_alerts.shown().size(), 1u);
  close(effect);
  EXPECT_EQ(pluginLogCount('E', "Cant init, no datapath!"), 1u);
  EXPECT_EQ(pluginLogCount('I', " init() in"), 1u);
  EXPECT_EQ(countOpcode(KELO_OP_INSTANCE_CREATE), 0u);
}

TEST_F(RackCoreTest, HostAdjustments) {
  struct Case {
    const char* vendor;
    const char* product;
    const char* line;  // "" for none
    bool asksRate;
    bool gestures;
  };
  const Case cases[] = {
      {"Some Vendor", "Some Host", "", true, true},
      {"FX-MAX Audio", "Host", "", true, true},
      {"Cakewalk Inc", "Cakewalk by BandLab", " Cakewalk audioMasterGetSampleRate workaround enabled",
       false, true},
      {"Cakewalk", "SONAR X3", " Cakewalk audioMasterGetSampleRate workaround enabled", false, true},
      {"Cockos", "REAPER", " Activating parameter cache to fix Reaper automation bug", true, true},
      {"Ableton", "Live 11", " Activating parameter hack for Live which cannot deal with param holes",
       true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.product);
    m_host.clear();
    m_host.setVendorString(c.vendor);
    m_host.setProductString(c.product);
    AEffect* effect = make();
    dispatch(effect, effMainsChanged, 0, 1);
    EXPECT_EQ(m_host.count(audioMasterGetSampleRate) > 0, c.asksRate);
    // A slot change from the engine refreshes the three parameters.
    KeloTestHostCall slot{KELO_HOST_SLOT_CHANGED, 1, 0, 0, 0.0f, nullptr, nullptr, -1};
    ASSERT_EQ(engineControl()(KELO_TEST_CALL_HOST, object(effect).engineInstance(), &slot, 0, 0), 0);
    EXPECT_EQ(slot.answer, 0);
    EXPECT_EQ(m_host.count(audioMasterBeginEdit), c.gestures ? 3u : 0u);
    EXPECT_EQ(m_host.count(audioMasterAutomate), 3u);
    close(effect);
    const std::vector<std::string> adjustments = {
        " Cakewalk audioMasterGetSampleRate workaround enabled",
        " Activating parameter cache to fix Reaper automation bug",
        " Activating parameter hack for Live which cannot deal with param holes"};
    for (const std::string& line : adjustments)
      EXPECT_EQ(pluginLogCount('I', line), line == c.line ? 1u : 0u) << line;
    EXPECT_EQ(pluginLogCount('I', std::string(" Vendor:") + c.vendor), 1u);
    EXPECT_EQ(pluginLogCount('I', std::string(" Product:") + c.product + " version:0"), 1u);
  }
}

TEST_F(RackCoreTest, SampleRateFromTheHost) {
  struct Case {
    std::intptr_t answer;
    float rate;
    const char* line;  // "" for none
  };
  const Case cases[] = {
      {48000, 48000.0f, ""},
      {22050, 22050.0f, ""},
      {384000, 384000.0f, ""},
      {44101, 44100.0f, " updateSampleRate VERY DOGGY sampleRate from HOST! :44101 host probably using per 2.3"},
      {0, 44100.0f, " updateSampleRate BAD sampleRate from HOST! :0 host probably using per 2.3"},
      {400000, 44100.0f, " updateSampleRate BAD sampleRate from HOST! :400000 host probably using per 2.3"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.answer);
    m_host.setSampleRate(c.answer);
    AEffect* effect = make();
    dispatch(effect, effMainsChanged, 0, 1);
    EXPECT_EQ(object(effect).getSampleRate(), c.rate);
    close(effect);
    if (*c.line) {
      EXPECT_GE(pluginLogCount('I', c.line), 1u);
    }
    EXPECT_EQ(pluginLogCount('I', "sampleRate from HOST!"), *c.line ? 2u : 0u);  // init and resume
  }
}

TEST_F(RackCoreTest, ARateOrBlockSizeSetWhileSuspendedSurvivesResume) {
  m_host.setSampleRate(48000);
  m_host.setBlockSize(256);
  AEffect* effect = make();
  dispatch(effect, effMainsChanged, 0, 1);
  EXPECT_EQ(object(effect).getSampleRate(), 48000.0f);
  EXPECT_EQ(object(effect).getBlockSize(), 256);
  dispatch(effect, effMainsChanged, 0, 0);
  dispatch(effect, effSetSampleRate, 0, 0, nullptr, 96000.0f);
  dispatch(effect, effSetBlockSize, 0, 64);
  dispatch(effect, effMainsChanged, 0, 1);
  EXPECT_EQ(object(effect).getSampleRate(), 96000.0f);
  EXPECT_EQ(object(effect).getBlockSize(), 64);
  // Once running, the host is asked again at the next resume.
  dispatch(effect, effMainsChanged, 0, 0);
  dispatch(effect, effMainsChanged, 0, 1);
  EXPECT_EQ(object(effect).getSampleRate(), 48000.0f);
  close(effect);
}

TEST_F(RackCoreTest, ResumeReportsANewLatencyOnce) {
  engineControl()(KELO_TEST_SET_LATENCY, nullptr, nullptr, 128, 0);
  AEffect* effect = make();
  EXPECT_EQ(effect->initialDelay, 0);
  dispatch(effect, effMainsChanged, 0, 1);
  EXPECT_EQ(effect->initialDelay, 128);
  effect->initialDelay = -5;  // any later report would overwrite it
  dispatch(effect, effMainsChanged, 0, 0);
  dispatch(effect, effMainsChanged, 0, 1);
  EXPECT_EQ(effect->initialDelay, -5);
  engineControl()(KELO_TEST_SET_LATENCY, nullptr, nullptr, 64, 0);
  dispatch(effect, effMainsChanged, 0, 0);
  dispatch(effect, effMainsChanged, 0, 1);
  EXPECT_EQ(effect->initialDelay, 64);
  EXPECT_EQ(m_host.count(audioMasterIOChanged), 0u);
  close(effect);
}

TEST_F(RackCoreTest, WithoutProgramsProgramZeroIsStillThere) {
  struct CountingRack : SamplerVST {
    using SamplerVST::SamplerVST;
    void setProgram(std::int32_t program) override {
      ++calls;
      SamplerVST::setProgram(program);
    }
    int calls = 0;
  };
  auto* plugin = new CountingRack(RecordingAudioMaster::callback);
  AEffect* effect = plugin->getAeffect();
  ASSERT_EQ(effect->numPrograms, 0);
  dispatch(effect, effSetProgram, 0, 0);
  EXPECT_EQ(plugin->calls, 0);  // the dispatcher passes on only programs below the count
  char name[64];
  dispatch(effect, effGetProgramName, 0, 0, name);
  EXPECT_STREQ(name, "empty slot0");
  EXPECT_EQ(dispatch(effect, effGetProgramNameIndexed, 0, 0, name), 1);
  EXPECT_STREQ(name, "empty slot0");
  EXPECT_EQ(dispatch(effect, effGetProgramNameIndexed, 1, 0, name), 0);
  plugin->setProgram(0);
  plugin->setProgram(1);
  EXPECT_EQ(dispatch(effect, effGetProgram), 0);
  char given[] = "Zero";
  dispatch(effect, effSetProgramName, 0, 0, given);
  dispatch(effect, effGetProgramName, 0, 0, name);
  EXPECT_STREQ(name, "Zero");
  close(effect);
}

TEST_F(RackCoreTest, DestructionUnregistersBeforeDestroyingAndClosesTheLog) {
  AEffect* first = make();
  AEffect* second = make();
  dispatch(first, effMainsChanged, 0, 1);
  ERect* rect = nullptr;
  dispatch(first, effEditGetRect, 0, 0, &rect);
  dispatch(second, effMainsChanged, 0, 1);
  close(first);
  close(second);
  expectCleanEnd();
  const std::vector<std::int32_t> opcodes = engineOpcodes();
  // The first instance's editor goes before its instance.
  const auto editorGone = std::find(opcodes.begin(), opcodes.end(), KELO_OP_EDITOR_DESTROY);
  const auto firstClear = std::find(opcodes.begin(), opcodes.end(), KELO_OP_HOST_CALLBACK_CLEAR);
  EXPECT_LT(editorGone, firstClear);
  EXPECT_EQ(countOpcode(KELO_OP_INSTANCE_DESTROY), 2u);
  EXPECT_EQ(pluginLogCount('I', " instance:1"), 1u);
  EXPECT_EQ(pluginLogCount('I', " instance:2"), 1u);
  EXPECT_EQ(pluginLogCount('I', " SamplerVST::~SamplerVST() out"), 2u);
  const std::string log = readFile(pluginLogPath());
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log.back(), '@');
}

// A host removing its only KeloRack and adding one later (qtractor's scanner keeps a second
// instance so): the log goes with the last instance and opens again with the next one.
TEST_F(RackCoreTest, TheLogOpenedAgainKeepsTheEarlierInstancesLines) {
  for (int i = 0; i < 2; ++i) {
    AEffect* effect = make();
    dispatch(effect, effMainsChanged, 0, 1);
    close(effect);
  }
  expectCleanEnd();
  const std::string log = readFile(pluginLogPath());
  auto count = [&log](const std::string& fragment) {
    std::size_t n = 0;
    for (const std::string& line : logLineTexts(log, 'I'))
      n += line.find(fragment) != std::string::npos;
    return n;
  };
  EXPECT_EQ(count(" instance:1"), 2u);
  EXPECT_EQ(count(" SamplerVST::~SamplerVST() out"), 2u);
  EXPECT_EQ(count(" opened on: "), 2u);
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log.back(), '@');
}

}  // namespace
}  // namespace kelo::test
