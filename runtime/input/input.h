// Input: keyboard, mouse, up to ten joysticks, and the characters the user
// types.
//
// Keys are identified everywhere by the classic PC scan codes (0-255: 1
// Escape, 28 Return, 56 left Alt, 62 F4, 200 cursor up, extended keys with
// bit 7 set), whatever the keyboard layout. Device state is not read
// continuously: ShowScreen refreshes the keyboard and takes the mouse motion
// once per frame, and the individual queries refresh what they need.
//
// The input object is created by start-up; every query is safe before that
// and after shutdown (keys up, mouse at rest, no joysticks).
#pragma once

#include <cstdint>
#include <vector>

#include "core/basic_string.h"
#include "platform/platform.h"

// The language's numeric value (as in core/core.h).
using Number = double;

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
// Opens the attached joysticks again (hot-plugged devices, tests).
void RescanJoysticks();

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
// Shows the system pointer (absolute positions) or takes it over (relative
// motion); NaN counts as shown.
void ShowMousePointer(double show);
bool PointerShown();  // the input object's pointer-shown flag
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

// Copies the key state, only while the window is the active one (a headless
// window always is).
void RefreshKeyboard(InputDevices& input);
// True when the key is down. The state is refreshed every 129 queries, so a
// program polling keys in its own loop still sees fresh state.
bool IsKeyDown(int32_t code);
// The character the key types in the current layout with the current Shift
// and Caps Lock state, in the 8-bit code page; 8 for Backspace, 10 for both
// Return keys, 0 for keys that type nothing.
int32_t KeyCodeToChar(int32_t code);

// ---------------------------------------------------------------- mouse

// Reads the pointer: (x, y) become the window position while the pointer is
// shown; while hidden the motion is added to them. Both are clamped to the
// window. wheel: -1, 0 or 1. Returns the button bits (1 left, 2 right,
// 4 middle).
uint32_t PollMouse(InputDevices& input, int32_t& x, int32_t& y, int32_t& wheel);
// The current mouse's buttons, movement and wheel steps; consume starts a new
// measurement from the present position.
void ReadMouse(InputDevices& input, MouseReading& result, bool consume);
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
// UTF-8 text to the 8-bit code page (Windows-1252): code points below 256
// map to themselves except 0x80-0x9F, the code page's specials (the euro
// sign, typographic quotes, ...) to their bytes, anything else to '?'.
// Writes at most capacity bytes; returns the count.
int32_t Utf8ToCodePage(const char* utf8, uint8_t* out, int32_t capacity);
// One code point to the code page byte (rules as Utf8ToCodePage).
uint8_t CodePointToCodePage(uint32_t codePoint);

// ---------------------------------------------------------------- joysticks

// Fills state from joystick n; all zero (hats included) when it cannot be read.
void ReadJoystick(InputDevices& input, JoystickState& state, int32_t n);
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
// The effect SetJoystickForce plays: level 0..10000 from fx² + fy² scaled by
// 10000 x 0.5, direction (fx, fy) in ten-thousandths.
void JoystickForceEffect(Number forceX, Number forceY, int32_t* level, int32_t* dx, int32_t* dy);

// ---------------------------------------------------------------- screen orientation

// Turns a vector with the screen orientation (0..3 quarter turns): 1 gives
// (-y, x), 2 (-x, -y), 3 (y, -x).
void TurnWithOrientation(int32_t orientation, double& x, double& y);
// Hat direction (hundredths of a degree) to x and y in -1, 0, 1 (unturned).
void HatDirection(int32_t hat, int32_t& x, int32_t& y);
