#include "Sampler/sdk/calvatero/convolution/GenericFilter.h"

#include <cstdint>
#include <cstring>
#include <new>

#include "Sampler/sdk/calvatero/convolution/BlockKernels.h"
#include "Sampler/sdk/calvatero/newconv/Assert.h"
#include "Sampler/sdk/calvatero/newconv/Common.h"

namespace calvatero::convolution {

const std::size_t filter_direct_code[1] = {FILTER_CODE_DIRECT};

void* GenericFilter::operator new(std::size_t size) {
  std::int32_t lineSize = 0;
  common::GetL2CacheInfo(&lineSize, nullptr, nullptr);
  void* p = common::MallocAligned(size, static_cast<std::size_t>(lineSize), 0);
  if (p == nullptr) throw std::bad_alloc();
  return p;
}

void GenericFilter::operator delete(void* p) { common::FreeAligned(p); }

void GenericFilter::AssignFilterLevels(std::size_t* numBlocks, std::size_t* levels,
                                       std::size_t impulseLength, std::size_t blockLen,
                                       int forceDirect, int wideBase, int vardecay) {
  const std::size_t buffer_len = blockLen;
  const std::size_t n = impulseLength;
  const std::size_t first = wideBase ? 9 : 8;
  if (forceDirect || first * buffer_len >= n) {
    levels[0] = FILTER_CODE_DIRECT;
    *numBlocks = (n + buffer_len - 1) / buffer_len;
    return;
  }
  const auto sizeFor = [&](std::size_t s) {
    std::size_t size = s * buffer_len;
    while (size < n) size *= 3;
    return size;
  };
  std::size_t bestBase = first;
  std::size_t total_filter_length = sizeFor(first);
  for (std::size_t s = first + 1; s <= (wideBase ? 31u : 28u); ++s) {
    if (const std::size_t size = sizeFor(s); size < total_filter_length) {
      total_filter_length = size;
      bestBase = s;
    }
  }
  // One candidate beyond the range, taken only when strictly better.
  const std::size_t extra = wideBase ? 34 : 31;
  if (const std::size_t size = sizeFor(extra); size < total_filter_length) {
    total_filter_length = size;
    bestBase = extra;
  }
  const std::size_t total_partitions = total_filter_length / buffer_len;
  CALVATERO_ASSERT(total_partitions * buffer_len == total_filter_length);
  *numBlocks = total_partitions;

  std::size_t level = 0;
  std::size_t tmplen = bestBase * buffer_len;
  for (; tmplen <= total_filter_length; tmplen *= 3) {
    CALVATERO_ASSERT(level < MAX_FILTER_LEVELS);
    levels[level++] = tmplen == total_filter_length
                          ? FILTER_CODE_DIRECT
                          : (vardecay ? FILTER_CODE_SPLIT_VARDECAY : FILTER_CODE_SPLIT);
  }
  CALVATERO_ASSERT(tmplen == total_filter_length * 3);
}

std::unique_ptr<GenericFilter> GenericFilter::CreateFilter(std::size_t length,
                                                           std::size_t blockLen,
                                                           const std::size_t* levels,
                                                           std::size_t alignment) {
  switch (levels[0]) {
    case FILTER_CODE_SPLIT_VARDECAY:
      return std::unique_ptr<GenericFilter>(
          new Filter3Vardecay(length, blockLen, levels, alignment));
    case FILTER_CODE_SPLIT:
      return std::unique_ptr<GenericFilter>(new Filter3(length, blockLen, levels, alignment));
    case FILTER_CODE_DIRECT:
      return std::unique_ptr<GenericFilter>(new FilterDirect(length, blockLen));
    default:
      CALVATERO_ASSERT(!"unknown filter level code");
  }
  return nullptr;
}

// ---- FilterDirect ----------------------------------------------------------------------------

FilterDirect::FilterDirect(std::size_t length, std::size_t blockLen)
    : GenericFilter(blockLen), total_partitions(length / blockLen) {
  CALVATERO_ASSERT(total_partitions * blockLen == length && total_partitions != 0);
}

// Both sequences advance upwards in memory as the impulse index rises (the input runs
// backwards in time), so one multiply-accumulate walk serves each sum.
void FilterDirect::RunStart(float* out, const float* impulse, const float* inputEnd,
                            std::size_t index) {
  const std::size_t b = buffer_len;
  do_block_mult_c(out, impulse, inputEnd - index * b, b);
  if (index > 0) do_block_mult_accum_c_for(out, impulse + b, inputEnd - (index - 1) * b, b, index);
}

void FilterDirect::RunEnd(float* out, const float* impulse, const float* prevInputEnd,
                          std::size_t index) {
  const std::size_t b = buffer_len;
  if (index + 1 == total_partitions) {
    std::memset(out, 0, b * sizeof(float));
    return;
  }
  const float* prev = prevInputEnd - (total_partitions - 1) * b;
  do_block_mult_c(out, impulse + (index + 1) * b, prev, b);
  if (const std::size_t rest = total_partitions - index - 2; rest > 0) {
    do_block_mult_accum_c_for(out, impulse + (index + 2) * b, prev + b, b, rest);
  }
}

void FilterDirect::Run(float* out, const float* impulse, const float* inputEnd,
                       const float* impulse2, const float* prevInputEnd, std::size_t index) {
  RunStart(out, impulse, inputEnd, index);
  if (index + 1 < total_partitions) {
    const std::size_t b = buffer_len;
    do_block_mult_accum_c_for(out, impulse2 + (index + 1) * b,
                              prevInputEnd - (total_partitions - 1) * b, b,
                              total_partitions - 1 - index);
  }
}

// ---- Filter3 and Filter3Vardecay -------------------------------------------------------------
//
// With T blocks to a third, index a falls in phase 1, 2 or 3 (a < T, < 2T, else); sub2 forms
// the products of matching thirds, sub1 those of the differences, and the partial slots carry
// matching-third products to the later phases that need them.

template <std::size_t kSlots>
Filter3Split<kSlots>::Filter3Split(std::size_t length, std::size_t blockLen,
                                   const std::size_t* levels, std::size_t alignment)
    : GenericFilter(blockLen), third(length / 3), cycleThird(length / (3 * blockLen)) {
  CALVATERO_ASSERT(cycleThird * 3 * blockLen == length && cycleThird != 0);
  sub1_ = CreateFilter(third, blockLen, levels + 1, alignment);
  sub2_ = CreateFilter(third, blockLen, levels + 1, alignment);
  const std::size_t floats = (2 + kSlots) * third;
  buffer_ = static_cast<float*>(common::MallocAligned(floats * sizeof(float), alignment, 0));
  if (buffer_ == nullptr) throw std::bad_alloc();
  std::memset(buffer_, 0, floats * sizeof(float));
}

template <std::size_t kSlots>
Filter3Split<kSlots>::~Filter3Split() {
  common::FreeAligned(buffer_);
}

template <std::size_t kSlots>
void Filter3Split<kSlots>::phase2(float* out, const float* h, const float* xc, std::size_t a,
                                  bool start) {
  const std::size_t T = cycleThird, t = third, b = buffer_len;
  const std::size_t a1 = a - T;
  sub2_->Run(partial(1, a1), h + t, xc - t, h, xc, a1);
  do_block_sub_dual2(d1(a1), h + a1 * b, d2(a1), xc - a * b, t, b);
  if (start) {
    sub1_->RunStart(out, d1(0), d2(0), a1);
    do_block_adds_s1(out, partial(0, a1), b);
  } else {
    sub1_->Run(out, d1(0), d2(0), d1(0), d2(0), a1);
    do_block_adds34(out, partial(0, a1), b);
  }
}

template <std::size_t kSlots>
void Filter3Split<kSlots>::phase3(float* out, const float* h, const float* xc, std::size_t a) {
  const std::size_t T = cycleThird, t = third, b = buffer_len;
  const std::size_t a2 = a - 2 * T;
  sub2_->Run(partial(2, a2), h + 2 * t, xc - 2 * t, h + t, xc - t, a2);
  do_block_sub_dual2(d1(a2), h + a2 * b, d2(a2), xc - a * b, 2 * t, b);
  sub1_->Run(out, d1(0), d2(0), d1(0), d2(0), a2);
  do_block_adds34_saving(out, partial(0, a2), b);
}

template <std::size_t kSlots>
void Filter3Split<kSlots>::Run(float* out, const float* h, const float* xc, const float* h2,
                               const float* xp, std::size_t a) {
  const std::size_t T = cycleThird, t = third, b = buffer_len;
  if (a < T) {
    sub2_->Run(partial(0, a), h, xc, h2 + 2 * t, xp - 2 * t, a);
    do_block_sub_dual2(d1(a), h2 + (T + a) * b, d2(a), xp - (2 * T + a) * b, t, b);
    sub1_->Run(out, d1(0), d2(0), d1(0), d2(0), a);
    do_block_adds_s1(out, partial(0, a), b);
  } else if (a < 2 * T) {
    phase2(out, h, xc, a, false);
  } else {
    phase3(out, h, xc, a);
  }
}

template <std::size_t kSlots>
void Filter3Split<kSlots>::RunStart(float* out, const float* h, const float* xc, std::size_t a) {
  const std::size_t T = cycleThird;
  if (a < T) {
    sub2_->RunStart(partial(0, a), h, xc, a);
    std::memcpy(out, partial(0, a), buffer_len * sizeof(float));
  } else if (a < 2 * T) {
    phase2(out, h, xc, a, true);
  } else {
    phase3(out, h, xc, a);
  }
}

template <std::size_t kSlots>
void Filter3Split<kSlots>::RunEnd(float* out, const float* h, const float* xp, std::size_t a) {
  const std::size_t T = cycleThird, t = third, b = buffer_len;
  // The tail's own products: slot 0 in Filter3, slot 3 in Filter3Vardecay.
  constexpr std::size_t tail = kSlots == 4 ? 3 : 0;
  if (a < T) {
    sub2_->RunEnd(partial(tail, a), h + 2 * t, xp - 2 * t, a);
    do_block_sub_dual2(d1(a), h + (T + a) * b, d2(a), xp - (2 * T + a) * b, t, b);
    sub1_->Run(out, d1(0), d2(0), d1(0), d2(0), a);
    if constexpr (kSlots == 4) {
      do_block_adds_s9(out, partial(1, a), b);
    } else {
      do_block_adds_s1(out, partial(0, a), b);
    }
  } else if (a < 2 * T) {
    const std::size_t a1 = a - T;
    sub1_->RunEnd(out, d1(0), d2(0), a1);
    if constexpr (kSlots == 4) {
      do_block_adds_s1(out, partial(2, a1), b);
    } else {
      do_block_adds_s9(out, partial(0, a1), b);
    }
  } else {
    std::memcpy(out, partial(tail, a - 2 * T), b * sizeof(float));
  }
}

template class Filter3Split<3>;
template class Filter3Split<4>;

}  // namespace calvatero::convolution
