// KeloRack as a hostile host drives it, over the reference engine: dispatcher opcodes with any
// index, value and option (texts, chunks, speaker arrangements, event lists of any length with
// any event sizes, types and offsets), parameters at any index and value, sample rates, block
// sizes, process levels and transports, and blocks of any length. Nothing may crash or trip a
// sanitizer, and the engine may find no broken host obligation that the plug-in, not the
// host, answers for.
//
// Input: the host's sample rate answer (int32), then repeated [kind byte, arguments]:
//   0 dispatch: opcode byte, index int32, value int32, option float, then what the opcode's
//     pointer needs (a text, a chunk: length byte and bytes, an event list, arrangements)
//   1 block: frames uint16, process level byte, transport flag byte (then a VstTimeInfo)
//   2 parameter: index int32, value float, then reads it back
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "fuzz/PluginHostFuzz.h"
#include "platform/vst2/VstInterface.h"
#include "plugins/vst/SamplerVST.h"

namespace {

struct Host {
  std::intptr_t sampleRate = 48000;
  std::intptr_t processLevel = kVstProcessLevelRealtime;
  bool transport = false;
  VstTimeInfo time{};
};
Host g_host;

std::intptr_t hostCallback(AEffect*, std::int32_t opcode, std::int32_t, std::intptr_t, void* ptr, float) {
  switch (opcode) {
    case audioMasterVersion:
      return 2400;
    case audioMasterGetSampleRate:
      return g_host.sampleRate;
    case audioMasterGetBlockSize:
      return 1024;
    case audioMasterGetCurrentProcessLevel:
      return g_host.processLevel;
    case audioMasterGetTime:
      return g_host.transport ? reinterpret_cast<std::intptr_t>(&g_host.time) : 0;
    case audioMasterCanDo:
      return ptr != nullptr && std::strcmp(static_cast<const char*>(ptr), "sendVstTimeInfo") == 0 ? 1 : 0;
    default:
      return 0;
  }
}

KeloEngineTestControlFunction g_control = nullptr;
using kelo::fuzz::Input;
constexpr std::size_t kMaxFrames = 40000;
std::array<std::vector<float>, 32> g_channels;

// An event list laid out as hosts lay it out: the head, then as many pointers as it claims.
class EventList {
 public:
  explicit EventList(Input& in) {
    const std::size_t count = in.value<std::uint16_t>() % 5000;
    m_events.resize(count);
    for (VstMidiEvent& event : m_events) {
      const std::uint8_t shape = in.byte();
      event.type = (shape & 1) ? kVstMidiType : static_cast<std::int32_t>(shape);
      event.byteSize = (shape & 2) ? static_cast<std::int32_t>(sizeof(VstMidiEvent)) : in.value<std::int32_t>();
      event.deltaFrames = (shape & 4) ? in.value<std::int32_t>() : in.byte();
      event.detune = static_cast<char>(in.byte());
      for (char& b : event.midiData) b = static_cast<char>(in.byte());
    }
    m_storage.resize(2 + count + 2);
    auto* head = list();
    head->numEvents = static_cast<std::int32_t>(count);
    for (std::size_t i = 0; i < count; ++i)
      VstEventsAt(*head, i) = (in.byte() & 0x0F) == 0 ? nullptr : reinterpret_cast<VstEvent*>(&m_events[i]);
  }
  VstEvents* list() { return reinterpret_cast<VstEvents*>(m_storage.data()); }

 private:
  std::vector<VstMidiEvent> m_events;
  std::vector<std::intptr_t> m_storage;
};

// A speaker arrangement with room for the channels it claims (up to 64).
std::vector<std::uint8_t> arrangement(Input& in) {
  const std::int32_t type = in.value<std::int32_t>();
  const std::int32_t channels = static_cast<std::int8_t>(in.byte()) % 65;
  const std::size_t room = std::max<std::size_t>(
      sizeof(VstSpeakerArrangement),
      offsetof(VstSpeakerArrangement, speakers) + sizeof(VstSpeakerProperties) * static_cast<std::size_t>(std::max(channels, 0)));
  std::vector<std::uint8_t> bytes(room, 0);
  std::memcpy(bytes.data(), &type, sizeof type);
  std::memcpy(bytes.data() + offsetof(VstSpeakerArrangement, numChannels), &channels, sizeof channels);
  return bytes;
}

void dispatch(AEffect* effect, Input& in) {
  std::int32_t opcode = in.byte() % 80;
  // The editor needs a display and effClose ends the instance: both stay out.
  if ((opcode >= effEditGetRect && opcode <= effEditSleep) || opcode == effEditKeyDown || opcode == effEditKeyUp ||
      opcode == effClose)
    opcode = effGetVendorVersion;
  const std::int32_t index = in.value<std::int32_t>();
  std::intptr_t value = in.value<std::int32_t>();
  const float option = in.value<float>();
  alignas(16) std::array<char, 4096> scratch{};
  void* ptr = scratch.data();
  std::vector<std::uint8_t> chunk, inputArrangement, outputArrangement;
  std::unique_ptr<EventList> events;
  void* chunkOut = nullptr;
  VstSpeakerArrangement* arrangementsOut[2] = {};
  switch (opcode) {
    case effProcessEvents:
      events = std::make_unique<EventList>(in);
      ptr = events->list();
      break;
    case effSetChunk:
      chunk = in.bytes(in.value<std::uint16_t>());
      ptr = chunk.data();
      value = static_cast<std::intptr_t>(chunk.size());
      break;
    case effGetChunk:
      ptr = value == -1 ? nullptr : &chunkOut;  // -1: a host that gives no place
      break;
    case effSetSpeakerArrangement:
      inputArrangement = arrangement(in);
      outputArrangement = arrangement(in);
      value = reinterpret_cast<std::intptr_t>(inputArrangement.data());
      ptr = outputArrangement.data();
      break;
    case effGetSpeakerArrangement:
      value = reinterpret_cast<std::intptr_t>(&arrangementsOut[0]);
      ptr = &arrangementsOut[1];
      break;
    default: {
      // Texts the host passes (canDo, string to parameter, names) and records it fills.
      const std::vector<std::uint8_t> text = in.bytes(in.byte());
      if (!text.empty()) std::memcpy(scratch.data(), text.data(), text.size());
      break;
    }
  }
  effect->dispatcher(effect, opcode, index, value, ptr, option);
}

void block(AEffect* effect, Input& in) {
  const std::size_t frames = in.value<std::uint16_t>() % (kMaxFrames + 1);
  g_host.processLevel = in.byte() % 5;
  g_host.transport = (in.byte() & 1) != 0;
  if (g_host.transport) g_host.time = in.value<VstTimeInfo>();
  float* outputs[32];
  for (std::size_t c = 0; c < g_channels.size(); ++c) outputs[c] = g_channels[c].data();
  effect->processReplacing(effect, nullptr, outputs, static_cast<std::int32_t>(frames));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  g_control = kelo::fuzz::installReferenceEngine();
  for (auto& channel : g_channels) channel.resize(kMaxFrames);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Input in(data, size);
  g_host = Host{};
  g_host.sampleRate = in.value<std::int32_t>();
  g_control(KELO_TEST_RESET, nullptr, nullptr, 0, 0);
  auto* plugin = new SamplerVST(&hostCallback);
  AEffect* effect = plugin->getAeffect();
  effect->dispatcher(effect, effOpen, 0, 0, nullptr, 0.0f);
  for (int step = 0; step < 64 && !in.done(); ++step) {
    switch (in.byte() % 3) {
      case 0:
        dispatch(effect, in);
        break;
      case 1:
        block(effect, in);
        break;
      default: {
        const std::int32_t index = in.value<std::int32_t>();
        effect->setParameter(effect, index, in.value<float>());
        effect->getParameter(effect, index);
        break;
      }
    }
  }
  effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
  kelo::fuzz::checkNoPluginFault(g_control, /*boundsEvents=*/true);
  return 0;
}
