#include "Sampler/sdk/calvatero/convolution/LongStage2.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "Sampler/sdk/calvatero/convolution/BlockKernels.h"
#include "Sampler/sdk/calvatero/convolution/ConvolverMaster.h"
#include "Sampler/sdk/calvatero/newconv/Assert.h"
#include "Sampler/sdk/calvatero/newconv/Vec4.h"

namespace calvatero::convolution {

using simd::F4;
using simd::load;
using simd::store;

namespace {

constexpr std::size_t kSteps = 32;
constexpr std::size_t kStepFrames = BASE_BUFFER_SIZE;
constexpr std::size_t kBlockFrames = STAGE2_BUFFER_SIZE;
// Where the output ring is read relative to the input ring: the block's first output frame
// lies 1568 frames after its first input frame (17 steps and a block of 1024).
constexpr std::size_t kOutputLead = 480;
// The convolver's impulse starts here; stage 1 applies the taps before it.
constexpr std::size_t kStage2FirstTap = 544;

common::AlignedFloats zeroed(std::size_t floats, std::size_t alignment) {
  common::AlignedFloats block(floats, alignment);
  std::memset(block.get(), 0, floats * sizeof(float));
  return block;
}

struct Cx {
  F4 re, im;
};

inline Cx times(Cx z, F4 c, F4 s) { return {z.re * c - z.im * s, z.re * s + z.im * c}; }
inline Cx timesConj(Cx z, F4 c, F4 s) { return {z.re * c + z.im * s, z.im * c - z.re * s}; }

}  // namespace

// ---- DistributedRealOddRad4 ------------------------------------------------------------------

DistributedRealOddRad4::DistributedRealOddRad4(std::size_t length, std::size_t slices,
                                               std::size_t alignment)
    : _length(length), slices_(slices), quarter_(length / 8), _stageLen(length / 8 / slices) {
  CALVATERO_ASSERT(_length % (SIMD_VECTOR_ELEMENTS * 2) == 0);
  const std::size_t simd_stageLen = _stageLen / 4;
  CALVATERO_ASSERT(simd_stageLen << 2 == _stageLen);
  const std::size_t simd_eighthLen = quarter_ / 4;
  CALVATERO_ASSERT(simd_eighthLen << 5 == _length);
  const std::size_t half = length / 2;
  fold_ = common::AlignedFloats(length, alignment);
  twiddle1_ = common::AlignedFloats(2 * quarter_, alignment);
  twiddle2_ = common::AlignedFloats(2 * quarter_, alignment);
  const double n = static_cast<double>(length);
  for (std::size_t i = 0; i < half; ++i) {
    const double angle = static_cast<double>(i) * (-2 * M_PI / (2 * n));
    fold_[i] = static_cast<float>(std::cos(angle));
    fold_[half + i] = static_cast<float>(std::sin(angle));
  }
  for (std::size_t j = 0; j < quarter_; ++j) {
    const double a1 = static_cast<double>(j) * (-2 * M_PI / (n / 2));
    const double a2 = static_cast<double>(j) * (-2 * M_PI / (n / 4));
    twiddle1_[j] = static_cast<float>(std::cos(a1));
    twiddle1_[quarter_ + j] = static_cast<float>(std::sin(a1));
    twiddle2_[j] = static_cast<float>(std::cos(a2));
    twiddle2_[quarter_ + j] = static_cast<float>(std::sin(a2));
  }
}

template <bool kFullWindow>
void DistributedRealOddRad4::forward(float* re, float* im, const float* x,
                                     std::size_t slice) const {
  CALVATERO_ASSERT(slice<8);
  const std::size_t q = quarter_, half = _length / 2;
  const float* fc = fold_.get();
  const float* fs = fold_.get() + half;
  for (std::size_t j = slice * _stageLen; j < (slice + 1) * _stageLen; j += 4) {
    Cx v[4];
    for (std::size_t m = 0; m < 4; ++m) {
      const std::size_t n = j + m * q;
      const F4 c = load(fc + n), s = load(fs + n), lo = load(x + n);
      if constexpr (kFullWindow) {
        const F4 hi = load(x + n + half);
        v[m] = {lo * c + hi * s, lo * s - hi * c};
      } else {
        v[m] = {lo * c, lo * s};
      }
    }
    const Cx a = {v[0].re + v[2].re, v[0].im + v[2].im};
    const Cx b = {v[1].re + v[3].re, v[1].im + v[3].im};
    const Cx d = {v[0].re - v[2].re, v[0].im - v[2].im};
    const Cx e = {v[1].re - v[3].re, v[1].im - v[3].im};
    const F4 w1c = load(twiddle1_.get() + j), w1s = load(twiddle1_.get() + q + j);
    const F4 w2c = load(twiddle2_.get() + j), w2s = load(twiddle2_.get() + q + j);
    const Cx sum = {a.re + b.re, a.im + b.im};
    const Cx alt = times({a.re - b.re, a.im - b.im}, w2c, w2s);
    const Cx minus = times({d.re + e.im, d.im - e.re}, w1c, w1s);       // (d - i e) W^j
    const Cx plus = timesConj({d.re - e.im, d.im + e.re}, w1c, w1s);    // (d + i e) W^-j
    store(re + j, plus.re);
    store(im + j, plus.im);
    store(re + j + q, minus.re);
    store(im + j + q, minus.im);
    store(re + j + 2 * q, alt.re);
    store(im + j + 2 * q, alt.im);
    store(re + j + 3 * q, sum.re);
    store(im + j + 3 * q, sum.im);
  }
}

void DistributedRealOddRad4::ForwardRad4_IR(float* re, float* im, const float* window,
                                            std::size_t slice) const {
  forward<true>(re, im, window, slice);
}

void DistributedRealOddRad4::ForwardRad4(float* re, float* im, const float* block,
                                         std::size_t slice) const {
  forward<false>(re, im, block, slice);
}

void DistributedRealOddRad4::InverseRad4(float* out, const float* re, const float* im,
                                         std::size_t slice) const {
  CALVATERO_ASSERT(slice<8);
  const std::size_t q = quarter_, half = _length / 2;
  const float* fc = fold_.get();
  const float* fs = fold_.get() + half;
  for (std::size_t j = slice * _stageLen; j < (slice + 1) * _stageLen; j += 4) {
    const F4 w1c = load(twiddle1_.get() + j), w1s = load(twiddle1_.get() + q + j);
    const F4 w2c = load(twiddle2_.get() + j), w2s = load(twiddle2_.get() + q + j);
    const Cx q0 = times({load(re + j), load(im + j)}, w1c, w1s);
    const Cx t = timesConj({load(re + j + q), load(im + j + q)}, w1c, w1s);
    const Cx a2 = timesConj({load(re + j + 2 * q), load(im + j + 2 * q)}, w2c, w2s);
    const Cx a0 = {load(re + j + 3 * q), load(im + j + 3 * q)};
    const Cx s = {q0.re + t.re, q0.im + t.im};
    const Cx d = {t.re - q0.re, t.im - q0.im};
    const Cx p = {a0.re + a2.re, a0.im + a2.im};
    const Cx m = {a0.re - a2.re, a0.im - a2.im};
    const Cx z[4] = {{p.re + s.re, p.im + s.im},
                     {m.re - d.im, m.im + d.re},
                     {p.re - s.re, p.im - s.im},
                     {m.re + d.im, m.im - d.re}};
    for (std::size_t k = 0; k < 4; ++k) {
      const std::size_t n = j + k * q;
      store(out + n, z[k].re * load(fs + n) - z[k].im * load(fc + n));
    }
  }
}

Stage2TransformSet::Stage2TransformSet()
    : split_(256, 64), rad4_(2048, 8, 64), fft64_(fourier::CreateFourierTransformComplex(64, 64)) {}

// ---- KaratsubaConvolver16Way -----------------------------------------------------------------

KaratsubaConvolver16Way::KaratsubaConvolver16Way(const float* h, std::size_t length,
                                                 Stage2Transforms transforms,
                                                 std::size_t leading, bool vardecay)
    : transforms_(transforms), leading_(leading) {
  std::size_t levels[MAX_FILTER_LEVELS] = {};
  const std::size_t perWay = (length - leading * kBlockFrames + 15) / 16;
  GenericFilter::AssignFilterLevels(&filterBlocks_, levels, perWay, 64, 0, 1, vardecay ? 1 : 0);
  partitions_ = leading_ + filterBlocks_;
  for (auto& filter : filters_) {
    filter = GenericFilter::CreateFilter(filterBlocks_ * kWayFloats, kWayFloats, levels, 64);
  }
  re_ = common::AlignedFloats(kBlockFrames, 64);
  im_ = common::AlignedFloats(kBlockFrames, 64);
  scratchRe_ = common::AlignedFloats(64, 64);
  scratchIm_ = common::AlignedFloats(64, 64);
  spectrum_ = common::AlignedFloats(kWayFloats, 64);
  result_ = common::AlignedFloats(kWayFloats, 64);
  tables_ = zeroed(kWays * partitions_ * kWayFloats, 64);
  histories_ = zeroed(kWays * filterBlocks_ * kWayFloats, 64);
  InitH(h, length);
  Reset();
}

void KaratsubaConvolver16Way::Reset() {
  std::memset(re_.get(), 0, kBlockFrames * sizeof(float));
  std::memset(im_.get(), 0, kBlockFrames * sizeof(float));
  counter_ = 0;
  start_ = true;
}

void KaratsubaConvolver16Way::InitH(const float* h, std::size_t length) {
  std::memset(tables_.get(), 0, kWays * partitions_ * kWayFloats * sizeof(float));
  const common::AlignedFloats window(2 * kBlockFrames, 32);
  for (std::size_t j = 0; j < partitions_ && j * kBlockFrames < length; ++j) {
    const std::size_t taps = std::min(length - j * kBlockFrames, 2 * kBlockFrames);
    std::fill(window.get(), window.get() + 2 * kBlockFrames, 0.0f);
    std::copy(h + j * kBlockFrames, h + j * kBlockFrames + taps, window.get());
    for (std::size_t slice = 0; slice < transforms_.rad4->slices(); ++slice) {
      transforms_.rad4->ForwardRad4_IR(re_.get(), im_.get(), window.get(), slice);
    }
    for (std::size_t way = 0; way < kWays; ++way) {
      float* block = partition(way, j);
      SmallestForwardFfts(block, way);
      multInplaceConst(block, nullptr, kWayFloats, 1.0f / 1024.0f);
    }
  }
  std::memset(re_.get(), 0, kBlockFrames * sizeof(float));
  std::memset(im_.get(), 0, kBlockFrames * sizeof(float));
}

void KaratsubaConvolver16Way::SmallestForwardFfts(float* spectrum, std::size_t way) {
  const std::size_t quarter = way / 4, sub = way % 4;
  float* re = re_.get() + quarter * 256;
  float* im = im_.get() + quarter * 256;
  transforms_.split->ForwardRad4(re, im, sub);
  transforms_.fft64->ForwardTransform(scratchRe_.get(), scratchIm_.get(), re + 64 * sub,
                                      im + 64 * sub, 0);
  for (std::size_t i = 0; i < 64; i += 4) {
    store(spectrum + 2 * i, load(scratchRe_.get() + i));
    store(spectrum + 2 * i + 4, load(scratchIm_.get() + i));
  }
}

void KaratsubaConvolver16Way::SmallestInverseFfts(const float* spectrum, std::size_t way) {
  const std::size_t quarter = way / 4, sub = way % 4;
  float* re = re_.get() + quarter * 256;
  float* im = im_.get() + quarter * 256;
  for (std::size_t i = 0; i < 64; i += 4) {
    store(scratchRe_.get() + i, load(spectrum + 2 * i));
    store(scratchIm_.get() + i, load(spectrum + 2 * i + 4));
  }
  transforms_.fft64->InverseTransform(re + 64 * sub, im + 64 * sub, scratchRe_.get(),
                                      scratchIm_.get(), 0);
  transforms_.split->InverseRad4(re, im, sub);
}

void KaratsubaConvolver16Way::PreForwardInput(const float* in, std::size_t slice) {
  transforms_.rad4->ForwardRad4(re_.get(), im_.get(), in, slice);
}

void KaratsubaConvolver16Way::PostInverseOutput(float* out, std::size_t slice) {
  transforms_.rad4->InverseRad4(out, re_.get(), im_.get(), slice);
}

void KaratsubaConvolver16Way::ProcessStage(std::size_t stage) {
  const std::size_t fftStage = stage;
  CALVATERO_ASSERT(fftStage < 16);
  // The history serves as both cycles (slots up to the counter are the current cycle's).
  float* history = wayHistory(stage);
  SmallestForwardFfts(history + counter_ * kWayFloats, stage);
  filterWay(result_.get(), stage, history, partition(stage, leading_));
  SmallestInverseFfts(result_.get(), stage);
  if (stage == kWays - 1 && ++counter_ == filterBlocks_) {
    counter_ = 0;
    start_ = false;
  }
}

void KaratsubaConvolver16Way::filterWay(float* out, std::size_t way, const float* history,
                                        const float* table) {
  if (start_) filters_[way]->RunStart(out, history, table, counter_);
  else filters_[way]->Run(out, history, table, history, table, counter_);
}

// ---- KaratsubaConvolver16WayBuffered ---------------------------------------------------------

KaratsubaConvolver16WayBuffered::KaratsubaConvolver16WayBuffered(const float* h,
                                                                 std::size_t length,
                                                                 Stage2Transforms transforms)
    : KaratsubaConvolver16Way(h, length, transforms, BUFFERED_PARTITIONS, false) {
  const std::size_t impulse_length = length;
  CALVATERO_ASSERT(impulse_length > BUFFERED_PARTITIONS * STAGE2_BUFFER_SIZE);
  for (auto& filter : directFilters_) {
    filter = GenericFilter::CreateFilter(BUFFERED_PARTITIONS * kWayFloats, kWayFloats,
                                         filter_direct_code, 64);
  }
  directHistories_ = zeroed(kWays * 4 * kWayFloats, 64);
  rotating_ = zeroed(4 * kWays * kWayFloats, 64);
  Reset();
}

void KaratsubaConvolver16WayBuffered::Reset() {
  KaratsubaConvolver16Way::Reset();
  std::memset(directHistories_.get(), 0, kWays * 4 * kWayFloats * sizeof(float));
  std::memset(rotating_.get(), 0, 4 * kWays * kWayFloats * sizeof(float));
  for (std::size_t way = 0; way < kWays; ++way) {
    wayCounter_[way] = 0;
    wayStart_[way] = true;
  }
  buffered_ = 0;
  directStart_ = true;
}

// Way w's first four partitions run at once on the newest block; the filter of the partitions
// beyond runs for one way per step, on a block up to three blocks old, and its result waits in
// a rotating buffer until that way's direct part next runs with the same buffered counter.
void KaratsubaConvolver16WayBuffered::ProcessStage(std::size_t stage) {
  CALVATERO_ASSERT(stage < 16);
  const std::size_t b = buffered_;
  const std::size_t w = (4 * b + stage) % kWays;
  SmallestForwardFfts(directHistory(w, b), w);
  float* out = result_.get();
  const float* table = partition(w, 0);
  if (directStart_) directFilters_[w]->RunStart(out, directHistory(w, 0), table, b);
  else directFilters_[w]->Run(out, directHistory(w, 0), table, directHistory(w, 0), table, b);
  do_block_multadd_inplace(out, rotating(b, w), kWayFloats, 1.0f);
  SmallestInverseFfts(out, w);

  const std::size_t h = (stage + b + 1) % 4;
  const std::size_t v = stage / 4 + 4 * b;
  float* history = wayHistory(v);
  const float* levelTable = partition(v, BUFFERED_PARTITIONS);
  std::size_t& counter = wayCounter_[v];
  std::memcpy(history + counter * kWayFloats, directHistory(v, h), kWayFloats * sizeof(float));
  if (wayStart_[v]) filters_[v]->RunStart(rotating(h, v), history, levelTable, counter);
  else filters_[v]->Run(rotating(h, v), history, levelTable, history, levelTable, counter);
  if (++counter == filterBlocks_) {
    counter = 0;
    wayStart_[v] = false;
  }

  if (stage == kWays - 1 && ++buffered_ == BUFFERED_PARTITIONS) {
    buffered_ = 0;
    directStart_ = false;
  }
}

// ---- Kar16Processor and BlockParser2 ---------------------------------------------------------

Stage2Impulse::Stage2Impulse(const float* h, std::size_t frames) {
  const std::size_t impulse_length = frames;
  CALVATERO_ASSERT(impulse_length >= BASE_BUFFER_SIZE + STAGE2_BUFFER_SIZE * 3/2);
  taps = h + kStage2FirstTap;
  length = frames - kStage2FirstTap;
}

namespace {

std::unique_ptr<KaratsubaConvolver16Way> plainConvolver(const Stage2Impulse& impulse,
                                                        Stage2Transforms transforms,
                                                        bool buffered) {
  if (buffered) {
    return std::make_unique<KaratsubaConvolver16WayBuffered>(impulse.taps, impulse.length,
                                                             transforms);
  }
  return std::make_unique<KaratsubaConvolver16Way>(impulse.taps, impulse.length, transforms, 0,
                                                   false);
}

}  // namespace

Kar16Processor::Kar16Processor(const float* h, std::size_t length, std::size_t channel,
                               Stage2Transforms transforms, bool buffered)
    : Kar16Processor(plainConvolver(Stage2Impulse(h, length), transforms, buffered), channel) {}

Kar16Processor::Kar16Processor(std::unique_ptr<KaratsubaConvolver16Way> convolver,
                               std::size_t channel)
    : convolver_(std::move(convolver)),
      inputRing_(kBlockFrames, 64),
      outputRing_(kBlockFrames, 64),
      channel_(channel) {
  Reset();
}

void Kar16Processor::Reset() {
  convolver_->Reset();
  std::memset(inputRing_.get(), 0, kBlockFrames * sizeof(float));
  std::memset(outputRing_.get(), 0, kBlockFrames * sizeof(float));
  // The right channel runs half a cycle after the left, as if preceded by 16 silent blocks.
  _stage = channel_ == 0 ? 0 : kSteps / 2;
}

void Kar16Processor::GetCurrentInOutBlocks(float** out, float** in) {
  *in = inputRing_.get() + kStepFrames * _stage;
  *out = outputRing_.get() + (kStepFrames * _stage + kOutputLead) % kBlockFrames;
}

void Kar16Processor::ProcessBlock(float** out, float** in) {
  CALVATERO_ASSERT(_stage < 32);
  if (_stage < 16) {
    convolver_->ProcessStage(_stage);
  } else if (_stage < 24) {
    convolver_->PostInverseOutput(outputRing_.get(), _stage - 16);
  } else {
    convolver_->PreForwardInput(inputRing_.get(), _stage - 24);
  }
  _stage = (_stage + 1) % kSteps;
  GetCurrentInOutBlocks(out, in);
}

BlockParser2::BlockParser2(Kar16Processor& processor) : processor_(processor) { Reset(); }

void BlockParser2::Reset() {
  position_ = 0;
  processor_.Reset();
  processor_.GetCurrentInOutBlocks(&output_, &input_);
}

void BlockParser2::CalculateOutput(float* out, const float* in, std::size_t frames) {
  walk<true>(out, in, frames);
}

void BlockParser2::WriteOutput(float* out, const float* in, std::size_t frames) {
  walk<false>(out, in, frames);
}

template <bool kAdd>
void BlockParser2::walk(float* out, const float* in, std::size_t frames) {
  while (frames > 0) {
    const std::size_t n = std::min(frames, kStepFrames - position_);
    if constexpr (kAdd) {
      for (std::size_t i = 0; i < n; ++i) out[i] += output_[position_ + i];
    } else {
      std::memcpy(out, output_ + position_, n * sizeof(float));
    }
    std::memcpy(input_ + position_, in, n * sizeof(float));
    out += n;
    in += n;
    frames -= n;
    position_ += n;
    if (position_ == kStepFrames) {
      processor_.ProcessBlock(&output_, &input_);
      position_ = 0;
    }
  }
}

}  // namespace calvatero::convolution
