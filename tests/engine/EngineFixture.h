// Loads the built KeloEngine.bundle for a test and drives it through keloOpcode the way a host
// does, with a data folder of its own. Buffers are allocated before any process call, so that
// process() can run inside a real-time region.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/KeloEngineTestControl.h"
#include "standalone/engine_interface/KeloEngineInterface.h"
#include "tests/support/TempDir.h"

namespace kelo::test {

class EngineLibrary {
 public:
  EngineLibrary();
  ~EngineLibrary();
  KeloOpcodeFunction opcode = nullptr;
  KeloEngineTestControlFunction control = nullptr;

 private:
  void* m_library = nullptr;
};

/// The process-wide loaded engine.
EngineLibrary& engineLibrary();

vantor::MIDIEvent midiEvent(std::uint8_t status, std::uint8_t data1, std::uint8_t data2,
                            std::int32_t frame, float detune = 0.0f);

/// The events of each block of a render, in turn.
using EngineBlocks = std::vector<std::vector<vantor::MIDIEvent>>;

// Public members: table-driven tests call them through a reference to the fixture.
class EngineFixture : public ::testing::Test {
 public:
  static constexpr int kRate = 48000;
  static constexpr int kMaxFrames = 512;

  void SetUp() override;
  void TearDown() override;

  std::int32_t call(void* handle, std::int32_t opcode, void* p1 = nullptr, void* p2 = nullptr,
                    void* p3 = nullptr, std::int32_t i1 = 0, float f = 0.0f, std::int32_t i2 = 0,
                    std::int32_t i3 = 0) {
    return m_engine.opcode(handle, opcode, p1, p2, p3, i1, f, i2, i3);
  }
  std::int64_t control(std::int32_t command, void* handle = nullptr, void* pointer = nullptr,
                       std::int64_t a = 0, std::int64_t b = 0) {
    return m_engine.control(command, handle, pointer, a, b);
  }

  /// Creates an instance with `outputs` outputs (and a chunk, as the VST plug-in may), gives
  /// it the format and starts it. Null on failure.
  void* createStarted(int outputs = 2, const std::vector<std::uint8_t>* chunk = nullptr,
                      int inputs = 0);
  void destroy(void* instance);

  /// Sets up `outputs` channels of `frames` frames, filled with a marker value.
  void prepareOutputs(int outputs, int frames);
  /// One KELO_OP_PROCESS of the events in m_block, inside a real-time region.
  std::int32_t process(void* instance, int frames);
  /// The same through KELO_OP_PROCESS_EX, with `inputs` (may be null).
  std::int32_t processEx(void* instance, int frames, float** inputs);
  void setEvents(std::initializer_list<vantor::MIDIEvent> events);
  /// A new started instance with `outputs` outputs over `blocks`, `frames` frames each, then
  /// destroyed: the outputs of each block. None, with the test failed, without an instance.
  /// With an `inputLevel`, the instance also has `outputs` inputs, each carrying that value in
  /// every frame (KELO_OP_PROCESS_EX).
  std::vector<std::vector<std::vector<float>>> renderBlocks(const EngineBlocks& blocks,
                                                           int frames, int outputs = 2,
                                                           float inputLevel = 0.0f);
  /// The same with each output's blocks joined: always `outputs` channels, empty without an
  /// instance.
  std::vector<std::vector<float>> renderJoined(const EngineBlocks& blocks, int frames,
                                               int outputs = 2, float inputLevel = 0.0f);
  /// One engine plug-in of a "KeloSetup.xml": bundle path, identifier, the two init texts
  /// and the file of a custom data link (plain characters only: they are written unescaped;
  /// empty ones are left out).
  struct SetupEntry {
    std::string bundle, identifier;
    std::string init = {}, extra = {}, customData = {};
  };
  /// Replaces the data folder's "KeloSetup.xml" with one naming these engine plug-ins in
  /// running order; instances created later run them.
  void writeSetup(const std::vector<SetupEntry>& plugins);

  std::vector<std::uint8_t> chunk(void* instance);
  std::vector<KeloFinding> findings();
  std::vector<KeloTraceEntry> trace();

  EngineLibrary& m_engine = engineLibrary();
  TempDir m_data;
  std::string m_dataPath;
  MIDIEventBlock m_block{};
  MIDIEventBlock m_midiOut{};
  std::vector<std::vector<float>> m_outputs;
  std::vector<float*> m_outputPointers;
  vantor::SyncInfo m_sync;
};

}  // namespace kelo::test
