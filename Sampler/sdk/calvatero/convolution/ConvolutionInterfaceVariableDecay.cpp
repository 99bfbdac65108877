#include "Sampler/sdk/calvatero/convolution/ConvolutionInterfaceVariableDecay.h"

#include "Sampler/sdk/calvatero/convolution/ConvolverInit.h"
#include "Sampler/sdk/calvatero/convolution/ConvolverMasterLongVardecay.h"

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
  return calvatero::convolution::initConvolverHandle(irLeft, irRight, irFrames, handleOut, [&] {
    return ConvolverMasterVardecay::CreateConvolverMasterVardecay(irLeft, irRight, irFrames,
                                                                  maxBlockFrames);
  });
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
