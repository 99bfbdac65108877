#include "VNL/source/System.h"

#include <sys/utsname.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <mutex>
#include <sstream>

#include "VNL/source/LogLine.h"
#include "VNL/source/PlatformWrappers.h"
#include "VNL/source/StringUtils.h"

namespace vantor {

double System::SecondsPerCPUTick = 0;
double System::CpuSpeed = 0;
bool System::x86_MMX_Support = false;
bool System::x86_SSE_Support = false;
bool System::x86_SSE2_Support = false;
bool System::x86_SSE3_Support = false;
bool System::ppc_AltiVec_Support = false;
bool System::multitasking_Support = false;
std::tm System::StartTime{};
TimerMethod_t System::TimerMethod = 0;
std::int32_t System::activeCores = 0;

namespace {

// The value after "name<blanks>:" on the first /proc/cpuinfo line that starts with `name`.
bool cpuinfoField(const char* name, std::string& out) {
  std::ifstream in("/proc/cpuinfo");
  const std::string key(name);
  for (std::string line; std::getline(in, line);) {
    if (line.compare(0, key.size(), key) != 0) continue;
    const auto colon = line.find(':');
    if (colon == std::string::npos) continue;
    if (line.find_first_not_of(" \t", key.size()) != colon) continue;
    const auto start = line.find_first_not_of(' ', colon + 1);
    out = start == std::string::npos ? std::string() : line.substr(start);
    return true;
  }
  return false;
}

bool readNumber(const char* path, std::uint64_t& value) {
  std::ifstream in(path);
  unsigned long long number = 0;
  if (!(in >> number)) return false;
  value = number;
  return true;
}

class LinuxProbes final : public SystemProbes {
 public:
  bool machine(std::string& out) override {
    utsname name{};
    if (uname(&name) != 0) return false;
    out = name.machine;
    return true;
  }
  bool cpuModel(std::string& out) override { return cpuinfoField("model name", out); }
  bool cpuFrequency(std::uint64_t& hertz) override {
    std::uint64_t kilohertz = 0;
    if (readNumber("/sys/devices/system/cpu/cpu0/cpufreq/scaling_cur_freq", kilohertz)) {
      hertz = kilohertz * 1000u;
      return true;
    }
    std::string megahertz;
    if (!cpuinfoField("cpu MHz", megahertz)) return false;
    const double value = std::strtod(megahertz.c_str(), nullptr);
    if (!(value > 0)) return false;
    hertz = static_cast<std::uint64_t>(value * 1e6);
    return true;
  }
  bool cpuFrequencyMax(std::uint64_t& hertz) override {
    std::uint64_t kilohertz = 0;
    if (!readNumber("/sys/devices/system/cpu/cpu0/cpufreq/cpuinfo_max_freq", kilohertz))
      return false;
    hertz = kilohertz * 1000u;
    return true;
  }
  bool activeCpus(std::int32_t& count) override {
    const long online = sysconf(_SC_NPROCESSORS_ONLN);
    if (online <= 0) return false;
    count = static_cast<std::int32_t>(online);
    return true;
  }
  bool cpuFeature(Feature feature, std::int32_t& present) override {
    std::string flags;
    if (!cpuinfoField("flags", flags)) return false;
    // The kernel names SSE3 "pni" (Prescott new instructions).
    const char* name = feature == Feature::SSE3   ? "pni"
                       : feature == Feature::SSE2 ? "sse2"
                       : feature == Feature::SSE  ? "sse"
                                                  : "mmx";
    std::istringstream words(flags);
    present = 0;
    for (std::string word; words >> word;)
      if (word == name) present = 1;
    return true;
  }
  bool maxFilesPerProcess(std::uint64_t& files) override {
    return readNumber("/proc/sys/fs/nr_open", files);
  }
  bool getFileLimit(rlimit& limit) override { return getrlimit(RLIMIT_NOFILE, &limit) == 0; }
  bool setFileLimit(const rlimit& limit) override {
    return setrlimit(RLIMIT_NOFILE, &limit) == 0;
  }
  bool freePages(std::uint64_t& pages) override {
    const long free = sysconf(_SC_AVPHYS_PAGES);
    if (free < 0) return false;
    pages = static_cast<std::uint64_t>(free);
    return true;
  }
  bool physicalMemory(std::uint64_t& bytes) override {
    const long pages = sysconf(_SC_PHYS_PAGES);
    if (pages < 0) return false;
    bytes = static_cast<std::uint64_t>(pages) * pageSize();
    return true;
  }
  std::uint64_t pageSize() override {
    const long size = sysconf(_SC_PAGESIZE);
    return size > 0 ? static_cast<std::uint64_t>(size) : 4096u;
  }
  bool osVersion(std::string& out) override { return wrap_osversion(out); }
  bool machineId(std::string& out) override {
    std::ifstream in("/etc/machine-id");
    std::string id;
    if (!std::getline(in, id) || id.empty()) return false;
    out = id;
    return true;
  }
};

std::atomic<SystemProbes*> g_probes{nullptr};

std::uint64_t monotonicTicks() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<std::uint64_t>(now.tv_sec) * 1000000000u +
         static_cast<std::uint64_t>(now.tv_nsec);
}

}  // namespace

SystemProbes& linuxSystemProbes() {
  static LinuxProbes probes;
  return probes;
}

void System::setProbes(SystemProbes* probes) { g_probes.store(probes); }

SystemProbes& System::probes() {
  SystemProbes* probes = g_probes.load();
  return probes != nullptr ? *probes : linuxSystemProbes();
}

void System::init(TimerMethod_t method) {
  static std::once_flag once;
  std::call_once(once, [method] {
    SystemProbes& machine = probes();
    multitasking_Support = true;
    const std::time_t now = std::time(nullptr);
    localtime_r(&now, &StartTime);
    TimerMethod = method;
    if (method == 0)
      PLOGI("TIMER METHOD: mach_absolute_time()");
    else
      PLOGE("TIMER METHOD Unknown !! %d", static_cast<int>(method));
    TimerMethod = 0;

    initCPUSpeed();
    checkCPUSupport();

    std::string text;
    if (machine.machine(text)) PLOGI("Apple hw.machine: %s", text.c_str());

    rlimit limit{};
    if (machine.getFileLimit(limit))
      PLOGI("RLIMIT_NOFILE max:%llu cur:%llu", static_cast<unsigned long long>(limit.rlim_max),
            static_cast<unsigned long long>(limit.rlim_cur));

    std::string version;
    getOSVersionString(version);
    PLOGI("%s", version.c_str());

    Psrand(static_cast<unsigned>(now));
    const double r1 = PUrand(), r2 = PUrand(), r3 = PUrand(), r4 = PUrand();
    PLOGI("Testing random numbers: %g %g %g %g", r1, r2, r3, r4);

    PLOGI("Math assessments--------");
    if (mathAssessments())
      PLOGI("Math assessments passed");
    else
      PLOGI("Math assessments FAILED!!!!");
    PLOGI("Initialising System Done!");
  });
}

void System::initCPUSpeed() {
  SystemProbes& machine = probes();
  activeCores = 1;
  std::string model;
  if (machine.cpuModel(model)) {
    if (model.size() > 254) model.resize(254);
    PLOGI("Apple hw.model: %s", model.c_str());
  }
  std::uint64_t hertz = 0;
  if (machine.cpuFrequency(hertz)) {
    CpuSpeed = static_cast<double>(hertz) / 1000000.0;
  } else {
    PLOGE("sysctlbyname - hw.cpufrequency failed");
    if (machine.cpuFrequencyMax(hertz)) {
      CpuSpeed = static_cast<double>(hertz) / 1000000.0;
    } else {
      PLOGE("sysctlbyname - hw.cpufrequency_max failed too - defaulting to 1MHZ");
      CpuSpeed = 1;
    }
  }
  SecondsPerCPUTick = 0.000000001;
  PLOGI("Detecting CPU speed: %g Mhz", CpuSpeed);
  std::int32_t cores = 0;
  if (machine.activeCpus(cores)) activeCores = cores;
  PLOGI("Active CPUs : %d", static_cast<int>(activeCores));
}

void System::checkCPUSupport() {
  const std::uint16_t probe = 1;
  const bool little = *reinterpret_cast<const std::uint8_t*>(&probe) == 1;
  PLOGI(little ? "System: Little Endian" : "System: Big Endian");

  x86_MMX_Support = x86_SSE_Support = x86_SSE2_Support = x86_SSE3_Support = false;
  ppc_AltiVec_Support = false;
  SystemProbes& machine = probes();
  const struct {
    SystemProbes::Feature feature;
    bool* flag;
  } features[] = {{SystemProbes::Feature::SSE3, &x86_SSE3_Support},
                  {SystemProbes::Feature::SSE2, &x86_SSE2_Support},
                  {SystemProbes::Feature::SSE, &x86_SSE_Support},
                  {SystemProbes::Feature::MMX, &x86_MMX_Support}};
  for (const auto& f : features) {
    std::int32_t present = 0;
    if (machine.cpuFeature(f.feature, present) && present > 0) *f.flag = true;
  }
  PLOGI("MMX: %d SSE :%d SSE2 :%d SSE3 :%d", x86_MMX_Support, x86_SSE_Support, x86_SSE2_Support,
        x86_SSE3_Support);
}

bool System::mathAssessments() {
  const struct {
    float value;
    int floor, ceiling;
  } cases[] = {{4.5623f, 4, 5},     {-3.14159f, -4, -3},         {-4.5623f, -5, -4},
               {65536.5f, 65536, 65537}, {-65536.5f, -65537, -65536}, {-0.4f, -1, 0},
               {-0.5f, -1, 0},      {-0.6f, -1, 0}};
  bool passed = true;
  for (const auto& c : cases) {
    if (static_cast<int>(std::floor(c.value)) != c.floor) passed = false;
    if (static_cast<int>(std::ceil(c.value)) != c.ceiling) passed = false;
  }
  return passed;
}

void System::getTimefromCPU(double& seconds) {
  seconds = TimerMethod == 0 ? static_cast<double>(monotonicTicks()) * SecondsPerCPUTick : 0;
}

void System::getMemStats(MemoryStat& stat) {
  for (auto& counter : stat.counters) counter = 0;
  SystemProbes& machine = probes();
  std::uint64_t free = 0;
  std::uint64_t total = 0;
  if (!machine.freePages(free)) return;
  if (!machine.physicalMemory(total)) return;
  stat.counters[0] = total;
  stat.counters[1] = free * machine.pageSize();
}

std::uint32_t System::getMemFree() { return 0xFFFFFFFFu; }

void System::logMemoryUsage() {
  MemoryStat stat;
  getMemStats(stat);
  PLOGI("\nCurrent Memory footprint:\n%30llu total Mbytes of physical memory.\n"
        "%30llu free  Mbytes of physical memory.\n\n",
        static_cast<unsigned long long>(stat.counters[0] / 1048576u),
        static_cast<unsigned long long>(stat.counters[1] / 1048576u));
}

void System::setMaxFileHandles() {
  SystemProbes& machine = probes();
  std::uint64_t kernelMaximum = 0;
  if (!machine.maxFilesPerProcess(kernelMaximum)) kernelMaximum = 10240;
  rlimit limit{};
  if (!machine.getFileLimit(limit)) return;
  const rlim_t current = limit.rlim_cur;
  // Every candidate is bounded by the hard limit; one at or below the current soft limit is
  // never tried, so the limit only ever goes up.
  const auto raiseTo = [&](std::uint64_t wanted) {
    rlim_t value = static_cast<rlim_t>(wanted);
    if (limit.rlim_max != RLIM_INFINITY && value > limit.rlim_max) value = limit.rlim_max;
    if (current != RLIM_INFINITY && value <= current) return false;
    if (current == RLIM_INFINITY) return false;
    rlimit raised = limit;
    raised.rlim_cur = value;
    return machine.setFileLimit(raised);
  };
  if (raiseTo(kernelMaximum) || raiseTo(2000000) || raiseTo(10240)) return;
  for (std::uint64_t value = 1000000; value > current; value /= 2)
    if (raiseTo(value)) return;
}

void System::getOSVersionString(std::string& out) {
  std::string version;
  if (probes().osVersion(version)) out = VNTSConv(version, 0);
}

bool System::getMachineUUID(std::string& out) {
  std::string id;
  if (!probes().machineId(id)) return false;
  if (id.size() >= 512) return false;  // the text must fit a 512-byte buffer with its zero
  out = id;
  return true;
}

int logCPU() { return 0; }

}  // namespace vantor
