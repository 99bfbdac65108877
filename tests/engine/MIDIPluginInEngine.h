// The reference engine running MIDI plug-ins from its "KeloSetup.xml": what the voices play
// must be what the plug-in's event list says, i.e. the same audio as the bare engine fed that
// list.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/engine/EngineFixture.h"

namespace kelo::test {

using EngineBlocks = std::vector<std::vector<vantor::MIDIEvent>>;

class MIDIPluginInEngine : public EngineFixture {
 public:
  static constexpr int kFrames = 256;

  /// Two channels per block of kFrames, each block's events in turn.
  std::vector<std::vector<std::vector<float>>> render(const EngineBlocks& blocks) {
    void* instance = createStarted(2);
    EXPECT_NE(instance, nullptr);
    std::vector<std::vector<std::vector<float>>> audio;
    if (instance == nullptr) return audio;
    for (const auto& block : blocks) {
      prepareOutputs(2, kFrames);
      m_block.numEvents = 0;
      for (const auto& event : block) m_block.events[m_block.numEvents++] = event;
      EXPECT_EQ(process(instance, kFrames), 0);
      audio.push_back(m_outputs);
    }
    destroy(instance);
    return audio;
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
