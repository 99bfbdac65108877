// The note stack: last pressed on top, a key held once, -1 for "empty", and a fixed pool.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "effects/small/articulation/NoteStack.h"

namespace {

// One step on the stack and what it must answer ("" for operations without an answer), with
// the keys held afterwards, top first.
struct Step {
  std::string operation;
  int key;
  int answer;
  std::vector<int> heldAfter;
};

std::vector<int> keysOf(noteStack& stack) {
  std::vector<int> popped;
  while (stack.Count() > 0) popped.push_back(stack.Pop());
  for (auto it = popped.rbegin(); it != popped.rend(); ++it) stack.Push(*it);
  return popped;
}

void run(const std::vector<Step>& steps) {
  noteStack stack;
  for (const Step& step : steps) {
    SCOPED_TRACE(step.operation + " " + std::to_string(step.key));
    int answer = 0;
    if (step.operation == "Push") answer = stack.Push(step.key);
    if (step.operation == "Pop") answer = stack.Pop();
    if (step.operation == "Peek") answer = stack.Peek();
    if (step.operation == "Remove") stack.Remove(step.key);
    if (step.operation == "Clear") stack.Clear();
    EXPECT_EQ(answer, step.answer);
    EXPECT_EQ(keysOf(stack), step.heldAfter);
    EXPECT_EQ(stack.Count(), static_cast<int>(step.heldAfter.size()));
  }
}

TEST(NoteStack, AKeyPressedAgainMovesToTheTopAndIsHeldOnce) {
  run({
      {"Push", 60, 60, {60}},
      {"Push", 64, 64, {64, 60}},
      {"Push", 60, 60, {60, 64}},
      {"Peek", 0, 60, {60, 64}},
      {"Pop", 0, 60, {64}},
      {"Pop", 0, 64, {}},
      {"Pop", 0, -1, {}},
      {"Peek", 0, -1, {}},
  });
}

TEST(NoteStack, RemovingLetsGoOfOneKeyWhereverItIs) {
  run({
      {"Remove", 60, 0, {}},
      {"Push", 60, 60, {60}},
      {"Push", 64, 64, {64, 60}},
      {"Remove", 61, 0, {64, 60}},
      {"Remove", 60, 0, {64}},
      {"Push", 62, 62, {62, 64}},
      {"Remove", 62, 0, {64}},
  });
}

TEST(NoteStack, ClearEmptiesTheStackEvenPastAHeldKeyMinusOne) {
  run({
      {"Push", 5, 5, {5}},
      {"Push", -1, -1, {-1, 5}},
      {"Push", 7, 7, {7, -1, 5}},
      {"Clear", 0, 0, {}},
      {"Push", -1, -1, {-1}},
      {"Peek", 0, -1, {-1}},  // held, though it reads like "empty": Count() tells
      {"Pop", 0, -1, {}},
  });
}

TEST(NoteStack, AFullPoolRefusesNewKeysAndCountsThem) {
  noteStack stack;
  for (int key = 0; key < noteStack::kCapacity; ++key) stack.Push(key);
  EXPECT_EQ(stack.Count(), noteStack::kCapacity);
  EXPECT_EQ(stack.Push(9999), 9999);
  EXPECT_EQ(stack.Count(), noteStack::kCapacity);
  EXPECT_EQ(stack.Peek(), noteStack::kCapacity - 1);
  EXPECT_EQ(stack.refusedPushes(), 1u);
  stack.Push(3);  // held already: moves, needs no new node
  EXPECT_EQ(stack.Peek(), 3);
  EXPECT_EQ(stack.refusedPushes(), 1u);
  stack.Remove(10);
  stack.Push(9999);
  EXPECT_EQ(stack.Peek(), 9999);
  EXPECT_EQ(stack.Count(), noteStack::kCapacity);
}

}  // namespace
