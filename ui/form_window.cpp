#include "ui/form_window.h"

#include <QAccessible>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QPainter>

#include "platform/guarded_call.h"
#include "ui/canvas.h"
#include "ui/form.h"

namespace sphaerix {

TFormWindow::TFormWindow(TFormBase* AForm) : QOpenGLWindow(NoPartialUpdate), FForm(AForm) {}

void TFormWindow::paintGL() {
  TCanvas2D canvas(static_cast<QPaintDevice&>(*this));
  GuardedCall([&] {
    FForm->PaintFill(canvas);
    FForm->PaintContent(canvas);
  });
}

void TFormWindow::resizeGL(int, int) {
  GuardedCall([this] { FForm->Resized(); });
}

QAccessibleInterface* TFormWindow::accessibleRoot() const {
  return QAccessible::queryAccessibleInterface(const_cast<TFormWindow*>(this));
}

bool TFormWindow::event(QEvent* AEvent) {
  // Nothing is drawn before the window system has placed the window: on Wayland a frame
  // sent before the surface's first configure is a protocol error that ends the program,
  // and the expose that follows the configure paints anyway.
  if (AEvent->type() == QEvent::UpdateRequest && !isExposed()) return true;
  if (AEvent->type() == QEvent::Close) {
    // The window system asked; the form decides through its close handler.
    AEvent->ignore();
    GuardedCall([this] { FForm->Close(); });
    return true;
  }
  if (AEvent->type() == QEvent::Move || AEvent->type() == QEvent::Resize || AEvent->type() == QEvent::Expose)
    GuardedCall([this] { FForm->WindowGeometryChanged(); });
  if (AEvent->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(AEvent);
    bool used = false;
    GuardedCall([&] { used = FForm->KeyDown(key->key(), key->modifiers()); });
    if (used) return true;
  }
  if (OnInputEvent) {
    bool handled = false;
    GuardedCall([&] { handled = OnInputEvent(AEvent); });
    if (handled) return true;
  }
  return QOpenGLWindow::event(AEvent);
}

}  // namespace sphaerix
