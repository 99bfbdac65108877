#include "standalone/host/PortAudioApi.h"

#include <alsa/asoundlib.h>
#include <jack/jack.h>
#include <pa_jack.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <vector>

namespace vantor {
namespace {

// ALSA reports every PCM it fails to open while PortAudio probes the cards ("Unknown PCM
// cards.pcm.rear"...) on stderr, which the program log receives: normal on any machine, so
// it is dropped.
void quietAlsaError(const char*, int, const char*, int, const char*, ...) {}

// PaJack_SetClientName keeps the pointer it is given.
std::string& jackClientName() {
  static std::string name;
  return name;
}

// Renames and connects the ports of PortAudio's JACK client through a client of its own (JACK
// lets any client do both), which has no ports and is never activated.
class JackPortKeeper {
 public:
  ~JackPortKeeper() { closeClient(); }

  void closeClient() {
    if (m_client != nullptr && !m_lost.load()) jack_client_close(m_client);
    m_client = nullptr;
    m_lost = false;
  }

  void remember(const std::string& deviceName) {
    m_connections.clear();
    if (!openClient()) return;
    for (const std::string& port : streamPorts()) {
      std::vector<std::string> others;
      const char** connected =
          jack_port_get_all_connections(m_client, jack_port_by_name(m_client, port.c_str()));
      for (int i = 0; connected != nullptr && connected[i] != nullptr; ++i) {
        if (std::string(connected[i]).rfind(deviceName + ":", 0) != 0)
          others.emplace_back(connected[i]);
      }
      jack_free(connected);
      m_connections.push_back(std::move(others));
    }
  }

  void restore() {
    if (!openClient()) return;
    const std::vector<std::string> ports = streamPorts();
    for (std::size_t i = 0; i < ports.size(); ++i) {
      const std::string name = "out_" + std::to_string(i);
      const std::string full = m_prefix + name;
      if (ports[i] != full)
        jack_port_rename(m_client, jack_port_by_name(m_client, ports[i].c_str()), name.c_str());
      if (i >= m_connections.size()) continue;
      for (const std::string& other : m_connections[i])
        jack_connect(m_client, full.c_str(), other.c_str());
    }
    m_connections.clear();
  }

 private:
  bool openClient() {
    if (m_lost.load()) closeClient();
    const char* streamClient = nullptr;
    if (PaJack_GetClientName(&streamClient) != paNoError || streamClient == nullptr) return false;
    m_prefix = std::string(streamClient) + ":";
    if (m_client == nullptr) {
      m_client = jack_client_open((std::string(streamClient) + " ports").c_str(), JackNoStartServer,
                                  nullptr);
      if (m_client != nullptr) jack_on_shutdown(m_client, &JackPortKeeper::lost, this);
    }
    return m_client != nullptr;
  }

  static void lost(void* self) { static_cast<JackPortKeeper*>(self)->m_lost = true; }

  // The stream's output ports "out_<n>", by n.
  std::vector<std::string> streamPorts() const {
    std::vector<std::pair<long, std::string>> numbered;
    const char** ports =
        jack_get_ports(m_client, nullptr, JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput);
    const std::string stem = m_prefix + "out_";
    for (int i = 0; ports != nullptr && ports[i] != nullptr; ++i) {
      const std::string port = ports[i];
      if (port.rfind(stem, 0) != 0) continue;
      char* end = nullptr;
      const long n = std::strtol(port.c_str() + stem.size(), &end, 10);
      if (end != nullptr && *end == '\0') numbered.emplace_back(n, port);
    }
    jack_free(ports);
    std::sort(numbered.begin(), numbered.end());
    std::vector<std::string> names;
    for (auto& [n, port] : numbered) names.push_back(std::move(port));
    return names;
  }

  jack_client_t* m_client = nullptr;
  std::atomic<bool> m_lost{false};  // set on JACK's thread when the server goes
  std::string m_prefix;
  std::vector<std::vector<std::string>> m_connections;  // by port, in port order
};

class SystemPortAudio final : public PortAudioApi {
 public:
  const char* versionText() override { return Pa_GetVersionText(); }
  PaError initialize() override {
    snd_lib_error_set_handler(quietAlsaError);
    if (!jackClientName().empty()) PaJack_SetClientName(jackClientName().c_str());
    return Pa_Initialize();
  }
  PaError terminate() override {
    m_jackPorts.closeClient();
    return Pa_Terminate();
  }
  const char* errorText(PaError code) override { return Pa_GetErrorText(code); }
  PaDeviceIndex deviceCount() override { return Pa_GetDeviceCount(); }
  const PaDeviceInfo* deviceInfo(PaDeviceIndex index) override { return Pa_GetDeviceInfo(index); }
  PaHostApiIndex hostApiCount() override { return Pa_GetHostApiCount(); }
  const PaHostApiInfo* hostApiInfo(PaHostApiIndex index) override {
    return Pa_GetHostApiInfo(index);
  }
  PaHostApiIndex hostApiTypeIdToHostApiIndex(PaHostApiTypeId type) override {
    return Pa_HostApiTypeIdToHostApiIndex(type);
  }
  PaDeviceIndex hostApiDeviceIndexToDeviceIndex(PaHostApiIndex hostApi, int index) override {
    return Pa_HostApiDeviceIndexToDeviceIndex(hostApi, index);
  }
  PaError isFormatSupported(const PaStreamParameters* input, const PaStreamParameters* output,
                            double sampleRate) override {
    return Pa_IsFormatSupported(input, output, sampleRate);
  }
  PaError openStream(PaStream** stream, const PaStreamParameters* input,
                     const PaStreamParameters* output, double sampleRate,
                     unsigned long framesPerBuffer, PaStreamFlags flags,
                     PaStreamCallback* callback, void* userData) override {
    return Pa_OpenStream(stream, input, output, sampleRate, framesPerBuffer, flags, callback,
                         userData);
  }
  PaError startStream(PaStream* stream) override { return Pa_StartStream(stream); }
  PaError closeStream(PaStream* stream) override { return Pa_CloseStream(stream); }
  PaError isStreamActive(PaStream* stream) override { return Pa_IsStreamActive(stream); }
  const PaStreamInfo* streamInfo(PaStream* stream) override { return Pa_GetStreamInfo(stream); }
  double streamCpuLoad(PaStream* stream) override { return Pa_GetStreamCpuLoad(stream); }
  void rememberJackConnections(const std::string& deviceName) override {
    m_jackPorts.remember(deviceName);
  }
  void restoreJackPorts() override { m_jackPorts.restore(); }

 private:
  JackPortKeeper m_jackPorts;
};

SystemPortAudio g_system;
PortAudioApi* g_installed = nullptr;

}  // namespace

PortAudioApi& portAudio() { return g_installed != nullptr ? *g_installed : g_system; }

void setPortAudio(PortAudioApi* api) { g_installed = api; }

void setJackClientName(const std::string& name) { jackClientName() = name; }

}  // namespace vantor
