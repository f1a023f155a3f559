// Runs of sprite draws that change no GL state from one sprite to the next.
// On the software rasteriser every texture bind between two draws costs a
// copy of the whole rasteriser state, so sprites drawn from several textures
// in turn ran at half the speed of sprites from one. A run starts when a
// sprite draw follows another from a different texture: while it lasts, up
// to eight sprite textures stay bound on texture units 0 and 2-8 (the slots
// of the run) and a small shader takes each quad's slot from its third
// texture coordinate, so quads of different textures join one draw. Unit 1,
// the second texture of the 3D drawing and of shaders, keeps what the fixed
// path left there. The shader computes what the fixed pipeline does for a
// 2D sprite (the texture times the colour), and a run is only started where
// nothing else of the fixed pipeline would apply (no lighting or fog, no
// program of the program's own, the texture modulated, no texture matrix,
// the plain 2D view without a camera's move). Every other GL use of the
// renderer ends the run first (EndSpriteRun), which leaves the GL as the
// fixed path would have: no program, the last sprite's texture on unit 0.
// Sprites from one texture stay on the fixed path, which is the faster for
// them, and so does every draw the shader would not give to the last bit:
// the fixed pipeline samples through its own path, whose rounding of filter
// weights and of texel positions differs from the shader's for stretched,
// rotated or fractionally placed quads. A sprite at its own size on whole
// pixels (DrawSprite's pixel-exact case) takes each texel at its centre,
// where the two agree.
#include <cstring>

#include "gfx2d/gfx2d_internal.h"
#include "gl/gl_ext.h"
#include "gl/gl_state.h"

namespace gfx2d {

namespace {

constexpr int kSlots = 8;

// The texture unit of a slot of the run (the shader's sprites[slot]).
constexpr GLenum UnitOf(int slot) { return GL_TEXTURE0 + (slot == 0 ? 0 : slot + 1); }

const char* const kVertexShader =
    "#version 400 compatibility\n"
    "out vec2 coord;\n"
    "flat out int slot;\n"
    "void main() {\n"
    "  gl_Position = ftransform();\n"
    "  gl_ClipVertex = gl_ModelViewMatrix * gl_Vertex;\n"
    "  coord = gl_MultiTexCoord0.xy;\n"
    "  slot = int(gl_MultiTexCoord0.z + 0.5);\n"
    "  gl_FrontColor = gl_Color;\n"
    "  gl_BackColor = gl_Color;\n"
    "}\n";

const char* const kFragmentShader =
    "#version 400 compatibility\n"
    "uniform sampler2D sprites[8];\n"
    "in vec2 coord;\n"
    "flat in int slot;\n"
    "void main() { gl_FragColor = texture(sprites[slot], coord) * gl_Color; }\n";

struct RunState {
  int ready = 0;  // 0 not tried, 1 the program exists, -1 not available
  // The context the program and the bindings belong to.
  const void* context = nullptr;
  bool allowed = true;  // the test hook
  bool active = false;
  GLhandleARB program = 0;
  GLuint names[kSlots] = {};
  GLint wraps[kSlots] = {};
  GLint filters[kSlots] = {};
  uint64_t used[kSlots] = {};
  uint64_t clock = 0;
  int32_t lastId = -1;
  // The texture of the sprite draw just made on the fixed path, while no
  // other GL use has come since (0: none).
  GLuint fixedTexture = 0;
};

RunState& Run() {
  static RunState state;
  return state;
}

GLhandleARB Compile(GLenum kind, const char* source) {
  const GLhandleARB shader = gl::CreateShaderObjectARB(kind);
  gl::ShaderSourceARB(shader, 1, &source, nullptr);
  gl::CompileShaderARB(shader);
  GLint compiled = 0;
  gl::GetObjectParameterivARB(shader, GL_OBJECT_COMPILE_STATUS_ARB, &compiled);
  if (compiled) return shader;
  gl::DeleteObjectARB(shader);
  return 0;
}

// The program, made on first need. Quads of one draw may take different
// slots, which the shading language leaves to the driver; the software
// rasteriser samples each fragment's own slot (the batch tests compare its
// pictures with the fixed pipeline's), and hardware, where binds are cheap,
// keeps the fixed path.
bool MakeProgram(RunState& run) {
  if (run.ready != 0) return run.ready > 0;
  run.ready = -1;
  if (gl::ActiveTextureARB == nullptr || gl::CreateProgramObjectARB == nullptr || gl::Uniform1iARB == nullptr)
    return false;
  const char* renderer = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
  if (renderer == nullptr || std::strstr(renderer, "llvmpipe") == nullptr) return false;
  GLint units = 0;
  glGetIntegerv(GL_MAX_TEXTURE_IMAGE_UNITS, &units);
  if (units < kSlots + 1) return false;
  const GLhandleARB vertex = Compile(GL_VERTEX_SHADER_ARB, kVertexShader);
  const GLhandleARB fragment = Compile(GL_FRAGMENT_SHADER_ARB, kFragmentShader);
  if (vertex == 0 || fragment == 0) {
    if (vertex != 0) gl::DeleteObjectARB(vertex);
    if (fragment != 0) gl::DeleteObjectARB(fragment);
    return false;
  }
  const GLhandleARB program = gl::CreateProgramObjectARB();
  gl::AttachObjectARB(program, vertex);
  gl::AttachObjectARB(program, fragment);
  gl::LinkProgramARB(program);
  gl::DeleteObjectARB(vertex);
  gl::DeleteObjectARB(fragment);
  GLint linked = 0;
  gl::GetObjectParameterivARB(program, GL_OBJECT_LINK_STATUS_ARB, &linked);
  if (!linked) {
    gl::DeleteObjectARB(program);
    return false;
  }
  GLint previous = 0;
  glGetIntegerv(GL_CURRENT_PROGRAM, &previous);
  gl::UseProgramObjectARB(program);
  for (int i = 0; i < kSlots; ++i) {
    char name[16] = "sprites[0]";
    name[8] = static_cast<char>('0' + i);
    const GLint location = gl::GetUniformLocationARB(program, name);
    if (location >= 0) gl::Uniform1iARB(location, static_cast<GLint>(UnitOf(i) - GL_TEXTURE0));
  }
  gl::UseProgramObjectARB(static_cast<GLhandleARB>(previous));
  run.program = program;
  run.ready = 1;
  return true;
}

bool Identity(GLenum matrixName) {
  GLfloat matrix[16];
  glGetFloatv(matrixName, matrix);
  for (int i = 0; i < 16; ++i)
    if (matrix[i] != (i % 5 == 0 ? 1.0f : 0.0f)) return false;
  return true;
}

// Whether a sprite may be drawn through the run's shader now. A sprite is
// only pixel-exact in the plain 2D view: a camera set outside the 3D frame
// moves the 2D drawing too (by fractions of a pixel, or turned).
bool MayRun(const Renderer& r, RunState& run) {
  if (!run.allowed || r.in3D) return false;
  if (CachedGLState(kStateFog) != kGLStateOff || CachedGLState(kStateLighting) != kGLStateOff) return false;
  return MakeProgram(run) && Identity(GL_MODELVIEW_MATRIX);
}

void Forget(RunState& run) {
  for (int i = 0; i < kSlots; ++i) {
    run.names[i] = 0;
    run.wraps[i] = run.filters[i] = 0;
    run.used[i] = 0;
  }
}

// Starts a run with sprite id bound as the fixed path binds it (unit 0,
// unit 1 off); false where the texture is not simply modulated.
bool StartRun(Renderer& r, RunState& run, int32_t id, GLint wrap) {
  GLint current = 0;
  glGetIntegerv(GL_CURRENT_PROGRAM, &current);
  if (current != 0) return false;
  BindTextures(r, id, -1, 0, nullptr, wrap);
  GLint mode = 0;
  glGetTexEnviv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, &mode);
  if (mode != GL_MODULATE) return false;
  if (!Identity(GL_TEXTURE_MATRIX)) return false;
  gl::UseProgramObjectARB(run.program);
  Forget(run);
  run.names[0] = r.sprites[id].texture;
  run.wraps[0] = wrap;
  run.used[0] = ++run.clock;
  run.active = true;
  run.lastId = id;
  return true;
}

// Whether what the run left in the GL is still there: nobody else has
// bound a program or a texture since.
bool StillRunning(const RunState& run) {
  GLint program = 0, unit = 0, bound = 0;
  glGetIntegerv(GL_CURRENT_PROGRAM, &program);
  glGetIntegerv(GL_ACTIVE_TEXTURE, &unit);
  glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
  return static_cast<GLhandleARB>(program) == run.program && unit == GL_TEXTURE0 &&
         static_cast<GLuint>(bound) == run.names[0];
}

// The slot holding texture name, bound there now if it was not: the least
// recently used slot makes room.
int SlotFor(RunState& run, GLuint name) {
  int slot = 0;
  for (int i = 0; i < kSlots; ++i) {
    if (run.names[i] == name) {
      run.used[i] = ++run.clock;
      return i;
    }
    if (run.used[i] < run.used[slot]) slot = i;
  }
  if (slot != 0) gl::ActiveTextureARB(UnitOf(slot));
  glBindTexture(GL_TEXTURE_2D, name);
  if (slot != 0) gl::ActiveTextureARB(GL_TEXTURE0);
  run.names[slot] = name;
  run.wraps[slot] = run.filters[slot] = 0;
  run.used[slot] = ++run.clock;
  return slot;
}

void SetParameters(RunState& run, int slot, GLint wrap, GLint filter) {
  if (run.wraps[slot] == wrap && run.filters[slot] == filter) return;
  if (slot != 0) gl::ActiveTextureARB(UnitOf(slot));
  if (run.wraps[slot] != wrap) {
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, wrap);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, wrap);
  }
  if (run.filters[slot] != filter) {
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, filter);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, filter);
  }
  if (slot != 0) gl::ActiveTextureARB(GL_TEXTURE0);
  run.wraps[slot] = wrap;
  run.filters[slot] = filter;
}

}  // namespace

float BindSpriteForQuad(Renderer& r, int32_t id, GLint wrap, GLint filter, bool batchable) {
  RunState& run = Run();
  if (run.context != r.glContext) {
    // A new context (a new window or renderer) holds none of the old
    // context's objects: the program is made again when needed.
    const bool allowed = run.allowed;
    run = RunState();
    run.allowed = allowed;
    run.context = r.glContext;
  }
  if (run.active && !StillRunning(run)) {
    // Someone else changed the GL: what the run left is not to be trusted.
    run.active = false;
    GLint program = 0;
    glGetIntegerv(GL_CURRENT_PROGRAM, &program);
    if (static_cast<GLhandleARB>(program) == run.program) gl::UseProgramObjectARB(0);
  }
  const GLuint texture = r.sprites[id].texture;
  const bool another = run.fixedTexture != 0 && run.fixedTexture != texture;
  if (batchable && (run.active || another) && MayRun(r, run) && (run.active || StartRun(r, run, id, wrap))) {
    const int slot = SlotFor(run, texture);
    SetParameters(run, slot, wrap, filter);
    run.lastId = id;
    return static_cast<float>(slot);
  }
  EndSpriteRun();
  BindTextures(r, id, -1, 0, nullptr, wrap);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, filter);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, filter);
  run.fixedTexture = texture;
  return 0.0f;
}

void EndSpriteRun() {
  RunState& run = Run();
  run.fixedTexture = 0;
  if (!run.active) return;
  run.active = false;
  gl::UseProgramObjectARB(0);
  Renderer* r = TheRenderer();
  if (r == nullptr) return;
  // As the fixed path leaves it: the last sprite's texture on unit 0.
  const int32_t id = run.lastId;
  if (ValidSpriteId(id) && r->sprites[id].texture != 0) {
    if (run.names[0] != r->sprites[id].texture) glBindTexture(GL_TEXTURE_2D, r->sprites[id].texture);
    r->boundSprite = id;
  } else {
    r->boundSprite = -1;
  }
  r->boundSprite2 = -1;
}

}  // namespace gfx2d

void EndSpriteBatch() { gfx2d::EndSpriteRun(); }

void SetSpriteBatching(bool on) {
  gfx2d::EndSpriteRun();
  gfx2d::Run().allowed = on;
}
