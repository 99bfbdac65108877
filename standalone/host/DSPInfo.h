// The render format every graph module is given: rate, block size and the values derived from
// them. Plain data; the processing context owns the one the render uses.
#pragma once

#include <cstdint>
#include <vector>

namespace vantor {

class DSPInfo {
 public:
  /// Rates other than the seven supported ones are taken as 44100; the block size is kept.
  DSPInfo(std::uint32_t sampleRate, std::uint32_t blockSize);
  virtual ~DSPInfo() = default;

  /// Appends 22050, 44100, 48000, 64000, 88200, 96000 and 192000, in that order.
  static void listSupportedSampleRates(std::vector<std::int32_t>& out);
  static bool isSupportedSampleRate(std::uint32_t sampleRate);

  double sampleRate;            ///< hertz
  std::uint32_t sampleRateInt;  ///< the same, as an integer
  std::uint32_t blockSize;      ///< frames per block
  double blockDuration;         ///< seconds per block
  double inverseBlockSize;      ///< 1 / blockSize, computed in single precision
  bool offline = false;         ///< the render runs offline (set by the processing context)
};

}  // namespace vantor
