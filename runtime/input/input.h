// Input: keyboard, mouse, up to ten joysticks, and the characters the user
// types.
//
// Keys are identified everywhere by the classic PC scan codes (0-255: 1
// Escape, 28 Return, 56 left Alt, 62 F4, 200 cursor up, extended keys with
// bit 7 set), whatever the keyboard layout. Device state is not read
// continuously: ShowScreen refreshes the keyboard and takes the mouse motion
// once per frame, and the individual queries refresh what they need.
//
// The input object is created by start-up (input/devices.h, the runtime's
// side of it); every query is safe before that and after shutdown (keys up,
// mouse at rest, no joysticks).
#pragma once

#include <cstdint>

#include "core/basic_string.h"
#include "core/numeric.h"

// ---------------------------------------------------------------- devices and pointer

// Opens the attached joysticks again (hot-plugged devices, tests).
void RescanJoysticks();
// Shows the system pointer (absolute positions) or takes it over (relative
// motion); NaN counts as shown.
void ShowMousePointer(double show);
bool PointerShown();  // the input object's pointer-shown flag

// ---------------------------------------------------------------- keyboard

// Key codes (keyboard scan codes) the runtime itself tests.
constexpr int32_t kKeyEscape = 1;
constexpr int32_t kKeyBackspace = 14;
constexpr int32_t kKeyTab = 15;
constexpr int32_t kKeyReturn = 28;
constexpr int32_t kKeyLeftControl = 29;
constexpr int32_t kKeyLeftShift = 42;
constexpr int32_t kKeyRightShift = 54;
constexpr int32_t kKeyPadMultiply = 55;
constexpr int32_t kKeyLeftAlt = 56;
constexpr int32_t kKeyCapsLock = 58;
constexpr int32_t kKeyF4 = 62;
constexpr int32_t kKeyNumLock = 69;
constexpr int32_t kKeyPad7 = 71;        // the keypad block runs from here
constexpr int32_t kKeyPadDecimal = 83;  // to here
constexpr int32_t kKeyPadEquals = 141;
constexpr int32_t kKeyPadEnter = 156;
constexpr int32_t kKeyPadComma = 179;
constexpr int32_t kKeyPadDivide = 181;
constexpr int32_t kKeyApplications = 221;
// The second quit key: a code no standard keyboard reports.
constexpr int32_t kKeyQuitExtra = 129;

// True when the key is down. The state is refreshed every 129 queries, so a
// program polling keys in its own loop still sees fresh state.
bool IsKeyDown(int32_t code);
// The character the key types in the current layout with the current Shift
// and Caps Lock state, in the 8-bit code page; 8 for Backspace, 10 for both
// Return keys, 0 for keys that type nothing.
int32_t KeyCodeToChar(int32_t code);

// ---------------------------------------------------------------- mouse

// Position on the logical (orientation-turned) screen, clamped to 0..width
// and 0..height inclusive, and buttons 1 and 2. Consumes the movement.
void GetMouseState(Number& x, Number& y, Number& button1, Number& button2);
void GetMouseState(int32_t& x, int32_t& y, int32_t& button1, int32_t& button2);
// The mouse's button bits, as PollMouse returns them.
constexpr uint32_t kMouseBitLeft = 1u;
constexpr uint32_t kMouseBitRight = 2u;
constexpr uint32_t kMouseBitMiddle = 4u;
// GetMouseAxis's n: x and y movement (turned with the screen), wheel steps,
// buttons 1-3.
constexpr int32_t kMouseAxisX = 0;
constexpr int32_t kMouseAxisY = 1;
constexpr int32_t kMouseAxisWheel = 2;
constexpr int32_t kMouseAxisButton1 = 3;
constexpr int32_t kMouseAxisButton2 = 4;
constexpr int32_t kMouseAxisButton3 = 5;
// The kMouseAxis* value; other n: 0. Does not consume.
int32_t GetMouseAxis(int32_t n);
// How many mice the input object holds (1 before start-up).
int32_t GetMouseCount();
// Selects the mouse GetMouseState and GetMouseAxis read; one mouse exists, so every n selects it.
void SelectMouse(int32_t n);
// True while any button of any mouse is down.
bool AnyMouseButtonDown();

// ---------------------------------------------------------------- typed characters

// Control characters of the queue: the ones keys type and Return's two.
constexpr int32_t kCharBackspace = 8;
constexpr int32_t kCharTab = 9;
constexpr int32_t kCharLineFeed = 10;
constexpr int32_t kCharCarriageReturn = 13;

// Queues a typed character (a byte of the code page): 0 is ignored, 13
// becomes 10, control characters other than 8, 9 and 10 are dropped, and so
// is everything once 16 characters wait.
void AddTypedChar(int32_t c);
// The oldest character (0..255; 10 for Return), 0 when none waits.
int32_t PopTypedChar();
// Takes a character and only tells whether there was one.
bool PopTypedCharFlag();
// The character as a one-character string, empty when none waits.
BasicString PopTypedCharString();
// Empties the typed-character queue.
void ClearTypedChars();
// How many typed characters wait in the queue.
int32_t TypedCharCount();

// ---------------------------------------------------------------- joysticks

// How many joysticks are attached.
int32_t GetJoystickCount();
// "instance name, product name"; empty for n outside 0 .. count-1.
BasicString GetJoystickName(int32_t n);

// Axes as value / 32767 clamped to [-1, 1]. The stick pair (X, Y) and the
// rotation pair turn with the screen orientation; Z and rotation Z do not.
Number JoystickX(int32_t n);
// The Y axis.
Number JoystickY(int32_t n);
// The Z axis.
Number JoystickZ(int32_t n);
// The rotation about X.
Number JoystickRotationX(int32_t n);
// The rotation about Y.
Number JoystickRotationY(int32_t n);
// The rotation about Z.
Number JoystickRotationZ(int32_t n);
// The first hat as -1, 0 or 1 per direction (y -1 is up), turned with the
// screen orientation.
int32_t JoystickHatX(int32_t n);
// The first hat's vertical direction.
int32_t JoystickHatY(int32_t n);
// Joystick 0: X / 30000 and Y / 30000 (truncated) and its first two button
// bytes.
void GetJoystickState(int32_t& x, int32_t& y, int32_t& button1, int32_t& button2);
void GetJoystickState(Number& x, Number& y, Number& button1, Number& button2);

// A constant force on joystick n with the forces clamped to [-1, 1]; 1 when
// it plays, 0 without force feedback.
int32_t SetJoystickForce(int32_t n, Number forceX, Number forceY);
