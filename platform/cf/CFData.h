// Byte blocks and dates of the CoreFoundation stand-in.
#pragma once

#include "platform/cf/CFBase.h"

struct KeloCFData;
using CFDataRef = const KeloCFData*;

CFTypeID CFDataGetTypeID();
/// A copy of `count` bytes (null `bytes` with a count of 0 gives an empty block).
CFDataRef CFDataCreate(CFAllocatorRef allocator, const UInt8* bytes, CFIndex count);
CFIndex CFDataGetLength(CFDataRef data);
/// The held bytes, valid while the block lives; null for an empty block.
const UInt8* CFDataGetBytePtr(CFDataRef data);
/// Copies `range` (clipped to the block) into `buffer`.
void CFDataGetBytes(CFDataRef data, CFRange range, UInt8* buffer);

struct KeloCFDate;
using CFDateRef = const KeloCFDate*;
/// Seconds since 2001-01-01 00:00:00 UTC.
using CFAbsoluteTime = double;
using CFTimeInterval = double;
inline constexpr CFTimeInterval kCFAbsoluteTimeIntervalSince1970 = 978307200.0;

CFTypeID CFDateGetTypeID();
CFDateRef CFDateCreate(CFAllocatorRef allocator, CFAbsoluteTime at);
CFAbsoluteTime CFDateGetAbsoluteTime(CFDateRef date);
