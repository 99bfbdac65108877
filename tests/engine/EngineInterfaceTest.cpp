// The reference engine honours the interface and checks the hosts' obligations.
#include <cmath>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "VNL/source/ParameterInfo.h"
#include "tests/engine/EngineFixture.h"

namespace kelo::test {
namespace {

using EngineInterface = EngineFixture;

bool hasFinding(const std::vector<KeloFinding>& findings, KeloFindingKind kind, int opcode) {
  for (const auto& f : findings) {
    if (f.kind == kind && f.opcode == opcode) return true;
  }
  return false;
}

TEST_F(EngineInterface, AnswersItsVersionOrAChosenText) {
  char buffer[32] = {};
  ASSERT_EQ(call(nullptr, KELO_OP_VERSION_GET, buffer), 0);
  EXPECT_STREQ(buffer, "1056");
  control(KELO_TEST_SET_VERSION_TEXT, nullptr, const_cast<char*>("1025"));
  ASSERT_EQ(call(nullptr, KELO_OP_VERSION_GET, buffer), 0);
  EXPECT_STREQ(buffer, "1025");
}

TEST_F(EngineInterface, AcceptsTheDataFolderOrTheSetupFileAndRefusesWithoutSetup) {
  struct Case {
    std::string path;
    bool created;
  };
  const TempDir empty;
  const Case cases[] = {
      {m_dataPath, true},
      {m_dataPath + "/", true},
      {m_data.file("KeloSetup.xml"), true},
      {empty.path(), false},
      {m_data.file("missing"), false},
      {"", false},
  };
  for (const Case& c : cases) {
    EngineCreateInfo info{0, 2, kKeloHostConstantVST, c.path.c_str()};
    void* instance = reinterpret_cast<void*>(1);
    const int result = call(nullptr, KELO_OP_INSTANCE_CREATE, &info, &instance);
    EXPECT_EQ(result == 0, c.created) << c.path;
    EXPECT_EQ(instance != nullptr, c.created) << c.path;
    if (instance != nullptr) call(instance, KELO_OP_INSTANCE_DESTROY);
  }
  EngineCreateInfo tooWide{0, 33, kKeloHostConstantVST, m_dataPath.c_str()};
  void* instance = nullptr;
  EXPECT_NE(call(nullptr, KELO_OP_INSTANCE_CREATE, &tooWide, &instance), 0);
  EXPECT_EQ(instance, nullptr);
}

TEST_F(EngineInterface, InjectedFailuresAnswerWithoutActing) {
  control(KELO_TEST_FAIL_OPCODE, nullptr, nullptr, KELO_OP_INSTANCE_CREATE, 5);
  EXPECT_EQ(createStarted(), nullptr);
  control(KELO_TEST_FAIL_OPCODE, nullptr, nullptr, KELO_OP_INSTANCE_CREATE, 0);
  void* instance = createStarted();
  ASSERT_NE(instance, nullptr);
  control(KELO_TEST_FAIL_OPCODE, nullptr, nullptr, KELO_OP_CHUNK_GET, 3);
  const std::uint8_t* bytes = nullptr;
  std::int32_t length = 0;
  EXPECT_EQ(call(instance, KELO_OP_CHUNK_GET, &bytes, &length), 3);
  EXPECT_EQ(bytes, nullptr);
  control(KELO_TEST_FAIL_OPCODE, nullptr, nullptr, KELO_OP_CHUNK_GET, 0);
  destroy(instance);
}

TEST_F(EngineInterface, ParametersAreDescribedInPlaceAtStableAddresses) {
  void* instance = createStarted();
  ASSERT_NE(instance, nullptr);
  bool typeSeen[6] = {};
  bool modeSeen[13] = {};
  int described = 0;
  int automatable = 0;
  for (int index = 0; index < 17; ++index) {
    const ParameterInfo* info = nullptr;
    ASSERT_EQ(call(instance, KELO_OP_PARAMETER_INFO_GET, &info, nullptr, nullptr, index), 0);
    const ParameterInfo* again = nullptr;
    call(instance, KELO_OP_PARAMETER_INFO_GET, &again, nullptr, nullptr, index);
    EXPECT_EQ(info, again);
    if (info == nullptr) continue;
    ++described;
    EXPECT_EQ(info->tag, 1956);
    typeSeen[info->valueType] = true;
    modeSeen[info->displayMode] = true;
    automatable += (info->flags & 0x02) != 0;
    float value = -1;
    ASSERT_EQ(call(instance, KELO_OP_PARAMETER_GET, &value, nullptr, nullptr, index), 0);
    EXPECT_EQ(value, info->defaultValue) << index;
    char text[64];
    info->toString(text, value, sizeof text);
  }
  EXPECT_EQ(described, 16);  // one parameter has a value but no description
  EXPECT_EQ(automatable, 15);
  for (bool seen : typeSeen) EXPECT_TRUE(seen);
  for (bool seen : modeSeen) EXPECT_TRUE(seen);
  // The long label is kept whole; the unlabelled parameter is described all the same.
  const ParameterInfo* longLabel = nullptr;
  call(instance, KELO_OP_PARAMETER_INFO_GET, &longLabel, nullptr, nullptr, 15);
  ASSERT_NE(longLabel, nullptr);
  ASSERT_NE(longLabel->label, nullptr);
  EXPECT_EQ(std::strlen(longLabel->label), 61u);  // 60 characters, one of them two bytes
  EXPECT_EQ(longLabel->flags & 0x02, 0);
  const ParameterInfo* unlabelled = nullptr;
  call(instance, KELO_OP_PARAMETER_INFO_GET, &unlabelled, nullptr, nullptr, 16);
  ASSERT_NE(unlabelled, nullptr);
  EXPECT_EQ(unlabelled->label, nullptr);

  const ParameterInfo* none = reinterpret_cast<const ParameterInfo*>(1);
  EXPECT_NE(call(instance, KELO_OP_PARAMETER_INFO_GET, &none, nullptr, nullptr, 99), 0);
  EXPECT_EQ(none, nullptr);
  EXPECT_NE(call(instance, KELO_OP_PARAMETER_SET, nullptr, nullptr, nullptr, 99, 1.0f), 0);
  ASSERT_EQ(call(instance, KELO_OP_PARAMETER_SET, nullptr, nullptr, nullptr, 0, 0.25f), 0);
  float value = 0;
  call(instance, KELO_OP_PARAMETER_GET, &value, nullptr, nullptr, 0);
  EXPECT_EQ(value, 0.25f);
  destroy(instance);
}

TEST_F(EngineInterface, MalformedChunksAreRefusedAndTheStateKept) {
  void* instance = createStarted();
  ASSERT_NE(instance, nullptr);
  const std::vector<std::uint8_t> good = chunk(instance);
  ASSERT_EQ(good.size(), 16u + 4u * 17u);
  ASSERT_EQ(call(instance, KELO_OP_PARAMETER_SET, nullptr, nullptr, nullptr, 0, 0.125f), 0);
  const std::vector<std::uint8_t> changed = chunk(instance);

  auto corrupt = [&](size_t at, std::uint8_t value) {
    std::vector<std::uint8_t> bytes = good;
    bytes[at] = value;
    return bytes;
  };
  auto sealed = [](std::vector<std::uint8_t> bytes) {  // the checksum appended
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::uint8_t b : bytes) {
      crc ^= b;
      for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    crc = ~crc;
    for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<std::uint8_t>(crc >> (8 * i)));
    return bytes;
  };
  auto withValue = [&](int index, float value) {  // a well-formed chunk with a bad value
    std::vector<std::uint8_t> bytes(good.begin(), good.end() - 4);
    std::memcpy(bytes.data() + 12 + 4 * index, &value, 4);
    return sealed(bytes);
  };
  const std::vector<std::uint8_t> cases[] = {
      {},
      std::vector<std::uint8_t>(good.begin(), good.begin() + 15),
      std::vector<std::uint8_t>(good.begin(), good.end() - 1),
      corrupt(0, 'X'),
      corrupt(4, 2),          // a version this engine does not know
      corrupt(8, 0),          // no parameters
      corrupt(8, 200),        // more parameters than the bytes hold
      corrupt(20, 0x55),      // checksum no longer matches
      withValue(0, std::nanf("")),
      withValue(0, 7.0f),     // volume beyond its range
      withValue(1, -1.0f),
  };
  for (const auto& bytes : cases) {
    std::vector<std::uint8_t> copy = bytes;
    EXPECT_NE(call(instance, KELO_OP_CHUNK_SET, copy.empty() ? nullptr : copy.data(), nullptr,
                   nullptr, static_cast<int>(copy.size())),
              0);
    EXPECT_EQ(chunk(instance), changed);
  }
  std::vector<std::uint8_t> copy = withValue(0, 0.75f);
  EXPECT_EQ(call(instance, KELO_OP_CHUNK_SET, copy.data(), nullptr, nullptr,
                 static_cast<int>(copy.size())),
            0);
  // The fifteen values an engine without the last two parameters saved still load.
  std::vector<std::uint8_t> older(good.begin(), good.begin() + 12 + 4 * 15);
  older[8] = 15;
  older = sealed(older);
  EXPECT_EQ(call(instance, KELO_OP_CHUNK_SET, older.data(), nullptr, nullptr,
                 static_cast<int>(older.size())),
            0);
  destroy(instance);
}

TEST_F(EngineInterface, StartReportsLatencyAndMayRepeat) {
  void* instance = createStarted();
  ASSERT_NE(instance, nullptr);
  control(KELO_TEST_SET_LATENCY, nullptr, nullptr, 64);
  EngineStartInfo start;
  ASSERT_EQ(call(instance, KELO_OP_START, &start, nullptr, nullptr, 1), 0);
  unsigned char bytes[16];
  std::memcpy(bytes, &start, sizeof bytes);
  std::int32_t code, latency;
  std::int64_t reserved;
  std::memcpy(&code, bytes, 4);
  std::memcpy(&latency, bytes + 4, 4);
  std::memcpy(&reserved, bytes + 8, 8);
  EXPECT_EQ(code, 2001);
  EXPECT_EQ(latency, 64);
  EXPECT_EQ(reserved, 0);
  ASSERT_EQ(call(instance, KELO_OP_START, nullptr, nullptr, nullptr, 0), 0);

  EngineDSPInfo dsp;
  dsp.numOutputs = 4;
  dsp.sampleRate = 96000;
  dsp.blockSize = 64;
  EXPECT_EQ(call(instance, KELO_OP_DSP_SET_EX, &dsp), 0);
  EXPECT_EQ(control(KELO_TEST_OUTPUT_CHANNELS, instance), 4);
  prepareOutputs(4, 64);
  setEvents({});
  EXPECT_EQ(process(instance, 64), 0);
  for (const auto& channel : m_outputs) EXPECT_EQ(channel[63], 0.0f);
  destroy(instance);
  EXPECT_TRUE(findings().empty());
}

std::vector<KeloTestHostCall> g_hostCalls;

std::int32_t recordingHost(std::int32_t op, void* p1, void* p2, std::int32_t i1, std::int32_t i2,
                           std::int32_t i3, float f, void* user) {
  g_hostCalls.push_back(KeloTestHostCall{op, i1, i2, i3, f, p1, p2, 0});
  *static_cast<int*>(user) += 1;
  return op == KELO_HOST_EDIT_BEGIN || op < 0x1000 || op == 0x2005 ? 2 : 0;
}

TEST_F(EngineInterface, CallsTheRegisteredHostBackWithEveryOpcode) {
  void* instance = createStarted();
  ASSERT_NE(instance, nullptr);
  int user = 0;
  KeloTestHostCall message{KELO_HOST_MESSAGE, 2, 0, 0, 0.0f, const_cast<char*>("title"),
                           const_cast<char*>("text"), -1};
  EXPECT_EQ(control(KELO_TEST_CALL_HOST, instance, &message), -1);  // nothing registered

  // Registered again at every Initialize by the Audio Unit: accepted, the last one counts.
  ASSERT_EQ(call(instance, KELO_OP_HOST_CALLBACK_SET, reinterpret_cast<void*>(recordingHost),
                 &user, nullptr, kKeloHostCapabilitiesAudioUnit),
            0);
  ASSERT_EQ(call(instance, KELO_OP_HOST_CALLBACK_SET, reinterpret_cast<void*>(recordingHost),
                 &user, nullptr, kKeloHostCapabilitiesAudioUnit),
            0);
  g_hostCalls.clear();
  const std::int32_t ops[] = {KELO_HOST_MESSAGE, KELO_HOST_PROGRESS_OPEN, KELO_HOST_PROGRESS_STEP,
                              KELO_HOST_PROGRESS_CLOSE, KELO_HOST_SLOT_CHANGED,
                              KELO_HOST_PARAMETER_CHANGED, KELO_HOST_LATENCY_CHANGED,
                              KELO_HOST_EDIT_BEGIN, KELO_HOST_EDIT_END, 0x2005};
  for (std::int32_t op : ops) {
    KeloTestHostCall c = message;
    c.op = op;
    c.i2 = 7;
    c.f = 0.5f;
    ASSERT_EQ(control(KELO_TEST_CALL_HOST, instance, &c), 0);
    EXPECT_EQ(c.answer, op == KELO_HOST_EDIT_BEGIN || op == 0x2005 ? 2 : 0) << op;
  }
  ASSERT_EQ(g_hostCalls.size(), std::size(ops));
  EXPECT_EQ(user, static_cast<int>(std::size(ops)));
  EXPECT_STREQ(static_cast<const char*>(g_hostCalls[0].p1), "title");
  EXPECT_EQ(g_hostCalls[5].i2, 7);
  EXPECT_EQ(g_hostCalls[5].f, 0.5f);

  int other = 0;
  EXPECT_NE(call(instance, KELO_OP_HOST_CALLBACK_CLEAR, reinterpret_cast<void*>(recordingHost),
                 &other),
            0);
  EXPECT_TRUE(hasFinding(findings(), KELO_FINDING_CALLBACK_MISMATCH, KELO_OP_HOST_CALLBACK_CLEAR));
  EXPECT_EQ(call(instance, KELO_OP_HOST_CALLBACK_CLEAR, reinterpret_cast<void*>(recordingHost),
                 &user),
            0);
  EXPECT_EQ(control(KELO_TEST_CALL_HOST, instance, &message), -1);
  destroy(instance);
}

TEST_F(EngineInterface, FindsBrokenHostObligations) {
  struct Case {
    const char* what;
    KeloFindingKind kind;
    int opcode;
    void (*run)(EngineInterface&, void* instance, void* editor);
  };
  const Case cases[] = {
      {"version with a handle", KELO_FINDING_WRONG_HANDLE_KIND, KELO_OP_VERSION_GET,
       [](EngineInterface& t, void* instance, void*) {
         char buffer[32];
         EXPECT_NE(t.call(instance, KELO_OP_VERSION_GET, buffer), 0);
       }},
      {"editor call with the instance", KELO_FINDING_WRONG_HANDLE_KIND, KELO_OP_EDITOR_IDLE,
       [](EngineInterface& t, void* instance, void*) {
         EXPECT_NE(t.call(instance, KELO_OP_EDITOR_IDLE), 0);
       }},
      {"instance call with the editor", KELO_FINDING_WRONG_HANDLE_KIND, KELO_OP_PARAMETER_SET,
       [](EngineInterface& t, void*, void* editor) {
         EXPECT_NE(t.call(editor, KELO_OP_PARAMETER_SET, nullptr, nullptr, nullptr, 0, 1.0f), 0);
       }},
      {"instance call with a stale handle", KELO_FINDING_WRONG_HANDLE_KIND, KELO_OP_STOP,
       [](EngineInterface& t, void*, void*) {
         int stale = 0;
         EXPECT_NE(t.call(&stale, KELO_OP_STOP), 0);
       }},
      {"unsorted events", KELO_FINDING_EVENTS_UNSORTED, KELO_OP_PROCESS,
       [](EngineInterface& t, void* instance, void*) {
         t.setEvents({midiEvent(0x90, 60, 90, 30), midiEvent(0x80, 60, 0, 10)});
         t.process(instance, 64);
       }},
      {"event beyond the block", KELO_FINDING_EVENT_OUTSIDE_BLOCK, KELO_OP_PROCESS,
       [](EngineInterface& t, void* instance, void*) {
         t.setEvents({midiEvent(0x90, 60, 90, 64)});
         t.process(instance, 64);
       }},
      {"too many events", KELO_FINDING_TOO_MANY_EVENTS, KELO_OP_PROCESS,
       [](EngineInterface& t, void* instance, void*) {
         t.setEvents({});
         t.m_block.numEvents = 1025;
         t.process(instance, 64);
       }},
      {"block beyond the format", KELO_FINDING_BLOCK_TOO_LARGE, KELO_OP_PROCESS,
       [](EngineInterface& t, void* instance, void*) {
         t.prepareOutputs(2, 1024);
         t.setEvents({});
         t.process(instance, 1024);
       }},
      {"process while stopped", KELO_FINDING_NOT_STARTED, KELO_OP_PROCESS,
       [](EngineInterface& t, void* instance, void*) {
         t.call(instance, KELO_OP_STOP);
         t.setEvents({});
         EXPECT_NE(t.process(instance, 64), 0);
         for (const auto& channel : t.m_outputs) EXPECT_EQ(channel[0], 0.0f);
       }},
      {"state call from another thread", KELO_FINDING_WRONG_THREAD, KELO_OP_CHUNK_GET,
       [](EngineInterface& t, void* instance, void*) {
         std::thread([&] {
           const std::uint8_t* bytes;
           std::int32_t length;
           t.call(instance, KELO_OP_CHUNK_GET, &bytes, &length);
         }).join();
       }},
  };
  for (const Case& c : cases) {
    control(KELO_TEST_RESET);
    void* instance = createStarted();
    ASSERT_NE(instance, nullptr);
    void* editor = nullptr;
    ASSERT_EQ(call(nullptr, KELO_OP_EDITOR_CREATE, const_cast<char*>("x"), &editor, instance), 0);
    prepareOutputs(2, 64);
    c.run(*this, instance, editor);
    EXPECT_TRUE(hasFinding(findings(), c.kind, c.opcode)) << c.what;
    call(editor, KELO_OP_EDITOR_DESTROY);
    destroy(instance);
  }

  // Before any format.
  control(KELO_TEST_RESET);
  EngineCreateInfo info{0, 2, kKeloHostConstantAudioUnit, m_dataPath.c_str()};
  void* instance = nullptr;
  ASSERT_EQ(call(nullptr, KELO_OP_INSTANCE_CREATE, &info, &instance), 0);
  call(instance, KELO_OP_START);
  prepareOutputs(2, 64);
  setEvents({});
  EXPECT_NE(process(instance, 64), 0);
  EXPECT_TRUE(hasFinding(findings(), KELO_FINDING_NO_FORMAT, KELO_OP_PROCESS));
  destroy(instance);
}

TEST_F(EngineInterface, AcceptsTheOrdersTheHostsUse) {
  // VST: the editor exists before any instance, is sized, idled and drawn before it is opened
  // and attached, and is destroyed without a detach.
  void* editor = nullptr;
  const std::string setup = m_data.file("KeloSetup.xml");
  ASSERT_EQ(call(nullptr, KELO_OP_EDITOR_CREATE, const_cast<char*>(setup.c_str()), &editor,
                 nullptr, 0, 0.0f, 0),
            0);
  ASSERT_NE(editor, nullptr);
  std::int32_t height = 0, width = 0;
  EXPECT_EQ(call(editor, KELO_OP_EDITOR_SIZE_GET, &height, &width), 0);
  EXPECT_EQ(call(editor, KELO_OP_EDITOR_IDLE), 0);
  EXPECT_EQ(call(editor, KELO_OP_EDITOR_DRAW, nullptr, nullptr, nullptr, 0, 0.0f, 7, 0), 0);
  EXPECT_EQ(trace().back().i2, 7);

  EngineCreateInfo info{0, 2, kKeloHostConstantVST, setup.c_str()};
  void* instance = nullptr;
  ASSERT_EQ(call(nullptr, KELO_OP_INSTANCE_CREATE, &info, &instance, nullptr, 0), 0);
  EngineDSPInfo dsp;
  dsp.numOutputs = 2;
  dsp.sampleRate = 44100;
  dsp.blockSize = 256;
  EXPECT_EQ(call(instance, KELO_OP_DSP_SET_EX, &dsp), 0);
  int user = 0;
  EXPECT_EQ(call(instance, KELO_OP_HOST_CALLBACK_SET, reinterpret_cast<void*>(recordingHost),
                 &user, nullptr, kKeloHostCapabilitiesVST),
            0);
  EngineStartInfo start;
  EXPECT_EQ(call(instance, KELO_OP_START, &start, nullptr, nullptr, 0), 0);
  EXPECT_EQ(call(instance, KELO_OP_START, &start, nullptr, nullptr, 1), 0);  // offline switch
  // May fail without a display; the trace keeps every integer and the float.
  call(editor, KELO_OP_EDITOR_OPEN, reinterpret_cast<void*>(0x1234), nullptr, nullptr, 1, 2.0f, 0, 3);
  const KeloTraceEntry open = trace().back();
  EXPECT_EQ(open.opcode, KELO_OP_EDITOR_OPEN);
  EXPECT_EQ(open.i1, 1);
  EXPECT_EQ(open.f, 2.0f);
  EXPECT_EQ(open.i3, 3);
  EXPECT_EQ(call(instance, KELO_OP_EDITOR_ATTACH, editor), 0);
  EXPECT_EQ(call(editor, KELO_OP_EDITOR_DESTROY), 0);
  EXPECT_EQ(call(instance, KELO_OP_STOP), 0);
  EXPECT_EQ(call(instance, KELO_OP_HOST_CALLBACK_CLEAR, reinterpret_cast<void*>(recordingHost),
                 &user),
            0);
  EXPECT_EQ(call(instance, KELO_OP_INSTANCE_DESTROY), 0);
  EXPECT_TRUE(findings().empty());

  // The Audio Unit: format, callback, start at every Initialize, without a stop between two.
  EngineCreateInfo unit{0, 2, kKeloHostConstantAudioUnit, m_dataPath.c_str()};
  ASSERT_EQ(call(nullptr, KELO_OP_INSTANCE_CREATE, &unit, &instance), 0);
  for (int initialize = 0; initialize < 2; ++initialize) {
    EXPECT_EQ(call(instance, KELO_OP_DSP_SET, nullptr, nullptr, nullptr, 44100, 0.0f, 512, 0), 0);
    EXPECT_EQ(call(instance, KELO_OP_HOST_CALLBACK_SET, reinterpret_cast<void*>(recordingHost),
                   &user, nullptr, kKeloHostCapabilitiesAudioUnit),
              0);
    EXPECT_EQ(call(instance, KELO_OP_START, nullptr, nullptr, nullptr, 0), 0);
  }
  EXPECT_EQ(call(instance, KELO_OP_HOST_CALLBACK_CLEAR, reinterpret_cast<void*>(recordingHost),
                 &user),
            0);
  EXPECT_EQ(call(instance, KELO_OP_INSTANCE_DESTROY), 0);
  EXPECT_TRUE(findings().empty());

  // The trace saw each call with its handle kind and thread.
  const auto entries = trace();
  ASSERT_FALSE(entries.empty());
  EXPECT_EQ(entries.front().opcode, KELO_OP_EDITOR_CREATE);
  EXPECT_EQ(entries.front().handleKind, KELO_HANDLE_NULL);
  EXPECT_EQ(entries[1].handleKind, KELO_HANDLE_EDITOR);
  EXPECT_EQ(entries.back().opcode, KELO_OP_INSTANCE_DESTROY);
  EXPECT_EQ(entries.back().handleKind, KELO_HANDLE_INSTANCE);
  EXPECT_EQ(entries.back().thread, static_cast<std::uint64_t>(pthread_self()));
}

}  // namespace
}  // namespace kelo::test
