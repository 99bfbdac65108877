#include <cmath>
#include <cstring>
#include <limits>
#include <map>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "VNL/source/ParameterInfo.h"

namespace {

const float kNaN = std::numeric_limits<float>::quiet_NaN();

// The format pointer sits at a packed offset: read it by value, never bind a reference to it.
const char* formatOf(const ParameterInfo& info) { return info.displayFormat; }

std::string printed(const ParameterInfo& info, float value, int size = 256) {
  std::unique_ptr<char[]> buffer(new char[static_cast<size_t>(size)]);
  std::memset(buffer.get(), '#', static_cast<size_t>(size));
  info.toString(buffer.get(), value, size);
  return std::string(buffer.get());
}

void expectResetValues(const ParameterInfo& info) {
  EXPECT_EQ(info.tag, 1956);
  EXPECT_EQ(info.valueType, 0);
  EXPECT_EQ(info.displayMode, 0);
  EXPECT_EQ(info.flags, 0);
  EXPECT_EQ(info.reservedByte, 0);
  EXPECT_EQ(info.reservedShort, 0);
  EXPECT_EQ(info.minValue, 0.0f);
  EXPECT_EQ(info.maxValue, 1.0f);
  EXPECT_EQ(info.defaultValue, 0.0f);
  EXPECT_EQ(info.factor, 1.0f);
  EXPECT_EQ(info.list, nullptr);
  EXPECT_EQ(info.reservedShortA, -1);
  EXPECT_EQ(info.reservedShortB, -1);
  EXPECT_EQ(formatOf(info), nullptr);
  EXPECT_EQ(info.offset, 0.0f);
}

TEST(ParameterInfo, FreshAndResetRecordsHoldTheResetValues) {
  ParameterInfo info;
  expectResetValues(info);
  EXPECT_EQ(info.label, nullptr);

  info.tag = 3;
  info.valueType = 2;
  info.factor = 9;
  info.reservedShortA = 4;
  info.setLabel("Cutoff");
  info.setList("a|b");
  info.setDisplayFormat("%g Hz");
  info.resetEverythingButLabel();
  expectResetValues(info);
  ASSERT_NE(info.label, nullptr);
  EXPECT_STREQ(info.label, "Cutoff");
  info.reset();
  expectResetValues(info);
  EXPECT_EQ(info.label, nullptr);
}

TEST(ParameterInfo, LayoutReadsBackAtTheSharedOffsets) {
  ParameterInfo info;
  info.valueType = 3;
  info.flags = 0x02;
  info.maxValue = 7.5f;
  info.offset = -2.0f;
  info.setDisplayFormat("%f");
  const auto* bytes = reinterpret_cast<const unsigned char*>(&info);
  std::int32_t i32;
  float f;
  const char* text;
  std::memcpy(&i32, bytes + 0, 4);
  EXPECT_EQ(i32, 1956);
  std::memcpy(&i32, bytes + 4, 4);
  EXPECT_EQ(i32, 3);
  EXPECT_EQ(bytes[12], 0x02);
  std::memcpy(&f, bytes + 20, 4);
  EXPECT_EQ(f, 7.5f);
  std::memcpy(&text, bytes + 52, sizeof text);
  EXPECT_STREQ(text, "%f");
  std::memcpy(&f, bytes + 60, 4);
  EXPECT_EQ(f, -2.0f);
}

TEST(ParameterInfo, SetListStoresOnlyMoreThanOneStep) {
  struct Case {
    const char* text;
    const char* stored;
    float maxValue;
  };
  const Case cases[] = {
      {"a|b|c", "a|b|c", 2.0f}, {"a", nullptr, 5.0f},      {"", nullptr, 5.0f},
      {nullptr, nullptr, 5.0f}, {"a|", "a|", 1.0f},         {"a||b", "a||b", 2.0f},
  };
  for (const Case& c : cases) {
    ParameterInfo info;
    info.minValue = 1;
    info.maxValue = 5;
    info.valueType = 1;
    info.setList(c.text);
    if (c.stored == nullptr) {
      EXPECT_EQ(info.list, nullptr) << (c.text ? c.text : "null");
      EXPECT_EQ(info.minValue, 1.0f);
    } else {
      EXPECT_STREQ(info.list, c.stored);
      EXPECT_EQ(info.minValue, 0.0f);
    }
    EXPECT_EQ(info.maxValue, c.maxValue) << (c.text ? c.text : "null");
    EXPECT_EQ(info.valueType, 1);
  }
}

TEST(ParameterInfo, LabelAndDisplayFormatLimits) {
  ParameterInfo info;
  info.setLabel("");
  EXPECT_EQ(info.label, nullptr);
  info.setLabel("Gain");
  EXPECT_STREQ(info.label, "Gain");
  info.setLabel(nullptr);
  EXPECT_EQ(info.label, nullptr);

  const std::string longest(511, 'x');
  info.setDisplayFormat(longest.c_str());
  ASSERT_NE(formatOf(info), nullptr);
  EXPECT_EQ(std::strlen(info.displayFormat), 511u);
  info.setDisplayFormat(std::string(512, 'x').c_str());
  EXPECT_EQ(formatOf(info), nullptr);
  info.setDisplayFormat("");
  ASSERT_NE(formatOf(info), nullptr);
  EXPECT_STREQ(info.displayFormat, "");
}

TEST(ParameterInfo, AssignmentCopiesEverythingAndSurvivesSelfAssignment) {
  ParameterInfo source;
  source.tag = 77;
  source.valueType = 3;
  source.displayMode = 9;
  source.flags = 0x06;
  source.reservedByte = 5;
  source.reservedShort = -9;
  source.defaultValue = 1;
  source.factor = 3;
  source.setLabel("Mode");
  source.setList("x|y|z");
  source.setDisplayFormat("lo|hi");
  source.reservedShortA = 11;
  source.reservedShortB = 12;
  source.offset = 0.25f;

  ParameterInfo copy(source);
  EXPECT_EQ(copy.tag, 77);
  EXPECT_EQ(copy.displayMode, 9);
  EXPECT_EQ(copy.flags, 0x06);
  EXPECT_EQ(copy.reservedShort, -9);
  EXPECT_EQ(copy.maxValue, 2.0f);
  EXPECT_NE(copy.label, source.label);
  EXPECT_STREQ(copy.label, "Mode");
  EXPECT_STREQ(copy.list, "x|y|z");
  EXPECT_STREQ(copy.displayFormat, "lo|hi");
  EXPECT_EQ(copy.reservedShortA, 11);
  EXPECT_EQ(copy.reservedShortB, 12);
  EXPECT_EQ(copy.offset, 0.25f);

  ParameterInfo& alias = copy;
  copy = alias;
  EXPECT_STREQ(copy.label, "Mode");
  EXPECT_STREQ(copy.list, "x|y|z");
  EXPECT_STREQ(copy.displayFormat, "lo|hi");
  EXPECT_EQ(copy.maxValue, 2.0f);
}

TEST(ParameterInfo, KeywordsMapToDisplayModes) {
  const std::pair<const char*, int> cases[] = {
      {"cformat", 1},          {"cformatoffsetfactor", 1}, {"cformatfactoroffset", 11},
      {"onoffcenter", 2},      {"onoffzero", 3},           {"stereopan", 4},
      {"linear2db", 5},        {"linear2dbconcave", 6},    {"float2midi7", 7},
      {"float2midi14", 8},     {"list", 9},                {"onoffvalue", 10},
      {"fixedstring", 12},     {"List", 0},                {"", 0},
      {"cformat ", 0},
  };
  for (const auto& [text, mode] : cases) {
    EXPECT_EQ(ParameterInfo::getDisplayModeFromText(text), mode) << text;
    EXPECT_EQ(ParameterInfo::getDisplayModeFromText(std::string(text)), mode) << text;
  }
  EXPECT_EQ(ParameterInfo::getDisplayModeFromText(static_cast<const char*>(nullptr)), 0);
}

TEST(ParameterInfo, PackAndUnpackPerValueType) {
  struct Case {
    int type;
    float min, max, offset, factor;
    float engine;  // packed from
    float packed;
    float unit;    // unpacked from
    float unpacked;
  };
  const Case cases[] = {
      {0, 10, 20, 0, 1, 15, 0.5f, 0.25f, 12.5f},
      {1, 0, 3, 0, 1, 1, 1.0f / 3, 0.5f, 2.0f},   // floor(1.5 + 0.5)
      {3, 0, 4, 0, 1, 3, 0.75f, 0.3f, 1.0f},
      {2, 0, 1, -1, 5, -1, 0.0f, 0.0f, -1.0f},
      {2, 0, 1, -1, 5, 3, 1.0f, 0.5f, 5.0f},
      {4, 0, 2, 0, 1, 1, 1.0f, 0.25f, 0.5f},     // packs unchanged, unpacks as continuous
      {5, 0, 2, 0, 1, 1, 1.0f, 0.5f, 1.0f},
      {6, 0, 2, 0, 1, 1, 1.0f, 0.5f, 0.5f},      // unknown type: both unchanged
      {0, 5, 5, 0, 1, 7, 7.0f, 0.5f, 0.5f},      // empty range: unchanged
  };
  for (const Case& c : cases) {
    ParameterInfo info;
    info.valueType = c.type;
    info.minValue = c.min;
    info.maxValue = c.max;
    info.offset = c.offset;
    info.factor = c.factor;
    float v = c.engine;
    info.pack01(v);
    EXPECT_FLOAT_EQ(v, c.packed) << "type " << c.type;
    v = c.unit;
    info.unpack01(v);
    EXPECT_FLOAT_EQ(v, c.unpacked) << "type " << c.type;
  }

  ParameterInfo onOff;
  onOff.valueType = 2;
  onOff.offset = -1;
  onOff.factor = 5;
  float v = kNaN;
  onOff.unpack01(v);
  EXPECT_EQ(v, 5.0f);
  v = -1;
  onOff.pack(v);
  EXPECT_EQ(v, 0.0f);
  v = 0;
  onOff.unpack(v);
  EXPECT_EQ(v, -1.0f);
  ParameterInfo continuous;
  continuous.maxValue = 10;
  v = 0.5f;
  continuous.unpack(v);
  EXPECT_EQ(v, 0.5f);

  ParameterInfo integer;  // NaN and huge values never reach an integer conversion
  integer.valueType = 1;
  integer.maxValue = 3;
  v = kNaN;
  integer.unpack01(v);
  EXPECT_TRUE(std::isnan(v));
  v = 1e30f;
  integer.unpack01(v);
  EXPECT_FLOAT_EQ(v, 3e30f);
}

struct PrintCase {
  int mode;
  int type;
  const char* format;  // display format, or null
  const char* list;    // step names, or null
  float value;
  const char* expected;
};

TEST(ParameterInfo, ToStringPrintsEveryModeExactly) {
  const PrintCase cases[] = {
      {0, 1, nullptr, nullptr, 2.5f, "3"},
      {0, 1, nullptr, nullptr, -2.6f, "-3"},
      {0, 1, nullptr, nullptr, 3e9f, "3000000000"},
      {0, 1, nullptr, nullptr, kNaN, ""},
      {0, 2, nullptr, nullptr, 0.0f, "False"},
      {0, 2, nullptr, nullptr, 0.2f, "True"},
      {0, 3, nullptr, "lo|mid|hi", 1.4f, "mid"},
      {0, 3, nullptr, "lo|mid|hi", 1.6f, "hi"},
      {0, 3, nullptr, "lo|mid|hi", 2.6f, ""},
      {0, 3, nullptr, "lo|mid|hi", -0.6f, ""},
      {0, 3, nullptr, "lo|mid|hi", kNaN, ""},
      {0, 3, nullptr, nullptr, 0.0f, ""},
      {0, 0, nullptr, nullptr, 0.5f, "0.500000"},
      {0, 5, nullptr, nullptr, 2.0f, "2.000000"},
      {0, 7, nullptr, nullptr, 2.0f, ""},
      {1, 0, "%.1f Hz", nullptr, 0.5f, "2.0 Hz"},      // (0.5 + 0.5) * 2
      {1, 0, nullptr, nullptr, 0.5f, "0.500000"},
      {1, 0, "%5.2e", nullptr, 0.0f, "1.00e+00"},
      {1, 0, "fixed", nullptr, 0.0f, "fixed"},
      {1, 0, "100%% %g", nullptr, 0.0f, "100% 1"},
      {1, 0, "%f %f", nullptr, 0.0f, "1.000000"},
      {1, 0, "%*f", nullptr, 0.0f, "1.000000"},
      {1, 0, "%.*f", nullptr, 0.0f, "1.000000"},
      {1, 0, "%Lf", nullptr, 0.0f, "1.000000"},
      {1, 0, "%s", nullptr, 0.0f, "1.000000"},
      {1, 0, "%d", nullptr, 0.0f, "1.000000"},
      {1, 0, "%n", nullptr, 0.0f, "1.000000"},
      {1, 0, "%1$f", nullptr, 0.0f, "1.000000"},
      {1, 0, "%", nullptr, 0.0f, "1.000000"},
      {1, 0, "%lf", nullptr, 0.0f, "1.000000"},
      {11, 0, "%.2f", nullptr, 0.5f, "1.50"},           // 0.5 * 2 + 0.5
      {11, 0, "%s%s", nullptr, 0.5f, "1.500000"},
      {2, 0, nullptr, nullptr, 0.49f, "Off"},
      {2, 0, nullptr, nullptr, 0.5f, "On"},
      {3, 0, nullptr, nullptr, 0.0f, "Off"},
      {3, 0, nullptr, nullptr, kNaN, "On"},
      {4, 0, nullptr, nullptr, 0.5f, "C"},
      {4, 0, nullptr, nullptr, 0.25f, " 50% L"},
      {4, 0, nullptr, nullptr, 1.0f, "100% R"},
      {4, 0, nullptr, nullptr, 0.505f, "C"},
      {5, 0, nullptr, nullptr, 0.0f, "-oo dB"},
      {5, 0, nullptr, nullptr, 1.0f, "0 dB"},
      {5, 0, nullptr, nullptr, 0.1f, "-20 dB"},
      {5, 0, nullptr, nullptr, 2.0f, " +6 dB"},
      {6, 0, nullptr, nullptr, 0.0000005f, "-oo dB"},
      {6, 0, nullptr, nullptr, 0.999995f, "0 dB"},
      {6, 0, nullptr, nullptr, 0.1f, "-40 dB"},
      {7, 0, nullptr, nullptr, 0.5f, "064"},
      {7, 0, nullptr, nullptr, 1.0f, "127"},
      {7, 0, nullptr, nullptr, 1.01f, "000"},
      {7, 0, nullptr, nullptr, 3e20f, "000"},
      {8, 0, nullptr, nullptr, 0.0f, "08192"},
      {8, 0, nullptr, nullptr, 2.0f, "16383"},
      {8, 0, nullptr, nullptr, -1.0f, "00000"},
      {9, 0, "lo|mid|hi", nullptr, 0.1f, "lo"},
      {9, 0, "lo|mid|hi", nullptr, 0.3f, "mid"},
      {9, 0, "lo|mid|hi", nullptr, 0.5f, "hi"},
      {9, 0, "lo|mid|hi", nullptr, 1.0f, "hi"},
      {9, 0, "lo|mid|hi", nullptr, 1.2f, ""},
      {9, 0, "lo|mid|hi", nullptr, -0.5f, ""},
      {9, 0, "lo|mid|hi", nullptr, kNaN, ""},
      {9, 0, "single", nullptr, 0.25f, "0.250000"},
      {9, 0, nullptr, nullptr, 0.25f, "0.250000"},
      {10, 0, nullptr, nullptr, 0.0f, "Off"},
      {10, 0, nullptr, nullptr, 0.5f, "On"},
      {10, 0, nullptr, nullptr, kNaN, "On"},
      {12, 0, "Bypass", nullptr, 0.0f, "Bypass"},
      {12, 0, nullptr, nullptr, 0.0f, ""},
      {13, 0, nullptr, nullptr, 0.0f, ""},
      {-1, 0, nullptr, nullptr, 0.0f, ""},
  };
  for (const PrintCase& c : cases) {
    ParameterInfo info;
    info.displayMode = c.mode;
    info.valueType = c.type;
    if (c.mode == 1 || c.mode == 11) {
      info.offset = 0.5f;
      info.factor = 2.0f;
    }
    info.setDisplayFormat(c.format);
    info.setList(c.list);
    EXPECT_EQ(printed(info, c.value), c.expected)
        << "mode " << c.mode << " type " << c.type << " value " << c.value << " format "
        << (c.format ? c.format : "null");
  }
}

TEST(ParameterInfo, ToStringNeverWritesPastTheGivenSize) {
  const std::string longName(300, 'n');
  const std::string names = longName + "|" + longName;
  const std::string format = "%.3f " + longName;
  const PrintCase cases[] = {
      {0, 1, nullptr, nullptr, 123456789.0f, nullptr},
      {0, 2, nullptr, nullptr, 0.0f, nullptr},
      {0, 3, nullptr, names.c_str(), 0.0f, nullptr},
      {0, 0, nullptr, nullptr, 1e30f, nullptr},
      {1, 0, format.c_str(), nullptr, 1e30f, nullptr},
      {1, 0, nullptr, nullptr, 1e30f, nullptr},
      {2, 0, nullptr, nullptr, 0.0f, nullptr},
      {4, 0, nullptr, nullptr, 1e30f, nullptr},
      {5, 0, nullptr, nullptr, 1e30f, nullptr},
      {6, 0, nullptr, nullptr, 0.5f, nullptr},
      {7, 0, nullptr, nullptr, 0.5f, nullptr},
      {8, 0, nullptr, nullptr, 0.5f, nullptr},
      {9, 0, names.c_str(), nullptr, 0.0f, nullptr},
      {9, 0, "a", nullptr, 1e30f, nullptr},
      {10, 0, nullptr, nullptr, 1.0f, nullptr},
      {11, 0, format.c_str(), nullptr, 1e30f, nullptr},
      {12, 0, format.c_str(), nullptr, 0.0f, nullptr},
  };
  for (const PrintCase& c : cases) {
    ParameterInfo info;
    info.displayMode = c.mode;
    info.valueType = c.type;
    info.setDisplayFormat(c.format);
    info.setList(c.list);
    // Exactly 8 bytes on the heap: AddressSanitizer reports any write beyond them.
    const std::string text = printed(info, c.value, 8);
    EXPECT_LE(text.size(), 7u) << "mode " << c.mode;
    char untouched = 'u';
    info.toString(&untouched, c.value, 0);
    EXPECT_EQ(untouched, 'u');
  }
  ParameterInfo fixed;
  fixed.displayMode = 12;
  fixed.setDisplayFormat("Bypassed");
  EXPECT_EQ(printed(fixed, 0, 8), "Bypasse");
  EXPECT_EQ(printed(fixed, 0, 1), "");
}

TEST(ParameterInfo, MergeCreatesMissingEntriesAndAssignsExistingOnes) {
  std::map<std::uint16_t, ParameterInfo> target;
  target[1].setLabel("old");
  target[1].valueType = 2;
  std::map<std::uint16_t, ParameterInfo> source;
  source[1].setLabel("new");
  source[65535].setList("a|b");
  mergeParamInfo(target, source);
  ASSERT_EQ(target.size(), 2u);
  EXPECT_STREQ(target[1].label, "new");
  EXPECT_EQ(target[1].valueType, 0);
  EXPECT_STREQ(target[65535].list, "a|b");
  EXPECT_EQ(source.size(), 2u);
}

}  // namespace
