// Where engine plug-ins run inside an instance's process call: MIDI processors see the block's
// events before the voices, audio processors run on the output after them. The chain an
// instance starts with passes everything through unchanged; the engine side of the plug-in
// interface (loaded from the data folder's "KeloSetup.xml") replaces it.
//
// prepare() runs on the main thread while no process call runs (format and start); the two
// process functions run on the render thread and must neither allocate nor lock.
#pragma once

#include <cstddef>

#include "VNL/source/MIDIEvent.h"
#include "VNL/source/SyncInfo.h"

namespace kelo::engine {

class EngineChain {
 public:
  virtual ~EngineChain() = default;

  virtual void prepare(double sampleRate, int maxFrames, int numInputs, int numOutputs) {}

  /// The events the voices play this block: `events` itself or storage the chain owns, in
  /// frame order, with their count in `outCount`. `sync` may be null (the standalone).
  virtual const vantor::MIDIEvent* processMIDI(const vantor::MIDIEvent* events,
                                               std::size_t count, std::size_t& outCount,
                                               int frames, const vantor::SyncInfo* sync) {
    outCount = count;
    return events;
  }

  /// Works on the rendered output in place.
  virtual void processAudio(float* const* outputs, int numOutputs, int frames,
                            const vantor::SyncInfo* sync) {}
};

}  // namespace kelo::engine
