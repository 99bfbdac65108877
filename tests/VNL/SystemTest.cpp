#include "VNL/source/System.h"

#include <fcntl.h>
#include <sys/utsname.h>
#include <sys/wait.h>
#include <unistd.h>

#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "VNL/source/LogLine.h"
#include "tests/support/LogCapture.h"
#include "tests/support/TempDir.h"

namespace {

using vantor::System;
using vantor::SystemProbes;

// A machine whose answers the test chooses; by default every probe fails.
class FakeProbes : public SystemProbes {
 public:
  bool machine(std::string&) override { return false; }
  bool cpuModel(std::string&) override { return false; }
  bool cpuFrequency(std::uint64_t&) override { return false; }
  bool cpuFrequencyMax(std::uint64_t&) override { return false; }
  bool activeCpus(std::int32_t&) override { return false; }
  bool cpuFeature(Feature, std::int32_t&) override { return false; }
  bool maxFilesPerProcess(std::uint64_t& files) override {
    files = kernelMaximum;
    return kernelMaximum != 0;
  }
  bool getFileLimit(rlimit& out) override {
    out = limit;
    return true;
  }
  bool setFileLimit(const rlimit& wanted) override {
    tried.push_back(wanted.rlim_cur);
    if (wanted.rlim_cur != accepted) return false;
    limit = wanted;
    return true;
  }
  bool freePages(std::uint64_t& pages) override {
    pages = 1000;
    return vmStatistics;
  }
  bool physicalMemory(std::uint64_t& bytes) override {
    bytes = 1ull << 33;
    return true;
  }
  std::uint64_t pageSize() override { return 4096; }
  bool osVersion(std::string&) override { return false; }
  bool machineId(std::string&) override { return false; }

  std::uint64_t kernelMaximum = 0;
  rlimit limit{1024, RLIM_INFINITY};
  rlim_t accepted = 0;  // the one value setFileLimit takes; 0 takes none
  std::vector<rlim_t> tried;
  bool vmStatistics = false;
};

class SystemTest : public ::testing::Test {
 protected:
  void SetUp() override { System::setProbes(&fake); }
  void TearDown() override { System::setProbes(nullptr); }
  FakeProbes fake;
};

TEST_F(SystemTest, FileLimitRisesToTheKernelMaximumBoundedByTheHardLimit) {
  struct Case {
    std::uint64_t kernel;
    rlimit before;
    rlim_t accepted;
    rlim_t softAfter;
    std::vector<rlim_t> tried;
  };
  const Case cases[] = {
      {24576, {1024, RLIM_INFINITY}, 24576, 24576, {24576}},
      {1048576, {1024, 4096}, 4096, 4096, {4096}},
      {0, {256, RLIM_INFINITY}, 10240, 10240, {10240}},  // kernel query failed: 10240
      // Equal soft and hard limits: nothing is above, nothing is tried.
      {1048576, {65536, 65536}, 65536, 65536, {}},
      // Kernel value, 2000000 and 10240 refused: halving from 2000000.
      {1048576, {1024, RLIM_INFINITY}, 250000, 250000,
       {1048576, 2000000, 10240, 1000000, 500000, 250000}},
  };
  for (const auto& c : cases) {
    fake.kernelMaximum = c.kernel;
    fake.limit = c.before;
    fake.accepted = c.accepted;
    fake.tried.clear();
    System::setMaxFileHandles();
    EXPECT_EQ(fake.limit.rlim_cur, c.softAfter) << "kernel " << c.kernel;
    EXPECT_EQ(fake.limit.rlim_max, c.before.rlim_max);
    EXPECT_EQ(fake.tried, c.tried) << "kernel " << c.kernel;
  }
}

TEST_F(SystemTest, RefusedEverywhereTheLimitIsNeverLowered) {
  fake.kernelMaximum = 1048576;
  fake.limit = {4000, RLIM_INFINITY};
  fake.accepted = 0;
  System::setMaxFileHandles();
  ASSERT_FALSE(fake.tried.empty());
  for (rlim_t value : fake.tried) EXPECT_GT(value, 4000u);
  EXPECT_EQ(fake.tried.back(), 7812u);  // 2000000 halved down to the last value above 4000
  EXPECT_EQ(fake.limit.rlim_cur, 4000u);
}

TEST(SystemMachine, FileLimitOfAChildWithEqualSoftAndHardLimitsStays) {
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    rlimit limit{};
    getrlimit(RLIMIT_NOFILE, &limit);
    limit.rlim_max = limit.rlim_cur;
    if (setrlimit(RLIMIT_NOFILE, &limit) != 0) _exit(2);
    System::setMaxFileHandles();
    rlimit after{};
    getrlimit(RLIMIT_NOFILE, &after);
    _exit(after.rlim_cur == limit.rlim_cur && after.rlim_max == limit.rlim_max ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST_F(SystemTest, MemoryCountersStayZeroWithoutVmStatistics) {
  System::MemoryStat stat;
  for (auto& counter : stat.counters) counter = 7;
  System::getMemStats(stat);
  for (auto counter : stat.counters) EXPECT_EQ(counter, 0u);

  fake.vmStatistics = true;
  System::getMemStats(stat);
  EXPECT_EQ(stat.counters[0], 1ull << 33);
  EXPECT_EQ(stat.counters[1], 1000u * 4096u);
  EXPECT_EQ(System::getMemFree(), 0xFFFFFFFFu);
}

TEST_F(SystemTest, MemoryUsageIsOneLineOfRightAlignedMebibytes) {
  fake.vmStatistics = true;
  kelo::test::LogCapture capture;
  ASSERT_TRUE(capture.ok());
  System::logMemoryUsage();
  const std::string expected = "\nCurrent Memory footprint:\n" + std::string(26, ' ') +
                               "8192 total Mbytes of physical memory.\n" + std::string(29, ' ') +
                               "3 free  Mbytes of physical memory.\n\n\n";
  const std::string log = capture.text();
  ASSERT_TRUE(std::regex_search(log, std::regex("^I:[0-9]+:[0-9]+:\n"))) << log;
  EXPECT_EQ(log.substr(log.find(":\n") + 1), expected);
}

TEST_F(SystemTest, InitRunsOnceAndLogsTheFailingProbes) {
  std::string log;
  {
    kelo::test::LogCapture capture;
    ASSERT_TRUE(capture.ok());
    System::init(3);
    System::init(0);
    log = capture.text();
  }

  const auto count = [&log](const std::string& text) {
    std::size_t n = 0;
    for (auto at = log.find(text); at != std::string::npos; at = log.find(text, at + 1)) ++n;
    return n;
  };
  EXPECT_EQ(count(":TIMER METHOD Unknown !! 3\n"), 1u) << log;
  EXPECT_TRUE(std::regex_search(log, std::regex("(^|\n)E:[0-9]+:[0-9]+:TIMER METHOD Unknown !! 3\n")));
  EXPECT_EQ(count("sysctlbyname - hw.cpufrequency failed\n"), 1u);
  EXPECT_EQ(count("sysctlbyname - hw.cpufrequency_max failed too - defaulting to 1MHZ\n"), 1u);
  EXPECT_EQ(count("Detecting CPU speed: 1 Mhz\n"), 1u);
  EXPECT_EQ(count("Active CPUs : 1\n"), 1u);
  EXPECT_EQ(count("MMX: 0 SSE :0 SSE2 :0 SSE3 :0\n"), 1u);
  EXPECT_EQ(count("RLIMIT_NOFILE max:18446744073709551615 cur:1024\n"), 1u);
  EXPECT_EQ(count("Math assessments passed\n"), 1u);
  EXPECT_EQ(count("Initialising System Done!\n"), 1u);
  EXPECT_EQ(count("hw.machine"), 0u);
  EXPECT_EQ(System::TimerMethod, 0);
  EXPECT_EQ(System::CpuSpeed, 1.0);
  EXPECT_EQ(System::SecondsPerCPUTick, 1e-9);
  EXPECT_TRUE(System::multitasking_Support);
  EXPECT_GE(System::StartTime.tm_year, 120);

  double first = 0, second = 0;
  System::getTimefromCPU(first);
  System::getTimefromCPU(second);
  EXPECT_GT(first, 0.0);
  EXPECT_GE(second, first);
}

TEST(SystemMachine, AnswersFromThisMachine) {
  EXPECT_TRUE(System::mathAssessments());
  // The version names this kernel's release, after the distribution's name when it has one.
  utsname names{};
  ASSERT_EQ(uname(&names), 0);
  std::string version;
  System::getOSVersionString(version);
  EXPECT_NE(version.find(names.release), std::string::npos) << version;
  std::smatch pretty;
  const std::string release = kelo::test::readFile("/etc/os-release");
  if (std::regex_search(release, pretty, std::regex("(^|\n)PRETTY_NAME=\"?([^\"\n]*)"))) {
    EXPECT_EQ(version.rfind(pretty[2].str(), 0), 0u) << version;
  }
  // The machine id is the first line of /etc/machine-id.
  const std::string machineId = kelo::test::readFile("/etc/machine-id");
  std::string id = "unchanged";
  if (machineId.empty()) {
    EXPECT_FALSE(System::getMachineUUID(id));
    EXPECT_EQ(id, "unchanged");
  } else {
    EXPECT_TRUE(System::getMachineUUID(id));
    EXPECT_EQ(id, machineId.substr(0, machineId.find('\n')));
  }
  EXPECT_EQ(vantor::logCPU(), 0);
}

}  // namespace
