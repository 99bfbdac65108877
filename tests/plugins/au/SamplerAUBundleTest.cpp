#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "platform/cf/CFPropertyList.h"
#include "tests/plugins/au/SamplerAUFixture.h"

namespace {

using kelo::test::allZero;
using kelo::test::anyNonZero;
using kelo::test::AUTestHost;
using SamplerAUBundleTest = kelo::test::SamplerAUFixture;

AudioComponentFactoryFunction bundleFactory() {
  static const AudioComponentFactoryFunction factory =
      kelo::test::loadComponentFactory(KELO_UNIT_BUNDLE, "SamplerAUFactory");
  return factory;
}

// Standard error into a file for the object's lifetime: the bundle's alerts never block a host.
class StderrCapture {
 public:
  StderrCapture() : m_saved(::dup(2)) {
    const int file = ::open(m_dir.file("stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    ::dup2(file, 2);
    ::close(file);
  }
  ~StderrCapture() { restore(); }
  std::string text() {
    restore();
    return kelo::test::readFile(m_dir.file("stderr"));
  }

 private:
  void restore() {
    if (m_saved < 0) return;
    ::dup2(m_saved, 2);
    ::close(m_saved);
    m_saved = -1;
  }
  kelo::test::TempDir m_dir;
  int m_saved;
};

TEST_F(SamplerAUBundleTest, TheComponentPlaysTheInstalledEngine) {
  ASSERT_NE(bundleFactory(), nullptr);
  installEngine();
  {
    AUTestHost host(bundleFactory());
    ASSERT_EQ(host.openResult(), noErr);
    ASSERT_EQ(host.setOutputFormat(0, 2, 48000.0), noErr);
    ASSERT_EQ(host.setMaxFrames(512), noErr);
    ASSERT_EQ(host.initialize(), noErr);
    ASSERT_EQ(host.midi(0x90, 69, 100, 0), noErr);
    ASSERT_EQ(host.render(512), noErr);
    EXPECT_TRUE(anyNonZero(host.output(0, 0)));
    EXPECT_TRUE(anyNonZero(host.output(0, 1)));
    ASSERT_EQ(host.uninitialize(), noErr);
  }
  EXPECT_EQ(opcodes(), (std::vector<std::int32_t>{KELO_OP_VERSION_GET, KELO_OP_INSTANCE_CREATE, KELO_OP_DSP_SET,
                                                  KELO_OP_HOST_CALLBACK_SET, KELO_OP_START, KELO_OP_PROCESS_EX,
                                                  KELO_OP_STOP, KELO_OP_HOST_CALLBACK_CLEAR,
                                                  KELO_OP_INSTANCE_DESTROY}));
  EXPECT_TRUE(findings().empty());
}

// The component's CF copy is not the host's: the state crosses as bytes both can read.
TEST_F(SamplerAUBundleTest, StateCrossesTheBundleBoundaryAsPropertyListBytes) {
  ASSERT_NE(bundleFactory(), nullptr);
  installEngine();
  AUTestHost host(bundleFactory());
  std::string xml;
  ASSERT_EQ(host.getState(xml), noErr);
  CFPropertyListRef state = kelo::cf::propertyListFromXML(xml.data(), xml.size());
  ASSERT_NE(state, nullptr) << xml;
  EXPECT_EQ(CFGetTypeID(state), CFDictionaryGetTypeID());
  CFRelease(state);
  EXPECT_EQ(host.setState(xml), noErr);
}

// Property 31 names the component's own bundle; its CF values reach the host as values of its own.
TEST_F(SamplerAUBundleTest, TheViewFactoryNamesTheComponentsBundle) {
  ASSERT_NE(bundleFactory(), nullptr);
  installEngine();
  AUTestHost host(bundleFactory());
  ASSERT_EQ(host.initialize(), noErr);
  std::vector<std::string> view;
  ASSERT_EQ(host.stringList(kAudioUnitProperty_CocoaUI, kAudioUnitScope_Global, 0, view), noErr);
  EXPECT_EQ(view, (std::vector<std::string>{KELO_UNIT_BUNDLE, "SorvelinKeloDeckKELOCocoaViewFactory"}));
}

TEST_F(SamplerAUBundleTest, WithoutAnEngineTheComponentAlertsOnStandardErrorAndPlaysSilence) {
  ASSERT_NE(bundleFactory(), nullptr);
  StderrCapture errors;
  {
    AUTestHost host(bundleFactory());
    ASSERT_EQ(host.openResult(), noErr);
    ASSERT_EQ(host.initialize(), noErr);
    ASSERT_EQ(host.midi(0x90, 69, 100, 0), noErr);
    ASSERT_EQ(host.render(256), noErr);
    EXPECT_TRUE(allZero(host.output(0, 0)));
    EXPECT_TRUE(allZero(host.output(0, 1)));
  }
  EXPECT_NE(errors.text().find("Cannot find data installation, please re-install"), std::string::npos);
  EXPECT_TRUE(logHas('E', "Can't get base_dir from configuration"));
  EXPECT_TRUE(opcodes().empty());
}

}  // namespace
