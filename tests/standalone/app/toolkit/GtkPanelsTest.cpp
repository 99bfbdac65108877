// Panels, choice lists, checkbox lists and the file dialog of the GTK back end, seen and
// driven as a person would: on an X server, with xdotool.
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "standalone/app/toolkit/Application.h"
#include "standalone/app/toolkit/Choice.h"
#include "standalone/app/toolkit/Controls.h"
#include "standalone/app/toolkit/FileSelector.h"
#include "standalone/app/toolkit/Menu.h"
#include "standalone/app/toolkit/Panel.h"
#include "standalone/app/toolkit/Peers.h"
#include "standalone/app/toolkit/Window.h"
#include "tests/standalone/app/toolkit/DisplayFixture.h"
#include "tests/support/TempDir.h"

namespace kelo::test {
namespace {

using namespace vantor::VNT;
using VWindow = vantor::VNT::Window;

struct Heard : PanelListener, ChoiceListener, ListControlCheckboxListener {
  bool panelWantsDraw(unsigned) override { return true; }
  void panelDraw(unsigned, DrawContext* context) override {
    // A 20 x 10 yellow rectangle at the drawing origin.
    auto* cr = static_cast<cairo_t*>(context->getHandle());
    cairo_set_source_rgb(cr, 1, 1, 0);
    cairo_rectangle(cr, 0, 0, 20, 10);
    cairo_fill(cr);
  }
  void panelMouseDown(unsigned id, const Point& where, unsigned button, unsigned) override {
    log.push_back("down " + std::to_string(static_cast<int>(where.x)) + "," +
                  std::to_string(static_cast<int>(where.y)) + " b" + std::to_string(button));
  }
  void choiceValueChanged(unsigned id, unsigned index, const std::string& text) override {
    log.push_back("choice " + std::to_string(index) + " " + text);
  }
  void listControlCheckboxValueChanged(unsigned id, unsigned row, bool state) override {
    log.push_back("row " + std::to_string(row) + (state ? " on" : " off"));
  }
  std::vector<std::string> log;
};

// The text of a menu item: its label, or the row a combo box's item shows.
std::string itemText(GtkWidget* item) {
  GtkWidget* cell = gtk_bin_get_child(GTK_BIN(item));
  if (cell == nullptr || !GTK_IS_CELL_VIEW(cell)) {
    const char* label = gtk_menu_item_get_label(GTK_MENU_ITEM(item));
    return label != nullptr ? label : "";
  }
  GtkTreePath* path = gtk_cell_view_get_displayed_row(GTK_CELL_VIEW(cell));
  if (path == nullptr) return "";
  GtkTreeModel* model = gtk_cell_view_get_model(GTK_CELL_VIEW(cell));
  GtkTreeIter iter;
  gchar* text = nullptr;
  if (gtk_tree_model_get_iter(model, &iter, path)) gtk_tree_model_get(model, &iter, 0, &text, -1);
  std::string out = text != nullptr ? text : "";
  g_free(text);
  gtk_tree_path_free(path);
  return out;
}

// The item labelled `label` of a menu on screen (a context menu or a combo box's pop-up).
GtkWidget* menuItemLabelled(const std::string& label) {
  return DisplayToolkit::findInToplevels([&](GtkWidget* toplevel) -> GtkWidget* {
    GtkWidget* menu = gtk_bin_get_child(GTK_BIN(toplevel));
    if (menu == nullptr || !GTK_IS_MENU(menu)) return nullptr;
    GtkWidget* found = nullptr;
    GList* items = gtk_container_get_children(GTK_CONTAINER(menu));
    for (GList* i = items; i != nullptr && found == nullptr; i = i->next)
      if (itemText(GTK_WIDGET(i->data)) == label) found = GTK_WIDGET(i->data);
    g_list_free(items);
    return found;
  });
}

using GtkPanels = DisplayToolkit;

TEST_F(GtkPanels, AWindowOfControlsAsAPersonUsesIt) {
  auto* window = new VWindow({100, 100}, {420, 260}, WindowKind::Ordinary, kWindowClosable,
                             "Preferences", "prefs");
  auto* content = new Panel(window, nullptr, {0, 0}, {420, 260}, 1, "content");
  auto* panel = new Panel(window, content->getControlHandle(), {20, 20}, {180, 100}, 2, "bar");
  panel->setBackgroundColour({0.2, 0.4, 0.6, 255.0});
  new NativeButton(window, content->getControlHandle(), {220, 20}, {100, 30}, "Play", false,
                   "play", 3);
  new NativeSlider(window, content->getControlHandle(), {220, 60}, {180, 30}, 0, 100, 30,
                   "level", 4);
  auto* choice = new NativeChoice(window, content->getControlHandle(), {20, 140}, {180, 30},
                                  "Rate", {"44100", "48000", "96000"}, "rate", 5, SizeFlag{0});
  auto* list = new NativeListControl(window, content->getControlHandle(), {220, 100}, {180, 140},
                                     NativeListControl::kCheckboxColumn, "MIDI inputs", 6);
  list->addItemCheckbox("Keyboard", false);
  list->addItemCheckbox("Pads ♪", true);
  Heard heard;
  panel->addPanelListener(&heard);
  choice->addChoiceListener(&heard);
  list->addListControlCheckboxListener(&heard);
  ASSERT_TRUE(showAndWait(window, GTK_WIDGET(list->getControlHandle())));
  EXPECT_EQ(gtk_window_get_focus(GTK_WINDOW(window->getHandle())),
            GTK_WIDGET(content->getControlHandle()));

  // The panel's colour, with the listener's rectangle at its bottom-left.
  screenshot("toolkit-panels", {100, 100, 420, 260});
  EXPECT_EQ(rgbAt(20 + 100, 20 + 10), (std::vector<int>{51, 102, 153}));
  EXPECT_EQ(rgbAt(20 + 5, 20 + 95), (std::vector<int>{255, 255, 0}));
  EXPECT_EQ(rgbAt(20 + 5, 20 + 5), (std::vector<int>{51, 102, 153}));

  // A click at the panel's top-left corner arrives as (0, 0).
  ASSERT_TRUE(clickAt(100 + 20, 100 + 20));
  ASSERT_TRUE(waitUntil([&] { return !heard.log.empty(); }));
  settle();
  EXPECT_EQ(heard.log, std::vector<std::string>{"down 0,0 b0"});

  // The checkbox of the first row.
  heard.log.clear();
  auto* tree = GTK_TREE_VIEW(list->getControlHandle());
  GtkTreePath* first = gtk_tree_path_new_first();
  GdkRectangle cell{};
  gtk_tree_view_get_cell_area(tree, first, gtk_tree_view_get_column(tree, 0), &cell);
  gtk_tree_path_free(first);
  int wx = 0, wy = 0;
  gtk_tree_view_convert_bin_window_to_widget_coords(tree, cell.x, cell.y, &wx, &wy);
  const Point treeOrigin = originOf(GTK_WIDGET(tree));
  ASSERT_TRUE(clickAt(treeOrigin.x + wx + 10, treeOrigin.y + wy + cell.height / 2));
  ASSERT_TRUE(waitUntil([&] { return !heard.log.empty(); }));
  settle();
  EXPECT_EQ(heard.log, std::vector<std::string>{"row 0 on"});

  // Choosing "96000" from the pop-up list.
  heard.log.clear();
  const Point combo = centreOf(GTK_WIDGET(choice->getControlHandle()));
  ASSERT_TRUE(clickAt(combo.x, combo.y));
  GtkWidget* item = nullptr;
  ASSERT_TRUE(waitUntil([&] { return (item = menuItemLabelled("96000")) != nullptr; }));
  settle();
  screenshot("toolkit-choice-open", {0, 0, 1280, 800});
  const Point at = centreOf(item);
  ASSERT_TRUE(clickAt(at.x, at.y));
  ASSERT_TRUE(waitUntil([&] { return !heard.log.empty(); }));
  settle();
  EXPECT_EQ(heard.log, std::vector<std::string>{"choice 2 96000"});
  EXPECT_EQ(choice->getStringValue(), "96000");
  screenshot("toolkit-panels-after", {100, 100, 420, 260});
  delete window;
}

TEST_F(GtkPanels, AContextMenuOverAPanelTellsTheChosenItem) {
  auto* window = new VWindow({100, 100}, {200, 150}, WindowKind::Ordinary, kWindowClosable,
                             "Context", "context");
  auto* panel = new Panel(window, nullptr, {0, 0}, {200, 150}, 1, "content");
  auto* menu = new NativeMenu(3, "actions");
  menu->appendItem("Rewind", 10);
  menu->appendSeparator();
  menu->appendItem("Klänge ♪ löschen", 11);
  struct Opener : PanelListener, MenuListener {
    void panelMouseDown(unsigned, const Point& where, unsigned button, unsigned) override {
      if (button == 1) panel->popupMenu(menu, where);
    }
    void menuItemSelected(unsigned id, unsigned tag, const std::string& title) override {
      chosen.push_back(std::to_string(id) + " " + std::to_string(tag) + " " + title);
    }
    Panel* panel;
    NativeMenu* menu;
    std::vector<std::string> chosen;
  } opener;
  opener.panel = panel;
  opener.menu = menu;
  panel->addPanelListener(&opener);
  menu->addMenuListener(&opener);
  ASSERT_TRUE(showAndWait(window, GTK_WIDGET(panel->getControlHandle())));
  bool clicked = false;
  const TimerId timer = addTimer(0.3, 0.3, [&] {
    GtkWidget* item = clicked ? nullptr : menuItemLabelled("Klänge ♪ löschen");
    if (item == nullptr) return;
    screenshot("toolkit-context-menu", {100, 100, 300, 200});
    const Point at = centreOf(item);
    clicked = clickAt(at.x, at.y);
  });
  ASSERT_TRUE(clickAt(140, 130, 3));
  ASSERT_TRUE(waitUntil([&] { return !opener.chosen.empty(); }));
  removeTimer(timer);
  settle();
  EXPECT_EQ(opener.chosen, std::vector<std::string>{"3 11 Klänge ♪ löschen"});
  delete menu;

  // A menu deleted while it is up goes once it has closed.
  opener.menu = new NativeMenu(4, "other");
  opener.menu->appendItem("Stop", 1);
  const TimerId deleter = addTimer(0.3, 0.3, [&] {
    if (opener.menu == nullptr || menuItemLabelled("Stop") == nullptr) return;
    delete opener.menu;
    opener.menu = nullptr;
  });
  ASSERT_TRUE(clickAt(140, 130, 3));
  ASSERT_TRUE(waitUntil([&] { return opener.menu == nullptr; }));
  removeTimer(deleter);
  settle();
  EXPECT_EQ(menuItemLabelled("Stop"), nullptr);
  delete window;
}

TEST_F(GtkPanels, AFileDialogAnsweredByTypedKeys) {
  const std::filesystem::path folder =
      std::filesystem::temp_directory_path() / ("kelo-toolkit-" + std::to_string(getpid()));
  std::filesystem::create_directories(folder);
  const std::string typed = (folder / "song.MID").string();
  std::FILE* file = std::fopen(typed.c_str(), "w");
  ASSERT_NE(file, nullptr);
  std::fclose(file);

  vantor::PFileSelectorCocoa* selector =
      vantor::PFileSelectorCocoa::create(nullptr, vantor::PFileSelectorCocoa::kSelectForOpen);
  selector->addFileExtension(vantor::PFileExtension("MID", "mid", "", 0));
  selector->setTitle("Open a MIDI file");
  int step = 0;
  const TimerId timer = answerFileDialog("Open a MIDI file", typed, "toolkit-file-dialog", step);
  EXPECT_TRUE(selector->runModal());
  removeTimer(timer);
  EXPECT_GE(step, 4);
  ASSERT_EQ(selector->getNumSelectedFiles(), 1);
  EXPECT_EQ(selector->getSelectedFile(0), typed);
  selector->forget();
  std::filesystem::remove_all(folder);
}

TEST_F(GtkPanels, ASaveAsksAboutTheFileItWritesAndStaysOpenWhenTheUserKeepsIt) {
  const std::filesystem::path folder =
      std::filesystem::temp_directory_path() / ("kelo-toolkit-save-" + std::to_string(getpid()));
  std::filesystem::create_directories(folder);
  const std::string song = (folder / "song.kelo").string();
  ASSERT_TRUE(writeFile(song, "old"));

  vantor::PFileSelectorCocoa* selector =
      vantor::PFileSelectorCocoa::create(nullptr, vantor::PFileSelectorCocoa::kSelectForSave);
  selector->addFileExtension(vantor::PFileExtension("KELO", "kelo", "", 0));
  selector->setSavedExtension("kelo");
  selector->setTitle("Save a state");
  // "song" typed: the question names "song.kelo"; kept, the dialog stays for "other".
  int step = 0;
  int ticks = 0;
  std::string asked;
  // The dialog's name field, clicked so that the keys go to it (a click on Save took the focus).
  const auto clickNameField = [](GtkWidget* dialog) {
    GtkWidget* entry = findInToplevels([dialog](GtkWidget* top) -> GtkWidget* {
      if (top != dialog) return nullptr;
      GtkWidget* found = nullptr;
      std::function<void(GtkWidget*)> walk = [&](GtkWidget* w) {
        if (found == nullptr && GTK_IS_ENTRY(w) && gtk_widget_get_mapped(w)) found = w;
        if (found == nullptr && GTK_IS_CONTAINER(w))
          gtk_container_forall(GTK_CONTAINER(w),
                               [](GtkWidget* child, gpointer f) {
                                 (*static_cast<std::function<void(GtkWidget*)>*>(f))(child);
                               },
                               &walk);
      };
      walk(top);
      return found;
    });
    if (entry == nullptr) return;
    const Point at = centreOf(entry);
    clickAt(at.x, at.y);
  };
  const auto pressSave = [](GtkWidget* dialog) {
    GtkWidget* save = dialog != nullptr ? buttonLabelled(dialog, "_Save") : nullptr;
    if (save == nullptr) return;
    const Point at = centreOf(save);
    clickAt(at.x, at.y);
  };
  const TimerId timer = addTimer(0.5, 0.3, [&] {
    GtkWidget* dialog = toplevelTitled("Save a state");
    GtkWidget* question = findInToplevels(
        [](GtkWidget* w) { return GTK_IS_MESSAGE_DIALOG(w) ? w : nullptr; });
    if (++ticks == 400) {  // two minutes: fail rather than hang
      ADD_FAILURE() << "the save question was not answered; stuck at step " << step;
      if (question != nullptr) gtk_dialog_response(GTK_DIALOG(question), 1);
      vantor::VNT::backend().cancelFileQuestion();
      return;
    }
    if (question != nullptr) {
      // The question: read once, then Cancel (again, should a click come too early).
      if (step == 3) {
        gchar* text = nullptr;
        g_object_get(question, "text", &text, nullptr);
        asked = text != nullptr ? text : "";
        g_free(text);
        screenshot("toolkit-save-replace-question", screenRectOf(question));
        step = 4;
      } else if (ticks % 5 != 0) {
        return;
      }
      GtkWidget* keep = buttonLabelled(question, "Cancel");
      ASSERT_NE(keep, nullptr);
      const Point at = centreOf(keep);
      clickAt(at.x, at.y);
      return;
    }
    if (dialog == nullptr) return;
    // Save again until the dialog has taken the typed name (a completion pop-up may take the
    // first press); a click, unlike Return, never reaches the modal question.
    if (step == 3 || step == 7) {
      if (ticks % 5 == 0) pressSave(dialog);
      return;
    }
    if (!gtk_window_is_active(GTK_WINDOW(dialog))) {
      gtk_window_present(GTK_WINDOW(dialog));  // no window manager gives it the focus
      return;
    }
    switch (step) {
      case 0: case 4:
        clickNameField(dialog);
        xdotool("key ctrl+a");
        break;
      case 1: xdotool("type --delay 20 '" + (folder / "song").string() + "'"); break;
      case 5: xdotool("type --delay 20 '" + (folder / "other").string() + "'"); break;
      case 2: case 6: pressSave(dialog); break;
      default: return;
    }
    ++step;
  });
  EXPECT_TRUE(selector->runModal());
  removeTimer(timer);
  EXPECT_EQ(asked, "\u201csong.kelo\u201d already exists. Do you want to replace it?");
  ASSERT_EQ(selector->getNumSelectedFiles(), 1);
  EXPECT_EQ(selector->getSelectedFile(0), (folder / "other.kelo").string());
  EXPECT_EQ(readFile(song), "old");
  selector->forget();
  std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace kelo::test
