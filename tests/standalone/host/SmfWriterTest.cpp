#include <gtest/gtest.h>

#include "tests/support/SmfWriter.h"

namespace {

using kelo::test::bytesOf;

TEST(SmfWriter, VariableLengthQuantitiesAsTheFileFormatDefinesThem) {
  struct Row {
    std::uint64_t value;
    std::string bytes;
  };
  const Row rows[] = {
      {0x00, bytesOf({0x00})},
      {0x40, bytesOf({0x40})},
      {0x7F, bytesOf({0x7F})},
      {0x80, bytesOf({0x81, 0x00})},
      {0x2000, bytesOf({0xC0, 0x00})},
      {0x3FFF, bytesOf({0xFF, 0x7F})},
      {0x4000, bytesOf({0x81, 0x80, 0x00})},
      {0x100000, bytesOf({0xC0, 0x80, 0x00})},
      {0x1FFFFF, bytesOf({0xFF, 0xFF, 0x7F})},
      {0x200000, bytesOf({0x81, 0x80, 0x80, 0x00})},
      {0x0FFFFFFF, bytesOf({0xFF, 0xFF, 0xFF, 0x7F})},
  };
  for (const Row& row : rows) EXPECT_EQ(kelo::test::smfVarLen(row.value), row.bytes) << row.value;
}

TEST(SmfWriter, WritesHeaderAndTrackChunksWithDeltaTimes) {
  kelo::test::SmfTrack track;
  track.noteOff(200, 1, 60, 64).noteOn(0, 1, 60, 100).tempoMicros(0, 500000);
  const std::string expected =
      bytesOf({'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1, 0, 1, 0x01, 0xE0}) +
      bytesOf({'M', 'T', 'r', 'k', 0, 0, 0, 20}) +
      bytesOf({0x00, 0x91, 60, 100}) +                  // events in tick order
      bytesOf({0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20}) +
      bytesOf({0x81, 0x48, 0x81, 60, 64}) +             // delta 200
      bytesOf({0x00, 0xFF, 0x2F, 0x00});                // end of track at the last event
  EXPECT_EQ(kelo::test::smfFile(1, 480, {track}), expected);
}

}  // namespace
