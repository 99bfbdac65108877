#include "effects/small/Phrasekit/SoloControl.h"

#include <algorithm>
#include <cstdlib>

#include "effects/small/articulation/Expression.h"

namespace sorvelin {

namespace {
// Controllers sent to the instrument behind the plug-in; above 127 engine-internal ones.
enum Controller : std::int32_t {
  kPortamento = 5,
  kCC26 = 26,
  kGated = 128,
  kRandom1 = 166,
  kRandom2 = 167,
  kRandomDepth = 168,
  kBendDirection = 202,
  kBendAmount = 211,
  kLegatoCC21 = 221,
  kSpread = 227,
  kLegato = 264,
};
constexpr std::int32_t kMarkerStatus = 256;
constexpr std::int32_t kGatedStatus = 512;
}  // namespace

float randBipolar(float r, float amount) { return amount * (r - 0.5f) + 0.5f; }

float randCentered(float r, float center, float amount) {
  return std::clamp((r - center) * amount + center, 0.0f, 1.0f);
}

float directed(float x, std::int32_t to, std::int32_t from) {
  return (to > from && x > 0.5f) || (to < from && x < 0.5f) ? invertBipolar(x) : x;
}

// A solo note-on makes at most 2 legato, 5 random and 3 interval controllers, a note-on and a
// note-off.
SoloControl::SoloControl(sdk::Host* host) : ArticulationPlugin(host, 12) {}

void SoloControl::setRandomSource(RandomSource* source) {
  random = source != nullptr ? source : &ownSource;
}

float SoloControl::drawUnit() { return static_cast<float>(random->next() % 1001) / 1000.0f; }

void SoloControl::stop() { allNotesOff(sdk::HDMIDIEvent{}); }

void SoloControl::getDefaults(sdk::HDMIDIEvents* list) {
  writeDefaults(list, soloOff ? 0.0f : 1.0f);
}

void SoloControl::process(float** audio, std::int32_t frames, const sdk::HDMIDIEvents* midiIn,
                          sdk::HDMIDIEvents* midiOut, const sdk::SyncInfo* sync) {
  sortInput(midiIn, remapExpressionController);
  processPorta();
  drain(midiOut, [this](sdk::HDMIDIEvent& entry) {
    if (entry.status == kMarkerStatus) {
      markerSet = true;
      currentMarker = entry.data1;
      return false;
    }
    if (entry.status != kGatedStatus) return true;
    if (!markerSet || entry.data1 != currentMarker) return false;
    entry.status = 176;
    entry.data1 = kGated;
    return true;
  });
}

void SoloControl::processPorta() {
  for (std::size_t i = 0; i < sortBuffer.size(); ++i) {
    const sdk::HDMIDIEvent& event = sortBuffer[i];
    const EventKind kind = classify(event);
    if (kind == EventKind::NoteOn || kind == EventKind::NoteOff) {
      articulateNote(event, kind, !soloOff);
      continue;
    }
    forward(event);
    if (kind != EventKind::Controller) continue;
    const float value = event.data2;
    switch (event.data1) {
      case 5:
      case 20:
        portaTime = value;
        break;
      case 21:
        savedCC21 = value;
        if (soloOff) sendController(event, kLegatoCC21, value);
        break;
      case 22:
        randomDepth = value;
        break;
      case 23:
        spreadDepth = value;
        break;
      case 26:
        savedCC26 = value;
        break;
      case 27:
        spreadCenter = value;
        break;
      case 65:
        portaSwitch = value >= 0.5f ? 1.0f : 0.0f;
        break;
      case 102:
        allNotesOff(event);
        soloOff = !(value > 0.0f);  // NaN turns it off
        resetBend(event);
        sendController(event, kPortamento, 0.0f);
        legatoOFF(event);
        break;
      case 120:
      case 123:
        allNotesOff(event);
        break;
      default:
        break;
    }
  }
}

void SoloControl::calculateVar2(const sdk::HDMIDIEvent& trigger) {
  sendController(trigger, kCC26, savedCC26);
  sendController(trigger, kSpread, randCentered(drawUnit(), spreadCenter, spreadDepth));
}

void SoloControl::calculateVar1(const sdk::HDMIDIEvent& trigger, std::int32_t to,
                                std::int32_t from) {
  sendController(trigger, kRandom1, directed(randBipolar(drawUnit(), randomDepth), to, from));
}

void SoloControl::resetBend(const sdk::HDMIDIEvent& trigger) {
  sendController(trigger, kBendDirection, 0.5f);
  sendController(trigger, kBendAmount, randomDepth);
}

void SoloControl::legatoON(const sdk::HDMIDIEvent& trigger) {
  sendController(trigger, kLegato, 1.0f);
  sendController(trigger, kLegatoCC21, 0.0f);
}

void SoloControl::legatoOFF(const sdk::HDMIDIEvent& trigger) {
  sendController(trigger, kLegato, 0.0f);
  sendController(trigger, kLegatoCC21, savedCC21);
}

void SoloControl::noteOn(const sdk::HDMIDIEvent& trigger, std::int32_t to, std::int32_t from,
                         float velocity) {
  const std::int64_t interval =
      std::abs(static_cast<std::int64_t>(to) - static_cast<std::int64_t>(from));
  // A repeated key takes its direction from the last note played.
  const std::int32_t directionFrom = interval == 0 ? lastNote : from;
  calculateVar2(trigger);
  calculateVar1(trigger, to, directionFrom);
  sendController(trigger, kRandom2,
                 directed(randBipolar(drawUnit(), randomDepth), to, directionFrom));
  sendController(trigger, kRandomDepth, randomDepth);
  const float porta = portaMath(interval, velocity) * portaTime * portaSwitch;
  if (interval == 0) {
    sendController(trigger, kPortamento, 0.0f);
    sendController(trigger, kBendDirection, 0.5f);
    sendController(trigger, kBendAmount, randomDepth);
  } else if (interval < 5) {
    sendController(trigger, kBendDirection, 0.5f);
    sendController(trigger, kBendAmount, randomDepth);
    sendController(trigger, kPortamento, porta);
  } else {
    sendController(trigger, kPortamento, 0.0f);
    sendController(trigger, kBendDirection, from < to ? 0.0f : 1.0f);
    sendController(trigger, kBendAmount, porta);
  }
}

void SoloControl::polyNoteOn(const sdk::HDMIDIEvent& trigger, std::int32_t key, float velocity) {
  calculateVar2(trigger);
  calculateVar1(trigger, key, key);
  sendController(trigger, kRandom2, randBipolar(drawUnit(), randomDepth));
  sendController(trigger, kRandomDepth, randomDepth);
}

void SoloControl::beforeNoteOn(const sdk::HDMIDIEvent& trigger, std::int32_t key, float velocity) {
  if (heldNotes.Count() == 1) legatoON(trigger);
  noteOn(trigger, key, heldNotes.Count() > 0 ? heldNotes.Peek() : key, velocity);
  lastNote = key;
}

void SoloControl::beforeReturn(const sdk::HDMIDIEvent& trigger, std::int32_t to,
                               std::int32_t from) {
  noteOn(trigger, to, from, lastVelocity);
  lastNote = to;
}

void SoloControl::beforeLastRelease(const sdk::HDMIDIEvent& trigger, std::int32_t key) {
  legatoOFF(trigger);
  lastNote = key;
}

void SoloControl::beforeHeldNoteOn(const sdk::HDMIDIEvent& trigger, std::int32_t key,
                                   float velocity) {
  polyNoteOn(trigger, key, velocity);
}

}  // namespace sorvelin
