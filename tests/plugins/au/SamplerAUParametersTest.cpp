// KeloUnit's own properties, its parameters as the engine describes them, and the engine's
// chunk in the saved state, through the test host and the reference engine.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <cstring>

#include "VNL/source/FileUtils.h"
#include "tests/plugins/au/SamplerAUFixture.h"
#include "tests/support/RunProgram.h"

namespace {

using kelo::test::AUTestHost;
using SamplerAUParameters = kelo::test::SamplerAUFixture;

constexpr UInt32 kNamed = kAudioUnitParameterFlag_HasCFNameString | kAudioUnitParameterFlag_CFNameRelease;
constexpr UInt32 kDescribed = kAudioUnitParameterFlag_IsReadable | kAudioUnitParameterFlag_IsWritable |
                              kAudioUnitParameterFlag_IsHighResolution;
const char* const kLongLabel = "Release velocity sensitivity of the sustained voic\xc3\xa9s, in pct";

template <typename T>
OSStatus get(AUTestHost& host, AudioUnitPropertyID id, T& value) {
  UInt32 size = sizeof value;
  return host.getProperty(id, kAudioUnitScope_Global, 0, &value, size);
}

std::string text(AUTestHost& host, AudioUnitPropertyID id, UInt32 room) {
  std::string buffer(room, 'x');
  if (host.getProperty(id, kAudioUnitScope_Global, 0, buffer.data(), room) != noErr) return "(failed)";
  return buffer.c_str();
}

TEST_F(SamplerAUParameters, PropertyTableWithAndWithoutAnEngine) {
  struct Row {
    AudioUnitPropertyID id;
    UInt32 size;  // 0: the value crosses as property-list bytes
    bool writable;
  };
  const Row rows[] = {
      {kAudioUnitProperty_CocoaUI, 0, false},      {kAudioUnitProperty_MIDIOutputCallbackInfo, 0, false},
      {kAudioUnitProperty_MIDIOutputCallback, 16, true}, {64000, 8, false}, {64001, 1024, false},
      {64002, 8, false}, {64003, 8, true}, {64004, 256, false}, {70000, 8, true},
  };
  for (bool engine : {true, false}) {
    SCOPED_TRACE(engine ? "with an engine" : "without an engine");
    TearDown();
    SetUp();
    if (engine) installEngine();
    auto host = openHost();
    ASSERT_EQ(host->initialize(), noErr);
    for (const Row& row : rows) {
      SCOPED_TRACE(row.id);
      UInt32 size = 0;
      bool writable = !row.writable;
      ASSERT_EQ(host->getPropertyInfo(row.id, kAudioUnitScope_Global, 0, size, writable), noErr);
      if (row.size != 0) {
        EXPECT_EQ(size, row.size);
      }
      EXPECT_EQ(writable, row.writable);
    }
    void* entry = nullptr;
    void* instance = nullptr;
    ASSERT_EQ(get(*host, 64000, entry), noErr);
    ASSERT_EQ(get(*host, 64002, instance), noErr);
    EXPECT_EQ(entry != nullptr, engine);
    EXPECT_EQ(instance != nullptr, engine);
    EXPECT_EQ(text(*host, 64001, 1024), (engine ? m_data.path() : "") + "/KeloSetup.xml");
    EXPECT_EQ(text(*host, 64004, 256), PGetCurrentApplicationPath(nullptr));

    std::vector<std::string> strings;
    ASSERT_EQ(host->stringList(kAudioUnitProperty_MIDIOutputCallbackInfo, kAudioUnitScope_Global, 0, strings), noErr);
    EXPECT_EQ(strings, std::vector<std::string>{"MIDI Out"});
    ASSERT_EQ(host->stringList(kAudioUnitProperty_CocoaUI, kAudioUnitScope_Global, 0, strings), noErr);
    ASSERT_EQ(strings.size(), 2u);
    EXPECT_EQ(strings[0].front(), '/') << "the folder three levels above the code";
    EXPECT_EQ(strings[1], "SorvelinKeloDeckKELOCocoaViewFactory");

    std::int64_t data = 0;
    const OSStatus refused = engine ? kAudioUnitErr_InvalidPropertyValue : kAudioUnitErr_Uninitialized;
    EXPECT_EQ(get(*host, 64003, data), refused);
    EXPECT_EQ(host->setProperty(70000, kAudioUnitScope_Global, 0, &data, sizeof data), refused);
  }
}

TEST_F(SamplerAUParameters, VendorPropertiesReachTheEngineWithTheirData) {
  installEngine();
  auto host = openHost();
  ASSERT_EQ(host->initialize(), noErr);
  std::int64_t data = 0;
  EXPECT_EQ(get(*host, 64003, data), kAudioUnitErr_InvalidPropertyValue);
  EXPECT_EQ(host->setProperty(70000, kAudioUnitScope_Global, 0, &data, sizeof data), kAudioUnitErr_InvalidPropertyValue);
  EXPECT_TRUE(logHas('E', "set vendor specific engine error:1"));
  std::vector<std::int32_t> vendor;
  for (const KeloTraceEntry& entry : trace())
    if (entry.opcode == KELO_OP_VENDOR_SPECIFIC) vendor.push_back(entry.i1);
  EXPECT_EQ(vendor, (std::vector<std::int32_t>{64003, 70000}));

  // An engine that takes them answers success.
  host.reset();
  writeEnginePath(SYNC_RECORDER_BUNDLE);
  host = openHost();
  ASSERT_EQ(host->initialize(), noErr);
  EXPECT_EQ(get(*host, 64003, data), noErr);
  EXPECT_EQ(host->setProperty(70000, kAudioUnitScope_Global, 0, &data, sizeof data), noErr);
}

TEST_F(SamplerAUParameters, EveryVendorPropertySetReachesTheEngineAndOnlyOurOwnAreReadHere) {
  installEngine();  // it refuses every vendor identifier: the refusal shows the call reached it
  auto host = openHost();
  ASSERT_EQ(host->initialize(), noErr);
  struct Row {
    AudioUnitPropertyID id;
    bool readHere;  // read by the unit itself, never asking the engine
  };
  const Row rows[] = {{64000, true}, {64001, true}, {64002, true}, {64003, false}, {64004, true}, {70000, false}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.id);
    const std::size_t before = trace().size();
    std::int64_t data = 5;
    EXPECT_EQ(host->setProperty(row.id, kAudioUnitScope_Global, 0, &data, sizeof data),
              kAudioUnitErr_InvalidPropertyValue);
    std::vector<KeloTraceEntry> entries = trace();
    ASSERT_EQ(entries.size(), before + 1);
    EXPECT_EQ(entries.back().opcode, KELO_OP_VENDOR_SPECIFIC);
    EXPECT_EQ(entries.back().i1, static_cast<std::int32_t>(row.id));

    std::string room(1024, '\0');
    UInt32 size = static_cast<UInt32>(room.size());
    EXPECT_EQ(host->getProperty(row.id, kAudioUnitScope_Global, 0, room.data(), size),
              row.readHere ? noErr : kAudioUnitErr_InvalidPropertyValue);
    entries = trace();
    EXPECT_EQ(entries.size(), before + (row.readHere ? 1 : 2));
    if (!row.readHere) {
      EXPECT_EQ(entries.back().opcode, KELO_OP_VENDOR_SPECIFIC);
      EXPECT_EQ(entries.back().i1, static_cast<std::int32_t>(row.id));
    }
  }
}

// A value whose size is not its record's is refused before any of it is used: a host
// callback record cut inside a pointer would otherwise be called by the next render.
TEST_F(SamplerAUParameters, APropertyOfTheWrongSizeIsRefused) {
  installEngine();
  auto host = openHost();
  struct Row {
    AudioUnitPropertyID id;
    AudioUnitScope scope;
    UInt32 size;
  };
  const Row rows[] = {
      {kAudioUnitProperty_HostCallbacks, kAudioUnitScope_Global, sizeof(HostCallbackInfo)},
      {kAudioUnitProperty_MIDIOutputCallback, kAudioUnitScope_Global, sizeof(AUMIDIOutputCallbackStruct)},
      {kAudioUnitProperty_OfflineRender, kAudioUnitScope_Global, sizeof(UInt32)},
      {kAudioUnitProperty_StreamFormat, kAudioUnitScope_Output, sizeof(AudioStreamBasicDescription)},
      {kAudioUnitProperty_SampleRate, kAudioUnitScope_Output, sizeof(Float64)},
      {kAudioUnitProperty_ElementCount, kAudioUnitScope_Output, sizeof(UInt32)},
      {kAudioUnitProperty_MaximumFramesPerSlice, kAudioUnitScope_Global, sizeof(UInt32)},
      {64000, kAudioUnitScope_Global, 8},
      {64003, kAudioUnitScope_Global, 8},
      {70000, kAudioUnitScope_Global, 8},
  };
  // Every pointer the value could hold points at a function that must never run.
  alignas(8) unsigned char value[64];
  for (std::size_t at = 0; at + sizeof(void*) <= sizeof value; at += sizeof(void*)) {
    const auto never = reinterpret_cast<void*>(+[] { std::abort(); });
    std::memcpy(value + at, &never, sizeof never);
  }
  for (bool initialized : {false, true}) {
    if (initialized) {
      ASSERT_EQ(host->initialize(), noErr);
    }
    for (const Row& row : rows) {
      for (UInt32 size : {0u, row.size - 1, row.size + 1, 12u}) {
        if (size == row.size) continue;
        SCOPED_TRACE(std::to_string(row.id) + " of " + std::to_string(size) + " bytes");
        EXPECT_EQ(host->setProperty(row.id, row.scope, 0, value, size), kAudio_ParamError);
      }
    }
  }
  EXPECT_EQ(host->render(64), noErr);
  const std::vector<std::int32_t> calls = opcodes();
  EXPECT_EQ(std::count(calls.begin(), calls.end(), KELO_OP_VENDOR_SPECIFIC), 0);
}

TEST_F(SamplerAUParameters, TheHostNameIsKeptBoundedAndOfflineRestartsTheEngine) {
  installEngine();
  auto host = openHost();
  ASSERT_EQ(host->setHostIdentifier("Studio \xce\xa9mega", 3), noErr);
  EXPECT_EQ(text(*host, 64004, 256), "Studio \xce\xa9mega");
  std::string wide;
  for (int i = 0; i < 150; ++i) wide += "\xc3\xa9";  // 300 bytes
  ASSERT_EQ(host->setHostIdentifier(wide, 3), noErr);
  EXPECT_EQ(text(*host, 64004, 256), wide.substr(0, 254));

  const UInt32 offline = 1;
  ASSERT_EQ(host->setProperty(kAudioUnitProperty_OfflineRender, kAudioUnitScope_Global, 0, &offline, sizeof offline), noErr);
  EXPECT_EQ(opcodes(), std::vector<std::int32_t>{KELO_OP_VERSION_GET}) << "no instance yet";
  ASSERT_EQ(host->initialize(), noErr);
  EXPECT_EQ(trace().back().i1, 1) << "started offline";
  const UInt32 online = 0;
  ASSERT_EQ(host->setProperty(kAudioUnitProperty_OfflineRender, kAudioUnitScope_Global, 0, &online, sizeof online), noErr);
  const std::vector<KeloTraceEntry> entries = trace();
  ASSERT_GE(entries.size(), 2u);
  EXPECT_EQ(entries[entries.size() - 2].opcode, KELO_OP_STOP);
  EXPECT_EQ(entries.back().opcode, KELO_OP_START);
  EXPECT_EQ(entries.back().i1, 0);
  EXPECT_TRUE(findings().empty());
}

TEST_F(SamplerAUParameters, TheEngineDescribesEveryParameterAndPlaceholdersFillTheRest) {
  struct Row {
    const char* name;   // the name string
    const char* field;  // the fixed name field
    UInt32 unit;
    float min, max, def;
    UInt32 flags;
  };
  const Row rows[] = {
      {"Volume", "Volume", kAudioUnitParameterUnit_Generic, 0, 1, 0.5f, kDescribed | kNamed},
      {"Waveform", "Waveform", kAudioUnitParameterUnit_Indexed, 0, 3, 0, kDescribed | kNamed},
      {"Attack", "Attack", kAudioUnitParameterUnit_Generic, 0.0005f, 2, 0.002f, kDescribed | kNamed},
      {"Release", "Release", kAudioUnitParameterUnit_Generic, 0.001f, 5, 0.05f, kDescribed | kNamed},
      {"Polyphony", "Polyphony", kAudioUnitParameterUnit_Indexed, 1, 32, 16, kDescribed | kNamed},
      {"Pan", "Pan", kAudioUnitParameterUnit_Generic, 0, 1, 0.5f, kDescribed | kNamed},
      {"Mute", "Mute", kAudioUnitParameterUnit_Boolean, 0, 1, 0, kDescribed | kNamed},
      {"Tune", "Tune", kAudioUnitParameterUnit_Generic, -100, 100, 0, kDescribed | kNamed},
      {"Velocity depth", "Velocity depth", 0, 0, 1, 1, kDescribed | kNamed},  // value type 4: no unit
      {"Bend", "Bend", 0, -1, 1, 0, kDescribed | kNamed},                      // value type 5: no unit
      {"Routing", "Routing", kAudioUnitParameterUnit_Generic, 0, 1, 0, kDescribed | kNamed},
      {"Engine", "Engine", kAudioUnitParameterUnit_Generic, 0, 1, 0, kDescribed | kNamed},
      {"p012", "p012", kAudioUnitParameterUnit_Generic, 0, 1, 0, kNamed},  // no description
      {"Hold", "Hold", kAudioUnitParameterUnit_Boolean, 0, 1, 0, kDescribed | kNamed},
      {"Bright", "Bright", kAudioUnitParameterUnit_Generic, 0, 1, 0, kDescribed | kNamed},
      // The field stops before the character its 52 bytes cannot hold whole.
      {kLongLabel, "Release velocity sensitivity of the sustained voic", 0, 0, 1200, 0,
       kDescribed | kNamed},
      {"", "", kAudioUnitParameterUnit_Generic, 0, 1, 1, kDescribed},  // no label: no name
      {"p017", "p017", kAudioUnitParameterUnit_Generic, 0, 1, 0, kNamed},  // beyond the engine's
  };
  installEngine();
  auto host = openHost();
  ASSERT_EQ(host->initialize(), noErr);
  for (UInt32 index = 0; index < 18; ++index) {
    const Row& row = rows[index];
    SCOPED_TRACE(index);
    AudioUnitParameterInfo info{};
    std::string name;
    ASSERT_EQ(host->parameterInfo(index, info, name), noErr);
    EXPECT_EQ(name, row.name);
    EXPECT_STREQ(info.name, row.field);
    EXPECT_EQ(info.unit, row.unit);
    EXPECT_EQ(info.minValue, row.min);
    EXPECT_EQ(info.maxValue, row.max);
    EXPECT_EQ(info.defaultValue, row.def);
    EXPECT_EQ(info.flags, row.flags);
  }
  EXPECT_TRUE(logHas('E', "engine error:1")) << "index 17 is not the engine's";
  AudioUnitParameterInfo info{};
  std::string name;
  EXPECT_EQ(host->parameterInfo(18, info, name), kAudioUnitErr_InvalidParameter);
  std::string bytes;
  EXPECT_EQ(host->getBytes(kAudioUnitProperty_ParameterInfo, kAudioUnitScope_Output, 0, bytes),
            kAudioUnitErr_InvalidParameter);

  // Without an instance every parameter is a placeholder.
  host = openHost();
  for (UInt32 index : {0u, 7u, 17u}) {
    ASSERT_EQ(host->parameterInfo(index, info, name), noErr);
    char expected[8];
    std::snprintf(expected, sizeof expected, "p%03u", index);
    EXPECT_EQ(name, expected);
    EXPECT_STREQ(info.name, expected);
    EXPECT_EQ(info.flags, kNamed);
    EXPECT_EQ(info.maxValue, 1.0f);
  }
}

TEST_F(SamplerAUParameters, ValueStringsComeFromTheEnginesList) {
  installEngine();
  auto host = openHost();
  std::vector<std::string> strings;
  const auto valueStrings = [&](UInt32 index) {
    return host->stringList(kAudioUnitProperty_ParameterValueStrings, kAudioUnitScope_Global, index, strings);
  };
  EXPECT_EQ(valueStrings(1), kAudioUnitErr_InvalidProperty) << "no instance";
  ASSERT_EQ(host->initialize(), noErr);
  ASSERT_EQ(valueStrings(1), noErr);
  EXPECT_EQ(strings, (std::vector<std::string>{"Sine", "Triangle", "Saw", "Square"}));
  EXPECT_EQ(valueStrings(0), kAudioUnitErr_InvalidProperty) << "no list";
  EXPECT_EQ(valueStrings(12), kAudioUnitErr_InvalidProperty) << "no description";
  EXPECT_EQ(valueStrings(17), kAudioUnitErr_InvalidProperty) << "the engine refuses the index";
  EXPECT_TRUE(logHas('E', "engine error:1"));
  EXPECT_EQ(valueStrings(18), kAudioUnitErr_InvalidProperty) << "beyond the parameters";
}

TEST_F(SamplerAUParameters, ADescriptionWithoutAnInstanceKeepsTheStoredValuesUntilTheFirstRender) {
  installEngine();
  for (bool describedEarly : {true, false}) {
    SCOPED_TRACE(describedEarly ? "described before Initialize" : "described after");
    auto host = openHost();
    AudioUnitParameterInfo info{};
    std::string name;
    if (describedEarly) {
      ASSERT_EQ(host->parameterInfo(0, info, name), noErr);
    }
    ASSERT_EQ(host->initialize(), noErr);
    if (!describedEarly) {
      ASSERT_EQ(host->parameterInfo(0, info, name), noErr);
    }
    // The stored value is 0.0 (not replayed); the engine's volume is its default 0.5.
    Float32 value = -1.0f;
    ASSERT_EQ(host->getParameter(0, kAudioUnitScope_Global, 0, value), noErr);
    EXPECT_EQ(value, describedEarly ? 0.0f : 0.5f);
    ASSERT_EQ(host->render(64), noErr);
    ASSERT_EQ(host->getParameter(0, kAudioUnitScope_Global, 0, value), noErr);
    EXPECT_EQ(value, 0.5f);
  }
}

std::string chunkOf(AUTestHost& host) {
  KeloOpcodeFunction entry = nullptr;
  void* instance = nullptr;
  if (get(host, 64000, entry) != noErr || get(host, 64002, instance) != noErr || entry == nullptr) return {};
  const std::uint8_t* bytes = nullptr;
  std::int32_t size = 0;
  entry(instance, KELO_OP_CHUNK_GET, &bytes, &size, nullptr, 0, 0.0f, 0, 0);
  return std::string(reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(size));
}

TEST_F(SamplerAUParameters, TheStateCarriesTheEnginesChunkIntoAFreshUnit) {
  installEngine();
  std::string xml;
  std::string chunk;
  {
    auto host = openHost();
    ASSERT_EQ(host->initialize(), noErr);
    ASSERT_EQ(host->setParameter(7, kAudioUnitScope_Global, 0, 42.0f), noErr);
    ASSERT_EQ(host->getState(xml), noErr);
    chunk = chunkOf(*host);
  }
  ASSERT_FALSE(chunk.empty());
  // An independent reader finds the chunk under "KeloData".
  kelo::test::TempDir files;
  ASSERT_TRUE(kelo::test::writeFile(files.file("state.plist"), xml));
  const kelo::test::ProgramRun read = kelo::test::runProgram(
      "xmllint", {"--xpath", "string(/plist/dict/key[.='KeloData']/following-sibling::data[1])", files.file("state.plist")});
  ASSERT_EQ(read.status, 0);
  ASSERT_TRUE(kelo::test::writeFile(files.file("chunk.b64"), read.out));
  const kelo::test::ProgramRun decoded = kelo::test::runProgram("base64", {"-d", "-i", files.file("chunk.b64")});
  ASSERT_EQ(decoded.status, 0);
  EXPECT_EQ(decoded.out, chunk);

  auto fresh = openHost();
  ASSERT_EQ(fresh->initialize(), noErr);
  ASSERT_EQ(fresh->setState(xml), noErr);
  Float32 value = 0.0f;
  ASSERT_EQ(fresh->getParameter(7, kAudioUnitScope_Global, 0, value), noErr);
  EXPECT_EQ(value, 42.0f);
  std::string again;
  ASSERT_EQ(fresh->getState(again), noErr);
  EXPECT_EQ(again, xml) << "byte-exact";
  EXPECT_TRUE(findings().empty());
}

// The engine hands out a chunk with its refusal: the answer decides, not the bytes.
TEST_F(SamplerAUParameters, AChunkTheEngineRefusesIsLeftOutOfTheState) {
  writeDataFolder(m_data.path());
  writeEnginePath(SYNC_RECORDER_BUNDLE);
  const auto answer = reinterpret_cast<void (*)(std::int32_t)>(
      kelo::test::bundleFunction(SYNC_RECORDER_BUNDLE, "keloAnswerChunk"));
  ASSERT_NE(answer, nullptr);
  auto host = openHost();
  ASSERT_EQ(host->initialize(), noErr);
  answer(7);
  std::string xml;
  ASSERT_EQ(host->getState(xml), noErr);
  EXPECT_EQ(xml.find("KeloData"), std::string::npos);
  EXPECT_NE(xml.find("<key>type</key>"), std::string::npos) << "the base's state stays";
  answer(0);
  ASSERT_EQ(host->getState(xml), noErr);
  EXPECT_NE(xml.find("KeloData"), std::string::npos);
}

TEST_F(SamplerAUParameters, AChunkReachesOnlyAnEngineAndOnlyAsData) {
  installEngine();
  std::string xml;
  {
    auto host = openHost();
    ASSERT_EQ(host->initialize(), noErr);
    ASSERT_EQ(host->getState(xml), noErr);
  }
  const std::size_t data = xml.find("<data>");
  ASSERT_NE(data, std::string::npos);
  std::string asText = xml;
  asText.replace(data, xml.find("</data>") + 7 - data, "<string>KELO</string>");
  struct Row {
    const char* what;
    bool engine;
    const std::string& state;
    bool chunkSent;
  };
  const Row rows[] = {
      {"data to an engine", true, xml, true},
      {"a string under KeloData", true, asText, false},
      {"no engine", false, xml, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    TearDown();
    SetUp();
    if (row.engine) installEngine();
    auto host = openHost();
    ASSERT_EQ(host->initialize(), noErr);
    ASSERT_EQ(host->setState(row.state), noErr);
    int sent = 0;
    for (std::int32_t op : opcodes()) sent += op == KELO_OP_CHUNK_SET;
    EXPECT_EQ(sent, row.chunkSent ? 1 : 0);
    std::string saved;
    ASSERT_EQ(host->getState(saved), noErr);
    EXPECT_EQ(saved.find("KeloData") != std::string::npos, row.engine);
  }
}

}  // namespace
