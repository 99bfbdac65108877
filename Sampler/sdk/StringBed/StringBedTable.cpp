// StringBed.bundle: the sustain and the sympathetic resonance; strings as text and one NUL.
#include "Sampler/sdk/PluginEntry.h"
#include "Sampler/sdk/StringBed/PianoSymp.h"
#include "Sampler/sdk/StringBed/StringBed.h"

namespace vantor::KELOPluginSDK {

namespace {

constexpr PluginRow kRows[] = {
    {.identifier = "com.Sorvelin.Piano.Resonance.Sustain", .create = &makePlugin<acme::StringBed>,
     .shortName = "Piano.Resonance.Sustain", .displayName = "Sorvelin\tPiano.Resonance.Sustain",
     .audioSpec = -2, .infoFlagA = 1, .version = 1685},
    {.identifier = "com.Sorvelin.Piano.Resonance.Sympathetic",
     .create = &makePlugin<acme::PianoSymp>, .shortName = "Piano.Resonance.Sympathetic",
     .displayName = "Sorvelin\tPiano.Resonance.Sympathetic", .audioSpec = -1, .infoFlagA = 1,
     .version = 1685},
};

}  // namespace

const BundleTable& bundleTable() { return checkedTable<kRows, InfoStrings::TextAndNul>(); }

}  // namespace vantor::KELOPluginSDK
