// The thin layer between the library's portable helpers and the operating system: standard
// folders, file existence, copying, deleting and listing, user and process facts, launching
// programs and opening documents, bundle versions, and a locale-independent number parser.
//
// Paths are byte strings (UTF-8). Functions carry no state and take no lock; any thread may
// call them unless a comment says otherwise. None throws; failures come back as false, an
// unchanged output, a null handle or a copy status.
//
// Linux folders (the two library roots are the preference store's, looked up there):
//   application support  ${XDG_DATA_HOME:-~/.local/share}
//   desktop              XDG_DESKTOP_DIR of ${XDG_CONFIG_HOME:-~/.config}/user-dirs.dirs, else ~/Desktop
//   user library         $VANTOR_USER_LIBRARY_DIR, else ${XDG_CONFIG_HOME:-~/.config}/vantor
//   local library        $VANTOR_LOCAL_LIBRARY_DIR, else /etc/vantor
//   local application support  the first entry of $XDG_DATA_DIRS, else /usr/local/share
//   temporary            $TMPDIR, else /tmp
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

// Standard folder kinds and domains of `wrap_FindFolder` (32-bit on every boundary).
enum VNL_FindFolder : std::int32_t {
  VNL_ApplicationSupportFolder = 0,
  VNL_DesktopFolder = 1,
  VNL_LibraryFolder = 2,
};

enum VNL_FindFolderDomain : std::int32_t {
  VNL_UserDomain = 0,
  VNL_LocalDomain = 1,
};

/// Packed result of `wrap_CopyFile`: status in the low 32 bits, errno of the last copy attempt
/// (0 when none) in the high 32 bits.
enum VNL_CopyStatus : std::uint32_t {
  VNL_CopyDone = 0,
  VNL_CopyFailedNoRetry = 2,   // the copy failed and no second attempt could be made
  VNL_CopyNotTried = 3,        // neither attempt could be made
  VNL_CopyRetryFailed = 4,     // the second attempt failed too
};

inline std::uint32_t copyStatus(std::uint64_t packed) { return static_cast<std::uint32_t>(packed); }
inline int copyErrorCode(std::uint64_t packed) { return static_cast<int>(packed >> 32); }

namespace vantor {

class CFURLWrapper;

/// The home folder: $HOME when it is absolute, else the password database's entry (the
/// preference store's lookup).
std::string homeFolder();

/// What a plug-in listing would hold; nothing in the system fills one.
struct PluginInfo {
  std::string path;
  std::string version;
};

/// Adds every entry below `folder` matching `pattern` (see `wrap_FileLister`).
void FileLister2(const std::string& folder, const std::string& pattern, std::set<std::string>& set);
/// Lists nothing; logs that it is not implemented.
void FileLister(const std::string& folder, const std::string& pattern, std::set<std::string>& set,
                bool flag);
/// Adds every folder below `folder`.
void DirectoryLister(const std::string& folder, std::set<std::string>& set);

/// Does nothing; answers true.
bool registerKeloPlugin(const std::string& vendor, const std::string& product,
                        const std::string& kind);
void listAUPathVersion(const std::string& vendor, const std::string& product,
                       std::vector<PluginInfo>& list);
void listVSTPathVersion(const std::string& vendor, const std::string& product,
                        std::vector<PluginInfo>& list);

}  // namespace vantor

/// The folder of `kind` in `domain`, created with its parents when `create` is true. False with
/// `out` unchanged for an unknown kind or domain, or a folder the platform does not have (the
/// local desktop); false with `out` empty when the path does not fit 1023 bytes or cannot be
/// created. Without `create` the file system is not touched.
bool wrap_FindFolder(VNL_FindFolder kind, VNL_FindFolderDomain domain, std::string& out, bool create);

/// Creates the folder that the file URL names, with its missing parents when `intermediate` is
/// true; true when something exists at its path afterwards (also when it existed before).
bool wrap_CreateFolders(const vantor::CFURLWrapper& url, bool intermediate);
/// The same for a path.
bool wrap_CreateFolderPath(const std::string& path, bool intermediate);

bool wrap_FileExists(const std::string& path);
/// Both remove the item at `path`, a folder with everything in it (symbolic links are removed,
/// never followed); true when something was removed.
bool wrap_deleteFile(const std::string& path);
bool wrap_deleteDirectory(const std::string& path);

/// Copies the regular file `source` to `destination` (permission bits kept) and returns the
/// packed status above. The bytes go to a temporary file beside the destination which is then
/// renamed into place, so a failed copy leaves an existing destination as it was. Without
/// `overwrite` an existing destination fails the copy (EEXIST).
std::uint64_t wrap_CopyFile(const std::string& source, const std::string& destination,
                            bool overwrite);

/// Gives `folder` + "/" + `name` the permission bits, owner and group of `folder`.
bool wrap_fixFilePermission(const std::string& folder, const std::string& name);

/// Walks `folder` recursively (symbolic links are listed, not followed) and adds the full path
/// of each entry whose extension matches `pattern`: "*.ext" matches the extension "ext" exactly,
/// "*" and "*.*" match everything, any other pattern is taken whole as an extension. The set is
/// never cleared; paths of 2048 bytes or more are skipped.
void wrap_FileLister(const std::string& folder, const std::string& pattern,
                     std::set<std::string>& set);
/// The same walk, adding folders only.
void wrap_DirectoryLister(const std::string& folder, std::set<std::string>& set);
/// Sum of the sizes of everything below `folder`, folders' own sizes included.
std::uint64_t directorySize(const std::string& folder);

// Process and user facts; each answers true.
bool wrap_osversion(std::string& out);
bool wrap_userName(std::string& out);
bool wrap_processName(std::string& out);
/// $TMPDIR (without trailing "/") or /tmp.
bool wrap_tempDirectory(std::string& out);
/// True inside a platform Audio Unit hosting service or an app sandbox (never on Linux unless
/// the environment says so).
bool wrap_isProcessSandboxed();

/// A program started by `wrap_launchApplication`; released with `wrap_releaseRunningApp`.
struct wrap_RunningApp;

/// Starts the program at `path` with `arguments` (argv[1]...) in a session of its own, stdin
/// from /dev/null, without a shell, and returns at once; null when the path is empty or the
/// spawn fails. The child is reaped in the background, so no zombie is left either way.
wrap_RunningApp* wrap_launchApplication(const std::string& path,
                                        const std::vector<std::string>& arguments);
/// True for null or a program that has ended.
bool wrap_isRunningAppTerminated(const wrap_RunningApp* app);
/// Forgets the handle; the program itself keeps running.
void wrap_releaseRunningApp(wrap_RunningApp* app);

/// Opens the file at `path` (made absolute) with the desktop's default application through
/// xdg-open, found on PATH; does nothing for an empty path.
void wrapOpenURL(const std::string& path);
/// Opens `url` with xdg-open; the text must be printable ASCII and not start with "-".
/// True when xdg-open was started.
bool wrap_openURLText(const std::string& url);

/// The CFBundleVersion of the bundle at `path` (within 1023 bytes of UTF-8), or
/// "Can't get version." when there is no bundle, no version or it does not convert.
std::string MacGetBundleVersion(const std::string& path);
inline std::string macOSGetBundleVersion(const std::string& path) { return MacGetBundleVersion(path); }

/// Forms the preference domain of the product and leaves `list` as it is.
void listPluginPathVersion(const std::string& vendor, const std::string& product,
                           std::vector<vantor::PluginInfo>& list, const std::string& kind);

/// Parses a decimal number ("." or "," before the fraction, exponent letter e, E, d or D)
/// independently of the locale. True when something was read and the whole text was read.
/// Values beyond the largest double become 4294967295.0, values below the smallest normal
/// double become 0.0.
bool tinyxmlStringToDouble(const char* text, double& out);
