// The reference engine running MicField from its "KeloSetup.xml": with the stage model off the
// spatializer pans the engine's tone with constant power.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "tests/engine/EngineFixture.h"
#include "tests/support/ConvolutionKit.h"

namespace kelo::test {
namespace {

class MicFieldInTheEngine : public EngineFixture {
 protected:
  // The amplitude of the 440 Hz note 69 in each output over the last 4800 frames (44 whole
  // periods) of 24 blocks.
  std::vector<double> toneLevels() {
    EngineBlocks blocks(24);
    blocks[0] = {midiEvent(0x90, 69, 100, 0)};
    const auto outputs = renderJoined(blocks, kMaxFrames);
    if (outputs[0].empty()) return {0, 0};
    std::vector<double> levels;
    for (const auto& channel : outputs) levels.push_back(amplitudeAt(channel, 440.0, kRate, 4800));
    return levels;
  }
};

TEST_F(MicFieldInTheEngine, ATonePansByThePosition) {
  const std::vector<double> plain = toneLevels();
  ASSERT_GT(plain[0], 0.01);
  ASSERT_GT(plain[1], 0.01);
  // Position 0.25, distance 0: the panner.
  writeSetup({{KELO_BUNDLE, "com.Sorvelin.Stage.Effect.First",
               "45|-45|2|30|6|5|20|0|2|15|0.25|0", "engine"}});
  const std::vector<double> panned = toneLevels();
  const double position =
      std::clamp((0.25f * 0.992126f + 0.007874016f) * 1.0079365f - 0.007936508f, 0.0f, 1.0f);
  EXPECT_NEAR(panned[0] / plain[0], std::cos(position * M_PI / 2) * std::sqrt(2.0), 1e-4);
  EXPECT_NEAR(panned[1] / plain[1], std::sin(position * M_PI / 2) * std::sqrt(2.0), 1e-4);
}

}  // namespace
}  // namespace kelo::test
