#include <gtest/gtest.h>

#include <cstring>

#include "engine/pluginhost/PluginBundle.h"
#include "tests/support/TempDir.h"

namespace kelo::pluginhost {
namespace {

using namespace vantor::KELOPluginSDK;

TEST(PluginBundle, ListsThePluginsOfABundleFolder) {
  std::string error;
  auto bundle = PluginBundle::open(KELO_TEST_PLUGINS_BUNDLE, error);
  ASSERT_NE(bundle, nullptr) << error;
  ASSERT_EQ(bundle->plugins().size(), 7u);
  const PluginDescription* passThrough = bundle->find("com.Kelo.Test.PassThrough");
  ASSERT_NE(passThrough, nullptr);
  EXPECT_EQ(passThrough->index, 0);
  EXPECT_EQ(passThrough->shortName, "Test.PassThrough");
  EXPECT_EQ(passThrough->displayName, "Kelo\tTest.PassThrough");
  EXPECT_EQ(passThrough->channelLayout, -1);
  EXPECT_EQ(passThrough->version, 7);
  EXPECT_EQ(passThrough->customDataMagic, 61715);
  EXPECT_EQ(passThrough->customDataCount, 1);
  EXPECT_EQ(bundle->find("com.Kelo.Test.Probe")->channelLayout, 0);
  EXPECT_EQ(bundle->find("com.kelo.test.probe"), nullptr);
}

TEST(PluginBundle, APaddedBundleNamedByItsSharedObject) {
  std::string error;
  auto bundle = PluginBundle::open(KELO_TEST_MIDI_SO, error);
  ASSERT_NE(bundle, nullptr) << error;
  ASSERT_EQ(bundle->plugins().size(), 3u);
  EXPECT_EQ(bundle->plugins()[0].displayName, "Sorvelin\tTest.Echo");
  EXPECT_EQ(bundle->plugins()[0].infoFlagB, 1);
}

TEST(PluginBundle, WhatIsNotAPluginBundleIsRefused) {
  test::TempDir dir;
  ASSERT_TRUE(test::writeFile(dir.file("junk.so"), "not a shared object"));
  for (const std::string& path : {dir.file("missing.bundle"), dir.file("junk.so"), dir.path(),
                                  std::string(KELO_NOT_A_PLUGIN_SO)}) {
    std::string error;
    EXPECT_EQ(PluginBundle::open(path, error), nullptr) << path;
    EXPECT_FALSE(error.empty()) << path;
  }
}

TEST(PluginBundle, RecordsAreCheckedAsTheEngineReadsThem) {
  auto good = [] {
    KeloPluginInfo info;
    std::memset(&info, 0, sizeof info);
    std::strcpy(info.identifier, "com.x");
    std::strcpy(info.shortName, "x");
    std::strcpy(info.displayName, "G\tx");
    info.audioInsSpec = info.audioOutsSpec = -2;
    return info;
  };
  struct Case {
    const char* what;
    void (*spoil)(KeloPluginInfo&);
  };
  const Case cases[] = {
      {"identifier without NUL", [](KeloPluginInfo& i) { std::memset(i.identifier, 'a', 256); }},
      {"empty identifier", [](KeloPluginInfo& i) { i.identifier[0] = 0; }},
      {"short name without NUL", [](KeloPluginInfo& i) { std::memset(i.shortName, 'a', 512); }},
      {"display name without NUL",
       [](KeloPluginInfo& i) { std::memset(i.displayName, 'a', 512); }},
      {"end marker", [](KeloPluginInfo& i) { i.endMarker = 1; }},
      {"layouts differ", [](KeloPluginInfo& i) { i.audioOutsSpec = -1; }},
      {"unknown layout", [](KeloPluginInfo& i) { i.audioInsSpec = i.audioOutsSpec = -3; }},
      {"positive layout", [](KeloPluginInfo& i) { i.audioInsSpec = i.audioOutsSpec = 2; }},
  };
  PluginDescription description;
  std::string error;
  KeloPluginInfo info = good();
  ASSERT_TRUE(describe(info, description, error)) << error;
  EXPECT_EQ(description.channelLayout, -2);
  for (const Case& c : cases) {
    KeloPluginInfo spoilt = good();
    c.spoil(spoilt);
    EXPECT_FALSE(describe(spoilt, description, error)) << c.what;
  }
}

}  // namespace
}  // namespace kelo::pluginhost
