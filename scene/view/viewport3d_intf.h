// What a scene node needs of the viewport it belongs to. TViewport3D implements it;
// tests use a fake.
#pragma once

namespace sphaerix {

class TDrawContext;
class TLight;

class IViewport3D {
 public:
  virtual ~IViewport3D() = default;
  // Ask for a new frame; requests coalesce until the next paint.
  virtual void NeedRender() = 0;
  // The drawing context of the viewport's render target; null before the first resize.
  virtual TDrawContext* Context() const = 0;
  // A light joining or leaving the scene of this viewport.
  virtual void AddLight(TLight* ALight) = 0;
  virtual void RemoveLight(TLight* ALight) = 0;
};

}  // namespace sphaerix
