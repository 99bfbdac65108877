// Registered only in the release build: the exact test under every call pattern for a dense
// impulse whose reference costs too much under the sanitizers (its buffered second stage runs
// split filters over 66 partitions; the CI program covers the same shape at 32000 frames).
#include "tests/Sampler/sdk/calvatero/convolvers/ConvolverExact.h"

namespace calvatero::testing {
namespace {

INSTANTIATE_TEST_SUITE_P(Long, ConvolverExact, ::testing::Values(LengthCase{70000, 512}),
                         caseName);

}  // namespace
}  // namespace calvatero::testing
