// The engine's editor without any display.
#include "tests/engine/EngineFixture.h"
#include "tests/support/ScopedEnvironment.h"

namespace kelo::test {
namespace {

using EngineEditorTest = EngineFixture;

TEST_F(EngineEditorTest, WithoutADisplayOpeningFailsAndEverythingElseAnswers) {
  ScopedEnvironment environment;
  environment.unset("DISPLAY");
  void* instance = createStarted();
  ASSERT_NE(instance, nullptr);
  void* editor = nullptr;
  ASSERT_EQ(call(nullptr, KELO_OP_EDITOR_CREATE, const_cast<char*>("/x/KeloSetup.xml"), &editor,
                 instance, 0, 0.0f, 1),
            0);
  EXPECT_NE(call(editor, KELO_OP_EDITOR_OPEN, reinterpret_cast<void*>(0x400001), nullptr,
                 nullptr, 1, 1.0f, 0, 1),
            0);
  EXPECT_EQ(call(instance, KELO_OP_EDITOR_ATTACH, editor), 0);
  std::int32_t height = 0, width = 0;
  EXPECT_EQ(call(editor, KELO_OP_EDITOR_SIZE_GET, &height, &width), 0);
  EXPECT_EQ(height, 320);  // height through p1, width through p2
  EXPECT_EQ(width, 420);
  control(KELO_TEST_SET_EDITOR_SIZE, nullptr, nullptr, 70000, 10);
  EXPECT_EQ(call(editor, KELO_OP_EDITOR_SIZE_GET, &height, &width), 0);
  EXPECT_EQ(height, 70000);
  EXPECT_EQ(width, 10);
  control(KELO_TEST_SET_EDITOR_SIZE, nullptr, nullptr, 0, 0);
  void* view = reinterpret_cast<void*>(1);
  EXPECT_EQ(call(editor, KELO_OP_EDITOR_VIEW_GET, &view), 0);
  EXPECT_EQ(view, nullptr);
  EXPECT_EQ(call(editor, KELO_OP_EDITOR_IDLE), 0);
  EXPECT_EQ(call(editor, KELO_OP_EDITOR_DRAW), 0);
  EXPECT_EQ(call(instance, KELO_OP_EDITOR_DETACH, editor), 0);
  EXPECT_EQ(call(editor, KELO_OP_EDITOR_DESTROY), 0);
  destroy(instance);
  EXPECT_TRUE(findings().empty());
}

}  // namespace
}  // namespace kelo::test
