// The device tests' back end: a scripted PortAudio and MIDI system, the processing context, the
// device manager over them, and a render that writes known values.
#pragma once

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/midi/FakeMIDIBackend.h"
#include "standalone/host/AudioDevice.h"
#include "standalone/host/CoreMIDILayer.h"
#include "standalone/host/DeviceFactories.h"
#include "standalone/host/DeviceManager.h"
#include "standalone/host/Instance.h"
#include "standalone/host/Singleton.h"
#include "tests/standalone/host/HostTestSupport.h"
#include "tests/standalone/devices/FakePortAudio.h"

namespace kelo::test {

/// Left `left`, right `right` on every frame; remembers the size of each block it rendered.
class ConstantRender : public vantor::StereoRender {
 public:
  ConstantRender(float left = 0.5f, float right = -0.25f) : m_left(left), m_right(right) {}
  void runGraphStereo(float** outputs, unsigned frames) override {
    if (blocks.size() < blocks.capacity()) blocks.push_back(frames);
    if (throws) throw std::runtime_error("render");
    for (unsigned i = 0; i < frames; ++i) {
      outputs[0][i] = m_left;
      outputs[1][i] = m_right;
    }
  }
  std::vector<unsigned> blocks;  // reserve before rendering under the real-time guard
  bool throws = false;

 private:
  float m_left;
  float m_right;
};

inline std::vector<float> filled(std::size_t frames, float value) {
  return std::vector<float>(frames, value);
}

/// Position of the first line containing `fragment` in `text`, or npos.
inline std::size_t positionOf(const std::string& text, const std::string& fragment) {
  return text.find(fragment);
}

class DeviceBackEnd : public ::testing::Test {
 protected:
  DeviceBackEnd() {
    alsa = pa.addHostApi(paALSA, "ALSA");
    jack = pa.addHostApi(paJACK, "JACK Audio Connection Kit");
    oss = pa.addHostApi(paOSS, "OSS");
    context.init();
  }

  ~DeviceBackEnd() override {
    vantor::Singleton<vantor::Factory>::destroyInstance();
    vantor::Singleton<vantor::MIDIDeviceFactory>::destroyInstance();
    if (vantor::Singleton<vantor::DeviceManager>::isCreated()) {
      manager()->removeContext(&context);
    }
    vantor::Singleton<vantor::DeviceManager>::destroyInstance();
    MIDI_Terminate();
  }

  vantor::DeviceManager* manager() { return vantor::Singleton<vantor::DeviceManager>::instance(); }

  /// Creates and initialises the device manager over the devices added so far, with the
  /// context added.
  vantor::DeviceManager* startManager() {
    vantor::DeviceManager* dm = manager();
    dm->init();
    dm->addContext(&context);
    return dm;
  }

  /// The device of PortAudio index `index` made as the command interface makes it: created by
  /// the factory, initialised with the context's format and acquired.
  vantor::AudioDevice* makeDevice(int index, vantor::StereoRender* render = nullptr) {
    vantor::AudioDeviceFactory factory;
    auto* device = dynamic_cast<vantor::AudioDevice*>(factory.newInstanceByID(&context, index));
    if (device == nullptr) return nullptr;
    device->setRender(render);
    device->init(&context, context.dspInfo());
    device->acquire();
    return device;
  }

  int addOutput(const std::string& name, int outs = 2, int hostApi = -1) {
    FakePortAudio::Device d;
    d.name = name;
    d.hostApi = hostApi < 0 ? alsa : hostApi;
    d.outs = outs;
    return pa.addDevice(d);
  }

  LogCapture log;
  FakePortAudio pa;
  kelo::midi::FakeMIDIBackend midi;
  vantor::Instance context;
  int alsa = 0;
  int jack = 0;
  int oss = 0;
};

}  // namespace kelo::test
