// Stereo convolution of seeded noise with seeded noise impulses, after a warm-up, with
// flush-to-zero and denormals-are-zero set on the calling thread (zita-convolver's threads
// inherit them):
//   - ours through the C interface, at calls of 1, 32 and 64 frames (zero added latency);
//   - zita-convolver 4 (Debian), stereo with impulses only on (0,0) and (1,1), quantum = minpart
//     = 64 and 256, maxpart 8192, density 0.5, process(sync = true); its level threads run
//     under SCHED_OTHER (start_process(0, SCHED_OTHER): no real-time rights needed). Its latency
//     is one quantum;
//   - a uniformly partitioned overlap-save with 8192-frame partitions (FFTW, 16384-point real
//     transforms, FFTW_MEASURE): the cost floor at 8192 frames of latency.
// Counters per channel-sample: proc_ns (CPU time of the whole process, all threads) and
// thread_ns (CPU time of the calling, "audio", thread). Each case also reports its init time
// and the heap it holds (mallinfo2 before and after creation).
//
// CallTime/<frames> times every 32-frame call of the long engine, after a warm-up of two
// cycles of its longest partition, over 256 periods of its 128-call schedule: mean, raw
// percentiles and maximum, and the mean and highest of the phases' medians over the periods,
// in ns of wall time.
//
//   bench_convolution --benchmark_out=conv.json --benchmark_out_format=json
//   bench/convolution/convolution_table.py conv.json
#include <fftw3.h>
#include <malloc.h>
#include <unistd.h>
#include <pmmintrin.h>
#include <pthread.h>
#include <sched.h>
#include <time.h>
#include <xmmintrin.h>
#include <zita-convolver.h>

#include <algorithm>
#include <chrono>
#include <complex>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include <benchmark/benchmark.h>

#include "bench/support/BenchHelpers.h"
#include "Sampler/sdk/calvatero/convolution/ConvolutionInterface.h"

namespace {

using kelo::bench::cpuSeconds;
using kelo::bench::noise;
using kelo::bench::setFlushToZero;

constexpr std::size_t kRate = 48000;

std::size_t heapInUse() { return mallinfo2().uordblks + mallinfo2().hblkhd; }

// A stereo processor of fixed-size calls.
struct Engine {
  virtual ~Engine() = default;
  virtual void process(float* outL, float* outR, const float* inL, const float* inR) = 0;
};

struct Ours final : Engine {
  void* handle = nullptr;
  std::size_t frames;
  Ours(const std::vector<float>& hl, const std::vector<float>& hr, std::size_t call) : frames(call) {
    zkcvInitConvolverStereo(hl.data(), hr.data(), hl.size(), call, &handle);
  }
  ~Ours() override { zkcvEndConvolver(handle); }
  void process(float* outL, float* outR, const float* inL, const float* inR) override {
    zkcvCalculateCurrentOutputStereo(outL, outR, inL, inR, frames, handle);
  }
};

struct Zita final : Engine {
  Convproc proc;
  std::size_t quantum;
  Zita(std::vector<float>& hl, std::vector<float>& hr, std::size_t q) : quantum(q) {
    const auto n = static_cast<uint32_t>(hl.size());
    proc.configure(2, 2, n, static_cast<uint32_t>(q), static_cast<uint32_t>(q), Convproc::MAXPART, 0.5f);
    proc.impdata_create(0, 0, 1, hl.data(), 0, static_cast<int32_t>(n));
    proc.impdata_create(1, 1, 1, hr.data(), 0, static_cast<int32_t>(n));
    proc.start_process(0, SCHED_OTHER);
  }
  ~Zita() override {
    proc.stop_process();
    while (!proc.check_stop()) usleep(1000);
    proc.cleanup();
  }
  void process(float* outL, float* outR, const float* inL, const float* inR) override {
    std::memcpy(proc.inpdata(0), inL, quantum * sizeof(float));
    std::memcpy(proc.inpdata(1), inR, quantum * sizeof(float));
    proc.process(true);
    std::memcpy(outL, proc.outdata(0), quantum * sizeof(float));
    std::memcpy(outR, proc.outdata(1), quantum * sizeof(float));
  }
};

// Uniformly partitioned overlap-save, 8192-frame partitions, both channels.
struct OverlapSave final : Engine {
  static constexpr std::size_t B = 8192, N = 2 * B, K = B + 1;
  std::size_t partitions;
  std::vector<std::complex<float>> spectra[2], history[2];
  std::vector<float> window[2];
  std::vector<std::complex<float>> acc;
  std::vector<float> time;
  std::size_t position = 0;
  fftwf_plan forward, inverse;
  OverlapSave(const std::vector<float>& hl, const std::vector<float>& hr)
      : partitions((hl.size() + B - 1) / B), acc(K), time(N) {
    forward = fftwf_plan_dft_r2c_1d(static_cast<int>(N), time.data(),
                                    reinterpret_cast<fftwf_complex*>(acc.data()), FFTW_MEASURE);
    inverse = fftwf_plan_dft_c2r_1d(static_cast<int>(N), reinterpret_cast<fftwf_complex*>(acc.data()),
                                    time.data(), FFTW_MEASURE);
    for (int c = 0; c < 2; ++c) {
      const auto& h = c == 0 ? hl : hr;
      spectra[c].assign(partitions * K, {});
      history[c].assign(partitions * K, {});
      window[c].assign(N, 0.0f);
      for (std::size_t p = 0; p < partitions; ++p) {
        std::fill(time.begin(), time.end(), 0.0f);
        const std::size_t taps = std::min(B, h.size() - p * B);
        for (std::size_t i = 0; i < taps; ++i) time[i] = h[p * B + i] / N;
        fftwf_execute_dft_r2c(forward, time.data(),
                              reinterpret_cast<fftwf_complex*>(spectra[c].data() + p * K));
      }
    }
  }
  ~OverlapSave() override {
    fftwf_destroy_plan(forward);
    fftwf_destroy_plan(inverse);
  }
  // One block of B frames per call.
  void process(float* outL, float* outR, const float* inL, const float* inR) override {
    const float* ins[2] = {inL, inR};
    float* outs[2] = {outL, outR};
    for (int c = 0; c < 2; ++c) {
      std::memmove(window[c].data(), window[c].data() + B, B * sizeof(float));
      std::memcpy(window[c].data() + B, ins[c], B * sizeof(float));
      std::complex<float>* newest = history[c].data() + position * K;
      fftwf_execute_dft_r2c(forward, window[c].data(), reinterpret_cast<fftwf_complex*>(newest));
      std::fill(acc.begin(), acc.end(), std::complex<float>{});
      // Real arithmetic, so the compiler vectorises it (std::complex's product checks for
      // infinities in a library call).
      float* a = reinterpret_cast<float*>(acc.data());
      for (std::size_t p = 0; p < partitions; ++p) {
        const float* x = reinterpret_cast<const float*>(
            history[c].data() + ((position + partitions - p) % partitions) * K);
        const float* h = reinterpret_cast<const float*>(spectra[c].data() + p * K);
        for (std::size_t k = 0; k < 2 * K; k += 2) {
          a[k] += x[k] * h[k] - x[k + 1] * h[k + 1];
          a[k + 1] += x[k] * h[k + 1] + x[k + 1] * h[k];
        }
      }
      fftwf_execute_dft_c2r(inverse, reinterpret_cast<fftwf_complex*>(acc.data()), time.data());
      std::memcpy(outs[c], time.data() + B, B * sizeof(float));
    }
    position = (position + 1) % partitions;
  }
};

enum Kind { kOurs = 0, kZita = 1, kOverlapSave = 2 };

// args: impulse frames, kind, call frames (the quantum for zita).
void Convolution(benchmark::State& state) {
  setFlushToZero();
  const auto irFrames = static_cast<std::size_t>(state.range(0));
  const auto kind = static_cast<Kind>(state.range(1));
  const std::size_t call = kind == kOverlapSave ? OverlapSave::B : static_cast<std::size_t>(state.range(2));
  // Reverb-like impulses: noise under an exponential decay of about 60 dB over the length.
  std::vector<float> hl = noise(irFrames, 1, 0.5f), hr = noise(irFrames, 2, 0.5f);
  for (std::size_t i = 0; i < irFrames; ++i) {
    const float g = std::exp(-6.9f * static_cast<float>(i) / static_cast<float>(irFrames));
    hl[i] *= g;
    hr[i] *= g;
  }
  const std::size_t heapBefore = heapInUse();
  const double t0 = cpuSeconds(CLOCK_MONOTONIC);
  std::unique_ptr<Engine> engine;
  if (kind == kOurs) engine = std::make_unique<Ours>(hl, hr, call);
  else if (kind == kZita) engine = std::make_unique<Zita>(hl, hr, call);
  else engine = std::make_unique<OverlapSave>(hl, hr);
  const double initSeconds = cpuSeconds(CLOCK_MONOTONIC) - t0;
  const double heapBytes = static_cast<double>(heapInUse()) - static_cast<double>(heapBefore);

  // One iteration is a span of whole 16384-frame chunks covering the impulse at least once, so
  // that every phase of the engines' partition schedules is in it.
  const std::size_t chunk = std::max<std::size_t>(16384, call);
  const std::size_t chunksPerIteration = std::max<std::size_t>(4, (irFrames + chunk - 1) / chunk);
  const std::vector<float> inL = noise(chunk, 3), inR = noise(chunk, 4);
  std::vector<float> outL(chunk), outR(chunk);
  const auto runChunk = [&] {
    for (std::size_t done = 0; done + call <= chunk; done += call) {
      engine->process(outL.data() + done, outR.data() + done, inL.data() + done, inR.data() + done);
    }
  };
  for (std::size_t warm = 0; warm < kRate / 2; warm += chunk) runChunk();

  const double proc0 = cpuSeconds(CLOCK_PROCESS_CPUTIME_ID);
  const double thread0 = cpuSeconds(CLOCK_THREAD_CPUTIME_ID);
  std::size_t frames = 0;
  for (auto _ : state) {
    for (std::size_t i = 0; i < chunksPerIteration; ++i) runChunk();
    benchmark::DoNotOptimize(outL.data());
    frames += chunksPerIteration * (chunk / call * call);
  }
  const double channelSamples = 2.0 * static_cast<double>(frames);
  state.counters["proc_ns"] = (cpuSeconds(CLOCK_PROCESS_CPUTIME_ID) - proc0) * 1e9 / channelSamples;
  state.counters["thread_ns"] = (cpuSeconds(CLOCK_THREAD_CPUTIME_ID) - thread0) * 1e9 / channelSamples;
  state.counters["init_ms"] = initSeconds * 1e3;
  state.counters["heap_MiB"] = heapBytes / (1024.0 * 1024.0);
}

// The long engine's schedule: 32 steps of 32 frames per 1024-frame cycle, the buffered second
// stage rotating over four cycles. The cycle of its ways' multi-level filters, whose top-level
// thirds are its longest partitions, is the filters' whole length at 1024 frames a block: under
// three times the impulse plus a block, so a warm-up of six times that covers two cycles.
constexpr std::size_t kCallFrames = 32;
constexpr std::size_t kPhases = 4 * 1024 / kCallFrames;

double percentile(const std::vector<double>& sorted, double q) {
  return sorted[static_cast<std::size_t>(q * static_cast<double>(sorted.size() - 1))];
}

void CallTime(benchmark::State& state) {
  setFlushToZero();
  const auto irFrames = static_cast<std::size_t>(state.range(0));
  const std::vector<float> hl = noise(irFrames, 1, 0.5f), hr = noise(irFrames, 2, 0.5f);
  Ours engine(hl, hr, kCallFrames);
  const std::vector<float> in = noise(kCallFrames, 3);
  std::vector<float> outL(kCallFrames), outR(kCallFrames);
  const std::size_t period = kPhases * kCallFrames;
  const std::size_t warmCalls = (6 * (irFrames + 1024) + period - 1) / period * kPhases;
  for (std::size_t i = 0; i < warmCalls; ++i) engine.process(outL.data(), outR.data(), in.data(), in.data());

  constexpr std::size_t kPeriods = 256, kCalls = kPeriods * kPhases;
  std::vector<double> ns;
  ns.reserve(kCalls);
  for (auto _ : state) {
    ns.clear();
    for (std::size_t i = 0; i < kCalls; ++i) {
      const auto t0 = std::chrono::steady_clock::now();
      engine.process(outL.data(), outR.data(), in.data(), in.data());
      const auto t1 = std::chrono::steady_clock::now();
      ns.push_back(std::chrono::duration<double, std::nano>(t1 - t0).count());
    }
  }
  double mean = 0;
  for (const double v : ns) mean += v;
  mean /= static_cast<double>(ns.size());
  // Each phase's median over the periods keeps the schedule's own peaks and drops the
  // machine's interruptions, which land on any phase.
  double peak = 0, phaseMean = 0;
  std::vector<double> phase(kPeriods);
  for (std::size_t p = 0; p < kPhases; ++p) {
    for (std::size_t c = 0; c < kPeriods; ++c) phase[c] = ns[c * kPhases + p];
    std::nth_element(phase.begin(), phase.begin() + kPeriods / 2, phase.end());
    peak = std::max(peak, phase[kPeriods / 2]);
    phaseMean += phase[kPeriods / 2] / kPhases;
  }
  std::sort(ns.begin(), ns.end());
  state.counters["warmup_frames"] = static_cast<double>(warmCalls * kCallFrames);
  state.counters["mean_ns"] = mean;
  state.counters["p50_ns"] = percentile(ns, 0.5);
  state.counters["p99_ns"] = percentile(ns, 0.99);
  state.counters["p999_ns"] = percentile(ns, 0.999);
  state.counters["max_ns"] = ns.back();
  state.counters["phase_mean_ns"] = phaseMean;
  state.counters["phase_peak_ns"] = peak;
}

const long kLengths[] = {1000, 2112, 4096, 4736, 16000, 16001, 65536, 262144, 1048576};

void ConvolutionArgs(benchmark::internal::Benchmark* b) {
  for (const long n : kLengths) {
    for (const long call : {1, 32, 64}) b->Args({n, kOurs, call});
    for (const long quantum : {64, 256}) b->Args({n, kZita, quantum});
    b->Args({n, kOverlapSave, 8192});
  }
}

}  // namespace

BENCHMARK(Convolution)->Apply(ConvolutionArgs)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(CallTime)->Arg(16001)->Arg(65536)->Arg(1048576)->Iterations(1)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
