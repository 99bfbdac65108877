// A private JACK server with the dummy driver for one test, and child programs (JACK's example
// clients) beside it. The server paces like a sound card but needs no hardware:
//   jackd --no-realtime -n <unique name> [-S] -d dummy -r <rate> -p <period> -C <in> -P <out>
// Without real-time scheduling a loaded machine makes clients late for their cycles. By default
// the server goes on without a late client, as a sound card would, and cycles are lost; with
// LateClients::Wait (-S) it ends a cycle only once its clients have finished (within JACK's
// client time-out), so a test that measures in frames sees every cycle and only wall-clock time
// stretches. JackTestClient (tests/support/jack) tells a test when either happened.
// While the object lives, JACK_DEFAULT_SERVER names it and JACK_NO_START_SERVER is 1, so every
// JACK client of the test process reaches this server and none starts another.
//
// Children are stopped by their process id when their owner goes, and are killed by the
// kernel if the test process dies first (PR_SET_PDEATHSIG), so no server outlives its test.
// Main thread only.
#pragma once

#include <sys/types.h>

#include <memory>
#include <string>
#include <vector>

#include "tests/support/ScopedEnvironment.h"

namespace kelo::test {

/// A program started for the test, stopped (SIGTERM, then SIGKILL) when the object goes.
class ChildProgram {
 public:
  /// Starts argv[0] (found on PATH) with its output thrown away; `running()` tells.
  explicit ChildProgram(const std::vector<std::string>& argv);
  /// The same, with its standard output and error appended to the file at `outputPath`.
  ChildProgram(const std::vector<std::string>& argv, const std::string& outputPath);
  ~ChildProgram();
  ChildProgram(const ChildProgram&) = delete;
  ChildProgram& operator=(const ChildProgram&) = delete;

  bool running() const { return m_pid > 0; }
  pid_t pid() const { return m_pid; }
  /// Stops the program now (nothing when it is not running).
  void stop();
  /// Waits for the program to end by itself; its exit code, or -1 when it did not exit.
  int wait();
  /// Waits at most `seconds` for the program to end by itself; its exit code, or -1 when it
  /// did not exit (it is then stopped).
  int wait(int seconds);
  /// For a failure message: how the program ended, or, still running, what each of its
  /// threads is doing (their stacks when gdb is installed).
  std::string describe();

 private:
  pid_t m_pid = -1;
  int m_status = -1;  // the wait status once ended, -1 before
};

class JackDummyServer {
 public:
  /// What the server does with a client late for its cycle.
  enum class LateClients { Skip, Wait };

  struct Options {
    unsigned rate = 48000;
    unsigned period = 256;
    /// How long to wait for the server to come up.
    unsigned waitSeconds = 20;
    LateClients lateClients = LateClients::Skip;
    /// The ports of the server's "system" client (system:capture_N, system:playback_N).
    unsigned capturePorts = 2;
    unsigned playbackPorts = 2;
  };

  /// Starts the server and waits for it with `jack_wait -w`; `ready()` is false when it did
  /// not come up.
  JackDummyServer();
  explicit JackDummyServer(const Options& options);
  ~JackDummyServer();
  JackDummyServer(const JackDummyServer&) = delete;
  JackDummyServer& operator=(const JackDummyServer&) = delete;

  bool ready() const { return m_ready; }
  const std::string& name() const { return m_name; }
  /// Stops the server now, as a person ending it would (SIGTERM); its clients lose it.
  void stop() { m_server->stop(); }
  /// `base` made unique to this server. jackd keeps a client's socket under the client's name
  /// whatever its server, so two servers running at once must not see the same client name.
  std::string clientName(const std::string& base) const { return base + "-" + m_name; }

 private:
  ScopedEnvironment m_environment;
  std::string m_name;
  std::unique_ptr<ChildProgram> m_server;
  bool m_ready = false;
};

/// A server name unique to this call that no server uses: for a JACK_DEFAULT_SERVER (with
/// JACK_NO_START_SERVER=1) that keeps a test, or a program it starts, away from the JACK
/// server of the machine's user when the test runs no private server.
std::string unusedJackServerName();

}  // namespace kelo::test
