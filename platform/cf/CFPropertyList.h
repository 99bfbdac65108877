// XML property lists of the CoreFoundation stand-in, read and written with libplist.
//
// A property list is a string, number, boolean, data block, date, array or dictionary, nested
// at will. Reading keeps every kind and the order of dictionary keys, so a file written back
// holds what it held. Only the XML format is read and written. No DTD or external entity is
// ever fetched or expanded; a file that is truncated, malformed (an integer, real, date or
// base64 block that is not one, a key without a value, an unknown element or entity), nested
// deeper than 256 levels or larger than 64 MiB is unreadable, never a crash.
#pragma once

#include <string>

#include "platform/cf/CFArray.h"
#include "platform/cf/CFBase.h"
#include "platform/cf/CFData.h"
#include "platform/cf/CFNumber.h"
#include "platform/cf/CFString.h"
#include "platform/cf/CFURL.h"

using CFPropertyListRef = CFTypeRef;

using CFPropertyListFormat = CFIndex;
enum : CFPropertyListFormat {
  kCFPropertyListOpenStepFormat = 1,
  kCFPropertyListXMLFormat_v1_0 = 100,
  kCFPropertyListBinaryFormat_v1_0 = 200,
};

/// Containers read from a file can always be changed in place, whatever is asked.
using CFPropertyListMutabilityOptions = CFOptionFlags;
enum : CFPropertyListMutabilityOptions {
  kCFPropertyListImmutable = 0,
  kCFPropertyListMutableContainers = 1,
  kCFPropertyListMutableContainersAndLeaves = 2,
};

/// Parses XML bytes; null when they are not a readable property list.
CFPropertyListRef CFPropertyListCreateWithData(CFAllocatorRef allocator, CFDataRef data,
                                               CFOptionFlags options,
                                               CFPropertyListFormat* format, CFErrorRef* error);
/// XML bytes of the list; null for another format or a value that is not a property list.
CFDataRef CFPropertyListCreateData(CFAllocatorRef allocator, CFPropertyListRef list,
                                   CFPropertyListFormat format, CFOptionFlags options,
                                   CFErrorRef* error);
/// A copy in which every container is new (leaves are shared: they never change).
CFPropertyListRef CFPropertyListCreateDeepCopy(CFAllocatorRef allocator, CFPropertyListRef list,
                                               CFOptionFlags options);
Boolean CFPropertyListIsValid(CFPropertyListRef list, CFPropertyListFormat format);

/// A file read stream, only as far as property-list reading needs one.
struct KeloCFReadStream;
using CFReadStreamRef = KeloCFReadStream*;
CFReadStreamRef CFReadStreamCreateWithFile(CFAllocatorRef allocator, CFURLRef url);
/// Reads the whole file; false when it cannot be read.
Boolean CFReadStreamOpen(CFReadStreamRef stream);
void CFReadStreamClose(CFReadStreamRef stream);
/// Parses what the opened stream holds (`length` 0: all of it).
CFPropertyListRef CFPropertyListCreateWithStream(CFAllocatorRef allocator, CFReadStreamRef stream,
                                                 CFIndex length, CFOptionFlags options,
                                                 CFPropertyListFormat* format,
                                                 CFErrorRef* error);

namespace kelo::cf {

enum class PlistFileStatus {
  Read,        ///< parsed; the list is returned
  Missing,         ///< no file at the path
  NotRegularFile,  ///< a folder, FIFO, device or socket: refused without opening it blocking
  Unreadable,      ///< a file that cannot be read or is not a readable property list
};

/// Reads the property list in the file at `path`: a new reference, or null with `status`
/// (optional) saying why. Takes no lock; any thread.
CFPropertyListRef readPropertyListFile(const std::string& path, PlistFileStatus* status = nullptr);
/// Parses XML bytes; null when they are not a readable property list.
CFPropertyListRef propertyListFromXML(const void* bytes, std::size_t count);
/// The XML text of `list` (UTF-8, with the usual header); false, `out` unchanged, when `list`
/// holds something that is not a property-list kind.
bool propertyListToXML(CFPropertyListRef list, std::string& out);

}  // namespace kelo::cf
