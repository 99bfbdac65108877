// A VST 2.4 host callback for tests: it answers from a table the test sets up and records
// every call with its arguments. One recorder is installed at a time (process-wide, since the
// callback carries no user pointer); `callback` is what the plug-in is given.
//
// Threads: configure before the plug-in runs. Calls may come from any thread at once; the
// callback neither allocates nor locks (records go into a fixed table), so render paths under
// the real-time guard may call it. Read the record once the calling threads are done.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/vst2/VstInterface.h"

namespace kelo::test {

struct HostCall {
  AEffect* effect;
  std::int32_t opcode;
  std::int32_t index;
  std::intptr_t value;
  void* ptr;
  float opt;
  std::intptr_t answer;
  char text[64];  // the text passed in ptr, for the opcodes that pass one (audioMasterCanDo)
};

class RecordingAudioMaster {
 public:
  static constexpr std::size_t kCapacity = 8192;

  RecordingAudioMaster();  // installs itself
  ~RecordingAudioMaster();
  RecordingAudioMaster(const RecordingAudioMaster&) = delete;
  RecordingAudioMaster& operator=(const RecordingAudioMaster&) = delete;

  /// The host callback to hand to a plug-in.
  static std::intptr_t callback(AEffect* effect, std::int32_t opcode, std::int32_t index,
                                std::intptr_t value, void* ptr, float opt);

  // ---- Answers (defaults: version 2400, rate 44100, block 1024, everything else 0) ----
  void setVersion(std::intptr_t version) { setAnswer(audioMasterVersion, version); }
  /// Copied into the plug-in's buffer with answer 1; unset: nothing written, answer 0.
  void setVendorString(std::string text) { m_vendor = std::move(text); }
  void setProductString(std::string text) { m_product = std::move(text); }
  void setVendorVersion(std::intptr_t version) { setAnswer(audioMasterGetVendorVersion, version); }
  void setSampleRate(std::intptr_t rate) { setAnswer(audioMasterGetSampleRate, rate); }
  void setBlockSize(std::intptr_t size) { setAnswer(audioMasterGetBlockSize, size); }
  void setProcessLevel(std::intptr_t level) {
    setAnswer(audioMasterGetCurrentProcessLevel, level);
  }
  /// The answer to audioMasterCanDo for `text` (others answer 0).
  void setCanDo(const std::string& text, std::intptr_t answer) { m_canDo[text] = answer; }
  /// audioMasterGetTime answers this record (the recorder keeps it); cleared: null.
  void setTimeInfo(const VstTimeInfo& info) {
    m_timeInfo = info;
    m_hasTimeInfo = true;
  }
  void clearTimeInfo() { m_hasTimeInfo = false; }
  VstTimeInfo& timeInfo() { return m_timeInfo; }
  /// The answer to any opcode (automation, edits, display, events...); the strings, texts
  /// and time info above take precedence where set.
  void setAnswer(std::int32_t opcode, std::intptr_t answer);
  /// Called inside the callback with each record, answer included (e.g. to copy events the
  /// plug-in reuses). Must not allocate when the plug-in calls from a render path.
  void setObserver(std::function<void(const HostCall&)> observer) {
    m_observer = std::move(observer);
  }

  // ---- The record ----
  /// Every call so far, in order (calls beyond the capacity are counted, not kept).
  std::vector<HostCall> calls() const;
  std::vector<HostCall> calls(std::int32_t opcode) const;
  std::size_t count(std::int32_t opcode) const { return calls(opcode).size(); }
  std::size_t dropped() const;
  void clear();

 private:
  std::intptr_t answer(std::int32_t opcode, void* ptr) const;

  std::array<std::optional<std::intptr_t>, 64> m_answers{};
  std::optional<std::string> m_vendor;
  std::optional<std::string> m_product;
  std::map<std::string, std::intptr_t, std::less<>> m_canDo;
  VstTimeInfo m_timeInfo{};
  bool m_hasTimeInfo = false;
  std::function<void(const HostCall&)> m_observer;

  std::unique_ptr<std::array<HostCall, kCapacity>> m_calls;
  std::atomic<std::size_t> m_next{0};
};

}  // namespace kelo::test
