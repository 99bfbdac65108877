#include <atomic>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "standalone/host/IORequest.h"
#include "standalone/host/StreamedAudioFileWrite.h"
#include "standalone/host/Streamer.h"
#include "tests/standalone/host/HostTestSupport.h"
#include "tests/standalone/streamer/StreamerTestSupport.h"
#include "tests/support/TempDir.h"

namespace {

using kelo::test::eventually;
using kelo::test::ramp;
using kelo::test::readBack;
using vantor::IOOperation;
using vantor::IORequest;
using vantor::StreamedAudioFileWrite;

constexpr int kRate = 44100;
constexpr std::int64_t kBufferSamples = 2 * kRate * 2;  // two seconds of stereo

// A streamer whose disk thread starts when the test says, so that requests can be made to wait
// in the incoming queue.
class HeldStreamer : public vantor::Streamer {
 public:
  HeldStreamer() : vantor::Streamer(false) {}
  using vantor::Streamer::start;
};

class StreamerTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(library.bound); }

  template <class S = vantor::Streamer>
  S* make() {
    auto* streamer = new S;
    streamer_ = streamer;
    return streamer;
  }

  // Stops the disk thread and waits until the object is gone, so that nothing of it runs on.
  void stop() {
    std::atomic<std::int32_t> done{0};
    streamer_->die(&done);
    EXPECT_EQ(done.load(), 1);
    streamer_ = nullptr;
    EXPECT_TRUE(eventually([&] { return log.has('I', "Streamer::~Streamer()"); }));
  }

  void TearDown() override {
    if (streamer_) stop();
  }

  // Writes `samples` in blocks of `blockSamples`, as the render would.
  static void writeLive(StreamedAudioFileWrite* file, const std::vector<float>& samples,
                        std::int64_t blockSamples) {
    for (std::size_t at = 0; at < samples.size(); at += static_cast<std::size_t>(blockSamples)) {
      const std::int64_t n =
          std::min<std::int64_t>(blockSamples, static_cast<std::int64_t>(samples.size() - at));
      ASSERT_EQ(file->writeSamples(samples.data() + at, n, false), n);
    }
  }

  bool closed(const std::string& path) { return log.has('I', "Streamer::doCloseFile:" + path); }
  // Written whole and its close begun: the disk thread has taken every request of the file.
  bool finished(const std::string& path, const std::vector<float>& samples) {
    return closed(path) && readBack(path).samples == samples;
  }

  kelo::test::LogCapture log;
  kelo::test::BoundSndfile library;
  kelo::test::TempDir dir;
  vantor::Streamer* streamer_ = nullptr;
};

TEST_F(StreamerTest, ALiveRampReadsBackSampleExactAndClosesWithoutShutDown) {
  vantor::Streamer* streamer = make();
  const std::string path = dir.file("ramp.wav");
  StreamedAudioFileWrite* file = streamer->openWrite(path, 0, 0, kRate, 32, 2, false);
  const std::vector<float> samples = ramp(kRate * 7 / 2);  // 3.5 s
  writeLive(file, samples, 2 * 1024);
  streamer->closeFile(file, false);

  // The last buffer and the close reach the disk while the thread keeps running.
  EXPECT_TRUE(eventually([&] { return finished(path, samples); }));
  stop();
  const kelo::test::ReadBack back = readBack(path);
  EXPECT_EQ(back.info.frames, kRate * 7 / 2);
  EXPECT_EQ(back.encoding(), SF_FORMAT_FLOAT);
  EXPECT_EQ(back.samples, samples);
}

TEST_F(StreamerTest, BlocksFillABufferUntilTheNextNoLongerFits) {
  HeldStreamer* streamer = make<HeldStreamer>();
  StreamedAudioFileWrite* file =
      streamer->openWrite(dir.file("blocks.wav"), 0, 0, kRate, 16, 2, false);
  ASSERT_EQ(file->getBufferSamples(), 176400);
  const std::vector<float> block = ramp(512);
  for (int i = 0; i < 172; ++i) file->writeSamples(block.data(), 1024, false);
  EXPECT_EQ(file->getUsed(), 172 * 1024);
  file->writeSamples(block.data(), 1024, false);  // the 173rd starts a new buffer
  EXPECT_EQ(file->getUsed(), 1024);
  streamer->closeFile(file, false);
  streamer->start();
}

TEST_F(StreamerTest, StoppingHalfWayThroughABufferWritesThatHalfAndCloses) {
  vantor::Streamer* streamer = make();
  const std::string path = dir.file("half.aiff");
  StreamedAudioFileWrite* file = streamer->openWrite(path, 1, 0, kRate, 24, 2, false);
  const std::vector<float> samples = ramp(kRate);  // one second: half a buffer
  writeLive(file, samples, 2 * 512);
  EXPECT_EQ(file->getUsed(), kBufferSamples / 2);
  streamer->closeFile(file, false);
  EXPECT_TRUE(eventually([&] { return finished(path, samples); }));
  stop();
  const kelo::test::ReadBack back = readBack(path);
  EXPECT_EQ(back.container(), SF_FORMAT_AIFF);
  EXPECT_EQ(back.samples, samples);
}

TEST_F(StreamerTest, OfflineWritesDirectlyAndClosesAtOnce) {
  HeldStreamer* streamer = make<HeldStreamer>();  // no disk thread: nothing may need one
  const std::string path = dir.file("offline.wav");
  StreamedAudioFileWrite* file = streamer->openWrite(path, 0, 1, kRate, 32, 2, false);
  const std::vector<float> samples = ramp(kRate * 3);
  for (std::size_t at = 0; at < samples.size(); at += 2 * 512) {
    const auto n = std::min<std::int64_t>(2 * 512, static_cast<std::int64_t>(samples.size() - at));
    ASSERT_EQ(file->writeSamples(samples.data() + at, n, true), n);
  }
  EXPECT_EQ(file->getUsed(), 0);
  streamer->closeFile(file, true);
  EXPECT_TRUE(closed(path));
  const kelo::test::ReadBack back = readBack(path);
  EXPECT_EQ(back.container(), SF_FORMAT_WAVEX);
  EXPECT_EQ(back.samples, samples);
  streamer->start();
}

TEST_F(StreamerTest, AnImmediateCloseWritesEveryPendingBufferOfItsFileInOrder) {
  // While the disk thread is held, every buffer waits in the incoming queue, those of another
  // file among them; the immediate close must write its own file's, in order, and leave the
  // others for the disk thread.
  HeldStreamer* streamer = make<HeldStreamer>();
  const std::string pathA = dir.file("a.wav");
  const std::string pathB = dir.file("b.wav");
  StreamedAudioFileWrite* a = streamer->openWrite(pathA, 0, 0, kRate, 32, 2, false);
  StreamedAudioFileWrite* b = streamer->openWrite(pathB, 0, 0, kRate, 32, 2, false);
  const std::vector<float> samplesA = ramp(kRate * 5);  // two full buffers and a half
  const std::vector<float> samplesB = ramp(kRate * 3, 77);
  writeLive(a, std::vector<float>(samplesA.begin(), samplesA.begin() + kBufferSamples + 8), 8);
  writeLive(b, samplesB, 4096);
  writeLive(a, std::vector<float>(samplesA.begin() + kBufferSamples + 8, samplesA.end()), 4096);

  streamer->closeFile(a, true);
  EXPECT_TRUE(closed(pathA));
  EXPECT_EQ(readBack(pathA).samples, samplesA);
  EXPECT_FALSE(closed(pathB));

  streamer->closeFile(b, false);
  streamer->start();
  EXPECT_TRUE(eventually([&] { return finished(pathB, samplesB); }));
}

TEST_F(StreamerTest, ADirectWriteAfterLiveBuffersKeepsTheFileInOrder) {
  // A live recording that goes on while the render switches to offline.
  HeldStreamer* streamer = make<HeldStreamer>();
  const std::string path = dir.file("switch.wav");
  StreamedAudioFileWrite* file = streamer->openWrite(path, 0, 0, kRate, 32, 2, false);
  const std::vector<float> samples = ramp(kRate * 4);
  const std::int64_t live = kBufferSamples * 3 / 2;
  writeLive(file, std::vector<float>(samples.begin(), samples.begin() + live), 1024);
  EXPECT_EQ(file->writeSamples(samples.data() + live, static_cast<std::int64_t>(samples.size()) - live, true),
            static_cast<std::int64_t>(samples.size()) - live);
  streamer->closeFile(file, true);
  EXPECT_EQ(readBack(path).samples, samples);
  streamer->start();
}

TEST_F(StreamerTest, ABlockLargerThanABufferAndWritesAfterTheCloseAreSafe) {
  HeldStreamer* streamer = make<HeldStreamer>();
  const std::string path = dir.file("large.wav");
  StreamedAudioFileWrite* file = streamer->openWrite(path, 0, 0, kRate, 32, 2, false);
  const std::vector<float> samples = ramp(kRate * 5);  // 2.5 buffers in one call
  const auto count = static_cast<std::int64_t>(samples.size());
  EXPECT_EQ(file->writeSamples(samples.data(), 100, false), 100);
  EXPECT_EQ(file->writeSamples(samples.data() + 100, count - 100, false), count - 100);
  // The 100 samples go first, in a buffer of their own: a block never straddles two buffers
  // unless it is larger than one.
  EXPECT_EQ(file->getUsed(), count - 100 - 2 * kBufferSamples);

  // The render may write once more between its stop and the close request: nothing goes in.
  delete IORequest::createCloseRequest(file);
  file->flush();
  EXPECT_EQ(file->writeSamples(samples.data(), 1024, false), 0);
  streamer->doCloseFile(file);
  EXPECT_EQ(readBack(path).samples, samples);
  streamer->start();
}

TEST_F(StreamerTest, AppendingContinuesAfterTheFramesAlreadyThere) {
  HeldStreamer* streamer = make<HeldStreamer>();
  const std::string path = dir.file("append.wav");
  const std::vector<float> samples = ramp(1500);
  StreamedAudioFileWrite* first = streamer->openWrite(path, 0, 0, kRate, 32, 2, false);
  first->writeSamples(samples.data(), 2 * 1000, true);
  streamer->closeFile(first, true);
  StreamedAudioFileWrite* second = streamer->openWrite(path, 0, 0, kRate, 32, 2, true);
  second->writeSamples(samples.data() + 2 * 1000, 2 * 500, true);
  streamer->closeFile(second, true);
  EXPECT_EQ(readBack(path).samples, samples);
  streamer->start();
}

TEST_F(StreamerTest, DieReturnsOnlyAfterEveryQueuedRequestIsHandled) {
  HeldStreamer* streamer = make<HeldStreamer>();
  std::vector<std::string> paths;
  std::vector<std::vector<float>> contents;
  for (int i = 0; i < 3; ++i) {
    paths.push_back(dir.file("take" + std::to_string(i) + ".wav"));
    contents.push_back(ramp(kRate * (3 + i), i * 1000));
    StreamedAudioFileWrite* file = streamer->openWrite(paths.back(), 0, 0, kRate, 32, 2, false);
    writeLive(file, contents.back(), 2048);
    streamer->closeFile(file, false);
  }
  streamer->start();
  stop();
  EXPECT_EQ(IORequest::pooled(IOOperation::Write), 0u);
  EXPECT_EQ(IORequest::pooled(IOOperation::Close), 0u);
  for (std::size_t i = 0; i < paths.size(); ++i) {
    EXPECT_TRUE(closed(paths[i]));
    EXPECT_EQ(readBack(paths[i]).samples, contents[i]) << paths[i];
  }
  const std::string text = log.text();
  EXPECT_LT(text.find("Streamer::die() in"), text.find("Streamer::Entry() out"));
  EXPECT_LT(text.find("Streamer::Entry() out"), text.find("Streamer::die() out"));
}

}  // namespace
