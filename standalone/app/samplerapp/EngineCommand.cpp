#include "standalone/app/samplerapp/EngineCommand.h"

#include "standalone/host/EngineOpcode.h"

namespace vantor::samplerapp {
namespace {

std::int32_t realEngine(std::int32_t command, void* p1, void* p2, std::int32_t i1,
                        std::int32_t i2, std::int32_t i3, float f) {
  return engineOpcode(static_cast<PE_ENGINE_OPCODE>(command), p1, p2, i1, i2, i3, f);
}

EngineCommandFunction g_commands = &realEngine;

}  // namespace

std::int32_t engineCommand(std::int32_t command, void* p1, void* p2, std::int32_t i1,
                           std::int32_t i2, std::int32_t i3, float f) {
  return g_commands(command, p1, p2, i1, i2, i3, f);
}

EngineCommandFunction setEngineCommand(EngineCommandFunction commands) {
  const EngineCommandFunction previous = g_commands;
  g_commands = commands != nullptr ? commands : &realEngine;
  return previous;
}

std::string shownFileName(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  const std::size_t dot = name.rfind('.');
  if (dot != std::string::npos) name.erase(dot);
  return name;
}

}  // namespace vantor::samplerapp
