// Random blocks through an articulation plug-in (under the sanitizers in CI): nothing crashes,
// nothing is lost, and no in-range note is left sounding after a final all-notes-off.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <set>
#include <utility>

#include "tests/support/EventScript.h"

namespace kelo::test {

/// Up to 40 events of every kind at ticks below `frames`: notes on any channel and a few keys
/// outside 0..127, the mode and all-notes-off controllers, values around the switch points.
inline EventRows randomBlock(std::mt19937& random, std::uint32_t frames = 256) {
  static const float values[] = {
      0.0f, 0.2f, 0.49f, 0.5f, 1.0f, -0.1f, std::numeric_limits<float>::quiet_NaN()};
  static const std::int32_t controllers[] = {102, 102, 120, 123, 7,  5,  15,
                                             20,  21,  22,  23,  26, 27, 65};
  static const std::int32_t kinds[] = {0x80, 0x90, 0x90, 0x90, 0xB0, 0xE0, 0x100, 0x200};
  EventRows block(std::uniform_int_distribution<int>(0, 40)(random));
  for (EventRow& row : block) {
    const std::int32_t kind = kinds[random() % std::size(kinds)];
    row.status = kind < 0x100 ? kind | static_cast<std::int32_t>(random() % 16) : kind;
    row.data1 = (kind == 0xB0) ? controllers[random() % std::size(controllers)]
                               : std::uniform_int_distribution<int>(-3, 130)(random);
    row.data2 = values[random() % std::size(values)];
    row.tick = static_cast<std::uint32_t>(random() % frames);
  }
  return block;
}

/// Blocks through one plug-in for each of a few key ranges, ended by all-notes-off and two
/// empty blocks: no note of the range is left sounding, nothing is lost, and (`markersStay`)
/// no marker status leaves. With `randomFrames` every block has 1 to 256 frames.
template <typename Plugin>
void expectNothingHangs(std::mt19937& random, bool markersStay, bool randomFrames = false) {
  for (const char* initText : {"", "low:-2|high:100", "low:40|high:80"}) {
    SCOPED_TRACE(initText);
    Plugin plugin(nullptr);
    plugin.initEx(initText, nullptr);
    std::vector<EventRows> blocks(300);
    std::vector<std::int32_t> frames(blocks.size(), 256);
    for (std::size_t b = 0; b < blocks.size(); ++b) {
      if (randomFrames) frames[b] = std::uniform_int_distribution<std::int32_t>(1, 256)(random);
      blocks[b] = randomBlock(random, static_cast<std::uint32_t>(frames[b]));
    }
    blocks.push_back({{0, 176, 123, 0.0f}});
    blocks.resize(blocks.size() + 2);
    frames.resize(blocks.size(), 256);
    std::size_t call = 0;
    const auto out = runEventScript(
        [&](const vantor::KELOPluginSDK::HDMIDIEvents& in,
            vantor::KELOPluginSDK::HDMIDIEvents& sent) {
          plugin.process(nullptr, frames[call++], &in, &sent, nullptr);
        },
        blocks);

    // As an engine that honours channels hears it: a note-off stops its own channel's note.
    std::set<std::pair<std::int32_t, std::int32_t>> sounding;
    for (const EventRows& block : out) {
      for (const EventRow& row : block) {
        if (markersStay) {
          EXPECT_LT(row.status, 256);
        }
        if (row.data1 < plugin.lowestKey() || row.data1 > plugin.highestKey()) continue;
        const std::int32_t kind = row.status & 0xF0;
        const std::pair note{row.status & 0x0F, row.data1};
        if (kind == 0x90 && row.data2 > 0.0f)
          sounding.insert(note);
        else if (kind == 0x90 || kind == 0x80)
          sounding.erase(note);
      }
    }
    EXPECT_TRUE(sounding.empty()) << testing::PrintToString(sounding);
    EXPECT_EQ(plugin.held().Count(), 0);
    EXPECT_EQ(plugin.lostEvents(), 0u);
  }
}

}  // namespace kelo::test
