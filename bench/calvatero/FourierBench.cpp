// The library's Fourier transforms against FFTW (single precision, split interface,
// FFTW_MEASURE; also with FFTW_NO_SIMD) and KissFFT (float build, interleaved: it has no split
// form); for powers of two also the split FFT held to four-float vectors. One iteration is an out-of-place forward plus inverse transform on 64-byte aligned
// arrays; plan and setup time are excluded. Counters: ns_per_transform (half an iteration) and
// mflops = 5 N log2 N per transform / time.
//
//   bench_fourier --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
#include <fftw3.h>
#include <kiss_fft.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "Sampler/sdk/calvatero/fourier/FourierTransformComplex.h"
#include "Sampler/sdk/calvatero/fourier/FourierTransformRealOdd.h"
#include "Sampler/sdk/calvatero/newconv/Common.h"
#include "platform/accelerate/SplitFFT.h"

namespace {

using calvatero::common::AlignedFloats;

void setCounters(benchmark::State& state, double n) {
  const double transforms = 2.0 * static_cast<double>(state.iterations());
  state.counters["ns_per_transform"] = benchmark::Counter(
      transforms * 1e-9, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  state.counters["mflops"] =
      benchmark::Counter(transforms * 5 * n * std::log2(n) * 1e-6, benchmark::Counter::kIsRate);
}

// Input, spectrum and the inverse's output: the input stays as it is, so values never grow.
struct SplitArrays {
  AlignedFloats inRe, inIm, outRe, outIm, backRe, backIm;
  explicit SplitArrays(std::size_t n)
      : inRe(n, 64), inIm(n, 64), outRe(n, 64), outIm(n, 64), backRe(n, 64), backIm(n, 64) {
    for (std::size_t i = 0; i < n; ++i) {
      inRe[i] = std::sin(0.01f * static_cast<float>(i));
      inIm[i] = std::cos(0.02f * static_cast<float>(i));
      outRe[i] = outIm[i] = backRe[i] = backIm[i] = 0;
    }
  }
};

void Calvatero(benchmark::State& state) {
  const auto n = static_cast<std::size_t>(state.range(0));
  const auto ordered = static_cast<unsigned char>(state.range(1));
  std::unique_ptr<calvatero::fourier::FourierTransformComplex> t(
      calvatero::fourier::CreateFourierTransformComplex(n, 64));
  SplitArrays a(n);
  for (auto _ : state) {
    t->ForwardTransform(a.outRe.get(), a.outIm.get(), a.inRe.get(), a.inIm.get(), ordered);
    t->InverseTransform(a.backRe.get(), a.backIm.get(), a.outRe.get(), a.outIm.get(), ordered);
    benchmark::ClobberMemory();
  }
  setCounters(state, static_cast<double>(n));
}

void SplitFour(benchmark::State& state) {
  const auto n = static_cast<std::size_t>(state.range(0));
  const auto fft = accelerate::SplitFFT::create(static_cast<unsigned>(std::log2(n)),
                                                accelerate::VectorWidth::Four);
  SplitArrays a(n);
  AlignedFloats scratchRe(fft->scratchLength(), 64), scratchIm(fft->scratchLength(), 64);
  for (auto _ : state) {
    fft->transform(a.inRe.get(), a.inIm.get(), a.outRe.get(), a.outIm.get(), scratchRe.get(),
                   scratchIm.get(), accelerate::FFTDirection::Forward);
    fft->transform(a.outRe.get(), a.outIm.get(), a.backRe.get(), a.backIm.get(), scratchRe.get(),
                   scratchIm.get(), accelerate::FFTDirection::Inverse);
    benchmark::ClobberMemory();
  }
  setCounters(state, static_cast<double>(n));
}

void Fftw(benchmark::State& state, unsigned flags) {
  const int n = static_cast<int>(state.range(0));
  SplitArrays a(static_cast<std::size_t>(n));
  fftwf_iodim dim{n, 1, 1};
  // FFTW's split interface has no sign: the inverse swaps real and imaginary arrays.
  fftwf_plan forward = fftwf_plan_guru_split_dft(1, &dim, 0, nullptr, a.inRe.get(), a.inIm.get(),
                                                 a.outRe.get(), a.outIm.get(), flags);
  fftwf_plan inverse = fftwf_plan_guru_split_dft(1, &dim, 0, nullptr, a.outIm.get(), a.outRe.get(),
                                                 a.backIm.get(), a.backRe.get(), flags);
  SplitArrays fresh(static_cast<std::size_t>(n));  // MEASURE overwrote the arrays
  std::memcpy(a.inRe.get(), fresh.inRe.get(), sizeof(float) * static_cast<std::size_t>(n));
  std::memcpy(a.inIm.get(), fresh.inIm.get(), sizeof(float) * static_cast<std::size_t>(n));
  for (auto _ : state) {
    fftwf_execute(forward);
    fftwf_execute(inverse);
    benchmark::ClobberMemory();
  }
  fftwf_destroy_plan(forward);
  fftwf_destroy_plan(inverse);
  setCounters(state, n);
}

void FftwMeasure(benchmark::State& state) { Fftw(state, FFTW_MEASURE); }
void FftwNoSimd(benchmark::State& state) { Fftw(state, FFTW_MEASURE | FFTW_NO_SIMD); }

void Kiss(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  kiss_fft_cfg forward = kiss_fft_alloc(n, 0, nullptr, nullptr);
  kiss_fft_cfg inverse = kiss_fft_alloc(n, 1, nullptr, nullptr);
  const std::size_t floats = 2 * static_cast<std::size_t>(n);
  AlignedFloats in(floats, 64), out(floats, 64), back(floats, 64);
  for (std::size_t i = 0; i < floats; ++i) in[i] = std::sin(0.01f * static_cast<float>(i));
  auto* cin = reinterpret_cast<kiss_fft_cpx*>(in.get());
  auto* cout = reinterpret_cast<kiss_fft_cpx*>(out.get());
  auto* cback = reinterpret_cast<kiss_fft_cpx*>(back.get());
  for (auto _ : state) {
    kiss_fft(forward, cin, cout);
    kiss_fft(inverse, cout, cback);
    benchmark::ClobberMemory();
  }
  kiss_fft_free(forward);
  kiss_fft_free(inverse);
  setCounters(state, n);
}

// The fixed real odd-frequency classes: forward of K samples plus the inverse of K samples.
template <typename Fixed, std::size_t kLength>
void RealOddFixed(benchmark::State& state) {
  const Fixed t;
  AlignedFloats x(kLength, 64), spectrum(kLength, 64), y(kLength, 64);
  for (std::size_t i = 0; i < kLength; ++i) x[i] = std::sin(0.1f * static_cast<float>(i));
  for (auto _ : state) {
    t.ForwardFFT(spectrum.get(), x.get());
    t.InverseFFT(y.get(), spectrum.get());
    benchmark::ClobberMemory();
  }
  setCounters(state, kLength);
}

void RealOdd256(benchmark::State& state) {
  calvatero::fourier::FourierTransformRealOdd t(256, 64);
  AlignedFloats x(256, 64), spectrum(256, 64), y(256, 64);
  for (std::size_t i = 0; i < 256; ++i) x[i] = std::sin(0.1f * static_cast<float>(i));
  for (auto _ : state) {
    t.FTAndReorder(spectrum.get(), x.get(), 128);
    t.ReorderAndIFT2(y.get(), spectrum.get(), 128);
    benchmark::ClobberMemory();
  }
  setCounters(state, 256);
}

std::vector<long> lengths() {
  std::vector<long> all;
  for (int k = 2; k <= 20; ++k) all.push_back(1L << k);
  for (const long base : {3L, 5L, 7L, 9L}) {
    for (const int k : {4, 6, 8, 10, 12, 14, 16}) all.push_back(base << k);
  }
  for (const long chirp : {44L, 1004L, 4100L, 65540L}) all.push_back(chirp);
  return all;
}

void registerAll() {
  for (const long n : lengths()) {
    benchmark::RegisterBenchmark("calvatero", Calvatero)->Args({n, 1});
    benchmark::RegisterBenchmark("fftw_measure", FftwMeasure)->Args({n, 1});
    benchmark::RegisterBenchmark("fftw_no_simd", FftwNoSimd)->Args({n, 1});
    benchmark::RegisterBenchmark("kissfft", Kiss)->Args({n, 1});
    if ((n & (n - 1)) == 0) benchmark::RegisterBenchmark("split_four", SplitFour)->Args({n, 1});
  }
  for (const long n : {64L, 128L}) {
    benchmark::RegisterBenchmark("calvatero_unordered", Calvatero)->Args({n, 0});
  }
  benchmark::RegisterBenchmark("RealOdd4", RealOddFixed<calvatero::fourier::RealOdd4, 8>)->Arg(8);
  benchmark::RegisterBenchmark("RealOdd8", RealOddFixed<calvatero::fourier::RealOdd8, 16>)->Arg(16);
  benchmark::RegisterBenchmark("RealOdd32", RealOddFixed<calvatero::fourier::RealOdd32, 64>)->Arg(64);
  benchmark::RegisterBenchmark("FourierTransformRealOdd", RealOdd256)->Arg(256);
}

}  // namespace

int main(int argc, char** argv) {
  registerAll();
  benchmark::AddCustomContext("calvatero_isa",
                              accelerate::SplitFFT::widestVectors() == accelerate::VectorWidth::Eight
                                  ? "power-of-two core: AVX2 and FMA, 8-float vectors; other passes: SSE"
                                  : "SSE (x86-64 baseline, 4-float vectors)");
  benchmark::AddCustomContext("fftw", fftwf_version);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
