#include <atomic>
#include <chrono>
#include <thread>
#include <cmath>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "standalone/host/DSPInfo.h"
#include "standalone/host/GraphManager.h"
#include "standalone/host/Instance.h"
#include "standalone/host/MIDIFilePlayer.h"
#include "standalone/host/OfflineThread.h"
#include "standalone/host/RenderBlockHooks.h"
#include "standalone/host/SMPLModule.h"
#include "tests/standalone/host/HostTestSupport.h"
#include "tests/standalone/host/graph/GraphTestSupport.h"
#include "tests/standalone/streamer/StreamerTestSupport.h"
#include "tests/support/PreferenceSandbox.h"
#include "tests/support/TempDir.h"

KELO_PREFERENCE_SANDBOX();

namespace {

constexpr unsigned kFrames = 512;
constexpr int kLimit = 44100 / 512;

// Counts the blocks the render announces.
class CountingHooks : public vantor::RenderBlockHooks {
 public:
  void preGraph(const vantor::Context*) override { pre.fetch_add(1); }
  void postGraph(const vantor::Context*) override { post.fetch_add(1); }
  std::atomic<int> pre{0};
  std::atomic<int> post{0};
};

bool silentBlock(const std::vector<float>& interleaved, std::size_t block) {
  double left = 0;
  double right = 0;
  for (std::size_t i = block * kFrames; i < (block + 1) * kFrames; ++i) {
    left += interleaved[2 * i] * interleaved[2 * i];
    right += interleaved[2 * i + 1] * interleaved[2 * i + 1];
  }
  return std::sqrt(left / kFrames) <= 0.1 && std::sqrt(right / kFrames) <= 0.1;
}

// What the graph renders offline, recomputed without it: the player's events block by block
// through a second engine instance, with the slot and master gains' first-block ramps.
struct Reference {
  std::vector<float> interleaved;
  std::size_t endBlock = 0;  // the first block after which the player rests at its end
};

Reference renderReference(kelo::test::ReferenceEngine& engine, std::size_t blocks) {
  Reference out;
  vantor::DSPInfo format(44100, kFrames);
  format.offline = true;
  vantor::MIDIFilePlayer player;
  player.init(nullptr, &format);
  EXPECT_TRUE(player.setMIDIFile(KELO_DEMO_MIDI));
  player.playFile();

  EngineCreateInfo info{0, 2, kKeloHostConstantStandalone, nullptr};
  const std::string data = engine.data.path();
  info.dataPath = data.c_str();
  void* instance = nullptr;
  engine.opcode(nullptr, KELO_OP_INSTANCE_CREATE, &info, &instance, nullptr, 0, 0, 0, 0);
  EXPECT_NE(instance, nullptr);
  engine.opcode(instance, KELO_OP_DSP_SET, nullptr, nullptr, nullptr, 44100, 0, kFrames, 0);
  engine.opcode(instance, KELO_OP_START, nullptr, nullptr, nullptr, 1, 0, 0, 0);
  auto block = std::make_unique<MIDIEventBlock>();
  std::vector<vantor::MIDIEvent> events;
  events.reserve(8192);
  std::vector<float> left(kFrames);
  std::vector<float> right(kFrames);
  float* outputs[2] = {left.data(), right.data()};
  for (std::size_t b = 0; b < blocks; ++b) {
    player.fireSyncInfo();
    player.getMIDIEvents(events);
    if (out.endBlock == 0 && player.getNormalisedPos() == 1.0) out.endBlock = b;
    block->numEvents = std::min<std::size_t>(events.size(), 1024);
    std::copy(events.begin(), events.begin() + static_cast<long>(block->numEvents),
              block->events);
    events.clear();
    std::fill(left.begin(), left.end(), 0.0f);
    std::fill(right.begin(), right.end(), 0.0f);
    engine.opcode(instance, KELO_OP_PROCESS, block.get(), outputs, nullptr, kFrames, 0, 0, 0);
    for (unsigned i = 0; i < kFrames; ++i) {
      const float ramp = b == 0 ? static_cast<float>(i) / kFrames : 1.0f;
      out.interleaved.push_back(std::clamp(left[i] * ramp * ramp, -1.0f, 1.0f));
      out.interleaved.push_back(std::clamp(right[i] * ramp * ramp, -1.0f, 1.0f));
    }
  }
  engine.opcode(instance, KELO_OP_STOP, nullptr, nullptr, nullptr, 0, 0, 0, 0);
  engine.opcode(instance, KELO_OP_INSTANCE_DESTROY, nullptr, nullptr, nullptr, 0, 0, 0, 0);
  return out;
}

TEST(OfflineRender, TheDemoFileRendersToItsEndAndAboutASecondOfQuiet) {
  kelo::test::LogCapture log;
  ASSERT_TRUE(kelo::test::sndfileBound());
  kelo::test::ReferenceEngine engine;
  engine.install();
  kelo::test::TempDir dir;
  const std::string path = dir.file("render.wav");

  // The back end switched offline, as the render-offline dialog does it.
  vantor::Instance context;
  context.init();
  context.setOffline(true);
  auto* graph = new vantor::GraphManager;
  graph->init(&context, context.dspInfo());
  auto* module = new vantor::SMPLModule;
  module->init(&context, context.dspInfo());
  module->start();
  ASSERT_TRUE(graph->addInstrument(0, module));
  graph->setDSPInfo(context.dspInfo());
  ASSERT_TRUE(graph->setMIDIFile(KELO_DEMO_MIDI));
  ASSERT_TRUE(graph->setRecordingFile(path, 0, 0, 32));
  ASSERT_TRUE(graph->startRecording());
  ASSERT_TRUE(graph->startMIDIFile());

  CountingHooks hooks;
  auto* thread = new vantor::OfflineThread(*graph, &hooks);
  ASSERT_TRUE(thread->isRunning());
  ASSERT_TRUE(thread->start(&context));
  EXPECT_TRUE(kelo::test::eventually([&] { return !graph->isRecording(); }));
  thread->stop();
  const int rendered = hooks.post.load();
  EXPECT_EQ(hooks.pre.load(), rendered);
  std::atomic<bool> gone{false};
  thread->die(&gone);  // the thread deletes itself
  EXPECT_TRUE(kelo::test::eventually([&] { return gone.load(); }));

  const auto file = kelo::test::readBack(path);
  ASSERT_TRUE(file.opened);
  ASSERT_EQ(file.info.samplerate, 44100);
  ASSERT_EQ(file.info.channels, 2);
  ASSERT_EQ(file.samples.size() % (2 * kFrames), 0u);
  const std::size_t blocks = file.samples.size() / (2 * kFrames);

  const Reference reference = renderReference(engine, blocks + kLimit);
  ASSERT_GT(reference.endBlock, 0u);
  // The notes start where the file puts them: the whole recording matches the events laid
  // at their frames, sample for sample within the gains' rounding.
  ASSERT_GE(reference.interleaved.size(), file.samples.size());
  for (std::size_t i = 0; i < file.samples.size(); ++i) {
    ASSERT_NEAR(file.samples[i], reference.interleaved[i], 1e-4f) << "sample " << i;
  }
  EXPECT_EQ(file.samples[0], 0.0f);

  // The end: the limit of quiet blocks, counted from the later of the player's end and the
  // output falling to 0.1; the block that reached the limit is not written.
  std::size_t quietFrom = reference.endBlock;
  for (std::size_t b = reference.endBlock; b < blocks + kLimit; ++b) {
    if (!silentBlock(reference.interleaved, b)) quietFrom = b + 1;
    if (b + 1 - quietFrom == static_cast<std::size_t>(kLimit)) break;
  }
  EXPECT_EQ(blocks, quietFrom + kLimit - 1);
  // Four bars at 120 bpm: the player rests at the end after 8 s (689 blocks and a part).
  EXPECT_GE(reference.endBlock, 689u);
  EXPECT_LE(reference.endBlock, 691u);
  EXPECT_GE(blocks, reference.endBlock + kLimit - 1);
  EXPECT_TRUE(engine.findings().empty());
  delete graph;
}

TEST(OfflineThread, RendersOnlyWhileStartedAndKeepsItsBuffer) {
  vantor::Instance context;
  context.init();
  context.setOffline(true);
  vantor::GraphManager graph;
  graph.init(&context, context.dspInfo());
  CountingHooks hooks;
  auto* thread = new vantor::OfflineThread(graph, &hooks);
  ASSERT_TRUE(thread->isRunning());
  EXPECT_FALSE(thread->isStarted());
  EXPECT_EQ(thread->blocksRendered(), 0u);
  for (int round = 0; round < 3; ++round) {
    ASSERT_TRUE(thread->start(&context));
    EXPECT_TRUE(thread->isStarted());
    const auto before = thread->blocksRendered();
    EXPECT_TRUE(kelo::test::eventually([&] { return thread->blocksRendered() > before + 10; }));
    ASSERT_TRUE(thread->stop());
    const auto after = thread->blocksRendered();
    // Stopped: no further block once the settle time has passed.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(thread->blocksRendered(), after);
  }
  ASSERT_TRUE(thread->start(&context));
  std::atomic<bool> gone{false};
  thread->die(&gone);  // while rendering: ends after the current block
  EXPECT_TRUE(kelo::test::eventually([&] { return gone.load(); }));
  EXPECT_EQ(hooks.pre.load(), hooks.post.load());
}

TEST(OfflineThread, DiesWhileIdleAndRefusesAStartWithoutContext) {
  vantor::Instance context;
  context.init();
  vantor::GraphManager graph;
  graph.init(&context, context.dspInfo());
  CountingHooks hooks;
  auto* thread = new vantor::OfflineThread(graph, &hooks);
  ASSERT_TRUE(thread->isRunning());
  EXPECT_FALSE(thread->start(nullptr));
  EXPECT_FALSE(thread->isStarted());
  std::atomic<bool> gone{false};
  thread->die(&gone);  // never started: it leaves its wait and ends
  EXPECT_TRUE(kelo::test::eventually([&] { return gone.load(); }));
  EXPECT_EQ(hooks.pre.load(), 0);
}

}  // namespace
