// TStripUpload: a picture decoded on a worker strip by strip, each strip uploaded on the
// user-interface thread into a texture made once, at the picture's final size, in the
// window's context. The whole picture never exists in processor memory beside its
// texture: a few strips are, at most, between the worker and the upload.
//
// For textures of one level (the sky): the maps with mip levels keep their levels made
// on a worker from the whole picture (TBackgroundDecode).
//
// The texture is the upload's until it is taken (TakeTexture): the one on screen stays
// until then. Cancel stops the worker at its next strip and drops what was uploaded.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/gl_objects.h"

namespace sphaerix {

class IGLDeviceSource;

class TStripUpload {
 public:
  // ADevices makes the window's context current and hands its device (null when it
  // cannot); ADoneCurrent releases the context. AOnEnded runs once on the user-interface thread, from its
  // event loop, when the last strip is uploaded, the decode failed, or a cancelled
  // worker has stopped; not at all once this upload is gone.
  TStripUpload(IGLDeviceSource& ADevices, std::function<void()> ADoneCurrent, std::function<void()> AOnEnded);
  // Stops the worker at its next strip and waits for it.
  ~TStripUpload();
  TStripUpload(const TStripUpload&) = delete;
  TStripUpload& operator=(const TStripUpload&) = delete;

  // Starts decoding [AData, AData + ASize), which stays valid while this upload lives.
  void Start(const std::uint8_t* AData, std::size_t ASize);
  void Cancel();

  // Once ended: every row is in the texture.
  bool Complete() const { return FUploadedRows > 0 && FUploadedRows == FHeight; }
  int Width() const { return FWidth; }
  int Height() const { return FHeight; }
  // Every pixel uploaded is fully opaque.
  bool Opaque() const { return FOpaque; }
  // The filled texture, for the window's context; empty unless Complete.
  TGLTexture TakeTexture();

  // Rows a strip holds: 1.5 MiB of the 6000-pixel-wide sky; with at most 8 strips
  // waiting for the user-interface thread, 12 MiB between the worker and the texture.
  static constexpr int StripRows = 64;

 private:
  struct TStrip {
    int Y = 0;
    int Rows = 0;
    std::vector<std::uint32_t> Pixels;
  };
  struct TShared;  // between the worker and the user-interface thread

  void Work(const std::uint8_t* AData, std::size_t ASize);
  void Upload();
  void Post();

  IGLDeviceSource& FDevices;
  std::function<void()> FDoneCurrent;
  std::function<void()> FOnEnded;
  std::shared_ptr<TShared> FShared;
  std::thread FWorker;
  TGLTexture FTexture;
  int FWidth = 0, FHeight = 0;
  int FUploadedRows = 0;
  bool FOpaque = true;
  bool FEnded = false;
};

}  // namespace sphaerix
