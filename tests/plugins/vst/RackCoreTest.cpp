// The plug-in object against the reference engine and a recording host: the engine instance
// made once on first need, the host adjustments, the sample rate, the latency report and the
// order of destruction. The program carries a product block with three parameters.
#include <dlfcn.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <limits>
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

  /// A resumed plug-in over the recording engine, whose functions `recorder` then finds.
  AEffect* startOverRecorder() {
    installEngine("", SYNC_RECORDER_BUNDLE);
    AEffect* effect = make();
    dispatch(effect, effMainsChanged, 0, 1);
    return effect;
  }
  /// The recording engine's function `name`, null unless the plug-in bound that engine.
  template <typename Function>
  static Function recorder(const char* name) {
    void* engine = dlopen(SYNC_RECORDER_BUNDLE "/Contents/x86_64-linux/SyncRecorder.so", RTLD_NOW | RTLD_NOLOAD);
    if (!engine) return nullptr;
    const auto function = reinterpret_cast<Function>(dlsym(engine, name));
    dlclose(engine);  // the plug-in's bundle reference keeps it loaded
    return function;
  }

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

// A rate that is not finite or lies outside what the engine takes never reaches it, running or
// suspended: the plug-in goes on at its old rate.
TEST_F(RackCoreTest, AHostileSampleRateIsRefusedAndTheOldRateStays) {
  m_host.setSampleRate(48000);
  AEffect* effect = make();
  dispatch(effect, effMainsChanged, 0, 1);
  ASSERT_EQ(object(effect).getSampleRate(), 48000.0f);
  const float hostile[] = {std::numeric_limits<float>::infinity(), -std::numeric_limits<float>::infinity(),
                           std::numeric_limits<float>::quiet_NaN(), 1e38f, -48000.0f, 0.0f, 0.5f};
  std::vector<float> left(256, 0.5f), right(256, 0.5f);
  float* outputs[] = {left.data(), right.data()};
  // The deprecated call that sets both stores the block size whatever the rate.
  for (std::int32_t opcode : {effSetSampleRate, effSetBlockSizeAndSampleRate}) {
    for (bool suspended : {false, true}) {
      if (suspended) dispatch(effect, effMainsChanged, 0, 0);
      for (float rate : hostile) {
        SCOPED_TRACE(testing::Message() << "opcode " << opcode << " rate " << rate);
        const std::size_t formats = countOpcode(KELO_OP_DSP_SET_EX);
        dispatch(effect, opcode, 0, 512, nullptr, rate);
        EXPECT_EQ(object(effect).getSampleRate(), 48000.0f);
        EXPECT_EQ(countOpcode(KELO_OP_DSP_SET_EX), formats);
        if (opcode == effSetBlockSizeAndSampleRate) {
          EXPECT_EQ(object(effect).getBlockSize(), 512);
        }
      }
    }
    dispatch(effect, effMainsChanged, 0, 1);
    effect->processReplacing(effect, nullptr, outputs, 256);
    EXPECT_EQ(object(effect).getSampleRate(), 48000.0f);
  }
  EXPECT_EQ(dispatch(effect, effSetBlockSizeAndSampleRate, 0, 256, nullptr, 44100.0f), 1);
  EXPECT_EQ(object(effect).getSampleRate(), 44100.0f);
  EXPECT_EQ(object(effect).getBlockSize(), 256);
  dispatch(effect, effSetSampleRate, 0, 0, nullptr, 96000.0f);
  EXPECT_EQ(object(effect).getSampleRate(), 96000.0f);
  close(effect);
  EXPECT_TRUE(engineFindings().empty());
}

// The transport record gives the slice's length in 16 bits: a longer block is bounded, not
// wrapped to a negative length.
TEST_F(RackCoreTest, ABlockLongerThanTheTransportFieldIsBounded) {
  AEffect* effect = startOverRecorder();
  const auto recorded = recorder<const vantor::SyncInfo* (*)()>("keloRecordedSync");
  ASSERT_NE(recorded, nullptr) << "the plug-in bound the recording engine";
  for (std::int32_t frames : {32767, 32768, 40000, 65536 + 100}) {
    SCOPED_TRACE(frames);
    std::vector<float> left(static_cast<std::size_t>(frames)), right(static_cast<std::size_t>(frames));
    float* outputs[] = {left.data(), right.data()};
    effect->processReplacing(effect, nullptr, outputs, frames);
    EXPECT_EQ(recorded()->sliceLength, 32767);
  }
  close(effect);
}

// A VST event's detune is a signed byte (cents, -64 to +63): the engine gets it with its sign.
TEST_F(RackCoreTest, TheEngineGetsAnEventsDetuneWithItsSign) {
  AEffect* effect = startOverRecorder();
  const auto recorded = recorder<const vantor::MIDIEvent* (*)()>("keloRecordedEvent");
  ASSERT_NE(recorded, nullptr);
  std::vector<float> left(64), right(64);
  float* outputs[] = {left.data(), right.data()};
  for (const auto& [detune, cents] : {std::pair{-5, -5.0f}, {-64, -64.0f}, {63, 63.0f}, {0, 0.0f}, {-1, -1.0f}}) {
    SCOPED_TRACE(detune);
    VstMidiEvent event = note(60, 3);
    event.detune = static_cast<char>(detune);
    EventList list({event});
    dispatch(effect, effProcessEvents, 0, 0, list.get());
    effect->processReplacing(effect, nullptr, outputs, 64);
    EXPECT_EQ(recorded()->detune, cents);
    EXPECT_EQ(recorded()->bytes[1], 60);
  }
  close(effect);
}

// This engine hands out its chunk with a refusal too: only the answer can keep it from the
// host, which takes the size and the pointer as the state to save.
TEST_F(RackCoreTest, AChunkTheEngineRefusesReachesTheHostAsNone) {
  AEffect* effect = startOverRecorder();
  const auto answer = recorder<void (*)(std::int32_t)>("keloAnswerChunk");
  ASSERT_NE(answer, nullptr);
  answer(7);
  void* data = reinterpret_cast<void*>(0x1);
  EXPECT_EQ(dispatch(effect, effGetChunk, 0, 0, &data), 0);
  EXPECT_EQ(data, nullptr);
  EXPECT_EQ(pluginLogCount('I', "SamplerVST::getChunk status:7 size:4"), 1u);
  answer(0);
  ASSERT_EQ(dispatch(effect, effGetChunk, 0, 0, &data), 4);
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(std::memcmp(data, "SYNC", 4), 0);
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
