// A back end in memory for the dialogs' tests: it answers the commands the dialogs send from a
// few devices and switches, keeps their effects (audio on or off, device, settings) and records
// every command. Installed with `setEngineCommand` for the life of the object.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "standalone/app/samplerapp/EngineCommand.h"
#include "standalone/host/EngineOpcode.h"

namespace kelo::test {

class ScriptedBackEnd {
 public:
  /// The reason given with a refused recording file (530 answering 1).
  static constexpr const char* kRecordingRefusal = "System error : Permission denied.";

  struct Call {
    std::int32_t command;
    std::int32_t i1 = 0, i2 = 0;
    float f = 0.0f;
    std::string text{};  // the path of 307 and 530
    bool operator==(const Call&) const = default;
  };
  struct AudioDevice {
    std::int32_t id;
    std::int32_t hostApiCode;
    std::string name;
    std::int32_t outputChannels;
    std::vector<std::int32_t> rates, sizes;
  };
  struct MIDIDevice {
    std::int32_t id;
    std::string name;
  };

  ScriptedBackEnd() {
    s_current = this;
    m_previous = vantor::samplerapp::setEngineCommand(&dispatch);
  }
  ~ScriptedBackEnd() {
    vantor::samplerapp::setEngineCommand(m_previous);
    s_current = nullptr;
  }
  ScriptedBackEnd(const ScriptedBackEnd&) = delete;
  ScriptedBackEnd& operator=(const ScriptedBackEnd&) = delete;

  // The back end's state, set by tests and changed by commands.
  bool playing = false;
  std::vector<AudioDevice> audioDevices;
  std::int32_t currentDevice = -1;
  std::int32_t stereoPair = 0;
  std::int32_t rate = 44100, size = 512;
  std::vector<MIDIDevice> midiDevices;
  std::vector<std::int32_t> enabledMIDI;
  /// Positions 306 answers in turn; the last one stays.
  std::vector<double> positions{0.0};
  bool recording = true;
  /// Results forced for a command (else it succeeds as described).
  std::map<std::int32_t, std::int32_t> results;
  /// Called after each command is recorded (tests act from inside the back end).
  std::function<void(const Call&)> onCall;

  std::vector<Call> calls;

  /// The calls of `command` only.
  std::vector<Call> callsOf(std::int32_t command) const {
    std::vector<Call> out;
    for (const Call& c : calls)
      if (c.command == command) out.push_back(c);
    return out;
  }
  /// The command numbers in order, from call `from` on.
  std::vector<std::int32_t> commands(std::size_t from = 0) const {
    std::vector<std::int32_t> out;
    for (std::size_t i = from; i < calls.size(); ++i) out.push_back(calls[i].command);
    return out;
  }

 private:
  static std::int32_t dispatch(std::int32_t command, void* p1, void* p2, std::int32_t i1,
                               std::int32_t i2, std::int32_t i3, float f) {
    return s_current->answer(command, p1, p2, i1, i2, i3, f);
  }

  const AudioDevice* device() const {
    for (const AudioDevice& d : audioDevices)
      if (d.id == currentDevice) return &d;
    return nullptr;
  }

  std::int32_t answer(std::int32_t command, void* p1, void* p2, std::int32_t i1, std::int32_t i2,
                      std::int32_t, float f) {
    Call call{command, i1, i2, f, {}};
    if ((command == PE_ENGINE_MIDI_LOAD || command == PE_ENGINE_RECORDING_FILE_SET) && p1)
      call.text = static_cast<const char*>(p1);
    calls.push_back(call);
    const auto forced = results.find(command);
    const std::int32_t result = forced != results.end() ? forced->second : run(command, p1, p2,
                                                                                i1, i2, f);
    if (command == PE_ENGINE_RECORDING_FILE_SET && result == PE_ENGINE_FAILED && p2 != nullptr)
      *static_cast<std::string*>(p2) = kRecordingRefusal;
    if (onCall) onCall(call);
    return result;
  }

  std::int32_t run(std::int32_t command, void* p1, void* p2, std::int32_t i1, std::int32_t i2,
                   float) {
    switch (command) {
      case PE_ENGINE_AUDIO_ISPLAYING: *static_cast<bool*>(p1) = playing; return 0;
      case PE_ENGINE_AUDIO_START: playing = true; return 0;
      case PE_ENGINE_AUDIO_STOP: playing = false; return 0;
      case PE_ENGINE_AUDIODEVICE_LIST: {
        auto* records = static_cast<PEAudioDeviceRecord*>(p1);
        std::int32_t n = 0;
        for (const AudioDevice& d : audioDevices) {
          if (records != nullptr) {
            if (n >= i1) break;
            PEAudioDeviceRecord& r = records[n];
            r.id = d.id;
            r.hostApiCode = d.hostApiCode;
            std::strncpy(r.name, d.name.c_str(), sizeof r.name - 1);
            r.outputChannels = d.outputChannels;
          }
          ++n;
        }
        *static_cast<std::int32_t*>(p2) = n;
        return 0;
      }
      case PE_ENGINE_AUDIODEVICE_SET: currentDevice = i1; return 0;
      case PE_ENGINE_AUDIODEVICE_GET: *static_cast<std::int32_t*>(p1) = currentDevice; return 0;
      case PE_ENGINE_AUDIODEVICE_SAMPLERATE_LIST:
      case PE_ENGINE_AUDIODEVICE_BUFFERSIZE_LIST: {
        if (device() == nullptr) return 1;
        const auto& values = command == PE_ENGINE_AUDIODEVICE_SAMPLERATE_LIST ? device()->rates
                                                                              : device()->sizes;
        std::int32_t n = static_cast<std::int32_t>(values.size());
        if (p1 != nullptr) {
          n = std::min(n, i1);
          std::copy_n(values.begin(), n, static_cast<std::int32_t*>(p1));
        }
        *static_cast<std::int32_t*>(p2) = n;
        return 0;
      }
      case PE_ENGINE_AUDIODEVICE_SETTINGS: rate = i1; size = i2; return 0;
      case PE_ENGINE_AUDIODEVICE_SETTINGS_GET:
        *static_cast<std::int32_t*>(p1) = rate;
        *static_cast<std::int32_t*>(p2) = size;
        return 0;
      case PE_ENGINE_AUDIODEVICE_OUTPUTSTEREOPAIR_SET: stereoPair = i1; return 0;
      case PE_ENGINE_AUDIODEVICE_OUTPUTSTEREOPAIR_GET:
        if (device() == nullptr) return 1;
        *static_cast<std::int32_t*>(p1) = stereoPair;
        return 0;
      case PE_ENGINE_MIDIDEVICE_LIST: {
        auto* records = static_cast<PEMIDIDeviceRecord*>(p1);
        std::int32_t n = 0;
        for (const MIDIDevice& d : midiDevices) {
          if (records != nullptr) {
            if (n >= i1) break;
            records[n].id = d.id;
            std::strncpy(records[n].name, d.name.c_str(), sizeof records[n].name - 1);
          }
          ++n;
        }
        *static_cast<std::int32_t*>(p2) = n;
        return 0;
      }
      case PE_ENGINE_MIDIDEVICE_GETUSED: {
        auto& out = *static_cast<std::vector<std::int32_t>*>(p1);
        out.insert(out.end(), enabledMIDI.begin(), enabledMIDI.end());
        return 0;
      }
      case PE_ENGINE_MIDI_POSITION_GET: {
        *static_cast<double*>(p1) = positions.front();
        if (positions.size() > 1) positions.erase(positions.begin());
        return 0;
      }
      case PE_ENGINE_RECORDING_ISRECORDING:
        *static_cast<std::int32_t*>(p1) = recording ? 1 : 0;
        return 0;
      default: return 0;
    }
  }

  static inline ScriptedBackEnd* s_current = nullptr;
  vantor::samplerapp::EngineCommandFunction m_previous = nullptr;
};

}  // namespace kelo::test
