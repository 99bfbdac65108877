// The passes on eight-float AVX2 vectors with fused multiply-adds. This file alone is compiled
// for those instructions (see CMakeLists.txt); SplitFFT calls it only on processors that have them.
#include "platform/accelerate/SplitPasses.h"

namespace accelerate::detail {

void runEightFloatPasses(const PassTables& tables, const float* inReal, const float* inImag,
                         float* outReal, float* outImag, float* scratchReal, float* scratchImag,
                         bool inverse) {
  passes::runPasses<passes::F8>(tables, inReal, inImag, outReal, outImag, scratchReal,
                                scratchImag, inverse);
}

}  // namespace accelerate::detail
