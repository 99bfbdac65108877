// The GTK peers behind the toolkit's views and windows (used by GtkBackend only).
//
// A view peer is attached to its widget and deleted when the widget is finalised; the
// widget's "destroy" (its parent or window going) ends the owner first. A window peer likewise
// lives on its GtkWindow. Main thread only.
#pragma once

#include <gtk/gtk.h>

#include <memory>
#include <string>
#include <vector>

#include "standalone/app/toolkit/Peers.h"

namespace vantor::VNT::gtkpeers {

class GtkViewPeer final : public ViewPeer {
 public:
  /// Makes the widget of `setup.kind`; `parent` (a GtkFixed of ours) or none.
  GtkViewPeer(GtkWidget* parent, const Rect& frame, const ViewSetup& setup);
  ~GtkViewPeer() override;

  /// The peer attached to `widget`, null when none.
  static GtkViewPeer* of(void* widget);

  void setOwner(ViewOwner* owner) override { m_owner = owner; }
  void* handle() override { return m_widget; }
  std::uintptr_t x11WindowId() override;
  void setTag(unsigned tag) override { m_tag = tag; }
  void setEnabled(bool enabled) override;
  bool isEnabled() override;
  void setAutoResize(unsigned mask, bool resizesSubviews) override;
  void setFrame(const Rect& frame) override;
  Rect frame() override { return m_frame; }
  void redraw() override;
  void redraw(const Rect& area) override;
  void sizeToFit() override;
  void setFont(const std::string& description) override;
  std::string fontDescription() override;
  void addSubview(ViewPeer& child) override;
  void setText(const std::string& utf8) override;
  std::string text() override;
  void setState(bool on) override;
  void setIntValue(int value) override;
  int intValue() override;
  void insertItem(int index, const std::string& utf8) override;
  void setItemText(int index, const std::string& utf8) override;
  void removeItem(int index) override;
  void removeAllItems() override;
  int itemCount() override;
  void selectItem(int index) override;
  int selectedItem() override;
  void appendRow(const std::string& utf8, bool state) override;

  /// The widget that goes into the parent (the view itself, or what wraps it).
  GtkWidget* outer() const { return m_outer; }
  /// The content view of a window: paints the window's background (`colour`, else the theme's)
  /// under whatever its owner draws.
  void makeWindowContent(GtkWidget* toplevel);
  void setWindowBackground(const RGBAColour& colour);

 private:
  struct Blocked;  // blocks the signal handlers of the view for a programmatic change
  void connect(const char* signal, GCallback callback);
  static void onDestroy(GtkWidget*, gpointer self);
  static void onAction(GtkWidget*, gpointer self);
  static gboolean onScroll(GtkWidget*, GdkEventScroll* event, gpointer self);
  static gboolean onDraw(GtkWidget*, cairo_t* cr, gpointer self);
  static void onSizeAllocate(GtkWidget*, GdkRectangle* allocation, gpointer self);
  static gboolean onButton(GtkWidget*, GdkEventButton* event, gpointer self);
  static gboolean onMotion(GtkWidget*, GdkEventMotion* event, gpointer self);
  static void onRowToggled(GtkCellRendererToggle*, gchar* path, gpointer self);
  static gboolean onFocusOut(GtkWidget*, GdkEvent*, gpointer self);
  static void onActivate(GtkWidget*, gpointer self);
  static gboolean onTextDragMotion(GtkWidget*, GdkDragContext* context, gint, gint, guint time,
                                   gpointer);
  static gboolean onTextDrop(GtkWidget*, GdkDragContext* context, gint, gint, guint time,
                             gpointer);
  Point positionInView(double rootX, double rootY);
  void makeList();
  void makeTextField();
  void place(GtkWidget* parent);
  void followParent(const Size& oldSize, const Size& newSize);

  GtkWidget* m_widget = nullptr;
  GtkWidget* m_outer = nullptr;
  ViewOwner* m_owner = nullptr;
  ViewSetup m_setup;
  Rect m_frame;
  unsigned m_tag = 0;
  unsigned m_autoResizeMask = 0;
  bool m_resizesSubviews = false;
  std::vector<gulong> m_handlers;
  GtkWidget* m_toplevel = nullptr;  // set for a window's content view
  bool m_hasBackground = false;
  RGBAColour m_background;
  Size m_allocated;
};

class GtkWindowPeer final : public WindowPeer {
 public:
  GtkWindowPeer(WindowKind kind, long style, const Rect& content, const std::string& title);
  ~GtkWindowPeer() override;

  void setOwner(WindowOwner* owner) override { m_owner = owner; }
  void* handle() override { return m_window; }
  ViewPeer& contentView() override { return *m_content; }
  void setContentView(ViewPeer& view) override;
  void show() override;
  void hide() override;
  bool isVisible() override;
  bool isKey() override;
  void makeKey() override;
  void close() override;
  unsigned runModal() override;
  void stopModal(unsigned code) override;
  void setTitle(const std::string& utf8) override;
  void setBackground(const RGBAColour& colour) override;
  void setContentSize(const Size& size) override;
  void centre() override;
  void setFramePosition(const Point& topLeft) override;
  void setFrameRect(const Rect& frame) override;
  Rect frameRect() override;
  void setMenuBar(const MenuBarModel& menus, MenuActionHandler onAction) override;

 private:
  static gboolean onDelete(GtkWidget*, GdkEvent*, gpointer self);
  static void onDestroy(GtkWidget*, gpointer self);
  static void onMenuItem(GtkMenuItem* item, gpointer self);
  void installContent(GtkViewPeer* content);

  GtkWidget* m_window;
  GtkWidget* m_box;
  GtkWidget* m_menuBar = nullptr;
  GtkAccelGroup* m_accel = nullptr;
  GtkViewPeer* m_content = nullptr;
  WindowOwner* m_owner = nullptr;
  Size m_contentSize;
  Point m_requestedPosition;
  bool m_hasBackground = false;
  RGBAColour m_background;
  GMainLoop* m_modalLoop = nullptr;
  unsigned m_modalCode = 0;
  MenuActionHandler m_onAction;
};

/// The window a new dialog, file question or alert belongs to: the innermost window running
/// modally, else the main window, else the active one; null when there is none.
GtkWindow* dialogParent();
/// Makes `dialog` transient for `dialogParent()`, so that the window manager keeps it above
/// that window (a dialog under its parent would leave the program looking frozen).
void attachToParent(GtkWidget* dialog);
/// `window`'s modal run begins or ends; runs nest.
void enterModal(GtkWidget* window);
void leaveModal(GtkWidget* window);

}  // namespace vantor::VNT::gtkpeers
