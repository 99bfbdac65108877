// The main window, the media bar and the file questions over the headless toolkit, with the
// back end scripted through `setEngineCommand` and alerts recorded.
#include <gtest/gtest.h>

#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <vector>

#include "VNL/source/Alerts.h"
#include "VNL/source/Config.h"
#include "VNL/source/ProductConf.h"
#include "standalone/app/samplerapp/EngineCommand.h"
#include "standalone/app/samplerapp/FileQuestions.h"
#include "standalone/app/samplerapp/MainFrontEnd.h"
#include "standalone/app/toolkit/headless/HeadlessBackend.h"
#include "standalone/engine_interface/EngineBinding.h"
#include "standalone/host/EngineOpcode.h"
#include "standalone/host/Instance.h"
#include "standalone/host/SMPLModule.h"
#include "tests/support/PreferenceSandbox.h"
#include "tests/support/TempDir.h"

KELO_PREFERENCE_SANDBOX();

namespace vantor::samplerapp {
namespace {

using VNT::headless::HeadlessBackend;
using VNT::headless::HeadlessView;

// ---------------------------------------------------------------------------------------------
// The scripted back end: every command is kept; answers come from per-command queues, else 0.

struct Sent {
  std::int32_t command;
  std::string path;  // p1 of 307 and 530
  std::int32_t i1, i2;
  float f;
  bool operator==(const Sent&) const = default;
};
std::ostream& operator<<(std::ostream& out, const Sent& s) {
  return out << "{" << s.command << " '" << s.path << "' " << s.i1 << " " << s.i2 << " " << s.f
             << "}";
}

std::vector<Sent> g_sent;
std::map<std::int32_t, std::deque<std::int32_t>> g_answers;
double g_position = 0.0;

// What the back end says when it refuses a recording file.
constexpr const char* kRefusal = "System error : Permission denied.";

std::int32_t script(std::int32_t command, void* p1, void* p2, std::int32_t i1, std::int32_t i2,
                    std::int32_t, float f) {
  std::string path;
  if ((command == PE_ENGINE_MIDI_LOAD || command == PE_ENGINE_RECORDING_FILE_SET) && p1 != nullptr)
    path = static_cast<const char*>(p1);
  if (command == PE_ENGINE_MIDI_POSITION_GET) *static_cast<double*>(p1) = g_position;
  // The module's start-up chunk: "no arguments" keeps it away from files.
  if (command == PE_ENGINE_APP_ARGUMENTS_GET) return PE_ENGINE_FAILED;
  g_sent.push_back({command, path, i1, i2, f});
  auto& queue = g_answers[command];
  if (queue.empty()) return PE_ENGINE_OK;
  const std::int32_t answer = queue.front();
  queue.pop_front();
  if (command == PE_ENGINE_RECORDING_FILE_SET && answer == PE_ENGINE_FAILED && p2 != nullptr)
    *static_cast<std::string*>(p2) = kRefusal;
  return answer;
}

std::vector<std::int32_t> sentCommands() {
  std::vector<std::int32_t> commands;
  for (const Sent& s : g_sent) commands.push_back(s.command);
  return commands;
}

class MediaBar : public ::testing::Test {
 protected:
  void SetUp() override {
    ui = &HeadlessBackend::install();
    setEngineCommand(&script);
    setAlertBackend(&alerts);
    g_sent.clear();
    g_answers.clear();
    g_position = 0.0;
  }
  void TearDown() override {
    frontEnd.reset();
    setAlertBackend(nullptr);
    setEngineCommand(nullptr);
    VNT::setBackend(nullptr);
  }

  /// The main window with the media bar, as the engine module builds it.
  MainFrontEnd& build(int editorWidth = 420, int editorHeight = 320) {
    frontEnd = std::make_unique<MainFrontEnd>();
    frontEnd->createMainWindow("Sorvelin KELO Player");
    frontEnd->setClientSizeAndCentre(editorWidth, editorHeight + 40);
    frontEnd->addMediaBar(editorHeight, editorWidth < 755 ? 390 : 465, "/data");
    frontEnd->showMainWindow();
    g_sent.clear();
    return *frontEnd;
  }
  MIDIFilePlayerGUI& player() { return *frontEnd->player(); }
  AudioFileRecorderGUI& recorder() { return *frontEnd->recorder(); }

  static std::string enabled(VNT::NativeControl* control) {
    return HeadlessBackend::viewOf(*control).isEnabled() ? "yes" : "no";
  }
  /// play, stop, eject, rewind, slider enabled; the slider's value; the label.
  std::vector<std::string> playerShows() {
    return {enabled(player().getPlayButton()),   enabled(player().getStopButton()),
            enabled(player().getEjectButton()),  enabled(player().getRewindButton()),
            enabled(player().getPositionSlider()),
            std::to_string(HeadlessBackend::viewOf(*player().getPositionSlider()).intValue()),
            player().getFileLabel()->getLabel()};
  }
  /// record, stop, eject enabled; the label.
  std::vector<std::string> recorderShows() {
    return {enabled(recorder().getRecordButton()), enabled(recorder().getStopButton()),
            enabled(recorder().getEjectButton()), recorder().getFileLabel()->getLabel()};
  }
  static void click(VNT::NativeControl* control) { HeadlessBackend::viewOf(*control).click(); }

  HeadlessBackend* ui = nullptr;
  RecordingAlertBackend alerts;
  std::unique_ptr<MainFrontEnd> frontEnd;
};

TEST_F(MediaBar, TheMainWindowIsBuiltAsTheEngineModuleAsksWithTheMediaBarUnderTheEditor) {
  MainFrontEnd& ui_ = build();
  VNT::MainWindow* window = ui_.mainWindow();
  ASSERT_NE(window, nullptr);
  auto& native = HeadlessBackend::windowOf(*window);
  EXPECT_EQ(native.kind(), VNT::WindowKind::Ordinary);
  EXPECT_EQ(native.style(), VNT::kWindowMiniaturisable);
  EXPECT_EQ(native.title(), "Sorvelin KELO Player");
  EXPECT_EQ(window->getName(), "SA");
  EXPECT_TRUE(native.isVisible());
  // The content view is the panel "SA": the editor's height and the bar's, and as wide as the
  // bar, since the 420-wide editor would cut off the recorder at 390.
  ASSERT_NE(ui_.contentPanel(), nullptr);
  EXPECT_EQ(ui_.contentPanel()->getName(), "SA");
  EXPECT_EQ(ui_.contentPanel()->getId(), 0u);
  EXPECT_EQ(window->getControlForEmbedding(), ui_.contentPanel()->getControlHandle());
  const VNT::Rect content = HeadlessBackend::viewOf(*ui_.contentPanel()).frame();
  EXPECT_EQ(content.width, 680);
  EXPECT_EQ(content.height, 360);

  // What each control is and where it stands in its panel.
  struct Row {
    VNT::NativeControl* control;
    VNT::Rect frame;
    unsigned id;
    const char* name;
    const char* image;  // bitmap buttons
  };
  const Row rows[] = {
      {player().getPanel(), {0, 320, 465, 40}, VNT::kNoId, "panelname", nullptr},
      {player().getPlayButton(), {10, 8, 24, 24}, 1001, "Push", "/data/GUI/media-playback-start22.png"},
      {player().getStopButton(), {40, 8, 24, 24}, 1002, "Push", "/data/GUI/media-playback-stop22.png"},
      {player().getEjectButton(), {70, 8, 24, 24}, 1003, "Push", "/data/GUI/media-eject22.png"},
      {player().getRewindButton(), {100, 8, 24, 24}, 1004, "Push", "/data/GUI/media-skip-backward22.png"},
      {player().getPositionSlider(), {129, 8, 150, 24}, 1011, "Slider", nullptr},
      {player().getFileLabel(), {284, 10, 175, 20}, VNT::kNoId, "Label", nullptr},
      {recorder().getPanel(), {390, 320, 290, 40}, VNT::kNoId, "panelname", nullptr},
      {recorder().getRecordButton(), {10, 8, 24, 24}, 1005, "Push", "/data/GUI/media-record22.png"},
      {recorder().getStopButton(), {40, 8, 24, 24}, 1006, "Push", "/data/GUI/media-playback-stop22.png"},
      {recorder().getEjectButton(), {70, 8, 24, 24}, 1007, "Push", "/data/GUI/media-eject22.png"},
      {recorder().getFileLabel(), {105, 10, 175, 20}, VNT::kNoId, "Label", nullptr},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name + std::string(" ") + std::to_string(row.id));
    HeadlessView& view = HeadlessBackend::viewOf(*row.control);
    EXPECT_EQ(view.frame(), row.frame);
    EXPECT_EQ(row.control->getId(), row.id);
    EXPECT_EQ(row.control->getName(), row.name);
    if (row.image != nullptr) {
      EXPECT_EQ(view.kind(), VNT::ViewKind::BitmapButton);
      EXPECT_EQ(view.setup().imagePath, row.image);
      EXPECT_EQ(view.setup().label, "");
      EXPECT_FALSE(view.setup().toggle);
    }
  }
  EXPECT_EQ(player().getPositionSlider()->getMin(), 0);
  EXPECT_EQ(player().getPositionSlider()->getMax(), 100);
  EXPECT_EQ(player().getFileLabel()->getLabel(), "Empty");
  EXPECT_EQ(recorder().getFileLabel()->getLabel(), "Empty");
  EXPECT_TRUE(g_sent.empty());
}

TEST_F(MediaBar, TheWindowIsAsWideAsTheEditorOrTheBarWhicheverIsWider) {
  const struct {
    int editorWidth;
    double clientWidth;
  } cases[] = {{420, 680}, {679, 680}, {680, 680}, {754, 754}, {755, 755}, {900, 900}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.editorWidth);
    build(c.editorWidth);
    const VNT::Rect content = HeadlessBackend::viewOf(*frontEnd->contentPanel()).frame();
    EXPECT_EQ(content.width, c.clientWidth);
    EXPECT_EQ(content.height, 360);
  }
}

TEST_F(MediaBar, CompactPanelsNarrowThePanelAndTheLabel) {
  VNT::MainWindow* window = new VNT::MainWindow({0, 0}, {600, 100}, VNT::WindowKind::Ordinary, 0,
                                                "t", "SA");
  auto* player = new MIDIFilePlayerGUI(window, {0, 0}, "/d", true);
  auto* recorder = new AudioFileRecorderGUI(window, {390, 0}, "/d", true);
  window->setMediaBarPanels(player, recorder);
  EXPECT_EQ(HeadlessBackend::viewOf(*player->getPanel()).frame().width, 390);
  EXPECT_EQ(HeadlessBackend::viewOf(*player->getFileLabel()).frame().width, 100);
  EXPECT_EQ(HeadlessBackend::viewOf(*recorder->getPanel()).frame().width, 215);
  EXPECT_EQ(HeadlessBackend::viewOf(*recorder->getFileLabel()).frame().width, 100);
  delete window;
}

TEST_F(MediaBar, ThePlayerFollowsItsStateTableRowByRow) {
  build();
  struct Step {
    const char* moment;
    std::function<void()> act;
    std::vector<std::int32_t> sent;
    std::vector<std::string> shows;  // play, stop, eject, rewind, slider, value, label
  };
  const Step steps[] = {
      {"created", [] {}, {}, {"no", "no", "yes", "no", "no", "0", "Empty"}},
      {"eject cancelled",
       [&] {
         ui->queueFileAnswer(std::vector<std::string>{});
         click(player().getEjectButton());
       },
       {},
       {"no", "no", "yes", "no", "no", "0", "Empty"}},
      {"eject, file refused",
       [&] {
         g_answers[PE_ENGINE_MIDI_LOAD] = {PE_ENGINE_FAILED};
         ui->queueFileAnswer({"/x/broken.mid"});
         click(player().getEjectButton());
       },
       {PE_ENGINE_MIDI_LOAD},
       {"no", "no", "yes", "no", "no", "0", "Empty"}},
      {"eject, loaded",
       [&] {
         ui->queueFileAnswer({"/x/demo.mid"});
         click(player().getEjectButton());
       },
       {PE_ENGINE_MIDI_LOAD},
       {"yes", "no", "yes", "yes", "yes", "0", "demo"}},
      {"play", [&] { click(player().getPlayButton()); }, {PE_ENGINE_MIDI_PLAY},
       {"no", "yes", "yes", "yes", "yes", "0", "demo"}},
      {"stop", [&] { click(player().getStopButton()); }, {PE_ENGINE_MIDI_STOP},
       {"yes", "no", "yes", "yes", "yes", "0", "demo"}},
      {"rewind", [&] { click(player().getRewindButton()); }, {PE_ENGINE_MIDI_SEEK},
       {"yes", "no", "yes", "yes", "yes", "0", "demo"}},
      {"reload", [&] {
         player().play();
         frontEnd->reloadPlayer();
       },
       {PE_ENGINE_MIDI_PLAY, PE_ENGINE_MIDI_LOAD},
       {"yes", "no", "yes", "yes", "yes", "0", "demo"}},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.moment);
    g_sent.clear();
    step.act();
    EXPECT_EQ(sentCommands(), step.sent);
    EXPECT_EQ(playerShows(), step.shows);
  }
  EXPECT_FALSE(player().isPlaying());
  EXPECT_EQ(g_sent.back().path, "/x/demo.mid");
  // The refused file is told, not only shown as "Empty" again.
  ASSERT_EQ(alerts.shown().size(), 1u);
  EXPECT_EQ(alerts.shown()[0].title, "Kelo Standalone");
  EXPECT_EQ(alerts.shown()[0].text,
            "Could not load the MIDI file \u201c/x/broken.mid\u201d: No such file or directory.");
  ASSERT_EQ(ui->fileQuestions().size(), 3u);
  const VNT::FileQuestion& asked = ui->fileQuestions()[0];
  EXPECT_EQ(asked.style, 0);
  EXPECT_EQ(asked.title, "Select a MIDI file");
}

TEST_F(MediaBar, TheLabelShowsTheFilesNameWithoutItsExtension) {
  build();
  const struct {
    const char* path;
    const char* shown;
    const char* recorded;  // the recorder's file gets ".aiff" unless it has it
  } cases[] = {
      {"/a/b.c/song", "song", "song"}, {"/x/take.2.mid", "take.2", "take.2.mid"},
      {"/x/plain", "plain", "plain"}, {"/x/demo.mid", "demo", "demo.mid"},
      {"/x/loud.AIFF", "loud", "loud"},
  };
  for (const auto& c : cases) {
    ui->queueFileAnswer({c.path});
    player().load();
    EXPECT_EQ(player().getFileLabel()->getLabel(), c.shown) << c.path;
    ui->queueFileAnswer({c.path});
    recorder().load();
    EXPECT_EQ(recorder().getFileLabel()->getLabel(), c.recorded) << c.path;
  }
}

TEST_F(MediaBar, DraggingTheSliderSeeksAndOnlyTheUsersMoveIsSentBack) {
  build();
  ui->queueFileAnswer({"/x/demo.mid"});
  player().load();
  g_sent.clear();
  HeadlessBackend::viewOf(*player().getPositionSlider()).moveTo(50);
  EXPECT_EQ(g_sent, (std::vector<Sent>{{PE_ENGINE_MIDI_SEEK, "", 0, 0, 0.5f}}));
  g_sent.clear();
  frontEnd->setPlayerSlider(75);
  EXPECT_EQ(HeadlessBackend::viewOf(*player().getPositionSlider()).intValue(), 75);
  EXPECT_TRUE(g_sent.empty());
}

TEST_F(MediaBar, TheRecorderFollowsItsStateTableRowByRow) {
  build();
  struct Step {
    const char* moment;
    std::function<void()> act;
    std::vector<Sent> sent;
    std::vector<std::string> shows;  // record, stop, eject, label
  };
  const Step steps[] = {
      {"created", [] {}, {}, {"no", "no", "yes", "Empty"}},
      {"eject cancelled",
       [&] {
         ui->queueFileAnswer(std::vector<std::string>{});
         click(recorder().getEjectButton());
       },
       {},
       {"no", "no", "yes", "Empty"}},
      {"file chosen",
       [&] {
         ui->queueFileAnswer({"/rec/take"});
         click(recorder().getEjectButton());
       },
       {},
       {"yes", "no", "yes", "take"}},
      {"record", [&] { click(recorder().getRecordButton()); },
       {{PE_ENGINE_RECORDING_FILE_SET, "/rec/take.aiff", 1, 16, 0},
        {PE_ENGINE_RECORDING_START, "", 0, 0, 0}},
       {"no", "yes", "no", "take"}},
      {"stop", [&] { click(recorder().getStopButton()); }, {{PE_ENGINE_RECORDING_STOP, "", 0, 0, 0}},
       {"no", "no", "yes", "Empty"}},
      {"another file chosen",
       [&] {
         ui->queueFileAnswer({"/rec/second.aiff"});
         click(recorder().getEjectButton());
       },
       {},
       {"yes", "no", "yes", "second"}},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.moment);
    g_sent.clear();
    step.act();
    EXPECT_EQ(g_sent, step.sent);
    EXPECT_EQ(recorderShows(), step.shows);
  }
  ASSERT_FALSE(ui->fileQuestions().empty());
  const VNT::FileQuestion& asked = ui->fileQuestions()[0];
  EXPECT_EQ(asked.style, 1);
  EXPECT_EQ(asked.title, "Record Audio into");
  EXPECT_TRUE(alerts.shown().empty());
}

TEST_F(MediaBar, TheRecordersQuestionAsksBeforeReplacingTheFileItWrites) {
  build();
  kelo::test::TempDir dir;
  ASSERT_TRUE(kelo::test::writeFile(dir.file("take.aiff"), "old take"));
  alerts.queueAnswer(1);  // keep it
  ui->queueFileAnswer({dir.file("take")});
  click(recorder().getEjectButton());
  ASSERT_EQ(alerts.shown().size(), 1u);
  EXPECT_NE(alerts.shown()[0].title.find("\u201ctake.aiff\u201d"), std::string::npos);
  EXPECT_EQ(recorderShows(), (std::vector<std::string>{"no", "no", "yes", "Empty"}));
  alerts.queueAnswer(0);
  ui->queueFileAnswer({dir.file("take")});
  click(recorder().getEjectButton());
  g_sent.clear();
  click(recorder().getRecordButton());
  ASSERT_FALSE(g_sent.empty());
  EXPECT_EQ(g_sent[0].path, dir.file("take.aiff"));
}

TEST_F(MediaBar, ARecordingThatDoesNotStartSaysWhyAndStaysArmed) {
  const struct {
    const char* name;
    std::int32_t fileSet, start;
    std::vector<std::int32_t> sent;
    const char* text;
  } cases[] = {
      {"file refused", PE_ENGINE_FAILED, PE_ENGINE_OK, {PE_ENGINE_RECORDING_FILE_SET},
       "Recording could not start: cannot write /rec/take.aiff: System error : Permission denied."},
      {"no library at start", PE_ENGINE_OK, PE_ENGINE_NO_AUDIO_FILES,
       {PE_ENGINE_RECORDING_FILE_SET, PE_ENGINE_RECORDING_START},
       "Recording could not start: the audio file library is missing"},
      {"no library at file", PE_ENGINE_NO_AUDIO_FILES, PE_ENGINE_OK,
       {PE_ENGINE_RECORDING_FILE_SET},
       "Recording could not start: the audio file library is missing"},
      {"start refused", PE_ENGINE_OK, PE_ENGINE_FAILED,
       {PE_ENGINE_RECORDING_FILE_SET, PE_ENGINE_RECORDING_START},
       "Recording could not start: cannot write /rec/take.aiff"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    build();
    RecordingAlertBackend shown;
    setAlertBackend(&shown);
    ui->queueFileAnswer({"/rec/take.aiff"});
    recorder().load();
    g_answers[PE_ENGINE_RECORDING_FILE_SET] = {c.fileSet};
    g_answers[PE_ENGINE_RECORDING_START] = {c.start};
    click(recorder().getRecordButton());
    EXPECT_EQ(sentCommands(), c.sent);
    ASSERT_EQ(shown.shown().size(), 1u);
    EXPECT_EQ(shown.shown()[0].title, "Kelo Standalone");
    EXPECT_EQ(shown.shown()[0].text, c.text);
    EXPECT_EQ(recorderShows(), (std::vector<std::string>{"yes", "no", "yes", "take"}));
    EXPECT_FALSE(recorder().isRecording());
    EXPECT_EQ(recorder().getAudioFilePath(), "/rec/take.aiff");
    // Pressed again once the cause is gone, it records.
    g_sent.clear();
    click(recorder().getRecordButton());
    EXPECT_TRUE(recorder().isRecording());
    setAlertBackend(&alerts);
  }
}

TEST_F(MediaBar, ClosingTheMainWindowStopsARecordingInProgress) {
  build();
  ui->queueFileAnswer({"/rec/take.aiff"});
  recorder().load();
  recorder().record();
  g_sent.clear();
  frontEnd.reset();
  EXPECT_EQ(sentCommands(), (std::vector<std::int32_t>{PE_ENGINE_RECORDING_STOP}));
}

TEST_F(MediaBar, TheWindowGoingFirstLeavesTheFrontEndWithoutPanels) {
  build();
  delete frontEnd->mainWindow();
  EXPECT_EQ(frontEnd->mainWindow(), nullptr);
  EXPECT_FALSE(frontEnd->hasPlayerPanel());
  EXPECT_FALSE(frontEnd->hasRecorderPanel());
  frontEnd->stopPlayer();
  frontEnd->setPlayerSlider(10);
  EXPECT_FALSE(frontEnd->isRecorderRecording());
  EXPECT_TRUE(g_sent.empty());
}

// ---------------------------------------------------------------------------------------------
// The engine instrument module driving the front end: its idle tick on the toolkit's timer and
// its offline switch.

// Without a display the content panel has no X11 window; the module still needs a view to
// create the editor in (opening it then fails cleanly).
class StandInViewFrontEnd : public MainFrontEnd {
 public:
  void* createMainWindow(const std::string& title) override {
    void* view = MainFrontEnd::createMainWindow(title);
    return view != nullptr ? view : reinterpret_cast<void*>(std::uintptr_t{1});
  }
};

class EngineModuleDrivesTheMediaBar : public MediaBar {
 protected:
  void SetUp() override {
    MediaBar::SetUp();
    kelo::test::requirePreferenceSandbox();
    kelo::test::PreferenceSandbox::clear();
    ASSERT_TRUE(kelo::test::writeFile(data.file("KeloSetup.xml"), "<KeloSetup version=\"1\"/>\n"));
    ASSERT_TRUE(writeConfigStringValue("com.vantor.kelo", "path", KELO_ENGINE_BUNDLE,
                                       CONFIG_LEVEL_USER));
    ASSERT_TRUE(writeConfigStringValue(productPreferenceDomain(conf.vendorName, conf.productName),
                                       "base_dir", data.path(), CONFIG_LEVEL_SYSTEM));
    context.init();
  }

  kelo::test::TempDir data;
  Instance context;
};

TEST_F(EngineModuleDrivesTheMediaBar, TheIdleTickMovesTheSliderAndTheFilesEndRewinds) {
  StandInViewFrontEnd standIn;
  auto* module = new SMPLModule(&standIn, &engineCommand);
  module->init(&context, context.dspInfo());
  module->showUI(nullptr);
  ASSERT_NE(module->editorHandle(), nullptr);
  ASSERT_TRUE(standIn.hasPlayerPanel());
  MIDIFilePlayerGUI& player = *standIn.player();
  EXPECT_EQ(HeadlessBackend::viewOf(*standIn.recorder()->getPanel()).frame().x, 390);
  ui->queueFileAnswer({"/x/demo.mid"});
  player.load();
  player.play();
  g_sent.clear();

  // Every 21st tick of 0.016 s asks for the position.
  g_position = 0.5;
  ui->advanceClock(21 * 0.016 + 0.001);
  EXPECT_EQ(sentCommands(), (std::vector<std::int32_t>{PE_ENGINE_MIDI_POSITION_GET}));
  EXPECT_EQ(HeadlessBackend::viewOf(*player.getPositionSlider()).intValue(), 50);
  EXPECT_TRUE(player.isPlaying());

  g_sent.clear();
  g_position = 1.0;
  ui->advanceClock(21 * 0.016);
  EXPECT_EQ(sentCommands(), (std::vector<std::int32_t>{PE_ENGINE_MIDI_POSITION_GET,
                                                       PE_ENGINE_MIDI_STOP, PE_ENGINE_MIDI_SEEK}));
  EXPECT_EQ(g_sent.back().f, 0.0f);
  EXPECT_FALSE(player.isPlaying());
  EXPECT_TRUE(HeadlessBackend::viewOf(*player.getPlayButton()).isEnabled());
  EXPECT_FALSE(HeadlessBackend::viewOf(*player.getStopButton()).isEnabled());

  // Going offline ends the recording; coming back reloads the player's file.
  ui->queueFileAnswer({"/rec/take.aiff"});
  standIn.recorder()->load();
  standIn.recorder()->record();
  g_sent.clear();
  context.setOffline(true);
  module->setDSPInfo(context.dspInfo());
  EXPECT_FALSE(standIn.isRecorderRecording());
  context.setOffline(false);
  module->setDSPInfo(context.dspInfo());
  std::vector<Sent> switched;
  for (const Sent& s : g_sent) {
    if (s.command != PE_ENGINE_MIDI_POSITION_GET) switched.push_back(s);
  }
  EXPECT_EQ(switched, (std::vector<Sent>{{PE_ENGINE_RECORDING_STOP, "", 0, 0, 0},
                                         {PE_ENGINE_MIDI_LOAD, "/x/demo.mid", 0, 0, 0}}));
  delete module;
}

// ---------------------------------------------------------------------------------------------
// The file questions.

TEST_F(MediaBar, SelectFileAppendsTheExtensionUnlessTheNameHasIt) {
  const struct {
    const char* chosen;
    const char* answer;
  } cases[] = {
      {"/s/name", "/s/name.kelo"},
      {"/s/name.kelo", "/s/name.kelo"},
      {"/s/name.txt", "/s/name.txt.kelo"},
      {"/s/old.kelo.bak", "/s/old.kelo.bak.kelo"},
      {"/s/my.kelo/name", "/s/my.kelo/name.kelo"},
      {"/s/name.KELO", "/s/name.KELO"},
      {"/s/name.Kelo.bak", "/s/name.Kelo.bak.kelo"},
  };
  for (const auto& c : cases) {
    ui->queueFileAnswer({c.chosen});
    EXPECT_EQ(selectFile("Save state", "kelo", false), c.answer) << c.chosen;
  }
  const VNT::FileQuestion& asked = ui->fileQuestions().back();
  EXPECT_EQ(asked.style, 1);
  EXPECT_EQ(asked.title, "Save state");

  ui->queueFileAnswer({"/s/open"});
  EXPECT_EQ(selectFile("Open state", "kelo", true), "/s/open.kelo");
  EXPECT_EQ(ui->fileQuestions().back().style, 0);
  // Cancelled: nothing, not even the extension.
  ui->queueFileAnswer(std::vector<std::string>{});
  EXPECT_EQ(selectFile("Open state", "kelo", true), "");
  ui->queueFileAnswer(std::vector<std::string>{});
  EXPECT_EQ(selectMIDIFile(nullptr), "");
  // The audio file's name says what it holds: AIFF.
  const struct {
    const char* chosen;
    const char* answer;
  } audioCases[] = {
      {"/r/take", "/r/take.aiff"},
      {"/r/take.wav", "/r/take.wav.aiff"},
      {"/r/take.aiff", "/r/take.aiff"},
      {"/r/TAKE.AIFF", "/r/TAKE.AIFF"},
      {"/r/v1.aiff/take", "/r/v1.aiff/take.aiff"},
  };
  for (const auto& c : audioCases) {
    ui->queueFileAnswer({c.chosen});
    EXPECT_EQ(selectAudioFile(nullptr), c.answer) << c.chosen;
  }
  EXPECT_EQ(ui->fileQuestions().back().title, "Record Audio into");
}

}  // namespace
}  // namespace vantor::samplerapp
