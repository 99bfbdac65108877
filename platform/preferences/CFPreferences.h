// The CoreFoundation preferences calls, over the file store of PreferenceStore.h.
//
// Scopes are named by the user (kCFPreferencesCurrentUser or kCFPreferencesAnyUser) and the
// host (kCFPreferencesCurrentHost or kCFPreferencesAnyHost). A set reaches storage before it
// returns; `CFPreferencesSynchronize` then answers whether every set of that domain and scope
// since the last synchronisation did. Reads take no lock and keep no cache, so a value another
// process stored is seen at once. Any thread.
#pragma once

#include "platform/cf/CFArray.h"
#include "platform/cf/CFPropertyList.h"
#include "platform/cf/CFString.h"

extern const CFStringRef kCFPreferencesCurrentUser;
extern const CFStringRef kCFPreferencesAnyUser;
extern const CFStringRef kCFPreferencesCurrentHost;
extern const CFStringRef kCFPreferencesAnyHost;

/// The application search list: current user / current host, current user / any host,
/// all users / current host, all users / any host; the first value found (a new reference).
CFPropertyListRef CFPreferencesCopyAppValue(CFStringRef key, CFStringRef applicationID);
/// The value in exactly one scope (a new reference), or null.
CFPropertyListRef CFPreferencesCopyValue(CFStringRef key, CFStringRef applicationID,
                                         CFStringRef userName, CFStringRef hostName);
/// Sets the value in one scope; a null value removes the key.
void CFPreferencesSetValue(CFStringRef key, CFPropertyListRef value, CFStringRef applicationID,
                           CFStringRef userName, CFStringRef hostName);
/// True when every set of this domain and scope since the last call reached storage.
Boolean CFPreferencesSynchronize(CFStringRef applicationID, CFStringRef userName,
                                 CFStringRef hostName);
/// The keys of the domain in one scope, in file order; null when the domain has no file.
CFArrayRef CFPreferencesCopyKeyList(CFStringRef applicationID, CFStringRef userName,
                                    CFStringRef hostName);
