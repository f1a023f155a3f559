// Off-screen render targets: frame-buffer objects drawing into a sprite's
// texture, the back-buffer fallback when a target cannot be bound, and the
// read-back of sprites into pictures.
#include <algorithm>
#include <cstring>

#include "core/core.h"
#include "core/run_log.h"
#include "gfx2d/gfx2d.h"
#include "gfx2d/gfx2d_internal.h"
#include "gl/display.h"
#include "gl/gl_ext.h"
#include "gl/gl_state.h"

namespace gfx2d {
FramebufferProcs fbo;
}  // namespace gfx2d

using namespace gfx2d;

namespace {

bool g_forceBackBuffer = false;

template <typename Proc>
void LoadProc(Proc& pointer, const char* name, bool wanted) {
  pointer = wanted ? reinterpret_cast<Proc>(platform::GLProcAddress(name)) : nullptr;
}

void ResetRecord(RenderTarget& record) {
  record.framebuffer = 0;
  record.depthBuffer = 0;
  record.savedBinding = -1;
  record.width = record.height = 0;
}

void DeleteObjects(RenderTarget& record) {
  if (record.framebuffer != 0 && fbo.DeleteFramebuffers != nullptr) fbo.DeleteFramebuffers(1, &record.framebuffer);
  if (record.depthBuffer != 0 && fbo.DeleteRenderbuffers != nullptr)
    fbo.DeleteRenderbuffers(1, &record.depthBuffer);
  record.framebuffer = 0;
  record.depthBuffer = 0;
}

// The back-buffer path of UseScreen: the target's area of the window is
// saved in sprite 65503, keyed out and overlaid with the target's picture;
// drawing then happens in the window.
void UseBackBuffer(Renderer& r, int32_t n, int32_t id, int32_t w, int32_t h) {
  r.savedOrientation = r.orientation;
  r.orientation = kOrientationUpright;
  ApplyViewport(0, 0, w, h);
  const int32_t key = r.spriteKey;
  r.spriteKey = -1;
  GrabSprite(kBackBufferSprite, 0, 0, w, h);
  r.spriteKey = key;
  DrawRect(0, 0, w, h, key);
  DrawSprite(id, 0, 0);
  r.currentTarget = n;
  r.targetOnBackBuffer = true;
}

}  // namespace

// ---------------------------------------------------------------- entry points

void InitFramebufferExtension() {
  const char* extensions = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS));
  const bool ext = extensions != nullptr && std::strstr(extensions, "GL_EXT_framebuffer_object") != nullptr;
  // A GL with only the ARB (core) frame-buffer objects offers the same calls
  // under names without the suffix.
  const bool arb = !ext && extensions != nullptr && std::strstr(extensions, "GL_ARB_framebuffer_object") != nullptr;
  const bool any = ext || arb;
  auto name = [&](const char* base) {
    static char buffer[64];
    std::strncpy(buffer, base, sizeof(buffer) - 4);
    buffer[sizeof(buffer) - 4] = 0;
    if (ext) std::strcat(buffer, "EXT");
    return buffer;
  };
  LoadProc(fbo.BindRenderbuffer, name("glBindRenderbuffer"), any);
  LoadProc(fbo.DeleteRenderbuffers, name("glDeleteRenderbuffers"), any);
  LoadProc(fbo.GenRenderbuffers, name("glGenRenderbuffers"), any);
  LoadProc(fbo.RenderbufferStorage, name("glRenderbufferStorage"), any);
  LoadProc(fbo.BindFramebuffer, name("glBindFramebuffer"), any);
  LoadProc(fbo.DeleteFramebuffers, name("glDeleteFramebuffers"), any);
  LoadProc(fbo.GenFramebuffers, name("glGenFramebuffers"), any);
  LoadProc(fbo.CheckFramebufferStatus, name("glCheckFramebufferStatus"), any);
  LoadProc(fbo.FramebufferTexture2D, name("glFramebufferTexture2D"), any);
  LoadProc(fbo.FramebufferRenderbuffer, name("glFramebufferRenderbuffer"), any);
  LoadProc(fbo.GetFramebufferAttachmentParameteriv, name("glGetFramebufferAttachmentParameteriv"), any);
  if (fbo.GenFramebuffers == nullptr) WriteLog("can't use framebuffer object\n");
}

bool FramebufferSupported() { return fbo.GenFramebuffers != nullptr; }

uint32_t CurrentFramebuffer() {
  if (!FramebufferSupported()) return 0;
  GLint binding = 0;
  glGetIntegerv(GL_FRAMEBUFFER_BINDING_EXT, &binding);
  return static_cast<uint32_t>(binding);
}

uint32_t AttachedTexture() {
  if (!FramebufferSupported() || fbo.GetFramebufferAttachmentParameteriv == nullptr) return 0;
  // The window's own frame buffer has no attachments to ask about.
  if (CurrentFramebuffer() == 0) return 0;
  GLint name = 0;
  fbo.GetFramebufferAttachmentParameteriv(GL_FRAMEBUFFER_EXT, GL_COLOR_ATTACHMENT0_EXT,
                                          GL_FRAMEBUFFER_ATTACHMENT_OBJECT_NAME_EXT, &name);
  return static_cast<uint32_t>(name);
}

// ---------------------------------------------------------------- records

bool BindTarget(RenderTarget& record) {
  if (record.savedBinding != -1) {
    WriteLog("Trying to rebind the same FBO again. Need to end first\n");
    return false;
  }
  if (fbo.BindFramebuffer == nullptr) return false;
  record.savedBinding = static_cast<int32_t>(CurrentFramebuffer());
  fbo.BindFramebuffer(GL_FRAMEBUFFER_EXT, record.framebuffer);
  return true;
}

void UnbindTarget(RenderTarget& record) {
  if (record.savedBinding == -1) return;
  if (fbo.BindFramebuffer != nullptr) fbo.BindFramebuffer(GL_FRAMEBUFFER_EXT, static_cast<GLuint>(record.savedBinding));
  record.savedBinding = -1;
}

void DestroyTarget(RenderTarget& record) {
  UnbindTarget(record);
  DeleteObjects(record);
  ResetRecord(record);
  record.spriteId = -1;
}

bool CreateFramebuffer(RenderTarget& record, int32_t w, int32_t h, uint32_t texture, bool depth) {
  UnbindTarget(record);
  DeleteObjects(record);
  ResetRecord(record);
  if (w < 1 || h < 1) {
    WriteLogF("can't create FBO for neg dims %dx%d\n", w, h);
    return false;
  }
  if (fbo.GenFramebuffers == nullptr || fbo.GenRenderbuffers == nullptr || fbo.BindRenderbuffer == nullptr ||
      fbo.RenderbufferStorage == nullptr || fbo.CheckFramebufferStatus == nullptr)
    return false;
  fbo.GenFramebuffers(1, &record.framebuffer);
  if (record.framebuffer == 0) {
    WriteLog("glGenFramebuffersExt failed\n");
    return false;
  }
  BindTarget(record);
  if (depth) {
    fbo.GenRenderbuffers(1, &record.depthBuffer);
    if (record.depthBuffer == 0) WriteLog("glGenRenderbuffersExt failed\n");
    fbo.BindRenderbuffer(GL_RENDERBUFFER_EXT, record.depthBuffer);
    for (int i = 0; i < 16 && glGetError() != GL_NO_ERROR; ++i) {
    }
    fbo.RenderbufferStorage(GL_RENDERBUFFER_EXT, GL_DEPTH_COMPONENT24, w, h);
    if (glGetError() == GL_INVALID_ENUM) {
      WriteLog("depth 24 failed, try 32\n");
      fbo.RenderbufferStorage(GL_RENDERBUFFER_EXT, GL_DEPTH_COMPONENT32, w, h);
      if (glGetError() == GL_INVALID_ENUM) {
        WriteLog("depth 32 failed, try 16\n");
        fbo.RenderbufferStorage(GL_RENDERBUFFER_EXT, GL_DEPTH_COMPONENT16, w, h);
      }
    }
    fbo.FramebufferRenderbuffer(GL_FRAMEBUFFER_EXT, GL_DEPTH_ATTACHMENT_EXT, GL_RENDERBUFFER_EXT,
                                record.depthBuffer);
  }
  fbo.FramebufferTexture2D(GL_FRAMEBUFFER_EXT, GL_COLOR_ATTACHMENT0_EXT, GL_TEXTURE_2D, texture, 0);
  const GLenum status = fbo.CheckFramebufferStatus(GL_FRAMEBUFFER_EXT);
  if (status == GL_FRAMEBUFFER_COMPLETE_EXT) {
    UnbindTarget(record);
    record.width = w;
    record.height = h;
    return true;
  }
  WriteLogF("glBindRenderbufferExt failed %x\n", static_cast<unsigned>(status));
  UnbindTarget(record);
  DeleteObjects(record);
  ResetRecord(record);
  return false;
}

// ---------------------------------------------------------------- screens

bool CreateScreen(int32_t n, int32_t id, int32_t w, int32_t h) {
  Renderer* r = TheRenderer();
  if (r == nullptr) return false;
  if (n < 0 || n >= kRenderTargetCount || !ValidSpriteId(id)) {
    SetLastError(kErrorOutOfMemory);
    return false;
  }
  if (r->currentTarget == n) EndScreen();
  RenderTarget& record = r->targets[n];
  DeleteSprite(id);
  if (w < 1 || h < 1) {
    CreateFramebuffer(record, w, h, 0, true);
    return false;
  }
  // The same sizes UploadPicture gives the texture (never below 16), so the
  // record, the texture and the frame buffer agree.
  const int32_t tw = TextureSizeFor(w);
  const int32_t th = TextureSizeFor(h);
  if (tw > MaxTextureSize() || th > MaxTextureSize()) {
    DestroyTarget(record);
    SetLastError(kErrorOutOfMemory);
    return false;
  }
  Picture blank;
  if (!blank.Resize(tw, th)) return false;
  SpriteRecord& s = r->sprites[id];
  uint32_t texture = 0;
  if (!UploadPicture(blank, 0, 0, 0, 0, &texture, nullptr, false, false)) {
    if (texture != 0) glDeleteTextures(1, &texture);
    return false;
  }
  s.texture = texture;
  s.textureWidth = tw;
  s.textureHeight = th;
  s.pictureWidth = w;
  s.pictureHeight = h;
  s.uScale = static_cast<float>(w) / static_cast<float>(tw);
  s.vScale = static_cast<float>(h) / static_cast<float>(th);
  if (CreateFramebuffer(record, tw, th, texture, true)) {
    record.spriteId = id;
    return true;
  }
  DeleteSprite(id);
  return false;
}

void UseScreen(int32_t n) {
  Renderer* r = TheRenderer();
  if (r == nullptr) return;
  // Drawing moves to another surface, whose texture may be bound on a unit
  // of the run.
  EndSpriteRun();
  if (n < 0) {
    EndScreen();
    return;
  }
  EndScreen();
  if (n >= kRenderTargetCount) return;
  RenderTarget& record = r->targets[n];
  const int32_t id = record.spriteId;
  // A record never created (or destroyed since) has nothing to draw into.
  if (!ValidSpriteId(id) || record.framebuffer == 0) return;
  const SpriteRecord& s = r->sprites[id];
  if (s.texture == 0 || s.pictureWidth <= 0) return;
  const int32_t w = s.pictureWidth, h = s.pictureHeight;
  FreeAlphaMask(*r, id);
  ForgetSpriteTexture(s.texture);
  if (FramebufferSupported() && !g_forceBackBuffer && record.savedBinding == -1) {
    BindTarget(record);
    r->currentTarget = n;
    r->targetOnBackBuffer = false;
    ApplyViewport(0, 0, w, h);
    glViewport(0, 0, w, h);
    return;
  }
  if (record.savedBinding != -1) WriteLog("Trying to rebind the same FBO again. Need to end first\n");
  UseBackBuffer(*r, n, id, w, h);
}

void EndScreen() {
  Renderer* r = TheRenderer();
  if (r == nullptr) return;
  EndSpriteRun();
  // Without a current target only the viewport goes back to the window.
  if (r->currentTarget < 0 || r->currentTarget >= kRenderTargetCount) {
    r->currentTarget = -1;
    ApplyViewport(0, 0, 0, 0);
    return;
  }
  RenderTarget& record = r->targets[r->currentTarget];
  // What was drawn is the sprite's picture now.
  if (ValidSpriteId(record.spriteId)) ForgetSpriteTexture(r->sprites[record.spriteId].texture);
  if (!r->targetOnBackBuffer) {
    UnbindTarget(record);
  } else if (ValidSpriteId(record.spriteId)) {
    const SpriteRecord& s = r->sprites[record.spriteId];
    const int32_t tw = s.textureWidth, th = s.textureHeight;
    GrabSprite(record.spriteId, 0, 0, s.pictureWidth, s.pictureHeight);
    // The window comes back exactly as saved, whatever the blend state.
    const bool blending = CachedGLState(kStateBlend) == kGLStateOn;
    const float alpha = r->globalAlpha;
    SwitchGLState(kStateBlend, false);
    r->globalAlpha = 1.0f;
    DrawRect(0, 0, tw, th, 0);
    DrawSprite(kBackBufferSprite, 0, 0);
    r->globalAlpha = alpha;
    glColor4f(1, 1, 1, alpha);
    if (blending) SwitchGLState(kStateBlend, true);
    r->orientation = r->savedOrientation;
  }
  r->currentTarget = -1;
  r->targetOnBackBuffer = false;
  ApplyViewport(0, 0, 0, 0);
}

bool ActiveTargetSize(int32_t* width, int32_t* height) {
  Renderer* r = TheRenderer();
  if (r == nullptr || r->currentTarget < 0 || r->currentTarget >= kRenderTargetCount) return false;
  const int32_t id = r->targets[r->currentTarget].spriteId;
  if (!ValidSpriteId(id)) return false;
  *width = r->sprites[id].pictureWidth;
  *height = r->sprites[id].pictureHeight;
  return true;
}

void DestroyAllTargets() {
  Renderer* r = TheRenderer();
  if (r == nullptr) return;
  if (r->currentTarget >= 0) EndScreen();
  for (RenderTarget& record : r->targets) DestroyTarget(record);
}

void ForceBackBufferTargets(bool on) { g_forceBackBuffer = on; }

// ---------------------------------------------------------------- read-back

bool SpriteToPicture(int32_t id, Picture& picture) {
  Renderer* r = TheRenderer();
  if (r == nullptr || !ValidSpriteId(id)) return false;
  const SpriteRecord& s = r->sprites[id];
  const int32_t w = std::min(s.pictureWidth, s.textureWidth);
  const int32_t h = std::min(s.pictureHeight, s.textureHeight);
  if (s.texture == 0 || w <= 0 || h <= 0) return false;
  if (!FramebufferSupported()) return false;
  if (!picture.Resize(w, h)) return false;
  RenderTarget temporary;
  if (!CreateFramebuffer(temporary, s.textureWidth, s.textureHeight, s.texture, false)) return false;
  BindTarget(temporary);
  glReadBuffer(GL_COLOR_ATTACHMENT0_EXT);
  glPixelStorei(GL_PACK_ALIGNMENT, 4);
  glPixelStorei(GL_PACK_ROW_LENGTH, 0);
  glReadPixels(0, 0, w, h, GL_RGBA, GL_UNSIGNED_BYTE, picture.pixels);
  UnbindTarget(temporary);
  DestroyTarget(temporary);
  // Texture rows run bottom up; pictures start with the top row.
  const size_t stride = static_cast<size_t>(w) * 4;
  uint8_t* row = ScratchBuffer(stride);
  if (row != nullptr) {
    for (int32_t y = 0; y < h / 2; ++y) {
      uint8_t* a = picture.pixels + y * stride;
      uint8_t* b = picture.pixels + (h - 1 - y) * stride;
      std::memcpy(row, a, stride);
      std::memcpy(a, b, stride);
      std::memcpy(b, row, stride);
    }
  }
  picture.ownAlpha = 1;
  return true;
}
