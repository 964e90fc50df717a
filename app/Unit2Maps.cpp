// The body's maps: which decode, at which size, and when they are handed over.
#include "app/Unit2.h"
#include "app/Unit2Maps.h"

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <algorithm>
#include <memory>
#include <type_traits>
#include <utility>

#include "app/Unit1.h"
#include "platform/background_decode.h"
#include "platform/file_replace.h"
#include "platform/memory_release.h"
#include "platform/resource_stream.h"
#include "scene/animation/animation.h"
#include "scene/runtime/platform_services.h"
#include "scene/material/bitmap.h"
#include "scene/view/camera.h"
#include "scene/nodes/control3d.h"
#include "scene/input/gesture_manager.h"
#include "scene/material/light.h"
#include "scene/material/material.h"
#include "scene/mesh/mesh.h"
#include "scene/view/viewport3d.h"
#include "ui/application.h"
#include "ui/controls.h"
#include "ui/form_window.h"
#include "ui/popup_menu.h"
#include "ui/save_dialog.h"
#include "ui/style_book.h"

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

// Starts decoding AIndex's map and the ring it needs on workers, unless they are in place
// or on their way. A set for another body that is still decoding is left to finish
// first, so that no more than one set ever exists.
void PrepareBody(TForm2* f, int AIndex) {
  TSelectionState& s = f->Selection;
  // The whole map of a body shown reduced: the selection replaces the body anyway.
  if (s.Full) {
    if (!s.Full->Ready()) return;
    s.Full.reset();
  }
  if (s.Reduction > f->MapReductionForDistance()) {
    s.Reduction = 1;
    s.Loaded = -1;
  }
  if (s.Next && s.NextBody == AIndex) return;
  if (s.Next) {
    if (!s.Next->Ready()) return;
    s.Next.reset();  // superseded: its pictures go at once
    s.NextBody = -1;
  }
  if (s.Loaded == AIndex) return;
  TResourceStream* stream = BodyTextures[static_cast<size_t>(AIndex)].get();
  if (!stream) return;
  auto next = std::make_unique<TBackgroundDecode>();
  next->Add(f->LightMaterialSource1->Texture(),
            std::make_unique<TResourceStream>(BodyTextureResourceName(AIndex).toStdString()), true,
            s.NextReduction > 0 ? s.NextReduction : f->MapReductionForDistance());
  s.NextSetReduction = s.NextReduction > 0 ? s.NextReduction : f->MapReductionForDistance();
  s.NextReduction = 0;
  // As a load from the body's own stream leaves it: read to its end.
  stream->Seek(0, TSeekOrigin::End);
  TTextureMaterialSource* ringSource = RingSourceOf(f, AIndex);
  const bool ringShown = f->Disk1->Visible() && f->Disk1->MaterialSource() == ringSource;
  if (ringSource && !ringShown)
    next->Add(ringSource->Texture(), std::make_unique<TResourceStream>(RingResourceName(BodyRing(AIndex))),
              ringSource->MipMaps(), TForm2::RingReduction);
  s.Next = std::move(next);
  s.NextBody = AIndex;
}

namespace {

// The whole map of the body shown reduced, to take the reduced one's place when done.
void HandOverFullMap(TForm2* f);

void HandOverFullStars(TForm2* f) {
  if (Form2 != f || !f->FullStars || !f->FullStars->Ready()) return;
  std::unique_ptr<TBackgroundDecode> stars = std::move(f->FullStars);
  stars->Finish();
  stars.reset();
  ReturnFreedMemory();
}

}  // namespace

void StartFullMap(TForm2* f) {
  // The sky is the same for every body: its whole map always follows.
  if (f->StarsReduced && !f->FullStars) {
    f->StarsReduced = false;
    f->FullStars = std::make_unique<TBackgroundDecode>();
    f->FullStars->Add(f->TextureMaterialSource3->Texture(), std::make_unique<TResourceStream>("Stars"));
    f->FullStars->NotifyWhenReady([f] { HandOverFullStars(f); });
  }
  TSelectionState& s = f->Selection;
  const int wanted = f->MapReductionForDistance();
  // A selection under way decodes maps of its own; a finer map on its way is let finish
  // (the handover asks again if the distance changed meanwhile), so no more than one
  // decode runs for the body.
  if (s.Reduction <= wanted || s.Full || s.Running || s.Loaded < 0 ||
      !BodyTextures[static_cast<size_t>(s.Loaded)])
    return;
  auto full = std::make_unique<TBackgroundDecode>();
  full->Add(f->LightMaterialSource1->Texture(),
            std::make_unique<TResourceStream>(BodyTextureResourceName(s.Loaded).toStdString()), true, wanted);
  full->NotifyWhenReady([f] { HandOverFullMap(f); });
  s.Full = std::move(full);
  s.FullReduction = wanted;
}

namespace {

void HandOverFullMap(TForm2* f) {
  if (Form2 != f) return;
  TSelectionState& s = f->Selection;
  // A selection started meanwhile drops the set once it is done.
  if (!s.Full || s.Running || !s.Full->Ready()) return;
  std::unique_ptr<TBackgroundDecode> full = std::move(s.Full);
  // The coarser map stays should the finer one fail to decode; it is not tried again.
  s.Reduction = s.FullReduction;
  full->Finish();
  full.reset();
  ReturnFreedMemory();
  // The camera came nearer while the half-size map decoded.
  StartFullMap(f);
}

}  // namespace

int TForm2::MapReductionForDistance() const {
  return Camera1->Position().Z() < NearestHalfSizeZ + 0.5f ? FarReduction : 1;
}

void TForm2::MapDetailForDistance() { StartFullMap(this); }

}  // namespace sphaerix
