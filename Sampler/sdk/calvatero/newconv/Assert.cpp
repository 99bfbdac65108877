#include "Sampler/sdk/calvatero/newconv/Assert.h"

#include <cstdio>
#include <cstdlib>

namespace calvatero {

void assertionFailed(const char* condition, const char* file, int line) {
  std::fprintf(stderr, "calvatero: assertion failed: %s (%s:%d)\n", condition, file, line);
  std::fflush(stderr);
  std::abort();
}

}  // namespace calvatero
