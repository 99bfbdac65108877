// The native side of the toolkit: every window and control has one peer behind these
// interfaces, made by the back end in use (GTK 3 over X11 for the programs, headless for
// tests). Toolkit objects talk to their peer; the peer reports the user's actions to its
// owner through `ViewOwner` / `WindowOwner`.
//
// Ownership (as in a native view hierarchy): a parent view owns its child peers; a window owns
// its content view. When a peer ends (its window closed, its parent destroyed) it first
// deletes its owner, the toolkit object, through the owner's virtual destructor, so toolkit
// controls are never deleted by application code. A toolkit object that must outlive its peer
// detaches itself with `setOwner(nullptr)` first.
//
// Threads: main thread only, everything here.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "standalone/app/toolkit/Geometry.h"

typedef struct _cairo cairo_t;

namespace vantor::VNT {

/// What a peer reports to its toolkit control. Called only by peers, on the main thread.
class ViewOwner {
 public:
  /// The peer is going away: delete yourself (the peer no longer refers to you afterwards).
  virtual void peerEnded() = 0;
  /// The control's action: a click, a moved knob, a chosen item, a toggled checkbox.
  virtual void peerAction() {}
  /// Wheel over the view; `deltaY` > 0 is a step up (+1 a notch), smooth deltas as they come.
  virtual void peerScrolled(double deltaY) {}
  /// Mouse over a panel: `kind` 0 down, 1 up, 2 moved, 3 dragged; `button` as the toolkit
  /// numbers it (0 primary, 1 secondary, others the platform's); `event` the native event.
  virtual void peerMouse(int kind, const Point& where, unsigned button, unsigned modifiers,
                         void* event) {}
  /// Paint a panel's view: `cr` is the view's cairo context, top-left origin, `size` its size.
  virtual void peerDraw(cairo_t* cr, const Size& size) {}
  /// The view's size or position changed.
  virtual void peerFrameChanged() {}
  /// A list's checkbox in `row` was set to `state` by the user.
  virtual void peerRowToggled(unsigned row, bool state) {}
  /// A text field's editing ended (activate, or the focus leaving it).
  virtual void peerEditingEnded() {}

 protected:
  ~ViewOwner() = default;
};

/// What the toolkit controls are made of. Which peer operations a kind answers is listed with
/// each group; the others do nothing.
enum class ViewKind {
  Button,        // push or on-off button with a title; action on click
  BitmapButton,  // button with an image file and a title
  StaticText,    // read-only label
  Slider,        // integer range; action while moved, wheel reported
  Checkbox,      // a check button with a title; action on toggle
  ProgressBar,   // a bar 0 .. max
  Panel,         // a container that paints through its owner and reports the mouse
  Choice,        // pop-up choice list; action when the user picks an item
  List,          // scrolled list of rows with an optional checkbox column
  TextField,     // single-line text entry; editing ends on activate or focus out
};

/// Everything a kind needs at creation; each kind reads its own fields.
struct ViewSetup {
  ViewKind kind = ViewKind::Panel;
  std::string label;             // title, string value, or a list column's header
  bool toggle = false;           // Button, BitmapButton: on-off
  std::string imagePath;         // BitmapButton
  int min = 0, max = 0, value = 0;  // Slider; ProgressBar uses max and value
  std::vector<std::string> items;  // Choice
  int sizeFlag = 0;              // Choice: 1 small, 2 mini, else standard
  bool checkboxColumn = false;   // List: one checkbox column "col1CB" headed by `label`
};

class ViewPeer {
 public:
  virtual ~ViewPeer() = default;

  /// The toolkit object told of this peer's events; null detaches it.
  virtual void setOwner(ViewOwner* owner) = 0;
  /// The native view: the GtkWidget* (a list's tree view) or the headless view. Child views are
  /// created in it when it is passed as a parent.
  virtual void* handle() = 0;
  /// The X11 window id of the view's own native window, realising it when needed; 0 when the
  /// view has none or no display is there.
  virtual std::uintptr_t x11WindowId() { return 0; }

  virtual void setTag(unsigned tag) = 0;
  virtual void setEnabled(bool enabled) = 0;
  virtual bool isEnabled() = 0;
  /// `mask` 63 follows the parent's size on every side, 0 stays put.
  virtual void setAutoResize(unsigned mask, bool resizesSubviews) = 0;
  virtual void setFrame(const Rect& frame) = 0;
  /// The view's frame in its parent's coordinates; all zero when unknown.
  virtual Rect frame() = 0;
  virtual void redraw() = 0;
  virtual void redraw(const Rect& area) = 0;
  virtual void sizeToFit() = 0;
  /// `description`: a Pango font description ("Sans 9").
  virtual void setFont(const std::string& description) = 0;
  /// The font in use, as a Pango font description.
  virtual std::string fontDescription() = 0;
  /// Places `child` (created without a parent) inside this view at its frame.
  virtual void addSubview(ViewPeer& child) = 0;

  // Button, BitmapButton, Checkbox, StaticText, TextField: the title or text.
  virtual void setText(const std::string& utf8) = 0;
  virtual std::string text() = 0;
  // Button (on-off), Checkbox: the state shown.
  virtual void setState(bool on) {}

  // Slider, ProgressBar: the value shown (no action is reported for it).
  virtual void setIntValue(int value) = 0;
  virtual int intValue() = 0;

  // Choice: its items; changes made here report no action.
  virtual void insertItem(int index, const std::string& utf8) {}
  virtual void setItemText(int index, const std::string& utf8) {}
  virtual void removeItem(int index) {}
  virtual void removeAllItems() {}
  virtual int itemCount() { return 0; }
  virtual void selectItem(int index) {}
  /// -1 when none is selected.
  virtual int selectedItem() { return -1; }

  // List: a row appended with its label and checkbox state.
  virtual void appendRow(const std::string& utf8, bool state) {}
};

/// What a window peer reports to its toolkit window.
class WindowOwner {
 public:
  /// The user or the window manager asks to close the window: true lets it close.
  virtual bool peerCloseRequested() = 0;
  /// The native window is closing: the toolkit window deletes itself.
  virtual void peerWillClose() = 0;

 protected:
  ~WindowOwner() = default;
};

/// One menu of the menu bar model (the interface file "cocoa"): items with a title, an optional
/// key (Ctrl+key) and the action name they send; an item with an empty title is a separator.
struct MenuItemModel {
  std::string title;
  std::string key;
  std::string action;
};
struct MenuModel {
  std::string title;
  std::vector<MenuItemModel> items;
};
using MenuBarModel = std::vector<MenuModel>;
using MenuActionHandler = std::function<void(const std::string& action)>;

enum class WindowKind { Ordinary = 0, Utility = 1 };

/// Style flags of a window.
enum WindowStyle : long {
  kWindowClosable = 1,
  kWindowMiniaturisable = 2,
  kWindowZoomable = 4,
  kWindowResizable = 8,
};

class WindowPeer {
 public:
  virtual ~WindowPeer() = default;

  virtual void setOwner(WindowOwner* owner) = 0;
  /// The native window (GtkWindow* or the headless window).
  virtual void* handle() = 0;
  /// The content view, where controls go; never null while the window is open.
  virtual ViewPeer& contentView() = 0;
  /// `view` (created without a parent) becomes the content view, sized to the content area,
  /// and takes the keyboard focus; the previous content view ends.
  virtual void setContentView(ViewPeer& view) = 0;

  virtual void show() = 0;
  virtual void hide() = 0;
  virtual bool isVisible() = 0;
  virtual bool isKey() = 0;
  /// Raise and give the keyboard focus.
  virtual void makeKey() = 0;
  /// Closes the window now, without asking the owner; the peer ends (after `peerWillClose`).
  virtual void close() = 0;
  /// Runs a modal loop for this window until `stopModal`; timers keep firing inside it.
  virtual unsigned runModal() = 0;
  virtual void stopModal(unsigned code) = 0;

  virtual void setTitle(const std::string& utf8) = 0;
  virtual void setBackground(const RGBAColour& colour) = 0;
  virtual void setContentSize(const Size& size) = 0;
  virtual void centre() = 0;
  /// Places the top-left corner of the frame (decorations included) in root coordinates.
  virtual void setFramePosition(const Point& topLeft) = 0;
  virtual void setFrameRect(const Rect& frame) = 0;
  /// The frame, decorations included, in root coordinates.
  virtual Rect frameRect() = 0;
  /// Shows the menu bar above the content, with Ctrl+key accelerators.
  virtual void setMenuBar(const MenuBarModel& menus, MenuActionHandler onAction) = 0;
};

/// What a menu peer reports to its toolkit menu.
class MenuOwner {
 public:
  /// The item tagged `tag` titled `title` was chosen.
  virtual void peerItemChosen(unsigned tag, const char* utf8Title) = 0;
  /// The native menu is going away: the toolkit menu deletes itself.
  virtual void peerEnded() = 0;

 protected:
  ~MenuOwner() = default;
};

/// A context menu, owned by its toolkit menu until `release`.
class MenuPeer {
 public:
  virtual ~MenuPeer() = default;
  /// Ends the native menu without telling the owner, at once or, while the menu is up, once
  /// it has closed; the peer then deletes itself.
  virtual void release() { delete this; }
  virtual void setOwner(MenuOwner* owner) = 0;
  virtual void appendItem(const std::string& utf8Title, unsigned tag) = 0;
  virtual void appendSeparator() = 0;
  /// Shows the menu over `view` where `event` (a mouse event of the view, or null: the pointer)
  /// happened, and returns once it closed, after the chosen item (if any) was reported.
  virtual void popUp(ViewPeer& view, void* event) = 0;
};

/// A modal question about files, answered with paths.
struct FileQuestion {
  int style = 0;  // 0 open a file, 1 save a file, 2 choose a folder
  std::string title, message, directory, fileName;
  bool multipleSelection = false;
  /// Allowed types: MIME types ("audio/midi") or extensions without the dot; none: every file.
  std::vector<std::string> allowedTypes;
  /// Style 1: the extension the written file's name gets (`withFileExtension`); empty: none.
  /// The answer is that name, and replacing an existing file of that name was confirmed.
  std::string savedExtension;
};

/// One repeating main-loop timer.
using TimerId = std::uint64_t;
inline constexpr TimerId kNoTimer = 0;

/// Makes the peers and runs the loops. One back end is installed per process.
class Backend {
 public:
  virtual ~Backend() = default;

  /// A hidden window whose content area is `content` (top-left in root coordinates).
  virtual WindowPeer* createWindow(WindowKind kind, long style, const Rect& content,
                                   const std::string& title) = 0;
  /// A view of `setup.kind` at `frame` inside `parent` (a `ViewPeer::handle()`), or without a
  /// parent when `parent` is null (the caller places it).
  virtual ViewPeer* createView(void* parent, const Rect& frame, const ViewSetup& setup) = 0;
  /// The peer behind a native view handle; null when it is none of ours.
  virtual ViewPeer* peerOf(void* handle) = 0;

  /// Runs the main loop until `quitMainLoop`.
  virtual void runMainLoop() = 0;
  virtual void quitMainLoop() = 0;

  /// A repeating timer on the main loop: first after `firstSeconds`, then every
  /// `intervalSeconds`.
  virtual TimerId addTimer(double firstSeconds, double intervalSeconds,
                           std::function<void()> callback) = 0;
  /// After this the callback is never called again; unknown ids are ignored.
  virtual void removeTimer(TimerId id) = 0;

  virtual MenuPeer* createMenu() = 0;
  /// Asks `question` modally. Answers 1 when the user confirmed (`paths` gets the chosen
  /// paths), 0 when the question was cancelled.
  virtual int askFiles(const FileQuestion& question, std::vector<std::string>& paths) = 0;
  /// Cancels the file question being asked, if any.
  virtual void cancelFileQuestion() = 0;
};

/// The back end in use; a headless one is installed when none was.
Backend& backend();
/// Installs `backend` (owned from here; null removes it). Peers of the previous back end must
/// all have ended.
void setBackend(Backend* backend);
bool hasInstalledBackend();

}  // namespace vantor::VNT
