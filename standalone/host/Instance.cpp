#include "standalone/host/Instance.h"

#include <time.h>

#include <cinttypes>
#include <cstdint>

#include "VNL/source/LogLine.h"
#include "standalone/host/IdleGenerators.h"

namespace vantor {

namespace {

constexpr double kGUIIdleRate = 60.0;
constexpr int kDefaultSampleRate = 44100;
constexpr int kDefaultBlockSize = 512;

std::uintptr_t address(const void* object) { return reinterpret_cast<std::uintptr_t>(object); }

}  // namespace

void Instance::init() {
  PLOGI("Instance::init() 0x%" PRIxPTR " in", address(this));
  m_dspInfo = new DSPInfo(kDefaultSampleRate, kDefaultBlockSize);
  m_guiIdle = new GUIIdleGenerator(kGUIIdleRate);
  m_nonGuiIdle = new NonGUIIdleGenerator();
  PLOGI("Instance::init() 0x%" PRIxPTR " out", address(this));
}

Instance::~Instance() {
  PLOGI("Instance::dtor() 0x%" PRIxPTR " in", address(this));
  delete m_dspInfo;
  delete m_guiIdle;
  delete m_nonGuiIdle;
  PLOGI("Instance::dtor() 0x%" PRIxPTR " out", address(this));
}

void Instance::resetDSP(int sampleRate, int blockSize) {
  PLOGI("Instance::resetStaticDSP() 0x%" PRIxPTR " in", address(this));
  PLOGI("with %d, %d", sampleRate, blockSize);
  delete m_dspInfo;
  m_dspInfo = new DSPInfo(static_cast<std::uint32_t>(sampleRate),
                          static_cast<std::uint32_t>(blockSize));
  PLOGI("Instance::resetStaticDSP() 0x%" PRIxPTR " out", address(this));
}

void Instance::setOffline(bool offline) {
  if (m_dspInfo != nullptr) m_dspInfo->offline = offline;
}

void Instance::addGUIIdleListener(GUIIdleListener* listener) const {
  if (m_guiIdle != nullptr) m_guiIdle->addGUIIdleListener(listener);
}

bool Instance::removeGUIIdleListener(GUIIdleListener* listener) const {
  return m_guiIdle != nullptr && m_guiIdle->removeGUIIdleListener(listener);
}

void Instance::fireGUIIdle() {
  if (m_guiIdle != nullptr) m_guiIdle->fireGUIIdle();
}

void Instance::addNonGUIIdleListener(NonGUIIdleListener* listener) const {
  if (m_nonGuiIdle != nullptr) m_nonGuiIdle->addNonGUIIdleListener(listener);
}

bool Instance::removeNonGUIIdleListener(NonGUIIdleListener* listener) const {
  return m_nonGuiIdle != nullptr && m_nonGuiIdle->removeNonGUIIdleListener(listener);
}

void Instance::fireNonGUIIdle() {
  if (m_nonGuiIdle != nullptr) m_nonGuiIdle->fireNonGUIIdle();
}

double getTimeMilli() {
  // The platform's tick is the monotonic nanosecond (System::SecondsPerCPUTick is 1e-9 once
  // measured); using it directly keeps the clock running before System::init.
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<double>(now.tv_sec) * 1000.0 + static_cast<double>(now.tv_nsec) * 1e-6;
}

}  // namespace vantor
