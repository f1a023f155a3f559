// The 3D engine's operations: mesh objects built from triangle strips, the
// 3D frame (projection, camera, movement stack, lights, fog, culling) and the
// drawing of objects with their optional effects (bump mapping, cel shading,
// stencil shadows), plus dots, lines and an axes marker for debugging.
//
// Numbers arrive as the BASIC program passes them (Number, a 64-bit float):
// coordinates become float32, ids, modes and colours are truncated toward
// zero. Object numbers are 0..4095; other numbers are ignored (error 7 for
// the operations that name an object). Colours are packed
// red + green*256 + blue*65536.
#pragma once

#include <cstdint>

#include "core/basic_array.h"
#include "core/basic_string.h"
#include "core/numeric.h"

// ---------------------------------------------------------------- mesh objects

// The lowest object number that holds no object, -1 when all are in use.
int32_t FindFreeMeshId();
// Mode (taken modulo 3 with the dividend's sign): 1 flat normals, 2 smooth
// normals (positions that coincide share one), anything else none.
void SetMeshNormalMode(Number mode);
// Starts building object id from scratch (its meshes are released); the vertices that follow
// go into frame 0. A bad id gives LastErrorCode 7 and leaves nothing open.
void BeginMesh(Number id);
// The vertices that follow go into animation frame frame of the object being built.
void SelectMeshFrame(Number frame);
// Adds a vertex at (x, y, z) with texture coordinates (u, v) and a colour to the current
// triangle strip of the object being built.
void AddMeshVertex(Number x, Number y, Number z, Number u, Number v, Number colour);
// Ends the current triangle strip; the next vertex starts a new one.
void NewMeshStrip();
// Finishes the object being built: palette, normals (SetMeshNormalMode), triangle lists and
// bounds. It stays empty when frame 0 has fewer than 3 vertices or another frame has a
// different count (reported to the debug output).
void EndMesh();
// Dimensions the array 3 x 9: row k holds x, y, z, u, stored v, colour code,
// nx, ny, nz of vertex k of triangle n.
void GetMeshTriangle(Number id, Number frame, Number n, BasicArray<double>& array);
// Scales every vertex of the object by (sx, sy, sz); a bad id gives LastErrorCode 7.
void ScaleMesh(Number id, Number sx, Number sy, Number sz);

// Object files (.xqo, binary or "XQOA" text form) and ";XQW" scene files,
// through the file layer (memory files and archive entries load too). A file
// that cannot be read leaves the object empty, with "# read error" (or
// "# malloc error") and the file name in the run log, LastErrorCode 3.
void LoadMesh(const char* file, Number id);
void LoadMesh(const BasicString& file, Number id);
// Writes the object's first mesh in the binary form, version 2.0; normals are
// stored as the nearest of 162 table entries. Always 1 (LastErrorCode 3 when
// the file could not be written; memory files cannot be).
int32_t SaveMesh(const char* file, Number id);
int32_t SaveMesh(const BasicString& file, Number id);

// ---------------------------------------------------------------- 3D frame

void Begin3D(Number nearPlane, Number farPlane, Number fieldOfView);  // fov <= 0: orthographic
// Ends 3D drawing: the GL state goes back to the 2D defaults.
void End3D();
// Clears the depth and stencil buffers (what is drawn next lies in front of what is there).
void ClearDepth3D();
// Places the camera at (x, y, z) looking at the target point.
void SetCamera(Number x, Number y, Number z, Number targetX, Number targetY, Number targetZ);
// The camera's up direction.
void SetCameraUp(Number x, Number y, Number z);
// id 0..7: a GL light (cutoff 0 switches it off; 180 directional; above 90
// a point light; else a spot). Negative ids select an effect: -1 bump
// mapping, -3 stencil shadows, others cel shading; a cutoff of 0 ends it.
void SetLight(Number id, Number colour, Number x, Number y, Number z, Number dx, Number dy, Number dz,
              Number cutoff);
// Light id as a directional light from the camera's position towards the origin.
void SetCameraLight(Number id, Number colour);
// Colour -1 switches fog off. exponential non-zero: density startOrDensity; else linear from
// startOrDensity to end (both 0: the near and far planes).
void SetFog(Number colour, Number exponential, Number startOrDensity, Number end);
// Back-face culling: the winding of the faces that stay is > 0 clockwise, < 0
// counter-clockwise; 0 culls nothing.
void SetCullMode(Number mode);
// Non-zero: hidden surfaces are removed with the depth buffer; 0: drawn in order.
void SetDepthTest(Number flag);

// The movement stack: the transform of the next objects drawn.
void SetMovementTranslation(Number x, Number y, Number z);
// The scale of the current movement level (its rotations and matrices start again).
void SetMovementScale(Number x, Number y, Number z);
// Adds a rotation by angle degrees about the axis (ax, ay, az) to the current movement level.
void AddMovementRotation(Number angle, Number ax, Number ay, Number az);
void MultiplyMovementMatrix(const BasicArray<double>& matrix);  // 16 numbers, column-major
// Starts a new movement level on top of the current one (which it inherits); nothing when all
// MOVEMENT_LEVEL_COUNT levels are in use.
void PushMovement();
// Goes back to the level below; at the bottom level the level becomes the identity.
void PopMovement();
// Dimensions the array to 16 and fills it with the camera matrix (column-major).
void GetCameraMatrix(BasicArray<double>& matrix);
// Dimensions the array to 16 and fills it with the current movement level's matrix.
void GetMovementMatrix(BasicArray<double>& matrix);

// ---------------------------------------------------------------- drawing

// Non-zero: objects are textured with the sprites' mip-mapped companions; 0: the plain textures.
void SetMeshTextureMode(Number flag);
// The sprites whose textures the objects drawn next use (second: the second unit; -1 none).
void SetMeshTextures(Number texture1, Number texture2);
// Draws animation frame frame of object id with the current movement and textures; a bad id
// gives LastErrorCode 7.
void DrawMesh(Number id, Number frame);
// Draws the object blended between two frames. interpolate 0: frameFrom and frameTo mixed by
// blend (0..1); non-zero: blend 0..1 of the way through the frames from frameFrom to frameTo,
// mixing the two it falls between.
void DrawMeshAnimated(Number id, Number frameFrom, Number frameTo, Number blend, Number interpolate);
// Shifts the texture coordinates of the objects drawn next by (du, dv).
void SetTextureOffset3D(Number du, Number dv);
// Non-zero: the objects drawn next are textured as a sphere-mapped reflection.
void SetSphereMap(Number flag);
// The cel-shading ramp: brightness values 0..255 indexed by light intensity (empty: 255).
void SetCelShadeRamp(const BasicArray<double>& ramp);
// Draws a dot of size pixels (1..512) at the world point.
void DrawDot3D(Number x, Number y, Number z, Number size, Number colour);
// Draws a line of width pixels between two world points.
void DrawLine3D(Number x1, Number y1, Number z1, Number x2, Number y2, Number z2, Number width, Number colour);
// Draws the world axes as three arrows (x, y, z) from the point.
void DrawAxes3D(Number x, Number y, Number z);

// ---------------------------------------------------------------- shaders
// GLSL programs in numbered slots 0..254, made current for all following
// drawing. Messages (compile and link logs, unknown names) go to the debug
// output in debug mode only.

// Shader slots a program may use (0..SHADER_SLOT_COUNT - 1).
constexpr int32_t SHADER_SLOT_COUNT = 255;

// Either name may be empty (that stage stays fixed-function); a file that
// cannot be read leaves its stage out. 1 when the program was built.
int32_t LoadShader(Number slot, const BasicString& vertexFile, const BasicString& fragmentFile);
int32_t LoadShader(Number slot, const char* vertexFile, const char* fragmentFile);
// 0..254: that slot's program becomes current; other numbers: none.
void UseShader(Number slot);
// The slot UseShader made current, -1 for none.
int32_t CurrentShader();
// Sets the float uniform of that name in the current shader program; an unknown name is
// reported to the debug output.
void SetShaderUniform(const BasicString& name, Number value);
void SetShaderUniform(const char* name, Number value);
// Sets the integer uniform of that name (the value truncated) in the current shader program.
void SetShaderUniformInt(const BasicString& name, Number value);
void SetShaderUniformInt(const char* name, Number value);
// Sets the vertex attribute of that name for the vertices drawn next.
void SetShaderAttribute(const BasicString& name, Number value);
void SetShaderAttribute(const char* name, Number value);

// ---------------------------------------------------------------- collision and picking
// Tests of an object's triangles in one animation frame, placed in the world
// by the current movement level. A point p of the world is taken into the
// object as R^T (p - t), with R the level's 3 x 3 part and t its
// translation: rotations and translations are undone, scale is not.

// 1 when the sphere touches a triangle of any mesh of the object.
int32_t SphereCollision(Number id, Number frame, Number radius, Number x, Number y, Number z);
// 1 when the box centred at (x, y, z), with its edges along the world axes,
// touches a triangle.
int32_t BoxCollision(Number id, Number frame, Number x, Number y, Number z, Number width, Number height,
                     Number depth);
// The nearest hit along the line through (x, y, z) in direction
// (dx, dy, dz): the smallest positive distance, else the negative one
// closest to 0 (a hit behind the origin), else 0.
double RayCollision(Number id, Number frame, Number x, Number y, Number z, Number dx, Number dy, Number dz);
// The triangle the last test found (its number within the frame; 0 also
// when there was none).
int32_t GetHitTriangle();
// Screen position (origin top left) and depth 0..1 of a world point; 0 when
// the point maps to infinity.
int32_t ProjectToScreen(Number x, Number y, Number z, Number& sx, Number& sy, Number& sz);
// The world point at a screen position and depth; the row is counted as
// (screen height - 1 - sy) from the bottom. 0 when the view is singular.
int32_t UnprojectFromScreen(Number sx, Number sy, Number sz, Number& x, Number& y, Number& z);
