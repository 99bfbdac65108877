// The convolution library's platform hooks. On this platform the processor always has the
// vector support the library needs and there is nothing to set up or tear down.
#pragma once

#include <cstddef>

namespace calvatero::convolution {

bool isCurrentCPUSupported();

/// 32: the block lengths of the Karatsuba convolvers are multiples of it.
std::size_t getMinimumBufferMultiple();

void initPlatform();
void endPlatform();

}  // namespace calvatero::convolution
