// The reference engine running TriBand from its "KeloSetup.xml": a tone of the engine's own
// voices leaves the engine changed by the gain the cookbook gives the band there.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "tests/Sampler/source/CookbookReference.h"
#include "tests/engine/EngineFixture.h"
#include "tests/support/ConvolutionKit.h"

namespace kelo::test {
namespace {

class TriBandInTheEngine : public EngineFixture {
 protected:
  // The left output's amplitude of the 440 Hz note 69 over its last 4800 frames (44 whole
  // periods), with `first` as the first block's events.
  double toneAmplitude(std::initializer_list<vantor::MIDIEvent> first) {
    EngineBlocks blocks(24);
    blocks[0] = first;
    const std::vector<float> left = renderJoined(blocks, kMaxFrames)[0];
    if (left.empty()) return 0;
    return amplitudeAt(left, 440.0, kRate, 4800);
  }
};

TEST_F(TriBandInTheEngine, AToneChangesByTheBandsGain) {
  const double plain = toneAmplitude({midiEvent(0x90, 69, 100, 0)});
  ASSERT_GT(plain, 0.01);
  writeSetup({{KELO_BUNDLE, "com.Sorvelin.TriBand"}});
  // The peak at +12 dB, its centre asked at 100 Hz and so held at 480 Hz (0.01 x 48000).
  const double equalised = toneAmplitude(
      {midiEvent(0x90, 69, 100, 0), midiEvent(0xB0, 1, 127, 0), midiEvent(0xB0, 4, 0, 0)});
  const double expected = cookbook::equaliser(kRate, 0, 12, 0, 100)[1].magnitude(440.0 / kRate);
  EXPECT_NEAR(20 * std::log10(equalised / plain), 20 * std::log10(expected), 0.02);
  EXPECT_GT(expected, 3.5);
}

}  // namespace
}  // namespace kelo::test
