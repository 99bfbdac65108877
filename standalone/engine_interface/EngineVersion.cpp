#include "standalone/engine_interface/EngineVersion.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace vantor {

EngineVersion parseEngineVersion(const char* text) {
  EngineVersion version;
  if (text == nullptr) return version;
  std::snprintf(version.text, sizeof version.text, "%s", text);
  version.compatibility1025 = std::strcmp(text, "1025") == 0;
  const char* start = text;
  while (*start == ' ' || (*start >= '\t' && *start <= '\r')) ++start;
  errno = 0;
  char* end = nullptr;
  const long long number = std::strtoll(start, &end, 10);
  const bool parsed = end != start && errno == 0 && number >= INT32_MIN && number <= INT32_MAX;
  if (parsed) version.number = static_cast<std::int32_t>(number);
  return version;
}

EngineVersion fetchEngineVersion(KeloOpcodeFunction entry) {
  char buffer[32] = {};
  if (entry != nullptr) {
    entry(nullptr, KELO_OP_VERSION_GET, buffer, nullptr, nullptr, 0, 0.0f, 0, 0);
  }
  buffer[sizeof buffer - 1] = '\0';  // an engine that fills the buffer does not end the text
  return parseEngineVersion(buffer);
}

}  // namespace vantor
