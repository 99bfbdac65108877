// A JACK client of the test itself, on the server JACK_DEFAULT_SERVER names (see
// JackDummyServer), that tells a run the machine disturbed from a run that shows a fault, and
// can record audio inputs into memory.
//
// A server without real-time scheduling loses time under load in two ways. Its driver wakes
// too late for a period: the server reports an over-run and wall-clock time is lost, frames are
// not. Or a client is late for its cycle: the server reports an over-run and runs later cycles
// without it or without the whole graph; this client sees the cycles it was left out of as a
// gap in the frame times of its cycles. A client late past its own period reads inputs the
// server has begun the next cycle in, which their writers may be overwriting: such a torn cycle
// counts as missed too. A test that measures this client's recording in frames asks where the
// recording missed cycles; one that measures in host time asks xruns() as well.
//
// Construction, recording control and the readers: main thread. The process and over-run
// callbacks run on JACK's threads; they neither allocate nor lock.
#pragma once

#include <jack/jack.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace kelo::test {

class JackTestClient {
 public:
  /// Opens and activates `name` (unique to the server: JackDummyServer::clientName) without
  /// starting a server, with `audioInputs` audio inputs "in_1"... that can each hold
  /// `recordFrames` frames. `ok()` tells whether it is running.
  explicit JackTestClient(const std::string& name, int audioInputs = 0,
                          std::size_t recordFrames = 0);
  ~JackTestClient();
  JackTestClient(const JackTestClient&) = delete;
  JackTestClient& operator=(const JackTestClient&) = delete;

  bool ok() const { return m_client != nullptr; }
  jack_client_t* client() const { return m_client; }
  /// The full name of audio input `index` (from 0), to connect to.
  std::string inputName(int index) const;
  /// Output ports of other clients whose full names start with `prefix`, in JACK's order.
  std::vector<std::string> outputPorts(const std::string& prefix) const;

  /// Over-runs the server reported to its clients since the client opened.
  int xruns() const { return m_xruns.load(); }
  /// Cycles the server ran while this client was active but without it, and cycles this client
  /// ran past their end (their inputs may be torn).
  std::uint64_t missedCycles() const { return m_missedCycles.load(); }
  /// Cycles this client ran.
  std::uint64_t cycles() const { return m_cycles.load(); }
  /// Waits until this client ran `count` more cycles; false when the server stopped calling
  /// it (the bound is counted in yields, not in time, and is generous for any machine).
  bool waitCycles(std::uint64_t count) const;

  /// Starts recording the inputs with the next cycle, from the start of the buffers.
  void startRecording();
  /// Stops recording after the cycle running now.
  void stopRecording();
  /// What input `index` recorded: the cycles it ran, end to end, up to the buffer's size.
  std::vector<float> recorded(int index) const;
  /// Whether cycles were missed while recording between the recorded frames `from` and `to`
  /// (both included): frames the recording then lacks or holds torn there.
  bool missedWhileRecording(std::size_t from, std::size_t to) const;

 private:
  static int process(jack_nframes_t frames, void* self);
  static int xrun(void* self);
  // Process thread: the recording breaks at frame `at` (cycles missed before it, or the cycle
  // recorded from it torn).
  void noteGap(std::size_t at);

  jack_client_t* m_client = nullptr;
  std::vector<jack_port_t*> m_inputs;
  std::vector<std::unique_ptr<float[]>> m_buffers;
  std::size_t m_capacity = 0;
  std::atomic<bool> m_recording{false};
  std::atomic<bool> m_restart{false};
  std::atomic<std::size_t> m_recordedFrames{0};  // release: the frames below it are written
  // Where in the recording cycles were missed; past kMaxGaps, only that more came later.
  static constexpr std::size_t kMaxGaps = 64;
  std::size_t m_gaps[kMaxGaps] = {};
  std::atomic<std::size_t> m_gapCount{0};  // release: the gaps below it are written
  std::atomic<int> m_xruns{0};
  std::atomic<std::uint64_t> m_missedCycles{0};
  std::atomic<std::uint64_t> m_cycles{0};
  jack_nframes_t m_lastCycleStart = 0;  // process thread only
};

}  // namespace kelo::test
