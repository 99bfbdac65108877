#include "Sampler/sdk/StringBed/pianosim/output.h"
#include "Sampler/sdk/StringBed/pianosim/piano.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "tests/Sampler/sdk/calvatero/support/AlignedAllocationProbe.h"
#include "tests/support/ConvolutionKit.h"

namespace {

constexpr double kRate = 44100;

struct PianoOwner {
  std::unique_ptr<piano> p = std::make_unique<piano>();
  explicit PianoOwner(float rate = kRate, const float* table = nullptr) {
    EXPECT_EQ(piano_init(p.get(), rate, table), 0);
  }
  ~PianoOwner() { piano_finalize(p.get()); }
  pianostring& string(int key, int s) { return p->resonators[key - 21].strings[s]; }
};

// The tuning rules, stated here: the loop is the period less the loss filter's delay at
// 12 kHz, doubled until at least 2; N = trunc(L - 0.5) and the allpass takes L - N.
struct Tuning {
  int n;
  double fd;
};
Tuning tuningOf(double rate, double f) {
  const double a = std::exp(-6.283184 * 12000 / rate);
  const double lossDelay = a / (1 - a);
  double period = rate / f;
  while (period - lossDelay < 2.0) period *= 2;
  const double loop = period - lossDelay;
  const int n = static_cast<int>(loop - 0.5);
  return {n, loop - n};
}

double fractionalDelayOf(const pianostring& s) {
  const double c = s.dispersion.coefficient;
  return (1 - c) / (1 + c);
}

TEST(PianoTuning, EveryKeyGetsTheDelayOfItsTwoStrings) {
  PianoOwner piano;
  for (int k = 0; k < 71; ++k) {
    const double f = 440.0 * std::pow(2.0, (k - 48) / 12.0);
    // Held as floats: GCC 12's vectoriser drops a float rounding that goes straight back to
    // double (-O2 and up), and the strings are tuned to the rounded frequencies.
    const float frequencies[2] = {static_cast<float>(f * 0.999f), static_cast<float>(f * 1.001f)};
    for (int s = 0; s < 2; ++s) {
      const Tuning expected = tuningOf(kRate, frequencies[s]);
      const pianostring& string = piano.p->resonators[k].strings[s];
      EXPECT_EQ(string.line.length, expected.n) << "key " << k + 21 << " string " << s;
      EXPECT_NEAR(fractionalDelayOf(string), expected.fd, 1e-9) << "key " << k + 21;
      EXPECT_GE(fractionalDelayOf(string), 0.5);
      EXPECT_LE(fractionalDelayOf(string), 1.5);
    }
  }
  const struct {
    int key, string, n;
    double fd;
  } kKnown[] = {{21, 0, 1604, 1.0207}, {21, 1, 1601, 0.8133}, {91, 0, 27, 0.9326},
                {91, 1, 27, 0.8763}};
  for (const auto& row : kKnown) {
    EXPECT_EQ(piano.string(row.key, row.string).line.length, row.n) << row.key;
    EXPECT_NEAR(fractionalDelayOf(piano.string(row.key, row.string)), row.fd, 1e-4) << row.key;
  }
}

TEST(PianoTuning, ATableGivesEachResonatorItsPair) {
  std::vector<float> table(142);
  for (int i = 0; i < 142; ++i) table[i] = 100.0f + 10.0f * i;
  PianoOwner piano(kRate, table.data());
  for (int k = 0; k < 71; ++k) {
    for (int s = 0; s < 2; ++s) {
      EXPECT_EQ(piano.p->resonators[k].strings[s].line.length,
                tuningOf(kRate, table[2 * k + s]).n);
    }
  }
}

TEST(PianoTuning, KeyTrackingLeavesKey69ItsOwnValues) {
  PianoOwner piano;
  piano_setdecay(piano.p.get(), 0, kRate, 0.99f, 0.8f, 0.5f, 5000, 3000, 0.3f);
  const pianostring& a4 = piano.string(69, 0);
  EXPECT_EQ(a4.holdGain, 0.99f);
  EXPECT_EQ(a4.releaseGain, 0.8f);
  EXPECT_EQ(a4.holdCoef, static_cast<float>(1 - std::exp(-6.283184 * 5000 / kRate)));
  EXPECT_EQ(a4.releaseCoef, static_cast<float>(1 - std::exp(-6.283184 * 3000 / kRate)));
  // An octave up: gains nearer 1 (power 2^-0.5), corners 2^0.3 higher; string 1 untouched.
  const pianostring& a5 = piano.string(81, 0);
  EXPECT_FLOAT_EQ(a5.holdGain, std::pow(0.99f, std::pow(2.0, -0.5)));
  EXPECT_FLOAT_EQ(a5.releaseCoef,
                  1 - std::exp(-6.283184 * 3000 * std::pow(2.0, 0.3) / kRate));
  EXPECT_GT(piano.string(57, 0).holdGain, 0.0f);
  EXPECT_LT(piano.string(57, 0).holdGain, 0.99f);
  EXPECT_EQ(piano.string(69, 1).holdGain, 1.0f);
  piano_setgain(piano.p.get(), 1, 0.25f);
  EXPECT_EQ(piano.string(21, 1).outputGain, 0.25f);
  EXPECT_EQ(piano.string(21, 0).outputGain, 1.0f);
}

TEST(PianoKeys, KeysOutsideThePianoChangeNothing) {
  PianoOwner piano;
  std::vector<unsigned char> before(sizeof(*piano.p));
  std::memcpy(before.data(), piano.p.get(), sizeof(*piano.p));
  for (const int key : {20, 92, -1, 127}) {
    piano_noteon(piano.p.get(), key);
    piano_noteoff(piano.p.get(), key);
    piano_noteon(piano.p.get(), key);
  }
  EXPECT_EQ(std::memcmp(before.data(), piano.p.get(), sizeof(*piano.p)), 0);
  for (const int key : {21, 91}) {
    piano_noteon(piano.p.get(), key);
    EXPECT_EQ(piano.string(key, 0).damperUp, 1);
    EXPECT_EQ(piano.string(key, 1).damperUp, 1);
    piano_noteoff(piano.p.get(), key);
    EXPECT_EQ(piano.string(key, 1).damperUp, 0);
  }
}

// The lag of the largest autocorrelation of x in [from, to], refined by a parabola.
double peakLag(const std::vector<float>& x, int from, int to) {
  std::vector<double> r(to + 2, 0.0);
  for (int lag = from - 1; lag <= to + 1; ++lag) {
    for (std::size_t i = lag; i < x.size(); ++i) r[lag] += double(x[i]) * x[i - lag];
  }
  int best = from;
  for (int lag = from; lag <= to; ++lag) best = r[lag] > r[best] ? lag : best;
  const double a = r[best - 1], b = r[best], c = r[best + 1];
  return best + 0.5 * (a - c) / (a - 2 * b + c);
}

TEST(PianoResonance, AHeldKeyRingsAtEachOfItsStringFrequencies) {
  for (const int s : {0, 1}) {
    PianoOwner piano;
    for (const int string : {0, 1}) {
      // Loss filter at the 12 kHz the tuning assumes; long hold, short release.
      piano_setdecay(piano.p.get(), string, kRate, 0.9995f, 0.5f, 0, 12000, 12000, 0);
      piano_setgain(piano.p.get(), string, string == s ? 1.0f : 0.0f);
    }
    piano_noteon(piano.p.get(), 69);
    std::mt19937 random(7);
    std::uniform_real_distribution<float> uniform(-0.5f, 0.5f);
    std::vector<float> in(20000, 0.0f), out(20000, 0.0f);
    for (int i = 2000; i < 2400; ++i) in[i] = uniform(random);
    piano_processadding(piano.p.get(), in.data(), out.data(), 20000);
    const std::vector<float> tail(out.begin() + 4000, out.end());
    const double f = 440.0 * (s == 0 ? 0.999 : 1.001);
    // Ten periods apart the two strings are 2 samples apart.
    EXPECT_NEAR(peakLag(tail, 950, 1050) / 10, kRate / f, 0.03) << "string " << s;
    double energy = 0;
    for (const float v : tail) energy += double(v) * v;
    EXPECT_GT(energy, 1.0);
  }
}

TEST(PianoResonance, AReleasedStringLosesReleaseGainPerPassThenStops) {
  // fd = 1 makes the allpass a plain one-sample delay, a corner far above the rate makes the
  // loss filter transparent, and equal gains leave nothing to glide: one pass, one factor.
  const double a = std::exp(-6.283184 * 12000 / kRate);
  const double frequency = kRate / (100 + a / (1 - a));
  pianostring s{};
  ASSERT_TRUE(string_init(&s, kRate, frequency));
  ASSERT_EQ(s.line.length, 99);
  ASSERT_NEAR(s.dispersion.coefficient, 0.0, 1e-9);
  const float g = 0.9f;
  string_setdecay(&s, kRate, g, g, 1e12, 1e12);
  ASSERT_EQ(s.releaseCoef, 1.0f);

  std::vector<float> silence(20000, 0.0f), out(20000, 0.0f);
  string_noteon(&s);
  string_processadding(&s, silence.data(), out.data(), 20000);  // gain and coupling settle
  std::vector<float> spike(1, 1.0f);
  float first = 0;
  string_processadding(&s, spike.data(), &first, 1);
  string_noteoff(&s);
  std::fill(out.begin(), out.end(), 0.0f);
  string_processadding(&s, silence.data(), out.data(), 20000);
  // The spike comes round every 100 samples, one factor g smaller each time.
  double previous = 0;
  for (int pass = 0; pass < 40; ++pass) {
    const float peak = out[99 + 100 * pass];
    if (pass > 0) {
      EXPECT_NEAR(peak / previous, g, 1e-4) << "pass " << pass;
    }
    previous = peak;
  }
  EXPECT_FALSE(string_isactive(&s));
  const int position = s.line.position;
  std::vector<float> more(500, 0.0f);
  string_processadding(&s, silence.data(), more.data(), 500);
  EXPECT_EQ(s.line.position, position) << "a quiet released string is skipped";
  for (const float v : more) EXPECT_EQ(v, 0.0f);
  string_noteon(&s);
  EXPECT_TRUE(string_isactive(&s));
  string_finalize(&s);
  EXPECT_EQ(s.line.buffer, nullptr);
}

TEST(PianoReset, ResetEqualsAFreshPianoWithTheSameSettings) {
  PianoOwner used, fresh;
  for (piano* p : {used.p.get(), fresh.p.get()}) {
    piano_setdecay(p, 0, kRate, 0.999f, 0.9f, 0.3f, 6000, 3000, 0.2f);
    piano_setdecay(p, 1, kRate, 0.998f, 0.8f, 0.2f, 7000, 2000, 0.1f);
    piano_setgain(p, 0, 0.5f);
    piano_setgain(p, 1, 0.7f);
  }
  std::vector<float> x(4096);
  std::mt19937 random(3);
  std::uniform_real_distribution<float> uniform(-1.0f, 1.0f);
  for (float& v : x) v = uniform(random);
  std::vector<float> a(4096, 0.0f), b(4096, 0.0f);
  piano_noteon(used.p.get(), 60);
  piano_noteon(used.p.get(), 72);
  piano_processadding(used.p.get(), x.data(), a.data(), 4096);
  piano_reset(used.p.get());
  std::fill(a.begin(), a.end(), 0.0f);
  for (piano* p : {used.p.get(), fresh.p.get()}) piano_noteon(p, 64);
  piano_processadding(used.p.get(), x.data(), a.data(), 4096);
  piano_processadding(fresh.p.get(), x.data(), b.data(), 4096);
  EXPECT_EQ(std::memcmp(a.data(), b.data(), a.size() * sizeof(float)), 0);
  EXPECT_EQ(used.string(60, 0).damperUp, 0);
}

// Sound, a second of silence in which keys are pressed and released, sound with a key pressed
// again that was released in the silence (where it stopped matters) and one held since the
// silence (its coupling has risen meanwhile): the strings rest
// in the silence once their ring is spent and add exactly nothing there, and the output is
// what running them over a faint stand-in for the silence gives, within -140 dBFS.
TEST(PianoRest, StringsRestInSilenceAndGoOnAsIfTheyHadRun) {
  constexpr int kBlock = 256, kSound = 2048, kSilence = 48128;
  const std::vector<float> input = kelo::test::soundSilenceSound(kSound, kSilence, 31);
  struct KeyChange {
    int frame, key;
    bool on;
  } const changes[] = {{0, 60, true},      {0, 64, true},      {0, 67, true},
                       {6144, 64, false},  {25600, 72, true},
                       {40960, 67, false}, {44032, 72, false}, {45056, 76, true},
                       {50176, 72, true}};
  // The strings that still run at the end of the silence.
  auto render = [&](const std::vector<float>& in, int& runningAtEnd) {
    PianoOwner piano;
    for (int string : {0, 1}) {
      piano_setdecay(piano.p.get(), string, kRate, 0.9f, 0.85f, 0, 12000, 8000, 0);
      piano_setgain(piano.p.get(), string, 0.003f);
    }
    std::vector<float> out(in.size(), 0.0f);
    for (int at = 0; at < static_cast<int>(in.size()); at += kBlock) {
      for (const KeyChange& c : changes) {
        if (c.frame != at) continue;
        if (c.on)
          piano_noteon(piano.p.get(), c.key);
        else
          piano_noteoff(piano.p.get(), c.key);
      }
      const int n = std::min(kBlock, static_cast<int>(in.size()) - at);
      piano_processadding(piano.p.get(), in.data() + at, out.data() + at, n);
      if (at + kBlock == kSound + kSilence) {
        runningAtEnd = 0;
        for (const resonator& r : piano.p->resonators)
          for (const pianostring& s : r.strings) runningAtEnd += !s.resting && string_isactive(&s);
      }
    }
    return out;
  };
  int strings = 0;
  const std::vector<float> running = render(kelo::test::faintForSilent(input), strings);
  EXPECT_EQ(strings, 4);  // keys 60 and 76, held
  const std::vector<float> out = render(input, strings);
  EXPECT_EQ(strings, 0);
  EXPECT_LE(kelo::test::largestDifferences(out, running, out.size())[0], 1e-7);
  const int lastSilentBlock = kSound + kSilence - kBlock;
  EXPECT_NE(running[lastSilentBlock], 0.0f) << "running leaves a residue";
  for (int i = lastSilentBlock; i < kSound + kSilence; ++i) ASSERT_EQ(out[i], 0.0f) << i;
  double energy = 0;  // the second sound rings
  for (std::size_t i = kSound + kSilence; i < out.size(); ++i) energy += double(out[i]) * out[i];
  EXPECT_GT(energy, 1e-6);
}

TEST(PianoMemory, AStringWithoutALineStaysSilentAndTheRestPlay) {
  long total = 0;
  {
    calvatero::testing::AlignedAllocationProbe counting;
    PianoOwner piano;
    total = counting.calls();
  }
  ASSERT_EQ(total, 142);
  for (const long failAt : {1L, 77L, 142L}) {
    calvatero::testing::AlignedAllocationProbe probe(failAt);
    auto p = std::make_unique<piano>();
    EXPECT_EQ(piano_init(p.get(), kRate, nullptr), 1) << failAt;
    const pianostring& lost = p->resonators[(failAt - 1) / 2].strings[(failAt - 1) % 2];
    EXPECT_EQ(lost.line.buffer, nullptr);
    EXPECT_FALSE(string_isactive(&lost));
    for (int key = 21; key <= 91; ++key) piano_noteon(p.get(), key);
    std::vector<float> in(2048, 0.25f), out(2048, 0.0f);
    piano_processadding(p.get(), in.data(), out.data(), 2048);
    piano_reset(p.get());
    piano_processadding(p.get(), in.data(), out.data(), 2048);
    double energy = 0;
    for (const float v : out) {
      ASSERT_TRUE(std::isfinite(v));
      energy += double(v) * v;
    }
    EXPECT_GT(energy, 0.0);
    piano_finalize(p.get());
    EXPECT_EQ(probe.liveBlocks(), 0);
  }
}

struct Calls {
  std::vector<int> order;
};
struct Listener {
  Calls* calls;
  int id;
};
void record(void* user) {
  auto* listener = static_cast<Listener*>(user);
  listener->calls->order.push_back(listener->id);
}

TEST(PianoValueHolder, InputsAreToldInTheOrderTheyWereAttached) {
  output o;
  output_init(&o, 0.5f);
  Calls calls;
  Listener listeners[3] = {{&calls, 1}, {&calls, 2}, {&calls, 3}};
  input inputs[3];
  input_init(&inputs[0], &o, &listeners[0], record, 0);
  input_init(&inputs[1], &o, &listeners[1], record, 1);  // told at once
  input_init(&inputs[2], &o, &listeners[2], record, 0);
  EXPECT_EQ(calls.order, (std::vector<int>{2}));
  EXPECT_EQ(input_getvalue(&inputs[2]), 0.5f);

  calls.order.clear();
  output_setvalue(&o, 2.0f);
  EXPECT_EQ(calls.order, (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(output_getvalue(&o), 2.0f);
  EXPECT_EQ(input_getvalue(&inputs[0]), 2.0f);

  calls.order.clear();
  input_finalize(&inputs[0]);
  output_setvalue(&o, 3.0f);
  input_init(&inputs[0], &o, &listeners[0], record, 0);
  output_setvalue(&o, 4.0f);
  EXPECT_EQ(calls.order, (std::vector<int>{2, 3, 2, 3, 1}));
  for (input& i : inputs) input_finalize(&i);
  output_setvalue(&o, 5.0f);  // nobody attached
  EXPECT_EQ(calls.order.size(), 5u);
  output_finalize(&o);
  EXPECT_EQ(output_getvalue(&o), 0.0f);
}

}  // namespace
