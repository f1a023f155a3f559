// The 2D renderer's operations: the sprite store and texture upload, image
// files into sprites and back, backgrounds, drawing (primitives, sprites,
// animation frames, polygon lists), bitmap fonts and text, and off-screen
// render targets. Everything acts on the one Renderer (TheRenderer()) and
// must run on the thread that owns the GL context.
//
// Conventions shared with the 3D code: texture sizes are powers of two, at
// least 16; the picture sits at the texture's origin with its bottom row in
// texture row 0; the rest of the texture is transparent black. Every draw
// therefore maps the top screen edge to the larger v.
//
// Colours are packed R + G*256 + B*65536. Failures never throw: they return
// false, 0 or -1 and set LastErrorCode (3 for files, 7 for an id outside its
// table).
#pragma once

#include <cstdint>

#include "core/basic_array.h"
#include "core/basic_string.h"
#include "gfx2d/picture.h"
#include "gfx2d/renderer.h"

// ---------------------------------------------------------------- textures and sprites

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

bool LoadSprite(const char* file, int32_t id);
bool LoadSprite(const BasicString& file, int32_t id);
bool LoadNormalMapSprite(const char* file, int32_t id);
bool LoadNormalMapSprite(const BasicString& file, int32_t id);
void DeleteSprite(int32_t id);
int32_t FindFreeSprite();  // highest free id below FONT_SLOT_BASE, -1 if none
void GetSpriteSize(int32_t id, int32_t& width, int32_t& height);
void GetSpriteSize(int32_t id, double& width, double& height);
uint32_t GetSpriteTexture(int32_t id);
bool GrabSprite(int32_t id, int32_t x, int32_t y, int32_t w, int32_t h);
int32_t GetPixel(int32_t x, int32_t y);
bool SpriteCollision(int32_t id1, int32_t x1, int32_t y1, int32_t id2, int32_t x2, int32_t y2);
bool AnimCollision(int32_t id1, int32_t frame1, int32_t x1, int32_t y1, int32_t id2, int32_t frame2,
                   int32_t x2, int32_t y2);
// Elements R + G*256 + B*65536 + A*16777216, top row first.
bool ArrayToSprite(const BasicArray<int32_t>& pixels, int32_t id, int32_t w, int32_t h);
bool SpriteToArray(BasicArray<int32_t>& pixels, int32_t id);
bool LoadImageToArray(const char* file, BasicArray<int32_t>& pixels, int32_t& width, int32_t& height);
bool LoadImageToArray(const BasicString& file, BasicArray<int32_t>& pixels, double& width, double& height);
bool SaveSprite(const char* file, int32_t id);
bool SaveSprite(const BasicString& file, int32_t id);
bool SaveScreen(const char* file);
bool SaveScreen(const BasicString& file);

// ---------------------------------------------------------------- backgrounds

bool LoadBackground(const char* file);
bool LoadBackground(const BasicString& file);
void GrabBackground();  // into background 0, the one drawn behind frames
// Into background n (0..7); the others are drawn only with DrawBackground(n).
void GrabBackground(int32_t n);
// Deletes the tiles of background n (0..7); the record becomes empty.
void ReleaseBackground(int32_t n);
bool BackgroundPresent(int32_t n);  // background n holds tiles
void DrawBackground(int32_t n);
// Deletes every sprite texture and background (the window is going away).
void ReleaseAllTextures();

// ---------------------------------------------------------------- clearing

// Colour -1 stops the clearing of each frame; any other colour becomes the
// clear colour and the back buffer is cleared with it at once.
void SetClearColour(int32_t colour);
// Drops background 0, then SetClearColour.
void ClearScreen(int32_t colour);

// ---------------------------------------------------------------- draw state

// The renderer's part of the default state, after ResetGLState: alpha test
// threshold 0.05, smoothing on, no sprite bound, blending off, full alpha.
void Reset2DDrawState(Renderer& r);

void SetAlphaMode(double a);  // 0 opaque, < 0 blended, > 0 additive; |a| is the alpha
void SetAlphaTest(double threshold);
void SetTransparentColour(int32_t colour);
void SetSmoothing(int32_t flag);
void BindSpriteTexture(int32_t id);
// Both units; id -1 unbinds.
void BindSpriteTexture(int32_t id, int32_t id2);
void BindSpriteTexture(int32_t id, int32_t id2, int32_t alternate, const uint32_t* table = nullptr);

// ---------------------------------------------------------------- primitives and sprites

void DrawPixel(int32_t x, int32_t y, int32_t colour);
void DrawLine(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t colour);
void DrawRect(int32_t x, int32_t y, int32_t w, int32_t h, int32_t colour);
void DrawSprite(int32_t id, float x, float y);
void StretchSprite(int32_t id, float x, float y, float w, float h);
void ZoomSprite(int32_t id, float x, float y, double zoomX, double zoomY);
void RotoZoomSprite(int32_t id, float x, float y, double angle, double zoom);
void SetSpriteAnim(int32_t id, int32_t frameWidth, int32_t frameHeight);
void DrawAnim(int32_t id, int32_t frame, float x, float y);
void StretchAnim(int32_t id, int32_t frame, float x, float y, float w, float h);
void RotoZoomAnim(int32_t id, int32_t frame, float x, float y, double angle, double zoom);

// Polygon lists, drawn as one of these modes (others are clamped to them).
constexpr int32_t kPolyTriangleFan = 0;
constexpr int32_t kPolyTriangles = 1;
constexpr int32_t kPolyTriangleStrip = 2;
void BeginPoly(int32_t id, int32_t mode);
void AddPolyVertex(float x, float y, float tx, float ty, int32_t colour);
void NewPolyStrip();
void EndPoly();

// ---------------------------------------------------------------- fonts and text

void BuildDefaultFont(int32_t index);
bool LoadFont(const char* file, int32_t index);
void SetFont(int32_t index);
bool LoadFont(const BasicString& file, int32_t index);
int32_t FindFreeFont();
void GetFontSize(int32_t& width, int32_t& height);
void GetFontSize(double& width, double& height);
int32_t GetTextWidth(const char* text, int32_t proportional);
int32_t GetTextWidth(const BasicString& text, int32_t proportional);
void PrintText(const char* text, float x, float y, int32_t proportional);
void PrintText(const BasicString& text, float x, float y, int32_t proportional);
// size 0: the point is projected and the text drawn flat on the screen;
// otherwise the glyphs face the camera, size units per cell.
void PrintText3D(int32_t font, const char* text, float x, float y, float z, float size, int32_t proportional);
void PrintText3D(int32_t font, const BasicString& text, float x, float y, float z, float size,
                 int32_t proportional);

// ---------------------------------------------------------------- off-screen targets

// Loads the frame-buffer entry points (EXT names, else the ARB ones).
void InitFramebufferExtension();
// Finishes an active off-screen target; the viewport goes back to the window.
void EndScreen();
// The picture size of the active target; false while drawing to the window.
bool ActiveTargetSize(int32_t* width, int32_t* height);
void DestroyAllTargets();
bool CreateScreen(int32_t n, int32_t id, int32_t w, int32_t h);
void UseScreen(int32_t n);
bool CreateFramebuffer(RenderTarget& record, int32_t w, int32_t h, uint32_t texture, bool depth);
bool BindTarget(RenderTarget& record);
void UnbindTarget(RenderTarget& record);
void DestroyTarget(RenderTarget& record);
uint32_t CurrentFramebuffer();
uint32_t AttachedTexture();
bool FramebufferSupported();

// ---------------------------------------------------------------- test hooks

// Pretends the GL's maximum texture size is this (0: the GL's own value).
void SetMaxTextureSizeOverride(int32_t size);
int32_t MaxTextureSize();
// Every UseScreen takes the back-buffer path, as when binding is refused.
void ForceBackBufferTargets(bool on);
