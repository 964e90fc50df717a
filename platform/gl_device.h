// TGLDevice: what one OpenGL context shares between all viewports drawing with it: the
// programs, the vertex and index buffers of the meshes (uploaded once per content
// revision) and the textures of the materials (uploaded once per bitmap change).
//
// The device belongs to its context: it is made on first use in that context, kept by
// the context itself, and freed with it. Its objects are deleted while the context is
// current (Qt makes it current to announce its end); a device whose context is gone
// forgets them.
#pragma once

#include <QOpenGLFunctions_3_3_Core>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/gl_objects.h"

class QOpenGLContext;

namespace sphaerix {

class TBitmap;
class TTexture;
struct TGLTextureHandle;
class TVertexBuffer;
class TIndexBuffer;

class TGLDevice;
struct TWindowTarget;

// Where a render target finds its device: the window that shows it makes its context
// current and hands over the device of that context (null when it has none yet).
class IGLDeviceSource {
 public:
  virtual ~IGLDeviceSource() = default;
  virtual std::shared_ptr<TGLDevice> MakeCurrent() = 0;
};

// A picture the device draws over the window (a layer of 2D controls), held by its owner:
// its texture goes with it, or with the device when the device goes first.
class TGLPicture {
 public:
  ~TGLPicture();
  TGLPicture(const TGLPicture&) = delete;
  TGLPicture& operator=(const TGLPicture&) = delete;
  bool BelongsTo(const TGLDevice& ADevice) const;

 private:
  friend class TGLDevice;
  TGLPicture() = default;
  std::weak_ptr<TGLDevice> FDevice;
  TGLTexture FTexture;
  std::int64_t FKey = 0;  // the content the texture holds
  int FWidth = 0, FHeight = 0;
};

class TGLDevice : public std::enable_shared_from_this<TGLDevice> {
 public:
  struct Program {
    TGLProgram Object;
    std::unordered_map<std::string, GLint> Locations;
    GLuint Id() const { return Object.Name(); }
  };

  // The device of AContext, which must be current: made on first use and freed with the
  // context. Null when it is not current or offers no OpenGL 3.3 core.
  static std::shared_ptr<TGLDevice> For(QOpenGLContext* AContext);

  TGLDevice(QOpenGLFunctions_3_3_Core* AGL, QOpenGLContext* AContext);
  ~TGLDevice();
  TGLDevice(const TGLDevice&) = delete;
  TGLDevice& operator=(const TGLDevice&) = delete;

  QOpenGLFunctions_3_3_Core* const GL;
  QOpenGLContext* const Context;
  // False once the context is gone: nothing of the device may be used then.
  bool Alive() const { return FAlive; }
  // No attributes: the frame quad comes from gl_VertexID.
  GLuint FrameVao() const { return FFrameVao.Name(); }
  // The largest side of a texture the device takes.
  GLint MaxTextureSize() const { return FMaxTextureSize; }
  // Before drawing into AWindow: the scissor on the part of it the frame draws, or off.
  void ClipTo(const TWindowTarget& AWindow);
  // Clears AWindow's colour, inside the part the frame draws, to AColor (straight ARGB).
  void ClearWindow(const TWindowTarget& AWindow, std::uint32_t AColor);

  Program& LightProgram(int ASlots, bool AInside = false);
  Program& TextureProgram();
  Program& FrameProgram();
  Program& HidingProgram();
  GLint Location(Program& AProgram, const char* AName);

  // Binds the buffers of a mesh to the device's vertex array, uploading only content
  // the device has not seen (a new buffer or a new revision).
  void BindMesh(const TVertexBuffer& AVertices, const TIndexBuffer& AIndices);
  // The texture object for ATexture, uploaded on first use and after each change; the
  // 1 x 1 opaque white texture when there is none (no texture, too large, empty).
  GLuint TextureFor(const TTexture* ATexture);
  // ATexture shows AFilled from now on (a texture of ATexture's size and revision filled
  // elsewhere in this context, strip by strip); the texture it showed goes. The
  // context must be current.
  void AdoptTexture(const TTexture& ATexture, TGLTexture AFilled);
  // Samplers for a map with mip levels: trilinear alone, and with anisotropy (null where
  // the device has none). Anisotropy costs about as much again as the plain sampling on
  // a software renderer, and only a surface seen at a slant needs it.
  GLuint PlainSampler() const { return FPlainSampler.Name(); }
  GLuint SlantSampler() const { return FSlantSampler.Name(); }
  // A texture whose TTexture went away while the context was not current: deleted at
  // the next scene.
  void ReleaseLater(TGLTexture ATexture);
  void DeletePending();
  // After each scene: buffers of meshes not drawn for a while are dropped.
  void SceneDone();

  // A holder for pictures drawn by DrawPicture, tied to this device.
  std::unique_ptr<TGLPicture> MakePicture();
  // Draws a premultiplied BGRA picture (AWidth x AHeight, rows top first, no padding)
  // over AWindow, bound now, its top left corner at (AX, AY) pixels from the window's
  // top left. The picture goes through APicture's texture, filled again only when AKey
  // differs from the content it holds. It is drawn as the frame of a viewport is (the
  // same program, texture and blending), so a software driver builds no program variant
  // of its own for it.
  void DrawPicture(TGLPicture& APicture, std::int64_t AKey, const std::uint32_t* APixels, int AWidth, int AHeight,
                   int AX, int AY, const TWindowTarget& AWindow);

  // The context is ending and current: every object is deleted now.
  void Destroy();

 private:
  struct BufferEntry {
    TGLBuffer Buffer;
    std::uint64_t Revision = 0;
    std::uint64_t LastScene = 0;
  };

  void Create();
  void AbandonAll();
  // Uploads ABitmap into a new texture object of AHandle with all its levels.
  void Fill(TGLTextureHandle& AHandle, TBitmap& ABitmap, bool AMipMaps);
  GLuint Compile(GLenum AType, const char* ASource);
  Program Link(const char* AVertex, const char* APixel);
  void Upload(std::unordered_map<const void*, BufferEntry>& ACache, const void* AKey, std::uint64_t ARevision,
              GLenum ATarget, const void* AData, GLsizeiptr ASize);

  // glTexStorage2D where the driver has it (4.2 or ARB_texture_storage), else null.
  using TTexStorage2D = void (*)(GLenum, GLsizei, GLenum, GLsizei, GLsizei);
  TTexStorage2D FTexStorage2D = nullptr;
  bool FAlive = true;
  GLint FMaxTextureSize = 0;
  GLfloat FMaxAnisotropy = 1.0f;
  TGLVertexArray FVao, FFrameVao;
  Program FLight[4];  // 0, 2, 4, 8 slots
  Program FLightInside[4];  // the same, for faces inside a smoothed outline
  Program FTexture, FFrame, FHiding;
  TGLTexture FWhite;
  TGLSampler FPlainSampler, FSlantSampler;
  std::unordered_map<const void*, BufferEntry> FVertexBuffers, FIndexBuffers;
  std::vector<TGLTexture> FPendingTextures;
  std::uint64_t FScenes = 0;
};

}  // namespace sphaerix
