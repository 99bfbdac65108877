#include <atomic>
#include <cmath>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "standalone/host/DSPInfo.h"
#include "standalone/host/MIDIFilePlayer.h"
#include "tests/support/SmfWriter.h"
#include "tests/support/TempDir.h"

namespace {

using kelo::test::SmfTrack;

TEST(MIDIFilePlayerThreads, ABlockFindingTheMutexHeldProducesNothingAndStaysPut) {
  kelo::test::TempDir dir;
  const std::string path = dir.file("notes.mid");
  SmfTrack track;
  for (int beat = 0; beat < 8; ++beat) track.noteOn(beat * 96, 0, 60 + beat, 100);
  ASSERT_TRUE(kelo::test::writeFile(path, kelo::test::smfFile(0, 96, {track})));

  const vantor::DSPInfo format(44100, 512);
  vantor::MIDIFilePlayer player;
  ASSERT_TRUE(player.init(nullptr, &format));
  ASSERT_TRUE(player.setMIDIFile(path));
  player.playFile();

  std::atomic<bool> held{false};
  std::atomic<bool> release{false};
  std::thread holder([&] {
    player.mutex().lock();
    held = true;
    while (!release) std::this_thread::yield();
    player.mutex().unlock();
  });
  while (!held) std::this_thread::yield();

  std::vector<vantor::MIDIEvent> events;
  events.reserve(64);
  for (int block = 0; block < 3; ++block) {
    player.fireSyncInfo();
    player.getMIDIEvents(events);
  }
  EXPECT_TRUE(events.empty());
  EXPECT_EQ(player.position(), 0.0);

  release = true;
  holder.join();
  player.fireSyncInfo();
  player.getMIDIEvents(events);
  ASSERT_EQ(events.size(), 1u);  // the note at beat 0, on the first block that runs
  EXPECT_EQ(events[0].bytes[1], 60);
  EXPECT_GT(player.position(), 0.0);
}

TEST(MIDIFilePlayerThreads, LoadAndSeekOnTheMainThreadWhileTheRenderPlays) {
  kelo::test::TempDir dir;
  const std::string small = dir.file("small.mid");
  const std::string large = dir.file("large.mid");
  SmfTrack a;
  a.noteOn(0, 0, 60, 100).noteOff(96, 0, 60);
  SmfTrack b;
  for (int i = 0; i < 400; ++i) b.noteOn(i * 4, i % 16, i % 128, 100);
  ASSERT_TRUE(kelo::test::writeFile(small, kelo::test::smfFile(0, 96, {a})));
  ASSERT_TRUE(kelo::test::writeFile(large, kelo::test::smfFile(0, 96, {b})));

  const vantor::DSPInfo format(44100, 64);
  vantor::MIDIFilePlayer player;
  ASSERT_TRUE(player.init(nullptr, &format));
  ASSERT_TRUE(player.setMIDIFile(small));
  player.playFile();

  std::atomic<bool> stop{false};
  std::atomic<bool> positionsValid{true};
  std::thread render([&] {
    std::vector<vantor::MIDIEvent> events;
    events.reserve(8192);
    while (!stop) {
      player.fireSyncInfo();
      player.getMIDIEvents(events);
      events.clear();
      // The graph asks for the position on the render thread while a load replaces the file.
      // The small file lasts one beat of a four-beat bar: up to 4 while its bar plays.
      const double position = player.getNormalisedPos();
      if (!(std::isfinite(position) && position >= 0.0)) positionsValid = false;
    }
  });
  for (int round = 0; round < 20; ++round) {
    EXPECT_TRUE(player.setMIDIFile(round % 2 ? small : large));
    player.playFile();
    player.seek(0.5);
    EXPECT_GE(player.getNormalisedPos(), 0.0);
    player.stopFile();
    player.playFile();
  }
  stop = true;
  render.join();
  EXPECT_TRUE(positionsValid);
}

}  // namespace
