// The main window's pictures as the residency asks for them: each decode a set of its own
// on workers, handed to its material on the user-interface thread.
#include "app/Unit2Maps.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QOpenGLContext>
#include <QOpenGLWindow>
#include <algorithm>
#include <exception>

#include "app/Unit2.h"
#include "platform/background_decode.h"
#include "platform/gl_device.h"
#include "platform/strip_upload.h"
#include "ui/form_window.h"
#include "ui/window_compositor.h"
#include "platform/guarded_call.h"
#include "platform/memory_release.h"
#include "platform/resource_stream.h"
#include "scene/material/bitmap.h"
#include "scene/material/material.h"
#include "scene/material/material_source.h"
#include "scene/view/camera.h"
#include "scene/nodes/control3d.h"

namespace sphaerix {

const char* RingResourceName(TBodyRing ARing) { return ARing == TBodyRing::Saturn ? "SaturnRing" : "UranusRing"; }

TTextureMaterialSource* RingSourceOf(TForm2* f, int AIndex) {
  switch (BodyRing(AIndex)) {
    case TBodyRing::Saturn:
      return f->TextureMaterialSource2;
    case TBodyRing::Uranus:
      return f->TextureMaterialSource1;
    default:
      return nullptr;
  }
}

namespace {

// Runs ACall later, from the event loop: a decode's end never reaches the residency
// inside the call that asked for the decode.
template <class F>
void Later(F&& ACall) {
  if (QCoreApplication* app = QCoreApplication::instance())
    QMetaObject::invokeMethod(app, [call = std::forward<F>(ACall)] { GuardedCall(call); }, Qt::QueuedConnection);
}

}  // namespace

TViewerMapDecoder::TViewerMapDecoder(TForm2& AForm) : FForm(AForm) {}

// The sets wait for their workers; the notices still queued find them gone.
TViewerMapDecoder::~TViewerMapDecoder() = default;

TBitmap& TViewerMapDecoder::TargetOf(const TMapPicture& APicture) {
  switch (APicture.Kind) {
    case TMapKind::Stars:
      return FForm.TextureMaterialSource3->Texture();
    case TMapKind::Ring:
      return RingSourceOf(&FForm, APicture.Body)->Texture();
    case TMapKind::Body:
      break;
  }
  return FForm.LightMaterialSource1->Texture();
}

std::vector<TViewerMapDecoder::TSet>::iterator TViewerMapDecoder::Find(const TMapPicture& APicture) {
  return std::find_if(FSets.begin(), FSets.end(), [&](const TSet& ASet) { return ASet.Picture == APicture; });
}

// The whole sky, once the window's context exists and shows the first one: into its
// texture strip by strip, so that the picture and its texture never exist together.
bool TViewerMapDecoder::DecodeInStrips(const TMapPicture& APicture) {
  TFormWindow* window = FForm.Window();
  if (APicture.Kind != TMapKind::Stars || APicture.Reduction != 1 || !window->context() ||
      !FForm.TextureMaterialSource3->DeviceTexture() || FForm.TextureMaterialSource3->MipMaps())
    return false;
  TSet set;
  set.Picture = APicture;
  set.Stream = std::make_unique<TResourceStream>("Stars");
  set.Strips = std::make_unique<TStripUpload>(window->Compositor(), [window] { window->doneCurrent(); },
                                               [this, APicture] { Ended(APicture); });
  set.Strips->Start(set.Stream->Memory(), static_cast<std::size_t>(set.Stream->Size()));
  FSets.push_back(std::move(set));
  return true;
}

void TViewerMapDecoder::HandOverStrips(TSet& ASet) {
  TTextureMaterialSource* stars = FForm.TextureMaterialSource3;
  TTexture* texture = stars->DeviceTexture();
  TFormWindow* window = FForm.Window();
  if (!texture || !window->context()) return;
  if (const std::shared_ptr<TGLDevice> device = window->Compositor().MakeCurrent()) {
    texture->RefreshFromDevice(ASet.Strips->Width(), ASet.Strips->Height(), ASet.Strips->Opaque());
    device->AdoptTexture(*texture, ASet.Strips->TakeTexture());
  }
  window->doneCurrent();
  // Should the device lose the texture, the whole sky is decoded again from where it is.
  TBitmap& bitmap = stars->Texture();
  bitmap.ReleasePixels();
  bitmap.SetOrigin(ASet.Stream->Memory(), static_cast<std::size_t>(ASet.Stream->Size()), BitmapCodecs());
  stars->NotifyChanged();
}

void TViewerMapDecoder::Decode(const TMapPicture& APicture) {
  if (DecodeInStrips(APicture)) return;
  std::unique_ptr<TResourceStream> stream;
  bool mipLevels = false;
  switch (APicture.Kind) {
    case TMapKind::Stars:
      stream = std::make_unique<TResourceStream>("Stars");
      break;
    case TMapKind::Ring:
      stream = std::make_unique<TResourceStream>(RingResourceName(BodyRing(APicture.Body)));
      mipLevels = RingSourceOf(&FForm, APicture.Body)->MipMaps();
      break;
    case TMapKind::Body:
      stream = std::make_unique<TResourceStream>(BodyTextureResourceName(APicture.Body).toStdString());
      mipLevels = FForm.LightMaterialSource1->MipMaps();
      // As a load from the body's own stream leaves it: read to its end.
      if (TResourceStream* own = BodyTextures[static_cast<std::size_t>(APicture.Body)].get())
        own->Seek(0, TSeekOrigin::End);
      break;
  }
  TSet set;
  set.Picture = APicture;
  set.Decode = std::make_unique<TBackgroundDecode>();
  try {
    set.Decode->Add(TargetOf(APicture), std::move(stream), mipLevels, APicture.Reduction);
  } catch (const std::exception&) {
    set.Decode.reset();
  }
  if (set.Decode)
    set.Decode->NotifyWhenReady([this, APicture] { Ended(APicture); });
  else
    Later([this, APicture, alive = std::weak_ptr<bool>(FAlive)] {
      if (!alive.expired()) Ended(APicture);
    });
  FSets.push_back(std::move(set));
}

void TViewerMapDecoder::Ended(const TMapPicture& APicture) {
  auto set = Find(APicture);
  if (set == FSets.end()) return;
  const bool ok = set->Strips ? set->Strips->Complete() : set->Decode && !set->Decode->Failed();
  set->Ended = true;
  if (set->Dropped) {
    FSets.erase(set);
    ReturnFreedMemory();
  }
  FForm.Maps().DecodeEnded(APicture, ok);
}

void TViewerMapDecoder::Drop(const TMapPicture& APicture) {
  auto set = Find(APicture);
  if (set == FSets.end()) return;
  // A worker still decoding is not waited for here: the set goes at its end, which the
  // residency waits to hear of.
  if (!set->Ended) {
    set->Dropped = true;
    if (set->Strips) set->Strips->Cancel();
    return;
  }
  FSets.erase(set);
  ReturnFreedMemory();
}

void TViewerMapDecoder::HandOver(const TMapPicture& APicture) {
  auto set = Find(APicture);
  if (set == FSets.end()) return;
  if (set->Strips) {
    HandOverStrips(*set);
    FSets.erase(set);
    ReturnFreedMemory();
    return;
  }
  std::unique_ptr<TBackgroundDecode> decode = std::move(set->Decode);
  FSets.erase(set);
  if (decode) decode->Finish();
  decode.reset();
  ReturnFreedMemory();
}

void TViewerMapDecoder::ReportFailure(const TMapPicture& APicture) {
  auto set = Find(APicture);
  if (set != FSets.end()) FSets.erase(set);
  // From the event loop, as any error of a handler: the selection that found it goes on.
  Later([] { throw EBitmapLoadingFailed(); });
}

void TForm2::MapDetailForDistance() { Maps().CameraDistance(Camera1->Position().Z()); }

}  // namespace sphaerix
