// The main window's handlers: start and close, navigation and the menu's commands.
#include "app/Unit2.h"

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
#include "platform/save_journal.h"
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

// ---- Start and close

void TForm2::FormCreate(TSceneObject*) {
  PrepareDataFolder();
  // Screenshots killed halfway left their hidden temporaries where they are saved most,
  // and wherever else the save journal says a save was under way.
  RemoveSaveLeftovers(DataFolder.toStdString());
  ClearAbandonedSaves();
  for (int i = 0; i < BodyCount; ++i)
    BodyTextures[static_cast<size_t>(i)] =
        std::make_unique<TResourceStream>(BodyTextureResourceName(i).toStdString());

  Dragging = false;
  Text1->SetVisible(false);
  Text2->SetVisible(false);
  Label1->SetVisible(true);
  Text1->SetText(FactLabelsText());
  for (int i = 0; i < BodyCount; ++i) BodyFacts[static_cast<size_t>(i)] = BodyFactsText(i);
  // The first frame shows the body from its map decoded at a quarter of its size, a
  // fraction of the work; the fly-in starts far enough away that the quarter holds more
  // detail than the screen shows, and the whole map takes its place long before the
  // camera arrives. It decodes once the first frame is on screen, so that it does not
  // compete with that frame for the processor.
  Maps().CameraDistance(Camera1->Position().Z());
  SelectBody(0);
  QObject::connect(
      Window(), &QOpenGLWindow::frameSwapped, Window(), [this] { Maps().FirstFrameShown(); },
      Qt::SingleShotConnection);
  // The sky is in place before the window is first shown (one that cannot be decoded is
  // reported, and the sky stays black).
  Platform().ProcessEventsUntil([this] { return Application->Terminated() || Maps().StarsSettled(); });
  if (Application->Terminated()) return;
  Camera1->Position().SetZ(-38);
  MapDetailForDistance();
  Camera1->AnimateFloat("position.z", -15, 3.0f, TAnimationType::In, TInterpolationType::Linear);
  FloatAnimation1->SetStartFromCurrent(true);
  FloatAnimation1->SetEnabled(true);
}

void TForm2::FormClose(TSceneObject*, TCloseResult&) {
  // Nothing is decoded from the streams after this.
  Maps().Closed();
  for (auto& stream : BodyTextures) stream.reset();
}

// ---- Navigation

bool Dragging = false;
int LastGestureDistance = 0;

void TForm2::Viewport3D1MouseDown(TSceneObject*, TMouseButton, TShiftState, float X, float Y) {
  Dragging = true;
  FDown = {X, Y};
}

void TForm2::Viewport3D1MouseMove(TSceneObject*, TShiftState, float X, float Y) {
  if (!Dragging) return;
  // The farther the camera, the more a pixel turns the rig.
  const long double k = (static_cast<long double>(-7.0f) - Camera1->Position().Z()) / 33.0f + 0.1L;
  TPosition3D& angle = Dummy1->RotationAngle();
  angle.SetX(static_cast<float>(angle.X() - (static_cast<long double>(Y) - FDown.Y) * 0.3L * k));
  angle.SetY(static_cast<float>((static_cast<long double>(X) - FDown.X) * 0.3L * k + angle.Y()));
  FDown = {X, Y};
}

void TForm2::Viewport3D1MouseUp(TSceneObject*, TMouseButton, TShiftState, float, float) { Dragging = false; }

void TForm2::Viewport3D1MouseWheel(TSceneObject*, TShiftState, int WheelDelta, bool& Handled) {
  // One step per notch of 120, however finely the turn arrives; turning back starts
  // afresh, so a step never waits for the opposite turn to be undone first.
  if ((WheelDelta > 0 && FWheelRest < 0) || (WheelDelta < 0 && FWheelRest > 0)) FWheelRest = 0;
  FWheelRest += WheelDelta;
  for (; FWheelRest >= 120; FWheelRest -= 120) DoZoom(true);
  for (; FWheelRest <= -120; FWheelRest += 120) DoZoom(false);
  Handled = true;
}


void TForm2::DoZoom(bool aIn) {
  const long double step = aIn ? 1.0L : -1.0L;
  const float z = static_cast<float>(static_cast<long double>(Camera1->Position().Z()) + step);
  if (z > -40 && z < -5) Camera1->Position().SetZ(z);
  MapDetailForDistance();
}

void TForm2::PinchZoom(double AScale) {
  // The nearest and farthest places the wheel's steps reach from the start.
  constexpr double Nearest = 6, Farthest = 39;
  if (!(AScale > -1)) return;
  const double distance = -static_cast<double>(Camera1->Position().Z()) / (1 + AScale);
  Camera1->Position().SetZ(static_cast<float>(-std::clamp(distance, Nearest, Farthest)));
  MapDetailForDistance();
}

void TForm2::Viewport3D1Gesture(TSceneObject*, const TGestureEventInfo& EventInfo, bool& Handled) {
  switch (EventInfo.GestureID) {
    case igiZoom: {
      if (EventInfo.Flags & gfBegin) LastGestureDistance = EventInfo.Distance;
      if (!(EventInfo.Flags & (gfBegin | gfEnd))) {
        const std::int32_t d = EventInfo.Distance - LastGestureDistance;
        if (d > 4 || d < -4) DoZoom(d > 0);
        LastGestureDistance = EventInfo.Distance;
      }
      Handled = true;
      break;
    }
    case igiDoubleTap:
      Panel1->SetVisible(!Panel1->Visible());
      Handled = true;
      break;
    case StrokeLeftGesture:
    case StrokeRightGesture:
    case igiPan:
      Handled = true;
      break;
    default:
      break;
  }
}

void TForm2::Viewport3D1DblClick(TSceneObject*) { Panel1->SetVisible(!Panel1->Visible()); }

// ---- Menu

void TForm2::MenuItem1Click(TSceneObject*) {
  MenuItem1->SetIsChecked(!MenuItem1->IsChecked());
  if (MenuItem1->IsChecked())
    FloatAnimation1->Start();
  else
    FloatAnimation1->StopAtCurrent();
}

void TForm2::MenuItem2Click(TSceneObject*) {
  MenuItem2->SetIsChecked(!MenuItem2->IsChecked());
  Label1->SetVisible(MenuItem2->IsChecked());
}

void TForm2::MenuItem3Click(TSceneObject*) {
  MenuItem3->SetIsChecked(!MenuItem3->IsChecked());
  Text1->SetVisible(MenuItem3->IsChecked());
  Text2->SetVisible(MenuItem3->IsChecked());
}

void TForm2::MenuItem5Click(TSceneObject*) {
  MenuItem5->SetIsChecked(!MenuItem5->IsChecked());
  SetFullScreen(MenuItem5->IsChecked());
}

QString ScreenshotName(int ABody, const QDateTime& AWhen, const TSaveDialog& ADialog) {
  QString ext = ADialog.FilterExt(ADialog.FilterIndex);
  if (ext.isEmpty()) ext = ADialog.DefaultExt;
  // Colons are not welcome in file names on every file system the picture may go to.
  return BodyName(ABody) + QChar(' ') + AWhen.toString(QStringLiteral("yyyy-MM-dd HH-mm-ss")) + QChar('.') + ext;
}

void TForm2::MenuItem7Click(TSceneObject*) {
  SaveDialog1->InitialDir = DataFolder;
  SaveDialog1->FileName = ScreenshotName(CurrentBody, QDateTime::currentDateTime(), *SaveDialog1);
  if (!SaveDialog1->Execute()) return;
  TBitmapCodecSaveParams params;
  params.Quality = 100;
  std::unique_ptr<TBitmap> shot = Viewport3D1->MakeScreenshot();
  shot->SaveToFile(SaveDialog1->FileName.toStdString(), &params);
}

void TForm2::MenuItem6Click(TSceneObject*) {
  if (Form1) Form1->Show();
}

void TForm2::MenuItem4Click(TSceneObject*) { Application->Terminate(); }

}  // namespace sphaerix
