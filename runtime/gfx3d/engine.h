// The 3D engine's side for the host: start-up creates the one engine
// (Revazoro3D, the Engine3D) with the renderer it draws through and shutdown
// destroys it; the frame loop leaves 3D drawing and the shader program
// between frames. Programs use the operations of gfx3d/gfx3d.h.
#pragma once

class OpenGLRevazoro;
// Start-up creates the one engine with the renderer it draws through (a
// second call only points the engine at that renderer); shutdown destroys it
// with its objects' GL buffers.
void CreateEngine3D(OpenGLRevazoro& renderer);
// Destroys the engine and the GL buffers of its objects (shutdown).
void DestroyEngine3D();
// Ends 3D drawing and a pending shadow pass (before 2D commands and frames).
void Leave3D();
// Takes the shader program off (the fixed-function pipeline draws again).
void SelectNoShaderProgram();
