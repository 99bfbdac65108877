// The standalone's one processing context: it owns the render format (`DSPInfo`) with its
// offline flag and the two idle generators, and is what every module reaches through
// `Contextual`. The command interface creates and `init`s it when the back end starts, before
// the device manager and the graph, and deletes it at shut-down.
//
// Main thread only. `resetDSP` replaces the format object: modules keep the old pointer until
// the caller hands the new one to the graph (`GraphManager::setDSPInfo`), which it does at once.
#pragma once

#include "standalone/host/Context.h"
#include "standalone/host/DSPInfo.h"

namespace vantor {

class GUIIdleGenerator;
class NonGUIIdleGenerator;

class Instance : public Context, public GUIIdleListener {
 public:
  Instance() = default;
  ~Instance() override;
  Instance(const Instance&) = delete;
  Instance& operator=(const Instance&) = delete;

  /// Creates the format (44100 Hz, 512 frames) and both generators (GUI at 60 ticks a second).
  void init();
  /// A new format of `sampleRate` (unsupported rates give 44100) and `blockSize`, not offline.
  void resetDSP(int sampleRate, int blockSize);
  /// Sets the offline flag of the current format.
  void setOffline(bool offline);

  void start() {}
  void stop() {}

  /// The current format; valid from `init` on.
  const DSPInfo& getDSPInfo() const override { return *m_dspInfo; }
  const DSPInfo* dspInfo() const { return m_dspInfo; }

  void addGUIIdleListener(GUIIdleListener* listener) const override;
  bool removeGUIIdleListener(GUIIdleListener* listener) const override;
  void fireGUIIdle();
  void addNonGUIIdleListener(NonGUIIdleListener* listener) const override;
  bool removeNonGUIIdleListener(NonGUIIdleListener* listener) const override;
  void fireNonGUIIdle();

  void guiIdle(double milliseconds) override {}

 private:
  GUIIdleGenerator* m_guiIdle = nullptr;
  NonGUIIdleGenerator* m_nonGuiIdle = nullptr;
  DSPInfo* m_dspInfo = nullptr;
};

/// Milliseconds of the monotonic clock; the disk streamer's clock.
double getTimeMilli();

}  // namespace vantor
