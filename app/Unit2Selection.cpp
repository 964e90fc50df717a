// The body switch: fades, the swap of map, title, ring, tilt and facts, one selection at a time.
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

namespace {

// A ring nobody shows keeps neither a device texture nor a picture: it is decoded again
// from the program's resources when its body is chosen.
void DropRing(TTextureMaterialSource* ASource) {
  ASource->ReleaseDeviceTexture();
  if (ASource->Texture().Origin()) ASource->Texture().ReleasePixels();
}

// The selection's steps, apart so that the loop in SelectBody reads as the order of a
// switch: pictures, fade out, swap, fade in.

// Stops the body's running fade where it is, so that the selection waiting on it goes on.
void HoldFade(TForm2* f) {
  for (TSceneObject* child : f->Sphere1->Children())
    if (auto* fade = dynamic_cast<TFloatAnimation*>(child); fade && fade->Running() && fade != f->FloatAnimation1)
      fade->StopAtCurrent();
}

// The body's map, its ring and tilt, the orbit reset, the title and the facts, all while
// the body is invisible.
void SwapBody(TForm2* f, int AIndex) {
  TTextureMaterialSource* ringSource = RingSourceOf(f, AIndex);
  f->Dummy1->RotationAngle().SetX(0);
  f->Dummy1->RotationAngle().SetY(0);
  f->Dummy1->RotationAngle().SetZ(0);
  f->Label1->SetText(BodyName(AIndex));
  f->Disk1->SetVisible(false);
  for (TTextureMaterialSource* source : {f->TextureMaterialSource1, f->TextureMaterialSource2})
    if (source != ringSource) DropRing(source);
  f->Sphere2->RotationAngle().SetX(0);
  f->Sphere2->RotationAngle().SetZ(0);
  if (ringSource) {
    const TBodyTilt tilt = BodyTilt(AIndex);
    f->Disk1->SetMaterialSource(ringSource);
    // Without its picture (it could not be decoded) the ring would be a white disk.
    f->Disk1->SetVisible(f->Maps().RingInPlace());
    f->Dummy1->RotationAngle().SetX(tilt.X);
    f->Dummy1->RotationAngle().SetZ(tilt.Z);
    f->Sphere2->RotationAngle().SetX(tilt.X);
    f->Sphere2->RotationAngle().SetZ(tilt.Z);
  }
  if (!f->MenuItem1->IsChecked()) f->Sphere1->Repaint();
  f->Text2->SetText(BodyFacts[static_cast<size_t>(AIndex)]);
}

// Marks the button of the body named current.
void MarkCurrent(TForm2* f, int AIndex) {
  CurrentBody = AIndex;
  for (int i = 0; i < BodyCount; ++i) f->Buttons[i]->SetCurrent(i == AIndex);
}

}  // namespace

void SelectBody(int AIndex) {
  TForm2* f = Form2;
  if (!f || AIndex < 0 || AIndex >= BodyCount) return;
  TMapResidency& maps = f->Maps();
  MarkCurrent(f, AIndex);
  // Its pictures may start now, while whatever runs goes on.
  maps.BodyWanted(AIndex);
  if (maps.SelectionRunning()) {
    // The selection under way carries this one out: a fade-in turns into the fade-out at
    // once.
    if (f->SelectionFadingIn) HoldFade(f);
    return;
  }
  TObjectWatch form(f);
  // The program ending (the streams may be gone) or the window gone: nothing more.
  auto ended = [&] { return !form.Alive() || Form2 != f || Application->Terminated(); };
  maps.SelectionStarted();
  // However the selection ends, the next click may start one, and a finer map may follow.
  struct TLeave {
    const TObjectWatch& Form;
    TForm2* F;
    ~TLeave() {
      if (!Form.Alive()) return;
      F->SelectionFadingIn = false;
      F->Maps().SelectionEnded();
    }
  } leave{form, f};
  for (;;) {
    const int index = maps.Wanted();
    f->FloatAnimation1->StopAtCurrent();
    // Fades are for the eye: before the window is first shown (the start's selection)
    // nobody would see them, and they would only hold the first frame back.
    const bool seen = f->Visible();
    // Already invisible (a newer body named while the pictures were on their way): no
    // fade of nothing.
    if (f->Sphere1->Opacity() > 0) {
      if (seen)
        f->Sphere1->AnimateFloatWait("opacity", 0, 0.5f, TAnimationType::In, TInterpolationType::Linear);
      else
        f->Sphere1->SetOpacity(0);
    }
    if (ended()) return;
    if (maps.Wanted() != index) continue;
    if (!BodyTextures[static_cast<size_t>(index)]) return;
    // The body's pictures, waited for with the event loop running, the body still
    // invisible.
    Platform().ProcessEventsUntil([&] { return ended() || maps.Wanted() != index || maps.BodyReady(index); });
    if (ended()) return;
    if (maps.Wanted() != index) continue;
    // A map that cannot be decoded is reported, and the body shown before comes back.
    const int shown = maps.SwapTo(index);
    if (shown != index) MarkCurrent(f, shown);
    SwapBody(f, shown);
    if (seen) {
      f->SelectionFadingIn = true;
      f->Sphere1->AnimateFloatWait("opacity", 1, 0.5f, TAnimationType::In, TInterpolationType::Linear);
      if (ended()) return;
      f->SelectionFadingIn = false;
    } else {
      f->Sphere1->SetOpacity(1);
    }
    if (maps.Wanted() != shown) continue;
    if (f->MenuItem1->IsChecked()) f->FloatAnimation1->Start();
    // The shown body's pictures are on the device by now, the others' are freed.
    ReturnFreedMemory();
    return;
  }
}

void TForm2::ButtonClick(int AIndex) {
  if (CurrentBody != AIndex) SelectBody(AIndex);
}

}  // namespace sphaerix
