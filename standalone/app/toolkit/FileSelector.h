// The file selector through which the standalone asks the user for a file to open, a file to
// save or a folder: a reference-counted object (`PBaseObject`) whose allowed types are given
// as `PFileExtension` records, run modally over the back end's file question (a
// GtkFileChooserDialog on the display).
//
// Use: `create(nullptr, style)`, `addFileExtension`..., `setTitle`, `runModal()`; when it
// answers true and `getNumSelectedFiles()` > 0 take `getSelectedFile(0)`; then `forget()`.
//
// Reference counts are plain integers: main thread only, everything here.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace vantor {

/// A reference-counted object: it starts with one reference; the last `forget()` deletes it.
class PBaseObject {
 public:
  PBaseObject() = default;
  PBaseObject(const PBaseObject&) : PBaseObject() {}
  PBaseObject& operator=(const PBaseObject&) { return *this; }
  virtual ~PBaseObject() = default;
  virtual void forget();
  virtual void remember();
  /// Told by another object (`sender`) that something happened; nothing in the base.
  virtual void notify(PBaseObject* sender, const char* message) {}

  int getRefCount() const { return refcount; }

 protected:
  int refcount = 1;
};

/// One allowed file type.
class PFileExtension : public PBaseObject {
 public:
  /// `name`: a label (callers pass the extension in upper case); `extension` without the dot;
  /// `mimeType` may be empty; `osType` is a four-character type code, 0 for none.
  PFileExtension(const std::string& name, const std::string& extension,
                 const std::string& mimeType, int osType);
  /// The copy starts with a reference count of its own (1).
  PFileExtension(const PFileExtension& other);

  std::string name;
  std::string extension;
  std::string mimeType;
  int osType;
};

/// The allowed types of a file question, one per extension in order: the MIME type when the
/// shared MIME database knows it (`knowsMimeType`), else the extension text, else nothing.
/// (Four-character type codes have no counterpart on Linux.) Empty: every file is allowed.
std::vector<std::string> allowedFileTypes(
    const std::vector<PFileExtension>& extensions,
    const std::function<bool(const std::string& mimeType)>& knowsMimeType);
/// Whether the shared MIME database knows `mimeType`.
bool mimeDatabaseKnows(const std::string& mimeType);

/// `path` with "." and `extension` appended unless the file's name has a "." whose part from
/// its last "." contains `extension`, compared without letter case. Only the name after the
/// last "/" counts, so a dot in a folder's name never stands for the file's extension.
std::string withFileExtension(const std::string& path, const std::string& extension);

namespace VNT {
struct FileQuestion;
/// What a save question answers for the typed `path`: the name the file will be written as
/// (`withFileExtension` with the question's `savedExtension`), or empty when a file of that
/// name exists and the user, asked in an alert, does not replace it. Both back ends ask it
/// before a save question ends, so the question is about the file really written.
std::string confirmedSavePath(const FileQuestion& question, const std::string& path);
}  // namespace VNT

class PFileSelectorCocoa : public PBaseObject {
 public:
  enum Style { kSelectForOpen = 0, kSelectForSave = 1, kSelectDirectory = 2 };

  /// The message the target hears at the end of a run.
  static const char* const kSelectEndMessage;

  /// A new selector (reference count 1). `parent` is kept and not used.
  static PFileSelectorCocoa* create(void* parent, Style style);

  void setTitle(const std::string& utf8) { title = utf8; }
  /// A save's answer gets this extension (`withFileExtension`); empty: the name as typed.
  void setSavedExtension(const std::string& extension) { savedExtension = extension; }
  /// Appends a copy.
  void addFileExtension(const PFileExtension& extension) { extensions.push_back(extension); }
  /// Runs the question modally; true when it ran (cancelled or not).
  bool runModal() { return runModalInternal(); }
  int getNumSelectedFiles() const { return static_cast<int>(selectedFiles.size()); }
  /// Empty outside 0 .. count - 1.
  std::string getSelectedFile(int index) const;

  /// Runs the question, holding itself and `target` (when given) until its end, and tells the
  /// target `kSelectEndMessage` at the end. True when it ran.
  virtual bool runInternal(PBaseObject* target) = 0;
  /// Cancels the question being asked, if any.
  virtual void cancelInternal() = 0;
  virtual bool runModalInternal() = 0;

 protected:
  PFileSelectorCocoa(void* parent, Style style) : parent(parent), style(style) {}

  void* parent;
  std::string title;
  std::string message;
  std::string directory;
  std::string fileName;
  bool multipleSelection = false;
  std::string savedExtension;
  std::vector<PFileExtension> extensions;
  std::vector<std::string> selectedFiles;  // only grows: a second run appends
  Style style;
  PBaseObject* target = nullptr;
  bool asking = false;  // the native question is up
};

class PCocoaFileSelector final : public PFileSelectorCocoa {
 public:
  PCocoaFileSelector(void* parent, Style style) : PFileSelectorCocoa(parent, style) {}
  /// Forgets the target it holds.
  ~PCocoaFileSelector() override;

  bool runInternal(PBaseObject* target) override;
  void cancelInternal() override;
  bool runModalInternal() override { return runInternal(nullptr); }

 private:
  void openPanelDidEnd(int resultCode, const std::vector<std::string>& paths);
  void savePanelDidEnd(int resultCode, const std::vector<std::string>& paths);
};

}  // namespace vantor
