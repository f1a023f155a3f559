// Placeholders for the 2D renderer's calls from start-up and the frame loop,
// until the sprite store, fonts and off-screen targets are built. Each entry
// moves to its real home when that part is written; this file then goes.
#include "host/gl_ext.h"
#include "host/gl_state.h"
#include "host/host.h"
#include "host/subsystems.h"

void ClearScreen(int32_t colour) { SetClearColour(colour); }
bool BackgroundPresent(int32_t) { return false; }
void DrawBackground(int32_t) {}
void BuildDefaultFont(int32_t) {}
bool LoadFont(const char*, int32_t) { return false; }
void SetFont(int32_t) {}
void BindSpriteTexture(int32_t id, int32_t) {
  if (id < 0) {
    glDisable(GL_TEXTURE_2D);
    SwitchGLState(kStateColorMaterial, true);
  }
}
void InitFramebufferExtension() {}
void EndScreen() {}
bool ActiveTargetSize(int32_t*, int32_t*) { return false; }
void ReleaseAllTextures() {}
void DestroyAllTargets() {}
