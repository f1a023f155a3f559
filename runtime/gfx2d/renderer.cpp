// The renderer object: its construction, release and the one process-wide instance.
#include "gfx2d/renderer.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "gfx2d/gfx2d.h"

namespace {
Renderer* g_renderer = nullptr;
}

OpenGLRevazoro::OpenGLRevazoro() {
  // Font glyph tables first, then the target records and backgrounds: the
  // sprite store comes last because it is the one large allocation.
  std::memset(glyphs, 0, sizeof(glyphs));
  currentFont = 0;
  for (RenderTarget& target : targets) target = RenderTarget{};
  std::memset(backgrounds, 0, sizeof(backgrounds));
  spriteKey = kDefaultSpriteKey;
  fontKey = 0;
  sprites = new SpriteRecord[kSpriteCount + 1]();
  alphaMasks = new uint8_t*[kSpriteCount + 1]();
  currentTarget = -1;
  smoothing = 1;
  clearEachFrame = 1;
}

OpenGLRevazoro::~OpenGLRevazoro() {
  // The GL objects went with the context; only the memory is left here.
  if (alphaMasks != nullptr) {
    for (int32_t i = 0; i <= kSpriteCount; ++i) std::free(alphaMasks[i]);
    delete[] alphaMasks;
  }
  delete[] sprites;
  std::free(quads.vertices);
  std::free(poly);
}

Renderer* CreateRenderer() {
  if (g_renderer != nullptr) return g_renderer;
  g_renderer = new Renderer;
  g_renderer->activeTargetSize = &ActiveTargetSize;
  gl::SetDisplay(g_renderer);
  return g_renderer;
}

Renderer* TheRenderer() { return g_renderer; }

void DestroyRenderer() {
  if (g_renderer == nullptr) return;
  Renderer* r = g_renderer;
  g_renderer = nullptr;
  if (gl::TheDisplay() == r) gl::SetDisplay(nullptr);
  delete r;
}
