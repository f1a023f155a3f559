// The extension entry points: loaded by group from the extension string.
#include "gl/gl_ext.h"

#include <cstring>

#include "platform/platform.h"

namespace gl {

PFNGLACTIVETEXTUREARBPROC ActiveTextureARB = nullptr;
PFNGLMULTITEXCOORD2FARBPROC MultiTexCoord2fARB = nullptr;
PFNGLCLIENTACTIVETEXTUREARBPROC ClientActiveTextureARB = nullptr;
SwapIntervalProc SwapIntervalEXT = nullptr;
PFNGLGENBUFFERSARBPROC GenBuffersARB = nullptr;
PFNGLBINDBUFFERARBPROC BindBufferARB = nullptr;
PFNGLBUFFERDATAARBPROC BufferDataARB = nullptr;
PFNGLDELETEBUFFERSARBPROC DeleteBuffersARB = nullptr;
PFNGLMAPBUFFERARBPROC MapBufferARB = nullptr;
PFNGLUNMAPBUFFERARBPROC UnmapBufferARB = nullptr;
PFNGLGETBUFFERPARAMETERIVARBPROC GetBufferParameterivARB = nullptr;

PFNGLCREATEPROGRAMOBJECTARBPROC CreateProgramObjectARB = nullptr;
PFNGLDELETEOBJECTARBPROC DeleteObjectARB = nullptr;
PFNGLCREATESHADEROBJECTARBPROC CreateShaderObjectARB = nullptr;
PFNGLSHADERSOURCEARBPROC ShaderSourceARB = nullptr;
PFNGLCOMPILESHADERARBPROC CompileShaderARB = nullptr;
PFNGLGETOBJECTPARAMETERIVARBPROC GetObjectParameterivARB = nullptr;
PFNGLATTACHOBJECTARBPROC AttachObjectARB = nullptr;
PFNGLGETINFOLOGARBPROC GetInfoLogARB = nullptr;
PFNGLLINKPROGRAMARBPROC LinkProgramARB = nullptr;
PFNGLUSEPROGRAMOBJECTARBPROC UseProgramObjectARB = nullptr;
PFNGLGETUNIFORMLOCATIONARBPROC GetUniformLocationARB = nullptr;
PFNGLUNIFORM1FARBPROC Uniform1fARB = nullptr;
PFNGLUNIFORM1IARBPROC Uniform1iARB = nullptr;
PFNGLGETATTRIBLOCATIONARBPROC GetAttribLocationARB = nullptr;
PFNGLVERTEXATTRIB1FARBPROC VertexAttrib1fARB = nullptr;

PFNGLTEXTUREPARAMETERIPROC TextureParameteri = nullptr;
PFNGLCOPYIMAGESUBDATAPROC CopyImageSubData = nullptr;

namespace {

template <typename Proc>
void Load(Proc& pointer, const char* name, bool wanted) {
  pointer = wanted ? reinterpret_cast<Proc>(platform::GLProcAddress(name)) : nullptr;
}

// The swap interval belongs to the window system, not to the GL: the
// platform's call stands in for the WGL entry point.
int PlatformSwapInterval(int interval) { return platform::SetSwapInterval(interval) ? 1 : 0; }

}  // namespace

void LoadExtensionGroups(const char* extensions) {
  const bool multitexture = extensions != nullptr && std::strstr(extensions, "GL_ARB_multitexture") != nullptr;
  const bool shaders = extensions != nullptr && std::strstr(extensions, "GL_ARB_fragment_program") != nullptr;

  Load(ActiveTextureARB, "glActiveTextureARB", multitexture);
  Load(MultiTexCoord2fARB, "glMultiTexCoord2fARB", multitexture);
  Load(ClientActiveTextureARB, "glClientActiveTextureARB", multitexture);
  SwapIntervalEXT = multitexture ? &PlatformSwapInterval : nullptr;
  Load(GenBuffersARB, "glGenBuffersARB", multitexture);
  Load(BindBufferARB, "glBindBufferARB", multitexture);
  Load(BufferDataARB, "glBufferDataARB", multitexture);
  Load(DeleteBuffersARB, "glDeleteBuffersARB", multitexture);
  Load(MapBufferARB, "glMapBufferARB", multitexture);
  Load(UnmapBufferARB, "glUnmapBufferARB", multitexture);
  Load(GetBufferParameterivARB, "glGetBufferParameterivARB", multitexture);

  Load(CreateProgramObjectARB, "glCreateProgramObjectARB", shaders);
  Load(DeleteObjectARB, "glDeleteObjectARB", shaders);
  Load(CreateShaderObjectARB, "glCreateShaderObjectARB", shaders);
  Load(ShaderSourceARB, "glShaderSourceARB", shaders);
  Load(CompileShaderARB, "glCompileShaderARB", shaders);
  Load(GetObjectParameterivARB, "glGetObjectParameterivARB", shaders);
  Load(AttachObjectARB, "glAttachObjectARB", shaders);
  Load(GetInfoLogARB, "glGetInfoLogARB", shaders);
  Load(LinkProgramARB, "glLinkProgramARB", shaders);
  Load(UseProgramObjectARB, "glUseProgramObjectARB", shaders);
  Load(GetUniformLocationARB, "glGetUniformLocationARB", shaders);
  Load(Uniform1fARB, "glUniform1fARB", shaders);
  Load(Uniform1iARB, "glUniform1iARB", shaders);
  Load(GetAttribLocationARB, "glGetAttribLocationARB", shaders);
  Load(VertexAttrib1fARB, "glVertexAttrib1fARB", shaders);

  const bool directState = extensions != nullptr && std::strstr(extensions, "GL_ARB_direct_state_access") != nullptr;
  const bool copyImage = extensions != nullptr && std::strstr(extensions, "GL_ARB_copy_image") != nullptr;
  Load(TextureParameteri, "glTextureParameteri", directState);
  Load(CopyImageSubData, "glCopyImageSubData", copyImage);
}

}  // namespace gl
