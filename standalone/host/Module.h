// The graph node every module of the standalone's back end derives from: the engine
// instrument, the audio and MIDI devices, the MIDI file player, the gain and file-output
// modules. Every operation has a harmless default, so a module overrides only what it does.
//
// Threads: `init`, `setDSPInfo`, `start`, `stop`, the UI and chunk operations run on the main
// thread; `setSyncInfo` and the two process operations run on the render thread and must
// neither allocate nor block.
#pragma once

#include <cstdint>
#include <vector>

#include "VNL/source/MIDIEvent.h"
#include "standalone/host/Context.h"

/// The standalone's transport record; no module reads or fills one.
struct PESyncInfo;

namespace vantor {

class DSPInfo;

class Module : public Contextual {
 public:
  Module() = default;
  ~Module() override = default;
  Module(const Module&) = delete;
  Module& operator=(const Module&) = delete;

  /// Stores the context and the render format (neither owned; both outlive the module), then
  /// calls `initialize`. True when the module is ready.
  virtual bool init(const Context* context, const DSPInfo* dspInfo);
  /// The module's own set-up, run by `init`.
  virtual void initialize() {}
  /// A new render format (not owned), given between blocks.
  virtual void setDSPInfo(const DSPInfo* dspInfo) { m_dspInfo = dspInfo; }
  virtual void start() {}
  virtual void stop() {}

  virtual bool showUI(void* parent) { return false; }
  virtual bool closeUI(bool) { return false; }
  virtual bool isUIShown() { return false; }

  /// Hands out the module's state; `data` stays the module's until `saveChunkEnd`.
  virtual bool saveChunk(unsigned char** data, int& size) { return false; }
  virtual bool saveChunkEnd() { return false; }
  virtual bool loadChunk(unsigned char* data, int size) { return false; }

  virtual void setSyncInfo(PESyncInfo* syncInfo, double) {}
  /// Renders `frames` frames into the stereo `outputs` (entries 0 and 1: left and right),
  /// adding to them when `add` is set, else overwriting them.
  virtual void processStereo(float** inputs, float** outputs, unsigned frames, bool add) {}
  /// As `processStereo`, with the block's events ordered by frame offset.
  virtual void processMIDIStereo(const std::vector<MIDIEvent>& events, float** inputs,
                                 float** outputs, unsigned frames, bool add) {}

  const DSPInfo* getDSPInfo() const { return m_dspInfo; }
  std::int32_t numInputChannels() const { return m_numInputs; }
  std::int32_t numOutputChannels() const { return m_numOutputs; }

 protected:
  const DSPInfo* m_dspInfo = nullptr;
  std::int32_t m_numInputs = 0;
  std::int32_t m_numOutputs = 0;
  // Starts true; nothing reads it. Kept for the layout the modules share.
  bool m_flag = true;
};

}  // namespace vantor
