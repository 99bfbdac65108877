// KeloDeck's two modal dialogs, opened from the application menu: the preferences (MIDI inputs,
// audio device, stereo pair, sample rate, block size) and the offline render of a MIDI file
// into an audio file. Both act on the back end only through `engineCommand`, apply every
// choice at once, stop audio while they are open and start it again when they go if it was
// running.
//
// Lifetime: each is made on the stack, run with `showModal()` and destroyed; the window closes
// (and deletes itself) when the modal run ends, so nothing of it is used afterwards. A dialog
// destroyed without a modal run closes its window itself.
//
// Threads: main thread only (timers fire on the main loop, also inside the modal run).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "VNL/source/PxProgressDialog.h"
#include "standalone/app/toolkit/Choice.h"
#include "standalone/app/toolkit/Controls.h"
#include "standalone/app/toolkit/Window.h"

namespace vantor::samplerapp {

/// The menu action "showPrefs:": runs the preferences dialog modally.
void showPreferences();
/// The menu action "renderOffline:": runs the render-offline dialog modally.
void showRenderOffline();

/// The title of the dialogs' alerts.
inline constexpr const char* kStandaloneAlertTitle = "Kelo Standalone";

class PrefsVNT : public VNT::VNTButtonListener,
                 public VNT::ChoiceListener,
                 public VNT::ListControlCheckboxListener {
 public:
  /// Stops audio when it runs, then builds and fills the dialog (every list read at once).
  PrefsVNT();
  /// Starts audio again when it ran at opening.
  ~PrefsVNT() override;
  PrefsVNT(const PrefsVNT&) = delete;
  PrefsVNT& operator=(const PrefsVNT&) = delete;

  /// Runs the window modally until OK or Cancel (or a close); answers the code.
  unsigned showModal();

  void buttonClicked(unsigned id) override;
  void choiceValueChanged(unsigned id, unsigned index, const std::string& utf8) override;
  void listControlCheckboxValueChanged(unsigned id, unsigned row, bool checked) override;

  /// The dialog window; null once its modal run has ended.
  VNT::Window* getWindow() const { return window; }

 private:
  void populateMIDIDevices();
  void populateAudioDevices();
  void populateStereoPairs();
  void populateSampleRates();
  void populateBufferSizes();
  /// Puts one row per stereo pair of audio row `row` into the pair choice.
  void fillStereoPairs(int row);
  /// Fills `choice` and `values` from list command `listCommand`, then selects the current
  /// value (or row 0) and lets the dialog be told.
  void populateValues(std::int32_t listCommand, VNT::NativeChoice* choice,
                      std::vector<std::int32_t>& values, bool rates);
  void setAudioDevice();
  void setSampleRate();
  void setBufferSize();
  /// Sends the rate (`rates`) or block size chosen in `choice` with the other current one; a
  /// row outside `values` applies nothing.
  void applySetting(VNT::NativeChoice* choice, const std::vector<std::int32_t>& values,
                    bool rates);

  VNT::Window* window = nullptr;
  VNT::NativeChoice* audioDeviceChoice = nullptr;
  VNT::NativeChoice* stereoPairChoice = nullptr;
  VNT::NativeChoice* sampleRateChoice = nullptr;
  VNT::NativeChoice* bufferSizeChoice = nullptr;
  VNT::NativeListControl* midiDeviceList = nullptr;
  unsigned audioDeviceListenerId = 0;
  unsigned stereoPairListenerId = 0;
  unsigned sampleRateListenerId = 0;
  unsigned bufferSizeListenerId = 0;
  std::vector<std::int32_t> midiDeviceIds;
  std::vector<std::int32_t> audioDeviceIds;
  std::vector<std::int32_t> stereoPairCounts;
  std::vector<std::int32_t> sampleRates;
  std::vector<std::int32_t> bufferSizes;
  bool wasPlaying = false;
};

class RenderOfflineVNT : public VNT::VNTButtonListener {
 public:
  /// Stops audio when it runs, then builds the dialog (Render disabled).
  RenderOfflineVNT();
  /// Ends a render still running (timer, progress window, back end back to real time), then
  /// starts audio again when it ran at opening.
  ~RenderOfflineVNT() override;
  RenderOfflineVNT(const RenderOfflineVNT&) = delete;
  RenderOfflineVNT& operator=(const RenderOfflineVNT&) = delete;

  /// Runs the window modally until Close (or a close); answers the code.
  unsigned showModal();

  void buttonClicked(unsigned id) override;

  /// The timer's callback: runs `dialog`'s `idle`.
  static void loopRenderTimerFunc(VNT::TimerId timer, RenderOfflineVNT* dialog);

  /// The dialog window; null once its modal run has ended.
  VNT::Window* getWindow() const { return window; }
  /// True from a started render to its end.
  bool isRendering() const { return renderTimer != VNT::kNoTimer; }

  /// How often the render is followed, and after how many ticks at the file's end the
  /// recording is cut off.
  static constexpr double kTickSeconds = 0.2;
  static constexpr std::int32_t kClosingTickLimit = 50;

 private:
  void selectMIDIFile();
  void selectAudioFile();
  void render();
  void idle();
  /// Back to real time: progress window and timer gone, MIDI stopped and rewound, recording
  /// and audio stopped, offline mode off.
  void endRender();
  void showNoSelection();
  void updateRenderButton();

  VNT::TimerId renderTimer = VNT::kNoTimer;
  bool wasPlaying = false;
  bool midiFileChosen = false;
  bool audioFileChosen = false;
  std::unique_ptr<PxProgressDialog> progressDialog;
  std::int32_t closingTicks = 0;
  std::string audioFilePath;
  VNT::Window* window = nullptr;
  VNT::NativeStaticText* midiFileLabel = nullptr;
  VNT::NativeStaticText* audioFileLabel = nullptr;
  VNT::NativeButton* renderButton = nullptr;
};

}  // namespace vantor::samplerapp
