// Runs of sprite draws that change no GL state from one sprite to the next.
// On the software rasteriser every texture bind between two draws costs a
// copy of the whole rasteriser state, so sprites drawn from several textures
// in turn ran at half the speed of sprites from one. A run starts when a
// sprite draw follows another from a different texture: while it lasts, the
// sprites' pictures are drawn from copies kept side by side in one atlas
// texture, and each quad's texture coordinates point at its picture's copy,
// so quads of different sprites join one draw from one texture. A small
// shader computes what the fixed pipeline does for a 2D sprite (the texture
// times the colour); a run is only started where nothing else of the fixed
// pipeline would apply (no lighting or fog, no program of the program's own,
// the texture modulated, no texture matrix, the plain 2D view without a
// camera's move). Every other GL use of the renderer ends the run first
// (EndSpriteRun), which leaves the GL as the fixed path would have: no
// program, the last sprite's texture on unit 0, every sprite texture of the
// run with the wrap mode and filter the fixed path gives it.
//
// Sprites from one texture stay on the fixed path, which is the faster for
// them, and so does every draw the shader would not give to the last bit:
// the fixed pipeline samples through its own path, whose rounding of filter
// weights and of texel positions differs from the shader's for stretched,
// rotated or fractionally placed quads. A sprite at its own size on whole
// pixels (DrawSprite's pixel-exact case) takes each texel at its centre with
// nearest filtering, where the two agree, and where the copy's texel is the
// picture's: the atlas coordinates of the quad's corners are exact texel
// edges, as the picture's are.
//
// A copy is only good while its picture is unchanged: every write to a
// sprite texture through the renderer (uploads, grabs, screen targets,
// deletion) forgets the copy first (ForgetSpriteTexture), and a texture whose
// name was handed to the program (GetSpriteTexture), which may write to it
// with the GL itself, is never copied.
#include <cstring>
#include <vector>

#include "gfx2d/gfx2d_internal.h"
#include "gl/gl_ext.h"
#include "gl/gl_state.h"
#include "platform/platform.h"

namespace gfx2d {

namespace {

constexpr int32_t kAtlasSize = 2048;
// Larger pictures stay on the fixed path: they fill enough pixels for a bind
// to cost little beside them.
constexpr int32_t kLargestCopy = 256;
// Texture names past this one are never copied (the table is indexed by name).
constexpr GLuint kNameLimit = 1u << 20;

constexpr int32_t kNoCopy = -1;
constexpr int32_t kNeverCopy = -2;  // handed to the program, or the GL refused the copy

const char* const kVertexShader =
    "#version 400 compatibility\n"
    "out vec2 coord;\n"
    "void main() {\n"
    "  gl_Position = ftransform();\n"
    "  gl_ClipVertex = gl_ModelViewMatrix * gl_Vertex;\n"
    "  coord = gl_MultiTexCoord0.xy;\n"
    "  gl_FrontColor = gl_Color;\n"
    "  gl_BackColor = gl_Color;\n"
    "}\n";

const char* const kFragmentShader =
    "#version 400 compatibility\n"
    "uniform sampler2D atlas;\n"
    "in vec2 coord;\n"
    "void main() { gl_FragColor = texture(atlas, coord) * gl_Color; }\n";

// A picture's copy: where its texture coordinates land in the atlas.
struct Copy {
  GLuint name = 0;
  TexturePlace place;
};

struct RunState {
  int ready = 0;  // 0 not tried, 1 the program and the atlas exist, -1 not available
  // The context the program and the atlas belong to (its serial).
  uint64_t context = 0;
  bool allowed = true;  // the test hook
  bool active = false;
  GLhandleARB program = 0;
  GLuint atlas = 0;
  // By texture name: the index of its copy in copies, kNoCopy or kNeverCopy.
  std::vector<int32_t> copyOf;
  std::vector<Copy> copies;
  int32_t shelfX = 0, shelfY = 0, shelfHeight = 0;  // where the next copy goes
  // By texture name: the run in which its wrap mode and filter were last set.
  std::vector<uint32_t> setInRun;
  uint32_t runNumber = 0;
  int32_t lastId = -1;
  // The texture of the sprite draw just made on the fixed path, while no
  // other GL use has come since (0: none).
  GLuint fixedTexture = 0;
};

RunState& Run() {
  static RunState state;
  return state;
}

// The run state of the renderer's context. A new context (a new window or
// renderer) holds none of the old context's objects: the program and the
// atlas are made again when needed, and texture names start anew.
RunState& RunOf(const Renderer& r) {
  RunState& run = Run();
  const uint64_t context = platform::GLContextSerial(r.glContext);
  if (run.context != context) {
    const bool allowed = run.allowed;
    run = RunState();
    run.allowed = allowed;
    run.context = context;
  }
  return run;
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

GLhandleARB Link() {
  const GLhandleARB vertex = Compile(GL_VERTEX_SHADER_ARB, kVertexShader);
  const GLhandleARB fragment = Compile(GL_FRAGMENT_SHADER_ARB, kFragmentShader);
  if (vertex == 0 || fragment == 0) {
    if (vertex != 0) gl::DeleteObjectARB(vertex);
    if (fragment != 0) gl::DeleteObjectARB(fragment);
    return 0;
  }
  const GLhandleARB program = gl::CreateProgramObjectARB();
  gl::AttachObjectARB(program, vertex);
  gl::AttachObjectARB(program, fragment);
  gl::LinkProgramARB(program);
  gl::DeleteObjectARB(vertex);
  gl::DeleteObjectARB(fragment);
  GLint linked = 0;
  gl::GetObjectParameterivARB(program, GL_OBJECT_LINK_STATUS_ARB, &linked);
  if (linked) return program;
  gl::DeleteObjectARB(program);
  return 0;
}

// The program and the atlas, made on first need. Only the software
// rasteriser takes runs: on hardware a bind costs little, and the fixed
// path keeps no copies.
bool MakeProgram(RunState& run) {
  if (run.ready != 0) return run.ready > 0;
  run.ready = -1;
  if (gl::CreateProgramObjectARB == nullptr || gl::UseProgramObjectARB == nullptr) return false;
  const char* renderer = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
  if (renderer == nullptr || std::strstr(renderer, "llvmpipe") == nullptr) return false;
  GLint largest = 0;
  glGetIntegerv(GL_MAX_TEXTURE_SIZE, &largest);
  if (largest < kAtlasSize) return false;
  if (gl::CopyImageSubData == nullptr || gl::TextureParameteri == nullptr) return false;
  const GLhandleARB program = Link();
  if (program == 0) return false;
  // The atlas only ever holds texels at their own size: one level, nearest.
  GLint bound = 0;
  glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
  run.atlas = NewBoundTexture(GL_CLAMP_TO_EDGE, GL_NEAREST);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
  while (glGetError() != GL_NO_ERROR) {
  }
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, kAtlasSize, kAtlasSize, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
  const bool made = glGetError() == GL_NO_ERROR;
  glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(bound));
  if (!made) {
    glDeleteTextures(1, &run.atlas);
    run.atlas = 0;
    gl::DeleteObjectARB(program);
    return false;
  }
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

int32_t& CopyEntry(RunState& run, GLuint name) {
  if (name >= run.copyOf.size()) run.copyOf.resize(name + 1, kNoCopy);
  return run.copyOf[name];
}

// Starts the atlas afresh: every copy is made again when next drawn. Quads
// already handed to the GL keep the texels they were given.
void EmptyAtlas(RunState& run) {
  for (const Copy& c : run.copies)
    if (run.copyOf[c.name] >= 0) run.copyOf[c.name] = kNoCopy;
  run.copies.clear();
  run.shelfX = run.shelfY = run.shelfHeight = 0;
}

// Where the sprite's picture is in the atlas, copied there now if it was
// not; null where it has no copy and gets none.
const TexturePlace* PlaceOf(RunState& run, const SpriteRecord& s) {
  const GLuint name = s.texture;
  if (name >= kNameLimit) return nullptr;
  int32_t& entry = CopyEntry(run, name);
  if (entry >= 0) return &run.copies[static_cast<size_t>(entry)].place;
  if (entry == kNeverCopy) return nullptr;
  const int32_t w = s.pictureWidth, h = s.pictureHeight;
  if (w <= 0 || h <= 0 || w > kLargestCopy || h > kLargestCopy || s.textureWidth <= 0 || s.textureHeight <= 0)
    return nullptr;
  // The picture must fill whole texels from the texture's origin.
  if (s.uScale * static_cast<float>(s.textureWidth) != static_cast<float>(w) ||
      s.vScale * static_cast<float>(s.textureHeight) != static_cast<float>(h))
    return nullptr;
  if (run.shelfX + w > kAtlasSize) {
    run.shelfY += run.shelfHeight;
    run.shelfX = run.shelfHeight = 0;
  }
  if (run.shelfY + h > kAtlasSize) EmptyAtlas(run);
  const int32_t x = run.shelfX, y = run.shelfY;
  // The GL keeps a run's immediate-mode quads back for one draw, and its
  // image copy does not send them first: quads from a copy this one
  // replaces would take the new texels. The copy waits for the rasteriser
  // to finish with the atlas in any case.
  glFlush();
  while (glGetError() != GL_NO_ERROR) {
  }
  gl::CopyImageSubData(name, GL_TEXTURE_2D, 0, 0, 0, 0, run.atlas, GL_TEXTURE_2D, 0, x, y, 0, w, h, 1);
  if (glGetError() != GL_NO_ERROR) {
    entry = kNeverCopy;
    return nullptr;
  }
  run.shelfX += w;
  if (h > run.shelfHeight) run.shelfHeight = h;
  const float size = static_cast<float>(kAtlasSize);
  Copy c;
  c.name = name;
  c.place.u0 = static_cast<float>(x) / size;
  c.place.v0 = static_cast<float>(y) / size;
  c.place.uScale = static_cast<float>(s.textureWidth) / size;
  c.place.vScale = static_cast<float>(s.textureHeight) / size;
  entry = static_cast<int32_t>(run.copies.size());
  run.copies.push_back(c);
  return &run.copies.back().place;
}

// Gives the texture the wrap mode and filter the fixed path would have set
// when drawing it, once per run.
void SetParameters(RunState& run, GLuint name, GLint wrap, GLint filter) {
  if (name >= run.setInRun.size()) run.setInRun.resize(name + 1, 0);
  if (run.setInRun[name] == run.runNumber) return;
  run.setInRun[name] = run.runNumber;
  gl::TextureParameteri(name, GL_TEXTURE_WRAP_S, wrap);
  gl::TextureParameteri(name, GL_TEXTURE_WRAP_T, wrap);
  gl::TextureParameteri(name, GL_TEXTURE_MIN_FILTER, filter);
  gl::TextureParameteri(name, GL_TEXTURE_MAG_FILTER, filter);
}

// Starts a run with sprite id bound as the fixed path binds it (unit 0,
// unit 1 off) and then the atlas in its place; false where the texture is
// not simply modulated.
bool StartRun(Renderer& r, RunState& run, int32_t id, GLint wrap) {
  GLint current = 0;
  glGetIntegerv(GL_CURRENT_PROGRAM, &current);
  if (current != 0) return false;
  BindTextures(r, id, -1, 0, nullptr, wrap);
  GLint mode = 0;
  glGetTexEnviv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, &mode);
  if (mode != GL_MODULATE) return false;
  if (!Identity(GL_TEXTURE_MATRIX)) return false;
  glBindTexture(GL_TEXTURE_2D, run.atlas);
  gl::UseProgramObjectARB(run.program);
  // 0 marks a name never set; the count wraps past it.
  if (++run.runNumber == 0) run.runNumber = 1;
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
         static_cast<GLuint>(bound) == run.atlas;
}

// Whether sprite id is the picture of the screen target being drawn into.
bool DrawnInto(const Renderer& r, int32_t id) {
  return r.currentTarget >= 0 && r.currentTarget < kRenderTargetCount && r.targets[r.currentTarget].spriteId == id;
}

}  // namespace

TexturePlace BindSpriteForQuad(Renderer& r, int32_t id, GLint wrap, GLint filter, bool batchable) {
  RunState& run = RunOf(r);
  if (run.active && !StillRunning(run)) {
    // Someone else changed the GL: what the run left is not to be trusted.
    run.active = false;
    GLint program = 0;
    glGetIntegerv(GL_CURRENT_PROGRAM, &program);
    if (static_cast<GLhandleARB>(program) == run.program) gl::UseProgramObjectARB(0);
  }
  const SpriteRecord& s = r.sprites[id];
  const GLuint texture = s.texture;
  const bool another = run.fixedTexture != 0 && run.fixedTexture != texture;
  if (batchable && wrap == GL_REPEAT && filter == GL_NEAREST && (run.active || another) && MayRun(r, run) &&
      !DrawnInto(r, id)) {
    const TexturePlace* place = PlaceOf(run, s);
    if (place != nullptr && (run.active || StartRun(r, run, id, wrap))) {
      SetParameters(run, texture, wrap, filter);
      run.lastId = id;
      return *place;
    }
  }
  EndSpriteRun();
  BindTextures(r, id, -1, 0, nullptr, wrap);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, filter);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, filter);
  run.fixedTexture = texture;
  return TexturePlace();
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
    glBindTexture(GL_TEXTURE_2D, r->sprites[id].texture);
    r->boundSprite = id;
  } else {
    glBindTexture(GL_TEXTURE_2D, 0);
    r->boundSprite = -1;
  }
  r->boundSprite2 = -1;
}

void ForgetSpriteTexture(uint32_t name) {
  const Renderer* r = TheRenderer();
  if (r == nullptr) return;
  RunState& run = RunOf(*r);
  if (name != 0 && name < run.copyOf.size() && run.copyOf[name] >= 0) run.copyOf[name] = kNoCopy;
}

void KeepSpriteTextureUncopied(uint32_t name) {
  const Renderer* r = TheRenderer();
  if (r == nullptr || name == 0 || name >= kNameLimit) return;
  CopyEntry(RunOf(*r), name) = kNeverCopy;
}

}  // namespace gfx2d

void EndSpriteBatch() { gfx2d::EndSpriteRun(); }

void SetSpriteBatching(bool on) {
  gfx2d::EndSpriteRun();
  gfx2d::Run().allowed = on;
}
