// A Standard MIDI File from the fuzzer, loaded by the MIDI file player and played: every block
// stays within the room the player announced, events lie inside their block and the position
// never runs backwards while playing (except back to the end), before and after seeking.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz/FuzzCheck.h"
#include "standalone/host/DSPInfo.h"
#include "standalone/host/MIDIFilePlayer.h"
#include "tests/support/TempDir.h"

namespace {

constexpr int kBlockFrames = 512;
constexpr int kBlocks = 64;

void playBlocks(vantor::MIDIFilePlayer& player, std::vector<vantor::MIDIEvent>& events,
                int blocks) {
  double previous = player.getNormalisedPos();
  for (int i = 0; i < blocks; ++i) {
    events.clear();
    player.fireSyncInfo();
    player.getMIDIEvents(events);
    FUZZ_CHECK(events.size() <= player.maxEventsPerBlock());
    for (const vantor::MIDIEvent& e : events) {
      FUZZ_CHECK(e.frameOffset >= 0 && e.frameOffset < kBlockFrames);
      FUZZ_CHECK(e.bytes[0] >= 0x80);
    }
    const double now = player.getNormalisedPos();
    // It may pass 1.0 inside the last, partly filled measure, then rests at exactly 1.0.
    FUZZ_CHECK(std::isfinite(now) && (now >= previous || now == 1.0));
    previous = now;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static kelo::test::TempDir dir;
  static const std::string path = dir.file("input.mid");
  static const vantor::DSPInfo format{44100, kBlockFrames};
  FUZZ_CHECK(kelo::test::writeFile(path, std::string(reinterpret_cast<const char*>(data), size)));
  vantor::MIDIFilePlayer player;
  FUZZ_CHECK(player.init(nullptr, &format));
  if (!player.setMIDIFile(path)) {
    FUZZ_CHECK(!player.hasFile());
    return 0;
  }
  std::vector<vantor::MIDIEvent> events;
  events.reserve(player.maxEventsPerBlock());
  player.playFile();
  playBlocks(player, events, kBlocks);
  player.seek(0.5);
  player.playFile();
  playBlocks(player, events, kBlocks / 4);
  player.seek(1.0);
  player.playFile();
  playBlocks(player, events, 2);
  player.stopFile();
  playBlocks(player, events, 2);
  return 0;
}
