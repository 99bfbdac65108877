#include "plugins/vst/SamplerVST.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "VNL/source/ConsoleLogger.h"
#include "VNL/source/FileUtils.h"
#include "VNL/source/LogLine.h"
#include "VNL/source/ParameterInfo.h"
#include "VNL/source/PlatformWrappers.h"
#include "VNL/source/ProductConf.h"
#include "VNL/source/System.h"
#include "plugins/vst/FakeEditor.h"
#include "standalone/engine_interface/BarStart.h"
#include "standalone/engine_interface/EngineBinding.h"
#include "standalone/engine_interface/EngineEvents.h"
#include "standalone/engine_interface/EngineListener.h"
#include "standalone/engine_interface/EngineSampleRate.h"
#include "standalone/engine_interface/EngineVersion.h"

using vantor::LogLevel;
using vantor::logLine;

namespace {

// Process-wide state of the loaded plug-in. Hosts and scanners construct instances from
// several threads: the counter and the flag are atomics, and the log and the engine bundle's
// process reference change only under the lock, which construction and destruction alone take.
std::atomic<int> g_instances{0};
std::atomic<bool> g_bindingFailed{false};
std::mutex g_processLock;
ConsoleLogger* g_log = nullptr;
CFBundleRef g_engineBundle = nullptr;  // keeps the engine loaded for the life of the process

constexpr std::int32_t kEventListCapacity = 4096;
constexpr std::int32_t kOutputQueueCapacity = 1024;
constexpr std::int32_t kVstEventPointers = 1024;
constexpr std::int32_t kVstMidiStoreSize = 256;
// Parameter and program names: 24 characters and the terminator.
constexpr std::size_t kNameSize = 25;

bool startsWith(const char* text, const char* prefix) {
  return std::strncmp(text, prefix, std::strlen(prefix)) == 0;
}

std::string alertTitle() { return std::string(conf.vendorName) + " " + conf.productName; }

/// The host's name: what follows the last "/" and precedes the last "." of its path.
std::string hostNameOf(const std::string& path) {
  std::string name = getFileFromPath(path);
  const std::size_t dot = name.rfind('.');
  if (dot != std::string::npos) name.resize(dot);
  return name;
}

/// The product's name as hosts show it: "(Multi)" follows it in the multi-output build.
std::string displayName(bool multi) {
  return multi ? std::string(conf.productName) + " (Multi)" : std::string(conf.productName);
}

/// Copies at most size - 1 characters and the terminator.
void copyBounded(char* out, std::size_t size, const std::string& text) {
  const std::size_t n = text.size() < size ? text.size() : size - 1;
  std::memcpy(out, text.data(), n);
  out[n] = 0;
}

bool acceptedRate(std::intptr_t rate) {
  static constexpr std::intptr_t kRates[] = {22050, 24000,  32000,  38400,  44100,  48000,
                                             64000, 88200, 96000, 176400, 192000, 384000};
  for (std::intptr_t accepted : kRates)
    if (rate == accepted) return true;
  return false;
}

}  // namespace

bool SamplerVST::bindingFailed() { return g_bindingFailed.load(); }

bool SamplerVST::multiOutputBuild() const { return conf.multiCapable && conf.multiActive; }

SamplerVST::SamplerVST(audioMasterCallback audioMaster)
    : AudioEffectX(audioMaster, static_cast<std::int32_t>(conf.numPrograms),
                   static_cast<std::int32_t>(conf.numParams)),
      m_blockIn(std::make_unique<MIDIEventBlock>()),
      m_blockOut(std::make_unique<MIDIEventBlock>()) {
  m_sync.prepare(256, 44100, nullptr, nullptr, true);

  // Identity and channels by build.
  if (multiOutputBuild()) {
    setUniqueID(static_cast<std::int32_t>(conf.multiUniqueID));
    setNumInputs(static_cast<std::int32_t>(conf.multiNumInputs));
    setNumOutputs(static_cast<std::int32_t>(conf.multiNumOutputs));
  } else {
    setUniqueID(static_cast<std::int32_t>(conf.uniqueID));
    setNumInputs(static_cast<std::int32_t>(conf.numInputs));
    setNumOutputs(static_cast<std::int32_t>(conf.numOutputs));
  }
  m_numInputs = cEffect.numInputs;
  m_numOutputs = cEffect.numOutputs;
  canProcessReplacing(true);
  programsAreChunks(true);
  if (conf.isEffect == 0) isSynth(true);
  m_events.reserve(kEventListCapacity);
  m_scratch.resize(kEventListCapacity);
  m_outQueue.reserve(kOutputQueueCapacity);
  m_transportError.reserve(1024);

  // The data folder; without it the entry point refuses the instance.
  if (!vantor::readEngineDataFolder(conf.vendorName, conf.productName, m_dataFolder))
    g_bindingFailed.store(true);

  vantor::System::setMaxFileHandles();
  m_userFolder = setUserPathVendorProduct(conf.vendorName, conf.productName);
  m_hostName = hostNameOf(PGetCurrentApplicationPath(nullptr));

  {
    std::lock_guard<std::mutex> hold(g_processLock);
    const int count = g_instances.fetch_add(1) + 1;
    if (count == 1 && !m_hostName.empty()) {
      const std::string path = m_userFolder + "/" + conf.productName + "VST_" + m_hostName +
                               (multiOutputBuild() ? "_Multi" : "") + ".log";
      g_log = new ConsoleLogger;
      if (!g_log->init(path))
        popupModalMessageWindow(nullptr, alertTitle(), "Can't create log file in " + path);
    }
    logLine(LogLevel::Info, this, " instance:%d", count);
  }

  vantor::registerKeloPlugin(conf.vendorName, conf.productName, "VST");

  // The engine: "path" missing leaves a working object without engine; no bundle or no entry
  // point refuses the instance.
  vantor::EngineBinding binding;
  const vantor::EngineBindingFailure failure =
      vantor::loadEngine(conf.vendorName, conf.productName, vantor::CONFIG_LEVEL_SYSTEM, binding);
  m_enginePath = binding.enginePath;
  m_bundle = binding.bundle;
  m_engine.bind(binding.entry, kKeloDefaultEngineVersion);
  if (failure == vantor::EngineBindingFailure::EngineFile ||
      failure == vantor::EngineBindingFailure::EntryPoint)
    g_bindingFailed.store(true);
  if (m_engine.hasEngine()) {
    std::lock_guard<std::mutex> hold(g_processLock);
    if (!g_engineBundle) g_engineBundle = (CFRetain(m_bundle), m_bundle);
  }

  if (m_engine.hasEngine()) {
    char version[32] = {};
    logged(m_engine.versionText(version));
    version[sizeof version - 1] = 0;
    m_engine.bind(m_engine.entry(), vantor::parseEngineVersion(version).number);
    logLine(LogLevel::Info, this, "Local Kelo Version:%d", m_engine.version());
  }

  m_vstEvents = static_cast<VstEvents*>(std::calloc(
      1, offsetof(VstEvents, events) + sizeof(VstEvent*) * kVstEventPointers));
  m_midiStore = static_cast<VstMidiEvent*>(std::calloc(kVstMidiStoreSize, sizeof(VstMidiEvent)));
  if (multiOutputBuild()) {
    if (m_numInputs > 2 && allocateArrangement(&m_inputArrangement, m_numInputs))
      m_inputArrangement->type = kSpeakerArrStereo;
    if (m_numOutputs > 2 && allocateArrangement(&m_outputArrangement, m_numOutputs))
      m_outputArrangement->type = kSpeakerArrStereo;
  }

  std::snprintf(m_setupPath, sizeof m_setupPath, "%s/KeloSetup.xml", m_dataFolder.c_str());
  m_createInfo = EngineCreateInfo{m_numInputs, m_numOutputs, kKeloHostConstantVST, m_setupPath};
  logLine(LogLevel::Info, this, "AAA");
  if (!m_dataFolder.empty()) setEditor(new FakeEditor(this, m_engine, m_setupPath, this));
  logLine(LogLevel::Info, this, "BBB");
}

SamplerVST::~SamplerVST() {
  logLine(LogLevel::Info, this, " SamplerVST::~SamplerVST() in");
  logLine(LogLevel::Info, this, " g_pluginStream:%p", static_cast<void*>(g_pluginStream));
  std::free(m_vstEvents);
  m_vstEvents = nullptr;
  std::free(m_midiStore);
  m_midiStore = nullptr;
  // The engine's editor goes before the instance it shows.
  delete editor;
  setEditor(nullptr);
  if (hasEngine()) {
    logged(m_engine.clearHostCallback(&vantor::engineHostCallback, listener()));
    logged(m_engine.destroy());
  }
  m_parameterCache.reset();
  deallocateArrangement(&m_inputArrangement);
  deallocateArrangement(&m_outputArrangement);
  logLine(LogLevel::Info, this, " SamplerVST::~SamplerVST() out");
  {
    std::lock_guard<std::mutex> hold(g_processLock);
    if (g_instances.fetch_sub(1) == 1) {
      delete g_log;
      g_log = nullptr;
    }
  }
  if (m_bundle) CFRelease(m_bundle);
}

std::int32_t SamplerVST::logged(std::int32_t result) {
  if (result != 0) logLine(LogLevel::Error, this, "engine error:%d", result);
  return result;
}

EngineDSPInfo SamplerVST::dspInfo() const {
  EngineDSPInfo info;
  info.numInputs = m_numInputs;
  info.numOutputs = m_numOutputs;
  info.sampleRate = sampleRate > 0.0f ? static_cast<std::uint64_t>(sampleRate) : 0;
  info.blockSize = blockSize;
  return info;
}

void SamplerVST::sendFormat() {
  EngineDSPInfo info = dspInfo();
  logged(m_engine.setFormat(info));
  m_engineOutputs.store(info.numOutputs, std::memory_order_relaxed);
}

void SamplerVST::startEngine() {
  EngineStartInfo start;
  logged(m_engine.start(state().offline, &start));
  reportLatency(start.latency);
}

void SamplerVST::reportLatency(std::int32_t latency) {
  if (m_lastLatency.exchange(latency, std::memory_order_relaxed) != latency)
    setInitialDelay(latency);
}

void SamplerVST::setInitialDelay(std::int32_t delay) {
  std::atomic_ref<std::int32_t>(cEffect.initialDelay).store(delay, std::memory_order_relaxed);
}

// ---- Lazy initialisation ----

void SamplerVST::init() {
  if (state().life == Life::Created) init(nullptr, 0);
}

bool SamplerVST::init(void* chunk, std::int32_t chunkSize) {
  logLine(LogLevel::Info, this, " init() in");
  if (m_dataFolder.empty()) {
    logLine(LogLevel::Error, this, "Cant init, no datapath!");
    markBound();
    return true;
  }

  char vendor[kVstMaxVendorStrLen] = {};
  char product[kVstMaxProductStrLen] = {};
  getHostVendorString(vendor);
  vendor[sizeof vendor - 1] = 0;
  logLine(LogLevel::Info, this, " Vendor:%s", vendor);
  getHostProductString(product);
  product[sizeof product - 1] = 0;
  const std::int32_t version = getHostVendorVersion();
  logLine(LogLevel::Info, this, " Product:%s version:%d", product, version);
  applyHostAdjustments(vendor, product);

  logLine(LogLevel::Info, this, " sr1:%g", static_cast<double>(sampleRate));
  updateSampleRate();
  logLine(LogLevel::Info, this, " sr1a:%g bs:%d", static_cast<double>(sampleRate), blockSize);
  updateBlockSize();
  logLine(LogLevel::Info, this, " sr2:%g bs:%d", static_cast<double>(sampleRate), blockSize);

  if (m_engine.hasEngine()) {
    if (m_engine.instance()) {
      sendFormat();
    } else {
      m_createInfo =
          EngineCreateInfo{m_numInputs, m_numOutputs, kKeloHostConstantVST, m_setupPath};
      logged(m_engine.create(m_createInfo, chunk, chunkSize));
      m_engineOutputs.store(m_numOutputs, std::memory_order_relaxed);
      if (m_engine.instance()) {
        sendFormat();
        logged(m_engine.setHostCallback(&vantor::engineHostCallback, listener(),
                                        kKeloHostCapabilitiesVST));
        if (chunk && chunkSize != 0) announceSlot(0);
      }
    }
  }
  logLine(LogLevel::Info, this, " MaxBlockSize:%d", blockSize);

  m_sync = vantor::SyncInfo{};
  m_sync.sampleRate = sampleRate;
  m_events.clear();
  m_outQueue.clear();
  char timeInfo[] = "sendVstTimeInfo";
  m_timeInfo = canHostDo(timeInfo);
  logLine(LogLevel::Info, this, " SamplerVST::init() out");
  markBound();
  return true;
}

void SamplerVST::markBound() {
  State now = state();
  if (now.life != Life::Created) return;
  now.life = Life::Bound;
  setState(now);
}

void SamplerVST::applyHostAdjustments(const char* vendor, const char* product) {
  if (startsWith(vendor, "FX-MAX")) m_ignoreArrangement = true;
  if (startsWith(product, "Cakewalk") || startsWith(product, "SONAR")) {
    m_noRateQuery = true;
    m_ignoreArrangement = true;
    logLine(LogLevel::Info, this, " Cakewalk audioMasterGetSampleRate workaround enabled");
  }
  if (startsWith(product, "REAPER")) {
    m_parameterCache = std::make_unique<std::atomic<float>[]>(conf.numParams + 1);
    for (std::uint32_t i = 0; i <= conf.numParams; ++i) m_parameterCache[i].store(0.0f);
    logLine(LogLevel::Info, this, " Activating parameter cache to fix Reaper automation bug");
  }
  if (startsWith(vendor, "Ableton") && startsWith(product, "Live")) {
    m_gesture = false;
    logLine(LogLevel::Info, this,
            " Activating parameter hack for Live which cannot deal with param holes");
  }
}

// ---- Format ----

double SamplerVST::updateSampleRate() {
  if (audioMaster && !m_noRateQuery) {
    const std::intptr_t rate = callHost(audioMasterGetSampleRate);
    if (rate >= 22050 && rate <= 384000) {
      if (acceptedRate(rate))
        sampleRate = static_cast<float>(rate);
      else
        logLine(LogLevel::Info, this,
                " updateSampleRate VERY DOGGY sampleRate from HOST! :%ld host probably using "
                "per 2.3",
                static_cast<long>(rate));
    } else {
      logLine(LogLevel::Info, this,
              " updateSampleRate BAD sampleRate from HOST! :%ld host probably using per 2.3",
              static_cast<long>(rate));
    }
  }
  return sampleRate;
}

void SamplerVST::setSampleRate(float rate) {
  logLine(LogLevel::Info, this, " srA:%g", static_cast<double>(sampleRate));
  if (!vantor::engineTakesSampleRate(rate)) {
    logLine(LogLevel::Error, this, " setSampleRate refused:%g", static_cast<double>(rate));
    return;
  }
  sampleRate = rate;
  logLine(LogLevel::Info, this, " srB:%g", static_cast<double>(sampleRate));
  if (State now = state(); now.life == Life::Suspended) {
    now.rateSetWhileSuspended = true;
    setState(now);
  }
  if (hasEngine()) sendFormat();
}

void SamplerVST::setBlockSize(std::int32_t size) {
  logLine(LogLevel::Info, this, " srC:%g", static_cast<double>(sampleRate));
  blockSize = size;
  logLine(LogLevel::Info, this, " srD:%g", static_cast<double>(sampleRate));
  if (State now = state(); now.life == Life::Suspended) {
    now.sizeSetWhileSuspended = true;
    setState(now);
  }
  if (hasEngine()) sendFormat();
}

void SamplerVST::setBlockSizeAndSampleRate(std::int32_t size, float rate) {
  blockSize = size;
  if (vantor::engineTakesSampleRate(rate))
    sampleRate = rate;
  else
    logLine(LogLevel::Error, this, " setBlockSizeAndSampleRate refused:%g", static_cast<double>(rate));
}

void SamplerVST::resume() {
  const std::int32_t level = getCurrentProcessLevel();
  const bool offline = level == kVstProcessLevelOffline;
  State now = state();
  now.offline = offline;
  setState(now);
  logLine(LogLevel::Info, this, " resume() procLevel:%d offline:%d", level, offline ? 1 : 0);
  init();
  logLine(LogLevel::Info, this, " sr6:%g", static_cast<double>(sampleRate));
  if (!state().rateSetWhileSuspended) updateSampleRate();
  if (!state().sizeSetWhileSuspended) updateBlockSize();
  logLine(LogLevel::Info, this, " sr7:%g", static_cast<double>(sampleRate));
  if (hasEngine()) {
    sendFormat();
    startEngine();
  }
  wantEvents(1);
  setState(State{Life::Running, offline, false, false});
}

void SamplerVST::suspend() {
  logLine(LogLevel::Info, this, " suspend()");
  logLine(LogLevel::Info, this, " sr9:%g", static_cast<double>(sampleRate));
  init();
  m_transportLogged = false;
  m_barStartWarned = false;
  if (hasEngine()) logged(m_engine.stop());
  State now = state();
  now.life = Life::Suspended;
  setState(now);
}

// ---- Processing ----

std::int32_t SamplerVST::processEvents(VstEvents* events) {
  if (!events) return 1;
  for (std::int32_t i = 0; i < events->numEvents; ++i) {
    const VstEvent* event = VstEventsAt(*events, static_cast<std::size_t>(i));
    if (!event || event->type != kVstMidiType) continue;
    if (m_events.size() >= m_events.capacity()) {
      logLine(LogLevel::Error, this, " processEvents CRASH!");
      return 0;
    }
    const auto* midi = reinterpret_cast<const VstMidiEvent*>(event);
    vantor::MIDIEvent converted{};
    for (int b = 0; b < 3; ++b) converted.bytes[b] = static_cast<std::uint8_t>(midi->midiData[b]);
    converted.frameOffset = midi->deltaFrames;
    converted.detune = static_cast<float>(static_cast<signed char>(midi->detune));
    m_events.push_back(converted);
  }
  return 1;
}

void SamplerVST::processReplacing(float** inputs, float** outputs, std::int32_t sampleFrames) {
  if (!hasEngine()) {
    // Silence rather than whatever the host's buffers last held; the events are dropped.
    writeSilence(outputs, cEffect.numOutputs, sampleFrames);
    m_events.clear();
    return;
  }
  const bool offline = getCurrentProcessLevel() == kVstProcessLevelOffline;
  if (offline != state().offline) {
    logLine(LogLevel::Info, this, "ProcessReplacing Detected an offline mode change! :%d",
            offline ? 1 : 0);
    suspend();
    State now = state();
    now.offline = offline;
    setState(now);
    startEngine();
    now.life = Life::Running;
    setState(now);
  }
  prepareSlice(sampleFrames);

  const std::size_t count = m_events.size();
  if (count > kMIDIEventBlockCapacity)
    logLine(LogLevel::Info, this, "Large number of MIDI Events : %zu", count);
  vantor::fillMIDIEventBlock(*m_blockIn, m_events.data(), count, m_scratch.data(),
                             m_scratch.size(), sampleFrames);

  logged(m_engine.process(*m_blockIn, m_blockOut.get(), inputs, outputs, &m_sync, sampleFrames));
  if (m_engine.processesEx()) {
    if (conf.sendsMIDI) {
      const std::uint64_t produced = m_blockOut->numEvents < kMIDIEventBlockCapacity
                                         ? m_blockOut->numEvents
                                         : kMIDIEventBlockCapacity;
      for (std::uint64_t i = 0; i < produced && m_outQueue.size() < m_outQueue.capacity(); ++i)
        m_outQueue.push_back(m_blockOut->events[i]);
    }
    m_blockOut->numEvents = 0;
  }
  // The engine writes only the channels it was told of; the host's others would keep old data.
  const std::int32_t written = m_engineOutputs.load(std::memory_order_relaxed);
  if (outputs && written >= 0 && written < cEffect.numOutputs)
    writeSilence(outputs + written, cEffect.numOutputs - written, sampleFrames);
  finishSlice();
}

void SamplerVST::process(float** inputs, float** outputs, std::int32_t sampleFrames) {
  processReplacing(inputs, outputs, sampleFrames);
}

void SamplerVST::prepareSlice(std::int32_t frames) {
  if (m_timeInfo) {
    if (const VstTimeInfo* time = getTimeInfo(0xffff))
      fillSyncInfo(*time, m_sync, m_barStartWarned, this);
  }
  // The record gives the slice's length in 16 bits: a longer block is bounded, as KeloUnit's.
  const auto sliceLength = static_cast<std::int16_t>(std::clamp<std::int32_t>(frames, 0, 32767));
  // The error text has room reserved, so describing a bad record does not allocate.
  if (!m_sync.prepare(sliceLength, sampleRate, "SamplerVST",
                      &m_transportError, m_transportLogged) &&
      !m_transportLogged) {
    logLine(LogLevel::Error, this, "%s", m_transportError.c_str());
    m_transportLogged = true;
  }
  m_outQueue.clear();
}

void SamplerVST::fillSyncInfo(const VstTimeInfo& time, vantor::SyncInfo& sync,
                              bool& barStartWarned, const void* logObject) {
  const std::int32_t flags = time.flags;
  sync.samplePosition = time.samplePos;
  sync.sampleRate = time.sampleRate;
  if (flags & kVstNanosValid) sync.systemTimeNanos = time.nanoSeconds;
  if (flags & kVstPpqPosValid) sync.ppqPosition = time.ppqPos;
  if (flags & kVstTempoValid) sync.tempo = time.tempo;
  if (flags & kVstCyclePosValid) {
    sync.loopStartPosition = time.cycleStartPos;
    sync.loopEndPosition = time.cycleEndPos;
  }
  // A signature with a zero (or negative) part would give no bar: the previous one stays.
  if ((flags & kVstTimeSigValid) && time.timeSigNumerator > 0 && time.timeSigDenominator > 0) {
    sync.timeSigNumerator = time.timeSigNumerator;
    sync.timeSigDenominator = time.timeSigDenominator;
  }
  // By name: the two records order these three fields differently.
  if (flags & kVstSmpteValid) {
    sync.smpteOffset = time.smpteOffset;
    sync.smpteFrameRate = time.smpteFrameRate;
  }
  if (flags & kVstClockValid) sync.samplesToNextClock = time.samplesToNextClock;

  const double ppq = sync.ppqPosition;
  const bool barsValid = (flags & kVstBarsValid) != 0;
  const vantor::BarStart bar = vantor::barStartAt(ppq, barsValid ? &time.barStartPos : nullptr,
                                                  sync.timeSigNumerator, sync.timeSigDenominator);
  if (barsValid) {
    if (!bar.hostHolds && !barStartWarned) {
      logLine(LogLevel::Error, logObject,
              "kVstBarsValid is set but its NOT RIGHT! Compensating, but NO time signatures "
              "changes can occur");
      logLine(LogLevel::Error, logObject, "in more details, sync->ppqPos:%f and sync->barStartPos:%f",
              ppq, time.barStartPos);
      barStartWarned = true;
    }
  } else if (!barStartWarned) {
    logLine(LogLevel::Error, logObject,
            "kVstBarsValid NOT SET ! Compensating, but NO time signatures changes can occur");
    barStartWarned = true;
  }
  sync.barStartPosition = bar.position;
  sync.playing = (flags & kVstTransportPlaying) != 0;
  sync.looping = (flags & kVstTransportCycleActive) != 0;
  sync.transportChanged = (flags & kVstTransportChanged) != 0;
}

void SamplerVST::finishSlice() {
  m_events.clear();
  const std::size_t count = m_outQueue.size();
  if (count == 0 || !m_vstEvents || !m_midiStore) return;
  const std::size_t sent = count < kVstMidiStoreSize ? count : kVstMidiStoreSize - 1;
  if (sent < count)
    logLine(LogLevel::Warning, this, "%zu MIDI events to the host in one block: %zu dropped",
            count, count - sent);
  for (std::size_t i = 0; i < sent; ++i) {
    const vantor::MIDIEvent& event = m_outQueue[i];
    VstMidiEvent& midi = m_midiStore[i];
    midi = VstMidiEvent{};
    midi.type = kVstMidiType;
    midi.byteSize = 24;
    midi.deltaFrames = event.frameOffset;
    for (int b = 0; b < 3; ++b) midi.midiData[b] = static_cast<char>(event.bytes[b]);
    midi.detune = static_cast<char>(static_cast<int>(event.detune));
    VstEventsAt(*m_vstEvents, i) = reinterpret_cast<VstEvent*>(&midi);
  }
  m_vstEvents->numEvents = static_cast<std::int32_t>(sent);
  m_vstEvents->reserved = 0;
  sendVstEventsToHost(m_vstEvents);
}

// ---- Parameters ----

const ParameterInfo* SamplerVST::description(std::int32_t index) {
  const ParameterInfo* info = nullptr;
  logged(m_engine.describe(index, info));
  return info;
}

void SamplerVST::setParameter(std::int32_t index, float value) {
  if (!hostParameter(index)) return;
  if (m_parameterCache) m_parameterCache[index].store(value, std::memory_order_relaxed);
  if (!hasEngine()) return;
  const ParameterInfo* info = description(index);
  // Live cannot deal with holes in the parameter list: an undescribed index is not sent.
  if (!m_gesture && !info) return;
  if (info) info->unpack01(value);
  logged(m_engine.setParameter(index, value));
}

float SamplerVST::getParameter(std::int32_t index) {
  if (m_parameterCache && hostParameter(index))
    return m_parameterCache[index].load(std::memory_order_relaxed);
  bool valid = false;
  return parameterValue(index, valid);
}

void SamplerVST::getParameterName(std::int32_t index, char* text) {
  if (!text) return;
  const ParameterInfo* info = hasEngine() ? description(index) : nullptr;
  if (info && info->label && *info->label)
    copyBounded(text, kNameSize, info->label);
  else
    std::snprintf(text, kNameSize, "p%03d", index);
}

void SamplerVST::getParameterDisplay(std::int32_t index, char* text) {
  if (!text) return;
  *text = 0;
  if (!hasEngine()) return;
  const ParameterInfo* info = description(index);
  if (!info) return;
  float value = 0.0f;
  if (m_parameterCache && hostParameter(index)) {
    // The cache holds the host's 0..1 value; the text is made from the engine's.
    value = m_parameterCache[index].load(std::memory_order_relaxed);
    info->unpack01(value);
  } else {
    logged(m_engine.parameter(index, value));
  }
  info->toString(text, value, kNameSize - 1);
}

bool SamplerVST::canParameterBeAutomated(std::int32_t index) {
  if (!hasEngine()) return true;
  const ParameterInfo* info = description(index);
  return info && (info->flags & 0x02) != 0;
}

// ---- Programs ----

namespace {
bool validProgram(std::int32_t program) {
  return program >= 0 && program <= static_cast<std::int32_t>(conf.numPrograms);
}
}  // namespace

void SamplerVST::setProgram(std::int32_t program) {
  if (validProgram(program)) curProgram = program;
}

void SamplerVST::setProgramName(char* name) {
  if (name && validProgram(curProgram)) m_programNames[curProgram] = name;
}

void SamplerVST::getProgramName(char* name) {
  if (name) programName(curProgram, name);
}

bool SamplerVST::getProgramNameIndexed(std::int32_t category, std::int32_t index, char* text) {
  if (!validProgram(index)) return false;
  if (text) programName(index, text);
  return true;
}

void SamplerVST::programName(std::int32_t program, char* text) const {
  const auto entry = m_programNames.find(program);
  if (entry != m_programNames.end())
    copyBounded(text, kNameSize, entry->second);
  else
    std::snprintf(text, kNameSize, "empty slot%d", program);
}

// ---- State ----

std::int32_t SamplerVST::getChunk(void** data, bool isPreset) {
  init();
  // Without a place for the pointer the engine would write through null.
  if (!hasEngine() || !data) return 0;
  logLine(LogLevel::Info, this, "SamplerVST::getChunk");
  std::int32_t size = 0;
  const std::int32_t status = logged(m_engine.chunk(data, size));
  logLine(LogLevel::Info, this, "SamplerVST::getChunk status:%d size:%d", status, size);
  // An engine may hand out bytes with its refusal: the host would save them as the state.
  if (status != 0 || size < 0) {
    *data = nullptr;
    return 0;
  }
  return size;
}

std::int32_t SamplerVST::setChunk(void* data, std::int32_t byteSize, bool isPreset) {
  if (state().life == Life::Created) {
    init(data, byteSize);
    return 0;
  }
  if (!hasEngine()) return 0;
  logLine(LogLevel::Info, this, "SamplerVST::setChunk size:%d preset:%d", byteSize,
          isPreset ? 1 : 0);
  const std::int32_t result = m_engine.setChunk(data, byteSize);
  logLine(LogLevel::Info, this, "SamplerVST::setChunk res:%d", result);
  return result;
}

// ---- Names and capabilities ----

bool SamplerVST::getEffectName(char* name) {
  if (!name) return false;
  copyBounded(name, kVstMaxEffectNameLen, displayName(multiOutputBuild()));
  return true;
}

bool SamplerVST::getVendorString(char* text) {
  if (!text) return false;
  copyBounded(text, kVstMaxVendorStrLen, conf.vendorName);
  return true;
}

bool SamplerVST::getProductString(char* text) {
  if (!text) return false;
  copyBounded(text, kVstMaxProductStrLen, displayName(multiOutputBuild()));
  return true;
}

std::int32_t SamplerVST::canDo(char* text) {
  if (!text) return -1;
  const bool sends = conf.sendsMIDI != 0;
  const bool receives = conf.receivesMIDI != 0;
  if (sends && (!std::strcmp(text, "sendVstMidiEvent") || !std::strcmp(text, "sendVstEvents")))
    return 1;
  if (receives &&
      (!std::strcmp(text, "receiveVstEvents") || !std::strcmp(text, "receiveVstMidiEvent")))
    return 1;
  if (!std::strcmp(text, "supportsViewDpiScaling") || !std::strcmp(text, "receiveVstTimeInfo"))
    return 1;
  return -1;
}

std::intptr_t SamplerVST::vendorSpecific(std::int32_t index, std::intptr_t value, void* ptr,
                                         float opt) {
  if (index != vstFourCC('K', 'e', 'l', 'o') || !hasEngine()) return 0;
  return logged(m_engine.vendorSpecific(ptr, static_cast<std::int32_t>(value), opt)) == 0 ? 1 : 0;
}

// ---- Outputs and speaker arrangements ----

bool SamplerVST::getOutputProperties(std::int32_t index, VstPinProperties* properties) {
  if (!properties || index < 0 || index >= m_numOutputs) return false;
  std::snprintf(properties->label, sizeof properties->label, "Out %d", index + 1);
  properties->flags = kVstPinIsActive | kVstPinIsStereo;
  return true;
}

bool SamplerVST::setSpeakerArrangement(VstSpeakerArrangement* pluginInput,
                                       VstSpeakerArrangement* pluginOutput) {
  char product[kVstMaxProductStrLen] = {};
  getHostProductString(product);
  product[sizeof product - 1] = 0;
  if (startsWith(product, "Cakewalk") || startsWith(product, "SONAR"))
    m_ignoreArrangement = true;
  if (m_ignoreArrangement) {
    logLine(LogLevel::Info, this, "Don't believe the speaker arrangement hype!");
    return true;
  }
  if (!pluginInput || !pluginOutput || pluginOutput->type == kSpeakerArrMono ||
      pluginOutput->type == kSpeakerArr51)
    return false;
  logLine(LogLevel::Info, this, "setSpeakerArrangement called");
  logLine(LogLevel::Info, this, "pluginInput->type : %d", pluginInput->type);
  logLine(LogLevel::Info, this, "pluginInput->numChannels : %d", pluginInput->numChannels);
  logLine(LogLevel::Info, this, "pluginOutput->type : %d", pluginOutput->type);
  logLine(LogLevel::Info, this, "pluginOutput->numChannels : %d", pluginOutput->numChannels);

  bool accepted = false;
  if (pluginInput->numChannels >= 0 &&
      pluginInput->numChannels <= static_cast<std::int32_t>(conf.multiNumInputs)) {
    if (matchArrangement(&m_inputArrangement, pluginInput))
      m_numInputs = m_inputArrangement->numChannels;
    accepted = true;
  }
  // Never more outputs than the record declares: the host has no more buffers than that.
  const std::int32_t outputs = pluginOutput->numChannels;
  if (outputs < 0 || outputs > static_cast<std::int32_t>(conf.multiNumOutputs) ||
      outputs > cEffect.numOutputs)
    return false;
  if (matchArrangement(&m_outputArrangement, pluginOutput))
    m_numOutputs = m_outputArrangement->numChannels;
  return accepted;
}

bool SamplerVST::getSpeakerArrangement(VstSpeakerArrangement** pluginInput,
                                       VstSpeakerArrangement** pluginOutput) {
  if (!multiOutputBuild()) return AudioEffectX::getSpeakerArrangement(pluginInput, pluginOutput);
  logLine(LogLevel::Info, this, "getSpeakerArrangement called");
  if (!m_inputArrangement && !m_outputArrangement) return false;
  if (pluginInput) *pluginInput = m_inputArrangement;
  if (pluginOutput) *pluginOutput = m_outputArrangement;
  return true;
}

// ---- The engine's call-backs ----

std::int32_t SamplerVST::message(std::int32_t kind, const char* title, const char* content) {
  static const char* const kKinds[] = {"Kelo INFO: Title:", "Kelo WARNING: Title:",
                                       "Kelo ERROR: Title:"};
  if (kind >= 0 && kind <= 2)
    logLine(LogLevel::Info, this, "%s%s Content:%s", kKinds[kind], vantor::engineText(title),
            vantor::engineText(content));
  return 0;
}

std::int32_t SamplerVST::progressOpen(const char* title, std::int32_t elements) {
  logLine(LogLevel::Info, this, "Kelo ProgressDialog: OPEN: Title:%s elements:%d",
          vantor::engineText(title), elements);
  return 0;
}

std::int32_t SamplerVST::progressStep() { return 0; }

std::int32_t SamplerVST::progressClose() {
  logLine(LogLevel::Info, this, "Kelo ProgressDialog: CLOSE!");
  return 0;
}

std::int32_t SamplerVST::slotChanged(std::int32_t slot) {
  const std::int32_t pending = m_pendingEdit.exchange(-1);
  if (pending >= 0) endEdit(pending);
  announceSlot(slot);
  return 0;
}

std::int32_t SamplerVST::parameterChanged(const ParameterInfo* info, std::int32_t kind,
                                          std::int32_t index, float value) {
  if (kind != 0) return 0;
  if (info) info->pack01(value);
  if (m_parameterCache && index >= 0 && index < static_cast<std::int32_t>(conf.numParams))
    m_parameterCache[index].store(value, std::memory_order_relaxed);
  if (!audioMaster) return 0;
  std::int32_t pending = m_pendingEdit.load();
  if (pending != index) {
    // Another parameter's gesture is closed first; its owner may have closed it already.
    if (pending >= 0 && m_pendingEdit.compare_exchange_strong(pending, -1)) endEdit(pending);
    beginEdit(index);
  }
  callHost(audioMasterAutomate, index, 0, nullptr, value);
  if (m_pendingEdit.load() < 0) endEdit(index);
  return 0;
}

std::int32_t SamplerVST::latencyChanged(std::int32_t frames) {
  reportLatency(frames);
  return 0;
}

std::int32_t SamplerVST::editBegin(std::int32_t index) {
  const std::int32_t pending = m_pendingEdit.exchange(index);
  if (pending == index) return 0;
  if (pending >= 0) endEdit(pending);
  beginEdit(index);
  return 0;
}

std::int32_t SamplerVST::editEnd(std::int32_t index) {
  std::int32_t pending = index;
  if (m_pendingEdit.compare_exchange_strong(pending, -1)) endEdit(index);
  return 0;
}

std::int32_t SamplerVST::unknown(std::int32_t op) {
  logLine(LogLevel::Info, this, "ZMO_HostOpcode unknown id:%d", op);
  return kKeloHostUnknownOpcode;
}

void SamplerVST::announceSlot(std::int32_t slot) {
  logLine(LogLevel::Info, this, "Kelo Slot:%d was changed, need to update display completely",
          slot);
  for (std::int32_t index = 0; index < static_cast<std::int32_t>(conf.numParams) && audioMaster;
       ++index) {
    bool valid = false;
    const float value = parameterValue(index, valid);
    if (valid) {
      if (m_gesture) beginEdit(index);
      callHost(audioMasterAutomate, index, 0, nullptr, value);
      if (m_gesture) endEdit(index);
    }
    if (m_parameterCache) m_parameterCache[index].store(value, std::memory_order_relaxed);
  }
  updateDisplay();
}

float SamplerVST::parameterValue(std::int32_t index, bool& valid) {
  valid = false;
  if (!hasEngine()) return 0.0f;
  float value = 0.0f;
  logged(m_engine.parameter(index, value));
  const ParameterInfo* info = nullptr;
  logged(m_engine.describe(index, info));
  if (info) {
    info->pack01(value);
    valid = true;
  }
  return value;
}
