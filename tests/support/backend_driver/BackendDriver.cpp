// kelo-backend-driver: runs the standalone's back end without windows, through `engineOpcode`
// only, the way the player's front end does. The end-to-end tests and scripts/run use it.
//
//   kelo-backend-driver render <midi file> <audio file> [--format aiff|wav|wavex] [--bits n]
//       Renders the MIDI file offline through the engine into the audio file, with no audio
//       device: 560, 261, 330, 307, 264 (1), 530, 531, 303, 300, 533 until it reads 0, 301,
//       264 (0), 262.
//   kelo-backend-driver live <midi file> <audio file> --device <name part> [--rate r]
//                            [--block n] [--format ...] [--bits n]
//       Plays the MIDI file in real time on the first audio device whose name holds <name
//       part> and records the output: 560, 261, 280, 281, 286, 330, 307, 530, 531, 303, 300,
//       306 until 1.0, 532, 304, 301, 262.
//   --timeout s   how long to wait (default 10): for the recording to end after the file's end
//                 (as the render dialog waits), and at most for a render that stops moving
//
// The engine and its data folder come from the preference store, as for the player. While
// the back end runs the program's standard output is its log; the report is printed after
// shut-down: "wrote <file>", then "leftover threads: <n>", then one line per failure. The
// first command that answers otherwise than expected ends the run (straight to shut-down): a
// MIDI file the back end refuses ("the MIDI file <path> was refused; nothing was rendered")
// leaves no output file. Exit status 0 when every command answered as expected, the end came
// in time and no back-end thread outlived shut-down.
#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "standalone/host/EngineOpcode.h"

namespace {

struct Options {
  std::string mode;
  std::string midiFile;
  std::string audioFile;
  std::string device;
  int format = 1;  // AIFF
  int extensible = 0;
  int bits = 16;
  int rate = 44100;
  int block = 512;
  double timeoutSeconds = 10.0;
};

std::vector<std::string> g_failures;

// True when `command` answered `expected`; else the failure is kept for the report.
bool run(PE_ENGINE_OPCODE command, int expected, void* p1 = nullptr, void* p2 = nullptr,
         int i1 = 0, int i2 = 0, int i3 = 0) {
  const int result = engineOpcode(command, p1, p2, i1, i2, i3, 0.0f);
  if (result != expected) {
    g_failures.push_back("command " + std::to_string(command) + " answered " +
                         std::to_string(result) + ", expected " + std::to_string(expected));
  }
  return result == expected;
}

std::vector<long> threadIds() {
  std::vector<long> ids;
  if (DIR* tasks = opendir("/proc/self/task")) {
    while (const dirent* entry = readdir(tasks)) {
      if (entry->d_name[0] != '.') ids.push_back(std::atol(entry->d_name));
    }
    closedir(tasks);
  }
  std::sort(ids.begin(), ids.end());
  return ids;
}

bool parse(int argc, char** argv, Options& options) {
  if (argc < 4) return false;
  options.mode = argv[1];
  options.midiFile = argv[2];
  options.audioFile = argv[3];
  for (int i = 4; i + 1 < argc; i += 2) {
    const std::string name = argv[i];
    const std::string value = argv[i + 1];
    if (name == "--device") {
      options.device = value;
    } else if (name == "--format") {
      if (value == "aiff") {
        options.format = 1;
      } else if (value == "wav" || value == "wavex") {
        options.format = 0;
        options.extensible = value == "wavex" ? 1 : 0;
      } else {
        return false;
      }
    } else if (name == "--bits") {
      options.bits = std::atoi(value.c_str());
    } else if (name == "--rate") {
      options.rate = std::atoi(value.c_str());
    } else if (name == "--block") {
      options.block = std::atoi(value.c_str());
    } else if (name == "--timeout") {
      options.timeoutSeconds = std::atof(value.c_str());
    } else {
      return false;
    }
  }
  if ((argc - 4) % 2 != 0) return false;
  return options.mode == "render" || (options.mode == "live" && !options.device.empty());
}

// Waits until `done` holds, polling every 10 ms; false after the time-out.
template <class Done>
bool waitFor(double seconds, Done done) {
  const auto deadline = std::chrono::steady_clock::now() +
                        std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                            std::chrono::duration<double>(seconds));
  while (!done()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

// Loads the file, then records and plays; false at the first refusal (nothing then plays).
bool recordAndPlay(const Options& options) {
  if (engineOpcode(PE_ENGINE_MIDI_LOAD, const_cast<char*>(options.midiFile.c_str()), nullptr, 0,
                   0, 0, 0.0f) != 0) {
    g_failures.push_back("the MIDI file " + options.midiFile + " was refused; nothing was rendered");
    return false;
  }
  return (options.mode != "render" || run(PE_ENGINE_OFFLINE_SET, 0, nullptr, nullptr, 1)) &&
         run(PE_ENGINE_RECORDING_FILE_SET, 0, const_cast<char*>(options.audioFile.c_str()),
             nullptr, options.format, options.bits, options.extensible) &&
         run(PE_ENGINE_RECORDING_START, 0) && run(PE_ENGINE_MIDI_PLAY, 0) &&
         run(PE_ENGINE_AUDIO_START, 0);
}

double midiPosition() {
  double position = 0.0;
  engineOpcode(PE_ENGINE_MIDI_POSITION_GET, &position, nullptr, 0, 0, 0, 0.0f);
  return position;
}

// Waits until the player reaches the file's end, for as long as the position keeps moving;
// false when it stood still for `seconds`.
bool waitForTheFilesEnd(double seconds) {
  for (;;) {
    const double before = midiPosition();
    if (before == 1.0) return true;
    if (!waitFor(seconds, [&] { return midiPosition() != before; })) return false;
  }
}

void render(const Options& options) {
  if (!run(PE_ENGINE_INSTRUMENT_ADD, 3) || !recordAndPlay(options)) return;
  // Rendered at full speed, the file may take long; only a render that stops moving fails.
  if (!waitForTheFilesEnd(options.timeoutSeconds)) {
    g_failures.push_back("the render stopped before the end of the MIDI file");
  } else {
    // The file output ends the recording by itself once the file has played and faded out
    // (about a second of quiet); as the render dialog, wait that long after the file's end.
    const bool ended = waitFor(options.timeoutSeconds, [] {
      std::int32_t recording = 1;
      return engineOpcode(PE_ENGINE_RECORDING_ISRECORDING, &recording, nullptr, 0, 0, 0, 0.0f) ==
                 0 &&
             recording == 0;
    });
    if (!ended) g_failures.push_back("the recording did not end in time");
  }
  run(PE_ENGINE_AUDIO_STOP, 0);
  run(PE_ENGINE_OFFLINE_SET, 0, nullptr, nullptr, 0);
}

void live(const Options& options) {
  std::int32_t count = 0;
  if (!run(PE_ENGINE_AUDIODEVICE_LIST, 0, nullptr, &count)) return;
  std::vector<PEAudioDeviceRecord> devices(static_cast<std::size_t>(std::max(count, 0)));
  if (!run(PE_ENGINE_AUDIODEVICE_LIST, 0, devices.data(), &count, count)) return;
  int id = -1;
  for (int i = 0; i < count && id < 0; ++i) {
    if (std::strstr(devices[static_cast<std::size_t>(i)].name, options.device.c_str()) != nullptr) {
      id = devices[static_cast<std::size_t>(i)].id;
    }
  }
  if (id < 0) {
    g_failures.push_back("no audio device named like \"" + options.device + "\"");
    return;
  }
  if (!run(PE_ENGINE_AUDIODEVICE_SET, 0, nullptr, nullptr, id) ||
      !run(PE_ENGINE_AUDIODEVICE_SETTINGS, 0, nullptr, nullptr, options.rate, options.block) ||
      !run(PE_ENGINE_INSTRUMENT_ADD, 3)) {
    return;
  }
  const bool playing = recordAndPlay(options);
  if (playing) {
    const bool ended = waitFor(options.timeoutSeconds, [] { return midiPosition() == 1.0; });
    if (!ended) g_failures.push_back("the MIDI file did not reach its end in time");
  }
  // What was started is stopped; a refused load started nothing.
  bool recording = false;
  std::int32_t isRecording = 0;
  if (engineOpcode(PE_ENGINE_RECORDING_ISRECORDING, &isRecording, nullptr, 0, 0, 0, 0.0f) == 0)
    recording = isRecording != 0;
  if (recording) run(PE_ENGINE_RECORDING_STOP, 0);
  run(PE_ENGINE_MIDI_STOP, 0);
  if (playing) run(PE_ENGINE_AUDIO_STOP, 0);
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!parse(argc, argv, options)) {
    std::fprintf(stderr,
                 "usage: %s render <midi file> <audio file> [--format aiff|wav|wavex] [--bits n]"
                 " [--timeout s]\n"
                 "       %s live <midi file> <audio file> --device <name part> [--rate r]"
                 " [--block n] [--format ...] [--bits n] [--timeout s]\n",
                 argv[0], argv[0]);
    return 2;
  }
  // A sanitizer's runtime starts its own helper thread with the first thread of the process:
  // make that happen before the count.
  std::thread([] {}).join();
  const std::vector<long> threadsBefore = threadIds();

  std::vector<std::string> arguments(argv, argv + argc);
  run(PE_ENGINE_APP_ARGUMENTS_SET, 0, &arguments);
  run(PE_ENGINE_INITIALIZE, 0);
  if (options.mode == "render") {
    render(options);
  } else {
    live(options);
  }
  run(PE_ENGINE_SHUTDOWN, 0);

  std::vector<long> leftover;
  const std::vector<long> threadsAfter = threadIds();
  std::set_difference(threadsAfter.begin(), threadsAfter.end(), threadsBefore.begin(),
                      threadsBefore.end(), std::back_inserter(leftover));
  if (!leftover.empty()) g_failures.push_back("back-end threads left running after shut-down");

  if (g_failures.empty()) std::printf("wrote %s\n", options.audioFile.c_str());
  std::printf("leftover threads: %zu\n", leftover.size());
  for (const std::string& failure : g_failures)
    std::fprintf(stderr, "kelo-backend-driver: %s\n", failure.c_str());
  return g_failures.empty() ? 0 : 1;
}
