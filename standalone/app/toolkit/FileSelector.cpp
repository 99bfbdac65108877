#include "standalone/app/toolkit/FileSelector.h"

#include <gio/gio.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <set>

#include "VNL/source/Alerts.h"
#include "standalone/app/toolkit/Peers.h"

namespace vantor {

void PBaseObject::forget() {
  if (--refcount == 0) delete this;
}

void PBaseObject::remember() { ++refcount; }

PFileExtension::PFileExtension(const std::string& name, const std::string& extension,
                               const std::string& mimeType, int osType)
    : name(name), extension(extension), mimeType(mimeType), osType(osType) {}

PFileExtension::PFileExtension(const PFileExtension& other)
    : PBaseObject(),
      name(other.name),
      extension(other.extension),
      mimeType(other.mimeType),
      osType(other.osType) {}

std::vector<std::string> allowedFileTypes(
    const std::vector<PFileExtension>& extensions,
    const std::function<bool(const std::string& mimeType)>& knowsMimeType) {
  std::vector<std::string> types;
  for (const PFileExtension& e : extensions) {
    if (!e.mimeType.empty() && knowsMimeType(e.mimeType))
      types.push_back(e.mimeType);
    else if (!e.extension.empty())
      types.push_back(e.extension);
  }
  return types;
}

bool mimeDatabaseKnows(const std::string& mimeType) {
  static const std::set<std::string> known = [] {
    std::set<std::string> types;
    GList* registered = g_content_types_get_registered();
    for (GList* item = registered; item != nullptr; item = item->next) {
      gchar* mime = g_content_type_get_mime_type(static_cast<const gchar*>(item->data));
      if (mime != nullptr) types.insert(mime);
      g_free(mime);
    }
    g_list_free_full(registered, g_free);
    return types;
  }();
  return known.count(mimeType) != 0;
}

std::string withFileExtension(const std::string& path, const std::string& extension) {
  const std::size_t slash = path.rfind('/');
  const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  const std::size_t dot = path.rfind('.');
  const auto sameLetter = [](unsigned char a, unsigned char b) {
    return std::tolower(a) == std::tolower(b);
  };
  if (dot == std::string::npos || dot < nameStart ||
      std::search(path.begin() + static_cast<std::ptrdiff_t>(dot), path.end(), extension.begin(),
                  extension.end(), sameLetter) == path.end()) {
    return path + "." + extension;
  }
  return path;
}

namespace VNT {

std::string confirmedSavePath(const FileQuestion& question, const std::string& path) {
  const std::string written =
      question.savedExtension.empty() ? path : withFileExtension(path, question.savedExtension);
  struct stat status {};
  if (::lstat(written.c_str(), &status) != 0) return written;
  const std::size_t slash = written.rfind('/');
  const std::string name = slash == std::string::npos ? written : written.substr(slash + 1);
  const std::string folder = slash == std::string::npos ? "." : written.substr(0, slash == 0 ? 1 : slash);
  const std::string title = "\u201c" + name + "\u201d already exists. Do you want to replace it?";
  const std::string text = "A file of that name already exists in \u201c" + folder +
                           "\u201d. Replacing it overwrites its contents.";
  static const char* const buttons[] = {"Replace", "Cancel"};
  const AlertRequest alert{title.c_str(), text.c_str(), buttons, 2};
  return alertBackend().runAlert(alert) == 0 ? written : std::string();
}

}  // namespace VNT

const char* const PFileSelectorCocoa::kSelectEndMessage = "PFileSelectorCocoa Select End Message";

PFileSelectorCocoa* PFileSelectorCocoa::create(void* parent, Style style) {
  return new PCocoaFileSelector(parent, style);
}

std::string PFileSelectorCocoa::getSelectedFile(int index) const {
  if (index < 0 || index >= getNumSelectedFiles()) return {};
  return selectedFiles[static_cast<std::size_t>(index)];
}

PCocoaFileSelector::~PCocoaFileSelector() {
  if (target != nullptr) target->forget();
}

bool PCocoaFileSelector::runInternal(PBaseObject* newTarget) {
  remember();
  if (newTarget != nullptr) {
    newTarget->remember();
    if (target != nullptr) target->forget();  // a target of an earlier run
    target = newTarget;
  }
  VNT::FileQuestion question;
  question.style = style;
  question.title = title;
  question.message = message;
  question.directory = directory;
  question.fileName = fileName;
  question.multipleSelection = multipleSelection;
  question.allowedTypes = allowedFileTypes(extensions, mimeDatabaseKnows);
  question.savedExtension = savedExtension;
  std::vector<std::string> paths;
  asking = true;
  const int result = VNT::backend().askFiles(question, paths);
  asking = false;
  if (style == kSelectForSave)
    savePanelDidEnd(result, paths);
  else
    openPanelDidEnd(result, paths);
  forget();
  return true;
}

void PCocoaFileSelector::cancelInternal() {
  if (asking) VNT::backend().cancelFileQuestion();
}

void PCocoaFileSelector::openPanelDidEnd(int resultCode, const std::vector<std::string>& paths) {
  if (resultCode == 1) {
    if (style == kSelectForSave) {
      if (!paths.empty()) selectedFiles.push_back(paths.front());
    } else {
      for (const std::string& path : paths)
        if (!path.empty()) selectedFiles.push_back(path);
    }
  }
  if (target != nullptr) target->notify(this, kSelectEndMessage);
}

void PCocoaFileSelector::savePanelDidEnd(int resultCode, const std::vector<std::string>& paths) {
  if (resultCode == 1 && style == kSelectForSave && !paths.empty())
    selectedFiles.push_back(paths.front());
  if (target != nullptr) target->notify(this, kSelectEndMessage);
}

}  // namespace vantor
