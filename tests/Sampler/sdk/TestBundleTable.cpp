// KeloTestPlugins.bundle: writes the strings as text and one NUL, and every number field.
#include "Sampler/sdk/PluginEntry.h"
#include "tests/Sampler/sdk/TestPlugins.h"

namespace vantor::KELOPluginSDK {

namespace {

using namespace kelo::test;

constexpr PluginRow kRows[] = {
    {.identifier = kPassThroughId, .create = &makePlugin<PassThrough>,
     .shortName = "Test.PassThrough", .displayName = "Kelo\tTest.PassThrough", .audioSpec = -1,
     .infoFlagA = 1, .version = 7, .infoFlagB = 2, .customDataMagic = kCustomDataMagic,
     .customDataCount = 1},
    {.identifier = kProbeId, .create = &makePlugin<Probe>, .shortName = "Test.Probe",
     .displayName = "Kelo\tTest.Probe"},
    {.identifier = kFileFeedId, .create = &makePlugin<FileFeed>, .shortName = "Test.FileFeed",
     .displayName = "Kelo\tTest.FileFeed", .audioSpec = -2, .customDataMagic = kCustomDataMagic,
     .customDataCount = 1},
    {.identifier = kFaultyId, .create = &makePlugin<Faulty>, .shortName = "Test.Faulty",
     .displayName = "Kelo\tTest.Faulty", .audioSpec = -2},
    {.identifier = kThrowsOnCreateId, .create = &makePlugin<ThrowsOnCreate>,
     .shortName = "Test.ThrowsOnCreate", .displayName = "Kelo\tTest.ThrowsOnCreate"},
    {.identifier = kInstrumentId, .create = &makePlugin<Instrument>,
     .shortName = "Test.Instrument", .displayName = "Kelo\tTest.Instrument"},
    {.identifier = kMarkerId, .create = &makePlugin<Marker>, .shortName = "Test.Marker",
     .displayName = "Kelo\tTest.Marker", .audioSpec = -1},
};

}  // namespace

const BundleTable& bundleTable() { return checkedTable<kRows, InfoStrings::TextAndNul>(); }

}  // namespace vantor::KELOPluginSDK
