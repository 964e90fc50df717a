// The window-system side of a form: forwards paint, resize, close and input to its form,
// and keeps exceptions from crossing Qt's event dispatch.
#pragma once

#include <QOpenGLWindow>
#include <functional>
#include <memory>

namespace sphaerix {

class TFormBase;
class TPartPresenter;

class TFormWindow : public QOpenGLWindow {
  Q_OBJECT
 public:
  explicit TFormWindow(TFormBase* AForm);

  // Input goes to whoever the form installs; a form without input leaves them empty.
  std::function<bool(QEvent*)> OnInputEvent;
  TFormBase* Form() const { return FForm; }
  // The window's own accessible interface: Qt lists a top-level window among the
  // application's accessible children only through this, and a plain window has none.
  QAccessibleInterface* accessibleRoot() const override;
  ~TFormWindow() override;

  // Whether a paint in which only the 3D scene of the viewport that fills the window
  // changed draws and shows only the pixels the scene changed, where the window system
  // can show part of a window (see TPartPresenter). On by default.
  void SetPresentParts(bool AValue) { FPresentParts = AValue; }
  // The next paint draws and shows the whole window, as after a swap.
  void ForgetKeptFrame() { FKept = false; }
  // Paints that showed only part of the window, so far.
  unsigned long long PartPresents() const { return FPartPresents; }

 protected:
  void paintGL() override;
  void resizeGL(int w, int h) override;
  bool event(QEvent* AEvent) override;

 private:
  // The form's fill and content, on the window's back buffer.
  void PaintForm();
  // The paint of an update, when only the viewport's scene changed and the window system
  // can show part of the window; false leaves the paint to the toolkit, which swaps the
  // whole window (and leaves the back buffer undefined).
  bool PresentPart();

  TFormBase* FForm;
  bool FPresentParts = true;
  std::unique_ptr<TPartPresenter> FPresenter;
  // The back buffer holds the last frame shown, at this size: it was never swapped since.
  bool FKept = false;
  QSize FKeptSize;
  unsigned long long FPartPresents = 0;
};

}  // namespace sphaerix
