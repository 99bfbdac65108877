// Event lists and settings for driving the StringBed plug-ins directly in tests.
#pragma once

#include <cstring>
#include <initializer_list>
#include <memory>

#include "Sampler/sdk/PluginRecords.h"

namespace kelo::test {

struct PluginEvent {
  std::int32_t status, data1;
  float data2;
  std::uint32_t tick = 0;
};

/// A cleared event list holding `events` in order.
inline std::unique_ptr<vantor::KELOPluginSDK::HDMIDIEvents> eventList(
    std::initializer_list<PluginEvent> events = {}) {
  auto list = std::make_unique<vantor::KELOPluginSDK::HDMIDIEvents>();
  std::memset(list.get(), 0, sizeof(*list));
  for (const PluginEvent& e : events) {
    auto& slot = list->events[list->numEvents++];
    slot.status = e.status;
    slot.data1 = e.data1;
    slot.data2 = e.data2;
    slot.bufTick = e.tick;
  }
  return list;
}

inline vantor::KELOPluginSDK::DSPInfo dspInfo(double rate, std::int32_t block) {
  return {rate, static_cast<std::int32_t>(rate), 1.0 / rate, block, block / rate, 1.0 / block,
          {0, 0, 0, 0, 0}};
}

}  // namespace kelo::test
