// The system PortAudio as the program uses it: ALSA's complaints about the PCMs it probes stay
// out of the standard error stream, which the program log receives.
#include <alsa/asoundlib.h>
#include <fcntl.h>
#include <unistd.h>

#include <string>

#include <gtest/gtest.h>

#include "standalone/host/PortAudioApi.h"
#include "tests/standalone/host/HostTestSupport.h"
#include "tests/support/JackDummyServer.h"
#include "tests/support/ScopedEnvironment.h"
#include "tests/support/TempDir.h"

namespace {

TEST(SystemPortAudio, AlsaProbeNoiseStaysOutOfTheProgramLog) {
  kelo::test::ScopedEnvironment environment;
  // Never reach a JACK server of the machine's user from a test.
  environment.set("JACK_DEFAULT_SERVER", kelo::test::unusedJackServerName());
  environment.set("JACK_NO_START_SERVER", "1");
  kelo::test::TempDir dir;
  const std::string path = dir.file("stderr");
  const int saved = dup(STDERR_FILENO);
  const int file = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  ASSERT_GE(file, 0);
  dup2(file, STDERR_FILENO);

  vantor::PortAudioApi& pa = vantor::portAudio();
  const PaError initialised = pa.initialize();
  // What a card probe meets: a PCM that does not exist.
  snd_pcm_t* pcm = nullptr;
  const int opened = snd_pcm_open(&pcm, "kelo_no_such_pcm", SND_PCM_STREAM_PLAYBACK, 0);
  if (pcm != nullptr) snd_pcm_close(pcm);
  if (initialised == paNoError) pa.terminate();

  dup2(saved, STDERR_FILENO);
  close(saved);
  close(file);
  EXPECT_EQ(initialised, paNoError);
  EXPECT_LT(opened, 0);
  const std::string written = kelo::test::readFile(path);
  EXPECT_EQ(written.find("ALSA lib"), std::string::npos) << written;
  EXPECT_EQ(written.find("kelo_no_such_pcm"), std::string::npos) << written;
}

}  // namespace
