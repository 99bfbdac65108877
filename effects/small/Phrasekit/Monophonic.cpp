#include "effects/small/Phrasekit/Monophonic.h"

namespace sorvelin {

// A note event makes at most a note-on and a note-off.
Monophonic::Monophonic(sdk::Host* host) : ArticulationPlugin(host, 2) {}

void Monophonic::getDefaults(sdk::HDMIDIEvents* list) { writeDefaults(list, monoOn ? 1.0f : 0.0f); }

void Monophonic::process(float** audio, std::int32_t frames, const sdk::HDMIDIEvents* midiIn,
                         sdk::HDMIDIEvents* midiOut, const sdk::SyncInfo* sync) {
  sortInput(midiIn);
  processMonophonic();
  drain(midiOut);
}

void Monophonic::processMonophonic() {
  for (std::size_t i = 0; i < sortBuffer.size(); ++i) {
    const sdk::HDMIDIEvent& event = sortBuffer[i];
    const EventKind kind = classify(event);
    switch (kind) {
      case EventKind::Controller:
        forward(event);
        if (event.data1 == 120 || event.data1 == 123) allNotesOff(event);
        if (event.data1 == 102) {
          allNotesOff(event);
          monoOn = event.data2 >= 0.5f;  // NaN turns it off
        }
        break;
      case EventKind::NoteOn:
      case EventKind::NoteOff:
        articulateNote(event, kind, monoOn);
        break;
      case EventKind::Other:
        forward(event);
        break;
    }
  }
}

}  // namespace sorvelin
