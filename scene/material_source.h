// TMaterialSource: a scene-tree component, never drawn, that owns one material (created
// by the subclass) and keeps the list of shapes using it, so that a change of the
// material repaints them.
#pragma once

#include <vector>

#include "scene/object.h"

namespace sphaerix {

class TMaterial;
class TShape3D;

class TMaterialSource : public TFmxObject {
 public:
  explicit TMaterialSource(TFmxObject* AOwner = nullptr);
  ~TMaterialSource() override;

  // The material this source owns; none for the plain base.
  virtual TMaterial* Material() const { return nullptr; }

  // Shapes that repaint when the material changes. A shape registers itself when it
  // takes this source and unregisters when it drops it or is destroyed.
  void AddChangeListener(TShape3D* AShape);
  void RemoveChangeListener(TShape3D* AShape);
  const std::vector<TShape3D*>& ChangeListeners() const { return FListeners; }

  // The material reported a change: every shape in the list repaints.
  void NotifyChanged();

 private:
  std::vector<TShape3D*> FListeners;
};

// The material of ASource, or none when there is no source.
TMaterial* ValidMaterial(const TMaterialSource* ASource);

}  // namespace sphaerix
