// The headless back end: windows and views kept in memory, for unit tests of the toolkit and
// of the dialogs. Tests inject the user's actions through the views (`click`, `moveTo`,
// `scroll`...), script what happens inside modal and main loops (`queueStep`), and move a
// virtual clock that fires the timers (`advanceClock`).
//
// Ownership: a view owns its children; a window owns its content view; the back end owns every
// window peer until it is destroyed, so a test can still look at a closed window. Views created
// without a parent belong to the back end until placed.
//
// Threads: main thread only.
#pragma once

#include <cairo.h>

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "standalone/app/toolkit/Peers.h"

namespace vantor::VNT {
class NativeControl;
class Window;
}

namespace vantor::VNT::headless {

class HeadlessBackend;

class HeadlessView final : public ViewPeer {
 public:
  HeadlessView(HeadlessBackend& backend, const Rect& frame, const ViewSetup& setup);
  /// Ends the owner first (it deletes itself), then the children.
  ~HeadlessView() override;

  void setOwner(ViewOwner* owner) override { m_owner = owner; }
  void* handle() override { return this; }
  void setTag(unsigned tag) override { m_tag = tag; }
  void setEnabled(bool enabled) override { m_enabled = enabled; }
  bool isEnabled() override { return m_enabled; }
  void setAutoResize(unsigned mask, bool resizesSubviews) override;
  void setFrame(const Rect& frame) override;
  Rect frame() override { return m_frame; }
  void redraw() override { ++m_redraws; }
  void redraw(const Rect&) override { ++m_redraws; }
  void sizeToFit() override;
  void setFont(const std::string& description) override { m_font = description; }
  std::string fontDescription() override { return m_font; }
  void addSubview(ViewPeer& child) override;
  void setText(const std::string& utf8) override { m_text = utf8; }
  std::string text() override { return m_text; }
  void setState(bool on) override { m_state = on; }
  void setIntValue(int value) override;
  int intValue() override { return m_value; }
  void insertItem(int index, const std::string& utf8) override;
  void setItemText(int index, const std::string& utf8) override;
  void removeItem(int index) override;
  void removeAllItems() override;
  int itemCount() override { return static_cast<int>(m_items.size()); }
  void selectItem(int index) override;
  int selectedItem() override { return m_selected; }
  void appendRow(const std::string& utf8, bool state) override { m_rows.push_back({utf8, state}); }

  // What a person would do.
  void click();
  /// Moves a slider's knob to `value` (kept in its range) and reports it as the user's move.
  void moveTo(int value);
  void scroll(double deltaY);
  /// Picks item `index` of a choice list.
  void choose(int index);
  /// Clicks the checkbox of `row` (lists with a checkbox column only).
  void toggleRow(unsigned row);
  /// X11 button `x11Button` pressed or released at `where` with the GDK modifier `state`.
  void press(const Point& where, unsigned x11Button, unsigned state);
  void release(const Point& where, unsigned x11Button, unsigned state);
  /// The pointer moves to `where`; buttons held are in `state` (a drag), else a plain move.
  void move(const Point& where, unsigned state);
  /// Types into a text field and ends editing (Return).
  void typeAndEnter(const std::string& utf8);

  /// The native event handed to the owner during a mouse call.
  struct Event {
    int kind;
    Point where;
  };

  // What a person would see.
  ViewKind kind() const { return m_setup.kind; }
  const ViewSetup& setup() const { return m_setup; }
  unsigned tag() const { return m_tag; }
  bool state() const { return m_state; }
  unsigned autoResizeMask() const { return m_autoResizeMask; }
  bool resizesSubviews() const { return m_resizesSubviews; }
  const std::string& font() const { return m_font; }
  int redrawCount() const { return m_redraws; }
  ViewOwner* owner() const { return m_owner; }
  const std::vector<std::unique_ptr<HeadlessView>>& children() const { return m_children; }
  const std::vector<std::string>& items() const { return m_items; }
  struct Row {
    std::string label;
    bool state;
  };
  /// The rows a list shows: none without a checkbox column.
  std::vector<Row> shownRows() const;
  /// The view's contents drawn by its owner into an image of the view's size.
  cairo_surface_t* render();

 private:
  friend class HeadlessBackend;
  HeadlessBackend& m_backend;
  ViewSetup m_setup;
  ViewOwner* m_owner = nullptr;
  Rect m_frame;
  unsigned m_tag = 0;
  bool m_enabled = true;
  unsigned m_autoResizeMask = 0;
  bool m_resizesSubviews = false;
  int m_redraws = 0;
  std::string m_font = "Sans 9";
  std::string m_text;
  bool m_state = false;
  int m_value = 0;
  std::vector<std::unique_ptr<HeadlessView>> m_children;
  std::vector<std::string> m_items;
  int m_selected = -1;
  std::vector<Row> m_rows;
  void mouse(int kind, const Point& where, unsigned button, unsigned state);
};

/// A context menu: shows nothing, picks the item the back end's script names.
class HeadlessMenu final : public MenuPeer {
 public:
  explicit HeadlessMenu(HeadlessBackend& backend) : m_backend(backend) {}
  ~HeadlessMenu() override;
  void setOwner(MenuOwner* owner) override { m_owner = owner; }
  void appendItem(const std::string& utf8Title, unsigned tag) override;
  void appendSeparator() override;
  void popUp(ViewPeer& view, void* event) override;
  /// The native menu goes by itself: its owner deletes itself, then so does this peer.
  void end();

  struct Item {
    std::string title;
    unsigned tag;
    bool separator;
  };
  const std::vector<Item>& items() const { return m_items; }

 private:
  HeadlessBackend& m_backend;
  MenuOwner* m_owner = nullptr;
  std::vector<Item> m_items;
};

class HeadlessWindow final : public WindowPeer {
 public:
  HeadlessWindow(HeadlessBackend& backend, WindowKind kind, long style, const Rect& content,
                 const std::string& title);
  ~HeadlessWindow() override;

  void setOwner(WindowOwner* owner) override { m_owner = owner; }
  void* handle() override { return this; }
  ViewPeer& contentView() override { return *m_content; }
  void setContentView(ViewPeer& view) override;
  void show() override { m_visible = true; }
  void hide() override;
  bool isVisible() override { return m_visible; }
  bool isKey() override;
  void makeKey() override;
  void close() override;
  unsigned runModal() override;
  void stopModal(unsigned code) override;
  void setTitle(const std::string& utf8) override { m_title = utf8; }
  void setBackground(const RGBAColour& colour) override { m_background = colour; }
  void setContentSize(const Size& size) override;
  void centre() override;
  void setFramePosition(const Point& topLeft) override;
  void setFrameRect(const Rect& frame) override;
  Rect frameRect() override;
  void setMenuBar(const MenuBarModel& menus, MenuActionHandler onAction) override;

  /// A close asked by the user or the window manager: closes when the owner lets it.
  void requestClose();
  /// The menu item with Ctrl+`key` sends its action; false when no item has that key.
  bool pressAccelerator(const std::string& key);

  bool isClosed() const { return m_closed; }
  bool isModal() const { return m_modal; }
  WindowKind kind() const { return m_kind; }
  long style() const { return m_style; }
  const std::string& title() const { return m_title; }
  const RGBAColour& background() const { return m_background; }
  const MenuBarModel& menus() const { return m_menus; }
  HeadlessView& content() { return *m_content; }

 private:
  HeadlessBackend& m_backend;
  WindowOwner* m_owner = nullptr;
  WindowKind m_kind;
  long m_style;
  std::string m_title;
  Rect m_contentRect;
  RGBAColour m_background;
  std::unique_ptr<HeadlessView> m_content;
  bool m_visible = false;
  bool m_closed = false;
  bool m_modal = false;
  bool m_stopModal = false;
  unsigned m_modalCode = 0;
  MenuBarModel m_menus;
  MenuActionHandler m_onAction;
};

/// What `runModal` answers when its script ran out and no timer is due within the time limit,
/// so that a test without an `endModal` fails instead of hanging.
inline constexpr unsigned kModalAbandoned = 0xffffffffu;

class HeadlessBackend final : public Backend {
 public:
  /// Creates a headless back end and installs it in place of any other.
  static HeadlessBackend& install();
  /// The installed headless back end; null when another kind is installed.
  static HeadlessBackend* installed();

  HeadlessBackend();
  ~HeadlessBackend() override;

  WindowPeer* createWindow(WindowKind kind, long style, const Rect& content,
                           const std::string& title) override;
  ViewPeer* createView(void* parent, const Rect& frame, const ViewSetup& setup) override;
  ViewPeer* peerOf(void* handle) override;
  void runMainLoop() override;
  void quitMainLoop() override { m_quit = true; }
  TimerId addTimer(double firstSeconds, double intervalSeconds,
                   std::function<void()> callback) override;
  void removeTimer(TimerId id) override;
  MenuPeer* createMenu() override { return new HeadlessMenu(*this); }
  /// Answers with the next queued file answer; without one, as cancelled. A save answers the
  /// name really written (`confirmedSavePath`, asking through the alert back end); a file the
  /// user does not replace takes the next queued answer as the next try.
  int askFiles(const FileQuestion& question, std::vector<std::string>& paths) override;
  void cancelFileQuestion() override;

  /// The next file question is confirmed with `paths`.
  void queueFileAnswer(std::vector<std::string> paths);
  /// The next file question is answered by `answer` (which may cancel it).
  void queueFileAnswer(std::function<int(const FileQuestion&, std::vector<std::string>&)> answer);
  const std::vector<FileQuestion>& fileQuestions() const { return m_fileQuestions; }
  /// The next menu popped up chooses item `index` (counting separators); -1 chooses nothing.
  void queueMenuChoice(int index) { m_menuChoices.push_back(index); }
  struct Popup {
    ViewPeer* view;
    void* event;
  };
  const std::vector<Popup>& popups() const { return m_popups; }

  /// Runs `step` inside the next loop that runs (modal or main), after the steps queued before.
  void queueStep(std::function<void()> step) { m_steps.push_back(std::move(step)); }
  /// Moves the virtual clock on by `seconds`, firing every timer that falls due, in time order.
  void advanceClock(double seconds);
  double now() const { return m_now; }
  /// How far a modal loop without steps moves the clock looking for timers before it gives up.
  void setModalTimeLimit(double seconds) { m_modalTimeLimit = seconds; }

  const std::vector<std::unique_ptr<HeadlessWindow>>& windows() const { return m_windows; }
  /// The focused window, null when none.
  HeadlessWindow* keyWindow() const { return m_key; }
  /// Views created without a parent and not placed yet.
  std::size_t unplacedViewCount() const { return m_unplaced.size(); }

  /// The view of a control, a window's peer: shortcuts for tests.
  static HeadlessView& viewOf(NativeControl& control);
  static HeadlessWindow& windowOf(Window& window);

 private:
  friend class HeadlessView;
  friend class HeadlessWindow;
  friend class HeadlessMenu;
  /// Runs one step, or fires the next timer within `limit` seconds; false when neither.
  bool runOnce(double limit);
  std::unique_ptr<HeadlessView> takeUnplaced(HeadlessView* view);

  struct Timer {
    double due;
    double interval;
    std::function<void()> callback;
  };
  std::map<TimerId, Timer> m_timers;
  TimerId m_nextTimer = 1;
  double m_now = 0;
  double m_modalTimeLimit = 60;
  std::deque<std::function<void()>> m_steps;
  bool m_quit = false;
  std::vector<std::unique_ptr<HeadlessWindow>> m_windows;
  std::vector<std::unique_ptr<HeadlessView>> m_unplaced;
  std::set<HeadlessView*> m_live;
  HeadlessWindow* m_key = nullptr;
  std::deque<std::function<int(const FileQuestion&, std::vector<std::string>&)>> m_fileAnswers;
  std::vector<FileQuestion> m_fileQuestions;
  bool m_asking = false;
  bool m_fileCancelled = false;
  std::deque<int> m_menuChoices;
  std::vector<Popup> m_popups;
};

}  // namespace vantor::VNT::headless
