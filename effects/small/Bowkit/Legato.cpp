#include "effects/small/Bowkit/Legato.h"

namespace sorvelin {

namespace {
enum Controller : std::int32_t { kCC21 = 21, kSustain = 64, kSwitch = 102 };
}

// A note event makes at most a sustain controller, a note-on and a note-off (or controller 21);
// a last release two controllers and a note-off.
Legato::Legato(sdk::Host* host) : ArticulationPlugin(host, 3) {}

void Legato::getDefaults(sdk::HDMIDIEvents* list) { writeDefaults(list, 0.0f); }

void Legato::process(float** audio, std::int32_t frames, const sdk::HDMIDIEvents* midiIn,
                     sdk::HDMIDIEvents* midiOut, const sdk::SyncInfo* sync) {
  sortInput(midiIn);
  processLegato();
  drain(midiOut);
}

void Legato::processLegato() {
  for (std::size_t i = 0; i < sortBuffer.size(); ++i) {
    const sdk::HDMIDIEvent& event = sortBuffer[i];
    const EventKind kind = classify(event);
    switch (kind) {
      case EventKind::Controller:
        if (event.data1 == kSwitch) {
          legatoOn = event.data2 > 0.0f && event.data2 <= 1.0f;  // NaN turns it off
          sdk::HDMIDIEvent sent = event;
          if (event.data2 > 1.0f) sent.data2 = 0.5f;
          forward(sent);
          allNotesOff(sent);
          break;
        }
        forward(event);
        if (event.data1 == 120 || event.data1 == 123) allNotesOff(event);
        if (event.data1 == kCC21) {
          savedCC21 = event.data2;
          // The first-channel copy the instrument listens to, also for a controller that came
          // on another channel.
          if (!legatoOn) sendController(event, kCC21, event.data2);
        }
        break;
      case EventKind::NoteOn:
      case EventKind::NoteOff:
        articulateNote(event, kind, legatoOn);
        break;
      case EventKind::Other:
        forward(event);
        break;
    }
  }
}

void Legato::allNotesOff(const sdk::HDMIDIEvent& templateEvent) {
  ArticulationPlugin::allNotesOff(templateEvent);
  legatoOFF(templateEvent);
}

void Legato::legatoOFF(const sdk::HDMIDIEvent& trigger) {
  sendController(trigger, kSustain, 0.0f);
  sendController(trigger, kCC21, savedCC21);
  sustainSent = false;
}

void Legato::beforeNoteOn(const sdk::HDMIDIEvent& trigger, std::int32_t key, float velocity) {
  if (heldNotes.Count() != 1 || sustainSent) return;
  sustainSent = true;
  sendController(trigger, kSustain, 1.0f);
}

void Legato::afterFirstNoteOn(const sdk::HDMIDIEvent& trigger, std::int32_t key, float velocity) {
  sendController(trigger, kCC21, 0.0f);
}

void Legato::beforeLastRelease(const sdk::HDMIDIEvent& trigger, std::int32_t key) {
  legatoOFF(trigger);
}

}  // namespace sorvelin
