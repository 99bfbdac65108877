// The information records, identifiers and handles of the test bundles, read as bytes at the
// offsets the engine reads them at.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "tests/Sampler/sdk/PluginInfoCheck.h"

namespace kelo::test {
namespace {

using namespace vantor::KELOPluginSDK;

const std::map<std::size_t, std::int32_t> kNoNumbers;

TEST(PluginInfo, EachRowWritesItsTextsAndNumbersAndNothingElse) {
  LoadedBundle bundle(KELO_TEST_PLUGINS_SO);
  expectInfoRows(bundle,
                 {
                     {"com.Kelo.Test.PassThrough", "Test.PassThrough", "Kelo\tTest.PassThrough",
                      {{256, -1}, {260, -1}, {448, 1}, {460, 7}, {464, 2}, {472, 61715},
                       {504, 1}}},
                     {"com.Kelo.Test.Probe", "Test.Probe", "Kelo\tTest.Probe", kNoNumbers},
                     {"com.Kelo.Test.FileFeed", "Test.FileFeed", "Kelo\tTest.FileFeed",
                      {{256, -2}, {260, -2}, {472, 61715}, {504, 1}}},
                     {"com.Kelo.Test.Faulty", "Test.Faulty", "Kelo\tTest.Faulty",
                      {{256, -2}, {260, -2}}},
                     {"com.Kelo.Test.ThrowsOnCreate", "Test.ThrowsOnCreate",
                      "Kelo\tTest.ThrowsOnCreate", kNoNumbers},
                     {"com.Kelo.Test.Instrument", "Test.Instrument", "Kelo\tTest.Instrument",
                      kNoNumbers},
                     {"com.Kelo.Test.Marker", "Test.Marker", "Kelo\tTest.Marker",
                      {{256, -1}, {260, -1}}},
                 },
                 false);
}

TEST(PluginInfo, PaddedBundlesWriteEachStringAsA255ByteField) {
  LoadedBundle bundle(KELO_TEST_MIDI_SO);
  expectInfoRows(bundle,
                 {
                     {"com.Kelo.Test.Echo", "Test.Echo", "Sorvelin\tTest.Echo",
                      {{460, 3}, {464, 1}}},
                     {"com.Kelo.Test.Marker", "Test.Marker", "Sorvelin\tTest.Marker", kNoNumbers},
                     {"com.Kelo.Test.Swallow", "Test.Swallow", "Sorvelin\tTest.Swallow",
                      kNoNumbers},
                 },
                 true);
}

TEST(PluginInfo, AnIndexOutsideTheTableAnswersOneAndWritesNothing) {
  LoadedBundle bundle(KELO_TEST_PLUGINS_SO);
  ASSERT_TRUE(bundle.ok());
  for (std::int64_t index : {std::int64_t{bundle.count()}, std::int64_t{-1}, INT64_MIN,
                             std::int64_t{1} << 32, INT64_MAX}) {
    std::vector<std::uint8_t> record(kInfoRecordBytes, kInfoFill);
    EXPECT_EQ(bundle.fill(index, reinterpret_cast<KeloPluginInfo*>(record.data())), 1) << index;
    EXPECT_EQ(record, std::vector<std::uint8_t>(kInfoRecordBytes, kInfoFill)) << index;
  }
  EXPECT_EQ(bundle.fill(0, nullptr), 1);
}

TEST(PluginInfo, NewInstanceKnowsOnlyExactIdentifiers) {
  LoadedBundle bundle(KELO_TEST_PLUGINS_SO);
  ASSERT_TRUE(bundle.ok());
  Host host{[](Host*, std::int32_t, std::int32_t, void*) { return 0; }};
  for (const char* identifier :
       {"com.kelo.test.passthrough", "COM.KELO.TEST.PASSTHROUGH", "com.Kelo.Test.PassThrough ",
        "com.Kelo.Test.PassThroug", "", "com.Kelo.Test.ThrowsOnCreate"})
    EXPECT_EQ(bundle.create(identifier, &host), nullptr) << '"' << identifier << '"';
  EXPECT_EQ(bundle.create(nullptr, &host), nullptr);
}

TEST(PluginInfo, TheHandleCarriesTheVersionAndBothEntryFunctions) {
  LoadedBundle bundle(KELO_TEST_PLUGINS_SO);
  ASSERT_TRUE(bundle.ok());
  Host host{[](Host*, std::int32_t, std::int32_t, void*) { return 0; }};
  PluginStruct* handle = bundle.create("com.Kelo.Test.PassThrough", &host);
  ASSERT_NE(handle, nullptr);
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(handle);
  std::int32_t version = 0;
  void* words[4] = {};
  std::memcpy(&version, bytes, 4);
  std::memcpy(words, bytes + 8, sizeof words);
  EXPECT_EQ(version, 1906);
  EXPECT_EQ(words[0], bundle.symbol("plugin_dispatch1"));
  EXPECT_EQ(words[1], bundle.symbol("plugin_process"));
  EXPECT_EQ(words[2], nullptr);
  EXPECT_NE(words[3], nullptr);
  bundle.destroy(handle);

  bundle.destroy(nullptr);
  PluginStruct empty{};
  bundle.destroy(&empty);
}

}  // namespace
}  // namespace kelo::test
