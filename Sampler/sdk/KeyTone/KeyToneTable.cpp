// KeyTone.bundle: the piano MIDI pre-processor, plug-in version 1144.
#include "Sampler/sdk/KeyTone/MIDIProc.h"
#include "Sampler/sdk/PluginEntry.h"

namespace vantor::KELOPluginSDK {

namespace {

constexpr PluginRow kRows[] = {
    {.identifier = "com.Sorvelin.Piano.MIDI.Preprocessor",
     .create = &makePlugin<acme::MIDIProc>,
     .shortName = "Piano.MIDI.Preprocessor",
     .displayName = "Sorvelin\tPiano.MIDI.Preprocessor",
     .version = 1144,
     .infoFlagB = 1},
};

}  // namespace

const BundleTable& bundleTable() { return checkedTable<kRows, InfoStrings::TextAndNul>(); }

}  // namespace vantor::KELOPluginSDK
