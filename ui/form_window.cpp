#include "ui/form_window.h"

#include <QAccessible>
#include <QCloseEvent>
#include <QKeyEvent>

#include "platform/guarded_call.h"
#include "ui/form.h"
#include "ui/window_compositor.h"

namespace sphaerix {

TFormWindow::TFormWindow(TFormBase* AForm)
    : QOpenGLWindow(NoPartialUpdate), FForm(AForm), FCompositor(std::make_unique<TWindowCompositor>(*this, *AForm)) {}

TFormWindow::~TFormWindow() = default;

void TFormWindow::paintGL() { FCompositor->PaintWhole(); }

void TFormWindow::resizeGL(int, int) {
  FCompositor->Note(TKeptBuffer::TEvent::Resized);
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
  if (AEvent->type() == QEvent::UpdateRequest && FCompositor->PaintUpdate()) return true;
  if (AEvent->type() == QEvent::Expose) FCompositor->Note(TKeptBuffer::TEvent::Exposed);
  if (AEvent->type() == QEvent::Close) {
    // The window system asked; the form decides through its close handler.
    AEvent->ignore();
    GuardedCall([this] { FForm->Close(); });
    return true;
  }
  if (AEvent->type() == QEvent::Move || AEvent->type() == QEvent::Resize || AEvent->type() == QEvent::Expose)
    GuardedCall([this] { FForm->WindowGeometryChanged(); });
  if (AEvent->type() == QEvent::WindowStateChange) GuardedCall([this] { FForm->WindowStateChanged(); });
  if (AEvent->type() == QEvent::FocusIn) GuardedCall([this] { FForm->WindowActivated(); });
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
