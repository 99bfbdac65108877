// The one way in to persistent settings: values of the platform preference store
// (platform/preferences), addressed by a domain such as "com.vantor.kelo" and a key, or a key
// path (the outermost key first, each further key an entry of the dictionary reached so far).
//
// Every function answers true on success; out-parameters are written only on success; list
// functions append and never clear. Texts are UTF-8 and come back within 2047 bytes. A domain
// that is empty, is "." or holds "/" or ".." is refused. Writes answer true only once the value is on
// storage. No state, no lock of our own: any thread, any process at the same time.
//
// Scopes by level (any level above 4 behaves as 0):
//   single-key string read: level 4 reads <user library>/Preferences/<domain>.plist directly,
//     matching the key case-insensitively (the last match wins); other levels the application
//     search list, then current user / any host.
//   key-path read: 1 the search list; 3 the local file <local library>/Preferences/<domain>.plist;
//     others current user / any host; when that fails (level not 3) the read is tried at 3.
//   key-path write and delete: 1 all users / current host; others current user / current host
//     (so a key path written at level 0 reads back at level 1, not at level 0).
//   integer read, single-key writes, deleteConfigValue and listConfigKeys ignore the level.
#pragma once

#include <string>
#include <vector>

namespace vantor {

enum CONFIG_LEVEL : int {
  CONFIG_LEVEL_USER = 0,
  CONFIG_LEVEL_SYSTEM = 1,
  CONFIG_LEVEL_LOCAL_FILE = 3,
  CONFIG_LEVEL_USER_FILE = 4,
};

/// A number that converts to a signed 32-bit integer without loss.
bool readConfigIntValue(const std::string& domain, const std::string& key, int& value,
                        CONFIG_LEVEL level);
bool readConfigStringValue(const std::string& domain, const std::string& key, std::string& value,
                           CONFIG_LEVEL level);
/// Current user / any host.
bool writeConfigIntValue(const std::string& domain, const std::string& key, int value,
                         CONFIG_LEVEL level);
bool writeConfigStringValue(const std::string& domain, const std::string& key,
                            const std::string& value, CONFIG_LEVEL level);
bool deleteConfigValue(const std::string& domain, const std::string& key, CONFIG_LEVEL level);
/// Always false; does nothing.
bool deleteConfigKey(const std::string& domain, const std::string& key, CONFIG_LEVEL level);

/// Keys of the dictionary under `key` for all users / current host and current user / current
/// host, merged, in ascending byte order. Domain and key are read in the system encoding.
bool listAndMergeSystemUserConfigKeys(const std::string& domain, const std::string& key,
                                      std::vector<std::string>& keys);
/// Keys of the dictionary under `key` ("" stands for "Root"), in stored order.
bool listConfigKeys(const std::string& domain, const std::string& key,
                    std::vector<std::string>& keys, CONFIG_LEVEL level);
/// Always false; does nothing.
bool listConfigStringKeys(const std::string& domain, const std::string& key,
                          std::vector<std::string>& keys, CONFIG_LEVEL level);

/// True when the path ends in a text value.
bool readConfigStringValue(const std::string& domain, const std::vector<std::string>& keyPath,
                           std::string& value, CONFIG_LEVEL level);
/// Paths of 1 to 3 keys; false for any other length, nothing written.
bool writeConfigStringValue(const std::string& domain, const std::vector<std::string>& keyPath,
                            const std::string& value, CONFIG_LEVEL level);
/// Empty path: the domain's top-level keys (true when the domain has a file); one key: as the
/// single-key form; longer: keys of the dictionary at the end of the path (current user /
/// any host).
bool listConfigKeys(const std::string& domain, const std::vector<std::string>& keyPath,
                    std::vector<std::string>& keys, CONFIG_LEVEL level);
/// Removes `key` from the dictionary at the end of a path of 0 to 2 keys (0: the top-level key
/// itself); a missing or non-dictionary value changes nothing. False for longer paths.
bool deleteConfigKey(const std::string& domain, const std::vector<std::string>& keyPath,
                     const std::string& key, CONFIG_LEVEL level);

}  // namespace vantor
