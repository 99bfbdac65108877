// One KeloDeck per user session. The first one registers the GApplication "com.<vendor>.KeloDeck"
// on the D-Bus session bus; a later launch finds it there, hands it the files named on its
// command line (a file manager's "open with", xdg-open, a terminal) or, with none, asks it to
// come to the front, and ends without opening the log, the preferences or an audio device. The
// running player loads handed files through the open-documents handler,
// `KeloSAAppleEventHandleODoc`, in the order given. Without a session bus (or with a bus that
// refuses the name) every launch runs on its own, as before.
//
// Threads: main thread only; requests arrive through the GLib main loop the toolkit runs.
#pragma once

namespace vantor::samplerapp {
class SamplerApplication;
}

namespace kelodeck {

/// Registers this process as the session's KeloDeck. False when another one was registered:
/// the arguments (argv[0] the program) were handed to it and the caller ends at once.
bool becomeTheSessionsPlayer(int argc, char** argv);

/// Where files handed over from now on go; those that came before are loaded now. Null: they
/// wait (for a player that is not initialised yet, or no longer there).
void deliverHandedFilesTo(vantor::samplerapp::SamplerApplication* application);

}  // namespace kelodeck
