// The audio device over the scripted PortAudio: rate and block-size tables, latency, stereo
// pairs and their routing, the first-callback wait, every PortAudio error path, and callbacks
// larger than the block.
#include <climits>
#include <cmath>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "standalone/host/AudioDeviceProperties.h"
#include "standalone/host/DSPInfo.h"
#include "tests/standalone/devices/DeviceTestSupport.h"

namespace {

using kelo::test::ConstantRender;
using kelo::test::DeviceBackEnd;
using kelo::test::FakePortAudio;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;

/// Answers what a test gives it, for any device.
class ScriptedProperties : public vantor::AudioDeviceProperties {
 public:
  ScriptedProperties() { vantor::setAudioDeviceProperties(this); }
  ~ScriptedProperties() override { vantor::setAudioDeviceProperties(nullptr); }
  bool availableNominalSampleRates(std::uint32_t, std::vector<vantor::SampleRateRange>& out) override {
    out = ranges;
    return ratesKnown;
  }
  bool bufferFrameSizeRange(std::uint32_t, std::uint32_t& lo, std::uint32_t& hi) override {
    lo = minimum;
    hi = maximum;
    return blocksKnown;
  }
  bool latencyFrames(std::uint32_t, const PaStreamInfo&, std::uint32_t& frames) override {
    frames = latency;
    return latencyKnown;
  }
  bool safetyOffsetFrames(std::uint32_t, std::uint32_t& frames) override {
    frames = safetyOffset;
    return latencyKnown;
  }
  std::vector<vantor::SampleRateRange> ranges;
  bool ratesKnown = true;
  std::uint32_t minimum = 0, maximum = 0;
  bool blocksKnown = true;
  std::uint32_t latency = 0, safetyOffset = 0;
  bool latencyKnown = true;
};

class AudioDevice : public DeviceBackEnd {
 protected:
  void runErrorCase(void (*script)(FakePortAudio&), const std::string& errorLine,
                    const std::vector<std::string>& calls);
};

TEST_F(AudioDevice, SampleRatesFollowTheDeviceRangesWithinTheSupportedRates) {
  addOutput("Card");
  startManager();
  vantor::AudioDevice* device = makeDevice(0);
  ASSERT_NE(device, nullptr);
  ScriptedProperties properties;
  struct Case {
    std::vector<vantor::SampleRateRange> ranges;
    std::vector<std::int32_t> expected;
  };
  const Case cases[] = {
      {{{44100, 96000}}, {44100, 48000, 64000, 88200, 96000}},
      {{{44100, 44100}, {48000, 48000}, {176400, 176400}}, {44100, 48000}},
      {{{8000, 8000}, {192000, 192000}, {22050, 48000}}, {192000, 22050, 44100, 48000}},
      {{{48000, 48000}, {44100, 48000}}, {48000, 44100}},  // no rate twice
      {{{50000, 60000}}, {}},
  };
  for (const Case& c : cases) {
    properties.ranges = c.ranges;
    std::vector<std::int32_t> rates;
    EXPECT_TRUE(device->listAvailableSampleRates(rates));
    EXPECT_EQ(rates, c.expected);
  }
  properties.ranges.clear();
  std::vector<std::int32_t> rates;
  EXPECT_FALSE(device->listAvailableSampleRates(rates)) << "an empty answer";
  properties.ranges = {{44100, 44100}};
  properties.ratesKnown = false;
  EXPECT_FALSE(device->listAvailableSampleRates(rates));
  delete device;
}

TEST_F(AudioDevice, BufferSizesArePowersOfTwoWithinTheDeviceRange) {
  addOutput("Card");
  startManager();
  vantor::AudioDevice* device = makeDevice(0);
  ScriptedProperties properties;
  struct Case {
    std::uint32_t minimum, maximum;
    bool known;
    std::vector<std::int32_t> expected;
  };
  const Case cases[] = {
      {64, 4096, true, {64, 128, 256, 512, 1024, 2048, 4096}},
      {14, 512, true, {32, 64, 128, 256, 512}},
      {1, 100000, true, {32, 64, 128, 256, 512, 1024, 2048, 4096, 8192, 16384, 32768}},
      {300, 500, true, {}},
      {64, 4096, false, {}},  // the question failed: 0 to 0
  };
  for (const Case& c : cases) {
    properties.minimum = c.minimum;
    properties.maximum = c.maximum;
    properties.blocksKnown = c.known;
    std::vector<std::int32_t> sizes;
    EXPECT_TRUE(device->listAvailableBufferSizes(sizes));
    EXPECT_EQ(sizes, c.expected) << c.minimum << ".." << c.maximum;
  }
  delete device;
}

TEST_F(AudioDevice, LinuxPropertiesProbeTheSupportedRatesAndOfferTheWholeBlockRange) {
  FakePortAudio::Device card;
  card.name = "Card";
  card.hostApi = alsa;
  card.rates = {12345, 22050, 48000, 96000, 176400};
  pa.addDevice(card);
  FakePortAudio::Device server;
  server.name = "system";
  server.hostApi = jack;
  server.rates = {48000};
  pa.addDevice(server);
  FakePortAudio::Device foreign;
  foreign.name = "/dev/dsp";
  foreign.hostApi = oss;
  pa.addDevice(foreign);
  startManager();

  EXPECT_EQ(vantor::indexToAudioDeviceID(0), (std::uint32_t(paALSA) << 16) | 1u);
  EXPECT_EQ(vantor::indexToAudioDeviceID(1), (std::uint32_t(paJACK) << 16) | 1u);
  EXPECT_EQ(vantor::indexToAudioDeviceID(2), 0u) << "not the platform's own";
  EXPECT_EQ(vantor::indexToAudioDeviceID(-1), 0u);
  EXPECT_EQ(vantor::indexToAudioDeviceID(9), 0u);
  EXPECT_EQ(vantor::audioDeviceIDToIndex(vantor::indexToAudioDeviceID(1)), 1);

  vantor::AudioDevice* device = makeDevice(0);
  std::vector<std::int32_t> rates;
  EXPECT_TRUE(device->listAvailableSampleRates(rates));
  EXPECT_THAT(rates, ElementsAre(22050, 48000, 96000));
  std::vector<std::int32_t> sizes;
  EXPECT_TRUE(device->listAvailableBufferSizes(sizes));
  EXPECT_THAT(sizes, ElementsAre(32, 64, 128, 256, 512, 1024, 2048, 4096, 8192));
  delete device;

  device = makeDevice(1);
  rates.clear();
  EXPECT_TRUE(device->listAvailableSampleRates(rates));
  EXPECT_THAT(rates, ElementsAre(48000));
  delete device;

  vantor::PortAudioDeviceProperties linux;
  std::vector<vantor::SampleRateRange> ranges;
  EXPECT_FALSE(linux.availableNominalSampleRates(0, ranges));
  std::uint32_t lo = 0, hi = 0;
  EXPECT_FALSE(linux.bufferFrameSizeRange(0, lo, hi));
}

TEST(AlsaHardwareAddress, IsReadFromPortAudiosDeviceName) {
  struct Case {
    const char* name;
    const char* address;
  };
  for (const Case& c : {Case{"HDA Intel PCH: ALC892 Analog (hw:0,0)", "hw:0,0"},
                        Case{"USB Audio (2) (hw:12,3)", "hw:12,3"},
                        Case{"default", ""}, Case{"pulse", ""}, Case{"Odd (hw:1)", ""},
                        Case{"Odd (hw:1,2x)", ""}, Case{"Cut (hw:1,2", ""}, Case{"", ""}}) {
    EXPECT_EQ(vantor::alsaHardwareAddress(c.name), c.address) << c.name;
  }
}

TEST_F(AudioDevice, AHardwareDeviceThatCannotBeOpenedOffersTheWholeBlockRange) {
  addOutput("No Such Card: Analog (hw:99,0)");
  startManager();
  std::uint32_t lo = 0, hi = 0;
  vantor::PortAudioDeviceProperties linux;
  EXPECT_TRUE(linux.bufferFrameSizeRange(vantor::indexToAudioDeviceID(0), lo, hi));
  EXPECT_EQ(lo, 32u);
  EXPECT_EQ(hi, 8192u);
}

TEST_F(AudioDevice, LatencyCountsDeviceLatencySafetyOffsetAndOneBlock) {
  addOutput("Card");
  startManager();
  vantor::AudioDevice* device = makeDevice(0);
  double ms = -1;
  EXPECT_FALSE(device->getOutputLatency(ms)) << "no stream";
  ASSERT_TRUE(device->onPlay());

  // The Linux source: the stream's reported 10 ms at 44100 Hz are 441 frames, no offset.
  EXPECT_TRUE(device->getOutputLatency(ms));
  EXPECT_DOUBLE_EQ(ms, (441.0 + 0.0 + 512.0) / 44100.0 * 1000.0);

  ScriptedProperties properties;
  properties.latency = 100;
  properties.safetyOffset = 20;
  EXPECT_TRUE(device->getOutputLatency(ms));
  EXPECT_DOUBLE_EQ(ms, (100.0 + 20.0 + 512.0) / 44100.0 * 1000.0);
  properties.latencyKnown = false;
  EXPECT_TRUE(device->getOutputLatency(ms));
  EXPECT_DOUBLE_EQ(ms, 512.0 / 44100.0 * 1000.0) << "only the block when the device cannot tell";
  EXPECT_TRUE(device->onStop());
  EXPECT_FALSE(device->getOutputLatency(ms));
  delete device;
}

TEST_F(AudioDevice, StereoPairsAreCheckedAgainstTheOutputs) {
  addOutput("Eight", 8);
  addOutput("Stereo", 2);
  startManager();
  vantor::AudioDevice* eight = makeDevice(0);
  struct Case {
    std::int32_t pair;
    bool accepted;
  };
  for (const Case& c : {Case{0, true}, Case{3, true}, Case{4, false}, Case{-1, false},
                        Case{INT_MIN, false}, Case{INT_MAX, false}, Case{1, true}}) {
    EXPECT_EQ(eight->setOutputStereoPair(c.pair), c.accepted) << c.pair;
  }
  EXPECT_EQ(eight->getOutputStereoPair(), 1) << "refused pairs leave the last accepted one";
  ASSERT_TRUE(eight->onPlay());
  EXPECT_FALSE(eight->setOutputStereoPair(0)) << "refused while playing";
  EXPECT_TRUE(eight->onStop());
  delete eight;

  vantor::AudioDevice* stereo = makeDevice(1);
  EXPECT_TRUE(stereo->setOutputStereoPair(0));
  EXPECT_FALSE(stereo->setOutputStereoPair(1));
  delete stereo;
}

TEST_F(AudioDevice, PairThreeOfAnEightChannelDeviceSoundsOnChannelsSixAndSevenOnly) {
  addOutput("Eight", 8);
  startManager();
  ConstantRender render;
  vantor::AudioDevice* device = makeDevice(0, &render);
  ASSERT_TRUE(device->setOutputStereoPair(3));
  ASSERT_TRUE(device->onPlay());
  EXPECT_EQ(pa.lastOutput().channelCount, 8);
  EXPECT_EQ(pa.lastOutput().sampleFormat, paFloat32 | paNonInterleaved);
  EXPECT_EQ(pa.lastFlags(), paDitherOff);
  EXPECT_EQ(device->usedOutputs(), 2u);

  const auto channels = pa.pump(512);
  ASSERT_EQ(channels.size(), 8u);
  for (int c = 0; c < 6; ++c) EXPECT_EQ(channels[c], kelo::test::filled(512, 0.0f)) << c;
  EXPECT_EQ(channels[6], kelo::test::filled(512, 0.5f));
  EXPECT_EQ(channels[7], kelo::test::filled(512, -0.25f));
  EXPECT_TRUE(device->onStop());

  // Pair 1 opens only the four channels it needs.
  ASSERT_TRUE(device->setOutputStereoPair(1));
  ASSERT_TRUE(device->onPlay());
  const auto four = pa.pump(64);
  ASSERT_EQ(four.size(), 4u);
  EXPECT_EQ(four[0], kelo::test::filled(64, 0.0f));
  EXPECT_EQ(four[2], kelo::test::filled(64, 0.5f));
  EXPECT_EQ(four[3], kelo::test::filled(64, -0.25f));
  delete device;  // stops the playing stream
  EXPECT_EQ(pa.calls().back(), "close");
}

TEST_F(AudioDevice, AStereoDeviceGetsBothChannels) {
  addOutput("Stereo", 2);
  startManager();
  ConstantRender render;
  vantor::AudioDevice* device = makeDevice(0, &render);
  ASSERT_TRUE(device->onPlay());
  const auto channels = pa.pump(128);
  ASSERT_EQ(channels.size(), 2u);
  EXPECT_EQ(channels[0], kelo::test::filled(128, 0.5f));
  EXPECT_EQ(channels[1], kelo::test::filled(128, -0.25f));
  EXPECT_FLOAT_EQ(manager()->getCpuUsage(&context), 0.25f);
  EXPECT_TRUE(device->onPlay()) << "already playing";
  EXPECT_EQ(pa.openStreams(), 1) << "no second stream";
  delete device;
}

TEST_F(AudioDevice, CallbacksLargerThanTheBlockRenderInPiecesOfAtMostOneBlock) {
  addOutput("Stereo", 2);
  startManager();
  context.resetDSP(48000, 256);
  ConstantRender render;
  render.blocks.reserve(16);
  vantor::AudioDevice* device = makeDevice(0, &render);
  ASSERT_TRUE(device->onPlay());
  render.blocks.clear();
  const std::uint64_t before = manager()->getRenderedFrames(&context);

  const auto channels = pa.pump(600);
  EXPECT_THAT(render.blocks, ElementsAre(256u, 256u, 88u));
  ASSERT_EQ(channels.size(), 2u);
  EXPECT_EQ(channels[0], kelo::test::filled(600, 0.5f)) << "every frame written, none beyond";
  EXPECT_EQ(channels[1], kelo::test::filled(600, -0.25f));
  EXPECT_EQ(manager()->getRenderedFrames(&context) - before, 3u * 256u);

  render.blocks.clear();
  pa.pump(100);
  EXPECT_THAT(render.blocks, ElementsAre(100u));
  delete device;
}

TEST_F(AudioDevice, AnExceptionInTheRenderGivesSilenceAndTheStreamGoesOn) {
  addOutput("Stereo", 2);
  startManager();
  ConstantRender render;
  vantor::AudioDevice* device = makeDevice(0, &render);
  ASSERT_TRUE(device->onPlay());
  render.throws = true;
  const auto channels = pa.pump(64);
  EXPECT_EQ(channels[0], kelo::test::filled(64, 0.0f));
  EXPECT_EQ(channels[1], kelo::test::filled(64, 0.0f));
  EXPECT_TRUE(log.has('E', "exception in the audio callback"));
  delete device;
}

TEST_F(AudioDevice, AStreamThatNeverCallsBackTimesOutAndIsClosed) {
  addOutput("Silent", 2);
  startManager();
  vantor::AudioDevice* device = makeDevice(0);
  pa.callbacks = FakePortAudio::Callbacks::Never;
  device->setStartTimeout(20);
  EXPECT_FALSE(device->onPlay());
  EXPECT_FALSE(device->isPlaying());
  EXPECT_TRUE(log.has('E', "playReq TIMEOUT!!"));
  EXPECT_TRUE(log.has('E', "Silent, has refused to start Playing"));
  EXPECT_FALSE(log.has('I', "Silent, has started Playing"));
  EXPECT_THAT(pa.calls(), ::testing::Contains("close"));
  EXPECT_EQ(pa.calls().back(), "close");

  // The next opening that does call back plays.
  pa.callbacks = FakePortAudio::Callbacks::Immediate;
  EXPECT_TRUE(device->onPlay());
  EXPECT_TRUE(log.has('I', "Silent in its first callback"));
  EXPECT_TRUE(log.has('I', "Silent::onPlay() stream started!"));
  delete device;
}

TEST_F(AudioDevice, EveryPortAudioErrorIsLoggedInItsBlockAndLeavesTheDeviceClosed) {
  addOutput("Card", 2);
  startManager();
  struct Case {
    const char* name;
    void (*script)(FakePortAudio&);
    const char* errorLine;
    std::vector<std::string> calls;
  };
  const Case cases[] = {
      {"format", [](FakePortAudio& p) { p.formatAnswer = paInvalidSampleRate; },
       "Pa_IsFormatSupported: Error number: -9997 message: Invalid sample rate", {}},
      {"open", [](FakePortAudio& p) { p.openAnswer = paDeviceUnavailable; },
       "Pa_OpenStream: Error number: -9985 message: Device unavailable",
       {"open 0 ch:2 rate:44100 frames:512"}},
      {"start", [](FakePortAudio& p) { p.startAnswer = paInternalError; },
       "Pa_StartStream: Error number: -9986 message: Internal PortAudio error",
       {"open 0 ch:2 rate:44100 frames:512", "start", "close"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    runErrorCase(c.script, c.errorLine, c.calls);
    vantor::setPortAudio(&pa);
  }
}

void AudioDevice::runErrorCase(void (*script)(FakePortAudio&), const std::string& errorLine,
                               const std::vector<std::string>& calls) {
  {
    FakePortAudio fresh;  // the scripted answers of this case only
    fresh.addHostApi(paALSA, "ALSA");
    FakePortAudio::Device d;
    d.name = "Card";
    fresh.addDevice(d);
    script(fresh);
    kelo::test::LogCapture caseLog;
    vantor::AudioDevice* device = makeDevice(0);
    EXPECT_FALSE(device->onPlay());
    EXPECT_FALSE(device->isPlaying());
    EXPECT_EQ(fresh.calls(), calls);
    // The block: dashes, the device name, the call with its code and text, dashes.
    const std::string text = caseLog.text();
    const std::size_t error = text.find(errorLine);
    ASSERT_NE(error, std::string::npos) << text;
    const std::size_t name = text.rfind("Card\n", error);
    const std::size_t dashesBefore = text.rfind(vantor::kLogSeparator, error);
    const std::size_t dashesAfter = text.find(vantor::kLogSeparator, error);
    EXPECT_NE(name, std::string::npos);
    EXPECT_LT(dashesBefore, name);
    EXPECT_NE(dashesAfter, std::string::npos);
    EXPECT_EQ(text.compare(text.rfind('\n', name) + 1, 2, "E:"), 0);
    delete device;
  }
}

TEST_F(AudioDevice, AnOpeningThatThrowsAndAClosingThatFailsAreReported) {
  addOutput("Card", 2);
  startManager();
  vantor::AudioDevice* device = makeDevice(0);
  pa.openThrows = true;
  EXPECT_FALSE(device->onPlay());
  EXPECT_TRUE(log.has('E', "Unknown Exception calling Pa_OpenStream"));
  pa.openThrows = false;

  ASSERT_TRUE(device->onPlay());
  pa.closeAnswer = paTimedOut;
  EXPECT_TRUE(device->onStop()) << "the stream is gone whatever PortAudio says";
  EXPECT_TRUE(log.has('E', "Pa_CloseStream: Error number: -9987 message: Wait timed out"));
  EXPECT_TRUE(log.has('I', "Card has Stopped!"));
  EXPECT_FALSE(device->onStop());
  EXPECT_TRUE(log.has('E', "Card::onStop() Logic error"));
  delete device;
}

}  // namespace
