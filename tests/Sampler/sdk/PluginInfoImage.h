// The information records of a bundle read as bytes at the offsets the engine reads them at:
// the image a row should leave in a record filled with 0xAA, and the check of every row.
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

/// Every row of the bundle, byte for byte, and the row count; `padded` for 255-byte strings.
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
}

}  // namespace kelo::test
