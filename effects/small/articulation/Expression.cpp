#include "effects/small/articulation/Expression.h"

#include "effects/small/articulation/ArticulationPlugin.h"

namespace sorvelin {

Expression::Expression(sdk::Host* host) : EffectPlugin(host) {
  numMIDIIns = 1;
  numMIDIOuts = 1;
}

void Expression::getDefaults(sdk::HDMIDIEvents* list) {
  if (list != nullptr) list->numEvents = 0;
}

void Expression::process(float** audio, std::int32_t frames, const sdk::HDMIDIEvents* midiIn,
                         sdk::HDMIDIEvents* midiOut, const sdk::SyncInfo* sync) {
  if (midiOut == nullptr) return;
  const std::size_t count = eventCount(midiIn);
  for (std::size_t i = 0; i < count; ++i) {
    midiOut->events[i] = midiIn->events[i];
    remapExpressionController(midiOut->events[i]);
  }
  midiOut->numEvents = static_cast<std::int64_t>(count);
}

}  // namespace sorvelin
