#include "standalone/engine_interface/EngineEvents.h"

#include <algorithm>
#include <cstring>

#include "VNL/source/StableSort.h"

namespace vantor {

std::size_t fillMIDIEventBlock(MIDIEventBlock& block, MIDIEvent* events, std::size_t count,
                               MIDIEvent* scratch, std::size_t scratchCount, std::int32_t frames) {
  if (events == nullptr) count = 0;
  stableSort(events, count, scratch, scratchCount, midiSort);
  const std::size_t delivered = std::min(count, kMIDIEventBlockCapacity);
  if (delivered > 0) std::memcpy(block.events, events, delivered * sizeof(MIDIEvent));
  const std::int32_t lastFrame = frames > 0 ? frames - 1 : 0;
  for (std::size_t i = 0; i < delivered; ++i)
    block.events[i].frameOffset = std::clamp(block.events[i].frameOffset, 0, lastFrame);
  block.numEvents = delivered;
  return count;
}

}  // namespace vantor
