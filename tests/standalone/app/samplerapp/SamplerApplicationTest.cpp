// KeloDeck's start-up, shut-down, menus and state files over a scripted back end, the headless
// toolkit, a sandboxed preference store and recorded alerts.
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <set>

#include <gtest/gtest.h>

#include "VNL/source/Alerts.h"
#include "VNL/source/Config.h"
#include "VNL/source/FileUtils.h"
#include "standalone/app/samplerapp/EngineCommand.h"
#include "standalone/app/samplerapp/SamplerApplication.h"
#include "standalone/app/samplerapp/SamplerCocoaApplication.h"
#include "standalone/app/toolkit/Window.h"
#include "tests/standalone/app/toolkit/HeadlessFixture.h"
#include "tests/support/LogCapture.h"
#include "tests/support/PreferenceSandbox.h"
#include "tests/support/TempDir.h"

KELO_PREFERENCE_SANDBOX();

namespace {

using vantor::samplerapp::SamplerApplication;
using vantor::samplerapp::midiDeviceKey;
using vantor::samplerapp::setEngineCommand;

// The back end as the application sees it through its commands.
struct ScriptedBackEnd {
  std::vector<PEAudioDeviceRecord> audio;
  std::vector<PEMIDIDeviceRecord> midi;
  std::vector<std::int32_t> enabled;
  std::set<std::int32_t> failing;  // commands answering 1
  std::vector<std::int32_t> commands;
  std::vector<std::vector<std::int32_t>> calls;  // command, i1, i2
  std::int32_t audioId = -1, rate = 0, size = 0, pair = 0;
  std::vector<unsigned char> chunk{1, 2, 3};
  std::vector<unsigned char> loaded;
  std::vector<std::vector<unsigned char>> allLoaded;
  int chunksOut = 0;

  void addAudio(std::int32_t id, std::int32_t api, const char* name) {
    PEAudioDeviceRecord r{};
    r.id = id;
    r.hostApiCode = api;
    std::strncpy(r.name, name, sizeof r.name - 1);
    audio.push_back(r);
  }
  static PEMIDIDeviceRecord midiRecord(std::int32_t id, const std::string& name) {
    PEMIDIDeviceRecord r{};
    r.id = id;
    std::strncpy(r.name, name.c_str(), sizeof r.name - 1);
    return r;
  }
  void addMIDI(std::int32_t id, const std::string& name) { midi.push_back(midiRecord(id, name)); }
  std::vector<std::vector<std::int32_t>> callsOf(std::int32_t command) const {
    std::vector<std::vector<std::int32_t>> out;
    for (const auto& c : calls)
      if (c[0] == command) out.push_back(c);
    return out;
  }
  bool sent(std::int32_t command) const { return !callsOf(command).empty(); }

  template <typename Record>
  static std::int32_t list(const std::vector<Record>& all, void* p1, void* p2, std::int32_t i1) {
    auto* count = static_cast<std::int32_t*>(p2);
    if (p1 == nullptr) {
      *count = static_cast<std::int32_t>(all.size());
      return 0;
    }
    const std::size_t n = std::min<std::size_t>(all.size(), static_cast<std::size_t>(i1));
    std::copy_n(all.begin(), n, static_cast<Record*>(p1));
    *count = static_cast<std::int32_t>(n);
    return 0;
  }

  std::int32_t run(std::int32_t command, void* p1, void* p2, std::int32_t i1, std::int32_t i2,
                   std::int32_t i3) {
    commands.push_back(command);
    calls.push_back({command, i1, i2});
    // A failing listing fails its second call (the records), not the count.
    if (failing.count(command) != 0 && (p1 != nullptr || (command != 280 && command != 510)))
      return 1;
    switch (command) {
      case 280: return list(audio, p1, p2, i1);
      case 281: audioId = i1; return 0;
      case 282: *static_cast<std::int32_t*>(p1) = audioId; return 0;
      case 286: rate = i1; size = i2; return 0;
      case 287:
        *static_cast<std::int32_t*>(p1) = rate;
        *static_cast<std::int32_t*>(p2) = size;
        return 0;
      case 288: pair = i1; return 0;
      case 290: *static_cast<std::int32_t*>(p1) = pair; return 0;
      case 335:
        *static_cast<unsigned char**>(p1) = chunk.data();
        *static_cast<std::int32_t*>(p2) = static_cast<std::int32_t>(chunk.size());
        ++chunksOut;
        return 0;
      case 336: --chunksOut; return 0;
      case 337:
        loaded.assign(static_cast<unsigned char*>(p1), static_cast<unsigned char*>(p1) + i3);
        allLoaded.push_back(loaded);
        return 0;
      case 510: return list(midi, p1, p2, i1);
      case 512:
        if (failing.count(1000 + i1) != 0) return 9;
        enabled.push_back(i1);
        return 0;
      case 513: {
        auto& out = *static_cast<std::vector<std::int32_t>*>(p1);
        out.insert(out.end(), enabled.begin(), enabled.end());
        return 0;
      }
      default: return 0;
    }
  }
};

ScriptedBackEnd* g_backEnd = nullptr;

std::int32_t scripted(std::int32_t command, void* p1, void* p2, std::int32_t i1, std::int32_t i2,
                      std::int32_t i3, float) {
  return g_backEnd->run(command, p1, p2, i1, i2, i3);
}

const std::string kDomain = "com.Sorvelin.KELO PlayerSA";

std::string readString(const std::string& key) {
  std::string value;
  if (!vantor::readConfigStringValue(kDomain, key, value, vantor::CONFIG_LEVEL_USER))
    return "<absent>";
  return value;
}
int readInt(const std::string& key) {
  int value = -12345;
  vantor::readConfigIntValue(kDomain, key, value, vantor::CONFIG_LEVEL_USER);
  return value;
}
void writeInt(const std::string& key, int v) {
  vantor::writeConfigIntValue(kDomain, key, v, vantor::CONFIG_LEVEL_USER);
}
void writeString(const std::string& key, const std::string& v) {
  vantor::writeConfigStringValue(kDomain, key, v, vantor::CONFIG_LEVEL_USER);
}

class SamplerApplicationTest : public kelo::test::HeadlessToolkit {
 protected:
  void SetUp() override {
    HeadlessToolkit::SetUp();
    kelo::test::requirePreferenceSandbox();
    kelo::test::PreferenceSandbox::clear();
    g_backEnd = &back;
    previous = setEngineCommand(&scripted);
    vantor::setAlertBackend(&alerts);
  }
  void TearDown() override {
    delete app;
    vantor::setAlertBackend(nullptr);
    setEngineCommand(previous);
    g_backEnd = nullptr;
    HeadlessToolkit::TearDown();
  }
  void start() {
    app = new SamplerApplication();
    app->initialize();
  }
  // A start of its own for one case of a table: empty preferences but "firstUse" 0, a new
  // back end.
  void freshCase() {
    delete app;
    app = nullptr;
    kelo::test::PreferenceSandbox::clear();
    writeInt("firstUse", 0);
    back = ScriptedBackEnd{};
  }
  void stop() {
    app->terminate();
    delete app;
    app = nullptr;
  }

  ScriptedBackEnd back;
  vantor::RecordingAlertBackend alerts;
  kelo::test::LogCapture log;
  SamplerApplication* app = nullptr;
  vantor::samplerapp::EngineCommandFunction previous = nullptr;
};

TEST(SamplerApplicationNames, DomainAndDeviceKeys) {
  EXPECT_EQ(vantor::samplerapp::standalonePreferenceDomain(), kDomain);
  EXPECT_EQ(midiDeviceKey(0), "mididevice00");
  EXPECT_EQ(midiDeviceKey(9), "mididevice09");
  EXPECT_EQ(midiDeviceKey(10), "mididevice10");
  EXPECT_EQ(midiDeviceKey(11), "mididevice11");
  EXPECT_EQ(midiDeviceKey(100), "mididevice100");
}

TEST_F(SamplerApplicationTest, FirstStartTakesTheFirstDeviceAndShowsTheMessageOnce) {
  back.addAudio(4, 10, "system");
  back.addAudio(7, 10, "other");
  back.addMIDI(20, "Midi Through (in)");
  back.addMIDI(21, "KELO-Player_In (in)");
  back.addMIDI(22, "KELO_Player keys (in)");
  back.addMIDI(23, "KELO Playerless");  // "KELO Player" is in it too
  start();
  EXPECT_EQ(back.audioId, 4);
  EXPECT_EQ(back.rate, 44100);
  EXPECT_EQ(back.size, 512);
  EXPECT_EQ(back.callsOf(288).size(), 1u);
  EXPECT_EQ(back.pair, 0);
  EXPECT_EQ(back.enabled, (std::vector<std::int32_t>{21, 22, 23}));
  EXPECT_TRUE(log.has('I', "found a driver whose name matches the Kelo product: KELO-Player_In (in)"));
  ASSERT_EQ(alerts.shown().size(), 1u);
  EXPECT_EQ(alerts.shown()[0].title, "KELO Player");
  EXPECT_EQ(alerts.shown()[0].text,
            "This is the first time you are running this application. Please go to Preferences "
            "to set your Audio and MIDI devices.");
  EXPECT_EQ(readInt("firstUse"), 0);
  EXPECT_EQ(readString("listingaudiodevices"), "<absent>");
  EXPECT_EQ(readString("listingmididevices"), "<absent>");
  // Order: initialise, list, devices, then audio, the instrument and its editor.
  const auto& c = back.commands;
  const auto at = [&](std::int32_t command) {
    return std::find(c.begin(), c.end(), command) - c.begin();
  };
  EXPECT_EQ(c.front(), 261);
  EXPECT_LT(at(281), at(510));
  EXPECT_LT(at(512), at(300));
  EXPECT_LT(at(300), at(330));
  EXPECT_LT(at(330), at(332));

  stop();
  back.commands.clear();
  start();
  EXPECT_EQ(alerts.shown().size(), 1u);
}

TEST_F(SamplerApplicationTest, FirstStartWithoutAProductDeviceTakesTheFirst) {
  back.addAudio(4, 10, "system");
  back.addMIDI(30, "Midi Through (in)");
  back.addMIDI(31, "Keyboard (in)");
  start();
  EXPECT_EQ(back.enabled, (std::vector<std::int32_t>{30}));
  EXPECT_TRUE(log.has('I', "did not find a driver whose name matches the Kelo product: KELO "
                           "Player reverting to first available"));
}

TEST_F(SamplerApplicationTest, MIDIRestoreTable) {
  struct Case {
    const char* name;
    std::vector<std::string> present;
    int saved;  // -1: "nbmididevice" absent
    std::vector<std::string> savedNames;
    std::vector<std::int32_t> enabled;
    bool goneLine;
  };
  const std::vector<Case> cases = {
      {"none saved", {"A (in)", "B (in)"}, 0, {}, {}, false},
      {"three saved, two present", {"A (in)", "B (in)", "C (in)"}, 3,
       {"C (in)", "Gone (in)", "A (in)"}, {102, 100}, true},
      {"none present", {"A (in)", "B (in)"}, 2, {"X (in)", "Y (in)"}, {100}, true},
      {"no devices, saved", {}, 2, {"A (in)", "B (in)"}, {}, false},
      {"no devices, first start", {}, -1, {}, {}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    kelo::test::LogCapture log;
    freshCase();
    back.addAudio(4, 10, "system");
    for (std::size_t i = 0; i < c.present.size(); ++i)
      back.addMIDI(100 + static_cast<std::int32_t>(i), c.present[i]);
    if (c.saved >= 0) writeInt("nbmididevice", c.saved);
    for (std::size_t i = 0; i < c.savedNames.size(); ++i) writeString(midiDeviceKey(i), c.savedNames[i]);
    start();
    EXPECT_EQ(back.enabled, c.enabled);
    EXPECT_EQ(log.has('E', "Device :Gone (in) is gone from this system, using default") ||
                  log.has('E', "Device :X (in) is gone"),
              c.goneLine);
    EXPECT_TRUE(alerts.shown().empty());
    delete app;
    app = nullptr;
  }
}

// Every failure of start-up and shut-down is logged and the run goes on: the scripted back
// end fails the command each case names.
TEST_F(SamplerApplicationTest, StartUpAndShutDownFailuresAreLoggedAndTheRunGoesOn) {
  struct Case {
    const char* name;
    std::set<std::int32_t> failingAtStart;
    std::set<std::int32_t> failingAtShutDown;
    const char* line;                   // the error line
    std::vector<std::int32_t> enabled;  // MIDI devices enabled at start
    int savedCount;                     // "nbmididevice" after shut-down
  };
  const std::vector<Case> cases = {
      {"audio list", {280}, {}, "cannot list audio devices!", {11}, 1},
      {"MIDI list", {510}, {}, "cannot list MIDI devices!", {}, 1},
      {"device settings", {286}, {}, "cannot set this device to those settings", {11}, 1},
      // No saved MIDI choice and no product device: the first device, which cannot open.
      {"first device cannot open", {1000 + 10}, {}, "cannot set MIDI device: 10", {}, 0},
      {"list before saving", {}, {510},
       "error trying to get the MIDI Devices list before saving Preferences", {11}, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    kelo::test::LogCapture log;
    freshCase();
    back.addAudio(4, 10, "system");
    back.addMIDI(10, "Through (in)");
    back.addMIDI(11, "Keys (in)");
    if (c.failingAtStart.count(1000 + 10) == 0) writeInt("nbmididevice", 1);
    writeString(midiDeviceKey(0), "Keys (in)");
    back.failing = c.failingAtStart;
    start();
    EXPECT_EQ(back.enabled, c.enabled);
    EXPECT_EQ(back.sent(281), c.failingAtStart.count(280) == 0);
    EXPECT_EQ(back.sent(288), back.sent(281)) << "the stereo pair follows even refused settings";
    EXPECT_TRUE(back.sent(300)) << "start-up goes on";
    back.failing = c.failingAtShutDown;
    stop();
    EXPECT_TRUE(log.has('E', c.line));
    EXPECT_TRUE(alerts.shown().empty());
    EXPECT_EQ(readInt("nbmididevice"), c.savedCount);
    EXPECT_EQ(readString(midiDeviceKey(0)), "Keys (in)");
    EXPECT_EQ(back.commands.back(), 262) << "shut-down goes on";
  }
}

TEST_F(SamplerApplicationTest, AMIDIDeviceThatCannotOpenKeepsItsLine) {
  writeInt("firstUse", 0);
  back.addMIDI(5, "A (in)");
  back.addMIDI(6, "B (in)");
  writeInt("nbmididevice", 2);
  writeString(midiDeviceKey(0), "A (in)");
  writeString(midiDeviceKey(1), "B (in)");
  back.failing.insert(1000 + 5);
  start();
  EXPECT_EQ(back.enabled, (std::vector<std::int32_t>{6}));
  EXPECT_TRUE(log.has('E', "cannot set midi device:5  it is probably already in use."));
}

TEST_F(SamplerApplicationTest, AudioRestoreTable) {
  struct Case {
    const char* name;
    std::string savedName;
    int savedApi;
    bool devices;
    std::int32_t expectedId;  // -1: no 281
    bool goneLine;
  };
  const std::vector<Case> cases = {
      {"same name and code", "other", 10, true, 7, false},
      {"same name, other code", "other", 3, true, 4, true},
      {"name gone", "usb", 10, true, 4, true},
      {"nothing saved", "", -1, true, 4, false},
      {"no devices", "other", 10, false, -1, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    kelo::test::LogCapture log;
    freshCase();
    if (c.devices) {
      back.addAudio(4, 10, "system");
      back.addAudio(7, 10, "other");
    }
    writeString("audiodevice", c.savedName);
    writeInt("audiodeviceapi", c.savedApi);
    writeInt("samplerate", 48000);
    writeInt("buffersize", 256);
    writeInt("audiodevicestereopair", 1);
    start();
    if (c.expectedId < 0) {
      EXPECT_FALSE(back.sent(281));
      EXPECT_FALSE(back.sent(286));
      EXPECT_FALSE(back.sent(288));
    } else {
      EXPECT_EQ(back.audioId, c.expectedId);
      EXPECT_EQ(back.rate, 48000);
      EXPECT_EQ(back.size, 256);
      EXPECT_EQ(back.pair, 1);
    }
    EXPECT_EQ(log.has('E', "Device :" + c.savedName + " is gone from this system, using default"),
              c.goneLine);
    delete app;
    app = nullptr;
  }
}

TEST_F(SamplerApplicationTest, ALeftListingKeyWarnsOnceAndIsGoneAfterStart) {
  const struct {
    const char *key, *kind;
  } cases[] = {{"listingaudiodevices", "audio"}, {"listingmididevices", "MIDI"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.kind);
    kelo::test::LogCapture log;
    freshCase();
    vantor::RecordingAlertBackend caseAlerts;
    vantor::setAlertBackend(&caseAlerts);
    writeString(c.key, "listing");
    back.addAudio(4, 10, "system");
    back.addMIDI(10, "Keys (in)");
    start();
    ASSERT_EQ(caseAlerts.shown().size(), 1u);
    EXPECT_EQ(caseAlerts.shown()[0].title, "KELO Player");
    EXPECT_EQ(caseAlerts.shown()[0].text,
              std::string("Last ") + c.kind + " devices listing failed or is not finished yet.\n" +
                  "Please update your drivers or try removing some " + c.kind + " devices.");
    EXPECT_TRUE(log.has(
        'W', std::string("Last ") + c.kind + " devices listing failed or is not finished yet!"));
    EXPECT_EQ(readString(c.key), "<absent>");
    EXPECT_EQ(back.audioId, 4) << "the listing goes on";
    EXPECT_EQ(back.enabled, (std::vector<std::int32_t>{10}));
    stop();
    start();
    EXPECT_EQ(caseAlerts.shown().size(), 1u);
    vantor::setAlertBackend(&alerts);
  }
}

TEST_F(SamplerApplicationTest, ShutDownWritesTheDeviceKeys) {
  for (int n : {1, 10, 12}) {
    SCOPED_TRACE(n);
    freshCase();
    writeInt("nbmididevice", 0);
    back.addAudio(4, 10, "system");
    back.addAudio(7, 3, "other");
    for (int i = 0; i < n; ++i) back.addMIDI(200 + i, "dev" + std::to_string(i));
    start();
    for (int i = 0; i < n; ++i) back.enabled.push_back(200 + i);
    back.audioId = 7;
    back.rate = 96000;
    back.size = 128;
    back.pair = 2;
    stop();
    EXPECT_EQ(readInt("nbmididevice"), n);
    for (int i = 0; i < n; ++i) EXPECT_EQ(readString(midiDeviceKey(i)), "dev" + std::to_string(i));
    EXPECT_EQ(readString(midiDeviceKey(n)), "<absent>");
    EXPECT_EQ(readString("audiodevice"), "other");
    EXPECT_EQ(readInt("audiodeviceapi"), 3);
    EXPECT_EQ(readInt("audiodevicestereopair"), 2);
    EXPECT_EQ(readInt("samplerate"), 96000);
    EXPECT_EQ(readInt("buffersize"), 128);
    const auto& c = back.commands;
    ASSERT_GE(c.size(), 2u);
    EXPECT_EQ(c[c.size() - 2], 301);
    EXPECT_EQ(c.back(), 262);
  }
  EXPECT_EQ(readString("mididevice09"), "dev9");
  EXPECT_EQ(readString("mididevice11"), "dev11");
}

TEST_F(SamplerApplicationTest, ShutDownSkipsAnIdMissingFromTheFreshList) {
  writeInt("firstUse", 0);
  writeInt("nbmididevice", 0);
  back.addAudio(4, 10, "system");
  back.addMIDI(1, "one (in)");
  back.addMIDI(2, "two (in)");
  back.addMIDI(3, "three (in)");
  start();
  back.enabled = {1, 2, 3};
  back.midi = {ScriptedBackEnd::midiRecord(1, "one (in)"),
               ScriptedBackEnd::midiRecord(3, "three (in)")};  // the fresh list at shut-down
  back.audioId = 99;  // not in the list made at start
  stop();
  EXPECT_EQ(readInt("nbmididevice"), 2);
  EXPECT_EQ(readString("mididevice00"), "one (in)");
  EXPECT_EQ(readString("mididevice01"), "three (in)");
  EXPECT_TRUE(log.has('E', "Cannot find midi device name:2"));
  EXPECT_TRUE(log.has('E', "Cannot find audio device name:99"));
  EXPECT_EQ(readString("audiodevice"), "<absent>") << "not a device of this run";
  EXPECT_EQ(readInt("audiodeviceapi"), -12345);
}

TEST_F(SamplerApplicationTest, AFailedDeviceQuestionKeepsTheSavedDevice) {
  writeInt("firstUse", 0);
  writeString("audiodevice", "usb");
  writeInt("audiodeviceapi", 10);
  back.addAudio(4, 10, "system");
  start();
  back.failing.insert(282);
  stop();
  EXPECT_EQ(readString("audiodevice"), "usb");
  EXPECT_EQ(readInt("audiodeviceapi"), 10);
  EXPECT_TRUE(log.has('E', "Cannot find audio device name:-1"));
}

// Shut-down writes the keys of a device open in this run only; a start without audio or MIDI
// devices (no JACK server) keeps what the last run with them saved.
TEST_F(SamplerApplicationTest, ShutDownKeepsTheKeysOfDevicesThisRunDidNotHave) {
  struct Case {
    const char* name;
    bool audio;
    bool midi;
  };
  const Case cases[] = {{"both", true, true},
                        {"no audio device", false, true},
                        {"no MIDI device", true, false},
                        {"neither", false, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    freshCase();
    writeString("audiodevice", "system");
    writeInt("audiodeviceapi", 10);
    writeInt("samplerate", 48000);
    writeInt("buffersize", 256);
    writeInt("audiodevicestereopair", 1);
    writeInt("nbmididevice", 1);
    writeString(midiDeviceKey(0), "Keys (in)");
    if (c.audio) {
      back.addAudio(3, 10, "other");
      back.addAudio(4, 10, "system");
    }
    if (c.midi) {
      back.addMIDI(50, "Through (in)");
      back.addMIDI(51, "Keys (in)");
    }
    start();
    if (c.audio) {  // the user picks another device and settings in this run
      back.audioId = 3;
      back.rate = 96000;
      back.size = 64;
      back.pair = 0;
    }
    if (c.midi) back.enabled = {50};
    stop();
    EXPECT_EQ(readString("audiodevice"), c.audio ? "other" : "system");
    EXPECT_EQ(readInt("audiodeviceapi"), 10);
    EXPECT_EQ(readInt("samplerate"), c.audio ? 96000 : 48000);
    EXPECT_EQ(readInt("buffersize"), c.audio ? 64 : 256);
    EXPECT_EQ(readInt("audiodevicestereopair"), c.audio ? 0 : 1);
    EXPECT_EQ(readInt("nbmididevice"), 1);
    EXPECT_EQ(readString(midiDeviceKey(0)), c.midi ? "Through (in)" : "Keys (in)");
  }
}

// Devices exist but the user enabled none: that choice is saved.
TEST_F(SamplerApplicationTest, NoMIDIDeviceEnabledAmongPresentOnesIsSaved) {
  writeInt("firstUse", 0);
  writeInt("nbmididevice", 0);
  back.addMIDI(50, "Through (in)");
  start();
  writeInt("nbmididevice", 2);  // as another run might have left it
  stop();
  EXPECT_EQ(readInt("nbmididevice"), 0);
}

TEST_F(SamplerApplicationTest, OpenDocumentsLoadInTheirOrder) {
  kelo::test::TempDir dir;
  std::vector<std::string> paths;
  for (unsigned char b : {'a', 'b', 'c'}) {
    paths.push_back(dir.file(std::string(1, static_cast<char>(b)) + ".kelo"));
    std::ofstream(paths.back(), std::ios::binary) << b << b;
  }
  app = new SamplerApplication();
  EXPECT_EQ(vantor::samplerapp::KeloSAAppleEventHandleODoc(paths, nullptr), 0);
  EXPECT_FALSE(back.sent(337));
  EXPECT_EQ(vantor::samplerapp::KeloSAAppleEventHandleODoc(paths, app), 0);
  EXPECT_EQ(back.allLoaded, (std::vector<std::vector<unsigned char>>{
                                {'a', 'a'}, {'b', 'b'}, {'c', 'c'}}));
  EXPECT_TRUE(log.has('I', "innerLoadChunk init Engine"));
}

TEST(InstallMenus, Table) {
  vantor::VNT::MenuBarModel menus;
  ASSERT_TRUE(vantor::VNT::parseInterfaceText(
      "menu product_name\n"
      "item about: - About the product_name\n"
      "item showPrefs: , Preferences...\n"
      "item terminate: q Quit product_name\n"
      "menu File\n"
      "item none: o Load...\n"
      "item none: s Save...\n"
      "item none: d Save as Default\n"
      "separator\n"
      "item none: R Render Offline...\n"
      "item keep: , Settings of product_name\n"
      "item keep: x Other\n"
      "item keep: - No key\n",
      menus));
  vantor::samplerapp::KELOSAApplication target;
  target.installMenus(menus);
  struct Expected {
    std::string title, key, action;
  };
  const std::vector<std::vector<Expected>> expected = {
      {{"About the KELO Player", "", "about:"},
       {"Preferences...", ",", "showPrefs:"},
       {"Quit KELO Player", "q", "terminate:"}},
      {{"Load...", "o", "loadFile:"},
       {"Save...", "s", "saveFile:"},
       {"Save as Default", "d", "saveAsDefault:"},
       {"", "", ""},
       {"Render Offline...", "R", "renderOffline:"},
       {"Settings of KELO Player", ",", "keep:"},
       {"Other", "x", "keep:"},
       {"No key", "", "keep:"}},
  };
  ASSERT_EQ(menus.size(), 2u);
  EXPECT_EQ(menus[0].title, "product_name");  // only the items are visited
  for (std::size_t m = 0; m < expected.size(); ++m) {
    ASSERT_EQ(menus[m].items.size(), expected[m].size());
    for (std::size_t i = 0; i < expected[m].size(); ++i) {
      SCOPED_TRACE(expected[m][i].title);
      EXPECT_EQ(menus[m].items[i].title, expected[m][i].title);
      EXPECT_EQ(menus[m].items[i].key, expected[m][i].key);
      EXPECT_EQ(menus[m].items[i].action, expected[m][i].action);
    }
  }
  // Without an application the chunk actions do nothing.
  EXPECT_TRUE(target.perform("saveFile:"));
  EXPECT_FALSE(target.perform("about:"));
}

TEST_F(SamplerApplicationTest, TheInterfaceFileGivesTheMainWindowItsMenus) {
  writeInt("firstUse", 0);
  kelo::test::TempDir dir;
  const std::string file = dir.file("cocoa");
  std::ofstream(file) << "menu product_name\nitem terminate: q Quit product_name\n"
                         "menu File\nitem load: o Load...\nitem save: s Save...\n";
  app = new SamplerApplication();
  ASSERT_TRUE(app->loadInterfaceFile(file));
  app->initialize();
  vantor::VNT::MainWindow* window = vantor::VNT::MainWindow::current();
  ASSERT_NE(window, nullptr);
  auto& peer = ui->windowOf(*window);
  ASSERT_EQ(peer.menus().size(), 2u);
  EXPECT_EQ(peer.menus()[0].items[0].title, "Quit KELO Player");
  // Ctrl+S saves through the file question, with the extension added.
  const std::string target = dir.file("state");
  ui->queueFileAnswer(std::vector<std::string>{target});
  ASSERT_TRUE(peer.pressAccelerator("s"));
  ASSERT_EQ(ui->fileQuestions().size(), 1u);
  EXPECT_EQ(ui->fileQuestions()[0].title, "Save kelo file");
  EXPECT_EQ(ui->fileQuestions()[0].style, 1);
  std::size_t length = 0, spare = 0;
  unsigned char* bytes = binFileInternalize(target + ".kelo", length, spare);
  ASSERT_NE(bytes, nullptr);
  EXPECT_EQ(std::vector<unsigned char>(bytes, bytes + length), back.chunk);
  binFileFree(bytes);
  // Ctrl+O loads it back.
  ui->queueFileAnswer(std::vector<std::string>{target + ".kelo"});
  ASSERT_TRUE(peer.pressAccelerator("o"));
  EXPECT_EQ(ui->fileQuestions()[1].title, "Load kelo file");
  EXPECT_EQ(back.loaded, back.chunk);
}

TEST_F(SamplerApplicationTest, TheSaveQuestionAddsTheExtension) {
  struct Case {
    std::string typed, written;
  };
  kelo::test::TempDir dir;
  const std::vector<Case> cases = {{"song", "song.kelo"},
                                   {"song.kelo", "song.kelo"},
                                   {"song.txt", "song.txt.kelo"}};
  app = new SamplerApplication();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.typed);
    ui->queueFileAnswer(std::vector<std::string>{dir.file(c.typed)});
    app->onSaveChunk();
    EXPECT_TRUE(fileExists(dir.file(c.written)));
  }
  EXPECT_EQ(back.chunksOut, 0);
  EXPECT_EQ(back.callsOf(335).size(), 3u);
  EXPECT_EQ(back.callsOf(336).size(), 3u);
  // Cancelled: nothing asked of the engine.
  ui->queueFileAnswer(std::vector<std::string>{});
  app->onSaveChunk();
  EXPECT_EQ(back.callsOf(335).size(), 3u);
  // A refused chunk: no 336.
  back.failing.insert(335);
  ui->queueFileAnswer(std::vector<std::string>{dir.file("x")});
  app->onSaveChunk();
  EXPECT_EQ(back.callsOf(336).size(), 3u);
  EXPECT_FALSE(fileExists(dir.file("x.kelo")));
}

TEST_F(SamplerApplicationTest, SavingOverAStateFileAsksAboutTheFileReallyWritten) {
  kelo::test::TempDir dir;
  const std::string song = dir.file("song.kelo");
  ASSERT_TRUE(kelo::test::writeFile(song, "old state"));
  app = new SamplerApplication();
  // "song" typed, "song.kelo" would be written: the question names it; kept, nothing is sent.
  alerts.queueAnswer(1);
  ui->queueFileAnswer(std::vector<std::string>{dir.file("song")});
  app->onSaveChunk();
  ASSERT_EQ(alerts.shown().size(), 1u);
  EXPECT_NE(alerts.shown()[0].title.find("\u201csong.kelo\u201d"), std::string::npos);
  EXPECT_EQ(kelo::test::readFile(song), "old state");
  EXPECT_TRUE(back.callsOf(335).empty());
  // Replaced when the user says so.
  alerts.queueAnswer(0);
  ui->queueFileAnswer(std::vector<std::string>{dir.file("song")});
  app->onSaveChunk();
  EXPECT_EQ(alerts.shown().size(), 2u);
  EXPECT_EQ(kelo::test::readFile(song),
            std::string(back.chunk.begin(), back.chunk.end()));
}

TEST_F(SamplerApplicationTest, StateFilesRoundTripByteForByte) {
  kelo::test::TempDir dir;
  back.chunk.clear();
  for (int i = 0; i < 70000; ++i) back.chunk.push_back(static_cast<unsigned char>(i * 7 + (i >> 8)));
  back.chunk[10] = 0;
  app = new SamplerApplication();
  ui->queueFileAnswer(std::vector<std::string>{dir.file("whole.kelo")});
  app->onSaveChunk();
  app->innerLoadChunk(dir.file("whole.kelo"));
  EXPECT_EQ(back.loaded, back.chunk);
  // The default file goes to the user's product folder.
  app->saveDefaultChunk();
  const std::string userDefault =
      setUserPathVendorProduct("Sorvelin", "KELO Player") + "/default.kelo";
  back.loaded.clear();
  app->innerLoadChunk(userDefault);
  EXPECT_EQ(back.loaded, back.chunk);
  EXPECT_EQ(back.chunksOut, 0);
}

TEST_F(SamplerApplicationTest, AFailedSaveKeepsTheOldFileAndLeavesNoTemporary) {
  kelo::test::TempDir dir;
  const std::string path = dir.file("keep.kelo");
  std::ofstream(path, std::ios::binary) << "old state";
  back.chunk.assign(100000, 0x5a);
  app = new SamplerApplication();
  // A write larger than the file-size limit fails (even for root).
  struct rlimit saved {};
  getrlimit(RLIMIT_FSIZE, &saved);
  struct rlimit small = saved;
  small.rlim_cur = 4096;
  auto* previousHandler = signal(SIGXFSZ, SIG_IGN);
  setrlimit(RLIMIT_FSIZE, &small);
  ui->queueFileAnswer(std::vector<std::string>{path});
  app->onSaveChunk();
  setrlimit(RLIMIT_FSIZE, &saved);
  signal(SIGXFSZ, previousHandler);
  EXPECT_TRUE(log.has('E', "failed to save chunk to : " + path));
  EXPECT_EQ(kelo::test::readFile(path), "old state");
  EXPECT_EQ(back.callsOf(336).size(), 1u);
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
    names.push_back(entry.path().filename());
  EXPECT_EQ(names, (std::vector<std::string>{"keep.kelo"}));
  // A folder that does not exist: the file cannot be created.
  ui->queueFileAnswer(std::vector<std::string>{dir.file("missing/x.kelo")});
  app->onSaveChunk();
  EXPECT_TRUE(log.has('E', "failed to create file : " + dir.file("missing/x.kelo")));
}

// A save replaces the file the user named: a new one gets the umask's mode, an existing one
// keeps its mode, and a symbolic link keeps being one, the file it leads to replaced.
TEST(WriteFileAtomically, ModesAndLinks) {
  struct Case {
    const char* name;
    mode_t umask;
    int existingMode;    // -1: no file yet
    const char* linkTo;  // the name saved to is a link to this (nullptr: no link)
    mode_t expectedMode;
  };
  const Case cases[] = {
      {"new, umask 022", 022, -1, nullptr, 0644},
      {"new, umask 077", 077, -1, nullptr, 0600},
      {"existing 0600", 022, 0600, nullptr, 0600},
      {"existing 0664", 077, 0664, nullptr, 0664},
      {"link to a file", 022, 0640, "real.kelo", 0640},
      {"link into a folder", 022, 0660, "sub/real.kelo", 0660},
      {"link to nothing yet", 027, -1, "sub/new.kelo", 0640},
  };
  const unsigned char bytes[] = {'n', 'e', 'w'};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    kelo::test::TempDir dir;
    std::filesystem::create_directory(dir.file("sub"));
    const std::string saved = dir.file("song.kelo");
    const std::string file = c.linkTo != nullptr ? dir.file(c.linkTo) : saved;
    if (c.existingMode >= 0) {
      ASSERT_TRUE(kelo::test::writeFile(file, "old"));
      ASSERT_EQ(::chmod(file.c_str(), static_cast<mode_t>(c.existingMode)), 0);
    }
    if (c.linkTo != nullptr) {
      ASSERT_EQ(::symlink(c.linkTo, saved.c_str()), 0);
    }
    const mode_t previous = ::umask(c.umask);
    bool created = false;
    const bool written =
        vantor::samplerapp::writeFileAtomically(saved, bytes, sizeof bytes, created);
    ::umask(previous);
    ASSERT_TRUE(written);
    struct stat status {};
    ASSERT_EQ(::lstat(saved.c_str(), &status), 0);
    EXPECT_EQ(S_ISLNK(status.st_mode), c.linkTo != nullptr);
    ASSERT_EQ(::stat(file.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, c.expectedMode);
    EXPECT_EQ(kelo::test::readFile(file), "new");
  }
}

// What the user is told of a state file that failed.
std::string toldFailure(const std::string& action, const std::string& path,
                        const std::string& reason) {
  return "Could not " + action + " the state file \u201c" + path + "\u201d: " + reason + ".";
}

TEST_F(SamplerApplicationTest, LoadingRefusesWhatCannotBeAChunkAndSaysWhy) {
  kelo::test::TempDir dir;
  const std::string empty = dir.file("empty.kelo");
  std::ofstream(empty, std::ios::binary).flush();
  const std::string huge = dir.file("huge.kelo");
  {
    std::ofstream(huge, std::ios::binary).flush();
    ASSERT_EQ(truncate(huge.c_str(), 0x80000000LL), 0);  // sparse: takes no space
  }
  app = new SamplerApplication();
  app->initEngine();
  struct Case {
    std::string path, line, reason;
  };
  const std::vector<Case> cases = {
      {dir.file("absent.kelo"), "load chunk cannot open file : ", "No such file or directory"},
      {empty, "load chunk cannot read file : ", "it is empty"},
      {huge, "load chunk cannot read file : ", "it is too large to be a state file"},
      {dir.path(), "load chunk cannot read file : ", "it is not a regular file"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    const std::size_t before = alerts.shown().size();
    EXPECT_EQ(app->innerLoadChunk(c.path), 0);
    EXPECT_TRUE(log.has('E', c.line + c.path));
    ASSERT_EQ(alerts.shown().size(), before + 1);
    EXPECT_EQ(alerts.shown().back().title, "KELO Player");
    EXPECT_EQ(alerts.shown().back().text, toldFailure("load", c.path, c.reason));
  }
  EXPECT_FALSE(back.sent(337));
  // The engine refuses the bytes (Ctrl+O on a foreign file).
  std::ofstream(dir.file("bad.kelo"), std::ios::binary) << "<?xml?>";
  back.failing.insert(337);
  ui->queueFileAnswer(std::vector<std::string>{dir.file("bad.kelo")});
  app->onLoadChunk();
  EXPECT_TRUE(log.has('E', "load chunk failed for file : " + dir.file("bad.kelo")));
  EXPECT_EQ(alerts.shown().back().text, toldFailure("load", dir.file("bad.kelo"),
                                                    "the instrument cannot use what it holds"));
}

TEST_F(SamplerApplicationTest, AFailedSaveIsToldWithTheFileAndTheReason) {
  kelo::test::TempDir dir;
  app = new SamplerApplication();
  struct Case {
    const char* typed;
    bool chunkRefused;
    std::string written, reason;
  };
  const std::vector<Case> cases = {
      {"missing/x", false, dir.file("missing/x.kelo"), "No such file or directory"},
      {"y", true, dir.file("y.kelo"), "the instrument gave no state to save"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.typed);
    if (c.chunkRefused) back.failing.insert(335);
    const std::size_t before = alerts.shown().size();
    ui->queueFileAnswer(std::vector<std::string>{dir.file(c.typed)});
    app->onSaveChunk();
    back.failing.erase(335);
    ASSERT_EQ(alerts.shown().size(), before + 1);
    EXPECT_EQ(alerts.shown().back().title, "KELO Player");
    EXPECT_EQ(alerts.shown().back().text, toldFailure("save", c.written, c.reason));
  }
  // What works says nothing.
  const std::size_t before = alerts.shown().size();
  ui->queueFileAnswer(std::vector<std::string>{dir.file("fine")});
  app->onSaveChunk();
  app->innerLoadChunk(dir.file("fine.kelo"));
  EXPECT_EQ(alerts.shown().size(), before);
}

TEST_F(SamplerApplicationTest, AShortReadIsNotHandedOver) {
  // sysfs attributes report a size of a page and read back far fewer bytes.
  const std::string path = "/sys/kernel/mm/transparent_hugepage/enabled";
  struct stat status {};
  if (stat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode) || status.st_size <= 1000)
    GTEST_SKIP() << "no sysfs attribute to read short";
  app = new SamplerApplication();
  app->initEngine();
  app->innerLoadChunk(path);
  EXPECT_TRUE(log.has('E', "load chunk cannot read file : " + path));
  EXPECT_FALSE(back.sent(337));
}

TEST_F(SamplerApplicationTest, AnOpenBeforeStartUpStartsTheEngineFirst) {
  kelo::test::TempDir dir;
  std::ofstream(dir.file("a.kelo"), std::ios::binary) << "abc";
  app = new SamplerApplication();
  app->loadFile(dir.file("a.kelo"));
  EXPECT_EQ(back.commands, (std::vector<std::int32_t>{300, 330, 332, 337}));
  app->initEngine();
  EXPECT_TRUE(log.has('I', "already init"));
  EXPECT_EQ(back.commands.size(), 4u);
}

TEST_F(SamplerApplicationTest, AFailedAudioStartIsShownAndStartUpGoesOn) {
  writeInt("firstUse", 0);
  back.failing.insert(300);
  start();
  ASSERT_EQ(alerts.shown().size(), 1u);
  EXPECT_EQ(alerts.shown()[0].title, "init: Audio Engine Start Error");
  EXPECT_EQ(alerts.shown()[0].text, "Please check sample rate");
  EXPECT_TRUE(back.sent(330));
  EXPECT_TRUE(back.sent(332));
  EXPECT_TRUE(app->engineStarted());
}

}  // namespace
