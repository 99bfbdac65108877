#include <atomic>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "standalone/host/GraphManager.h"
#include "standalone/host/Instance.h"
#include "standalone/host/SMPLModule.h"
#include "standalone/host/Streamer.h"
#include "tests/standalone/host/HostTestSupport.h"
#include "tests/standalone/host/graph/GraphTestSupport.h"
#include "tests/standalone/streamer/StreamerTestSupport.h"
#include "tests/support/PreferenceSandbox.h"
#include "tests/support/TempDir.h"
#include "tests/support/realtime/RealtimeGuard.h"

KELO_PREFERENCE_SANDBOX();

namespace {

TEST(GraphRealtime, BlocksRenderThroughTheEngineWithoutAllocatingOrBlocking) {
  ASSERT_TRUE(kelo::test::kRealtimeGuarded);
  kelo::test::requirePreferenceSandbox();
  kelo::test::PreferenceSandbox::clear();
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
    if (block % 50 == 0) ASSERT_TRUE(source.send(0x90, 60 + block / 50, 90));
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

}  // namespace
