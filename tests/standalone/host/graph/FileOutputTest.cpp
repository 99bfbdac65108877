#include <cmath>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "VNL/source/Alerts.h"
#include "standalone/host/DSPInfo.h"
#include "standalone/host/GraphManager.h"
#include "standalone/host/Instance.h"
#include "standalone/host/StereoFileOutputModule.h"
#include "tests/standalone/host/HostTestSupport.h"
#include "tests/standalone/host/graph/GraphTestSupport.h"
#include "tests/standalone/streamer/StreamerTestSupport.h"
#include "tests/support/TempDir.h"

namespace {

constexpr unsigned kFrames = 512;
constexpr int kLimit = 44100 / 512;  // 86 blocks
constexpr int kFloat32 = 32;

// The file-output module fed blocks of a chosen level, as the graph feeds it.
class FileOutputTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(kelo::test::sndfileBound());
    format.offline = true;
    output.init(nullptr, &format);
    output.setDSPInfo(&format);
    path = dir.file("out.wav");
    ASSERT_TRUE(output.setRecordingFile(path, 0, 0, kFloat32));
    ASSERT_TRUE(output.startRecording());
  }

  // One block whose two channels have the RMS `level` (a constant signal).
  void block(float level) {
    std::vector<float> left(kFrames, level);
    std::vector<float> right(kFrames, -level);
    float* inputs[2] = {left.data(), right.data()};
    output.processStereo(inputs, nullptr, kFrames, false);
  }

  std::size_t framesWritten() { return kelo::test::readBack(path).samples.size() / 2; }

  kelo::test::TempDir dir;
  vantor::DSPInfo format{44100, kFrames};
  vantor::StereoFileOutputModule output;
  std::string path;
};

TEST_F(FileOutputTest, OfflineTheRecordingStopsAfterExactlyTheLimitOfSilentBlocks) {
  for (int i = 0; i < 3; ++i) block(0.5f);
  output.engageRMSCalculation(true);
  for (int i = 0; i < kLimit - 1; ++i) block(0.099f);
  EXPECT_TRUE(output.isRecording());
  block(0.0f);
  EXPECT_FALSE(output.isRecording());
  EXPECT_FALSE(output.isRMSEngaged());
  EXPECT_FALSE(output.hasFile());
  // The block that reached the limit is not written.
  EXPECT_EQ(framesWritten(), static_cast<std::size_t>((3 + kLimit - 1) * kFrames));
}

TEST_F(FileOutputTest, ALoudBlockOnEitherChannelRestartsTheCount) {
  output.engageRMSCalculation(true);
  for (int i = 0; i < kLimit - 1; ++i) block(0.0f);
  {
    std::vector<float> left(kFrames, 0.0f);
    std::vector<float> right(kFrames, 0.2f);  // only the right channel above 0.1
    float* inputs[2] = {left.data(), right.data()};
    output.processStereo(inputs, nullptr, kFrames, false);
  }
  for (int i = 0; i < kLimit - 1; ++i) block(0.0f);
  EXPECT_TRUE(output.isRecording());
  block(0.0f);
  EXPECT_FALSE(output.isRecording());
  EXPECT_EQ(framesWritten(), static_cast<std::size_t>((2 * kLimit - 1) * kFrames));
}

TEST_F(FileOutputTest, NothingStopsTheRecordingBeforeItIsArmed) {
  for (int i = 0; i < 3 * kLimit; ++i) block(0.0f);
  EXPECT_TRUE(output.isRecording());
  EXPECT_TRUE(output.stopRecording());
  EXPECT_EQ(framesWritten(), static_cast<std::size_t>(3 * kLimit * kFrames));
  EXPECT_FALSE(output.stopRecording());
  EXPECT_FALSE(output.startRecording());  // a new file first
}

TEST_F(FileOutputTest, RecordedSamplesAreClampedWhileTheInputsAreNot) {
  std::vector<float> left{1.5f, -0.25f, 1.0f, -3.0f};
  std::vector<float> right{-1.5f, 0.75f, 2.0f, 0.0f};
  left.resize(kFrames, 0.5f);
  right.resize(kFrames, -0.5f);
  const std::vector<float> leftBefore = left;
  float* inputs[2] = {left.data(), right.data()};
  output.processStereo(inputs, nullptr, kFrames, false);
  EXPECT_EQ(left, leftBefore);
  ASSERT_TRUE(output.stopRecording());
  const auto file = kelo::test::readBack(path);
  ASSERT_EQ(file.samples.size(), 2u * kFrames);
  EXPECT_EQ(std::vector<float>(file.samples.begin(), file.samples.begin() + 8),
            (std::vector<float>{1.0f, -1.0f, -0.25f, 0.75f, 1.0f, 1.0f, -1.0f, 0.0f}));
}

TEST_F(FileOutputTest, ABlockLongerThanASecondStillEndsTheRecording) {
  const vantor::DSPInfo longBlocks(22050, 32768);
  ASSERT_TRUE(output.stopRecording());
  vantor::DSPInfo offline = longBlocks;
  offline.offline = true;
  output.setDSPInfo(&offline);
  ASSERT_EQ(output.silentBlockLimit(), 1);
  ASSERT_TRUE(output.setRecordingFile(dir.file("long.wav"), 0, 0, kFloat32));
  ASSERT_TRUE(output.startRecording());
  output.engageRMSCalculation(true);
  std::vector<float> silence(32768, 0.0f);
  float* inputs[2] = {silence.data(), silence.data()};
  output.processStereo(inputs, nullptr, 32768, false);
  EXPECT_FALSE(output.isRecording());
}

TEST(GraphRecording, TheDeviceHearsTheMixUnclampedWhileTheFileGetsItClamped) {
  ASSERT_TRUE(kelo::test::sndfileBound());
  kelo::test::TempDir dir;
  vantor::Instance context;
  context.init();
  context.setOffline(true);
  vantor::GraphManager graph;
  graph.init(&context, context.dspInfo());
  ASSERT_TRUE(graph.addInstrument(0, new kelo::test::RecordingInstrument(1.5f)));
  const std::string path = dir.file("mix.wav");
  ASSERT_TRUE(graph.setRecordingFile(path, 0, 0, kFloat32));
  ASSERT_TRUE(graph.startRecording());
  std::vector<float> left(kFrames);
  std::vector<float> right(kFrames);
  float* outputs[2] = {left.data(), right.data()};
  graph.runGraphStereo(outputs, kFrames);  // the gains' fade-in
  graph.runGraphStereo(outputs, kFrames);
  EXPECT_NEAR(left[100], 1.5f, 1e-4f);
  EXPECT_NEAR(right[100], -1.5f, 1e-4f);
  ASSERT_TRUE(graph.stopRecording());
  EXPECT_FALSE(graph.isRecording());
  const auto file = kelo::test::readBack(path);
  ASSERT_EQ(file.samples.size(), 4u * kFrames);
  EXPECT_EQ(file.samples[2 * (kFrames + 100)], 1.0f);
  EXPECT_EQ(file.samples[2 * (kFrames + 100) + 1], -1.0f);
}

TEST(FileOutputLive, ALiveRecordingNeverStopsByItself) {
  ASSERT_TRUE(kelo::test::sndfileBound());
  kelo::test::LogCapture log;
  kelo::test::TempDir dir;
  const vantor::DSPInfo format(44100, kFrames);  // not offline
  vantor::StereoFileOutputModule output;
  output.init(nullptr, &format);
  output.setDSPInfo(&format);
  ASSERT_TRUE(output.setRecordingFile(dir.file("live.wav"), 0, 0, kFloat32));
  EXPECT_FALSE(output.setRecordingFile(dir.file("other.wav"), 0, 0, kFloat32));
  ASSERT_TRUE(output.startRecording());
  output.engageRMSCalculation(true);
  std::vector<float> silence(kFrames, 0.0f);
  float* inputs[2] = {silence.data(), silence.data()};
  for (int i = 0; i < 3 * kLimit; ++i) output.processStereo(inputs, nullptr, kFrames, false);
  EXPECT_TRUE(output.isRecording());
  EXPECT_TRUE(output.stopRecording());
  // Written whole and closed on the disk thread.
  const std::string path = dir.file("live.wav");
  EXPECT_TRUE(kelo::test::eventually([&] {
    return log.has('I', "Streamer::doCloseFile:" + path) &&
           kelo::test::readBack(path).samples.size() == 3u * kLimit * 2 * kFrames;
  }));
}

TEST(FileOutputErrors, AFileThatCannotBeOpenedIsRefusedAndNothingIsKept) {
  ASSERT_TRUE(kelo::test::sndfileBound());
  const vantor::DSPInfo format(44100, kFrames);
  vantor::StereoFileOutputModule output;
  output.init(nullptr, &format);
  EXPECT_FALSE(output.startRecording());
  // The caller tells the user, once, with the reason: nothing is shown here.
  vantor::RecordingAlertBackend alerts;
  vantor::setAlertBackend(&alerts);
  std::string reason;
  EXPECT_FALSE(output.setRecordingFile("/nonexistent-folder/out.wav", 0, 0, 16, &reason));
  vantor::setAlertBackend(nullptr);
  EXPECT_TRUE(alerts.shown().empty());
  EXPECT_NE(reason.find("No such file or directory"), std::string::npos) << reason;
  EXPECT_FALSE(output.hasFile());
  EXPECT_FALSE(output.startRecording());
}

}  // namespace
