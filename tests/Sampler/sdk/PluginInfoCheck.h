// Checks a bundle's information records as bytes at the offsets the engine reads them at:
// each row written into a record of 0xAA bytes must change exactly its strings, its numbers
// and the end marker. Also what every plug-in of a bundle answers alike through its
// dispatcher.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "tests/Sampler/sdk/LoadedBundle.h"

namespace kelo::test {

inline constexpr std::uint8_t kInfoFill = 0xAA;
inline constexpr std::size_t kInfoRecordBytes = 4096;

// What one row writes: strings at 0, 512 and 1024; numbers by offset.
struct ExpectedRow {
  std::string identifier, shortName, displayName;
  std::map<std::size_t, std::int32_t> numbers;
};

// Byte image of the record after the call: 0xAA everywhere the row writes nothing. `padded`:
// each string is a 255-byte field (text and NUL padding), else the text and one NUL.
inline std::vector<std::uint8_t> expectedInfoImage(const ExpectedRow& row, bool padded) {
  std::vector<std::uint8_t> image(kInfoRecordBytes, kInfoFill);
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

/// The bundle lists exactly `rows`, each written as expectedInfoImage says.
inline void expectInfoRows(LoadedBundle& bundle, const std::vector<ExpectedRow>& rows,
                           bool padded) {
  ASSERT_TRUE(bundle.ok());
  EXPECT_EQ(bundle.count(), static_cast<std::int32_t>(rows.size()));
  for (std::size_t index = 0; index < rows.size(); ++index) {
    std::vector<std::uint8_t> record(kInfoRecordBytes, kInfoFill);
    EXPECT_EQ(bundle.fill(static_cast<std::int64_t>(index),
                          reinterpret_cast<vantor::KELOPluginSDK::KeloPluginInfo*>(record.data())),
              0);
    const std::vector<std::uint8_t> expected = expectedInfoImage(rows[index], padded);
    for (std::size_t at = 0; at < kInfoRecordBytes; ++at)
      ASSERT_EQ(record[at], expected[at]) << "row " << index << ", byte " << at;
  }
  // A missing channel record is refused by every plug-in.
  vantor::KELOPluginSDK::Host host{[](vantor::KELOPluginSDK::Host*, std::int32_t, std::int32_t,
                                      void*) { return 0; }};
  for (const ExpectedRow& row : rows) {
    vantor::KELOPluginSDK::PluginStruct* plugin = bundle.create(row.identifier.c_str(), &host);
    if (plugin == nullptr) continue;  // a test bundle's row that refuses creation
    std::int32_t answer = 7;
    bundle.dispatcher(plugin, vantor::KELOPluginSDK::PLUGOP_SET_IO_CONFIG, nullptr, &answer);
    EXPECT_EQ(answer, -1) << row.identifier;
    bundle.destroy(plugin);
  }
  std::vector<std::uint8_t> record(kInfoRecordBytes, kInfoFill);
  EXPECT_EQ(bundle.fill(static_cast<std::int64_t>(rows.size()),
                        reinterpret_cast<vantor::KELOPluginSDK::KeloPluginInfo*>(record.data())),
            1);
  EXPECT_EQ(record, std::vector<std::uint8_t>(kInfoRecordBytes, kInfoFill));
}

}  // namespace kelo::test
