// OpenGL: the fixed-function 1.x API plus the extension entry points the
// runtime loads at window creation. An entry point stays null when its group's
// key is missing from the extension string; every user tests for null.
#pragma once

#include <GL/gl.h>
#include <GL/glext.h>

namespace gl {

// Group "GL_ARB_multitexture" (with swap interval and buffer objects).
extern PFNGLACTIVETEXTUREARBPROC ActiveTextureARB;
extern PFNGLMULTITEXCOORD2FARBPROC MultiTexCoord2fARB;
extern PFNGLCLIENTACTIVETEXTUREARBPROC ClientActiveTextureARB;
using SwapIntervalProc = int (*)(int interval);
extern SwapIntervalProc SwapIntervalEXT;
extern PFNGLGENBUFFERSARBPROC GenBuffersARB;
extern PFNGLBINDBUFFERARBPROC BindBufferARB;
extern PFNGLBUFFERDATAARBPROC BufferDataARB;
extern PFNGLDELETEBUFFERSARBPROC DeleteBuffersARB;
extern PFNGLMAPBUFFERARBPROC MapBufferARB;
extern PFNGLUNMAPBUFFERARBPROC UnmapBufferARB;
extern PFNGLGETBUFFERPARAMETERIVARBPROC GetBufferParameterivARB;

// Group "GL_ARB_fragment_program" (shader objects).
extern PFNGLCREATEPROGRAMOBJECTARBPROC CreateProgramObjectARB;
extern PFNGLDELETEOBJECTARBPROC DeleteObjectARB;
extern PFNGLCREATESHADEROBJECTARBPROC CreateShaderObjectARB;
extern PFNGLSHADERSOURCEARBPROC ShaderSourceARB;
extern PFNGLCOMPILESHADERARBPROC CompileShaderARB;
extern PFNGLGETOBJECTPARAMETERIVARBPROC GetObjectParameterivARB;
extern PFNGLATTACHOBJECTARBPROC AttachObjectARB;
extern PFNGLGETINFOLOGARBPROC GetInfoLogARB;
extern PFNGLLINKPROGRAMARBPROC LinkProgramARB;
extern PFNGLUSEPROGRAMOBJECTARBPROC UseProgramObjectARB;
extern PFNGLGETUNIFORMLOCATIONARBPROC GetUniformLocationARB;
extern PFNGLUNIFORM1FARBPROC Uniform1fARB;
extern PFNGLUNIFORM1IARBPROC Uniform1iARB;
extern PFNGLGETATTRIBLOCATIONARBPROC GetAttribLocationARB;
extern PFNGLVERTEXATTRIB1FARBPROC VertexAttrib1fARB;

// Group "GL_ARB_direct_state_access": texture parameters without a bind.
extern PFNGLTEXTUREPARAMETERIPROC TextureParameteri;
// Group "GL_ARB_copy_image".
extern PFNGLCOPYIMAGESUBDATAPROC CopyImageSubData;

// Loads each group whose key occurs in the extension string (plain substring
// test); the other group's pointers are set to null.
void LoadExtensionGroups(const char* extensions);

}  // namespace gl
