// The scene-tree object: owner, parent, ordered children, name, tag, properties by name
// and free notification. Every node, animation and material source derives from it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace sphaerix {

class TSceneObject;
class TObjectWatch;
enum class TAnimationType;      // scene/animation/easing.h
enum class TInterpolationType;  // scene/animation/easing.h

// True when a and b are equal ignoring ASCII case (property and component lookups).
bool SameText(const std::string& a, const std::string& b);

// One published property as the name lookup sees it: either an owned object
// (Position, RotationAngle ...) or a 32-bit float read and written through its setter.
struct TPropertyInfo {
  enum class Kind { Object, Float };
  std::string Name;
  Kind PropKind = Kind::Float;
  std::function<TSceneObject*()> GetObject;  // Kind::Object
  std::function<float()> GetFloat;          // Kind::Float
  std::function<void(float)> SetFloat;      // Kind::Float
};

class TSceneObject {
 public:
  explicit TSceneObject(TSceneObject* AOwner = nullptr);
  virtual ~TSceneObject();
  TSceneObject(const TSceneObject&) = delete;
  TSceneObject& operator=(const TSceneObject&) = delete;

  // Ownership: the owner destroys what it owns (children it owns included) when it goes.
  TSceneObject* Owner() const { return FOwner; }
  // Destroys everything this object owns, last created first (a window does this before
  // taking down what its components rely on).
  void DestroyComponents();

  // Tree: a parent holds its children in order but does not own them unless it is
  // also their owner.
  TSceneObject* Parent() const { return FParent; }
  void SetParent(TSceneObject* AParent);
  void AddObject(TSceneObject* AObject);
  void RemoveObject(TSceneObject* AObject);
  const std::vector<TSceneObject*>& Children() const { return FChildren; }
  int ChildrenCount() const { return static_cast<int>(FChildren.size()); }

  const std::string& Name() const { return FName; }
  void SetName(const std::string& AName) { FName = AName; }
  std::intptr_t Tag() const { return FTag; }
  void SetTag(std::intptr_t ATag) { FTag = ATag; }

  // True while the destructor runs; such an object asks for no repaint.
  bool IsDestroying() const { return FDestroying; }

  // Visual controls (2D or 3D) answer true; animations stop under a hidden control.
  virtual bool IsControl() const { return false; }
  virtual bool Visible() const { return true; }
  // A window answers true: it is the root of a scene tree. Animations that are not
  // attached below a root finish at once instead of joining the clock.
  virtual bool IsRoot() const { return false; }

  // Properties by name, ASCII case ignored; nullptr when there is no such property.
  const TPropertyInfo* FindProperty(const std::string& AName) const;
  const std::vector<TPropertyInfo>& Properties() const { return FProperties; }

  // Property animation of this object's properties, forwarding to TAnimator
  // (scene/animation/animator.h): AnimateFloat returns at once,
  // AnimateFloatWait runs the event loop until the animation has ended.
  void AnimateFloat(const std::string& APropertyName, float ANewValue, float ADuration,
                    TAnimationType AType, TInterpolationType AInterpolation);
  void AnimateFloatWait(const std::string& APropertyName, float ANewValue, float ADuration,
                        TAnimationType AType, TInterpolationType AInterpolation);
  void StopPropertyAnimation(const std::string& APropertyName);

  // Free notification: AObject's FreeNotification(this) runs when this object dies.
  // The registration is undone on both sides when either object goes.
  void AddFreeNotify(TSceneObject* AObject);
  void RemoveFreeNotify(TSceneObject* AObject);

 protected:
  // Called on every registered listener when AObject is destroyed; overrides clear
  // their references to it.
  virtual void FreeNotification(TSceneObject* AObject) {}
  // Hooks for subclasses that keep their own view of the children.
  virtual void DoAddObject(TSceneObject* AObject) {}
  virtual void DoRemoveObject(TSceneObject* AObject) {}
  // Runs when this object's parent changed (animations forget their target).
  virtual void ParentChanged() {}

  void RegisterObjectProperty(const std::string& AName, std::function<TSceneObject*()> AGet);
  void RegisterFloatProperty(const std::string& AName, std::function<float()> AGet,
                             std::function<void(float)> ASet);

 private:
  friend class TObjectWatch;
  void InsertOwned(TSceneObject* AObject);
  void RemoveOwned(TSceneObject* AObject);

  TSceneObject* FOwner = nullptr;
  TSceneObject* FParent = nullptr;
  std::vector<TSceneObject*> FChildren;
  std::vector<TSceneObject*> FOwned;
  std::vector<TSceneObject*> FFreeNotifies;   // who hears of this object's end
  std::vector<TSceneObject*> FNotifyTargets;  // whose end this object hears of
  std::vector<TPropertyInfo> FProperties;
  std::string FName;
  std::intptr_t FTag = 0;
  bool FDestroying = false;
  TObjectWatch* FWatches = nullptr;  // watches on the stack that want to hear of the end
};

// Tells a caller whether an object survived the code it just ran: an event handler may
// destroy its own sender (an animation's OnFinish deleting the animation), and the code
// that raised the event must then not touch it again. Lives on the stack only.
class TObjectWatch {
 public:
  explicit TObjectWatch(TSceneObject* AObject);
  ~TObjectWatch();
  TObjectWatch(const TObjectWatch&) = delete;
  TObjectWatch& operator=(const TObjectWatch&) = delete;

  bool Alive() const { return FObject != nullptr; }

 private:
  friend class TSceneObject;
  TSceneObject* FObject;
  TObjectWatch* FNext = nullptr;
};

}  // namespace sphaerix
