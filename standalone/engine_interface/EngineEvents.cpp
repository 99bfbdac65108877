#include "standalone/engine_interface/EngineEvents.h"

#include <algorithm>
#include <cstring>

#include "VNL/source/StableSort.h"

namespace vantor {

std::size_t fillMIDIEventBlock(MIDIEventBlock& block, MIDIEvent* events, std::size_t count,
                               MIDIEvent* scratch, std::size_t scratchCount) {
  if (events == nullptr) count = 0;
  stableSort(events, count, scratch, scratchCount, midiSort);
  const std::size_t delivered = std::min(count, kMIDIEventBlockCapacity);
  if (delivered > 0) std::memcpy(block.events, events, delivered * sizeof(MIDIEvent));
  block.numEvents = delivered;
  return count;
}

}  // namespace vantor
