// What the engine instrument module asks of the application's front end: the main window
// around the engine's editor, the media bar under it, a repeating timer on the main loop, and
// the two media-bar panels it drives (the MIDI-file player and the recorder). KeloDeck's
// `samplerapp::MainFrontEnd` implements it over the widget toolkit; in programs without
// windows `NullInstrumentFrontEnd` answers "nothing there".
//
// Main thread only. The module keeps the front end (not owned) for its whole life.
#pragma once

#include <cstdint>
#include <string>

namespace vantor {

class InstrumentFrontEnd {
 public:
  using TimerId = std::uint64_t;
  using TimerCallback = void (*)(void* user);
  static constexpr TimerId kNoTimer = 0;

  virtual ~InstrumentFrontEnd() = default;

  /// Builds the main window at (50, 50), 650 x 350, an ordinary window that can be
  /// miniaturised but not closed, titled `title`, named "SA", with a content panel of the same
  /// size and no media bar yet. Answers the view the editor opens in (on Linux the X11 window
  /// id of the content panel, as a pointer-sized integer); null when there is no window.
  virtual void* createMainWindow(const std::string& title) = 0;
  /// Sets the window's client size and centres it.
  virtual void setClientSizeAndCentre(int width, int height) = 0;
  /// Adds the MIDI-file player panel at (0, `y`) and the recorder panel at (`recorderX`, `y`),
  /// both with the data folder `baseDir`.
  virtual void addMediaBar(int y, int recorderX, const std::string& baseDir) = 0;
  virtual void showMainWindow() = 0;

  /// A repeating timer on the main loop: first after `firstSeconds`, then every
  /// `intervalSeconds`. kNoTimer when none can be made.
  virtual TimerId addTimer(double firstSeconds, double intervalSeconds, TimerCallback callback,
                           void* user) = 0;
  /// After this the callback is never called again for `id`. kNoTimer is ignored.
  virtual void removeTimer(TimerId id) = 0;

  virtual bool hasPlayerPanel() = 0;
  virtual void stopPlayer() = 0;
  /// Rewinds the panel's player (its seek to the start).
  virtual void seekPlayer() = 0;
  /// Moves the position slider (0 to 100) without notifying the panel.
  virtual void setPlayerSlider(int value) = 0;
  /// Reloads the panel's MIDI file after an offline render.
  virtual void reloadPlayer() = 0;

  virtual bool hasRecorderPanel() = 0;
  virtual bool isRecorderRecording() = 0;
  virtual void stopRecorder() = 0;
};

/// No window, no panels, no timers.
class NullInstrumentFrontEnd : public InstrumentFrontEnd {
 public:
  void* createMainWindow(const std::string&) override { return nullptr; }
  void setClientSizeAndCentre(int, int) override {}
  void addMediaBar(int, int, const std::string&) override {}
  void showMainWindow() override {}
  TimerId addTimer(double, double, TimerCallback, void*) override { return kNoTimer; }
  void removeTimer(TimerId) override {}
  bool hasPlayerPanel() override { return false; }
  void stopPlayer() override {}
  void seekPlayer() override {}
  void setPlayerSlider(int) override {}
  void reloadPlayer() override {}
  bool hasRecorderPanel() override { return false; }
  bool isRecorderRecording() override { return false; }
  void stopRecorder() override {}

  /// The process's one null front end.
  static NullInstrumentFrontEnd& shared() {
    static NullInstrumentFrontEnd frontEnd;
    return frontEnd;
  }
};

}  // namespace vantor
