// The 2D renderer's operations: the sprite store, image files into sprites
// and back, backgrounds, drawing (primitives, sprites, animation frames,
// polygon lists), bitmap fonts and text, and off-screen render targets.
// Everything acts on the one Renderer (gfx2d/renderer.h, where the runtime's
// own side of it is) and must run on the thread that owns the GL context.
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

// ---------------------------------------------------------------- textures and sprites

// Loads an image file (BMP, PNG or JPEG, through the file layer) into sprite id. False with
// LastErrorCode 3 when the file cannot be read, 7 when the id is outside the sprite table or
// the picture is too large.
bool LoadSprite(const char* file, int32_t id);
bool LoadSprite(const BasicString& file, int32_t id);
// Loads an image file into sprite id for use as a normal map (bump mapping); errors as
// LoadSprite.
bool LoadNormalMapSprite(const char* file, int32_t id);
bool LoadNormalMapSprite(const BasicString& file, int32_t id);
// Frees the sprite's textures; the id becomes empty. Ids outside the table are ignored.
void DeleteSprite(int32_t id);
int32_t FindFreeSprite();  // highest free id below FONT_SLOT_BASE, -1 if none
// The sprite's picture size in pixels; 0 x 0 for an empty sprite or a bad id.
void GetSpriteSize(int32_t id, int32_t& width, int32_t& height);
void GetSpriteSize(int32_t id, double& width, double& height);
// The GL texture name of the sprite, 0 when it is empty or the id is bad.
// The program may write to the texture with the GL itself: from then on
// the 2D drawing always draws the sprite from the texture, never from a
// copy of its picture.
uint32_t GetSpriteTexture(int32_t id);
// The same name for drawing that only reads the texture (the 3D drawing),
// leaving the 2D drawing free to draw the sprite from a copy.
uint32_t SpriteTextureToSample(int32_t id);
// Copies the screen region (x, y, w, h) into sprite id; a size of 0 empties the sprite. False
// (LastErrorCode 7) for a bad id.
bool GrabSprite(int32_t id, int32_t x, int32_t y, int32_t w, int32_t h);
// The colour of the screen pixel at (x, y), packed R + G*256 + B*65536; 0 before start-up.
int32_t GetPixel(int32_t x, int32_t y);
// True when the opaque pixels of sprite id1 drawn at (x1, y1) overlap those of id2 at (x2, y2).
// A bad id gives false and LastErrorCode 7.
bool SpriteCollision(int32_t id1, int32_t x1, int32_t y1, int32_t id2, int32_t x2, int32_t y2);
// SpriteCollision for one animation frame of each sprite (frames as SetSpriteAnim cut them).
bool AnimCollision(int32_t id1, int32_t frame1, int32_t x1, int32_t y1, int32_t id2, int32_t frame2,
                   int32_t x2, int32_t y2);
// Elements R + G*256 + B*65536 + A*16777216, top row first.
bool ArrayToSprite(const BasicArray<int32_t>& pixels, int32_t id, int32_t w, int32_t h);
// Fills pixels (dimensioned to the sprite's size, elements as ArrayToSprite) from sprite id.
bool SpriteToArray(BasicArray<int32_t>& pixels, int32_t id);
// Reads an image file into pixels (elements as ArrayToSprite) with its width and height. False
// with LastErrorCode 3 (and a size of 0) when the file cannot be read.
bool LoadImageToArray(const char* file, BasicArray<int32_t>& pixels, int32_t& width, int32_t& height);
bool LoadImageToArray(const BasicString& file, BasicArray<int32_t>& pixels, double& width, double& height);
// Saves the sprite as an image file; the name's extension picks the format (.png, .jpg, else
// .bmp). False with LastErrorCode 3 when it cannot be written, 7 for a bad id.
bool SaveSprite(const char* file, int32_t id);
bool SaveSprite(const BasicString& file, int32_t id);
// Saves what the screen shows now as an image file, formats as SaveSprite. False with
// LastErrorCode 3 when it cannot be written.
bool SaveScreen(const char* file);
bool SaveScreen(const BasicString& file);

// ---------------------------------------------------------------- backgrounds

// Loads an image file into background 0 (tiles of at most 512 pixels, 8 x 8 of them), drawn
// behind every frame. False with LastErrorCode 3 when the file cannot be read.
bool LoadBackground(const char* file);
bool LoadBackground(const BasicString& file);
void GrabBackground();  // into background 0, the one drawn behind frames
// Into background n (0..7); the others are drawn only with DrawBackground(n).
void GrabBackground(int32_t n);
// Deletes the tiles of background n (0..7); the record becomes empty.
void ReleaseBackground(int32_t n);
bool BackgroundPresent(int32_t n);  // background n holds tiles
// Draws background n (0..7) now; nothing when it holds no tiles.
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

void SetAlphaMode(double a);  // 0 opaque, < 0 blended, > 0 additive; |a| is the alpha
// Only pixels whose alpha is above the threshold (0..1) are drawn.
void SetAlphaTest(double threshold);
// The colour that loaded sprites and fonts treat as transparent (packed; -1: none).
void SetTransparentColour(int32_t colour);
// Non-zero: stretched and rotated sprites are filtered linearly; 0: nearest pixel.
void SetSmoothing(int32_t flag);

// ---------------------------------------------------------------- primitives and sprites

// Draws one pixel in the colour (packed R + G*256 + B*65536).
void DrawPixel(int32_t x, int32_t y, int32_t colour);
// Draws a line from (x1, y1) to (x2, y2).
void DrawLine(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t colour);
// Fills the rectangle at (x, y), w x h pixels; a negative size extends to the left or up.
void DrawRect(int32_t x, int32_t y, int32_t w, int32_t h, int32_t colour);
// Draws the sprite at its own size with its top left corner at (x, y); nothing for an empty
// sprite or a bad id.
void DrawSprite(int32_t id, float x, float y);
// Draws the sprite stretched to w x h pixels at (x, y).
void StretchSprite(int32_t id, float x, float y, float w, float h);
// Draws the sprite scaled by zoomX and zoomY about its centre (the unscaled sprite's centre
// stays where DrawSprite would put it).
void ZoomSprite(int32_t id, float x, float y, double zoomX, double zoomY);
// Draws the sprite rotated by angle degrees about its centre and scaled by zoom.
void RotoZoomSprite(int32_t id, float x, float y, double angle, double zoom);
// Cuts the sprite into animation frames of frameWidth x frameHeight, numbered from 0 left to
// right, then down. Nothing for an empty sprite or a bad id.
void SetSpriteAnim(int32_t id, int32_t frameWidth, int32_t frameHeight);
// Draws animation frame number frame of the sprite at its own size at (x, y).
void DrawAnim(int32_t id, int32_t frame, float x, float y);
// Draws one animation frame stretched to w x h pixels at (x, y).
void StretchAnim(int32_t id, int32_t frame, float x, float y, float w, float h);
// Draws one animation frame rotated by angle degrees about its centre and scaled by zoom.
void RotoZoomAnim(int32_t id, int32_t frame, float x, float y, double angle, double zoom);

// Polygon lists, drawn as one of these modes (others are clamped to them).
constexpr int32_t kPolyTriangleFan = 0;
constexpr int32_t kPolyTriangles = 1;
constexpr int32_t kPolyTriangleStrip = 2;
// Starts a polygon list textured with sprite id (-1 or an empty sprite: untextured) drawn in
// mode (kPoly*).
void BeginPoly(int32_t id, int32_t mode);
// Adds a vertex at screen (x, y) with texture coordinates (tx, ty) in the sprite's pixels.
void AddPolyVertex(float x, float y, float tx, float ty, int32_t colour);
// Starts a new strip or fan within the list (the next vertices do not join the previous ones).
void NewPolyStrip();
// Draws the list built since BeginPoly.
void EndPoly();

// ---------------------------------------------------------------- fonts and text

// Loads a bitmap font (an image of 16 cells per row, one per character code) into font index
// and makes it current. False with LastErrorCode 3 (the built-in font takes its place) when the
// file cannot be read, 7 for a bad index.
bool LoadFont(const char* file, int32_t index);
// Makes font index the one PrintText and GetTextWidth use; a bad index gives LastErrorCode 7.
void SetFont(int32_t index);
// LoadFont with the file name as a string.
bool LoadFont(const BasicString& file, int32_t index);
// The highest font index that holds no font, -1 when every one is used.
int32_t FindFreeFont();
// The cell size of the current font in pixels (0 x 0 without one).
void GetFontSize(int32_t& width, int32_t& height);
void GetFontSize(double& width, double& height);
// The width in pixels of text in the current font; proportional non-zero measures each
// character's own width instead of the cell width.
int32_t GetTextWidth(const char* text, int32_t proportional);
int32_t GetTextWidth(const BasicString& text, int32_t proportional);
// Draws text in the current font with its top left corner at (x, y); proportional as for
// GetTextWidth.
void PrintText(const char* text, float x, float y, int32_t proportional);
void PrintText(const BasicString& text, float x, float y, int32_t proportional);
// size 0: the point is projected and the text drawn flat on the screen;
// otherwise the glyphs face the camera, size units per cell.
void PrintText3D(int32_t font, const char* text, float x, float y, float z, float size, int32_t proportional);
void PrintText3D(int32_t font, const BasicString& text, float x, float y, float z, float size,
                 int32_t proportional);

// ---------------------------------------------------------------- off-screen targets

// Makes target n an off-screen screen of w x h pixels drawing into sprite id (which is
// replaced). False, with LastErrorCode 7, for a bad n or id, or when it cannot be created.
bool CreateScreen(int32_t n, int32_t id, int32_t w, int32_t h);
// Sends the drawing that follows to target n; a negative n (or a target never created) goes
// back to the window.
void UseScreen(int32_t n);
// True when the GL offers frame-buffer objects.
bool FramebufferSupported();
