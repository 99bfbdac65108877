#include "engine/EngineInstance.h"

#include <pthread.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "VNL/source/LogLine.h"
#include "engine/EngineTrace.h"

namespace kelo::engine {
namespace {

constexpr const char* kSetupFileName = "KeloSetup.xml";

bool isRegularFile(const std::string& path) {
  struct stat status{};
  return ::stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode);
}

// The standalone and the Audio Unit pass the data folder, the VST plug-in the setup file in
// it: both name the same folder.
std::string dataFolderOf(const char* path) {
  std::string folder = path != nullptr ? path : "";
  if (isRegularFile(folder)) {
    const std::size_t slash = folder.find_last_of('/');
    folder = slash == std::string::npos ? std::string(".") : folder.substr(0, slash);
  }
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  return folder;
}

bool channelCountValid(std::int64_t count) { return count >= 0 && count <= kMaxChannels; }

}  // namespace

std::unique_ptr<EngineInstance> EngineInstance::create(const EngineCreateInfo& info) {
  if (!channelCountValid(info.numInputs) || !channelCountValid(info.numOutputs)) {
    PLOGE("KeloEngine: cannot create an instance with %lld inputs and %lld outputs",
          static_cast<long long>(info.numInputs), static_cast<long long>(info.numOutputs));
    return nullptr;
  }
  std::string folder = dataFolderOf(info.dataPath);
  if (folder.empty() || !isRegularFile(folder + "/" + kSetupFileName)) {
    PLOGE("KeloEngine: no %s in the data folder \"%s\"", kSetupFileName, folder.c_str());
    return nullptr;
  }
  return std::unique_ptr<EngineInstance>(new EngineInstance(info, std::move(folder)));
}

EngineInstance::EngineInstance(const EngineCreateInfo& info, std::string dataFolder)
    : m_dataFolder(std::move(dataFolder)),
      m_mainThread(pthread_self()),
      m_synth(m_parameters),
      m_chain(std::make_unique<EngineChain>()),
      m_numInputs(static_cast<int>(info.numInputs)),
      m_numOutputs(static_cast<int>(info.numOutputs)) {
  m_chunk.reserve(64);
}

bool EngineInstance::onMainThread() const { return pthread_equal(m_mainThread, pthread_self()); }

void EngineInstance::setFormat(double sampleRate, int maxFrames) {
  if (sampleRate > 0.0) m_sampleRate.store(sampleRate);
  m_maxFrames.store(std::max(0, maxFrames));
  m_formatSet.store(true);
  m_chain->prepare(m_sampleRate.load(), m_maxFrames.load(), m_numInputs.load(),
                   m_numOutputs.load());
}

bool EngineInstance::setFormat(const EngineDSPInfo& info) {
  if (!channelCountValid(info.numInputs) || !channelCountValid(info.numOutputs)) return false;
  m_numInputs.store(static_cast<int>(info.numInputs));
  m_numOutputs.store(static_cast<int>(info.numOutputs));
  const std::int64_t frames = std::clamp<std::int64_t>(info.blockSize, 0, 1 << 24);
  setFormat(static_cast<double>(info.sampleRate), static_cast<int>(frames));
  return true;
}

void EngineInstance::setChain(std::unique_ptr<EngineChain> chain) {
  m_chain = chain ? std::move(chain) : std::make_unique<EngineChain>();
  if (m_formatSet.load()) {
    m_chain->prepare(m_sampleRate.load(), m_maxFrames.load(), m_numInputs.load(),
                     m_numOutputs.load());
  }
}

void EngineInstance::start(bool offline, EngineStartInfo* startInfo, std::int32_t latency) {
  m_offline.store(offline);
  if (startInfo != nullptr) startInfo->latency = latency;
  m_started.store(true);
}

void EngineInstance::stop() { m_started.store(false); }

void EngineInstance::checkEvents(std::int32_t opcode, const MIDIEventBlock& block,
                                 int frames) const {
  if (block.numEvents > kMIDIEventBlockCapacity) {
    noteFinding(KELO_FINDING_TOO_MANY_EVENTS, opcode, static_cast<std::int64_t>(block.numEvents));
  }
  const std::size_t count = std::min<std::uint64_t>(block.numEvents, kMIDIEventBlockCapacity);
  for (std::size_t i = 0; i < count; ++i) {
    const std::int32_t offset = block.events[i].frameOffset;
    if (offset < 0 || offset >= std::max(frames, 1)) {
      noteFinding(KELO_FINDING_EVENT_OUTSIDE_BLOCK, opcode, offset);
    }
    if (i > 0 && offset < block.events[i - 1].frameOffset) {
      noteFinding(KELO_FINDING_EVENTS_UNSORTED, opcode, static_cast<std::int64_t>(i));
    }
  }
}

std::int32_t EngineInstance::process(std::int32_t opcode, const MIDIEventBlock* midiIn,
                                     float* const* outputs, const vantor::SyncInfo* sync,
                                     int frames, float* const* inputs, MIDIEventBlock* midiOut) {
  if (m_processing.fetch_add(1, std::memory_order_acq_rel) != 0) {
    noteFinding(KELO_FINDING_CONCURRENT_PROCESS, opcode, 0);
  }
  struct Leave {
    std::atomic<int>& counter;
    ~Leave() { counter.fetch_sub(1, std::memory_order_acq_rel); }
  } leave{m_processing};

  const int numOutputs = m_numOutputs.load(std::memory_order_relaxed);
  if (outputs == nullptr || frames < 0) {
    noteFinding(KELO_FINDING_MISSING_ARGUMENT, opcode, outputs == nullptr ? 2 : 0);
    return 1;
  }
  for (int channel = 0; channel < numOutputs; ++channel) {
    if (outputs[channel] != nullptr) std::fill_n(outputs[channel], frames, 0.0f);
  }
  const int maxFrames = m_maxFrames.load(std::memory_order_relaxed);
  if (!m_formatSet.load(std::memory_order_acquire)) {
    noteFinding(KELO_FINDING_NO_FORMAT, opcode, 0);
    return 1;
  }
  if (!m_started.load(std::memory_order_acquire)) {
    noteFinding(KELO_FINDING_NOT_STARTED, opcode, 0);
    return 1;
  }
  if (frames > maxFrames) noteFinding(KELO_FINDING_BLOCK_TOO_LARGE, opcode, frames);
  if (midiIn == nullptr) {
    noteFinding(KELO_FINDING_MISSING_ARGUMENT, opcode, 1);
    return 1;
  }
  checkEvents(opcode, *midiIn, frames);

  m_synth.setSampleRate(m_sampleRate.load(std::memory_order_relaxed));
  const std::size_t received = std::min<std::uint64_t>(midiIn->numEvents, kMIDIEventBlockCapacity);
  std::size_t count = 0;
  const vantor::MIDIEvent* events =
      m_chain->processMIDI(midiIn->events, received, count, frames, sync);

  // Sample-accurate: render up to each event's frame, then apply it.
  int position = 0;
  for (std::size_t i = 0; i < count; ++i) {
    const int at = std::clamp(events[i].frameOffset, position, std::max(frames - 1, position));
    m_synth.render(outputs, numOutputs, position, at - position);
    position = at;
    m_synth.handleEvent(events[i]);
  }
  m_synth.render(outputs, numOutputs, position, frames - position);

  if (inputs != nullptr) {
    const int shared = std::min(m_numInputs.load(std::memory_order_relaxed), numOutputs);
    for (int channel = 0; channel < shared; ++channel) {
      if (inputs[channel] == nullptr || outputs[channel] == nullptr) continue;
      for (int i = 0; i < frames; ++i) outputs[channel][i] += inputs[channel][i];
    }
  }
  m_chain->processAudio(outputs, numOutputs, frames, sync);

  if (opcode == KELO_OP_PROCESS_EX && midiOut != nullptr) {
    // MIDI thru of the channel-voice events the voices played, after what the host has not
    // yet taken.
    std::uint64_t out = std::min<std::uint64_t>(midiOut->numEvents, kMIDIEventBlockCapacity);
    for (std::size_t i = 0; i < count && out < kMIDIEventBlockCapacity; ++i) {
      const int status = events[i].bytes[0];
      if (status >= 0x80 && status < 0xF0) midiOut->events[out++] = events[i];
    }
    midiOut->numEvents = out;
  }
  return 0;
}

void EngineInstance::chunk(const std::uint8_t*& bytes, std::int32_t& length) {
  m_chunk.clear();
  m_parameters.save(m_chunk);
  bytes = m_chunk.data();
  length = static_cast<std::int32_t>(m_chunk.size());
}

bool EngineInstance::setChunk(const std::uint8_t* bytes, std::size_t length) {
  return m_parameters.restore(bytes, length);
}

void EngineInstance::setHostCallback(KeloHostCallback callback, void* user,
                                     std::int32_t capabilities) {
  m_callbackUser.store(user);
  m_callback.store(callback);
  m_capabilities = capabilities;
}

bool EngineInstance::clearHostCallback(KeloHostCallback callback, void* user) {
  if (m_callback.load() != callback || m_callbackUser.load() != user) return false;
  m_callback.store(nullptr);
  m_callbackUser.store(nullptr);
  return true;
}

bool EngineInstance::hasHostCallback() const { return m_callback.load() != nullptr; }

bool EngineInstance::callHost(std::int32_t op, void* p1, void* p2, std::int32_t i1,
                              std::int32_t i2, std::int32_t i3, float f, std::int32_t& answer) {
  const KeloHostCallback callback = m_callback.load();
  if (callback == nullptr) return false;
  answer = callback(op, p1, p2, i1, i2, i3, f, m_callbackUser.load());
  return true;
}

}  // namespace kelo::engine
