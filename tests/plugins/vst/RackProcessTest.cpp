// Rendering through the plug-in: MIDI in and out, the process call by engine version, the
// offline switch, the host's transport and the engine's call-backs. Built twice: under the
// sanitizers, and under the real-time guard (the render calls run in real-time regions).
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "plugins/vst/SamplerVST.h"
#include "tests/plugins/TransportCases.h"
#include "tests/plugins/vst/RackFixture.h"
#include "tests/support/PreferenceSandbox.h"
#include "tests/support/realtime/RealtimeGuard.h"

namespace kelo::test {
namespace {

class RackProcessTest : public RackTest {
 protected:
  void SetUp() override {
    RackTest::SetUp();
    m_sent.reserve(4096);
    m_sendCalls.reserve(64);
    for (auto& channel : m_channels) channel.assign(1024, 0.5f);
    m_host.setObserver([this](const HostCall& call) {
      if (call.opcode != audioMasterProcessEvents || !call.ptr) return;
      const auto* list = static_cast<const VstEvents*>(call.ptr);
      m_sendCalls.push_back(list->numEvents);
      for (std::int32_t i = 0; i < list->numEvents && m_sent.size() < m_sent.capacity(); ++i)
        m_sent.push_back(*reinterpret_cast<const VstMidiEvent*>(VstEventsAt(*list, i)));
    });
  }

  AEffect* start(const char* version = nullptr) {
    if (version)
      engineControl()(KELO_TEST_SET_VERSION_TEXT, nullptr, const_cast<char*>(version), 0, 0);
    AEffect* effect = make();
    dispatch(effect, effMainsChanged, 0, 1);
    return effect;
  }

  /// processEvents for each list, then one block, inside a real-time region.
  void render(AEffect* effect, std::vector<EventList*> lists, std::int32_t frames = 256) {
    float* outputs[2] = {m_channels[0].data(), m_channels[1].data()};
    RealtimeRegion region;
    for (EventList* list : lists) m_eventsAnswer = dispatch(effect, effProcessEvents, 0, 0, list->get());
    effect->processReplacing(effect, nullptr, outputs, frames);
  }

  std::vector<KeloTraceEntry> processCalls() {
    std::vector<KeloTraceEntry> calls;
    for (const KeloTraceEntry& entry : engineTrace())
      if (entry.opcode == KELO_OP_PROCESS || entry.opcode == KELO_OP_PROCESS_EX)
        calls.push_back(entry);
    return calls;
  }

  std::vector<VstMidiEvent> m_sent;
  std::vector<std::int32_t> m_sendCalls;
  std::vector<float> m_channels[2];
  std::intptr_t m_eventsAnswer = -1;
};

TEST_F(RackProcessTest, TheProcessCallFollowsTheEngineVersion) {
  struct Case {
    const char* version;
    std::int32_t opcode;
    std::size_t forwarded;
  };
  const Case cases[] = {{"1055", KELO_OP_PROCESS, 0}, {"1056", KELO_OP_PROCESS_EX, 3}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.version);
    engineControl()(KELO_TEST_RESET, nullptr, nullptr, 0, 0);
    m_sent.clear();
    AEffect* effect = start(c.version);
    EXPECT_EQ(object(effect).engineVersion(), std::stoi(c.version));
    EventList list({note(60, 0), note(64, 10), note(67, 20)});
    render(effect, {&list});
    const std::vector<KeloTraceEntry> calls = processCalls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].opcode, c.opcode);
    EXPECT_EQ(calls[0].events, 3);
    EXPECT_EQ(calls[0].frames, 256);
    EXPECT_EQ(calls[0].hasSync, 1);
    ASSERT_EQ(m_sent.size(), c.forwarded);
    for (std::size_t i = 0; i < m_sent.size(); ++i) {
      EXPECT_EQ(m_sent[i].type, kVstMidiType);
      EXPECT_EQ(m_sent[i].byteSize, 24);
      EXPECT_EQ(m_sent[i].deltaFrames, static_cast<std::int32_t>(10 * i));
      EXPECT_EQ(m_sent[i].midiData[3], 0);
    }
    dispatch(effect, effClose);
    EXPECT_TRUE(engineFindings().empty());
  }
}

TEST_F(RackProcessTest, EventsOfSeveralListsMergeStablyAndOthersAreSkipped) {
  AEffect* effect = start();
  VstMidiSysexEvent sysex{};
  sysex.type = kVstSysExType;
  sysex.byteSize = sizeof sysex;
  EventList first({note(60, 5), note(61, 0)});
  EventList second({note(62, 5), note(63, 0), note(64, 3)});
  second.pointers()[2] = reinterpret_cast<VstEvent*>(&sysex);
  EventList third({note(65, 1), note(66, 1)});
  third.pointers()[1] = nullptr;
  render(effect, {&first, &second, &third});
  EXPECT_EQ(m_eventsAnswer, 1);
  std::vector<int> keys;
  for (const VstMidiEvent& event : m_sent) keys.push_back(event.midiData[1]);
  EXPECT_EQ(keys, (std::vector<int>{61, 63, 65, 60, 62}));
  EXPECT_EQ(dispatch(effect, effProcessEvents, 0, 0, nullptr), 1);
  dispatch(effect, effClose);
}

// A host's offset outside the block reaches the engine at the block's nearer edge, after the
// events the host placed before it; the engine finds no event outside its block.
TEST_F(RackProcessTest, EventOffsetsOutsideTheBlockAreHeldAtItsEdges) {
  AEffect* effect = start();
  EventList list({note(60, 64), note(61, -5), note(62, INT32_MAX), note(63, 10),
                  note(64, INT32_MIN), note(65, 63), note(66, 0)});
  render(effect, {&list}, 64);
  std::vector<std::pair<int, std::int32_t>> sent;
  for (const VstMidiEvent& event : m_sent) sent.emplace_back(event.midiData[1], event.deltaFrames);
  const std::vector<std::pair<int, std::int32_t>> expected = {
      {64, 0}, {61, 0}, {66, 0}, {63, 10}, {65, 63}, {60, 63}, {62, 63}};
  EXPECT_EQ(sent, expected);
  // A block of no frames has no frame but the first.
  m_sent.clear();
  EventList late({note(67, 5)});
  render(effect, {&late}, 0);
  ASSERT_EQ(m_sent.size(), 1u);
  EXPECT_EQ(m_sent[0].deltaFrames, 0);
  dispatch(effect, effClose);
  EXPECT_TRUE(engineFindings().empty());
}

TEST_F(RackProcessTest, AtMost1024EventsReachTheEngine) {
  AEffect* effect = start();
  std::vector<VstMidiEvent> many;
  for (int i = 0; i < 1025; ++i) many.push_back(note(static_cast<std::uint8_t>(i % 128), 0));
  EventList list(std::move(many));
  render(effect, {&list});
  const std::vector<KeloTraceEntry> calls = processCalls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].events, 1024);
  dispatch(effect, effClose);
  EXPECT_EQ(pluginLogCount('I', "Large number of MIDI Events : 1025"), 1u);
  EXPECT_TRUE(engineFindings().empty());
}

TEST_F(RackProcessTest, AtMost255EventsGoToTheHostInOrder) {
  for (int count : {255, 256}) {
    SCOPED_TRACE(count);
    m_sent.clear();
    m_sendCalls.clear();
    AEffect* effect = start();
    std::vector<VstMidiEvent> many;
    for (int i = 0; i < count; ++i)
      many.push_back(note(static_cast<std::uint8_t>(i & 127), i / 4, static_cast<std::uint8_t>(1 + i / 128)));
    EventList list(std::move(many));
    render(effect, {&list});
    ASSERT_EQ(m_sendCalls, std::vector<std::int32_t>{255});
    for (int i = 0; i < 255; ++i) {
      ASSERT_EQ(m_sent[i].midiData[1], i & 127) << i;
      ASSERT_EQ(m_sent[i].midiData[2], 1 + i / 128) << i;
      ASSERT_EQ(m_sent[i].deltaFrames, i / 4) << i;
    }
    dispatch(effect, effClose);
    EXPECT_EQ(pluginLogCount('W', "256 MIDI events to the host in one block: 1 dropped"),
              count == 256 ? 1u : 0u);
  }
}

TEST_F(RackProcessTest, ParametersFromTheRenderThread) {
  for (const char* product : {"Some Host", "REAPER"}) {
    SCOPED_TRACE(product);
    m_host.setProductString(product);
    AEffect* effect = start();
    float value = 0.0f;
    {
      RealtimeRegion region;
      effect->setParameter(effect, 0, 0.25f);
      value = effect->getParameter(effect, 0);
    }
    EXPECT_FLOAT_EQ(value, 0.25f);
    dispatch(effect, effClose);
  }
}

TEST_F(RackProcessTest, WithoutAnEngineTheOutputsAreSilentAndTheListEmpties) {
  PreferenceSandbox::clear();
  installEngine(m_data.path(), "");
  AEffect* effect = start();
  std::vector<VstMidiEvent> many(4096, note(60, 0));
  EventList list(std::move(many));
  for (int block = 0; block < 3; ++block) {
    std::fill(m_channels[0].begin(), m_channels[0].end(), 0.5f);
    render(effect, {&list});
    EXPECT_EQ(m_eventsAnswer, 1) << block;
    EXPECT_TRUE(std::all_of(m_channels[0].begin(), m_channels[0].begin() + 256,
                            [](float v) { return v == 0.0f; }));
    EXPECT_EQ(m_channels[0][256], 0.5f);  // nothing beyond the block
  }
  EventList one({note(60, 0)});
  {
    RealtimeRegion region;
    dispatch(effect, effProcessEvents, 0, 0, list.get());
    EXPECT_EQ(dispatch(effect, effProcessEvents, 0, 0, one.get()), 0);
  }
  dispatch(effect, effClose);
  EXPECT_EQ(pluginLogCount('E', " processEvents CRASH!"), 1u);
}

TEST_F(RackProcessTest, ASwitchToOfflineRestartsTheEngineBeforeTheBlock) {
  AEffect* effect = start();
  EventList none({});
  render(effect, {&none});
  engineControl()(KELO_TEST_RESET, nullptr, nullptr, 0, 0);
  engineControl()(KELO_TEST_SET_LATENCY, nullptr, nullptr, 32, 0);
  m_host.setProcessLevel(kVstProcessLevelOffline);
  render(effect, {&none});
  render(effect, {&none});
  std::vector<std::int32_t> opcodes = engineOpcodes();
  const std::vector<std::int32_t> expected = {KELO_OP_STOP, KELO_OP_START, KELO_OP_PROCESS_EX,
                                              KELO_OP_PROCESS_EX};
  EXPECT_EQ(opcodes, expected);
  const std::vector<KeloTraceEntry> trace = engineTrace();
  ASSERT_GE(trace.size(), 2u);
  EXPECT_EQ(trace[1].i1, 1);
  EXPECT_EQ(effect->initialDelay, 32);
  dispatch(effect, effClose);
  EXPECT_EQ(pluginLogCount('I', "ProcessReplacing Detected an offline mode change! :1"), 1u);
}

// ---- The host's transport ----

VstTimeInfo timeAt(double ppq, double barStart, std::int32_t flags, std::int32_t num = 4,
                   std::int32_t den = 4) {
  VstTimeInfo time{};
  time.samplePos = 1000.0;
  time.sampleRate = 48000.0;
  time.ppqPos = ppq;
  time.barStartPos = barStart;
  time.tempo = 90.0;
  time.timeSigNumerator = num;
  time.timeSigDenominator = den;
  time.flags = flags;
  return time;
}

TEST(RackTransport, BarStartTempoAndSignature) {
  for (const TransportCase& c : kTransportCases) {
    SCOPED_TRACE(c.what);
    const std::int32_t flags =
        kVstPpqPosValid | kVstTempoValid | kVstTimeSigValid | (c.hostBar ? kVstBarsValid : 0);
    vantor::SyncInfo sync;
    sync.timeSigNumerator = c.priorNumerator;
    sync.timeSigDenominator = c.priorDenominator;
    bool warned = false;
    SamplerVST::fillSyncInfo(
        timeAt(c.ppq, c.hostBarStart, flags, static_cast<std::int32_t>(c.numerator), c.denominator),
        sync, warned, nullptr);
    EXPECT_DOUBLE_EQ(sync.barStartPosition, c.barStart);
    EXPECT_EQ(sync.timeSigNumerator, c.expectedNumerator);
    EXPECT_EQ(sync.timeSigDenominator, c.expectedDenominator);
    EXPECT_EQ(sync.tempo, 90.0);
    // A host bar start that is missing or not taken is told once.
    EXPECT_EQ(warned, !c.hostBar || c.barStart != c.hostBarStart);
    EXPECT_EQ(sync.samplePosition, 1000.0);
    EXPECT_EQ(sync.sampleRate, 48000.0);
  }
}

TEST(RackTransport, ATempoUnderAClearFlagLeavesTheRecordsTempo) {
  vantor::SyncInfo sync;
  bool warned = false;
  SamplerVST::fillSyncInfo(timeAt(1.0, 0.0, kVstPpqPosValid | kVstTimeSigValid | kVstBarsValid),
                           sync, warned, nullptr);
  EXPECT_EQ(sync.tempo, 120.0);
  EXPECT_FALSE(warned);
}

TEST(RackTransport, FieldsLandByNameUnderTheirFlags) {
  VstTimeInfo time = timeAt(2.0, 0.0, kVstPpqPosValid | kVstBarsValid);
  time.nanoSeconds = 5e9;
  time.cycleStartPos = 4.0;
  time.cycleEndPos = 8.0;
  time.smpteOffset = 11;
  time.smpteFrameRate = 3;
  time.samplesToNextClock = 77;
  vantor::SyncInfo sync;
  bool warned = false;
  SamplerVST::fillSyncInfo(time, sync, warned, nullptr);
  EXPECT_EQ(sync.systemTimeNanos, 0.0);
  EXPECT_EQ(sync.loopEndPosition, 0.0);
  EXPECT_EQ(sync.smpteOffset, 0);
  EXPECT_EQ(sync.samplesToNextClock, 0);
  EXPECT_FALSE(sync.playing);

  time.flags |= kVstNanosValid | kVstCyclePosValid | kVstSmpteValid | kVstClockValid |
                kVstTransportPlaying | kVstTransportCycleActive | kVstTransportChanged;
  SamplerVST::fillSyncInfo(time, sync, warned, nullptr);
  EXPECT_EQ(sync.systemTimeNanos, 5e9);
  EXPECT_EQ(sync.loopStartPosition, 4.0);
  EXPECT_EQ(sync.loopEndPosition, 8.0);
  EXPECT_EQ(sync.smpteOffset, 11);
  EXPECT_EQ(sync.smpteFrameRate, 3);
  EXPECT_EQ(sync.samplesToNextClock, 77);
  EXPECT_TRUE(sync.playing);
  EXPECT_TRUE(sync.looping);
  EXPECT_TRUE(sync.transportChanged);
  EXPECT_FALSE(warned);
}

TEST_F(RackProcessTest, TheTransportReachesTheEngineAndItsWarningComesOnceUntilSuspend) {
  m_host.setCanDo("sendVstTimeInfo", 1);
  m_host.setTimeInfo(timeAt(9.5, 0.0, kVstPpqPosValid | kVstTempoValid));
  AEffect* effect = start();
  EventList none({});
  render(effect, {&none});
  render(effect, {&none});
  const auto asked = m_host.calls(audioMasterGetTime);
  ASSERT_EQ(asked.size(), 2u);
  EXPECT_EQ(asked[0].value, 0xffff);
  dispatch(effect, effMainsChanged, 0, 0);
  dispatch(effect, effMainsChanged, 0, 1);
  render(effect, {&none});
  dispatch(effect, effClose);
  EXPECT_EQ(pluginLogCount('E', "kVstBarsValid NOT SET !"), 2u);
}

// ---- The engine's call-backs ----

class RackCallbackTest : public RackProcessTest {
 protected:
  std::int32_t call(std::int32_t op, std::int32_t i1 = 0, std::int32_t i2 = 0, float f = 0.0f,
                    void* p1 = nullptr, void* p2 = nullptr) {
    KeloTestHostCall request{op, i1, i2, 0, f, p1, p2, -1};
    EXPECT_EQ(engineControl()(KELO_TEST_CALL_HOST, object(m_effect).engineInstance(), &request, 0, 0),
              0);
    return request.answer;
  }
  /// The edit calls the host received since the last look: "b3", "a3", "e3".
  std::string edits() {
    std::string out;
    for (const HostCall& c : m_host.calls()) {
      const char* mark = c.opcode == audioMasterBeginEdit ? "b"
                         : c.opcode == audioMasterAutomate ? "a"
                         : c.opcode == audioMasterEndEdit  ? "e"
                                                           : nullptr;
      if (mark != nullptr) out.append(mark).append(std::to_string(c.index)).append(" ");
    }
    m_host.clear();
    return out;
  }
  void SetUp() override {
    RackProcessTest::SetUp();
    m_effect = start();
    m_host.clear();
  }
  void TearDown() override {
    dispatch(m_effect, effClose);
    RackProcessTest::TearDown();
  }
  AEffect* m_effect = nullptr;
};

TEST_F(RackCallbackTest, EachOpcodeLogsAndAnswers) {
  char title[] = "Title";
  char content[] = "Content";
  struct Case {
    std::int32_t op;
    std::int32_t i1;
    void* p1;
    void* p2;
    std::int32_t answer;
    const char* line;  // "" for none
  };
  const Case cases[] = {
      {KELO_HOST_MESSAGE, 0, title, content, 0, "Kelo INFO: Title:Title Content:Content"},
      {KELO_HOST_MESSAGE, 1, title, content, 0, "Kelo WARNING: Title:Title Content:Content"},
      {KELO_HOST_MESSAGE, 2, title, nullptr, 0, "Kelo ERROR: Title:Title Content:(null)"},
      {KELO_HOST_MESSAGE, 3, title, content, 0, ""},
      {KELO_HOST_PROGRESS_OPEN, 7, title, nullptr, 0, "Kelo ProgressDialog: OPEN: Title:Title elements:7"},
      {KELO_HOST_PROGRESS_STEP, 0, nullptr, nullptr, 0, ""},
      {KELO_HOST_PROGRESS_CLOSE, 0, nullptr, nullptr, 0, "Kelo ProgressDialog: CLOSE!"},
      {0x2005, 0, nullptr, nullptr, 2, "ZMO_HostOpcode unknown id:8197"},
      {0x2006, 0, nullptr, nullptr, 2, "ZMO_HostOpcode unknown id:8198"},
  };
  for (const Case& c : cases) {
    const std::size_t before = pluginLog('I').size();
    EXPECT_EQ(call(c.op, c.i1, 0, 0.0f, c.p1, c.p2), c.answer) << c.op;
    const std::vector<std::string> lines = pluginLog('I');
    if (*c.line) {
      ASSERT_EQ(lines.size(), before + 1) << c.op;
      EXPECT_NE(lines.back().find(c.line), std::string::npos) << lines.back();
      EXPECT_EQ(lines.back().rfind("0x", 0), 0u) << "the object's address leads";
    } else {
      EXPECT_EQ(lines.size(), before) << c.op;
    }
  }
}

TEST_F(RackCallbackTest, EditGestures) {
  call(KELO_HOST_EDIT_BEGIN, 0, 1);
  call(KELO_HOST_EDIT_BEGIN, 0, 1);
  EXPECT_EQ(edits(), "b1 ");
  call(KELO_HOST_EDIT_END, 0, 2);
  EXPECT_EQ(edits(), "");
  call(KELO_HOST_PARAMETER_CHANGED, 0, 1, 0.5f);
  EXPECT_EQ(edits(), "a1 ");
  call(KELO_HOST_PARAMETER_CHANGED, 0, 2, 0.5f);
  EXPECT_EQ(edits(), "e1 b2 a2 e2 ");
  call(KELO_HOST_EDIT_END, 0, 1);
  EXPECT_EQ(edits(), "");
  call(KELO_HOST_PARAMETER_CHANGED, 1, 0, 0.5f);
  EXPECT_EQ(edits(), "");
  call(KELO_HOST_PARAMETER_CHANGED, 0, 7, 0.25f);  // beyond the count: automated all the same
  EXPECT_EQ(edits(), "b7 a7 e7 ");
  call(KELO_HOST_EDIT_BEGIN, 0, 0);
  call(KELO_HOST_SLOT_CHANGED, 4);
  EXPECT_EQ(edits(), "b0 e0 b0 a0 e0 b1 a1 e1 b2 a2 e2 ");
  EXPECT_EQ(pluginLogCount('I', "Kelo Slot:4 was changed, need to update display completely"), 1u);
}

TEST_F(RackCallbackTest, LatencyIsReportedOnlyWhenItChanges) {
  EXPECT_EQ(call(KELO_HOST_LATENCY_CHANGED, 64), 0);
  EXPECT_EQ(m_effect->initialDelay, 64);
  m_effect->initialDelay = -1;
  EXPECT_EQ(call(KELO_HOST_LATENCY_CHANGED, 64), 0);
  EXPECT_EQ(m_effect->initialDelay, -1);
  EXPECT_EQ(call(KELO_HOST_LATENCY_CHANGED, 0), 0);
  EXPECT_EQ(m_effect->initialDelay, 0);
}

}  // namespace
}  // namespace kelo::test
