#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "standalone/host/DSPInfo.h"
#include "standalone/host/GraphManager.h"
#include "standalone/host/Instance.h"
#include "standalone/host/MIDIFilePlayer.h"
#include "standalone/host/StereoFileOutputModule.h"
#include "standalone/host/StereoGainModule.h"
#include "tests/standalone/host/HostTestSupport.h"
#include "tests/standalone/host/graph/GraphTestSupport.h"
#include "tests/support/SmfWriter.h"
#include "tests/support/TempDir.h"

namespace {

using kelo::test::FakeMIDISource;
using kelo::test::RecordingInstrument;
using kelo::test::tuplesOf;

constexpr unsigned kFrames = 512;

class GraphTest : public testing::Test {
 protected:
  void SetUp() override {
    context.init();
    graph.init(&context, context.dspInfo());
    left.assign(kFrames, 7.0f);
    right.assign(kFrames, 7.0f);
  }

  void render() {
    float* outputs[2] = {left.data(), right.data()};
    graph.runGraphStereo(outputs, kFrames);
  }

  // The source's device and a recording instrument in the graph, the note file playing.
  RecordingInstrument* playNoteFileWith(FakeMIDISource& source, float level = 0.0f) {
    graph.addMIDIDevice(source.id, source.open(&context, context.dspInfo()));
    auto* instrument = new RecordingInstrument(level);
    EXPECT_TRUE(graph.addInstrument(0, instrument));
    EXPECT_TRUE(graph.setMIDIFile(noteFile()));
    graph.startMIDIFile();
    return instrument;
  }

  // A file with one note-on at beat 0 (frame 0 of the first block) and one a beat later.
  std::string noteFile() {
    kelo::test::SmfTrack track;
    track.noteOn(0, 0, 60, 100).noteOff(240, 0, 60).noteOn(480, 0, 62, 100).noteOff(720, 0, 62);
    track.endOfTrack(4 * 480);
    const std::string path = dir.file("notes.mid");
    EXPECT_TRUE(kelo::test::writeFile(path, kelo::test::smfFile(0, 480, {track})));
    return path;
  }

  kelo::test::TempDir dir;
  vantor::Instance context;
  vantor::GraphManager graph;
  std::vector<float> left;
  std::vector<float> right;
};

TEST_F(GraphTest, ARenderWhileAnotherThreadHoldsTheMutexTouchesNothing) {
  FakeMIDISource source;
  RecordingInstrument* instrument = playNoteFileWith(source, 0.5f);
  ASSERT_TRUE(source.send(0x90, 64, 100));

  std::mutex m;
  std::condition_variable changed;
  int stage = 0;  // 1: held, 2: may release
  std::thread holder([&] {
    graph.mutex().lock();
    {
      std::lock_guard<std::mutex> lock(m);
      stage = 1;
    }
    changed.notify_all();
    std::unique_lock<std::mutex> lock(m);
    changed.wait(lock, [&] { return stage == 2; });
    graph.mutex().unlock();
  });
  {
    std::unique_lock<std::mutex> lock(m);
    changed.wait(lock, [&] { return stage == 1; });
  }
  render();
  EXPECT_TRUE(instrument->blocks.empty());
  EXPECT_EQ(left, std::vector<float>(kFrames, 7.0f));
  EXPECT_EQ(right, std::vector<float>(kFrames, 7.0f));
  EXPECT_EQ(graph.getMIDIFilePos(), 0.0);
  {
    std::lock_guard<std::mutex> lock(m);
    stage = 2;
  }
  changed.notify_all();
  holder.join();

  // Nothing was consumed: the next block brings the device's note and the file's first one.
  render();
  ASSERT_EQ(instrument->blocks.size(), 1u);
  EXPECT_EQ(tuplesOf(instrument->blocks[0]),
            (std::vector<kelo::test::EventTuple>{{0x90, 64, 100, 0}, {0x90, 60, 100, 0}}));
  EXPECT_GT(graph.getMIDIFilePos(), 0.0);
}

TEST_F(GraphTest, EqualOffsetsArriveDeviceEventsFirstThenFileEvents) {
  FakeMIDISource source;
  RecordingInstrument* instrument = playNoteFileWith(source);
  // Without jitter reduction (11.6 ms blocks) device events lie one frame apart from 0.
  ASSERT_TRUE(source.send(0x91, 40, 1));
  ASSERT_TRUE(source.send(0x91, 41, 2));
  render();
  ASSERT_EQ(instrument->blocks.size(), 1u);
  EXPECT_EQ(tuplesOf(instrument->blocks[0]), (std::vector<kelo::test::EventTuple>{
                                                 {0x91, 40, 1, 0},
                                                 {0x90, 60, 100, 0},
                                                 {0x91, 41, 2, 1},
                                             }));
}

TEST_F(GraphTest, ALongBlockOfEventsIsSortedWithoutLosingAny) {
  FakeMIDISource source;
  RecordingInstrument* instrument = playNoteFileWith(source);
  for (int i = 0; i < 40; ++i) ASSERT_TRUE(source.send(0xB0, 1, static_cast<std::uint8_t>(i)));
  render();
  ASSERT_EQ(instrument->blocks.size(), 1u);
  const auto& events = instrument->blocks[0];
  ASSERT_EQ(events.size(), 41u);
  for (std::size_t i = 1; i < events.size(); ++i) {
    EXPECT_LE(events[i - 1].frameOffset, events[i].frameOffset) << i;
  }
  EXPECT_GE(graph.eventCapacity(), events.size());
}

TEST_F(GraphTest, NewSlotAndMasterGainsRampFromZeroToOneOverTheirFirstBlock) {
  ASSERT_TRUE(graph.addInstrument(0, new RecordingInstrument(1.0f)));
  render();
  // Output = slot gain x master gain, both ramping i / 512.
  for (unsigned i : {0u, 1u, 128u, 256u, 511u}) {
    const float ramp = static_cast<float>(i) / kFrames;
    EXPECT_NEAR(left[i], ramp * ramp, 1e-5f) << i;
    EXPECT_NEAR(right[i], -ramp * ramp, 1e-5f) << i;
  }
  render();
  for (unsigned i : {0u, 256u, 511u}) EXPECT_NEAR(left[i], 1.0f, 1e-5f) << i;
}

TEST(StereoGainModule, RampsLinearlyToItsTargetAndHoldsIt) {
  const vantor::DSPInfo format(44100, 4);
  vantor::StereoGainModule gain;
  gain.init(nullptr, &format);
  std::vector<float> in(4, 2.0f);
  std::vector<float> outL(4, 1.0f);
  std::vector<float> outR(4, 1.0f);
  float* inputs[2] = {in.data(), in.data()};
  float* outputs[2] = {outL.data(), outR.data()};
  gain.processStereo(inputs, outputs, 4, false);
  EXPECT_EQ(outL, (std::vector<float>{0.0f, 0.5f, 1.0f, 1.5f}));
  gain.processStereo(inputs, outputs, 4, true);  // added to what is there
  EXPECT_EQ(outL, (std::vector<float>{2.0f, 2.5f, 3.0f, 3.5f}));
  gain.setGain(0.5f);
  gain.processStereo(inputs, outputs, 4, false);
  EXPECT_EQ(outR, (std::vector<float>{2.0f, 1.75f, 1.5f, 1.25f}));
  EXPECT_EQ(gain.currentGain(), 0.5f);
}

TEST_F(GraphTest, WithoutAnInstrumentDevicesAreDrainedTheMixIsSilentAndThePlayerWaits) {
  FakeMIDISource source;
  graph.addMIDIDevice(source.id, source.open(&context, context.dspInfo()));
  ASSERT_TRUE(graph.setMIDIFile(noteFile()));
  graph.startMIDIFile();
  ASSERT_TRUE(source.send(0x90, 64, 100));
  render();
  EXPECT_EQ(left, std::vector<float>(kFrames, 0.0f));
  EXPECT_EQ(right, std::vector<float>(kFrames, 0.0f));
  EXPECT_EQ(graph.getMIDIFilePos(), 0.0);

  // The note played while no instrument was there is gone, not delivered late.
  auto* instrument = new RecordingInstrument;
  ASSERT_TRUE(graph.addInstrument(0, instrument));
  render();
  ASSERT_EQ(instrument->blocks.size(), 1u);
  EXPECT_EQ(tuplesOf(instrument->blocks[0]),
            (std::vector<kelo::test::EventTuple>{{0x90, 60, 100, 0}}));
}

TEST_F(GraphTest, SlotsAndDevicesAreKeptAsTheCommandsSay) {
  kelo::test::LogCapture log;
  auto* first = new RecordingInstrument;
  RecordingInstrument second;
  ASSERT_TRUE(graph.addInstrument(0, first));
  EXPECT_FALSE(graph.addInstrument(0, &second));
  EXPECT_TRUE(log.has('E', "GraphManager::addInstrument, already an instrument in slot: 0"));
  EXPECT_EQ(graph.getInstrument(0), first);

  graph.start();
  graph.stop();
  EXPECT_EQ(first->starts, 1);
  EXPECT_EQ(first->stops, 1);

  unsigned char* chunk = nullptr;
  int size = 0;
  EXPECT_FALSE(graph.saveInstrumentChunk(3, &chunk, size));
  EXPECT_TRUE(log.has('E', "GraphManager::saveInstrumentChunk, no instrument in slot: 3"));
  EXPECT_FALSE(graph.loadInstrumentChunk(3, chunk, size));
  EXPECT_TRUE(log.has('E', "GraphManager::loadInstrumentChunk, no instrument in slot: 3"));
  EXPECT_FALSE(graph.showInstrumentUI(2, nullptr));
  EXPECT_TRUE(log.has('E', "GraphManager::showInstrumentUI, no instrument in slot: 2"));

  EXPECT_TRUE(graph.removeInstrument(0));
  EXPECT_FALSE(graph.removeInstrument(0));
  EXPECT_TRUE(log.has('E', "GraphManager::removeInstrument, no instrument in slot: 0"));
  EXPECT_EQ(graph.getSlotGain(0), nullptr);

  FakeMIDISource source;
  graph.addMIDIDevice(source.id, source.open(&context, context.dspInfo()));
  std::vector<int> ids{-5};
  graph.getUsedMIDIDevice(ids, 0);
  graph.getUsedMIDIDevice(ids, 1);
  graph.getUsedMIDIDevice(ids, 7);
  EXPECT_EQ(ids, (std::vector<int>{-5, source.id}));
  graph.removeMIDIDevice(12345);
  graph.removeMIDIDevice(source.id);
  EXPECT_EQ(graph.getMIDIDevice(source.id), nullptr);
}

TEST(GraphSilentBlockLimit, IsAboutOneSecondOfBlocksAndAtLeastOne) {
  struct Case {
    std::uint32_t rate;
    std::uint32_t block;
    std::int32_t limit;
  };
  for (const Case& c : {Case{44100, 512, 86}, Case{48000, 256, 187}, Case{44100, 44100, 1},
                        Case{22050, 65536, 1}}) {
    const vantor::DSPInfo format(c.rate, c.block);
    vantor::StereoFileOutputModule output;
    output.init(nullptr, &format);
    output.setDSPInfo(&format);
    EXPECT_EQ(output.silentBlockLimit(), c.limit) << c.rate << "/" << c.block;
  }
}

}  // namespace
