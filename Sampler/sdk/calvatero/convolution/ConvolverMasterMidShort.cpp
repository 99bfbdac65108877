#include "Sampler/sdk/calvatero/convolution/ConvolverMasterMidShort.h"

#include <algorithm>
#include <cstring>

#include "Sampler/sdk/calvatero/convolution/BlockKernels.h"
#include "Sampler/sdk/calvatero/newconv/Assert.h"

namespace calvatero::convolution {

namespace {

constexpr std::size_t kBlock = BASE_BUFFER_SIZE;
constexpr std::size_t kMidBlock = MIDSHORT_BUFFER_SIZE;

float* allocateZeroed(std::size_t floats, std::size_t alignment) {
  auto* p = static_cast<float*>(common::MallocAligned(floats * sizeof(float), alignment, 0));
  if (p == nullptr) throw std::bad_alloc();
  std::memset(p, 0, floats * sizeof(float));
  return p;
}

}  // namespace

// ---- ConvolverMidShort01 ---------------------------------------------------------------------

ConvolverMidShort01::Channel::Channel(const float* ir)
    : direct(kBlock, ir),
      windows(4 * kSpectrum, 64),
      input(kBlock, 64),
      output(kBlock, 64),
      history(4 * kSpectrum, 64),
      accumulator(kSpectrum, 64) {}

ConvolverMidShort01::ConvolverMidShort01(const float* irLeft, const float* irRight,
                                         std::size_t irFrames)
    : channels_{Channel(irLeft), Channel(irRight)} {
  const std::size_t impulse_length = irFrames;
  CALVATERO_ASSERT(impulse_length >= 4 * BASE_BUFFER_SIZE);
  const common::AlignedFloats window(2 * kBlock, 32);
  for (std::size_t c = 0; c < 2; ++c) {
    const float* ir = c == 0 ? irLeft : irRight;
    std::fill(window.get(), window.get() + kBlock, 0.0f);
    std::copy(ir, ir + kBlock, window.get() + kBlock);
    transform_.ForwardFFT_IR(channels_[c].windows.get(), window.get());
    for (std::size_t d = 0; d < 3; ++d) {
      transform_.ForwardFFT_IR(channels_[c].windows.get() + (d + 1) * kSpectrum, ir + kBlock * d);
    }
  }
  Reset();
}

void ConvolverMidShort01::Reset() {
  position_ = 0;
  for (std::size_t c = 0; c < 2; ++c) {
    Channel& channel = channels_[c];
    channel.direct.Reset();
    std::memset(channel.accumulator.get(), 0, kSpectrum * sizeof(float));
    std::memset(channel.output.get(), 0, kBlock * sizeof(float));
    std::memset(channel.history.get(), 0, 4 * kSpectrum * sizeof(float));
    // The right channel starts half a cycle in, after two silent blocks.
    channel.step = c == 0 ? 0 : 2;
  }
}

// A complete block: its spectrum into its cycle slot, then the next block's share of this
// cycle's blocks (none after the cycle's last block: stage 2 takes over).
void ConvolverMidShort01::completeBlock(Channel& channel, const float* in) {
  const std::size_t s = channel.step;
  float* history = channel.history.get();
  transform_.ForwardFFT(history + s * kSpectrum, in);
  float* acc = channel.accumulator.get();
  if (s == 3) {
    std::memset(acc, 0, kSpectrum * sizeof(float));
    channel.step = 0;
    return;
  }
  const float* windows = channel.windows.get() + kSpectrum;
  do_block_mult_c(acc, history, windows + s * kSpectrum, kSpectrum);
  for (std::size_t j = 1; j <= s; ++j) {
    do_block_mult_accum_c_for(acc, history + j * kSpectrum, windows + (s - j) * kSpectrum,
                              kSpectrum, 1);
  }
  channel.step = s + 1;
}

void ConvolverMidShort01::CalculateOutput(float* outLeft, float* outRight,
                                          const float* inLeft, const float* inRight,
                                          std::size_t frames) {
  float* const outs[2] = {outLeft, outRight};
  const float* const ins[2] = {inLeft, inRight};
  std::size_t done = 0;
  while (done < frames) {
    const std::size_t rest = frames - done;
    if (position_ == 0 && rest >= kBlock) {
      for (std::size_t c = 0; c < 2; ++c) {
        Channel& channel = channels_[c];
        // The head through its spectrum, added to the earlier blocks' share.
        float* spectrum = channel.history.get() + channel.step * kSpectrum;
        transform_.ForwardFFT(spectrum, ins[c] + done);
        do_block_mult_accum_c_for(channel.accumulator.get(), channel.windows.get(), spectrum,
                                  kSpectrum, 1);
        transform_.InverseFFT(outs[c] + done, channel.accumulator.get());
        completeBlock(channel, ins[c] + done);
      }
      done += kBlock;
      continue;
    }
    const std::size_t n = std::min(rest, kBlock - position_);
    for (std::size_t c = 0; c < 2; ++c) {
      Channel& channel = channels_[c];
      if (position_ == 0) transform_.InverseFFT(channel.output.get(), channel.accumulator.get());
      std::memcpy(channel.input.get() + position_, ins[c] + done, n * sizeof(float));
      channel.direct.CalculateOutput(outs[c] + done, ins[c] + done, n);
      for (std::size_t i = 0; i < n; ++i) outs[c][done + i] += channel.output[position_ + i];
      if (position_ + n == kBlock) completeBlock(channel, channel.input.get());
    }
    position_ = (position_ + n) % kBlock;
    done += n;
  }
}

// ---- Convolver4Way ---------------------------------------------------------------------------

Convolver4Way::Convolver4Way(const float* h, std::size_t n,
                             fourier::FourierTransformRealOdd* transform)
    : _pFourier2(transform), work_(2 * kHalf, 64) {
  CALVATERO_ASSERT(_pFourier2 != 0);
  std::size_t levels[MAX_FILTER_LEVELS] = {};
  GenericFilter::AssignFilterLevels(&partitions_, levels, n, kMidBlock, 0, 1, 0);
  for (auto& filter : filters_) {
    filter = GenericFilter::CreateFilter(kHalf * partitions_, kHalf, levels, 64);
  }
  try {
    for (std::size_t half = 0; half < 2; ++half) {
      tables_[half] = allocateZeroed(kHalf * partitions_, 64);
      histories_[half] = allocateZeroed(kHalf * partitions_, 64);
    }
    // Partition i: taps 128i .. 128i + 255, linking an input block to the output block i + 1
    // blocks later; its halves go to the two tables, from their ends.
    float* spectrum = work_.get();
    for (std::size_t i = 0; i < partitions_ && kMidBlock * i < n; ++i) {
      const std::size_t taps = std::min(n - kMidBlock * i, 2 * kMidBlock);
      _pFourier2->FTAndReorder(spectrum, h + kMidBlock * i, taps);
      _pFourier2->ScaleH(spectrum);
      for (std::size_t half = 0; half < 2; ++half) {
        std::memcpy(tables_[half] + (partitions_ - 1 - i) * kHalf, spectrum + half * kHalf,
                    kHalf * sizeof(float));
      }
    }
  } catch (...) {
    for (std::size_t half = 0; half < 2; ++half) {
      common::FreeAligned(tables_[half]);
      common::FreeAligned(histories_[half]);
    }
    throw;
  }
  Reset();
}

Convolver4Way::~Convolver4Way() {
  for (std::size_t half = 0; half < 2; ++half) {
    common::FreeAligned(tables_[half]);
    common::FreeAligned(histories_[half]);
  }
}

void Convolver4Way::Reset() {
  counter_ = 0;
  start_ = true;
}

void Convolver4Way::ForwardFFTAndCalculate(const float* in) {
  float* spectrum = work_.get();
  _pFourier2->FTAndReorder(spectrum, in, kMidBlock);
  const std::size_t slot = counter_ / 2;
  for (std::size_t half = 0; half < 2; ++half) {
    std::memcpy(histories_[half] + slot * kHalf, spectrum + half * kHalf, kHalf * sizeof(float));
  }
  // The history serves as both cycles (slots up to `slot` are the current cycle's).
  const float* table = tableEnd(tables_[0]);
  if (start_) filters_[0]->RunStart(spectrum, histories_[0], table, slot);
  else filters_[0]->Run(spectrum, histories_[0], table, histories_[0], table, slot);
  ++counter_;
}

void Convolver4Way::CalculateAndInverseFFT(float* out) {
  if (counter_ == 0) {
    std::memset(out, 0, kMidBlock * sizeof(float));
    return;
  }
  float* spectrum = work_.get() + kHalf;
  const std::size_t slot = counter_ / 2;
  const float* table = tableEnd(tables_[1]);
  if (start_) filters_[1]->RunStart(spectrum, histories_[1], table, slot);
  else filters_[1]->Run(spectrum, histories_[1], table, histories_[1], table, slot);
  _pFourier2->ReorderAndIFT2(out, work_.get(), kMidBlock);
  if (++counter_ == 2 * partitions_) {
    counter_ = 0;
    start_ = false;
  }
}

// ---- ConvolverMidShort2 ----------------------------------------------------------------------

ConvolverMidShort2::ConvolverMidShort2(const float* ir, std::size_t irFrames,
                                       std::size_t channel,
                                       fourier::FourierTransformRealOdd* transform)
    : convolver_(ir, irFrames, transform),
      input_(kMidBlock, 64),
      output_(kMidBlock, 64),
      channel_(channel) {
  const std::size_t impulse_length = irFrames;
  CALVATERO_ASSERT(impulse_length >= MIDSHORT_BUFFER_SIZE);
  Reset();
}

void ConvolverMidShort2::Reset() {
  convolver_.Reset();
  // The right channel starts half a block in, as if after 64 silent frames.
  position_ = channel_ == 0 ? 0 : kMidBlock / 2;
  std::memset(input_.get(), 0, kMidBlock * sizeof(float));
  std::memset(output_.get(), 0, kMidBlock * sizeof(float));
}

void ConvolverMidShort2::CalculateOutput(float* out, const float* in, std::size_t frames) {
  while (frames > 0) {
    if (position_ == 0) convolver_.CalculateAndInverseFFT(output_.get());
    const std::size_t n = std::min(frames, kMidBlock - position_);
    for (std::size_t i = 0; i < n; ++i) out[i] += output_[position_ + i];
    std::memcpy(input_.get() + position_, in, n * sizeof(float));
    position_ += n;
    out += n;
    in += n;
    frames -= n;
    if (position_ == kMidBlock) {
      convolver_.ForwardFFTAndCalculate(input_.get());
      position_ = 0;
    }
  }
}

// ---- ConvolverMasterMidShort -----------------------------------------------------------------

ConvolverMasterMidShort::ConvolverMasterMidShort(const float* irLeft, const float* irRight,
                                                 std::size_t irFrames)
    : transform_(256, 64),
      stage1_(irLeft, irRight, irFrames),
      stage2Left_(irLeft, irFrames, 0, &transform_),
      stage2Right_(irRight, irFrames, 1, &transform_) {}

void ConvolverMasterMidShort::Reset() {
  stage1_.Reset();
  stage2Left_.Reset();
  stage2Right_.Reset();
  inPlace_.Reset();
}

void ConvolverMasterMidShort::CalculateOutput(float* outLeft, float* outRight,
                                              const float* inLeft, const float* inRight,
                                              std::size_t frames) {
  inPlace_.run(outLeft, outRight, inLeft, inRight, frames,
               [this](float* ol, float* orr, const float* il, const float* ir, std::size_t n) {
                 stage1_.CalculateOutput(ol, orr, il, ir, n);
                 stage2Left_.CalculateOutput(ol, il, n);
                 stage2Right_.CalculateOutput(orr, ir, n);
               });
}

}  // namespace calvatero::convolution
