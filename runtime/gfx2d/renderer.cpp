#include "gfx2d/renderer.h"

namespace {
Renderer* g_renderer = nullptr;
}

OpenGLRevazoro::OpenGLRevazoro() = default;
OpenGLRevazoro::~OpenGLRevazoro() = default;

Renderer* TheRenderer() { return g_renderer; }
void SetTheRenderer(Renderer* renderer) { g_renderer = renderer; }
