// KeloDeck's front end of the engine instrument module: the main window around the engine's
// editor, the media bar under it and the toolkit timer that ticks the editor. The program
// registers one with `setEngineFrontEnd` before the instrument is added.
//
// Ownership: the front end makes the main window and deletes it when it goes, unless the
// window went first (a window listener tells it); the window owns the media-bar panels.
// Main thread only.
#pragma once

#include <string>

#include "standalone/app/samplerapp/MediaBar.h"
#include "standalone/app/toolkit/Window.h"
#include "standalone/host/InstrumentFrontEnd.h"

namespace vantor::samplerapp {

class MainFrontEnd : public InstrumentFrontEnd, private VNT::WindowListener {
 public:
  MainFrontEnd() = default;
  ~MainFrontEnd() override;
  MainFrontEnd(const MainFrontEnd&) = delete;
  MainFrontEnd& operator=(const MainFrontEnd&) = delete;

  /// The main window with a content panel "SA"; answers the panel's X11 window id (null
  /// without a display).
  void* createMainWindow(const std::string& title) override;
  void setClientSizeAndCentre(int width, int height) override;
  /// The media bar under the editor; a window narrower than the bar widens to show all of it.
  void addMediaBar(int y, int recorderX, const std::string& baseDir) override;
  void showMainWindow() override;
  TimerId addTimer(double firstSeconds, double intervalSeconds, TimerCallback callback,
                   void* user) override;
  void removeTimer(TimerId id) override;

  bool hasPlayerPanel() override { return m_player != nullptr; }
  void stopPlayer() override;
  void seekPlayer() override;
  void setPlayerSlider(int value) override;
  void reloadPlayer() override;
  bool hasRecorderPanel() override { return m_recorder != nullptr; }
  bool isRecorderRecording() override;
  void stopRecorder() override;

  /// The main window (null before `createMainWindow` and after it closed): the program puts
  /// its menu bar there.
  VNT::MainWindow* mainWindow() const { return m_window; }
  VNT::Panel* contentPanel() const { return m_content; }
  MIDIFilePlayerGUI* player() const { return m_player; }
  AudioFileRecorderGUI* recorder() const { return m_recorder; }

 private:
  void windowClosing(unsigned windowId) override;
  bool windowCanClose(unsigned) override { return true; }

  VNT::MainWindow* m_window = nullptr;
  VNT::Panel* m_content = nullptr;
  VNT::Size m_clientSize{};
  unsigned m_listenerId = 0;
  MIDIFilePlayerGUI* m_player = nullptr;
  AudioFileRecorderGUI* m_recorder = nullptr;
};

}  // namespace vantor::samplerapp
