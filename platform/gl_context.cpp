#include "platform/gl_context.h"

#include <QObject>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLShaderProgram>
#include <QOpenGLExtraFunctions>
#include <QOpenGLFunctions_3_3_Core>
#include <QOpenGLVersionFunctionsFactory>
#include <algorithm>
#include <cstring>
#include <map>
#include <stdexcept>
#include <unordered_map>
#include <vector>

#include "platform/gl_programs.h"
#include "scene/bitmap.h"
#include "scene/material.h"

#ifndef GL_TEXTURE_MAX_ANISOTROPY_EXT
#define GL_TEXTURE_MAX_ANISOTROPY_EXT 0x84FE
#define GL_MAX_TEXTURE_MAX_ANISOTROPY_EXT 0x84FF
#endif

namespace sphaerix {

// ---------------------------------------------------------------------------------------
// The device: what one OpenGL context shares between all viewports drawing with it.

class TGLDevice : public std::enable_shared_from_this<TGLDevice> {
 public:
  struct Program {
    GLuint Id = 0;
    std::unordered_map<std::string, GLint> Locations;
  };

  // The device of the current context, made on first use and dropped when the context
  // is destroyed. Null when no context is current or it offers no OpenGL 3.3 core.
  static std::shared_ptr<TGLDevice> ForCurrentContext();

  ~TGLDevice();

  QOpenGLFunctions_3_3_Core* GL = nullptr;
  QOpenGLContext* Context = nullptr;
  bool Alive = true;
  GLuint Vao = 0;
  GLuint FrameVao = 0;  // no attributes: the frame quad comes from gl_VertexID
  GLint MaxTextureSize = 0;
  GLfloat MaxAnisotropy = 1.0f;  // 1 where the device has no anisotropic filtering

  Program& LightProgram(int ASlots);
  Program& TextureProgram();
  Program& FrameProgram();
  GLint Location(Program& AProgram, const char* AName);

  // Binds the buffers of a mesh to the device's vertex array, uploading only content
  // the device has not seen (a new buffer or a new revision).
  void BindMesh(const TVertexBuffer& AVertices, const TIndexBuffer& AIndices);
  // The texture object for ATexture, uploaded on first use and after each change; the
  // 1 x 1 opaque white texture when there is none (no texture, too large, empty).
  GLuint TextureFor(const TTexture* ATexture);
  // A texture object whose TTexture went away; deleted now when the context is current,
  // otherwise at the next scene.
  void ReleaseTexture(GLuint AName);
  void DeletePending();
  // After each scene: buffers of meshes not drawn for a while are dropped.
  void SceneDone();

 private:
  struct BufferEntry {
    GLuint Name = 0;
    std::uint64_t Revision = 0;
    std::uint64_t LastScene = 0;
  };

  void Create();
  void Destroy();
  GLuint Compile(GLenum AType, const char* ASource);
  Program Link(const char* AVertex, const char* APixel);
  GLuint Upload(std::unordered_map<const void*, BufferEntry>& ACache, const void* AKey, std::uint64_t ARevision,
                GLenum ATarget, const void* AData, GLsizeiptr ASize);

  Program FLight[4];  // 0, 2, 4, 8 slots
  Program FTexture, FFrame;
  GLuint FWhite = 0;
  std::unordered_map<const void*, BufferEntry> FVertexBuffers, FIndexBuffers;
  std::vector<GLuint> FPendingTextures;
  std::uint64_t FScenes = 0;
};

namespace {

// Never destroyed: at exit there may be no Qt left to release anything with, and the
// process's end frees the objects of contexts that were never destroyed.
std::map<QOpenGLContext*, std::shared_ptr<TGLDevice>>& Devices() {
  static auto* devices = new std::map<QOpenGLContext*, std::shared_ptr<TGLDevice>>;
  return *devices;
}

// "Lights[i].Opts" ... "Lights[i].Color" for every slot, made once.
const std::string& LightUniformName(int ASlot, int AField) {
  static const std::vector<std::string> names = [] {
    static const char* const fields[4] = {"Opts", "Pos", "Dir", "Color"};
    std::vector<std::string> all;
    for (int i = 0; i < MaxLightCount; ++i)
      for (const char* f : fields) all.push_back("Lights[" + std::to_string(i) + "]." + f);
    return all;
  }();
  return names[static_cast<std::size_t>(ASlot * 4 + AField)];
}

// Buffers of meshes not drawn for this many scenes are freed (the mesh may be gone).
constexpr std::uint64_t kBufferAge = 240;

struct TGLTextureHandle : TTextureHandle {
  std::weak_ptr<TGLDevice> Device;
  GLuint Name = 0;
  std::uint64_t Revision = 0;
  ~TGLTextureHandle() override {
    if (auto device = Device.lock(); device && device->Alive && Name) device->ReleaseTexture(Name);
  }
};

void SetUniformVector(QOpenGLFunctions_3_3_Core* gl, GLint ALocation, const TVector3D& v) {
  gl->glUniform4f(ALocation, v.X, v.Y, v.Z, v.W);
}

void SetUniformMatrix(QOpenGLFunctions_3_3_Core* gl, GLint ALocation, const TMatrix3D& m) {
  // Row-major rows uploaded as GLSL columns: the program's M * v is the scene's v x M.
  gl->glUniformMatrix4fv(ALocation, 1, GL_FALSE, &m.m[0][0]);
}

}  // namespace

std::shared_ptr<TGLDevice> TGLDevice::ForCurrentContext() {
  QOpenGLContext* context = QOpenGLContext::currentContext();
  if (!context) return nullptr;
  auto& devices = Devices();
  if (auto it = devices.find(context); it != devices.end()) return it->second;
  auto* gl = QOpenGLVersionFunctionsFactory::get<QOpenGLFunctions_3_3_Core>(context);
  if (!gl || !gl->initializeOpenGLFunctions()) return nullptr;
  auto device = std::make_shared<TGLDevice>();
  device->GL = gl;
  device->Context = context;
  device->Create();
  devices[context] = device;
  // Qt makes the context current before this signal, so the objects can be deleted.
  QObject::connect(context, &QOpenGLContext::aboutToBeDestroyed, [context] {
    auto& all = Devices();
    auto it = all.find(context);
    if (it == all.end()) return;
    std::shared_ptr<TGLDevice> d = it->second;
    all.erase(it);
    if (QOpenGLContext::currentContext() == context) d->Destroy();
    d->Alive = false;
  });
  return device;
}

TGLDevice::~TGLDevice() {
  if (Alive && QOpenGLContext::currentContext() == Context) Destroy();
}

void TGLDevice::Create() {
  GL->glGetIntegerv(GL_MAX_TEXTURE_SIZE, &MaxTextureSize);
  if (Context->hasExtension(QByteArrayLiteral("GL_EXT_texture_filter_anisotropic")) ||
      Context->hasExtension(QByteArrayLiteral("GL_ARB_texture_filter_anisotropic")))
    GL->glGetFloatv(GL_MAX_TEXTURE_MAX_ANISOTROPY_EXT, &MaxAnisotropy);
  GL->glGenVertexArrays(1, &Vao);
  GL->glGenVertexArrays(1, &FrameVao);
  const std::uint32_t white = 0xFFFFFFFF;
  GL->glGenTextures(1, &FWhite);
  GL->glBindTexture(GL_TEXTURE_2D, FWhite);
  GL->glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 1, 1, 0, GL_BGRA, GL_UNSIGNED_BYTE, &white);
  GL->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  GL->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  GL->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
}

void TGLDevice::Destroy() {
  if (!Alive) return;
  Alive = false;
  for (Program* p : {&FLight[0], &FLight[1], &FLight[2], &FLight[3], &FTexture, &FFrame})
    if (p->Id) GL->glDeleteProgram(p->Id);
  for (auto* cache : {&FVertexBuffers, &FIndexBuffers})
    for (auto& [key, entry] : *cache) GL->glDeleteBuffers(1, &entry.Name);
  DeletePending();
  GL->glDeleteTextures(1, &FWhite);
  GL->glDeleteVertexArrays(1, &Vao);
  GL->glDeleteVertexArrays(1, &FrameVao);
}

GLuint TGLDevice::Compile(GLenum AType, const char* ASource) {
  GLuint shader = GL->glCreateShader(AType);
  GL->glShaderSource(shader, 1, &ASource, nullptr);
  GL->glCompileShader(shader);
  GLint ok = 0;
  GL->glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
  if (!ok) {
    char log[2048] = {};
    GL->glGetShaderInfoLog(shader, sizeof log, nullptr, log);
    GL->glDeleteShader(shader);
    throw std::runtime_error(std::string("OpenGL program failed to compile: ") + log);
  }
  return shader;
}

TGLDevice::Program TGLDevice::Link(const char* AVertex, const char* APixel) {
  const GLuint vs = Compile(GL_VERTEX_SHADER, AVertex);
  GLuint fs = 0;
  try {
    fs = Compile(GL_FRAGMENT_SHADER, APixel);
  } catch (...) {
    GL->glDeleteShader(vs);
    throw;
  }
  Program p;
  p.Id = GL->glCreateProgram();
  GL->glAttachShader(p.Id, vs);
  GL->glAttachShader(p.Id, fs);
  GL->glLinkProgram(p.Id);
  GL->glDeleteShader(vs);
  GL->glDeleteShader(fs);
  GLint ok = 0;
  GL->glGetProgramiv(p.Id, GL_LINK_STATUS, &ok);
  if (!ok) {
    char log[2048] = {};
    GL->glGetProgramInfoLog(p.Id, sizeof log, nullptr, log);
    GL->glDeleteProgram(p.Id);
    throw std::runtime_error(std::string("OpenGL program failed to link: ") + log);
  }
  return p;
}

TGLDevice::Program& TGLDevice::LightProgram(int ASlots) {
  const int index = ASlots == 0 ? 0 : ASlots <= 2 ? 1 : ASlots <= 4 ? 2 : 3;
  Program& p = FLight[index];
  if (!p.Id) {
    const std::string vertex = LightVertexSource(index == 0 ? 0 : 1 << index);
    p = Link(vertex.c_str(), LightPixelSource());
  }
  return p;
}

TGLDevice::Program& TGLDevice::TextureProgram() {
  if (!FTexture.Id) FTexture = Link(TextureVertexSource(), TexturePixelSource());
  return FTexture;
}

TGLDevice::Program& TGLDevice::FrameProgram() {
  if (!FFrame.Id) FFrame = Link(FrameVertexSource(), FramePixelSource());
  return FFrame;
}

GLint TGLDevice::Location(Program& AProgram, const char* AName) {
  auto it = AProgram.Locations.find(AName);
  if (it != AProgram.Locations.end()) return it->second;
  const GLint location = GL->glGetUniformLocation(AProgram.Id, AName);
  AProgram.Locations.emplace(AName, location);
  return location;
}

GLuint TGLDevice::Upload(std::unordered_map<const void*, BufferEntry>& ACache, const void* AKey,
                         std::uint64_t ARevision, GLenum ATarget, const void* AData, GLsizeiptr ASize) {
  BufferEntry& e = ACache[AKey];
  e.LastScene = FScenes;
  if (!e.Name) GL->glGenBuffers(1, &e.Name);
  GL->glBindBuffer(ATarget, e.Name);
  if (e.Revision != ARevision) {
    GL->glBufferData(ATarget, ASize, AData, GL_STATIC_DRAW);
    e.Revision = ARevision;
  }
  return e.Name;
}

void TGLDevice::BindMesh(const TVertexBuffer& AVertices, const TIndexBuffer& AIndices) {
  GL->glBindVertexArray(Vao);
  Upload(FVertexBuffers, &AVertices, AVertices.Revision(), GL_ARRAY_BUFFER, AVertices.Data(), AVertices.Size());
  const GLsizei stride = TVertexBuffer::VertexSize();
  GL->glEnableVertexAttribArray(0);
  GL->glEnableVertexAttribArray(1);
  GL->glEnableVertexAttribArray(2);
  GL->glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, stride, reinterpret_cast<void*>(offsetof(TMeshVertex, Vertex)));
  GL->glVertexAttribPointer(1, 3, GL_FLOAT, GL_FALSE, stride, reinterpret_cast<void*>(offsetof(TMeshVertex, Normal)));
  GL->glVertexAttribPointer(2, 2, GL_FLOAT, GL_FALSE, stride,
                            reinterpret_cast<void*>(offsetof(TMeshVertex, TexCoord0)));
  Upload(FIndexBuffers, &AIndices, AIndices.Revision(), GL_ELEMENT_ARRAY_BUFFER, AIndices.Data(), AIndices.Size());
}

GLuint TGLDevice::TextureFor(const TTexture* ATexture) {
  if (!ATexture) return FWhite;
  auto* handle = dynamic_cast<TGLTextureHandle*>(ATexture->Handle());
  if (!handle || handle->Device.lock().get() != this) {
    auto fresh = std::make_unique<TGLTextureHandle>();
    fresh->Device = weak_from_this();
    handle = fresh.get();
    ATexture->SetHandle(std::move(fresh));
  }
  if (handle->Revision != ATexture->Revision()) {
    handle->Revision = ATexture->Revision();
    const TBitmap& bitmap = ATexture->Bitmap();
    const int w = ATexture->Width(), h = ATexture->Height();
    // The bitmap may have been emptied since the texture last took it: the texture keeps
    // what it had.
    const bool current = bitmap.Width() == w && bitmap.Height() == h && bitmap.Bits();
    if (current && (w > MaxTextureSize || h > MaxTextureSize)) {
      // Above the device's limit the texture is not created.
      if (handle->Name) GL->glDeleteTextures(1, &handle->Name);
      handle->Name = 0;
    } else if (current) {
      if (!handle->Name) GL->glGenTextures(1, &handle->Name);
      GL->glBindTexture(GL_TEXTURE_2D, handle->Name);
      GL->glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
      GL->glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
      // Rows top first: texture coordinate v = 0 is the image's top row.
      GL->glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, w, h, 0, GL_BGRA, GL_UNSIGNED_BYTE, bitmap.Bits());
      GL->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
      GL->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
      GL->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
      if (ATexture->MipMaps()) {
        // A map seen far smaller than it is (a 4096-wide ring over a few hundred pixels)
        // shimmers in moiré when sampled from one level; mip levels, and anisotropy
        // where the device has it, keep it calm.
        GL->glGenerateMipmap(GL_TEXTURE_2D);
        GL->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 1000);
        GL->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
        if (MaxAnisotropy > 1.0f)
          GL->glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_MAX_ANISOTROPY_EXT, std::min(8.0f, MaxAnisotropy));
      } else {
        GL->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
        GL->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        if (MaxAnisotropy > 1.0f) GL->glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_MAX_ANISOTROPY_EXT, 1.0f);
      }
    }
  }
  return handle->Name ? handle->Name : FWhite;
}

void TGLDevice::ReleaseTexture(GLuint AName) {
  if (QOpenGLContext::currentContext() == Context)
    GL->glDeleteTextures(1, &AName);
  else
    FPendingTextures.push_back(AName);
}

void TGLDevice::DeletePending() {
  if (!FPendingTextures.empty())
    GL->glDeleteTextures(static_cast<GLsizei>(FPendingTextures.size()), FPendingTextures.data());
  FPendingTextures.clear();
}

void TGLDevice::SceneDone() {
  ++FScenes;
  if (FScenes % kBufferAge != 0) return;
  for (auto* cache : {&FVertexBuffers, &FIndexBuffers})
    for (auto it = cache->begin(); it != cache->end();) {
      if (FScenes - it->second.LastScene > kBufferAge) {
        GL->glDeleteBuffers(1, &it->second.Name);
        it = cache->erase(it);
      } else {
        ++it;
      }
    }
}

// ---------------------------------------------------------------------------------------
// Surface format and the start-up check

QSurfaceFormat GLSurfaceFormat() {
  QSurfaceFormat format;
  format.setRenderableType(QSurfaceFormat::OpenGL);
  format.setVersion(3, 3);
  format.setProfile(QSurfaceFormat::CoreProfile);
  format.setDepthBufferSize(24);
  format.setStencilBufferSize(8);
  format.setAlphaBufferSize(8);
  return format;
}

bool CheckOpenGL33(std::string& AWhy) {
  QOffscreenSurface surface;
  surface.setFormat(GLSurfaceFormat());
  surface.create();
  if (!surface.isValid()) {
    AWhy = "no OpenGL surface can be created on this display";
    return false;
  }
  QOpenGLContext context;
  context.setFormat(GLSurfaceFormat());
  if (!context.create()) {
    AWhy = "no OpenGL 3.3 core context can be created";
    return false;
  }
  const QSurfaceFormat got = context.format();
  if (got.version() < qMakePair(3, 3) || got.renderableType() != QSurfaceFormat::OpenGL) {
    AWhy = "the OpenGL driver offers version " + std::to_string(got.majorVersion()) + "." +
           std::to_string(got.minorVersion()) + ", 3.3 core is needed";
    return false;
  }
  if (!context.makeCurrent(&surface)) {
    AWhy = "the OpenGL context cannot be made current";
    return false;
  }
  const bool functions = QOpenGLVersionFunctionsFactory::get<QOpenGLFunctions_3_3_Core>(&context) != nullptr;
  // A driver may claim the version and still refuse its shading language; finding out
  // here says so once, instead of failing every frame.
  std::string log;
  if (functions) {
    const std::string lightVertex = LightVertexSource(8);
    const std::pair<const char*, const char*> programs[] = {{lightVertex.c_str(), LightPixelSource()},
                                                            {TextureVertexSource(), TexturePixelSource()},
                                                            {FrameVertexSource(), FramePixelSource()}};
    for (const auto& [vertex, pixel] : programs) {
      QOpenGLShaderProgram program;
      if (!program.addShaderFromSourceCode(QOpenGLShader::Vertex, vertex) ||
          !program.addShaderFromSourceCode(QOpenGLShader::Fragment, pixel) || !program.link()) {
        log = program.log().trimmed().toStdString();
        break;
      }
    }
  }
  context.doneCurrent();
  if (!functions) {
    AWhy = "the OpenGL driver does not offer the 3.3 core functions";
    return false;
  }
  if (!log.empty()) {
    AWhy = "the OpenGL driver cannot build the drawing programs: " + log;
    return false;
  }
  return true;
}

// ---------------------------------------------------------------------------------------
// The render context of one viewport

TGLRenderContext::TGLRenderContext(int AWidth, int AHeight, TMultisample AMultisample)
    : TRenderTargetContext(AWidth, AHeight, AMultisample) {}

TGLRenderContext::~TGLRenderContext() {
  if (FDevice && FDevice->Alive && MakeCurrent()) ReleaseTargets();
}

bool TGLRenderContext::MakeCurrent() {
  if (FDevice && !FDevice->Alive) {
    // The OpenGL context went away, and every object with it.
    FDevice.reset();
    FGLContext = nullptr;
    FSurface = nullptr;
    FFbo = FColorBuffer = FDepthBuffer = FFrameFbo = FFrameTexture = 0;
    FSamples = 0;
  }
  QOpenGLContext* current = QOpenGLContext::currentContext();
  if (!FDevice) {
    if (!current) return false;
    FDevice = TGLDevice::ForCurrentContext();
    if (!FDevice) return false;
    FGLContext = current;
    FSurface = current->surface();
    return true;
  }
  if (current == FGLContext) return true;
  // Outside the window's paint (a screenshot): the context this target belongs to.
  return FSurface && FGLContext->makeCurrent(FSurface);
}

void TGLRenderContext::ReleaseTargets() {
  QOpenGLFunctions_3_3_Core* gl = FDevice->GL;
  if (FFbo) gl->glDeleteFramebuffers(1, &FFbo);
  if (FFrameFbo) gl->glDeleteFramebuffers(1, &FFrameFbo);
  if (FColorBuffer) gl->glDeleteRenderbuffers(1, &FColorBuffer);
  if (FDepthBuffer) gl->glDeleteRenderbuffers(1, &FDepthBuffer);
  if (FFrameTexture) gl->glDeleteTextures(1, &FFrameTexture);
  FFbo = FColorBuffer = FDepthBuffer = FFrameFbo = FFrameTexture = 0;
  FSamples = 0;
}

void TGLRenderContext::MultisampleChanged() {
  // The buffers are made again, with the new count, at the next scene.
  if (FDevice && FDevice->Alive && MakeCurrent()) ReleaseTargets();
}

bool TGLRenderContext::EnsureTargets() {
  if (FFbo) return true;
  QOpenGLFunctions_3_3_Core* gl = FDevice->GL;
  const int w = Width(), h = Height();
  while (gl->glGetError() != GL_NO_ERROR) {
  }
  GLint maxSamples = 1;
  gl->glGetIntegerv(GL_MAX_SAMPLES, &maxSamples);
  GLint previous = 0;
  gl->glGetIntegerv(GL_FRAMEBUFFER_BINDING, &previous);

  gl->glGenFramebuffers(1, &FFbo);
  gl->glGenRenderbuffers(1, &FColorBuffer);
  gl->glGenRenderbuffers(1, &FDepthBuffer);
  gl->glBindFramebuffer(GL_FRAMEBUFFER, FFbo);
  // Ask for the samples of Multisample, then one fewer at a time, down to one.
  for (int n = MultisampleCount(Multisample()); n >= 1 && !FSamples; --n) {
    if (n > 1 && n > maxSamples) continue;
    for (auto [buffer, format] : {std::pair{FColorBuffer, GLenum(GL_RGBA8)}, {FDepthBuffer, GLenum(GL_DEPTH24_STENCIL8)}}) {
      gl->glBindRenderbuffer(GL_RENDERBUFFER, buffer);
      if (n > 1)
        gl->glRenderbufferStorageMultisample(GL_RENDERBUFFER, n, format, w, h);
      else
        gl->glRenderbufferStorage(GL_RENDERBUFFER, format, w, h);
    }
    gl->glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, FColorBuffer);
    gl->glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER, FDepthBuffer);
    const bool ok = gl->glGetError() == GL_NO_ERROR &&
                    gl->glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
    if (ok) {
      GLint got = 0;
      gl->glBindRenderbuffer(GL_RENDERBUFFER, FColorBuffer);
      gl->glGetRenderbufferParameteriv(GL_RENDERBUFFER, GL_RENDERBUFFER_SAMPLES, &got);
      FSamples = std::max(1, got);
    }
  }

  gl->glGenTextures(1, &FFrameTexture);
  gl->glBindTexture(GL_TEXTURE_2D, FFrameTexture);
  gl->glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, w, h, 0, GL_BGRA, GL_UNSIGNED_BYTE, nullptr);
  gl->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  gl->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  gl->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
  gl->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
  gl->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
  gl->glGenFramebuffers(1, &FFrameFbo);
  gl->glBindFramebuffer(GL_FRAMEBUFFER, FFrameFbo);
  gl->glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, FFrameTexture, 0);
  const bool frameOk = gl->glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
  if (frameOk) {
    // A frame copied before any scene is transparent, not undefined.
    gl->glDisable(GL_SCISSOR_TEST);
    gl->glClearColor(0, 0, 0, 0);
    gl->glClear(GL_COLOR_BUFFER_BIT);
  }
  gl->glBindFramebuffer(GL_FRAMEBUFFER, previous);
  if (!FSamples || !frameOk) {
    ReleaseTargets();
    return false;
  }
  return true;
}

bool TGLRenderContext::DoBeginScene() {
  if (Width() <= 0 || Height() <= 0 || !MakeCurrent() || !EnsureTargets()) return false;
  QOpenGLFunctions_3_3_Core* gl = FDevice->GL;
  FDevice->DeletePending();
  gl->glGetIntegerv(GL_FRAMEBUFFER_BINDING, &FPreviousFbo);
  gl->glGetIntegerv(GL_VIEWPORT, FPreviousViewport);
  gl->glBindFramebuffer(GL_FRAMEBUFFER, FFbo);
  gl->glViewport(0, 0, Width(), Height());
  // Everything the frame relies on, whatever the window's painter left behind.
  gl->glDisable(GL_SCISSOR_TEST);
  gl->glDisable(GL_STENCIL_TEST);
  gl->glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
  gl->glEnable(GL_DEPTH_TEST);
  gl->glDepthFunc(GL_LEQUAL);
  gl->glDepthMask(GL_TRUE);
  gl->glEnable(GL_BLEND);
  gl->glBlendEquation(GL_FUNC_ADD);
  gl->glBlendFuncSeparate(GL_ONE, GL_ONE_MINUS_SRC_ALPHA, GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
  gl->glEnable(GL_CULL_FACE);
  gl->glCullFace(GL_BACK);
  gl->glFrontFace(GL_CW);
  gl->glActiveTexture(GL_TEXTURE0);
  return true;
}

void TGLRenderContext::DoEndScene() {
  QOpenGLFunctions_3_3_Core* gl = FDevice->GL;
  gl->glBindVertexArray(0);
  gl->glUseProgram(0);
  gl->glBindFramebuffer(GL_FRAMEBUFFER, FPreviousFbo);
  gl->glViewport(FPreviousViewport[0], FPreviousViewport[1], FPreviousViewport[2], FPreviousViewport[3]);
  FDevice->SceneDone();
}

void TGLRenderContext::ApplyState(TRenderState AState) {
  if (!InScene()) return;
  QOpenGLFunctions_3_3_Core* gl = FDevice->GL;
  switch (AState) {
    case TRenderState::csZWriteOn: gl->glDepthMask(GL_TRUE); break;
    case TRenderState::csZWriteOff: gl->glDepthMask(GL_FALSE); break;
    case TRenderState::csZTestOn:
      gl->glEnable(GL_DEPTH_TEST);
      gl->glDepthFunc(GL_LEQUAL);
      break;
    // Without the test OpenGL writes no depth either, as the frame expects.
    case TRenderState::csZTestOff: gl->glDisable(GL_DEPTH_TEST); break;
    case TRenderState::csAlphaBlendOn: gl->glEnable(GL_BLEND); break;
    case TRenderState::csAlphaBlendOff: gl->glDisable(GL_BLEND); break;
    case TRenderState::csAllFace: gl->glDisable(GL_CULL_FACE); break;
    case TRenderState::csFrontFace:
      gl->glEnable(GL_CULL_FACE);
      gl->glCullFace(GL_BACK);
      break;
    case TRenderState::csBackFace:
      gl->glEnable(GL_CULL_FACE);
      gl->glCullFace(GL_FRONT);
      break;
    case TRenderState::csScissorOn: gl->glEnable(GL_SCISSOR_TEST); break;
    case TRenderState::csScissorOff: gl->glDisable(GL_SCISSOR_TEST); break;
    default: break;
  }
}

void TGLRenderContext::Clear(TAlphaColor AColor, float ADepth, std::uint32_t AStencil) {
  if (!InScene()) return;
  QOpenGLFunctions_3_3_Core* gl = FDevice->GL;
  const TVector3D c = ColorToVector(AColor);
  // The target holds premultiplied colours.
  gl->glClearColor(c.X * c.W, c.Y * c.W, c.Z * c.W, c.W);
  gl->glClearDepth(ADepth);
  gl->glClearStencil(static_cast<GLint>(AStencil));
  gl->glDepthMask(GL_TRUE);
  gl->glStencilMask(0xFF);
  gl->glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
}

void TGLRenderContext::DrawTriangles(const TVertexBuffer& AVertices, const TIndexBuffer& AIndices,
                                     TMaterial* AMaterial, float AOpacity) {
  if (!InScene() || AIndices.Length() == 0 || AVertices.Length() == 0) return;
  FDevice->BindMesh(AVertices, AIndices);
  if (auto* lit = dynamic_cast<TLightMaterial*>(AMaterial))
    DrawLightMaterial(*lit, AOpacity);
  else if (auto* textured = dynamic_cast<TTextureMaterial*>(AMaterial))
    DrawTextureMaterial(textured->Texture(), AOpacity);
  else
    DrawTextureMaterial(nullptr, AOpacity);  // no material: plain white
  FDevice->GL->glDrawElements(GL_TRIANGLES, AIndices.Length(), GL_UNSIGNED_INT, nullptr);
}

void TGLRenderContext::DrawLightMaterial(const TLightMaterial& AMaterial, float AOpacity) {
  QOpenGLFunctions_3_3_Core* gl = FDevice->GL;
  const TLightMaterialUniforms u = LightMaterialUniforms(AMaterial, Lights(), CurrentEyePosition(), AOpacity);
  TGLDevice::Program& p = FDevice->LightProgram(u.SlotCount);
  gl->glUseProgram(p.Id);
  const TMatrix3D& model = CurrentMatrix();
  SetUniformMatrix(gl, FDevice->Location(p, "MVPMatrix"), CurrentModelViewProjection());
  SetUniformMatrix(gl, FDevice->Location(p, "ModelView"), model);
  SetUniformMatrix(gl, FDevice->Location(p, "ModelViewIT"), model.Inverse().Transpose());
  SetUniformVector(gl, FDevice->Location(p, "MaterialDiffuse"), u.MaterialDiffuse);
  SetUniformVector(gl, FDevice->Location(p, "MaterialSpecular"), u.MaterialSpecular);
  SetUniformVector(gl, FDevice->Location(p, "MaterialAmbient"), u.MaterialAmbient);
  SetUniformVector(gl, FDevice->Location(p, "MaterialEmission"), u.MaterialEmission);
  SetUniformVector(gl, FDevice->Location(p, "MaterialOpts"), u.MaterialOpts);
  SetUniformVector(gl, FDevice->Location(p, "EyePos"), u.EyePos);
  for (int i = 0; i < u.SlotCount; ++i) {
    const TVector3D* values[4] = {&u.Lights[i].Opts, &u.Lights[i].Pos, &u.Lights[i].Dir, &u.Lights[i].Color};
    for (int f = 0; f < 4; ++f)
      SetUniformVector(gl, FDevice->Location(p, LightUniformName(i, f).c_str()), *values[f]);
  }
  gl->glUniform1f(FDevice->Location(p, "Opacity"), u.Opacity);
  gl->glUniform1f(FDevice->Location(p, "Modulation"), u.Modulation);
  gl->glUniform1i(FDevice->Location(p, "texture0"), 0);
  gl->glBindTexture(GL_TEXTURE_2D, FDevice->TextureFor(u.Texture));
}

void TGLRenderContext::DrawTextureMaterial(const TTexture* ATexture, float AOpacity) {
  QOpenGLFunctions_3_3_Core* gl = FDevice->GL;
  TGLDevice::Program& p = FDevice->TextureProgram();
  gl->glUseProgram(p.Id);
  SetUniformMatrix(gl, FDevice->Location(p, "MVPMatrix"), CurrentModelViewProjection());
  gl->glUniform1f(FDevice->Location(p, "Opacity"), AOpacity);
  gl->glUniform1i(FDevice->Location(p, "texture0"), 0);
  const bool usable = ATexture && static_cast<long long>(ATexture->Width()) * ATexture->Height() != 0;
  gl->glBindTexture(GL_TEXTURE_2D, FDevice->TextureFor(usable ? ATexture : nullptr));
}

void TGLRenderContext::CopyToFrame() {
  if (!FFbo || !MakeCurrent()) return;
  QOpenGLFunctions_3_3_Core* gl = FDevice->GL;
  GLint read = 0, draw = 0;
  gl->glGetIntegerv(GL_READ_FRAMEBUFFER_BINDING, &read);
  gl->glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &draw);
  const GLboolean scissor = gl->glIsEnabled(GL_SCISSOR_TEST);
  gl->glDisable(GL_SCISSOR_TEST);
  gl->glBindFramebuffer(GL_READ_FRAMEBUFFER, FFbo);
  gl->glBindFramebuffer(GL_DRAW_FRAMEBUFFER, FFrameFbo);
  // Resolves the samples on the GPU; nothing comes back to the CPU.
  gl->glBlitFramebuffer(0, 0, Width(), Height(), 0, 0, Width(), Height(), GL_COLOR_BUFFER_BIT, GL_NEAREST);
  gl->glBindFramebuffer(GL_READ_FRAMEBUFFER, read);
  gl->glBindFramebuffer(GL_DRAW_FRAMEBUFFER, draw);
  if (scissor) gl->glEnable(GL_SCISSOR_TEST);
}

void TGLRenderContext::ReadFrame(TBitmap& ABitmap) {
  ABitmap.SetSize(Width(), Height());
  if (!FFrameFbo || ABitmap.IsEmpty() || !MakeCurrent()) return;
  QOpenGLFunctions_3_3_Core* gl = FDevice->GL;
  GLint read = 0;
  gl->glGetIntegerv(GL_READ_FRAMEBUFFER_BINDING, &read);
  gl->glBindFramebuffer(GL_READ_FRAMEBUFFER, FFrameFbo);
  gl->glPixelStorei(GL_PACK_ALIGNMENT, 4);
  gl->glPixelStorei(GL_PACK_ROW_LENGTH, 0);
  gl->glReadPixels(0, 0, Width(), Height(), GL_BGRA, GL_UNSIGNED_BYTE, ABitmap.Bits());
  gl->glBindFramebuffer(GL_READ_FRAMEBUFFER, read);
  // OpenGL gives the bottom row first; bitmaps keep the top row first.
  std::vector<std::uint32_t> row(static_cast<std::size_t>(Width()));
  for (int y = 0; y < Height() / 2; ++y) {
    std::uint32_t* a = ABitmap.Scanline(y);
    std::uint32_t* b = ABitmap.Scanline(Height() - 1 - y);
    std::memcpy(row.data(), a, row.size() * 4);
    std::memcpy(a, b, row.size() * 4);
    std::memcpy(b, row.data(), row.size() * 4);
  }
  ABitmap.BitmapChanged();
}

void TGLRenderContext::DrawFrame(int AX, int AY, int AWidth, int AHeight, int AFramebufferHeight, float AOpacity) {
  if (!FFrameTexture || !MakeCurrent()) return;
  QOpenGLFunctions_3_3_Core* gl = FDevice->GL;
  GLint viewport[4];
  gl->glGetIntegerv(GL_VIEWPORT, viewport);
  gl->glViewport(AX, AFramebufferHeight - AY - AHeight, AWidth, AHeight);
  gl->glDisable(GL_DEPTH_TEST);
  gl->glDisable(GL_CULL_FACE);
  gl->glDisable(GL_SCISSOR_TEST);
  gl->glDisable(GL_STENCIL_TEST);
  gl->glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
  gl->glEnable(GL_BLEND);
  gl->glBlendEquation(GL_FUNC_ADD);
  gl->glBlendFuncSeparate(GL_ONE, GL_ONE_MINUS_SRC_ALPHA, GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
  TGLDevice::Program& p = FDevice->FrameProgram();
  gl->glUseProgram(p.Id);
  gl->glUniform1f(FDevice->Location(p, "Opacity"), AOpacity);
  gl->glUniform1i(FDevice->Location(p, "frame"), 0);
  gl->glActiveTexture(GL_TEXTURE0);
  gl->glBindTexture(GL_TEXTURE_2D, FFrameTexture);
  gl->glBindVertexArray(FDevice->FrameVao);
  gl->glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
  gl->glBindVertexArray(0);
  gl->glUseProgram(0);
  gl->glViewport(viewport[0], viewport[1], viewport[2], viewport[3]);
}

std::unique_ptr<TRenderTargetContext> TGLContextFactory::CreateContext(int AWidth, int AHeight,
                                                                   TMultisample AMultisample) {
  return std::make_unique<TGLRenderContext>(AWidth, AHeight, AMultisample);
}

}  // namespace sphaerix
