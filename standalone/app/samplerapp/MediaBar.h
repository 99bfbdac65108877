// The media bar under the engine's editor in KeloDeck's main window: a MIDI-file player (play,
// stop, eject, rewind, a position slider and the file's name) and an audio recorder (record,
// stop, eject and the file's name). Both act only through `engineCommand`. The engine
// instrument module has the front end create them, and drives them from its idle timer and
// when offline rendering begins or ends.
//
// Ownership: the controls belong to the window and its panel; a panel object keeps plain
// pointers to them and is owned by the main window, which deletes it before its controls go.
// Main thread only.
#pragma once

#include <string>

#include "standalone/app/toolkit/Controls.h"
#include "standalone/app/toolkit/Panel.h"
#include "standalone/app/toolkit/Window.h"

namespace vantor {

/// The image files of the buttons, in the data folder's "GUI" subfolder.
inline constexpr const char* kPlayImage = "media-playback-start22.png";
inline constexpr const char* kStopImage = "media-playback-stop22.png";
inline constexpr const char* kEjectImage = "media-eject22.png";
inline constexpr const char* kRewindImage = "media-skip-backward22.png";
inline constexpr const char* kRecordImage = "media-record22.png";

/// Sets the back end's recording file to `path` (AIFF, 16 bits) and starts the recording.
/// Empty when it runs; else why not, for the user: "the audio file library is missing" or
/// "cannot write <path>: <the library's reason>".
std::string startRecordingInto(const std::string& path);

/// What the user is told of a MIDI file the back end refused (307): the file and why.
std::string midiFileRefusal(const std::string& path);

/// idle (no file) -> loaded (play and rewind enabled) -> playing (stop enabled); stop or the
/// file's end goes back to loaded.
class MIDIFilePlayerGUI : public VNT::VNTButtonListener, public VNT::SliderListener {
 public:
  static constexpr unsigned kPlayId = 1001;
  static constexpr unsigned kStopId = 1002;
  static constexpr unsigned kEjectId = 1003;
  static constexpr unsigned kRewindId = 1004;
  static constexpr unsigned kSliderId = 1011;

  /// Builds the panel (465 x 40, 390 wide when `compact`) at `origin` in the window's content
  /// view, the buttons with their images from `dataFolder`/GUI, the slider and the label.
  MIDIFilePlayerGUI(VNT::Window* window, const VNT::Point& origin, const std::string& dataFolder,
                    bool compact);
  ~MIDIFilePlayerGUI() override = default;

  void buttonClicked(unsigned id) override;
  void buttonToggled(unsigned, bool) override {}
  /// The user moved the slider: seeks to `value` / 100.
  void sliderValueChanged(unsigned id, unsigned value) override;

  void play();
  void stop();
  /// Eject: asks for a MIDI file and loads it; a cancelled question or a refused file changes
  /// nothing shown (a refused path stays stored for `reload`).
  void load();
  /// Rewinds to the start.
  void seek();
  /// Loads the stored file again (after an offline render).
  void reload();
  /// Shows the position `value` (0 to 100) without telling this panel.
  void showPosition(int value);

  bool isPlaying() const { return m_playing; }
  const std::string& getMIDIFilePath() const { return m_midiFilePath; }
  VNT::Panel* getPanel() const { return m_panel; }
  VNT::NativeSlider* getPositionSlider() const { return m_positionSlider; }
  VNT::NativeButtonBitmap* getPlayButton() const { return m_playButton; }
  VNT::NativeButtonBitmap* getStopButton() const { return m_stopButton; }
  VNT::NativeButtonBitmap* getEjectButton() const { return m_ejectButton; }
  VNT::NativeButtonBitmap* getRewindButton() const { return m_rewindButton; }
  VNT::NativeStaticText* getFileLabel() const { return m_fileLabel; }

 private:
  bool loadFile();

  VNT::Window* m_window;
  VNT::Panel* m_panel;
  VNT::NativeSlider* m_positionSlider;
  VNT::NativeButtonBitmap* m_playButton;
  VNT::NativeButtonBitmap* m_stopButton;
  VNT::NativeButtonBitmap* m_ejectButton;
  VNT::NativeButtonBitmap* m_rewindButton;
  VNT::NativeStaticText* m_fileLabel;
  unsigned m_sliderListenerId = 0;
  bool m_playing = false;
  std::string m_midiFilePath;
};

/// without a file -> armed (a file chosen, record enabled) -> recording; stop goes back to
/// without a file. A recording that does not start says why in an alert and stays armed.
class AudioFileRecorderGUI : public VNT::VNTButtonListener {
 public:
  static constexpr unsigned kRecordId = 1005;
  static constexpr unsigned kStopId = 1006;
  static constexpr unsigned kEjectId = 1007;

  /// Builds the panel (290 x 40, 215 wide when `compact`) at `origin` in the window's content
  /// view.
  AudioFileRecorderGUI(VNT::Window* window, const VNT::Point& origin,
                       const std::string& dataFolder, bool compact);
  /// Ends a recording in progress.
  ~AudioFileRecorderGUI() override;

  void buttonClicked(unsigned id) override;
  void buttonToggled(unsigned, bool) override {}

  /// Records the mix into the chosen file (AIFF, 16 bits).
  void record();
  /// Ends the recording; a new file must be chosen before the next one.
  void stop();
  /// Eject: asks for the file to record into; a cancelled question changes nothing.
  void load();
  bool isRecording() const { return m_recording; }

  const std::string& getAudioFilePath() const { return m_audioFilePath; }
  VNT::Panel* getPanel() const { return m_panel; }
  VNT::NativeButtonBitmap* getRecordButton() const { return m_recordButton; }
  VNT::NativeButtonBitmap* getStopButton() const { return m_stopButton; }
  VNT::NativeButtonBitmap* getEjectButton() const { return m_ejectButton; }
  VNT::NativeStaticText* getFileLabel() const { return m_fileLabel; }

 private:
  void arm();

  VNT::Window* m_window;
  VNT::Panel* m_panel;
  VNT::NativeButtonBitmap* m_recordButton;
  VNT::NativeButtonBitmap* m_stopButton;
  VNT::NativeButtonBitmap* m_ejectButton;
  VNT::NativeStaticText* m_fileLabel;
  bool m_recording = false;
  std::string m_audioFilePath;
};

}  // namespace vantor
