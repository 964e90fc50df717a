// TWindowCompositor: the one owner of a window's frame, from the request to the screen.
//
// A frame begins with its damage known: the scenes of the window's viewports are drawn
// first, into targets of their own, which tells which window pixels they changed. The
// plan (frame_plan.h) then decides between a whole frame that the toolkit swaps, a part
// drawn and copied out of the back buffer that keeps the rest, or nothing at all. The
// fill, the viewports' frames and the 2D layers are drawn inside that part, through the
// window's device, which the compositor hands to them with the frame (TWindowFrame); and
// the frame ends with the swap or the copy. Only the compositor knows whether the back
// buffer still holds the frame last shown.
#pragma once

#include <QSize>
#include <memory>

#include "platform/gl_device.h"
#include "ui/frame_plan.h"

class QOpenGLWindow;

namespace sphaerix {

class TFormBase;
class TPartPresenter;
struct TWindowFrame;

class TWindowCompositor : public IGLDeviceSource {
 public:
  // AWindow shows AForm; both outlive the compositor's use.
  TWindowCompositor(QOpenGLWindow& AWindow, TFormBase& AForm);
  ~TWindowCompositor() override;

  // The window's context made current, and its device (made on first use). Null before
  // the window has a context, or where it offers no OpenGL 3.3 core.
  std::shared_ptr<TGLDevice> MakeCurrent() override;

  // Something besides the scenes changed (a control, the fill): the next frame is whole.
  void WholeChanged() { FWholeChanged = true; }
  // The window system resized or exposed the window, or changed its scale.
  void Note(TKeptBuffer::TEvent AEvent) { FKept.Note(AEvent); }
  // The next frame is drawn and shown whole, as after a swap.
  void ForgetKeptFrame() { FKept.Note(TKeptBuffer::TEvent::Forgotten); }

  // An update request of the window. False leaves the frame to the toolkit's paint
  // (PaintWhole), which swaps the whole window.
  bool PaintUpdate();
  // The toolkit's paint, its context current: the whole window, which the toolkit swaps.
  void PaintWhole();

  // Whether a frame in which only the scenes changed shows only the pixels they changed,
  // where the window system can (see TPartPresenter). On by default.
  void SetPresentParts(bool AValue) { FPresentParts = AValue; }
  // Whether this window system can show part of a window (known once the window has a
  // context).
  bool PartsOffered();
  // Frames that showed only part of the window, so far.
  unsigned long long PartPresents() const { return FPartPresents; }

 private:
  TFrameRequest Request();
  // Has every scene drawn; false when one could not be, else AChanged is what they changed.
  bool DrawScenes(TPixelRect& AChanged);
  // The form's fill and content on the back buffer, inside AClip (empty: all of it).
  void PaintForm(const TPixelRect& AClip);

  QOpenGLWindow& FWindow;
  TFormBase& FForm;
  std::shared_ptr<TGLDevice> FDevice;
  std::unique_ptr<TPartPresenter> FPresenter;
  TKeptBuffer FKept;
  bool FWholeChanged = true;
  bool FPresentParts = true;
  unsigned long long FPartPresents = 0;
};

}  // namespace sphaerix
