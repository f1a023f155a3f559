// Keyboard snapshots and the mouse: positions, movement, wheel, buttons, the
// hidden pointer and the screen orientation.
#include <gtest/gtest.h>

#include <cmath>

#include "gfx2d/gfx2d.h"
#include "gfx3d/gfx3d.h"
#include "host/host.h"
#include "input/devices.h"
#include "input/input.h"
#include "input/input_test_util.h"

using namespace input_test;

namespace {

// Every test starts with the pointer shown at rest and the screen upright.
class Mouse : public ::testing::Test {
 protected:
  void SetUp() override {
    Runtime();
    ShowMousePointer(1);
    SetOrientation(0);
    MoveTo(500, 400);
    Pump();
    int32_t x, y, b1, b2;
    GetMouseState(x, y, b1, b2);
  }
  void TearDown() override {
    for (int b = 1; b <= 3; ++b) Button(b, false);
    Pump();
    ShowMousePointer(1);
    SetOrientation(0);
  }
};

struct Position {
  int32_t x, y, b1, b2;
};

Position State() {
  Position p{};
  GetMouseState(p.x, p.y, p.b1, p.b2);
  return p;
}

}  // namespace

TEST(Keys, SnapshotIsRefreshedOncePerFrameAndEvery129Queries) {
  Runtime();
  ShowScreen();  // counter 0, snapshot taken, queue empty
  Key(30, true);
  Pump();
  // The snapshot is older than the key: 128 queries still see it up, the
  // 129th takes a new snapshot.
  for (int i = 1; i <= 128; ++i) ASSERT_FALSE(IsKeyDown(30)) << "query " << i;
  EXPECT_TRUE(IsKeyDown(30));
  Key(30, false);
  Pump();
  EXPECT_TRUE(IsKeyDown(30));
  ShowScreen();
  EXPECT_FALSE(IsKeyDown(30));
  EXPECT_FALSE(IsKeyDown(-1));
  EXPECT_FALSE(IsKeyDown(256));
}

TEST_F(Mouse, PositionIsClampedToTheWindowBothEndsIncluded) {
  MoveTo(1023, 767);
  Pump();
  Position p = State();
  EXPECT_EQ(p.x, 1023);
  EXPECT_EQ(p.y, 767);
  MoveTo(5000, 9000);
  Pump();
  p = State();
  EXPECT_EQ(p.x, kWidth);
  EXPECT_EQ(p.y, kHeight);
  MoveTo(-40, -1);
  Pump();
  p = State();
  EXPECT_EQ(p.x, 0);
  EXPECT_EQ(p.y, 0);
}

TEST_F(Mouse, MovementCountsFromTheLastConsumingRead) {
  MoveTo(530, 390);
  Pump();
  EXPECT_EQ(GetMouseAxis(0), 30);
  EXPECT_EQ(GetMouseAxis(1), -10);
  EXPECT_EQ(GetMouseAxis(0), 30);  // a plain read does not consume
  ShowScreen();                    // the frame does
  EXPECT_EQ(GetMouseAxis(0), 0);
  EXPECT_EQ(GetMouseAxis(1), 0);
  EXPECT_EQ(GetMouseAxis(6), 0);
  EXPECT_EQ(GetMouseCount(), 1);
  SelectMouse(5);
  EXPECT_EQ(State().x, 530);
}

TEST_F(Mouse, WheelGivesOneStepPerPollAndAccumulatesUntilConsumed) {
  Wheel(3);
  Pump();
  EXPECT_EQ(GetMouseAxis(2), 1);
  EXPECT_EQ(GetMouseAxis(2), 1);  // nothing new: the step stays
  Wheel(2);
  Pump();
  EXPECT_EQ(GetMouseAxis(2), 2);
  Wheel(-7);
  Pump();
  EXPECT_EQ(GetMouseAxis(2), 1);
  MouseReading reading;
  ReadMouse(*TheInputDevices(), reading, true);
  EXPECT_EQ(reading.wheel, 1);
  EXPECT_EQ(GetMouseAxis(2), 0);
  Wheel(-1);
  Pump();
  EXPECT_EQ(GetMouseAxis(2), -1);
}

TEST_F(Mouse, Buttons) {
  EXPECT_FALSE(AnyMouseButtonDown());
  Button(1, true);
  Button(3, true);
  Pump();
  EXPECT_TRUE(AnyMouseButtonDown());
  EXPECT_EQ(GetMouseAxis(3), 1);
  EXPECT_EQ(GetMouseAxis(4), 0);
  EXPECT_EQ(GetMouseAxis(5), 1);
  Position p = State();
  EXPECT_EQ(p.b1, 1);
  EXPECT_EQ(p.b2, 0);
  Button(1, false);
  Button(2, true);
  Pump();
  p = State();
  EXPECT_EQ(p.b1, 0);
  EXPECT_EQ(p.b2, 1);
  int32_t x = 0, y = 0, wheel = 0;
  EXPECT_EQ(PollMouse(*TheInputDevices(), x, y, wheel), 2u | 4u);
}

TEST_F(Mouse, HiddenPointerAccumulatesRelativeMotion) {
  const Position start = State();
  ShowMousePointer(0);
  EXPECT_FALSE(PointerShown());
  // Absolute positions mean nothing now; only the motion counts.
  MoveTo(3, 3, 10, 5);
  MoveTo(900, 20, 10, 5);
  MoveBy(10, 5);
  Pump();
  EXPECT_EQ(GetMouseAxis(0), 30);
  EXPECT_EQ(GetMouseAxis(1), 15);
  Position p = State();
  EXPECT_EQ(p.x, start.x + 30);
  EXPECT_EQ(p.y, start.y + 15);
  MoveBy(-7, 0);
  Pump();
  EXPECT_EQ(GetMouseAxis(0), -7);
  EXPECT_EQ(GetMouseAxis(0), -7);
  EXPECT_EQ(State().x, start.x + 23);
  // The virtual position stops at the window's edges.
  MoveBy(5000, -5000);
  Pump();
  p = State();
  EXPECT_EQ(p.x, kWidth);
  EXPECT_EQ(p.y, 0);
  MoveBy(-24, 100);
  Pump();
  p = State();
  EXPECT_EQ(p.x, kWidth - 24);
  EXPECT_EQ(p.y, 100);
}

TEST_F(Mouse, ShowingThePointerAgainReadsAbsolutePositions) {
  ShowMousePointer(0);
  MoveBy(12, 12);
  Pump();
  State();
  ShowMousePointer(std::nan(""));  // NaN means show
  EXPECT_TRUE(PointerShown());
  MoveTo(42, 43, 999, 999);
  Pump();
  const Position p = State();
  EXPECT_EQ(p.x, 42);
  EXPECT_EQ(p.y, 43);
}

TEST_F(Mouse, OrientationTurnsPositionsAndMovement) {
  // A quarter turn: the logical screen is 768 wide and 1024 high; window
  // point (px, py) is logical (py, 1023 - px).
  SetOrientation(1);
  MoveTo(100, 200);
  Pump();
  Position p = State();
  EXPECT_EQ(p.x, 200);
  EXPECT_EQ(p.y, kWidth - 1 - 100);
  // The far corner of the turned screen is reachable, and no further.
  MoveTo(-5, 5000);
  Pump();
  p = State();
  EXPECT_EQ(p.x, kHeight);
  EXPECT_EQ(p.y, kWidth - 1);
  // Movement turns as a vector: window +x is logical -y.
  MoveTo(10, 300);
  Pump();
  State();
  MoveTo(25, 300);
  Pump();
  EXPECT_EQ(GetMouseAxis(0), 0);
  EXPECT_EQ(GetMouseAxis(1), -15);

  SetOrientation(2);
  MoveTo(100, 200);
  Pump();
  p = State();
  EXPECT_EQ(p.x, kWidth - 1 - 100);
  EXPECT_EQ(p.y, kHeight - 1 - 200);

  SetOrientation(3);
  MoveTo(100, 200);
  Pump();
  p = State();
  EXPECT_EQ(p.x, kHeight - 1 - 200);
  EXPECT_EQ(p.y, 100);
}
