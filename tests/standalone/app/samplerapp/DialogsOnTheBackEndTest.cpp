// The dialogs on the real back end: the reference engine installed in a sandboxed preference
// store, audio playing on a private JACK server with the dummy driver. The preferences list the
// JACK device; the render dialog (headless, its timer on the virtual clock moved along with the
// wall clock) renders the demo file into the same AIFF file as kelo-backend-driver's offline
// render, sample for sample.
#include <sndfile.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "standalone/app/samplerapp/Dialogs.h"
#include "standalone/app/toolkit/headless/HeadlessBackend.h"
#include "standalone/host/EngineOpcode.h"
#include "tests/standalone/commands/CommandTestSupport.h"
#include "tests/support/JackDummyServer.h"
#include "tests/support/PreferenceSandbox.h"
#include "tests/support/TempDir.h"

KELO_PREFERENCE_SANDBOX();

namespace kelo::test {
namespace {

using vantor::VNT::headless::HeadlessBackend;
using vantor::VNT::headless::HeadlessView;

constexpr int kRate = 44100;
constexpr int kBlock = 512;

std::int32_t command(PE_ENGINE_OPCODE op, void* p1 = nullptr, void* p2 = nullptr, int i1 = 0,
                     int i2 = 0) {
  return engineOpcode(op, p1, p2, i1, i2, 0, 0.0f);
}

bool isPlaying() {
  bool playing = false;
  return command(PE_ENGINE_AUDIO_ISPLAYING, &playing) == 0 && playing;
}

struct Samples {
  SF_INFO info{};
  std::vector<float> frames;
};

Samples readSamples(const std::string& path) {
  Samples s;
  SNDFILE* file = sf_open(path.c_str(), SFM_READ, &s.info);
  if (file == nullptr) return s;
  s.frames.resize(static_cast<std::size_t>(s.info.frames * s.info.channels));
  sf_readf_float(file, s.frames.data(), s.info.frames);
  sf_close(file);
  return s;
}

HeadlessView& controlOf(vantor::VNT::Window& window, unsigned id) {
  HeadlessView& content = HeadlessBackend::windowOf(window).content();
  for (const auto& child : content.children())
    if (child->tag() == id) return *child;
  ADD_FAILURE() << "no control " << id;
  return content;
}

TEST(DialogsOnTheBackEnd, PreferencesListJackAndTheRenderWritesWhatTheDriverWrites) {
  requirePreferenceSandbox();
  PreferenceSandbox::clear();
  FailureEcho::install();
  JackDummyServer server({.rate = kRate, .period = kBlock});
  ASSERT_TRUE(server.ready());
  InstalledEngine engine;
  TempDir files;
  const std::string dialogOutput = files.file("dialog.aiff");
  const std::string driverOutput = files.file("driver.aiff");
  HeadlessBackend& ui = HeadlessBackend::install();

  // The back end up and playing on JACK's "system" device.
  ASSERT_EQ(command(PE_ENGINE_INITIALIZE), 0);
  std::int32_t count = 0;
  ASSERT_EQ(command(PE_ENGINE_AUDIODEVICE_LIST, nullptr, &count), 0);
  std::vector<PEAudioDeviceRecord> devices(static_cast<std::size_t>(count));
  ASSERT_EQ(command(PE_ENGINE_AUDIODEVICE_LIST, devices.data(), &count, count), 0);
  int system = -1;
  for (const PEAudioDeviceRecord& d : devices)
    if (system < 0 && std::strstr(d.name, "system") != nullptr) system = d.id;
  ASSERT_GE(system, 0) << "no JACK system device";
  ASSERT_EQ(command(PE_ENGINE_AUDIODEVICE_SET, nullptr, nullptr, system), 0);
  ASSERT_EQ(command(PE_ENGINE_AUDIODEVICE_SETTINGS, nullptr, nullptr, kRate, kBlock), 0);
  ASSERT_EQ(command(PE_ENGINE_INSTRUMENT_ADD), PE_ENGINE_NOT_HANDLED);
  ASSERT_EQ(command(PE_ENGINE_AUDIO_START), 0);
  ASSERT_TRUE(isPlaying());

  {
    // The preferences list the JACK device, selected, with the server's rate and block size.
    vantor::samplerapp::PrefsVNT prefs;
    EXPECT_FALSE(isPlaying());
    HeadlessView& audio = controlOf(*prefs.getWindow(), 10001);
    ASSERT_GE(audio.selectedItem(), 0);
    EXPECT_NE(audio.items()[static_cast<std::size_t>(audio.selectedItem())].find("system"),
              std::string::npos);
    HeadlessView& rate = controlOf(*prefs.getWindow(), 10003);
    ASSERT_GE(rate.selectedItem(), 0);
    EXPECT_EQ(rate.items()[static_cast<std::size_t>(rate.selectedItem())], "44100 Hz");
  }
  EXPECT_TRUE(isPlaying());
  {
    vantor::samplerapp::RenderOfflineVNT dialog;
    EXPECT_FALSE(isPlaying());
    ui.queueFileAnswer(std::vector<std::string>{KELO_DEMO_MIDI});
    controlOf(*dialog.getWindow(), 1004).click();
    ui.queueFileAnswer(std::vector<std::string>{dialogOutput});
    controlOf(*dialog.getWindow(), 1003).click();
    controlOf(*dialog.getWindow(), 1001).click();
    ASSERT_TRUE(dialog.isRendering());
    // The render runs at full speed on the offline thread; the dialog's ticks follow it.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (dialog.isRendering() && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      ui.advanceClock(vantor::samplerapp::RenderOfflineVNT::kTickSeconds);
    }
    EXPECT_FALSE(dialog.isRendering());
    // Afterwards audio is stopped and offline mode is off: real-time audio starts again.
    EXPECT_FALSE(isPlaying());
  }
  EXPECT_TRUE(isPlaying());  // it ran when the dialog opened
  command(PE_ENGINE_AUDIO_STOP);
  command(PE_ENGINE_SHUTDOWN);
  vantor::VNT::setBackend(nullptr);

  const DriverRun run = runDriver(server.name(), {"render", KELO_DEMO_MIDI, driverOutput});
  ASSERT_EQ(run.status, 0) << run.output;

  const Samples fromDialog = readSamples(dialogOutput);
  const Samples fromDriver = readSamples(driverOutput);
  EXPECT_EQ(fromDialog.info.format, SF_FORMAT_AIFF | SF_FORMAT_PCM_16);
  EXPECT_EQ(fromDialog.info.samplerate, kRate);
  EXPECT_EQ(fromDialog.info.channels, 2);
  ASSERT_GT(fromDialog.info.frames, 16 * kRate / 2);  // the 16 beats at 120 a minute
  EXPECT_EQ(fromDialog.info.frames, fromDriver.info.frames);
  ASSERT_EQ(fromDialog.frames.size(), fromDriver.frames.size());
  // The gain modules ramp from their last level over the first block: from silence in the
  // driver's fresh back end, from full level in one that played before the dialog opened.
  const std::size_t firstBlock = 2 * kBlock;
  for (std::size_t i = 0; i < firstBlock; ++i)
    ASSERT_GE(std::abs(fromDialog.frames[i]), std::abs(fromDriver.frames[i])) << i;
  std::size_t same = firstBlock;
  while (same < fromDriver.frames.size() && fromDialog.frames[same] == fromDriver.frames[same])
    ++same;
  EXPECT_EQ(same, fromDriver.frames.size()) << "the samples differ from there on";
  EXPECT_EQ(engine.findings(), 0);
}

}  // namespace
}  // namespace kelo::test
