// KeloDeck's three file questions, asked with the toolkit's file selector: a MIDI file to play,
// an audio file to record into, and a file of a given kind to open or save (the state files,
// the render dialog).
//
// Main thread only; each runs a modal question.
#pragma once

#include <string>

#include "standalone/app/toolkit/FileSelector.h"

namespace vantor {

/// Asks for a MIDI file to open ("MID", "MIDI"). `parent` is not used. The path, or empty when
/// the user cancels.
std::string selectMIDIFile(void* parent);
/// The extension of the audio files the recorder and the render write (AIFF).
inline constexpr const char* kAudioFileExtension = "aiff";
/// Asks for an AIFF file to write, titled `title`; the name gets ".aiff" by
/// `withFileExtension`. `parent` is not used.
std::string selectAudioFile(void* parent, const std::string& title = "Record Audio into");
/// Asks for a file to open (`forOpen`) or to save, of the type `extension` (without the dot);
/// the answer follows `withFileExtension`. Empty when the user cancels.
std::string selectFile(const std::string& title, const std::string& extension, bool forOpen);

}  // namespace vantor
