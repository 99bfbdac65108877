// A state chunk from the fuzzer given to the reference engine, then one block processed: a
// chunk taken is given back unchanged by the next chunk request and taken again; a chunk
// refused leaves the state as it was; the block writes every output with finite samples; and
// the engine finds no broken host obligation in these calls.
//
// Input: [flags] [event count n, at most 16] [n x (status, data 1, data 2, frame)] [chunk...].
// Flag bit 0 gives the chunk at creation instead of through KELO_OP_CHUNK_SET.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "engine/KeloEngineTestControl.h"
#include "fuzz/FuzzCheck.h"
#include "standalone/engine_interface/KeloEngineInterface.h"
#include "tests/support/TempDir.h"

extern "C" std::int32_t keloOpcode(void* handle, std::int32_t opcode, void* p1, void* p2, void* p3,
                                   std::int32_t i1, float f, std::int32_t i2, std::int32_t i3);
extern "C" std::int64_t keloEngineTestControl(std::int32_t command, void* handle, void* pointer,
                                              std::int64_t a, std::int64_t b);

namespace {

constexpr int kOutputs = 4;
constexpr int kFrames = 256;

std::int32_t call(void* handle, std::int32_t opcode, void* p1 = nullptr, void* p2 = nullptr,
                  void* p3 = nullptr, std::int32_t i1 = 0, float f = 0.0f, std::int32_t i2 = 0) {
  return keloOpcode(handle, opcode, p1, p2, p3, i1, f, i2, 0);
}

std::vector<std::uint8_t> chunkOf(void* instance) {
  const std::uint8_t* bytes = nullptr;
  std::int32_t length = 0;
  FUZZ_CHECK(call(instance, KELO_OP_CHUNK_GET, &bytes, &length) == 0);
  FUZZ_CHECK(bytes != nullptr && length > 0);
  return std::vector<std::uint8_t>(bytes, bytes + length);
}

const char* dataFolder() {
  static kelo::test::TempDir folder;
  static const bool written =
      kelo::test::writeFile(folder.file("KeloSetup.xml"), "<KeloSetup version=\"1\"/>\n");
  FUZZ_CHECK(written);
  return folder.path().c_str();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const bool atCreation = (data[0] & 1) != 0;
  const std::size_t eventCount = std::min<std::size_t>(data[1], 16);
  std::size_t at = 2;
  if (size - at < eventCount * 4) return 0;
  static MIDIEventBlock block;
  block.numEvents = eventCount;
  for (std::size_t i = 0; i < eventCount; ++i, at += 4) {
    vantor::MIDIEvent& event = block.events[i];
    event = vantor::MIDIEvent{};
    std::memcpy(event.bytes, data + at, 3);
    event.frameOffset = data[at + 3] % kFrames;
  }
  std::stable_sort(block.events, block.events + eventCount,
                   [](const vantor::MIDIEvent& a, const vantor::MIDIEvent& b) {
                     return a.frameOffset < b.frameOffset;
                   });
  std::vector<std::uint8_t> chunk(data + at, data + size);

  keloEngineTestControl(KELO_TEST_RESET, nullptr, nullptr, 0, 0);
  EngineCreateInfo info{0, kOutputs, kKeloHostConstantStandalone, dataFolder()};
  void* instance = nullptr;
  std::int32_t taken;
  if (atCreation) {
    taken = call(nullptr, KELO_OP_INSTANCE_CREATE, &info, &instance, chunk.data(),
                 static_cast<std::int32_t>(chunk.size()));
    if (instance == nullptr) return 0;  // a refused chunk may refuse the creation
  } else {
    FUZZ_CHECK(call(nullptr, KELO_OP_INSTANCE_CREATE, &info, &instance) == 0 && instance != nullptr);
    const std::vector<std::uint8_t> before = chunkOf(instance);
    taken = call(instance, KELO_OP_CHUNK_SET, chunk.data(), nullptr, nullptr,
                 static_cast<std::int32_t>(chunk.size()));
    if (taken != 0) FUZZ_CHECK(chunkOf(instance) == before);
  }
  if (taken == 0) {
    const std::vector<std::uint8_t> state = chunkOf(instance);
    std::vector<std::uint8_t> copy = state;
    FUZZ_CHECK(call(instance, KELO_OP_CHUNK_SET, copy.data(), nullptr, nullptr,
               static_cast<std::int32_t>(copy.size())) == 0);
    FUZZ_CHECK(chunkOf(instance) == state);
  }

  FUZZ_CHECK(call(instance, KELO_OP_DSP_SET, nullptr, nullptr, nullptr, 48000, 0.0f, kFrames) == 0);
  FUZZ_CHECK(call(instance, KELO_OP_START) == 0);
  static float outputs[kOutputs][kFrames];
  float* pointers[kOutputs];
  for (int c = 0; c < kOutputs; ++c) {
    std::fill(outputs[c], outputs[c] + kFrames, NAN);
    pointers[c] = outputs[c];
  }
  FUZZ_CHECK(call(instance, KELO_OP_PROCESS, &block, pointers, nullptr, kFrames) == 0);
  for (int c = 0; c < kOutputs; ++c) {
    for (int i = 0; i < kFrames; ++i) FUZZ_CHECK(std::isfinite(outputs[c][i]));
  }
  FUZZ_CHECK(call(instance, KELO_OP_STOP) == 0);
  FUZZ_CHECK(call(instance, KELO_OP_INSTANCE_DESTROY) == 0);
  FUZZ_CHECK(keloEngineTestControl(KELO_TEST_READ_FINDINGS, nullptr, nullptr, 0, 0) == 0);
  return 0;
}
