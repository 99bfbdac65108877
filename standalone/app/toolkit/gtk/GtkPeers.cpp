#include "standalone/app/toolkit/gtk/GtkPeers.h"

#include <gdk/gdkx.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "standalone/app/toolkit/PointerInput.h"
#include "standalone/app/toolkit/Window.h"

namespace vantor::VNT::gtkpeers {
namespace {

constexpr const char* kPeerKey = "vnt-view-peer";
constexpr const char* kWindowPeerKey = "vnt-window-peer";
constexpr const char* kActionKey = "vnt-action";

int px(double value) { return static_cast<int>(std::lround(value)); }

// The small system font: the desktop's font family at 9 points.
std::string smallSystemFont() {
  gchar* name = nullptr;
  g_object_get(gtk_settings_get_default(), "gtk-font-name", &name, nullptr);
  PangoFontDescription* description = pango_font_description_from_string(name ? name : "Sans");
  g_free(name);
  pango_font_description_set_size(description, 9 * PANGO_SCALE);
  char* text = pango_font_description_to_string(description);
  std::string out = text;
  g_free(text);
  pango_font_description_free(description);
  return out;
}

// A panel's view: a GtkFixed whose size is the one it is given, never grown to its children
// (as a native view, it clips what reaches beyond it).
struct PanelFixed {
  GtkFixed parent;
};
struct PanelFixedClass {
  GtkFixedClass parentClass;
};
G_DEFINE_TYPE(PanelFixed, panel_fixed, GTK_TYPE_FIXED)

void panelFixedPreferred(GtkWidget* widget, GtkOrientation orientation, gint* minimum,
                         gint* natural) {
  gint width = -1, height = -1;
  gtk_widget_get_size_request(widget, &width, &height);
  if ((orientation == GTK_ORIENTATION_HORIZONTAL ? width : height) >= 0) {
    *minimum = *natural = 0;  // GTK raises both to the size request
  } else if (orientation == GTK_ORIENTATION_HORIZONTAL) {
    GTK_WIDGET_CLASS(panel_fixed_parent_class)->get_preferred_width(widget, minimum, natural);
  } else {
    GTK_WIDGET_CLASS(panel_fixed_parent_class)->get_preferred_height(widget, minimum, natural);
  }
}

void panel_fixed_class_init(PanelFixedClass* klass) {
  GtkWidgetClass* widget = GTK_WIDGET_CLASS(klass);
  widget->get_preferred_width = [](GtkWidget* w, gint* minimum, gint* natural) {
    panelFixedPreferred(w, GTK_ORIENTATION_HORIZONTAL, minimum, natural);
  };
  widget->get_preferred_height = [](GtkWidget* w, gint* minimum, gint* natural) {
    panelFixedPreferred(w, GTK_ORIENTATION_VERTICAL, minimum, natural);
  };
}

void panel_fixed_init(PanelFixed*) {}

bool isPanel(GtkWidget* widget) { return G_TYPE_CHECK_INSTANCE_TYPE(widget, panel_fixed_get_type()); }

// The theme pads a slider well beyond its knob (Adwaita: 12 pixels a side, 34 pixels where the
// media bar's row gives 24): the padding across it shrinks until it fits the thickness given.
void fitSliderToThickness(GtkWidget* scale, bool horizontal, int thickness) {
  int minimum = 0;
  if (horizontal)
    gtk_widget_get_preferred_height(scale, &minimum, nullptr);
  else
    gtk_widget_get_preferred_width(scale, &minimum, nullptr);
  if (thickness <= 0 || minimum <= thickness) return;
  GtkStyleContext* style = gtk_widget_get_style_context(scale);
  GtkBorder padding{};
  gtk_style_context_get_padding(style, gtk_style_context_get_state(style), &padding);
  const int across = horizontal ? padding.top + padding.bottom : padding.left + padding.right;
  const std::string each = std::to_string(std::max(0, (thickness - (minimum - across)) / 2));
  const std::string css = horizontal
                              ? "scale { padding-top: " + each + "px; padding-bottom: " + each + "px; }"
                              : "scale { padding-left: " + each + "px; padding-right: " + each + "px; }";
  GtkCssProvider* provider = gtk_css_provider_new();
  gtk_css_provider_load_from_data(provider, css.c_str(), -1, nullptr);
  gtk_style_context_add_provider(style, GTK_STYLE_PROVIDER(provider),
                                 GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
  g_object_unref(provider);  // the style context holds it
}

// GTK's controls are often larger than their place in a layout (a button about 34 pixels tall
// where the row gives 20), and a panel clips what passes its edge. So a panel grows until its
// controls show whole, keeping the layout's margin beyond its outermost control; no control
// moves. Nested panels grow first.
void growPanelToControls(GtkWidget* panel) {
  int width = -1, height = -1;
  gtk_widget_get_size_request(panel, &width, &height);
  if (width < 0 || height < 0) return;
  int layoutRight = 0, layoutBottom = 0, right = 0, bottom = 0;
  GList* children = gtk_container_get_children(GTK_CONTAINER(panel));
  for (GList* item = children; item != nullptr; item = item->next) {
    GtkWidget* child = GTK_WIDGET(item->data);
    if (!gtk_widget_get_visible(child)) continue;
    if (isPanel(child)) growPanelToControls(child);
    int x = 0, y = 0;
    gtk_container_child_get(GTK_CONTAINER(panel), child, "x", &x, "y", &y, nullptr);
    int requestedWidth = -1, requestedHeight = -1;
    gtk_widget_get_size_request(child, &requestedWidth, &requestedHeight);
    if (GTK_IS_SCALE(child)) {
      const bool horizontal =
          gtk_orientable_get_orientation(GTK_ORIENTABLE(child)) == GTK_ORIENTATION_HORIZONTAL;
      fitSliderToThickness(child, horizontal, horizontal ? requestedHeight : requestedWidth);
    }
    GtkRequisition minimum{};
    gtk_widget_get_preferred_size(child, &minimum, nullptr);
    layoutRight = std::max(layoutRight, x + std::max(requestedWidth, 0));
    layoutBottom = std::max(layoutBottom, y + std::max(requestedHeight, 0));
    right = std::max(right, x + minimum.width);
    bottom = std::max(bottom, y + minimum.height);
  }
  g_list_free(children);
  const int grownWidth = right > width ? right + std::max(0, width - layoutRight) : width;
  const int grownHeight = bottom > height ? bottom + std::max(0, height - layoutBottom) : height;
  if (grownWidth != width || grownHeight != height)
    gtk_widget_set_size_request(panel, grownWidth, grownHeight);
}

// An image button is as large as its image and a thin border: no padding, no minimum size.
void fitButtonToImage(GtkWidget* button) {
  static GtkCssProvider* const provider = [] {
    GtkCssProvider* css = gtk_css_provider_new();
    gtk_css_provider_load_from_data(
        css, "button { padding: 0; min-width: 0; min-height: 0; }", -1, nullptr);
    return css;
  }();
  gtk_style_context_add_provider(gtk_widget_get_style_context(button),
                                 GTK_STYLE_PROVIDER(provider),
                                 GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
}

void setCairoColour(cairo_t* cr, const RGBAColour& colour) {
  cairo_set_source_rgba(cr, unitComponent(colour.red), unitComponent(colour.green),
                        unitComponent(colour.blue), unitComponent(colour.alpha));
}

std::vector<GtkWidget*>& modalWindows() {
  static std::vector<GtkWidget*> windows;
  return windows;
}

}  // namespace

GtkWindow* dialogParent() {
  if (!modalWindows().empty()) return GTK_WINDOW(modalWindows().back());
  if (MainWindow* main = MainWindow::current(); main != nullptr && main->getHandle() != nullptr)
    return GTK_WINDOW(main->getHandle());
  GtkWindow* active = nullptr;
  GList* windows = gtk_window_list_toplevels();
  for (GList* item = windows; item != nullptr; item = item->next)
    if (gtk_window_is_active(GTK_WINDOW(item->data))) active = GTK_WINDOW(item->data);
  g_list_free(windows);
  return active;
}

void attachToParent(GtkWidget* dialog) {
  GtkWindow* parent = dialogParent();
  if (parent != nullptr && GTK_WIDGET(parent) != dialog)
    gtk_window_set_transient_for(GTK_WINDOW(dialog), parent);
}

void enterModal(GtkWidget* window) { modalWindows().push_back(window); }

void leaveModal(GtkWidget* window) {
  auto& windows = modalWindows();
  const auto found = std::find(windows.rbegin(), windows.rend(), window);
  if (found != windows.rend()) windows.erase(std::next(found).base());
}

struct GtkViewPeer::Blocked {
  explicit Blocked(GtkViewPeer& peer) : m_peer(peer) {
    for (gulong id : m_peer.m_handlers) g_signal_handler_block(m_peer.m_widget, id);
  }
  ~Blocked() {
    for (gulong id : m_peer.m_handlers) g_signal_handler_unblock(m_peer.m_widget, id);
  }
  GtkViewPeer& m_peer;
};

GtkViewPeer::GtkViewPeer(GtkWidget* parent, const Rect& frame, const ViewSetup& setup)
    : m_setup(setup), m_frame(frame) {
  switch (setup.kind) {
    case ViewKind::Button:
      m_widget = setup.toggle ? gtk_toggle_button_new_with_label(setup.label.c_str())
                              : gtk_button_new_with_label(setup.label.c_str());
      connect("clicked", G_CALLBACK(onAction));
      setFont(smallSystemFont());
      break;
    case ViewKind::BitmapButton:
      m_widget = setup.toggle ? gtk_toggle_button_new() : gtk_button_new();
      gtk_button_set_label(GTK_BUTTON(m_widget), setup.label.c_str());
      gtk_button_set_image(GTK_BUTTON(m_widget), gtk_image_new_from_file(setup.imagePath.c_str()));
      gtk_button_set_always_show_image(GTK_BUTTON(m_widget), TRUE);
      fitButtonToImage(m_widget);
      connect("clicked", G_CALLBACK(onAction));
      break;
    case ViewKind::StaticText:
      m_widget = gtk_label_new(setup.label.c_str());
      gtk_label_set_xalign(GTK_LABEL(m_widget), 0.0f);
      gtk_label_set_ellipsize(GTK_LABEL(m_widget), PANGO_ELLIPSIZE_END);
      gtk_label_set_single_line_mode(GTK_LABEL(m_widget), TRUE);
      setFont(smallSystemFont());
      break;
    case ViewKind::Slider: {
      const double low = std::min(setup.min, setup.max), high = std::max(setup.min, setup.max);
      GtkAdjustment* adjustment = gtk_adjustment_new(setup.value, low, high, 1, 1, 0);
      m_widget = gtk_scale_new(frame.width >= frame.height ? GTK_ORIENTATION_HORIZONTAL
                                                           : GTK_ORIENTATION_VERTICAL,
                               adjustment);
      gtk_scale_set_draw_value(GTK_SCALE(m_widget), FALSE);
      gtk_range_set_round_digits(GTK_RANGE(m_widget), 0);
      if (frame.width < frame.height) gtk_range_set_inverted(GTK_RANGE(m_widget), TRUE);
      connect("value-changed", G_CALLBACK(onAction));
      connect("scroll-event", G_CALLBACK(onScroll));
      break;
    }
    case ViewKind::Checkbox:
      m_widget = gtk_check_button_new_with_label(setup.label.c_str());
      gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(m_widget), setup.toggle);
      connect("toggled", G_CALLBACK(onAction));
      setFont(smallSystemFont());
      break;
    case ViewKind::ProgressBar:
      m_widget = gtk_progress_bar_new();
      break;
    case ViewKind::Panel:
      m_widget = GTK_WIDGET(g_object_new(panel_fixed_get_type(), nullptr));
      gtk_widget_set_has_window(m_widget, TRUE);
      gtk_widget_add_events(m_widget, GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK |
                                          GDK_POINTER_MOTION_MASK);
      g_signal_connect(m_widget, "draw", G_CALLBACK(onDraw), this);
      g_signal_connect(m_widget, "size-allocate", G_CALLBACK(onSizeAllocate), this);
      g_signal_connect(m_widget, "button-press-event", G_CALLBACK(onButton), this);
      g_signal_connect(m_widget, "button-release-event", G_CALLBACK(onButton), this);
      g_signal_connect(m_widget, "motion-notify-event", G_CALLBACK(onMotion), this);
      break;
    case ViewKind::Choice:
      m_widget = gtk_combo_box_text_new();
      for (const std::string& item : setup.items)
        gtk_combo_box_text_append_text(GTK_COMBO_BOX_TEXT(m_widget), item.c_str());
      connect("changed", G_CALLBACK(onAction));
      setFont(setup.sizeFlag == 2 ? "Sans 7" : smallSystemFont());
      break;
    case ViewKind::List:
      makeList();
      break;
    case ViewKind::TextField:
      makeTextField();
      break;
  }
  if (m_outer == nullptr) m_outer = m_widget;
  g_object_set_data_full(G_OBJECT(m_widget), kPeerKey, this,
                         [](gpointer peer) { delete static_cast<GtkViewPeer*>(peer); });
  g_signal_connect(m_widget, "destroy", G_CALLBACK(onDestroy), this);
  gtk_widget_set_size_request(m_outer, px(frame.width), px(frame.height));
  gtk_widget_show_all(m_outer);
  place(parent);
}

GtkViewPeer::~GtkViewPeer() = default;

void GtkViewPeer::makeList() {
  GtkListStore* rows = gtk_list_store_new(2, G_TYPE_BOOLEAN, G_TYPE_STRING);
  m_widget = gtk_tree_view_new_with_model(GTK_TREE_MODEL(rows));
  g_object_unref(rows);
  if (m_setup.checkboxColumn) {
    GtkTreeViewColumn* column = gtk_tree_view_column_new();
    gtk_tree_view_column_set_title(column, m_setup.label.c_str());
    g_object_set_data_full(G_OBJECT(column), "vnt-column", g_strdup("col1CB"), g_free);
    GtkCellRenderer* box = gtk_cell_renderer_toggle_new();
    gtk_tree_view_column_pack_start(column, box, FALSE);
    gtk_tree_view_column_add_attribute(column, box, "active", 0);
    GtkCellRenderer* label = gtk_cell_renderer_text_new();
    gtk_tree_view_column_pack_start(column, label, TRUE);
    gtk_tree_view_column_add_attribute(column, label, "text", 1);
    gtk_tree_view_column_set_expand(column, TRUE);
    gtk_tree_view_append_column(GTK_TREE_VIEW(m_widget), column);
    g_signal_connect(box, "toggled", G_CALLBACK(onRowToggled), this);
  }
  m_outer = gtk_scrolled_window_new(nullptr, nullptr);
  gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(m_outer), GTK_POLICY_AUTOMATIC,
                                 GTK_POLICY_AUTOMATIC);
  gtk_scrolled_window_set_shadow_type(GTK_SCROLLED_WINDOW(m_outer), GTK_SHADOW_IN);
  gtk_container_add(GTK_CONTAINER(m_outer), m_widget);
}

void GtkViewPeer::makeTextField() {
  m_widget = gtk_entry_new();
  gtk_entry_set_text(GTK_ENTRY(m_widget), m_setup.label.c_str());
  g_signal_connect(m_widget, "activate", G_CALLBACK(onActivate), this);
  g_signal_connect(m_widget, "focus-out-event", G_CALLBACK(onFocusOut), this);
  // No context menu, from the mouse or the keyboard.
  g_signal_connect(m_widget, "button-press-event",
                   G_CALLBACK(+[](GtkWidget*, GdkEventButton* event, gpointer) -> gboolean {
                     return event->button == 3 ? TRUE : FALSE;
                   }),
                   nullptr);
  g_signal_connect(m_widget, "popup-menu", G_CALLBACK(gtk_true), nullptr);
  g_signal_connect(m_widget, "drag-motion", G_CALLBACK(onTextDragMotion), nullptr);
  g_signal_connect(m_widget, "drag-drop", G_CALLBACK(onTextDrop), nullptr);
}

GtkViewPeer* GtkViewPeer::of(void* widget) {
  if (widget == nullptr || !GTK_IS_WIDGET(widget)) return nullptr;
  return static_cast<GtkViewPeer*>(g_object_get_data(G_OBJECT(widget), kPeerKey));
}

void GtkViewPeer::place(GtkWidget* parent) {
  if (parent != nullptr && GTK_IS_FIXED(parent)) {
    gtk_fixed_put(GTK_FIXED(parent), m_outer, px(m_frame.x), px(m_frame.y));
  } else {
    // Kept by its creator until a view takes it.
    g_object_ref_sink(m_outer);
  }
}

void GtkViewPeer::connect(const char* signal, GCallback callback) {
  m_handlers.push_back(g_signal_connect(m_widget, signal, callback, this));
}

void GtkViewPeer::onDestroy(GtkWidget*, gpointer self) {
  auto* peer = static_cast<GtkViewPeer*>(self);
  if (peer->m_owner == nullptr) return;
  ViewOwner* owner = peer->m_owner;
  peer->m_owner = nullptr;
  owner->peerEnded();
}

void GtkViewPeer::onAction(GtkWidget*, gpointer self) {
  auto* peer = static_cast<GtkViewPeer*>(self);
  if (peer->m_owner != nullptr) peer->m_owner->peerAction();
}

gboolean GtkViewPeer::onScroll(GtkWidget*, GdkEventScroll* event, gpointer self) {
  auto* peer = static_cast<GtkViewPeer*>(self);
  double delta = 0;
  switch (event->direction) {
    case GDK_SCROLL_UP: delta = 1; break;
    case GDK_SCROLL_DOWN: delta = -1; break;
    case GDK_SCROLL_SMOOTH: delta = -event->delta_y; break;
    default: break;
  }
  if (peer->m_owner != nullptr && delta != 0) peer->m_owner->peerScrolled(delta);
  return TRUE;  // the toolkit moves the value, not GTK
}

gboolean GtkViewPeer::onDraw(GtkWidget* widget, cairo_t* cr, gpointer self) {
  auto* peer = static_cast<GtkViewPeer*>(self);
  const double width = gtk_widget_get_allocated_width(widget);
  const double height = gtk_widget_get_allocated_height(widget);
  if (peer->m_toplevel != nullptr) {
    // A window's content has a native window of its own: nothing below paints for it.
    if (peer->m_hasBackground) {
      setCairoColour(cr, peer->m_background);
      cairo_rectangle(cr, 0, 0, width, height);
      cairo_fill(cr);
    } else {
      gtk_render_background(gtk_widget_get_style_context(peer->m_toplevel), cr, 0, 0, width,
                            height);
    }
  }
  if (peer->m_owner != nullptr) {
    cairo_save(cr);
    peer->m_owner->peerDraw(cr, {width, height});
    cairo_restore(cr);
  }
  return FALSE;
}

void GtkViewPeer::onSizeAllocate(GtkWidget* widget, GdkRectangle* allocation, gpointer self) {
  auto* peer = static_cast<GtkViewPeer*>(self);
  const Size size{static_cast<double>(allocation->width), static_cast<double>(allocation->height)};
  const Size old = peer->m_allocated;
  peer->m_allocated = size;
  Rect frame = peer->m_frame;
  if (peer->m_toplevel == nullptr) {
    frame.x = allocation->x;
    frame.y = allocation->y;
  }
  frame.width = size.width;
  frame.height = size.height;
  const bool changed = !(frame == peer->m_frame);
  peer->m_frame = frame;
  if (peer->m_resizesSubviews && old.width > 0 && old.height > 0 && !(old == size))
    peer->followParent(old, size);
  if (changed && peer->m_owner != nullptr) peer->m_owner->peerFrameChanged();
}

Point GtkViewPeer::positionInView(double rootX, double rootY) {
  int x = 0, y = 0;
  gdk_window_get_origin(gtk_widget_get_window(m_widget), &x, &y);
  return {rootX - x, rootY - y};
}

gboolean GtkViewPeer::onButton(GtkWidget*, GdkEventButton* event, gpointer self) {
  auto* peer = static_cast<GtkViewPeer*>(self);
  // Double and triple clicks also arrive as single presses; only those count.
  if (event->type != GDK_BUTTON_PRESS && event->type != GDK_BUTTON_RELEASE) return TRUE;
  if (peer->m_owner != nullptr) {
    peer->m_owner->peerMouse(event->type == GDK_BUTTON_PRESS ? 0 : 1,
                             peer->positionInView(event->x_root, event->y_root),
                             toolkitButton(event->button), toolkitModifiers(event->state),
                             reinterpret_cast<GdkEvent*>(event));
  }
  return TRUE;
}

gboolean GtkViewPeer::onMotion(GtkWidget*, GdkEventMotion* event, gpointer self) {
  auto* peer = static_cast<GtkViewPeer*>(self);
  if (peer->m_owner == nullptr) return TRUE;
  const int button = pressedButton(event->state);
  peer->m_owner->peerMouse(button < 0 ? 2 : 3, peer->positionInView(event->x_root, event->y_root),
                           button < 0 ? 0 : static_cast<unsigned>(button),
                           toolkitModifiers(event->state), reinterpret_cast<GdkEvent*>(event));
  return TRUE;
}

void GtkViewPeer::onRowToggled(GtkCellRendererToggle*, gchar* path, gpointer self) {
  auto* peer = static_cast<GtkViewPeer*>(self);
  GtkTreeModel* rows = gtk_tree_view_get_model(GTK_TREE_VIEW(peer->m_widget));
  GtkTreeIter iter;
  if (!gtk_tree_model_get_iter_from_string(rows, &iter, path)) return;
  gboolean state = FALSE;
  gtk_tree_model_get(rows, &iter, 0, &state, -1);
  state = !state;
  gtk_list_store_set(GTK_LIST_STORE(rows), &iter, 0, state, -1);
  GtkTreePath* tree = gtk_tree_model_get_path(rows, &iter);
  const int row = gtk_tree_path_get_indices(tree)[0];
  gtk_tree_path_free(tree);
  if (peer->m_owner != nullptr) peer->m_owner->peerRowToggled(static_cast<unsigned>(row), state);
}

gboolean GtkViewPeer::onFocusOut(GtkWidget*, GdkEvent*, gpointer self) {
  onActivate(nullptr, self);
  return FALSE;
}

void GtkViewPeer::onActivate(GtkWidget*, gpointer self) {
  auto* peer = static_cast<GtkViewPeer*>(self);
  if (peer->m_owner != nullptr) peer->m_owner->peerEditingEnded();
}

gboolean GtkViewPeer::onTextDragMotion(GtkWidget* widget, GdkDragContext* context, gint, gint,
                                       guint time, gpointer) {
  GtkTargetList* text = gtk_target_list_new(nullptr, 0);
  gtk_target_list_add_text_targets(text, 0);
  const bool offersText = gtk_drag_dest_find_target(widget, context, text) != GDK_NONE;
  gtk_target_list_unref(text);
  const GdkDragAction allowed = gdk_drag_context_get_actions(context);
  // The source's generic operation is a move here.
  const DragOperation answer = textDragAnswer(offersText, (allowed & GDK_ACTION_MOVE) != 0,
                                              (allowed & GDK_ACTION_COPY) != 0);
  gdk_drag_status(context,
                  answer == kDragGeneric ? GDK_ACTION_MOVE
                                         : (answer == kDragCopy ? GDK_ACTION_COPY
                                                                : static_cast<GdkDragAction>(0)),
                  time);
  return TRUE;
}

gboolean GtkViewPeer::onTextDrop(GtkWidget*, GdkDragContext* context, gint, gint, guint time,
                                 gpointer) {
  gtk_drag_finish(context, TRUE, FALSE, time);  // accepted, nothing changes
  return TRUE;
}

void GtkViewPeer::followParent(const Size& oldSize, const Size& newSize) {
  // Children following every side of their parent keep their share of it.
  const double sx = newSize.width / oldSize.width, sy = newSize.height / oldSize.height;
  GList* children = gtk_container_get_children(GTK_CONTAINER(m_widget));
  for (GList* item = children; item != nullptr; item = item->next) {
    auto* child = static_cast<GtkWidget*>(item->data);
    GtkViewPeer* peer = of(child);
    if (peer == nullptr) {
      // A wrapped view (a list's scroller): its peer sits on the wrapped widget.
      if (GTK_IS_BIN(child)) peer = of(gtk_bin_get_child(GTK_BIN(child)));
    }
    if (peer == nullptr || peer->m_autoResizeMask != 63) continue;
    const Rect f = peer->m_frame;
    peer->setFrame({f.x * sx, f.y * sy, f.width * sx, f.height * sy});
  }
  g_list_free(children);
}

std::uintptr_t GtkViewPeer::x11WindowId() {
  if (!gtk_widget_get_has_window(m_widget)) return 0;
  GdkDisplay* display = gtk_widget_get_display(m_widget);
  if (!GDK_IS_X11_DISPLAY(display)) return 0;
  gtk_widget_realize(m_widget);
  GdkWindow* window = gtk_widget_get_window(m_widget);
  if (window == nullptr || !gdk_window_ensure_native(window)) return 0;
  const auto id = static_cast<std::uintptr_t>(gdk_x11_window_get_xid(window));
  // The id goes to other X connections (an engine's editor): the server must know it first.
  gdk_display_sync(display);
  return id;
}

void GtkViewPeer::setEnabled(bool enabled) { gtk_widget_set_sensitive(m_outer, enabled); }

bool GtkViewPeer::isEnabled() { return gtk_widget_get_sensitive(m_outer); }

void GtkViewPeer::setAutoResize(unsigned mask, bool resizesSubviews) {
  m_autoResizeMask = mask;
  m_resizesSubviews = resizesSubviews;
}

void GtkViewPeer::setFrame(const Rect& frame) {
  GtkWidget* parent = gtk_widget_get_parent(m_outer);
  if (parent != nullptr && GTK_IS_FIXED(parent))
    gtk_fixed_move(GTK_FIXED(parent), m_outer, px(frame.x), px(frame.y));
  gtk_widget_set_size_request(m_outer, px(frame.width), px(frame.height));
  m_frame.x = frame.x;
  m_frame.y = frame.y;
  if (parent == nullptr) {
    // Nothing allocates an unplaced view: its frame is what it was given.
    const bool changed = !(frame == m_frame);
    m_frame = frame;
    if (changed && m_owner != nullptr) m_owner->peerFrameChanged();
  }
}

void GtkViewPeer::redraw() { gtk_widget_queue_draw(m_widget); }

void GtkViewPeer::redraw(const Rect& area) {
  gtk_widget_queue_draw_area(m_widget, px(area.x), px(area.y), px(area.width), px(area.height));
}

void GtkViewPeer::sizeToFit() {
  gtk_widget_set_size_request(m_outer, -1, -1);
  GtkRequisition natural{};
  gtk_widget_get_preferred_size(m_outer, nullptr, &natural);
  setFrame({m_frame.x, m_frame.y, static_cast<double>(natural.width),
            static_cast<double>(natural.height)});
}

void GtkViewPeer::setFont(const std::string& description) {
  PangoFontDescription* font = pango_font_description_from_string(description.c_str());
  G_GNUC_BEGIN_IGNORE_DEPRECATIONS
  gtk_widget_override_font(m_widget, font);
  if (GTK_IS_BIN(m_widget) && gtk_bin_get_child(GTK_BIN(m_widget)) != nullptr)
    gtk_widget_override_font(gtk_bin_get_child(GTK_BIN(m_widget)), font);
  G_GNUC_END_IGNORE_DEPRECATIONS
  pango_font_description_free(font);
}

std::string GtkViewPeer::fontDescription() {
  const PangoFontDescription* font =
      pango_context_get_font_description(gtk_widget_get_pango_context(m_widget));
  if (font == nullptr) return "Sans";
  char* text = pango_font_description_to_string(font);
  std::string out = text;
  g_free(text);
  return out;
}

void GtkViewPeer::addSubview(ViewPeer& child) {
  auto& view = static_cast<GtkViewPeer&>(child);
  if (!GTK_IS_FIXED(m_widget) || gtk_widget_get_parent(view.m_outer) != nullptr) return;
  gtk_fixed_put(GTK_FIXED(m_widget), view.m_outer, px(view.m_frame.x), px(view.m_frame.y));
  g_object_unref(view.m_outer);  // the creator's reference: the parent holds it now
}

void GtkViewPeer::setText(const std::string& utf8) {
  Blocked blocked(*this);
  if (GTK_IS_LABEL(m_widget))
    gtk_label_set_text(GTK_LABEL(m_widget), utf8.c_str());
  else if (GTK_IS_BUTTON(m_widget))
    gtk_button_set_label(GTK_BUTTON(m_widget), utf8.c_str());
  else if (GTK_IS_ENTRY(m_widget))
    gtk_entry_set_text(GTK_ENTRY(m_widget), utf8.c_str());
}

std::string GtkViewPeer::text() {
  const char* text = nullptr;
  if (GTK_IS_LABEL(m_widget))
    text = gtk_label_get_text(GTK_LABEL(m_widget));
  else if (GTK_IS_BUTTON(m_widget))
    text = gtk_button_get_label(GTK_BUTTON(m_widget));
  else if (GTK_IS_ENTRY(m_widget))
    text = gtk_entry_get_text(GTK_ENTRY(m_widget));
  return text != nullptr ? text : "";
}

void GtkViewPeer::setState(bool on) {
  if (!GTK_IS_TOGGLE_BUTTON(m_widget)) return;
  Blocked blocked(*this);
  gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(m_widget), on);
}

void GtkViewPeer::setIntValue(int value) {
  Blocked blocked(*this);
  if (GTK_IS_RANGE(m_widget)) {
    gtk_range_set_value(GTK_RANGE(m_widget), value);
  } else if (GTK_IS_PROGRESS_BAR(m_widget)) {
    const double fraction = m_setup.max > 0 ? static_cast<double>(value) / m_setup.max : 0.0;
    gtk_progress_bar_set_fraction(GTK_PROGRESS_BAR(m_widget), std::clamp(fraction, 0.0, 1.0));
    m_setup.value = value;
  }
}

int GtkViewPeer::intValue() {
  if (GTK_IS_RANGE(m_widget))
    return static_cast<int>(std::lround(gtk_range_get_value(GTK_RANGE(m_widget))));
  return m_setup.value;
}

void GtkViewPeer::insertItem(int index, const std::string& utf8) {
  if (!GTK_IS_COMBO_BOX_TEXT(m_widget)) return;
  Blocked blocked(*this);
  gtk_combo_box_text_insert_text(GTK_COMBO_BOX_TEXT(m_widget), index, utf8.c_str());
}

void GtkViewPeer::setItemText(int index, const std::string& utf8) {
  if (!GTK_IS_COMBO_BOX_TEXT(m_widget) || index < 0 || index >= itemCount()) return;
  Blocked blocked(*this);
  const bool selected = selectedItem() == index;
  gtk_combo_box_text_remove(GTK_COMBO_BOX_TEXT(m_widget), index);
  gtk_combo_box_text_insert_text(GTK_COMBO_BOX_TEXT(m_widget), index, utf8.c_str());
  if (selected) gtk_combo_box_set_active(GTK_COMBO_BOX(m_widget), index);
}

void GtkViewPeer::removeItem(int index) {
  if (!GTK_IS_COMBO_BOX_TEXT(m_widget) || index < 0 || index >= itemCount()) return;
  Blocked blocked(*this);
  gtk_combo_box_text_remove(GTK_COMBO_BOX_TEXT(m_widget), index);
}

void GtkViewPeer::removeAllItems() {
  if (!GTK_IS_COMBO_BOX_TEXT(m_widget)) return;
  Blocked blocked(*this);
  gtk_combo_box_text_remove_all(GTK_COMBO_BOX_TEXT(m_widget));
}

int GtkViewPeer::itemCount() {
  if (!GTK_IS_COMBO_BOX(m_widget)) return 0;
  return gtk_tree_model_iter_n_children(gtk_combo_box_get_model(GTK_COMBO_BOX(m_widget)), nullptr);
}

void GtkViewPeer::selectItem(int index) {
  if (!GTK_IS_COMBO_BOX(m_widget) || index < -1 || index >= itemCount()) return;
  Blocked blocked(*this);
  gtk_combo_box_set_active(GTK_COMBO_BOX(m_widget), index);
}

int GtkViewPeer::selectedItem() {
  return GTK_IS_COMBO_BOX(m_widget) ? gtk_combo_box_get_active(GTK_COMBO_BOX(m_widget)) : -1;
}

void GtkViewPeer::appendRow(const std::string& utf8, bool state) {
  if (!GTK_IS_TREE_VIEW(m_widget)) return;
  GtkListStore* rows = GTK_LIST_STORE(gtk_tree_view_get_model(GTK_TREE_VIEW(m_widget)));
  GtkTreeIter iter;
  gtk_list_store_append(rows, &iter);
  gtk_list_store_set(rows, &iter, 0, state, 1, utf8.c_str(), -1);
}

void GtkViewPeer::makeWindowContent(GtkWidget* toplevel) { m_toplevel = toplevel; }

void GtkViewPeer::setWindowBackground(const RGBAColour& colour) {
  m_hasBackground = true;
  m_background = colour;
  gtk_widget_queue_draw(m_widget);
}

// ---------------------------------------------------------------------------------------------

GtkWindowPeer::GtkWindowPeer(WindowKind kind, long style, const Rect& content,
                             const std::string& title)
    : m_window(gtk_window_new(GTK_WINDOW_TOPLEVEL)),
      m_box(gtk_box_new(GTK_ORIENTATION_VERTICAL, 0)),
      m_contentSize{content.width, content.height},
      m_requestedPosition{content.x, content.y} {
  g_object_set_data_full(G_OBJECT(m_window), kWindowPeerKey, this,
                         [](gpointer peer) { delete static_cast<GtkWindowPeer*>(peer); });
  g_signal_connect(m_window, "delete-event", G_CALLBACK(onDelete), this);
  g_signal_connect(m_window, "destroy", G_CALLBACK(onDestroy), this);
  if (kind == WindowKind::Utility) {
    gtk_window_set_type_hint(GTK_WINDOW(m_window), GDK_WINDOW_TYPE_HINT_UTILITY);
    gtk_window_set_keep_above(GTK_WINDOW(m_window), TRUE);
  }
  gtk_window_set_deletable(GTK_WINDOW(m_window), (style & kWindowClosable) != 0);
  gtk_window_set_resizable(GTK_WINDOW(m_window), (style & kWindowResizable) != 0);
  gtk_window_set_title(GTK_WINDOW(m_window), title.c_str());
  gtk_container_add(GTK_CONTAINER(m_window), m_box);
  gtk_widget_show(m_box);
  // The content's top-left (not the frame's) goes to the point.
  gtk_window_set_gravity(GTK_WINDOW(m_window), GDK_GRAVITY_STATIC);
  gtk_window_move(GTK_WINDOW(m_window), px(content.x), px(content.y));
  gtk_widget_add_events(m_window, GDK_POINTER_MOTION_MASK);
  ViewSetup setup;
  setup.kind = ViewKind::Panel;
  installContent(new GtkViewPeer(nullptr, {0, 0, content.width, content.height}, setup));
}

GtkWindowPeer::~GtkWindowPeer() = default;

void GtkWindowPeer::installContent(GtkViewPeer* content) {
  gtk_box_pack_end(GTK_BOX(m_box), content->outer(), TRUE, TRUE, 0);
  g_object_unref(content->outer());  // the box holds it now
  gtk_widget_set_size_request(content->outer(), px(m_contentSize.width),
                              px(m_contentSize.height));
  content->makeWindowContent(m_window);
  if (m_hasBackground) content->setWindowBackground(m_background);
  m_content = content;
}

void GtkWindowPeer::setContentView(ViewPeer& view) {
  auto& content = static_cast<GtkViewPeer&>(view);
  if (&content == m_content || gtk_widget_get_parent(content.outer()) != nullptr) return;
  gtk_widget_destroy(m_content->outer());
  installContent(&content);
  gtk_widget_set_can_focus(content.outer(), TRUE);
  gtk_widget_grab_focus(content.outer());
}

void GtkWindowPeer::show() {
  GtkWidget* content = m_content->outer();
  if (isPanel(content)) {
    growPanelToControls(content);
    int width = 0, height = 0;
    gtk_widget_get_size_request(content, &width, &height);
    m_contentSize = {static_cast<double>(width), static_cast<double>(height)};
  }
  gtk_widget_show(m_window);
}

void GtkWindowPeer::hide() { gtk_widget_hide(m_window); }

bool GtkWindowPeer::isVisible() { return gtk_widget_get_visible(m_window); }

bool GtkWindowPeer::isKey() { return gtk_window_is_active(GTK_WINDOW(m_window)); }

void GtkWindowPeer::makeKey() { gtk_window_present(GTK_WINDOW(m_window)); }

void GtkWindowPeer::close() { gtk_widget_destroy(m_window); }

unsigned GtkWindowPeer::runModal() {
  // Held so that a destroy inside the loop cannot free the peer under this call.
  g_object_ref(m_window);
  attachToParent(m_window);
  gtk_window_set_modal(GTK_WINDOW(m_window), TRUE);
  enterModal(m_window);
  m_modalCode = 0;
  m_modalLoop = g_main_loop_new(nullptr, FALSE);
  g_main_loop_run(m_modalLoop);
  g_main_loop_unref(m_modalLoop);
  m_modalLoop = nullptr;
  leaveModal(m_window);
  gtk_window_set_modal(GTK_WINDOW(m_window), FALSE);
  const unsigned code = m_modalCode;
  g_object_unref(m_window);
  return code;
}

void GtkWindowPeer::stopModal(unsigned code) {
  if (m_modalLoop == nullptr) return;
  m_modalCode = code;
  g_main_loop_quit(m_modalLoop);
}

void GtkWindowPeer::setTitle(const std::string& utf8) {
  gtk_window_set_title(GTK_WINDOW(m_window), utf8.c_str());
}

void GtkWindowPeer::setBackground(const RGBAColour& colour) {
  m_hasBackground = true;
  m_background = colour;
  m_content->setWindowBackground(colour);
}

void GtkWindowPeer::setContentSize(const Size& size) {
  m_contentSize = size;
  gtk_widget_set_size_request(m_content->outer(), px(size.width), px(size.height));
  // The window takes the smallest size its contents ask for.
  gtk_window_resize(GTK_WINDOW(m_window), 1, 1);
}

Rect GtkWindowPeer::frameRect() {
  GdkWindow* window = gtk_widget_get_window(m_window);
  if (window != nullptr && gtk_widget_get_mapped(m_window)) {
    GdkRectangle frame{};
    gdk_window_get_frame_extents(window, &frame);
    return {static_cast<double>(frame.x), static_cast<double>(frame.y),
            static_cast<double>(frame.width), static_cast<double>(frame.height)};
  }
  GtkRequisition natural{};
  gtk_widget_get_preferred_size(m_window, nullptr, &natural);
  return {m_requestedPosition.x, m_requestedPosition.y,
          std::max<double>(natural.width, m_contentSize.width),
          std::max<double>(natural.height, m_contentSize.height)};
}

void GtkWindowPeer::centre() {
  GdkDisplay* display = gtk_widget_get_display(m_window);
  GdkMonitor* monitor = gdk_display_get_primary_monitor(display);
  if (monitor == nullptr) monitor = gdk_display_get_monitor(display, 0);
  if (monitor == nullptr) return;
  GdkRectangle area{};
  gdk_monitor_get_geometry(monitor, &area);
  const Rect frame = frameRect();
  setFramePosition({area.x + std::floor((area.width - frame.width) / 2),
                    area.y + std::floor((area.height - frame.height) / 2)});
}

void GtkWindowPeer::setFramePosition(const Point& topLeft) {
  m_requestedPosition = topLeft;
  gtk_window_set_gravity(GTK_WINDOW(m_window), GDK_GRAVITY_NORTH_WEST);
  gtk_window_move(GTK_WINDOW(m_window), px(topLeft.x), px(topLeft.y));
}

void GtkWindowPeer::setFrameRect(const Rect& frame) {
  const Rect now = frameRect();
  GtkAllocation content{};
  gtk_widget_get_allocation(m_content->outer(), &content);
  // What the frame adds around the content: decorations and the menu bar.
  const double extraWidth = gtk_widget_get_mapped(m_window) ? now.width - content.width : 0;
  const double extraHeight = gtk_widget_get_mapped(m_window) ? now.height - content.height : 0;
  setFramePosition({frame.x, frame.y});
  setContentSize({std::max(1.0, frame.width - extraWidth), std::max(1.0, frame.height - extraHeight)});
  gtk_widget_queue_draw(m_window);
}

void GtkWindowPeer::setMenuBar(const MenuBarModel& menus, MenuActionHandler onAction) {
  if (m_menuBar != nullptr) gtk_widget_destroy(m_menuBar);
  if (m_accel == nullptr) {
    m_accel = gtk_accel_group_new();
    gtk_window_add_accel_group(GTK_WINDOW(m_window), m_accel);
    g_object_unref(m_accel);  // the window keeps it
  }
  m_onAction = std::move(onAction);
  m_menuBar = gtk_menu_bar_new();
  for (const MenuModel& menu : menus) {
    GtkWidget* top = gtk_menu_item_new_with_label(menu.title.c_str());
    GtkWidget* items = gtk_menu_new();
    gtk_menu_set_accel_group(GTK_MENU(items), m_accel);
    for (const MenuItemModel& entry : menu.items) {
      if (entry.title.empty()) {
        gtk_menu_shell_append(GTK_MENU_SHELL(items), gtk_separator_menu_item_new());
        continue;
      }
      GtkWidget* item = gtk_menu_item_new_with_label(entry.title.c_str());
      g_object_set_data_full(G_OBJECT(item), kActionKey, g_strdup(entry.action.c_str()), g_free);
      g_signal_connect(item, "activate", G_CALLBACK(onMenuItem), this);
      if (!entry.key.empty()) {
        gtk_widget_add_accelerator(item, "activate", m_accel,
                                   gdk_unicode_to_keyval(g_utf8_get_char(entry.key.c_str())),
                                   GDK_CONTROL_MASK, GTK_ACCEL_VISIBLE);
      }
      gtk_menu_shell_append(GTK_MENU_SHELL(items), item);
    }
    gtk_menu_item_set_submenu(GTK_MENU_ITEM(top), items);
    gtk_menu_shell_append(GTK_MENU_SHELL(m_menuBar), top);
  }
  gtk_box_pack_start(GTK_BOX(m_box), m_menuBar, FALSE, FALSE, 0);
  gtk_box_reorder_child(GTK_BOX(m_box), m_menuBar, 0);
  gtk_widget_show_all(m_menuBar);
}

gboolean GtkWindowPeer::onDelete(GtkWidget*, GdkEvent*, gpointer self) {
  auto* peer = static_cast<GtkWindowPeer*>(self);
  if (peer->m_owner == nullptr) return FALSE;
  return peer->m_owner->peerCloseRequested() ? FALSE : TRUE;
}

void GtkWindowPeer::onDestroy(GtkWidget*, gpointer self) {
  auto* peer = static_cast<GtkWindowPeer*>(self);
  if (peer->m_modalLoop != nullptr) g_main_loop_quit(peer->m_modalLoop);
  if (peer->m_owner == nullptr) return;
  WindowOwner* owner = peer->m_owner;
  peer->m_owner = nullptr;
  owner->peerWillClose();
}

void GtkWindowPeer::onMenuItem(GtkMenuItem* item, gpointer self) {
  auto* peer = static_cast<GtkWindowPeer*>(self);
  const auto* action = static_cast<const char*>(g_object_get_data(G_OBJECT(item), kActionKey));
  if (peer->m_onAction && action != nullptr) peer->m_onAction(action);
}

}  // namespace vantor::VNT::gtkpeers
