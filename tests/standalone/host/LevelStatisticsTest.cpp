#include <cmath>
#include <vector>

#include <gtest/gtest.h>

#include "standalone/host/AudioStatKeeper.h"
#include "standalone/host/MIDINoteMonitor.h"
#include "standalone/host/TimerRectifier.h"
#include "tests/standalone/host/HostTestSupport.h"

namespace {

using kelo::test::EventTuple;
using kelo::test::tuplesOf;
using vantor::AudioStatKeeper;
using vantor::MIDIEvent;
using vantor::MIDINoteMonitor;

constexpr double kRate = 44100;
constexpr int kFrames = 441;  // 10 ms
constexpr double kBlockSeconds = kFrames / kRate;

void feed(AudioStatKeeper& keeper, float value, int blocks = 1) {
  std::vector<float> block(kFrames, value);
  for (int i = 0; i < blocks; ++i) keeper.process(block.data(), kFrames, kRate, kBlockSeconds);
}

TEST(AudioStatKeeper, StartsAtZero) {
  const AudioStatKeeper keeper;
  EXPECT_FALSE(keeper.clipped());
  EXPECT_FALSE(keeper.updated());
  EXPECT_EQ(keeper.level(), 0.0f);
  EXPECT_EQ(keeper.maximumLevel(), 0.0f);
  EXPECT_EQ(keeper.heldPeak(), 0.0f);
  EXPECT_EQ(keeper.peakSample(), 0.0f);
}

TEST(AudioStatKeeper, ClipStaysSetAfterSilence) {
  AudioStatKeeper keeper;
  feed(keeper, 1.0001f);  // at the threshold: not a clip
  EXPECT_FALSE(keeper.clipped());
  feed(keeper, -1.5f);
  EXPECT_TRUE(keeper.clipped());
  feed(keeper, 0.0f, 200);
  EXPECT_TRUE(keeper.clipped());
  EXPECT_TRUE(keeper.updated());
}

TEST(AudioStatKeeper, LevelHalvesEveryTenthOfASecond) {
  AudioStatKeeper keeper;
  feed(keeper, 0.8f);
  EXPECT_EQ(keeper.level(), 0.8f);
  feed(keeper, 0.0f, 10);
  EXPECT_NEAR(keeper.level(), 0.4f, 0.4f * 1e-5f);
  feed(keeper, 0.0f, 10);
  EXPECT_NEAR(keeper.level(), 0.2f, 0.2f * 1e-5f);
  EXPECT_EQ(keeper.maximumLevel(), 0.8f);
  // A louder block takes over at once.
  feed(keeper, 0.9f);
  EXPECT_EQ(keeper.level(), 0.9f);
  EXPECT_EQ(keeper.maximumLevel(), 0.9f);
}

TEST(AudioStatKeeper, HeldPeakClearsAfterOneSecondWithoutAHigherPeak) {
  AudioStatKeeper keeper;
  feed(keeper, 0.7f);
  feed(keeper, 0.5f, 98);  // 0.99 s in all
  EXPECT_EQ(keeper.heldPeak(), 0.7f);
  feed(keeper, 0.5f);      // 1.00 s
  EXPECT_EQ(keeper.heldPeak(), 0.0f);
  feed(keeper, 0.6f);      // a new peak holds again
  EXPECT_EQ(keeper.heldPeak(), 0.6f);
  EXPECT_NEAR(keeper.holdTime(), kBlockSeconds, 1e-12);
}

TEST(AudioStatKeeper, PeakSampleIsTheFirstOfEqualMagnitude) {
  struct Row {
    std::vector<float> samples;
    float peakSample;
  };
  const Row rows[] = {
      {{-0.8f, 0.8f}, -0.8f},
      {{0.8f, -0.8f}, 0.8f},
      {{0.1f, -0.3f, 0.2f}, -0.3f},
      {{0.0f, 0.0f}, 0.0f},
  };
  for (const Row& row : rows) {
    AudioStatKeeper keeper;
    keeper.process(row.samples.data(), static_cast<int>(row.samples.size()), kRate, 0.001);
    EXPECT_EQ(keeper.peakSample(), row.peakSample);
  }
}

TEST(AudioStatKeeper, AnEmptyBlockCountsAsSilenceWithoutTouchingTheSamples) {
  AudioStatKeeper keeper;
  feed(keeper, 0.5f);
  for (int frames : {0, -5}) {
    keeper.process(nullptr, frames, kRate, kBlockSeconds);
    EXPECT_EQ(keeper.peakSample(), 0.0f);
    EXPECT_EQ(keeper.level(), 0.5f);
  }
}

MIDIEvent event(int status, int data1, int data2, float detune = 0) {
  MIDIEvent e{};
  e.bytes[0] = static_cast<std::uint8_t>(status);
  e.bytes[1] = static_cast<std::uint8_t>(data1);
  e.bytes[2] = static_cast<std::uint8_t>(data2);
  e.detune = detune;
  return e;
}

std::vector<MIDIEvent> notesOff(MIDINoteMonitor& monitor, unsigned offset = 0) {
  std::vector<MIDIEvent> out;
  out.reserve(monitor.maxNotesOff());
  monitor.getNotesOff(out, offset);
  return out;
}

TEST(MIDINoteMonitor, EndsANoteOnItsChannelOnce) {
  MIDINoteMonitor monitor(true);
  monitor.processMIDIEvents({event(0x92, 60, 100)});
  const auto off = notesOff(monitor, 17);
  EXPECT_EQ(tuplesOf(off), (std::vector<EventTuple>{{0x92, 60, 0, 17}}));
  EXPECT_EQ(off[0].hostTimeNanos, 0u);
  EXPECT_TRUE(notesOff(monitor).empty());
}

TEST(MIDINoteMonitor, RemembersWhatTheEventsLeaveSounding) {
  struct Row {
    const char* what;
    std::vector<MIDIEvent> events;
    std::vector<EventTuple> off;
  };
  const Row rows[] = {
      {"note-off ends the note", {event(0x90, 60, 100), event(0x80, 60, 64)}, {}},
      {"velocity 0 ends the note", {event(0x90, 60, 100), event(0x90, 60, 0)}, {}},
      {"velocity 0x80 counts as 0", {event(0x90, 60, 100), event(0x90, 60, 0x80)}, {}},
      {"off for a note never started", {event(0x81, 61, 0)}, {}},
      {"off on another channel", {event(0x90, 60, 100), event(0x81, 60, 0)}, {{0x90, 60, 0, 0}}},
      {"a repeated note-on is one note", {event(0x90, 60, 100), event(0x90, 60, 90)},
       {{0x90, 60, 0, 0}}},
      {"other events are ignored", {event(0xB0, 64, 127), event(0xE0, 0, 64), event(0xA0, 60, 9)},
       {}},
      {"note numbers are masked", {event(0x90, 0x80 | 60, 100)}, {{0x90, 60, 0, 0}}},
      {"maps in channel order, keys in note order",
       {event(0x9F, 10, 1), event(0x93, 70, 1), event(0x93, 20, 1), event(0x90, 90, 1)},
       {{0x90, 90, 0, 0}, {0x93, 20, 0, 0}, {0x93, 70, 0, 0}, {0x9F, 10, 0, 0}}},
  };
  for (const Row& row : rows) {
    MIDINoteMonitor monitor(true);
    monitor.processMIDIEvents(row.events);
    EXPECT_EQ(tuplesOf(notesOff(monitor)), row.off) << row.what;
  }
}

TEST(MIDINoteMonitor, TheSameNoteWithTwoDetunesIsRememberedTwice) {
  MIDINoteMonitor monitor(true);
  monitor.processMIDIEvents({event(0x90, 60, 100, 25.0f), event(0x90, 60, 100, -25.0f)});
  auto off = notesOff(monitor);
  ASSERT_EQ(off.size(), 2u);
  EXPECT_EQ(off[0].detune, -25.0f);
  EXPECT_EQ(off[1].detune, 25.0f);
  // An off with the wrong detune leaves the note sounding.
  monitor.processMIDIEvents({event(0x90, 60, 100, 25.0f), event(0x80, 60, 0, 10.0f)});
  EXPECT_EQ(notesOff(monitor).size(), 1u);
}

TEST(MIDINoteMonitor, SingleMapSendsEveryNoteOffOnChannel0) {
  MIDINoteMonitor monitor(false);
  EXPECT_EQ(monitor.numMaps(), 1);
  monitor.processMIDIEvents({event(0x95, 60, 100), event(0x9A, 62, 100), event(0x8A, 60, 0)});
  // The off on channel 10 ends the note started on channel 5: one map for all.
  EXPECT_EQ(tuplesOf(notesOff(monitor)), (std::vector<EventTuple>{{0x90, 62, 0, 0}}));
}

TEST(MIDINoteMonitor, AFullMapDropsFurtherNotesWithAWarning) {
  kelo::test::LogCapture log;
  MIDINoteMonitor monitor(true);
  std::vector<MIDIEvent> events;
  for (int i = 0; i < MIDINoteMonitor::kNotesPerMap + 3; ++i) {
    events.push_back(event(0x90, i % 128, 100, static_cast<float>(i / 128)));
  }
  monitor.processMIDIEvents(events);
  EXPECT_EQ(monitor.numNotes(), static_cast<std::size_t>(MIDINoteMonitor::kNotesPerMap));
  EXPECT_TRUE(log.has('W', "MIDINoteMonitor full"));
  EXPECT_EQ(notesOff(monitor).size(), static_cast<std::size_t>(MIDINoteMonitor::kNotesPerMap));
}

// A clock the test moves by hand.
struct ManualClock {
  double now = 100.0;
  vantor::TimerRectifier::Clock clock() {
    return [this] { return now; };
  }
};

TEST(TimerRectifier, CallsEvery5msTickOnTheFourthWith20ms) {
  ManualClock time;
  vantor::TimerRectifier rectifier(60, time.clock());
  double elapsed = -1;
  for (int call = 1; call <= 3; ++call) {
    time.now += 0.005;
    EXPECT_FALSE(rectifier.update(elapsed)) << call;
  }
  time.now += 0.005;
  EXPECT_TRUE(rectifier.update(elapsed));
  EXPECT_NEAR(elapsed, 0.020, 1e-9);
  time.now += 0.005;
  EXPECT_FALSE(rectifier.update());  // the carry starts again from nothing
}

TEST(TimerRectifier, AStallTicksOnceWithAtMostTwoPeriods) {
  ManualClock time;
  vantor::TimerRectifier rectifier(60, time.clock());
  time.now += 0.010;
  EXPECT_FALSE(rectifier.update());
  time.now += 2.0;
  double elapsed = 0;
  EXPECT_TRUE(rectifier.update(elapsed));
  EXPECT_GE(elapsed, rectifier.period());
  EXPECT_LT(elapsed, 2 * rectifier.period());
  time.now += 0.001;
  EXPECT_FALSE(rectifier.update());  // no burst after the stall
}

TEST(TimerRectifier, AClockGoingBackCountsAsNoTime) {
  ManualClock time;
  vantor::TimerRectifier rectifier(60, time.clock());
  time.now -= 5.0;
  double elapsed = -1;
  EXPECT_FALSE(rectifier.update(elapsed));
  EXPECT_EQ(elapsed, 0.0);
  time.now += 5.0 + 0.02;  // measured from where it stood, not from the jump back
  EXPECT_TRUE(rectifier.update(elapsed));
}

}  // namespace
