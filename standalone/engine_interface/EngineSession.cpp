#include "standalone/engine_interface/EngineSession.h"

namespace vantor {

std::int32_t EngineSession::call(void* handle, std::int32_t opcode, void* p1, void* p2, void* p3, std::int32_t i1,
                                 float f, std::int32_t i2, std::int32_t i3) {
  return m_entry != nullptr ? m_entry(handle, opcode, p1, p2, p3, i1, f, i2, i3) : kEngineSessionUnbound;
}

std::int32_t EngineSession::versionText(char* text) const {
  return m_entry != nullptr ? m_entry(nullptr, KELO_OP_VERSION_GET, text, nullptr, nullptr, 0, 0.0f, 0, 0)
                            : kEngineSessionUnbound;
}

std::int32_t EngineSession::create(EngineCreateInfo& info, void* chunk, std::int32_t chunkSize) {
  return call(nullptr, KELO_OP_INSTANCE_CREATE, &info, &m_instance, chunk, chunk != nullptr ? chunkSize : 0);
}

std::int32_t EngineSession::destroy() {
  const std::int32_t result = call(m_instance, KELO_OP_INSTANCE_DESTROY);
  m_instance = nullptr;
  return result;
}

std::int32_t EngineSession::setFormat(std::int32_t sampleRate, std::int32_t maxFrames) {
  return call(m_instance, KELO_OP_DSP_SET, nullptr, nullptr, nullptr, sampleRate, 0.0f, maxFrames, 0);
}

std::int32_t EngineSession::setFormat(EngineDSPInfo& info) { return call(m_instance, KELO_OP_DSP_SET_EX, &info); }

std::int32_t EngineSession::start(bool offline, EngineStartInfo* info) {
  return call(m_instance, KELO_OP_START, info, nullptr, nullptr, offline ? 1 : 0);
}

std::int32_t EngineSession::stop() { return call(m_instance, KELO_OP_STOP); }

std::int32_t EngineSession::process(MIDIEventBlock& events, MIDIEventBlock* output, float** inputs, float** outputs,
                                    SyncInfo* sync, std::int32_t frames) {
  if (!processesEx()) return call(m_instance, KELO_OP_PROCESS, &events, outputs, sync, frames);
  EngineProcessInfo info{1, 0, &events, output, inputs, outputs, sync, frames, 0};
  return call(m_instance, KELO_OP_PROCESS_EX, &info);
}

std::int32_t EngineSession::chunk(void** bytes, std::int32_t& size) {
  return call(m_instance, KELO_OP_CHUNK_GET, bytes, &size);
}

std::int32_t EngineSession::setChunk(void* bytes, std::int32_t size) {
  return call(m_instance, KELO_OP_CHUNK_SET, bytes, nullptr, nullptr, size);
}

std::int32_t EngineSession::parameter(std::int32_t index, float& value) {
  return call(m_instance, KELO_OP_PARAMETER_GET, &value, nullptr, nullptr, index);
}

std::int32_t EngineSession::setParameter(std::int32_t index, float value) {
  return call(m_instance, KELO_OP_PARAMETER_SET, nullptr, nullptr, nullptr, index, value);
}

std::int32_t EngineSession::describe(std::int32_t index, const ParameterInfo*& info) {
  return call(m_instance, KELO_OP_PARAMETER_INFO_GET, &info, nullptr, nullptr, index);
}

std::int32_t EngineSession::vendorSpecific(void* data, std::int32_t selector, float value) {
  return call(m_instance, KELO_OP_VENDOR_SPECIFIC, data, nullptr, nullptr, selector, value);
}

std::int32_t EngineSession::setHostCallback(KeloHostCallback callback, void* user, std::int32_t capabilities) {
  return call(m_instance, KELO_OP_HOST_CALLBACK_SET, reinterpret_cast<void*>(callback), user, nullptr, capabilities);
}

std::int32_t EngineSession::clearHostCallback(KeloHostCallback callback, void* user) {
  return call(m_instance, KELO_OP_HOST_CALLBACK_CLEAR, reinterpret_cast<void*>(callback), user);
}

std::int32_t EngineSession::attachEditor(void* editor) { return call(m_instance, KELO_OP_EDITOR_ATTACH, editor); }

std::int32_t EngineSession::detachEditor(void* editor) { return call(m_instance, KELO_OP_EDITOR_DETACH, editor); }

std::int32_t EngineEditorSession::call(std::int32_t opcode, void* p1, void* p2, std::int32_t i1, float f,
                                       std::int32_t i2, std::int32_t i3) {
  return m_entry != nullptr ? m_entry(m_editor, opcode, p1, p2, nullptr, i1, f, i2, i3) : kEngineSessionUnbound;
}

std::int32_t EngineEditorSession::create(KeloOpcodeFunction entry, const char* setupPath, void* instance,
                                         bool fromAudioUnit) {
  m_entry = entry;
  m_editor = nullptr;
  if (m_entry == nullptr) return kEngineSessionUnbound;
  return m_entry(nullptr, KELO_OP_EDITOR_CREATE, const_cast<char*>(setupPath), &m_editor, instance, 0, 0.0f,
                 fromAudioUnit ? 1 : 0, 0);
}

std::int32_t EngineEditorSession::open(void* parent) { return call(KELO_OP_EDITOR_OPEN, parent); }

std::int32_t EngineEditorSession::open(void* parent, float scale, std::int32_t flags) {
  return call(KELO_OP_EDITOR_OPEN, parent, nullptr, 1, scale, 0, flags);
}

std::int32_t EngineEditorSession::size(std::int32_t& height, std::int32_t& width) {
  return call(KELO_OP_EDITOR_SIZE_GET, &height, &width);
}

std::int32_t EngineEditorSession::view(void*& view) { return call(KELO_OP_EDITOR_VIEW_GET, &view); }

std::int32_t EngineEditorSession::idle() { return call(KELO_OP_EDITOR_IDLE); }

std::int32_t EngineEditorSession::draw(std::int32_t top, std::int32_t left, std::int32_t bottom, float right) {
  return call(KELO_OP_EDITOR_DRAW, nullptr, nullptr, top, right, left, bottom);
}

std::int32_t EngineEditorSession::destroy() {
  const std::int32_t result = call(KELO_OP_EDITOR_DESTROY);
  m_editor = nullptr;
  return result;
}

}  // namespace vantor
