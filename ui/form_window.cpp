#include "ui/form_window.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QPainter>

#include "platform/guarded_call.h"
#include "ui/form.h"

namespace sphaerix {

TFormWindow::TFormWindow(TFormBase* AForm) : QOpenGLWindow(NoPartialUpdate), FForm(AForm) {}

void TFormWindow::paintGL() {
  QPainter painter(this);
  GuardedCall([&] {
    FForm->PaintFill(painter);
    FForm->PaintContent(painter);
  });
}

void TFormWindow::resizeGL(int, int) {
  GuardedCall([this] { FForm->Resized(); });
}

bool TFormWindow::event(QEvent* AEvent) {
  if (AEvent->type() == QEvent::Close) {
    // The window system asked; the form decides through its close handler.
    AEvent->ignore();
    GuardedCall([this] { FForm->Close(); });
    return true;
  }
  if (AEvent->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(AEvent);
    bool used = false;
    GuardedCall([&] { used = FForm->KeyDown(key->key(), key->modifiers() & Qt::ShiftModifier); });
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
