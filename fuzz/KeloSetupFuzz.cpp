// "KeloSetup.xml" text from the fuzzer: the reader answers or refuses with a reason, every
// plug-in it accepts names a bundle and an identifier, and the plug-ins it read, written out
// again as a setup file, read back the same.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "VNL/source/StringUtils.h"
#include "engine/pluginhost/KeloSetup.h"
#include "fuzz/FuzzCheck.h"

namespace {

using kelo::pluginhost::SetupPlugin;

// The common library's escaping, with control characters as character references (a reader
// may fold raw ones).
std::string attribute(const char* name, const std::string& value) {
  std::string out = std::string(" ") + name + "=\"";
  for (const char c : PXmlStringEscape(value)) {
    const auto byte = static_cast<unsigned char>(c);
    out += byte < 0x20 ? "&#" + std::to_string(byte) + ";" : std::string(1, c);
  }
  return out + "\"";
}

std::string setupText(const std::vector<SetupPlugin>& plugins) {
  std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<KeloSetup version=\"1\">\n";
  for (const SetupPlugin& p : plugins) {
    text += "  <Plugin" + attribute("bundle", p.bundle) + attribute("identifier", p.identifier) +
            attribute("init", p.initText) + attribute("extra", p.extraText) +
            attribute("initOpcode", p.initThroughRecord ? "19" : "0") +
            attribute("customData", p.customDataFile) + "/>\n";
  }
  return text + "</KeloSetup>\n";
}

bool same(const SetupPlugin& a, const SetupPlugin& b) {
  return a.bundle == b.bundle && a.identifier == b.identifier && a.initText == b.initText &&
         a.extraText == b.extraText && a.initThroughRecord == b.initThroughRecord &&
         a.customDataFile == b.customDataFile;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::vector<SetupPlugin> plugins;
  std::string error;
  if (!kelo::pluginhost::parseKeloSetup(text, plugins, error)) {
    FUZZ_CHECK(!error.empty());
    return 0;
  }
  for (const SetupPlugin& plugin : plugins) {
    FUZZ_CHECK(!plugin.bundle.empty() && !plugin.identifier.empty());
  }
  std::vector<SetupPlugin> again;
  FUZZ_CHECK(kelo::pluginhost::parseKeloSetup(setupText(plugins), again, error));
  FUZZ_CHECK(again.size() == plugins.size());
  for (std::size_t i = 0; i < plugins.size(); ++i) FUZZ_CHECK(same(plugins[i], again[i]));
  return 0;
}
