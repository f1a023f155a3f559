// The routine records a debugger's call stack is read from: one per running
// routine, reachable from the debug state block's appended fields, with the
// routine's name, its local table and the statement it was called from.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "core/core.h"
#include "core/generated.h"

namespace {

struct Seen {
  int32_t count = 0;
  std::string innermost;
  int32_t callerModule = 0, callerLine = 0;
  const VariableTable* locals = nullptr;
};

Seen Look() {
  Seen s;
  s.count = TheDebugState.frameCount;
  if (s.count > 0) {
    const RoutineRecord& r = TheDebugState.frames[s.count - 1];
    s.innermost = r.name;
    s.callerModule = r.callerModule;
    s.callerLine = r.callerLine;
    s.locals = r.locals;
  }
  return s;
}

void Leaf(Seen* seen) {
  VLM_ROUTINE();
  Number depthMark;
  VLM_LOCAL(depthMark);
  *seen = Look();
  NoteLine(1, 77);
  throw std::runtime_error("leaves through the unwinder");
}

void Caller(Seen* inCaller, Seen* inLeaf) {
  VLM_ROUTINE();
  NoteLine(0, 12);  // the statement that calls Leaf
  *inCaller = Look();
  Leaf(inLeaf);
}

int Deep(int n, std::string* names, int32_t* lines) {
  VLM_ROUTINE();
  NoteLine(2, 1000 + n);
  if (n > 0) return Deep(n - 1, names, lines);
  // Every record of the chain, read only once the pool has grown to hold it.
  const int32_t count = TheDebugState.frameCount;
  for (int32_t k = 0; k < count; ++k) {
    *names += TheDebugState.frames[k].name;
    *names += ' ';
  }
  *lines = TheDebugState.frames[count - 1].callerLine;
  return count;
}

TEST(RoutineRecords, NameCallerAndLocalsPerFrameAlsoWhenUnwound) {
  EXPECT_EQ(TheDebugState.blockSize, 0x60);
  EXPECT_EQ(TheDebugState.currentModule, &CurrentModule);
  EXPECT_EQ(TheDebugState.currentLine, &CurrentLine);
  const int32_t before = TheDebugState.frameCount;
  NoteLine(0, 5);
  Seen inCaller, inLeaf;
  try {
    Caller(&inCaller, &inLeaf);
  } catch (const std::runtime_error&) {
  }
  EXPECT_EQ(inCaller.count, before + 1);
  EXPECT_EQ(inCaller.innermost, "Caller");
  EXPECT_EQ(inCaller.callerModule, 0);
  EXPECT_EQ(inCaller.callerLine, 5);  // where Caller was entered from
  EXPECT_EQ(inLeaf.count, before + 2);
  EXPECT_EQ(inLeaf.innermost, "Leaf");
  EXPECT_EQ(inLeaf.callerLine, 12);
  ASSERT_NE(inLeaf.locals, nullptr);
  EXPECT_NE(inLeaf.locals, inCaller.locals);
  EXPECT_EQ(TheDebugState.frameCount, before);  // both records gone with the exception
}

TEST(RoutineRecords, FollowThePoolAsItGrows) {
  const int32_t before = TheDebugState.frameCount;
  std::string names;
  int32_t innermostCaller = 0;
  EXPECT_EQ(Deep(300, &names, &innermostCaller), before + 301);
  // The outermost records belong to whoever runs this test; the last 301 are Deep's.
  std::string expected;
  for (int k = 0; k < 301; ++k) expected += "Deep ";
  ASSERT_GE(names.size(), expected.size());
  EXPECT_EQ(names.substr(names.size() - expected.size()), expected);
  EXPECT_EQ(innermostCaller, 1001);  // Deep(0) was called from the statement of Deep(1)
  EXPECT_EQ(TheDebugState.frameCount, before);
}

}  // namespace
