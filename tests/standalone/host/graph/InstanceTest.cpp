#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "standalone/host/DSPInfo.h"
#include "standalone/host/IdleGenerators.h"
#include "standalone/host/Instance.h"
#include "tests/standalone/host/HostTestSupport.h"

namespace {

class CountingListener : public vantor::GUIIdleListener, public vantor::NonGUIIdleListener {
 public:
  void guiIdle(double milliseconds) override { ticks.push_back(milliseconds); }
  void nonGuiIdle() override { ++nonGui; }
  std::vector<double> ticks;
  int nonGui = 0;
};

TEST(Instance, OwnsTheFormatAndReplacesIt) {
  kelo::test::LogCapture log;
  auto* instance = new vantor::Instance;
  instance->init();
  EXPECT_EQ(instance->getDSPInfo().sampleRateInt, 44100u);
  EXPECT_EQ(instance->getDSPInfo().blockSize, 512u);
  instance->setOffline(true);
  EXPECT_TRUE(instance->getDSPInfo().offline);
  // An unsupported rate falls back to 44100, and the new format is not offline.
  instance->resetDSP(12345, 256);
  EXPECT_EQ(instance->getDSPInfo().sampleRateInt, 44100u);
  EXPECT_EQ(instance->getDSPInfo().blockSize, 256u);
  EXPECT_FALSE(instance->getDSPInfo().offline);
  instance->resetDSP(96000, 64);
  EXPECT_EQ(instance->getDSPInfo().sampleRateInt, 96000u);
  delete instance;
  EXPECT_TRUE(log.has('I', "Instance::init() 0x"));
  EXPECT_TRUE(log.has('I', "Instance::resetStaticDSP() 0x"));
  EXPECT_TRUE(log.has('I', "with 12345, 256"));
  EXPECT_TRUE(log.has('I', "Instance::dtor() 0x"));
}

// Writes its name into a log shared by the listeners of a test, so that the order shows.
class NamedListener : public CountingListener {
 public:
  NamedListener(const char* name, std::string& log) : m_name(name), m_log(log) {}
  void guiIdle(double milliseconds) override {
    CountingListener::guiIdle(milliseconds);
    m_log += m_name;
  }
  void nonGuiIdle() override {
    CountingListener::nonGuiIdle();
    m_log += m_name;
  }

 private:
  const char* m_name;
  std::string& m_log;
};

TEST(IdleGenerators, ListenersAreToldInOrderAndRemovedOneAtATime) {
  double now = 0.0;
  std::string told;
  vantor::GUIIdleGenerator gui(60.0, [&now] { return now; });
  NamedListener a("a", told);
  NamedListener b("b", told);
  NamedListener c("c", told);
  gui.addGUIIdleListener(&a);
  gui.addGUIIdleListener(nullptr);
  gui.addGUIIdleListener(&b);
  gui.addGUIIdleListener(&c);
  gui.addGUIIdleListener(&a);
  now = 0.001;
  gui.fireGUIIdle();  // too early for a tick
  EXPECT_EQ(told, "");
  now = 0.02;
  gui.fireGUIIdle();
  EXPECT_EQ(told, "abca");  // registration order, a twice
  // The tick covers one period (a late call counts as one) and the early call's millisecond.
  ASSERT_EQ(a.ticks.size(), 2u);
  EXPECT_NEAR(a.ticks[0], 1000.0 / 60.0 + 1.0, 1e-9);

  // Removal takes the first occurrence only.
  EXPECT_TRUE(gui.removeGUIIdleListener(&a));
  told.clear();
  now = 0.04;
  gui.fireGUIIdle();
  EXPECT_EQ(told, "bca");
  EXPECT_TRUE(gui.removeGUIIdleListener(&a));
  EXPECT_FALSE(gui.removeGUIIdleListener(&a));
  EXPECT_FALSE(gui.removeGUIIdleListener(nullptr));
  told.clear();
  now = 0.06;
  gui.fireGUIIdle();
  EXPECT_EQ(told, "bc");

  vantor::NonGUIIdleGenerator nonGui;
  told.clear();
  nonGui.fireNonGUIIdle();  // nobody registered: nothing happens
  EXPECT_EQ(told, "");
  nonGui.addNonGUIIdleListener(&c);
  nonGui.addNonGUIIdleListener(&a);
  nonGui.addNonGUIIdleListener(nullptr);
  nonGui.addNonGUIIdleListener(&b);
  nonGui.addNonGUIIdleListener(&a);
  nonGui.fireNonGUIIdle();
  EXPECT_EQ(told, "caba");
  EXPECT_TRUE(nonGui.removeNonGUIIdleListener(&a));
  told.clear();
  nonGui.fireNonGUIIdle();
  EXPECT_EQ(told, "cba");
  EXPECT_TRUE(nonGui.removeNonGUIIdleListener(&a));
  EXPECT_FALSE(nonGui.removeNonGUIIdleListener(&a));
  told.clear();
  nonGui.fireNonGUIIdle();
  EXPECT_EQ(told, "cb");
}

TEST(TimeMilli, RunsOnTheMonotonicClockInMilliseconds) {
  const double first = vantor::getTimeMilli();
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  const double reference = now.tv_sec * 1000.0 + now.tv_nsec / 1e6;
  EXPECT_GT(first, 0.0);
  EXPECT_LE(first, reference);
  const double second = vantor::getTimeMilli();
  EXPECT_LE(reference, second);
}

}  // namespace
