// The engine's host callback: audio files delivered at the rate a plug-in asks for, released,
// and every call recorded.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>

#include "engine/pluginhost/AudioFileHost.h"
#include "tests/Sampler/sdk/host/WavFiles.h"
#include "tests/support/TempDir.h"

namespace kelo::pluginhost {
namespace {

using namespace vantor::KELOPluginSDK;

HostAudioFile request(const std::string& path, double rate) {
  HostAudioFile file{};
  file.version = kSDKVersion;
  file.fileName = path.c_str();
  file.sampleRate = rate;
  return file;
}

std::int32_t call(AudioFileHost& host, std::int32_t opcode, void* data) {
  Host* record = host.host();
  return record->callback(record, opcode, 0, data);
}

class AudioFiles : public ::testing::Test {
 protected:
  test::TempDir dir;
  AudioFileHost host;
};

TEST_F(AudioFiles, AFileAtItsOwnRateArrivesBitExact) {
  const std::string path = dir.file("noise.wav");
  std::vector<float> left(500), right(500);
  for (int i = 0; i < 500; ++i) {
    left[i] = std::sin(0.37f * i) * 0.8f;
    right[i] = -0.001f * i;
  }
  ASSERT_TRUE(test::writeWav(path, 48000, {left, right}));
  HostAudioFile file = request(path, 48000);
  EXPECT_EQ(call(host, HOSTOP_LOAD_AUDIO_FILE, &file), 0);
  ASSERT_NE(file.loadStatus, 0);
  ASSERT_EQ(file.numChannels, 2);
  ASSERT_EQ(file.numFrames, 500);
  EXPECT_TRUE(std::equal(left.begin(), left.end(), file.channels[0]));
  EXPECT_TRUE(std::equal(right.begin(), right.end(), file.channels[1]));
  EXPECT_EQ(file.channels[2], nullptr);
  EXPECT_EQ(host.filesHeld(), 1u);

  EXPECT_EQ(call(host, HOSTOP_RELEASE_AUDIO_FILE, &file), 0);
  EXPECT_EQ(host.filesHeld(), 0u);
  EXPECT_EQ(file.loadStatus, 0);
  EXPECT_EQ(file.channels[0], nullptr);
  EXPECT_EQ(call(host, HOSTOP_RELEASE_AUDIO_FILE, &file), 1);  // not held any more
}

TEST_F(AudioFiles, AnImpulseIsConvertedToTheAskedRate) {
  const std::string path = dir.file("impulse.wav");
  ASSERT_TRUE(test::writeWav(path, 44100, {test::impulse(2000, 441), test::impulse(2000, 882)}));
  HostAudioFile file = request(path, 48000);
  ASSERT_EQ(call(host, HOSTOP_LOAD_AUDIO_FILE, &file), 0);
  ASSERT_EQ(file.numChannels, 2);
  EXPECT_NEAR(static_cast<double>(file.numFrames), 2000 * 48000.0 / 44100.0, 2.0);
  for (int channel = 0; channel < 2; ++channel) {
    const float* samples = file.channels[channel];
    const float* end = samples + file.numFrames;
    const long peak = std::max_element(samples, end, [](float a, float b) {
                        return std::fabs(a) < std::fabs(b);
                      }) - samples;
    // 10 ms and 20 ms at the new rate.
    EXPECT_NEAR(static_cast<double>(peak), 480.0 * (channel + 1), 1.0) << channel;
    // An impulse keeps its area: the DC gain of the conversion is 1, so the sum grows with
    // the number of samples per second.
    const double area = std::accumulate(samples, end, 0.0);
    EXPECT_NEAR(area, 48000.0 / 44100.0, 0.02) << channel;
  }
  EXPECT_EQ(call(host, HOSTOP_RELEASE_AUDIO_FILE, &file), 0);
}

TEST_F(AudioFiles, RequestsThatCannotBeServedLeaveTheRecordUnloaded) {
  const std::string wide = dir.file("wide.wav");
  ASSERT_TRUE(test::writeWav(wide, 48000, std::vector<std::vector<float>>(33, test::impulse(8, 0))));
  const std::string good = dir.file("good.wav");
  ASSERT_TRUE(test::writeWav(good, 48000, {test::impulse(8, 0)}));
  ASSERT_TRUE(test::writeFile(dir.file("text.wav"), "not audio"));
  struct Case {
    std::string path;
    double rate;
  };
  for (const Case& c : {Case{dir.file("missing.wav"), 48000}, Case{dir.file("text.wav"), 48000},
                        Case{wide, 48000}, Case{good, 0}, Case{good, -44100},
                        Case{good, std::numeric_limits<double>::quiet_NaN()},
                        Case{good, 48000.0 * 1000}}) {
    HostAudioFile file = request(c.path, c.rate);
    EXPECT_EQ(call(host, HOSTOP_LOAD_AUDIO_FILE, &file), 1) << c.path << " at " << c.rate;
    EXPECT_EQ(file.loadStatus, 0);
    EXPECT_EQ(file.channels[0], nullptr);
  }
  HostAudioFile unnamed = request("", 48000);
  unnamed.fileName = nullptr;
  EXPECT_EQ(call(host, HOSTOP_LOAD_AUDIO_FILE, &unnamed), 1);
  EXPECT_EQ(call(host, HOSTOP_LOAD_AUDIO_FILE, nullptr), 1);
  EXPECT_EQ(host.filesHeld(), 0u);
  // The 32-channel limit itself is fine.
  const std::string widest = dir.file("widest.wav");
  ASSERT_TRUE(test::writeWav(widest, 48000, std::vector<std::vector<float>>(32, test::impulse(8, 0))));
  HostAudioFile file = request(widest, 48000);
  EXPECT_EQ(call(host, HOSTOP_LOAD_AUDIO_FILE, &file), 0);
  EXPECT_EQ(file.numChannels, 32);
  EXPECT_EQ(call(host, HOSTOP_RELEASE_AUDIO_FILE, &file), 0);
}

TEST_F(AudioFiles, EveryCallIsRecorded) {
  const std::string path = dir.file("one.wav");
  ASSERT_TRUE(test::writeWav(path, 22050, {test::impulse(100, 0)}));
  HostAudioFile file = request(path, 44100);
  std::int32_t version = 0;
  call(host, HOSTOP_GET_SDK_VERSION, &version);
  call(host, HOSTOP_LOAD_AUDIO_FILE, &file);
  call(host, 77, nullptr);
  call(host, HOSTOP_RELEASE_AUDIO_FILE, &file);
  EXPECT_EQ(version, 1906);
  const std::vector<HostCall> calls = host.calls();
  ASSERT_EQ(calls.size(), 4u);
  EXPECT_EQ(calls[0].opcode, HOSTOP_GET_SDK_VERSION);
  EXPECT_EQ(calls[1].opcode, HOSTOP_LOAD_AUDIO_FILE);
  EXPECT_EQ(calls[1].fileName, path);
  EXPECT_EQ(calls[1].sampleRate, 44100.0);
  EXPECT_EQ(calls[1].channels, 1);
  EXPECT_NEAR(static_cast<double>(calls[1].frames), 200.0, 1.0);
  EXPECT_EQ(calls[1].result, 0);
  EXPECT_EQ(calls[2].opcode, 77);
  EXPECT_EQ(calls[2].result, 2);
  EXPECT_EQ(calls[3].opcode, HOSTOP_RELEASE_AUDIO_FILE);
  EXPECT_EQ(calls[3].result, 0);
}

TEST_F(AudioFiles, LoadingARecordAgainReplacesItsSamples) {
  const std::string path = dir.file("again.wav");
  ASSERT_TRUE(test::writeWav(path, 48000, {test::impulse(10, 3)}));
  HostAudioFile file = request(path, 48000);
  ASSERT_EQ(call(host, HOSTOP_LOAD_AUDIO_FILE, &file), 0);
  ASSERT_EQ(call(host, HOSTOP_LOAD_AUDIO_FILE, &file), 0);
  EXPECT_EQ(host.filesHeld(), 1u);
  EXPECT_EQ(file.channels[0][3], 1.0f);
  EXPECT_EQ(call(host, HOSTOP_RELEASE_AUDIO_FILE, &file), 0);
}

}  // namespace
}  // namespace kelo::pluginhost
