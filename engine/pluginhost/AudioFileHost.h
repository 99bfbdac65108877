// The engine's side of the plug-ins' host callback: it delivers audio files to plug-ins
// (HOSTOP_LOAD_AUDIO_FILE: read with libsndfile, converted to the rate the plug-in asks for
// with libsamplerate), takes them back (HOSTOP_RELEASE_AUDIO_FILE) and tells the SDK version
// (HOSTOP_GET_SDK_VERSION). Every call is recorded for tests and traces.
//
// Threads: the callback may be called from any thread, also from several at once (a plug-in's
// background worker loads while another instance releases); it reads files and allocates, so a
// plug-in must not call it from its process. The object must outlive every instance created
// with its `host()`; samples still held when it goes are freed then.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "Sampler/sdk/PluginRecords.h"

namespace kelo::pluginhost {

/// The SDK version the engine tells plug-ins.
inline constexpr std::int32_t kEngineSDKVersion = vantor::KELOPluginSDK::kSDKVersion;

/// One callback as it arrived and how it was answered.
struct HostCall {
  std::int32_t opcode = 0;
  std::string fileName;     // load and release
  double sampleRate = 0;    // load: the rate asked for
  std::int64_t channels = 0, frames = 0;  // load: what was delivered
  std::int32_t result = 0;  // 0 done, 1 refused or failed, 2 unknown opcode
};

class AudioFileHost {
 public:
  AudioFileHost();
  ~AudioFileHost();
  AudioFileHost(const AudioFileHost&) = delete;
  AudioFileHost& operator=(const AudioFileHost&) = delete;

  /// The record to hand to newInstance.
  vantor::KELOPluginSDK::Host* host() { return &m_link.host; }

  std::vector<HostCall> calls() const;
  /// Files delivered and not yet released.
  std::size_t filesHeld() const;

  /// Serves one callback; what `host()->callback` calls. Never throws.
  std::int32_t serve(std::int32_t opcode, void* data);

 private:
  struct Link {
    vantor::KELOPluginSDK::Host host;  // first, so the callback finds the link from the record
    AudioFileHost* owner;
  };
  static std::int32_t callback(vantor::KELOPluginSDK::Host* self, std::int32_t opcode,
                               std::int32_t argument, void* data);
  std::int32_t load(vantor::KELOPluginSDK::HostAudioFile& file, HostCall& call);
  std::int32_t release(vantor::KELOPluginSDK::HostAudioFile& file, HostCall& call);

  Link m_link;
  mutable std::mutex m_mutex;  // guards the two members below
  std::map<const vantor::KELOPluginSDK::HostAudioFile*, std::unique_ptr<float[]>> m_held;
  std::vector<HostCall> m_calls;
};

/// Reads a whole audio file as channel-major samples; false with `error` set when it cannot.
/// `sampleRate` receives the file's rate.
bool readAudioFile(const std::string& path, std::vector<std::vector<float>>& channels,
                   double& sampleRate, std::string& error);

/// Converts one channel from `fromRate` to `toRate` (libsamplerate, sinc); false with `error`
/// set when the ratio is outside what the converter handles (1/256 to 256).
bool convertRate(const std::vector<float>& in, double fromRate, double toRate,
                 std::vector<float>& out, std::string& error);

}  // namespace kelo::pluginhost
