// KeloDeck's three file questions, asked with the toolkit's file selector: a MIDI file to play,
// an audio file to record into, and a file of a given kind to open or save (the state files,
// the render dialog).
//
// Main thread only; each runs a modal question.
#pragma once

#include <string>

namespace vantor {

/// Asks for a MIDI file to open ("MID", "MIDI"). `parent` is not used. The path, or empty when
/// the user cancels.
std::string selectMIDIFile(void* parent);
/// Asks for an AIFF file to record into; no extension is added. `parent` is not used.
std::string selectAudioFile(void* parent);
/// Asks for a file to open (`forOpen`) or to save, of the type `extension` (without the dot);
/// the answer follows `withFileExtension`. Empty when the user cancels.
std::string selectFile(const std::string& title, const std::string& extension, bool forOpen);

/// `path` with "." and `extension` appended unless the file's name already has a "." whose
/// part from its last "." contains `extension` (case-sensitive). Only the name after the last
/// "/" counts, so a dot in a folder's name never stands for the file's extension.
std::string withFileExtension(const std::string& path, const std::string& extension);

}  // namespace vantor
