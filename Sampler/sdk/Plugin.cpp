#include "Sampler/sdk/Plugin.h"

#include "Sampler/sdk/PluginEntry.h"

namespace vantor::KELOPluginSDK {

Plugin::Plugin(Host* host)
    : host(host), pluginStruct{kSDKVersion, plugin_dispatch1, plugin_process, nullptr, this} {}

std::int32_t Plugin::getHostSDKVersion() {
  if (host == nullptr) return kSDKVersion;
  std::int32_t version = 0;
  host->callback(host, HOSTOP_GET_SDK_VERSION, 0, &version);
  return version;
}

EffectPlugin::EffectPlugin(Host* host)
    : Plugin(host),
      dspInfo{44100.0, 44100, 1.0 / 44100.0, 256, 256.0 / 44100.0, 1.0 / 256.0, {}} {}

void EffectPlugin::setDSPInfo(const DSPInfo* info) {
  dspInfo = *info;
  blockLimit.store(info->maxBlockSize, std::memory_order_relaxed);
}

bool EffectPlugin::capableOf(std::uint32_t bits) { return (capabilityMask & bits) == bits; }

bool EffectPlugin::getParameterDetails(ParameterDetails*) { return false; }

void EffectPlugin::setIOConfig(ChannelInfo*, std::int32_t* answer) { *answer = 0; }

void EffectPlugin::getLatency(LatencyInfo* latency, std::int32_t* answer) {
  *answer = 1;
  latency->latencyA = latencyA;
  latency->latencyB = latencyB;
}

void EffectPlugin::setCustomDataLink(const CustomDataLink*) {}

}  // namespace vantor::KELOPluginSDK
