// The back-end seam and the file name a label shows. The real back end opens the program log
// and takes the program's output into it: it runs in the preference sandbox.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "VNL/source/FileUtils.h"
#include "VNL/source/ProductConf.h"
#include "standalone/app/samplerapp/EngineCommand.h"
#include "standalone/host/EngineOpcode.h"
#include "tests/support/PreferenceSandbox.h"
#include "tests/support/TempDir.h"

KELO_PREFERENCE_SANDBOX();

namespace vantor::samplerapp {
namespace {

struct Call {
  std::int32_t command, i1, i2, i3;
  float f;
  bool operator==(const Call&) const = default;
};
std::vector<Call> g_calls;

std::int32_t script(std::int32_t command, void*, void*, std::int32_t i1, std::int32_t i2,
                    std::int32_t i3, float f) {
  g_calls.push_back({command, i1, i2, i3, f});
  return 7;
}

TEST(EngineCommand, AScriptTakesEveryCommandUntilTheRealBackEndIsPutBack) {
  kelo::test::requirePreferenceSandbox();
  g_calls.clear();
  const EngineCommandFunction real = setEngineCommand(&script);
  EXPECT_EQ(engineCommand(305, nullptr, nullptr, 0, 0, 0, 0.5f), 7);
  EXPECT_EQ(engineCommand(530, nullptr, nullptr, 1, 16, 3), 7);
  EXPECT_EQ(g_calls, (std::vector<Call>{{305, 0, 0, 0, 0.5f}, {530, 1, 16, 3, 0.0f}}));

  EXPECT_EQ(setEngineCommand(nullptr), &script);
  EXPECT_EQ(setEngineCommand(nullptr), real);
  // The real back end answers an unknown command without reaching the script.
  EXPECT_NE(engineCommand(99999), 7);
  EXPECT_EQ(g_calls.size(), 2u);
  // Its log is the sandbox's, and shutting the back end down gives the test its output back.
  EXPECT_EQ(engineCommand(PE_ENGINE_SHUTDOWN), 0);
  const std::string folder = setUserPathVendorProduct(conf.vendorName, conf.productName);
  EXPECT_EQ(folder.rfind(kelo::test::PreferenceSandbox::home(), 0), 0u) << folder;
  EXPECT_FALSE(kelo::test::readFile(folder + "/" + conf.productName + " Standalone.log").empty());
}

TEST(ShownFileName, TakesTheLastPartThenCutsAtItsLastDot) {
  const struct {
    const char* path;
    const char* shown;
  } cases[] = {
      {"/a/b.c/song", "song"},       {"/x/take.2.mid", "take.2"}, {"/x/demo.mid", "demo"},
      {"noslash.aiff", "noslash"},   {"/x/plain", "plain"},       {"/x/.hidden", ""},
      {"/x/trailing/", ""},          {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(shownFileName(c.path), c.shown) << c.path;
}

}  // namespace
}  // namespace vantor::samplerapp
