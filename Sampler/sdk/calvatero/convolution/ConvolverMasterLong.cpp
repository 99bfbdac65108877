#include "Sampler/sdk/calvatero/convolution/ConvolverMasterLong.h"

#include <algorithm>
#include <cstring>

#include "Sampler/sdk/calvatero/convolution/BlockKernels.h"
#include "Sampler/sdk/calvatero/newconv/Assert.h"

namespace calvatero::convolution {

namespace {

constexpr std::size_t kBlock = BASE_BUFFER_SIZE;

}  // namespace

// ---- Filter2_3 -------------------------------------------------------------------------------

Filter2_3::Filter2_3()
    : sub1_(GenericFilter::CreateFilter(T * kBlock, kBlock, filter_direct_code, 64)),
      sub2_(GenericFilter::CreateFilter(T * kBlock, kBlock, filter_direct_code, 64)) {
  const std::size_t floats = 80 * kBlock;
  work_ = static_cast<float*>(common::MallocAligned(floats * sizeof(float), 64, 0));
  if (work_ == nullptr) throw std::bad_alloc();
  std::memset(work_, 0, floats * sizeof(float));
}

Filter2_3::~Filter2_3() { common::FreeAligned(work_); }

void Filter2_3::InitH(const float* g) {
  for (std::size_t m = 0; m < T; ++m) {
    do_block_sub1(d2(m), nullptr, g - m * kBlock, g - (T + m) * kBlock, kBlock);
  }
}

void Filter2_3::ResetHalfway() { std::memset(partial(0, 0), 0, 3 * T * kBlock * sizeof(float)); }

void Filter2_3::secondPhase(float* out, const float* y, const float* g, std::size_t a) {
  const std::size_t a1 = a - T;
  sub2_->Run(partial(1, a1), y + T * kBlock, g - T * kBlock, y, g, a1);
  do_block_sub_single(d1(a1), y + a1 * kBlock, T * kBlock, kBlock);
  sub1_->RunStart(out, d1(0), d2(0), a1);
  do_block_adds_s1(out, partial(0, a1), kBlock);
}

void Filter2_3::RunStart(float* out, const float* y, const float* g, std::size_t a) {
  if (a < T) {
    sub2_->RunStart(partial(0, a), y, g, a);
    std::memcpy(out, partial(0, a), kBlock * sizeof(float));
  } else {
    secondPhase(out, y, g, a);
  }
}

void Filter2_3::Run(float* out, const float* y, const float* g, const float* yPrev,
                    std::size_t a) {
  if (a < T) {
    sub1_->Run(out, yPrev, g - 2 * T * kBlock, d1(0), d2(0), a);
    sub2_->RunStart(partial(0, a), y, g, a);
    sub2_->RunEnd(partial(2, a), yPrev + T * kBlock, g - T * kBlock, a);
    do_block_adds34(out, partial(0, a), kBlock);
  } else {
    secondPhase(out, y, g, a);
  }
}

void Filter2_3::RunEnd(float* out, const float* yPrev, const float* g, std::size_t a) {
  if (a < T) {
    sub1_->Run(out, yPrev, g - 2 * T * kBlock, d1(0), d2(0), a);
    sub2_->RunEnd(partial(2, a), yPrev + T * kBlock, g - T * kBlock, a);
    do_block_adds_s1(out, partial(1, a), kBlock);
  } else {
    std::memset(out, 0, kBlock * sizeof(float));
  }
}

// ---- Filter23Processor -----------------------------------------------------------------------

Filter23Processor::Filter23Processor(const float* h, std::size_t channel,
                                     const fourier::RealOdd32& transform)
    : transform_(transform),
      head_(kSpectrum, 64),
      impulse_(f23TotalImpulseBlocks * kSpectrum, 64),
      history_(2 * _totalBlocks * kSpectrum, 64),
      accumulator_(kSpectrum, 64),
      channel_(channel) {
  static_assert(_totalBlocks * 3 == 2 * f23TotalImpulseBlocks);
  const common::AlignedFloats window(2 * kBlock, 32);
  std::fill(window.get(), window.get() + kBlock, 0.0f);
  std::copy(h, h + kBlock, window.get() + kBlock);
  transform_.ForwardFFT_IR(head_.get(), window.get());
  // Block i: taps 32i .. 32i + 63, linking an input block to the output block i + 1 later.
  for (std::size_t i = 0; i < f23TotalImpulseBlocks; ++i) {
    transform_.ForwardFFT_IR(impulse_.get() + (f23TotalImpulseBlocks - 1 - i) * kSpectrum,
                             h + kBlock * i);
  }
  filter_.InitH(impulse_.get() + (f23TotalImpulseBlocks - 1) * kSpectrum);
  std::memset(history_.get(), 0, 2 * _totalBlocks * kSpectrum * sizeof(float));
  Reset();
}

void Filter23Processor::Reset() {
  std::memset(accumulator_.get(), 0, kSpectrum * sizeof(float));
  start_ = true;
  if (channel_ == 0) {
    step_ = 0;
    filter_.Reset();
  } else {
    // Half a cycle in, as if 16 silent blocks had come first.
    step_ = _totalBlocks / 2;
    filter_.ResetHalfway();
    std::memset(history_.get(), 0, _totalBlocks / 2 * kSpectrum * sizeof(float));
  }
}

void Filter23Processor::runFilter(float* accumulator, const float* y, const float* g,
                                  const float* yPrev, std::size_t a, bool start) {
  if (start) filter_.RunStart(accumulator, y, g, a);
  else filter_.Run(accumulator, y, g, yPrev, a);
}

void Filter23Processor::filterStep() {
  const std::size_t half = step_ / _totalBlocks;
  const std::size_t a = step_ % _totalBlocks;
  const float* y = history_.get() + half * _totalBlocks * kSpectrum;
  const float* yPrev = history_.get() + (1 - half) * _totalBlocks * kSpectrum;
  const float* g = impulse_.get() + (f23TotalImpulseBlocks - 1) * kSpectrum;
  runFilter(accumulator_.get(), y, g, yPrev, a, start_);
  if (++step_ == _totalBlocks) start_ = false;
  if (step_ == 2 * _totalBlocks) {
    start_ = false;
    step_ = 0;
  }
}

void Filter23Processor::ProcessBufferStartToMid(float* outBlock) {
  transform_.InverseFFT(outBlock, accumulator_.get());
}

void Filter23Processor::ProcessBufferStartToEnd(float* out, const float* inBlock) {
  float* spectrum = slot(step_);
  transform_.ForwardFFT(spectrum, inBlock);
  do_block_mult_accum_c_for(accumulator_.get(), head_.get(), spectrum, kSpectrum, 1);
  transform_.InverseFFT(out, accumulator_.get());
  filterStep();
}

void Filter23Processor::ProcessBufferMidToEnd(const float* inBlock) {
  transform_.ForwardFFT(slot(step_), inBlock);
  filterStep();
}

// ---- BlockParser01 ---------------------------------------------------------------------------

BlockParser01::BlockParser01(const float* h, BlockProcessor& processor)
    : direct_(kBlock, h), processor_(processor), input_(kBlock, 64), output_(kBlock, 64) {
  Reset();
}

void BlockParser01::Reset() {
  direct_.Reset();
  processor_.Reset();
  position_ = 0;
  std::memset(output_.get(), 0, kBlock * sizeof(float));
}

void BlockParser01::CalculateOutput(float* out, const float* in, std::size_t frames) {
  while (frames > 0) {
    if (position_ == 0 && frames >= kBlock) {
      processor_.ProcessBufferStartToEnd(out, in);
      out += kBlock;
      in += kBlock;
      frames -= kBlock;
      continue;
    }
    if (position_ == 0) processor_.ProcessBufferStartToMid(output_.get());
    const std::size_t n = std::min(frames, kBlock - position_);
    std::memcpy(input_.get() + position_, in, n * sizeof(float));
    direct_.CalculateOutput(out, in, n);
    for (std::size_t i = 0; i < n; ++i) out[i] += output_[position_ + i];
    position_ += n;
    out += n;
    in += n;
    frames -= n;
    if (position_ == kBlock) {
      position_ = 0;
      processor_.ProcessBufferMidToEnd(input_.get());
    }
  }
}

// ---- ConvolverMasterLong ---------------------------------------------------------------------

ConvolverMasterLong::ConvolverMasterLong(const float* irLeft, const float* irRight,
                                         std::size_t irFrames, bool buffered)
    : buffered_(buffered),
      processorLeft_(irLeft, 0, realOdd32_),
      processorRight_(irRight, 1, realOdd32_),
      stage1Left_(irLeft, processorLeft_),
      stage1Right_(irRight, processorRight_),
      karLeft_(irLeft, irFrames, 0, stage2Transforms_.view(), buffered),
      karRight_(irRight, irFrames, 1, stage2Transforms_.view(), buffered),
      stage2Left_(karLeft_),
      stage2Right_(karRight_) {
  const std::size_t impulse_length = irFrames;
  CALVATERO_ASSERT(impulse_length >= BASE_BUFFER_SIZE);
}

void ConvolverMasterLong::Reset() {
  stage1Left_.Reset();
  stage1Right_.Reset();
  stage2Left_.Reset();
  stage2Right_.Reset();
  inPlace_.Reset();
}

void ConvolverMasterLong::CalculateOutput(float* outLeft, float* outRight, const float* inLeft,
                                          const float* inRight, std::size_t frames) {
  inPlace_.run(outLeft, outRight, inLeft, inRight, frames,
               [this](float* ol, float* orr, const float* il, const float* ir, std::size_t n) {
                 stage1Left_.CalculateOutput(ol, il, n);
                 stage1Right_.CalculateOutput(orr, ir, n);
                 stage2Left_.CalculateOutput(ol, il, n);
                 stage2Right_.CalculateOutput(orr, ir, n);
               });
}

}  // namespace calvatero::convolution
