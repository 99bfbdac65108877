#include <atomic>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "standalone/host/GraphManager.h"
#include "standalone/host/Instance.h"
#include "standalone/host/MIDIFilePlayer.h"
#include "standalone/host/SMPLModule.h"
#include "standalone/host/Streamer.h"
#include "tests/standalone/host/HostTestSupport.h"
#include "tests/standalone/host/graph/GraphTestSupport.h"
#include "tests/standalone/streamer/StreamerTestSupport.h"
#include "tests/support/PreferenceSandbox.h"
#include "tests/support/SmfWriter.h"
#include "tests/support/TempDir.h"
#include "tests/support/realtime/RealtimeGuard.h"

KELO_PREFERENCE_SANDBOX();

namespace {

TEST(GraphRealtime, BlocksRenderThroughTheEngineWithoutAllocatingOrBlocking) {
  ASSERT_TRUE(kelo::test::kRealtimeGuarded);
  kelo::test::LogCapture log;
  ASSERT_TRUE(kelo::test::sndfileBound());
  kelo::test::ReferenceEngine engine;
  engine.install();
  kelo::test::TempDir dir;

  vantor::Instance context;
  context.init();
  auto* graph = new vantor::GraphManager;
  graph->init(&context, context.dspInfo());
  kelo::test::FakeMIDISource source;
  graph->addMIDIDevice(source.id, source.open(&context, context.dspInfo()));
  auto* module = new vantor::SMPLModule;
  module->init(&context, context.dspInfo());
  module->start();
  ASSERT_TRUE(graph->addInstrument(0, module));
  ASSERT_TRUE(graph->setMIDIFile(KELO_DEMO_MIDI));
  ASSERT_TRUE(graph->startMIDIFile());
  ASSERT_TRUE(graph->setRecordingFile(dir.file("live.wav"), 0, 0, 32));
  ASSERT_TRUE(graph->startRecording());

  std::vector<float> left(512);
  std::vector<float> right(512);
  float* outputs[2] = {left.data(), right.data()};
  const std::int64_t bufferSamples = 2 * 44100 * 2;  // the streamer's 2-second buffers
  std::int64_t used = 0;
  int handOvers = 0;
  for (int block = 0; block < 500; ++block) {
    if (block % 50 == 0) {
      ASSERT_TRUE(source.send(0x90, 60 + block / 50, 90));
    }
    kelo::test::RealtimeRegion region;
    ASSERT_TRUE(kelo::test::realtimeGuardActive());
    if (used + 1024 > bufferSamples) {
      // The one exemption of the render: a full 2-second recording buffer is handed to the
      // disk thread under "StreamerReqsA" and the next one taken from the pool under
      // "IOReq.write", as the design has it.
      kelo::test::RealtimeExemption handOver("StreamedAudioFileWrite buffer hand-over");
      graph->runGraphStereo(outputs, 512);
      used = 1024;
      ++handOvers;
    } else {
      graph->runGraphStereo(outputs, 512);
      used += 1024;
    }
  }
  EXPECT_EQ(handOvers, 2);
  EXPECT_GT(graph->getMIDIFilePos(), 0.5);
  ASSERT_TRUE(graph->stopRecording());
  delete graph;

  const auto trace = engine.trace();
  int processCalls = 0;
  for (const auto& entry : trace) processCalls += entry.opcode == KELO_OP_PROCESS ? 1 : 0;
  EXPECT_EQ(processCalls, 500);
  EXPECT_TRUE(engine.findings().empty());
}

// Counts the events of each block; allocates nothing.
class CountingInstrument : public vantor::Module {
 public:
  void processMIDIStereo(const std::vector<vantor::MIDIEvent>& events, float**, float**,
                         unsigned, bool) override {
    if (events.size() > most) most = events.size();
    total += events.size();
  }
  std::size_t most = 0;
  std::size_t total = 0;
};

TEST(GraphRealtime, AFileWhoseEventsAllFallInOneBlockRendersWithoutAllocating) {
  ASSERT_TRUE(kelo::test::kRealtimeGuarded);
  kelo::test::TempDir dir;
  // Every note of every channel in the first block, then the same again after a seek.
  kelo::test::SmfTrack track;
  for (int channel = 0; channel < 16; ++channel) {
    for (int key = 0; key < 128; ++key) track.noteOn(0, channel, key, 100);
  }
  track.endOfTrack(4 * 480);
  const std::string path = dir.file("dense.mid");
  ASSERT_TRUE(kelo::test::writeFile(path, kelo::test::smfFile(0, 480, {track})));

  vantor::Instance context;
  context.init();
  vantor::GraphManager graph;
  graph.init(&context, context.dspInfo());
  auto* instrument = new CountingInstrument;
  ASSERT_TRUE(graph.addInstrument(0, instrument));
  ASSERT_TRUE(graph.setMIDIFile(path));
  ASSERT_TRUE(graph.startMIDIFile());
  std::vector<float> left(512);
  std::vector<float> right(512);
  float* outputs[2] = {left.data(), right.data()};
  auto render = [&](int blocks) {
    kelo::test::RealtimeRegion region;
    for (int i = 0; i < blocks; ++i) graph.runGraphStereo(outputs, 512);
  };
  render(4);
  EXPECT_EQ(instrument->most, 2048u);
  ASSERT_TRUE(graph.seekMIDIFile(0.0f));
  render(4);
  // The silencing list, a note-off for each held note, and the 2048 notes again.
  EXPECT_EQ(instrument->most, vantor::MIDIFilePlayer::kShutUpSize + 2048u + 2048u);
  EXPECT_EQ(instrument->total, 2048u + vantor::MIDIFilePlayer::kShutUpSize + 2048u + 2048u);
}

}  // namespace
