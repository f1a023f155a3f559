// GLSL shader slots: loading vertex and fragment stages from files, selecting
// the current program and setting its uniforms and attributes.
#include <cstdint>
#include <string>

#include "core/basic_string.h"
#include "core/core.h"
#include "core/settings.h"
#include "files/read_channel.h"
#include "gfx3d/gfx3d.h"
#include "gfx3d/internal/engine3d.h"
#include "gl/gl_ext.h"

namespace {

struct ShaderSlot {
  GLhandleARB program = 0;
  GLhandleARB vertex = 0;
  GLhandleARB fragment = 0;
};

ShaderSlot g_slots[SHADER_SLOT_COUNT];
// What UseShader selected: the slot (-1: none) and the GL program it had then. The uniform
// setters and the samplers speak to that program.
struct ShaderInUse {
  int32_t slot = -1;
  GLhandleARB program = 0;
} g_inUse;
bool g_noSupportReported = false;

// Shader messages reach the debugger only in a debug build.
void Report(const std::string& text) {
  if (Settings().DebugMode == 0) return;
  DebugOutput((text + "\n").c_str());
}

bool ShaderObjectsSupported() {
  return gl::CreateShaderObjectARB != nullptr && gl::CompileShaderARB != nullptr &&
         gl::LinkProgramARB != nullptr && gl::CreateProgramObjectARB != nullptr &&
         gl::ShaderSourceARB != nullptr && gl::GetObjectParameterivARB != nullptr &&
         gl::AttachObjectARB != nullptr;
}

// GLSL sources are a few kilobytes; a larger file is refused unread.
constexpr int64_t kMostSourceBytes = int64_t{4} << 20;

enum class SourceRead { kRead, kMissing, kTooLarge, kNotText };

// The whole file through the file layer (memory files and archive entries
// included). A source holding a NUL byte is no text: the compiler would
// stop at it and build whatever came before.
SourceRead ReadSource(const char* name, std::string* text) {
  ResolvedFile file;
  ReadChannel channel;
  if (!ResolveFile(MemoryResolver(), name, &file) || !OpenReadChannel(channel, file)) return SourceRead::kMissing;
  if (channel.size > kMostSourceBytes) {
    CloseChannel(channel);
    return SourceRead::kTooLarge;
  }
  text->resize(static_cast<size_t>(channel.size));
  const int64_t got = channel.size > 0 ? ChannelRead(channel, text->data(), channel.size) : 0;
  CloseChannel(channel);
  text->resize(got > 0 ? static_cast<size_t>(got) : 0);
  return text->find('\0') == std::string::npos ? SourceRead::kRead : SourceRead::kNotText;
}

void ReportInfoLog(GLhandleARB object) {
  if (gl::GetInfoLogARB == nullptr) return;
  GLint length = 0;
  gl::GetObjectParameterivARB(object, GL_OBJECT_INFO_LOG_LENGTH_ARB, &length);
  if (length <= 1) return;
  std::string log(static_cast<size_t>(length), '\0');
  GLsizei written = 0;
  gl::GetInfoLogARB(object, length, &written, log.data());
  log.resize(written > 0 && written < length ? static_cast<size_t>(written) : 0);
  if (!log.empty()) Report(log);
}

// Builds one stage of the slot. Returns 1 compiled, 0 failed (the error
// set: 7 for a file too large to be a source, 3 otherwise), -1 left out (no
// name, or a file that cannot be read).
int32_t CompileStage(const char* name, GLenum type, const char* failure, GLhandleARB* object) {
  if (name == nullptr || name[0] == '\0') return -1;
  std::string source;
  const SourceRead read = ReadSource(name, &source);
  if (read == SourceRead::kMissing) return -1;
  if (read != SourceRead::kRead) {
    Report(read == SourceRead::kTooLarge ? "shader file too large" : "shader file is not text");
    Report(failure);
    SetLastError(read == SourceRead::kTooLarge ? kErrorOutOfMemory : kErrorNoSuchFile);
    return 0;
  }
  *object = gl::CreateShaderObjectARB(type);
  const GLcharARB* text = source.c_str();
  gl::ShaderSourceARB(*object, 1, &text, nullptr);
  gl::CompileShaderARB(*object);
  GLint compiled = 0;
  gl::GetObjectParameterivARB(*object, GL_OBJECT_COMPILE_STATUS_ARB, &compiled);
  if (compiled != 0) return 1;
  ReportInfoLog(*object);
  Report(failure);
  SetLastError(kErrorNoSuchFile);
  return 0;
}

void DeleteObject(GLhandleARB* object) {
  if (*object != 0) gl::DeleteObjectARB(*object);
  *object = 0;
}

std::string NameText(const char* name) { return name != nullptr ? name : ""; }

}  // namespace

int32_t LoadShader(Number slotNumber, const char* vertexFile, const char* fragmentFile) {
  const int32_t slotId = TruncToInt32(slotNumber);
  if (slotId < 0 || slotId >= SHADER_SLOT_COUNT) {
    SetLastError(kErrorOutOfMemory);
    return 0;
  }
  if (!ShaderObjectsSupported()) {
    if (!g_noSupportReported) Report("No OpenGL 2.0 Shader Support");
    g_noSupportReported = true;
    return 0;
  }
  ClearLastError();
  ShaderSlot& slot = g_slots[slotId];
  if (gl::DeleteObjectARB != nullptr) {
    DeleteObject(&slot.program);
    DeleteObject(&slot.vertex);
    DeleteObject(&slot.fragment);
  }
  slot.program = slot.vertex = slot.fragment = 0;

  const int32_t vertex = CompileStage(vertexFile, GL_VERTEX_SHADER_ARB, "vertex shader failed", &slot.vertex);
  const int32_t fragment =
      CompileStage(fragmentFile, GL_FRAGMENT_SHADER_ARB, "fragment shader failed", &slot.fragment);
  // A stage that failed to compile fails the whole load: linking it would
  // only fail again.
  if (vertex == 0 || fragment == 0) return 0;
  if (vertex < 0 && fragment < 0) {
    SetLastError(kErrorNoSuchFile);
    return 0;
  }

  slot.program = gl::CreateProgramObjectARB();
  if (slot.vertex != 0) gl::AttachObjectARB(slot.program, slot.vertex);
  if (slot.fragment != 0) gl::AttachObjectARB(slot.program, slot.fragment);
  gl::LinkProgramARB(slot.program);
  GLint linked = 0;
  gl::GetObjectParameterivARB(slot.program, GL_OBJECT_LINK_STATUS_ARB, &linked);
  if (linked != 0) return 1;
  ReportInfoLog(slot.program);
  Report("link shader failed");
  SetLastError(kErrorNoSuchFile);
  return 0;
}

int32_t LoadShader(Number slot, const BasicString& vertexFile, const BasicString& fragmentFile) {
  return LoadShader(slot, vertexFile.c_str(), fragmentFile.c_str());
}

void UseShader(Number slotNumber) {
  const int32_t slotId = TruncToInt32(slotNumber);
  const bool inTable = slotId >= 0 && slotId < SHADER_SLOT_COUNT;
  const GLhandleARB program = inTable ? g_slots[slotId].program : 0;
  if (gl::UseProgramObjectARB != nullptr) gl::UseProgramObjectARB(program);
  g_inUse.slot = inTable ? slotId : -1;
  g_inUse.program = gl::UseProgramObjectARB != nullptr ? program : 0;
}

int32_t CurrentShader() { return g_inUse.slot; }

uint32_t ShaderProgramInUse() { return g_inUse.program; }

void SetShaderSamplers() {
  if (g_inUse.program == 0 || gl::GetUniformLocationARB == nullptr || gl::Uniform1iARB == nullptr) return;
  const GLint first = gl::GetUniformLocationARB(g_inUse.program, "TextureID1");
  if (first >= 0) gl::Uniform1iARB(first, 0);
  const GLint second = gl::GetUniformLocationARB(g_inUse.program, "TextureID2");
  if (second >= 0) gl::Uniform1iARB(second, 1);
}

// Window re-activation and every new frame start without a program.
void SelectNoShaderProgram() { UseShader(-1); }

void SetShaderUniform(const char* name, Number value) {
  if (g_inUse.program == 0 || gl::GetUniformLocationARB == nullptr || gl::Uniform1fARB == nullptr) return;
  const GLint location = gl::GetUniformLocationARB(g_inUse.program, name != nullptr ? name : "");
  if (location == -1) {
    Report("undefined uniform:" + NameText(name));
    return;
  }
  gl::Uniform1fARB(location, static_cast<float>(value));
}

void SetShaderUniformInt(const char* name, Number value) {
  if (g_inUse.program == 0 || gl::GetUniformLocationARB == nullptr || gl::Uniform1iARB == nullptr) return;
  const GLint location = gl::GetUniformLocationARB(g_inUse.program, name != nullptr ? name : "");
  if (location == -1) {
    Report("undefined uniform:" + NameText(name));
    return;
  }
  gl::Uniform1iARB(location, TruncToInt32(value));
}

void SetShaderAttribute(const char* name, Number value) {
  if (g_inUse.program == 0 || gl::GetAttribLocationARB == nullptr || gl::VertexAttrib1fARB == nullptr) return;
  const GLint location = gl::GetAttribLocationARB(g_inUse.program, name != nullptr ? name : "");
  if (location == -1) {
    Report("undefined attrib:" + NameText(name));
    return;
  }
  gl::VertexAttrib1fARB(static_cast<GLuint>(location), static_cast<float>(value));
}

void SetShaderUniform(const BasicString& name, Number value) { SetShaderUniform(name.c_str(), value); }
void SetShaderUniformInt(const BasicString& name, Number value) { SetShaderUniformInt(name.c_str(), value); }
void SetShaderAttribute(const BasicString& name, Number value) { SetShaderAttribute(name.c_str(), value); }
