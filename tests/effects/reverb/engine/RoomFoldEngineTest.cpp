// The reference engine running the simple reverb from its "KeloSetup.xml", the response named
// by a custom data link: a note and its tail leave the engine as the bare engine's output
// convolved here.
#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "tests/Sampler/sdk/host/WavFiles.h"
#include "tests/effects/reverb/ReverbKit.h"
#include "tests/engine/EngineFixture.h"

namespace kelo::test {
namespace {

class RoomFoldInTheEngine : public EngineFixture {
 protected:
  // Both outputs over `blocks` blocks, a note on in the first and off in the fourth.
  std::vector<std::vector<float>> render(int blocks) {
    EngineBlocks events(static_cast<std::size_t>(blocks));
    events[0] = {midiEvent(0x90, 64, 100, 0)};
    events[3] = {midiEvent(0x80, 64, 0, 0)};
    return renderJoined(events, kMaxFrames);
  }
};

TEST_F(RoomFoldInTheEngine, ANoteAndItsTailAreTheBareOutputConvolved) {
  const auto bare = render(12);
  ASSERT_EQ(bare[0].size(), 12u * kMaxFrames);
  const auto response = decayingNoise(2400, 2, 61);
  ASSERT_TRUE(writeWav(m_data.file("ir.wav"), kRate, response));
  writeSetup({{KELO_BUNDLE, "com.Sorvelin.Kelo.Convolver.Simple", "|0.5|0.2", "",
               m_data.file("ir.wav")}});
  const auto reverberated = render(12);
  ASSERT_EQ(reverberated[0].size(), bare[0].size());
  for (int side = 0; side < 2; ++side) {
    const auto expected = reverbMix(bare[side], response[side], 0.5, 0.5f * 0.2f);
    EXPECT_TRUE(closeToSignal(reverberated[side], expected, 2e-5)) << side;
    // The tail: after the note's release has ended, only the reverb sounds.
    EXPECT_GT(std::abs(reverberated[side].back()), 0.0f) << side;
  }
}

// The build's data folder as scripts/install-engine installs it: its setup runs the room
// reverb over the engine's output with the generated demo response.
TEST_F(RoomFoldInTheEngine, TheDemoSetupLeavesAReverbTail) {
  auto tailEnergy = [](const std::vector<float>& out) {
    double sum = 0;
    for (std::size_t i = out.size() - 2 * kMaxFrames; i < out.size(); ++i) sum += double(out[i]) * out[i];
    return sum;
  };
  const auto bare = render(40);
  ASSERT_EQ(bare[0].size(), 40u * kMaxFrames);
  const std::filesystem::path demo = KELO_DEMO_DATA;
  for (const char* folder : {"Plugins", "Impulses"})
    std::filesystem::create_directory_symlink(demo / folder, m_data.file(folder));
  std::filesystem::copy_file(demo / "KeloSetup.xml", m_data.file("KeloSetup.xml"),
                             std::filesystem::copy_options::overwrite_existing);
  const auto reverberated = render(40);
  ASSERT_EQ(reverberated[0].size(), bare[0].size());
  for (int side = 0; side < 2; ++side) {
    EXPECT_LT(tailEnergy(bare[side]), 1e-9) << side;
    EXPECT_GT(tailEnergy(reverberated[side]), 1e-4) << side;
  }
}

}  // namespace
}  // namespace kelo::test
