// End to end, offline: the driver program renders the demo MIDI file through the reference
// engine into an AIFF file with no audio device, through the command interface only.
#include <sndfile.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/standalone/commands/CommandTestSupport.h"
#include "tests/support/PreferenceSandbox.h"
#include "tests/support/SmfWriter.h"
#include "tests/support/JackDummyServer.h"
#include "tests/support/TempDir.h"

KELO_PREFERENCE_SANDBOX();

namespace {

constexpr int kRate = 44100;
constexpr int kBlock = 512;
constexpr int kFramesPerBeat = kRate / 2;  // 120 beats a minute
// The demo file's quarter-note melody, one note a beat.
constexpr int kMelody[16] = {72, 74, 76, 79, 76, 72, 69, 72, 77, 76, 74, 72, 71, 74, 79, 84};

struct Audio {
  SF_INFO info{};
  std::vector<float> left;
  std::vector<float> right;
};

Audio readAudio(const std::string& path) {
  Audio audio;
  SNDFILE* file = sf_open(path.c_str(), SFM_READ, &audio.info);
  if (file == nullptr) return audio;
  std::vector<float> interleaved(static_cast<std::size_t>(audio.info.frames * audio.info.channels));
  sf_readf_float(file, interleaved.data(), audio.info.frames);
  sf_close(file);
  for (std::size_t i = 0; i + 1 < interleaved.size(); i += 2) {
    audio.left.push_back(interleaved[i]);
    audio.right.push_back(interleaved[i + 1]);
  }
  return audio;
}

// Power of `frequency` in a Hann-windowed stretch of `samples` (Goertzel).
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

double noteFrequency(int note) { return 440.0 * std::exp2((note - 69) / 12.0); }

double blockRms(const std::vector<float>& samples, std::size_t block) {
  double sum = 0.0;
  for (std::size_t i = block * kBlock; i < (block + 1) * kBlock; ++i) sum += samples[i] * samples[i];
  return std::sqrt(sum / kBlock);
}

TEST(OfflineEndToEnd, RendersTheDemoFileThroughTheEngineIntoAnAiffFile) {
  kelo::test::requirePreferenceSandbox();
  kelo::test::PreferenceSandbox::clear();
  kelo::test::InstalledEngine engine;
  kelo::test::TempDir files;
  const std::string output = files.file("demo.aiff");

  // No audio device is wanted: no JACK server either.
  const kelo::test::DriverRun run =
      kelo::test::runDriver(kelo::test::unusedJackServerName(), {"render", KELO_DEMO_MIDI, output});
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_NE(run.output.find("wrote " + output), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("leftover threads: 0"), std::string::npos) << run.output;

  const Audio audio = readAudio(output);
  ASSERT_EQ(audio.info.channels, 2);
  EXPECT_EQ(audio.info.samplerate, kRate);
  EXPECT_EQ(audio.info.format, SF_FORMAT_AIFF | SF_FORMAT_PCM_16);

  // Each melody note sounds from its beat on: strong in the stretch after the beat, absent in
  // the stretch before it. The guard of more than a block on each side pins the onset.
  constexpr std::size_t kWindow = 4096;
  constexpr std::size_t kGuard = 700;
  for (int beat = 1; beat < 16; ++beat) {
    SCOPED_TRACE("beat " + std::to_string(beat));
    const std::size_t onset = static_cast<std::size_t>(beat) * kFramesPerBeat;
    const double frequency = noteFrequency(kMelody[beat]);
    const double before = powerAt(audio.left, onset - kGuard - kWindow, kWindow, frequency);
    const double after = powerAt(audio.left, onset + kGuard, kWindow, frequency);
    EXPECT_GT(after, 1.0);
    EXPECT_GT(after, 100.0 * before);
  }

  // After the file's end (16 beats) the render runs on until about one second (rate / block
  // blocks) has been quiet, and the recording stops by itself.
  const std::size_t frames = audio.left.size();
  const std::size_t musicEnd = 16 * kFramesPerBeat;
  const std::size_t quietBlocks = kRate / kBlock;
  EXPECT_EQ(frames % kBlock, 0u);
  EXPECT_GE(frames, musicEnd + (quietBlocks - 1) * kBlock);
  EXPECT_LE(frames, musicEnd + (quietBlocks + 2) * kBlock);
  const std::size_t blocks = frames / kBlock;
  for (std::size_t block = blocks - (quietBlocks - 1); block < blocks; ++block) {
    EXPECT_LE(blockRms(audio.left, block), 0.1) << block;
    EXPECT_LE(blockRms(audio.right, block), 0.1) << block;
  }

  // The program log opened and closed.
  const std::string log = kelo::test::readFile(kelo::test::programLogPath());
  const std::vector<std::string> lines = kelo::test::infoTexts(log);
  ASSERT_GE(lines.size(), 4u);
  EXPECT_EQ(lines.front().rfind(kelo::test::programLogPath() + " opened on: ", 0), 0u);
  EXPECT_NE(lines.front().find(" BUILD:"), std::string::npos);
  EXPECT_EQ(lines[lines.size() - 1].rfind(kelo::test::programLogPath() + " closed on: ", 0), 0u);
  EXPECT_EQ(lines[lines.size() - 2], std::string(79, '-'));
  EXPECT_EQ(log.back(), '@');
  EXPECT_NE(log.find("PE_ENGINE_INITIALIZE OK"), std::string::npos);
}

// A MIDI file the back end refuses ends the render at once: a clear error, a non-zero status and
// no output file, instead of recording silence until the time-out.
TEST(OfflineEndToEnd, ARefusedMIDIFileStopsTheRenderWithoutAnOutputFile) {
  kelo::test::requirePreferenceSandbox();
  kelo::test::PreferenceSandbox::clear();
  kelo::test::InstalledEngine engine;
  kelo::test::TempDir files;
  const std::string valid = kelo::test::readFile(KELO_DEMO_MIDI);
  ASSERT_GT(valid.size(), 14u);
  kelo::test::SmfTrack tooLong;  // 2^28 - 1 quarter notes: far more than a million measures
  tooLong.noteOn(0, 0, 60, 100).noteOff(0x0FFFFFFF, 0, 60);
  const struct {
    const char* what;
    std::string bytes;
  } refused[] = {
      {"empty", ""},
      {"garbage", "this is not a MIDI file, only some text\n"},
      {"truncated", valid.substr(0, 10)},
      {"too long", kelo::test::smfFile(0, 1, {tooLong})},
  };
  for (const auto& r : refused) {
    SCOPED_TRACE(r.what);
    const std::string midi = files.file(std::string(r.what) + ".mid");
    ASSERT_TRUE(kelo::test::writeFile(midi, r.bytes));
    const std::string output = files.file(std::string(r.what) + ".aiff");
    const auto start = std::chrono::steady_clock::now();
    const kelo::test::DriverRun run =
        kelo::test::runDriver(kelo::test::unusedJackServerName(), {"render", midi, output});
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(run.status, 1) << run.output;
    EXPECT_NE(run.output.find("kelo-backend-driver: the MIDI file " + midi +
                              " was refused; nothing was rendered"),
              std::string::npos)
        << run.output;
    EXPECT_EQ(run.output.find("wrote "), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("leftover threads: 0"), std::string::npos) << run.output;
    EXPECT_FALSE(::fileExists(output)) << "an output file was made";
    EXPECT_LT(seconds, 8.0) << "the driver waited for its time-out";
  }
}

// A long file renders whole, and no further than its own length plus the silence limit, however
// long the render takes: the time-out counts from the file's end, as in the player's render
// dialog (before it, only a render that stops moving fails).
TEST(OfflineEndToEnd, ALongFileRendersWholeAndNoFurtherThanTheSilenceLimit) {
  kelo::test::requirePreferenceSandbox();
  kelo::test::PreferenceSandbox::clear();
  kelo::test::InstalledEngine engine;
  kelo::test::TempDir files;
  // 20 minutes at 120 beats a minute, one short note a beat: 2400 beats.
  constexpr int kBeats = 2400;
  constexpr int kDivision = 480;
  kelo::test::SmfTrack track;
  track.tempo(0, 120.0).timeSignature(0, 4, 2);
  for (int beat = 0; beat < kBeats; ++beat) {
    const std::uint32_t tick = static_cast<std::uint32_t>(beat) * kDivision;
    track.noteOn(tick, 0, 60 + beat % 12, 100).noteOff(tick + kDivision / 4, 0, 60 + beat % 12);
  }
  track.endOfTrack(static_cast<std::uint32_t>(kBeats) * kDivision);
  const std::string midi = files.file("long.mid");
  ASSERT_TRUE(kelo::test::writeFile(midi, kelo::test::smfFile(0, kDivision, {track})));
  const std::string output = files.file("long.aiff");

  const kelo::test::DriverRun run = kelo::test::runDriver(
      kelo::test::unusedJackServerName(), {"render", midi, output, "--timeout", "3"});
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_NE(run.output.find("wrote " + output), std::string::npos) << run.output;
  SF_INFO info{};
  SNDFILE* file = sf_open(output.c_str(), SFM_READ, &info);
  ASSERT_NE(file, nullptr);
  sf_close(file);
  const std::int64_t musicEnd = static_cast<std::int64_t>(kBeats) * kFramesPerBeat;
  const std::int64_t quietBlocks = kRate / kBlock;
  EXPECT_GE(info.frames, musicEnd);
  EXPECT_LE(info.frames, musicEnd + (quietBlocks + 2) * kBlock);
}

}  // namespace
