#include "ui/window_compositor.h"

#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QOpenGLWindow>

#include <cmath>

#include "platform/guarded_call.h"
#include "platform/part_present.h"
#include "ui/canvas.h"
#include "ui/form.h"

namespace sphaerix {

namespace {

// The scenes of AControl and of the visible controls inside it, drawn; false when one
// could not be.
bool DrawScenesOf(TControl& AControl, TPixelRect& AChanged) {
  bool known = true;
  if (AControl.HasScene()) {
    TPixelRect changed;
    if (AControl.DrawSceneAhead(changed))
      AChanged = Union(AChanged, changed);
    else
      known = false;
  }
  for (TControl* c : AControl.Controls())
    if (c->Visible()) known = DrawScenesOf(*c, AChanged) && known;
  return known;
}

}  // namespace

TWindowCompositor::TWindowCompositor(QOpenGLWindow& AWindow, TFormBase& AForm) : FWindow(AWindow), FForm(AForm) {}

TWindowCompositor::~TWindowCompositor() = default;

std::shared_ptr<TGLDevice> TWindowCompositor::MakeCurrent() {
  QOpenGLContext* context = FWindow.context();
  if (!context) return nullptr;
  if (QOpenGLContext::currentContext() != context || context->surface() != &FWindow) FWindow.makeCurrent();
  if (QOpenGLContext::currentContext() != context) return nullptr;
  if (FDevice && (!FDevice->Alive() || FDevice->Context != context)) FDevice.reset();
  if (!FDevice) FDevice = TGLDevice::For(context);
  return FDevice;
}

bool TWindowCompositor::PartsOffered() {
  if (!FWindow.context()) return false;
  if (!FPresenter) FPresenter = std::make_unique<TPartPresenter>(FWindow.context());
  return FPresenter->Available();
}

TFrameRequest TWindowCompositor::Request() {
  TFrameRequest r;
  const qreal ratio = FWindow.devicePixelRatio();
  r.Width = static_cast<int>(std::lround(FWindow.width() * ratio));
  r.Height = static_cast<int>(std::lround(FWindow.height() * ratio));
  r.Scale = static_cast<float>(ratio);
  r.PartsOffered = FPresentParts && PartsOffered();
  r.WholeChanged = FWholeChanged;
  return r;
}

bool TWindowCompositor::DrawScenes(TPixelRect& AChanged) {
  bool known = true;
  GuardedCall([&] {
    for (TControl* c : FForm.Controls())
      if (c->Visible()) known = DrawScenesOf(*c, AChanged) && known;
  });
  return known;
}

void TWindowCompositor::PaintForm(const TPixelRect& AClip) {
  const std::shared_ptr<TGLDevice> device = MakeCurrent();
  TWindowFrame frame;
  frame.Device = device.get();
  const qreal ratio = FWindow.devicePixelRatio();
  frame.Target.Width = static_cast<int>(std::lround(FWindow.width() * ratio));
  frame.Target.Height = static_cast<int>(std::lround(FWindow.height() * ratio));
  frame.Target.Clip = AClip;
  frame.Fill = FForm.Fill();
  TCanvas2D canvas(static_cast<QPaintDevice&>(FWindow), frame);
  GuardedCall([&] {
    frame.FillTakenBy = FForm.FillCoveredBy();
    FForm.PaintFill(canvas);
    FForm.PaintContent(canvas);
  });
}

void TWindowCompositor::PaintWhole() {
  FWholeChanged = false;
  FKept.Note(TKeptBuffer::TEvent::WholeSwapped);  // the toolkit swaps next
  TPixelRect changed;
  DrawScenes(changed);
  PaintForm({});
}

bool TWindowCompositor::PaintUpdate() {
  TFrameRequest request = Request();
  if (PlanFrame(request, FKept).Kind == TFramePlan::TKind::Swap) return false;
  if (!MakeCurrent()) return false;
  // The scenes first, into their own targets, to learn which pixels they changed.
  request.ScenesKnown = DrawScenes(request.ScenePart);
  const TFramePlan plan = PlanFrame(request, FKept);
  if (plan.Kind == TFramePlan::TKind::Swap) return false;
  if (plan.Kind == TFramePlan::TKind::Nothing) return true;
  const TPixelRect window{0, 0, request.Width, request.Height};
  const bool whole = plan.Part.X == 0 && plan.Part.Y == 0 && plan.Part.Width == window.Width &&
                     plan.Part.Height == window.Height;
  QOpenGLFunctions* gl = FWindow.context()->functions();
  gl->glBindFramebuffer(GL_FRAMEBUFFER, FWindow.defaultFramebufferObject());
  gl->glViewport(0, 0, window.Width, window.Height);
  // Everything over the scene (the panel, the title, the facts) is drawn again inside
  // the part alone, as it is: the same pixels there as a whole frame's.
  PaintForm(whole ? TPixelRect{} : plan.Part);
  FPresenter->Present(FWindow, QRect(plan.Part.X, plan.Part.Y, plan.Part.Width, plan.Part.Height));
  FKept.Note(TKeptBuffer::TEvent::Copied, request.Width, request.Height, request.Scale);
  if (!whole) ++FPartPresents;
  emit FWindow.frameSwapped();
  return true;
}

}  // namespace sphaerix
