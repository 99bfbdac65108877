#include "Sampler/sdk/calvatero/resample/FIRResampler20khz.h"

#include <new>

#include "Sampler/sdk/calvatero/convolution/ConvolutionInterface.h"
#include "Sampler/sdk/calvatero/newconv/Common.h"
#include "Sampler/sdk/calvatero/newconv/Vec4.h"
#include "Sampler/sdk/calvatero/resample/ResamplerFilterTables.h"

namespace calvatero::resample {

namespace {

std::size_t shiftFor(std::size_t sampleRate) {
  switch (sampleRate) {
    case 88200:
    case 96000:
      return 1;
    case 176400:
    case 192000:
      return 2;
    default:
      return 0;
  }
}

void* createLowpassConvolver(std::size_t sampleRate, std::size_t blockFrames,
                             bool minimumPhase) {
  const LowpassTable table = lowpassTableFor(sampleRate, minimumPhase);
  if (table.taps == nullptr) throw exceptions::FIRResampler20khz_init_error();
  void* handle = nullptr;
  const int result =
      zkcvInitConvolverStereo(table.taps, table.taps, table.tapCount, blockFrames, &handle);
  if (result == 2) throw std::bad_alloc();
  if (result != 0) throw exceptions::FIRResampler20khz_init_error();
  return handle;
}

}  // namespace

FIRResampler20khz::FIRResampler20khz(std::size_t sampleRate, std::size_t blockFrames,
                                     std::size_t minimumPhase, std::size_t filterDownsampling) {
  if (blockFrames == 0) throw exceptions::FIRResampler20khz_init_error();
  try {
    upConvolver_ = createLowpassConvolver(sampleRate, blockFrames, minimumPhase != 0);
    if (filterDownsampling != 0)
      downConvolver_ = createLowpassConvolver(sampleRate, blockFrames, minimumPhase != 0);
    scratchLeft_ =
        static_cast<float*>(common::MallocAligned(blockFrames * sizeof(float), 16, 0));
    scratchRight_ =
        static_cast<float*>(common::MallocAligned(blockFrames * sizeof(float), 16, 0));
    if (scratchLeft_ == nullptr || scratchRight_ == nullptr) throw std::bad_alloc();
  } catch (...) {
    release();
    throw;
  }
  blockFrames_ = blockFrames;
  shift_ = shiftFor(sampleRate);
  factor_ = std::size_t{1} << shift_;
}

FIRResampler20khz::~FIRResampler20khz() { release(); }

void FIRResampler20khz::release() {
  common::FreeAligned(scratchRight_);
  common::FreeAligned(scratchLeft_);
  zkcvEndConvolver(downConvolver_);
  zkcvEndConvolver(upConvolver_);
  scratchRight_ = scratchLeft_ = nullptr;
  downConvolver_ = upConvolver_ = nullptr;
}

void FIRResampler20khz::GetResamplerInfo(std::size_t* resampling, std::size_t* factor,
                                         std::size_t* downFilterTaps, std::size_t* upFilterTaps,
                                         std::size_t sampleRate, std::size_t minimumPhase,
                                         std::size_t filterDownsampling) {
  *factor = std::size_t{1} << shiftFor(sampleRate);
  *resampling = *factor > 1 ? 1 : 0;
  *upFilterTaps = lowpassTableFor(sampleRate, minimumPhase != 0).tapCount;
  *downFilterTaps = filterDownsampling != 0 ? *upFilterTaps : 0;
}

void FIRResampler20khz::Reset() {
  zkcvResetConvolver(upConvolver_);
  if (downConvolver_ != nullptr) zkcvResetConvolver(downConvolver_);
}

void FIRResampler20khz::Downsample(float* outLeft, float* outRight, std::size_t* outFrames,
                                   const float* inLeft, const float* inRight,
                                   std::size_t inFrames) {
  DownsampleFrom(outLeft, outRight, outFrames, inLeft, inRight, inFrames, 0);
}

std::size_t FIRResampler20khz::DownsampleFrom(float* outLeft, float* outRight,
                                              std::size_t* outFrames, const float* inLeft,
                                              const float* inRight, std::size_t inFrames,
                                              std::size_t phase) {
  if (inFrames == 0) {
    *outFrames = 0;
    return phase;
  }
  const float* left = inLeft;
  const float* right = inRight;
  if (downConvolver_ != nullptr) {
    zkcvCalculateCurrentOutputStereo(scratchLeft_, scratchRight_, inLeft, inRight, inFrames,
                                     downConvolver_);
    left = scratchLeft_;
    right = scratchRight_;
  }
  std::size_t out = 0;
  std::size_t i = phase;
  for (; i < inFrames; i += factor_, ++out) {
    outLeft[out] = left[i];
    outRight[out] = right[i];
  }
  *outFrames = out;
  return i - inFrames;
}

namespace {

// Each input sample x becomes x * 2, 0 (the gain makes up for the inserted zeros).
void stuffByTwo(float* out, const float* in, std::size_t frames) {
  using namespace simd;
  std::size_t i = 0;
  for (; i + 4 <= frames; i += 4) {
    const F4 x = load(in + i) * splat(2.0f);
    const F4 zero = splat(0.0f);
    store(out + 2 * i, __builtin_shufflevector(x, zero, 0, 4, 1, 5));
    store(out + 2 * i + 4, __builtin_shufflevector(x, zero, 2, 6, 3, 7));
  }
  for (; i < frames; ++i) {
    out[2 * i] = 2.0f * in[i];
    out[2 * i + 1] = 0.0f;
  }
}

// Each input sample x becomes x * 4, 0, 0, 0.
void stuffByFour(float* out, const float* in, std::size_t frames) {
  using namespace simd;
  std::size_t i = 0;
  for (; i + 2 <= frames; i += 2) {
    store(out + 4 * i, F4{4.0f * in[i], 0.0f, 0.0f, 0.0f});
    store(out + 4 * i + 4, F4{4.0f * in[i + 1], 0.0f, 0.0f, 0.0f});
  }
  if (i < frames) store(out + 4 * i, F4{4.0f * in[i], 0.0f, 0.0f, 0.0f});
}

}  // namespace

void FIRResampler20khz::Upsample(float* outLeft, float* outRight, std::size_t* outFrames,
                                 const float* inLeft, const float* inRight,
                                 std::size_t inFrames) {
  if (inFrames == 0) {
    *outFrames = 0;
    return;
  }
  if (factor_ == 2) {
    stuffByTwo(scratchLeft_, inLeft, inFrames);
    stuffByTwo(scratchRight_, inRight, inFrames);
  } else {
    stuffByFour(scratchLeft_, inLeft, inFrames);
    stuffByFour(scratchRight_, inRight, inFrames);
  }
  const std::size_t frames = inFrames << shift_;
  zkcvCalculateCurrentOutputStereo(outLeft, outRight, scratchLeft_, scratchRight_, frames,
                                   upConvolver_);
  *outFrames = frames;
}

FIRResampler20khz* makeFIRResampler20khz(std::size_t sampleRate, std::size_t blockFrames,
                                         std::size_t minimumPhase,
                                         std::size_t filterDownsampling) {
  const std::size_t rounded = (blockFrames + 3) & ~std::size_t{3};
  return new FIRResampler20khz(sampleRate, rounded, minimumPhase, filterDownsampling);
}

}  // namespace calvatero::resample
