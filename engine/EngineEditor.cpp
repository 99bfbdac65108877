#include "engine/EngineEditor.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdio>
#include <cstring>

#include "VNL/source/LogLine.h"

namespace kelo::engine {
namespace {

int g_xErrors = 0;


int countXError(Display*, XErrorEvent*) {
  ++g_xErrors;
  return 0;
}

// Catches the X errors of the requests made while it lives, and restores the host's handler.
class XErrorTrap {
 public:
  explicit XErrorTrap(Display* display) : m_display(display) {
    g_xErrors = 0;
    m_previous = XSetErrorHandler(countXError);
  }
  /// Waits for the server to answer everything sent so far; true when nothing failed.
  bool ok() {
    XSync(m_display, False);
    return g_xErrors == 0;
  }
  ~XErrorTrap() {
    XSync(m_display, False);
    XSetErrorHandler(m_previous);
  }

 private:
  Display* m_display;
  XErrorHandler m_previous;
};

Display* asDisplay(void* display) { return static_cast<Display*>(display); }

}  // namespace

EngineEditor::EngineEditor(std::string setupPath, EngineInstance* instance)
    : m_setupPath(std::move(setupPath)), m_instance(instance) {}

EngineEditor::~EngineEditor() { close(); }

bool EngineEditor::open(std::uintptr_t parent) {
  close();
  if (parent == 0) return false;
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) {
    PLOGW("KeloEngine: editor cannot open: no X display");
    return false;
  }
  Window window = 0;
  bool created = false;
  {
    XErrorTrap trap(display);
    const int screen = DefaultScreen(display);
    window = XCreateSimpleWindow(display, static_cast<Window>(parent), 0, 0, kWidth, kHeight, 0,
                                 BlackPixel(display, screen), WhitePixel(display, screen));
    created = trap.ok();
    if (created) {
      XStoreName(display, window, "Kelo reference engine");
      XSelectInput(display, window, ExposureMask | StructureNotifyMask);
      XMapWindow(display, window);
      m_gc = XCreateGC(display, window, 0, nullptr);
    }
  }
  if (!created) {
    PLOGW("KeloEngine: editor cannot open in parent window 0x%lx",
          static_cast<unsigned long>(parent));
    XCloseDisplay(display);
    return false;
  }
  m_display = display;
  m_window = window;
  draw();
  return true;
}

void EngineEditor::close() {
  if (m_display == nullptr) return;
  Display* display = asDisplay(m_display);
  {
    XErrorTrap trap(display);  // the parent may already be gone with our window in it
    if (m_gc != nullptr) XFreeGC(display, static_cast<GC>(m_gc));
    if (m_window != 0) XDestroyWindow(display, static_cast<Window>(m_window));
  }
  XCloseDisplay(display);
  m_display = nullptr;
  m_window = 0;
  m_gc = nullptr;
}

int latin1Of(const char* utf8, char* out, int capacity) {
  int length = 0;
  for (const auto* byte = reinterpret_cast<const unsigned char*>(utf8);
       *byte != 0 && length + 1 < capacity;) {
    if (*byte < 0x80) {
      out[length++] = static_cast<char>(*byte++);
    } else if ((*byte == 0xC2 || *byte == 0xC3) && (byte[1] & 0xC0) == 0x80) {
      out[length++] = static_cast<char>(((byte[0] & 0x03) << 6) | (byte[1] & 0x3F));
      byte += 2;
    } else {
      out[length++] = '?';
      ++byte;
      while ((*byte & 0xC0) == 0x80) ++byte;
    }
  }
  out[length] = 0;
  return length;
}

void EngineEditor::idle() {
  if (m_display == nullptr) return;
  Display* display = asDisplay(m_display);
  bool exposed = false;
  while (XPending(display) > 0) {
    XEvent event;
    XNextEvent(display, &event);
    if (event.type == Expose && event.xexpose.count == 0) exposed = true;
  }
  if (exposed) draw();
}

void EngineEditor::draw() {
  if (m_display == nullptr || m_window == 0) return;
  Display* display = asDisplay(m_display);
  XErrorTrap trap(display);
  const Window window = static_cast<Window>(m_window);
  const GC gc = static_cast<GC>(m_gc);
  const int screen = DefaultScreen(display);
  XClearWindow(display, window);
  XSetForeground(display, gc, BlackPixel(display, screen));
  const char* title = "Kelo reference engine";
  XDrawString(display, window, gc, 12, 20, title, static_cast<int>(std::strlen(title)));
  if (m_instance == nullptr) {
    const char* idle = "(no instance attached)";
    XDrawString(display, window, gc, 12, 44, idle, static_cast<int>(std::strlen(idle)));
    return;
  }
  int y = 44;
  for (int index = 0; index < kParameterCount; ++index) {
    const ParameterInfo* info = m_instance->parameters().info(index);
    if (info == nullptr || info->label == nullptr) continue;
    char value[64];
    info->toString(value, m_instance->parameters().get(index), sizeof value);
    char line[160];
    std::snprintf(line, sizeof line, "%-16s %s", info->label, value);
    char shown[160];
    XDrawString(display, window, gc, 12, y, shown, latin1Of(line, shown, sizeof shown));
    y += 16;
  }
}

}  // namespace kelo::engine
