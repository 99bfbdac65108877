// KeloUnit's vendor properties (global scope, element 0), through which the editor view gets
// what it needs from the unit without seeing it.
#pragma once

#include "platform/audiounit/AudioUnitTypes.h"

namespace kelo::au {

inline constexpr AudioUnitPropertyID kEntryPointProperty = 64000;  // KeloOpcodeFunction, 8 bytes
inline constexpr AudioUnitPropertyID kSetupPathProperty = 64001;   // C string, 1024 bytes
inline constexpr AudioUnitPropertyID kInstanceProperty = 64002;    // the engine instance, 8 bytes
/// Announced by the unit before it destroys the engine instance; otherwise the engine's.
inline constexpr AudioUnitPropertyID kInstanceGoingProperty = 64003;
inline constexpr AudioUnitPropertyID kHostNameProperty = 64004;    // C string, 256 bytes

}  // namespace kelo::au
