// End to end, in real time, on a private JACK server with the dummy driver: the driver program
// plays the demo file on JACK's "system" device and records its output, while a JACK client of
// the test captures the driver's output ports.
//
// The server runs without real-time scheduling but waits for clients late for their cycle, so a
// loaded machine stretches a run in wall-clock time and seldom costs the capture a cycle. A run
// whose capture still missed cycles between the notes is discarded and run again, a few times
// at most; the recorded file, written from the render, is checked strictly in every run.
#include <sndfile.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "tests/standalone/commands/CommandTestSupport.h"
#include "tests/support/JackDummyServer.h"
#include "tests/support/PreferenceSandbox.h"
#include "tests/support/TempDir.h"
#include "tests/support/jack/JackTestClient.h"

KELO_PREFERENCE_SANDBOX();

namespace {

constexpr int kRate = 48000;
constexpr int kBlock = 256;
constexpr int kFramesPerBeat = kRate / 2;  // 120 beats a minute
constexpr std::size_t kCaptureFrames = 30 * kRate;  // the driver's time-out
constexpr int kRuns = 5;

// Melody notes the demo file plays once only, with their beats.
struct Landmark {
  int beat;
  int note;
};
constexpr Landmark kLandmarks[] = {{6, 69}, {8, 77}, {12, 71}, {15, 84}};

std::vector<float> readLeft(const std::string& path, int& rate) {
  SF_INFO info{};
  std::vector<float> left;
  SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
  if (file == nullptr) return left;
  rate = info.samplerate;
  std::vector<float> frames(static_cast<std::size_t>(info.frames * info.channels));
  sf_readf_float(file, frames.data(), info.frames);
  sf_close(file);
  for (std::size_t i = 0; i < frames.size(); i += static_cast<std::size_t>(info.channels)) {
    left.push_back(frames[i]);
  }
  return left;
}

// Power of `frequency` in a Hann-windowed stretch of kWindow samples (Goertzel).
constexpr std::size_t kWindow = 4096;
double powerAt(const std::vector<float>& samples, std::size_t first, double frequency) {
  static const std::vector<double> hann = [] {
    std::vector<double> window(kWindow);
    for (std::size_t i = 0; i < kWindow; ++i) {
      window[i] = 0.5 - 0.5 * std::cos(2.0 * M_PI * static_cast<double>(i) / (kWindow - 1));
    }
    return window;
  }();
  const double coefficient = 2.0 * std::cos(2.0 * M_PI * frequency / kRate);
  double s1 = 0.0;
  double s2 = 0.0;
  for (std::size_t i = 0; i < kWindow; ++i) {
    const double s0 = samples[first + i] * hann[i] + coefficient * s1 - s2;
    s2 = s1;
    s1 = s0;
  }
  return s1 * s1 + s2 * s2 - coefficient * s1 * s2;
}

// Where `note` starts: the first stretch whose power at its frequency reaches a quarter of the
// loudest. Every note has the same attack, so the offset this measures is the same for each
// and cancels in the intervals. -1 when the note is not there.
long onsetOf(const std::vector<float>& samples, int note) {
  constexpr std::size_t kHop = 64;
  const double frequency = 440.0 * std::exp2((note - 69) / 12.0);
  std::vector<double> power;
  for (std::size_t first = 0; first + kWindow <= samples.size(); first += kHop) {
    power.push_back(powerAt(samples, first, frequency));
  }
  double loudest = 0.0;
  for (double p : power) loudest = std::max(loudest, p);
  if (loudest < 1.0) return -1;
  for (std::size_t i = 0; i < power.size(); ++i) {
    if (power[i] >= 0.25 * loudest) return static_cast<long>(i * kHop);
  }
  return -1;
}

std::vector<long> landmarkOnsets(const std::vector<float>& samples) {
  std::vector<long> onsets;
  for (const Landmark& landmark : kLandmarks) onsets.push_back(onsetOf(samples, landmark.note));
  return onsets;
}

void expectBeatIntervals(const std::vector<long>& onsets, const char* what) {
  SCOPED_TRACE(what);
  for (std::size_t i = 0; i < onsets.size(); ++i) ASSERT_GE(onsets[i], 0) << kLandmarks[i].note;
  for (std::size_t i = 1; i < onsets.size(); ++i) {
    const long expected = (kLandmarks[i].beat - kLandmarks[i - 1].beat) * kFramesPerBeat;
    EXPECT_NEAR(onsets[i] - onsets[i - 1], expected, kBlock) << kLandmarks[i].note;
  }
}

// The driver's JACK output ports, once its stream runs; empty after the driver's own time-out
// (a loaded machine can take many seconds to start a sanitized program).
std::vector<std::string> driverPorts(const kelo::test::JackTestClient& capture) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (std::chrono::steady_clock::now() < deadline) {
    std::vector<std::string> ports;
    for (const std::string& port : capture.outputPorts(std::string(conf.productName) + ":")) {
      if (port.find("out") != std::string::npos) ports.push_back(port);
    }
    if (ports.size() >= 2) return ports;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return {};
}

// One live run: what the driver reported, the landmarks' onsets in the file it recorded and in
// the capture of its left output port, and whether the capture missed cycles between them.
struct LiveRun {
  kelo::test::DriverRun driver;
  bool captured = false;
  int fileRate = 0;
  std::size_t fileFrames = 0;
  std::vector<long> fileOnsets;
  std::vector<long> heardOnsets;
  bool heardDisturbed = false;
  std::uint64_t missedCycles = 0;
};

LiveRun playLive(const kelo::test::JackDummyServer& server, const std::string& recorded) {
  LiveRun run;
  kelo::test::JackTestClient capture(server.clientName("kelo-capture"), 2, kCaptureFrames);
  if (!capture.ok()) return run;
  std::thread driver([&] {
    run.driver = kelo::test::runDriver(
        server.name(), {"live", KELO_DEMO_MIDI, recorded, "--device", "system", "--rate",
                        std::to_string(kRate), "--block", std::to_string(kBlock), "--timeout",
                        "30"});
  });
  const std::vector<std::string> ports = driverPorts(capture);
  const std::uint64_t missedBefore = capture.missedCycles();
  if (ports.size() >= 2 &&
      jack_connect(capture.client(), ports[0].c_str(), capture.inputName(0).c_str()) == 0 &&
      jack_connect(capture.client(), ports[1].c_str(), capture.inputName(1).c_str()) == 0) {
    capture.startRecording();
    run.captured = true;
  }
  driver.join();
  capture.stopRecording();
  capture.waitCycles(2);  // a cycle missed at the very end shows in the next one
  run.missedCycles = capture.missedCycles() - missedBefore;

  const std::vector<float> file = readLeft(recorded, run.fileRate);
  run.fileFrames = file.size();
  run.fileOnsets = landmarkOnsets(file);
  run.heardOnsets = landmarkOnsets(capture.recorded(0));
  // Frames missing between two onsets shorten that interval; one window either side covers
  // what each onset was measured over. A note missing altogether is no missed cycle.
  const auto [first, last] = std::minmax_element(run.heardOnsets.begin(), run.heardOnsets.end());
  run.heardDisturbed =
      *first >= 0 && capture.missedWhileRecording(std::size_t(std::max(*first - long(kWindow), 0L)),
                                                  std::size_t(*last) + kWindow);
  return run;
}

TEST(RealtimeEndToEnd, PlaysAndRecordsTheDemoFileOnAJackServer) {
  kelo::test::requirePreferenceSandbox();
  kelo::test::PreferenceSandbox::clear();
  using Server = kelo::test::JackDummyServer;
  Server server({.rate = kRate, .period = kBlock, .lateClients = Server::LateClients::Wait});
  ASSERT_TRUE(server.ready());
  kelo::test::InstalledEngine engine;
  kelo::test::TempDir files;

  for (int attempt = 1; attempt <= kRuns; ++attempt) {
    SCOPED_TRACE("run " + std::to_string(attempt));
    const LiveRun run = playLive(server, files.file("live-" + std::to_string(attempt) + ".aiff"));
    EXPECT_EQ(run.driver.status, 0) << run.driver.output;
    EXPECT_NE(run.driver.output.find("leftover threads: 0"), std::string::npos)
        << run.driver.output;
    ASSERT_TRUE(run.captured) << "the driver's output ports never appeared or did not connect";

    EXPECT_EQ(run.fileRate, kRate);
    // The recording starts with the first rendered block, as the MIDI file does.
    ASSERT_GT(run.fileFrames, static_cast<std::size_t>(16 * kFramesPerBeat));
    expectBeatIntervals(run.fileOnsets, "recorded file");
    if (::testing::Test::HasFailure()) return;

    if (!run.heardDisturbed) {
      expectBeatIntervals(run.heardOnsets, "JACK capture");
      return;
    }
    std::printf("run %d: the capture missed cycles between the notes (%llu in all); again\n",
                attempt, static_cast<unsigned long long>(run.missedCycles));
  }
  ADD_FAILURE() << "every run's capture missed cycles between the notes";
}

}  // namespace
