// An allocation-free stable sort for render threads, which order each block's events and must
// not allocate (std::stable_sort may). The caller reserves the scratch storage up front.
#pragma once

#include <algorithm>
#include <cstddef>
#include <utility>

namespace vantor {

namespace stable_sort_detail {

// Runs this short are sorted by insertion before merging; insertion is fast on the nearly
// sorted lists hosts collect.
inline constexpr std::size_t kRun = 16;

template <typename T, typename Less>
void insertionSort(T* items, std::size_t count, Less& less) {
  for (std::size_t i = 1; i < count; ++i) {
    if (!less(items[i], items[i - 1])) continue;
    T moving = std::move(items[i]);
    std::size_t j = i;
    // Stops at the first element not greater than `moving`: equal keys keep their order.
    do {
      items[j] = std::move(items[j - 1]);
      --j;
    } while (j > 0 && less(moving, items[j - 1]));
    items[j] = std::move(moving);
  }
}

// Merges from[lo, mid) and from[mid, hi) into to[lo, hi); ties take the left run first.
template <typename T, typename Less>
void merge(T* from, T* to, std::size_t lo, std::size_t mid, std::size_t hi, Less& less) {
  std::size_t left = lo;
  std::size_t right = mid;
  std::size_t out = lo;
  while (left < mid && right < hi) {
    to[out++] = less(from[right], from[left]) ? std::move(from[right++]) : std::move(from[left++]);
  }
  while (left < mid) to[out++] = std::move(from[left++]);
  while (right < hi) to[out++] = std::move(from[right++]);
}

}  // namespace stable_sort_detail

/// Sorts the `count` elements at `items` in place, keeping the order of equal elements, with
/// `scratch` (room for `scratchCount` elements) as working storage. O(n log n) when the scratch
/// holds at least `count` elements; with less it falls back to insertion sort, O(n^2) but still
/// stable and allocation-free. Never allocates or locks; `less` is a strict weak ordering
/// (e.g. vantor::midiSort). Any thread, render threads included.
template <typename T, typename Less>
void stableSort(T* items, std::size_t count, T* scratch, std::size_t scratchCount, Less less) {
  namespace d = stable_sort_detail;
  if (count < 2) return;
  T* a = items;
  if (scratch == nullptr || scratchCount < count || count <= d::kRun) {
    d::insertionSort(a, count, less);
    return;
  }
  for (std::size_t lo = 0; lo < count; lo += d::kRun) {
    d::insertionSort(a + lo, std::min(d::kRun, count - lo), less);
  }
  T* from = a;
  T* to = scratch;
  for (std::size_t width = d::kRun; width < count; width *= 2) {
    for (std::size_t lo = 0; lo < count; lo += 2 * width) {
      const std::size_t mid = std::min(lo + width, count);
      const std::size_t hi = std::min(lo + 2 * width, count);
      if (mid == hi || !less(from[mid], from[mid - 1])) {
        // Already in order (or a lone run): copy it across unchanged.
        for (std::size_t i = lo; i < hi; ++i) to[i] = std::move(from[i]);
      } else {
        d::merge(from, to, lo, mid, hi, less);
      }
    }
    std::swap(from, to);
  }
  if (from != a) {
    for (std::size_t i = 0; i < count; ++i) a[i] = std::move(from[i]);
  }
}

}  // namespace vantor
