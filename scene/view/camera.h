// TCamera: a scene node whose CameraMatrix is the view (world to camera) and whose
// AngleOfView is the vertical field of view of the projection. With a Target it looks
// at that node in every frame, otherwise along its own +z axis. Both the eye and the
// up direction come from the camera's absolute matrix, so a camera inside a turning
// rig orbits and rolls with it; no fixed world "up" is used.
#pragma once

#include "scene/nodes/control3d.h"

namespace sphaerix {

class TCamera : public TControl3D {
 public:
  explicit TCamera(TSceneObject* AOwner = nullptr);
  ~TCamera() override;

  // Degrees; every assigned value is clamped to [1, 179].
  float AngleOfView() const { return FAngleOfView; }
  void SetAngleOfView(float AValue);
  // Not owned; becomes none when that node is destroyed.
  TControl3D* Target() const { return FTarget; }
  void SetTarget(TControl3D* AValue);

  // The view matrix, computed at every read: a right-handed look-at whose view space
  // looks down -z, with up = the camera's own -y axis in world terms.
  TMatrix3D CameraMatrix() const;

 protected:
  void FreeNotification(TSceneObject* AObject) override;

 private:
  float FAngleOfView = 45;
  TControl3D* FTarget = nullptr;
};

}  // namespace sphaerix
