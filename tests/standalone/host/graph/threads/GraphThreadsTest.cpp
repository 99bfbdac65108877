// The main thread changing what the render uses while the render runs: recordings stopped and
// started, MIDI files loaded. Under ThreadSanitizer these show that the file output's and the
// player's own locks keep the two threads apart.
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "standalone/host/GraphManager.h"
#include "standalone/host/Instance.h"
#include "standalone/host/MIDIFilePlayer.h"
#include "tests/standalone/host/HostTestSupport.h"
#include "tests/standalone/host/graph/GraphTestSupport.h"
#include "tests/standalone/streamer/StreamerTestSupport.h"
#include "tests/support/SmfWriter.h"
#include "tests/support/TempDir.h"

namespace {

constexpr unsigned kFrames = 512;
constexpr float kLevel = 0.25f;

// Plays a constant level on both channels (the right one negated) and counts its blocks and
// events; allocates nothing.
class SteadyInstrument : public vantor::Module {
 public:
  void processMIDIStereo(const std::vector<vantor::MIDIEvent>& events, float**, float** outputs,
                         unsigned frames, bool) override {
    for (unsigned i = 0; i < frames; ++i) {
      outputs[0][i] = kLevel;
      outputs[1][i] = -kLevel;
    }
    eventCount.fetch_add(events.size());
    blocks.fetch_add(1);
  }
  std::atomic<std::uint64_t> blocks{0};
  std::atomic<std::uint64_t> eventCount{0};
};

// A graph with one steady instrument, rendered on a thread of its own until the object goes.
class RenderingGraph {
 public:
  explicit RenderingGraph(bool offline) {
    context.init();
    context.setOffline(offline);
    graph.init(&context, context.dspInfo());
    EXPECT_TRUE(graph.addInstrument(0, instrument));
    // Past the gains' fade-in before anything is recorded.
    float* outputs[2] = {left.data(), right.data()};
    graph.runGraphStereo(outputs, kFrames);
    m_render = std::thread([this] {
      std::vector<float> l(kFrames);
      std::vector<float> r(kFrames);
      float* out[2] = {l.data(), r.data()};
      while (!m_stop.load()) graph.runGraphStereo(out, kFrames);
    });
  }
  ~RenderingGraph() {
    m_stop = true;
    m_render.join();
  }

  /// Waits until the render has run `count` more blocks.
  void blocks(std::uint64_t count) {
    const std::uint64_t target = instrument->blocks.load() + count;
    EXPECT_TRUE(kelo::test::eventually([&] { return instrument->blocks.load() >= target; }));
  }

  vantor::Instance context;
  vantor::GraphManager graph;
  SteadyInstrument* instrument = new SteadyInstrument;  // the graph's

 private:
  std::vector<float> left = std::vector<float>(kFrames);
  std::vector<float> right = std::vector<float>(kFrames);
  std::atomic<bool> m_stop{false};
  std::thread m_render;
};

// Every recording, whether the render was inside a block or not when it stopped, holds whole
// blocks of the steady level and nothing else.
void recordWhileRendering(bool offline) {
  ASSERT_TRUE(kelo::test::sndfileBound());
  kelo::test::LogCapture log;
  kelo::test::TempDir dir;
  std::vector<std::string> paths;
  {
    RenderingGraph rendering(offline);
    for (int take = 0; take < 12; ++take) {
      paths.push_back(dir.file("take" + std::to_string(take) + ".wav"));
      ASSERT_TRUE(rendering.graph.setRecordingFile(paths.back(), 0, 0, 32));
      ASSERT_TRUE(rendering.graph.startRecording());
      rendering.blocks(2 + take % 3);
      ASSERT_TRUE(rendering.graph.stopRecording());
      EXPECT_FALSE(rendering.graph.isRecording());
    }
  }
  for (const std::string& path : paths) {
    // A live recording is closed on the disk thread.
    ASSERT_TRUE(kelo::test::eventually([&] { return log.has('I', "Streamer::doCloseFile:" + path); }))
        << path;
    const auto file = kelo::test::readBack(path);
    ASSERT_TRUE(file.opened) << path;
    EXPECT_EQ(file.samples.size() % (2 * kFrames), 0u) << path;
    for (std::size_t i = 0; i < file.samples.size(); ++i) {
      ASSERT_EQ(file.samples[i], i % 2 == 0 ? kLevel : -kLevel) << path << " sample " << i;
    }
  }
}

TEST(GraphThreads, ALiveRecordingStopsCleanlyWhileTheRenderWritesIt) { recordWhileRendering(false); }

TEST(GraphThreads, AnOfflineRecordingClosesCleanlyWhileTheRenderWritesIt) {
  // Offline the stop closes the file at once, on this thread, while the render writes into it
  // directly: the file output's mutex keeps them apart.
  recordWhileRendering(true);
}

TEST(GraphThreads, MIDIFilesLoadWhileTheRenderPlaysThem) {
  kelo::test::TempDir dir;
  // A small file and one whose first block holds 3000 events: each load must leave room for
  // its largest block before the player can play it.
  kelo::test::SmfTrack sparse;
  sparse.noteOn(0, 0, 60, 100).noteOff(480, 0, 60).endOfTrack(4 * 480);
  kelo::test::SmfTrack dense;
  for (int i = 0; i < 3000; ++i) dense.noteOn(0, (i / 128) % 16, i % 128, 100);
  dense.endOfTrack(4 * 480);
  const std::string small = dir.file("small.mid");
  const std::string large = dir.file("large.mid");
  ASSERT_TRUE(kelo::test::writeFile(small, kelo::test::smfFile(0, 480, {sparse})));
  ASSERT_TRUE(kelo::test::writeFile(large, kelo::test::smfFile(0, 480, {dense})));

  RenderingGraph rendering(false);
  for (int round = 0; round < 10; ++round) {
    ASSERT_TRUE(rendering.graph.setMIDIFile(round % 2 == 0 ? large : small));
    EXPECT_GE(rendering.graph.eventCapacity(),
              rendering.graph.getMIDIFilePlayer()->maxEventsPerBlock());
    ASSERT_TRUE(rendering.graph.startMIDIFile());
    rendering.blocks(3);
    rendering.graph.seekMIDIFile(0.0f);
    rendering.blocks(2);
    EXPECT_GE(rendering.graph.getMIDIFilePos(), 0.0);
    ASSERT_TRUE(rendering.graph.stopMIDIFile());
  }
  // Five loads of the dense file, each played from its start at least twice: nothing dropped.
  EXPECT_GE(rendering.instrument->eventCount.load(), 5u * 2u * 3000u);
}

}  // namespace
