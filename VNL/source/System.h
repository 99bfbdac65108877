// What the hosts want to know about the machine, and the open-file limit every host raises at
// start. Static members only; the report goes to the log as "I:" lines, failures as "E:" lines.
// The machine is asked through `SystemProbes` (/proc, /sys, uname, sysconf, /etc/machine-id),
// which tests replace with probes that fail on purpose.
#pragma once

#include <sys/resource.h>

#include <cstdint>
#include <ctime>
#include <string>

namespace vantor {

/// Timer source; 0, the monotonic tick counter, is the only one there is.
typedef std::int32_t TimerMethod_t;

/// The questions `System` asks the machine. Each answers false when it cannot tell.
class SystemProbes {
 public:
  enum class Feature { SSE3, SSE2, SSE, MMX };

  virtual ~SystemProbes() = default;
  /// Machine hardware name (uname's machine field).
  virtual bool machine(std::string& out) = 0;
  /// Processor model text.
  virtual bool cpuModel(std::string& out) = 0;
  /// Current and maximum processor frequency in Hz.
  virtual bool cpuFrequency(std::uint64_t& hertz) = 0;
  virtual bool cpuFrequencyMax(std::uint64_t& hertz) = 0;
  virtual bool activeCpus(std::int32_t& count) = 0;
  /// Whether the processor has `feature` (as 0 or 1).
  virtual bool cpuFeature(Feature feature, std::int32_t& present) = 0;
  /// The kernel's maximum of open files per process.
  virtual bool maxFilesPerProcess(std::uint64_t& files) = 0;
  virtual bool getFileLimit(rlimit& limit) = 0;
  virtual bool setFileLimit(const rlimit& limit) = 0;
  /// Free physical memory in pages, total physical memory in bytes, page size in bytes.
  virtual bool freePages(std::uint64_t& pages) = 0;
  virtual bool physicalMemory(std::uint64_t& bytes) = 0;
  virtual std::uint64_t pageSize() = 0;
  virtual bool osVersion(std::string& out) = 0;
  virtual bool machineId(std::string& out) = 0;
};

/// The probes of the running Linux machine.
SystemProbes& linuxSystemProbes();

class System {
 public:
  struct MemoryStat {
    std::uint64_t counters[8];  // [0] total physical bytes, [1] free bytes, the rest 0
  };

  static double SecondsPerCPUTick;
  static double CpuSpeed;  // MHz
  static bool x86_MMX_Support;
  static bool x86_SSE_Support;
  static bool x86_SSE2_Support;
  static bool x86_SSE3_Support;
  static bool ppc_AltiVec_Support;
  static bool multitasking_Support;
  /// Local time at `init` (a copy, not a pointer into a shared buffer).
  static std::tm StartTime;
  static TimerMethod_t TimerMethod;
  static std::int32_t activeCores;

  /// One-time initialisation and report; later calls do nothing. Call before other threads use
  /// `System`.
  static void init(TimerMethod_t method);
  static void initCPUSpeed();
  static void checkCPUSupport();
  /// Floor and ceiling self-test.
  static bool mathAssessments();
  /// Monotonic ticks times `SecondsPerCPUTick`; 0 before `initCPUSpeed` or for another method.
  static void getTimefromCPU(double& seconds);
  static void getMemStats(MemoryStat& stat);
  static std::uint32_t getMemFree();
  static void logMemoryUsage();
  /// Raises the soft open-file limit towards the kernel's maximum; never lowers it.
  static void setMaxFileHandles();
  static void getOSVersionString(std::string& out);
  static bool getMachineUUID(std::string& out);

  /// Replaces the probes (tests); null restores the machine's own.
  static void setProbes(SystemProbes* probes);
  static SystemProbes& probes();
};

int logCPU();

}  // namespace vantor
