// The KeloDeck program as a person meets it, under an X server (xvfb-run -a) with a private
// JACK server: the reference engine installed in the sandbox, the preferences naming JACK's
// "system" device. Keys and clicks go through xdotool: Ctrl+, and Ctrl+R open the preferences
// and render-offline dialogs, the media bar loads and plays the demo file, the menus' Ctrl+S
// and Ctrl+O are answered in the GTK file dialogs by typed keys; Ctrl+Q and SIGTERM each end
// the program with status 0, the device keys saved and the program log closed. Each test has a
// session bus of its own, on which a second launch finds the running player.
#include <signal.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <set>
#include <sstream>
#include <thread>
#include <utility>

#include <gtest/gtest.h>

#include "VNL/source/Config.h"
#include "tests/standalone/commands/CommandTestSupport.h"
#include "tests/support/JackDummyServer.h"
#include "tests/support/PreferenceSandbox.h"
#include "tests/support/RunProgram.h"
#include "tests/support/ScopedEnvironment.h"
#include "tests/support/SessionBus.h"
#include "tests/support/TempDir.h"
#include "tests/support/x11/WindowCapture.h"

// Last: its macros (None, Status) clash with GoogleTest.
#include <X11/Xlib.h>

KELO_PREFERENCE_SANDBOX();

namespace {

const std::string kDomain = "com.Sorvelin.KELO PlayerSA";

using kelo::test::pictureDigest;

bool waitFor(const std::function<bool()>& done, int seconds = 20) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (std::chrono::steady_clock::now() < end) {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return done();
}

// The visible window titled exactly `title` now, 0 when there is none.
unsigned long shownWindowTitled(const std::string& title) {
  const auto run = kelo::test::runProgram(
      "xdotool", {"search", "--onlyvisible", "--name", "^" + title + "$"});
  return run.status == 0 && !run.out.empty() ? std::stoul(run.out) : 0;
}

// The visible window titled exactly `title`, 0 when none came within `seconds`.
unsigned long windowTitled(const std::string& title, int seconds = 20) {
  unsigned long id = 0;
  waitFor([&] { return (id = shownWindowTitled(title)) != 0; }, seconds);
  return id;
}

bool xdotool(const std::vector<std::string>& arguments) {
  return kelo::test::runProgram("xdotool", arguments).status == 0;
}

bool windowExists(unsigned long window) {
  return kelo::test::runProgram("xdotool", {"getwindowname", std::to_string(window)}).status == 0;
}

// Whether `window` is drawn: some dark pixels, but not the black of a window not yet drawn.
bool drawn(Display* display, unsigned long window) {
  XWindowAttributes size{};
  if (XGetWindowAttributes(display, window, &size) == 0) return false;
  const int dark = kelo::test::countDarkPixels(display, window, 0, 0, size.width, size.height);
  return dark > 20 && dark < size.width * size.height / 4;
}

// Saves the whole window as screenshots/<name>.ppm; answers its dark pixels.
int screenshot(Display* display, unsigned long window, const std::string& name) {
  XWindowAttributes size{};
  XGetWindowAttributes(display, window, &size);
  return kelo::test::captureWindow(display, window, size.width, size.height,
                                   std::string(KELO_SCREENSHOT_DIR) + "/" + name + ".ppm");
}

// Whether `window` shows something other than `before` and keeps showing it for a second and
// a half: a blinking text cursor alone comes back to `before` sooner.
bool showsOtherThan(Display* display, unsigned long window, std::uint64_t before) {
  for (int look = 0; look < 8; ++look) {
    const std::uint64_t now = pictureDigest(display, window);
    if (now == 0 || now == before) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  }
  return true;
}

// Answers file dialog `dialog` as a person would, looking before each key: once it is drawn
// and still, `firstKeys` are pressed, each once what it changed is drawn (the field Ctrl+L
// shows takes keys only from its first layout on; a loaded program that handles the key and
// the typed text together drops the text). `text` is typed and Return pressed. A dialog that
// answers Return by showing something else, the folder of a typed path instead of opening
// the file, gets the name typed over the field's text and Return again; one that shows the
// same is left to close, however long that takes under load, since it checks the typed file
// after the key and keys sent meanwhile would reach the window behind it. A `held` program
// is stopped for three seconds from the first key on, as a loaded machine holds it back.
bool answerDialog(Display* display, unsigned long dialog, const std::vector<std::string>& firstKeys,
                  const std::string& text, pid_t held = 0) {
  if (!xdotool({"windowfocus", "--sync", std::to_string(dialog)})) return false;
  if (!waitFor([&] { return drawn(display, dialog); })) return false;
  // Still: the folder's files listed, so that a change after a key is the key's.
  std::uint64_t shown = 0;
  waitFor([&] {
    const std::uint64_t previous = std::exchange(shown, pictureDigest(display, dialog));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    return shown != 0 && shown == previous;
  }, 10);
  std::jthread holding;  // joined on every way out, the program running again
  if (held != 0 && kill(held, SIGSTOP) == 0) {
    holding = std::jthread([held] {
      std::this_thread::sleep_for(std::chrono::seconds(3));
      kill(held, SIGCONT);
    });
  }
  for (const std::string& key : firstKeys) {
    const std::uint64_t before = pictureDigest(display, dialog);
    if (!xdotool({"key", "--clearmodifiers", key})) return false;
    if (!waitFor([&] { return pictureDigest(display, dialog) != before; })) return false;
  }
  for (int presses = 0; presses < 4; ++presses) {
    if (presses > 0 && !xdotool({"key", "--clearmodifiers", "ctrl+a"})) return false;
    if (!xdotool({"type", "--delay", "20", text})) return false;
    const std::uint64_t before = pictureDigest(display, dialog);
    if (!xdotool({"key", "Return"})) return false;
    waitFor([&] { return !windowExists(dialog) || showsOtherThan(display, dialog, before); }, 30);
    if (!windowExists(dialog)) return true;
  }
  screenshot(display, dialog, "kelodeck-program-unanswered-dialog");
  return false;
}

// The program's visible windows now.
std::set<unsigned long> shownWindowsOf(pid_t pid) {
  const auto run =
      kelo::test::runProgram("xdotool", {"search", "--onlyvisible", "--pid", std::to_string(pid)});
  std::set<unsigned long> windows;
  std::istringstream lines(run.out);
  for (unsigned long id = 0; lines >> id;) windows.insert(id);
  return windows;
}

std::size_t occurrences(const std::string& text, const std::string& fragment) {
  std::size_t count = 0;
  for (auto at = text.find(fragment); at != std::string::npos; at = text.find(fragment, at + 1))
    ++count;
  return count;
}

bool click(unsigned long window, int x, int y) {
  return xdotool({"mousemove", "--sync", "--window", std::to_string(window), std::to_string(x),
                  std::to_string(y), "click", "1"});
}

bool pressKeys(unsigned long window, const std::string& keys) {
  return xdotool({"windowfocus", "--sync", std::to_string(window)}) &&
         xdotool({"key", "--clearmodifiers", keys});
}

std::string logText() { return kelo::test::readFile(kelo::test::programLogPath()); }

bool logHas(const std::string& fragment) { return logText().find(fragment) != std::string::npos; }

int logCount(const std::string& fragment) {
  const std::string text = logText();
  int found = 0;
  for (std::size_t at = 0; (at = text.find(fragment, at)) != std::string::npos; ++at) ++found;
  return found;
}

class KeloDeckDisplay : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::getenv("DISPLAY") == nullptr) GTEST_SKIP() << "no display (run under xvfb-run -a)";
    // Held through the test: an X server resets when its last client leaves (Xvfb by
    // default), and a KeloDeck connecting during the reset, just after one of the test's own
    // short-lived clients, finds no display.
    held.reset(XOpenDisplay(nullptr));
    ASSERT_NE(held, nullptr) << "no X display";
    kelo::test::requirePreferenceSandbox();
    kelo::test::PreferenceSandbox::clear();
    bus = std::make_unique<kelo::test::SessionBus>();
    ASSERT_TRUE(bus->ready());
    engine = std::make_unique<kelo::test::InstalledEngine>();
    // The media bar's button images, as the installed data folder has them.
    std::filesystem::copy(KELO_ENGINE_DATA "/GUI", engine->data.path() + "/GUI");
    jack = std::make_unique<kelo::test::JackDummyServer>();
    ASSERT_TRUE(jack->ready());
    vantor::writeConfigStringValue(kDomain, "audiodevice", "system", vantor::CONFIG_LEVEL_USER);
    vantor::writeConfigIntValue(kDomain, "audiodeviceapi", 10, vantor::CONFIG_LEVEL_USER);
    vantor::writeConfigIntValue(kDomain, "firstUse", 0, vantor::CONFIG_LEVEL_USER);
  }

  // Starts the program and waits a minute for its window: under the sanitizers on a busy
  // machine a start-up has shown none within 20 seconds.
  unsigned long start(const std::string& path = KELODECK) {
    program = std::make_unique<kelo::test::ChildProgram>(std::vector<std::string>{path},
                                                         output.file("output"));
    return windowTitled("Sorvelin KELO Player", 60);
  }

  // A state file of this engine at `path`: Save as Default writes one without asking.
  void saveStateFile(unsigned long window, const std::string& path) {
    const std::string saved = std::filesystem::path(kelo::test::programLogPath())
                                  .replace_filename("default.kelo")
                                  .string();
    ASSERT_TRUE(pressKeys(window, "ctrl+d"));
    ASSERT_TRUE(waitFor([&] {
      struct stat status {};
      return stat(saved.c_str(), &status) == 0 && status.st_size > 0;
    })) << logText();
    std::filesystem::copy_file(saved, path);
  }

  // Why no window came: how the program stands, what it wrote before its log took its output,
  // and the log.
  std::string noWindow() {
    return "KeloDeck showed no window; " + program->describe() + "\nits output:\n" +
           kelo::test::readFile(output.file("output")) + "\nthe log:\n" + logText();
  }

  // What a clean end leaves: status 0, the device keys, the log closed.
  void expectCleanEnd() {
    EXPECT_EQ(program->wait(30), 0) << program->describe() << "\nits output:\n"
                                    << kelo::test::readFile(output.file("output"));
    std::string device;
    EXPECT_TRUE(vantor::readConfigStringValue(kDomain, "audiodevice", device,
                                              vantor::CONFIG_LEVEL_USER));
    EXPECT_EQ(device, "system");
    int count = -1;
    EXPECT_TRUE(vantor::readConfigIntValue(kDomain, "nbmididevice", count,
                                           vantor::CONFIG_LEVEL_USER));
    EXPECT_GE(count, 1);
    int rate = 0;
    EXPECT_TRUE(vantor::readConfigIntValue(kDomain, "samplerate", rate, vantor::CONFIG_LEVEL_USER));
    EXPECT_EQ(rate, 48000);
    const std::string text = logText();
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text.back(), '@');
    EXPECT_NE(text.find("PE_ENGINE_SHUTDOWN"), std::string::npos);
  }

  std::unique_ptr<kelo::test::SessionBus> bus;
  std::unique_ptr<kelo::test::InstalledEngine> engine;
  std::unique_ptr<kelo::test::JackDummyServer> jack;
  kelo::test::TempDir output;
  std::unique_ptr<kelo::test::ChildProgram> program;
  std::unique_ptr<Display, int (*)(Display*)> held{nullptr, XCloseDisplay};
};

TEST_F(KeloDeckDisplay, MenusStateFilesAndQuit) {
  const unsigned long window = start();
  ASSERT_NE(window, 0u) << noWindow();
  ASSERT_TRUE(waitFor([] { return logHas("PE_ENGINE_INSTRUMENT_GUI_SHOW"); }));

  // Open until the dialogs' screenshots are taken, whichever way the test leaves.
  const std::unique_ptr<Display, int (*)(Display*)> connection(XOpenDisplay(nullptr),
                                                               XCloseDisplay);
  Display* const display = connection.get();
  ASSERT_NE(display, nullptr);
  // Settled: the menu bar above the editor, the media bar drawn under it (not yet drawn, it is
  // black), all of it as wide as the media bar.
  constexpr int kMenuBarRows = 20;
  constexpr int kMediaBarRows = 40;
  XWindowAttributes attributes{};
  const auto mediaBarDark = [&] {
    return kelo::test::countDarkPixels(display, window, 0, attributes.height - kMediaBarRows,
                                       attributes.width, kMediaBarRows);
  };
  EXPECT_TRUE(waitFor([&] {
    XGetWindowAttributes(display, window, &attributes);
    return attributes.width >= 680 && attributes.height > 360 + kMenuBarRows &&
           mediaBarDark() < attributes.width * kMediaBarRows / 4;
  }, 10)) << attributes.width << " x " << attributes.height;
  // The menu titles draw dark pixels in the top strip; the media bar's buttons and slider in
  // the bottom one, on a light ground.
  const auto menuBarDark = [&] {
    return kelo::test::countDarkPixels(display, window, 0, 0, attributes.width, kMenuBarRows);
  };
  EXPECT_TRUE(waitFor([&] { return menuBarDark() > 20 && mediaBarDark() > 20; }))
      << menuBarDark() << " and " << mediaBarDark() << " dark pixels";
  screenshot(display, window, "kelodeck-menus");

  // A JACK MIDI client started now reaches the device manager through the main loop.
  kelo::test::ChildProgram sequencer(
      {"jack_midiseq", jack->clientName("kdseq"), "24000", "0", "60", "12000"});
  EXPECT_TRUE(waitFor([&] {
    return logHas(jack->clientName("kdseq")) && logHas(" added");
  })) << "no hot-plug line in the program log";

  // The menus' dialogs open on their keys and close with their own buttons.
  const struct {
    const char* keys;
    const char* title;
    const char* screenshot;
    int closeX, closeY;  // Cancel, Close
  } dialogs[] = {{"ctrl+comma", "Preferences", "kelodeck-program-preferences", 259, 326},
                 {"ctrl+r", "Render Offline", "kelodeck-program-render-offline", 326, 150}};
  for (const auto& d : dialogs) {
    SCOPED_TRACE(d.title);
    ASSERT_TRUE(pressKeys(window, d.keys));
    const unsigned long dialog = windowTitled(d.title);
    ASSERT_NE(dialog, 0u);
    // Drawn, and so laid out: its buttons are where the clicks go.
    EXPECT_TRUE(waitFor([&] { return drawn(display, dialog); }));
    EXPECT_GT(screenshot(display, dialog, d.screenshot), 20);
    ASSERT_TRUE(click(dialog, d.closeX, d.closeY));
    EXPECT_TRUE(waitFor([&] { return shownWindowTitled(d.title) == 0; })) << "still open";
  }

  // The media bar: eject asks for a MIDI file, play plays it. The question is answered with
  // the program held back a moment, as a loaded machine holds it: the name must still arrive.
  const int buttonY = attributes.height - kMediaBarRows + 20;
  ASSERT_TRUE(click(window, 82, buttonY));
  const unsigned long openDialog = windowTitled("Select a MIDI file");
  ASSERT_NE(openDialog, 0u);
  ASSERT_TRUE(answerDialog(display, openDialog, {"ctrl+l"}, KELO_DEMO_MIDI, program->pid()));
  EXPECT_TRUE(waitFor([] { return logHas("PE_ENGINE_MIDI_LOAD"); }));
  ASSERT_TRUE(click(window, 22, buttonY));
  EXPECT_TRUE(waitFor([] { return logHas("PE_ENGINE_MIDI_PLAY"); }));

  kelo::test::TempDir files;
  const std::string saved = files.file("state");
  ASSERT_TRUE(pressKeys(window, "ctrl+s"));
  const unsigned long saveDialog = windowTitled("Save kelo file");
  ASSERT_NE(saveDialog, 0u);
  ASSERT_TRUE(answerDialog(display, saveDialog, {}, saved));
  ASSERT_TRUE(waitFor([&] {
    struct stat status {};
    return stat((saved + ".kelo").c_str(), &status) == 0 && status.st_size > 0;
  })) << "no state file written; the log:\n" << logText();
  EXPECT_TRUE(logHas("PE_ENGINE_INSTRUMENT_CHUNK_SAVE_END"));

  ASSERT_TRUE(pressKeys(window, "ctrl+o"));
  const unsigned long loadDialog = windowTitled("Load kelo file");
  ASSERT_NE(loadDialog, 0u);
  ASSERT_TRUE(answerDialog(display, loadDialog, {"ctrl+l"}, saved + ".kelo"));
  EXPECT_TRUE(waitFor([] { return logHas("PE_ENGINE_INSTRUMENT_CHUNK_LOAD"); })) << logText();
  EXPECT_FALSE(logHas("load chunk")) << logText();

  ASSERT_TRUE(pressKeys(window, "ctrl+q"));
  expectCleanEnd();
}

// One player per session: a second launch with a state file (as a file manager or xdg-open
// starts it) hands the file to the running player and ends at once, leaving its log, its
// preferences and its audio device alone.
TEST_F(KeloDeckDisplay, ASecondLaunchHandsItsFileToTheRunningPlayer) {
  const unsigned long window = start();
  ASSERT_NE(window, 0u) << noWindow();
  ASSERT_TRUE(waitFor([] { return logHas("PE_ENGINE_INSTRUMENT_GUI_SHOW"); }));
  kelo::test::TempDir files;
  const std::string song = files.file("song.kelo");
  ASSERT_NO_FATAL_FAILURE(saveStateFile(window, song));
  const int loadsBefore = logCount("PE_ENGINE_INSTRUMENT_CHUNK_LOAD");
  const int startsBefore = logCount("PE_ENGINE_INITIALIZE");
  const std::string preferences = kelo::test::PreferenceSandbox::userLibrary() +
                                  "/Preferences/" + kDomain + ".plist";
  const std::string preferencesBefore = kelo::test::readFile(preferences);
  const auto logFolder = std::filesystem::path(kelo::test::programLogPath()).parent_path();
  const auto namesInLogFolder = [&] {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(logFolder))
      names.insert(entry.path().filename().string());
    return names;
  };
  const std::set<std::string> logFolderBefore = namesInLogFolder();

  kelo::test::ChildProgram second({KELODECK, song}, output.file("second"));
  EXPECT_EQ(second.wait(30), 0) << second.describe() << "\n"
                                << kelo::test::readFile(output.file("second"));
  EXPECT_TRUE(waitFor([&] { return logCount("PE_ENGINE_INSTRUMENT_CHUNK_LOAD") > loadsBefore; }))
      << logText();
  EXPECT_FALSE(logHas("load chunk")) << logText();
  EXPECT_EQ(kelo::test::readFile(preferences), preferencesBefore);
  EXPECT_EQ(namesInLogFolder(), logFolderBefore) << "no log moved aside, none added";
  EXPECT_EQ(logCount("PE_ENGINE_INITIALIZE"), startsBefore) << "one back end in the log";

  ASSERT_TRUE(pressKeys(window, "ctrl+q"));
  expectCleanEnd();
}

// Installed for the user (scripts/install-kelodeck), KeloDeck is the application of state files:
// one opened from the desktop (xdg-open, as a file manager does) goes to the running player.
TEST_F(KeloDeckDisplay, AStateFileOpenedFromTheDesktopGoesToTheRunningPlayer) {
  std::string errors;
  const auto installed = kelo::test::runProgram(
      "bash", {KELO_SOURCE_DIR "/scripts/install-kelodeck", KELO_BUILD_DIR}, errors);
  ASSERT_EQ(installed.status, 0) << installed.out << errors;
  const std::string data = kelo::test::PreferenceSandbox::home() + "/.local/share";
  const std::string desktopFile = data + "/applications/KeloDeck.desktop";
  const std::string installedProgram = data + "/vantor/KeloDeck/KeloDeck";
  const auto validation = kelo::test::runProgram("desktop-file-validate", {desktopFile}, errors);
  EXPECT_EQ(validation.status, 0) << validation.out << errors;
  EXPECT_EQ(validation.out, "");
  const std::string entry = kelo::test::readFile(desktopFile);
  EXPECT_NE(entry.find("\nExec=" + installedProgram + " %f\n"), std::string::npos) << entry;
  EXPECT_NE(entry.find("\nIcon=kelodeck\n"), std::string::npos) << entry;
  EXPECT_TRUE(std::filesystem::is_regular_file(data + "/icons/hicolor/64x64/apps/kelodeck.png"));

  const unsigned long window = start(installedProgram);
  ASSERT_NE(window, 0u) << noWindow();
  ASSERT_TRUE(waitFor([] { return logHas("PE_ENGINE_INSTRUMENT_GUI_SHOW"); }));
  kelo::test::TempDir files;
  const std::string song = files.file("song.kelo");
  ASSERT_NO_FATAL_FAILURE(saveStateFile(window, song));
  std::filesystem::copy_file(song, files.file("LOUD.KELO"));
  for (const std::string& file : {song, files.file("LOUD.KELO")})
    EXPECT_EQ(kelo::test::runProgram("xdg-mime", {"query", "filetype", file}).out,
              "application/x-kelodeck-state\n")
        << file;
  EXPECT_EQ(kelo::test::runProgram("xdg-mime", {"query", "default", "application/x-kelodeck-state"})
                .out,
            "KeloDeck.desktop\n");

  const int loadsBefore = logCount("PE_ENGINE_INSTRUMENT_CHUNK_LOAD");
  const int startsBefore = logCount("PE_ENGINE_INITIALIZE");
  const auto opened = kelo::test::runProgram("timeout", {"60", "xdg-open", song}, errors);
  EXPECT_EQ(opened.status, 0) << opened.out << errors;
  EXPECT_TRUE(waitFor([&] { return logCount("PE_ENGINE_INSTRUMENT_CHUNK_LOAD") > loadsBefore; }))
      << logText();
  EXPECT_FALSE(logHas("load chunk")) << logText();
  EXPECT_EQ(logCount("PE_ENGINE_INITIALIZE"), startsBefore) << "one back end in the log";

  ASSERT_TRUE(pressKeys(window, "ctrl+q"));
  expectCleanEnd();
}

// With no session bus to register on, the player runs on its own.
TEST_F(KeloDeckDisplay, WithoutASessionBusItStillStarts) {
  kelo::test::ScopedEnvironment environment;
  environment.set("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + output.file("no-bus"));
  const unsigned long window = start();
  ASSERT_NE(window, 0u) << noWindow();
  ASSERT_TRUE(waitFor([] { return logHas("PE_ENGINE_INSTRUMENT_GUI_SHOW"); }));
  ASSERT_TRUE(pressKeys(window, "ctrl+q"));
  expectCleanEnd();
}

TEST_F(KeloDeckDisplay, SigtermEndsLikeQuit) {
  ASSERT_NE(start(), 0u) << noWindow();
  ASSERT_EQ(::kill(program->pid(), SIGTERM), 0);
  expectCleanEnd();
}

TEST_F(KeloDeckDisplay, SigtermDuringStartUpEndsLikeQuitOnceTheMainLoopRuns) {
  std::remove(kelo::test::programLogPath().c_str());
  program = std::make_unique<kelo::test::ChildProgram>(std::vector<std::string>{KELODECK});
  ASSERT_TRUE(waitFor([] { return logHas("PE_ENGINE_INITIALIZE OK"); }));
  ASSERT_EQ(::kill(program->pid(), SIGTERM), 0);
  expectCleanEnd();
}

// The JACK server ends under a running player: the user hears of it once, the preferences
// still open, and Quit or SIGTERM end the program as usual (status 0, settings saved) instead
// of waiting for ever on the dead stream.
class KeloDeckLosingItsServer : public KeloDeckDisplay,
                                public ::testing::WithParamInterface<const char*> {};

TEST_P(KeloDeckLosingItsServer, TellsOnceAndStaysResponsive) {
  const bool quitByKey = std::string(GetParam()) == "ctrl+q";
  const unsigned long window = start();
  ASSERT_NE(window, 0u) << noWindow();
  ASSERT_TRUE(waitFor([] { return logHas("PE_ENGINE_INSTRUMENT_GUI_SHOW"); }));
  const std::set<unsigned long> before = shownWindowsOf(program->pid());

  jack->stop();
  unsigned long alert = 0;
  ASSERT_TRUE(waitFor([&] {
    for (unsigned long shown : shownWindowsOf(program->pid()))
      if (before.count(shown) == 0) alert = shown;
    return alert != 0;
  })) << "no alert; the log:\n"
      << logText();
  EXPECT_EQ(occurrences(logText(), "the audio device stopped"), 1u) << logText();

  if (quitByKey) {
    ASSERT_TRUE(pressKeys(alert, "Return"));
    EXPECT_TRUE(waitFor([&] { return !windowExists(alert); }, 10)) << "the alert stays";
    ASSERT_TRUE(pressKeys(window, "ctrl+comma"));
    const unsigned long preferences = windowTitled("Preferences");
    ASSERT_NE(preferences, 0u) << "no preferences; " << program->describe();
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    ASSERT_TRUE(click(preferences, 259, 326));  // Cancel
    EXPECT_TRUE(waitFor([] { return shownWindowTitled("Preferences") == 0; }, 10));
    ASSERT_TRUE(pressKeys(window, "ctrl+q"));
  } else {
    ASSERT_EQ(::kill(program->pid(), SIGTERM), 0);
  }
  expectCleanEnd();
  EXPECT_EQ(occurrences(logText(), "the audio device stopped"), 1u);
}

INSTANTIATE_TEST_SUITE_P(QuitOrSigterm, KeloDeckLosingItsServer,
                         ::testing::Values("ctrl+q", "sigterm"));

TEST(KeloDeckWithoutDisplay, SaysSoAndEndsWithStatusOne) {
  kelo::test::ScopedEnvironment environment;
  environment.unset("DISPLAY");
  environment.unset("WAYLAND_DISPLAY");
  std::string errors;
  const auto run = kelo::test::runProgram(KELODECK, {}, errors);
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(errors.find("no display could be opened"), std::string::npos) << errors;
}

}  // namespace
