// The build-time product configuration block every engine host carries (KeloDeck, KeloUnit,
// KeloRack; the support tool has none). Vendor and product names, plug-in identifiers, channel
// counts and capabilities are read directly from the fields; nothing writes the block at run
// time. The layout is fixed to the byte: 256 bytes, little-endian, framed by two markers.
//
// `conf` is defined in its own library (`vnl_conf`, VNL/source/conf) so that the common
// library never depends on it and a test can link a configuration of its own instead.
#pragma once

#include <cstddef>
#include <cstdint>

/// A four-character code with its first character in the most significant byte.
constexpr std::uint32_t fourCharCode(const char (&code)[5]) {
  return (static_cast<std::uint32_t>(static_cast<unsigned char>(code[0])) << 24) |
         (static_cast<std::uint32_t>(static_cast<unsigned char>(code[1])) << 16) |
         (static_cast<std::uint32_t>(static_cast<unsigned char>(code[2])) << 8) |
         static_cast<std::uint32_t>(static_cast<unsigned char>(code[3]));
}

inline constexpr std::uint32_t kProductConfBeginMarker = 0x12345678u;
inline constexpr std::uint32_t kProductConfEndMarker = 0x87654321u;
/// Width of the two name fields, terminating NUL included.
inline constexpr std::size_t kProductConfNameSize = 64;

struct ProductConf {
  std::uint32_t beginMarker;
  std::uint32_t reserved04;
  std::uint32_t uniqueID;  ///< VST identifier of the default (non-multi-output) build
  std::uint32_t numInputs;
  std::uint32_t numOutputs;
  std::uint32_t receivesMIDI;
  std::uint32_t sendsMIDI;
  std::uint32_t numPrograms;
  std::uint32_t reserved20;
  std::uint32_t numParams;  ///< plug-ins expose and accept parameter indices below this only
  std::uint32_t isEffect;   ///< 0: the VST plug-in declares itself an instrument
  std::uint8_t reserved2C[20];
  char vendorName[kProductConfNameSize];   ///< NUL-terminated, zero-padded
  char productName[kProductConfNameSize];  ///< NUL-terminated, zero-padded
  std::uint8_t multiCapable;  ///< the build offers a multi-output configuration
  std::uint8_t multiActive;   ///< this build runs as the multi-output build
  std::uint8_t reservedC2[2];
  std::uint32_t multiNumInputs;
  std::uint32_t multiNumOutputs;
  std::uint32_t reservedCC;  ///< always 1
  std::uint32_t multiUniqueID;
  std::uint8_t reservedD4[40];
  std::uint32_t endMarker;
};

static_assert(sizeof(ProductConf) == 256);
static_assert(alignof(ProductConf) == 4);
static_assert(offsetof(ProductConf, beginMarker) == 0x00);
static_assert(offsetof(ProductConf, reserved04) == 0x04);
static_assert(offsetof(ProductConf, uniqueID) == 0x08);
static_assert(offsetof(ProductConf, numInputs) == 0x0C);
static_assert(offsetof(ProductConf, numOutputs) == 0x10);
static_assert(offsetof(ProductConf, receivesMIDI) == 0x14);
static_assert(offsetof(ProductConf, sendsMIDI) == 0x18);
static_assert(offsetof(ProductConf, numPrograms) == 0x1C);
static_assert(offsetof(ProductConf, reserved20) == 0x20);
static_assert(offsetof(ProductConf, numParams) == 0x24);
static_assert(offsetof(ProductConf, isEffect) == 0x28);
static_assert(offsetof(ProductConf, reserved2C) == 0x2C);
static_assert(offsetof(ProductConf, vendorName) == 0x40);
static_assert(offsetof(ProductConf, productName) == 0x80);
static_assert(offsetof(ProductConf, multiCapable) == 0xC0);
static_assert(offsetof(ProductConf, multiActive) == 0xC1);
static_assert(offsetof(ProductConf, reservedC2) == 0xC2);
static_assert(offsetof(ProductConf, multiNumInputs) == 0xC4);
static_assert(offsetof(ProductConf, multiNumOutputs) == 0xC8);
static_assert(offsetof(ProductConf, reservedCC) == 0xCC);
static_assert(offsetof(ProductConf, multiUniqueID) == 0xD0);
static_assert(offsetof(ProductConf, reservedD4) == 0xD4);
static_assert(offsetof(ProductConf, endMarker) == 0xFC);

/// The configuration of this product build; defined once per host deliverable.
extern const ProductConf conf;
