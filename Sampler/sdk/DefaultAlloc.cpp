#include "Sampler/sdk/DefaultAlloc.h"

#include <algorithm>
#include <cstdlib>

namespace vantor {

void* defaultAlloc(std::size_t size) { return std::calloc(1, std::max<std::size_t>(size, 1)); }

void defaultFree(void* block) { std::free(block); }

void* defaultRealloc(void* block, std::size_t size) {
  return std::realloc(block, std::max<std::size_t>(size, 1));
}

}  // namespace vantor
