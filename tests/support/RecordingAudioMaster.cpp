#include "tests/support/RecordingAudioMaster.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace kelo::test {

namespace {

std::atomic<RecordingAudioMaster*> g_installed{nullptr};

bool passesText(std::int32_t opcode) { return opcode == audioMasterCanDo; }

}  // namespace

RecordingAudioMaster::RecordingAudioMaster()
    : m_calls(std::make_unique<std::array<HostCall, kCapacity>>()) {
  setVersion(kVstVersion);
  setSampleRate(44100);
  setBlockSize(1024);
  RecordingAudioMaster* expected = nullptr;
  if (!g_installed.compare_exchange_strong(expected, this)) {
    std::fprintf(stderr, "RecordingAudioMaster: another recorder is installed\n");
    std::abort();
  }
}

RecordingAudioMaster::~RecordingAudioMaster() { g_installed.store(nullptr); }

void RecordingAudioMaster::setAnswer(std::int32_t opcode, std::intptr_t answer) {
  if (opcode >= 0 && static_cast<std::size_t>(opcode) < m_answers.size())
    m_answers[static_cast<std::size_t>(opcode)] = answer;
}

std::intptr_t RecordingAudioMaster::answer(std::int32_t opcode, void* ptr) const {
  switch (opcode) {
    case audioMasterGetVendorString:
    case audioMasterGetProductString: {
      const std::optional<std::string>& text =
          opcode == audioMasterGetVendorString ? m_vendor : m_product;
      if (!text || !ptr) break;
      std::snprintf(static_cast<char*>(ptr), kVstMaxVendorStrLen, "%s", text->c_str());
      return 1;
    }
    case audioMasterCanDo: {
      if (!ptr) break;
      const auto found = m_canDo.find(std::string_view(static_cast<const char*>(ptr)));
      if (found != m_canDo.end()) return found->second;
      break;
    }
    case audioMasterGetTime:
      if (m_hasTimeInfo) return reinterpret_cast<std::intptr_t>(&m_timeInfo);
      break;
    default:
      break;
  }
  if (opcode >= 0 && static_cast<std::size_t>(opcode) < m_answers.size() &&
      m_answers[static_cast<std::size_t>(opcode)])
    return *m_answers[static_cast<std::size_t>(opcode)];
  return 0;
}

std::intptr_t RecordingAudioMaster::callback(AEffect* effect, std::int32_t opcode,
                                             std::int32_t index, std::intptr_t value, void* ptr,
                                             float opt) {
  RecordingAudioMaster* self = g_installed.load();
  if (!self) return 0;
  HostCall call{effect, opcode, index, value, ptr, opt, self->answer(opcode, ptr), {}};
  if (passesText(opcode) && ptr)
    std::snprintf(call.text, sizeof call.text, "%s", static_cast<const char*>(ptr));
  const std::size_t slot = self->m_next.fetch_add(1);
  if (slot < kCapacity) (*self->m_calls)[slot] = call;
  if (self->m_observer) self->m_observer(call);
  return call.answer;
}

std::vector<HostCall> RecordingAudioMaster::calls() const {
  const std::size_t n = std::min(m_next.load(), kCapacity);
  return std::vector<HostCall>(m_calls->begin(), m_calls->begin() + static_cast<long>(n));
}

std::vector<HostCall> RecordingAudioMaster::calls(std::int32_t opcode) const {
  std::vector<HostCall> out;
  for (const HostCall& call : calls())
    if (call.opcode == opcode) out.push_back(call);
  return out;
}

std::size_t RecordingAudioMaster::dropped() const {
  const std::size_t n = m_next.load();
  return n > kCapacity ? n - kCapacity : 0;
}

void RecordingAudioMaster::clear() { m_next.store(0); }

}  // namespace kelo::test
