// Frequency-domain block filters: the uniformly partitioned core of every convolver. A filter of
// N blocks keeps no spectra of its own; per call it forms one output block as the sum of
// products of N impulse block spectra with the matching input block spectra of the current and
// the previous cycle (the frequency-domain delay line). FilterDirect forms every product;
// Filter3 and Filter3Vardecay split the filter into two filters of N/3 blocks running on sums
// and differences of its thirds (three-way Karatsuba), trading products for a buffer of partial
// results.
//
// Spectra are blocks of `buffer_len` floats (groups of four real then four imaginary parts).
// Of the two sequences a call multiplies, the first (the `impulse` arguments) is addressed
// upwards, block i at p + i * buffer_len, the second (`inputEnd`, `prevInputEnd`) downwards,
// block m at p - m * buffer_len; the product is symmetric, so callers put whichever of their
// sequences is stored upwards in the first place.
//
// Per cycle of total_partitions calls the caller runs RunStart (first cycle) or Run (later
// ones), then RunEnd once after the last input, with the index rising from 0. Construction
// allocates; the Run operations never allocate, lock or block. One thread at a time.
#pragma once

#include <cstddef>
#include <memory>

namespace calvatero::convolution {

inline constexpr std::size_t MAX_FILTER_LEVELS = 16;
inline constexpr std::size_t FILTER_CODE_DIRECT = 1;
inline constexpr std::size_t FILTER_CODE_SPLIT = 3;
inline constexpr std::size_t FILTER_CODE_SPLIT_VARDECAY = 10003;

/// The level schedule of a single direct filter.
extern const std::size_t filter_direct_code[1];

class GenericFilter {
 public:
  virtual ~GenericFilter() = default;

  /// Output block `index` of the first cycle: current input only.
  virtual void RunStart(float* out, const float* impulse, const float* inputEnd,
                        std::size_t index) = 0;
  /// Output block `index` of the cycle after the input ended: previous input only.
  virtual void RunEnd(float* out, const float* impulse, const float* prevInputEnd,
                      std::size_t index) = 0;
  /// Output block `index` of a steady cycle: `impulse` with the current cycle's input,
  /// `impulse2` with the previous cycle's.
  virtual void Run(float* out, const float* impulse, const float* inputEnd,
                   const float* impulse2, const float* prevInputEnd, std::size_t index) = 0;

  std::size_t bufferLen() const { return buffer_len; }

  /// Objects of the family live in MallocAligned blocks at the cache report's alignment.
  static void* operator new(std::size_t size);
  static void operator delete(void* p);

  /// Pads `impulseLength` to the filter size and writes the level schedule: k split codes
  /// (10003 when `vardecay`, else 3) and a final 1, size = s * blockLen * 3^k, s from 8 (9 with
  /// `wideBase`) up. `forceDirect` gives one direct level. Stores the block count.
  static void AssignFilterLevels(std::size_t* numBlocks, std::size_t* levels,
                                 std::size_t impulseLength, std::size_t blockLen,
                                 int forceDirect, int wideBase, int vardecay);

  /// The filter tree of `levels` for `length` floats of spectra in blocks of `blockLen`.
  /// Throws std::bad_alloc (releasing what was built).
  static std::unique_ptr<GenericFilter> CreateFilter(std::size_t length, std::size_t blockLen,
                                                     const std::size_t* levels,
                                                     std::size_t alignment);

 protected:
  explicit GenericFilter(std::size_t bufferLen) : buffer_len(bufferLen) {}
  std::size_t buffer_len;
};

class FilterDirect final : public GenericFilter {
 public:
  FilterDirect(std::size_t length, std::size_t blockLen);
  void RunStart(float* out, const float* impulse, const float* inputEnd,
                std::size_t index) override;
  void RunEnd(float* out, const float* impulse, const float* prevInputEnd,
              std::size_t index) override;
  void Run(float* out, const float* impulse, const float* inputEnd, const float* impulse2,
           const float* prevInputEnd, std::size_t index) override;

 private:
  std::size_t total_partitions;
};

/// The split filter; `kSlots` partial blocks per index (3 for Filter3, 4 for Filter3Vardecay,
/// which keeps the tail's products apart for the decay processors).
template <std::size_t kSlots>
class Filter3Split final : public GenericFilter {
 public:
  Filter3Split(std::size_t length, std::size_t blockLen, const std::size_t* levels,
               std::size_t alignment);
  ~Filter3Split() override;
  void RunStart(float* out, const float* impulse, const float* inputEnd,
                std::size_t index) override;
  void RunEnd(float* out, const float* impulse, const float* prevInputEnd,
              std::size_t index) override;
  void Run(float* out, const float* impulse, const float* inputEnd, const float* impulse2,
           const float* prevInputEnd, std::size_t index) override;

 private:
  float* d1(std::size_t i) const { return buffer_ + i * buffer_len; }
  float* d2(std::size_t i) const { return buffer_ + (2 * cycleThird - 1 - i) * buffer_len; }
  float* partial(std::size_t slot, std::size_t i) const {
    return buffer_ + 2 * third + (kSlots * i + slot) * buffer_len;
  }
  // Phases two and three of Run (the first cycle runs them too).
  void phase2(float* out, const float* h, const float* xc, std::size_t a, bool start);
  void phase3(float* out, const float* h, const float* xc, std::size_t a);

  std::unique_ptr<GenericFilter> sub1_;  // on the difference sequences
  std::unique_ptr<GenericFilter> sub2_;  // on the thirds themselves
  float* buffer_ = nullptr;              // differences, then the partial results
  std::size_t third;
  std::size_t cycleThird;
};

using Filter3 = Filter3Split<3>;
using Filter3Vardecay = Filter3Split<4>;

}  // namespace calvatero::convolution
