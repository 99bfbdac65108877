// The editor calls of a host against the reference engine, without a display: the engine's
// editor made on first need, its size, opening, drawing, closing and destruction, and what
// happens when the engine gives no editor or no instance.
#include <string>
#include <utility>
#include <vector>

#include "plugins/vst/FakeEditor.h"
#include "tests/plugins/vst/RackFixture.h"
#include "tests/support/ScopedEnvironment.h"

namespace kelo::test {
namespace {

class RackEditorTest : public RackTest {
 protected:
  void SetUp() override {
    RackTest::SetUp();
    m_environment.unset("DISPLAY");  // the engine's editor then fails to open, cleanly
  }
  static std::vector<KeloTraceEntry> editorCalls() {
    std::vector<KeloTraceEntry> calls;
    for (const KeloTraceEntry& entry : engineTrace())
      if (entry.opcode >= KELO_OP_EDITOR_ATTACH && entry.opcode <= KELO_OP_EDITOR_DRAW)
        calls.push_back(entry);
    return calls;
  }
  static std::size_t count(const std::vector<KeloTraceEntry>& calls, std::int32_t opcode) {
    std::size_t n = 0;
    for (const KeloTraceEntry& entry : calls) n += entry.opcode == opcode;
    return n;
  }
  /// getRect, open, idle, draw and close in turn; the answers of getRect and open.
  static std::pair<std::intptr_t, std::intptr_t> everyEditorCall(AEffect* effect) {
    ERect* rect = nullptr;
    const std::intptr_t sized = dispatch(effect, effEditGetRect, 0, 0, &rect);
    const std::intptr_t opened =
        dispatch(effect, effEditOpen, 0, 0, reinterpret_cast<void*>(0x400001));
    dispatch(effect, effEditIdle);
    dispatch(effect, effEditDraw);
    dispatch(effect, effEditClose);
    return {sized, opened};
  }
  ScopedEnvironment m_environment;
};

TEST_F(RackEditorTest, TheFirstGetRectInitialisesAndAnswersTheEditorSize) {
  struct Case {
    std::int32_t height, width;  // the engine editor's (0: its own, 320 x 420)
    std::int16_t bottom, right;
  };
  const Case cases[] = {{0, 0, 320, 420}, {70000, 640, 4464, 640}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.height);
    engineControl()(KELO_TEST_RESET, nullptr, nullptr, 0, 0);
    engineControl()(KELO_TEST_SET_EDITOR_SIZE, nullptr, nullptr, c.height, c.width);
    AEffect* effect = make();
    ERect* rect = nullptr;
    EXPECT_EQ(dispatch(effect, effEditGetRect, 0, 0, &rect), 1);
    ASSERT_NE(rect, nullptr);
    EXPECT_EQ(rect->top, 0);
    EXPECT_EQ(rect->left, 0);
    EXPECT_EQ(rect->bottom, c.bottom);
    EXPECT_EQ(rect->right, c.right);
    const std::vector<KeloTraceEntry> calls = editorCalls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].opcode, KELO_OP_EDITOR_CREATE);
    EXPECT_EQ(calls[0].i2, 0);
    EXPECT_EQ(calls[1].opcode, KELO_OP_EDITOR_SIZE_GET);
    EXPECT_EQ(countOpcode(KELO_OP_INSTANCE_CREATE), 1u);
    EXPECT_EQ(pluginLogCount('I', " GUI getRect"), 1u);
    EXPECT_EQ(pluginLogCount('I', " GUI init"), 1u);
    EXPECT_EQ(pluginLogCount('I', " init() in"), 1u);
    dispatch(effect, effClose);
    EXPECT_TRUE(engineFindings().empty());
  }
}

TEST_F(RackEditorTest, EachCallWithTheEngineItMakes) {
  ERect given{1, 2, 3, 4};
  struct Step {
    const char* name;
    std::int32_t opcode;
    void* ptr;
    std::intptr_t answer;
    std::vector<std::int32_t> engineCalls;
    std::vector<std::string> lines;  // the plug-in's new "I:" lines, in order
  };
  const std::vector<Step> steps = {
      {"close before anything", effEditClose, nullptr, 0, {}, {" GUI close in"}},
      {"draw without a rectangle", effEditDraw, nullptr, 0,
       {KELO_OP_EDITOR_CREATE, KELO_OP_EDITOR_DRAW}, {" GUI init"}},
      {"draw with one", effEditDraw, &given, 0, {KELO_OP_EDITOR_DRAW}, {}},
      {"open without a display", effEditOpen, reinterpret_cast<void*>(0x400001), 0,
       {KELO_OP_EDITOR_OPEN, KELO_OP_EDITOR_DESTROY}, {" GUI open 0x400001"}},
      {"idle after the refused open makes a new one", effEditIdle, nullptr, 0,
       {KELO_OP_EDITOR_CREATE, KELO_OP_EDITOR_IDLE}, {" GUI init"}},
      {"close", effEditClose, nullptr, 0, {KELO_OP_EDITOR_DETACH, KELO_OP_EDITOR_DESTROY},
       {" GUI close in", " GUI close out"}},
      {"close again", effEditClose, nullptr, 0, {}, {" GUI close in"}},
      {"idle makes a new one", effEditIdle, nullptr, 0,
       {KELO_OP_EDITOR_CREATE, KELO_OP_EDITOR_IDLE}, {" GUI init"}},
  };
  AEffect* effect = make();
  dispatch(effect, effMainsChanged, 0, 1);
  for (const Step& step : steps) {
    SCOPED_TRACE(step.name);
    const std::size_t traced = editorCalls().size();
    const std::size_t logged = pluginLog('I').size();
    EXPECT_EQ(dispatch(effect, step.opcode, 0, 0, step.ptr), step.answer);
    const std::vector<KeloTraceEntry> calls = editorCalls();
    std::vector<std::int32_t> made;
    for (std::size_t i = traced; i < calls.size(); ++i) made.push_back(calls[i].opcode);
    EXPECT_EQ(made, step.engineCalls);
    const std::vector<std::string> lines = pluginLog('I');
    std::vector<std::string> texts;
    for (std::size_t i = logged; i < lines.size(); ++i)
      texts.push_back(lines[i].substr(lines[i].find(' ')));  // after the object's address
    EXPECT_EQ(texts, step.lines);
  }
  // The rectangle's four values, or zeros without one: i1 top, i2 left, i3 bottom, f right.
  std::vector<KeloTraceEntry> draws;
  for (const KeloTraceEntry& entry : editorCalls())
    if (entry.opcode == KELO_OP_EDITOR_DRAW) draws.push_back(entry);
  ASSERT_EQ(draws.size(), 2u);
  auto rectangle = [](const KeloTraceEntry& draw) {
    return std::vector<float>({float(draw.i1), float(draw.i2), float(draw.i3), draw.f});
  };
  EXPECT_EQ(rectangle(draws[0]), std::vector<float>({0, 0, 0, 0}));
  EXPECT_EQ(rectangle(draws[1]), std::vector<float>({1, 2, 3, 4}));
  // The destructor destroys the last editor before the instance goes.
  dispatch(effect, effClose);
  const std::vector<KeloTraceEntry> calls = editorCalls();
  EXPECT_EQ(count(calls, KELO_OP_EDITOR_CREATE), count(calls, KELO_OP_EDITOR_DESTROY));
  EXPECT_EQ(pluginLogCount('I', " GUI dtor"), 1u);
  EXPECT_EQ(pluginLogCount('E', "engine error:1"), 1u);  // the open without a display
  EXPECT_TRUE(engineFindings().empty());
}

TEST_F(RackEditorTest, AnOpenTheEngineRefusesAnswersFalseAndLeavesNoEditor) {
  struct Case {
    const char* name;
    std::int32_t forcedError;  // 0: the engine's own refusal (no display)
    std::int32_t answer;       // the "engine error:" code logged
  };
  const Case cases[] = {{"no display", 0, 1}, {"refused with 7", 7, 7}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    engineControl()(KELO_TEST_RESET, nullptr, nullptr, 0, 0);
    AEffect* effect = make();
    dispatch(effect, effMainsChanged, 0, 1);
    ERect* rect = nullptr;
    ASSERT_EQ(dispatch(effect, effEditGetRect, 0, 0, &rect), 1);
    engineControl()(KELO_TEST_FAIL_OPCODE, nullptr, nullptr, KELO_OP_EDITOR_OPEN, c.forcedError);
    EXPECT_EQ(dispatch(effect, effEditOpen, 0, 0, reinterpret_cast<void*>(0x400001)), 0);
    EXPECT_EQ(static_cast<FakeEditor*>(object(effect).getEditor())->engineEditor(), nullptr);
    const std::vector<KeloTraceEntry> calls = editorCalls();
    EXPECT_EQ(count(calls, KELO_OP_EDITOR_ATTACH), 0u);
    EXPECT_EQ(count(calls, KELO_OP_EDITOR_DESTROY), 1u);
    EXPECT_EQ(pluginLogCount('E', "engine error:" + std::to_string(c.answer)), 1u);
    // Nothing is left to close, and the next open starts from a new engine editor.
    const std::size_t before = calls.size();
    dispatch(effect, effEditClose);
    EXPECT_EQ(editorCalls().size(), before);
    engineControl()(KELO_TEST_FAIL_OPCODE, nullptr, nullptr, KELO_OP_EDITOR_OPEN, 0);
    dispatch(effect, effEditOpen, 0, 0, reinterpret_cast<void*>(0x400001));
    EXPECT_EQ(count(editorCalls(), KELO_OP_EDITOR_CREATE), 2u);
    dispatch(effect, effClose);
    EXPECT_EQ(count(editorCalls(), KELO_OP_EDITOR_CREATE),
              count(editorCalls(), KELO_OP_EDITOR_DESTROY));
    EXPECT_TRUE(engineFindings().empty());
  }
}

TEST_F(RackEditorTest, ANullEditorFromTheEngineIsNeverUsedAndMadeAgainLater) {
  AEffect* effect = make();
  dispatch(effect, effMainsChanged, 0, 1);
  engineControl()(KELO_TEST_FAIL_OPCODE, nullptr, nullptr, KELO_OP_EDITOR_CREATE, 5);
  EXPECT_EQ(everyEditorCall(effect), std::make_pair(std::intptr_t{0}, std::intptr_t{0}));
  // Every call tried to make one; nothing went to a null handle.
  const std::vector<KeloTraceEntry> calls = editorCalls();
  EXPECT_EQ(count(calls, KELO_OP_EDITOR_CREATE), 4u);
  EXPECT_EQ(calls.size(), 4u);
  EXPECT_EQ(pluginLogCount('E', "engine error:5"), 4u);
  engineControl()(KELO_TEST_FAIL_OPCODE, nullptr, nullptr, KELO_OP_EDITOR_CREATE, 0);
  ERect* rect = nullptr;
  EXPECT_EQ(dispatch(effect, effEditGetRect, 0, 0, &rect), 1);
  ASSERT_NE(rect, nullptr);
  EXPECT_EQ(rect->right, 420);
  dispatch(effect, effClose);
  EXPECT_TRUE(engineFindings().empty());
}

TEST_F(RackEditorTest, WithoutAnEngineInstanceNoEditorIsMade) {
  engineControl()(KELO_TEST_FAIL_OPCODE, nullptr, nullptr, KELO_OP_INSTANCE_CREATE, 3);
  AEffect* effect = make();
  EXPECT_EQ(everyEditorCall(effect), std::make_pair(std::intptr_t{0}, std::intptr_t{0}));
  EXPECT_TRUE(editorCalls().empty());
  EXPECT_EQ(
      pluginLogCount('E', "What?  cant this host call resume at least ONCE before gui getRect?"),
      1u);
  EXPECT_EQ(pluginLogCount('E', "What?  cant this host call resume at least ONCE before GUI OPEN?"),
            1u);
  dispatch(effect, effClose);
  EXPECT_EQ(pluginLogCount('I', " GUI dtor"), 1u);
}

}  // namespace
}  // namespace kelo::test
