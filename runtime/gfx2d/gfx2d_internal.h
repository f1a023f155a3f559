// Shared between the 2D renderer's own files.
#pragma once

#include <cstdint>
#include <cstring>

#include "gfx2d/gfx2d.h"
#include "gfx2d/picture.h"
#include "gfx2d/renderer.h"
#include "gl/gl_ext.h"

namespace gfx2d {

inline bool ValidSpriteId(int32_t id) { return id >= 0 && id < kSpriteCount; }

// The power-of-two texture side for n pixels: 8 doubled at least once and
// until it is >= n, so never below 16.
int32_t TextureSizeFor(int32_t n);

// BindSpriteTexture with the wrap mode to leave on the bound units.
void BindTextures(Renderer& r, int32_t id, int32_t id2, int32_t alternate, const uint32_t* table, GLint wrap);

// The shared quad routine: four x, y, u, v corners in fan order (bottom
// left, bottom right, top right, top left). Texture coordinates go with them
// only when textured is set; the bound texture then clamps at its edges.
void DrawQuad(const float* vertices, bool textured);
// One quad's four corners for DrawQuad, reused by every draw.
extern float g_quad[16];
inline void SetQuad(float x0, float y0, float x1, float y1, float u0, float v0, float u1, float v1) {
  // Fan order: bottom left, bottom right, top right, top left; the top
  // screen edge takes the larger v.
  const float q[16] = {x0, y1, u0, v0, x1, y1, u1, v0, x1, y0, u1, v1, x0, y0, u0, v1};
  std::memcpy(g_quad, q, sizeof(q));
}
// Where a quad's texture coordinates (u, v) land in the texture bound for
// it: (u0 + u * uScale, v0 + v * vScale). The identity on the fixed path.
struct TexturePlace {
  float u0 = 0.0f, v0 = 0.0f, uScale = 1.0f, vScale = 1.0f;
};
// Binds sprite id for the quads of the sprite draws, with the wrap mode and
// the min and mag filter set on its texture. Returns where the quad's
// texture coordinates go: in a run of batched sprite draws
// (sprite_batch.cpp) the place of the sprite's copy in the run's atlas.
// Only draws the run's shader gives exactly as the fixed path does may join
// a run (batchable): a sprite at its own size on whole pixels.
TexturePlace BindSpriteForQuad(Renderer& r, int32_t id, GLint wrap, GLint filter, bool batchable);
// Ends a run of batched sprite draws, leaving the GL as the fixed path
// would (no program, the last sprite's texture on unit 0, unit 1 as it
// was). Every other GL use of the renderer calls it first (binding through
// BindTextures does).
void EndSpriteRun();
// Every write to a sprite texture's first level calls this first: the
// run's copy of its picture is dropped and made again when next drawn.
void ForgetSpriteTexture(uint32_t name);
// For a texture the program may write to itself: never copied.
void KeepSpriteTextureUncopied(uint32_t name);
// The quad of a sprite draw: corners as for DrawQuad, each with texture
// coordinates (u, v); the wrap mode is BindSpriteForQuad's.
void DrawSpriteQuad(const float* vertices);
// Min and mag filter of the bound texture from the smoothing flag.
void ApplySpriteFilter(const Renderer& r);
// A new texture name, bound on the active unit, with the wrap mode and the
// min and mag filter given.
GLuint NewBoundTexture(GLint wrap, GLint filter);
// Alpha test on with GL_GREATER below 1.0, else off, from the stored threshold.
void ApplyAlphaTest(const Renderer& r);

void FreeAlphaMask(Renderer& r, int32_t id);

// UploadPicture for the sprite store: with share set, a large square
// texture with a companion is made as a view of the companion's first level
// (the same texels, held once; see ShareTextureStorage).
bool UploadPictureRows(const Picture& picture, int32_t x, int32_t y, int32_t w, int32_t h, uint32_t* name,
                       uint32_t* mipName, bool nearest, bool normalMap, bool share);
// Whether a tw x th texture and its companion are made to share storage:
// square (so the companion's first level is the texture itself), at least
// the shared-texture size, on a GL with texture storage and views.
bool ShareTextureStorage(int32_t tw, int32_t th);

// A zero-filled block of w x h x 4 bytes that the caller frees.
uint8_t* AllocateBlock(int32_t w, int32_t h);
// The GL's default pixel-store layout for uploads.
void SetUnpackDefaults();
// Texture and picture sizes of a sprite record; uploadedW x uploadedH is the
// part of the picture that went into the texture.
void StoreSpriteSizes(SpriteRecord& s, int32_t pictureW, int32_t pictureH, int32_t uploadedW, int32_t uploadedH);
// Resolves a name for reading (memory files allowed) and decodes it with the
// BMP, PNG and (if allowed) JPEG readers in that order. limits (optional)
// bounds what is kept and receives why the load failed. In debug mode a
// failure sends one line naming the file and the reason to the debug output.
bool LoadPictureFile(const char* name, Picture& picture, int32_t key, bool tryJpeg, DecodeLimits* limits = nullptr);
// The same into a row sink (Begin, then the rows top first); a failed load
// may have given part of the rows.
bool LoadPictureFile(const char* name, PictureRowSink& sink, int32_t key, bool tryJpeg,
                     DecodeLimits* limits = nullptr);
// Alpha-0 pixels take the mean colour of their opaque inner neighbours.
void ColourBleed(Picture& picture);

// Where reads come from: the bound frame-buffer object's colour attachment,
// else the back buffer.
void SelectReadBuffer();
// Rows of what is drawn into now: the active target's picture height, else
// the window's.
int32_t DrawingHeight(const Renderer& r);
// Logical screen position (origin top left) to the drawing surface's
// physical one, by the screen orientation (targets are never rotated).
void LogicalToPhysical(const Renderer& r, int32_t x, int32_t y, int32_t* px, int32_t* py);
// A logical rectangle as its physical, unrotated rectangle (top-left origin).
void LogicalRectToPhysical(const Renderer& r, int32_t x, int32_t y, int32_t w, int32_t h, int32_t* px,
                           int32_t* py, int32_t* pw, int32_t* ph);
// The orientation that applies to the current drawing surface.
int32_t SurfaceOrientation(const Renderer& r);

// Frame-buffer object entry points (EXT names, or the ARB core ones with the
// same signatures); null when the GL lacks them.
struct FramebufferProcs {
  PFNGLBINDRENDERBUFFEREXTPROC BindRenderbuffer = nullptr;
  PFNGLDELETERENDERBUFFERSEXTPROC DeleteRenderbuffers = nullptr;
  PFNGLGENRENDERBUFFERSEXTPROC GenRenderbuffers = nullptr;
  PFNGLRENDERBUFFERSTORAGEEXTPROC RenderbufferStorage = nullptr;
  PFNGLBINDFRAMEBUFFEREXTPROC BindFramebuffer = nullptr;
  PFNGLDELETEFRAMEBUFFERSEXTPROC DeleteFramebuffers = nullptr;
  PFNGLGENFRAMEBUFFERSEXTPROC GenFramebuffers = nullptr;
  PFNGLCHECKFRAMEBUFFERSTATUSEXTPROC CheckFramebufferStatus = nullptr;
  PFNGLFRAMEBUFFERTEXTURE2DEXTPROC FramebufferTexture2D = nullptr;
  PFNGLFRAMEBUFFERRENDERBUFFEREXTPROC FramebufferRenderbuffer = nullptr;
  PFNGLGETFRAMEBUFFERATTACHMENTPARAMETERIVEXTPROC GetFramebufferAttachmentParameteriv = nullptr;
};
extern FramebufferProcs fbo;

// Grab and read-back scratch memory: grows, never shrinks.
uint8_t* ScratchBuffer(size_t bytes);

}  // namespace gfx2d
