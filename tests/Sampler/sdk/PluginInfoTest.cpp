// The information records, identifiers and handles of the test bundles, read as bytes at the
// offsets the engine reads them at.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "tests/Sampler/sdk/LoadedBundle.h"

namespace kelo::test {
namespace {

using namespace vantor::KELOPluginSDK;

constexpr std::uint8_t kFill = 0xAA;
constexpr std::size_t kRecordBytes = 4096;

// What one row writes: strings at 0, 512 and 1024; numbers by offset.
struct ExpectedRow {
  std::string identifier, shortName, displayName;
  std::map<std::size_t, std::int32_t> numbers;
};

// Byte image of the record after the call: 0xAA everywhere the row writes nothing.
std::vector<std::uint8_t> expectedImage(const ExpectedRow& row, bool padded) {
  std::vector<std::uint8_t> image(kRecordBytes, kFill);
  auto putString = [&](std::size_t offset, const std::string& text) {
    const std::size_t length = padded ? 255 : text.size() + 1;
    for (std::size_t i = 0; i < length; ++i) image[offset + i] = i < text.size() ? text[i] : 0;
  };
  auto putNumber = [&](std::size_t offset, std::int32_t value) {
    const auto bits = static_cast<std::uint32_t>(value);
    for (int i = 0; i < 4; ++i) image[offset + i] = static_cast<std::uint8_t>(bits >> (8 * i));
  };
  putString(0, row.identifier);
  putString(512, row.shortName);
  putString(1024, row.displayName);
  for (const auto& [offset, value] : row.numbers) putNumber(offset, value);
  putNumber(1536, 0);
  return image;
}

void expectRows(LoadedBundle& bundle, const std::vector<ExpectedRow>& rows, bool padded) {
  ASSERT_TRUE(bundle.ok());
  EXPECT_EQ(bundle.count(), static_cast<std::int32_t>(rows.size()));
  for (std::size_t index = 0; index < rows.size(); ++index) {
    std::vector<std::uint8_t> record(kRecordBytes, kFill);
    EXPECT_EQ(bundle.fill(static_cast<std::int64_t>(index),
                          reinterpret_cast<KeloPluginInfo*>(record.data())),
              0);
    const std::vector<std::uint8_t> expected = expectedImage(rows[index], padded);
    for (std::size_t at = 0; at < kRecordBytes; ++at)
      ASSERT_EQ(record[at], expected[at]) << "row " << index << ", byte " << at;
  }
}

const std::map<std::size_t, std::int32_t> kNoNumbers;

TEST(PluginInfo, EachRowWritesItsTextsAndNumbersAndNothingElse) {
  LoadedBundle bundle(KELO_TEST_PLUGINS_SO);
  expectRows(bundle,
             {
                 {"com.Kelo.Test.PassThrough", "Test.PassThrough", "Kelo\tTest.PassThrough",
                  {{256, -1}, {260, -1}, {448, 1}, {460, 7}, {464, 2}, {472, 61715}, {504, 1}}},
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
  expectRows(bundle,
             {
                 {"com.Kelo.Test.Echo", "Test.Echo", "Sorvelin\tTest.Echo",
                  {{460, 3}, {464, 1}}},
                 {"com.Kelo.Test.Marker", "Test.Marker", "Sorvelin\tTest.Marker", kNoNumbers},
                 {"com.Kelo.Test.Swallow", "Test.Swallow", "Sorvelin\tTest.Swallow", kNoNumbers},
             },
             true);
}

TEST(PluginInfo, AnIndexOutsideTheTableAnswersOneAndWritesNothing) {
  LoadedBundle bundle(KELO_TEST_PLUGINS_SO);
  ASSERT_TRUE(bundle.ok());
  for (std::int64_t index : {std::int64_t{bundle.count()}, std::int64_t{-1}, INT64_MIN,
                             std::int64_t{1} << 32, INT64_MAX}) {
    std::vector<std::uint8_t> record(kRecordBytes, kFill);
    EXPECT_EQ(bundle.fill(index, reinterpret_cast<KeloPluginInfo*>(record.data())), 1) << index;
    EXPECT_EQ(record, std::vector<std::uint8_t>(kRecordBytes, kFill)) << index;
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
