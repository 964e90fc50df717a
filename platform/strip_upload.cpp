#include "platform/strip_upload.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QMetaObject>
#include <QOpenGLContext>
#include <algorithm>
#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>

#include "platform/bitmap_codecs.h"
#include "platform/gl_device.h"
#include "platform/guarded_call.h"
#include "platform/png_decoder.h"
#include "platform/resource_stream.h"
#include "scene/material/bitmap.h"

namespace sphaerix {

struct TStripUpload::TShared {
  std::mutex Lock;
  std::condition_variable Room;  // a strip was taken, or the upload was cancelled
  std::deque<TStrip> Strips;
  int Width = 0, Height = 0;
  bool Done = false, Failed = false, Cancelled = false;
  bool Posted = false;
  // Read and written on the user-interface thread only: the upload the posted calls reach.
  TStripUpload* Owner = nullptr;
};

namespace {

// Strips waiting for their upload: the worker waits beyond this many.
constexpr std::size_t MaxWaitingStrips = 8;

struct TStop {};   // the upload was cancelled: the worker leaves the decoder
struct TWhole {};  // too large for the strips as they come: decoded whole, then scaled

struct TJpegError {
  jpeg_error_mgr Manager;
  std::jmp_buf Jump;
};

// The rows of a JPEG picture, top first, as libjpeg-turbo's whole-picture decode gives
// them (BGRA, opaque, the same upsampling and transform). False, calling nothing, for a
// picture it cannot turn into BGRA (CMYK) or no JPEG at all; raises EBitmapLoadingFailed
// for a damaged one (rows may have been handed out by then).
bool DecodeJpegRows(const std::uint8_t* AData, std::size_t ASize, const std::function<void(int, int)>& ASizeKnown,
                    const std::function<void(const std::uint32_t*)>& ARow) {
  if (!AData || ASize < 3 || AData[0] != 0xFF || AData[1] != 0xD8 || AData[2] != 0xFF) return false;
  struct TDecompress {
    jpeg_decompress_struct Info{};
    TJpegError Error{};
    bool Made = false;
    ~TDecompress() {
      if (Made) jpeg_destroy_decompress(&Info);
    }
  } j;
  std::vector<std::uint32_t> row;
  j.Info.err = jpeg_std_error(&j.Error.Manager);
  j.Error.Manager.error_exit = [](j_common_ptr AInfo) {
    std::longjmp(reinterpret_cast<TJpegError*>(AInfo->err)->Jump, 1);
  };
  j.Error.Manager.output_message = [](j_common_ptr) {};
  // Only libjpeg's own calls jump back here; nothing is made between them and this point.
  if (setjmp(j.Error.Jump)) throw EBitmapLoadingFailed();
  jpeg_create_decompress(&j.Info);
  j.Made = true;
  jpeg_mem_src(&j.Info, AData, static_cast<unsigned long>(ASize));
  jpeg_read_header(&j.Info, TRUE);
  if (j.Info.jpeg_color_space == JCS_CMYK || j.Info.jpeg_color_space == JCS_YCCK) return false;
  j.Info.out_color_space = JCS_EXT_BGRA;
  jpeg_start_decompress(&j.Info);
  const int width = static_cast<int>(j.Info.output_width), height = static_cast<int>(j.Info.output_height);
  if (static_cast<std::uint64_t>(width) * height * 4 > MaxDecodedBytes) throw EBitmapLoadingFailed();
  row.resize(static_cast<std::size_t>(width));
  ASizeKnown(width, height);
  while (j.Info.output_scanline < j.Info.output_height) {
    JSAMPROW out = reinterpret_cast<JSAMPROW>(row.data());
    if (jpeg_read_scanlines(&j.Info, &out, 1) != 1) throw EBitmapLoadingFailed();
    ARow(row.data());
  }
  jpeg_finish_decompress(&j.Info);
  return true;
}

}  // namespace

TStripUpload::TStripUpload(IGLDeviceSource& ADevices, std::function<void()> ADoneCurrent,
                           std::function<void()> AOnEnded)
    : FDevices(ADevices),
      FDoneCurrent(std::move(ADoneCurrent)),
      FOnEnded(std::move(AOnEnded)),
      FShared(std::make_shared<TShared>()) {
  FShared->Owner = this;
}

TStripUpload::~TStripUpload() {
  FShared->Owner = nullptr;
  Cancel();
  if (FWorker.joinable()) FWorker.join();
  // The texture goes in its own context, or is forgotten with a context that is gone.
  if (FTexture && FDevices.MakeCurrent()) {
    FTexture.Reset();
    FDoneCurrent();
  } else {
    FTexture.Abandon();
  }
}

void TStripUpload::Start(const std::uint8_t* AData, std::size_t ASize) {
  FWorker = std::thread([this, AData, ASize] { Work(AData, ASize); });
}

void TStripUpload::Cancel() {
  {
    std::lock_guard<std::mutex> lock(FShared->Lock);
    FShared->Cancelled = true;
    FShared->Strips.clear();
  }
  FShared->Room.notify_all();
}

TGLTexture TStripUpload::TakeTexture() {
  if (!Complete()) return {};
  return std::move(FTexture);
}

// Runs on the worker: the rows of the picture, gathered into strips.
void TStripUpload::Work(const std::uint8_t* AData, std::size_t ASize) {
  TShared& s = *FShared;
  TStrip strip;
  int width = 0, y = 0;
  auto push = [&] {
    if (strip.Rows == 0) return;
    {
      std::unique_lock<std::mutex> lock(s.Lock);
      s.Room.wait(lock, [&] { return s.Strips.size() < MaxWaitingStrips || s.Cancelled; });
      if (s.Cancelled) throw TStop{};
      s.Strips.push_back(std::move(strip));
    }
    strip = TStrip{};
    Post();
  };
  auto sizeKnown = [&](int AW, int AH) {
    if (AW > MaxBitmapSize || AH > MaxBitmapSize) throw TWhole{};
    std::lock_guard<std::mutex> lock(s.Lock);
    s.Width = width = AW;
    s.Height = AH;
  };
  auto row = [&](const std::uint32_t* ARow) {
    if (strip.Rows == 0) {
      strip.Y = y;
      strip.Pixels.reserve(static_cast<std::size_t>(width) * StripRows);
    }
    strip.Pixels.insert(strip.Pixels.end(), ARow, ARow + width);
    ++strip.Rows;
    ++y;
    if (strip.Rows == StripRows) push();
  };
  bool failed = false;
  try {
    bool plain = false;
    try {
      plain = DecodeJpegRows(AData, ASize, sizeKnown, row) || DecodePlainPngRows(AData, ASize, sizeKnown, row);
    } catch (const TWhole&) {
    }
    if (!plain) {
      // Any other picture: decoded whole as a plain load does, then handed on in strips
      // (the picture and its texture then exist together, as with a plain load).
      TQtBitmapCodecs codecs;
      TBitmap whole;
      codecs.LoadFromMemory(whole, AData, ASize);
      sizeKnown(whole.Width(), whole.Height());
      for (int r = 0; r < whole.Height(); ++r) row(whole.Scanline(r));
    }
    push();
    // The encoded bytes are read: the system may take their pages back.
    ReleaseResourcePages(AData, ASize);
  } catch (const TStop&) {
  } catch (...) {
    failed = true;
  }
  {
    std::lock_guard<std::mutex> lock(s.Lock);
    s.Done = true;
    s.Failed = failed;
  }
  Post();
}

// Asks the user-interface thread to upload what is waiting; one call at a time.
void TStripUpload::Post() {
  {
    std::lock_guard<std::mutex> lock(FShared->Lock);
    if (FShared->Posted) return;
    FShared->Posted = true;
  }
  QCoreApplication* app = QCoreApplication::instance();
  if (!app) return;
  std::weak_ptr<TShared> shared = FShared;
  QMetaObject::invokeMethod(
      app,
      [shared] {
        const std::shared_ptr<TShared> s = shared.lock();
        if (s && s->Owner) GuardedCall([&] { s->Owner->Upload(); });
      },
      Qt::QueuedConnection);
  // A wait on the user-interface thread may be blocked with nothing else to wake it.
  if (QAbstractEventDispatcher* loop = QAbstractEventDispatcher::instance(app->thread())) loop->wakeUp();
}

// Runs on the user-interface thread: the waiting strips go into the texture.
void TStripUpload::Upload() {
  TShared& s = *FShared;
  std::deque<TStrip> strips;
  bool done = false, failed = false, cancelled = false;
  {
    std::lock_guard<std::mutex> lock(s.Lock);
    s.Posted = false;
    strips.swap(s.Strips);
    done = s.Done;
    failed = s.Failed;
    cancelled = s.Cancelled;
    FWidth = s.Width;
    FHeight = s.Height;
  }
  s.Room.notify_all();
  if (FEnded) return;
  if (!cancelled && !failed && !strips.empty()) {
    {
      const std::shared_ptr<TGLDevice> device = FDevices.MakeCurrent();
      if (!device || FWidth > device->MaxTextureSize() || FHeight > device->MaxTextureSize()) {
        failed = true;
      } else {
        QOpenGLFunctions_3_3_Core* gl = device->GL;
        if (!FTexture) {
          // Made once, at the final size, with its one level. Immutable storage where the
          // driver has it: Mesa otherwise keeps the level apart and copies it into the
          // texture at its first use.
          FTexture = TGLTexture::Create(gl);
          gl->glBindTexture(GL_TEXTURE_2D, FTexture.Name());
          using TTexStorage2D = void (*)(GLenum, GLsizei, GLenum, GLsizei, GLsizei);
          QOpenGLContext* context = QOpenGLContext::currentContext();
          const auto storage =
              context->format().version() >= qMakePair(4, 2) ||
                      context->hasExtension(QByteArrayLiteral("GL_ARB_texture_storage"))
                  ? reinterpret_cast<TTexStorage2D>(context->getProcAddress("glTexStorage2D"))
                  : nullptr;
          if (storage)
            storage(GL_TEXTURE_2D, 1, GL_RGBA8, FWidth, FHeight);
          else
            gl->glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, FWidth, FHeight, 0, GL_BGRA, GL_UNSIGNED_BYTE, nullptr);
          gl->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
          gl->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
          gl->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
          gl->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
          gl->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
        }
        gl->glBindTexture(GL_TEXTURE_2D, FTexture.Name());
        gl->glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
        gl->glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
        for (const TStrip& strip : strips) {
          // Rows top first: texture coordinate v = 0 is the picture's top row.
          gl->glTexSubImage2D(GL_TEXTURE_2D, 0, 0, strip.Y, FWidth, strip.Rows, GL_BGRA, GL_UNSIGNED_BYTE,
                              strip.Pixels.data());
          std::uint32_t all = 0xFF000000u;
          for (std::uint32_t p : strip.Pixels) all &= p;
          FOpaque = FOpaque && (all >> 24) == 0xFF;
          FUploadedRows += strip.Rows;
        }
        gl->glBindTexture(GL_TEXTURE_2D, 0);
      }
      FDoneCurrent();
    }
  }
  strips.clear();
  if (failed && !cancelled) Cancel();  // the worker stops at its next strip
  if (!done && !failed) return;
  if (FWorker.joinable()) FWorker.join();
  FEnded = true;
  if (failed || cancelled || !Complete()) FUploadedRows = 0;
  if (FOnEnded) FOnEnded();
}

}  // namespace sphaerix
