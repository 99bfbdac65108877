// The standalone's command interface: the one function through which the front end (menus,
// dialogs, media bar, `main`) drives the back end, and the device-list records it fills.
//
// Threads: main thread only, never from a render thread. No exception leaves `engineOpcode`.
// Lifetime: the first command creates the command interface and opens the program log
// "<user data>/<productName> Standalone.log"; `PE_ENGINE_INITIALIZE` builds the back end;
// `PE_ENGINE_SHUTDOWN` tears it down and closes the log; a later command starts over.
//
// A program that links the back end also links the program form of the logger
// (vnl_logger_program) and its product configuration (vnl_conf).
#pragma once

#include <cstddef>
#include <cstdint>

enum PE_ENGINE_OPCODE : std::int32_t {
  PE_ENGINE_VERSION = 260,
  PE_ENGINE_INITIALIZE = 261,
  PE_ENGINE_SHUTDOWN = 262,
  PE_ENGINE_IDLE = 263,
  PE_ENGINE_OFFLINE_SET = 264,
  PE_ENGINE_AUDIODEVICE_LIST = 280,
  PE_ENGINE_AUDIODEVICE_SET = 281,
  PE_ENGINE_AUDIODEVICE_GET = 282,
  PE_ENGINE_AUDIODEVICE_SHOWPANEL = 283,
  PE_ENGINE_AUDIODEVICE_SAMPLERATE_LIST = 284,
  PE_ENGINE_AUDIODEVICE_BUFFERSIZE_LIST = 285,
  PE_ENGINE_AUDIODEVICE_SETTINGS = 286,
  PE_ENGINE_AUDIODEVICE_SETTINGS_GET = 287,
  PE_ENGINE_AUDIODEVICE_OUTPUTSTEREOPAIR_SET = 288,
  PE_ENGINE_AUDIODEVICE_LATENCY_GET = 289,
  PE_ENGINE_AUDIODEVICE_OUTPUTSTEREOPAIR_GET = 290,
  PE_ENGINE_AUDIO_START = 300,
  PE_ENGINE_AUDIO_STOP = 301,
  PE_ENGINE_AUDIO_ISPLAYING = 302,
  PE_ENGINE_MIDI_PLAY = 303,
  PE_ENGINE_MIDI_STOP = 304,
  PE_ENGINE_MIDI_SEEK = 305,
  PE_ENGINE_MIDI_POSITION_GET = 306,
  PE_ENGINE_MIDI_LOAD = 307,
  PE_ENGINE_INSTRUMENT_ADD = 330,
  PE_ENGINE_INSTRUMENT_REMOVE = 331,
  PE_ENGINE_INSTRUMENT_GUI_SHOW = 332,
  PE_ENGINE_INSTRUMENT_GUI_CLOSE = 333,
  PE_ENGINE_INSTRUMENT_CHUNK_SAVE = 335,
  PE_ENGINE_INSTRUMENT_CHUNK_SAVE_END = 336,
  PE_ENGINE_INSTRUMENT_CHUNK_LOAD = 337,
  PE_ENGINE_MIDIDEVICE_LIST = 510,
  PE_ENGINE_MIDIDEVICE_GET = 511,
  PE_ENGINE_MIDIDEVICE_ENABLE = 512,
  PE_ENGINE_MIDIDEVICE_GETUSED = 513,
  PE_ENGINE_RECORDING_FILE_SET = 530,
  PE_ENGINE_RECORDING_START = 531,
  PE_ENGINE_RECORDING_STOP = 532,
  PE_ENGINE_RECORDING_ISRECORDING = 533,
  PE_ENGINE_APP_ARGUMENTS_SET = 560,
  PE_ENGINE_APP_ARGUMENTS_GET = 561,
};

/// Results of `engineOpcode`.
enum PE_ENGINE_RESULT : std::int32_t {
  PE_ENGINE_OK = 0,
  PE_ENGINE_FAILED = 1,            ///< missing argument, refusal or failure
  PE_ENGINE_NOT_HANDLED = 3,       ///< also every command value not listed above
  PE_ENGINE_AUDIO_REFUSED = 7,     ///< audio start or stop refused
  PE_ENGINE_MIDI_UNAVAILABLE = 9,  ///< the MIDI device cannot be opened
  PE_ENGINE_NO_AUDIO_FILES = 11,   ///< recording unavailable: libsndfile is not bound
};

/// One audio device of `PE_ENGINE_AUDIODEVICE_LIST`. The three bytes after `isASIO` are
/// never written.
struct PEAudioDeviceRecord {
  std::int32_t id;           ///< the PortAudio device index
  std::int32_t hostApiCode;  ///< 1 DirectSound, 2 ASIO, 10 the platform's own, 3 WASAPI, 0 other
  char name[128];            ///< at most 127 characters, NUL-terminated
  std::uint8_t isASIO;       ///< 1 when hostApiCode is 2
  std::uint8_t unwritten[3];
  std::int32_t defaultSampleRate;  ///< truncated
  std::int32_t outputChannels;
};
static_assert(sizeof(PEAudioDeviceRecord) == 148);
static_assert(offsetof(PEAudioDeviceRecord, hostApiCode) == 4);
static_assert(offsetof(PEAudioDeviceRecord, name) == 8);
static_assert(offsetof(PEAudioDeviceRecord, isASIO) == 136);
static_assert(offsetof(PEAudioDeviceRecord, defaultSampleRate) == 140);
static_assert(offsetof(PEAudioDeviceRecord, outputChannels) == 144);

/// One MIDI device of `PE_ENGINE_MIDIDEVICE_LIST`.
struct PEMIDIDeviceRecord {
  std::int32_t id;  ///< the CoreMIDI layer's device id
  char name[256];   ///< the display name ("(in)" or "(out)" at its end), at most 255 characters
};
static_assert(sizeof(PEMIDIDeviceRecord) == 260);
static_assert(offsetof(PEMIDIDeviceRecord, name) == 4);

/// Runs `command`; arguments a command does not use are null or 0. The arguments and results
/// of each command are listed in standalone/host/EngineManager.h.
extern "C" std::int32_t engineOpcode(PE_ENGINE_OPCODE command, void* p1, void* p2, int i1,
                                     int i2, int i3, float f) noexcept;
