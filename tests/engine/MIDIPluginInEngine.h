// The reference engine running MIDI plug-ins from its "KeloSetup.xml": what the voices play
// must be what the plug-in's event list says, i.e. the same audio as the bare engine fed that
// list.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/engine/EngineFixture.h"

namespace kelo::test {

class MIDIPluginInEngine : public EngineFixture {
 public:
  static constexpr int kFrames = 256;

  /// Two channels per block of kFrames, each block's events in turn.
  std::vector<std::vector<std::vector<float>>> render(const EngineBlocks& blocks) {
    return renderBlocks(blocks, kFrames);
  }

  /// `played` through the plug-ins of `chain` renders as the bare engine renders `expected`,
  /// and not as the bare engine renders `played`.
  void expectPlaysAs(const std::vector<SetupEntry>& chain, const EngineBlocks& played,
                     const EngineBlocks& expected) {
    const auto bare = render(expected);
    const auto unprocessed = render(played);
    writeSetup(chain);
    const auto withPlugin = render(played);
    ASSERT_EQ(withPlugin.size(), played.size());
    EXPECT_EQ(withPlugin, bare);
    EXPECT_NE(withPlugin, unprocessed);
    EXPECT_NE(withPlugin.back()[0], std::vector<float>(kFrames, 0.0f));
  }
};

}  // namespace kelo::test
