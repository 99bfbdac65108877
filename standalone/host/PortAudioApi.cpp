#include "standalone/host/PortAudioApi.h"

#include <alsa/asoundlib.h>
#include <pa_jack.h>

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

class SystemPortAudio final : public PortAudioApi {
 public:
  const char* versionText() override { return Pa_GetVersionText(); }
  PaError initialize() override {
    snd_lib_error_set_handler(quietAlsaError);
    if (!jackClientName().empty()) PaJack_SetClientName(jackClientName().c_str());
    return Pa_Initialize();
  }
  PaError terminate() override { return Pa_Terminate(); }
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
};

SystemPortAudio g_system;
PortAudioApi* g_installed = nullptr;

}  // namespace

PortAudioApi& portAudio() { return g_installed != nullptr ? *g_installed : g_system; }

void setPortAudio(PortAudioApi* api) { g_installed = api; }

void setJackClientName(const std::string& name) { jackClientName() = name; }

}  // namespace vantor
