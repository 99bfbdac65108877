// Reference counts, numbers, booleans, data, arrays and insertion-ordered dictionaries.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "platform/cf/CoreFoundation.h"

namespace {

CFNumberRef makeInt(SInt64 v) { return CFNumberCreate(nullptr, kCFNumberSInt64Type, &v); }
CFNumberRef makeDouble(double v) { return CFNumberCreate(nullptr, kCFNumberFloat64Type, &v); }

TEST(Objects, RetainAndReleaseCountReferences) {
  CFStringRef s = kelo::cf::makeString("x");
  EXPECT_EQ(CFGetRetainCount(s), 1);
  EXPECT_EQ(CFRetain(s), s);
  EXPECT_EQ(CFGetRetainCount(s), 2);
  CFRelease(s);
  EXPECT_EQ(CFGetRetainCount(s), 1);
  CFRelease(s);  // freed: AddressSanitizer reports a leak otherwise
  CFRelease(nullptr);
  EXPECT_EQ(CFGetTypeID(nullptr), 0u);
}

TEST(Numbers, ReadingAsAnotherTypeReportsLoss) {
  struct Case {
    CFNumberRef number;
    CFNumberType type;
    bool exact;
    double value;  // what was written, as a double
  };
  const std::vector<Case> cases = {
      {makeInt(48000), kCFNumberSInt32Type, true, 48000},
      {makeInt(std::int64_t{1} << 40), kCFNumberSInt32Type, false, INT32_MAX},
      {makeInt(-(std::int64_t{1} << 40)), kCFNumberSInt32Type, false, INT32_MIN},
      {makeInt(300), kCFNumberSInt8Type, false, 127},
      {makeDouble(1.5), kCFNumberSInt32Type, false, 1},
      {makeDouble(2.0), kCFNumberSInt32Type, true, 2},
      {makeDouble(-2.0), kCFNumberIntType, true, -2},
      {makeDouble(1e300), kCFNumberSInt64Type, false, 9223372036854775807.0},
      {makeDouble(NAN), kCFNumberSInt32Type, false, 0},
      {makeInt((std::int64_t{1} << 53) + 1), kCFNumberFloat64Type, false, 9007199254740992.0},
      {makeInt(7), kCFNumberDoubleType, true, 7},
      {makeDouble(0.1), kCFNumberFloat32Type, false, static_cast<double>(0.1f)},
      {kelo::cf::makeUnsignedNumber(UINT64_MAX), kCFNumberSInt64Type, false, 9223372036854775807.0},
  };
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const Case& c = cases[i];
    double written = 0;
    if (c.type == kCFNumberFloat64Type || c.type == kCFNumberDoubleType) {
      double v = 0;
      EXPECT_EQ(bool(CFNumberGetValue(c.number, c.type, &v)), c.exact) << "case " << i;
      written = v;
    } else if (c.type == kCFNumberFloat32Type) {
      float v = 0;
      EXPECT_EQ(bool(CFNumberGetValue(c.number, c.type, &v)), c.exact) << "case " << i;
      written = v;
    } else if (c.type == kCFNumberSInt8Type) {
      SInt8 v = 0;
      EXPECT_EQ(bool(CFNumberGetValue(c.number, c.type, &v)), c.exact) << "case " << i;
      written = v;
    } else if (c.type == kCFNumberSInt64Type) {
      SInt64 v = 0;
      EXPECT_EQ(bool(CFNumberGetValue(c.number, c.type, &v)), c.exact) << "case " << i;
      written = static_cast<double>(v);
    } else {
      SInt32 v = 0;
      EXPECT_EQ(bool(CFNumberGetValue(c.number, c.type, &v)), c.exact) << "case " << i;
      written = v;
    }
    EXPECT_EQ(written, c.value) << "case " << i;
    CFRelease(c.number);
  }
}

TEST(Numbers, EqualValuesAreEqualWhateverTheirKind) {
  CFNumberRef one = makeInt(1);
  CFNumberRef oneReal = makeDouble(1.0);
  CFNumberRef half = makeDouble(0.5);
  EXPECT_TRUE(CFEqual(one, oneReal));
  EXPECT_EQ(CFHash(one), CFHash(oneReal));
  EXPECT_FALSE(CFEqual(one, half));
  EXPECT_FALSE(CFEqual(one, kCFBooleanTrue));
  EXPECT_EQ(CFNumberGetType(one), kCFNumberSInt64Type);
  EXPECT_TRUE(CFNumberIsFloatType(half));
  for (CFTypeRef n : {one, oneReal, half}) CFRelease(n);
}

TEST(Values, BooleansAndData) {
  EXPECT_TRUE(CFBooleanGetValue(kCFBooleanTrue));
  EXPECT_FALSE(CFBooleanGetValue(kCFBooleanFalse));
  EXPECT_EQ(CFGetTypeID(kCFBooleanTrue), CFBooleanGetTypeID());
  const UInt8 bytes[] = {0, 1, 0xFF};
  CFDataRef data = CFDataCreate(nullptr, bytes, 3);
  ASSERT_EQ(CFDataGetLength(data), 3);
  EXPECT_EQ(CFDataGetBytePtr(data)[2], 0xFF);
  CFDataRef same = CFDataCreate(nullptr, bytes, 3);
  EXPECT_TRUE(CFEqual(data, same));
  CFRelease(same);
  CFRelease(data);
}

TEST(Arrays, HoldRetainedValuesAndIgnoreBadIndices) {
  CFMutableArrayRef array = CFArrayCreateMutable(nullptr, 0, &kCFTypeArrayCallBacks);
  CFStringRef s = kelo::cf::makeString("a");
  CFArrayAppendValue(array, s);
  EXPECT_EQ(CFGetRetainCount(s), 2);
  CFArrayAppendValue(array, nullptr);
  CFArrayInsertValueAtIndex(array, 0, kCFBooleanTrue);
  CFArrayInsertValueAtIndex(array, 5, kCFBooleanTrue);
  ASSERT_EQ(CFArrayGetCount(array), 2);
  EXPECT_EQ(CFArrayGetValueAtIndex(array, 0), kCFBooleanTrue);
  EXPECT_EQ(CFArrayGetValueAtIndex(array, 1), s);
  EXPECT_EQ(CFArrayGetValueAtIndex(array, 2), nullptr);
  EXPECT_EQ(CFArrayGetValueAtIndex(array, -1), nullptr);
  CFArrayRemoveValueAtIndex(array, 1);
  EXPECT_EQ(CFGetRetainCount(s), 1);
  CFRelease(s);
  CFRelease(array);
}

TEST(Dictionaries, KeepInsertionOrderAndTheFirstPlaceOfAKey) {
  CFMutableDictionaryRef d = CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks,
                                                       &kCFTypeDictionaryValueCallBacks);
  const std::vector<std::string> names = {"zeta", "alpha", "mid", "beta", "omega"};
  for (const auto& name : names) {
    CFStringRef key = kelo::cf::makeString(name);
    CFDictionarySetValue(d, key, key);
    CFRelease(key);
  }
  CFDictionarySetValue(d, CFSTR("alpha"), kCFBooleanTrue);  // same place, new value
  CFDictionaryRemoveValue(d, CFSTR("mid"));
  CFDictionaryAddValue(d, CFSTR("zeta"), kCFBooleanFalse);  // present: no change
  CFDictionaryReplaceValue(d, CFSTR("absent"), kCFBooleanFalse);  // absent: no change
  CFDictionarySetValue(d, CFSTR("mid"), kCFBooleanFalse);  // back, now at the end

  ASSERT_EQ(CFDictionaryGetCount(d), 5);
  std::vector<const void*> keys(5), values(5);
  CFDictionaryGetKeysAndValues(d, keys.data(), values.data());
  const std::vector<std::string> order = {"zeta", "alpha", "beta", "omega", "mid"};
  for (std::size_t i = 0; i < order.size(); ++i)
    EXPECT_EQ(kelo::cf::utf8(static_cast<CFStringRef>(keys[i])), order[i]) << i;
  EXPECT_EQ(CFDictionaryGetValue(d, CFSTR("alpha")), kCFBooleanTrue);
  EXPECT_TRUE(CFEqual(CFDictionaryGetValue(d, CFSTR("zeta")), CFSTR("zeta")));
  EXPECT_EQ(CFDictionaryGetValue(d, CFSTR("absent")), nullptr);
  // Keys are matched by value, not by address.
  CFStringRef omega = kelo::cf::makeString("omega");
  EXPECT_TRUE(CFDictionaryContainsKey(d, omega));
  CFRelease(omega);

  CFMutableDictionaryRef copy = CFDictionaryCreateMutableCopy(nullptr, 0, d);
  EXPECT_TRUE(CFEqual(copy, d));
  CFDictionaryRemoveValue(copy, CFSTR("zeta"));
  EXPECT_FALSE(CFEqual(copy, d));
  EXPECT_EQ(CFDictionaryGetCount(d), 5);
  CFRelease(copy);
  CFRelease(d);
}

TEST(Dictionaries, ManyKeysStayFindable) {
  CFMutableDictionaryRef d = CFDictionaryCreateMutable(nullptr, 0, nullptr, nullptr);
  for (int i = 0; i < 2000; ++i) {
    CFNumberRef key = makeInt(i);
    CFDictionarySetValue(d, key, key);
    CFRelease(key);
  }
  for (int i = 0; i < 2000; i += 2) {
    CFNumberRef key = makeDouble(i);  // equal to the integer key
    CFDictionaryRemoveValue(d, key);
    CFRelease(key);
  }
  EXPECT_EQ(CFDictionaryGetCount(d), 1000);
  CFNumberRef probe = makeInt(1999);
  EXPECT_TRUE(CFDictionaryContainsKey(d, probe));
  CFRelease(probe);
  CFRelease(d);
}

}  // namespace
