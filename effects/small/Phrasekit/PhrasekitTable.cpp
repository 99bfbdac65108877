// Phrasekit.bundle: the MIDI articulation plug-ins. Its strings are written as 255-byte fields.
#include "Sampler/sdk/PluginEntry.h"
#include "effects/small/Phrasekit/Monophonic.h"
#include "effects/small/Phrasekit/SoloControl.h"
#include "effects/small/articulation/Expression.h"

namespace vantor::KELOPluginSDK {

namespace {

constexpr PluginRow kRows[] = {
    {.identifier = "com.Sorvelin.Phrasekit.Monophonic",
     .create = &makePlugin<sorvelin::Monophonic>,
     .shortName = "Phrasekit.Monophonic",
     .displayName = "Sorvelin\tPhrasekit.Monophonic"},
    {.identifier = "com.Sorvelin.Phrasekit.Expression",
     .create = &makePlugin<sorvelin::Expression>,
     .shortName = "Phrasekit.Expression",
     .displayName = "Sorvelin\tPhrasekit.Expression"},
    {.identifier = "com.Sorvelin.Phrasekit.SoloControl",
     .create = &makePlugin<sorvelin::SoloControl>,
     .shortName = "Phrasekit.SoloControl",
     .displayName = "Sorvelin\tPhrasekit.SoloControl"},
};

}  // namespace

const BundleTable& bundleTable() { return checkedTable<kRows, InfoStrings::Padded255>(); }

}  // namespace vantor::KELOPluginSDK
