#include "Sampler/sdk/calvatero/convolution/ConvolutionInterfaceVariableDecay.h"

#include <new>

#include "Sampler/sdk/calvatero/convolution/ConvolverMasterLongVardecay.h"
#include "Sampler/sdk/calvatero/fourier/FourierTransformComplex.h"
#include "Sampler/sdk/calvatero/newconv/Common.h"

using calvatero::convolution::ConvolverHandle;
using calvatero::convolution::ConvolverMasterVardecay;

namespace {

ConvolverMasterVardecay* fromHandle(void* handle) {
  return dynamic_cast<ConvolverMasterVardecay*>(static_cast<ConvolverHandle*>(handle));
}

}  // namespace

int zkcvInitConvolverVariableDecayStereo(const float* irLeft, const float* irRight,
                                         std::size_t irFrames, std::size_t maxBlockFrames,
                                         void** handleOut) {
  if (handleOut == nullptr) return ZKCV_FFT_UNRECOVERABLE;
  *handleOut = nullptr;
  std::size_t level = 0;
  calvatero::common::GetSIMDSupportLevel(&level);
  if ((level & 2) == 0) return ZKCV_NO_VECTOR_SUPPORT;
  if (irFrames > 0 && (irLeft == nullptr || irRight == nullptr)) return ZKCV_FFT_UNRECOVERABLE;
  try {
    ConvolverHandle* convolver = ConvolverMasterVardecay::CreateConvolverMasterVardecay(
        irLeft, irRight, irFrames, maxBlockFrames);
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

void zkcvCalculateCurrentOutputVariableDecayStereo(float* outLeft, float* outRight,
                                                   const float* inLeft, const float* inRight,
                                                   std::size_t frames,
                                                   calvatero::convolution::DecayNode* nodes,
                                                   std::size_t nodeCount, void* handle) {
  if (handle == nullptr || frames == 0) return;
  if (!outLeft || !outRight || !inLeft || !inRight) return;
  if (ConvolverMasterVardecay* convolver = fromHandle(handle)) {
    convolver->CalculateOutputVariableDecay(outLeft, outRight, inLeft, inRight, frames, nodes,
                                            nodes != nullptr ? nodeCount : 0);
  }
}

void zkcvResetConvolverVariableDecay(void* handle) { zkcvResetConvolver(handle); }

void zkcvEndConvolverVariableDecay(void* handle) { zkcvEndConvolver(handle); }

double zkcvGetMinimumAllowableDecayFactor(void* handle) {
  const ConvolverMasterVardecay* convolver = handle != nullptr ? fromHandle(handle) : nullptr;
  return convolver != nullptr ? convolver->GetMinimumAllowableDecayFactor() : 1.0;
}
