#include "ui/form_window.h"

#include <QAccessible>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QPainter>

#include <cmath>

#include "platform/gl_device.h"
#include "platform/guarded_call.h"
#include "platform/part_present.h"
#include "scene/view/viewport3d.h"
#include "ui/canvas.h"
#include "ui/form.h"

namespace sphaerix {

TFormWindow::TFormWindow(TFormBase* AForm) : QOpenGLWindow(NoPartialUpdate), FForm(AForm) {}

TFormWindow::~TFormWindow() = default;

void TFormWindow::PaintForm() {
  TCanvas2D canvas(static_cast<QPaintDevice&>(*this));
  GuardedCall([&] {
    FForm->PaintFill(canvas);
    FForm->PaintContent(canvas);
  });
}

void TFormWindow::paintGL() {
  FForm->FWholeChanged = false;
  FKept = false;  // the toolkit swaps next
  PaintForm();
}

bool TFormWindow::PresentPart() {
  if (!FPresentParts || !context() || FForm->FWholeChanged) return false;
  auto* viewport = dynamic_cast<TViewport3D*>(FForm->FillCoveredBy());
  if (!viewport) return false;
  if (!FPresenter) FPresenter = std::make_unique<TPartPresenter>(context());
  if (!FPresenter->Available()) return false;
  makeCurrent();
  const qreal ratio = devicePixelRatio();
  const QRect window(0, 0, static_cast<int>(std::lround(width() * ratio)),
                     static_cast<int>(std::lround(height() * ratio)));
  // The scene is drawn first, into its own target, to learn which pixels it changed.
  bool ahead = false;
  GuardedCall([&] { ahead = viewport->RenderFrameAhead(); });
  QRect part = window;
  if (ahead && FKept && FKeptSize == window.size()) {
    const TPixelRect drawn = viewport->LastDrawnRect();
    const float scale = FForm->Scale();
    const TPointF origin = viewport->LocalToAbsolute({0, 0});
    part = QRect(RoundToEven(origin.X * scale) + drawn.X, RoundToEven(origin.Y * scale) + drawn.Y, drawn.Width,
                 drawn.Height) &
           window;
  }
  if (!part.isEmpty()) {
    QOpenGLFunctions* gl = context()->functions();
    gl->glBindFramebuffer(GL_FRAMEBUFFER, defaultFramebufferObject());
    gl->glViewport(0, 0, window.width(), window.height());
    const std::shared_ptr<TGLDevice> device = TGLDevice::ForCurrentContext();
    // Everything over the scene (the panel, the title, the facts) is drawn again inside
    // the part alone, as it is: the same pixels there as a whole paint's.
    if (device && part != window)
      device->SetWindowClip(part.x(), window.height() - part.y() - part.height(), part.width(), part.height());
    PaintForm();
    if (device) device->SetWindowClip(0, 0, 0, 0);
    FPresenter->Present(*this, part);
    FKept = true;
    FKeptSize = window.size();
    if (part != window) ++FPartPresents;
    emit frameSwapped();
  }
  viewport->EndFrameAhead();
  return true;
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
  if (AEvent->type() == QEvent::UpdateRequest && PresentPart()) return true;
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
