#include <sys/inotify.h>
#include <unistd.h>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "VNL/source/Alerts.h"
#include "VNL/source/Config.h"
#include "VNL/source/FileUtils.h"
#include "VNL/source/ProductConf.h"
#include "standalone/host/DSPInfo.h"
#include "standalone/host/Instance.h"
#include "standalone/host/SMPLModule.h"
#include "tests/standalone/host/HostTestSupport.h"
#include "tests/standalone/host/graph/GraphTestSupport.h"
#include "tests/support/PreferenceSandbox.h"
#include "tests/support/TempDir.h"

KELO_PREFERENCE_SANDBOX();

namespace {

using Source = vantor::StartupChunkChoice::Source;
using vantor::SMPLModule;

// ---------------------------------------------------------------------------------------------
// The start-up chunk rules on their own.

std::set<std::string>* g_existing = nullptr;
bool existsInTable(const std::string& path) { return g_existing->count(path) != 0; }

TEST(StartupChunk, TheRulesPickTheFileToLoad) {
  const std::string user = "/home/u/default.kelo";
  const std::string data = "/data/default.kelo";
  struct Case {
    const char* name;
    std::vector<std::string> arguments;  // empty: the arguments could not be had
    std::set<std::string> existing;
    Source source;
    std::string path;
    bool noUserDefault;
  };
  const std::vector<Case> cases = {
      {"no argument", {"/bin/KeloDeck"}, {user, data}, Source::UserDefault, user, false},
      {"arguments unavailable", {}, {user}, Source::UserDefault, user, false},
      {"data-folder default", {"/bin/KeloDeck"}, {data}, Source::DataFolderDefault, data, true},
      {"nothing anywhere", {"/bin/KeloDeck"}, {}, Source::DataFolderDefault, data, true},
      {".kelo", {"/bin/KeloDeck", "/s/song.kelo"}, {user, "/s/song.kelo"}, Source::Argument,
       "/s/song.kelo", false},
      {".KELO", {"/bin/KeloDeck", "/s/SONG.KELO"}, {user, "/s/SONG.KELO"}, Source::Skip, "",
       false},
      {".mid", {"/bin/KeloDeck", "/s/song.mid"}, {user, "/s/song.mid"}, Source::Skip, "", false},
      {"no extension", {"/bin/KeloDeck", "/s.d/song"}, {user, "/s.d/song"}, Source::Skip, "",
       false},
      {"missing file", {"/bin/KeloDeck", "/s/gone.kelo"}, {user}, Source::UserDefault, user,
       false},
      {"missing file, no user default", {"/bin/KeloDeck", "/s/gone.kelo"}, {},
       Source::DataFolderDefault, data, true},
      {"empty argument", {"/bin/KeloDeck", ""}, {user, ""}, Source::UserDefault, user, false},
  };
  for (const Case& c : cases) {
    std::set<std::string> existing = c.existing;
    g_existing = &existing;
    const auto choice = vantor::chooseStartupChunk(c.arguments.empty() ? nullptr : &c.arguments,
                                                   user, data, &existsInTable);
    EXPECT_EQ(choice.source, c.source) << c.name;
    EXPECT_EQ(choice.path, c.path) << c.name;
    EXPECT_EQ(choice.noUserDefault, c.noUserDefault) << c.name;
  }
  g_existing = nullptr;
}

TEST(ApplicationFolder, IsTheParentOfTheFolderHoldingTheProgram) {
  const auto program = std::filesystem::read_symlink("/proc/self/exe");
  EXPECT_EQ(vantor::folderHoldingApplication(), program.parent_path().parent_path().string());
}

// ---------------------------------------------------------------------------------------------
// The module over the reference engine.

// A front end that keeps what it is asked, with one window view and timers it can fire.
class RecordingFrontEnd : public vantor::InstrumentFrontEnd {
 public:
  void* createMainWindow(const std::string& title) override {
    calls.push_back("window " + title);
    return withWindow ? reinterpret_cast<void*>(0x5a5a) : nullptr;
  }
  void setClientSizeAndCentre(int width, int height) override {
    calls.push_back("size " + std::to_string(width) + "x" + std::to_string(height));
  }
  void addMediaBar(int y, int recorderX, const std::string&) override {
    calls.push_back("mediabar " + std::to_string(y) + " " + std::to_string(recorderX));
    playerPanel = recorderPanel = true;
  }
  void showMainWindow() override { calls.push_back("show"); }
  TimerId addTimer(double first, double interval, TimerCallback callback, void* user) override {
    calls.push_back("timer " + std::to_string(first) + " " + std::to_string(interval));
    m_callback = callback;
    m_user = user;
    return ++m_lastTimer;
  }
  void removeTimer(TimerId id) override {
    calls.push_back("remove timer " + std::to_string(id));
    m_callback = nullptr;
  }
  bool hasPlayerPanel() override { return playerPanel; }
  void stopPlayer() override { calls.push_back("player stop"); }
  void seekPlayer() override { calls.push_back("player seek"); }
  void setPlayerSlider(int value) override { calls.push_back("slider " + std::to_string(value)); }
  void reloadPlayer() override { calls.push_back("player reload"); }
  bool hasRecorderPanel() override { return recorderPanel; }
  bool isRecorderRecording() override { return recording; }
  void stopRecorder() override { calls.push_back("recorder stop"); }

  /// Fires the timer `n` times, as the main loop would.
  void tick(int n) {
    for (int i = 0; i < n && m_callback != nullptr; ++i) m_callback(m_user);
  }
  bool timerLive() const { return m_callback != nullptr; }

  bool withWindow = true;
  bool playerPanel = false;
  bool recorderPanel = false;
  bool recording = false;
  std::vector<std::string> calls;

 private:
  TimerCallback m_callback = nullptr;
  void* m_user = nullptr;
  TimerId m_lastTimer = 0;
};

// The command interface as the module sees it: a position and the program's arguments.
double g_position = 0.0;
int g_positionPolls = 0;
std::vector<std::string> g_arguments;
std::int32_t fakeCommands(std::int32_t command, void* p1, void*, std::int32_t, std::int32_t,
                          std::int32_t, float) {
  if (command == SMPLModule::kCommandMIDIPositionGet) {
    ++g_positionPolls;
    *static_cast<double*>(p1) = g_position;
    return 0;
  }
  if (command == SMPLModule::kCommandAppArgumentsGet) {
    *static_cast<std::vector<std::string>*>(p1) = g_arguments;
    return 0;
  }
  return 3;
}

// In a child that ends the process on purpose, what is still allocated is no leak.
void ignoreLeaksFromHere() {
#if defined(__SANITIZE_ADDRESS__)
  __lsan_disable();
#endif
}

class SMPLModuleTest : public testing::Test {
 protected:
  void SetUp() override {
    engine.install();
    ASSERT_NE(engine.control, nullptr);
    context.init();
    engine.control(KELO_TEST_RESET, nullptr, nullptr, 0, 0);
    g_position = 0.0;
    g_positionPolls = 0;
    g_arguments = {"/bin/KeloDeck"};
  }

  SMPLModule* make() {
    auto* module = new SMPLModule(&frontEnd, &fakeCommands);
    module->init(&context, context.dspInfo());
    return module;
  }

  /// `module`'s state saved as the user's default state file; its path, empty on failure.
  static std::string saveUserDefault(SMPLModule& module, std::string& chunk) {
    unsigned char* bytes = nullptr;
    int size = 0;
    if (!module.saveChunk(&bytes, size)) return "";
    chunk.assign(reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(size));
    const std::string userFolder = setUserPathVendorProduct(conf.vendorName, conf.productName);
    if (userFolder.empty() || !kelo::test::writeFile(userFolder + "/default.kelo", chunk)) return "";
    return userFolder + "/default.kelo";
  }

  kelo::test::LogCapture log;
  kelo::test::ReferenceEngine engine;
  vantor::Instance context;
  RecordingFrontEnd frontEnd;
};

TEST_F(SMPLModuleTest, StartsWithVersionCreationFormatAndStart) {
  SMPLModule* module = make();
  module->start();
  EXPECT_EQ(engine.opcodes(), (std::vector<int>{KELO_OP_VERSION_GET, KELO_OP_INSTANCE_CREATE,
                                                KELO_OP_DSP_SET, KELO_OP_START}));
  const auto trace = engine.trace();
  EXPECT_EQ(trace[0].handleKind, KELO_HANDLE_NULL);
  EXPECT_EQ(trace[1].handleKind, KELO_HANDLE_NULL);
  EXPECT_EQ(trace[2].handleKind, KELO_HANDLE_INSTANCE);
  EXPECT_EQ(trace[3].i1, 0);  // not offline
  EXPECT_TRUE(log.has('I', "SMPLModule::init()"));
  EXPECT_TRUE(log.has('I', "fetched Version:1056"));
  EXPECT_STREQ(module->dataFolder(), engine.data.path().c_str());

  // Every audio start sends the offline flag of that moment.
  module->stop();
  context.setOffline(true);
  module->start();
  const auto later = engine.trace();
  ASSERT_EQ(later.size(), 6u);
  EXPECT_EQ(later[4].opcode, KELO_OP_STOP);
  EXPECT_EQ(later[5].opcode, KELO_OP_START);
  EXPECT_EQ(later[5].i1, 1);
  delete module;
  EXPECT_TRUE(engine.findings().empty());
}

TEST_F(SMPLModuleTest, ACreationRefusedInTheDataFolderIsRetriedFromTheApplicationFolder) {
  ASSERT_TRUE(vantor::writeConfigStringValue(kelo::test::ReferenceEngine::domain(), "base_dir",
                                             engine.data.file("empty"),
                                             vantor::CONFIG_LEVEL_SYSTEM));
  kelo::test::TempDir application;
  ASSERT_TRUE(kelo::test::writeFile(application.file("KeloSetup.xml"), "<KeloSetup/>\n"));
  auto* module = new SMPLModule(&frontEnd, &fakeCommands);
  module->setApplicationFolder(application.path());
  module->init(&context, context.dspInfo());
  EXPECT_NE(module->instanceHandle(), nullptr);
  EXPECT_TRUE(log.has('E', "Engine creation failed!"));
  EXPECT_TRUE(log.has('I', "found the file in the current directory : " + application.path()));
  EXPECT_STREQ(module->dataFolder(), application.path().c_str());
  EXPECT_EQ(engine.opcodes(), (std::vector<int>{KELO_OP_VERSION_GET, KELO_OP_INSTANCE_CREATE,
                                                KELO_OP_INSTANCE_CREATE, KELO_OP_DSP_SET}));
  // The editor's setup file is looked for there too.
  module->showUI(nullptr);
  EXPECT_TRUE(log.has('I', "smallerSize enabled"));
  delete module;
}

TEST_F(SMPLModuleTest, BothCreationsRefusedEndTheProcessWithStatusZero) {
  EXPECT_EXIT(
      {
        ignoreLeaksFromHere();
        engine.control(KELO_TEST_FAIL_OPCODE, nullptr, nullptr, KELO_OP_INSTANCE_CREATE, 1);
        SMPLModule module(&frontEnd, &fakeCommands);
        module.setApplicationFolder(engine.data.path());
        module.init(&context, context.dspInfo());
        std::_Exit(3);  // not reached
      },
      testing::ExitedWithCode(0), "");
  EXPECT_TRUE(log.has('E', "Engine creation failed!"));
  EXPECT_TRUE(log.has('E', "no engine ticket!"));
}

TEST_F(SMPLModuleTest, BindingFailuresEndTheProcessWithStatusZeroAfterTheirLine) {
  struct Case {
    const char* key;
    const char* domain;
    vantor::CONFIG_LEVEL level;
    const char* line;
  };
  const Case cases[] = {
      {"base_dir", "", vantor::CONFIG_LEVEL_SYSTEM, "Can't get base_dir from configuration"},
      {"path", "com.vantor.kelo", vantor::CONFIG_LEVEL_USER, "Can't get path from configuration"},
  };
  for (const Case& c : cases) {
    const std::string domain = *c.domain ? c.domain : kelo::test::ReferenceEngine::domain();
    engine.install();
    EXPECT_EXIT(
        {
          ignoreLeaksFromHere();
          vantor::deleteConfigValue(domain, c.key, c.level);
          SMPLModule module(&frontEnd, &fakeCommands);
          module.init(&context, context.dspInfo());
          std::_Exit(3);
        },
        testing::ExitedWithCode(0), "")
        << c.key;
    EXPECT_TRUE(log.has('E', c.line)) << c.key << log.text();
  }
}

TEST_F(SMPLModuleTest, ABlockOf1100EventsGivesTheEngineTheFirst1024) {
  SMPLModule* module = make();
  module->start();
  std::vector<vantor::MIDIEvent> events(1100);
  for (std::size_t i = 0; i < events.size(); ++i) {
    events[i].bytes[0] = 0xB0;
    events[i].bytes[1] = 1;
    events[i].bytes[2] = static_cast<std::uint8_t>(i & 0x7F);
    events[i].frameOffset = static_cast<std::int32_t>(i / 4);  // 0 to 274, ordered
  }
  std::vector<float> left(512, 9.0f);
  std::vector<float> right(512, 9.0f);
  float* outputs[2] = {left.data(), right.data()};
  module->processMIDIStereo(events, nullptr, outputs, 512, false);
  module->processMIDIStereo({}, nullptr, outputs, 512, false);
  const auto trace = engine.trace();
  ASSERT_EQ(trace.size(), 6u);
  EXPECT_EQ(trace[4].opcode, KELO_OP_PROCESS);
  EXPECT_EQ(trace[4].events, 1024);
  EXPECT_EQ(trace[4].frames, 512);
  EXPECT_EQ(trace[4].hasSync, 0);
  EXPECT_EQ(trace[5].events, 0);  // the call is made without events too
  EXPECT_TRUE(engine.findings().empty());
  delete module;
}

TEST_F(SMPLModuleTest, TheChunkGoesOutAndComesBack) {
  SMPLModule* module = make();
  unsigned char* bytes = nullptr;
  int size = 0;
  ASSERT_TRUE(module->saveChunk(&bytes, size));
  ASSERT_GT(size, 0);
  std::vector<unsigned char> chunk(bytes, bytes + size);
  EXPECT_TRUE(module->loadChunk(chunk.data(), size));
  EXPECT_FALSE(module->saveChunkEnd());
  engine.control(KELO_TEST_FAIL_OPCODE, nullptr, nullptr, KELO_OP_CHUNK_SET, 5);
  EXPECT_FALSE(module->loadChunk(chunk.data(), size));
  engine.control(KELO_TEST_FAIL_OPCODE, nullptr, nullptr, KELO_OP_CHUNK_GET, 5);
  EXPECT_FALSE(module->saveChunk(&bytes, size));
  delete module;
}

TEST_F(SMPLModuleTest, ShowingTheInterfaceOpensTheEditorAndItGoesBeforeTheInstance) {
  SMPLModule* module = make();
  module->showUI(nullptr);
  EXPECT_NE(module->editorHandle(), nullptr);
  const std::vector<int> shown = {KELO_OP_VERSION_GET, KELO_OP_INSTANCE_CREATE, KELO_OP_DSP_SET,
                                  KELO_OP_EDITOR_CREATE, KELO_OP_EDITOR_OPEN,
                                  KELO_OP_EDITOR_ATTACH, KELO_OP_EDITOR_SIZE_GET};
  EXPECT_EQ(engine.opcodes(), shown);
  // The reference editor is 420 x 320: narrower than 755, so the recorder moves left.
  EXPECT_EQ(frontEnd.calls, (std::vector<std::string>{
                                "window Sorvelin KELO Player", "size 420x360", "mediabar 320 390",
                                "show", "timer 0.016000 0.016000"}));
  frontEnd.calls.clear();
  delete module;
  std::vector<int> gone = shown;
  gone.insert(gone.end(),
              {KELO_OP_EDITOR_DETACH, KELO_OP_EDITOR_DESTROY, KELO_OP_INSTANCE_DESTROY});
  EXPECT_EQ(engine.opcodes(), gone);
  EXPECT_EQ(frontEnd.calls, (std::vector<std::string>{"remove timer 1"}));
  EXPECT_FALSE(frontEnd.timerLive());
  EXPECT_TRUE(engine.findings().empty());
}

TEST_F(SMPLModuleTest, WithoutAnEditorNoEditorCallIsMade) {
  struct Case {
    const char* name;
    bool showUI;
    bool withWindow;
    bool refuseEditor;
  };
  for (const Case& c : {Case{"never shown", false, true, false},
                        Case{"no window", true, false, false},
                        Case{"editor refused", true, true, true}}) {
    engine.control(KELO_TEST_RESET, nullptr, nullptr, 0, 0);
    frontEnd.withWindow = c.withWindow;
    if (c.refuseEditor) {
      engine.control(KELO_TEST_FAIL_OPCODE, nullptr, nullptr, KELO_OP_EDITOR_CREATE, 1);
    }
    SMPLModule* module = make();
    if (c.showUI) module->showUI(nullptr);
    EXPECT_EQ(module->editorHandle(), nullptr) << c.name;
    frontEnd.tick(50);
    module->idle();
    delete module;
    for (int opcode : engine.opcodes()) {
      EXPECT_TRUE(opcode == KELO_OP_VERSION_GET || opcode == KELO_OP_INSTANCE_CREATE ||
                  opcode == KELO_OP_DSP_SET || opcode == KELO_OP_INSTANCE_DESTROY ||
                  opcode == KELO_OP_EDITOR_CREATE)
          << c.name << " sent " << opcode;
    }
    EXPECT_EQ(engine.opcodes().back(), KELO_OP_INSTANCE_DESTROY) << c.name;
    EXPECT_TRUE(engine.findings().empty()) << c.name;
  }
}

TEST_F(SMPLModuleTest, TheIdleTickPollsThePositionEveryTwentyFirstTick) {
  SMPLModule* module = make();
  module->showUI(nullptr);
  engine.control(KELO_TEST_RESET, nullptr, nullptr, 0, 0);
  frontEnd.calls.clear();
  g_position = 0.995;
  frontEnd.tick(20);
  EXPECT_EQ(g_positionPolls, 0);
  frontEnd.tick(1);
  EXPECT_EQ(g_positionPolls, 1);
  EXPECT_EQ(frontEnd.calls, (std::vector<std::string>{"slider 99"}));
  frontEnd.calls.clear();
  g_position = 1.0;
  frontEnd.tick(21);
  EXPECT_EQ(g_positionPolls, 2);
  EXPECT_EQ(frontEnd.calls, (std::vector<std::string>{"player stop", "player seek"}));
  EXPECT_EQ(engine.opcodes(), std::vector<int>(42, KELO_OP_EDITOR_IDLE));

  // Offline: only the editor's tick.
  frontEnd.calls.clear();
  frontEnd.recording = true;
  context.setOffline(true);
  module->setDSPInfo(context.dspInfo());
  EXPECT_EQ(frontEnd.calls, (std::vector<std::string>{"recorder stop"}));
  frontEnd.tick(100);
  EXPECT_EQ(g_positionPolls, 2);
  context.setOffline(false);
  module->setDSPInfo(context.dspInfo());
  EXPECT_EQ(frontEnd.calls, (std::vector<std::string>{"recorder stop", "player reload"}));
  delete module;
}

TEST_F(SMPLModuleTest, WithoutTheMediaBarTheWindowIsTheEditorsSize) {
  ASSERT_TRUE(vantor::writeConfigIntValue(kelo::test::ReferenceEngine::domain() + "SA",
                                          "usesMediaBar", 0, vantor::CONFIG_LEVEL_SYSTEM));
  SMPLModule* module = make();
  module->showUI(nullptr);
  EXPECT_EQ(frontEnd.calls, (std::vector<std::string>{"window Sorvelin KELO Player",
                                                      "size 420x320", "show",
                                                      "timer 0.016000 0.016000"}));
  delete module;
}

TEST_F(SMPLModuleTest, TheStartUpChunkIsLoadedFromTheUserDefault) {
  SMPLModule* module = make();
  std::string chunk;
  const std::string userDefault = saveUserDefault(*module, chunk);
  ASSERT_FALSE(userDefault.empty());

  engine.control(KELO_TEST_RESET, nullptr, nullptr, 0, 0);
  EXPECT_TRUE(module->loadDefaultChunk());
  EXPECT_EQ(engine.opcodes(), (std::vector<int>{KELO_OP_CHUNK_SET}));

  // A MIDI file as argument: nothing is loaded, and that is no failure.
  kelo::test::TempDir dir;
  ASSERT_TRUE(kelo::test::writeFile(dir.file("song.mid"), "MThd"));
  g_arguments = {"/bin/KeloDeck", dir.file("song.mid")};
  EXPECT_TRUE(module->loadDefaultChunk());
  EXPECT_EQ(engine.opcodes().size(), 1u);

  // No user default and none in the data folder: nothing opened.
  g_arguments = {"/bin/KeloDeck"};
  ASSERT_EQ(::unlink(userDefault.c_str()), 0);
  EXPECT_FALSE(module->loadDefaultChunk());
  EXPECT_TRUE(log.has('I', "no user default.kelo found, check in app dataPath"));

  // An empty file is opened but not handed to the engine.
  ASSERT_TRUE(kelo::test::writeFile(engine.data.file("default.kelo"), ""));
  EXPECT_TRUE(module->loadDefaultChunk());
  EXPECT_EQ(engine.opcodes().size(), 1u);
  delete module;
}

// A default file too long for a chunk (its length travels as an int32) is refused by its size:
// never read, so a huge file costs no memory. The kernel reports every read of the file.
TEST_F(SMPLModuleTest, AStartUpChunkTooLongIsRefusedUnread) {
  SMPLModule* module = make();
  const std::string userFolder = setUserPathVendorProduct(conf.vendorName, conf.productName);
  ASSERT_FALSE(userFolder.empty());
  const std::string huge = userFolder + "/default.kelo";
  ASSERT_TRUE(kelo::test::writeFile(huge, ""));
  ASSERT_EQ(::truncate(huge.c_str(), 0x80000000LL), 0);  // sparse: takes no space
  const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  ASSERT_GE(watch, 0);
  ASSERT_GE(::inotify_add_watch(watch, huge.c_str(), IN_ACCESS), 0);

  engine.control(KELO_TEST_RESET, nullptr, nullptr, 0, 0);
  EXPECT_FALSE(module->loadDefaultChunk());
  EXPECT_TRUE(engine.opcodes().empty());
  alignas(inotify_event) char events[4096];
  EXPECT_LT(::read(watch, events, sizeof events), 0) << "the file was read";
  ::close(watch);
  ::unlink(huge.c_str());
  delete module;
}

TEST_F(SMPLModuleTest, ABadStateFileGivenAtStartIsToldAndTheStartGoesOnWithTheDefault) {
  SMPLModule* module = make();
  std::string chunk;
  ASSERT_FALSE(saveUserDefault(*module, chunk).empty());
  kelo::test::TempDir dir;
  std::string random;
  for (int i = 0; i < 4096; ++i) random.push_back(static_cast<char>((i * 7919 + 13) >> 3));
  const struct {
    const char* name;
    std::string bytes;
    const char* reason;
    std::size_t chunkSets;  // the bad file's (when it has bytes), then the default's
  } cases[] = {
      {"random.kelo", random, "the instrument cannot use what it holds", 2},
      {"truncated.kelo", chunk.substr(0, chunk.size() / 2), "the instrument cannot use what it holds", 2},
      {"foreign.kelo", "<?xml version=\"1.0\"?><plist/>", "the instrument cannot use what it holds", 2},
      {"empty.kelo", "", "it is empty", 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = dir.file(c.name);
    ASSERT_TRUE(kelo::test::writeFile(path, c.bytes));
    g_arguments = {"/bin/KeloDeck", path};
    engine.control(KELO_TEST_RESET, nullptr, nullptr, 0, 0);
    vantor::RecordingAlertBackend alerts;
    vantor::setAlertBackend(&alerts);
    EXPECT_TRUE(module->loadDefaultChunk());
    vantor::setAlertBackend(nullptr);
    ASSERT_EQ(alerts.shown().size(), 1u);
    EXPECT_EQ(alerts.shown()[0].title, "KELO Player");
    EXPECT_EQ(alerts.shown()[0].text,
              "Could not load the state file \u201c" + path + "\u201d: " + c.reason + ".");
    EXPECT_EQ(engine.opcodes(), std::vector<int>(c.chunkSets, KELO_OP_CHUNK_SET));
  }
  // A good file given at start is loaded without a word.
  ASSERT_TRUE(kelo::test::writeFile(dir.file("good.kelo"), chunk));
  g_arguments = {"/bin/KeloDeck", dir.file("good.kelo")};
  engine.control(KELO_TEST_RESET, nullptr, nullptr, 0, 0);
  vantor::RecordingAlertBackend alerts;
  vantor::setAlertBackend(&alerts);
  EXPECT_TRUE(module->loadDefaultChunk());
  vantor::setAlertBackend(nullptr);
  EXPECT_TRUE(alerts.shown().empty());
  EXPECT_EQ(engine.opcodes(), (std::vector<int>{KELO_OP_CHUNK_SET}));
  delete module;
}

}  // namespace
