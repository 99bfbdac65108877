// Helpers of the back end's tests: log lines captured into a temporary file, MIDI files
// written from the test writer, events as readable tuples.
#pragma once


#include <string>
#include <tuple>
#include <vector>

#include "VNL/source/LogLine.h"
#include "VNL/source/MIDIEvent.h"
#include "tests/support/LogCapture.h"
#include "tests/support/TempDir.h"

namespace kelo::test {

/// status, data 1, data 2, frame offset
using EventTuple = std::tuple<int, int, int, int>;

inline std::vector<EventTuple> tuplesOf(const std::vector<vantor::MIDIEvent>& events) {
  std::vector<EventTuple> out;
  for (const auto& e : events) out.emplace_back(e.bytes[0], e.bytes[1], e.bytes[2], e.frameOffset);
  return out;
}

}  // namespace kelo::test
