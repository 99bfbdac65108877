#include "standalone/app/toolkit/gtk/GtkBackend.h"

#include <glib-unix.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdlib>

#include "standalone/app/toolkit/Application.h"
#include "standalone/app/toolkit/FileSelector.h"
#include "standalone/app/toolkit/gtk/GtkPeers.h"

namespace vantor::VNT {

using gtkpeers::GtkViewPeer;
using gtkpeers::GtkWindowPeer;

namespace {

guint milliseconds(double seconds) {
  if (!(seconds > 0)) return 0;
  return static_cast<guint>(std::min(std::lround(seconds * 1000.0), 0x7fffffffL));
}

gboolean quitOnSignal(gpointer) {
  quitApplication();
  return G_SOURCE_CONTINUE;
}

// Lets GTK handle everything pending, so that what was just changed is on screen and a press
// on a button is delivered.
void drainEvents() {
  while (gtk_events_pending()) gtk_main_iteration_do(FALSE);
}

// A GTK dialog run modally over the window it belongs to, counted as that run's innermost
// window while it is up.
int runDialog(GtkWidget* dialog) {
  gtkpeers::enterModal(dialog);
  const int response = gtk_dialog_run(GTK_DIALOG(dialog));
  gtkpeers::leaveModal(dialog);
  return response;
}

// A context menu: a GtkMenu popped up at the triggering event, run until it closes.
class GtkMenuPeer final : public MenuPeer {
 public:
  GtkMenuPeer() : m_menu(gtk_menu_new()) {
    g_object_ref_sink(m_menu);
    m_destroyHandler = g_signal_connect(m_menu, "destroy", G_CALLBACK(onDestroy), this);
    g_signal_connect(m_menu, "deactivate", G_CALLBACK(onDeactivate), this);
  }
  ~GtkMenuPeer() override {
    g_signal_handler_disconnect(m_menu, m_destroyHandler);
    gtk_widget_destroy(m_menu);
    g_object_unref(m_menu);
  }

  void setOwner(MenuOwner* owner) override { m_owner = owner; }

  void release() override {
    if (m_loop == nullptr) {
      delete this;
      return;
    }
    m_released = true;  // popUp deletes it once the menu has closed
    g_main_loop_quit(m_loop);
  }

  void appendItem(const std::string& utf8Title, unsigned tag) override {
    GtkWidget* item = gtk_menu_item_new_with_label(utf8Title.c_str());
    g_object_set_data(G_OBJECT(item), "vnt-tag", GUINT_TO_POINTER(tag));
    g_signal_connect(item, "activate", G_CALLBACK(onItem), this);
    gtk_menu_shell_append(GTK_MENU_SHELL(m_menu), item);
    gtk_widget_show(item);
  }

  void appendSeparator() override {
    GtkWidget* item = gtk_separator_menu_item_new();
    gtk_menu_shell_append(GTK_MENU_SHELL(m_menu), item);
    gtk_widget_show(item);
  }

  void popUp(ViewPeer& view, void* event) override {
    auto* widget = static_cast<GtkWidget*>(view.handle());
    if (gtk_menu_get_attach_widget(GTK_MENU(m_menu)) != widget) {
      if (gtk_menu_get_attach_widget(GTK_MENU(m_menu)) != nullptr) gtk_menu_detach(GTK_MENU(m_menu));
      gtk_menu_attach_to_widget(GTK_MENU(m_menu), widget, nullptr);
    }
    gtk_menu_popup_at_pointer(GTK_MENU(m_menu), static_cast<GdkEvent*>(event));
    if (!gtk_widget_get_visible(m_menu)) return;
    m_loop = g_main_loop_new(nullptr, FALSE);
    g_main_loop_run(m_loop);  // an item's activation comes before the loop ends
    g_main_loop_unref(m_loop);
    m_loop = nullptr;
    if (m_released) delete this;
  }

 private:
  static void onItem(GtkMenuItem* item, gpointer self) {
    auto* peer = static_cast<GtkMenuPeer*>(self);
    if (peer->m_owner == nullptr) return;
    peer->m_owner->peerItemChosen(GPOINTER_TO_UINT(g_object_get_data(G_OBJECT(item), "vnt-tag")),
                                  gtk_menu_item_get_label(item));
  }
  static void onDeactivate(GtkMenuShell*, gpointer self) {
    auto* peer = static_cast<GtkMenuPeer*>(self);
    if (peer->m_loop != nullptr) g_main_loop_quit(peer->m_loop);
  }
  static void onDestroy(GtkWidget*, gpointer self) {
    // The menu went by itself: its toolkit menu goes, then this peer.
    auto* peer = static_cast<GtkMenuPeer*>(self);
    if (peer->m_loop != nullptr) g_main_loop_quit(peer->m_loop);
    if (peer->m_owner != nullptr) {
      MenuOwner* owner = peer->m_owner;
      peer->m_owner = nullptr;
      owner->peerEnded();
    }
    delete peer;
  }

  GtkWidget* m_menu;
  gulong m_destroyHandler;
  MenuOwner* m_owner = nullptr;
  GMainLoop* m_loop = nullptr;
  bool m_released = false;
};

// The chooser sizes itself when mapped (from its saved settings, or from its font); it must
// still fit on the screen.
void fitChooser(GtkWidget* dialog, gpointer) {
  GdkDisplay* display = gtk_widget_get_display(dialog);
  GdkMonitor* monitor =
      gdk_display_get_monitor_at_window(display, gtk_widget_get_window(dialog));
  if (monitor == nullptr) return;
  GdkRectangle area{};
  gdk_monitor_get_workarea(monitor, &area);
  int width = 0, height = 0;
  gtk_window_get_size(GTK_WINDOW(dialog), &width, &height);
  const int maxWidth = area.width * 9 / 10, maxHeight = area.height * 9 / 10;
  if (width > maxWidth || height > maxHeight) {
    gtk_window_resize(GTK_WINDOW(dialog), std::min(width, maxWidth), std::min(height, maxHeight));
    gtk_window_move(GTK_WINDOW(dialog), area.x + (area.width - std::min(width, maxWidth)) / 2,
                    area.y + (area.height - std::min(height, maxHeight)) / 2);
  }
}

}  // namespace

std::string anyCaseExtensionPattern(const std::string& extension) {
  std::string pattern = "*.";
  for (const char c : extension) {
    const auto u = static_cast<unsigned char>(c);
    if (g_ascii_isalpha(u)) {
      pattern += '[';
      pattern += static_cast<char>(g_ascii_tolower(u));
      pattern += static_cast<char>(g_ascii_toupper(u));
      pattern += ']';
    } else if (c == '*' || c == '?' || c == '[' || c == ']') {
      pattern += '[';
      pattern += c;
      pattern += ']';
    } else {
      pattern += c;
    }
  }
  return pattern;
}

bool startGtkBackendIfDisplay() {
  if (hasInstalledBackend()) return dynamic_cast<GtkBackend*>(&backend()) != nullptr;
  gdk_set_allowed_backends("x11");
  if (!gtk_init_check(nullptr, nullptr)) return false;
  setBackend(new GtkBackend());
  static GtkAlertBackend alerts;
  setAlertBackend(&alerts);
  PxProgressDialogCocoa::setViewFactory(makeGtkProgressView);
  return true;
}

void installQuitSignals() {
  static bool installed = false;
  if (installed) return;
  installed = true;
  g_unix_signal_add(SIGINT, quitOnSignal, nullptr);
  g_unix_signal_add(SIGTERM, quitOnSignal, nullptr);
}

struct GtkBackend::Timer {
  GtkBackend* backend;
  TimerId id;
  guint interval;
  std::function<void()> callback;
  guint source = 0;
  bool first = true;
};

GtkBackend::GtkBackend() = default;

GtkBackend::~GtkBackend() {
  for (auto& [id, timer] : m_timers) g_source_remove(timer->source);
  m_timers.clear();
}

WindowPeer* GtkBackend::createWindow(WindowKind kind, long style, const Rect& content,
                                     const std::string& title) {
  return new GtkWindowPeer(kind, style, content, title);
}

ViewPeer* GtkBackend::createView(void* parent, const Rect& frame, const ViewSetup& setup) {
  return new GtkViewPeer(static_cast<GtkWidget*>(parent), frame, setup);
}

ViewPeer* GtkBackend::peerOf(void* handle) { return GtkViewPeer::of(handle); }

void GtkBackend::runMainLoop() {
  m_mainLoop = g_main_loop_new(nullptr, FALSE);
  g_main_loop_run(m_mainLoop);
  g_main_loop_unref(m_mainLoop);
  m_mainLoop = nullptr;
}

void GtkBackend::quitMainLoop() {
  if (m_mainLoop != nullptr) g_main_loop_quit(m_mainLoop);
}

TimerId GtkBackend::addTimer(double firstSeconds, double intervalSeconds,
                             std::function<void()> callback) {
  auto timer = std::make_unique<Timer>();
  timer->backend = this;
  timer->id = m_nextTimer++;
  timer->interval = std::max<guint>(milliseconds(intervalSeconds), 1);
  timer->callback = std::move(callback);
  timer->source = g_timeout_add(milliseconds(firstSeconds), fire, timer.get());
  const TimerId id = timer->id;
  m_timers[id] = std::move(timer);
  return id;
}

void GtkBackend::removeTimer(TimerId id) {
  auto it = m_timers.find(id);
  if (it == m_timers.end()) return;
  g_source_remove(it->second->source);
  m_timers.erase(it);
}

gboolean GtkBackend::fire(gpointer data) {
  auto* timer = static_cast<Timer*>(data);
  GtkBackend* backend = timer->backend;
  const TimerId id = timer->id;
  // Copied: the callback may remove its own timer.
  std::function<void()> callback = timer->callback;
  callback();
  auto it = backend->m_timers.find(id);
  if (it == backend->m_timers.end()) return G_SOURCE_REMOVE;  // removed (its source too)
  if (!timer->first) return G_SOURCE_CONTINUE;
  timer->first = false;
  timer->source = g_timeout_add(timer->interval, fire, timer);
  return G_SOURCE_REMOVE;
}

MenuPeer* GtkBackend::createMenu() { return new GtkMenuPeer(); }

int GtkBackend::askFiles(const FileQuestion& question, std::vector<std::string>& paths) {
  const GtkFileChooserAction action =
      question.style == 1 ? GTK_FILE_CHOOSER_ACTION_SAVE
                          : (question.style == 0 ? GTK_FILE_CHOOSER_ACTION_OPEN
                                                 : GTK_FILE_CHOOSER_ACTION_SELECT_FOLDER);
  const char* accept = question.style == 1 ? "_Save" : (question.style == 0 ? "_Open" : "_Select");
  const char* fallbackTitle =
      question.style == 1 ? "Save" : (question.style == 0 ? "Open" : "Choose a Folder");
  GtkWidget* dialog = gtk_file_chooser_dialog_new(
      question.title.empty() ? fallbackTitle : question.title.c_str(), gtkpeers::dialogParent(), action,
      "_Cancel", GTK_RESPONSE_CANCEL, accept, GTK_RESPONSE_ACCEPT, nullptr);
  GtkFileChooser* chooser = GTK_FILE_CHOOSER(dialog);
  g_signal_connect_after(dialog, "map", G_CALLBACK(fitChooser), nullptr);
  gtk_dialog_set_default_response(GTK_DIALOG(dialog), GTK_RESPONSE_ACCEPT);
  gtk_file_chooser_set_local_only(chooser, TRUE);
  if (question.style != 0) gtk_file_chooser_set_create_folders(chooser, TRUE);
  if (question.style == 0) gtk_file_chooser_set_select_multiple(chooser, question.multipleSelection);
  if (!question.message.empty())
    gtk_file_chooser_set_extra_widget(chooser, gtk_label_new(question.message.c_str()));
  if (!question.directory.empty())
    gtk_file_chooser_set_current_folder(chooser, question.directory.c_str());
  if (question.style == 1 && !question.fileName.empty())
    gtk_file_chooser_set_current_name(chooser, question.fileName.c_str());
  if (!question.allowedTypes.empty()) {
    GtkFileFilter* filter = gtk_file_filter_new();
    std::string name;
    for (const std::string& type : question.allowedTypes) {
      if (type.find('/') != std::string::npos)
        gtk_file_filter_add_mime_type(filter, type.c_str());
      else
        gtk_file_filter_add_pattern(filter, anyCaseExtensionPattern(type).c_str());
      name += (name.empty() ? "" : ", ") + type;
    }
    gtk_file_filter_set_name(filter, name.c_str());
    gtk_file_chooser_add_filter(chooser, filter);  // the chooser owns it
  }
  m_fileDialog = dialog;
  int response = GTK_RESPONSE_CANCEL;
  // GTK's own overwrite check sees the typed name, not the one the extension rule writes: a
  // save asks about the written file itself and stays open when the user keeps it.
  while ((response = runDialog(dialog)) == GTK_RESPONSE_ACCEPT &&
         question.style == 1) {
    gchar* typed = gtk_file_chooser_get_filename(chooser);
    const std::string written = typed != nullptr ? confirmedSavePath(question, typed) : "";
    g_free(typed);
    if (!written.empty()) {
      paths.push_back(written);
      break;
    }
  }
  m_fileDialog = nullptr;
  int result = 0;
  if (response == GTK_RESPONSE_ACCEPT) {
    result = 1;
    if (question.style != 1) {
      GSList* names = gtk_file_chooser_get_filenames(chooser);
      for (GSList* item = names; item != nullptr; item = item->next)
        paths.emplace_back(static_cast<const char*>(item->data));
      g_slist_free_full(names, g_free);
    }
  }
  gtk_widget_destroy(dialog);
  drainEvents();
  return result;
}

void GtkBackend::cancelFileQuestion() {
  if (m_fileDialog != nullptr) gtk_dialog_response(GTK_DIALOG(m_fileDialog), GTK_RESPONSE_CANCEL);
}

int GtkAlertBackend::runAlert(const AlertRequest& alert) {
  GtkWidget* dialog = gtk_message_dialog_new(
      gtkpeers::dialogParent(), GTK_DIALOG_MODAL,
      alert.buttonCount > 1 ? GTK_MESSAGE_QUESTION : GTK_MESSAGE_INFO, GTK_BUTTONS_NONE, "%s",
      alert.title != nullptr ? alert.title : "");
  // A window without a title shows nothing in the task list: the program's name stands in.
  const bool titled = alert.title != nullptr && alert.title[0] != '\0';
  gtk_window_set_title(GTK_WINDOW(dialog), titled ? alert.title : g_get_application_name());
  if (alert.text != nullptr && alert.text[0] != '\0')
    gtk_message_dialog_format_secondary_text(GTK_MESSAGE_DIALOG(dialog), "%s", alert.text);
  for (int i = 0; i < alert.buttonCount; ++i)
    gtk_dialog_add_button(GTK_DIALOG(dialog), alert.buttons[i], i);
  gtk_window_set_keep_above(GTK_WINDOW(dialog), TRUE);
  const int response = runDialog(dialog);
  gtk_widget_destroy(dialog);
  drainEvents();
  return response >= 0 && response < alert.buttonCount ? response : kAlertEndedOtherwise;
}

namespace {

class GtkProgressView final : public ProgressView {
 public:
  explicit GtkProgressView(const ProgressViewSetup& setup)
      : m_steps(setup.steps), m_dialog(setup.dialog), m_window(gtk_window_new(GTK_WINDOW_TOPLEVEL)) {
    const ProgressLayout& layout = setup.layout;
    gtk_window_set_title(GTK_WINDOW(m_window), setup.title.c_str());
    gtk_window_set_deletable(GTK_WINDOW(m_window), FALSE);
    gtk_window_set_resizable(GTK_WINDOW(m_window), FALSE);
    gtk_window_set_keep_above(GTK_WINDOW(m_window), TRUE);
    gtkpeers::attachToParent(m_window);
    gtk_window_set_position(GTK_WINDOW(m_window), GTK_WIN_POS_CENTER);
    // Nothing closes it but its dialog.
    g_signal_connect(m_window, "delete-event", G_CALLBACK(gtk_true), nullptr);
    GtkWidget* fixed = gtk_fixed_new();
    gtk_widget_set_size_request(fixed, static_cast<int>(layout.content.width),
                                static_cast<int>(layout.content.height));
    gtk_container_add(GTK_CONTAINER(m_window), fixed);
    m_status = gtk_label_new(setup.title.c_str());
    gtk_label_set_xalign(GTK_LABEL(m_status), 0.0f);
    gtk_label_set_ellipsize(GTK_LABEL(m_status), PANGO_ELLIPSIZE_END);
    put(fixed, m_status, layout.status, layout.content.height);
    m_mainBar = gtk_progress_bar_new();
    put(fixed, m_mainBar, layout.mainBar, layout.content.height);
    if (setup.secondBar) {
      m_secondBar = gtk_progress_bar_new();
      put(fixed, m_secondBar, layout.secondBar, layout.content.height);
    }
    if (setup.cancellable) {
      GtkWidget* cancel = gtk_button_new_with_label("Cancel");
      g_signal_connect(cancel, "clicked", G_CALLBACK(onCancel), this);
      put(fixed, cancel, layout.cancelButton, layout.content.height);
    }
    gtk_widget_show_all(m_window);
    gtk_window_present(GTK_WINDOW(m_window));
    drainEvents();
  }

  ~GtkProgressView() override {
    gtk_widget_destroy(m_window);
    drainEvents();
  }

  void advanceMainBar(double delta) override { setMainBar(m_main + delta); }
  void setMainBar(double value) override {
    m_main = value;
    const double fraction = m_steps > 0 ? value / static_cast<double>(m_steps) : 0.0;
    gtk_progress_bar_set_fraction(GTK_PROGRESS_BAR(m_mainBar), std::clamp(fraction, 0.0, 1.0));
  }
  void setSecondBar(double value) override {
    if (m_secondBar != nullptr)
      gtk_progress_bar_set_fraction(GTK_PROGRESS_BAR(m_secondBar),
                                    std::clamp(value / 100.0, 0.0, 1.0));
  }
  void setStatus(const std::string& utf8) override {
    gtk_label_set_text(GTK_LABEL(m_status), utf8.c_str());
  }
  void redrawStatus() override { drainEvents(); }
  void redrawMainBar() override { drainEvents(); }
  void redrawSecondBar() override { drainEvents(); }
  void runModalSessionOnce() override { drainEvents(); }

  int confirm(const std::string& message, const std::string& first,
              const std::string& second) override {
    GtkWidget* dialog = gtk_message_dialog_new(GTK_WINDOW(m_window), GTK_DIALOG_MODAL,
                                               GTK_MESSAGE_WARNING, GTK_BUTTONS_NONE, "%s",
                                               message.c_str());
    gtk_dialog_add_button(GTK_DIALOG(dialog), first.c_str(), 1);
    gtk_dialog_add_button(GTK_DIALOG(dialog), second.c_str(), 2);
    gtk_window_set_keep_above(GTK_WINDOW(dialog), TRUE);
    const int response = runDialog(dialog);
    gtk_widget_destroy(dialog);
    return response == 2 ? 2 : 1;
  }

 private:
  // Layout rectangles are bottom-left based; GTK places from the top-left.
  static void put(GtkWidget* fixed, GtkWidget* widget, const ProgressRect& r, double height) {
    gtk_widget_set_size_request(widget, static_cast<int>(r.width), static_cast<int>(r.height));
    gtk_fixed_put(GTK_FIXED(fixed), widget, static_cast<int>(r.x),
                  static_cast<int>(height - r.y - r.height));
  }
  static void onCancel(GtkButton*, gpointer self) {
    auto* view = static_cast<GtkProgressView*>(self);
    if (view->m_dialog != nullptr) view->m_dialog->cancelPressed();
  }

  std::uint64_t m_steps;
  PxProgressDialogCocoa* m_dialog;
  GtkWidget* m_window;
  GtkWidget* m_status = nullptr;
  GtkWidget* m_mainBar = nullptr;
  GtkWidget* m_secondBar = nullptr;
  double m_main = 0;
};

}  // namespace

std::unique_ptr<ProgressView> makeGtkProgressView(const ProgressViewSetup& setup) {
  return std::make_unique<GtkProgressView>(setup);
}

}  // namespace vantor::VNT
