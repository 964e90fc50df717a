#include "platform/gl_device.h"

#include "scene/view/viewport3d_context.h"

#include <QObject>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QOpenGLVersionFunctionsFactory>
#include <algorithm>
#include <cstddef>
#include <stdexcept>

#include "platform/gl_programs.h"
#include "scene/material/bitmap.h"
#include "scene/material/material.h"
#include "scene/mesh/mesh_buffers.h"

#ifndef GL_TEXTURE_MAX_ANISOTROPY_EXT
#define GL_TEXTURE_MAX_ANISOTROPY_EXT 0x84FE
#define GL_MAX_TEXTURE_MAX_ANISOTROPY_EXT 0x84FF
#endif

namespace sphaerix {

namespace {

// Keeps a context's device as a child of the context: found through it, freed with it.
class TGLDeviceAnchor : public QObject {
 public:
  TGLDeviceAnchor(QOpenGLContext* AContext, std::shared_ptr<TGLDevice> ADevice)
      : QObject(AContext), Device(std::move(ADevice)) {}
  std::shared_ptr<TGLDevice> Device;
};

TGLDeviceAnchor* AnchorOf(QOpenGLContext* AContext) {
  for (QObject* child : AContext->children())
    if (auto* anchor = dynamic_cast<TGLDeviceAnchor*>(child)) return anchor;
  return nullptr;
}

// Buffers of meshes not drawn for this many scenes are freed (the mesh may be gone).
constexpr std::uint64_t kBufferAge = 240;

}  // namespace

// The device's object for one TTexture; it goes with the texture.
struct TGLTextureHandle : TTextureHandle {
  std::weak_ptr<TGLDevice> Device;
  TGLTexture Texture;
  std::uint64_t Revision = 0;  // 0: nothing uploaded yet (revisions start at 1)
  ~TGLTextureHandle() override {
    auto device = Device.lock();
    if (!device || !device->Alive())
      Texture.Abandon();
    else if (QOpenGLContext::currentContext() != device->Context)
      device->ReleaseLater(std::move(Texture));
  }
};

TGLPicture::~TGLPicture() {
  auto device = FDevice.lock();
  if (!device || !device->Alive())
    FTexture.Abandon();
  else if (QOpenGLContext::currentContext() != device->Context)
    device->ReleaseLater(std::move(FTexture));
}

bool TGLPicture::BelongsTo(const TGLDevice& ADevice) const { return FDevice.lock().get() == &ADevice; }

std::shared_ptr<TGLDevice> TGLDevice::For(QOpenGLContext* AContext) {
  QOpenGLContext* context = AContext;
  if (!context || QOpenGLContext::currentContext() != context) return nullptr;
  if (TGLDeviceAnchor* anchor = AnchorOf(context)) return anchor->Device;
  auto* gl = QOpenGLVersionFunctionsFactory::get<QOpenGLFunctions_3_3_Core>(context);
  if (!gl || !gl->initializeOpenGLFunctions()) return nullptr;
  auto device = std::make_shared<TGLDevice>(gl, context);
  auto* anchor = new TGLDeviceAnchor(context, device);
  // Qt makes the context current before this signal, so the objects can be deleted; the
  // anchor, and the device with it unless a render target still holds it, goes with the
  // context right after.
  QObject::connect(context, &QOpenGLContext::aboutToBeDestroyed, anchor, [context, anchor] {
    if (QOpenGLContext::currentContext() == context) anchor->Device->Destroy();
    anchor->Device->AbandonAll();
  });
  return device;
}

TGLDevice::TGLDevice(QOpenGLFunctions_3_3_Core* AGL, QOpenGLContext* AContext) : GL(AGL), Context(AContext) {
  Create();
}

TGLDevice::~TGLDevice() {
  if (FAlive && QOpenGLContext::currentContext() == Context)
    Destroy();
  else
    AbandonAll();
}

void TGLDevice::Create() {
  GL->glGetIntegerv(GL_MAX_TEXTURE_SIZE, &FMaxTextureSize);
  if (Context->format().version() >= qMakePair(4, 2) ||
      Context->hasExtension(QByteArrayLiteral("GL_ARB_texture_storage")))
    FTexStorage2D = reinterpret_cast<TTexStorage2D>(Context->getProcAddress("glTexStorage2D"));
  if (Context->hasExtension(QByteArrayLiteral("GL_EXT_texture_filter_anisotropic")) ||
      Context->hasExtension(QByteArrayLiteral("GL_ARB_texture_filter_anisotropic")))
    GL->glGetFloatv(GL_MAX_TEXTURE_MAX_ANISOTROPY_EXT, &FMaxAnisotropy);
  FVao = TGLVertexArray::Create(GL);
  FFrameVao = TGLVertexArray::Create(GL);
  const std::uint32_t white = 0xFFFFFFFF;
  FWhite = TGLTexture::Create(GL);
  GL->glBindTexture(GL_TEXTURE_2D, FWhite.Name());
  GL->glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 1, 1, 0, GL_BGRA, GL_UNSIGNED_BYTE, &white);
  GL->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  GL->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  GL->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
  FPlainSampler = TGLSampler::Create(GL);
  if (FMaxAnisotropy > 1.0f) FSlantSampler = TGLSampler::Create(GL);
  for (const TGLSampler* sampler : {&FPlainSampler, &FSlantSampler}) {
    if (!*sampler) continue;
    GL->glSamplerParameteri(sampler->Name(), GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
    GL->glSamplerParameteri(sampler->Name(), GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    GL->glSamplerParameteri(sampler->Name(), GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    GL->glSamplerParameteri(sampler->Name(), GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
  }
  if (FSlantSampler)
    GL->glSamplerParameterf(FSlantSampler.Name(), GL_TEXTURE_MAX_ANISOTROPY_EXT, std::min(8.0f, FMaxAnisotropy));
}

void TGLDevice::Destroy() {
  if (!FAlive) return;
  for (Program* p : {&FLight[0], &FLight[1], &FLight[2], &FLight[3], &FLightInside[0], &FLightInside[1],
                     &FLightInside[2], &FLightInside[3], &FTexture, &FFrame, &FHiding})
    p->Object.Reset();
  FVertexBuffers.clear();
  FIndexBuffers.clear();
  FPendingTextures.clear();
  FWhite.Reset();
  FPlainSampler.Reset();
  FSlantSampler.Reset();
  FVao.Reset();
  FFrameVao.Reset();
  FAlive = false;
}

void TGLDevice::AbandonAll() {
  for (Program* p : {&FLight[0], &FLight[1], &FLight[2], &FLight[3], &FLightInside[0], &FLightInside[1],
                     &FLightInside[2], &FLightInside[3], &FTexture, &FFrame, &FHiding})
    p->Object.Abandon();
  for (auto* cache : {&FVertexBuffers, &FIndexBuffers})
    for (auto& entry : *cache) entry.second.Buffer.Abandon();
  for (TGLTexture& t : FPendingTextures) t.Abandon();
  FPendingTextures.clear();
  FWhite.Abandon();
  FPlainSampler.Abandon();
  FSlantSampler.Abandon();
  FVao.Abandon();
  FFrameVao.Abandon();
  FAlive = false;
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
  p.Object = TGLProgram::Create(GL);
  GL->glAttachShader(p.Id(), vs);
  GL->glAttachShader(p.Id(), fs);
  GL->glLinkProgram(p.Id());
  GL->glDeleteShader(vs);
  GL->glDeleteShader(fs);
  GLint ok = 0;
  GL->glGetProgramiv(p.Id(), GL_LINK_STATUS, &ok);
  if (!ok) {
    char log[2048] = {};
    GL->glGetProgramInfoLog(p.Id(), sizeof log, nullptr, log);
    throw std::runtime_error(std::string("OpenGL program failed to link: ") + log);
  }
  return p;
}

TGLDevice::Program& TGLDevice::LightProgram(int ASlots, bool AInside) {
  const int index = ASlots == 0 ? 0 : ASlots <= 2 ? 1 : ASlots <= 4 ? 2 : 3;
  Program& p = AInside ? FLightInside[index] : FLight[index];
  if (!p.Object) {
    const std::string vertex = LightVertexSource(index == 0 ? 0 : 1 << index);
    p = Link(vertex.c_str(), LightPixelSource(AInside));
  }
  return p;
}

TGLDevice::Program& TGLDevice::TextureProgram() {
  if (!FTexture.Object) FTexture = Link(TextureVertexSource(), TexturePixelSource());
  return FTexture;
}

TGLDevice::Program& TGLDevice::FrameProgram() {
  if (!FFrame.Object) FFrame = Link(FrameVertexSource(), FramePixelSource());
  return FFrame;
}

TGLDevice::Program& TGLDevice::HidingProgram() {
  if (!FHiding.Object) FHiding = Link(HidingVertexSource(), HidingPixelSource());
  return FHiding;
}

GLint TGLDevice::Location(Program& AProgram, const char* AName) {
  auto it = AProgram.Locations.find(AName);
  if (it != AProgram.Locations.end()) return it->second;
  const GLint location = GL->glGetUniformLocation(AProgram.Id(), AName);
  AProgram.Locations.emplace(AName, location);
  return location;
}

void TGLDevice::Upload(std::unordered_map<const void*, BufferEntry>& ACache, const void* AKey,
                       std::uint64_t ARevision, GLenum ATarget, const void* AData, GLsizeiptr ASize) {
  BufferEntry& e = ACache[AKey];
  e.LastScene = FScenes;
  if (!e.Buffer) e.Buffer = TGLBuffer::Create(GL);
  GL->glBindBuffer(ATarget, e.Buffer.Name());
  if (e.Revision != ARevision) {
    GL->glBufferData(ATarget, ASize, AData, GL_STATIC_DRAW);
    e.Revision = ARevision;
  }
}

void TGLDevice::BindMesh(const TVertexBuffer& AVertices, const TIndexBuffer& AIndices) {
  GL->glBindVertexArray(FVao.Name());
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
  if (!ATexture) return FWhite.Name();
  auto* handle = dynamic_cast<TGLTextureHandle*>(ATexture->Handle());
  if (!handle || handle->Device.lock().get() != this) {
    auto fresh = std::make_unique<TGLTextureHandle>();
    fresh->Device = weak_from_this();
    handle = fresh.get();
    ATexture->SetHandle(std::move(fresh));
  }
  if (handle->Revision != ATexture->Revision()) {
    handle->Revision = ATexture->Revision();
    TBitmap& bitmap = ATexture->Bitmap();
    const int w = ATexture->Width(), h = ATexture->Height();
    bool current = bitmap.Width() == w && bitmap.Height() == h && bitmap.Bits();
    // The picture went to the device before and the device lost it (or let it go):
    // it is decoded again from where it came from.
    if (!current && !handle->Texture && w > 0 && h > 0 && bitmap.Origin()) {
      try {
        current = bitmap.ReloadPixels() && bitmap.Width() == w && bitmap.Height() == h;
      } catch (const EBitmapLoadingFailed&) {
        current = false;
      }
    }
    // An emptied bitmap leaves the texture with what it had.
    if (current && (w > FMaxTextureSize || h > FMaxTextureSize))
      handle->Texture.Reset();  // above the device's limit the texture is not created
    else if (current)
      Fill(*handle, bitmap, ATexture->MipMaps());
  }
  return handle->Texture ? handle->Texture.Name() : FWhite.Name();
}

void TGLDevice::AdoptTexture(const TTexture& ATexture, TGLTexture AFilled) {
  auto handle = std::make_unique<TGLTextureHandle>();
  handle->Device = weak_from_this();
  handle->Texture = std::move(AFilled);
  handle->Revision = ATexture.Revision();
  ATexture.SetHandle(std::move(handle));
}

void TGLDevice::Fill(TGLTextureHandle& AHandle, TBitmap& ABitmap, bool AMipMaps) {
  const int w = ABitmap.Width(), h = ABitmap.Height();
  const int levels = AMipMaps ? TBitmap::FullMipChain(w, h) : 1;
  if (levels > 1 && ABitmap.MipLevelCount() != levels - 1) ABitmap.BuildMipLevels();
  // A new object each time: storage is allocated once, with every level, and the old
  // one goes first, so the device never holds two copies.
  AHandle.Texture.Reset();
  AHandle.Texture = TGLTexture::Create(GL);
  GL->glBindTexture(GL_TEXTURE_2D, AHandle.Texture.Name());
  GL->glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
  GL->glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
  if (FTexStorage2D) FTexStorage2D(GL_TEXTURE_2D, levels, GL_RGBA8, w, h);
  for (int level = 0, lw = w, lh = h; level < levels; ++level) {
    // Rows top first: texture coordinate v = 0 is the image's top row.
    const std::uint32_t* pixels = level == 0 ? ABitmap.Bits() : ABitmap.MipLevel(level);
    if (FTexStorage2D)
      GL->glTexSubImage2D(GL_TEXTURE_2D, level, 0, 0, lw, lh, GL_BGRA, GL_UNSIGNED_BYTE, pixels);
    else
      GL->glTexImage2D(GL_TEXTURE_2D, level, GL_RGBA8, lw, lh, 0, GL_BGRA, GL_UNSIGNED_BYTE, pixels);
    lw = std::max(1, lw / 2);
    lh = std::max(1, lh / 2);
  }
  GL->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  GL->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
  GL->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
  GL->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, levels - 1);
  if (levels > 1) {
    // A map seen far smaller than it is (a 4096-wide ring over a few hundred pixels)
    // shimmers in moiré when sampled from one level; mip levels, and anisotropy where
    // the device has it, keep it calm.
    GL->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
    if (FMaxAnisotropy > 1.0f)
      GL->glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_MAX_ANISOTROPY_EXT, std::min(8.0f, FMaxAnisotropy));
  } else {
    GL->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
  }
  // The device holds the picture now; one that can be decoded again is not kept twice.
  if (ABitmap.Origin()) ABitmap.ReleasePixels();
}

std::unique_ptr<TGLPicture> TGLDevice::MakePicture() {
  std::unique_ptr<TGLPicture> picture(new TGLPicture());
  picture->FDevice = weak_from_this();
  return picture;
}

void TGLDevice::DrawPicture(TGLPicture& APicture, std::int64_t AKey, const std::uint32_t* APixels, int AWidth,
                            int AHeight, int AX, int AY, const TWindowTarget& AWindow) {
  if (AWidth <= 0 || AHeight <= 0) return;
  Program& p = FrameProgram();
  GL->glActiveTexture(GL_TEXTURE0);
  if (!APicture.FTexture || APicture.FKey != AKey || APicture.FWidth != AWidth || APicture.FHeight != AHeight) {
    // Rows bottom first, as the frame program samples them. The texture is made as a
    // viewport's frame texture is, so that both sample alike.
    std::vector<std::uint32_t> rows(static_cast<std::size_t>(AWidth) * AHeight);
    for (int y = 0; y < AHeight; ++y)
      std::copy_n(APixels + static_cast<std::size_t>(AHeight - 1 - y) * AWidth, AWidth,
                  rows.data() + static_cast<std::size_t>(y) * AWidth);
    if (!APicture.FTexture || APicture.FWidth != AWidth || APicture.FHeight != AHeight) {
      APicture.FTexture.Reset();
      APicture.FTexture = TGLTexture::Create(GL);
    }
    GL->glBindTexture(GL_TEXTURE_2D, APicture.FTexture.Name());
    GL->glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    GL->glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    GL->glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, AWidth, AHeight, 0, GL_BGRA, GL_UNSIGNED_BYTE, rows.data());
    GL->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    GL->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    GL->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    GL->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    GL->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
    APicture.FKey = AKey;
    APicture.FWidth = AWidth;
    APicture.FHeight = AHeight;
  }
  GLint viewport[4];
  GL->glGetIntegerv(GL_VIEWPORT, viewport);
  GL->glViewport(AX, AWindow.Height - AY - AHeight, AWidth, AHeight);
  GL->glDisable(GL_DEPTH_TEST);
  GL->glDisable(GL_CULL_FACE);
  ClipTo(AWindow);
  GL->glDisable(GL_STENCIL_TEST);
  GL->glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
  GL->glEnable(GL_BLEND);
  GL->glBlendEquation(GL_FUNC_ADD);
  GL->glBlendFuncSeparate(GL_ONE, GL_ONE_MINUS_SRC_ALPHA, GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
  GL->glUseProgram(p.Id());
  GL->glUniform1f(Location(p, "Opacity"), 1.0f);
  GL->glUniform4f(Location(p, "UnderFill"), 0, 0, 0, 0);
  GL->glUniform1i(Location(p, "frame"), 0);
  GL->glBindTexture(GL_TEXTURE_2D, APicture.FTexture.Name());
  GL->glBindSampler(0, 0);
  GL->glBindVertexArray(FFrameVao.Name());
  GL->glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
  GL->glBindVertexArray(0);
  GL->glUseProgram(0);
  GL->glViewport(viewport[0], viewport[1], viewport[2], viewport[3]);
}

void TGLDevice::ClipTo(const TWindowTarget& AWindow) {
  if (AWindow.Clip.Empty()) {
    GL->glDisable(GL_SCISSOR_TEST);
    return;
  }
  // OpenGL counts rows from the bottom.
  GL->glScissor(AWindow.Clip.X, AWindow.Height - AWindow.Clip.Y - AWindow.Clip.Height, AWindow.Clip.Width,
                AWindow.Clip.Height);
  GL->glEnable(GL_SCISSOR_TEST);
}

void TGLDevice::ClearWindow(const TWindowTarget& AWindow, std::uint32_t AColor) {
  ClipTo(AWindow);
  const float a = static_cast<float>(AColor >> 24) / 255.0f;
  auto channel = [&](int AShift) { return static_cast<float>((AColor >> AShift) & 0xFF) / 255.0f * a; };
  GL->glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
  GL->glClearColor(channel(16), channel(8), channel(0), a);
  GL->glClear(GL_COLOR_BUFFER_BIT);
}

void TGLDevice::ReleaseLater(TGLTexture ATexture) {
  if (ATexture) FPendingTextures.push_back(std::move(ATexture));
}

void TGLDevice::DeletePending() { FPendingTextures.clear(); }

void TGLDevice::SceneDone() {
  ++FScenes;
  if (FScenes % kBufferAge != 0) return;
  for (auto* cache : {&FVertexBuffers, &FIndexBuffers})
    for (auto it = cache->begin(); it != cache->end();) {
      if (FScenes - it->second.LastScene > kBufferAge)
        it = cache->erase(it);
      else
        ++it;
    }
}

}  // namespace sphaerix
