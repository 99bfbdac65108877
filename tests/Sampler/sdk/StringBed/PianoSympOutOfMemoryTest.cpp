// PianoSymp whose scratch cannot be allocated: a block-size limit of 2^31 - 1 frames asks for
// 16 GiB, which AddressSanitizer is told to refuse with null (allocations over 1 GiB) instead of
// ending the program. The plug-in then leaves the audio as it was. A program of its own, since
// that setting holds for the whole program; without AddressSanitizer the refusal would depend
// on the machine's memory, so the test is skipped there.
#include <cstdint>
#include <limits>
#include <vector>

#include <gtest/gtest.h>

#include "Sampler/sdk/StringBed/PianoSymp.h"
#include "tests/Sampler/sdk/StringBed/PluginEvents.h"
#include "tests/support/ConvolutionKit.h"

// Exported: the sanitizer runtime looks it up in the program.
extern "C" __attribute__((visibility("default"))) const char* __asan_default_options() {
  return "allocator_may_return_null=1:max_allocation_size_mb=1024";
}

namespace {

TEST(PianoSympOutOfMemory, WithoutItsScratchTheAudioIsLeftAlone) {
#if !defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "needs AddressSanitizer's allocation limit";
#endif
  acme::PianoSymp plugin{nullptr};
  vantor::KELOPluginSDK::ChannelInfo io{2, 2};
  std::int32_t answer = 0;
  plugin.setIOConfig(&io, &answer);
  ASSERT_EQ(answer, 1);
  const auto info = kelo::test::dspInfo(44100, std::numeric_limits<std::int32_t>::max());
  plugin.setDSPInfo(&info);

  std::vector<std::vector<float>> audio{kelo::test::noise(256, 1), kelo::test::noise(256, 2)};
  const auto before = audio;
  float* pointers[] = {audio[0].data(), audio[1].data()};
  // A gain and a held key: with its scratch the plug-in would add resonance to the input.
  const auto events = kelo::test::eventList({{176, 87, 1.0f}, {144, 69, 1.0f}});
  plugin.process(pointers, 256, events.get(), nullptr, nullptr);
  EXPECT_EQ(audio, before);
}

}  // namespace
