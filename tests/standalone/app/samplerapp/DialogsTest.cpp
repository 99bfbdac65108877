// The preferences and render-offline dialogs over the headless toolkit (virtual clock), a
// scripted back end and recorded alerts: what they send, show and leave behind.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "VNL/source/Alerts.h"
#include "VNL/source/PxProgressDialogCocoa.h"
#include "standalone/app/samplerapp/Dialogs.h"
#include "tests/standalone/app/samplerapp/ScriptedBackEnd.h"
#include "tests/support/ShownProgress.h"
#include "tests/support/TempDir.h"
#include "tests/standalone/app/toolkit/HeadlessFixture.h"

namespace kelo::test {
namespace {

using vantor::samplerapp::PrefsVNT;
using vantor::samplerapp::RenderOfflineVNT;
using vantor::VNT::headless::HeadlessView;
using vantor::VNT::headless::HeadlessWindow;
using Call = ScriptedBackEnd::Call;

HeadlessView* findView(HeadlessView& root, const std::function<bool(HeadlessView&)>& match) {
  if (match(root)) return &root;
  for (const auto& child : root.children())
    if (HeadlessView* found = findView(*child, match)) return found;
  return nullptr;
}

// One control of a dialog as its window holds it: kind, frame in its parent, id, name, text,
// enabled.
struct Placed {
  vantor::VNT::ViewKind kind;
  vantor::VNT::Rect frame;
  unsigned id;
  std::string name, text;
  bool enabled;
  bool operator==(const Placed&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Placed& p) {
  return out << int(p.kind) << " (" << p.frame.x << ", " << p.frame.y << ") " << p.frame.width
             << " x " << p.frame.height << " id " << p.id << " \"" << p.name << "\" \"" << p.text
             << "\"" << (p.enabled ? "" : " disabled");
}

// The window's views, depth first, the content panel first.
void collect(HeadlessView& view, std::vector<Placed>& out) {
  const auto* control = vantor::VNT::NativeControl::ofOwner(view.owner());
  const bool label = view.kind() == vantor::VNT::ViewKind::StaticText;
  out.push_back({view.kind(), view.frame(), control != nullptr ? control->getId() : 0,
                 control != nullptr ? control->getName() : "?",
                 label ? view.text() : view.setup().label, view.isEnabled()});
  for (const auto& child : view.children()) collect(*child, out);
}

class DialogTest : public HeadlessToolkit {
 protected:
  void SetUp() override {
    HeadlessToolkit::SetUp();
    vantor::setAlertBackend(&alerts);
    showProgressIn(progress);
  }
  void TearDown() override {
    vantor::PxProgressDialogCocoa::setViewFactory({});
    vantor::setAlertBackend(nullptr);
    HeadlessToolkit::TearDown();
  }

  /// The dialog opened last.
  HeadlessWindow& dialogWindow() { return *ui->windows().back(); }
  HeadlessView& control(unsigned id) {
    HeadlessView* v = findView(dialogWindow().content(), [id](HeadlessView& v) {
      return v.tag() == id && v.kind() != vantor::VNT::ViewKind::Panel;
    });
    EXPECT_NE(v, nullptr) << "no control " << id;
    return *v;
  }
  /// The dialog's window as its table says: name, title, frame once centred, and its views.
  void expectLayout(const vantor::VNT::Window* window, const std::string& name,
                    const std::string& title, const vantor::VNT::Rect& frame,
                    const std::vector<Placed>& expected) {
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->getName(), name);
    EXPECT_EQ(dialogWindow().title(), title);
    EXPECT_EQ(dialogWindow().frameRect(), frame);
    std::vector<Placed> placed;
    collect(dialogWindow().content(), placed);
    EXPECT_EQ(placed, expected);
  }
  HeadlessView& viewAt(double x, double y) {
    HeadlessView* v = findView(dialogWindow().content(), [&](HeadlessView& v) {
      return v.frame().x == x && v.frame().y == y && v.kind() != vantor::VNT::ViewKind::Panel;
    });
    EXPECT_NE(v, nullptr) << "nothing at " << x << ", " << y;
    return *v;
  }

  ScriptedBackEnd back;
  vantor::RecordingAlertBackend alerts;
  ShownProgress progress;
};

// ---------------------------------------------------------------------------------------------
// Preferences

class Preferences : public DialogTest {
 protected:
  void SetUp() override {
    DialogTest::SetUp();
    back.audioDevices = {{3, 10, "Dummy A", 8, {44100, 48000}, {256, 512}},
                         {4, 0, "Other API", 2, {44100}, {512}},
                         {5, 10, "Dummy B", 4, {96000, 48000}, {128, 1024}}};
    back.currentDevice = 3;
    back.stereoPair = 1;
    back.rate = 48000;
    back.size = 256;
    back.midiDevices = {{7, "Keys (in)"}, {9, "Pads (in)"}};
    back.enabledMIDI = {9};
  }
  /// Runs the dialog; `inside` acts while it is up, then OK ends it.
  void run(const std::function<void()>& inside) {
    ui->queueStep([&] {
      inside();
      control(1001).click();
    });
    vantor::samplerapp::showPreferences();
  }
  static std::vector<std::pair<int, int>> settingsSent(const std::vector<Call>& calls) {
    std::vector<std::pair<int, int>> out;
    for (const Call& c : calls)
      if (c.command == PE_ENGINE_AUDIODEVICE_SETTINGS) out.emplace_back(c.i1, c.i2);
    return out;
  }
};

// The layout table: window, panel and every control with its origin, size, id and name.
TEST_F(Preferences, IsLaidOutAsItsTableSays) {
  using vantor::VNT::ViewKind;
  constexpr unsigned none = vantor::VNT::kNoId;
  PrefsVNT prefs;
  // Made at (370, 373), then centred on the 1280 x 800 screen.
  expectLayout(prefs.getWindow(), "SAPREFS", "Preferences", {434, 227, 411, 345}, {
      {ViewKind::Panel, {0, 0, 411, 345}, none, "SAPREFSPANEL", "", true},
      {ViewKind::StaticText, {20, 37, 114, 16}, none, "", "MIDI Devices", true},
      {ViewKind::List, {142, 34, 231, 100}, 10005, "MIDI Devices", "MIDI Devices", true},
      {ViewKind::StaticText, {20, 147, 114, 16}, none, "", "Audio Device", true},
      {ViewKind::Choice, {142, 144, 231, 22}, 10001, "", "Audio Device", true},
      {ViewKind::StaticText, {20, 187, 114, 16}, none, "", "Stereo Pair", true},
      {ViewKind::Choice, {142, 184, 231, 22}, 10002, "", "Stereo Pair", true},
      {ViewKind::StaticText, {20, 227, 114, 16}, none, "", "Sample Rate", true},
      {ViewKind::Choice, {142, 224, 231, 22}, 10003, "", "Sample Rate", true},
      {ViewKind::StaticText, {20, 267, 114, 16}, none, "", "Buffer Size", true},
      {ViewKind::Choice, {142, 264, 231, 22}, 10004, "", "Buffer Size", true},
      {ViewKind::Button, {314, 316, 69, 20}, 1001, "SAPREFSOK", "OK", true},
      {ViewKind::Button, {225, 316, 69, 20}, 1002, "SAPREFSCANCEL", "Cancel", true},
  });
}

TEST_F(Preferences, OpensFilledInOrderAndSendsTheCurrentRateAndSizeOnce) {
  run([&] {
    HeadlessWindow& w = dialogWindow();
    EXPECT_EQ(w.title(), "Preferences");
    EXPECT_TRUE(w.isModal());
    EXPECT_EQ(control(10001).items(), (std::vector<std::string>{"Dummy A", "Dummy B"}));
    EXPECT_EQ(control(10001).selectedItem(), 0);
    EXPECT_EQ(control(10002).items(), (std::vector<std::string>{"1-2", "3-4", "5-6", "7-8"}));
    EXPECT_EQ(control(10002).selectedItem(), 1);
    EXPECT_EQ(control(10003).items(), (std::vector<std::string>{"44100 Hz", "48000 Hz"}));
    EXPECT_EQ(control(10003).selectedItem(), 1);
    EXPECT_EQ(control(10004).items(), (std::vector<std::string>{"256", "512"}));
    EXPECT_EQ(control(10004).selectedItem(), 0);
    const auto rows = control(10005).shownRows();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].label, "Keys (in)");
    EXPECT_FALSE(rows[0].state);
    EXPECT_EQ(rows[1].label, "Pads (in)");
    EXPECT_TRUE(rows[1].state);
    EXPECT_EQ(control(1001).text(), "OK");
    EXPECT_EQ(control(1002).text(), "Cancel");
  });
  EXPECT_EQ(back.commands(), (std::vector<std::int32_t>{
                                 302,                 // playing?
                                 510, 513, 510,       // MIDI inputs
                                 280, 282, 280,       // audio devices
                                 282, 290,            // the current pair, told to no one
                                 284, 287, 284, 287, 286,   // rates, then the rate applied
                                 285, 287, 285, 287, 286}));  // sizes, then the size applied
  EXPECT_EQ(settingsSent(back.calls), (std::vector<std::pair<int, int>>{{48000, 256}, {48000, 256}}));
}

TEST_F(Preferences, StopsAudioWhileOpenAndRestartsItOnlyIfItRan) {
  for (const bool playing : {true, false}) {
    for (const unsigned button : {1001u, 1002u}) {
      SCOPED_TRACE(std::to_string(playing) + " " + std::to_string(button));
      back.calls.clear();
      back.playing = playing;
      ui->queueStep([&] {
        EXPECT_FALSE(back.playing);
        control(button).click();
      });
      vantor::samplerapp::showPreferences();
      EXPECT_EQ(back.playing, playing);
      ASSERT_GE(back.calls.size(), 2u);
      EXPECT_EQ(back.calls[1].command == PE_ENGINE_AUDIO_STOP, playing);
      EXPECT_EQ(back.callsOf(PE_ENGINE_AUDIO_START).size(), playing ? 1u : 0u);
      if (playing) {
        EXPECT_EQ(back.calls.back().command, PE_ENGINE_AUDIO_START);
      }
      EXPECT_TRUE(dialogWindow().isClosed());
    }
  }
}

TEST_F(Preferences, ARateTheDeviceDoesNotListSelectsAndAppliesTheFirst) {
  back.rate = 22050;
  run([&] { EXPECT_EQ(control(10003).selectedItem(), 0); });
  EXPECT_EQ(settingsSent(back.calls), (std::vector<std::pair<int, int>>{{44100, 256}, {44100, 256}}));
}

TEST_F(Preferences, StereoPairsFollowTheOutputChannels) {
  const struct {
    std::int32_t channels;
    std::int32_t pair;      // what 290 answers; -2: it fails
    std::vector<std::string> rows;
    int selected;
    std::vector<std::int32_t> sent;  // 288's pairs
  } cases[] = {
      {8, 1, {"1-2", "3-4", "5-6", "7-8"}, 1, {}},
      {8, 9, {"1-2", "3-4", "5-6", "7-8"}, 0, {}},  // beyond the rows: row 0, silently
      {4, -2, {"1-2", "3-4"}, 0, {0}},              // no current pair: row 0, applied
      {1, -2, {}, -1, {}},                          // no pair: nothing selected or sent
      {0, 0, {}, -1, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.channels);
    back.calls.clear();
    back.audioDevices = {{3, 10, "Dummy A", c.channels, {48000}, {256}}};
    back.stereoPair = c.pair;
    if (c.pair == -2)
      back.results[PE_ENGINE_AUDIODEVICE_OUTPUTSTEREOPAIR_GET] = 1;
    else
      back.results.erase(PE_ENGINE_AUDIODEVICE_OUTPUTSTEREOPAIR_GET);
    run([&] {
      EXPECT_EQ(control(10002).items(), c.rows);
      EXPECT_EQ(control(10002).selectedItem(), c.selected);
    });
    std::vector<std::int32_t> sent;
    for (const Call& call : back.callsOf(PE_ENGINE_AUDIODEVICE_OUTPUTSTEREOPAIR_SET))
      sent.push_back(call.i1);
    EXPECT_EQ(sent, c.sent);
  }
}

TEST_F(Preferences, ChoosingAPairSendsIt) {
  run([&] { control(10002).choose(3); });
  ASSERT_EQ(back.callsOf(PE_ENGINE_AUDIODEVICE_OUTPUTSTEREOPAIR_SET).size(), 1u);
  EXPECT_EQ(back.callsOf(PE_ENGINE_AUDIODEVICE_OUTPUTSTEREOPAIR_SET)[0].i1, 3);
}

TEST_F(Preferences, ADeviceChangeRefillsEveryChoiceAndAppliesTheNewDevicesSettings) {
  run([&] {
    back.calls.clear();
    control(10001).choose(1);
    ASSERT_FALSE(back.calls.empty());
    EXPECT_EQ(back.calls[0], (Call{PE_ENGINE_AUDIODEVICE_SET, 5}));
    EXPECT_EQ(control(10002).items(), (std::vector<std::string>{"1-2", "3-4"}));
    EXPECT_EQ(control(10002).selectedItem(), -1);
    EXPECT_EQ(control(10003).items(), (std::vector<std::string>{"96000 Hz", "48000 Hz"}));
    EXPECT_EQ(control(10003).selectedItem(), 1);
    EXPECT_EQ(control(10004).items(), (std::vector<std::string>{"128", "1024"}));
    EXPECT_EQ(control(10004).selectedItem(), 0);  // 256 is not offered
    EXPECT_TRUE(back.callsOf(PE_ENGINE_AUDIODEVICE_OUTPUTSTEREOPAIR_SET).empty());
    EXPECT_EQ(settingsSent(back.calls),
              (std::vector<std::pair<int, int>>{{48000, 256}, {48000, 128}}));
  });
}

TEST_F(Preferences, RowsLeftFromAnEarlierFillApplyNothing) {
  run([&] {
    back.results[PE_ENGINE_AUDIODEVICE_SAMPLERATE_LIST] = 1;
    back.results[PE_ENGINE_AUDIODEVICE_BUFFERSIZE_LIST] = 1;
    control(10001).choose(1);
    EXPECT_EQ(control(10003).items(), (std::vector<std::string>{"44100 Hz", "48000 Hz"}));
    back.calls.clear();
    control(10003).choose(0);
    control(10004).choose(1);
    EXPECT_TRUE(back.calls.empty());
  });
}

TEST_F(Preferences, MIDICheckboxesEnableAndDisableTheirDevice) {
  run([&] {
    control(10005).toggleRow(0);
    control(10005).toggleRow(1);
    back.results[PE_ENGINE_MIDIDEVICE_ENABLE] = PE_ENGINE_MIDI_UNAVAILABLE;
    EXPECT_TRUE(alerts.shown().empty());
    control(10005).toggleRow(1);
    EXPECT_TRUE(control(10005).shownRows()[1].state);  // stays as the user set it
  });
  EXPECT_EQ(back.callsOf(PE_ENGINE_MIDIDEVICE_ENABLE),
            (std::vector<Call>{{512, 7, 1}, {512, 9, -1}, {512, 9, 1}}));
  ASSERT_EQ(alerts.shown().size(), 1u);
  EXPECT_EQ(alerts.shown()[0].title, "Kelo Standalone");
  EXPECT_EQ(alerts.shown()[0].text, "This MIDI device is currently unavailable");
}

TEST_F(Preferences, UnreadableListsLeaveTheirControlsEmpty) {
  back.results[PE_ENGINE_MIDIDEVICE_LIST] = 1;
  back.results[PE_ENGINE_AUDIODEVICE_LIST] = 1;
  run([&] {
    EXPECT_TRUE(control(10005).shownRows().empty());
    EXPECT_TRUE(control(10001).items().empty());
    EXPECT_TRUE(control(10002).items().empty());
  });
  EXPECT_TRUE(back.callsOf(PE_ENGINE_AUDIODEVICE_OUTPUTSTEREOPAIR_SET).empty());
}

// ---------------------------------------------------------------------------------------------
// Render offline

class RenderOffline : public DialogTest {
 protected:
  HeadlessView& midiLabel() { return viewAt(92, 60); }
  HeadlessView& audioLabel() { return viewAt(92, 103); }
  HeadlessView& renderButton() { return control(1001); }
  void chooseMIDI(const std::string& path = "/music/demo.mid") {
    ui->queueFileAnswer(std::vector<std::string>{path});
    control(1004).click();
  }
  void chooseAudio(const std::string& path = "/out/take.aiff") {
    ui->queueFileAnswer(std::vector<std::string>{path});
    control(1003).click();
  }
  /// Both files chosen and Render pressed; answers the index of the first call it made.
  std::size_t startRender() {
    chooseMIDI();
    chooseAudio();
    const std::size_t from = back.calls.size();
    renderButton().click();
    return from;
  }
  static constexpr double kTick = RenderOfflineVNT::kTickSeconds;
  const std::vector<std::int32_t> kEnd{304, 305, 532, 301, 264};
};

TEST_F(RenderOffline, IsLaidOutAsItsTableSays) {
  using vantor::VNT::ViewKind;
  constexpr unsigned none = vantor::VNT::kNoId;
  RenderOfflineVNT dialog;
  // Made at (559, 138), then centred on the 1280 x 800 screen.
  expectLayout(dialog.getWindow(), "SARO", "Render Offline", {449, 310, 382, 180}, {
      {ViewKind::Panel, {0, 0, 382, 180}, none, "SAROPANEL", "", true},
      {ViewKind::StaticText, {20, 60, 61, 13}, none, "", "MIDI File", true},
      {ViewKind::StaticText, {92, 60, 220, 13}, none, "", "No Selection", true},
      {ViewKind::Button, {323, 56, 39, 20}, 1004, "SAROMIDI", "...", true},
      {ViewKind::StaticText, {20, 103, 61, 13}, none, "", "Audio File", true},
      {ViewKind::StaticText, {92, 103, 220, 13}, none, "", "No Selection", true},
      {ViewKind::Button, {323, 99, 39, 20}, 1003, "SAROAUDIO", "...", true},
      {ViewKind::Button, {292, 140, 69, 20}, 1002, "SAROCLOSE", "Close", true},
      {ViewKind::Button, {212, 140, 69, 20}, 1001, "SARORENDER", "Render", false},
  });
}

TEST_F(RenderOffline, RenderIsOfferedOnlyWhenBothFilesAreChosen) {
  const struct {
    bool midi, audio, enabled;
  } cases[] = {{false, false, false}, {true, false, false}, {false, true, false}, {true, true, true}};
  for (const auto& c : cases) {
    RenderOfflineVNT dialog;
    EXPECT_EQ(dialogWindow().title(), "Render Offline");
    if (c.midi) chooseMIDI();
    if (c.audio) chooseAudio();
    EXPECT_EQ(renderButton().isEnabled(), c.enabled) << c.midi << c.audio;
    EXPECT_EQ(midiLabel().text(), c.midi ? "demo" : "No Selection");
    EXPECT_EQ(audioLabel().text(), c.audio ? "take" : "No Selection");
  }
  ASSERT_EQ(ui->fileQuestions().size(), 4u);
  EXPECT_EQ(ui->fileQuestions()[0].title, "Select a MIDI file");
  EXPECT_EQ(ui->fileQuestions()[0].style, 0);
  EXPECT_EQ(ui->fileQuestions()[1].title, "Render Audio into");
  EXPECT_EQ(ui->fileQuestions()[1].style, 1);
}

TEST_F(RenderOffline, ARefusedOrCancelledMIDIFileChangesNothing) {
  kelo::test::TempDir dir;
  const std::string broken = dir.file("broken.mid");
  ASSERT_TRUE(kelo::test::writeFile(broken, "not a MIDI file"));
  RenderOfflineVNT dialog;
  chooseAudio();
  back.results[PE_ENGINE_MIDI_LOAD] = 1;
  chooseMIDI(broken);
  ASSERT_EQ(alerts.shown().size(), 1u);
  EXPECT_EQ(alerts.shown()[0].text, "Could not load the MIDI file \u201c" + broken +
                                        "\u201d: it is not a MIDI file that can be played.");
  control(1004).click();  // cancelled: no answer queued
  EXPECT_EQ(midiLabel().text(), "No Selection");
  EXPECT_FALSE(renderButton().isEnabled());
  EXPECT_EQ(back.callsOf(PE_ENGINE_MIDI_LOAD),
            (std::vector<Call>{{307, 0, 0, 0.0f, broken}}));
}

TEST_F(RenderOffline, RenderSwitchesOfflineRecordsPlaysAndFollowsTheProgress) {
  RenderOfflineVNT dialog;
  back.positions = {0.5, 0.257, 1.0};
  const std::size_t from = startRender();
  EXPECT_EQ(std::vector<Call>(back.calls.begin() + from, back.calls.end()),
            (std::vector<Call>{{264, 1},
                               {530, 1, 16, 0.0f, "/out/take.aiff"},
                               {531},
                               {303},
                               {300}}));
  EXPECT_FALSE(renderButton().isEnabled());
  ASSERT_EQ(progress.alive, 1);
  EXPECT_EQ(progress.windows.back().title, "Rendering");
  EXPECT_EQ(progress.windows.back().steps, 100u);
  EXPECT_FALSE(progress.windows.back().cancellable);
  EXPECT_FALSE(progress.windows.back().secondBar);

  const struct {
    double bar;
    const char* status;
  } ticks[] = {{50, "Rendering"}, {25, "Rendering"}, {0, "Closing ..."}, {4, "Closing ..."},
               {6, "Closing ..."}, {8, "Closing ..."}};
  for (const auto& t : ticks) {
    ui->advanceClock(kTick);
    EXPECT_EQ(progress.bar, t.bar);
    EXPECT_EQ(progress.status, t.status);
  }
  EXPECT_TRUE(dialog.isRendering());

  back.recording = false;
  const std::size_t last = back.calls.size();
  ui->advanceClock(kTick);
  std::vector<std::int32_t> end{306, 533};
  end.insert(end.end(), kEnd.begin(), kEnd.end());
  EXPECT_EQ(back.commands(last), end);
  EXPECT_EQ(back.calls.back().i1, 0);  // offline off
  EXPECT_EQ(back.callsOf(PE_ENGINE_MIDI_SEEK).back().f, 0.0f);
  EXPECT_EQ(progress.alive, 0);
  EXPECT_FALSE(dialog.isRendering());
  EXPECT_EQ(midiLabel().text(), "No Selection");
  EXPECT_EQ(audioLabel().text(), "No Selection");
  EXPECT_FALSE(renderButton().isEnabled());

  const std::size_t after = back.calls.size();
  ui->advanceClock(5);
  EXPECT_EQ(back.calls.size(), after);  // the timer is gone

  // The rendered file exists now: another render into it goes through the audio file's
  // question (and its replace confirmation) again.
  chooseMIDI();
  EXPECT_FALSE(renderButton().isEnabled());
  chooseAudio();
  EXPECT_TRUE(renderButton().isEnabled());
}

TEST_F(RenderOffline, TheAudioFileQuestionAsksBeforeReplacingTheFileItWrites) {
  kelo::test::TempDir dir;
  ASSERT_TRUE(kelo::test::writeFile(dir.file("take.aiff"), "old render"));
  RenderOfflineVNT dialog;
  chooseMIDI();
  alerts.queueAnswer(1);  // keep it
  chooseAudio(dir.file("take"));
  ASSERT_EQ(alerts.shown().size(), 1u);
  EXPECT_NE(alerts.shown()[0].title.find("\u201ctake.aiff\u201d"), std::string::npos);
  EXPECT_EQ(audioLabel().text(), "No Selection");
  EXPECT_FALSE(renderButton().isEnabled());
  alerts.queueAnswer(0);
  chooseAudio(dir.file("take"));
  EXPECT_EQ(audioLabel().text(), "take");
  EXPECT_TRUE(renderButton().isEnabled());
  EXPECT_EQ(kelo::test::readFile(dir.file("take.aiff")), "old render");  // nothing written yet
}

TEST_F(RenderOffline, TheFilesCannotBeChangedWhileARenderRuns) {
  RenderOfflineVNT dialog;
  back.positions = {0.5};
  startRender();
  ASSERT_TRUE(dialog.isRendering());
  const std::size_t questions = ui->fileQuestions().size();
  const std::size_t from = back.calls.size();
  chooseMIDI("/music/other.mid");
  chooseAudio("/out/other.aiff");
  EXPECT_EQ(ui->fileQuestions().size(), questions);
  EXPECT_TRUE(back.commands(from).empty());
  EXPECT_EQ(midiLabel().text(), "demo");
  EXPECT_EQ(audioLabel().text(), "take");
}

TEST_F(RenderOffline, ARecordingThatNeverEndsIsCutOffAtTheFiftiethTick) {
  RenderOfflineVNT dialog;
  back.positions = {1.0};
  startRender();
  ui->advanceClock(49 * kTick + kTick / 2);
  EXPECT_TRUE(dialog.isRendering());
  EXPECT_EQ(back.callsOf(PE_ENGINE_RECORDING_ISRECORDING).size(), 49u);
  EXPECT_EQ(progress.bar, 98);
  ui->advanceClock(kTick);
  EXPECT_FALSE(dialog.isRendering());
  EXPECT_EQ(back.callsOf(PE_ENGINE_RECORDING_ISRECORDING).size(), 50u);
  EXPECT_NEAR(ui->now(), 10.0, kTick);
  EXPECT_EQ(back.commands(back.calls.size() - kEnd.size()), kEnd);
  EXPECT_EQ(progress.alive, 0);
}

TEST_F(RenderOffline, APositionThatIsNoNumberCountsAsTheEndOfTheFile) {
  for (const double position : {std::nan(""), std::numeric_limits<double>::infinity()}) {
    RenderOfflineVNT dialog;
    back.positions = {position};
    back.recording = false;
    startRender();
    const std::size_t from = back.calls.size();
    ui->advanceClock(kTick);
    std::vector<std::int32_t> end{306, 533};
    end.insert(end.end(), kEnd.begin(), kEnd.end());
    EXPECT_EQ(back.commands(from), end);
    EXPECT_FALSE(dialog.isRendering());
  }
}

TEST_F(RenderOffline, ARecordingThatCannotStartEndsTheRenderAtOnceAndSaysWhy) {
  const struct {
    std::int32_t fileSet, start;
    std::vector<std::int32_t> sent;  // after 264 with 1
    const char* text;
  } cases[] = {
      {11, 0, {530, 304, 305, 532, 301, 264},
       "Rendering could not start: the audio file library is missing"},
      {1, 0, {530, 304, 305, 532, 301, 264},
       "Rendering could not start: cannot write /out/take.aiff: System error : Permission denied."},
      {0, 1, {530, 531, 304, 305, 532, 301, 264},
       "Rendering could not start: cannot write /out/take.aiff"},
      {0, 11, {530, 531, 304, 305, 532, 301, 264},
       "Rendering could not start: the audio file library is missing"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    RenderOfflineVNT dialog;
    back.results[PE_ENGINE_RECORDING_FILE_SET] = c.fileSet;
    back.results[PE_ENGINE_RECORDING_START] = c.start;
    const std::size_t before = alerts.shown().size();
    const std::size_t from = startRender();
    EXPECT_EQ(back.commands(from + 1), c.sent);
    EXPECT_EQ(back.calls.back().i1, 0);
    EXPECT_FALSE(dialog.isRendering());
    EXPECT_TRUE(progress.windows.empty());
    EXPECT_EQ(midiLabel().text(), "No Selection");
    EXPECT_EQ(audioLabel().text(), "No Selection");
    ASSERT_EQ(alerts.shown().size(), before + 1);
    EXPECT_EQ(alerts.shown().back().title, "Kelo Standalone");
    EXPECT_EQ(alerts.shown().back().text, c.text);
  }
}

TEST_F(RenderOffline, RefusedOfflineModeStartsNothing) {
  RenderOfflineVNT dialog;
  back.results[PE_ENGINE_OFFLINE_SET] = 1;
  const std::size_t from = startRender();
  EXPECT_EQ(back.commands(from), (std::vector<std::int32_t>{264}));
  EXPECT_FALSE(renderButton().isEnabled());
  EXPECT_FALSE(dialog.isRendering());
  EXPECT_TRUE(progress.windows.empty());
}

TEST_F(RenderOffline, TheWholeRenderRunsInsideTheModalLoopAndAudioComesBackAfterwards) {
  back.playing = true;
  back.positions = {0.5, 1.0};
  bool closed = false;
  back.onCall = [&](const Call& call) {
    if (call.command == PE_ENGINE_OFFLINE_SET && call.i1 == 0 && !closed) {
      closed = true;
      ui->queueStep([&] { control(1002).click(); });
    }
  };
  ui->queueStep([&] { chooseMIDI(); });
  ui->queueStep([&] { chooseAudio(); });
  ui->queueStep([&] { renderButton().click(); });
  back.recording = false;
  vantor::samplerapp::showRenderOffline();
  EXPECT_TRUE(closed);
  EXPECT_TRUE(dialogWindow().isClosed());
  EXPECT_EQ(back.commands(), (std::vector<std::int32_t>{302, 301, 307, 264, 530, 531, 303, 300,
                                                        306, 306, 533, 304, 305, 532, 301, 264,
                                                        300}));
  EXPECT_TRUE(back.playing);
}

TEST_F(RenderOffline, ClosingMidRenderEndsItAndNothingFiresAfterwards) {
  back.playing = true;
  back.positions = {0.25};
  {
    RenderOfflineVNT dialog;
    startRender();
    ui->advanceClock(2 * kTick + kTick / 2);
    ASSERT_TRUE(dialog.isRendering());
    ui->queueStep([&] { control(1002).click(); });
    EXPECT_EQ(dialog.showModal(), 1002u);
    EXPECT_EQ(dialog.getWindow(), nullptr);
    back.calls.clear();
  }
  EXPECT_EQ(back.commands(), (std::vector<std::int32_t>{304, 305, 532, 301, 264, 300}));
  EXPECT_EQ(progress.alive, 0);
  ui->advanceClock(5);
  EXPECT_EQ(back.calls.size(), 6u);
}

}  // namespace
}  // namespace kelo::test
