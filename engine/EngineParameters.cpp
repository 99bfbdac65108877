#include "engine/EngineParameters.h"

#include <cmath>
#include <cstring>

namespace kelo::engine {
namespace {

struct Description {
  const char* label;
  int valueType;
  int displayMode;
  float minValue;
  float maxValue;
  float defaultValue;
  const char* list;
  const char* format;
  float factor;
  float offset;
  bool automatable = true;
};

// Every value type and display mode, a hole (no description), a long label, an empty label and
// a parameter hosts may not automate, so that hosts meet each of them.
constexpr Description kDescriptions[kParameterCount] = {
    {"Volume", 0, 5, 0.0f, 1.0f, 0.5f, nullptr, nullptr, 1.0f, 0.0f},
    {"Waveform", 3, 0, 0.0f, 3.0f, 0.0f, "Sine|Triangle|Saw|Square", nullptr, 1.0f, 0.0f},
    {"Attack", 0, 1, 0.0005f, 2.0f, 0.002f, nullptr, "%.3f s", 1.0f, 0.0f},
    {"Release", 0, 11, 0.001f, 5.0f, 0.05f, nullptr, "%.0f ms", 1000.0f, 0.0f},
    {"Polyphony", 1, 0, 1.0f, static_cast<float>(kMaxVoices), 16.0f, nullptr, nullptr, 1.0f, 0.0f},
    {"Pan", 0, 4, 0.0f, 1.0f, 0.5f, nullptr, nullptr, 1.0f, 0.0f},
    {"Mute", 2, 3, 0.0f, 1.0f, 0.0f, nullptr, nullptr, 1.0f, 0.0f},
    {"Tune", 0, 1, -100.0f, 100.0f, 0.0f, nullptr, "%+.0f cents", 1.0f, 0.0f},
    {"Velocity depth", 4, 7, 0.0f, 1.0f, 1.0f, nullptr, nullptr, 1.0f, 0.0f},
    {"Bend", 5, 8, -1.0f, 1.0f, 0.0f, nullptr, nullptr, 1.0f, 0.0f},
    {"Routing", 0, 9, 0.0f, 1.0f, 0.0f, nullptr, "Mix|Spread", 1.0f, 0.0f},
    {"Engine", 0, 12, 0.0f, 1.0f, 0.0f, nullptr, "Kelo reference engine", 1.0f, 0.0f},
    {nullptr, 0, 0, 0.0f, 1.0f, 0.0f, nullptr, nullptr, 1.0f, 0.0f},
    {"Hold", 2, 10, 0.0f, 1.0f, 0.0f, nullptr, nullptr, 1.0f, 0.0f},
    {"Bright", 0, 2, 0.0f, 1.0f, 0.0f, nullptr, nullptr, 1.0f, 0.0f},
    // 60 characters in 61 bytes; the two bytes of its "é" are bytes 50 and 51.
    {"Release velocity sensitivity of the sustained voic\xc3\xa9s, in pct", 0, 1, 0.0f, 1200.0f,
     0.0f, nullptr, "%.0f", 1.0f, 0.0f, false},
    {"", 0, 6, 0.0f, 1.0f, 1.0f, nullptr, nullptr, 1.0f, 0.0f},
};

constexpr std::size_t kHeaderBytes = 12;

void putU32(std::vector<std::uint8_t>& out, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

std::uint32_t getU32(const std::uint8_t* bytes) {
  return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
         static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

}  // namespace

std::uint32_t chunkChecksum(const std::uint8_t* bytes, std::size_t length) {
  std::uint32_t crc = 0xFFFFFFFFu;
  for (std::size_t i = 0; i < length; ++i) {
    crc ^= bytes[i];
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

EngineParameters::EngineParameters() {
  for (int i = 0; i < kParameterCount; ++i) {
    const Description& d = kDescriptions[i];
    ParameterInfo& info = m_info[static_cast<std::size_t>(i)];
    info.valueType = d.valueType;
    info.displayMode = d.displayMode;
    info.flags = d.automatable ? 0x02 : 0x00;
    info.minValue = d.minValue;
    info.maxValue = d.maxValue;
    info.defaultValue = d.defaultValue;
    info.factor = d.factor;
    info.offset = d.offset;
    info.setLabel(d.label);
    info.setList(d.list);
    info.setDisplayFormat(d.format);
    m_values[static_cast<std::size_t>(i)].store(d.defaultValue, std::memory_order_relaxed);
  }
}

const ParameterInfo* EngineParameters::info(int index) const {
  if (!valid(index) || kDescriptions[index].label == nullptr) return nullptr;
  return &m_info[static_cast<std::size_t>(index)];
}

float EngineParameters::get(int index) const {
  if (!valid(index)) return 0.0f;
  return m_values[static_cast<std::size_t>(index)].load(std::memory_order_relaxed);
}

bool EngineParameters::set(int index, float value) {
  if (!valid(index) || !std::isfinite(value)) return false;
  const Description& d = kDescriptions[index];
  if (value < d.minValue) value = d.minValue;
  if (value > d.maxValue) value = d.maxValue;
  m_values[static_cast<std::size_t>(index)].store(value, std::memory_order_relaxed);
  return true;
}

void EngineParameters::save(std::vector<std::uint8_t>& out) const {
  const std::size_t start = out.size();
  out.insert(out.end(), {'K', 'E', 'L', 'O'});
  putU32(out, kChunkVersion);
  putU32(out, kParameterCount);
  for (int i = 0; i < kParameterCount; ++i) {
    std::uint32_t bits;
    const float value = get(i);
    std::memcpy(&bits, &value, sizeof bits);
    putU32(out, bits);
  }
  putU32(out, chunkChecksum(out.data() + start, out.size() - start));
}

bool EngineParameters::restore(const std::uint8_t* bytes, std::size_t length) {
  if (bytes == nullptr || length < kHeaderBytes + 4) return false;
  if (std::memcmp(bytes, "KELO", 4) != 0 || getU32(bytes + 4) != kChunkVersion) return false;
  const std::uint32_t count = getU32(bytes + 8);
  if (count < 1 || count > kParameterCount) return false;
  const std::size_t body = kHeaderBytes + 4 * static_cast<std::size_t>(count);
  if (length != body + 4 || getU32(bytes + body) != chunkChecksum(bytes, body)) return false;
  float values[kParameterCount];
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::uint32_t bits = getU32(bytes + kHeaderBytes + 4 * i);
    std::memcpy(&values[i], &bits, sizeof bits);
    const Description& d = kDescriptions[i];
    if (!std::isfinite(values[i]) || values[i] < d.minValue || values[i] > d.maxValue) {
      return false;
    }
  }
  // Parameters a shorter (older) chunk does not name go back to their defaults, so that a
  // restored state never depends on what was there before.
  for (int i = 0; i < kParameterCount; ++i) {
    const float value = static_cast<std::uint32_t>(i) < count ? values[i] : kDescriptions[i].defaultValue;
    m_values[static_cast<std::size_t>(i)].store(value, std::memory_order_relaxed);
  }
  return true;
}

}  // namespace kelo::engine
