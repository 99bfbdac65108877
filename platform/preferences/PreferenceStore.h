// The preference store behind the CFPreferences stand-in: one XML property-list file per domain
// and scope, shared by every process of the machine.
//
//   current user, any host     <user library>/Preferences/<domain>.plist
//   current user, current host <user library>/Preferences/ByHost/<domain>.<host id>.plist
//   all users, any host        <local library>/Preferences/<domain>.plist
//   all users, current host    <local library>/Preferences/ByHost/<domain>.<host id>.plist
//
// user library: $VANTOR_USER_LIBRARY_DIR, else ${XDG_CONFIG_HOME:-~/.config}/vantor
// local library: $VANTOR_LOCAL_LIBRARY_DIR, else /etc/vantor
// host id: $VANTOR_HOST_ID, else the first line of /etc/machine-id
// These roots are the only lookup of the two library folders: `wrap_FindFolder` answers them.
//
// A write takes flock on "<file>.lock", re-reads the file, changes the one key, writes a
// temporary file in the same folder, fsyncs it and renames it over the file, so processes writing
// different keys at once lose nothing and a reader (which takes no lock and keeps no cache)
// never sees a partial file. Values of every property-list kind are written back unchanged.
// A domain that is empty, is "." or holds "/" or ".." is refused. Any thread; no state is kept.
#pragma once

#include <string>
#include <string_view>

#include "platform/cf/CFArray.h"
#include "platform/cf/CFPropertyList.h"

namespace kelo::prefs {

struct Scope {
  bool allUsers = false;     // else the current user
  bool currentHost = false;  // else any host
};

/// False for an empty domain, ".", or one holding "/", ".." or a zero byte.
bool isSafeDomain(std::string_view domain);

/// $HOME when it is absolute, else the password database's entry, else "/"; without trailing
/// slashes.
std::string homeFolder();
/// The library roots above, without trailing slashes.
std::string userLibraryRoot();
std::string localLibraryRoot();
/// The host id used in ByHost file names ("unknown" when there is none that is safe).
std::string hostId();

/// The file of `domain` in `scope`; "" for a refused domain.
std::string preferencesFile(const std::string& domain, Scope scope);

/// What reading a domain's file found.
enum class DomainFile {
  Read,            ///< a dictionary (whether or not it holds the key asked for)
  Missing,         ///< no file: the domain holds nothing yet
  Refused,         ///< the domain's name is refused
  NotRegularFile,  ///< a folder, FIFO, device or socket stands at the path (never opened blocking)
  Unreadable,      ///< a file that is not a readable property-list dictionary
};

/// The domain's dictionary (a new reference); null when the domain is refused, or its file is
/// missing, not a regular file, unreadable or not a dictionary (`found`, optional, says which).
CFDictionaryRef copyDomain(const std::string& domain, Scope scope, DomainFile* found = nullptr);

/// The value under `key` (a new reference), or null; `found` (optional) as for copyDomain.
CFPropertyListRef copyValue(const std::string& domain, const std::string& key, Scope scope,
                            DomainFile* found = nullptr);

/// Sets `key` to `value`, or removes it when `value` is null. True once the file on storage
/// holds the change; false (logged, nothing changed) for a refused domain, a file that exists but
/// is not a readable dictionary (it is left as it is), or any failure to lock, write or rename.
bool setValue(const std::string& domain, const std::string& key, CFPropertyListRef value,
              Scope scope);

/// Why the calling thread's last failed `setValue` failed, for messages to a person.
const std::string& lastError();

}  // namespace kelo::prefs
