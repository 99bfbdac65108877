#include <array>
#include <cstdint>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "VNL/source/ProductConf.h"

namespace {

// The block as the engine hosts must carry it, written out byte by byte.
std::array<std::uint8_t, 256> expectedImage() {
  std::array<std::uint8_t, 256> image{};
  auto put32 = [&](std::size_t offset, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) image[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
  };
  auto putText = [&](std::size_t offset, const char* text) {
    std::memcpy(&image[offset], text, std::strlen(text));
  };
  put32(0x00, 0x12345678);
  image[0x08] = 'E'; image[0x09] = 'V'; image[0x0A] = 'U'; image[0x0B] = 'Q';  // "QUVE"
  put32(0x0C, 0);
  put32(0x10, 2);
  put32(0x14, 1);
  put32(0x18, 1);
  put32(0x24, 0);
  put32(0x28, 0);
  putText(0x40, "Sorvelin");
  putText(0x80, "KELO Player");
  image[0xC0] = 1;
  image[0xC1] = 0;
  put32(0xC4, 0);
  put32(0xC8, 32);
  put32(0xCC, 1);
  image[0xD0] = 'e'; image[0xD1] = 'V'; image[0xD2] = 'U'; image[0xD3] = 'Q';  // "QUVe"
  put32(0xFC, 0x87654321);
  return image;
}

TEST(ProductConf, BlockEqualsTheExpectedImage) {
  const auto expected = expectedImage();
  const auto* actual = reinterpret_cast<const std::uint8_t*>(&conf);
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(actual[i], expected[i]) << "offset 0x" << std::hex << i;
  }
}

TEST(ProductConf, FourCharacterCodesPutTheFirstCharacterHighest) {
  EXPECT_EQ(fourCharCode("QUVE"), 0x51555645u);
  EXPECT_EQ(fourCharCode("QUVe"), 0x51555665u);
  EXPECT_EQ(conf.uniqueID, 0x51555645u);
  EXPECT_EQ(conf.multiUniqueID, 0x51555665u);
}

TEST(ProductConf, NamesReadAsCStrings) {
  EXPECT_EQ(std::string(conf.vendorName), "Sorvelin");
  EXPECT_EQ(std::string(conf.productName), "KELO Player");
}

}  // namespace
