// Placeholders for the 3D engine's calls from start-up and the frame loop,
// until the engine is built. Each entry moves to its real home when that
// part is written; this file then goes.
#include "host/subsystems.h"

void CreateEngine3D(Renderer&) {}
void DestroyEngine3D() {}
void Leave3D() {}
void SetMeshTextureMode(int32_t) {}
void SelectNoShaderProgram() {}
