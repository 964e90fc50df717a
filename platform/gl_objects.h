// Owners of OpenGL objects: each handle holds one object name and deletes it when it goes,
// so no object is released by hand and none is released twice. Handles move, never copy.
//
// Deleting needs the object's context to be current. Where it may not be (a handle that
// dies outside a paint), the owner hands the name to the device's pending list instead;
// where the context is already gone (and every object with it), Abandon forgets the name.
#pragma once

#include <QOpenGLFunctions_3_3_Core>
#include <utility>

namespace sphaerix {

template <class TKind>
class TGLHandle {
 public:
  TGLHandle() = default;
  // A new object of this kind in the current context of AGL.
  static TGLHandle Create(QOpenGLFunctions_3_3_Core* AGL) { return TGLHandle(AGL, TKind::Create(AGL)); }

  TGLHandle(const TGLHandle&) = delete;
  TGLHandle& operator=(const TGLHandle&) = delete;
  TGLHandle(TGLHandle&& AOther) noexcept : FGL(AOther.FGL), FName(std::exchange(AOther.FName, 0)) {}
  TGLHandle& operator=(TGLHandle&& AOther) noexcept {
    if (this != &AOther) {
      Reset();
      FGL = AOther.FGL;
      FName = std::exchange(AOther.FName, 0);
    }
    return *this;
  }
  ~TGLHandle() { Reset(); }

  GLuint Name() const { return FName; }
  explicit operator bool() const { return FName != 0; }

  // Deletes the object now; its context must be current.
  void Reset() {
    if (FName) TKind::Delete(FGL, FName);
    FName = 0;
  }
  // The context went away with the object: forget the name without deleting.
  void Abandon() { FName = 0; }

 private:
  TGLHandle(QOpenGLFunctions_3_3_Core* AGL, GLuint AName) : FGL(AGL), FName(AName) {}

  QOpenGLFunctions_3_3_Core* FGL = nullptr;
  GLuint FName = 0;
};

// The kinds made and deleted by name in batches: one generator, one deleter.
template <void (QOpenGLFunctions_3_3_Core::*Generate)(GLsizei, GLuint*),
          void (QOpenGLFunctions_3_3_Core::*Remove)(GLsizei, const GLuint*)>
struct TGLNamedKind {
  static GLuint Create(QOpenGLFunctions_3_3_Core* AGL) {
    GLuint name = 0;
    (AGL->*Generate)(1, &name);
    return name;
  }
  static void Delete(QOpenGLFunctions_3_3_Core* AGL, GLuint AName) { (AGL->*Remove)(1, &AName); }
};

using TGLTextureKind =
    TGLNamedKind<&QOpenGLFunctions_3_3_Core::glGenTextures, &QOpenGLFunctions_3_3_Core::glDeleteTextures>;
using TGLBufferKind =
    TGLNamedKind<&QOpenGLFunctions_3_3_Core::glGenBuffers, &QOpenGLFunctions_3_3_Core::glDeleteBuffers>;
using TGLFramebufferKind =
    TGLNamedKind<&QOpenGLFunctions_3_3_Core::glGenFramebuffers, &QOpenGLFunctions_3_3_Core::glDeleteFramebuffers>;
using TGLRenderbufferKind =
    TGLNamedKind<&QOpenGLFunctions_3_3_Core::glGenRenderbuffers, &QOpenGLFunctions_3_3_Core::glDeleteRenderbuffers>;
using TGLVertexArrayKind =
    TGLNamedKind<&QOpenGLFunctions_3_3_Core::glGenVertexArrays, &QOpenGLFunctions_3_3_Core::glDeleteVertexArrays>;
using TGLSamplerKind =
    TGLNamedKind<&QOpenGLFunctions_3_3_Core::glGenSamplers, &QOpenGLFunctions_3_3_Core::glDeleteSamplers>;

// Programs are made one at a time and have a deleter of their own.
struct TGLProgramKind {
  static GLuint Create(QOpenGLFunctions_3_3_Core* AGL) { return AGL->glCreateProgram(); }
  static void Delete(QOpenGLFunctions_3_3_Core* AGL, GLuint AName) { AGL->glDeleteProgram(AName); }
};

using TGLTexture = TGLHandle<TGLTextureKind>;
using TGLBuffer = TGLHandle<TGLBufferKind>;
using TGLFramebuffer = TGLHandle<TGLFramebufferKind>;
using TGLRenderbuffer = TGLHandle<TGLRenderbufferKind>;
using TGLVertexArray = TGLHandle<TGLVertexArrayKind>;
using TGLSampler = TGLHandle<TGLSamplerKind>;
using TGLProgram = TGLHandle<TGLProgramKind>;

}  // namespace sphaerix
