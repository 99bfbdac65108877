#include "Sampler/sdk/calvatero/convolution/ConvolutionInterface.h"

#include "Sampler/sdk/calvatero/convolution/ConvolverInit.h"
#include "Sampler/sdk/calvatero/convolution/ConvolverMaster.h"

using calvatero::convolution::ConvolverHandle;
using calvatero::convolution::ConvolverMaster;

namespace {

// Every handle is the address of a ConvolverHandle, whatever its kind.
ConvolverHandle* fromHandle(void* handle) { return static_cast<ConvolverHandle*>(handle); }

}  // namespace

int zkcvInitConvolverStereo(const float* irLeft, const float* irRight, std::size_t irFrames,
                            std::size_t maxBlockFrames, void** handleOut) {
  return calvatero::convolution::initConvolverHandle(irLeft, irRight, irFrames, handleOut, [&] {
    return ConvolverMaster::CreateConvolverMaster(irLeft, irRight, irFrames, maxBlockFrames);
  });
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
