// kelo-plugin-run: runs one engine plug-in of a bundle over an audio file and a MIDI event
// script, the way the engine drives it, and writes what comes out; for tests and for checking
// a plug-in by ear. `kelo-plugin-run --help` tells how.
#include <sndfile.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iomanip>
#include <limits>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "VNL/source/LogLine.h"
#include "engine/pluginhost/AudioFileHost.h"
#include "engine/pluginhost/PluginBundle.h"
#include "engine/pluginhost/PluginInstance.h"

namespace {

using namespace kelo::pluginhost;
using namespace vantor::KELOPluginSDK;

constexpr const char* kUsage =
    "usage: kelo-plugin-run --bundle PATH --list\n"
    "       kelo-plugin-run --bundle PATH --plugin IDENTIFIER [options]\n"
    "options:\n"
    "  --input FILE        audio to process (any format libsndfile reads)\n"
    "  --frames N          length without --input (silence)\n"
    "  --events FILE       MIDI event script: lines \"frame status data1 data2\", # comments;\n"
    "                      status decimal or 0x hex, data2 from 0 to 1\n"
    "  --output FILE       processed audio, 32-bit float WAV\n"
    "  --events-out FILE   events the plug-in sends, in the script format\n"
    "  --rate HZ           sample rate (default: the input's, else 48000)\n"
    "  --block FRAMES      frames per process call and maxBlockSize (default 256)\n"
    "  --channels N        audio channels offered (default: the input's, else 2)\n"
    "  --init TEXT         init text; --extra TEXT its second text\n"
    "  --init-opcode 0|19  how the init texts are given (default 19)\n"
    "  --custom-data FILE  hand the plug-in a custom data link naming FILE\n";

constexpr const char* kOptions[] = {"bundle", "plugin", "input", "frames", "events",
                                    "output", "events-out", "rate", "block", "channels",
                                    "init", "extra", "init-opcode", "custom-data"};

struct Event {
  std::int64_t frame;
  HDMIDIEvent event;
};

bool readEvents(const std::string& path, std::vector<Event>& events, std::string& error) {
  std::ifstream in(path);
  if (!in) {
    error = "cannot read \"" + path + "\"";
    return false;
  }
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    const std::string content = line.substr(0, line.find('#'));
    std::istringstream fields(content);
    std::string frameText, statusText, data1Text, data2Text, extra;
    if (!(fields >> frameText)) continue;
    try {
      if (!(fields >> statusText >> data1Text >> data2Text) || (fields >> extra))
        throw std::invalid_argument("fields");
      std::size_t used = 0;
      const long long frame = std::stoll(frameText, &used);
      if (used != frameText.size() || frame < 0) throw std::invalid_argument("frame");
      const long status = std::stol(statusText, &used, 0);
      if (used != statusText.size()) throw std::invalid_argument("status");
      const long data1 = std::stol(data1Text, &used, 0);
      if (used != data1Text.size()) throw std::invalid_argument("data1");
      const float data2 = std::stof(data2Text, &used);
      if (used != data2Text.size()) throw std::invalid_argument("data2");
      events.push_back({frame, midiEvent(static_cast<std::int32_t>(status),
                                         static_cast<std::int32_t>(data1), data2, 0)});
    } catch (const std::exception&) {
      error = path + ":" + std::to_string(number) + ": expected \"frame status data1 data2\"";
      return false;
    }
  }
  std::stable_sort(events.begin(), events.end(),
                   [](const Event& a, const Event& b) { return a.frame < b.frame; });
  return true;
}

bool writeWav(const std::string& path, double rate, const std::vector<std::vector<float>>& audio,
              std::string& error) {
  SF_INFO info{};
  info.samplerate = static_cast<int>(rate);
  info.channels = static_cast<int>(audio.size());
  info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
  SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
  if (file == nullptr) {
    error = "cannot write \"" + path + "\": " + sf_strerror(nullptr);
    return false;
  }
  const std::size_t frames = audio[0].size();
  std::vector<float> interleaved(frames * audio.size());
  for (std::size_t frame = 0; frame < frames; ++frame)
    for (std::size_t channel = 0; channel < audio.size(); ++channel)
      interleaved[frame * audio.size() + channel] = audio[channel][frame];
  const bool written =
      sf_writef_float(file, interleaved.data(), static_cast<sf_count_t>(frames)) ==
      static_cast<sf_count_t>(frames);
  if (sf_close(file) != 0 || !written) {
    error = "cannot write \"" + path + "\"";
    return false;
  }
  return true;
}

int fail(const std::string& message) {
  std::fprintf(stderr, "kelo-plugin-run: %s\n", message.c_str());
  return 1;
}

int run(std::map<std::string, std::string>& options) {
  std::string error;
  auto bundle = PluginBundle::open(options["bundle"], error);
  if (bundle == nullptr) return fail(error);
  if (options.count("list")) {
    for (const PluginDescription& plugin : bundle->plugins())
      std::printf("%s\t%s\taudio %d\tversion %d\n", plugin.identifier.c_str(),
                  plugin.displayName.c_str(), plugin.channelLayout, plugin.version);
    return 0;
  }
  if (!options.count("plugin")) return fail("--plugin is missing");
  if (!options.count("output") && !options.count("events-out"))
    return fail("nothing to write: give --output or --events-out");

  std::vector<std::vector<float>> input;
  double rate = 48000;
  std::int64_t frames = 0;
  if (options.count("input")) {
    if (!readAudioFile(options["input"], input, rate, error)) return fail(error);
    frames = static_cast<std::int64_t>(input[0].size());
  }
  if (options.count("rate")) {
    const double wanted = std::stod(options["rate"]);
    for (std::vector<float>& channel : input) {
      if (wanted == rate) break;
      std::vector<float> converted;
      if (!convertRate(channel, rate, wanted, converted, error)) return fail(error);
      channel.swap(converted);
    }
    if (!input.empty()) frames = static_cast<std::int64_t>(input[0].size());
    rate = wanted;
  }
  if (options.count("frames")) frames = std::stoll(options["frames"]);
  if (frames <= 0) return fail("no audio to process: give --input or --frames");

  std::vector<Event> events;
  if (options.count("events") && !readEvents(options["events"], events, error)) return fail(error);

  InstanceSettings settings;
  settings.initText = options["init"];
  settings.extraText = options["extra"];
  settings.initThroughRecord = options.count("init-opcode") == 0 || options["init-opcode"] != "0";
  settings.sampleRate = rate;
  settings.maxBlockSize = options.count("block") ? std::stoi(options["block"]) : 256;
  settings.audioChannels = options.count("channels") ? std::stoi(options["channels"])
                           : input.empty()           ? 2
                                                     : static_cast<std::int32_t>(input.size());
  settings.customDataFile = options["custom-data"];
  AudioFileHost host;
  auto instance = PluginInstance::create(*bundle, options["plugin"], host, settings, error);
  if (instance == nullptr) return fail(error);

  const std::int32_t channels = instance->numAudioChannels();
  std::vector<std::vector<float>> audio(static_cast<std::size_t>(channels),
                                        std::vector<float>(static_cast<std::size_t>(frames)));
  for (std::int32_t channel = 0; channel < channels && !input.empty(); ++channel) {
    const std::vector<float>& source = input[channel % input.size()];
    std::copy_n(source.begin(), std::min<std::size_t>(source.size(), audio[channel].size()),
                audio[channel].begin());
  }
  auto in = std::make_unique<HDMIDIEvents>();
  auto out = std::make_unique<HDMIDIEvents>();
  std::vector<float*> pointers(static_cast<std::size_t>(channels));
  std::ostringstream sent;
  sent << std::setprecision(std::numeric_limits<float>::max_digits10);  // read back exactly
  std::size_t next = 0;
  const std::int32_t block = settings.maxBlockSize;
  for (std::int64_t done = 0; done < frames; done += block) {
    const auto count = static_cast<std::int32_t>(std::min<std::int64_t>(block, frames - done));
    in->numEvents = 0;
    for (; next < events.size() && events[next].frame < done + count; ++next) {
      if (in->numEvents == MAX_MIDIEVENTS_PER_CALL_SDK) {
        std::fprintf(stderr, "kelo-plugin-run: more than %d events in one block, rest dropped\n",
                     MAX_MIDIEVENTS_PER_CALL_SDK);
        continue;
      }
      HDMIDIEvent& event = in->events[in->numEvents++];
      event = events[next].event;
      event.bufTick = static_cast<std::uint32_t>(events[next].frame - done);
    }
    for (std::int32_t channel = 0; channel < channels; ++channel)
      pointers[channel] = audio[channel].data() + done;
    out->numEvents = 0;
    instance->process(pointers.data(), count, in.get(), out.get(), nullptr);
    for (std::int64_t i = 0; i < out->numEvents; ++i) {
      const HDMIDIEvent& event = out->events[i];
      sent << done + event.bufTick << ' ' << event.status << ' ' << event.data1 << ' '
           << event.data2 << '\n';
    }
  }
  instance.reset();

  if (options.count("output")) {
    if (channels == 0) return fail("the plug-in has no audio output to write");
    if (!writeWav(options["output"], rate, audio, error)) return fail(error);
  }
  if (options.count("events-out")) {
    std::ofstream file(options["events-out"]);
    file << sent.str();
    if (!file) return fail("cannot write \"" + options["events-out"] + "\"");
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  vantor::setLogDescriptor(2);  // the host's log lines go to the terminal
  std::map<std::string, std::string> options;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (argument == "--help" || argument == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (argument == "--list") {
      options["list"] = "";
      continue;
    }
    if (argument.rfind("--", 0) != 0 || i + 1 >= argc) {
      std::fputs(kUsage, stderr);
      return 2;
    }
    const std::string name = argument.substr(2);
    if (std::find(std::begin(kOptions), std::end(kOptions), name) == std::end(kOptions)) {
      std::fprintf(stderr, "kelo-plugin-run: unknown option %s\n%s", argument.c_str(), kUsage);
      return 2;
    }
    options[name] = argv[++i];
  }
  if (!options.count("bundle")) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  try {
    return run(options);
  } catch (const std::exception& e) {  // a number option that is not a number
    std::fprintf(stderr, "kelo-plugin-run: %s\n%s", e.what(), kUsage);
    return 2;
  }
}
