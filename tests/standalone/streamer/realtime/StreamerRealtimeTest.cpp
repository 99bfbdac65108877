#include <atomic>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "standalone/host/StreamedAudioFileWrite.h"
#include "standalone/host/Streamer.h"
#include "tests/standalone/host/HostTestSupport.h"
#include "tests/standalone/streamer/StreamerTestSupport.h"
#include "tests/support/TempDir.h"
#include "tests/support/realtime/RealtimeGuard.h"

namespace {

TEST(StreamerRealtime, TheRenderFillsBuffersWithoutAllocatingOrBlocking) {
  ASSERT_TRUE(kelo::test::kRealtimeGuarded);
  kelo::test::LogCapture log;
  kelo::test::BoundSndfile library;
  ASSERT_TRUE(library.bound);
  kelo::test::TempDir dir;
  const std::string path = dir.file("live.wav");

  auto* streamer = new vantor::Streamer;
  vantor::StreamedAudioFileWrite* file = streamer->openWrite(path, 0, 0, 44100, 32, 2, false);
  const std::int64_t block = 2 * 1024;
  const std::vector<float> samples = kelo::test::ramp(44100 * 7);  // 3.5 buffers
  int handOvers = 0;
  for (std::size_t at = 0; at < samples.size(); at += block) {
    const std::int64_t n =
        std::min<std::int64_t>(block, static_cast<std::int64_t>(samples.size() - at));
    kelo::test::RealtimeRegion region;
    if (file->getUsed() + n > file->getBufferSamples()) {
      // The one exemption of this path, once per 2-second buffer: the full buffer is handed
      // to the disk thread under "StreamerReqsA" and the wake condition's mutex, and the next
      // one is taken from the prefilled pool under "IOReq.write".
      kelo::test::RealtimeExemption handOver("StreamedAudioFileWrite buffer hand-over");
      ASSERT_EQ(file->writeSamples(samples.data() + at, n, false), n);
      ++handOvers;
    } else {
      ASSERT_EQ(file->writeSamples(samples.data() + at, n, false), n);
    }
  }
  EXPECT_EQ(handOvers, 3);
  streamer->closeFile(file, false);

  std::atomic<std::int32_t> done{0};
  streamer->die(&done);
  EXPECT_TRUE(kelo::test::eventually([&] { return log.has('I', "Streamer::~Streamer()"); }));
  EXPECT_EQ(kelo::test::readBack(path).samples, samples);
}

}  // namespace
