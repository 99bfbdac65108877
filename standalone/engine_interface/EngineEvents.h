// Filling the engine's event block before a process call, the same way in every host.
#pragma once

#include <cstddef>

#include "standalone/engine_interface/KeloEngineInterface.h"

namespace vantor {

/// Orders `events` in place by frame offset, keeping the arrival order of equal offsets
/// (vantor::midiSort under a stable sort, with `scratch` of `scratchCount` events as working
/// storage: give it `count` for n log n), then copies the first min(count, 1024) into `block`
/// and sets its count; entries past the count keep what they held. An offset outside the block
/// of `frames` is then held at its nearer edge (frame 0 for a block of none): bounded after the
/// sort, the events keep the host's order in time. Returns `count`, so that a caller can report
/// the events it dropped. Never allocates or locks: render threads call it.
std::size_t fillMIDIEventBlock(MIDIEventBlock& block, MIDIEvent* events, std::size_t count,
                               MIDIEvent* scratch, std::size_t scratchCount, std::int32_t frames);

}  // namespace vantor
