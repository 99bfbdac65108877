// MicField.bundle: the stage spatializer; its record leaves audioSpec unset.
#include "Sampler/sdk/PluginEntry.h"
#include "effects/small/MicField/SpatializerPost.h"

namespace vantor::KELOPluginSDK {

namespace {

constexpr PluginRow kRows[] = {
    {.identifier = "com.Sorvelin.Stage.Effect.First", .create = &makePlugin<acme::SpatializerPost>,
     .shortName = "Stage.Effect.First", .displayName = "Sorvelin\tStage.Effect.First"},
};

}  // namespace

const BundleTable& bundleTable() { return checkedTable<kRows, InfoStrings::TextAndNul>(); }

}  // namespace vantor::KELOPluginSDK
