// Bowkit.bundle: the MIDI articulation plug-ins. Its strings are written as 255-byte fields.
#include "Sampler/sdk/PluginEntry.h"
#include "effects/small/Bowkit/Legato.h"
#include "effects/small/Bowkit/Shakes.h"
#include "effects/small/articulation/Expression.h"

namespace vantor::KELOPluginSDK {

namespace {

constexpr PluginRow kRows[] = {
    {.identifier = "com.Sorvelin.Bowkit.Legato",
     .create = &makePlugin<sorvelin::Legato>,
     .shortName = "Bowkit.Legato",
     .displayName = "Sorvelin\tBowkit.Legato"},
    {.identifier = "com.Sorvelin.Bowkit.Expression",
     .create = &makePlugin<sorvelin::Expression>,
     .shortName = "Bowkit.Expression",
     .displayName = "Sorvelin\tBowkit.Expression"},
    {.identifier = "com.Sorvelin.Bowkit.Shakes",
     .create = &makePlugin<sorvelin::Shakes>,
     .shortName = "Bowkit.Shakes",
     .displayName = "Sorvelin\tBowkit.Shakes"},
};

}  // namespace

const BundleTable& bundleTable() { return checkedTable<kRows, InfoStrings::Padded255>(); }

}  // namespace vantor::KELOPluginSDK
