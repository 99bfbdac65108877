// The render dialog's two file questions over the toolkit's file selector: a MIDI file to open
// and an AIFF file to write. Main thread only.
#pragma once

#include <string>

namespace vantor::samplerapp {

/// "Select a MIDI file" (".mid", ".midi"); the chosen path, empty when cancelled.
std::string askMIDIFileToRender();
/// "Record Audio into" (".aiff", saving); the chosen path as given, empty when cancelled.
std::string askAudioFileToRender();

}  // namespace vantor::samplerapp
