// What a bundle's fillKeloPluginInfo must write, as a byte image: each row's strings and
// numbers at their offsets and 0xAA (the fill of the record before the call) everywhere else.
// For the tests of every engine plug-in bundle.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "tests/Sampler/sdk/LoadedBundle.h"

namespace kelo::test {

inline constexpr std::uint8_t kFill = 0xAA;
inline constexpr std::size_t kRecordBytes = 4096;

// What one row writes: strings at 0, 512 and 1024; numbers by offset.
struct ExpectedRow {
  std::string identifier, shortName, displayName;
  std::map<std::size_t, std::int32_t> numbers;
};

// Byte image of the record after the call: 0xAA everywhere the row writes nothing.
inline std::vector<std::uint8_t> expectedImage(const ExpectedRow& row, bool padded) {
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

/// Every row's record as a byte image; the index after the last answers 1 and writes nothing.
inline void expectRows(LoadedBundle& bundle, const std::vector<ExpectedRow>& rows, bool padded) {
  ASSERT_TRUE(bundle.ok());
  EXPECT_EQ(bundle.count(), static_cast<std::int32_t>(rows.size()));
  for (std::size_t index = 0; index < rows.size(); ++index) {
    std::vector<std::uint8_t> record(kRecordBytes, kFill);
    EXPECT_EQ(bundle.fill(static_cast<std::int64_t>(index),
                          reinterpret_cast<vantor::KELOPluginSDK::KeloPluginInfo*>(record.data())),
              0);
    const std::vector<std::uint8_t> expected = expectedImage(rows[index], padded);
    for (std::size_t at = 0; at < kRecordBytes; ++at)
      ASSERT_EQ(record[at], expected[at]) << "row " << index << ", byte " << at;
  }
  std::vector<std::uint8_t> untouched(kRecordBytes, kFill);
  EXPECT_EQ(bundle.fill(static_cast<std::int64_t>(rows.size()),
                        reinterpret_cast<vantor::KELOPluginSDK::KeloPluginInfo*>(untouched.data())),
            1);
  EXPECT_EQ(untouched, std::vector<std::uint8_t>(kRecordBytes, kFill));
}

}  // namespace kelo::test
