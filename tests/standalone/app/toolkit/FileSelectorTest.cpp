// The file selector over the headless back end's scripted answers, and its reference counts.
#include <string>
#include <vector>

#include "VNL/source/Alerts.h"
#include "standalone/app/toolkit/FileSelector.h"
#include "standalone/app/toolkit/gtk/GtkBackend.h"
#include "tests/standalone/app/toolkit/HeadlessFixture.h"
#include "tests/support/TempDir.h"

namespace kelo::test {
namespace {

using namespace vantor;
using VNT::headless::HeadlessBackend;

struct Target : PBaseObject {
  Target(std::vector<std::string>& log) : log(log) {}
  ~Target() override { log.push_back("target deleted"); }
  void notify(PBaseObject* sender, const char* message) override {
    log.push_back(std::string(message) + " " + std::to_string(getRefCount()));
  }
  std::vector<std::string>& log;
};

using FileSelector = HeadlessToolkit;

TEST_F(FileSelector, AllowedTypesPreferAKnownMimeTypeThenTheExtension) {
  struct Case {
    std::vector<PFileExtension> extensions;
    std::vector<std::string> types;
  };
  const auto knows = [](const std::string& mime) { return mime == "audio/midi"; };
  const std::vector<Case> cases = {
      {{{"MID", "mid", "", 0}, {"MIDI", "midi", "", 0}}, {"mid", "midi"}},
      {{{"MID", "mid", "audio/midi", 0x4D696469}}, {"audio/midi"}},
      {{{"KELO", "kelo", "x-unknown/kelo", 0x4B454C4F}}, {"kelo"}},
      {{{"NONE", "", "", 0x54455854}}, {}},
      {{}, {}},
  };
  for (const Case& c : cases) EXPECT_EQ(allowedFileTypes(c.extensions, knows), c.types);
  EXPECT_TRUE(mimeDatabaseKnows("audio/midi"));
  EXPECT_FALSE(mimeDatabaseKnows("x-unknown/kelo"));
  EXPECT_EQ(VNT::anyCaseExtensionPattern("mid"), "*.[mM][iI][dD]");
  EXPECT_EQ(VNT::anyCaseExtensionPattern("mp3"), "*.[mM][pP]3");
}

TEST_F(FileSelector, ARunAsksTheQuestionAndKeepsWhatWasChosen) {
  PFileSelectorCocoa* selector = PFileSelectorCocoa::create(nullptr, PFileSelectorCocoa::kSelectForOpen);
  EXPECT_EQ(selector->getRefCount(), 1);
  selector->addFileExtension(PFileExtension("MID", "mid", "", 0));
  selector->addFileExtension(PFileExtension("MIDI", "midi", "", 0));
  selector->setTitle("Choose a MIDI file");
  ui->queueFileAnswer({"/tmp/a.mid", "/tmp/b.MIDI"});
  ui->queueFileAnswer({"/tmp/c.mid"});
  EXPECT_TRUE(selector->runModal());
  EXPECT_EQ(selector->getRefCount(), 1);
  EXPECT_TRUE(selector->runModal());  // a second run appends
  ASSERT_EQ(selector->getNumSelectedFiles(), 3);
  EXPECT_EQ(selector->getSelectedFile(0), "/tmp/a.mid");
  EXPECT_EQ(selector->getSelectedFile(2), "/tmp/c.mid");
  EXPECT_EQ(selector->getSelectedFile(3), "");
  EXPECT_EQ(selector->getSelectedFile(-1), "");
  ASSERT_EQ(ui->fileQuestions().size(), 2u);
  const VNT::FileQuestion& asked = ui->fileQuestions()[0];
  EXPECT_EQ(asked.style, 0);
  EXPECT_EQ(asked.title, "Choose a MIDI file");
  EXPECT_EQ(asked.allowedTypes, (std::vector<std::string>{"mid", "midi"}));
  selector->forget();
}

TEST_F(FileSelector, StylesAndTheirAnswers) {
  struct Case {
    PFileSelectorCocoa::Style style;
    std::vector<std::string> answer;
    std::vector<std::string> kept;
  };
  const std::vector<Case> cases = {
      {PFileSelectorCocoa::kSelectForSave, {"/tmp/out.kelo", "/tmp/extra"}, {"/tmp/out.kelo"}},
      {PFileSelectorCocoa::kSelectDirectory, {"/tmp/renders"}, {"/tmp/renders"}},
      {PFileSelectorCocoa::kSelectForOpen, {"", "/tmp/x"}, {"/tmp/x"}},
  };
  for (const Case& c : cases) {
    PFileSelectorCocoa* selector = PFileSelectorCocoa::create(nullptr, c.style);
    ui->queueFileAnswer(c.answer);
    EXPECT_TRUE(selector->runModal());
    std::vector<std::string> kept;
    for (int i = 0; i < selector->getNumSelectedFiles(); ++i) kept.push_back(selector->getSelectedFile(i));
    EXPECT_EQ(kept, c.kept) << c.style;
    EXPECT_EQ(ui->fileQuestions().back().style, c.style);
    EXPECT_TRUE(ui->fileQuestions().back().allowedTypes.empty());
    selector->forget();
  }
}

TEST_F(FileSelector, ASaveAsksAboutTheFileItWritesBeforeReplacingIt) {
  TempDir dir;
  ASSERT_TRUE(writeFile(dir.file("song.kelo"), "old"));
  ASSERT_TRUE(writeFile(dir.file("take"), "old"));
  struct Case {
    const char* moment;
    std::string extension;
    std::vector<std::string> typed;  // one answer per try
    std::vector<int> replies;        // to the replace questions: 0 replace, 1 cancel
    std::string written;
    std::vector<std::string> askedAbout;
  };
  const std::vector<Case> cases = {
      {"a new name", "kelo", {"new"}, {}, "new.kelo", {}},
      {"typed without the extension, replaced", "kelo", {"song"}, {0}, "song.kelo", {"song.kelo"}},
      {"typed with it, replaced", "kelo", {"song.kelo"}, {0}, "song.kelo", {"song.kelo"}},
      {"kept, then another name", "kelo", {"song", "other"}, {1}, "other.kelo", {"song.kelo"}},
      {"kept, then nothing", "kelo", {"song"}, {1}, "", {"song.kelo"}},
      {"no extension rule", "", {"take"}, {1}, "", {"take"}},
      {"the typed name exists, the written one not", "kelo", {"take"}, {}, "take.kelo", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.moment);
    vantor::RecordingAlertBackend alerts;
    vantor::setAlertBackend(&alerts);
    for (int reply : c.replies) alerts.queueAnswer(reply);
    for (const std::string& name : c.typed) ui->queueFileAnswer({dir.file(name)});
    PFileSelectorCocoa* selector = PFileSelectorCocoa::create(nullptr, PFileSelectorCocoa::kSelectForSave);
    selector->setSavedExtension(c.extension);
    EXPECT_TRUE(selector->runModal());
    EXPECT_EQ(selector->getSelectedFile(0), c.written.empty() ? "" : dir.file(c.written));
    selector->forget();
    vantor::setAlertBackend(nullptr);
    ASSERT_EQ(alerts.shown().size(), c.askedAbout.size());
    for (std::size_t i = 0; i < c.askedAbout.size(); ++i) {
      EXPECT_EQ(alerts.shown()[i].title,
                "\u201c" + c.askedAbout[i] + "\u201d already exists. Do you want to replace it?");
      EXPECT_NE(alerts.shown()[i].text.find(dir.path()), std::string::npos);
      EXPECT_EQ(alerts.shown()[i].buttons, (std::vector<std::string>{"Replace", "Cancel"}));
    }
  }
  EXPECT_EQ(readFile(dir.file("song.kelo")), "old");
  // An open question never asks about replacing.
  vantor::RecordingAlertBackend alerts;
  vantor::setAlertBackend(&alerts);
  ui->queueFileAnswer({dir.file("song.kelo")});
  PFileSelectorCocoa* open = PFileSelectorCocoa::create(nullptr, PFileSelectorCocoa::kSelectForOpen);
  open->setSavedExtension("kelo");
  EXPECT_TRUE(open->runModal());
  EXPECT_EQ(open->getSelectedFile(0), dir.file("song.kelo"));
  open->forget();
  vantor::setAlertBackend(nullptr);
  EXPECT_TRUE(alerts.shown().empty());
}

TEST_F(FileSelector, ACancelledRunAnswersTrueWithNoFilesAndTellsItsTarget) {
  std::vector<std::string> log;
  auto* target = new Target(log);
  PFileSelectorCocoa* selector = PFileSelectorCocoa::create(nullptr, PFileSelectorCocoa::kSelectForOpen);
  ui->queueFileAnswer([&](const VNT::FileQuestion&, std::vector<std::string>& paths) {
    paths.push_back("/tmp/never.mid");
    EXPECT_EQ(selector->getRefCount(), 2);  // held by itself during the run
    selector->cancelInternal();
    return 1;
  });
  EXPECT_TRUE(selector->runInternal(target));
  EXPECT_EQ(selector->getNumSelectedFiles(), 0);
  EXPECT_EQ(log, std::vector<std::string>{"PFileSelectorCocoa Select End Message 2"});
  target->forget();  // the selector still holds it
  EXPECT_EQ(log.size(), 1u);
  EXPECT_TRUE(selector->runModal());  // no answer queued: cancelled
  EXPECT_EQ(selector->getNumSelectedFiles(), 0);
  selector->forget();
  EXPECT_EQ(log.back(), "target deleted");
}

TEST_F(FileSelector, CountsDecideWhenObjectsGo) {
  std::vector<std::string> log;
  auto* target = new Target(log);
  target->remember();
  target->forget();
  EXPECT_TRUE(log.empty());
  target->forget();
  EXPECT_EQ(log, std::vector<std::string>{"target deleted"});

  PFileExtension original("MID", "mid", "audio/midi", 0);
  original.remember();
  const PFileExtension copy(original);
  EXPECT_EQ(copy.getRefCount(), 1);
  EXPECT_EQ(copy.mimeType, "audio/midi");
}

}  // namespace
}  // namespace kelo::test
