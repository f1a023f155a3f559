// Joysticks, driven through an SDL virtual joystick and injected events.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "host/host.h"
#include "input/devices.h"
#include "input/input.h"
#include "input/input_internal.h"
#include "input/input_test_util.h"

using namespace input_test;

namespace {

void JoystickEvent(platform::EventType type, int instance, int control, int value, bool pressed = false) {
  platform::Event e;
  e.type = type;
  e.joystick = instance;
  e.axis = control;
  e.value = value;
  e.pressed = pressed;
  Inject(e);
}

class Joystick : public ::testing::Test {
 protected:
  void SetUp() override {
    Runtime();
    SetOrientation(0);
    before_ = GetJoystickCount();
    instance_ = platform::AttachVirtualJoystick(6, 16, 1);
    if (instance_ < 0) GTEST_SKIP() << "SDL offers no virtual joysticks here";
    Pump();
    ASSERT_EQ(GetJoystickCount(), before_ + 1);
    // Devices may be renumbered by the scan: the new one is the one that
    // reads what is set on it.
    slot_ = -1;
    JoystickEvent(platform::EventType::JoystickAxis, instance_, 5, 12345);
    Pump();
    for (int32_t n = 0; n < GetJoystickCount(); ++n) {
      JoystickState s;
      ReadJoystick(*TheInputDevices(), s, n);
      if (s.rotationZ == 12345) slot_ = n;
    }
    ASSERT_GE(slot_, 0);
    JoystickEvent(platform::EventType::JoystickAxis, instance_, 5, 0);
    Pump();
  }
  void TearDown() override {
    SetOrientation(0);
    if (instance_ >= 0) {
      platform::DetachVirtualJoystick(instance_);
      Pump();
      EXPECT_EQ(GetJoystickCount(), before_);
    }
  }
  int32_t before_ = 0;
  int instance_ = -1;
  int32_t slot_ = -1;
};

}  // namespace

TEST_F(Joystick, HatUpRightGivesXOneAndYMinusOne) {
  EXPECT_EQ(JoystickHatX(slot_), 0);
  EXPECT_EQ(JoystickHatY(slot_), 0);
  JoystickEvent(platform::EventType::JoystickHat, instance_, 0, 4500);
  Pump();
  JoystickState s;
  ReadJoystick(*TheInputDevices(), s, slot_);
  EXPECT_EQ(s.hats[0], 4500);
  EXPECT_EQ(JoystickHatX(slot_), 1);
  EXPECT_EQ(JoystickHatY(slot_), -1);
  JoystickEvent(platform::EventType::JoystickHat, instance_, 0, 18000);
  Pump();
  EXPECT_EQ(JoystickHatX(slot_), 0);
  EXPECT_EQ(JoystickHatY(slot_), 1);
  // A quarter turn of the screen turns the pad with it: (x, y) -> (-y, x).
  SetOrientation(1);
  JoystickEvent(platform::EventType::JoystickHat, instance_, 0, 4500);
  Pump();
  EXPECT_EQ(JoystickHatX(slot_), 1);
  EXPECT_EQ(JoystickHatY(slot_), 1);
}

TEST_F(Joystick, AxesButtonsAndTheJoystickZeroQuery) {
  JoystickEvent(platform::EventType::JoystickAxis, instance_, 0, 32767);
  JoystickEvent(platform::EventType::JoystickAxis, instance_, 1, -16384);
  JoystickEvent(platform::EventType::JoystickAxis, instance_, 2, -32768);
  JoystickEvent(platform::EventType::JoystickAxis, instance_, 3, 1000);
  JoystickEvent(platform::EventType::JoystickButton, instance_, 1, 0, true);
  Pump();
  JoystickState s;
  ReadJoystick(*TheInputDevices(), s, slot_);
  EXPECT_EQ(s.x, 32768);  // full deflection reaches the same magnitude both ways
  EXPECT_EQ(s.y, -16384);
  EXPECT_EQ(s.z, -32768);
  EXPECT_EQ(s.rotationX, 1000);
  EXPECT_EQ(s.buttons[0], 0);
  EXPECT_EQ(s.buttons[1], 0x80);
  EXPECT_EQ(s.hats[0], -1);
  EXPECT_DOUBLE_EQ(JoystickX(slot_), 1.0);
  EXPECT_DOUBLE_EQ(JoystickY(slot_), -16384 / 32767.0);
  EXPECT_DOUBLE_EQ(JoystickZ(slot_), -1.0);
  EXPECT_DOUBLE_EQ(JoystickRotationX(slot_), 1000 / 32767.0);
  EXPECT_DOUBLE_EQ(JoystickRotationZ(slot_), 0.0);

  // Turned: (x, y) -> (-y, x) for a quarter turn; Z stays.
  SetOrientation(1);
  EXPECT_DOUBLE_EQ(JoystickX(slot_), 16384 / 32767.0);
  EXPECT_DOUBLE_EQ(JoystickY(slot_), 1.0);
  EXPECT_DOUBLE_EQ(JoystickRotationY(slot_), 1000 / 32767.0);
  EXPECT_DOUBLE_EQ(JoystickZ(slot_), -1.0);
  SetOrientation(0);

  if (slot_ == 0) {
    int32_t x = 0, y = 0, b1 = 0, b2 = 0;
    GetJoystickState(x, y, b1, b2);
    EXPECT_EQ(x, 32768 / 30000);
    EXPECT_EQ(y, 0);  // -16384 / 30000 truncates to 0
    EXPECT_EQ(b1, 0);
    EXPECT_EQ(b2, 0x80);
    Number nx = 0, ny = 0, n1 = 0, n2 = 0;
    GetJoystickState(nx, ny, n1, n2);
    EXPECT_EQ(nx, 1);
    EXPECT_EQ(n2, 0x80);
  }
}

TEST_F(Joystick, NamesAndIndexesOutsideTheTable) {
  const std::string name = GetJoystickName(slot_).c_str();
  EXPECT_NE(name.find(", "), std::string::npos) << name;
  EXPECT_EQ(GetJoystickName(-1), BasicString(""));
  EXPECT_EQ(GetJoystickName(GetJoystickCount()), BasicString(""));
  // Nothing to read: nothing pressed, hats centred, axes at rest.
  for (int32_t n : {-1, GetJoystickCount(), 99}) {
    JoystickState s;
    s.x = 7;
    ReadJoystick(*TheInputDevices(), s, n);
    EXPECT_EQ(s.x, 0);
    EXPECT_EQ(s.hats[0], -1);
    EXPECT_EQ(JoystickHatX(n), 0);
    EXPECT_EQ(JoystickHatY(n), 0);
    EXPECT_EQ(JoystickX(n), 0.0);
  }
  // A virtual joystick has no force feedback.
  EXPECT_EQ(SetJoystickForce(slot_, 1, 1), 0);
  EXPECT_EQ(SetJoystickForce(-3, 1, 1), 0);
}

TEST(JoystickForce, ForcesAreClampedAndScaled) {
  int32_t level = 0, dx = 0, dy = 0;
  JoystickForceEffect(3.0, 0.0, &level, &dx, &dy);
  EXPECT_EQ(level, 5000);  // (1² + 0²) x 10000 x 0.5
  EXPECT_EQ(dx, 10000);
  EXPECT_EQ(dy, 0);
  JoystickForceEffect(-1.0, -7.0, &level, &dx, &dy);
  EXPECT_EQ(level, 10000);
  EXPECT_EQ(dx, -10000);
  EXPECT_EQ(dy, -10000);
  JoystickForceEffect(0.5, -0.5, &level, &dx, &dy);
  EXPECT_EQ(level, 2500);
  EXPECT_EQ(dx, 5000);
  EXPECT_EQ(dy, -5000);
  JoystickForceEffect(std::nan(""), 0.2, &level, &dx, &dy);
  EXPECT_EQ(level, 200);
  EXPECT_EQ(dx, 0);
}
