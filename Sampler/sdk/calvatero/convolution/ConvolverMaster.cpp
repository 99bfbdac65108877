#include "Sampler/sdk/calvatero/convolution/ConvolverMaster.h"

#include <memory>
#include <new>

#include "Sampler/sdk/calvatero/convolution/ConvolverMasterLong.h"
#include "Sampler/sdk/calvatero/convolution/ConvolverMasterMidShort.h"
#include "Sampler/sdk/calvatero/convolution/ConvolverMasterShort.h"
#include "Sampler/sdk/calvatero/convolution/ConvolverMasterVeryShort.h"

namespace calvatero::convolution {

// The selection table: under 13 and 17 to 20 frames to the 4-frame engine, 13 to 16 and 21 to
// 80 to the 8-frame engine, then short up to 2112, mid-short up to 4736, long beyond it (with
// the buffered second stage over 16000).
ConvolverMaster* ConvolverMaster::CreateConvolverMaster(const float* irLeft, const float* irRight,
                                                        std::size_t irFrames,
                                                        std::size_t maxBlockFrames) {
  const std::size_t n = irFrames;
  // Far beyond any memory (and beyond where the sizes' arithmetic stays exact).
  if (n > LONGEST_IMPULSE_FRAMES) throw std::bad_alloc();
  if (n == 0) {
    // Silence: one zero tap, the arrays (possibly null) not read.
    static const float zero[1] = {0.0f};
    return new ConvolverMasterVeryShort(zero, zero, 1, maxBlockFrames);
  }
  if (n < 13 || (n >= 17 && n <= 20)) {
    return new ConvolverMasterVeryShort(irLeft, irRight, n, maxBlockFrames);
  }
  if (n <= 80) return new ConvolverMasterVeryShort2(irLeft, irRight, n, maxBlockFrames);
  if (n <= 2112) return new ConvolverMasterShort(irLeft, irRight, n);
  if (n <= 4736) return new ConvolverMasterMidShort(irLeft, irRight, n);
  return new ConvolverMasterLong(irLeft, irRight, n, n > 16000);
}

}  // namespace calvatero::convolution
