// The piano resonance plug-ins, per channel-sample of the engine's rate, on two channels in
// blocks of 256 frames, after a warm-up, with flush-to-zero and denormals-are-zero set:
//   - Symp/<keys>: the sympathetic resonance (71 string pairs per channel) with 0, 10 or all 71
//     keys held, fed low-level noise; released strings that have gone quiet are skipped;
//   - Twang/<keys>: 142 stk::Twang strings per channel (STK 4.6, Debian libstk-dev) tuned like
//     the model's, all fed the same input: a plain waveguide bank with nothing skipped (its
//     cost does not depend on the keys);
//   - Sustain/<rate>: the sustain resonance at 44.1, 96 and 192 kHz with a 10 s impulse and the
//     pedal down (convolution at 44.1, 48 and 48 kHz, then the low-pass back up);
//   - Zita/<impulse rate>: zita-convolver 4 with the same 10 s impulse at the convolver's rate,
//     quantum 256, time per channel-sample at that rate. Debian has no variable-decay
//     convolver, so this is a plain convolution, with one quantum of latency.
//
//   bench_stringbed --benchmark_out=stringbed.json --benchmark_out_format=json
//   bench/stringbed/stringbed_table.py stringbed.json
#include <sched.h>
#include <unistd.h>
#include <zita-convolver.h>

#include <stk/Stk.h>
#include <stk/Twang.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "bench/support/BenchHelpers.h"
#include "Sampler/sdk/StringBed/PianoSymp.h"
#include "Sampler/sdk/StringBed/StringBed.h"
#include "Sampler/sdk/StringBed/demo/HarpImpulseWriter.h"

namespace {

using kelo::bench::cpuSeconds;
using kelo::bench::noise;
using kelo::bench::setFlushToZero;

using vantor::KELOPluginSDK::ChannelInfo;
using vantor::KELOPluginSDK::DSPInfo;
using vantor::KELOPluginSDK::EffectPlugin;
using vantor::KELOPluginSDK::HDMIDIEvents;

constexpr std::int32_t kBlock = 256;

DSPInfo dspInfo(double rate) {
  return {rate, static_cast<std::int32_t>(rate), 1 / rate, kBlock, kBlock / rate, 1.0 / kBlock, {}};
}

std::unique_ptr<HDMIDIEvents> events() {
  auto list = std::make_unique<HDMIDIEvents>();
  std::memset(list.get(), 0, sizeof(*list));
  return list;
}

void add(HDMIDIEvents& list, std::int32_t status, std::int32_t data1, float data2) {
  auto& e = list.events[list.numEvents++];
  e.status = status;
  e.data1 = data1;
  e.data2 = data2;
}

// Runs `block` on two channels of low-level noise, the same input every block (processing is
// in place); CPU time of the process, all threads, per channel-sample.
template <typename Block>
void measure(benchmark::State& state, Block block, double warmFrames) {
  const std::vector<float> inLeft = noise(kBlock, 3, 0.1f), inRight = noise(kBlock, 4, 0.1f);
  std::vector<float> left(kBlock), right(kBlock);
  const auto run = [&] {
    std::memcpy(left.data(), inLeft.data(), kBlock * sizeof(float));
    std::memcpy(right.data(), inRight.data(), kBlock * sizeof(float));
    block(left.data(), right.data());
  };
  for (double done = 0; done < warmFrames; done += kBlock) run();
  const double t0 = cpuSeconds(CLOCK_PROCESS_CPUTIME_ID);
  std::size_t frames = 0;
  for (auto _ : state) {
    for (int i = 0; i < 64; ++i) run();
    benchmark::DoNotOptimize(left.data());
    frames += 64 * kBlock;
  }
  state.counters["ns"] = (cpuSeconds(CLOCK_PROCESS_CPUTIME_ID) - t0) * 1e9 / (2.0 * frames);
}

// Processes the plug-in in place, `first` with the first block and no events after.
void measurePlugin(benchmark::State& state, EffectPlugin& plugin, const HDMIDIEvents& first,
                   double warmFrames) {
  const auto none = events();
  bool started = false;
  measure(state, [&](float* l, float* r) {
    float* audio[2] = {l, r};
    plugin.process(audio, kBlock, started ? none.get() : &first, nullptr, nullptr);
    started = true;
  }, warmFrames);
}

void Symp(benchmark::State& state) {
  setFlushToZero();
  const auto keys = static_cast<int>(state.range(0));
  acme::PianoSymp plugin(nullptr);
  const DSPInfo info = dspInfo(44100);
  plugin.setDSPInfo(&info);
  auto first = events();
  plugin.getDefaults(first.get());
  for (int k = 0; k < keys; ++k) add(*first, 144, 21 + (k * 71 / std::max(keys, 1)), 0.8f);
  measurePlugin(state, plugin, *first, 44100);
}

void Twang(benchmark::State& state) {
  setFlushToZero();
  stk::Stk::setSampleRate(44100);
  std::vector<std::unique_ptr<stk::Twang>> strings[2];
  for (auto& channel : strings) {
    for (int k = 0; k < 71; ++k) {
      const double f = 440.0 * std::pow(2.0, (k - 48) / 12.0);
      for (const double detune : {0.999, 1.001}) {
        auto string = std::make_unique<stk::Twang>(20.0);
        string->setFrequency(f * detune);
        string->setLoopGain(0.997);
        channel.push_back(std::move(string));
      }
    }
  }
  measure(state, [&](float* l, float* r) {
    float* audio[2] = {l, r};
    for (int c = 0; c < 2; ++c) {
      for (std::int32_t i = 0; i < kBlock; ++i) {
        const double in = audio[c][i];
        double sum = 0;
        for (auto& string : strings[c]) sum += string->tick(in);
        audio[c][i] = static_cast<float>(in + 0.001 * sum);
      }
    }
  }, 4410);
}

// A 10 s impulse of decaying noise in a folder of its own, for every rate the harp may ask.
const std::string& impulseFolder() {
  static const std::string folder = [] {
    char pattern[] = "/tmp/bench-stringbed-XXXXXX";
    const std::string dir = mkdtemp(pattern);
    for (const unsigned long rate : {44100ul, 48000ul}) {
      stringbed::writeImpulseFile(dir + "/Bench" + std::to_string(rate / 1000),
                                  stringbed::decayingNoise16(10 * rate, 1));
    }
    return dir;
  }();
  return folder;
}

void Sustain(benchmark::State& state) {
  setFlushToZero();
  const double rate = static_cast<double>(state.range(0));
  acme::StringBed plugin(nullptr);
  plugin.initEx("Bench", impulseFolder().c_str());
  const DSPInfo info = dspInfo(rate);
  plugin.setDSPInfo(&info);
  auto first = events();
  add(*first, 176, 84, 0.2f);
  add(*first, 176, 85, 0.0f);
  add(*first, 176, 64, 1.0f);
  measurePlugin(state, plugin, *first, rate / 2);
}

void Zita(benchmark::State& state) {
  setFlushToZero();
  const auto rate = static_cast<unsigned long>(state.range(0));
  const stringbed::StereoImpulse16 impulse = stringbed::decayingNoise16(10 * rate, 1);
  std::vector<float> hl(impulse.left.size()), hr(impulse.right.size());
  for (std::size_t i = 0; i < hl.size(); ++i) {
    hl[i] = impulse.left[i] / 32768.0f * 0.025f;
    hr[i] = impulse.right[i] / 32768.0f * 0.025f;
  }
  Convproc proc;
  const auto n = static_cast<uint32_t>(hl.size());
  proc.configure(2, 2, n, kBlock, kBlock, Convproc::MAXPART, 0.5f);
  proc.impdata_create(0, 0, 1, hl.data(), 0, static_cast<int32_t>(n));
  proc.impdata_create(1, 1, 1, hr.data(), 0, static_cast<int32_t>(n));
  proc.start_process(0, SCHED_OTHER);
  measure(state, [&](float* l, float* r) {
    std::memcpy(proc.inpdata(0), l, kBlock * sizeof(float));
    std::memcpy(proc.inpdata(1), r, kBlock * sizeof(float));
    proc.process(true);
    std::memcpy(l, proc.outdata(0), kBlock * sizeof(float));
    std::memcpy(r, proc.outdata(1), kBlock * sizeof(float));
  }, static_cast<double>(rate) / 2);
  proc.stop_process();
  while (!proc.check_stop()) usleep(1000);
  proc.cleanup();
}

BENCHMARK(Symp)->Arg(0)->Arg(10)->Arg(71)->Iterations(20)->Unit(benchmark::kMillisecond);
BENCHMARK(Twang)->Arg(71)->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK(Sustain)->Arg(44100)->Arg(96000)->Arg(192000)->Iterations(20)->Unit(benchmark::kMillisecond);
BENCHMARK(Zita)->Arg(44100)->Arg(48000)->Iterations(20)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
