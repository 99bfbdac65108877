#include "tests/support/JackDummyServer.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "tests/support/RunProgram.h"

namespace kelo::test {

ChildProgram::ChildProgram(const std::vector<std::string>& argv)
    : ChildProgram(argv, std::string()) {}

ChildProgram::ChildProgram(const std::vector<std::string>& argv, const std::string& outputPath) {
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  // KELO_TEST_CHILD_OUTPUT=1 keeps the children's output, to look into a failing run.
  const char* keep = std::getenv("KELO_TEST_CHILD_OUTPUT");
  const bool quiet = keep == nullptr || std::string(keep) != "1";
  const char* const output = outputPath.empty() ? nullptr : outputPath.c_str();
  const pid_t parent = getpid();
  const pid_t pid = fork();
  if (pid == 0) {
    // Only async-signal-safe calls between fork and exec.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(127);
    const int null = open("/dev/null", O_RDWR | O_CLOEXEC);
    if (null >= 0 && quiet) {
      dup2(null, STDIN_FILENO);
      dup2(null, STDOUT_FILENO);
      dup2(null, STDERR_FILENO);
    }
    // Close-on-exec: the program sees only the descriptors duplicated onto its standard ones.
    const int kept =
        output != nullptr ? open(output, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644) : -1;
    if (kept >= 0) {
      dup2(kept, STDOUT_FILENO);
      dup2(kept, STDERR_FILENO);
    }
    execvp(args[0], args.data());
    _exit(127);
  }
  m_pid = pid;
}

ChildProgram::~ChildProgram() { stop(); }

void ChildProgram::stop() {
  if (m_pid <= 0) return;
  kill(m_pid, SIGTERM);
  int status = 0;
  // A generous grace period, then no more waiting.
  for (int i = 0; i < 500; ++i) {
    const pid_t done = waitpid(m_pid, &status, WNOHANG);
    if (done == m_pid || done < 0) {
      m_pid = -1;
      m_status = status;
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  kill(m_pid, SIGKILL);
  waitpid(m_pid, &status, 0);
  m_pid = -1;
  m_status = status;
}

int ChildProgram::wait() {
  if (m_pid <= 0) return -1;
  int status = 0;
  const pid_t done = waitpid(m_pid, &status, 0);
  m_pid = -1;
  m_status = status;
  return (done > 0 && WIFEXITED(status)) ? WEXITSTATUS(status) : -1;
}

int ChildProgram::wait(int seconds) {
  if (m_pid <= 0) return -1;
  int status = 0;
  for (int i = 0; i < seconds * 100; ++i) {
    const pid_t done = waitpid(m_pid, &status, WNOHANG);
    if (done != 0) {
      m_pid = -1;
      m_status = status;
      return (done > 0 && WIFEXITED(status)) ? WEXITSTATUS(status) : -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  stop();
  return -1;
}

std::string ChildProgram::describe() {
  if (m_pid > 0) {
    int status = 0;
    if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
      m_pid = -1;
      m_status = status;
    }
  }
  if (m_pid <= 0) {
    if (m_status == -1) return "it did not start";
    if (WIFEXITED(m_status)) return "it ended with status " + std::to_string(WEXITSTATUS(m_status));
    return "it was ended by signal " + std::to_string(WTERMSIG(m_status));
  }
  std::string errors;
  const ProgramRun stacks = runProgram(
      "gdb", {"-batch", "-p", std::to_string(m_pid), "-ex", "thread apply all bt"}, errors);
  if (stacks.status == 0 && !stacks.out.empty()) return "it is still running:\n" + stacks.out;
  // Without gdb, where each thread waits in the kernel.
  std::string threads = "it is still running; its threads (name: kernel wait):\n";
  const std::string tasks = "/proc/" + std::to_string(m_pid) + "/task";
  std::error_code error;
  for (const auto& task : std::filesystem::directory_iterator(tasks, error)) {
    const auto line = [&](const char* file) {
      std::ifstream in(task.path() / file);
      std::string text;
      std::getline(in, text);
      return text;
    };
    threads += "  " + line("comm") + ": " + line("wchan") + "\n";
  }
  return threads;
}

namespace {

std::string uniqueName(const char* prefix) {
  static std::atomic<int> counter{0};
  return prefix + std::to_string(getpid()) + "-" + std::to_string(counter++);
}

}  // namespace

JackDummyServer::JackDummyServer() : JackDummyServer(Options{}) {}

JackDummyServer::JackDummyServer(const Options& options) : m_name(uniqueName("kelo-test-")) {
  m_environment.set("JACK_DEFAULT_SERVER", m_name);
  m_environment.set("JACK_NO_START_SERVER", "1");
  std::vector<std::string> argv{"jackd", "--no-realtime", "-n", m_name};
  if (options.lateClients == LateClients::Wait) argv.push_back("-S");
  argv.insert(argv.end(), {"-d", "dummy", "-r", std::to_string(options.rate), "-p",
                           std::to_string(options.period), "-C",
                           std::to_string(options.capturePorts), "-P",
                           std::to_string(options.playbackPorts)});
  m_server = std::make_unique<ChildProgram>(argv);
  if (!m_server->running()) return;
  ChildProgram wait({"jack_wait", "-w", "-s", m_name, "-n", clientName("wait"), "-t",
                     std::to_string(options.waitSeconds)});
  m_ready = wait.wait() == 0;
}

JackDummyServer::~JackDummyServer() = default;

std::string unusedJackServerName() { return uniqueName("kelo-no-server-"); }

}  // namespace kelo::test
