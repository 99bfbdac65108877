// TriBand.bundle: the equaliser under both of its identifiers.
#include "Sampler/sdk/PluginEntry.h"
#include "effects/small/TriBand/ThreeBandEQ.h"

namespace vantor::KELOPluginSDK {

namespace {

constexpr PluginRow kRows[] = {
    {.identifier = "com.Sorvelin.Halvorne.EQ", .create = &makePlugin<sorvelin::ThreeBandEQ>,
     .shortName = "Halvorne.EQ", .displayName = "Sorvelin\tHalvorne.EQ", .audioSpec = -1,
     .infoFlagA = 1, .version = 2001},
    {.identifier = "com.Sorvelin.TriBand", .create = &makePlugin<sorvelin::ThreeBandEQ>,
     .shortName = "TriBand", .displayName = "Sorvelin\tTriBand", .audioSpec = -1,
     .infoFlagA = 1, .version = 2001},
};

}  // namespace

const BundleTable& bundleTable() { return checkedTable<kRows, InfoStrings::TextAndNul>(); }

}  // namespace vantor::KELOPluginSDK
