#include "Sampler/sdk/calvatero/convolution/ConvolverMasterShort.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "Sampler/sdk/calvatero/convolution/BlockKernels.h"
#include "Sampler/sdk/calvatero/convolution/Platform.h"
#include "Sampler/sdk/calvatero/fourier/FourierTransformComplex.h"
#include "Sampler/sdk/calvatero/newconv/Assert.h"

namespace calvatero::convolution {

namespace {

float* allocateZeroed(std::size_t floats, std::size_t alignment) {
  auto* p = static_cast<float*>(common::MallocAligned(floats * sizeof(float), alignment, 0));
  if (p == nullptr) throw std::bad_alloc();
  std::memset(p, 0, floats * sizeof(float));
  return p;
}

// Frames of the head and of the block being filled: 32.
constexpr std::size_t kBlock = BASE_BUFFER_SIZE;

}  // namespace

KaratsubaConvolver::KaratsubaConvolver(std::size_t totalBlocks, std::size_t blockLenFD,
                                       std::size_t transformLen, const std::size_t* levels,
                                       std::size_t alignment)
    : transformLen_(transformLen), blockLenFD_(blockLenFD), totalBlocks_(totalBlocks) {
  filter_ = GenericFilter::CreateFilter(blockLenFD * totalBlocks, blockLenFD, levels, alignment);
  try {
    table_ = allocateZeroed(blockLenFD * totalBlocks, alignment);
    history_ = allocateZeroed(blockLenFD * totalBlocks, alignment);
  } catch (...) {
    common::FreeAligned(table_);
    throw;
  }
}

KaratsubaConvolver::~KaratsubaConvolver() {
  common::FreeAligned(table_);
  common::FreeAligned(history_);
}

// The history serves as both cycles: slots up to `block` hold the current cycle's spectra,
// the others still the previous cycle's, which is all Run reads of each.
void KaratsubaConvolver::RunStart(float* acc, std::size_t block) {
  filter_->RunStart(acc, history_, tableEnd(), block);
}

void KaratsubaConvolver::Run(float* acc, std::size_t block) {
  filter_->Run(acc, history_, tableEnd(), history_, tableEnd(), block);
}

void KaratsubaConvolver::RunEnd(float* acc, std::size_t block) {
  filter_->RunEnd(acc, history_, tableEnd(), block);
}

void KaratsubaConvolver::InitH(const float* hLeft, const float* hRight, std::size_t n,
                               const fourier::RealOdd32& transform) {
  CALVATERO_ASSERT(blockLenTD_ * 2 == 64 && transformLen_ == 64);
  std::memset(table_, 0, blockLenFD_ * totalBlocks_ * sizeof(float));
  const common::AlignedFloats window(2 * blockLenTD_, 32);
  for (std::size_t i = 0; i < totalBlocks_ && blockLenTD_ * i < n; ++i) {
    const std::size_t leftover = std::min(n - blockLenTD_ * i, 2 * blockLenTD_);
    CALVATERO_ASSERT(leftover <= 2 * blockLenTD_);
    float* block = table_ + (totalBlocks_ - 1 - i) * blockLenFD_;
    for (const float* h : {hLeft, hRight}) {
      if (h == nullptr) continue;
      std::fill(window.get(), window.get() + 2 * blockLenTD_, 0.0f);
      std::copy(h + blockLenTD_ * i, h + blockLenTD_ * i + leftover, window.get());
      transform.ForwardFFT_IR(block, window.get());
      block += transformLen_;
    }
  }
}

std::unique_ptr<KaratsubaConvolver> makeKaratsubaConvolver(const float* hLeft,
                                                           const float* hRight, std::size_t n,
                                                           std::size_t blockLen,
                                                           int forceDirect, bool tuneToCache) {
  const std::size_t alignment0 = getMinimumBufferMultiple();
  const std::size_t align_num_floats = alignment0 / sizeof(float);
  CALVATERO_ASSERT(align_num_floats * sizeof(float) == alignment0);
  std::int32_t lineSize = 0;
  common::GetL2CacheInfo(&lineSize, nullptr, nullptr);
  const std::size_t nCacheLineSize = static_cast<std::size_t>(lineSize);
  const std::size_t e = (2 * blockLen + align_num_floats - 1) / align_num_floats * align_num_floats;

  std::size_t alignment = alignment0;
  if (tuneToCache && nCacheLineSize > alignment0) {
    CALVATERO_ASSERT(nCacheLineSize % alignment == 0);
    const std::size_t L = nCacheLineSize;
    const bool halfFits = L % 2 == 0 && (L / 2) % alignment0 == 0;
    const std::size_t eb = e * sizeof(float);
    if (5 * L < 8 * eb) alignment = L;
    else if (2 * L < 4 * eb) alignment = halfFits ? L / 2 : alignment;
    else if (3 * L < 8 * eb) alignment = L;
    else if (L < 4 * eb) alignment = halfFits ? L / 2 : alignment;
    else if (2 * L < 12 * eb) alignment = L;
    else if (L % 2 == 0 && 8 * eb <= L && L < 12 * eb) alignment = halfFits ? L / 2 : alignment;
  } else if (tuneToCache) {
    CALVATERO_ASSERT(alignment % nCacheLineSize == 0);
  }
  CALVATERO_ASSERT(alignment % 4 == 0);
  const std::size_t unit = alignment / sizeof(float);
  const std::size_t transformLen =
      fourier::GetEfficientConvFFTLen((e + unit - 1) / unit * unit, alignment, sizeof(float));

  std::size_t totalBlocks = 0;
  std::size_t levels[MAX_FILTER_LEVELS] = {};
  GenericFilter::AssignFilterLevels(&totalBlocks, levels, n, blockLen, forceDirect, 1, 0);
  const std::size_t blockLenFD = hRight != nullptr ? 2 * transformLen : transformLen;
  auto convolver = std::make_unique<KaratsubaConvolver>(totalBlocks, blockLenFD, transformLen,
                                                        levels, alignment);
  const fourier::RealOdd32 transform;
  convolver->InitH(hLeft, hRight, n, transform);
  return convolver;
}

// ---- ConvolverMasterShort --------------------------------------------------------------------

ConvolverMasterShort::ConvolverMasterShort(const float* irLeft, const float* irRight,
                                           std::size_t irFrames)
    : directLeft_(kBlock, irLeft),
      directRight_(kBlock, irRight),
      convolver_(makeKaratsubaConvolver(irLeft, irRight, irFrames, kBlock, 0, true)),
      headLeft_(2 * kBlock, 64),
      headRight_(2 * kBlock, 64),
      outputLeft_(kBlock, 64),
      outputRight_(kBlock, 64),
      inputLeft_(kBlock, 64),
      inputRight_(kBlock, 64),
      accumulator_(4 * kBlock, 64),
      totalBlocks_(convolver_->GetTotalBlocks()),
      blockLen_(convolver_->GetBlockLen()),
      historyLeft_(convolver_->GetInputPointerLeft()),
      historyRight_(convolver_->GetInputPointerRight()) {
  CALVATERO_ASSERT(irFrames >= BASE_BUFFER_SIZE);
  const common::AlignedFloats window(2 * kBlock, 32);
  for (int channel = 0; channel < 2; ++channel) {
    std::fill(window.get(), window.get() + kBlock, 0.0f);
    const float* ir = channel == 0 ? irLeft : irRight;
    std::copy(ir, ir + kBlock, window.get() + kBlock);
    transform_.ForwardFFT_IR(channel == 0 ? headLeft_.get() : headRight_.get(), window.get());
  }
  Reset();
}

void ConvolverMasterShort::Reset() {
  directLeft_.Reset();
  directRight_.Reset();
  counter_ = 0;
  start_ = true;
  position_ = 0;
  std::memset(outputLeft_.get(), 0, kBlock * sizeof(float));
  std::memset(outputRight_.get(), 0, kBlock * sizeof(float));
  std::memset(accumulator_.get(), 0, 4 * kBlock * sizeof(float));
  inPlace_.Reset();
}

// The spectra of a complete block into the history slot of its cycle position.
void ConvolverMasterShort::completeBlock(const float* left, const float* right) {
  transform_.ForwardFFT(historyLeft_ + counter_ * blockLen_, left);
  transform_.ForwardFFT(historyRight_ + counter_ * blockLen_, right);
}

void ConvolverMasterShort::CalculateOutput(float* outLeft, float* outRight, const float* inLeft,
                                           const float* inRight, std::size_t frames) {
  inPlace_.run(outLeft, outRight, inLeft, inRight, frames,
               [this](float* ol, float* orr, const float* il, const float* ir, std::size_t n) {
                 calculate(ol, orr, il, ir, n);
               });
}

void ConvolverMasterShort::calculate(float* outLeft, float* outRight, const float* inLeft,
                                     const float* inRight, std::size_t frames) {
  float* const acc = accumulator_.get();
  const auto filterStep = [&] {
    if (start_) convolver_->RunStart(acc, counter_);
    else convolver_->Run(acc, counter_);
    if (++counter_ == totalBlocks_) {
      counter_ = 0;
      start_ = false;
    }
  };
  std::size_t done = 0;
  while (done < frames) {
    const std::size_t rest = frames - done;
    if (position_ == 0 && rest >= kBlock) {
      // A whole block: the head through its spectrum, the output written whole.
      completeBlock(inLeft + done, inRight + done);
      const float* xl = historyLeft_ + counter_ * blockLen_;
      const float* xr = historyRight_ + counter_ * blockLen_;
      do_block_mult_accum_c_for(acc, headLeft_.get(), xl, 2 * kBlock, 1);
      do_block_mult_accum_c_for(acc + 2 * kBlock, headRight_.get(), xr, 2 * kBlock, 1);
      transform_.InverseFFT(outLeft + done, acc);
      transform_.InverseFFT(outRight + done, acc + 2 * kBlock);
      filterStep();
      done += kBlock;
      continue;
    }
    if (position_ == 0) {
      transform_.InverseFFT(outputLeft_.get(), acc);
      transform_.InverseFFT(outputRight_.get(), acc + 2 * kBlock);
    }
    const std::size_t n = std::min(rest, kBlock - position_);
    std::copy(inLeft + done, inLeft + done + n, inputLeft_.get() + position_);
    std::copy(inRight + done, inRight + done + n, inputRight_.get() + position_);
    directLeft_.CalculateOutput(outLeft + done, inLeft + done, n);
    directRight_.CalculateOutput(outRight + done, inRight + done, n);
    for (std::size_t i = 0; i < n; ++i) {
      outLeft[done + i] += outputLeft_[position_ + i];
      outRight[done + i] += outputRight_[position_ + i];
    }
    position_ += n;
    done += n;
    if (position_ == kBlock) {
      position_ = 0;
      completeBlock(inputLeft_.get(), inputRight_.get());
      filterStep();
    }
  }
}

}  // namespace calvatero::convolution
