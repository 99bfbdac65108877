// KeloTestMIDI.bundle: writes its strings as 255-byte padded fields, like the articulation
// bundles, and has a Marker of its own.
#include "Sampler/sdk/PluginEntry.h"
#include "tests/Sampler/sdk/TestPlugins.h"

namespace vantor::KELOPluginSDK {

namespace {

using namespace kelo::test;

constexpr PluginRow kRows[] = {
    {.identifier = kEchoId, .create = &makePlugin<Echo>, .shortName = "Test.Echo",
     .displayName = "Sorvelin\tTest.Echo", .version = 3, .infoFlagB = 1},
    {.identifier = kMarkerId, .create = &makePlugin<Marker>, .shortName = "Test.Marker",
     .displayName = "Sorvelin\tTest.Marker"},
    {.identifier = kSwallowId, .create = &makePlugin<Swallow>, .shortName = "Test.Swallow",
     .displayName = "Sorvelin\tTest.Swallow"},
};

}  // namespace

const BundleTable& bundleTable() { return checkedTable<kRows, InfoStrings::Padded255>(); }

}  // namespace vantor::KELOPluginSDK
