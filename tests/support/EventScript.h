// Event scripts for the tests of the MIDI engine plug-ins (articulation plug-ins, the piano
// MIDI pre-processor): rows of (tick, status, data1, data2) go in block by block, and the rows
// that come out are compared exactly. The plug-in is reached through a function, so the same
// script drives an object directly, a bundle, or the kelo-plugin-run program (scriptText /
// parseScript use its "frame status data1 data2" line format).
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <memory>
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

/// What runEventScript checks of an event's other bytes (legacy, reserved, bufTick).
enum class EventBytes {
  /// Those of the input event it forwards or was created from (the articulation plug-ins):
  /// each input event carries a mark of its own in `reserved`, and an output event must carry
  /// the mark and the legacy bytes of the input event it names, or no reserved bytes at all
  /// when nothing triggered it. Its tick is compared with its row.
  OfTheirTrigger,
  /// Nothing beyond the rows (the piano pre-processor rewrites legacy bytes and delays ticks).
  RowsOnly,
};

/// Runs one call per block (a block may be empty) and answers the rows each call sent, in
/// order, checking every output event's other bytes as `bytes` says (a failure of the current
/// test). `out` is filled with a marker before each call, so stale events show up.
std::vector<EventRows> runEventScript(const MIDIBlockProcess& process,
                                      const std::vector<EventRows>& blocks,
                                      EventBytes bytes = EventBytes::OfTheirTrigger);

/// Each script against a new `Plugin` (made with a null host, then initEx with its init text),
/// in blocks of `frames`.
template <typename Plugin>
void expectEventScripts(const std::vector<EventScript>& scripts, std::int32_t frames = 256);

/// The blocks as one kelo-plugin-run script: block b's ticks counted from b × blockFrames.
std::string scriptText(const std::vector<EventRows>& blocks, std::uint32_t blockFrames);
/// A kelo-plugin-run script (or its --events-out) cut into `blockCount` blocks of
/// `blockFrames`; lines that do not parse fail the current test.
std::vector<EventRows> parseScript(const std::string& text, std::uint32_t blockFrames,
                                   std::size_t blockCount);

/// kelo-plugin-run (at `program`) over `blocks` of `blockFrames` through the plug-in
/// `identifier` of `bundle` (--events, --events-out), given `initText` (null for none): the
/// rows it sent, block by block. Fails the current test when the program fails.
std::vector<EventRows> runPluginScript(const std::string& program, const std::string& bundle,
                                       const char* identifier, const char* initText,
                                       const std::vector<EventRows>& blocks,
                                       std::uint32_t blockFrames);

/// `plugin`'s getDefaults fills the whole list (numEvents 1, controller 102 = `value` at tick 0,
/// every other byte 0), over a list full of other bytes.
template <typename Plugin>
void expectSwitchDefaults(Plugin& plugin, float value) {
  using vantor::KELOPluginSDK::HDMIDIEvents;
  auto list = std::make_unique<HDMIDIEvents>();
  auto expected = std::make_unique<HDMIDIEvents>();
  std::memset(static_cast<void*>(list.get()), 0x5A, sizeof *list);
  std::memset(static_cast<void*>(expected.get()), 0, sizeof *expected);
  expected->numEvents = 1;
  expected->events[0].status = 176;
  expected->events[0].data1 = 102;
  expected->events[0].data2 = value;
  plugin.getDefaults(list.get());
  EXPECT_EQ(std::memcmp(list.get(), expected.get(), sizeof *list), 0) << value;
}

template <typename Plugin>
void expectEventScripts(const std::vector<EventScript>& scripts, std::int32_t frames) {
  for (const EventScript& script : scripts) {
    Plugin plugin(nullptr);
    EXPECT_EQ(plugin.initEx(script.initText, nullptr), 1) << script.name;
    EXPECT_EQ(runEventScript(blockProcessOf(plugin, frames), script.in), script.out)
        << script.name;
  }
}

}  // namespace kelo::test
