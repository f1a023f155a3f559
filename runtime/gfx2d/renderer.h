// OpenGLRevazoro, the one 2D renderer of the process (`Renderer`). Its
// gl::Display part holds the window and GL state that start-up fills in; the
// 2D drawing code keeps its sprite store, fonts, targets and draw state here.
// Below the record: what start-up, the frame loop and the 3D drawing do with
// it (texture upload, bindings, the default draw state, frame buffers).
#pragma once

#include <cstdint>

#include "gl/display.h"
#include "platform/platform.h"

// Sprite ids 0..65535; the top 32 hold the textures of fonts 0..31.
constexpr int32_t kSpriteCount = 65536;
constexpr int32_t FONT_SLOT_BASE = 65504;
// Backup of the window area under a back-buffer render target.
constexpr int32_t kBackBufferSprite = 65503;
constexpr int32_t kFontCount = 32;
constexpr int32_t kGlyphCount = 256;
constexpr int32_t kRenderTargetCount = 32;
constexpr int32_t kBackgroundCount = 8;
constexpr int32_t kBackgroundGrid = 8;  // tiles across and down
constexpr int32_t kDefaultSpriteKey = 0x8000FF;

// One picture the program can draw, backed by a GL texture. Sizes are kept
// as 32-bit values so that a picture wider than 32767 pixels cannot wrap
// into a negative (or "free") width.
struct SpriteRecord {
  uint32_t texture = 0;
  uint32_t mipTexture = 0;  // the mip-mapped companion for 3D drawing
  float uScale = 0.0f;      // picture width / texture width
  float vScale = 0.0f;      // picture height / texture height
  int32_t textureWidth = 0, textureHeight = 0;  // powers of two; -1 after deletion
  int32_t pictureWidth = 0, pictureHeight = 0;  // width 0: a free id
  int32_t frameWidth = 0, frameHeight = 0;      // animation frames
};

// The measured shape of one character of a loaded font.
struct GlyphRecord {
  uint8_t left = 0;     // first opaque column of the glyph inside its cell
  uint8_t advance = 0;  // pixels drawn and advanced in proportional mode
  float u0 = 0.0f;      // texture columns of the drawn part
  float u1 = 0.0f;
};

// A picture drawn behind every frame, cut into tiles indexed column * 8 + row.
struct BackgroundPicture {
  uint32_t tiles[kBackgroundGrid * kBackgroundGrid];
  int16_t tileTextureWidth[kBackgroundGrid * kBackgroundGrid];
  int16_t tileTextureHeight[kBackgroundGrid * kBackgroundGrid];
  int16_t tilePictureWidth[kBackgroundGrid * kBackgroundGrid];
  int16_t tilePictureHeight[kBackgroundGrid * kBackgroundGrid];
  int8_t columns;  // 0: empty
  int8_t rows;
};

// An off-screen screen: a frame-buffer object drawing into a sprite's texture.
struct RenderTarget {
  uint32_t framebuffer = 0;
  uint32_t depthBuffer = 0;
  int32_t savedBinding = -1;  // binding before BindTarget; -1 while not bound
  int32_t width = 0, height = 0;  // the attached texture's size
  int32_t spriteId = 0;           // -1 after destruction
};

// Text vertices: x, y, z, u, v (20 bytes each), reused from string to string.
struct QuadList {
  float* vertices = nullptr;
  int32_t count = 0;      // vertices
  int32_t capacity = 0;   // vertices
  int32_t step = 256;     // growth step
  int32_t minimum = 1024; // first allocation
};

// Vertices of a polygon list: x, y, u, v and R, G, B, A (20 bytes each).
struct PolyVertex {
  float x, y, u, v;
  uint8_t r, g, b, a;
};

// The 2D renderer: the display, the sprite and font store, backgrounds, targets and the
// drawing state.
class OpenGLRevazoro : public gl::Display {
 public:
  OpenGLRevazoro();
  ~OpenGLRevazoro();
  OpenGLRevazoro(const OpenGLRevazoro&) = delete;
  OpenGLRevazoro& operator=(const OpenGLRevazoro&) = delete;

  // The window, context, sizes, viewport and orientation are the
  // gl::Display part.

  // ------------------------------------------------ per-frame flags
  uint8_t clearEachFrame = 1;
  uint8_t depthClearPending = 1;
  uint8_t bgraSupported = 0;
  float globalAlpha = 1.0f;
  float alphaTestThreshold = 0.05f;
  uint8_t smoothing = 1;
  int32_t currentTarget = -1;  // active off-screen target, -1: the window
  bool in3D = false;           // between Begin3D and the return to 2D

  // ------------------------------------------------ fonts
  GlyphRecord glyphs[kFontCount][kGlyphCount];
  int32_t currentFont = 0;
  QuadList quads;

  // ------------------------------------------------ off-screen targets
  RenderTarget targets[kRenderTargetCount];
  bool targetOnBackBuffer = false;  // the current target draws into the window
  int32_t savedOrientation = 0;     // while a back-buffer target is current

  // ------------------------------------------------ backgrounds
  BackgroundPicture backgrounds[kBackgroundCount];

  // ------------------------------------------------ colour keys
  int32_t spriteKey = kDefaultSpriteKey;
  int32_t fontKey = 0;

  // ------------------------------------------------ sprites
  // kSpriteCount records plus one spare past the end; masks likewise.
  SpriteRecord* sprites = nullptr;
  uint8_t** alphaMasks = nullptr;  // GL_ALPHA copies made by collision tests
  int32_t frameBufferAlphaBits = -1;  // queried at the first grab

  // ------------------------------------------------ draw state
  int32_t boundSprite = -1;   // the sprite on unit 0; vertex arrays add
  int32_t boundSprite2 = -1;  // texture coordinates while it is >= 0
  // What BindSpriteTexture last left on texture unit 1: -1 unknown, 0 off,
  // else the texture name enabled there. An untextured bind (as ResetGLState
  // makes after every frame and after 3D drawing) always re-issues it.
  int64_t unit1Texture = -1;

  // ------------------------------------------------ polygon lists
  PolyVertex* poly = nullptr;
  int32_t polyCount = 0;
  int32_t polyCapacity = 0;
  int32_t polyMode = 0;
  bool polyColoursUsed = false;
  bool polyBreakPending = false;
  bool polyTextured = false;
  float polyUScale = 0.0f, polyVScale = 0.0f;
  int32_t polyPictureHeight = 0;
};

// The name the rest of the runtime uses for the renderer.
using Renderer = OpenGLRevazoro;

// The process-wide renderer, created and destroyed here only. CreateRenderer
// also makes it the gl layer's display; a second call returns the existing
// one. TheRenderer is null before CreateRenderer and after DestroyRenderer.
Renderer* CreateRenderer();
// The renderer, null when there is none.
Renderer* TheRenderer();
// Destroys the renderer (the gl layer's display goes with it).
void DestroyRenderer();

// ---------------------------------------------------------------- for the runtime above
// What start-up, the frame loop and the 3D drawing do with the renderer, and
// the hooks tests use; programs reach the renderer through gfx2d/gfx2d.h.

// ------------------------------------------------ textures

struct Picture;
// Uploads the region (x, y, w, h) of a picture (w or h 0: to the picture's
// edge) into *name (generated when 0), with an optional mip-mapped companion
// in *mipName. Sizes above the GL's maximum are cut to it.
bool UploadPicture(const Picture& picture, int32_t x, int32_t y, int32_t w, int32_t h, uint32_t* name,
                   uint32_t* mipName, bool nearest, bool normalMap);
// Sprite id from a picture: linear with mip companion below FONT_SLOT_BASE,
// nearest and without companion for font slots.
bool SetSpriteFromPicture(int32_t id, const Picture& picture, bool normalMap);
// Reads the sprite's texture back (top row first); false without off-screen
// support or for an empty sprite.
bool SpriteToPicture(int32_t id, Picture& picture);

// ------------------------------------------------ draw state and fonts

// The renderer's part of the default state, after ResetGLState: alpha test
// threshold 0.05, smoothing on, no sprite bound, blending off, full alpha.
void Reset2DDrawState(Renderer& r);

// Binds the sprite's texture on the first unit for the drawing that follows; -1 unbinds.
void BindSpriteTexture(int32_t id);
// Both units; id -1 unbinds.
void BindSpriteTexture(int32_t id, int32_t id2);
void BindSpriteTexture(int32_t id, int32_t id2, int32_t alternate, const uint32_t* table = nullptr);

// Builds the built-in font (8 x 8 cells) into font index; a bad index gives LastErrorCode 7.
void BuildDefaultFont(int32_t index);

// ------------------------------------------------ off-screen targets

// Loads the frame-buffer entry points (EXT names, else the ARB ones).
void InitFramebufferExtension();
// Finishes an active off-screen target; the viewport goes back to the window.
void EndScreen();
// The picture size of the active target; false while drawing to the window.
bool ActiveTargetSize(int32_t* width, int32_t* height);
// Deletes every off-screen target's frame buffer (the window is going away).
void DestroyAllTargets();
// Gives a target record a frame buffer of w x h drawing into texture, with a depth buffer when
// depth is set (the record's old objects are deleted first). False when the GL refuses it.
bool CreateFramebuffer(RenderTarget& record, int32_t w, int32_t h, uint32_t texture, bool depth);
// Binds the record's frame buffer for drawing, noting the binding it replaces; false when the
// record is bound already or there are no frame buffers.
bool BindTarget(RenderTarget& record);
// Binds again what the record's BindTarget replaced.
void UnbindTarget(RenderTarget& record);
// Unbinds and deletes the record's objects; the record becomes empty (no sprite).
void DestroyTarget(RenderTarget& record);
// The frame buffer bound now (0: the window's).
uint32_t CurrentFramebuffer();
// The texture attached to the bound frame buffer's colour output (0 for the window's).
uint32_t AttachedTexture();

// ------------------------------------------------ test hooks

// Pretends the GL's maximum texture size is this (0: the GL's own value).
void SetMaxTextureSizeOverride(int32_t size);
// Sprite textures of at least this many bytes (square, with a companion)
// share their storage with the companion's first level (0: the usual 64 MiB).
void SetSharedTextureBytes(int64_t bytes);
// The largest texture side the renderer uses (the GL's maximum, or the override).
int32_t MaxTextureSize();
// Sprite draws batched through one atlas of their pictures where the GL
// allows (on, the default) or always on the fixed path (off).
void SetSpriteBatching(bool on);
// Ends the current run of batched sprite draws, leaving the GL as the
// fixed path leaves it; for code outside the renderer that draws with the
// GL itself.
void EndSpriteBatch();
// Every UseScreen takes the back-buffer path, as when binding is refused.
void ForceBackBufferTargets(bool on);
