#include "standalone/app/samplerapp/RenderFileQuestions.h"

#include <initializer_list>

#include "standalone/app/toolkit/FileSelector.h"

namespace vantor::samplerapp {
namespace {

struct FileType {
  const char* name;
  const char* extension;
};

std::string ask(PFileSelectorCocoa::Style style, const char* title,
                std::initializer_list<FileType> types) {
  PFileSelectorCocoa* selector = PFileSelectorCocoa::create(nullptr, style);
  for (const FileType& type : types)
    selector->addFileExtension(PFileExtension(type.name, type.extension, "", 0));
  selector->setTitle(title);
  std::string path;
  if (selector->runModal() && selector->getNumSelectedFiles() > 0)
    path = selector->getSelectedFile(0);
  selector->forget();
  return path;
}

}  // namespace

std::string askMIDIFileToRender() {
  return ask(PFileSelectorCocoa::kSelectForOpen, "Select a MIDI file",
             {{"MID", "mid"}, {"MIDI", "midi"}});
}

std::string askAudioFileToRender() {
  return ask(PFileSelectorCocoa::kSelectForSave, "Record Audio into", {{"AIFF", "aiff"}});
}

}  // namespace vantor::samplerapp
