#include <sndfile.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "standalone/host/AudioFile.h"
#include "tests/standalone/host/HostTestSupport.h"
#include "tests/standalone/streamer/StreamerTestSupport.h"
#include "tests/support/TempDir.h"

namespace {

using kelo::test::DirectFile;
using kelo::test::readBack;

struct FormatRow {
  int format, extensible, bits;
  int container, encoding;
  char level;  // of the announcing line
  const char* line;
};

// format, extensible, bits -> what libsndfile reads back, and the line the open writes.
const FormatRow kFormats[] = {
    {0, 0, 16, SF_FORMAT_WAV, SF_FORMAT_PCM_16, 'I', "*writing WAVEFORMATEX*"},
    {0, 0, 24, SF_FORMAT_WAV, SF_FORMAT_PCM_24, 'I', "*writing WAVEFORMATEX*"},
    {0, 0, 32, SF_FORMAT_WAV, SF_FORMAT_FLOAT, 'I', "*writing WAVEFORMATEX*"},
    {0, 0, 20, SF_FORMAT_WAV, SF_FORMAT_PCM_16, 'I', "*writing WAVEFORMATEX*"},
    {0, 1, 16, SF_FORMAT_WAVEX, SF_FORMAT_PCM_16, 'I', "*writing WAVEFORMATEXTENSIBLE*"},
    {0, 1, 24, SF_FORMAT_WAVEX, SF_FORMAT_PCM_24, 'I', "*writing WAVEFORMATEXTENSIBLE*"},
    {0, 1, 32, SF_FORMAT_WAVEX, SF_FORMAT_FLOAT, 'I', "*writing WAVEFORMATEXTENSIBLE*"},
    {1, 0, 16, SF_FORMAT_AIFF, SF_FORMAT_PCM_16, 0, nullptr},
    {1, 0, 24, SF_FORMAT_AIFF, SF_FORMAT_PCM_24, 0, nullptr},
    {1, 1, 32, SF_FORMAT_AIFF, SF_FORMAT_FLOAT, 0, nullptr},
    {5, 0, 24, SF_FORMAT_WAV, SF_FORMAT_PCM_24, 'E', "unknown format reverting to wav"},
};

TEST(AudioFile, EachFormatReadsBackWithItsContainerEncodingAndFrames) {
  kelo::test::BoundSndfile library;
  ASSERT_TRUE(library.bound);
  kelo::test::TempDir dir;
  const std::vector<float> samples = kelo::test::ramp(3000);
  for (const FormatRow& row : kFormats) {
    SCOPED_TRACE(testing::Message() << "format " << row.format << " extensible "
                                    << row.extensible << " bits " << row.bits);
    const std::string path = dir.file("take" + std::to_string(&row - kFormats) + ".snd");
    kelo::test::LogCapture log;
    {
      DirectFile file(path, row.format, row.extensible, 48000, row.bits, 2, 2, false);
      EXPECT_EQ(file.getBufferSamples(), 2 * 48000 * 2);
      EXPECT_EQ(file.getIOSampleSize(), 4);
      ASSERT_EQ(file.write(samples), static_cast<sf_count_t>(samples.size()));
      // The header is rewritten after every write: the open file is already complete.
      const kelo::test::ReadBack whileOpen = readBack(path);
      ASSERT_TRUE(whileOpen.opened);
      EXPECT_EQ(whileOpen.info.frames, 3000);
    }
    const kelo::test::ReadBack file = readBack(path);
    ASSERT_TRUE(file.opened);
    EXPECT_EQ(file.container(), row.container);
    EXPECT_EQ(file.encoding(), row.encoding);
    EXPECT_EQ(file.info.channels, 2);
    EXPECT_EQ(file.info.samplerate, 48000);
    EXPECT_EQ(file.samples, samples);  // the ramp is exact in 16 bits and above
    if (row.line) {
      EXPECT_TRUE(log.has(row.level, row.line)) << log.text();
    }
  }
}

TEST(AudioFile, AFileThatCannotBeOpenedThrowsItsMessage) {
  kelo::test::BoundSndfile library;
  kelo::test::TempDir dir;
  const std::string path = dir.file("no such folder/take.wav");
  kelo::test::LogCapture log;
  try {
    DirectFile file(path, 0, 0, 44100, 24, 2, 2, false);
    FAIL() << "opened";
  } catch (const vantor::AudioFileException& e) {
    EXPECT_EQ(std::string(e.what()), "Can not open file for writing : " + path);
  }
  EXPECT_TRUE(log.has('E', "Can not open file for writing : " + path));
}

TEST(AudioFile, WithoutTheLibraryNoFileOpens) {
  kelo::test::TempDir dir;
  const std::string path = dir.file("take.wav");
  EXPECT_THROW(DirectFile(path, 0, 0, 44100, 16, 2, 2, false), vantor::AudioFileException);
}

}  // namespace
