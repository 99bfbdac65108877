#include "standalone/host/AudioFile.h"

#include "VNL/source/LogLine.h"
#include "standalone/host/Singleton.h"
#include "standalone/host/Sndfile.h"

namespace vantor {

namespace {

int containerFor(int format, int extensible) {
  if (format == 1) return SF_FORMAT_AIFF;
  if (format == 0) {
    if (extensible == 1) {
      PLOGI("*writing WAVEFORMATEXTENSIBLE*");
      return SF_FORMAT_WAVEX;
    }
    PLOGI("*writing WAVEFORMATEX*");
    return SF_FORMAT_WAV;
  }
  PLOGE("unknown format reverting to wav");
  return SF_FORMAT_WAV;
}

int encodingFor(int bits) {
  if (bits == 32) return SF_FORMAT_FLOAT;
  if (bits == 24) return SF_FORMAT_PCM_24;
  return SF_FORMAT_PCM_16;
}

}  // namespace

AudioFile::AudioFile(const std::string& filePath, int format, int extensible, int sampleRate,
                     int bits, int channels, int bufferTime, bool append)
    : mutex(filePath, false), path(filePath) {
  info.samplerate = sampleRate;
  info.channels = channels;
  const int encoding = encodingFor(bits);
  info.format = containerFor(format, extensible) | encoding;

  const std::string failure = "Can not open file for writing : " + path;
  if (Singleton<Sndfile>::isCreated()) library = Singleton<Sndfile>::instance();
  if (library == nullptr || !library->available()) {
    PLOGE("%s (libsndfile is not bound)", failure.c_str());
    throw AudioFileException(failure, "the audio file library is missing");
  }
  handle = library->sf_open(path.c_str(), append ? SFM_RDWR : SFM_WRITE, &info);
  if (handle == nullptr) {
    const std::string reason = library->sf_strerror(nullptr);
    PLOGE("%s", failure.c_str());
    PLOGE("libsndfile: %s", reason.c_str());
    throw AudioFileException(failure, reason);
  }
  if (encoding != SF_FORMAT_FLOAT) library->sf_command(handle, SFC_SET_NORM_FLOAT, nullptr, SF_TRUE);
  library->sf_command(handle, SFC_SET_UPDATE_HEADER_AUTO, nullptr, SF_TRUE);
  bufferSamples = static_cast<std::int64_t>(bufferTime) * sampleRate * channels;
}

AudioFile::~AudioFile() { closeHandle(); }

void AudioFile::closeHandle() {
  if (handle == nullptr) return;
  library->sf_close(handle);
  handle = nullptr;
}

}  // namespace vantor
