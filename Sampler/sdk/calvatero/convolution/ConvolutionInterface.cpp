#include "Sampler/sdk/calvatero/convolution/ConvolutionInterface.h"

#include <new>

#include "Sampler/sdk/calvatero/convolution/ConvolverMaster.h"
#include "Sampler/sdk/calvatero/fourier/FourierTransformComplex.h"
#include "Sampler/sdk/calvatero/newconv/Common.h"

using calvatero::convolution::ConvolverHandle;
using calvatero::convolution::ConvolverMaster;

namespace {

// Every handle is the address of a ConvolverHandle, whatever its kind.
ConvolverHandle* fromHandle(void* handle) { return static_cast<ConvolverHandle*>(handle); }

}  // namespace

int zkcvInitConvolverStereo(const float* irLeft, const float* irRight, std::size_t irFrames,
                            std::size_t maxBlockFrames, void** handleOut) {
  if (handleOut == nullptr) return ZKCV_FFT_UNRECOVERABLE;
  *handleOut = nullptr;
  std::size_t level = 0;
  calvatero::common::GetSIMDSupportLevel(&level);
  if ((level & 2) == 0) return ZKCV_NO_VECTOR_SUPPORT;
  if (irFrames > 0 && (irLeft == nullptr || irRight == nullptr)) return ZKCV_FFT_UNRECOVERABLE;
  try {
    ConvolverHandle* convolver =
        ConvolverMaster::CreateConvolverMaster(irLeft, irRight, irFrames, maxBlockFrames);
    *handleOut = convolver;
    return ZKCV_OK;
  } catch (const std::bad_alloc&) {
    return ZKCV_OUT_OF_MEMORY;
  } catch (const calvatero::fourier::Fft_out_of_range_error&) {
    return ZKCV_FFT_OUT_OF_RANGE;
  } catch (...) {
    return ZKCV_FFT_UNRECOVERABLE;
  }
}

void zkcvCalculateCurrentOutputStereo(float* outLeft, float* outRight, const float* inLeft,
                                      const float* inRight, std::size_t frames, void* handle) {
  if (handle == nullptr || frames == 0) return;
  if (!outLeft || !outRight || !inLeft || !inRight) return;
  // A variable-decay handle here is the caller's mistake: nothing happens.
  if (auto* convolver = dynamic_cast<ConvolverMaster*>(fromHandle(handle))) {
    convolver->CalculateOutput(outLeft, outRight, inLeft, inRight, frames);
  }
}

void zkcvResetConvolver(void* handle) {
  if (handle != nullptr) fromHandle(handle)->Reset();
}

void zkcvEndConvolver(void* handle) { delete fromHandle(handle); }
