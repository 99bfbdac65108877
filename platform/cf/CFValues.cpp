// Numbers, booleans, data blocks and dates of the stand-in.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <string_view>

#include "platform/cf/CFData.h"
#include "platform/cf/CFNumber.h"
#include "platform/cf/CFObject.h"

using kelo::cf::detail::as;
using Kind = KeloCFNumber::Kind;

namespace {

constexpr double kTwoTo63 = 9223372036854775808.0;

bool isIntegerType(CFNumberType t) {
  return t != kCFNumberFloat32Type && t != kCFNumberFloat64Type && t != kCFNumberFloatType &&
         t != kCFNumberDoubleType && t != kCFNumberCGFloatType;
}

// Bytes and signedness of an integer type; 0 bytes for unknown types.
int integerSize(CFNumberType t) {
  switch (t) {
    case kCFNumberSInt8Type:
    case kCFNumberCharType:
      return 1;
    case kCFNumberSInt16Type:
    case kCFNumberShortType:
      return 2;
    case kCFNumberSInt32Type:
    case kCFNumberIntType:
      return 4;
    case kCFNumberSInt64Type:
    case kCFNumberLongType:
    case kCFNumberLongLongType:
    case kCFNumberCFIndexType:
    case kCFNumberNSIntegerType:
      return 8;
    default:
      return 0;
  }
}

bool isFloatType(CFNumberType t) {
  return t == kCFNumberFloat32Type || t == kCFNumberFloat64Type || t == kCFNumberFloatType ||
         t == kCFNumberDoubleType || t == kCFNumberCGFloatType;
}

bool isFloat32(CFNumberType t) { return t == kCFNumberFloat32Type || t == kCFNumberFloatType; }

SInt64 readSigned(const void* value, int size) {
  switch (size) {
    case 1: { SInt8 v; std::memcpy(&v, value, 1); return v; }
    case 2: { SInt16 v; std::memcpy(&v, value, 2); return v; }
    case 4: { SInt32 v; std::memcpy(&v, value, 4); return v; }
    default: { SInt64 v; std::memcpy(&v, value, 8); return v; }
  }
}

void writeSigned(void* value, int size, SInt64 v) {
  switch (size) {
    case 1: { auto x = static_cast<SInt8>(v); std::memcpy(value, &x, 1); break; }
    case 2: { auto x = static_cast<SInt16>(v); std::memcpy(value, &x, 2); break; }
    case 4: { auto x = static_cast<SInt32>(v); std::memcpy(value, &x, 4); break; }
    default: std::memcpy(value, &v, 8); break;
  }
}

SInt64 minimumOf(int size) { return size == 8 ? std::numeric_limits<SInt64>::min() : -(SInt64{1} << (8 * size - 1)); }
SInt64 maximumOf(int size) { return size == 8 ? std::numeric_limits<SInt64>::max() : (SInt64{1} << (8 * size - 1)) - 1; }

// The number's value as a long double (exact for every integer and double it can hold).
long double wide(const KeloCFNumber& n) {
  switch (n.kind) {
    case Kind::Signed: return static_cast<long double>(n.integer);
    case Kind::LargeUnsigned: return static_cast<long double>(n.unsignedValue);
    default: return static_cast<long double>(n.real);
  }
}

}  // namespace

bool KeloCFNumber::equals(const Object& other) const {
  const auto* n = as<KeloCFNumber>(&other);
  if (!n) return false;
  if (kind == Kind::Double && std::isnan(real)) return n->kind == Kind::Double && std::isnan(n->real);
  return wide(*this) == wide(*n);
}

CFHashCode KeloCFNumber::hash() const {
  // Equal values hash alike whatever their kind.
  const long double v = wide(*this);
  if (v >= -kTwoTo63 && v < kTwoTo63 && v == std::trunc(v))
    return std::hash<SInt64>{}(static_cast<SInt64>(v));
  if (kind == Kind::LargeUnsigned) return std::hash<UInt64>{}(unsignedValue);
  return std::hash<double>{}(real);
}

CFTypeID CFNumberGetTypeID() { return KeloCFNumber::kTypeID; }

CFNumberRef CFNumberCreate(CFAllocatorRef, CFNumberType type, const void* value) {
  if (!value) return nullptr;
  if (isFloatType(type)) {
    double d;
    if (isFloat32(type)) {
      float f;
      std::memcpy(&f, value, sizeof f);
      d = f;
    } else {
      std::memcpy(&d, value, sizeof d);
    }
    return new KeloCFNumber(Kind::Double, 0, 0, d);
  }
  const int size = integerSize(type);
  if (!size) return nullptr;
  return new KeloCFNumber(Kind::Signed, readSigned(value, size), 0, 0.0);
}

CFNumberType CFNumberGetType(CFNumberRef number) {
  const auto* n = as<KeloCFNumber>(number);
  if (!n) return 0;
  return n->kind == Kind::Double ? kCFNumberFloat64Type : kCFNumberSInt64Type;
}

Boolean CFNumberIsFloatType(CFNumberRef number) {
  const auto* n = as<KeloCFNumber>(number);
  return n && n->kind == Kind::Double;
}

Boolean CFNumberGetValue(CFNumberRef number, CFNumberType type, void* value) {
  const auto* n = as<KeloCFNumber>(number);
  if (!n || !value) return false;
  if (isFloatType(type)) {
    const long double v = wide(*n);
    if (isFloat32(type)) {
      const auto f = static_cast<float>(v);
      std::memcpy(value, &f, sizeof f);
      return std::isnan(v) || static_cast<long double>(f) == v;
    }
    const auto d = static_cast<double>(v);
    std::memcpy(value, &d, sizeof d);
    return std::isnan(v) || static_cast<long double>(d) == v;
  }
  const int size = integerSize(type);
  if (!size || !isIntegerType(type)) return false;
  const SInt64 lo = minimumOf(size);
  const SInt64 hi = maximumOf(size);
  SInt64 result;
  bool exact;
  switch (n->kind) {
    case Kind::Signed:
      result = std::clamp(n->integer, lo, hi);
      exact = result == n->integer;
      break;
    case Kind::LargeUnsigned:
      result = hi;
      exact = false;
      break;
    default: {
      const double d = n->real;
      if (std::isnan(d)) {
        result = 0;
        exact = false;
      } else if (d <= static_cast<double>(lo)) {
        result = lo;
        exact = d == static_cast<double>(lo);
      } else if (d >= static_cast<double>(hi)) {
        // Beyond 2^53 the maximum may not be a double; compare in long double.
        result = hi;
        exact = static_cast<long double>(d) == static_cast<long double>(hi);
      } else {
        result = static_cast<SInt64>(d);
        exact = static_cast<double>(result) == d;
      }
    }
  }
  writeSigned(value, size, result);
  return exact;
}

CFComparisonResult CFNumberCompare(CFNumberRef a, CFNumberRef b, void*) {
  const auto* na = as<KeloCFNumber>(a);
  const auto* nb = as<KeloCFNumber>(b);
  if (!na || !nb) return kCFCompareEqualTo;
  const long double va = wide(*na);
  const long double vb = wide(*nb);
  return va < vb ? kCFCompareLessThan : va > vb ? kCFCompareGreaterThan : kCFCompareEqualTo;
}

namespace kelo::cf {

CFNumberRef makeUnsignedNumber(UInt64 value) {
  if (value <= static_cast<UInt64>(std::numeric_limits<SInt64>::max()))
    return new KeloCFNumber(Kind::Signed, static_cast<SInt64>(value), 0, 0.0);
  return new KeloCFNumber(Kind::LargeUnsigned, 0, value, 0.0);
}

bool numberIsLargeUnsigned(CFNumberRef number) {
  const auto* n = as<KeloCFNumber>(number);
  return n && n->kind == Kind::LargeUnsigned;
}

}  // namespace kelo::cf

namespace {
const KeloCFBoolean gTrue(true);
const KeloCFBoolean gFalse(false);
}  // namespace

const CFBooleanRef kCFBooleanTrue = &gTrue;
const CFBooleanRef kCFBooleanFalse = &gFalse;

CFTypeID CFBooleanGetTypeID() { return KeloCFBoolean::kTypeID; }

Boolean CFBooleanGetValue(CFBooleanRef boolean) {
  const auto* b = as<KeloCFBoolean>(boolean);
  return b && b->value;
}

bool KeloCFData::equals(const Object& other) const {
  const auto* d = as<KeloCFData>(&other);
  return d && d->bytes == bytes;
}

CFHashCode KeloCFData::hash() const {
  return std::hash<std::string_view>{}(
      std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

CFTypeID CFDataGetTypeID() { return KeloCFData::kTypeID; }

CFDataRef CFDataCreate(CFAllocatorRef, const UInt8* bytes, CFIndex count) {
  if (count < 0 || (!bytes && count)) return nullptr;
  return new KeloCFData(std::vector<UInt8>(bytes, bytes + count));
}

CFIndex CFDataGetLength(CFDataRef data) {
  const auto* d = as<KeloCFData>(data);
  return d ? static_cast<CFIndex>(d->bytes.size()) : 0;
}

const UInt8* CFDataGetBytePtr(CFDataRef data) {
  const auto* d = as<KeloCFData>(data);
  return d && !d->bytes.empty() ? d->bytes.data() : nullptr;
}

void CFDataGetBytes(CFDataRef data, CFRange range, UInt8* buffer) {
  const auto* d = as<KeloCFData>(data);
  if (!d || !buffer || range.location < 0 || range.length <= 0) return;
  const auto size = static_cast<CFIndex>(d->bytes.size());
  if (range.location >= size) return;
  std::copy_n(d->bytes.begin() + range.location, std::min(range.length, size - range.location),
              buffer);
}

bool KeloCFDate::equals(const Object& other) const {
  const auto* d = as<KeloCFDate>(&other);
  return d && d->at == at;
}

CFHashCode KeloCFDate::hash() const { return std::hash<double>{}(at); }

CFTypeID CFDateGetTypeID() { return KeloCFDate::kTypeID; }

CFDateRef CFDateCreate(CFAllocatorRef, CFAbsoluteTime at) { return new KeloCFDate(at); }

CFAbsoluteTime CFDateGetAbsoluteTime(CFDateRef date) {
  const auto* d = as<KeloCFDate>(date);
  return d ? d->at : 0.0;
}
