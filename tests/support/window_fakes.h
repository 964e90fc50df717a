// A window without a window system, for tests that drive pointer, wheel and touch input
// or frame requests through the real path: it is the root of its top-level controls, as
// a form is (capture, focus, scale, the screen pointer), and owns their TWindowInput. It
// records what it would ask of the window system: paints and pointer grabs.
#pragma once

#include <vector>

#include "scene/input/control.h"
#include "scene/input/window_input.h"

namespace sphaerix::testing {

class FakeWindow : public TSceneObject, public IControlRoot {
 public:
  FakeWindow() : Input(*this, *this) {}

  // IControlRoot: an invalidation only marks the window dirty until its next paint.
  void InvalidateRoot() override {
    ++Invalidations;
    Dirty = true;
  }
  TControl* Captured() const override { return FCaptured; }
  void SetCaptured(TControl* AControl) override {
    if (FCaptured == AControl) return;
    if ((FCaptured == nullptr) != (AControl == nullptr)) Grabs.push_back(AControl != nullptr);
    FCaptured = AControl;
  }
  TControl* Focused() const override { return FFocused; }
  void SetFocused(TControl* AControl) override {
    if (FFocused == AControl) return;
    TControl* previous = FFocused;
    FFocused = AControl;
    if (previous) previous->Repaint();
    if (AControl) AControl->Repaint();
  }
  float RootScale() const override { return Scale; }
  TPointF ScreenPointer() const override { return Screen; }
  void ControlDestroyed(TControl* AControl) override {
    if (IsSelfOrDescendant(FCaptured, AControl)) SetCaptured(nullptr);
    if (IsSelfOrDescendant(FFocused, AControl)) FFocused = nullptr;
    Input.ControlDestroyed(AControl);
  }

  TWindowInput Input;
  int Invalidations = 0;
  bool Dirty = false;
  float Scale = 1;
  TPointF Screen{0, 0};
  // Each take (true) and release (false) of the platform's pointer grab.
  std::vector<bool> Grabs;

 protected:
  void DoAddObject(TSceneObject* AObject) override {
    if (auto* c = dynamic_cast<TControl*>(AObject)) c->SetRoot(this);
  }
  void DoRemoveObject(TSceneObject* AObject) override {
    if (auto* c = dynamic_cast<TControl*>(AObject)) {
      ControlDestroyed(c);
      c->SetRoot(nullptr);
    }
  }

 private:
  TControl* FCaptured = nullptr;
  TControl* FFocused = nullptr;
};

}  // namespace sphaerix::testing
