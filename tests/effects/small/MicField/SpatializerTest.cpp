// The spatializer object driven the way the engine drives it: polar patterns, taps against an
// image-source reference, controllers, defaults, cross-fades and refused geometries.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "effects/small/MicField/SpatializerPost.h"
#include "tests/effects/small/MicField/ImageSources.h"
#include "tests/support/ConvolutionKit.h"

namespace kelo::test {
namespace {

using namespace vantor::KELOPluginSDK;
using Controllers = std::vector<std::pair<int, float>>;
using Stereo = std::vector<std::vector<float>>;

constexpr double kRate = 48000;
// Angles 45 and -45, spacing 2, depth 30, source width 6, height 5, room width 20, no extra
// width, cardioid, every reflection, position 0.3, distance 0.5.
constexpr const char* kStage = "45|-45|2|30|6|5|20|0|2|15|0.3|0.5";

// One spatializer after initEx and setDSPInfo, as the engine leaves it.
class Spatializer {
 public:
  explicit Spatializer(const std::string& text, const std::string& extra = "engine",
                       double rate = kRate)
      : m_in(new HDMIDIEvents), out(new HDMIDIEvents) {
    EXPECT_EQ(post.initEx(text.c_str(), extra.c_str()), 1);
    DSPInfo info{rate, static_cast<std::int32_t>(rate), 1 / rate, 4096, 4096 / rate, 1.0 / 4096,
                 {}};
    post.setDSPInfo(&info);
  }
  /// Both channels in blocks of `block` frames, the controllers with the first block.
  Stereo run(Stereo audio, int block, const Controllers& controllers = {}) {
    events(controllers);
    const int frames = static_cast<int>(audio[0].size());
    for (int at = 0; at < frames; at += block) {
      float* pointers[2] = {audio[0].data() + at, audio[1].data() + at};
      out->numEvents = 0;
      post.process(pointers, std::min(block, frames - at), m_in.get(), out.get(), nullptr);
      m_in->numEvents = 0;
    }
    return audio;
  }
  void send(const Controllers& controllers) {
    events(controllers);
    post.process(nullptr, 0, m_in.get(), nullptr, nullptr);
  }

  acme::SpatializerPost post{nullptr};
  std::unique_ptr<HDMIDIEvents> m_in, out;

 private:
  void events(const Controllers& controllers) {
    m_in->numEvents = 0;
    for (const auto& [controller, value] : controllers) {
      HDMIDIEvent& event = m_in->events[m_in->numEvents++];
      event = HDMIDIEvent{};
      event.status = 176, event.data1 = controller, event.data2 = value;
    }
  }
};

Stereo noiseStereo(std::size_t frames) { return {noise(frames, 71), noise(frames, 72)}; }

TEST(MicrophonePattern, ResponsesOnTheAxisAtTheSideAndBehind) {
  struct Case {
    std::size_t pattern;
    double at0, at90, at180;
  };
  const Case cases[] = {{0, 1.0, 1.0, 1.0},
                        {1, 0.962327, 0.000069, -0.962327},
                        {2, 0.981164, 0.500035, 0.018836},
                        {3, 0.987442, 0.666690, 0.345891},
                        {4, 0.973252, 0.290049, -0.393252},
                        {5, 0.977396, 0.400041, -0.177396}};
  for (const Case& c : cases) {
    const acme::MicrophonePattern* p = acme::microphonePattern(c.pattern);
    ASSERT_NE(p, nullptr);
    for (const double sign : {1.0, -1.0}) {
      EXPECT_NEAR(p->GetAmplitudeResponse(0.0), c.at0, 5e-6) << c.pattern;
      EXPECT_NEAR(p->GetAmplitudeResponse(sign * M_PI / 2), c.at90, 5e-6) << c.pattern;
      EXPECT_NEAR(p->GetAmplitudeResponse(sign * M_PI), c.at180, 5e-6) << c.pattern;
      EXPECT_NEAR(p->GetAmplitudeResponse(sign * M_PI / 2 + 4 * M_PI), c.at90, 5e-6) << c.pattern;
    }
  }
  EXPECT_NEAR(acme::microphonePattern(1)->GetAmplitudeResponse(M_PI / 2), 0.0, 1e-4);
  EXPECT_EQ(acme::microphonePattern(6), nullptr);
}

stage::Stage parse(const char* text) {
  double v[12];
  std::string copy(text);
  std::replace(copy.begin(), copy.end(), '|', ' ');
  std::istringstream in(copy);
  for (double& x : v) in >> x;
  return {v[0] * M_PI / 180,
          v[1] * M_PI / 180,
          v[2],
          v[3],
          v[4],
          v[5],
          v[6],
          v[7],
          static_cast<std::uint64_t>(v[8]),
          static_cast<std::uint64_t>(v[9]),
          v[10],
          v[11]};
}

TEST(SpatializerTaps, EqualTheImageSourcesOfTheStage) {
  struct Case {
    const char* text;
    std::size_t taps;  // per side
  };
  const Case stages[] = {
      {kStage, 7},                                 // source left of centre
      {"45|-45|2|30|6|5|20|0|2|15|0.8|0.5", 7},    // right of centre
      {"30|-30|1|25|4|6|18|7|3|15|0.8|0.7", 7},    // extra width, source right: shifted
      {"30|-30|1|25|4|6|18|7|5|15|0.2|0.7", 7},    // extra width, source left
      {"60|-20|0.5|40|8|4|30|0|1|15|0.5|0.9", 7},  // figure-of-eight, nearly centred
      {"45|-45|2|30|6|5|20|0|2|1|0.3|0.5", 1},     // each reflection alone
      {"45|-45|2|30|6|5|20|0|2|2|0.3|0.5", 2},
      {"45|-45|2|30|6|5|20|0|2|4|0.3|0.5", 2},
      {"45|-45|2|30|6|5|20|0|4|8|0.7|0.5", 2},
      {"45|-45|2|10|6|5|2|0|0|15|0.3|0.2", 7},  // omni; room narrower than 3 + width
      {"10|-10|8|50|2|3|40|5|3|15|0.6|1", 7},
      {"0|0|0|30|0|5|20|0|0|15|0.5|0.5", 4},  // centred: the walls' paths merge
  };
  for (const auto& [text, taps] : stages) {
    Spatializer spatializer(text);
    stage::Stage s = parse(text);
    s.position = spatializer.post.getPosition();
    const auto expected = stage::stageTaps(s, kRate);
    ASSERT_EQ(spatializer.post.getTapCount(), expected[0].size()) << text;
    EXPECT_EQ(expected[0].size(), taps) << text;
    for (int side = 0; side < 2; ++side)
      for (std::size_t i = 0; i < expected[side].size(); ++i) {
        const acme::DelayTap& tap = spatializer.post.getTaps(side)[i];
        EXPECT_EQ(tap.delay, expected[side][i].delay) << text << ", side " << side << ", tap " << i;
        EXPECT_NEAR(tap.gain, expected[side][i].gain, 1e-6)
            << text << ", side " << side << ", tap " << i;
        // A group of four reads three frames past a tap's position.
        EXPECT_LT(tap.delay + 3, spatializer.post.getLineLength()) << text;
      }
  }
}

TEST(SpatializerTaps, WithoutReflectionsTheStageIsSilentAndFinite) {
  Spatializer spatializer("45|-45|2|30|6|5|20|0|2|0|0.3|0.5");
  EXPECT_EQ(spatializer.post.getTapCount(), 0u);
  const Stereo out = spatializer.run(noiseStereo(256), 256);
  EXPECT_EQ(out, Stereo(2, std::vector<float>(256, 0.0f)));
}

TEST(SpatializerTaps, TheRenderIsTheSumOfDelayedScaledCopies) {
  Spatializer spatializer(kStage);
  stage::Stage s = parse(kStage);
  s.position = spatializer.post.getPosition();
  const auto taps = stage::stageTaps(s, kRate);
  const Stereo input = noiseStereo(6000);
  const Stereo out = spatializer.run(input, 1024);
  for (int side = 0; side < 2; ++side)
    EXPECT_TRUE(closeToSignal(out[side], stage::renderTaps(taps[side], input[side]), 1e-6)) << side;
}

TEST(SpatializerControllers, PositionMapsFromOneToOneHundredTwentySeven) {
  struct Case {
    float value, position;
  };
  for (const Case c : {Case{1.0f / 127, 0.0f}, Case{127.0f / 127, 1.0f}, Case{0.0f, 0.0f},
                       Case{64.0f / 127, 0.5f}, Case{2.0f, 1.0f}}) {
    Spatializer spatializer(kStage);
    spatializer.send({{10, c.value}});
    EXPECT_NEAR(spatializer.post.getPositionTarget(), c.position, 1e-6) << c.value;
  }
}

TEST(SpatializerControllers, ArrangementsChooseAnglesSpacingAndPattern) {
  struct Case {
    float value;
    double left, right, spacing;
    std::uint64_t pattern;
  };
  const double text = 30 * M_PI / 180;
  const Case cases[] = {{0.0f, text, -text, 1, 3},
                        {0.07f, 0.7853982, -0.7853982, 0, 2},
                        {0.13f, 0.7853982, -0.7853982, 0, 1},
                        {0.2f, 0.9599311, -0.9599311, 0.56, 2},
                        {0.26f, 0.7853982, -0.7853982, 4, 3},
                        {0.32f, 0.7853982, -0.7853982, 8.5, 0},
                        {0.38f, text, -text, 1, 3}};
  for (const Case& c : cases) {
    Spatializer spatializer("30|-30|1|25|4|6|18|7|3|15|0.2|0.7");
    spatializer.run(noiseStereo(64), 64, {{256, c.value}});
    EXPECT_NEAR(spatializer.post.getAngleLeft(), c.left, 1e-7) << c.value;
    EXPECT_NEAR(spatializer.post.getAngleRight(), c.right, 1e-7) << c.value;
    EXPECT_DOUBLE_EQ(spatializer.post.getSpacing(), c.spacing) << c.value;
    EXPECT_EQ(spatializer.post.getPattern(), c.pattern) << c.value;
  }
}

TEST(SpatializerControllers, TheDefaultsAreAByteImage) {
  acme::SpatializerPost post(nullptr);
  auto events = std::make_unique<HDMIDIEvents>();
  std::memset(events.get(), 0x55, sizeof(HDMIDIEvents));
  post.getDefaults(events.get());
  auto expected = std::make_unique<HDMIDIEvents>();
  std::memset(expected.get(), 0, sizeof(HDMIDIEvents));
  expected->numEvents = 5;
  const std::pair<int, float> values[] = {
      {10, 64.0f / 127}, {103, 1.0f}, {256, 0.0f}, {36, 0.0f}, {36, 0.0f}};
  for (int i = 0; i < 5; ++i) {
    expected->events[i].status = 176;
    expected->events[i].data1 = values[i].first;
    expected->events[i].data2 = values[i].second;
  }
  EXPECT_EQ(std::memcmp(events.get(), expected.get(), sizeof(HDMIDIEvents)), 0);
  post.getDefaults(nullptr);  // no list, nothing written
}

TEST(SpatializerControllers, SwitchingTheStageOnReportsArrangementAndDistance) {
  Spatializer spatializer(kStage);
  spatializer.run(noiseStereo(4096), 4096, {{103, 0.0f}});
  EXPECT_EQ(spatializer.out->numEvents, 0);
  spatializer.run(noiseStereo(64), 64, {{256, 0.01f}});  // an arrangement of the text's own
  spatializer.run(noiseStereo(4096), 4096);
  spatializer.run(noiseStereo(64), 64, {{103, 1.0f}, {36, 0.25f}});
  ASSERT_EQ(spatializer.out->numEvents, 3);
  const std::pair<int, float> report[] = {{256, 0.01f}, {36, 0.25f}, {36, 0.25f}};
  for (int i = 0; i < 3; ++i) {
    HDMIDIEvent expected;
    std::memset(&expected, 0, sizeof expected);
    expected.status = 176, expected.data1 = report[i].first, expected.data2 = report[i].second;
    EXPECT_EQ(std::memcmp(&spatializer.out->events[i], &expected, sizeof expected), 0) << i;
  }
}

TEST(SpatializerControllers, ValuesThatAreNotFiniteAreIgnored) {
  Spatializer plain(kStage), other(kStage);
  other.send({{10, NAN}, {36, INFINITY}, {103, NAN}, {256, -INFINITY}});
  const Stereo input = noiseStereo(512);
  EXPECT_EQ(other.run(input, 512), plain.run(input, 512));
  EXPECT_FALSE(other.post.isFading());
}

TEST(SpatializerTransparent, UntilBothTextsAndEveryNumberAreUsable) {
  const char* texts[][2] = {{"", "engine"},
                            {kStage, ""},
                            {"45|-45|inf|30|6|5|20|0|2|15|0.3|0.5", "engine"},
                            {"45|-45|2|NaN|6|5|20|0|2|15|0.3|0.5", "engine"},
                            {"45|-45|2|1e400|6|5|20|0|2|15|0.3|0.5", "engine"},
                            {"45|-45|2|300000|6|5|20|0|2|15|0.3|0.5", "engine"}};
  const Stereo input = noiseStereo(300);
  for (const auto& text : texts) {
    Spatializer spatializer(text[0], text[1]);
    EXPECT_TRUE(spatializer.post.isTransparent()) << text[0];
    EXPECT_EQ(spatializer.run(input, 128, {{10, 0.9f}}), input) << text[0];
  }
  Spatializer readable("45|-45|2|30|6|5|20|0|2|15|0.3|0.5|junk 7");
  EXPECT_FALSE(readable.post.isTransparent());
}

TEST(SpatializerTransparent, TheTextIsReadUpTo1023Characters) {
  // The twelfth number, the distance, starts at character 1022: cut to "0", it leaves the
  // stage model off (the panner's one tap).
  const std::string eleven = "45|-45|2|30|6|5|20|0|2|15|0.3|";
  const std::string text = eleven + std::string(1022 - eleven.size(), ' ') + "0.5";
  Spatializer cut(text);
  EXPECT_EQ(cut.post.getTapCount(), 1u);
  Spatializer whole(eleven + "0.5");
  EXPECT_EQ(whole.post.getTapCount(), 7u);
}

TEST(SpatializerPanner, CentredAtDistanceZeroGivesTheInputBack) {
  Spatializer spatializer("45|-45|2|30|6|5|20|0|2|15|0.5|0");
  const Stereo input = noiseStereo(1000);
  const Stereo out = spatializer.run(input, 250);
  for (int side = 0; side < 2; ++side)
    EXPECT_TRUE(closeToSignal(out[side],
                              std::vector<double>(input[side].begin(), input[side].end()), 2e-7));
}

TEST(SpatializerFade, APositionChangeFadesOverFortyTwoMilliseconds) {
  const Stereo input = noiseStereo(4096);
  Spatializer oldOnly(kStage);
  const Stereo before = oldOnly.run(input, 4096);
  Spatializer newOnly("45|-45|2|30|6|5|20|0|2|15|0.7|0.5");
  auto defaults = std::make_unique<HDMIDIEvents>();
  newOnly.post.getDefaults(defaults.get());
  const float newPosition = defaults->events[0].data2;  // controller 10's form of 0.7
  const Stereo after = newOnly.run(input, 4096);

  Spatializer fading(kStage);
  EXPECT_EQ(fading.post.getXfadeFrames(), 2016.0);
  const Stereo out = fading.run(input, 4096, {{10, newPosition}});
  EXPECT_FALSE(fading.post.isFading());
  for (int side = 0; side < 2; ++side) {
    const auto& o = out[side];
    EXPECT_EQ(std::vector<float>(o.begin() + 2016, o.end()),
              std::vector<float>(after[side].begin() + 2016, after[side].end()));
    EXPECT_NE(o[2015], after[side][2015]);
    for (int frame : {400, 1008, 1600}) {
      const double in = frame / 2016.0;
      EXPECT_NEAR(o[frame], in * after[side][frame] + (1 - in) * before[side][frame], 1e-5)
          << frame;
    }
  }
}

TEST(SpatializerFade, RefusedGeometriesChangeNothingAndStartNoFade) {
  struct Case {
    const char* text;
    Controllers change;
    acme::Placement why;
  };
  const Case cases[] = {
      {kStage, {{36, 2.0f}}, acme::Placement::NotPositive},     // source behind the front wall
      {kStage, {{36, -10.0f}}, acme::Placement::SourceBehind},  // beyond the microphones
      {"45|-45|2|30|6|5|20|-100|2|15|0.3|0", {{36, 0.5f}}, acme::Placement::BeyondWidth},
      {"45|-45|2|30|6|5|20|0|7|15|0.3|0", {{36, 0.5f}}, acme::Placement::NoPattern},
  };
  const Stereo input = noiseStereo(3000);
  for (const Case& c : cases) {
    Spatializer plain(c.text), changed(c.text);
    const Stereo expected = plain.run(input, 500);
    EXPECT_EQ(changed.run(input, 500, c.change), expected) << static_cast<int>(c.why);
    EXPECT_FALSE(changed.post.isFading()) << static_cast<int>(c.why);
  }
  // The same geometries, asked of one microphone directly.
  acme::TapList taps;
  taps.count = 99;
  const acme::MicGeometry geometries[] = {{0, 3, -1, 4, 30, 20, 5},
                                          {0, 3, 30, 4, 30, 20, 5},
                                          {0, 21, 10, 4, 30, 20, 5},
                                          {0, 3, 10, 4, 30, 20, 5}};
  const acme::Placement answers[] = {acme::Placement::NotPositive, acme::Placement::SourceBehind,
                                     acme::Placement::BeyondWidth, acme::Placement::NoPattern};
  for (int i = 0; i < 4; ++i)
    EXPECT_EQ(acme::InitPosition(geometries[i], i == 3 ? 6 : 2, kRate, 15, taps), answers[i]) << i;
  EXPECT_EQ(taps.count, 99);
}

}  // namespace
}  // namespace kelo::test
