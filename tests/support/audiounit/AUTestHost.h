// A test host for Audio Unit music devices: opens one instance through a component factory
// (KeloUnit.component's SamplerAUFactory, loaded through the bundle layer, or an in-process
// one) and drives it only through the component's methods, as a host application does.
// Main thread, except render(), midi() and what a test runs on threads of its own.
#pragma once

#include <cmath>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "platform/audiounit/AUView.h"
#include "platform/audiounit/AudioUnitTypes.h"
#include "platform/cf/CFBundle.h"

namespace kelo::test {

/// Loads the bundle at `path` and finds the function `name` in it; null (with the bundle
/// released) when either fails. The bundle stays loaded for the process.
void* bundleFunction(const std::string& path, const char* name);
inline AudioComponentFactoryFunction loadComponentFactory(const std::string& path, const char* factoryName) {
  return reinterpret_cast<AudioComponentFactoryFunction>(bundleFunction(path, factoryName));
}

class AUTestHost {
 public:
  explicit AUTestHost(AudioComponentFactoryFunction factory);
  ~AUTestHost();  // closes the instance
  AUTestHost(const AUTestHost&) = delete;
  AUTestHost& operator=(const AUTestHost&) = delete;

  /// noErr when the instance opened.
  OSStatus openResult() const { return m_openResult; }

  OSStatus setOutputFormat(AudioUnitElement bus, UInt32 channels, Float64 sampleRate);
  OSStatus setBusCount(UInt32 buses);
  OSStatus setMaxFrames(UInt32 frames);
  OSStatus setHostCallbacks(const HostCallbackInfo& callbacks);
  OSStatus setMIDIOutput(AUMIDIOutputCallback callback, void* userData);
  OSStatus initialize();
  OSStatus uninitialize();
  OSStatus reset();
  OSStatus midi(UInt32 status, UInt32 data1, UInt32 data2, UInt32 offset = 0);

  /// Renders one slice of every output bus into buffers the host owns, each first filled with
  /// NaN so that a buffer left unwritten shows. Answers the first failing bus's result.
  /// `output(bus, channel)` then holds the frames. The buffers are allocated by
  /// prepareBuffers (or the first render), so a render can run in a real-time region.
  OSStatus render(UInt32 frames);
  void prepareBuffers(UInt32 frames);
  const std::vector<float>& output(UInt32 bus, UInt32 channel) const { return m_outputs[bus][channel]; }
  UInt32 outputBuses() const { return static_cast<UInt32>(m_outputs.size()); }
  double sampleTime() const { return m_sampleTime; }

  OSStatus getPropertyInfo(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element,
                           UInt32& size, bool& writable);
  OSStatus getProperty(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element,
                       void* data, UInt32& size);
  OSStatus setProperty(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element,
                       const void* data, UInt32 size);
  OSStatus getParameter(AudioUnitParameterID id, AudioUnitScope scope, AudioUnitElement element, Float32& value);
  OSStatus setParameter(AudioUnitParameterID id, AudioUnitScope scope, AudioUnitElement element, Float32 value);

  /// A property's value whole, at the size the unit gives at the time of asking.
  OSStatus getBytes(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element, std::string& bytes);
  /// The unit's saved state as the XML property-list bytes it crosses as.
  OSStatus getState(std::string& xml) { return getBytes(kAudioUnitProperty_ClassInfo, kAudioUnitScope_Global, 0, xml); }
  OSStatus setState(const std::string& xml);
  /// A global parameter's description; `name` its name string (empty without one).
  OSStatus parameterInfo(AudioUnitParameterID id, AudioUnitParameterInfo& info, std::string& name);
  /// A property holding an array of strings (value strings, the view factory, MIDI outputs).
  OSStatus stringList(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element,
                      std::vector<std::string>& strings);
  OSStatus setHostIdentifier(const std::string& name, UInt32 version);

  /// Records every event the unit sends its parameter listeners from now on (any thread).
  OSStatus listenToParameters();
  struct ParameterChange {
    AudioUnitEventType type;
    UInt32 id;  // the parameter, or the property of a property change
    AudioUnitScope scope;
    AudioUnitElement element;
    AudioUnitParameterValue value;
  };
  std::vector<ParameterChange> parameterChanges() const;
  void clearParameterChanges();

  /// Records every change of `id` announced from now on.
  OSStatus listen(AudioUnitPropertyID id);
  /// A listener of the test's own (one that must outlive the host, say).
  OSStatus addListener(AudioUnitPropertyID id, AudioUnitPropertyListenerProc proc, void* userData);
  struct Notification {
    AudioUnitPropertyID id;
    AudioUnitScope scope;
    AudioUnitElement element;
  };
  std::vector<Notification> notifications() const;

  /// The editor view factory property 31 names, looked up in the bundle folder it names;
  /// null when there is none.
  const AUCocoaViewFactory* viewFactory();
  /// The instance as a view factory takes it.
  AudioComponentPlugInInterface* unit() const { return m_table; }

  template <typename Proc>
  Proc method(SInt16 selector) const {
    return reinterpret_cast<Proc>(m_table->Lookup(selector));
  }

 private:
  static void onParameterChanged(void* user, const AudioUnitEvent* event, AudioUnitParameterValue value);
  static void onPropertyChanged(void* user, AudioComponentInstance unit, AudioUnitPropertyID id,
                                AudioUnitScope scope, AudioUnitElement element);

  AudioComponentPlugInInterface* m_table = nullptr;
  OSStatus m_openResult = kAudio_ParamError;
  std::vector<std::vector<std::vector<float>>> m_outputs;  // bus, channel, frame
  std::vector<unsigned char> m_listBytes;
  double m_sampleTime = 0.0;
  mutable std::mutex m_lock;  // the records below may come from the unit's other threads
  std::vector<Notification> m_notifications;
  std::vector<ParameterChange> m_parameterChanges;
};

}  // namespace kelo::test
