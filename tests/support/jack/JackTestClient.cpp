#include "tests/support/jack/JackTestClient.h"

#include <algorithm>
#include <cstring>
#include <thread>

namespace kelo::test {

JackTestClient::JackTestClient(const std::string& name, int audioInputs, std::size_t recordFrames)
    : m_capacity(recordFrames) {
  jack_status_t status{};
  m_client = jack_client_open(name.c_str(), JackNoStartServer, &status);
  if (m_client == nullptr) return;
  for (int i = 0; i < audioInputs; ++i) {
    m_inputs.push_back(jack_port_register(m_client, ("in_" + std::to_string(i + 1)).c_str(),
                                          JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0));
    m_buffers.push_back(std::make_unique<float[]>(recordFrames));
  }
  jack_set_process_callback(m_client, &JackTestClient::process, this);
  jack_set_xrun_callback(m_client, &JackTestClient::xrun, this);
  if (jack_activate(m_client) != 0) {
    jack_client_close(m_client);
    m_client = nullptr;
  }
}

JackTestClient::~JackTestClient() {
  if (m_client != nullptr) jack_client_close(m_client);
}

std::string JackTestClient::inputName(int index) const {
  return jack_port_name(m_inputs.at(static_cast<std::size_t>(index)));
}

std::vector<std::string> JackTestClient::outputPorts(const std::string& prefix) const {
  std::vector<std::string> names;
  const char** ports = jack_get_ports(m_client, nullptr, nullptr, JackPortIsOutput);
  for (int i = 0; ports != nullptr && ports[i] != nullptr; ++i) {
    if (std::strncmp(ports[i], prefix.c_str(), prefix.size()) == 0) names.push_back(ports[i]);
  }
  jack_free(ports);
  return names;
}

bool JackTestClient::waitCycles(std::uint64_t count) const {
  const std::uint64_t target = cycles() + count;
  for (std::uint64_t spins = 0; cycles() < target; ++spins) {
    if (spins > 400000000ull) return false;
    std::this_thread::yield();
  }
  return true;
}

void JackTestClient::startRecording() {
  m_restart.store(true);
  m_recording.store(true);
}

void JackTestClient::stopRecording() { m_recording.store(false); }

bool JackTestClient::missedWhileRecording(std::size_t from, std::size_t to) const {
  const std::size_t count = m_gapCount.load(std::memory_order_acquire);
  for (std::size_t i = 0; i < std::min(count, kMaxGaps); ++i) {
    if (m_gaps[i] >= from && m_gaps[i] <= to) return true;
  }
  return count > kMaxGaps && to >= m_gaps[kMaxGaps - 1];
}

std::vector<float> JackTestClient::recorded(int index) const {
  const float* buffer = m_buffers.at(static_cast<std::size_t>(index)).get();
  return std::vector<float>(buffer, buffer + m_recordedFrames.load(std::memory_order_acquire));
}

int JackTestClient::process(jack_nframes_t frames, void* self) {
  auto* me = static_cast<JackTestClient*>(self);
  const jack_nframes_t cycleStart = jack_last_frame_time(me->m_client);
  bool missed = false;
  if (me->m_cycles.load(std::memory_order_relaxed) > 0 && frames > 0) {
    const jack_nframes_t since = cycleStart - me->m_lastCycleStart;  // wraps as JACK's clock does
    if (since > frames) {
      me->m_missedCycles.fetch_add(since / frames - 1 + (since % frames != 0));
      missed = true;
    }
  }
  me->m_lastCycleStart = cycleStart;

  if (me->m_recording.load()) {
    const bool restart = me->m_restart.exchange(false);
    if (restart) me->m_gapCount.store(0, std::memory_order_relaxed);
    const std::size_t at = restart ? 0 : me->m_recordedFrames.load();
    if (missed && !restart) me->noteGap(at);
    const std::size_t count = std::min<std::size_t>(frames, me->m_capacity - at);
    for (std::size_t i = 0; i < me->m_inputs.size(); ++i) {
      const auto* in = static_cast<const float*>(jack_port_get_buffer(me->m_inputs[i], frames));
      std::copy(in, in + count, me->m_buffers[i].get() + at);
    }
    if (jack_last_frame_time(me->m_client) != cycleStart) {
      me->m_missedCycles.fetch_add(1);
      me->noteGap(at);
    }
    me->m_recordedFrames.store(at + count, std::memory_order_release);
  } else if (jack_last_frame_time(me->m_client) != cycleStart) {
    me->m_missedCycles.fetch_add(1);
  }
  me->m_cycles.fetch_add(1);
  return 0;
}

void JackTestClient::noteGap(std::size_t at) {
  const std::size_t gap = m_gapCount.load(std::memory_order_relaxed);
  if (gap < kMaxGaps) m_gaps[gap] = at;
  m_gapCount.store(gap + 1, std::memory_order_release);
}

int JackTestClient::xrun(void* self) {
  static_cast<JackTestClient*>(self)->m_xruns.fetch_add(1);
  return 0;
}

}  // namespace kelo::test
