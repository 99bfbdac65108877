// The reference engine with the demo data folder: its "KeloSetup.xml" puts the sustain and the
// sympathetic resonance on the engine's output, and a played note goes through both.
#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/engine/EngineFixture.h"
#include "tests/support/ConvolutionKit.h"

namespace kelo::test {
namespace {

using Render = std::vector<std::vector<float>>;

class DemoSetup : public EngineFixture {
 protected:
  // A note with the pedal down, rendered in 40 blocks from the data folder `folder`.
  Render render(const std::string& folder) {
    m_dataPath = folder;
    EngineBlocks blocks(40);
    blocks[0] = {midiEvent(0xB0, 64, 127, 0), midiEvent(0x90, 60, 100, 0)};
    Render out = renderJoined(blocks, kMaxFrames);
    if (out[0].empty()) return {};
    return out;
  }
  // A data folder of the test's own naming one plug-in of the demo's bundle and impulses.
  std::string setupOf(const std::string& plugin) {
    EXPECT_TRUE(writeFile(m_data.file("KeloSetup.xml"),
                          "<KeloSetup version=\"1\">" + plugin + "</KeloSetup>\n"));
    return m_data.path();
  }
};

TEST_F(DemoSetup, ANoteGoesThroughBothResonances) {
  const std::string bundle = STRINGBED_DEMO_DATA "/Plugins/StringBed.bundle";
  const Render plain = render(setupOf(""));
  const Render both = render(STRINGBED_DEMO_DATA);
  const Render sustain = render(setupOf(
      "<Plugin bundle=\"" + bundle + "\" identifier=\"com.Sorvelin.Piano.Resonance.Sustain\" "
      "init=\"Grand\" extra=\"" STRINGBED_DEMO_DATA "/Impulses/StringBed\"/>"));
  const Render sympathetic = render(setupOf(
      "<Plugin bundle=\"" + bundle + "\" identifier=\"com.Sorvelin.Piano.Resonance.Sympathetic\"/>"));
  ASSERT_EQ(plain.size(), 2u);
  double energy = 0;
  for (const float v : plain[0]) energy += double(v) * v;
  ASSERT_GT(energy, 1.0) << "the note sounds";
  for (const Render* r : {&both, &sustain, &sympathetic}) {
    ASSERT_EQ(r->size(), 2u);
    EXPECT_NE(*r, plain);
    for (const auto& channel : *r) {
      for (const float v : channel) ASSERT_TRUE(std::isfinite(v));
    }
  }
  EXPECT_NE(both, sustain);
  EXPECT_NE(both, sympathetic);
}

// With 32 outputs, as KeloRack's multi-output build runs it, notes reach the first pair only:
// the resonances and the reverb leave the other thirty outputs exactly silent, without even
// the residue of the strings' rounding offsets.
TEST_F(DemoSetup, OutputsWithoutNotesStayExactlySilent) {
  m_dataPath = STRINGBED_DEMO_DATA;
  EngineBlocks blocks(60);
  blocks[0] = {midiEvent(0xB0, 64, 127, 0), midiEvent(0x90, 60, 100, 0),
               midiEvent(0x90, 67, 90, 10)};
  blocks[30] = {midiEvent(0x80, 67, 0, 0)};
  const Render out = renderJoined(blocks, kMaxFrames, 32);
  ASSERT_EQ(out.size(), 32u);
  for (std::size_t c = 0; c < 2; ++c) {
    double energy = 0;
    for (const float v : out[c]) energy += double(v) * v;
    EXPECT_GT(energy, 1.0) << "output " << c;
  }
  for (std::size_t c = 2; c < 32; ++c) {
    const auto sound = std::find_if(out[c].begin(), out[c].end(), [](float v) { return v != 0.0f; });
    EXPECT_EQ(sound, out[c].end()) << "output " << c << " frame " << (sound - out[c].begin())
                                   << ": " << (sound != out[c].end() ? *sound : 0.0f);
  }
}

// The multi-output build's first pair is the stereo build's output: every plug-in of the chain
// runs there, also one that takes fewer channels than the engine has outputs (the room reverb
// holds sixteen), instead of being left out.
TEST_F(DemoSetup, TheFirstPairOfThirtyTwoOutputsIsTheStereoOutput) {
  m_dataPath = STRINGBED_DEMO_DATA;
  EngineBlocks blocks(60);
  blocks[0] = {midiEvent(0xB0, 64, 127, 0), midiEvent(0x90, 60, 100, 0)};
  blocks[20] = {midiEvent(0x80, 60, 0, 0), midiEvent(0xB0, 64, 0, 0)};
  const Render stereo = renderJoined(blocks, kMaxFrames, 2);
  const Render wide = renderJoined(blocks, kMaxFrames, 32);
  ASSERT_EQ(stereo.size(), 2u);
  ASSERT_EQ(wide.size(), 32u);
  for (std::size_t c = 0; c < 2; ++c) {
    ASSERT_EQ(wide[c].size(), stereo[c].size());
    const auto apart = std::mismatch(wide[c].begin(), wide[c].end(), stereo[c].begin());
    EXPECT_EQ(apart.first, wide[c].end())
        << "output " << c << " frame " << (apart.first - wide[c].begin());
  }
}

// A note with the pedal down, seven seconds of silence with the pedal up, a note: the demo's
// resonances and room reverb rest in the silence, and the output is what they give when a
// faint input keeps them running, within -140 dBFS up to the second note and within rounding
// after it.
TEST_F(DemoSetup, ANoteSilenceANoteSoundAsIfThePlugInsHadRun) {
  m_dataPath = STRINGBED_DEMO_DATA;
  constexpr int kSecondNote = 660;
  EngineBlocks blocks(kSecondNote + 40);
  blocks[0] = {midiEvent(0xB0, 64, 127, 0), midiEvent(0x90, 60, 100, 0)};
  blocks[4] = {midiEvent(0x80, 60, 0, 0)};
  blocks[200] = {midiEvent(0xB0, 64, 0, 0)};
  blocks[kSecondNote] = {midiEvent(0xB0, 64, 127, 0), midiEvent(0x90, 64, 100, 100)};
  const Render resting = renderJoined(blocks, kMaxFrames);
  const Render running = renderJoined(blocks, kMaxFrames, 2, 1e-20f);
  ASSERT_EQ(resting.size(), 2u);
  ASSERT_EQ(running.size(), 2u);
  const std::size_t cut = std::size_t{kSecondNote} * kMaxFrames;
  for (std::size_t c = 0; c < 2; ++c) {
    ASSERT_EQ(resting[c].size(), running[c].size());
    const auto largest = kelo::test::largestDifferences(resting[c], running[c], cut);
    double energy = 0;
    for (std::size_t i = cut; i < resting[c].size(); ++i)
      energy += double(resting[c][i]) * resting[c][i];
    EXPECT_LE(largest[0], 1e-7) << "output " << c;
    EXPECT_LE(largest[1], 1e-6) << "output " << c;
    EXPECT_GT(energy, 1.0) << "output " << c;
    EXPECT_EQ(resting[c][cut - 1], 0.0f) << "output " << c;
  }
}

}  // namespace
}  // namespace kelo::test
