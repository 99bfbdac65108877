// Render cost of the reverbs as the engine calls them: stereo blocks in place, the
// response (seeded decaying noise of 1, 5 or 20 s) delivered by a host stub from memory, after
// a warm-up, flush-to-zero and denormals-are-zero set. Beside them zita-convolver 4 (Debian)
// set up as bench/convolution does: stereo, impulses on (0,0) and (1,1), quantum = minpart =
// 64, maxpart 8192, density 0.5, process(sync = true), its level threads under SCHED_OTHER;
// its latency is one quantum (64 frames), the reverbs add none. A 256-frame block is four
// zita quanta. Zita runs at the engine's rate (48 or 96 kHz, the response as many seconds).
//
// The simple reverb runs at 48 kHz; the room reverb at 48 kHz and at 96 kHz, where it
// convolves at 48 kHz between the resampler's filters (its response is delivered at 48 kHz).
// Rebuild/<seconds> is the room reverb worker's reshape and convolver build after a size
// change, timed from the block that hands the change over to the first block that runs the
// new set (wall time: the hand-over wakes the worker, the build, the swap at the next block).
//
// Counters: ns_per_channel_sample (CPU time of the whole process, all threads, per channel
// and frame) and thread_ns (CPU time of the calling thread, same unit).
//
//   bench_reverb --benchmark_min_time=0.2 --benchmark_out=reverb.json --benchmark_out_format=json
#include <pmmintrin.h>
#include <time.h>
#include <unistd.h>
#include <xmmintrin.h>
#include <zita-convolver.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <thread>
#include <memory>
#include <random>
#include <vector>

#include <benchmark/benchmark.h>

#include "effects/reverb/BasicConvolverPost.h"
#include "effects/reverb/RoomConvolverPost.h"

namespace {

using namespace vantor::KELOPluginSDK;

constexpr int kRate = 48000;

std::vector<float> decayingNoise(std::size_t frames, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> dist(-1.0f, 1.0f);
  std::vector<float> v(frames);
  for (std::size_t t = 0; t < frames; ++t)
    v[t] = dist(rng) * static_cast<float>(std::pow(10.0, -3.0 * double(t) / double(frames)));
  return v;
}

// Delivers one stereo response from memory, at whatever rate is asked.
struct MemoryHost {
  Host host{&MemoryHost::callback};
  std::vector<float> left, right;
  static std::int32_t callback(Host* self, std::int32_t opcode, std::int32_t, void* data) {
    auto* me = reinterpret_cast<MemoryHost*>(self);
    auto* file = static_cast<HostAudioFile*>(data);
    if (opcode == HOSTOP_LOAD_AUDIO_FILE) {
      file->channels[0] = me->left.data();
      file->channels[1] = me->right.data();
      file->numChannels = 2;
      file->numFrames = static_cast<std::int64_t>(me->left.size());
      file->loadStatus = 1;
    } else if (opcode == HOSTOP_RELEASE_AUDIO_FILE) {
      file->loadStatus = 0;
    }
    return 0;
  }
};

double cpuSeconds(clockid_t clock) {
  timespec ts;
  clock_gettime(clock, &ts);
  return static_cast<double>(ts.tv_sec) + 1e-9 * static_cast<double>(ts.tv_nsec);
}

struct Block {
  explicit Block(int frames) : left(decayingNoise(frames, 7)), right(decayingNoise(frames, 8)) {}
  std::vector<float> left, right;
  float* audio[2] = {left.data(), right.data()};
};

DSPInfo dsp(int rate, int block) {
  return {double(rate), rate, 1.0 / rate, block, block / double(rate), 1.0 / block, {}};
}

// Times `step` (one block of `frames` stereo frames) with both CPU clocks.
template <typename Step>
void timeBlocks(benchmark::State& state, int frames, Step step) {
  _MM_SET_FLUSH_ZERO_MODE(_MM_FLUSH_ZERO_ON);
  _MM_SET_DENORMALS_ZERO_MODE(_MM_DENORMALS_ZERO_ON);
  for (int i = 0; i < 200; ++i) step();
  const double process0 = cpuSeconds(CLOCK_PROCESS_CPUTIME_ID);
  const double thread0 = cpuSeconds(CLOCK_THREAD_CPUTIME_ID);
  for (auto _ : state) step();
  const double samples = 2.0 * frames * static_cast<double>(state.iterations());
  state.counters["ns_per_channel_sample"] = (cpuSeconds(CLOCK_PROCESS_CPUTIME_ID) - process0) * 1e9 / samples;
  state.counters["thread_ns"] = (cpuSeconds(CLOCK_THREAD_CPUTIME_ID) - thread0) * 1e9 / samples;
}

// One reverb at `rate` over a response of `seconds` at 48 kHz, blocks of `frames`.
template <class Reverb>
void runReverb(benchmark::State& state, std::size_t seconds, int frames, int rate) {
  MemoryHost files;
  files.left = decayingNoise(seconds * kRate, 1);
  files.right = decayingNoise(seconds * kRate, 2);
  Reverb reverb(&files.host);
  reverb.initEx("memory|0|1", nullptr);
  const DSPInfo info = dsp(rate, frames);
  reverb.setDSPInfo(&info);
  reverb.start();
  Block block(frames);
  timeBlocks(state, frames, [&] {
    reverb.process(block.audio, frames, nullptr, nullptr, nullptr);
    benchmark::DoNotOptimize(block.left.data());
  });
}

// args: response seconds, block frames.
void Simple(benchmark::State& state) {
  runReverb<acme::BasicConvolverPost>(state, static_cast<std::size_t>(state.range(0)),
                                      static_cast<int>(state.range(1)), kRate);
}

// args: response seconds, block frames, engine rate.
void Room(benchmark::State& state) {
  runReverb<acme::RoomConvolverPost>(state, static_cast<std::size_t>(state.range(0)),
                                     static_cast<int>(state.range(1)),
                                     static_cast<int>(state.range(2)));
}

// args: response seconds. One iteration: a size change, then blocks until the new set runs.
void Rebuild(benchmark::State& state) {
  const auto seconds = static_cast<std::size_t>(state.range(0));
  constexpr int kFrames = 256;
  MemoryHost files;
  files.left = decayingNoise(seconds * kRate, 1);
  files.right = decayingNoise(seconds * kRate, 2);
  acme::RoomConvolverPost reverb(&files.host);
  reverb.initEx("memory|0|1", nullptr);
  const DSPInfo info = dsp(kRate, kFrames);
  reverb.setDSPInfo(&info);
  // An impulse answered by the first frames of the response; the stretched one differs.
  std::vector<float> left(kFrames, 0.0f), right(kFrames, 0.0f);
  float* audio[2] = {left.data(), right.data()};
  auto events = std::make_unique<HDMIDIEvents>();
  float size = 0.5f;
  auto answer = [&] {
    reverb.stop();
    std::fill(left.begin(), left.end(), 0.0f);
    std::fill(right.begin(), right.end(), 0.0f);
    left[0] = right[0] = 1.0f;
    reverb.process(audio, kFrames, events.get(), nullptr, nullptr);
    events->numEvents = 0;
    return left;
  };
  for (auto _ : state) {
    size = size == 0.5f ? 0.8f : 0.5f;
    events->numEvents = 1;
    events->events[0] = HDMIDIEvent{176, 4, size, {}, {}, 0};
    const auto start = std::chrono::steady_clock::now();
    const std::vector<float> old = answer();
    while (answer() == old) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
}

// args: response seconds, block frames, rate (the response has seconds x rate frames).
void Zita(benchmark::State& state) {
  const auto seconds = static_cast<std::size_t>(state.range(0));
  const int frames = static_cast<int>(state.range(1));
  const auto rate = static_cast<std::size_t>(state.range(2));
  constexpr std::uint32_t kQuantum = 64;
  std::vector<float> left = decayingNoise(seconds * rate, 1), right = decayingNoise(seconds * rate, 2);
  auto proc = std::make_unique<Convproc>();
  const auto n = static_cast<std::uint32_t>(left.size());
  proc->configure(2, 2, n, kQuantum, kQuantum, Convproc::MAXPART, 0.5f);
  proc->impdata_create(0, 0, 1, left.data(), 0, static_cast<std::int32_t>(n));
  proc->impdata_create(1, 1, 1, right.data(), 0, static_cast<std::int32_t>(n));
  proc->start_process(0, SCHED_OTHER);
  Block block(frames);
  timeBlocks(state, frames, [&] {
    for (int at = 0; at < frames; at += kQuantum) {
      std::memcpy(proc->inpdata(0), block.left.data() + at, kQuantum * sizeof(float));
      std::memcpy(proc->inpdata(1), block.right.data() + at, kQuantum * sizeof(float));
      proc->process(true);
      std::memcpy(block.left.data() + at, proc->outdata(0), kQuantum * sizeof(float));
      std::memcpy(block.right.data() + at, proc->outdata(1), kQuantum * sizeof(float));
    }
    benchmark::DoNotOptimize(block.left.data());
  });
  proc->stop_process();
  while (!proc->check_stop()) usleep(1000);
  proc->cleanup();
}

void lengthsAndBlocks(benchmark::internal::Benchmark* b) {
  for (int seconds : {1, 5, 20})
    for (int block : {64, 256}) b->Args({seconds, block});
}

void lengthsBlocksAndRates(benchmark::internal::Benchmark* b) {
  for (int seconds : {1, 5, 20})
    for (int block : {64, 256})
      for (int rate : {48000, 96000}) b->Args({seconds, block, rate});
}

BENCHMARK(Simple)->Apply(lengthsAndBlocks)->Unit(benchmark::kMicrosecond);
BENCHMARK(Room)->Apply(lengthsBlocksAndRates)->Unit(benchmark::kMicrosecond);
BENCHMARK(Rebuild)->Arg(1)->Arg(5)->Arg(20)->UseManualTime()->Iterations(4)->Unit(benchmark::kMillisecond);
BENCHMARK(Zita)->Apply(lengthsBlocksAndRates)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
