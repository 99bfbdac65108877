// KeloDeck's main window as a person sees it: the back end brought up through `engineOpcode`
// with the GTK front end, the reference engine installed into the sandboxed preferences and a
// private JACK server with the dummy driver as the audio device. The engine's editor opens in
// the main window above the media bar; a MIDI file chosen through eject (the GTK dialog
// answered by typed keys) plays, moves the slider, and at its end the player stops and rewinds
// by itself. Screenshots go to the build's screenshots folder.
#include <gtk/gtk.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "standalone/app/samplerapp/MainFrontEnd.h"
#include "standalone/app/toolkit/Application.h"
#include "standalone/host/EngineManager.h"
#include "standalone/host/EngineOpcode.h"
#include "tests/standalone/app/toolkit/DisplayFixture.h"
#include "tests/standalone/commands/CommandTestSupport.h"
#include "tests/support/JackDummyServer.h"
#include "tests/support/PreferenceSandbox.h"

// Last: Xlib's macros (None, Status...) would clash with the headers above.
#include <X11/Xlib.h>
#include <gdk/gdkx.h>

KELO_PREFERENCE_SANDBOX();

namespace kelo::test {
namespace {

using vantor::samplerapp::MainFrontEnd;

constexpr int kRate = 48000;
constexpr int kBlock = 256;

GtkWidget* widgetOf(vantor::VNT::NativeControl* control) {
  return GTK_WIDGET(control->getControlHandle());
}

/// Lets GTK run until `done`, for at most `seconds`.
bool waitLong(double seconds, const std::function<bool()>& done) {
  const auto end = std::chrono::steady_clock::now() +
                   std::chrono::milliseconds(static_cast<long>(seconds * 1000));
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    if (!g_main_context_iteration(nullptr, FALSE))
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

/// The children of X11 window `parent` with their sizes.
struct Child {
  ::Window id;
  int x, y;
  unsigned width, height;
};
std::vector<Child> x11Children(::Window parent) {
  Display* display = gdk_x11_display_get_xdisplay(gdk_display_get_default());
  XSync(display, False);
  ::Window root = 0, up = 0;
  ::Window* children = nullptr;
  unsigned count = 0;
  std::vector<Child> found;
  if (XQueryTree(display, parent, &root, &up, &children, &count) == 0) return found;
  for (unsigned i = 0; i < count; ++i) {
    XWindowAttributes attributes{};
    if (XGetWindowAttributes(display, children[i], &attributes) != 0) {
      found.push_back({children[i], attributes.x, attributes.y,
                       static_cast<unsigned>(attributes.width),
                       static_cast<unsigned>(attributes.height)});
    }
  }
  if (children != nullptr) XFree(children);
  return found;
}

class MainWindowOnScreen : public DisplayToolkit {
 protected:
  void SetUp() override {
    DisplayToolkit::SetUp();
    if (IsSkipped()) return;
    requirePreferenceSandbox();
    PreferenceSandbox::clear();
    FailureEcho::install();
    ASSERT_TRUE(server.ready()) << "jackd did not come up";
    engine = std::make_unique<InstalledEngine>();
    std::filesystem::copy(KELO_ENGINE_DATA "/GUI", engine->data.path() + "/GUI");
    vantor::setEngineFrontEnd(&frontEnd);
  }
  void TearDown() override {
    if (up) {
      engineOpcode(PE_ENGINE_AUDIO_STOP, nullptr, nullptr, 0, 0, 0, 0.0f);
      engineOpcode(PE_ENGINE_SHUTDOWN, nullptr, nullptr, 0, 0, 0, 0.0f);
    }
    vantor::setEngineFrontEnd(nullptr);
    DisplayToolkit::TearDown();
  }

  /// 261, the JACK device by 281 (and the server's format), 300, 330, 332.
  void bringUp() {
    ASSERT_EQ(engineOpcode(PE_ENGINE_INITIALIZE, nullptr, nullptr, 0, 0, 0, 0.0f), 0);
    up = true;
    std::int32_t count = 0;
    ASSERT_EQ(engineOpcode(PE_ENGINE_AUDIODEVICE_LIST, nullptr, &count, 0, 0, 0, 0.0f), 0);
    std::vector<PEAudioDeviceRecord> devices(static_cast<std::size_t>(count));
    ASSERT_EQ(engineOpcode(PE_ENGINE_AUDIODEVICE_LIST, devices.data(), &count, count, 0, 0, 0.0f),
              0);
    int id = -1;
    for (const PEAudioDeviceRecord& device : devices) {
      if (id < 0 && std::strstr(device.name, "system") != nullptr) id = device.id;
    }
    ASSERT_GE(id, 0) << "the JACK server's device is not listed";
    ASSERT_EQ(engineOpcode(PE_ENGINE_AUDIODEVICE_SET, nullptr, nullptr, id, 0, 0, 0.0f), 0);
    ASSERT_EQ(engineOpcode(PE_ENGINE_AUDIODEVICE_SETTINGS, nullptr, nullptr, kRate, kBlock, 0, 0.0f),
              0);
    ASSERT_EQ(engineOpcode(PE_ENGINE_AUDIO_START, nullptr, nullptr, 0, 0, 0, 0.0f), 0);
    engineOpcode(PE_ENGINE_INSTRUMENT_ADD, nullptr, nullptr, 0, 0, 0, 0.0f);
    engineOpcode(PE_ENGINE_INSTRUMENT_GUI_SHOW, nullptr, nullptr, 0, 0, 0, 0.0f);
  }

  JackDummyServer server{{.rate = kRate, .period = kBlock}};
  std::unique_ptr<InstalledEngine> engine;
  MainFrontEnd frontEnd;
  bool up = false;
};

TEST_F(MainWindowOnScreen, TheEditorSitsAboveTheMediaBarAndADemoFilePlaysToItsEnd) {
  bringUp();
  if (HasFatalFailure()) return;
  vantor::VNT::MainWindow* window = frontEnd.mainWindow();
  ASSERT_NE(window, nullptr);
  ASSERT_TRUE(frontEnd.hasPlayerPanel());
  vantor::MIDIFilePlayerGUI& player = *frontEnd.player();
  vantor::AudioFileRecorderGUI& recorder = *frontEnd.recorder();
  GtkWidget* content = widgetOf(frontEnd.contentPanel());
  ASSERT_TRUE(waitUntil([&] { return gtk_widget_get_mapped(content); }));
  settle();

  // The client area is the editor's 320 and the media bar's 40 high, and as wide as the bar,
  // which a 420-wide editor would cut off.
  EXPECT_EQ(gtk_widget_get_allocated_width(content), 680);
  EXPECT_EQ(gtk_widget_get_allocated_height(content), 360);
  int x = -1, y = -1;
  gtk_widget_translate_coordinates(widgetOf(player.getPanel()), content, 0, 0, &x, &y);
  EXPECT_EQ(x, 0);
  EXPECT_EQ(y, 320);
  gtk_widget_translate_coordinates(widgetOf(recorder.getPanel()), content, 0, 0, &x, &y);
  EXPECT_EQ(x, 390);  // the editor is narrower than 755
  EXPECT_EQ(y, 320);
  EXPECT_EQ(player.getFileLabel()->getLabel(), "Empty");
  EXPECT_EQ(recorder.getFileLabel()->getLabel(), "Empty");

  // The engine's own window is a child of the content panel's X11 window, at its top-left.
  bool editorFound = false;
  std::string seen;
  for (const Child& child : x11Children(window->getContentX11Window())) {
    if (child.x == 0 && child.y == 0 && child.width == 420 && child.height == 320)
      editorFound = true;
    seen.append(" ").append(std::to_string(child.width)).append("x");
    seen.append(std::to_string(child.height)).append("+").append(std::to_string(child.x));
    seen.append("+").append(std::to_string(child.y));
  }
  EXPECT_TRUE(editorFound) << "no 420 x 320 child window at the content panel's top-left:" << seen;
  screenshot("kelodeck-main-window", screenRectOf(content));

  // Eject: the MIDI file question, answered by typed keys.
  int steps = 0;
  const vantor::VNT::TimerId answerer =
      answerFileDialog("Select a MIDI file", KELO_DEMO_MIDI, "kelodeck-select-midi-file", steps);
  const vantor::VNT::Point eject = centreOf(widgetOf(player.getEjectButton()));
  ASSERT_TRUE(clickAt(eject.x, eject.y));
  ASSERT_TRUE(waitLong(20, [&] { return player.getFileLabel()->getLabel() == "demo"; }))
      << "the demo file was not loaded through eject";
  vantor::VNT::removeTimer(answerer);
  EXPECT_GE(steps, 4);
  EXPECT_TRUE(gtk_widget_get_sensitive(widgetOf(player.getPlayButton())));
  EXPECT_FALSE(gtk_widget_get_sensitive(widgetOf(player.getStopButton())));
  screenshot("kelodeck-demo-loaded", screenRectOf(content));
  // The media bar's seven buttons show whole under the theme.
  EXPECT_EQ(expectButtonsWhole(content, screenRectOf(content)), 7);

  // Play moves the slider; at the end the player stops and rewinds by itself.
  GtkRange* slider = GTK_RANGE(widgetOf(player.getPositionSlider()));
  const vantor::VNT::Point play = centreOf(widgetOf(player.getPlayButton()));
  ASSERT_TRUE(clickAt(play.x, play.y));
  ASSERT_TRUE(waitLong(10, [&] { return player.isPlaying(); }));
  EXPECT_TRUE(gtk_widget_get_sensitive(widgetOf(player.getStopButton())));
  ASSERT_TRUE(waitLong(20, [&] { return gtk_range_get_value(slider) >= 10; }))
      << "the slider did not move while playing";
  screenshot("kelodeck-playing", screenRectOf(content));
  ASSERT_TRUE(waitLong(90, [&] { return !player.isPlaying(); }))
      << "the player did not stop at the file's end";
  EXPECT_TRUE(waitLong(20, [&] { return gtk_range_get_value(slider) == 0; }));
  EXPECT_TRUE(gtk_widget_get_sensitive(widgetOf(player.getPlayButton())));
  EXPECT_FALSE(gtk_widget_get_sensitive(widgetOf(player.getStopButton())));
  double position = -1;
  engineOpcode(PE_ENGINE_MIDI_POSITION_GET, &position, nullptr, 0, 0, 0, 0.0f);
  EXPECT_EQ(position, 0.0);
  screenshot("kelodeck-rewound", screenRectOf(content));
  EXPECT_EQ(engine->findings(), 0);
}

}  // namespace
}  // namespace kelo::test
