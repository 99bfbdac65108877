// Convolver sizes and impulses from the fuzzer through both init calls of the convolution
// library's C interface: a valid request gives a convolver whose output, over calls of the
// sizes given, is the direct convolution of its input with the impulse; a call a caller can
// get wrong (null handle pointer, null impulse with frames) answers 4 and leaves no handle; an
// impulse claimed longer than 2^28 frames answers 2 from both inits alike, without a handle and
// without reading the impulse (which is only as long as the frames passed).
//
// Input: [flags] [impulse frames, 2 bytes] [largest block, 2 bytes] [call size] [samples...].
// Flags: bit 0 variable decay; bit 1 null handle pointer; bit 2 null right impulse;
// bits 3-4 impulse length scale (x1, x4, x16, x64, so impulses reach the long engines);
// bit 5 claim SIZE_MAX >> (byte 1 % 64) frames, at least 2^28 + 1 + byte 2, to both inits.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <vector>

#include "Sampler/sdk/calvatero/convolution/ConvolutionInterface.h"
#include "Sampler/sdk/calvatero/convolution/ConvolutionInterfaceVariableDecay.h"
#include "fuzz/FuzzCheck.h"

namespace {

constexpr std::size_t kSignalFrames = 768;

std::vector<float> samples(const std::uint8_t* bytes, std::size_t count, std::size_t frames,
                           std::size_t shift) {
  std::vector<float> out(frames);
  if (count == 0) return out;
  for (std::size_t i = 0; i < frames; ++i) {
    out[i] = static_cast<std::int8_t>(bytes[(i + shift) % count]) / 128.0f;
  }
  return out;
}

// Largest deviation from the direct convolution, relative to the largest possible output.
void checkConvolution(const std::vector<float>& ir, const std::vector<float>& in,
                      const std::vector<float>& out) {
  double scale = 1e-9;
  for (const float v : ir) scale += std::fabs(v);
  for (std::size_t t = 0; t < out.size(); ++t) {
    double expected = 0.0;
    const std::size_t taps = std::min(ir.size(), t + 1);
    for (std::size_t k = 0; k < taps; ++k) expected += static_cast<double>(ir[k]) * in[t - k];
    FUZZ_CHECK(std::fabs(out[t] - expected) <= 2e-5 * scale);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 6) return 0;
  const std::uint8_t flags = data[0];
  const bool decay = (flags & 1) != 0;
  const bool nullHandle = (flags & 2) != 0;
  const bool nullRight = (flags & 4) != 0;
  const std::size_t irFrames = (data[1] | data[2] << 8) % 1024 * (std::size_t{1} << (2 * ((flags >> 3) & 3)));
  const std::size_t maxBlock = data[3] | data[4] << 8;
  const std::size_t callSize = std::max<std::size_t>(1, data[5]);
  const std::uint8_t* bytes = data + 6;
  const std::size_t count = size - 6;

  const std::vector<float> left = samples(bytes, count, irFrames, 0);
  const std::vector<float> right = samples(bytes, count, irFrames, 1);
  const bool nullImpulse = nullRight && irFrames > 0;
  const float* rightPointer = nullImpulse ? nullptr : right.data();
  void* handle = reinterpret_cast<void*>(1);
  void** handleOut = nullHandle ? nullptr : &handle;
  if ((flags & 0x20) != 0) {
    constexpr std::size_t kLongest = std::size_t{1} << 28;
    const std::size_t claimed = std::max(kLongest + 1 + data[2],
                                         std::numeric_limits<std::size_t>::max() >> (data[1] % 64));
    const float* rightClaimed = nullRight ? nullptr : right.data();
    const bool nullClaimed = left.data() == nullptr || rightClaimed == nullptr;
    int answers[2];
    for (const bool variable : {false, true}) {
      handle = reinterpret_cast<void*>(1);
      const int answer =
          variable ? zkcvInitConvolverVariableDecayStereo(left.data(), rightClaimed, claimed,
                                                          maxBlock, handleOut)
                   : zkcvInitConvolverStereo(left.data(), rightClaimed, claimed, maxBlock,
                                             handleOut);
      // A null impulse is refused either for itself (4) or for its claimed length (2).
      FUZZ_CHECK(nullHandle ? answer == ZKCV_FFT_UNRECOVERABLE
                 : nullClaimed ? answer == ZKCV_FFT_UNRECOVERABLE || answer == ZKCV_OUT_OF_MEMORY
                               : answer == ZKCV_OUT_OF_MEMORY);
      FUZZ_CHECK(handle == (nullHandle ? reinterpret_cast<void*>(1) : nullptr));
      answers[variable ? 1 : 0] = answer;
    }
    FUZZ_CHECK(answers[0] == answers[1]);
    return 0;
  }
  const int result = decay ? zkcvInitConvolverVariableDecayStereo(left.data(), rightPointer,
                                                                  irFrames, maxBlock, handleOut)
                           : zkcvInitConvolverStereo(left.data(), rightPointer, irFrames,
                                                     maxBlock, handleOut);
  if (nullHandle || nullImpulse) {
    FUZZ_CHECK(result == ZKCV_FFT_UNRECOVERABLE);
    FUZZ_CHECK(handle == reinterpret_cast<void*>(1) || handle == nullptr);
    return 0;
  }
  FUZZ_CHECK(result == ZKCV_OK && handle != nullptr);

  const std::vector<float> inLeft = samples(bytes, count, kSignalFrames, 2);
  const std::vector<float> inRight = samples(bytes, count, kSignalFrames, 3);
  std::vector<float> outLeft(kSignalFrames), outRight(kSignalFrames);
  // Calls no longer than the largest block announced (any length for the variable decay).
  const std::size_t step = decay || maxBlock == 0 ? callSize : std::min(callSize, maxBlock);
  calvatero::convolution::DecayNode unchanged{1.0, kSignalFrames};
  for (std::size_t at = 0; at < kSignalFrames; at += step) {
    const std::size_t frames = std::min(step, kSignalFrames - at);
    if (decay) {
      zkcvCalculateCurrentOutputVariableDecayStereo(outLeft.data() + at, outRight.data() + at,
                                                    inLeft.data() + at, inRight.data() + at,
                                                    frames, &unchanged, 1, handle);
    } else {
      zkcvCalculateCurrentOutputStereo(outLeft.data() + at, outRight.data() + at,
                                       inLeft.data() + at, inRight.data() + at, frames, handle);
    }
  }
  zkcvEndConvolver(handle);
  checkConvolution(left, inLeft, outLeft);
  checkConvolution(right, inRight, outRight);
  return 0;
}
