#include "tests/engine/EngineFixture.h"

#include <dlfcn.h>

#include <algorithm>
#include <cstring>

#include "tests/support/realtime/RealtimeGuard.h"

namespace kelo::test {

EngineLibrary::EngineLibrary() {
  m_library = dlopen(KELO_ENGINE_SO, RTLD_NOW | RTLD_LOCAL);
  if (m_library == nullptr) return;
  opcode = reinterpret_cast<KeloOpcodeFunction>(dlsym(m_library, "keloOpcode"));
  control = reinterpret_cast<KeloEngineTestControlFunction>(
      dlsym(m_library, "keloEngineTestControl"));
}

EngineLibrary::~EngineLibrary() {
  if (m_library != nullptr) dlclose(m_library);
}

EngineLibrary& engineLibrary() {
  static EngineLibrary library;
  return library;
}

vantor::MIDIEvent midiEvent(std::uint8_t status, std::uint8_t data1, std::uint8_t data2,
                            std::int32_t frame, float detune) {
  vantor::MIDIEvent event{};
  event.bytes[0] = status;
  event.bytes[1] = data1;
  event.bytes[2] = data2;
  event.frameOffset = frame;
  event.detune = detune;
  return event;
}

void EngineFixture::SetUp() {
  ASSERT_NE(m_engine.opcode, nullptr) << dlerror();
  ASSERT_NE(m_engine.control, nullptr);
  control(KELO_TEST_RESET);
  ASSERT_TRUE(writeFile(m_data.file("KeloSetup.xml"), "<KeloSetup version=\"1\"/>\n"));
  m_dataPath = m_data.path();
}

void EngineFixture::TearDown() { control(KELO_TEST_RESET); }

void* EngineFixture::createStarted(int outputs, const std::vector<std::uint8_t>* chunk,
                                   int inputs) {
  EngineCreateInfo info{inputs, outputs, kKeloHostConstantStandalone, m_dataPath.c_str()};
  void* instance = nullptr;
  const void* bytes = chunk != nullptr ? chunk->data() : nullptr;
  const int length = chunk != nullptr ? static_cast<int>(chunk->size()) : 0;
  if (call(nullptr, KELO_OP_INSTANCE_CREATE, &info, &instance, const_cast<void*>(bytes), length) !=
          0 ||
      instance == nullptr) {
    return nullptr;
  }
  EXPECT_EQ(call(instance, KELO_OP_DSP_SET, nullptr, nullptr, nullptr, kRate, 0.0f, kMaxFrames),
            0);
  EXPECT_EQ(call(instance, KELO_OP_START), 0);
  return instance;
}

void EngineFixture::destroy(void* instance) {
  EXPECT_EQ(call(instance, KELO_OP_STOP), 0);
  EXPECT_EQ(call(instance, KELO_OP_INSTANCE_DESTROY), 0);
}

void EngineFixture::writeSetup(const std::vector<SetupEntry>& plugins) {
  std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<KeloSetup version=\"1\">\n";
  for (const SetupEntry& plugin : plugins) {
    text += "  <Plugin bundle=\"" + plugin.bundle + "\" identifier=\"" + plugin.identifier + "\"";
    if (!plugin.init.empty()) text += " init=\"" + plugin.init + "\"";
    if (!plugin.extra.empty()) text += " extra=\"" + plugin.extra + "\"";
    if (!plugin.customData.empty()) text += " customData=\"" + plugin.customData + "\"";
    text += "/>\n";
  }
  ASSERT_TRUE(writeFile(m_data.file("KeloSetup.xml"), text + "</KeloSetup>\n"));
}

void EngineFixture::prepareOutputs(int outputs, int frames) {
  m_outputs.assign(static_cast<size_t>(outputs), std::vector<float>(static_cast<size_t>(frames), 999.0f));
  m_outputPointers.clear();
  for (auto& channel : m_outputs) m_outputPointers.push_back(channel.data());
}

void EngineFixture::setEvents(std::initializer_list<vantor::MIDIEvent> events) {
  m_block.numEvents = 0;
  for (const auto& event : events) m_block.events[m_block.numEvents++] = event;
}

std::vector<std::vector<std::vector<float>>> EngineFixture::renderBlocks(const EngineBlocks& blocks,
                                                                       int frames, int outputs,
                                                                       float inputLevel) {
  const bool withInputs = inputLevel != 0.0f;
  void* instance = createStarted(outputs, nullptr, withInputs ? outputs : 0);
  EXPECT_NE(instance, nullptr);
  std::vector<std::vector<std::vector<float>>> audio;
  if (instance == nullptr) return audio;
  std::vector<std::vector<float>> inputs(static_cast<std::size_t>(outputs),
                                         std::vector<float>(static_cast<std::size_t>(frames)));
  std::vector<float*> inputPointers;
  for (auto& channel : inputs) inputPointers.push_back(channel.data());
  for (const auto& block : blocks) {
    prepareOutputs(outputs, frames);
    m_block.numEvents = 0;
    for (const auto& event : block) m_block.events[m_block.numEvents++] = event;
    if (withInputs) {
      for (auto& channel : inputs) std::fill(channel.begin(), channel.end(), inputLevel);
      EXPECT_EQ(processEx(instance, frames, inputPointers.data()), 0);
    } else {
      EXPECT_EQ(process(instance, frames), 0);
    }
    audio.push_back(m_outputs);
  }
  destroy(instance);
  return audio;
}

std::vector<std::vector<float>> EngineFixture::renderJoined(const EngineBlocks& blocks, int frames,
                                                            int outputs, float inputLevel) {
  std::vector<std::vector<float>> joined(static_cast<std::size_t>(outputs));
  for (const auto& block : renderBlocks(blocks, frames, outputs, inputLevel))
    for (std::size_t c = 0; c < joined.size(); ++c)
      joined[c].insert(joined[c].end(), block[c].begin(), block[c].end());
  return joined;
}

std::int32_t EngineFixture::process(void* instance, int frames) {
  RealtimeRegion region;
  return call(instance, KELO_OP_PROCESS, &m_block, m_outputPointers.data(), nullptr, frames);
}

std::int32_t EngineFixture::processEx(void* instance, int frames, float** inputs) {
  EngineProcessInfo info{1, 0, &m_block, &m_midiOut, inputs, m_outputPointers.data(), &m_sync,
                         frames, 0};
  RealtimeRegion region;
  return call(instance, KELO_OP_PROCESS_EX, &info);
}

std::vector<std::uint8_t> EngineFixture::chunk(void* instance) {
  const std::uint8_t* bytes = nullptr;
  std::int32_t length = 0;
  EXPECT_EQ(call(instance, KELO_OP_CHUNK_GET, &bytes, &length), 0);
  if (bytes == nullptr || length <= 0) return {};
  return std::vector<std::uint8_t>(bytes, bytes + length);
}

std::vector<KeloFinding> EngineFixture::findings() {
  const auto count = control(KELO_TEST_READ_FINDINGS);
  std::vector<KeloFinding> out(static_cast<size_t>(count));
  control(KELO_TEST_READ_FINDINGS, nullptr, out.data(), count);
  return out;
}

std::vector<KeloTraceEntry> EngineFixture::trace() {
  const auto count = control(KELO_TEST_READ_TRACE);
  std::vector<KeloTraceEntry> out(static_cast<size_t>(count));
  control(KELO_TEST_READ_TRACE, nullptr, out.data(), count);
  return out;
}

}  // namespace kelo::test
