#include "standalone/app/samplerapp/FileQuestions.h"

#include <algorithm>
#include <cctype>
#include <initializer_list>
#include <utility>

#include "standalone/app/toolkit/FileSelector.h"

namespace vantor {
namespace {

using Types = std::initializer_list<std::pair<const char*, const char*>>;

std::string ask(PFileSelectorCocoa::Style style, Types types, const std::string& title,
                const std::string& savedExtension = "") {
  PFileSelectorCocoa* selector = PFileSelectorCocoa::create(nullptr, style);
  selector->setSavedExtension(savedExtension);
  for (const auto& [name, extension] : types) {
    selector->addFileExtension(PFileExtension(name, extension, "", 0));
  }
  selector->setTitle(title);
  std::string path;
  if (selector->runModal() && selector->getNumSelectedFiles() > 0) {
    path = selector->getSelectedFile(0);
  }
  selector->forget();
  return path;
}

std::string upper(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return text;
}

std::string lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

}  // namespace

std::string selectMIDIFile(void*) {
  return ask(PFileSelectorCocoa::kSelectForOpen, {{"MID", "mid"}, {"MIDI", "midi"}},
             "Select a MIDI file");
}

std::string selectAudioFile(void*, const std::string& title) {
  return ask(PFileSelectorCocoa::kSelectForSave, {{"AIFF", kAudioFileExtension}}, title,
             kAudioFileExtension);
}

std::string selectFile(const std::string& title, const std::string& extension, bool forOpen) {
  const std::string name = upper(extension);
  const std::string type = lower(extension);
  const std::string path =
      ask(forOpen ? PFileSelectorCocoa::kSelectForOpen : PFileSelectorCocoa::kSelectForSave,
          {{name.c_str(), type.c_str()}}, title, forOpen ? "" : extension);
  return path.empty() ? path : withFileExtension(path, extension);
}

}  // namespace vantor
