#include <vector>

#include <gtest/gtest.h>

#include "standalone/host/DSPInfo.h"
#include "standalone/host/MIDIFilePlayer.h"
#include "tests/support/DemoMidi.h"
#include "tests/support/SmfWriter.h"
#include "tests/support/TempDir.h"
#include "tests/support/realtime/RealtimeGuard.h"

namespace {

TEST(MIDIFilePlayerRealtime, BlocksPlayStopSeekAndEndWithoutAllocatingOrBlocking) {
  ASSERT_TRUE(kelo::test::kRealtimeGuarded);
  kelo::test::TempDir dir;
  const std::string path = dir.file("dense.mid");
  // Every note of every channel three times over in the first block, and once more later:
  // blocks far beyond the storage a player starts with.
  kelo::test::SmfTrack track;
  for (int round = 0; round < 4; ++round) {
    for (int channel = 0; channel < 16; ++channel) {
      for (int key = 0; key < 128; ++key) track.noteOn(round < 3 ? 0 : 960, channel, key, 100);
    }
  }
  track.tempo(480, 90).endOfTrack(4 * 480);
  ASSERT_TRUE(kelo::test::writeFile(path, kelo::test::smfFile(0, 480, {track})));

  const vantor::DSPInfo format(44100, 512);
  vantor::MIDIFilePlayer player;
  ASSERT_TRUE(player.init(nullptr, &format));
  ASSERT_TRUE(player.setMIDIFile(path));
  std::vector<vantor::MIDIEvent> events;
  events.reserve(8192);
  std::size_t most = 0;

  auto render = [&](int blocks) {
    kelo::test::RealtimeRegion region;
    for (int i = 0; i < blocks; ++i) {
      player.fireSyncInfo();
      player.getMIDIEvents(events);
      if (events.size() > most) most = events.size();
      events.clear();
    }
  };
  player.playFile();
  render(60);
  player.seek(0.25);
  render(2);
  player.stopFile();
  render(2);
  player.playFile();
  render(500);  // to the end, and resting there
  EXPECT_EQ(player.getNormalisedPos(), 1.0);
  EXPECT_EQ(most, 3u * 2048u);  // the first block: nothing dropped

}

}  // namespace
