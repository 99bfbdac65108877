#include "effects/reverb/ImpulseResponse.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <new>

#include "Sampler/sdk/calvatero/newconv/Common.h"

namespace acme {

using calvatero::common::FreeAligned;
using calvatero::common::MallocAligned;

namespace {

constexpr std::size_t kAlignment = 64;
// ln 10 / 20: amplitude per dB.
constexpr double kNepersPerDB = 0.11512925464970228;

// Null for a count whose bytes a size_t cannot hold.
float* allocateFloats(std::uint64_t count) {
  if (count > std::numeric_limits<std::size_t>::max() / sizeof(float) - kAlignment) return nullptr;
  return static_cast<float*>(MallocAligned(count * sizeof(float), kAlignment, 0));
}

}  // namespace

ImpulseResponse::ImpulseResponse(const float* const* channels, std::uint64_t channelCount,
                                 std::uint64_t numFrames, double rate)
    : numChannels(channelCount), origFrames(numFrames), sampleRate(rate), curFrames(numFrames) {
  try {
    delivered.assign(numChannels, nullptr);
    working.assign(numChannels, nullptr);
  } catch (...) {
    delivered.clear();
    working.clear();
    throw;
  }
  for (std::uint64_t c = 0; c < numChannels; ++c) {
    delivered[c] = allocateFloats(numFrames);
    working[c] = allocateFloats(numFrames);
    if (delivered[c] == nullptr || working[c] == nullptr) {
      freeAll();
      throw std::bad_alloc();
    }
    if (numFrames > 0) {
      std::memcpy(delivered[c], channels[c], numFrames * sizeof(float));
      std::memcpy(working[c], channels[c], numFrames * sizeof(float));
    }
  }
}

ImpulseResponse::~ImpulseResponse() { freeAll(); }

void ImpulseResponse::freeAll() {
  for (float*& array : delivered) {
    FreeAligned(array);
    array = nullptr;
  }
  for (float*& array : working) {
    FreeAligned(array);
    array = nullptr;
  }
}

float ImpulseResponse::stretchFactor(float size) {
  const double s = size;
  return static_cast<float>(s < 0.5 ? s * (2 - 1.4142) + 1.4142 / 2
                                     : s * (2 * (1.4142 - 1)) + (2 - 1.4142));
}

std::int32_t ImpulseResponse::Modify(std::int64_t preDelaySamples, float size, float decay) {
  const float k = stretchFactor(size);
  if (!(k >= 0.0f)) return 1;
  const float stretched = static_cast<float>(origFrames) * k;
  // Lengths a signed 64-bit count holds with room for the pre-delay; beyond that no heap can.
  if (!(stretched < 0x1p62f)) return 2;
  const auto e = static_cast<std::int64_t>(stretched);
  std::int64_t n = 0;
  if (__builtin_add_overflow(e, preDelaySamples, &n)) return preDelaySamples < 0 ? 1 : 2;
  if (n < 1) return 1;
  if (numChannels == 0) {
    curFrames = static_cast<std::uint64_t>(n);
    return 0;
  }

  std::vector<float*> fresh;
  float* scratch = allocateFloats(origFrames);
  float* stretch = allocateFloats(static_cast<std::uint64_t>(e));
  bool ok = scratch != nullptr && stretch != nullptr;
  try {
    fresh.assign(numChannels, nullptr);
  } catch (const std::bad_alloc&) {
    ok = false;
  }
  for (std::uint64_t c = 0; ok && c < numChannels; ++c) {
    fresh[c] = allocateFloats(static_cast<std::uint64_t>(n));
    ok = fresh[c] != nullptr;
  }
  if (!ok) {
    for (float* array : fresh) FreeAligned(array);
    FreeAligned(scratch);
    FreeAligned(stretch);
    return 2;
  }

  curFrames = static_cast<std::uint64_t>(n);
  const double step = 1.0 / static_cast<double>(k);
  const auto frames = static_cast<std::int64_t>(origFrames);
  for (std::uint64_t c = 0; c < numChannels; ++c) {
    FreeAligned(working[c]);
    working[c] = fresh[c];
    if (origFrames > 0) std::memcpy(scratch, delivered[c], origFrames * sizeof(float));

    if (decay >= 0.0f && decay < 1.0f) {
      const double startTime = sampleRate * 0.035;
      const std::uint64_t s = startTime > 0 ? static_cast<std::uint64_t>(startTime) : 0;
      if (s < origFrames) {
        const double r = std::exp(-(1.0 - static_cast<double>(decay)) * 200.0 * kNepersPerDB /
                                  static_cast<double>(origFrames - s));
        double gain = 1.0;
        for (std::uint64_t i = s; i < origFrames; ++i) {
          scratch[i] = static_cast<float>(scratch[i] * gain);
          gain *= r;
        }
      }
    }

    auto at = [&](std::int64_t index) { return index >= 0 && index < frames ? scratch[index] : 0.0f; };
    for (std::int64_t t = 0; t < e; ++t) {
      const double x = static_cast<double>(t) * step;
      const auto i = static_cast<std::int64_t>(x);
      const auto w = static_cast<float>(x - static_cast<double>(i));
      const float p0 = at(i - 1), p1 = at(i), p2 = at(i + 1), p3 = at(i + 2);
      const float d = (p2 - p0) * 0.5f;
      const float f = (p3 - p1) * 0.5f + 2.0f * (p1 - p2) + d;
      stretch[t] = ((f * w - (p1 - p2 + d + f)) * w + d) * w + p1;
    }

    float* out = working[c];
    if (preDelaySamples >= 0) {
      std::memset(out, 0, static_cast<std::size_t>(preDelaySamples) * sizeof(float));
      if (e > 0) std::memcpy(out + preDelaySamples, stretch, static_cast<std::size_t>(e) * sizeof(float));
    } else {
      std::memcpy(out, stretch - preDelaySamples, static_cast<std::size_t>(n) * sizeof(float));
    }
  }
  FreeAligned(scratch);
  FreeAligned(stretch);
  return 0;
}

}  // namespace acme
