#include "standalone/app/samplerapp/MediaBar.h"

#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

#include "VNL/source/FileUtils.h"
#include "standalone/app/samplerapp/EngineCommand.h"
#include "standalone/app/samplerapp/FileQuestions.h"
#include "standalone/host/EngineOpcode.h"

namespace vantor {
namespace {

constexpr double kPanelHeight = 40;
constexpr double kButtonSize = 24;
constexpr double kButtonY = 8;
constexpr double kButtonStep = 30;  // 24 and a gap of 6
constexpr double kLabelY = 10;
constexpr double kLabelHeight = 20;
constexpr const char* kAlertTitle = "Kelo Standalone";

VNT::NativeButtonBitmap* makeButton(VNT::Window* window, VNT::Panel* panel, int index,
                                    unsigned id, const std::string& dataFolder,
                                    const char* image, VNT::VNTButtonListener* listener) {
  auto* button = new VNT::NativeButtonBitmap(
      window, panel->getControlHandle(), {10 + index * kButtonStep, kButtonY},
      {kButtonSize, kButtonSize}, "", false, "Push", id, dataFolder + "/GUI/" + image);
  button->addButtonListener(listener);
  return button;
}

VNT::NativeStaticText* makeLabel(VNT::Window* window, VNT::Panel* panel, double x,
                                 bool compact) {
  return new VNT::NativeStaticText(window, panel->getControlHandle(), {x, kLabelY},
                                   {compact ? 100.0 : 175.0, kLabelHeight}, "Empty", "Label",
                                   VNT::kNoId);
}

char* text(const std::string& path) { return const_cast<char*>(path.c_str()); }

}  // namespace

std::string startRecordingInto(const std::string& path) {
  std::string reason;
  std::int32_t result = samplerapp::engineCommand(PE_ENGINE_RECORDING_FILE_SET, text(path),
                                                  &reason, 1, 16);
  if (result == PE_ENGINE_OK) result = samplerapp::engineCommand(PE_ENGINE_RECORDING_START);
  if (result == PE_ENGINE_OK) return {};
  if (result == PE_ENGINE_NO_AUDIO_FILES) return "the audio file library is missing";
  return "cannot write " + path + (reason.empty() ? "" : ": " + reason);
}

std::string midiFileRefusal(const std::string& path) {
  const std::string reason = ::access(path.c_str(), R_OK) != 0
                                 ? std::string(std::strerror(errno))
                                 : "it is not a MIDI file that can be played";
  return "Could not load the MIDI file \u201c" + path + "\u201d: " + reason + ".";
}

// ---------------------------------------------------------------------------------------------
// The MIDI-file player.

MIDIFilePlayerGUI::MIDIFilePlayerGUI(VNT::Window* window, const VNT::Point& origin,
                                     const std::string& dataFolder, bool compact)
    : m_window(window),
      m_panel(new VNT::Panel(window, window->getControlForEmbedding(), origin,
                             {compact ? 390.0 : 465.0, kPanelHeight}, VNT::kNoId, "panelname")) {
  m_playButton = makeButton(window, m_panel, 0, kPlayId, dataFolder, kPlayImage, this);
  m_stopButton = makeButton(window, m_panel, 1, kStopId, dataFolder, kStopImage, this);
  m_ejectButton = makeButton(window, m_panel, 2, kEjectId, dataFolder, kEjectImage, this);
  m_rewindButton = makeButton(window, m_panel, 3, kRewindId, dataFolder, kRewindImage, this);
  m_positionSlider = new VNT::NativeSlider(window, m_panel->getControlHandle(), {129, kButtonY},
                                           {150, kButtonSize}, 0, 100, 0, "Slider", kSliderId);
  m_sliderListenerId = m_positionSlider->addSliderListener(this);
  m_fileLabel = makeLabel(window, m_panel, 284, compact);

  m_playButton->enable(false);
  m_stopButton->enable(false);
  m_rewindButton->enable(false);
  m_positionSlider->enable(false);
}

void MIDIFilePlayerGUI::buttonClicked(unsigned id) {
  switch (id) {
    case kPlayId: play(); break;
    case kStopId: stop(); break;
    case kEjectId: load(); break;
    case kRewindId: seek(); break;
    default: break;
  }
}

void MIDIFilePlayerGUI::sliderValueChanged(unsigned, unsigned value) {
  samplerapp::engineCommand(PE_ENGINE_MIDI_SEEK, nullptr, nullptr, 0, 0, 0,
                            static_cast<float>(value) / 100.0f);
}

void MIDIFilePlayerGUI::play() {
  samplerapp::engineCommand(PE_ENGINE_MIDI_PLAY);
  m_playButton->enable(false);
  m_stopButton->enable(true);
  m_playing = true;
}

void MIDIFilePlayerGUI::stop() {
  samplerapp::engineCommand(PE_ENGINE_MIDI_STOP);
  m_playButton->enable(true);
  m_stopButton->enable(false);
  m_playing = false;
}

void MIDIFilePlayerGUI::load() {
  const std::string path = selectMIDIFile(m_window);
  if (path.empty()) return;
  m_midiFilePath = path;
  if (!loadFile()) popupModalMessageWindow(nullptr, kAlertTitle, midiFileRefusal(path));
}

void MIDIFilePlayerGUI::seek() {
  samplerapp::engineCommand(PE_ENGINE_MIDI_SEEK, nullptr, nullptr, 0, 0, 0, 0.0f);
}

void MIDIFilePlayerGUI::reload() {
  if (!m_midiFilePath.empty()) loadFile();
}

void MIDIFilePlayerGUI::showPosition(int value) {
  m_positionSlider->setValue(value, m_sliderListenerId);
}

bool MIDIFilePlayerGUI::loadFile() {
  if (samplerapp::engineCommand(PE_ENGINE_MIDI_LOAD, text(m_midiFilePath)) != 0) return false;
  m_playButton->enable(true);
  m_rewindButton->enable(true);
  m_positionSlider->enable(true);
  showPosition(0);
  m_stopButton->enable(false);
  m_playing = false;
  m_fileLabel->setLabel(samplerapp::shownFileName(m_midiFilePath));
  return true;
}

// ---------------------------------------------------------------------------------------------
// The recorder.

AudioFileRecorderGUI::AudioFileRecorderGUI(VNT::Window* window, const VNT::Point& origin,
                                           const std::string& dataFolder, bool compact)
    : m_window(window),
      m_panel(new VNT::Panel(window, window->getControlForEmbedding(), origin,
                             {compact ? 215.0 : 290.0, kPanelHeight}, VNT::kNoId, "panelname")) {
  m_recordButton = makeButton(window, m_panel, 0, kRecordId, dataFolder, kRecordImage, this);
  m_stopButton = makeButton(window, m_panel, 1, kStopId, dataFolder, kStopImage, this);
  m_ejectButton = makeButton(window, m_panel, 2, kEjectId, dataFolder, kEjectImage, this);
  m_fileLabel = makeLabel(window, m_panel, 105, compact);

  m_recordButton->enable(false);
  m_stopButton->enable(false);
}

AudioFileRecorderGUI::~AudioFileRecorderGUI() {
  if (m_recording) stop();
}

void AudioFileRecorderGUI::buttonClicked(unsigned id) {
  switch (id) {
    case kRecordId: record(); break;
    case kStopId: stop(); break;
    case kEjectId: load(); break;
    default: break;
  }
}

void AudioFileRecorderGUI::record() {
  const std::string failure = startRecordingInto(m_audioFilePath);
  if (!failure.empty()) {
    // Showing the recording state would claim a recording that is not happening.
    popupModalMessageWindow(nullptr, kAlertTitle, "Recording could not start: " + failure);
    arm();
    return;
  }
  m_recordButton->enable(false);
  m_ejectButton->enable(false);
  m_stopButton->enable(true);
  m_recording = true;
}

void AudioFileRecorderGUI::stop() {
  samplerapp::engineCommand(PE_ENGINE_RECORDING_STOP);
  m_audioFilePath.clear();
  m_stopButton->enable(false);
  m_ejectButton->enable(true);
  m_recording = false;
  m_fileLabel->setLabel("Empty");
}

void AudioFileRecorderGUI::load() {
  const std::string path = selectAudioFile(m_window);
  if (path.empty()) return;
  arm();
  m_audioFilePath = path;
  m_fileLabel->setLabel(samplerapp::shownFileName(path));
}

void AudioFileRecorderGUI::arm() {
  m_recordButton->enable(true);
  m_ejectButton->enable(true);
  m_stopButton->enable(false);
  m_recording = false;
}

}  // namespace vantor
