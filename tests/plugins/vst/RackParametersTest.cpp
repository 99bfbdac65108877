// The engine's parameters as a host sees them, with a product block naming every parameter of
// the reference engine (17, index 12 undescribed) and one index beyond, and three programs;
// programs, chunks and the vendor call.
#include <cstring>
#include <string>
#include <vector>

#include "VNL/source/ProductConf.h"
#include "tests/plugins/vst/RackFixture.h"

namespace kelo::test {
namespace {

constexpr std::int32_t kParams = 18;

class RackParametersTest : public RackTest {
 protected:
  void TearDown() override {
    for (AEffect* effect : m_effects) dispatch(effect, effClose);
    EXPECT_TRUE(engineFindings().empty());
    RackTest::TearDown();
  }
  AEffect* started(const char* vendor = "Some Vendor", const char* product = "Some Host") {
    m_host.setVendorString(vendor);
    m_host.setProductString(product);
    AEffect* effect = make();
    m_effects.push_back(effect);
    dispatch(effect, effMainsChanged, 0, 1);
    return effect;
  }
  static std::string text(AEffect* effect, std::int32_t opcode, std::int32_t index) {
    char buffer[64];
    std::memset(buffer, 'x', sizeof buffer);
    dispatch(effect, opcode, index, 0, buffer);
    return buffer;
  }
  static float engineValue(AEffect* effect, std::int32_t index) {
    float value = -1.0f;
    object(effect).engineEntry()(object(effect).engineInstance(), KELO_OP_PARAMETER_GET, &value,
                                 nullptr, nullptr, index, 0.0f, 0, 0);
    return value;
  }
  static void setEngineValue(AEffect* effect, std::int32_t index, float value) {
    object(effect).engineEntry()(object(effect).engineInstance(), KELO_OP_PARAMETER_SET, nullptr,
                                 nullptr, nullptr, index, value, 0, 0);
  }
  static std::size_t sets(std::int32_t index) {
    std::size_t n = 0;
    for (const KeloTraceEntry& entry : engineTrace())
      n += entry.opcode == KELO_OP_PARAMETER_SET && entry.i1 == index;
    return n;
  }
  std::vector<AEffect*> m_effects;
};

// Each parameter set from the host, then read back, named and shown. The host value becomes
// the engine's through the description; read back it is the engine's value made 0..1 again.
struct Row {
  std::int32_t index;
  const char* name;
  float hostValue;
  float engineValue;  // after the set
  const char* display;
  float readBack;
  bool automatable;
};
const Row kRows[] = {
    {0, "Volume", 0.5f, 0.5f, " -6 dB", 0.5f, true},                        // decibels
    {1, "Waveform", 2.0f / 3.0f, 2.0f, "Saw", 2.0f / 3.0f, true},            // list
    {2, "Attack", 0.5f, 1.00025f, "1.000 s", 0.5f, true},                   // format
    {3, "Release", 0.25f, 1.25075f, "1251 ms", 0.25f, true},                // format, factor
    {4, "Polyphony", 0.5f, 17.0f, "17", 16.0f / 31.0f, true},               // integer
    {5, "Pan", 0.25f, 0.25f, " 50% L", 0.25f, true},                        // stereo pan
    {6, "Mute", 1.0f, 1.0f, "On", 1.0f, true},                              // on/off
    {7, "Tune", 0.75f, 50.0f, "+50 cents", 0.75f, true},                    // signed format
    {8, "Velocity depth", 0.5f, 0.5f, "064", 0.5f, true},                   // MIDI 7 bit
    {9, "Bend", 0.75f, 0.5f, "12288", 0.5f, true},                          // MIDI 14 bit
    {10, "Routing", 1.0f, 1.0f, "Spread", 1.0f, true},                      // names
    {11, "Engine", 0.5f, 0.5f, "Kelo reference engine", 0.5f, true},        // fixed text
    {12, "p012", 0.3f, 0.3f, "", 0.3f, false},                              // the hole: raw
    {13, "Hold", 1.0f, 1.0f, "On", 1.0f, true},                             // off at its offset
    {14, "Bright", 0.25f, 0.25f, "Off", 0.25f, true},                       // off below centre
    {15, "Release velocity sensiti", 0.5f, 600.0f, "600", 0.5f, false},     // long label cut
    {16, "p016", 0.5f, 0.5f, "-12 dB", 0.5f, true},                         // no label
    {17, "p017", 0.5f, -1.0f, "", 0.0f, false},                             // beyond the engine
};

TEST_F(RackParametersTest, EveryParameterAsTheHostSeesIt) {
  ASSERT_EQ(conf.numParams, static_cast<std::uint32_t>(kParams));
  AEffect* effect = started();
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.index);
    effect->setParameter(effect, row.index, row.hostValue);
    EXPECT_FLOAT_EQ(engineValue(effect, row.index), row.engineValue);
    EXPECT_FLOAT_EQ(effect->getParameter(effect, row.index), row.readBack);
    EXPECT_EQ(text(effect, effGetParamName, row.index), row.name);
    EXPECT_EQ(text(effect, effGetParamDisplay, row.index), row.display);
    EXPECT_EQ(text(effect, effGetParamLabel, row.index), "");
    EXPECT_EQ(dispatch(effect, effCanBeAutomated, row.index), row.automatable ? 1 : 0);
  }
  // The index beyond the engine was sent and refused.
  EXPECT_EQ(sets(17), 1u);
  EXPECT_GE(pluginLogCount('E', "engine error:1"), 1u);
}

TEST_F(RackParametersTest, IndexesOutsideTheProductAreIgnored) {
  AEffect* effect = started();
  const std::size_t calls = engineTrace().size();
  effect->setParameter(effect, -1, 0.5f);
  effect->setParameter(effect, kParams, 0.5f);
  EXPECT_EQ(engineTrace().size(), calls);
}

TEST_F(RackParametersTest, WithoutAnEngine) {
  engineControl()(KELO_TEST_FAIL_OPCODE, nullptr, nullptr, KELO_OP_INSTANCE_CREATE, 3);
  AEffect* effect = started();
  ASSERT_EQ(object(effect).engineInstance(), nullptr);
  for (std::int32_t index : {0, 7, 12}) {
    effect->setParameter(effect, index, 0.5f);
    EXPECT_EQ(effect->getParameter(effect, index), 0.0f);
    char name[8];
    std::snprintf(name, sizeof name, "p%03d", index);
    EXPECT_EQ(text(effect, effGetParamName, index), name);
    EXPECT_EQ(text(effect, effGetParamDisplay, index), "");
    EXPECT_EQ(dispatch(effect, effCanBeAutomated, index), 1);
  }
  void* data = nullptr;
  EXPECT_EQ(dispatch(effect, effGetChunk, 0, 0, &data), 0);
  EXPECT_EQ(dispatch(effect, effSetChunk, 0, 4, &data), 0);
  std::int32_t voices = -1;
  EXPECT_EQ(dispatch(effect, effVendorSpecific, vstFourCC('K', 'e', 'l', 'o'), 1, &voices), 0);
}

TEST_F(RackParametersTest, LiveDoesNotSendAnUndescribedIndex) {
  struct Case {
    const char* vendor;
    const char* product;
    std::size_t holeSent;
  };
  const Case cases[] = {{"Some Vendor", "Some Host", 1}, {"Ableton", "Live 12", 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.product);
    engineControl()(KELO_TEST_RESET, nullptr, nullptr, 0, 0);
    AEffect* effect = started(c.vendor, c.product);
    effect->setParameter(effect, 12, 0.3f);
    effect->setParameter(effect, 7, 0.75f);
    EXPECT_EQ(sets(12), c.holeSent);
    EXPECT_EQ(sets(7), 1u);
    EXPECT_FLOAT_EQ(engineValue(effect, 7), 50.0f);
  }
}

TEST_F(RackParametersTest, UnderReaperTheHostValueIsCachedAndShownAsTheEngineValue) {
  AEffect* effect = started("Cockos", "REAPER");
  // Before any value: the cache's 0, shown as the engine's value for it.
  EXPECT_EQ(effect->getParameter(effect, 0), 0.0f);
  EXPECT_EQ(text(effect, effGetParamDisplay, 0), "-oo dB");
  EXPECT_EQ(text(effect, effGetParamDisplay, 7), "-100 cents");
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.index);
    effect->setParameter(effect, row.index, row.hostValue);
    EXPECT_EQ(effect->getParameter(effect, row.index), row.hostValue);  // exactly the host's
    EXPECT_EQ(text(effect, effGetParamDisplay, row.index), row.display);
  }
  // The engine changes its slot: the cache takes its values, raw where it describes none.
  setEngineValue(effect, 7, -50.0f);
  setEngineValue(effect, 12, 0.7f);
  KeloTestHostCall slot{KELO_HOST_SLOT_CHANGED, 0, 0, 0, 0.0f, nullptr, nullptr, -1};
  ASSERT_EQ(engineControl()(KELO_TEST_CALL_HOST, object(effect).engineInstance(), &slot, 0, 0), 0);
  EXPECT_FLOAT_EQ(effect->getParameter(effect, 7), 0.25f);
  EXPECT_EQ(text(effect, effGetParamDisplay, 7), "-50 cents");
  EXPECT_FLOAT_EQ(effect->getParameter(effect, 12), 0.7f);
  // The engine's own change of one parameter lands in the cache as well.
  KeloTestHostCall changed{KELO_HOST_PARAMETER_CHANGED, 0, 2, 0, 0.0005f, nullptr, nullptr, -1};
  const ParameterInfo* attack = nullptr;
  object(effect).engineEntry()(object(effect).engineInstance(), KELO_OP_PARAMETER_INFO_GET,
                               &attack, nullptr, nullptr, 2, 0.0f, 0, 0);
  changed.p1 = const_cast<ParameterInfo*>(attack);
  ASSERT_EQ(engineControl()(KELO_TEST_CALL_HOST, object(effect).engineInstance(), &changed, 0, 0), 0);
  EXPECT_EQ(effect->getParameter(effect, 2), 0.0f);
  EXPECT_EQ(text(effect, effGetParamDisplay, 2), "0.001 s");
}

TEST_F(RackParametersTest, ThreePrograms) {
  AEffect* effect = started();
  ASSERT_EQ(effect->numPrograms, 3);
  // Programs 0 to 3 are valid (one more than the count); the dispatcher passes 0 to 2 on.
  struct Case {
    std::int32_t index;
    bool valid;
  };
  const Case cases[] = {{-1, false}, {0, true}, {2, true}, {3, true}, {4, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.index);
    char name[64];
    EXPECT_EQ(dispatch(effect, effGetProgramNameIndexed, c.index, 0, name), c.valid ? 1 : 0);
    if (c.valid) {
      EXPECT_EQ(std::string(name), "empty slot" + std::to_string(c.index));
    }
  }
  dispatch(effect, effSetProgram, 0, 2);
  EXPECT_EQ(dispatch(effect, effGetProgram), 2);
  char longName[] = "A program name of thirty chars";
  dispatch(effect, effSetProgramName, 0, 0, longName);
  EXPECT_EQ(text(effect, effGetProgramName, 0), "A program name of thirty");
  dispatch(effect, effSetProgram, 0, 3);  // beyond the count: not passed on
  EXPECT_EQ(dispatch(effect, effGetProgram), 2);
  object(effect).setProgram(3);
  EXPECT_EQ(dispatch(effect, effGetProgram), 3);
  EXPECT_EQ(text(effect, effGetProgramName, 0), "empty slot3");
  object(effect).setProgram(4);
  EXPECT_EQ(dispatch(effect, effGetProgram), 3);
  char name[64];
  ASSERT_EQ(dispatch(effect, effGetProgramNameIndexed, 2, 0, name), 1);
  EXPECT_STREQ(name, "A program name of thirty");
  // Program names are not part of the state.
  void* data = nullptr;
  EXPECT_EQ(dispatch(effect, effGetChunk, 0, 0, &data), 84);
}

TEST_F(RackParametersTest, ChunksBeforeAndAfterResumeRoundTripThroughAFreshPlugin) {
  // Before any resume: the chunk call initialises first.
  AEffect* first = make();
  m_effects.push_back(first);
  void* data = nullptr;
  EXPECT_EQ(dispatch(first, effGetChunk, 0, 0, &data), 84);
  EXPECT_EQ(pluginLogCount('I', " init() in"), 1u);
  first->setParameter(first, 7, 0.75f);
  first->setParameter(first, 1, 1.0f);
  const std::intptr_t size = dispatch(first, effGetChunk, 0, 0, &data);
  ASSERT_EQ(size, 84);
  const std::vector<unsigned char> state(static_cast<unsigned char*>(data),
                                         static_cast<unsigned char*>(data) + size);
  EXPECT_EQ(pluginLogCount('I', "SamplerVST::getChunk status:0 size:84"), 2u);

  // A fresh plug-in starts from it, then takes a second chunk through the engine.
  AEffect* second = make();
  m_effects.push_back(second);
  std::vector<unsigned char> copy = state;
  EXPECT_EQ(dispatch(second, effSetChunk, 0, size, copy.data()), 0);
  EXPECT_FLOAT_EQ(engineValue(second, 7), 50.0f);
  void* again = nullptr;
  ASSERT_EQ(dispatch(second, effGetChunk, 0, 0, &again), size);
  EXPECT_EQ(std::memcmp(again, state.data(), state.size()), 0);
  dispatch(second, effMainsChanged, 0, 1);
  second->setParameter(second, 7, 0.5f);
  EXPECT_EQ(dispatch(second, effSetChunk, 0, size, copy.data(), 0.0f), 0);
  EXPECT_FLOAT_EQ(engineValue(second, 7), 50.0f);
  copy[20] ^= 0x55;  // the checksum no longer matches: the engine's refusal is the answer
  EXPECT_EQ(dispatch(second, effSetChunk, 1, size, copy.data()), 1);
  EXPECT_EQ(pluginLogCount('I', "SamplerVST::setChunk size:84 preset:0"), 1u);
  EXPECT_EQ(pluginLogCount('I', "SamplerVST::setChunk size:84 preset:1"), 1u);
  EXPECT_EQ(pluginLogCount('I', "SamplerVST::setChunk res:0"), 1u);
  EXPECT_EQ(pluginLogCount('I', "SamplerVST::setChunk res:1"), 1u);
  EXPECT_EQ(countOpcode(KELO_OP_CHUNK_SET), 2u);
}

TEST_F(RackParametersTest, AChunkTheEngineRefusesGivesTheHostNone) {
  AEffect* effect = make();
  m_effects.push_back(effect);
  dispatch(effect, effMainsChanged, 0, 1);
  engineControl()(KELO_TEST_FAIL_OPCODE, nullptr, nullptr, KELO_OP_CHUNK_GET, 7);
  void* data = reinterpret_cast<void*>(0x1);
  EXPECT_EQ(dispatch(effect, effGetChunk, 0, 0, &data), 0);
  EXPECT_EQ(data, nullptr);
  EXPECT_EQ(pluginLogCount('I', "SamplerVST::getChunk status:7 size:0"), 1u);
  EXPECT_EQ(pluginLogCount('E', "engine error:7"), 1u);
  engineControl()(KELO_TEST_FAIL_OPCODE, nullptr, nullptr, KELO_OP_CHUNK_GET, 0);
  EXPECT_EQ(dispatch(effect, effGetChunk, 0, 0, &data), 84);
}

// A host that gives no place for the pointer gets no chunk; the engine is not asked to write
// through null.
TEST_F(RackParametersTest, AChunkGetWithoutAPlaceForThePointerAnswersNone) {
  AEffect* effect = make();
  m_effects.push_back(effect);
  dispatch(effect, effMainsChanged, 0, 1);
  EXPECT_EQ(dispatch(effect, effGetChunk, 0, 0, nullptr), 0);
  EXPECT_EQ(countOpcode(KELO_OP_CHUNK_GET), 0u);
  EXPECT_TRUE(engineFindings().empty());
}

TEST_F(RackParametersTest, VendorSpecificReachesTheEngineOnlyUnderKelo) {
  AEffect* effect = started();
  struct Case {
    std::int32_t index;
    std::intptr_t selector;
    std::intptr_t answer;
    std::size_t engineCalls;
  };
  const Case cases[] = {
      {vstFourCC('K', 'e', 'l', 'o'), 1, 1, 1},  // the engine answers 0
      {vstFourCC('K', 'e', 'l', 'o'), 9, 0, 1},  // the engine refuses
      {vstFourCC('K', 'E', 'L', 'O'), 1, 0, 0},
      {0, 1, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.index);
    const std::size_t before = countOpcode(KELO_OP_VENDOR_SPECIFIC);
    std::int32_t voices = -1;
    EXPECT_EQ(dispatch(effect, effVendorSpecific, c.index, c.selector, &voices, 1.5f), c.answer);
    EXPECT_EQ(countOpcode(KELO_OP_VENDOR_SPECIFIC) - before, c.engineCalls);
    EXPECT_EQ(voices, c.answer == 1 ? 0 : -1);
  }
  EXPECT_EQ(vstFourCC('K', 'e', 'l', 'o'), 0x4B656C6F);
  std::vector<KeloTraceEntry> calls;
  for (const KeloTraceEntry& entry : engineTrace())
    if (entry.opcode == KELO_OP_VENDOR_SPECIFIC) calls.push_back(entry);
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].i1, 1);
  EXPECT_EQ(calls[0].f, 1.5f);
}

}  // namespace
}  // namespace kelo::test
