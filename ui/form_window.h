// The window-system side of a form: forwards paint, resize, close and input to its form,
// and keeps exceptions from crossing Qt's event dispatch.
#pragma once

#include <QOpenGLWindow>
#include <functional>
#include <memory>

namespace sphaerix {

class TFormBase;
class TWindowCompositor;

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

  // The owner of the window's frames.
  TWindowCompositor& Compositor() const { return *FCompositor; }

 protected:
  void paintGL() override;
  void resizeGL(int w, int h) override;
  bool event(QEvent* AEvent) override;

 private:
  TFormBase* FForm;
  std::unique_ptr<TWindowCompositor> FCompositor;
};

}  // namespace sphaerix
