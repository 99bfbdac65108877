#include "standalone/app/samplerapp/Dialogs.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "VNL/source/FileUtils.h"
#include "standalone/app/samplerapp/EngineCommand.h"
#include "standalone/app/samplerapp/FileQuestions.h"
#include "standalone/app/samplerapp/MediaBar.h"
#include "standalone/app/toolkit/Application.h"
#include "standalone/app/toolkit/Panel.h"
#include "standalone/host/EngineOpcode.h"

namespace vantor::samplerapp {
namespace {

using VNT::kNoId;

constexpr std::int32_t kPlatformHostApi = 10;
constexpr std::int32_t kMIDIInput = 0;
constexpr long kDialogStyle = VNT::kWindowClosable;
constexpr const char* kNoSelection = "No Selection";

/// Stops audio when it runs; answers whether it ran.
bool stopAudio() {
  bool playing = false;
  if (engineCommand(PE_ENGINE_AUDIO_ISPLAYING, &playing) != PE_ENGINE_OK || !playing)
    return false;
  engineCommand(PE_ENGINE_AUDIO_STOP);
  return true;
}

/// A dialog window with its one panel, placed and then centred by the caller.
VNT::Panel* dialogWindow(VNT::Window*& window, const VNT::Point& at, const VNT::Size& size,
                         const char* title, const std::string& name) {
  window = new VNT::Window(at, size, VNT::WindowKind::Ordinary, kDialogStyle, title, name);
  return new VNT::Panel(window, nullptr, {0, 0}, size, kNoId, name + "PANEL");
}

void currentSettings(std::int32_t& rate, std::int32_t& size) {
  rate = 44100;
  size = 512;
  engineCommand(PE_ENGINE_AUDIODEVICE_SETTINGS_GET, &rate, &size);
}

std::int32_t currentAudioDevice() {
  std::int32_t id = -1;
  engineCommand(PE_ENGINE_AUDIODEVICE_GET, &id);
  return id;
}

/// The row `index` names in a list of `count` rows, or -1 (rows left from an earlier fill).
int rowIn(int index, std::size_t count) {
  return index >= 0 && static_cast<std::size_t>(index) < count ? index : -1;
}

VNT::NativeStaticText* label(VNT::Window* window, VNT::Panel* panel, const VNT::Point& at,
                             const VNT::Size& size, const std::string& text) {
  return new VNT::NativeStaticText(window, panel->getControlHandle(), at, size, text, "", kNoId);
}

VNT::NativeButton* button(VNT::Window* window, VNT::Panel* panel, const VNT::Point& at,
                          const VNT::Size& size, const std::string& text,
                          const std::string& name, unsigned id, VNT::VNTButtonListener* to) {
  auto* b = new VNT::NativeButton(window, panel->getControlHandle(), at, size, text, false, name,
                                  id);
  b->addButtonListener(to);
  return b;
}

/// Runs `window` modally; afterwards the window is gone and `window` is null.
unsigned runModal(VNT::Window*& window) {
  if (window == nullptr) return 0;
  const unsigned code = window->showModal();
  window = nullptr;
  return code;
}

/// A window whose modal run never happened is closed here (it deletes itself).
void closeUnrun(VNT::Window*& window) {
  if (window != nullptr) window->close();
  window = nullptr;
}

}  // namespace

void showPreferences() {
  PrefsVNT prefs;
  prefs.showModal();
}

void showRenderOffline() {
  RenderOfflineVNT dialog;
  dialog.showModal();
}

// ---------------------------------------------------------------------------------------------
// Preferences

PrefsVNT::PrefsVNT() {
  wasPlaying = stopAudio();
  VNT::Panel* panel = dialogWindow(window, {370, 373}, {411, 345}, "Preferences", "SAPREFS");

  label(window, panel, {20, 37}, {114, 16}, "MIDI Devices");
  midiDeviceList = new VNT::NativeListControl(window, panel->getControlHandle(), {142, 34},
                                              {231, 100}, VNT::NativeListControl::kCheckboxColumn,
                                              "MIDI Devices", 10005);
  populateMIDIDevices();
  midiDeviceList->addListControlCheckboxListener(this);

  const auto choice = [&](double y, const char* text, unsigned id, unsigned& listenerId) {
    label(window, panel, {20, y + 3}, {114, 16}, text);
    auto* c = new VNT::NativeChoice(window, nullptr, {142, y}, {231, 22}, text, {}, "", id,
                                    VNT::SizeFlag{});
    panel->addControl(c);
    listenerId = c->addChoiceListener(this);
    return c;
  };
  audioDeviceChoice = choice(144, "Audio Device", 10001, audioDeviceListenerId);
  populateAudioDevices();
  stereoPairChoice = choice(184, "Stereo Pair", 10002, stereoPairListenerId);
  populateStereoPairs();
  sampleRateChoice = choice(224, "Sample Rate", 10003, sampleRateListenerId);
  populateSampleRates();
  bufferSizeChoice = choice(264, "Buffer Size", 10004, bufferSizeListenerId);
  populateBufferSizes();

  button(window, panel, {314, 316}, {69, 20}, "OK", "SAPREFSOK", 1001, this);
  button(window, panel, {225, 316}, {69, 20}, "Cancel", "SAPREFSCANCEL", 1002, this);
  window->centre();
}

PrefsVNT::~PrefsVNT() {
  closeUnrun(window);
  if (wasPlaying) engineCommand(PE_ENGINE_AUDIO_START);
}

unsigned PrefsVNT::showModal() { return runModal(window); }

void PrefsVNT::buttonClicked(unsigned id) {
  if ((id == 1001 || id == 1002) && window != nullptr) window->endModal(id);
}

void PrefsVNT::choiceValueChanged(unsigned id, unsigned, const std::string&) {
  switch (id) {
    case 10001: setAudioDevice(); break;
    case 10002: {
      const int pair = stereoPairChoice->getValue();
      if (pair >= 0)
        engineCommand(PE_ENGINE_AUDIODEVICE_OUTPUTSTEREOPAIR_SET, nullptr, nullptr, pair);
      break;
    }
    case 10003: setSampleRate(); break;
    case 10004: setBufferSize(); break;
    default: break;
  }
}

void PrefsVNT::listControlCheckboxValueChanged(unsigned id, unsigned row, bool checked) {
  if (id != 10005) return;
  const int at = rowIn(static_cast<int>(row), midiDeviceIds.size());
  if (at < 0 || midiDeviceIds[at] == -1) return;
  const std::int32_t result = engineCommand(PE_ENGINE_MIDIDEVICE_ENABLE, nullptr, nullptr,
                                            midiDeviceIds[at], checked ? 1 : -1);
  if (result == PE_ENGINE_MIDI_UNAVAILABLE)
    popupModalMessageWindow(nullptr, kStandaloneAlertTitle,
                            "This MIDI device is currently unavailable");
}

void PrefsVNT::populateMIDIDevices() {
  std::int32_t count = 0;
  if (engineCommand(PE_ENGINE_MIDIDEVICE_LIST, nullptr, &count, 0, kMIDIInput) != PE_ENGINE_OK ||
      count <= 0)
    return;
  std::vector<std::int32_t> enabled;
  engineCommand(PE_ENGINE_MIDIDEVICE_GETUSED, &enabled, nullptr, kMIDIInput);
  std::vector<PEMIDIDeviceRecord> records(static_cast<std::size_t>(count));
  std::int32_t filled = 0;
  if (engineCommand(PE_ENGINE_MIDIDEVICE_LIST, records.data(), &filled, count, kMIDIInput) !=
      PE_ENGINE_OK)
    return;
  filled = std::clamp(filled, 0, count);
  for (std::int32_t i = 0; i < filled; ++i) {
    const PEMIDIDeviceRecord& record = records[static_cast<std::size_t>(i)];
    const std::string name(record.name, strnlen(record.name, sizeof record.name));
    const bool on = std::find(enabled.begin(), enabled.end(), record.id) != enabled.end();
    midiDeviceList->addItemCheckbox(name, on);
    midiDeviceIds.push_back(record.id);
  }
}

void PrefsVNT::populateAudioDevices() {
  audioDeviceIds.clear();
  stereoPairCounts.clear();
  std::int32_t count = 0;
  if (engineCommand(PE_ENGINE_AUDIODEVICE_LIST, nullptr, &count) != PE_ENGINE_OK || count <= 0)
    return;
  const std::int32_t current = currentAudioDevice();
  std::vector<PEAudioDeviceRecord> records(static_cast<std::size_t>(count));
  std::int32_t filled = 0;
  if (engineCommand(PE_ENGINE_AUDIODEVICE_LIST, records.data(), &filled, count) != PE_ENGINE_OK)
    return;
  filled = std::clamp(filled, 0, count);
  unsigned currentRow = 0;
  for (std::int32_t i = 0; i < filled; ++i) {
    const PEAudioDeviceRecord& record = records[static_cast<std::size_t>(i)];
    if (record.hostApiCode != kPlatformHostApi) continue;
    if (record.id == current) currentRow = static_cast<unsigned>(audioDeviceIds.size());
    audioDeviceIds.push_back(record.id);
    stereoPairCounts.push_back(std::max(record.outputChannels / 2, 0));
    audioDeviceChoice->appendChoice(
        std::string(record.name, strnlen(record.name, sizeof record.name)));
  }
  audioDeviceChoice->setValue(currentRow, audioDeviceListenerId);
}

void PrefsVNT::fillStereoPairs(int row) {
  stereoPairChoice->removeAllChoices();
  if (row < 0) return;
  for (std::int32_t pair = 0; pair < stereoPairCounts[static_cast<std::size_t>(row)]; ++pair)
    stereoPairChoice->appendChoice(std::to_string(2 * pair + 1) + "-" +
                                   std::to_string(2 * pair + 2));
}

void PrefsVNT::populateStereoPairs() {
  const int row = rowIn(audioDeviceChoice->getValue(), audioDeviceIds.size());
  std::int32_t pair = -1;
  if (row >= 0 && audioDeviceIds[static_cast<std::size_t>(row)] == currentAudioDevice()) {
    if (engineCommand(PE_ENGINE_AUDIODEVICE_OUTPUTSTEREOPAIR_GET, &pair) != PE_ENGINE_OK)
      pair = -1;
  }
  fillStereoPairs(row);
  const int rows = stereoPairChoice->getNumberOfItems();
  // A device without pairs selects nothing and so sends nothing.
  if (rows == 0) return;
  if (pair == -1)
    stereoPairChoice->setValue(0u, kNoId);
  else
    stereoPairChoice->setValue(pair >= 0 && pair < rows ? static_cast<unsigned>(pair) : 0u,
                               stereoPairListenerId);
}

void PrefsVNT::populateValues(std::int32_t listCommand, VNT::NativeChoice* choice,
                              std::vector<std::int32_t>& values, bool rates) {
  values.clear();
  std::int32_t count = 0;
  if (engineCommand(listCommand, nullptr, &count) != PE_ENGINE_OK || count <= 0) return;
  std::int32_t rate = 0;
  std::int32_t size = 0;
  currentSettings(rate, size);
  choice->removeAllChoices();
  std::vector<std::int32_t> listed(static_cast<std::size_t>(count));
  std::int32_t filled = 0;
  if (engineCommand(listCommand, listed.data(), &filled, count) != PE_ENGINE_OK) filled = 0;
  filled = std::clamp(filled, 0, count);
  for (std::int32_t i = 0; i < filled; ++i) {
    const std::int32_t value = listed[static_cast<std::size_t>(i)];
    values.push_back(value);
    choice->appendChoice(rates ? std::to_string(value) + " Hz" : std::to_string(value));
  }
  const auto current = std::find(values.begin(), values.end(), rates ? rate : size);
  const unsigned currentRow =
      current != values.end() ? static_cast<unsigned>(current - values.begin()) : 0u;
  choice->setValue(currentRow, kNoId);
}

void PrefsVNT::populateSampleRates() {
  populateValues(PE_ENGINE_AUDIODEVICE_SAMPLERATE_LIST, sampleRateChoice, sampleRates, true);
}

void PrefsVNT::populateBufferSizes() {
  populateValues(PE_ENGINE_AUDIODEVICE_BUFFERSIZE_LIST, bufferSizeChoice, bufferSizes, false);
}

void PrefsVNT::setAudioDevice() {
  const int row = rowIn(audioDeviceChoice->getValue(), audioDeviceIds.size());
  if (row < 0) return;
  engineCommand(PE_ENGINE_AUDIODEVICE_SET, nullptr, nullptr,
                audioDeviceIds[static_cast<std::size_t>(row)]);
  fillStereoPairs(row);
  populateSampleRates();
  populateBufferSizes();
}

void PrefsVNT::setSampleRate() { applySetting(sampleRateChoice, sampleRates, true); }

void PrefsVNT::setBufferSize() { applySetting(bufferSizeChoice, bufferSizes, false); }

void PrefsVNT::applySetting(VNT::NativeChoice* choice, const std::vector<std::int32_t>& values,
                            bool rates) {
  const int row = rowIn(choice->getValue(), values.size());
  if (row < 0) return;
  std::int32_t rate = 0;
  std::int32_t size = 0;
  currentSettings(rate, size);
  (rates ? rate : size) = values[static_cast<std::size_t>(row)];
  engineCommand(PE_ENGINE_AUDIODEVICE_SETTINGS, nullptr, nullptr, rate, size);
}

// ---------------------------------------------------------------------------------------------
// Render offline

RenderOfflineVNT::RenderOfflineVNT() {
  wasPlaying = stopAudio();
  VNT::Panel* panel = dialogWindow(window, {559, 138}, {382, 180}, "Render Offline", "SARO");
  label(window, panel, {20, 60}, {61, 13}, "MIDI File");
  midiFileLabel = label(window, panel, {92, 60}, {220, 13}, kNoSelection);
  button(window, panel, {323, 56}, {39, 20}, "...", "SAROMIDI", 1004, this);
  label(window, panel, {20, 103}, {61, 13}, "Audio File");
  audioFileLabel = label(window, panel, {92, 103}, {220, 13}, kNoSelection);
  button(window, panel, {323, 99}, {39, 20}, "...", "SAROAUDIO", 1003, this);
  button(window, panel, {292, 140}, {69, 20}, "Close", "SAROCLOSE", 1002, this);
  renderButton = button(window, panel, {212, 140}, {69, 20}, "Render", "SARORENDER", 1001, this);
  renderButton->enable(false);
  window->centre();
}

RenderOfflineVNT::~RenderOfflineVNT() {
  // Close is the user's only way to stop a long render: end it here, so that neither the timer
  // nor the progress window outlives the dialog.
  if (isRendering()) endRender();
  closeUnrun(window);
  if (wasPlaying) engineCommand(PE_ENGINE_AUDIO_START);
}

unsigned RenderOfflineVNT::showModal() {
  const unsigned code = runModal(window);
  midiFileLabel = audioFileLabel = nullptr;
  renderButton = nullptr;
  return code;
}

void RenderOfflineVNT::buttonClicked(unsigned id) {
  switch (id) {
    case 1001: render(); break;
    case 1002:
      if (window != nullptr) window->endModal(1002);
      break;
    // A render's files stay as they are until it ends: a MIDI file loaded now would be
    // rendered from the old one's position.
    case 1003:
      if (!isRendering()) selectAudioFile();
      break;
    case 1004:
      if (!isRendering()) selectMIDIFile();
      break;
    default: break;
  }
}

void RenderOfflineVNT::loopRenderTimerFunc(VNT::TimerId, RenderOfflineVNT* dialog) {
  dialog->idle();
}

void RenderOfflineVNT::updateRenderButton() {
  // A second render must not start over one that runs.
  if (renderButton != nullptr)
    renderButton->enable(midiFileChosen && audioFileChosen && !isRendering());
}

void RenderOfflineVNT::showNoSelection() {
  if (midiFileLabel != nullptr) midiFileLabel->setLabel(kNoSelection);
  if (audioFileLabel != nullptr) audioFileLabel->setLabel(kNoSelection);
}

void RenderOfflineVNT::selectMIDIFile() {
  const std::string path = vantor::selectMIDIFile(nullptr);
  if (path.empty()) return;
  if (engineCommand(PE_ENGINE_MIDI_LOAD, const_cast<char*>(path.c_str())) != PE_ENGINE_OK) {
    popupModalMessageWindow(nullptr, kStandaloneAlertTitle, midiFileRefusal(path));
    return;
  }
  if (midiFileLabel != nullptr) midiFileLabel->setLabel(shownFileName(path));
  midiFileChosen = true;
  updateRenderButton();
}

void RenderOfflineVNT::selectAudioFile() {
  const std::string path = vantor::selectAudioFile(nullptr, "Render Audio into");
  if (path.empty()) return;
  audioFilePath = path;
  if (audioFileLabel != nullptr) audioFileLabel->setLabel(shownFileName(path));
  audioFileChosen = true;
  updateRenderButton();
}

void RenderOfflineVNT::render() {
  if (isRendering()) return;
  if (renderButton != nullptr) renderButton->enable(false);
  if (engineCommand(PE_ENGINE_OFFLINE_SET, nullptr, nullptr, 1) != PE_ENGINE_OK) return;

  const std::string failure = startRecordingInto(audioFilePath);
  if (!failure.empty()) {
    // Nothing would be written: back to real time at once and say why.
    endRender();
    popupModalMessageWindow(nullptr, kStandaloneAlertTitle, "Rendering could not start: " + failure);
    return;
  }
  engineCommand(PE_ENGINE_MIDI_PLAY);
  engineCommand(PE_ENGINE_AUDIO_START);

  closingTicks = 0;
  progressDialog = std::make_unique<PxProgressDialog>(
      "Rendering", window != nullptr ? window->getHandle() : nullptr, 100, false, false, false);
  renderTimer = VNT::addTimer(kTickSeconds, kTickSeconds,
                              [this] { loopRenderTimerFunc(renderTimer, this); });
}

void RenderOfflineVNT::idle() {
  double position = 0.0;
  engineCommand(PE_ENGINE_MIDI_POSITION_GET, &position);
  // A position that is no number cannot advance any more: the file is over.
  if (!std::isfinite(position)) position = 1.0;
  if (position != 1.0) {
    if (progressDialog)
      progressDialog->setprogress(
          static_cast<std::uint64_t>(std::clamp(position, 0.0, 1.0) * 100.0));
    return;
  }
  ++closingTicks;
  std::int32_t recording = 0;
  engineCommand(PE_ENGINE_RECORDING_ISRECORDING, &recording);
  if (recording != 0 && closingTicks != kClosingTickLimit) {
    if (progressDialog) {
      if (closingTicks == 1) {
        progressDialog->step("Closing ...");
        progressDialog->setprogress(0);
      } else {
        progressDialog->setprogress(
            static_cast<std::uint64_t>(closingTicks * 100 / kClosingTickLimit));
      }
    }
    return;
  }
  endRender();
}

void RenderOfflineVNT::endRender() {
  progressDialog.reset();
  if (renderTimer != VNT::kNoTimer) VNT::removeTimer(renderTimer);
  renderTimer = VNT::kNoTimer;
  engineCommand(PE_ENGINE_MIDI_STOP);
  engineCommand(PE_ENGINE_MIDI_SEEK, nullptr, nullptr, 0, 0, 0, 0.0f);
  engineCommand(PE_ENGINE_RECORDING_STOP);
  engineCommand(PE_ENGINE_AUDIO_STOP);
  engineCommand(PE_ENGINE_OFFLINE_SET, nullptr, nullptr, 0);
  showNoSelection();
  // Rendered once, the file exists: another render into it needs the question (and its
  // replace confirmation) again.
  audioFileChosen = false;
  audioFilePath.clear();
}

}  // namespace vantor::samplerapp
