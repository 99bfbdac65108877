// Arrays and dictionaries of the CoreFoundation stand-in.
//
// Containers hold stand-in objects only, and always retain what they hold (the callback
// records exist so that calls written for CoreFoundation compile; their contents are not
// used). A null value, a null key or an index out of range is ignored by the mutators and
// answered with null or false by the readers. Dictionaries keep their keys in insertion
// order (setting an existing key keeps its place); keys are matched with CFEqual.
#pragma once

#include "platform/cf/CFBase.h"

struct KeloCFArray;
struct KeloCFDictionary;
using CFArrayRef = const KeloCFArray*;
using CFMutableArrayRef = KeloCFArray*;
using CFDictionaryRef = const KeloCFDictionary*;
using CFMutableDictionaryRef = KeloCFDictionary*;

struct CFArrayCallBacks {
  CFIndex version;
  const void* retain;
  const void* release;
  const void* copyDescription;
  const void* equal;
};
extern const CFArrayCallBacks kCFTypeArrayCallBacks;

CFTypeID CFArrayGetTypeID();
CFArrayRef CFArrayCreate(CFAllocatorRef allocator, const void** values, CFIndex count,
                         const CFArrayCallBacks* callBacks);
CFArrayRef CFArrayCreateCopy(CFAllocatorRef allocator, CFArrayRef array);
CFMutableArrayRef CFArrayCreateMutable(CFAllocatorRef allocator, CFIndex capacity,
                                       const CFArrayCallBacks* callBacks);
CFMutableArrayRef CFArrayCreateMutableCopy(CFAllocatorRef allocator, CFIndex capacity,
                                           CFArrayRef array);
CFIndex CFArrayGetCount(CFArrayRef array);
const void* CFArrayGetValueAtIndex(CFArrayRef array, CFIndex index);
/// Copies the values of `range` (clipped to the array) into `values`.
void CFArrayGetValues(CFArrayRef array, CFRange range, const void** values);
void CFArrayAppendValue(CFMutableArrayRef array, const void* value);
void CFArrayInsertValueAtIndex(CFMutableArrayRef array, CFIndex index, const void* value);
void CFArraySetValueAtIndex(CFMutableArrayRef array, CFIndex index, const void* value);
void CFArrayRemoveValueAtIndex(CFMutableArrayRef array, CFIndex index);
void CFArrayRemoveAllValues(CFMutableArrayRef array);

struct CFDictionaryKeyCallBacks {
  CFIndex version;
  const void* retain;
  const void* release;
  const void* copyDescription;
  const void* equal;
  const void* hash;
};
struct CFDictionaryValueCallBacks {
  CFIndex version;
  const void* retain;
  const void* release;
  const void* copyDescription;
  const void* equal;
};
extern const CFDictionaryKeyCallBacks kCFTypeDictionaryKeyCallBacks;
extern const CFDictionaryKeyCallBacks kCFCopyStringDictionaryKeyCallBacks;
extern const CFDictionaryValueCallBacks kCFTypeDictionaryValueCallBacks;

using CFDictionaryApplierFunction = void (*)(const void* key, const void* value, void* context);

CFTypeID CFDictionaryGetTypeID();
/// Later duplicates of a key replace the value of the first.
CFDictionaryRef CFDictionaryCreate(CFAllocatorRef allocator, const void** keys,
                                   const void** values, CFIndex count,
                                   const CFDictionaryKeyCallBacks* keyCallBacks,
                                   const CFDictionaryValueCallBacks* valueCallBacks);
CFDictionaryRef CFDictionaryCreateCopy(CFAllocatorRef allocator, CFDictionaryRef dictionary);
CFMutableDictionaryRef CFDictionaryCreateMutable(CFAllocatorRef allocator, CFIndex capacity,
                                                 const CFDictionaryKeyCallBacks* keyCallBacks,
                                                 const CFDictionaryValueCallBacks* valueCallBacks);
CFMutableDictionaryRef CFDictionaryCreateMutableCopy(CFAllocatorRef allocator, CFIndex capacity,
                                                     CFDictionaryRef dictionary);
CFIndex CFDictionaryGetCount(CFDictionaryRef dictionary);
/// The value under `key`, or null.
const void* CFDictionaryGetValue(CFDictionaryRef dictionary, const void* key);
Boolean CFDictionaryGetValueIfPresent(CFDictionaryRef dictionary, const void* key,
                                      const void** value);
Boolean CFDictionaryContainsKey(CFDictionaryRef dictionary, const void* key);
/// Keys and values in insertion order; either array may be null.
void CFDictionaryGetKeysAndValues(CFDictionaryRef dictionary, const void** keys,
                                  const void** values);
/// Calls `applier` for each entry in insertion order.
void CFDictionaryApplyFunction(CFDictionaryRef dictionary, CFDictionaryApplierFunction applier,
                               void* context);
/// Sets the value, adding the key at the end when it is new.
void CFDictionarySetValue(CFMutableDictionaryRef dictionary, const void* key, const void* value);
/// Adds only when the key is absent.
void CFDictionaryAddValue(CFMutableDictionaryRef dictionary, const void* key, const void* value);
/// Replaces only when the key is present.
void CFDictionaryReplaceValue(CFMutableDictionaryRef dictionary, const void* key,
                              const void* value);
void CFDictionaryRemoveValue(CFMutableDictionaryRef dictionary, const void* key);
void CFDictionaryRemoveAllValues(CFMutableDictionaryRef dictionary);
