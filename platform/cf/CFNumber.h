// Numbers and booleans of the CoreFoundation stand-in.
//
// A number holds either a 64-bit integer (signed, or unsigned above INT64_MAX) or a double.
// Reading it as another type converts; CFNumberGetValue answers false when the conversion
// loses anything (a fraction, a value out of range, digits a double cannot hold), and still
// writes the converted value, clamped to the target's range.
#pragma once

#include "platform/cf/CFBase.h"

struct KeloCFNumber;
struct KeloCFBoolean;
using CFNumberRef = const KeloCFNumber*;
using CFBooleanRef = const KeloCFBoolean*;

using CFNumberType = CFIndex;
enum : CFNumberType {
  kCFNumberSInt8Type = 1,
  kCFNumberSInt16Type = 2,
  kCFNumberSInt32Type = 3,
  kCFNumberSInt64Type = 4,
  kCFNumberFloat32Type = 5,
  kCFNumberFloat64Type = 6,
  kCFNumberCharType = 7,
  kCFNumberShortType = 8,
  kCFNumberIntType = 9,
  kCFNumberLongType = 10,
  kCFNumberLongLongType = 11,
  kCFNumberFloatType = 12,
  kCFNumberDoubleType = 13,
  kCFNumberCFIndexType = 14,
  kCFNumberNSIntegerType = 15,
  kCFNumberCGFloatType = 16,
  kCFNumberMaxType = 16,
};

CFTypeID CFNumberGetTypeID();
/// Null for an unknown type or a null value pointer.
CFNumberRef CFNumberCreate(CFAllocatorRef allocator, CFNumberType type, const void* value);
/// kCFNumberSInt64Type for integers, kCFNumberFloat64Type for doubles.
CFNumberType CFNumberGetType(CFNumberRef number);
Boolean CFNumberIsFloatType(CFNumberRef number);
Boolean CFNumberGetValue(CFNumberRef number, CFNumberType type, void* value);
CFComparisonResult CFNumberCompare(CFNumberRef a, CFNumberRef b, void* context);

CFTypeID CFBooleanGetTypeID();
extern const CFBooleanRef kCFBooleanTrue;
extern const CFBooleanRef kCFBooleanFalse;
Boolean CFBooleanGetValue(CFBooleanRef boolean);

namespace kelo::cf {

/// A number holding an unsigned value (kept exactly, also above INT64_MAX).
CFNumberRef makeUnsignedNumber(UInt64 value);
/// True when the number holds an integer above INT64_MAX (only readable as unsigned).
bool numberIsLargeUnsigned(CFNumberRef number);

}  // namespace kelo::cf
