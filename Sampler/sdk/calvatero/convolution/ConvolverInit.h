// The answer both init calls of the C interface give: the checks of what a C caller can get
// wrong, then the creation with its exceptions turned into the init codes. Internal to the
// interface's sources.
#pragma once

#include <cstddef>
#include <new>

#include "Sampler/sdk/calvatero/convolution/ConvolutionInterface.h"
#include "Sampler/sdk/calvatero/convolution/ConvolverMaster.h"
#include "Sampler/sdk/calvatero/fourier/FourierTransformComplex.h"
#include "Sampler/sdk/calvatero/newconv/Common.h"

namespace calvatero::convolution {

/// Stores in `*handleOut` the handle `create()` makes (null on failure) and answers its code.
/// Vector support is checked before anything is allocated; nothing is thrown.
template <typename Create>
int initConvolverHandle(const float* irLeft, const float* irRight, std::size_t irFrames,
                        void** handleOut, Create&& create) noexcept {
  if (handleOut == nullptr) return ZKCV_FFT_UNRECOVERABLE;
  *handleOut = nullptr;
  std::size_t level = 0;
  common::GetSIMDSupportLevel(&level);
  if ((level & 2) == 0) return ZKCV_NO_VECTOR_SUPPORT;
  if (irFrames > 0 && (irLeft == nullptr || irRight == nullptr)) return ZKCV_FFT_UNRECOVERABLE;
  // One length limit for every kind, checked before any engine reads the impulse.
  if (irFrames > LONGEST_IMPULSE_FRAMES) return ZKCV_OUT_OF_MEMORY;
  try {
    ConvolverHandle* convolver = create();
    *handleOut = convolver;
    return ZKCV_OK;
  } catch (const std::bad_alloc&) {
    return ZKCV_OUT_OF_MEMORY;
  } catch (const fourier::Fft_out_of_range_error&) {
    return ZKCV_FFT_OUT_OF_RANGE;
  } catch (...) {
    return ZKCV_FFT_UNRECOVERABLE;
  }
}

}  // namespace calvatero::convolution
