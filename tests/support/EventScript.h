// Event scripts for the tests of the MIDI engine plug-ins (articulation plug-ins, the piano
// MIDI pre-processor): rows of (tick, status, data1, data2) go in block by block, and the rows
// that come out are compared exactly. The plug-in is reached through a function, so the same
// script drives an object directly, a bundle, or the kelo-plugin-run program (scriptText /
// parseScript use its "frame status data1 data2" line format).
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <ostream>
#include <string>
#include <vector>

#include "Sampler/sdk/PluginRecords.h"

namespace kelo::test {

struct EventRow {
  std::uint32_t tick;
  std::int32_t status;
  std::int32_t data1;
  float data2;

  bool operator==(const EventRow&) const = default;
};
void PrintTo(const EventRow& row, std::ostream* out);

using EventRows = std::vector<EventRow>;

/// The rows of `parts` one after another, for scripts built of recurring pieces.
inline EventRows concat(std::initializer_list<EventRows> parts) {
  EventRows rows;
  for (const EventRows& part : parts) rows.insert(rows.end(), part.begin(), part.end());
  return rows;
}

/// The event a row stands for, its raw bytes filled as a host fills them (legacy[0] the
/// status byte, legacy[1] = data1, legacy[2] the 7-bit value), `reserved` zero.
vantor::KELOPluginSDK::HDMIDIEvent scriptEvent(const EventRow& row);
EventRow scriptRow(const vantor::KELOPluginSDK::HDMIDIEvent& event);

/// One process call of a MIDI plug-in: `in` holds the block's events, `out` receives them.
using MIDIBlockProcess = std::function<void(const vantor::KELOPluginSDK::HDMIDIEvents& in,
                                            vantor::KELOPluginSDK::HDMIDIEvents& out)>;

/// The process call of a plug-in object (any class with the engine plug-ins' `process`),
/// blocks of `frames` frames, no audio and no transport.
template <typename Plugin>
MIDIBlockProcess blockProcessOf(Plugin& plugin, std::int32_t frames = 256) {
  return [&plugin, frames](const vantor::KELOPluginSDK::HDMIDIEvents& in,
                           vantor::KELOPluginSDK::HDMIDIEvents& out) {
    plugin.process(nullptr, frames, &in, &out, nullptr);
  };
}

/// One script: the blocks that go in and, block by block, the rows that must come out, for
/// a plug-in given `initText` (null for none).
struct EventScript {
  const char* name;
  const char* initText;
  std::vector<EventRows> in;
  std::vector<EventRows> out;
};

/// Runs one call per block (a block may be empty) and answers the rows each call sent, in
/// order. `out` is filled with a marker before each call, so stale events show up.
std::vector<EventRows> runEventScript(const MIDIBlockProcess& process,
                                      const std::vector<EventRows>& blocks);

/// Each script against a new `Plugin` (made with a null host, then initEx with its init text).
template <typename Plugin>
void expectEventScripts(const std::vector<EventScript>& scripts);

/// The blocks as one kelo-plugin-run script: block b's ticks counted from b × blockFrames.
std::string scriptText(const std::vector<EventRows>& blocks, std::uint32_t blockFrames);
/// A kelo-plugin-run script (or its --events-out) cut into `blockCount` blocks of
/// `blockFrames`; lines that do not parse fail the current test.
std::vector<EventRows> parseScript(const std::string& text, std::uint32_t blockFrames,
                                   std::size_t blockCount);

template <typename Plugin>
void expectEventScripts(const std::vector<EventScript>& scripts) {
  for (const EventScript& script : scripts) {
    Plugin plugin(nullptr);
    EXPECT_EQ(plugin.initEx(script.initText, nullptr), 1) << script.name;
    EXPECT_EQ(runEventScript(blockProcessOf(plugin), script.in), script.out) << script.name;
  }
}

}  // namespace kelo::test
