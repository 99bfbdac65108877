// KeloRack.so in a small host of the test's own, as a Linux host runs it: loaded through
// VSTPluginMain, started, its editor in an X11 window of the size it asks for, a chord played.
// Label "display": run under xvfb-run -a (skipped without a display).
#include <cmath>
#include <string>
#include <vector>

#include "tests/plugins/vst/RackFixture.h"
#include "tests/support/vst/VstTestHost.h"
#include "tests/support/x11/WindowCapture.h"

// After GoogleTest: Xlib defines macros (None, Bool) that its headers use as names.
#include <X11/Xlib.h>

namespace kelo::test {
namespace {

class RackHostWindowTest : public RackTest {
 protected:
  // The connection stays open through the test: an X server resets when its last client
  // leaves (Xvfb by default), and connections made during the reset fail.
  void SetUp() override {
    RackTest::SetUp();
    m_display = XOpenDisplay(nullptr);
    if (!m_display) GTEST_SKIP() << "no X display (run under xvfb-run -a)";
  }
  void TearDown() override {
    if (m_display) XCloseDisplay(m_display);
    RackTest::TearDown();
  }
  Display* m_display = nullptr;
};

/// The children of an X11 window.
std::vector<Window> childrenOf(Display* display, Window window) {
  Window root = 0, parent = 0;
  Window* children = nullptr;
  unsigned int count = 0;
  std::vector<Window> found;
  if (XQueryTree(display, window, &root, &parent, &children, &count) != 0) {
    found.assign(children, children + count);
    if (children) XFree(children);
  }
  return found;
}

TEST_F(RackHostWindowTest, PlaysAChordWithItsEditorInTheHostsWindow) {
  VstTestHost host(KELO_RACK_SO);
  ASSERT_NE(host.effect(), nullptr);
  host.start(44100.0f, 256);
  ASSERT_TRUE(host.openEditor());
  EXPECT_EQ(host.editorWidth(), 420);
  EXPECT_EQ(host.editorHeight(), 320);
  for (int i = 0; i < 3; ++i) host.idle();

  // The engine's editor is the one child of the host's window, of the size asked for.
  Display* display = host.display();
  const std::vector<Window> children = childrenOf(display, host.window());
  ASSERT_EQ(children.size(), 1u);
  XWindowAttributes attributes{};
  ASSERT_NE(XGetWindowAttributes(display, children[0], &attributes), 0);
  EXPECT_EQ(attributes.width, host.editorWidth());
  EXPECT_EQ(attributes.height, host.editorHeight());
  EXPECT_EQ(attributes.map_state, IsViewable);

  // A C major chord, held for a few blocks.
  double energy = 0.0;
  bool finite = true;
  for (int block = 0; block < 8; ++block) {
    host.render(block == 0 ? std::vector<VstMidiEvent>{note(60, 0), note(64, 0), note(67, 32)}
                           : std::vector<VstMidiEvent>{},
                256);
    for (std::int32_t channel = 0; channel < host.effect()->numOutputs; ++channel)
      for (float sample : host.output(channel)) {
        finite = finite && std::isfinite(sample);
        energy += static_cast<double>(sample) * sample;
      }
  }
  EXPECT_TRUE(finite);
  EXPECT_GT(energy, 1.0);
  host.idle();

  // The editor lists the parameters: text in black on white.
  const int ink = captureWindow(display, host.window(), host.editorWidth(), host.editorHeight(),
                                std::string(KELO_BUILD_DIR) + "/screenshots/kelorack-editor.ppm");
  EXPECT_GT(ink, 500);
  EXPECT_LT(ink, host.editorWidth() * host.editorHeight() / 4);

  host.closeEditor();
  EXPECT_TRUE(childrenOf(display, host.window()).empty());
  host.stop();
  host.close();
  EXPECT_TRUE(engineFindings().empty());
  EXPECT_EQ(countOpcode(KELO_OP_EDITOR_CREATE), countOpcode(KELO_OP_EDITOR_DESTROY));
  EXPECT_EQ(countOpcode(KELO_OP_INSTANCE_DESTROY), 1u);
}

TEST_F(RackHostWindowTest, AnEditorTheEngineOpenedButRefusedToAttachIsNotLeftInTheWindow) {
  VstTestHost host(KELO_RACK_SO);
  ASSERT_NE(host.effect(), nullptr);
  host.start(44100.0f, 256);
  engineControl()(KELO_TEST_FAIL_OPCODE, nullptr, nullptr, KELO_OP_EDITOR_ATTACH, 4);
  EXPECT_FALSE(host.openEditor());
  ASSERT_NE(host.display(), nullptr);
  EXPECT_EQ(countOpcode(KELO_OP_EDITOR_OPEN), 1u);
  XSync(host.display(), False);
  EXPECT_TRUE(childrenOf(host.display(), host.window()).empty());
  EXPECT_EQ(countOpcode(KELO_OP_EDITOR_CREATE), countOpcode(KELO_OP_EDITOR_DESTROY));
  engineControl()(KELO_TEST_FAIL_OPCODE, nullptr, nullptr, KELO_OP_EDITOR_ATTACH, 0);
  host.close();
  EXPECT_TRUE(engineFindings().empty());
}

}  // namespace
}  // namespace kelo::test
