// Choice lists and checkbox lists over the headless back end.
#include <string>
#include <vector>

#include "standalone/app/toolkit/Choice.h"
#include "standalone/app/toolkit/Window.h"
#include "tests/standalone/app/toolkit/HeadlessFixture.h"

namespace kelo::test {
namespace {

using namespace vantor::VNT;
using headless::HeadlessBackend;

struct Heard : ChoiceListener, ListControlCheckboxListener {
  Heard(std::vector<std::string>& log, std::string name) : log(log), name(std::move(name)) {}
  void choiceValueChanged(unsigned id, unsigned index, const std::string& text) override {
    log.push_back(name + ":" + std::to_string(id) + " " + std::to_string(index) + " " + text);
  }
  void listControlCheckboxValueChanged(unsigned id, unsigned row, bool state) override {
    log.push_back(name + ":" + std::to_string(id) + " row " + std::to_string(row) +
                  (state ? " on" : " off"));
  }
  std::vector<std::string>& log;
  std::string name;
};

class Choices : public HeadlessToolkit {
 protected:
  void SetUp() override {
    HeadlessToolkit::SetUp();
    window = new Window({0, 0}, {400, 300}, WindowKind::Ordinary, kWindowClosable, "c", "c");
  }
  void TearDown() override {
    delete window;
    HeadlessToolkit::TearDown();
  }
  NativeChoice* makeChoice(const std::vector<std::string>& items) {
    return new NativeChoice(window, window->getControlForEmbedding(), {0, 0}, {120, 24},
                            "Device", items, "choice", 21, SizeFlag{1});
  }
  Window* window = nullptr;
  std::vector<std::string> log;
};

TEST_F(Choices, ItemsAndTheirDataStayInStep) {
  NativeChoice* choice = makeChoice({"a", "b", "c"});
  auto& view = HeadlessBackend::viewOf(*choice);
  EXPECT_EQ(choice->getValue(), 0);
  EXPECT_EQ(choice->appendChoice("d"), 3u);
  int p = 0, q = 0;
  choice->setChoiceData(3, &p);
  choice->setChoiceData(1, &q);
  choice->setChoiceData(4, &p);  // beyond the items: ignored
  EXPECT_EQ(choice->getChoiceData(3), &p);
  EXPECT_EQ(choice->getChoiceData(0), nullptr);
  EXPECT_EQ(choice->getChoiceData(4), nullptr);

  choice->removeChoice(0u);
  EXPECT_EQ(view.items(), (std::vector<std::string>{"b", "c", "d"}));
  EXPECT_EQ(choice->getChoiceData(0), &q);
  EXPECT_EQ(choice->getChoiceData(2), &p);
  choice->removeChoice(std::string("c"));
  choice->removeChoice(std::string("zz"));
  choice->removeChoice(7u);
  EXPECT_EQ(view.items(), (std::vector<std::string>{"b", "d"}));
  EXPECT_EQ(choice->getChoiceData(1), &p);
  EXPECT_EQ(choice->getNumberOfItems(), 2);

  choice->changeChoice(1, "D");
  choice->changeChoice(5, "nowhere");
  EXPECT_EQ(choice->getString(1), "D");
  EXPECT_EQ(choice->getString(9), "");
  unsigned index = 99;
  EXPECT_TRUE(choice->findChoice("D", index));
  EXPECT_EQ(index, 1u);
  EXPECT_FALSE(choice->findChoice("d", index));
  EXPECT_EQ(index, 1u);
  EXPECT_TRUE(choice->hasChoice("b"));

  choice->removeAllChoices();
  EXPECT_EQ(choice->getNumberOfItems(), 0);
  EXPECT_EQ(choice->getValue(), -1);
  EXPECT_EQ(choice->getStringValue(), "");
  EXPECT_EQ(choice->getChoiceData(0), nullptr);
}

TEST_F(Choices, RemovingTheMiddleItemMovesItsDataAlong) {
  NativeChoice* choice = makeChoice({"a", "b", "c"});
  int a = 0, c = 0;
  choice->setChoiceData(0, &a);
  choice->setChoiceData(2, &c);
  choice->removeChoice(1u);
  EXPECT_EQ(HeadlessBackend::viewOf(*choice).items(), (std::vector<std::string>{"a", "c"}));
  EXPECT_EQ(choice->getChoiceData(0), &a);
  EXPECT_EQ(choice->getChoiceData(1), &c);
}

TEST_F(Choices, SettersTellAllButTheSkippedListener) {
  NativeChoice* choice = makeChoice({"a", "b", "c"});
  Heard first(log, "1"), second(log, "2");
  choice->addChoiceListener(&first);
  const unsigned r = choice->addChoiceListener(&second);
  choice->setValue(std::string("b"), 0);
  EXPECT_EQ(choice->getValue(), 1);
  EXPECT_EQ(choice->getStringValue(), "b");
  choice->setValue(2u, r);
  choice->setValue(3u, 0);              // outside: nothing
  choice->setValue(std::string("x"), 0);  // no such item: nothing
  HeadlessBackend::viewOf(*choice).choose(0);
  EXPECT_EQ(log, (std::vector<std::string>{"1:21 1 b", "2:21 1 b", "1:21 2 c", "1:21 0 a",
                                           "2:21 0 a"}));
  EXPECT_EQ(choice->getValue(), 0);
  EXPECT_TRUE(choice->removeChoiceListener(r));
  EXPECT_FALSE(choice->removeChoiceListener(r));
}

TEST_F(Choices, AnEmptyChoiceHasNoSelection) {
  NativeChoice* choice = makeChoice({});
  EXPECT_EQ(choice->getValue(), -1);
  EXPECT_EQ(choice->getStringValue(), "");
  Heard heard(log, "h");
  choice->addChoiceListener(&heard);
  choice->setValue(0u, 0);
  EXPECT_TRUE(log.empty());
  EXPECT_EQ(choice->appendChoice("only"), 0u);
  EXPECT_EQ(choice->getValue(), -1);
}

TEST_F(Choices, CheckboxListsCountRowsAndShowThemOnlyWithTheColumn) {
  auto* list = new NativeListControl(window, window->getControlForEmbedding(), {0, 0},
                                     {200, 100}, NativeListControl::kCheckboxColumn, "MIDI", 30);
  auto* plain = new NativeListControl(window, window->getControlForEmbedding(), {0, 100},
                                      {200, 100}, NativeListControl::kPlain, "plain", 31);
  Heard heard(log, "h");
  EXPECT_EQ(list->addListControlCheckboxListener(&heard), 1u);
  plain->addListControlCheckboxListener(&heard);
  for (NativeListControl* l : {list, plain}) {
    l->addItemCheckbox("Keyboard", true);
    l->addItemCheckbox("Pads ♪", false);
  }
  EXPECT_EQ(list->dataSource().rowCount(), 2u);
  EXPECT_EQ(plain->dataSource().rowCount(), 2u);
  EXPECT_EQ(HeadlessBackend::viewOf(*list).shownRows().size(), 2u);
  EXPECT_TRUE(HeadlessBackend::viewOf(*plain).shownRows().empty());
  EXPECT_EQ(HeadlessBackend::viewOf(*list).setup().label, "MIDI");

  HeadlessBackend::viewOf(*list).toggleRow(1);
  HeadlessBackend::viewOf(*list).toggleRow(0);
  HeadlessBackend::viewOf(*plain).toggleRow(0);
  EXPECT_EQ(log, (std::vector<std::string>{"h:30 row 1 on", "h:30 row 0 off"}));

  std::string label;
  bool state = true;
  ASSERT_TRUE(list->dataSource().objectValue("col1CB", 1, label, state));
  EXPECT_EQ(label, "Pads ♪");
  EXPECT_TRUE(state);
  EXPECT_FALSE(list->dataSource().objectValue("other", 1, label, state));
  EXPECT_FALSE(list->dataSource().objectValue("col1CB", 2, label, state));
  list->setAutoResize(true);
  EXPECT_EQ(HeadlessBackend::viewOf(*list).autoResizeMask(), 63u);
}

}  // namespace
}  // namespace kelo::test
