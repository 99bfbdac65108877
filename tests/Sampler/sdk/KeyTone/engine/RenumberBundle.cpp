// KeloTestRenumber.bundle: one MIDI test plug-in that moves a controller number to another,
// init text "from:to", so that a MIDI byte stream can reach an engine-internal controller
// (such as the pre-processor's transpose controller 489) through the reference engine.
#include <algorithm>
#include <string>
#include <vector>

#include "Sampler/sdk/PluginEntry.h"
#include "Sampler/sdk/PluginText.h"

namespace vantor::KELOPluginSDK {

namespace {

class Renumber : public EffectPlugin {
 public:
  explicit Renumber(Host* host) : EffectPlugin(host) {
    numMIDIIns = 1;
    numMIDIOuts = 1;
  }
  std::int32_t initEx(const char* initText, const char* extraText) override {
    std::vector<std::string> pieces;
    SimpleStringTokenizer(initText != nullptr ? initText : "", ":", pieces);
    double a = 0.0, b = 0.0;
    if (pieces.size() != 2 || !StringToDouble(pieces[0].c_str(), a) ||
        !StringToDouble(pieces[1].c_str(), b))
      return 0;
    from = static_cast<std::int32_t>(a);
    to = static_cast<std::int32_t>(b);
    return 1;
  }
  void getDefaults(HDMIDIEvents* list) override { list->numEvents = 0; }
  void process(float** audio, std::int32_t frames, const HDMIDIEvents* midiIn,
               HDMIDIEvents* midiOut, const SyncInfo* sync) override {
    const std::int64_t count = std::clamp<std::int64_t>(midiIn->numEvents, 0, MAX_MIDIEVENTS_PER_CALL_SDK);
    for (std::int64_t i = 0; i < count; ++i) {
      midiOut->events[i] = midiIn->events[i];
      if ((midiOut->events[i].status & 0xF0) == 0xB0 && midiOut->events[i].data1 == from)
        midiOut->events[i].data1 = to;
    }
    midiOut->numEvents = count;
  }
  void setCustomDataLink(const CustomDataLink* link) override {}

 private:
  std::int32_t from = -1;
  std::int32_t to = -1;
};

constexpr PluginRow kRows[] = {
    {.identifier = "com.Sorvelin.Test.Renumber",
     .create = &makePlugin<Renumber>,
     .shortName = "Test.Renumber",
     .displayName = "Sorvelin\tTest.Renumber"},
};

}  // namespace

const BundleTable& bundleTable() { return checkedTable<kRows, InfoStrings::TextAndNul>(); }

}  // namespace vantor::KELOPluginSDK
