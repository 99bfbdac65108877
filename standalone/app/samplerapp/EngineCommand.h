// KeloDeck's one way to its back end: every window, menu, panel and dialog sends its commands
// through `engineCommand`, which is `engineOpcode` unless a test has put a script in its place.
//
// Main thread only, like `engineOpcode`.
#pragma once

#include <cstdint>
#include <string>

namespace vantor::samplerapp {

/// `engineOpcode`'s shape: command, p1, p2, i1, i2, i3, f; answers the command's result.
using EngineCommandFunction = std::int32_t (*)(std::int32_t command, void* p1, void* p2,
                                               std::int32_t i1, std::int32_t i2, std::int32_t i3,
                                               float f);

/// Sends one command to the back end in force.
std::int32_t engineCommand(std::int32_t command, void* p1 = nullptr, void* p2 = nullptr,
                           std::int32_t i1 = 0, std::int32_t i2 = 0, std::int32_t i3 = 0,
                           float f = 0.0f);

/// Puts `commands` in place of the back end (tests); null puts `engineOpcode` back. Answers the
/// one it replaced.
EngineCommandFunction setEngineCommand(EngineCommandFunction commands);

/// The name a label shows for a file: the part after the last "/", then cut at its last "."
/// (kept whole without one), so "/a/b.c/song" shows "song" and "/x/take.2.mid" "take.2".
std::string shownFileName(const std::string& path);

}  // namespace vantor::samplerapp
