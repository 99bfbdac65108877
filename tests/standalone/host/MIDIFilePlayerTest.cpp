#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "standalone/host/DSPInfo.h"
#include "standalone/host/MIDIFilePlayer.h"
#include "tests/standalone/host/HostTestSupport.h"
#include "tests/support/DemoMidi.h"
#include "tests/support/SmfWriter.h"

namespace {

using kelo::test::EventTuple;
using kelo::test::SmfTrack;
using kelo::test::tuplesOf;
using vantor::MIDIEvent;
using vantor::MIDIFilePlayer;

// At 11025 ticks per beat, 120 beats per minute, 44100 Hz and 512 frames a block spans
// exactly 256 ticks: 1024/44100 beats is 256/11025, and both sides round to the same double.
constexpr int kDivision = 11025;
constexpr std::uint32_t kBlockTicks = 256;
constexpr double kBlockBeats = 2.0 * 512 / 44100;

// The 48 silencing events followed by these note-offs, all at frame 0.
std::vector<EventTuple> silencing(const std::vector<EventTuple>& notesOff) {
  std::vector<EventTuple> out;
  for (const MIDIEvent& e : MIDIFilePlayer::shutUpEvents()) {
    out.push_back({e.bytes[0], e.bytes[1], e.bytes[2], 0});
  }
  out.insert(out.end(), notesOff.begin(), notesOff.end());
  return out;
}

class PlayerTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(player.init(nullptr, &format)); }

  void load(const std::vector<SmfTrack>& tracks, int division = kDivision) {
    const std::string path = dir.file("song.mid");
    ASSERT_TRUE(kelo::test::writeFile(path, kelo::test::smfFile(tracks.size() > 1 ? 1 : 0,
                                                                 division, tracks)));
    ASSERT_TRUE(player.setMIDIFile(path));
  }

  /// Runs one block and returns its events.
  std::vector<EventTuple> block() {
    std::vector<MIDIEvent> events;
    player.fireSyncInfo();
    player.getMIDIEvents(events);
    return tuplesOf(events);
  }

  kelo::test::TempDir dir;
  const vantor::DSPInfo format{44100, 512};
  MIDIFilePlayer player;
};

TEST_F(PlayerTest, ShutUpIsSustainAllNotesAndAllSoundOffOnEveryChannel) {
  const auto& events = MIDIFilePlayer::shutUpEvents();
  ASSERT_EQ(events.size(), 48u);
  for (int channel = 0; channel < 16; ++channel) {
    const int controllers[] = {64, 123, 120};
    for (int i = 0; i < 3; ++i) {
      const MIDIEvent& e = events[channel * 3 + i];
      EXPECT_EQ(e.bytes[0], 0xB0 + channel);
      EXPECT_EQ(e.bytes[1], controllers[i]);
      EXPECT_EQ(e.bytes[2], 0);
      EXPECT_EQ(e.bytes[3], 0);
      EXPECT_EQ(e.frameOffset, 0);
      EXPECT_EQ(e.hostTimeNanos, 0u);
      EXPECT_EQ(e.detune, 0.0f);
    }
  }
}

TEST_F(PlayerTest, PlacesEventsByFrameWithinTheBlock) {
  SmfTrack track;
  track.noteOn(0, 0, 60, 100)
      .noteOn(kBlockTicks / 2, 0, 61, 100)   // half-way: 511 x 0.5 = 255.5, to even: 256
      .noteOn(kBlockTicks, 0, 62, 100)       // at the block's end: the next block, frame 0
      .noteOn(kBlockTicks + 1, 0, 63, 100)   // 511 / 256 = 1.996...: frame 2
      .endOfTrack(8 * kDivision);
  load({track});
  player.playFile();
  EXPECT_EQ(block(), (std::vector<EventTuple>{{0x90, 60, 100, 0}, {0x90, 61, 100, 256}}));
  EXPECT_EQ(block(), (std::vector<EventTuple>{{0x90, 62, 100, 0}, {0x90, 63, 100, 2}}));
  EXPECT_EQ(player.position(), 2 * kBlockBeats);
  EXPECT_TRUE(block().empty());
}

TEST_F(PlayerTest, ATempoChangeInsideABlockSetsThatWholeBlocksAdvance) {
  SmfTrack track;
  track.tempo(0, 120)
      .tempo(kBlockTicks + 100, 240)          // inside the second block
      .noteOn(kBlockTicks + 256, 0, 60, 100)  // half-way through the doubled block
      .endOfTrack(8 * kDivision);
  load({track});
  player.playFile();
  EXPECT_TRUE(block().empty());
  EXPECT_EQ(player.position(), kBlockBeats);
  EXPECT_EQ(block(), (std::vector<EventTuple>{{0x90, 60, 100, 256}}));
  EXPECT_DOUBLE_EQ(player.position(), 3 * kBlockBeats);
  block();
  EXPECT_DOUBLE_EQ(player.position(), 5 * kBlockBeats);
}

TEST_F(PlayerTest, StopSendsShutUpThenNoteOffsForHeldNotesThenNothing) {
  SmfTrack track;
  track.noteOn(0, 0, 60, 100)
      .noteOn(0, 3, 64, 100)
      .noteOn(10, 5, 67, 100)
      .noteOff(20, 5, 67)  // ended inside the block: not held
      .endOfTrack(8 * kDivision);
  load({track});
  player.playFile();
  EXPECT_EQ(block().size(), 4u);
  player.stopFile();
  EXPECT_EQ(block(), silencing({{0x90, 60, 0, 0}, {0x93, 64, 0, 0}}));
  EXPECT_TRUE(block().empty());
  EXPECT_EQ(player.position(), kBlockBeats);  // stopping does not move
}

TEST_F(PlayerTest, InitialisingAgainLeavesShutUpAt48) {
  ASSERT_TRUE(player.init(nullptr, &format));
  ASSERT_TRUE(player.init(nullptr, &format));
  SmfTrack track;
  track.noteOn(0, 0, 60, 100).endOfTrack(8 * kDivision);
  load({track});
  player.playFile();
  block();
  player.stopFile();
  EXPECT_EQ(block(), silencing({{0x90, 60, 0, 0}}));
}

TEST_F(PlayerTest, TheEndRestsAtExactlyOneWithShutUpEveryBlock) {
  // 10 beats: the measures run to beat 12, so the position passes 1.0 first.
  SmfTrack track;
  track.noteOn(0, 0, 60, 100).endOfTrack(10 * kDivision);
  load({track}, kDivision);
  player.playFile();
  double highest = 0;
  int blocks = 0;
  while (player.getNormalisedPos() != 1.0 && blocks < 1000) {
    block();
    highest = std::max(highest, player.getNormalisedPos());
    ++blocks;
  }
  ASSERT_EQ(player.getNormalisedPos(), 1.0);
  EXPECT_GT(highest, 1.15);  // within the last measure, past the end of the file
  for (int i = 0; i < 100; ++i) {
    EXPECT_EQ(block(), silencing({})) << i;
    EXPECT_EQ(player.getNormalisedPos(), 1.0) << i;
  }
  EXPECT_TRUE(player.isPlaying());
  // The media bar stops and rewinds.
  player.stopFile();
  EXPECT_TRUE(block().empty());
  player.seek(0.0);
  player.playFile();
  EXPECT_EQ(block(), silencing({{0x90, 60, 100, 0}}));  // the reset, then the first note again
  EXPECT_EQ(player.position(), kBlockBeats);
}

TEST_F(PlayerTest, TheEndSilencesNotesStillHeld) {
  SmfTrack track;
  track.noteOn(0, 0, 60, 100).endOfTrack(4 * kDivision);
  load({track});
  player.playFile();
  std::vector<EventTuple> last;
  while (player.getNormalisedPos() != 1.0) last = block();
  EXPECT_EQ(last, silencing({{0x90, 60, 0, 0}}));
}

TEST_F(PlayerTest, SeekSilencesHeldNotesAndGoesOnFromTheMiddle) {
  SmfTrack track;
  track.noteOn(0, 0, 60, 100)
      .noteOn(4 * kDivision, 1, 72, 90)   // the middle of the file
      .noteOff(8 * kDivision, 0, 60)
      .endOfTrack(8 * kDivision);
  load({track});
  player.playFile();
  block();
  player.seek(0.5);
  EXPECT_TRUE(player.isPlaying());
  EXPECT_EQ(player.position(), 4.0);
  EXPECT_EQ(block(), silencing({{0x90, 60, 0, 0}, {0x91, 72, 90, 0}}));
  EXPECT_EQ(player.position(), 4.0 + kBlockBeats);
}

TEST_F(PlayerTest, SeekTakesTheTempoInForceWhereItLands) {
  SmfTrack track;
  track.tempo(0, 120).tempo(2 * kDivision, 60).endOfTrack(8 * kDivision);
  load({track});
  player.playFile();
  player.seek(0.5);  // beat 4, after the change to 60
  block();
  EXPECT_DOUBLE_EQ(player.position(), 4.0 + kBlockBeats / 2);
  player.seek(0.0);  // and back before it
  block();
  EXPECT_DOUBLE_EQ(player.position(), kBlockBeats);
}

TEST_F(PlayerTest, LoadingStartsAtTheFilesFirstTempo) {
  SmfTrack track;
  track.tempo(4 * kDivision, 60).endOfTrack(8 * kDivision);
  load({track});
  player.playFile();
  block();
  EXPECT_DOUBLE_EQ(player.position(), kBlockBeats / 2);
}

TEST_F(PlayerTest, AFileThatCannotBeLoadedLeavesNoFileAndNoEvents) {
  kelo::test::LogCapture log;
  SmfTrack track;
  track.noteOn(0, 0, 60, 100).endOfTrack(8 * kDivision);
  load({track});
  player.playFile();
  block();
  EXPECT_FALSE(player.setMIDIFile(dir.file("missing.mid")));
  EXPECT_FALSE(player.hasFile());
  EXPECT_FALSE(player.isPlaying());
  EXPECT_EQ(player.getNormalisedPos(), 0.0);
  EXPECT_EQ(block(), silencing({{0x90, 60, 0, 0}}));  // the held note still ends
  player.playFile();
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(block().empty());
  EXPECT_TRUE(log.has('E', "could not open midi file:"));
}

TEST_F(PlayerTest, ABlockNeverBringsMoreThanTheRoomItAnnounces) {
  // The silencing list and a note-off for every note a per-channel monitor can hold.
  const std::size_t silence = MIDIFilePlayer::kShutUpSize + 16 * 256;
  EXPECT_EQ(player.maxEventsPerBlock(), silence);
  // 300 notes at beat 0: the first block brings them all; stopping then ends all of them.
  SmfTrack track;
  for (int i = 0; i < 300; ++i) track.noteOn(0, i / 128, i % 128, 100);
  track.endOfTrack(4 * kDivision);
  load({track});
  EXPECT_EQ(player.maxEventsPerBlock(), silence + 300);
  player.playFile();
  EXPECT_EQ(block().size(), 300u);
  player.stopFile();
  EXPECT_EQ(block().size(), MIDIFilePlayer::kShutUpSize + 300);
  EXPECT_FALSE(player.setMIDIFile(dir.file("missing.mid")));
  EXPECT_EQ(player.maxEventsPerBlock(), silence);
}

TEST_F(PlayerTest, NothingHappensWhileStoppedOrWithoutAFile) {
  EXPECT_TRUE(block().empty());
  player.playFile();
  EXPECT_TRUE(block().empty());
  player.seek(0.5);
  EXPECT_EQ(player.getNormalisedPos(), 0.0);
}

TEST_F(PlayerTest, PlaysTheDemoFileToItsEnd) {
  const std::string path = dir.file("demo.mid");
  ASSERT_TRUE(kelo::test::writeFile(path, kelo::test::demoMidiFile()));
  ASSERT_TRUE(player.setMIDIFile(path));
  player.playFile();
  std::size_t noteOns = 0;
  int blocks = 0;
  while (player.getNormalisedPos() != 1.0 && blocks < 10000) {
    for (const auto& e : block()) {
      if ((std::get<0>(e) & 0xF0) == 0x90 && std::get<2>(e) != 0) ++noteOns;
    }
    ++blocks;
  }
  EXPECT_EQ(noteOns, 12u + 16u);
  // 16 beats at 120 bpm are 8 seconds: 689 blocks of 512 frames at 44100 Hz.
  EXPECT_NEAR(blocks, 8.0 * 44100 / 512, 2);
}

TEST(DemoMidi, TheCommittedFileIsWhatTheWriterMakes) {
  EXPECT_EQ(kelo::test::readFile(KELO_DEMO_MIDI), kelo::test::demoMidiFile())
      << "remake it with kelo_make_demo_mid tests/support/data/demo.mid";
}

}  // namespace
