// Base types and the reference-counting calls of the CoreFoundation stand-in.
//
// Every object is reference counted with an atomic count: whoever creates or copies an object
// (a call with Create or Copy in its name) owns one reference and releases it with CFRelease;
// a Get call hands out a reference the caller does not own. Retain and release may be called
// from any thread; a single object is otherwise not meant to be mutated from two threads.
// Constant objects (CFSTR literals, kCFBooleanTrue/False, the main bundle) are never freed.
// Calls given a null object answer null, 0 or false instead of crashing.
#pragma once

#include <cstddef>
#include <cstdint>

using Boolean = unsigned char;
using UInt8 = std::uint8_t;
using SInt8 = std::int8_t;
using UInt16 = std::uint16_t;
using SInt16 = std::int16_t;
using UInt32 = std::uint32_t;
using SInt32 = std::int32_t;
using UInt64 = std::uint64_t;
using SInt64 = std::int64_t;
using Float32 = float;
using Float64 = double;
using UniChar = std::uint16_t;

using CFIndex = long;
using CFTypeID = unsigned long;
using CFOptionFlags = unsigned long;
using CFHashCode = unsigned long;
using CFTypeRef = const void*;

struct KeloCFAllocator;
/// Allocators are not modelled: every object comes from the default allocator.
using CFAllocatorRef = const KeloCFAllocator*;
inline constexpr CFAllocatorRef kCFAllocatorDefault = nullptr;
inline constexpr CFAllocatorRef kCFAllocatorSystemDefault = nullptr;

inline constexpr CFIndex kCFNotFound = -1;

struct CFRange {
  CFIndex location;
  CFIndex length;
};
inline CFRange CFRangeMake(CFIndex location, CFIndex length) { return CFRange{location, length}; }

enum CFComparisonResult : CFIndex {
  kCFCompareLessThan = -1,
  kCFCompareEqualTo = 0,
  kCFCompareGreaterThan = 1,
};

/// Errors are not modelled: calls taking a CFErrorRef* set it to null.
struct KeloCFError;
using CFErrorRef = KeloCFError*;

/// Adds one reference and returns `object`.
CFTypeRef CFRetain(CFTypeRef object);
/// Drops one reference; the object is freed with the last one. Null is ignored.
void CFRelease(CFTypeRef object);
CFIndex CFGetRetainCount(CFTypeRef object);
CFTypeID CFGetTypeID(CFTypeRef object);
/// Value equality: strings by text, numbers by value, data by bytes, containers deeply.
Boolean CFEqual(CFTypeRef a, CFTypeRef b);
CFHashCode CFHash(CFTypeRef object);
