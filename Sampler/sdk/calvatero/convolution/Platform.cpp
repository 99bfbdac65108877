#include "Sampler/sdk/calvatero/convolution/Platform.h"

namespace calvatero::convolution {

bool isCurrentCPUSupported() { return true; }
std::size_t getMinimumBufferMultiple() { return 32; }
void initPlatform() {}
void endPlatform() {}

}  // namespace calvatero::convolution
