// The two dialogs on an X server (run under xvfb-run -a) over a scripted back end, used as a
// person would: buttons clicked and file names typed through xdotool, screenshots of the
// dialogs and of the progress window saved for a person to look at.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "VNL/source/Alerts.h"
#include "standalone/app/samplerapp/Dialogs.h"
#include "standalone/app/toolkit/Application.h"
#include "tests/standalone/app/samplerapp/ScriptedBackEnd.h"
#include "tests/standalone/app/toolkit/DisplayFixture.h"

namespace kelo::test {
namespace {

using vantor::VNT::Point;
using vantor::VNT::Rect;
using vantor::VNT::TimerId;

Rect areaOf(GtkWidget* window) {
  int x = 0, y = 0;
  gdk_window_get_origin(gtk_widget_get_window(window), &x, &y);
  return {static_cast<double>(x), static_cast<double>(y),
          static_cast<double>(gtk_widget_get_allocated_width(window)),
          static_cast<double>(gtk_widget_get_allocated_height(window))};
}

void collectLabels(GtkWidget* root, std::vector<std::string>& texts) {
  if (GTK_IS_LABEL(root)) texts.push_back(gtk_label_get_text(GTK_LABEL(root)));
  if (GTK_IS_BUTTON(root) || !GTK_IS_CONTAINER(root)) return;
  GList* children = gtk_container_get_children(GTK_CONTAINER(root));
  for (GList* item = children; item != nullptr; item = item->next)
    collectLabels(GTK_WIDGET(item->data), texts);
  g_list_free(children);
}

void collectButtons(GtkWidget* root, const std::string& label, std::vector<GtkWidget*>& found) {
  if (GTK_IS_BUTTON(root)) {
    const char* text = gtk_button_get_label(GTK_BUTTON(root));
    if (text != nullptr && label == text) found.push_back(root);
  }
  if (!GTK_IS_CONTAINER(root)) return;
  GList* children = gtk_container_get_children(GTK_CONTAINER(root));
  for (GList* item = children; item != nullptr; item = item->next)
    collectButtons(GTK_WIDGET(item->data), label, found);
  g_list_free(children);
}

class DialogsOnDisplay : public DisplayToolkit {
 protected:
  void SetUp() override {
    DisplayToolkit::SetUp();
    if (IsSkipped()) return;
    vantor::setAlertBackend(&alerts);
  }
  void TearDown() override {
    vantor::setAlertBackend(nullptr);
    DisplayToolkit::TearDown();
  }
  /// The toplevel titled `title`, made active (no window manager gives it the focus); null
  /// until it is there and active.
  static GtkWidget* activeToplevel(const std::string& title) {
    GtkWidget* window = toplevelTitled(title);
    if (window == nullptr || !gtk_widget_get_mapped(window)) return nullptr;
    if (!gtk_window_is_active(GTK_WINDOW(window))) {
      gtk_window_present(GTK_WINDOW(window));
      return nullptr;
    }
    return window;
  }
  static bool click(GtkWidget* button) {
    const Point at = centreOf(button);
    return clickAt(at.x, at.y);
  }

  ScriptedBackEnd back;
  vantor::RecordingAlertBackend alerts;
};

TEST_F(DialogsOnDisplay, PreferencesShowTheDevicesAndCloseWithOK) {
  back.audioDevices = {{0, 10, "system (JACK)", 2, {44100, 48000}, {256, 512}},
                       {1, 10, "Dummy 8 out", 8, {48000}, {512}}};
  back.currentDevice = 0;
  back.rate = 48000;
  back.size = 256;
  back.midiDevices = {{4, "jack_midiseq (in)"}, {5, "Keys (in)"}};
  back.enabledMIDI = {5};
  back.playing = true;
  bool shot = false;
  const TimerId timer = vantor::VNT::addTimer(0.3, 0.3, [&] {
    GtkWidget* dialog = activeToplevel("Preferences");
    if (dialog == nullptr) return;
    if (!shot) {
      shot = true;
      screenshot("kelodeck-preferences", areaOf(dialog));
      // OK, Cancel and the four choices' buttons show whole under the theme.
      EXPECT_GE(expectButtonsWhole(dialog, areaOf(dialog)), 6);
      std::vector<std::string> texts;
      collectLabels(dialog, texts);
      for (const char* label : {"MIDI Devices", "Audio Device", "Stereo Pair", "Sample Rate",
                                "Buffer Size"})
        EXPECT_NE(std::find(texts.begin(), texts.end(), label), texts.end()) << label;
      return;
    }
    std::vector<GtkWidget*> ok;
    collectButtons(dialog, "OK", ok);
    ASSERT_EQ(ok.size(), 1u);
    click(ok[0]);
  });
  vantor::samplerapp::showPreferences();
  vantor::VNT::removeTimer(timer);
  EXPECT_TRUE(shot);
  settle();
  EXPECT_EQ(toplevelTitled("Preferences"), nullptr);
  EXPECT_EQ(back.callsOf(PE_ENGINE_AUDIODEVICE_SETTINGS).size(), 2u);
  EXPECT_TRUE(back.playing);
}

TEST_F(DialogsOnDisplay, RenderOfflineChoosesFilesInTheFileDialogsAndShowsItsProgress) {
  const std::filesystem::path folder =
      std::filesystem::temp_directory_path() / ("kelo-dialogs-" + std::to_string(getpid()));
  std::filesystem::create_directories(folder);
  const std::string midi = (folder / "demo.mid").string();
  const std::string audio = (folder / "render.aiff").string();
  std::FILE* file = std::fopen(midi.c_str(), "w");
  ASSERT_NE(file, nullptr);
  std::fclose(file);

  // Half way for a while, so that the progress window can be looked at; then the end of the
  // file and a recording that finishes after three ticks.
  back.positions = {0.1, 0.3, 0.5, 0.5, 0.5, 0.5, 0.5, 1.0};
  int closing = 0;
  back.onCall = [&](const ScriptedBackEnd::Call& call) {
    if (call.command == PE_ENGINE_RECORDING_ISRECORDING && ++closing == 3) back.recording = false;
  };

  // One step a tick, each waiting for what it needs to be on screen.
  int step = 0;
  bool progressShot = false;
  bool saveShot = false;
  FieldWatch midiField;
  FieldWatch audioField;
  int midiReturns = 0;
  int audioReturns = 0;
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(120);
  const TimerId timer = vantor::VNT::addTimer(0.4, 0.3, [&] {
    if (std::chrono::steady_clock::now() > end) {
      // Whatever dialog is open is cancelled: the test fails on what is missing, never hangs.
      ADD_FAILURE() << "stuck at step " << step;
      for (const char* title : {"Select a MIDI file", "Record Audio into"}) {
        if (GtkWidget* question = toplevelTitled(title)) {
          gtk_dialog_response(GTK_DIALOG(question), GTK_RESPONSE_CANCEL);
        }
      }
      if (GtkWidget* render = toplevelTitled("Render Offline")) gtk_window_close(GTK_WINDOW(render));
      return;
    }
    GtkWidget* dialog = toplevelTitled("Render Offline");
    std::vector<GtkWidget*> dots;
    if (dialog != nullptr) collectButtons(dialog, "...", dots);
    switch (step) {
      case 0:
        if (activeToplevel("Render Offline") == nullptr) return;
        ASSERT_EQ(dots.size(), 2u);
        click(dots[0]);  // the MIDI file's
        break;
      case 1:
      case 2: {
        GtkWidget* question = activeToplevel("Select a MIDI file");
        if (question == nullptr || (step == 2 && !fieldTakesKeys(question))) return;
        xdotool(step == 1 ? "key ctrl+l" : "type --delay 20 '" + midi + "'");
        break;
      }
      case 3: {  // Return until the dialog has taken the typed name
        if (!back.callsOf(PE_ENGINE_MIDI_LOAD).empty()) break;
        GtkWidget* question = activeToplevel("Select a MIDI file");
        if (question != nullptr && fieldHolds(question, midi, midiField)) pressReturn(midiReturns);
        return;
      }
      case 4:
        if (activeToplevel("Render Offline") == nullptr) return;
        click(dots[1]);  // the audio file's
        break;
      case 5:
      case 6: {
        GtkWidget* question = activeToplevel("Render Audio into");
        if (question == nullptr || !fieldTakesKeys(question)) return;
        xdotool(step == 5 ? "key ctrl+a" : "type --delay 20 '" + audio + "'");
        break;
      }
      case 7: {
        GtkWidget* save = toplevelTitled("Render Audio into");
        if (save == nullptr || !gtk_widget_get_mapped(save)) break;
        if (activeToplevel("Render Audio into") == nullptr) return;
        if (!fieldHolds(save, audio, audioField)) return;
        if (!saveShot) screenshot("kelodeck-render-save-question", areaOf(save));
        saveShot = true;
        pressReturn(audioReturns);
        return;
      }
      case 8: {
        if (activeToplevel("Render Offline") == nullptr) return;
        screenshot("kelodeck-render-offline", areaOf(dialog));
        EXPECT_EQ(expectButtonsWhole(dialog, areaOf(dialog)), 4);
        std::vector<std::string> texts;
        collectLabels(dialog, texts);
        EXPECT_NE(std::find(texts.begin(), texts.end(), "demo"), texts.end());
        EXPECT_NE(std::find(texts.begin(), texts.end(), "render"), texts.end());
        std::vector<GtkWidget*> render;
        collectButtons(dialog, "Render", render);
        ASSERT_EQ(render.size(), 1u);
        EXPECT_TRUE(gtk_widget_get_sensitive(render[0]));
        click(render[0]);
        break;
      }
      case 9: {
        GtkWidget* progress = toplevelTitled("Rendering");
        if (progress == nullptr || back.callsOf(PE_ENGINE_MIDI_POSITION_GET).size() < 4) return;
        progressShot = true;
        screenshot("kelodeck-render-progress", areaOf(progress));
        break;
      }
      case 10: {
        if (back.callsOf(PE_ENGINE_OFFLINE_SET).size() < 2) return;
        settle();
        EXPECT_EQ(toplevelTitled("Rendering"), nullptr);
        screenshot("kelodeck-render-offline-done", areaOf(dialog));
        std::vector<GtkWidget*> close;
        collectButtons(dialog, "Close", close);
        ASSERT_EQ(close.size(), 1u);
        click(close[0]);
        break;
      }
      default: return;
    }
    ++step;
  });
  vantor::samplerapp::showRenderOffline();
  vantor::VNT::removeTimer(timer);
  EXPECT_EQ(step, 11);
  EXPECT_TRUE(progressShot);
  ASSERT_EQ(back.callsOf(PE_ENGINE_MIDI_LOAD).size(), 1u);
  EXPECT_EQ(back.callsOf(PE_ENGINE_MIDI_LOAD)[0].text, midi);
  ASSERT_EQ(back.callsOf(PE_ENGINE_RECORDING_FILE_SET).size(), 1u);
  EXPECT_EQ(back.callsOf(PE_ENGINE_RECORDING_FILE_SET)[0].text, audio);
  EXPECT_EQ(back.calls.back().command, PE_ENGINE_OFFLINE_SET);
  EXPECT_EQ(back.calls.back().i1, 0);
  EXPECT_TRUE(alerts.shown().empty());
  std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace kelo::test
