#include "Sampler/sdk/KeyTone/TimbreShift.h"

#include <algorithm>

namespace {

using vantor::KELOPluginSDK::HDMIDIEvent;
using vantor::KELOPluginSDK::HDMIDIEvents;
using vantor::KELOPluginSDK::MAX_MIDIEVENTS_PER_CALL_SDK;

constexpr float kBounds[] = {0.073f, 0.147f, 0.22f,  0.293f, 0.367f, 0.44f,  0.56f,
                             0.597f, 0.633f, 0.67f,  0.707f, 0.743f, 0.78f,  0.817f,
                             0.853f, 0.89f,  0.927f, 0.963f, 100.0f};

bool isKey(std::int32_t key) { return key >= 0 && key <= 127; }

// `key` + `shift` moved by whole octaves into 0..127.
std::int32_t foldedKey(std::int32_t key, std::int32_t shift) {
  std::int32_t t = key + shift;
  if (t > 127) t -= 12 * ((t - 127 + 11) / 12);
  if (t < 0) t += 12 * ((-t + 11) / 12);
  return t;
}

}  // namespace

TimbreShift::TimbreShift() {
  for (std::int32_t zone = 0; zone < sizeCcValueMap; ++zone)
    ccValueMap[zone] = {kBounds[zone], static_cast<std::int8_t>(6 - zone)};
  for (std::int32_t key = 0; key < 128; ++key) notenumTranslation[key] = key;
}

float TimbreShift::GetTransposeCCDefaultValue() const {
  for (std::int32_t zone = 0; zone < sizeCcValueMap; ++zone)
    if (ccValueMap[zone].shift == 0)
      return ((zone > 0 ? ccValueMap[zone - 1].upperBound : 0.0f) + ccValueMap[zone].upperBound) /
             2.0f;
  return 0.0f;
}

std::int32_t TimbreShift::zoneOf(float value) const {
  for (std::int32_t zone = 0; zone < sizeCcValueMap; ++zone)
    if (value <= ccValueMap[zone].upperBound) return zone;  // NaN matches none
  return -1;
}

void TimbreShift::process(const HDMIDIEvents* in, HDMIDIEvents* out) {
  if (out == nullptr) return;
  const std::int64_t count =
      in == nullptr ? 0 : std::clamp<std::int64_t>(in->numEvents, 0, MAX_MIDIEVENTS_PER_CALL_SDK);
  std::int64_t written = 0;
  for (std::int64_t i = 0; i < count; ++i) {
    const HDMIDIEvent& event = in->events[i];
    const std::int32_t kind = event.status >> 4;
    if (kind == 11 && event.data1 == transposeCC) {
      const std::int32_t zone = zoneOf(event.data2);
      if (zone >= 0) {
        // All or nothing: a shift never goes out without the events that silence it.
        if (written + 4 > MAX_MIDIEVENTS_PER_CALL_SDK) continue;
        currentShift = ccValueMap[zone].shift;
        HDMIDIEvent* follower = &out->events[written];
        *follower = event;
        const std::int32_t numbers[] = {123, 64, shiftReportCC};
        for (std::int32_t number : numbers) {
          follower[1] = follower[0];
          ++follower;
          follower->data1 = number;
          follower->data2 = 0.0f;
          if (number == shiftReportCC) {
            follower->data2 = static_cast<float>(-currentShift);
            follower->legacy[3] = 0;
          } else {
            follower->legacy[1] = static_cast<std::uint8_t>(number);
            follower->legacy[2] = 0;
          }
        }
        written += 4;
        continue;
      }
    }
    if (written == MAX_MIDIEVENTS_PER_CALL_SDK) continue;
    HDMIDIEvent& copy = out->events[written++];
    copy = event;
    if ((kind != 8 && kind != 9) || !isKey(copy.data1)) continue;
    if (kind == 9 && copy.data2 > 0.0f)
      notenumTranslation[copy.data1] = foldedKey(copy.data1, currentShift);
    copy.data1 = notenumTranslation[copy.data1];
    copy.legacy[1] = static_cast<std::uint8_t>(copy.data1);
  }
  out->numEvents = written;
}
