#include "Sampler/sdk/KeyTone/MIDIProc.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>
#include <string>

#include "Sampler/sdk/PluginText.h"

namespace acme {

namespace {

constexpr std::int64_t kListRoom = sdk::MAX_MIDIEVENTS_PER_CALL_SDK;
constexpr std::uint64_t kMaxZones = 127;
constexpr std::int32_t kSustain = 64;

bool isController(const sdk::HDMIDIEvent& event) { return (event.status & ~0x0F) == 176; }
bool isSustain(const sdk::HDMIDIEvent& event) {
  return isController(event) && event.data1 == kSustain;
}

// Truncated toward zero and saturated; negative and NaN give 0.
std::uint64_t toUnsigned(double value) {
  if (!(value > 0.0)) return 0;
  if (value >= 18446744073709551616.0) return std::numeric_limits<std::uint64_t>::max();
  return static_cast<std::uint64_t>(value);
}

std::int32_t toSigned(double value) {
  if (std::isnan(value)) return 0;
  return static_cast<std::int32_t>(std::clamp(value, -2147483648.0, 2147483647.0));
}

// The fields of an init text; a missing or non-numeric one is absent.
struct InitFields {
  std::vector<std::string> texts;
  bool read(std::size_t index, double& value) const {
    return index < texts.size() && vantor::KELOPluginSDK::StringToDouble(texts[index].c_str(), value);
  }
  double get(std::size_t index, double fallback) const {
    double value = 0.0;
    return read(index, value) ? value : fallback;
  }
};

}  // namespace

MIDIProc::MIDIProc(sdk::Host* host) : EffectPlugin(host) {
  numMIDIIns = 1;
  numMIDIOuts = 1;
}

std::int32_t MIDIProc::initEx(const char* initText, const char* extraText) {
  return init(initText, extraText) ? 1 : 0;
}

bool MIDIProc::init(const char* initText, const char* extraText) {
  InitFields fields;
  vantor::KELOPluginSDK::SimpleStringTokenizer(initText != nullptr ? initText : "", "|",
                                               fields.texts);
  susdupCC = toUnsigned(fields.get(0, 298));
  susdupOn = fields.get(1, 1.0) >= 0.5;
  halfPedalCC = toUnsigned(fields.get(2, 299));
  halfPedalOn = fields.get(3, 0.0) >= 0.5;
  loCC = toUnsigned(fields.get(4, 296));
  loThreshold = static_cast<float>(fields.get(5, 0.25 * 127.0) / 127.0);
  hiCC = toUnsigned(fields.get(6, 297));
  hiThreshold = static_cast<float>(fields.get(7, 0.5 * 127.0) / 127.0);
  crossingCC = toSigned(fields.get(8, 295));
  std::uint64_t zones = std::min(toUnsigned(fields.get(9, 0)), kMaxZones);
  // Only the complete pairs the text gives.
  for (std::uint64_t zone = 0; zone < zones; ++zone) {
    double number = 0.0, delay = 0.0;
    if (!fields.read(10 + 2 * zone, number) || !fields.read(11 + 2 * zone, delay)) zones = zone;
  }

  bool answer = true;
  try {
    zoneValue.assign(zones, 0.0f);
    zoneCC.assign(zones, 0);
    _pendingSusdup.assign(zones, sdk::HDMIDIEvent{});
    pendingZone.assign(zones, 0);
    zoneDelaySeconds.assign(zones, 0.0f);
    zoneDelayFrames.assign(zones, 0);
  } catch (const std::bad_alloc&) {
    zones = 0;
    answer = false;
  }
  _numSusZones = zones;
  _numValidSusdupPending = 0;
  for (std::uint64_t zone = 0; zone < zones; ++zone) {
    zoneCC[zone] = static_cast<std::uint32_t>(
        std::min<std::uint64_t>(toUnsigned(fields.get(10 + 2 * zone, 0)),
                                std::numeric_limits<std::uint32_t>::max()));
    zoneDelaySeconds[zone] = static_cast<float>(fields.get(11 + 2 * zone, 0.0));
  }

  std::memset(static_cast<void*>(&defaultEvents), 0, sizeof defaultEvents);
  auto addDefault = [this](std::uint64_t number, float value) {
    sdk::HDMIDIEvent& event = defaultEvents.events[defaultEvents.numEvents++];
    event.status = 176;
    event.data1 = static_cast<std::int32_t>(number);
    event.data2 = value;
  };
  for (std::uint64_t zone = 0; zone < zones; ++zone) addDefault(zoneCC[zone], 0.0f);
  addDefault(susdupCC, susdupOn ? 1.0f : 0.0f);
  addDefault(halfPedalCC, halfPedalOn ? 1.0f : 0.0f);
  addDefault(loCC, loThreshold);
  addDefault(hiCC, hiThreshold);
  addDefault(static_cast<std::uint64_t>(timbreShift.GetTransposeCCNum()),
             timbreShift.GetTransposeCCDefaultValue());
  return answer;
}

void MIDIProc::setDSPInfo(const sdk::DSPInfo* info) {
  EffectPlugin::setDSPInfo(info);
  const double rate = dspInfo.sampleRate;
  thinWindow = rate <= 48000.0 ? 128 : rate <= 96000.0 ? 256 : 512;
  // Saturated at the largest tick, so a press's tick plus its delay never wraps round.
  constexpr std::uint64_t kLongestDelay = std::numeric_limits<std::uint32_t>::max();
  for (std::uint64_t zone = 0; zone < _numSusZones; ++zone)
    zoneDelayFrames[zone] = std::min(
        toUnsigned(std::trunc(zoneDelaySeconds[zone] * static_cast<float>(rate))), kLongestDelay);
}

void MIDIProc::start() {
  _numValidSusdupPending = 0;
  std::fill(_pendingSusdup.begin(), _pendingSusdup.end(), sdk::HDMIDIEvent{});
  std::fill(zoneValue.begin(), zoneValue.end(), 0.0f);
  lastSustain = 0.0f;
}

void MIDIProc::getDefaults(sdk::HDMIDIEvents* list) {
  if (list != nullptr) std::memcpy(static_cast<void*>(list), &defaultEvents, sizeof *list);
}

std::uint64_t MIDIProc::runtimeControllerNumber(int which) const {
  const std::uint64_t numbers[] = {susdupCC, halfPedalCC, loCC, hiCC};
  return numbers[which];
}

void MIDIProc::append(sdk::HDMIDIEvents& list, const sdk::HDMIDIEvent& event) {
  if (list.numEvents >= kListRoom) {
    ++dropped;
    return;
  }
  list.events[list.numEvents++] = event;
}

sdk::HDMIDIEvent MIDIProc::zoneCopy(const sdk::HDMIDIEvent& event, std::size_t zone) const {
  sdk::HDMIDIEvent copy = event;
  copy.data1 = static_cast<std::int32_t>(zoneCC[zone]);
  copy.legacy[3] = 0;
  return copy;
}

std::int64_t MIDIProc::zoneOfController(std::int32_t number) const {
  for (std::uint64_t zone = 0; zone < _numSusZones; ++zone)
    if (number >= 0 && zoneCC[zone] == static_cast<std::uint32_t>(number))
      return static_cast<std::int64_t>(zone);
  return -1;
}

void MIDIProc::process(float** audio, std::int32_t frames, const sdk::HDMIDIEvents* midiIn,
                       sdk::HDMIDIEvents* midiOut, const sdk::SyncInfo* sync) {
  if (frames < 0 || midiOut == nullptr) return;
  timbreShift.process(midiIn, &workList);
  RemapSustainValues(*midiOut);
  if (frames == 0) {
    zeroFramePass(*midiOut, workList);
  } else {
    ThinSusEventsReverseOrder(*midiOut, frames);
    sustainZones(*midiOut, workList, frames);
    ThinSusdupEventsReverseOrder(workList, frames);
  }
  output(workList, *midiOut);
}

void MIDIProc::RemapSustainValues(sdk::HDMIDIEvents& out) {
  out.numEvents = 0;
  bool anySent = false;
  float previous = 0.0f;
  for (std::int64_t i = 0; i < workList.numEvents; ++i) {
    sdk::HDMIDIEvent event = workList.events[i];
    if (!isSustain(event)) {
      append(out, event);
      continue;
    }
    if (std::isnan(event.data2)) continue;
    const float v = std::clamp(event.data2, 0.0f, 1.0f);
    event.data2 = v;
    if ((v <= 0.0f && lastSustain > 0.0f) || (v >= 1.0f && lastSustain < 1.0f)) {
      sdk::HDMIDIEvent crossing = event;
      crossing.data1 = crossingCC;
      crossing.legacy[3] = 0;
      append(out, crossing);
    }
    lastSustain = v;
    event.legacy[1] = static_cast<std::uint8_t>(kSustain);
    float value = 0.0f;
    if (halfPedalOn && v < hiThreshold && v > loThreshold) {
      const float k = 1.0f / (hiThreshold - loThreshold);
      value = std::clamp(k * v - loThreshold * k, 0.0f, 1.0f);
    } else if (halfPedalOn) {
      value = v >= hiThreshold ? 1.0f : 0.0f;
    } else {
      value = v >= 0.5f ? 1.0f : 0.0f;
    }
    event.data2 = value;
    event.legacy[2] = static_cast<std::uint8_t>(value * 127.0f + 0.5f);
    if (anySent && value == previous) continue;
    anySent = true;
    previous = value;
    append(out, event);
  }
}

void MIDIProc::zeroFramePass(const sdk::HDMIDIEvents& in, sdk::HDMIDIEvents& out) {
  out.numEvents = 0;
  for (std::int64_t i = 0; i < in.numEvents; ++i) {
    const sdk::HDMIDIEvent& event = in.events[i];
    if (isSustain(event) && zonesActive()) {
      for (std::uint64_t zone = _numSusZones; zone-- > 0;) {
        append(out, zoneCopy(event, zone));
        zoneValue[zone] = event.data2;
      }
      clearPending();
    }
    append(out, event);
  }
}

void MIDIProc::ThinSusEventsReverseOrder(sdk::HDMIDIEvents& list, std::int32_t frames) {
  // Signed: a window reaching before the block's start keeps nothing earlier.
  std::int64_t limit = static_cast<std::int64_t>(frames) - 1;
  float later = 0.0f;
  for (std::int64_t i = list.numEvents; i-- > 0;) {
    const sdk::HDMIDIEvent& event = list.events[i];
    keep[i] = true;
    if (!isSustain(event)) continue;
    const float value = event.data2;
    keep[i] = static_cast<std::int64_t>(event.bufTick) <= limit || value == 0.0f ||
              value == 1.0f || later >= 1.0f;
    if (!keep[i]) continue;
    limit = static_cast<std::int64_t>(event.bufTick) - static_cast<std::int64_t>(thinWindow);
    later = value;
  }
  std::int64_t kept = 0;
  for (std::int64_t i = 0; i < list.numEvents; ++i)
    if (keep[i]) list.events[kept++] = list.events[i];
  list.numEvents = kept;
}

void MIDIProc::sustainZones(const sdk::HDMIDIEvents& in, sdk::HDMIDIEvents& out,
                            std::int32_t frames) {
  out.numEvents = 0;
  if (!zonesActive()) {
    for (std::int64_t i = 0; i < in.numEvents; ++i) append(out, in.events[i]);
    return;
  }
  for (std::int64_t i = 0; i < in.numEvents; ++i) {
    const sdk::HDMIDIEvent& event = in.events[i];
    sendFirstPendingSusdup(out, event.bufTick);
    if (isSustain(event) && event.data2 <= 0.0f) {
      for (std::uint64_t zone = 0; zone < _numSusZones; ++zone) {
        SendSusdupEvent(out, zoneCopy(event, zone));
        zoneValue[zone] = event.data2;
      }
      clearPending();
    } else if (isSustain(event)) {
      for (std::uint64_t zone = 0; zone < _numSusZones; ++zone) {
        if (zoneValue[zone] > 0.0f) {
          SendSusdupEvent(out, zoneCopy(event, zone));
          zoneValue[zone] = event.data2;
        } else {
          insertPendingSusdup(event, zone);
        }
      }
    }
    append(out, event);
  }
  const auto end = static_cast<std::uint32_t>(frames);
  sendFirstPendingSusdup(out, end);
  for (std::uint64_t i = 0; i < _numValidSusdupPending; ++i) _pendingSusdup[i].bufTick -= end;
}

void MIDIProc::sendFirstPendingSusdup(sdk::HDMIDIEvents& out, std::uint32_t before) {
  std::uint64_t sent = 0;
  while (sent < _numValidSusdupPending && _pendingSusdup[sent].bufTick < before) {
    SendSusdupEvent(out, _pendingSusdup[sent]);
    zoneValue[pendingZone[sent]] = _pendingSusdup[sent].data2;
    ++sent;
  }
  if (sent == 0) return;
  std::copy(_pendingSusdup.begin() + static_cast<std::ptrdiff_t>(sent),
            _pendingSusdup.begin() + static_cast<std::ptrdiff_t>(_numValidSusdupPending),
            _pendingSusdup.begin());
  std::copy(pendingZone.begin() + static_cast<std::ptrdiff_t>(sent),
            pendingZone.begin() + static_cast<std::ptrdiff_t>(_numValidSusdupPending),
            pendingZone.begin());
  _numValidSusdupPending -= sent;
}

void MIDIProc::SendSusdupEvent(sdk::HDMIDIEvents& out, const sdk::HDMIDIEvent& event) {
  append(out, event);
}

void MIDIProc::insertPendingSusdup(const sdk::HDMIDIEvent& event, std::size_t zone) {
  for (std::uint64_t i = 0; i < _numValidSusdupPending; ++i) {
    if (pendingZone[i] != zone) continue;
    _pendingSusdup[i].data2 = event.data2;
    _pendingSusdup[i].legacy[2] = event.legacy[2];
    return;
  }
  sdk::HDMIDIEvent entry = zoneCopy(event, zone);
  entry.bufTick = static_cast<std::uint32_t>(std::min<std::uint64_t>(
      std::uint64_t{event.bufTick} + zoneDelayFrames[zone], std::numeric_limits<std::uint32_t>::max()));
  std::uint64_t at = _numValidSusdupPending;
  while (at > 0 && _pendingSusdup[at - 1].bufTick > entry.bufTick) {
    _pendingSusdup[at] = _pendingSusdup[at - 1];
    pendingZone[at] = pendingZone[at - 1];
    --at;
  }
  _pendingSusdup[at] = entry;
  pendingZone[at] = static_cast<std::uint32_t>(zone);
  ++_numValidSusdupPending;
}

void MIDIProc::ThinSusdupEventsReverseOrder(sdk::HDMIDIEvents& list, std::int32_t frames) {
  std::array<std::int64_t, kMaxZones> limits;
  limits.fill(static_cast<std::int64_t>(frames) - 1);
  for (std::int64_t i = list.numEvents; i-- > 0;) {
    const sdk::HDMIDIEvent& event = list.events[i];
    keep[i] = true;
    const std::int64_t zone = isController(event) ? zoneOfController(event.data1) : -1;
    if (zone < 0) continue;
    keep[i] = static_cast<std::int64_t>(event.bufTick) <= limits[zone];
    if (keep[i])
      limits[zone] = static_cast<std::int64_t>(event.bufTick) - static_cast<std::int64_t>(thinWindow);
  }
  std::int64_t kept = 0;
  for (std::int64_t i = 0; i < list.numEvents; ++i)
    if (keep[i]) list.events[kept++] = list.events[i];
  list.numEvents = kept;
}

void MIDIProc::output(const sdk::HDMIDIEvents& in, sdk::HDMIDIEvents& out) {
  out.numEvents = 0;
  for (std::int64_t i = 0; i < in.numEvents; ++i) {
    sdk::HDMIDIEvent event = in.events[i];
    if (isController(event) && event.data1 >= 256) event.legacy[3] = 0;
    append(out, event);
    if (isController(event)) runtimeController(event, out);
  }
}

void MIDIProc::runtimeController(const sdk::HDMIDIEvent& event, sdk::HDMIDIEvents& out) {
  if (event.data1 <= 0) return;  // number 0 disables a run-time controller
  const auto number = static_cast<std::uint64_t>(event.data1);
  const float value = event.data2;
  if (number == susdupCC || number == halfPedalCC) {
    bool& flag = number == susdupCC ? susdupOn : halfPedalOn;
    const bool was = flag;
    flag = value >= 0.5f;
    if (flag != was) zonesOff(event, out);
  }
  if ((number == loCC || number == hiCC) && !std::isnan(value)) {
    (number == loCC ? loThreshold : hiThreshold) = value;
    clearPending();
  }
}

void MIDIProc::zonesOff(const sdk::HDMIDIEvent& trigger, sdk::HDMIDIEvents& out) {
  for (std::uint64_t zone = 0; zone < _numSusZones; ++zone) {
    sdk::HDMIDIEvent copy = zoneCopy(trigger, zone);
    copy.data2 = 0.0f;
    append(out, copy);
    zoneValue[zone] = 0.0f;
  }
  clearPending();
}

}  // namespace acme
