#include "standalone/host/DSPInfo.h"

#include <algorithm>
#include <array>

namespace vantor {

namespace {

constexpr std::array<std::uint32_t, 7> kSupportedRates = {22050, 44100, 48000, 64000,
                                                          88200, 96000, 192000};

}  // namespace

DSPInfo::DSPInfo(std::uint32_t rate, std::uint32_t frames)
    : sampleRate(isSupportedSampleRate(rate) ? rate : 44100),
      sampleRateInt(static_cast<std::uint32_t>(sampleRate)),
      blockSize(frames),
      blockDuration(frames * (1.0 / sampleRate)),
      inverseBlockSize(static_cast<double>(1.0f / static_cast<float>(frames))) {}

void DSPInfo::listSupportedSampleRates(std::vector<std::int32_t>& out) {
  for (std::uint32_t rate : kSupportedRates) out.push_back(static_cast<std::int32_t>(rate));
}

bool DSPInfo::isSupportedSampleRate(std::uint32_t rate) {
  return std::find(kSupportedRates.begin(), kSupportedRates.end(), rate) != kSupportedRates.end();
}

}  // namespace vantor
