// The calls an effect makes to its host: opcode and argument roles of each, how the host's
// answer is read, and the answer without a host callback.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "plugins/vst/AudioEffectX.h"
#include "tests/support/RecordingAudioMaster.h"

namespace {

using kelo::test::HostCall;
using kelo::test::RecordingAudioMaster;

class TracingEffect : public AudioEffectX {
 public:
  using AudioEffectX::AudioEffectX;
  void processReplacing(float**, float**, std::int32_t) override {}
  void setParameter(std::int32_t index, float value) override {
    parameterSet.push_back({index, value});
  }
  std::vector<std::pair<std::int32_t, float>> parameterSet;
};

char g_text[kVstMaxVendorStrLen];
VstEvents g_events;
int g_object;

std::intptr_t of(bool b) { return b ? 1 : 0; }
std::intptr_t of(const void* p) { return reinterpret_cast<std::intptr_t>(p); }

struct HostCallCase {
  const char* name;
  std::function<std::intptr_t(TracingEffect&)> call;
  std::int32_t opcode;
  std::int32_t index;
  std::intptr_t value;
  void* ptr;
  float opt;
  std::intptr_t hostAnswer;
  std::intptr_t result;          // with the host answering hostAnswer
  std::intptr_t resultWithoutHost;
};

TEST(HostCalls, EachCallWithItsArgumentsAndAnswer) {
  void* const text = g_text;
  void* const object = &g_object;
  const HostCallCase cases[] = {
      {"getMasterVersion", [](TracingEffect& f) { return f.getMasterVersion(); }, 1, 0, 0, nullptr, 0, 2300, 2300, 1},
      {"getMasterVersion 0", [](TracingEffect& f) { return f.getMasterVersion(); }, 1, 0, 0, nullptr, 0, 0, 1, 1},
      {"getCurrentUniqueId", [](TracingEffect& f) { return f.getCurrentUniqueId(); }, 2, 0, 0, nullptr, 0, 77, 77, 0},
      {"masterIdle", [](TracingEffect& f) { return f.masterIdle(), 0; }, 3, 0, 0, nullptr, 0, 1, 0, 0},
      {"isInputConnected", [](TracingEffect& f) { return of(f.isInputConnected(1)); }, 4, 1, 0, nullptr, 0, 0, 1, 1},
      {"isInputConnected no", [](TracingEffect& f) { return of(f.isInputConnected(1)); }, 4, 1, 0, nullptr, 0, 1, 0, 1},
      {"isOutputConnected", [](TracingEffect& f) { return of(f.isOutputConnected(3)); }, 4, 3, 1, nullptr, 0, 0, 1, 1},
      {"wantEvents", [](TracingEffect& f) { return f.wantEvents(1), 0; }, 6, 0, 1, nullptr, 0, 1, 0, 0},
      {"getTimeInfo", [](TracingEffect& f) { return of(f.getTimeInfo(0xffff)); }, 7, 0, 0xffff, nullptr, 0, of(object), of(object), 0},
      {"sendVstEventsToHost", [](TracingEffect& f) { return of(f.sendVstEventsToHost(&g_events)); }, 8, 0, 0, &g_events, 0, 1, 1, 0},
      {"sendVstEventsToHost 2", [](TracingEffect& f) { return of(f.sendVstEventsToHost(&g_events)); }, 8, 0, 0, &g_events, 0, 2, 0, 0},
      {"tempoAt", [](TracingEffect& f) { return f.tempoAt(4410); }, 10, 0, 4410, nullptr, 0, 1200000, 1200000, 0},
      {"getNumAutomatableParameters", [](TracingEffect& f) { return f.getNumAutomatableParameters(); }, 11, 0, 0, nullptr, 0, 8, 8, 0},
      {"getParameterQuantization", [](TracingEffect& f) { return f.getParameterQuantization(); }, 12, 0, 0, nullptr, 0, 127, 127, 0},
      {"ioChanged", [](TracingEffect& f) { return of(f.ioChanged()); }, 13, 0, 0, nullptr, 0, 1, 1, 0},
      {"needIdle", [](TracingEffect& f) { return of(f.needIdle()); }, 14, 0, 0, nullptr, 0, 1, 1, 0},
      {"sizeWindow", [](TracingEffect& f) { return of(f.sizeWindow(640, 480)); }, 15, 640, 480, nullptr, 0, 1, 1, 0},
      {"updateSampleRate", [](TracingEffect& f) { return static_cast<std::intptr_t>(f.updateSampleRate()); }, 16, 0, 0, nullptr, 0, 48000, 48000, 44100},
      {"updateSampleRate 0", [](TracingEffect& f) { return static_cast<std::intptr_t>(f.updateSampleRate()); }, 16, 0, 0, nullptr, 0, 0, 44100, 44100},
      {"updateSampleRate -1", [](TracingEffect& f) { return static_cast<std::intptr_t>(f.updateSampleRate()); }, 16, 0, 0, nullptr, 0, -1, 44100, 44100},
      {"updateBlockSize", [](TracingEffect& f) { return f.updateBlockSize(); }, 17, 0, 0, nullptr, 0, 256, 256, 1024},
      {"updateBlockSize 0", [](TracingEffect& f) { return f.updateBlockSize(); }, 17, 0, 0, nullptr, 0, 0, 1024, 1024},
      {"getInputLatency", [](TracingEffect& f) { return f.getInputLatency(); }, 18, 0, 0, nullptr, 0, 64, 64, 0},
      {"getOutputLatency", [](TracingEffect& f) { return f.getOutputLatency(); }, 19, 0, 0, nullptr, 0, 65, 65, 0},
      {"getPreviousPlug", [](TracingEffect& f) { return of(f.getPreviousPlug(1)); }, 20, 1, 0, nullptr, 0, of(object), of(object), 0},
      {"getNextPlug", [](TracingEffect& f) { return of(f.getNextPlug(2)); }, 21, 2, 0, nullptr, 0, of(object), of(object), 0},
      {"willProcessReplacing", [](TracingEffect& f) { return f.willProcessReplacing(); }, 22, 0, 0, nullptr, 0, 1, 1, 0},
      {"getCurrentProcessLevel", [](TracingEffect& f) { return f.getCurrentProcessLevel(); }, 23, 0, 0, nullptr, 0, 4, 4, 0},
      {"getAutomationState", [](TracingEffect& f) { return f.getAutomationState(); }, 24, 0, 0, nullptr, 0, 3, 3, 0},
      {"offlineStart", [=](TracingEffect& f) { return of(f.offlineStart(object, 2, 1)); }, 25, 1, 2, object, 0, 1, 1, 0},
      {"offlineRead", [=](TracingEffect& f) { return of(f.offlineRead(object, 3, true)); }, 26, 1, 3, object, 0, 1, 1, 0},
      {"offlineWrite", [=](TracingEffect& f) { return of(f.offlineWrite(object, 3)); }, 27, 0, 3, object, 0, 1, 1, 0},
      {"offlineGetCurrentPass", [](TracingEffect& f) { return f.offlineGetCurrentPass(); }, 28, 0, 0, nullptr, 0, 1, 1, 0},
      {"offlineGetCurrentMetaPass", [](TracingEffect& f) { return f.offlineGetCurrentMetaPass(); }, 29, 0, 0, nullptr, 0, 2, 2, 0},
      {"setOutputSamplerate", [](TracingEffect& f) { return f.setOutputSamplerate(48000.0f), 0; }, 30, 0, 0, nullptr, 48000.0f, 1, 0, 0},
      {"getOutputSpeakerArrangement", [](TracingEffect& f) { return of(f.getOutputSpeakerArrangement()); }, 31, 0, 0, nullptr, 0, of(object), of(object), 0},
      {"getHostVendorString", [=](TracingEffect& f) { return of(f.getHostVendorString(g_text)); }, 32, 0, 0, text, 0, 1, 1, 0},
      {"getHostProductString", [=](TracingEffect& f) { return of(f.getHostProductString(g_text)); }, 33, 0, 0, text, 0, 1, 1, 0},
      {"getHostVendorVersion", [](TracingEffect& f) { return f.getHostVendorVersion(); }, 34, 0, 0, nullptr, 0, 1200, 1200, 0},
      {"hostVendorSpecific", [=](TracingEffect& f) { return f.hostVendorSpecific(1, 2, object, 0.5f); }, 35, 1, 2, object, 0.5f, 9, 9, 0},
      {"canHostDo yes", [](TracingEffect& f) { return of(f.canHostDo(g_text)); }, 37, 0, 0, text, 0, 1, 1, 0},
      {"canHostDo -1", [](TracingEffect& f) { return of(f.canHostDo(g_text)); }, 37, 0, 0, text, 0, -1, 1, 0},
      {"canHostDo 0", [](TracingEffect& f) { return of(f.canHostDo(g_text)); }, 37, 0, 0, text, 0, 0, 0, 0},
      {"getHostLanguage", [](TracingEffect& f) { return f.getHostLanguage(); }, 38, 0, 0, nullptr, 0, 1, 1, 0},
      {"openWindow", [=](TracingEffect& f) { return of(f.openWindow(object)); }, 39, 0, 0, object, 0, of(object), of(object), 0},
      {"closeWindow", [=](TracingEffect& f) { return of(f.closeWindow(object)); }, 40, 0, 0, object, 0, 1, 1, 0},
      {"getDirectory", [](TracingEffect& f) { return of(f.getDirectory()); }, 41, 0, 0, nullptr, 0, of(object), of(object), 0},
      {"updateDisplay", [](TracingEffect& f) { return of(f.updateDisplay()); }, 42, 0, 0, nullptr, 0, 1, 1, 0},
      {"beginEdit", [](TracingEffect& f) { return of(f.beginEdit(5)); }, 43, 5, 0, nullptr, 0, 1, 1, 0},
      {"endEdit", [](TracingEffect& f) { return of(f.endEdit(5)); }, 44, 5, 0, nullptr, 0, 1, 1, 0},
      {"openFileSelector", [=](TracingEffect& f) { return of(f.openFileSelector(object)); }, 45, 0, 0, object, 0, 1, 1, 0},
      {"closeFileSelector", [=](TracingEffect& f) { return of(f.closeFileSelector(object)); }, 46, 0, 0, object, 0, 1, 1, 0},
      {"getInputSpeakerArrangement", [](TracingEffect& f) { return of(f.getInputSpeakerArrangement()); }, 49, 0, 0, nullptr, 0, of(object), of(object), 0},
  };
  std::strcpy(g_text, "sendVstTimeInfo");
  for (const HostCallCase& c : cases) {
    {
      RecordingAudioMaster host;
      host.setAnswer(c.opcode, c.hostAnswer);
      TracingEffect effect(host.callback, 0, 0);
      EXPECT_EQ(c.call(effect), c.result) << c.name;
      const std::vector<HostCall> calls = host.calls();
      ASSERT_EQ(calls.size(), 1u) << c.name;
      const HostCall& call = calls[0];
      EXPECT_EQ(call.effect, effect.getAeffect()) << c.name;
      EXPECT_EQ(call.opcode, c.opcode) << c.name;
      EXPECT_EQ(call.index, c.index) << c.name;
      EXPECT_EQ(call.value, c.value) << c.name;
      EXPECT_EQ(call.ptr, c.ptr) << c.name;
      EXPECT_EQ(call.opt, c.opt) << c.name;
    }
    TracingEffect alone(nullptr, 0, 0);
    EXPECT_EQ(c.call(alone), c.resultWithoutHost) << c.name << " without a host";
  }
}

TEST(HostCalls, AutomationSetsTheParameterBeforeTellingTheHost) {
  RecordingAudioMaster host;
  TracingEffect effect(host.callback, 0, 4);
  std::size_t setBeforeHostHeard = 0;
  host.setObserver([&](const HostCall&) { setBeforeHostHeard = effect.parameterSet.size(); });
  effect.setParameterAutomated(3, 0.25f);
  ASSERT_EQ(effect.parameterSet.size(), 1u);
  EXPECT_EQ(effect.parameterSet[0], std::make_pair(3, 0.25f));
  EXPECT_EQ(setBeforeHostHeard, 1u);
  const auto calls = host.calls(audioMasterAutomate);
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].index, 3);
  EXPECT_EQ(calls[0].value, 0);
  EXPECT_EQ(calls[0].opt, 0.25f);

  TracingEffect alone(nullptr, 0, 4);
  alone.setParameterAutomated(1, 0.5f);
  EXPECT_EQ(alone.parameterSet.size(), 1u);
}

TEST(HostCalls, TheRecorderAnswersStringsTextsAndTime) {
  RecordingAudioMaster host;
  host.setVendorString("Vendor");
  host.setProductString("Product");
  host.setCanDo("sendVstTimeInfo", 1);
  host.setCanDo("sizeWindow", -1);
  VstTimeInfo time{};
  time.tempo = 99.0;
  host.setTimeInfo(time);
  TracingEffect effect(host.callback, 0, 0);

  char vendor[kVstMaxVendorStrLen] = {};
  char product[kVstMaxProductStrLen] = {};
  EXPECT_TRUE(effect.getHostVendorString(vendor));
  EXPECT_TRUE(effect.getHostProductString(product));
  EXPECT_STREQ(vendor, "Vendor");
  EXPECT_STREQ(product, "Product");
  char timeInfo[] = "sendVstTimeInfo", size[] = "sizeWindow", other[] = "offline";
  EXPECT_TRUE(effect.canHostDo(timeInfo));
  EXPECT_TRUE(effect.canHostDo(size));
  EXPECT_FALSE(effect.canHostDo(other));
  const auto asked = host.calls(audioMasterCanDo);
  ASSERT_EQ(asked.size(), 3u);
  EXPECT_STREQ(asked[1].text, "sizeWindow");
  EXPECT_EQ(asked[1].answer, -1);
  ASSERT_NE(effect.getTimeInfo(kVstTempoValid), nullptr);
  EXPECT_EQ(effect.getTimeInfo(0)->tempo, 99.0);
  host.clearTimeInfo();
  EXPECT_EQ(effect.getTimeInfo(0), nullptr);
  EXPECT_EQ(effect.getMasterVersion(), 2400);
}

}  // namespace
