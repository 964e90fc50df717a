#include "platform/gl_objects.h"

namespace sphaerix {

GLuint TGLTextureKind::Create(QOpenGLFunctions_3_3_Core* AGL) {
  GLuint name = 0;
  AGL->glGenTextures(1, &name);
  return name;
}
void TGLTextureKind::Delete(QOpenGLFunctions_3_3_Core* AGL, GLuint AName) { AGL->glDeleteTextures(1, &AName); }

GLuint TGLBufferKind::Create(QOpenGLFunctions_3_3_Core* AGL) {
  GLuint name = 0;
  AGL->glGenBuffers(1, &name);
  return name;
}
void TGLBufferKind::Delete(QOpenGLFunctions_3_3_Core* AGL, GLuint AName) { AGL->glDeleteBuffers(1, &AName); }

GLuint TGLFramebufferKind::Create(QOpenGLFunctions_3_3_Core* AGL) {
  GLuint name = 0;
  AGL->glGenFramebuffers(1, &name);
  return name;
}
void TGLFramebufferKind::Delete(QOpenGLFunctions_3_3_Core* AGL, GLuint AName) {
  AGL->glDeleteFramebuffers(1, &AName);
}

GLuint TGLRenderbufferKind::Create(QOpenGLFunctions_3_3_Core* AGL) {
  GLuint name = 0;
  AGL->glGenRenderbuffers(1, &name);
  return name;
}
void TGLRenderbufferKind::Delete(QOpenGLFunctions_3_3_Core* AGL, GLuint AName) {
  AGL->glDeleteRenderbuffers(1, &AName);
}

GLuint TGLVertexArrayKind::Create(QOpenGLFunctions_3_3_Core* AGL) {
  GLuint name = 0;
  AGL->glGenVertexArrays(1, &name);
  return name;
}
void TGLVertexArrayKind::Delete(QOpenGLFunctions_3_3_Core* AGL, GLuint AName) {
  AGL->glDeleteVertexArrays(1, &AName);
}

GLuint TGLProgramKind::Create(QOpenGLFunctions_3_3_Core* AGL) { return AGL->glCreateProgram(); }
void TGLProgramKind::Delete(QOpenGLFunctions_3_3_Core* AGL, GLuint AName) { AGL->glDeleteProgram(AName); }

}  // namespace sphaerix
