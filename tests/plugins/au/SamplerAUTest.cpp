#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "tests/plugins/TransportCases.h"
#include "tests/plugins/au/SamplerAUFixture.h"

namespace {

using kelo::test::allZero;
using kelo::test::anyNonZero;
using kelo::test::AUTestHost;
using SamplerAUTest = kelo::test::SamplerAUFixture;

struct Received {
  std::vector<std::vector<std::uint8_t>> packets;
  std::vector<MIDITimeStamp> times;
};

void onMIDIOutput(void* user, const AudioTimeStamp*, UInt32 output, const MIDIPacketList* list) {
  auto* received = static_cast<Received*>(user);
  ASSERT_EQ(output, 0u);
  ASSERT_EQ(list->numPackets, 1u) << "one event per packet list";
  const MIDIPacket& packet = list->packet[0];
  received->packets.emplace_back(packet.data, packet.data + packet.length);
  const MIDITimeStamp time = packet.timeStamp;  // a packed field: copied before binding a reference
  received->times.push_back(time);
}

TEST_F(SamplerAUTest, WithoutAnEngineItInitialisesTakesMidiAndRendersSilence) {
  const std::string longFolder = "/" + std::string(511, 'd');  // 512 bytes: no room for the terminator
  struct Row {
    const char* what;
    std::function<void(SamplerAUTest&)> install;
    const char* line;
    const char* alert;
  };
  const Row rows[] = {
      {"no base_dir", [](SamplerAUTest& t) { t.writeEnginePath(KELO_ENGINE_BUNDLE); },
       "Can't get base_dir from configuration", "Cannot find data installation, please re-install"},
      {"base_dir of 512 bytes",
       [&](SamplerAUTest& t) {
         t.writeDataFolder(longFolder);
         t.writeEnginePath(KELO_ENGINE_BUNDLE);
       },
       "Can't get base_dir from configuration", "Cannot find data installation, please re-install"},
      {"no path", [](SamplerAUTest& t) { t.writeDataFolder(t.m_data.path()); },
       "Can't get path from configuration", "Cannot find engine installation, please re-install"},
      {"no bundle",
       [](SamplerAUTest& t) {
         t.writeDataFolder(t.m_data.path());
         t.writeEnginePath(t.m_data.file("Missing.bundle"));
       },
       "Can't load engine bundle from : ", "Cannot find engine file, please re-install"},
      {"no keloOpcode",
       [](SamplerAUTest& t) {
         t.writeDataFolder(t.m_data.path());
         t.writeEnginePath(KELO_UNIT_BUNDLE);  // a bundle, but not an engine
       },
       "CFBundleGetFunctionPointerForName failed for keloOpcode", "Cannot connect to engine, please re-install"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    TearDown();
    SetUp();
    row.install(*this);
    const std::size_t before = m_alerts.shown().size();
    {
      auto host = openHost();
      ASSERT_EQ(m_alerts.shown().size(), before + 1);
      EXPECT_EQ(m_alerts.shown().back().title, "Sorvelin KELO Player");
      EXPECT_EQ(m_alerts.shown().back().text, row.alert);
      ASSERT_EQ(host->initialize(), noErr);
      EXPECT_EQ(host->midi(0x90, 60, 100), noErr);
      ASSERT_EQ(host->render(256), noErr);
      EXPECT_TRUE(allZero(host->output(0, 0)));
      EXPECT_TRUE(allZero(host->output(0, 1)));
      EXPECT_EQ(host->reset(), noErr);
      ASSERT_EQ(host->render(256), noErr);
      EXPECT_TRUE(allZero(host->output(0, 0)));
    }
    EXPECT_TRUE(logHas('E', row.line)) << log();
    EXPECT_TRUE(opcodes().empty());
  }
}

TEST_F(SamplerAUTest, DrivesTheEngineThroughItsLifeAndLeavesNoFindings) {
  installEngine();
  std::vector<std::int32_t> expected;
  {
    auto host = openHost();
    EXPECT_TRUE(m_alerts.shown().empty());
    EXPECT_TRUE(logHas('I', "fetched KeloVersion:1056"));
    ASSERT_EQ(host->setParameter(1, kAudioUnitScope_Global, 0, 0.5f), noErr);
    ASSERT_EQ(host->setParameter(2, kAudioUnitScope_Global, 0, std::nanf("")), noErr);
    ASSERT_EQ(host->initialize(), noErr);
    expected = {KELO_OP_VERSION_GET, KELO_OP_INSTANCE_CREATE, KELO_OP_DSP_SET, KELO_OP_HOST_CALLBACK_SET,
                KELO_OP_START, KELO_OP_PARAMETER_SET, KELO_OP_PARAMETER_SET};
    EXPECT_EQ(opcodes(), expected);
    const std::vector<KeloTraceEntry> first = trace();
    ASSERT_EQ(first.size(), expected.size());
    EXPECT_EQ(first[2].i1, 48000);
    EXPECT_EQ(first[3].i1, kKeloHostCapabilitiesAudioUnit);
    EXPECT_EQ(first[5].i1, 1);
    EXPECT_EQ(first[6].i1, 2) << "a NaN counts as a value to replay";

    ASSERT_EQ(host->midi(0x90, 69, 100, 10), noErr);
    ASSERT_EQ(host->render(512), noErr);
    EXPECT_TRUE(anyNonZero(host->output(0, 0)));
    expected.push_back(KELO_OP_PROCESS_EX);
    EXPECT_EQ(trace().back().events, 1);

    // A later Initialize only sets the format and restarts.
    ASSERT_EQ(host->uninitialize(), noErr);
    ASSERT_EQ(host->initialize(), noErr);
    for (auto op : {KELO_OP_STOP, KELO_OP_DSP_SET, KELO_OP_HOST_CALLBACK_SET, KELO_OP_START, KELO_OP_PARAMETER_SET,
                    KELO_OP_PARAMETER_SET})
      expected.push_back(op);
    // A rate change is announced and restarts the engine at the new rate.
    ASSERT_EQ(host->listen(kAudioUnitProperty_StreamFormat), noErr);
    ASSERT_EQ(host->setOutputFormat(0, 2, 44100.0), noErr);
    ASSERT_EQ(host->notifications().size(), 1u);
    EXPECT_EQ(host->notifications()[0].scope, kAudioUnitScope_Output);
    for (auto op : {KELO_OP_STOP, KELO_OP_DSP_SET, KELO_OP_START}) expected.push_back(op);
    EXPECT_EQ(trace().back().opcode, KELO_OP_START);
    EXPECT_EQ(trace()[trace().size() - 2].i1, 44100);
    // Reset restarts and queues 64 controller events for the next slice.
    ASSERT_EQ(host->reset(), noErr);
    for (auto op : {KELO_OP_STOP, KELO_OP_START}) expected.push_back(op);
    ASSERT_EQ(host->render(128), noErr);
    expected.push_back(KELO_OP_PROCESS_EX);
    EXPECT_EQ(trace().back().events, 64);
    EXPECT_EQ(opcodes(), expected);
  }
  for (auto op : {KELO_OP_STOP, KELO_OP_HOST_CALLBACK_CLEAR, KELO_OP_INSTANCE_DESTROY}) expected.push_back(op);
  EXPECT_EQ(opcodes(), expected);
  EXPECT_TRUE(findings().empty());
}

// A rate that is not finite or lies outside what the engine takes is refused, before and after
// Initialize, through the stream format and the rate property alike: the unit keeps its rate.
TEST_F(SamplerAUTest, AHostileSampleRateIsRefusedAndTheOldRateStays) {
  installEngine();
  auto host = openHost();
  const Float64 hostile[] = {std::numeric_limits<Float64>::infinity(), 1e45, std::numeric_limits<Float64>::quiet_NaN(),
                             -48000.0, 0.5, 3e9};
  const auto outputRate = [&] {
    AudioStreamBasicDescription format{};
    UInt32 size = sizeof format;
    EXPECT_EQ(host->getProperty(kAudioUnitProperty_StreamFormat, kAudioUnitScope_Output, 0, &format, size), noErr);
    return format.mSampleRate;
  };
  for (bool initialized : {false, true}) {
    if (initialized) {
      ASSERT_EQ(host->initialize(), noErr);
    }
    for (Float64 rate : hostile) {
      SCOPED_TRACE(std::to_string(rate) + (initialized ? " initialised" : ""));
      const std::size_t calls = trace().size();
      EXPECT_NE(host->setOutputFormat(0, 2, rate), noErr);
      EXPECT_NE(host->setProperty(kAudioUnitProperty_SampleRate, kAudioUnitScope_Output, 0, &rate, sizeof rate), noErr);
      EXPECT_EQ(outputRate(), 48000.0);
      EXPECT_EQ(trace().size(), calls);
    }
  }
  ASSERT_EQ(host->uninitialize(), noErr);
  ASSERT_EQ(host->initialize(), noErr);
  EXPECT_EQ(trace().back().opcode, KELO_OP_START);
  ASSERT_EQ(host->midi(0x90, 69, 100), noErr);
  ASSERT_EQ(host->render(256), noErr);
  EXPECT_TRUE(anyNonZero(host->output(0, 0)));
  for (const KeloTraceEntry& entry : trace()) {
    if (entry.opcode == KELO_OP_DSP_SET) {
      EXPECT_EQ(entry.i1, 48000);
    }
  }
  EXPECT_TRUE(findings().empty());
}

TEST_F(SamplerAUTest, AnEngineThatCreatesNoInstanceGetsNoCallsWithANullHandle) {
  installEngine();
  control(KELO_TEST_FAIL_OPCODE, nullptr, nullptr, KELO_OP_INSTANCE_CREATE, 1);
  {
    auto host = openHost();
    ASSERT_EQ(host->initialize(), noErr);
    ASSERT_EQ(host->midi(0x90, 69, 100), noErr);
    ASSERT_EQ(host->render(256), noErr);
    EXPECT_TRUE(allZero(host->output(0, 0)));
    ASSERT_EQ(host->reset(), noErr);
    ASSERT_EQ(host->initialize(), noErr);
  }
  EXPECT_EQ(opcodes(), (std::vector<std::int32_t>{KELO_OP_VERSION_GET, KELO_OP_INSTANCE_CREATE}));
  EXPECT_TRUE(findings().empty());
}

// The editor view lets go of the engine instance when the unit announces 64003, so the
// announcement comes while the instance still lives.
std::vector<std::int32_t>* g_opcodesAtAnnouncement = nullptr;
kelo::test::SamplerAUFixture* g_fixture = nullptr;

void onInstanceGoing(void*, AudioComponentInstance, AudioUnitPropertyID id, AudioUnitScope scope,
                     AudioUnitElement element) {
  if (id == 64003 && scope == kAudioUnitScope_Global && element == 0) *g_opcodesAtAnnouncement = g_fixture->opcodes();
}

TEST_F(SamplerAUTest, DestructionAnnouncesTheInstanceGoingBeforeDestroyingIt) {
  installEngine();
  std::vector<std::int32_t> atAnnouncement;
  g_opcodesAtAnnouncement = &atAnnouncement;
  g_fixture = this;
  {
    auto host = openHost();
    ASSERT_EQ(host->addListener(64003, &onInstanceGoing, nullptr), noErr);
    ASSERT_EQ(host->initialize(), noErr);
  }
  ASSERT_FALSE(atAnnouncement.empty());
  EXPECT_EQ(atAnnouncement.back(), KELO_OP_STOP) << "the clean-up before destruction";
  EXPECT_EQ(opcodes().back(), KELO_OP_INSTANCE_DESTROY);
  EXPECT_TRUE(findings().empty());
}

TEST_F(SamplerAUTest, ChannelConfigurations) {
  installEngine();
  struct Row {
    UInt32 buses, channels;
    OSStatus result;
    const char* line;  // an "I:" line expected, or null
  };
  const Row rows[] = {
      {1, 2, noErr, nullptr},
      {1, 3, noErr, "using extra buffer"},
      {3, 2, noErr, nullptr},
      {16, 2, noErr, nullptr},
      {11, 3, kAudioUnitErr_FormatNotSupported, nullptr},  // 33
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(::testing::Message() << row.buses << " x " << row.channels);
    control(KELO_TEST_RESET);
    auto host = openHost(row.buses, row.channels);
    ASSERT_EQ(host->initialize(), row.result);
    if (row.result != noErr) {
      EXPECT_EQ(host->render(64), kAudioUnitErr_Uninitialized);
      continue;
    }
    if (row.line != nullptr) {
      EXPECT_TRUE(logHas('I', row.line));
    }
    ASSERT_EQ(host->midi(0x90, 69, 100), noErr);
    ASSERT_EQ(host->render(256), noErr);
    EXPECT_TRUE(anyNonZero(host->output(0, 0)));
    for (UInt32 bus = 0; bus < row.buses; ++bus)
      for (UInt32 channel = 0; channel < row.channels; ++channel)
        for (float sample : host->output(bus, channel)) ASSERT_FALSE(std::isnan(sample)) << bus << "/" << channel;
  }
  EXPECT_TRUE(findings().empty());
}

TEST_F(SamplerAUTest, AnOddOutputCountGivesTheEngineTheScratchBufferAsItsLastOutput) {
  writeDataFolder(m_data.path());
  writeEnginePath(SYNC_RECORDER_BUNDLE);
  const auto recorded = reinterpret_cast<std::int64_t (*)(float**)>(
      kelo::test::bundleFunction(SYNC_RECORDER_BUNDLE, "keloRecordedOutputs"));
  ASSERT_NE(recorded, nullptr);
  auto host = openHost(1, 3);
  ASSERT_EQ(host->initialize(), noErr);
  ASSERT_EQ(host->render(64), noErr);
  float* outputs[32] = {};
  ASSERT_EQ(recorded(outputs), 4);
  for (UInt32 channel = 0; channel < 3; ++channel)
    EXPECT_EQ(outputs[channel], host->output(0, channel).data()) << "the host's own buffer";
  EXPECT_NE(outputs[3], nullptr);
  for (UInt32 channel = 0; channel < 3; ++channel) EXPECT_NE(outputs[3], host->output(0, channel).data());
  EXPECT_TRUE(logHas('I', "using extra buffer"));
}

TEST_F(SamplerAUTest, ResetQueuesTheFourPedalControllersOffOnEveryChannel) {
  installEngine();
  auto host = openHost();
  Received received;
  ASSERT_EQ(host->setMIDIOutput(&onMIDIOutput, &received), noErr);
  ASSERT_EQ(host->initialize(), noErr);
  ASSERT_EQ(host->reset(), noErr);
  ASSERT_EQ(host->render(64), noErr);
  std::vector<std::vector<std::uint8_t>> expected;
  for (std::uint8_t channel = 0; channel < 16; ++channel)
    for (std::uint8_t controller = 64; controller <= 67; ++controller)
      expected.push_back({static_cast<std::uint8_t>(0xB0 | channel), controller, 0});
  EXPECT_EQ(received.packets, expected);
}

// The engine keeps the outputs it was created with: fewer host outputs later leave it pointers
// to the scratch buffer, more leave the host's extra buffers zero.
TEST_F(SamplerAUTest, ALaterInitializeWithOtherOutputsKeepsEveryBufferDefined) {
  installEngine();
  for (const auto& [first, second] : {std::pair<UInt32, UInt32>{3, 1}, {1, 3}}) {
    SCOPED_TRACE(::testing::Message() << first * 2 << " then " << second * 2);
    auto host = openHost(first, 2);
    ASSERT_EQ(host->initialize(), noErr);
    ASSERT_EQ(host->render(256), noErr);
    ASSERT_EQ(host->uninitialize(), noErr);
    ASSERT_EQ(host->setBusCount(second), noErr);
    for (UInt32 bus = 0; bus < second; ++bus) ASSERT_EQ(host->setOutputFormat(bus, 2, 48000.0), noErr);
    ASSERT_EQ(host->initialize(), noErr);
    host->prepareBuffers(256);
    ASSERT_EQ(host->midi(0x90, 69, 100), noErr);
    ASSERT_EQ(host->render(256), noErr);
    EXPECT_TRUE(anyNonZero(host->output(0, 0)));
    for (UInt32 bus = 1; bus < second; ++bus) {
      EXPECT_TRUE(allZero(host->output(bus, 0))) << bus;
      EXPECT_TRUE(allZero(host->output(bus, 1))) << bus;
    }
  }
  EXPECT_TRUE(findings().empty());
}

TEST_F(SamplerAUTest, TheRingHolds1023EventsInArrivalOrderAndRefusesTheNext) {
  installEngine();
  auto host = openHost();
  Received received;
  ASSERT_EQ(host->setMIDIOutput(&onMIDIOutput, &received), noErr);
  ASSERT_EQ(host->initialize(), noErr);
  for (int i = 0; i < 1023; ++i) ASSERT_EQ(host->midi(0xB1, 7, i % 128, static_cast<UInt32>(1000 - i) % 500), noErr);
  EXPECT_FALSE(logHas('E', "MIDI QUEUE ERROR"));
  EXPECT_EQ(host->midi(0xB1, 7, 1), noErr);
  EXPECT_EQ(logCount("MIDI QUEUE ERROR"), 1);
  ASSERT_EQ(host->render(512), noErr);
  EXPECT_EQ(trace().back().events, 1023);
  EXPECT_EQ(received.packets.size(), 1023u);

  // Equal offsets keep their arrival order; lengths follow the status byte.
  received = {};
  ASSERT_EQ(host->midi(0x90, 60, 100, 5), noErr);
  ASSERT_EQ(host->midi(0xC2, 9, 0, 5), noErr);
  ASSERT_EQ(host->midi(0xE0, 1, 64, 2), noErr);
  ASSERT_EQ(host->midi(0x80, 60, 0, 5), noErr);
  ASSERT_EQ(host->render(64), noErr);
  const std::vector<std::vector<std::uint8_t>> expected = {{0xE0, 1, 64}, {0x90, 60, 100}, {0xC2, 9}, {0x80, 60, 0}};
  EXPECT_EQ(received.packets, expected);
  EXPECT_EQ(received.times, (std::vector<MIDITimeStamp>{2, 5, 5, 5}));
  EXPECT_TRUE(findings().empty());
}

// A host's start frame past the slice, up to the largest the call can carry, reaches the engine
// on the slice's last frame, after the events placed before it; the engine finds none outside.
TEST_F(SamplerAUTest, StartFramesPastTheSliceAreHeldOnItsLastFrame) {
  installEngine();
  auto host = openHost();
  Received received;
  ASSERT_EQ(host->setMIDIOutput(&onMIDIOutput, &received), noErr);
  ASSERT_EQ(host->initialize(), noErr);
  ASSERT_EQ(host->midi(0x90, 60, 100, 0xFFFFFFFFu), noErr);
  ASSERT_EQ(host->midi(0x90, 61, 100, 600), noErr);
  ASSERT_EQ(host->midi(0x90, 62, 100, 0x80000000u), noErr);
  ASSERT_EQ(host->midi(0x90, 63, 100, 3), noErr);
  ASSERT_EQ(host->midi(0x90, 64, 100, 511), noErr);
  ASSERT_EQ(host->render(512), noErr);
  std::vector<int> keys;
  for (const auto& packet : received.packets) keys.push_back(packet.at(1));
  EXPECT_EQ(keys, (std::vector<int>{63, 64, 61, 60, 62}));
  EXPECT_EQ(received.times, (std::vector<MIDITimeStamp>{3, 511, 511, 511, 511}));
  EXPECT_TRUE(findings().empty());
}

TEST_F(SamplerAUTest, TheEngineVersionChoosesTheProcessCallAndTheCompatibilityMode) {
  installEngine();
  struct Row {
    const char* text;
    std::int32_t process;
    bool compatibility;
  };
  const Row rows[] = {
      {"1025", KELO_OP_PROCESS, true},     {"1025x", KELO_OP_PROCESS, false}, {"1055", KELO_OP_PROCESS, false},
      {"1056", KELO_OP_PROCESS_EX, false}, {"abc", KELO_OP_PROCESS, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    control(KELO_TEST_RESET);
    control(KELO_TEST_SET_VERSION_TEXT, nullptr, const_cast<char*>(row.text));
    Received received;
    {
      auto host = openHost();
      ASSERT_EQ(host->setMIDIOutput(&onMIDIOutput, &received), noErr);
      ASSERT_EQ(host->initialize(), noErr);
      ASSERT_EQ(host->midi(0x93, 69, 100), noErr);
      ASSERT_EQ(host->render(64), noErr);
      EXPECT_EQ(trace().back().opcode, row.process);
    }
    EXPECT_TRUE(logHas('I', std::string("fetched KeloVersion:") + row.text));
    EXPECT_EQ(logHas('I', "Turned on Kelo 1.025 compatibility slots"), row.compatibility);
    EXPECT_EQ(received.packets.size(), row.process == KELO_OP_PROCESS_EX ? 1u : 0u);
  }
}

// In the 1.025 compatibility mode the engine takes status bytes without their channel bits.
TEST_F(SamplerAUTest, TheCompatibilityModeHandsStatusBytesWithoutTheirChannel) {
  writeDataFolder(m_data.path());
  writeEnginePath(SYNC_RECORDER_BUNDLE);
  const auto answer = reinterpret_cast<void (*)(const char*)>(
      kelo::test::bundleFunction(SYNC_RECORDER_BUNDLE, "keloAnswerVersion"));
  const auto recorded = reinterpret_cast<const vantor::MIDIEvent* (*)()>(
      kelo::test::bundleFunction(SYNC_RECORDER_BUNDLE, "keloRecordedEvent"));
  ASSERT_NE(answer, nullptr);
  ASSERT_NE(recorded, nullptr);
  struct Row {
    const char* version;
    std::uint8_t status;
  };
  const Row rows[] = {{"1025", 0x90}, {"1055", 0x93}, {"1056", 0x93}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.version);
    answer(row.version);
    auto host = openHost();
    ASSERT_EQ(host->initialize(), noErr);
    ASSERT_EQ(host->midi(0x93, 69, 100, 5), noErr);
    ASSERT_EQ(host->render(64), noErr);
    EXPECT_EQ(recorded()->bytes[0], row.status);
    EXPECT_EQ(recorded()->bytes[1], 69);
    EXPECT_EQ(recorded()->frameOffset, 5);
  }
  answer("1056");
}

OSStatus beatAndTempo(void* user, Float64* beat, Float64* tempo) {
  *beat = *static_cast<double*>(user);
  *tempo = 100.0;
  return noErr;
}

OSStatus fourFour(void*, UInt32*, Float32* numerator, UInt32* denominator, Float64* downbeat) {
  *numerator = 4.0f;
  *denominator = 4;
  *downbeat = 0.0;
  return noErr;
}

TEST_F(SamplerAUTest, AHostBarStartThatCannotBeRightIsReportedOnce) {
  installEngine();
  auto host = openHost();
  double ppq = 10.0;
  ASSERT_EQ(host->setHostCallbacks({&ppq, &beatAndTempo, &fourFour, nullptr, nullptr}), noErr);
  ASSERT_EQ(host->initialize(), noErr);
  for (double position : {10.0, 14.0, -3.0}) {
    ppq = position;
    ASSERT_EQ(host->render(64), noErr);
  }
  host.reset();
  EXPECT_EQ(logCount("barStartPos is set but is NOT RIGHT! Compensating, but NO time signatures changes can occur"), 1);
  EXPECT_EQ(logCount("in more details, sync.ppqPos:10.000000 and sync.barStartPos:0.000000"), 1);
  EXPECT_EQ(logCount("negative barStartPos"), 0) << "once per object, whichever comes first";
}

struct HostTransport {
  double ppq = 0.0;
  bool musicalTime = true;
  Float32 numerator = 4.0f;
  UInt32 denominator = 4;
  double downbeat = 0.0;
};

OSStatus transportBeat(void* user, Float64* beat, Float64* tempo) {
  *beat = static_cast<HostTransport*>(user)->ppq;
  *tempo = 100.0;
  return noErr;
}

OSStatus transportTime(void* user, UInt32*, Float32* numerator, UInt32* denominator, Float64* downbeat) {
  const auto* host = static_cast<HostTransport*>(user);
  if (!host->musicalTime) return kAudio_UnimplementedError;
  *numerator = host->numerator;
  *denominator = host->denominator;
  *downbeat = host->downbeat;
  return noErr;
}

OSStatus transportState(void*, Boolean* playing, Boolean* changed, Float64* sample, Boolean* cycling,
                        Float64* cycleStart, Float64* cycleEnd) {
  *playing = 1;
  *changed = 1;
  *sample = 4800.0;
  *cycling = 1;
  *cycleStart = 4.0;
  *cycleEnd = 12.0;
  return noErr;
}

TEST_F(SamplerAUTest, TheHostsTransportReachesTheEngineWithItsBarStartMended) {
  writeDataFolder(m_data.path());
  writeEnginePath(SYNC_RECORDER_BUNDLE);
  const auto recorded = reinterpret_cast<const vantor::SyncInfo* (*)()>(
      kelo::test::bundleFunction(SYNC_RECORDER_BUNDLE, "keloRecordedSync"));
  ASSERT_NE(recorded, nullptr);
  auto host = openHost();
  HostTransport transport;
  ASSERT_EQ(host->setHostCallbacks({&transport, &transportBeat, &transportTime, &transportState, nullptr}), noErr);
  ASSERT_EQ(host->initialize(), noErr);
  for (const kelo::test::TransportCase& c : kelo::test::kTransportCases) {
    SCOPED_TRACE(c.what);
    // A slice on a bar start that holds leaves the signature the row starts from.
    transport = {0.0, true, static_cast<Float32>(c.priorNumerator), static_cast<UInt32>(c.priorDenominator), 0.0};
    ASSERT_EQ(host->render(64), noErr);
    transport = {c.ppq, c.hostBar, c.numerator, static_cast<UInt32>(c.denominator), c.hostBarStart};
    ASSERT_EQ(host->render(64), noErr);
    const vantor::SyncInfo& sync = *recorded();
    EXPECT_EQ(sync.ppqPosition, c.ppq);
    EXPECT_EQ(sync.tempo, 100.0);
    EXPECT_EQ(sync.barStartPosition, c.barStart);
    EXPECT_EQ(sync.timeSigNumerator, c.expectedNumerator);
    EXPECT_EQ(sync.timeSigDenominator, c.expectedDenominator);
    EXPECT_EQ(sync.samplePosition, 4800.0);
    EXPECT_TRUE(sync.playing);
    EXPECT_TRUE(sync.transportChanged);
    EXPECT_EQ(sync.loopStartPosition, 4.0);
    EXPECT_EQ(sync.loopEndPosition, 12.0);
    EXPECT_EQ(sync.sampleRate, 48000.0);
  }
}

TEST_F(SamplerAUTest, ChannelTableAndLayoutsOfTheMultiOutputBuild) {
  auto host = openHost(1, 5);
  AUChannelInfo table[3] = {};
  UInt32 size = sizeof table;
  ASSERT_EQ(host->getProperty(kAudioUnitProperty_SupportedNumChannels, kAudioUnitScope_Global, 0, table, size), noErr);
  ASSERT_EQ(size, sizeof table);
  EXPECT_EQ(table[0].outChannels, 2);
  EXPECT_EQ(table[1].outChannels, 32);
  EXPECT_EQ(table[2].outChannels, -32);
  AudioChannelLayoutTag tags[3] = {};
  size = sizeof tags;
  ASSERT_EQ(host->getProperty(kAudioUnitProperty_SupportedChannelLayoutTags, kAudioUnitScope_Output, 0, tags, size), noErr);
  EXPECT_EQ(tags[0], (101u << 16) | 2);
  EXPECT_EQ(tags[1], (100u << 16) | 1);
  EXPECT_EQ(tags[2], (147u << 16) | 32);
  bool writable = true;
  ASSERT_EQ(host->getPropertyInfo(kAudioUnitProperty_AudioChannelLayout, kAudioUnitScope_Output, 0, size, writable), noErr);
  EXPECT_EQ(size, 12u + 5 * 20u);
  EXPECT_FALSE(writable);
  std::vector<unsigned char> bytes(size);
  ASSERT_EQ(host->getProperty(kAudioUnitProperty_AudioChannelLayout, kAudioUnitScope_Output, 0, bytes.data(), size), noErr);
  const auto* layout = reinterpret_cast<const AudioChannelLayout*>(bytes.data());
  EXPECT_EQ(layout->mChannelLayoutTag, 0u);
  ASSERT_EQ(layout->mNumberChannelDescriptions, 5u);
  for (UInt32 channel = 0; channel < 5; ++channel)
    EXPECT_EQ(AudioChannelLayoutAt(*layout, channel).mChannelLabel, 42u);
  ASSERT_EQ(host->setOutputFormat(0, 2, 48000.0), noErr);
  size = static_cast<UInt32>(bytes.size());
  ASSERT_EQ(host->getProperty(kAudioUnitProperty_AudioChannelLayout, kAudioUnitScope_Output, 0, bytes.data(), size), noErr);
  EXPECT_EQ(size, 12u + 2 * 20u);
  EXPECT_EQ(layout->mChannelLayoutTag, (101u << 16) | 2);
  Float64 latency = -1.0;
  size = sizeof latency;
  ASSERT_EQ(host->getProperty(kAudioUnitProperty_Latency, kAudioUnitScope_Global, 0, &latency, size), noErr);
  EXPECT_EQ(latency, 0.0);
}

}  // namespace
