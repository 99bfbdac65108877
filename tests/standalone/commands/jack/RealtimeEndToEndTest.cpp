// End to end, in real time, on a private JACK server with the dummy driver: the driver program
// plays the demo file on JACK's "system" device and records its output, while jack_rec, a
// JACK client of its own, captures the driver's output ports.
#include <sndfile.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "tests/standalone/commands/CommandTestSupport.h"
#include "tests/support/JackDummyServer.h"
#include "tests/support/PreferenceSandbox.h"
#include "tests/support/TempDir.h"

KELO_PREFERENCE_SANDBOX();

namespace {

constexpr int kRate = 48000;
constexpr int kBlock = 256;
constexpr int kFramesPerBeat = kRate / 2;  // 120 beats a minute

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

// Power of `frequency` in a Hann-windowed stretch (Goertzel).
double powerAt(const std::vector<float>& samples, std::size_t first, std::size_t count,
               double frequency) {
  const double w = 2.0 * M_PI * frequency / kRate;
  double s1 = 0.0;
  double s2 = 0.0;
  for (std::size_t i = 0; i < count; ++i) {
    const double hann = 0.5 - 0.5 * std::cos(2.0 * M_PI * static_cast<double>(i) / (count - 1));
    const double s0 = samples[first + i] * hann + 2.0 * std::cos(w) * s1 - s2;
    s2 = s1;
    s1 = s0;
  }
  return s1 * s1 + s2 * s2 - 2.0 * std::cos(w) * s1 * s2;
}

// Where `note` starts: the first stretch whose power at its frequency reaches a quarter of the
// loudest. Every note has the same attack, so the offset this measures is the same for each
// and cancels in the intervals. -1 when the note is not there.
long onsetOf(const std::vector<float>& samples, int note) {
  constexpr std::size_t kWindow = 4096;
  constexpr std::size_t kHop = 64;
  const double frequency = 440.0 * std::exp2((note - 69) / 12.0);
  std::vector<double> power;
  for (std::size_t first = 0; first + kWindow <= samples.size(); first += kHop) {
    power.push_back(powerAt(samples, first, kWindow, frequency));
  }
  double loudest = 0.0;
  for (double p : power) loudest = std::max(loudest, p);
  if (loudest < 1.0) return -1;
  for (std::size_t i = 0; i < power.size(); ++i) {
    if (power[i] >= 0.25 * loudest) return static_cast<long>(i * kHop);
  }
  return -1;
}

void expectBeatIntervals(const std::vector<float>& samples, const char* what) {
  SCOPED_TRACE(what);
  std::vector<long> onsets;
  for (const Landmark& landmark : kLandmarks) onsets.push_back(onsetOf(samples, landmark.note));
  for (std::size_t i = 0; i < onsets.size(); ++i) ASSERT_GE(onsets[i], 0) << kLandmarks[i].note;
  for (std::size_t i = 1; i < onsets.size(); ++i) {
    const long expected = (kLandmarks[i].beat - kLandmarks[i - 1].beat) * kFramesPerBeat;
    EXPECT_NEAR(onsets[i] - onsets[i - 1], expected, kBlock) << kLandmarks[i].note;
  }
}

// The driver's JACK output ports, once its stream runs; empty after the time-out.
std::vector<std::string> driverPorts() {
  for (int attempt = 0; attempt < 200; ++attempt) {
    std::vector<std::string> ports;
    if (FILE* pipe = ::popen("jack_lsp", "r")) {
      char line[512];
      while (std::fgets(line, sizeof line, pipe) != nullptr) {
        std::string port(line);
        while (!port.empty() && (port.back() == '\n' || port.back() == '\r')) port.pop_back();
        if (port.rfind(std::string(conf.productName) + ":", 0) == 0 &&
            port.find("out") != std::string::npos) {
          ports.push_back(port);
        }
      }
      ::pclose(pipe);
    }
    if (ports.size() >= 2) return ports;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return {};
}

TEST(RealtimeEndToEnd, PlaysAndRecordsTheDemoFileOnAJackServer) {
  kelo::test::requirePreferenceSandbox();
  kelo::test::PreferenceSandbox::clear();
  kelo::test::JackDummyServer server(kRate, kBlock);
  ASSERT_TRUE(server.ready());
  kelo::test::InstalledEngine engine;
  kelo::test::TempDir files;
  const std::string recorded = files.file("live.aiff");
  const std::string captured = files.file("capture.wav");

  kelo::test::DriverRun run;
  std::thread driver([&] {
    run = kelo::test::runDriver({"live", KELO_DEMO_MIDI, recorded, "--device", "system", "--rate",
                                 std::to_string(kRate), "--block", std::to_string(kBlock),
                                 "--timeout", "30"});
  });
  const std::vector<std::string> ports = driverPorts();
  std::unique_ptr<kelo::test::ChildProgram> capture;
  if (ports.size() >= 2) {
    capture = std::make_unique<kelo::test::ChildProgram>(std::vector<std::string>{
        "jack_rec", "-f", captured, "-d", "11", ports[0], ports[1]});
  }
  driver.join();
  const int captureStatus = capture ? capture->wait() : -1;

  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_NE(run.output.find("leftover threads: 0"), std::string::npos) << run.output;
  ASSERT_GE(ports.size(), 2u) << "the driver's output ports never appeared";
  EXPECT_EQ(captureStatus, 0);

  int rate = 0;
  const std::vector<float> file = readLeft(recorded, rate);
  EXPECT_EQ(rate, kRate);
  // The recording starts with the first rendered block, as the MIDI file does.
  ASSERT_GT(file.size(), static_cast<std::size_t>(16 * kFramesPerBeat));
  expectBeatIntervals(file, "recorded file");

  const std::vector<float> heard = readLeft(captured, rate);
  EXPECT_EQ(rate, kRate);
  expectBeatIntervals(heard, "JACK capture");
}

}  // namespace
