// The main window's keys. A program that starts full screen must be usable without a
// pointer, so every key stands for a menu command or a pointer action and runs its
// handler: check marks and state cannot drift apart.
#include <QKeySequence>

#include "app/Unit2.h"
#include "scene/view/camera.h"
#include "scene/view/viewport3d.h"
#include "ui/form_window.h"
#include "ui/popup_menu.h"

namespace sphaerix {

void TForm2::AssignKeys() {
  MenuItem1->SetShortCuts({QKeySequence(Qt::Key_R)});
  MenuItem2->SetShortCuts({QKeySequence(Qt::Key_N)});
  MenuItem3->SetShortCuts({QKeySequence(Qt::Key_I)});
  MenuItem5->SetShortCuts({QKeySequence(Qt::Key_F11)});
  MenuItem7->SetShortCuts({QKeySequence(Qt::CTRL | Qt::Key_S), QKeySequence(Qt::Key_Print)});
  MenuItem6->SetShortCuts({QKeySequence(Qt::Key_F1)});
  MenuItem4->SetShortCuts({QKeySequence(Qt::CTRL | Qt::Key_Q)});
  OnKeyDown = [this](TSceneObject* s, int& k, Qt::KeyboardModifiers m) { FormKeyDown(s, k, m); };
}

void TForm2::PopupAtCentre() {
  TFormWindow* w = Window();
  const QPoint centre = w->mapToGlobal(QPoint(w->width() / 2, w->height() / 2));
  PopupMenu1->SetPopupComponent(Viewport3D1);
  PopupMenu1->Popup(static_cast<float>(centre.x()), static_cast<float>(centre.y()));
}

void TForm2::OrbitAsDrag(float ADX, float ADY) {
  // A whole drag of its own, from the viewport's centre; a pointer drag in progress goes
  // on from where it was.
  const bool dragging = Dragging;
  const TPointF down = FDown;
  const float x = Viewport3D1->Width() / 2;
  const float y = Viewport3D1->Height() / 2;
  Viewport3D1MouseDown(Viewport3D1, TMouseButton::mbLeft, {}, x, y);
  Viewport3D1MouseMove(Viewport3D1, TShiftState(ssLeft), x + ADX, y + ADY);
  Viewport3D1MouseUp(Viewport3D1, TMouseButton::mbLeft, {}, x + ADX, y + ADY);
  Dragging = dragging;
  FDown = down;
}

void TForm2::FormKeyDown(TSceneObject*, int& Key, Qt::KeyboardModifiers Shift) {
  if (PopupMenu1->IsShortCut(Key, Shift)) {
    Key = 0;
    return;
  }
  // Zoom and orbit keys ignore Shift: "+" is a shifted key on many layouts.
  const Qt::KeyboardModifiers others = Shift & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
  bool wheelHandled = false;
  switch (Key) {
    case Qt::Key_Escape:
      if (Shift != Qt::NoModifier) return;
      if (MenuItem5->IsChecked()) MenuItem5Click(MenuItem5);
      break;
    case Qt::Key_P:
      // The panel's own key: once hidden by a double click, nothing else brings it back
      // without a pointer.
      if (Shift != Qt::NoModifier) return;
      Viewport3D1DblClick(Viewport3D1);
      break;
    case Qt::Key_Menu:
      PopupAtCentre();
      break;
    case Qt::Key_F10:
      if ((Shift & ~Qt::KeypadModifier) != Qt::ShiftModifier) return;
      PopupAtCentre();
      break;
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Up:
    case Qt::Key_Down: {
      if (others) return;
      const float d = KeyOrbitPixels;
      OrbitAsDrag(Key == Qt::Key_Left ? -d : Key == Qt::Key_Right ? d : 0,
                  Key == Qt::Key_Up ? -d : Key == Qt::Key_Down ? d : 0);
      break;
    }
    case Qt::Key_Plus:
    case Qt::Key_Equal:
    case Qt::Key_PageUp:
      if (others) return;
      Viewport3D1MouseWheel(Viewport3D1, {}, 120, wheelHandled);  // a notch away from the user
      break;
    case Qt::Key_Minus:
    case Qt::Key_PageDown:
      if (others) return;
      Viewport3D1MouseWheel(Viewport3D1, {}, -120, wheelHandled);
      break;
    default:
      return;
  }
  Key = 0;
}

}  // namespace sphaerix
