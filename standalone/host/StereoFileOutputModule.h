// Records the graph's final stereo outputs to an audio file through the disk streamer, clamped
// to -1..1 (the outputs themselves stay unclamped). While rendering offline it can also end
// the recording by itself: once armed (the graph arms it when the MIDI file has played to its
// end) it stops after about one second of blocks whose two channels both stay at or below an
// RMS of 0.1, so a rendered file ends with the instrument's decay and a short quiet.
//
// Threads: set-up, start, stop and the queries run on the main thread; `processStereo` on the
// render thread, where it try-locks the module's mutex "FileOutput" (busy: the block is not
// recorded; the main thread holds it only while it changes the file or the flags) and neither
// allocates nor blocks, except that a live recording hands a full 2-second buffer to the disk
// thread under the streamer's mutex, and an offline recording writes, and when it stops by
// itself closes, its file on the render thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "VNL/source/Threads.h"
#include "standalone/host/Module.h"

namespace vantor {

class StreamedAudioFileWrite;
class Streamer;

class StereoFileOutputModule : public Module {
 public:
  static constexpr double kRMSThreshold = 0.1;

  StereoFileOutputModule();
  /// A recording still running is closed through the streamer.
  ~StereoFileOutputModule() override;

  /// Allocates the interleave buffer for the block size.
  void initialize() override;
  /// Reallocates the buffer for a new block size and sets the silent-block limit. Main thread,
  /// between blocks.
  void setDSPInfo(const DSPInfo* dspInfo) override;

  /// Opens `path` through the streamer (format 0 WAV, 1 AIFF; `extensible`; `bits` 16, 24 or
  /// 32 float; stereo, at the render's rate). False while a recording runs or a file is open,
  /// or when the file cannot be opened: then `reason` (when given) gets the library's reason.
  /// Nothing is shown here: the caller tells the user, once.
  bool setRecordingFile(const std::string& path, int format, int extensible, int bits,
                        std::string* reason = nullptr);
  /// False when already recording or no file is open.
  bool startRecording();
  /// Hands the file to the streamer to be closed; a new file must be set before the next
  /// recording. False when not recording or no file is open.
  bool stopRecording();
  bool isRecording() const { return m_recording.load(std::memory_order_acquire); }
  bool hasFile() const { return m_file.load(std::memory_order_acquire) != nullptr; }

  bool isRMSEngaged() const { return m_rmsEngaged.load(std::memory_order_acquire); }
  /// Arms (or disarms) the end-of-render detection and zeroes the count. Render thread (the
  /// graph) or main thread.
  void engageRMSCalculation(bool engaged);
  /// Consecutive silent blocks needed to stop: sample rate / block size, and at least 1.
  std::int32_t silentBlockLimit() const { return m_silentBlockLimit; }

  /// Render thread: records `inputs` (stereo, `frames` frames); `outputs` and `add` unused.
  void processStereo(float** inputs, float** outputs, unsigned frames, bool add) override;

 private:
  void allocateBuffer();
  void updateSilentBlockLimit();
  /// Ends the recording; the mutex is held.
  void stopHeld();

  float* m_interleaved = nullptr;  // 2 x m_bufferFrames, from defaultAlloc
  std::uint32_t m_bufferFrames = 0;
  Streamer* m_streamer = nullptr;  // the streamer that opened the file
  std::atomic<StreamedAudioFileWrite*> m_file{nullptr};
  std::atomic<bool> m_recording{false};
  std::atomic<bool> m_rmsEngaged{false};
  double m_rmsThreshold = kRMSThreshold;
  std::atomic<std::int32_t> m_silentBlocks{0};
  std::int32_t m_silentBlockLimit = 1;
  MutexOLD m_mutex{"FileOutput", false};
};

}  // namespace vantor
