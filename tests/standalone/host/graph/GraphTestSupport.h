// Helpers of the graph, engine-module and offline-render tests: an instrument that records
// what the graph hands it, a MIDI source of the in-process MIDI system feeding a real
// MIDIDevice, and the reference engine bound through the preferences as the program does.
#pragma once

#include <dlfcn.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "VNL/source/Config.h"
#include "VNL/source/ProductConf.h"
#include "engine/KeloEngineTestControl.h"
#include "platform/midi/FakeMIDIBackend.h"
#include "standalone/engine_interface/EngineBinding.h"
#include "standalone/host/CoreMIDILayer.h"
#include "standalone/host/MIDIDevice.h"
#include "standalone/host/Module.h"
#include "tests/standalone/streamer/StreamerTestSupport.h"
#include "tests/support/PreferenceSandbox.h"
#include "tests/support/TempDir.h"

namespace kelo::test {

/// libsndfile bound from the test bundle once for the whole program: the disk thread may
/// still close a file after a test has ended.
inline bool sndfileBound() {
  static auto* library = new BoundSndfile;
  return library->bound;
}

/// Records every block's events and fills its outputs with `level` (both channels).
class RecordingInstrument : public vantor::Module {
 public:
  explicit RecordingInstrument(float level = 0.0f) : level(level) {}

  void processMIDIStereo(const std::vector<vantor::MIDIEvent>& events, float** inputs,
                         float** outputs, unsigned frames, bool add) override {
    blocks.push_back(events);
    for (unsigned i = 0; i < frames; ++i) {
      outputs[0][i] = level;
      outputs[1][i] = -level;
    }
  }
  void start() override { ++starts; }
  void stop() override { ++stops; }

  float level;
  int starts = 0;
  int stops = 0;
  std::vector<std::vector<vantor::MIDIEvent>> blocks;
};

/// One source of the in-process MIDI system, listed by the CoreMIDI layer and opened as a
/// real input MIDIDevice. The layer is ended when the object goes: delete the device first.
class FakeMIDISource {
 public:
  explicit FakeMIDISource(const std::string& name = "Test Keys") : m_key("src-" + name) {
    midi::EndpointDescription endpoint;
    endpoint.key = m_key;
    endpoint.deviceKey = "dev-" + name;
    endpoint.deviceName = name;
    endpoint.name = name;
    endpoint.isSource = true;
    m_backend.addEndpoint(endpoint);
    std::vector<int> ids;
    MIDI_GetDeviceIDs(ids);
    for (int candidate : ids) {
      const MIDIDeviceInfo* info = MIDI_GetDeviceInfo(candidate);
      if (info != nullptr && info->ins == 1 && info->name.find(name) != std::string::npos) {
        id = candidate;
      }
    }
  }
  ~FakeMIDISource() { MIDI_Terminate(); }
  FakeMIDISource(const FakeMIDISource&) = delete;
  FakeMIDISource& operator=(const FakeMIDISource&) = delete;

  /// A started input device for the source (the caller owns it).
  vantor::MIDIDevice* open(const vantor::Context* context, const vantor::DSPInfo* dspInfo) {
    auto* device = new vantor::MIDIDevice("Test Keys", id, 1, 0, vantor::kDeviceInput, "Test Keys");
    device->init(context, dspInfo);
    device->start();
    return device;
  }

  /// Sends one three-byte message now.
  bool send(std::uint8_t status, std::uint8_t data1, std::uint8_t data2) {
    alignas(8) Byte storage[256] = {};
    auto* list = reinterpret_cast<MIDIPacketList*>(storage);
    MIDIPacket* packet = MIDIPacketListInit(list);
    const Byte bytes[3] = {status, data1, data2};
    packet = MIDIPacketListAdd(list, sizeof storage, packet, 0, 3, bytes);
    return packet != nullptr && m_backend.send(m_key, list);
  }

  int id = -1;

 private:
  midi::FakeMIDIBackend m_backend;
  std::string m_key;
};

/// The reference engine as the standalone finds it: "path" names the built bundle, "base_dir"
/// a data folder holding "KeloSetup.xml".
class ReferenceEngine {
 public:
  ReferenceEngine() {
    EXPECT_TRUE(writeFile(data.file("KeloSetup.xml"), "<KeloSetup version=\"1\"/>\n"));
    // The same file the bundle loads, so the same loaded object: its test control.
    m_library = dlopen(KELO_ENGINE_SO, RTLD_NOW | RTLD_LOCAL);
    if (m_library != nullptr) {
      control = reinterpret_cast<KeloEngineTestControlFunction>(
          dlsym(m_library, "keloEngineTestControl"));
      opcode = reinterpret_cast<KeloOpcodeFunction>(dlsym(m_library, "keloOpcode"));
    }
    if (control != nullptr) control(KELO_TEST_RESET, nullptr, nullptr, 0, 0);
  }
  ~ReferenceEngine() {
    if (control != nullptr) control(KELO_TEST_RESET, nullptr, nullptr, 0, 0);
    if (m_library != nullptr) dlclose(m_library);
  }
  ReferenceEngine(const ReferenceEngine&) = delete;
  ReferenceEngine& operator=(const ReferenceEngine&) = delete;

  /// Empties the preference sandbox (the program must have one) and writes "path" and
  /// "base_dir" into it.
  void install() {
    requirePreferenceSandbox();
    PreferenceSandbox::clear();
    EXPECT_TRUE(vantor::writeConfigStringValue("com.vantor.kelo", "path", KELO_ENGINE_BUNDLE,
                                               vantor::CONFIG_LEVEL_USER));
    EXPECT_TRUE(vantor::writeConfigStringValue(domain(), "base_dir", data.path(),
                                               vantor::CONFIG_LEVEL_SYSTEM));
  }

  static std::string domain() {
    return vantor::productPreferenceDomain(conf.vendorName, conf.productName);
  }

  std::vector<KeloTraceEntry> trace() const {
    std::vector<KeloTraceEntry> entries(4096);
    const auto count = control(KELO_TEST_READ_TRACE, nullptr, entries.data(),
                               static_cast<std::int64_t>(entries.size()), 0);
    entries.resize(static_cast<std::size_t>(std::min<std::int64_t>(count, 4096)));
    return entries;
  }
  /// The opcodes traced, in order.
  std::vector<int> opcodes() const {
    std::vector<int> out;
    for (const auto& entry : trace()) out.push_back(entry.opcode);
    return out;
  }
  std::vector<KeloFinding> findings() const {
    std::vector<KeloFinding> out(256);
    const auto count = control(KELO_TEST_READ_FINDINGS, nullptr, out.data(), 256, 0);
    out.resize(static_cast<std::size_t>(std::min<std::int64_t>(count, 256)));
    return out;
  }

  TempDir data;
  KeloEngineTestControlFunction control = nullptr;
  KeloOpcodeFunction opcode = nullptr;

 private:
  void* m_library = nullptr;
};

}  // namespace kelo::test
