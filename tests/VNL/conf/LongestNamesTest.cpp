// A product block of its own whose vendor and product names take their fields' 63 characters,
// read as the hosts read them: the block keeps each name's terminator, so the C string ends
// there and not in the next field.
#include <sys/stat.h>

#include <cstdint>
#include <string>

#include <gtest/gtest.h>

#include "VNL/source/FileUtils.h"
#include "VNL/source/ProductConf.h"
#include "tests/support/ScopedEnvironment.h"
#include "tests/support/TempDir.h"

#define KELO_VENDOR_63 "Vendor-of-sixty-three-characters-abcdefghijklmnopqrstuvwxyz0123"
#define KELO_PRODUCT_63 "Product-of-sixty-three-characters-abcdefghijklmnopqrstuvwxyz012"

const ProductConf conf = {
    .beginMarker = kProductConfBeginMarker,
    .reserved04 = 0,
    .uniqueID = fourCharCode("QUVE"),
    .numInputs = 0,
    .numOutputs = 2,
    .receivesMIDI = 0,
    .sendsMIDI = 0,
    .numPrograms = 0,
    .reserved20 = 0,
    .numParams = 0,
    .isEffect = 0,
    .reserved2C = {},
    .vendorName = KELO_VENDOR_63,
    .productName = KELO_PRODUCT_63,
    .multiCapable = 1,  // right after the product name: a missing terminator would show it
    .multiActive = 1,
    .reservedC2 = {},
    .multiNumInputs = 0,
    .multiNumOutputs = 0,
    .reservedCC = 1,
    .multiUniqueID = fourCharCode("QUVe"),
    .reservedD4 = {},
    .endMarker = kProductConfEndMarker,
};

namespace {

static_assert(sizeof(KELO_VENDOR_63) == 64 && sizeof(KELO_PRODUCT_63) == 64);

TEST(ProductConf, SixtyThreeCharacterNameKeepsItsTerminator) {
  const auto* image = reinterpret_cast<const std::uint8_t*>(&conf);
  EXPECT_EQ(image[0x40 + 63], 0);
  EXPECT_EQ(image[0x80 + 63], 0);
  EXPECT_EQ(image[0xC0], 1);

  // The hosts' application-support folder is named from the two names as C strings.
  kelo::test::TempDir data;
  kelo::test::ScopedEnvironment environment;
  environment.set("XDG_DATA_HOME", data.path());
  const std::string folder = setUserPathVendorProduct(conf.vendorName, conf.productName);
  EXPECT_EQ(folder, data.path() + "/" KELO_VENDOR_63 "/" KELO_PRODUCT_63);
  struct stat facts {};
  EXPECT_EQ(::stat(folder.c_str(), &facts), 0);
  EXPECT_TRUE(S_ISDIR(facts.st_mode));
}

}  // namespace
