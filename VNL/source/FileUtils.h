// The library's free helpers for memory blocks, files, paths, standard folders, user and
// process names, gated alerts, time and opening documents. Stateless apart from the cached
// temporary folder; any thread may call them, except the alerts (main thread). Paths are UTF-8
// byte strings with "/" as separator. Platform work goes through PlatformWrappers.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace vantor {

namespace VNL {
/// Alerts are shown only while this is 1 (the start value).
extern int sPopupModalCocoaMode;
}  // namespace VNL

/// A zeroed block of `size` bytes, null when memory runs out; free it with defaultFree.
void* defaultAlloc(std::size_t size);
/// Null is ignored.
void defaultFree(void* block);
/// The block resized (bytes past the old size are not cleared); null when memory runs out, the
/// old block then unchanged.
void* defaultRealloc(void* block, std::size_t size);

}  // namespace vantor

// Folders, names and temporary files.
std::string getUserPath();     // application-support folder, not created
std::string getUserDesktop();  // desktop folder, not created
std::string getUserName();
/// Asked once from wrap_tempDirectory, then kept.
const std::string& getTempDir();
std::string getSandboxResourcePath();  // always empty
/// Application support + "/" + vendor + "/" + product, created with its parents; "" on failure.
std::string setUserPathVendorProduct(const std::string& vendor, const std::string& product);
/// The process's name; "dummy" (with a line on stderr) when it cannot be had.
std::string PGetCurrentApplicationPath(void* unused);
/// getTempDir() + "/vnt" + monotonic ticks in decimal + suffix.
std::string makeTempFileName(const std::string& suffix);
/// Whether a file can be created (and is then removed) in `folder`; false for "".
bool directoryWriteAccess(const std::string& folder);

// Files.
bool fileExists(const std::string& path, bool flag = false);  // anything at the path
bool directoryExists(const std::string& path);                // anything at the path
std::uint64_t fileSize(const std::string& path);              // 0 when it cannot be read
std::int64_t fileDate(const std::string& path);               // mtime, seconds since 1970; 0 on failure
/// "mtime : " and the modification time as ctime writes it, without the newline.
std::string getFileTimeDetails(const std::string& path);
int PDeleteFile(const std::string& path);          // 0, or -1 on failure
bool PDeleteDirectory(const std::string& path);    // the folder with its contents
/// wrap_CopyFile's packed result: status in the low 32 bits (0 copied), errno in the high 32.
std::uint64_t PCopyFile(const std::string& source, const std::string& target, bool overwrite);
/// Creates the folder with its missing parents: 0 when it exists afterwards, 2 on failure.
int PCreateDir(const std::string& path);
bool fixFilePermission(const std::string& folder, const std::string& name);
/// The URL text ("file:///mount/point/") of the mounted file system holding `path`, within
/// 1023 bytes; false when the path does not exist.
bool PGetVolumeUIDForPath(const std::string& path, std::string& out, bool isFolder);

/// Reads the regular file at `path` into a zeroed block of length + spare bytes rounded up to a
/// multiple of 16 (at least 16). On success `length` is the file's size and `spare` the count of
/// zero bytes after it (at least what was asked); free the block with binFileFree. Null when the
/// path is not a readable regular file, its size cannot be had, the block size would overflow
/// or memory runs out, or fewer bytes could be read; `length` is then 0.
unsigned char* binFileInternalize(const std::string& path, std::size_t& length, std::size_t& spare);
/// The same, refusing (null, nothing read, errno EFBIG) a file longer than `maxLength`.
unsigned char* binFileInternalize(const std::string& path, std::size_t& length, std::size_t& spare,
                                  std::uint64_t maxLength);
void binFileFree(void* block);
/// Writes `length` bytes to `path`, replacing it; true when every byte was written.
bool binFileExternalize(const std::string& path, const void* bytes, std::size_t length);

/// Stubs: "DUMMYMD5" and false (nothing written). The support tool links real ones.
std::string PcalcMD5(const std::string& path);
bool PGzipFile(const std::string& source, const std::string& target);

// Path text (pure string functions).
bool pathIsRelative(const std::string& path);                // empty or not starting with "/"
std::string getFileExtension(const std::string& name);       // after the last "."; "" without
std::string stripFileExtension(const std::string& name);     // before the last "."; all without
std::string getFileFromPath(const std::string& path);        // after the last "/"
std::string getPathFromFile(const std::string& path);        // before the last "/"; "." without
void cleanPathName(std::string& name);                       // \ / * ? > < | : and blank -> _
void PToPosix(const std::string& in, std::string& out);      // every "\" becomes "/"
void PToPosix(const char* in, std::string& out);
void PToPosix(const std::wstring& in, std::wstring& out);
/// The text read in the system encoding, as UTF-8 (within 1023 bytes); a copy when that fails.
std::string localToFileSystem(const std::string& text);

// Alerts, shown only while vantor::VNL::sPopupModalCocoaMode is 1. Main thread.
void popupModalMessageWindow(void* parent, const std::string& title, const std::string& text);
/// True for yes; false when the mode is not 1.
bool popupModalYesNoWindow(void* parent, const std::string& title, const std::string& text,
                           bool flag = false);
/// True for OK; false when the mode is not 1.
bool popupModalOkCancelWindow(void* parent, const std::string& title, const std::string& text);

// Documents, URLs, time.
void startEditor(const std::string& path);   // the desktop's default application
void startBrowser(const std::string& url);   // nothing is reported
double getPlatformScale();                   // 1.0
void IDELog(const std::string& text);        // does nothing
/// Monotonic nanoseconds times 0.001 (so microseconds, whatever the name says).
double PTimeMilli();
void PmilliSleep(int milliseconds);
