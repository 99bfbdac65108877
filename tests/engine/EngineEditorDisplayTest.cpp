// The engine's editor inside a real X11 parent window (label "display": run under
// xvfb-run -a; skipped when there is no display).
#include <string>

#include "tests/engine/EngineFixture.h"
#include "tests/support/x11/WindowImage.h"

// After GoogleTest: Xlib defines macros (None, Bool) that its headers use as names.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace kelo::test {
namespace {

using EngineEditorDisplay = EngineFixture;

TEST_F(EngineEditorDisplay, DrawsInItsOwnChildOfTheParentWindow) {
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) GTEST_SKIP() << "no X display (run under xvfb-run -a)";
  const Window parent = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 500, 400,
                                            0, 0, 0xFFFFFF);
  XMapWindow(display, parent);
  XSync(display, False);

  void* instance = createStarted();
  ASSERT_NE(instance, nullptr);
  void* editor = nullptr;
  ASSERT_EQ(call(nullptr, KELO_OP_EDITOR_CREATE, const_cast<char*>("KeloSetup.xml"), &editor,
                 instance),
            0);
  ASSERT_EQ(call(editor, KELO_OP_EDITOR_OPEN, reinterpret_cast<void*>(parent)), 0);
  EXPECT_EQ(call(instance, KELO_OP_EDITOR_ATTACH, editor), 0);
  EXPECT_EQ(call(editor, KELO_OP_EDITOR_IDLE), 0);
  EXPECT_EQ(call(editor, KELO_OP_EDITOR_DRAW), 0);

  const auto child = static_cast<Window>(control(KELO_TEST_EDITOR_WINDOW, editor));
  ASSERT_NE(child, 0u);
  void* view = nullptr;
  EXPECT_EQ(call(editor, KELO_OP_EDITOR_VIEW_GET, &view), 0);
  EXPECT_EQ(reinterpret_cast<Window>(view), child);
  Window root = 0, ofParent = 0;
  Window* children = nullptr;
  unsigned int count = 0;
  ASSERT_NE(XQueryTree(display, child, &root, &ofParent, &children, &count), 0);
  if (children != nullptr) XFree(children);
  EXPECT_EQ(ofParent, parent);
  XWindowAttributes attributes{};
  ASSERT_NE(XGetWindowAttributes(display, child, &attributes), 0);
  EXPECT_EQ(attributes.width, 420);
  EXPECT_EQ(attributes.height, 320);
  // The parameter list is drawn: text in black on white.
  const int ink = saveWindowImage(display, child, 420, 320,
                                  std::string(KELO_SCREENSHOT_DIR) + "/engine-editor.ppm");
  EXPECT_GT(ink, 500);
  EXPECT_LT(ink, 420 * 320 / 4);

  // A parent that is no window fails cleanly, and the host's X connection lives on.
  void* second = nullptr;
  ASSERT_EQ(call(nullptr, KELO_OP_EDITOR_CREATE, nullptr, &second, nullptr), 0);
  EXPECT_NE(call(second, KELO_OP_EDITOR_OPEN, reinterpret_cast<void*>(0x7ffffff0)), 0);
  EXPECT_EQ(call(second, KELO_OP_EDITOR_DESTROY), 0);

  EXPECT_EQ(call(instance, KELO_OP_EDITOR_DETACH, editor), 0);
  EXPECT_EQ(call(editor, KELO_OP_EDITOR_DESTROY), 0);
  destroy(instance);
  XDestroyWindow(display, parent);
  XCloseDisplay(display);
  EXPECT_TRUE(findings().empty());
}

}  // namespace
}  // namespace kelo::test
