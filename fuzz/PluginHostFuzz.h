// What the plug-in fuzz targets (rack_host, unit_host) share: the fuzzer's bytes read as a
// host's arguments, the reference engine installed where the plug-ins find it, and the check
// that the engine found no broken host obligation the plug-in answers for.
#pragma once

#include <dlfcn.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "VNL/source/Config.h"
#include "VNL/source/ProductConf.h"
#include "engine/KeloEngineTestControl.h"
#include "fuzz/FuzzCheck.h"
#include "tests/support/PreferenceSandbox.h"
#include "tests/support/TempDir.h"

namespace kelo::fuzz {

/// The fuzzer's bytes in order; past their end every read gives zeros.
class Input {
 public:
  Input(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}
  bool done() const { return m_at >= m_size; }
  std::uint8_t byte() { return m_at < m_size ? m_data[m_at++] : 0; }
  /// The next sizeof(T) bytes as a T (T trivially copyable, every bit pattern a value).
  template <typename T>
  T value() {
    T out{};
    unsigned char bytes[sizeof(T)] = {};
    for (auto& b : bytes) b = byte();
    std::memcpy(&out, bytes, sizeof out);
    return out;
  }
  std::vector<std::uint8_t> bytes(std::size_t count) {
    std::vector<std::uint8_t> out;
    while (count-- > 0 && !done()) out.push_back(byte());
    return out;
  }

 private:
  const std::uint8_t* m_data;
  std::size_t m_size;
  std::size_t m_at = 0;
};

/// A preference sandbox naming a data folder and the reference engine's bundle
/// (KELO_ENGINE_BUNDLE, KELO_ENGINE_SO) as the product's; answers the engine's test control.
inline KeloEngineTestControlFunction installReferenceEngine() {
  static kelo::test::PreferenceSandbox sandbox;
  sandbox.SetUp();
  kelo::test::requirePreferenceSandbox();
  static kelo::test::TempDir data;
  FUZZ_CHECK(kelo::test::writeFile(data.file("KeloSetup.xml"), "<KeloSetup version=\"1\">\n</KeloSetup>\n"));
  const std::string domain = std::string("com.") + conf.vendorName + "." + conf.productName;
  FUZZ_CHECK(vantor::writeConfigStringValue(domain, "base_dir", data.path(), vantor::CONFIG_LEVEL_USER));
  FUZZ_CHECK(vantor::writeConfigStringValue("com.vantor.kelo", "path", KELO_ENGINE_BUNDLE, vantor::CONFIG_LEVEL_USER));
  void* engine = dlopen(KELO_ENGINE_SO, RTLD_NOW);
  FUZZ_CHECK(engine != nullptr);
  const auto control = reinterpret_cast<KeloEngineTestControlFunction>(dlsym(engine, "keloEngineTestControl"));
  FUZZ_CHECK(control != nullptr);
  return control;
}

/// Findings a host's misuse passed on can cause (a block longer than the format, events
/// outside their block, a block while stopped) are the host's; these are the plug-in's, and
/// events outside their block too for a plug-in that bounds them (`boundsEvents`).
inline bool pluginsFault(const KeloFinding& finding, bool boundsEvents) {
  switch (finding.kind) {
    case KELO_FINDING_EVENT_OUTSIDE_BLOCK:
      return boundsEvents;
    case KELO_FINDING_WRONG_HANDLE_KIND:
    case KELO_FINDING_TOO_MANY_EVENTS:
    case KELO_FINDING_EVENTS_UNSORTED:
    case KELO_FINDING_CONCURRENT_PROCESS:
    case KELO_FINDING_CALLBACK_MISMATCH:
    case KELO_FINDING_MISSING_ARGUMENT:
    case KELO_FINDING_CALLBACK_LEFT:
    case KELO_FINDING_EDITOR_LEFT:
      return true;
    default:
      return false;
  }
}

/// Aborts, naming the finding, when the engine found one of the plug-in's.
inline void checkNoPluginFault(KeloEngineTestControlFunction control, bool boundsEvents = false) {
  std::array<KeloFinding, 64> findings{};
  const std::int64_t count = control(KELO_TEST_READ_FINDINGS, nullptr, findings.data(), findings.size(), 0);
  for (std::int64_t i = 0; i < count && i < static_cast<std::int64_t>(findings.size()); ++i) {
    const KeloFinding& finding = findings[static_cast<std::size_t>(i)];
    const bool fault = pluginsFault(finding, boundsEvents);
    if (fault) std::fprintf(stderr, "finding %d after opcode %d\n", finding.kind, finding.opcode);
    FUZZ_CHECK(!fault);
  }
}

}  // namespace kelo::fuzz
