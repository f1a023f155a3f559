// The input devices' side for the runtime above: the input object and its
// records, its start-up and shutdown, what the frame loop and the window's
// events do to it, and the raw reads of keys, mice and joysticks that the
// host builds on. Programs use the operations of input/input.h.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/platform.h"

// ---------------------------------------------------------------- records

// Joysticks the input object holds at most.
constexpr int32_t kMaxJoysticks = 10;
constexpr int32_t kJoystickNameBytes = 522;  // name and its terminator
constexpr int32_t kTypedCharLimit = 16;      // the queue never holds more
constexpr int32_t kTypedQueueMinimum = 512;  // bytes the queue reserves at start-up

// Mouse cooperative levels: the exclusive level takes the pointer (relative
// motion, pointer hidden), the shared one reads window positions.
constexpr int32_t kMouseExclusive = 5;
constexpr int32_t kMouseShared = 6;

// Result of InitInput when the mouse could not be taken over.
constexpr int32_t kInputMouseNotAcquired = static_cast<int32_t>(0x8000000C);

// One mouse's position and the wheel steps since the last consuming read.
struct MouseRecord {
  int32_t x = 0, y = 0;                    // position, window client pixels
  int32_t referenceX = 100, referenceY = 100;  // position at the last consuming read
  int32_t wheel = 0;                       // steps since the last consuming read
};

// What a consuming read of a mouse gives (ReadMouse).
struct MouseReading {
  int16_t button1 = 0, button2 = 0, button3 = 0;  // 0 or 1
  int16_t moveX = 0, moveY = 0;                  // position minus reference
  int16_t wheel = 0;
};

// A hat that points nowhere; other hat values are angles.
constexpr int32_t kHatCentred = -1;

// The state of one joystick, laid out like the classic 80-byte joystick
// record programs exchange with DLLs.
struct JoystickState {
  int32_t x = 0, y = 0, z = 0;                          // -32768..32768
  int32_t rotationX = 0, rotationY = 0, rotationZ = 0;  // -32768..32768
  int32_t sliders[2] = {};
  int32_t hats[4] = {};    // hundredths of a degree clockwise from up, or kHatCentred
  uint8_t buttons[32] = {};  // bit 7 set while pressed
};
static_assert(sizeof(JoystickState) == 80, "programs pass this record to DLLs");

// The keyboard, mice, joysticks and typed-character queue of the window.
struct InputDevices {
  InputDevices();
  ~InputDevices();
  InputDevices(const InputDevices&) = delete;
  InputDevices& operator=(const InputDevices&) = delete;

  std::vector<uint8_t> typed;      // typed-character queue (oldest first)
  std::vector<MouseRecord> mice;   // starts with one record
  int32_t currentMouse = 0;
  bool started = false;            // the input layer is up (InitInput)
  bool keyboardDevice = false;     // keys are read from the event state
  bool mouseDevice = false;        // the pointer is taken over (relative motion)
  platform::Joystick* joysticks[kMaxJoysticks] = {};
  char joystickNames[kMaxJoysticks][kJoystickNameBytes] = {};
  uint8_t keys[256] = {};          // bit 7 set = down
  platform::Window* window = nullptr;
  uint8_t pointerShown = 0;        // 1: absolute positions; 0: relative motion
  int32_t mouseLevel = kMouseShared;
  int32_t joystickCount = 0;
  uint16_t keyToVk[256] = {};      // identity: keys are read by scan code
  bool joysticksChanged = false;   // a device came or went; scan again
};

// The process-wide input object; null before CreateInputDevices and after
// DestroyInputDevices.
InputDevices* TheInputDevices();

// ---------------------------------------------------------------- set-up

// Takes the window, the keyboard, the mouse (taken over when hideMouse) and
// the attached joysticks. Returns 1; 0 when the input layer cannot start;
// kInputMouseNotAcquired when the pointer could not be taken over.
int32_t InitInput(InputDevices& input, platform::Window* window, bool hideMouse);

// ---------------------------------------------------------------- lifecycle and frame

// Start-up creates the one input object, then InitInput takes the window;
// shutdown destroys it (the pointer is let go, the joysticks closed).
void CreateInputDevices();
// InitInput on the process-wide object (created first if need be).
int32_t InitInput(platform::Window* window, bool hideMouse);
// Lets the pointer go, closes the joysticks and destroys the input object.
void DestroyInputDevices();
// The window whose keys and pointer are read (after a mode change).
void SetInputWindow(platform::Window* window);
// What ShowScreen does each frame: the key-query counter starts again, the
// key state is refreshed and every mouse's motion is consumed.
void ResetKeyQueryCounter();
// Reads the key state of the window into the key table.
void RefreshKeyboard();
// A consuming read of every mouse, so that the next frame's motion starts at zero.
void ConsumeMouseMotionForFrame();
// Bit 7 of the refreshed key state (no refresh of its own).
bool KeyStateDown(int32_t code);
// Around a debugger stop: the pointer is let go, then taken back without the
// motion made meanwhile.
void ReleaseInputForDebugger();
// Takes the pointer back (as it was before the stop) and drops the motion made meanwhile.
void ResetInputAfterDebugger();

// ---------------------------------------------------------------- events of the window

// Typed text (UTF-8) and the characters of keys that type no text, as the
// event pump delivers them.
void TypeText(const char* utf8);
// Queues the character a key types without text (Backspace, Tab, Return and keypad Enter);
// other keys are ignored.
void TypeKey(int32_t code);
// Notes a joystick event of the event pump: devices that come or go are
// picked up at the next joystick query.
void NoteJoystickEvent(const platform::Event& event);
// A consuming read of every mouse of the list.
void ConsumeEveryMouse(InputDevices& input);
// The current mouse's consumed position mapped onto the logical screen and
// clamped to it (inclusive); the clamped point becomes the reference again.
void MouseScreenPosition(InputDevices& input, int32_t* x, int32_t* y);

// ---------------------------------------------------------------- raw reads

// Copies the key state, only while the window is the active one (a headless
// window always is).
void RefreshKeyboard(InputDevices& input);
// Reads the pointer: (x, y) become the window position while the pointer is
// shown; while hidden the motion is added to them. Both are clamped to the
// window. wheel: -1, 0 or 1. Returns the button bits (1 left, 2 right,
// 4 middle).
uint32_t PollMouse(InputDevices& input, int32_t& x, int32_t& y, int32_t& wheel);
// The current mouse's buttons, movement and wheel steps; consume starts a new
// measurement from the present position.
void ReadMouse(InputDevices& input, MouseReading& result, bool consume);
// Fills state from joystick n; all zero (hats included) when it cannot be read.
void ReadJoystick(InputDevices& input, JoystickState& state, int32_t n);
// Turns a vector with the screen orientation (0..3 quarter turns): 1 gives
// (-y, x), 2 (-x, -y), 3 (y, -x).
void TurnWithOrientation(int32_t orientation, double& x, double& y);
