// Helpers of the recording tests: the library bound from the test bundle, files read back
// through libsndfile itself, a known ramp, and an AudioFile that writes directly.
#pragma once

#include <sndfile.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "standalone/host/AudioFile.h"
#include "standalone/host/Singleton.h"
#include "standalone/host/Sndfile.h"

namespace kelo::test {

/// The process's binding, made from the test bundle for the object's lifetime.
class BoundSndfile {
 public:
  BoundSndfile() {
    vantor::Sndfile* library = vantor::Singleton<vantor::Sndfile>::instance();
    library->setResourcesFolder(KELO_TEST_SNDFILE_RESOURCES);
    bound = library->init("");
  }
  ~BoundSndfile() { vantor::Singleton<vantor::Sndfile>::destroyInstance(); }
  BoundSndfile(const BoundSndfile&) = delete;
  BoundSndfile& operator=(const BoundSndfile&) = delete;

  bool bound = false;
};

/// A file as libsndfile reads it (programs that link libsndfile only): its header and every sample as float.
struct ReadBack {
  bool opened = false;
  SF_INFO info{};
  std::vector<float> samples;

  int container() const { return info.format & SF_FORMAT_TYPEMASK; }
  int encoding() const { return info.format & SF_FORMAT_SUBMASK; }
};

inline ReadBack readBack(const std::string& path) {
  ReadBack result;
  SNDFILE* file = ::sf_open(path.c_str(), SFM_READ, &result.info);
  if (file == nullptr) return result;
  result.opened = true;
  result.samples.resize(static_cast<std::size_t>(result.info.frames * result.info.channels));
  const sf_count_t read =
      ::sf_read_float(file, result.samples.data(), static_cast<sf_count_t>(result.samples.size()));
  result.samples.resize(static_cast<std::size_t>(read));
  ::sf_close(file);
  return result;
}

/// A stereo ramp of `frames` frames from frame `first`: steps of 2^-15 within a quarter of full
/// scale, so that every encoding reads it back exactly (libsndfile scales by 0x7FFF on the way
/// in and by 1/0x8000 on the way out; below a quarter the difference rounds away).
inline std::vector<float> ramp(std::int64_t frames, std::int64_t first = 0) {
  std::vector<float> out(static_cast<std::size_t>(frames * 2));
  for (std::int64_t i = 0; i < frames; ++i) {
    const std::int64_t n = first + i;
    out[static_cast<std::size_t>(2 * i)] = static_cast<float>(n % 8192) / 32768.0f;
    out[static_cast<std::size_t>(2 * i + 1)] = -static_cast<float>((n * 7) % 8192) / 32768.0f;
  }
  return out;
}

/// An AudioFile that writes on the calling thread: the open and format choice on their own.
class DirectFile : public vantor::AudioFile {
 public:
  using vantor::AudioFile::AudioFile;
  ~DirectFile() override { closeHandle(); }
  void applyIORequest(vantor::IORequest*) override {}
  void doClose() override {}
  void flush() override {}
  std::int64_t write(const std::vector<float>& samples) {
    return library->sf_write_float(handle, samples.data(),
                                   static_cast<sf_count_t>(samples.size()));
  }
};

/// Polls `ready` every millisecond for at most `limit`; true once it holds. Only a guard
/// against hanging: the behaviour under test never depends on how long it takes.
inline bool eventually(const std::function<bool()>& ready,
                       std::chrono::milliseconds limit = std::chrono::seconds(30)) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!ready()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

}  // namespace kelo::test
