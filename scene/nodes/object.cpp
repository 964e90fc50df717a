#include "scene/nodes/object.h"

#include "scene/animation/animator.h"

#include <algorithm>

namespace sphaerix {

static char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameText(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  return true;
}

TSceneObject::TSceneObject(TSceneObject* AOwner) : FOwner(AOwner) {
  if (FOwner) FOwner->InsertOwned(this);
}

TSceneObject::~TSceneObject() {
  FDestroying = true;
  for (TObjectWatch* w = FWatches; w; w = w->FNext) w->FObject = nullptr;
  FWatches = nullptr;
  // Listeners first, so no one keeps a reference into a half-destroyed object.
  std::vector<TSceneObject*> notifies;
  notifies.swap(FFreeNotifies);
  for (TSceneObject* o : notifies) {
    o->FNotifyTargets.erase(std::remove(o->FNotifyTargets.begin(), o->FNotifyTargets.end(), this),
                            o->FNotifyTargets.end());
    o->FreeNotification(this);
  }
  // And this object stops listening to everything it watched.
  std::vector<TSceneObject*> targets;
  targets.swap(FNotifyTargets);
  for (TSceneObject* t : targets)
    t->FFreeNotifies.erase(std::remove(t->FFreeNotifies.begin(), t->FFreeNotifies.end(), this),
                           t->FFreeNotifies.end());
  DestroyComponents();
  // Children this object does not own are released from it, not destroyed.
  while (!FChildren.empty()) RemoveObject(FChildren.back());
  if (FParent) FParent->RemoveObject(this);
  if (FOwner) FOwner->RemoveOwned(this);
}

void TSceneObject::DestroyComponents() {
  while (!FOwned.empty()) {
    TSceneObject* o = FOwned.back();
    FOwned.pop_back();
    o->FOwner = nullptr;
    delete o;
  }
}

void TSceneObject::SetParent(TSceneObject* AParent) {
  if (AParent == FParent) return;
  if (FParent) FParent->RemoveObject(this);
  if (AParent) AParent->AddObject(this);
}

void TSceneObject::AddObject(TSceneObject* AObject) {
  if (!AObject || AObject == this || AObject->FParent == this) return;
  if (AObject->FParent) AObject->FParent->RemoveObject(AObject);
  FChildren.push_back(AObject);
  AObject->FParent = this;
  DoAddObject(AObject);
  AObject->ParentChanged();
}

void TSceneObject::RemoveObject(TSceneObject* AObject) {
  auto it = std::find(FChildren.begin(), FChildren.end(), AObject);
  if (it == FChildren.end()) return;
  FChildren.erase(it);
  DoRemoveObject(AObject);
  AObject->FParent = nullptr;
  if (!AObject->FDestroying) AObject->ParentChanged();
}

const TPropertyInfo* TSceneObject::FindProperty(const std::string& AName) const {
  for (const TPropertyInfo& p : FProperties)
    if (SameText(p.Name, AName)) return &p;
  return nullptr;
}

void TSceneObject::RegisterObjectProperty(const std::string& AName, std::function<TSceneObject*()> AGet) {
  TPropertyInfo p;
  p.Name = AName;
  p.PropKind = TPropertyInfo::Kind::Object;
  p.GetObject = std::move(AGet);
  FProperties.push_back(std::move(p));
}

void TSceneObject::RegisterFloatProperty(const std::string& AName, std::function<float()> AGet,
                                       std::function<void(float)> ASet) {
  TPropertyInfo p;
  p.Name = AName;
  p.PropKind = TPropertyInfo::Kind::Float;
  p.GetFloat = std::move(AGet);
  p.SetFloat = std::move(ASet);
  FProperties.push_back(std::move(p));
}

void TSceneObject::AddFreeNotify(TSceneObject* AObject) {
  if (!AObject || AObject == this) return;
  if (std::find(FFreeNotifies.begin(), FFreeNotifies.end(), AObject) != FFreeNotifies.end()) return;
  FFreeNotifies.push_back(AObject);
  AObject->FNotifyTargets.push_back(this);
}

void TSceneObject::RemoveFreeNotify(TSceneObject* AObject) {
  auto it = std::find(FFreeNotifies.begin(), FFreeNotifies.end(), AObject);
  if (it == FFreeNotifies.end()) return;
  FFreeNotifies.erase(it);
  AObject->FNotifyTargets.erase(
      std::remove(AObject->FNotifyTargets.begin(), AObject->FNotifyTargets.end(), this),
      AObject->FNotifyTargets.end());
}

void TSceneObject::InsertOwned(TSceneObject* AObject) { FOwned.push_back(AObject); }

void TSceneObject::RemoveOwned(TSceneObject* AObject) {
  FOwned.erase(std::remove(FOwned.begin(), FOwned.end(), AObject), FOwned.end());
}

TObjectWatch::TObjectWatch(TSceneObject* AObject) : FObject(AObject) {
  if (!FObject) return;
  FNext = FObject->FWatches;
  FObject->FWatches = this;
}

TObjectWatch::~TObjectWatch() {
  if (!FObject) return;
  for (TObjectWatch** link = &FObject->FWatches; *link; link = &(*link)->FNext)
    if (*link == this) {
      *link = FNext;
      break;
    }
}

void TSceneObject::AnimateFloat(const std::string& APropertyName, float ANewValue, float ADuration,
                              TAnimationType AType, TInterpolationType AInterpolation) {
  TAnimator::AnimateFloat(this, APropertyName, ANewValue, ADuration, AType, AInterpolation);
}

void TSceneObject::AnimateFloatWait(const std::string& APropertyName, float ANewValue,
                                  float ADuration, TAnimationType AType,
                                  TInterpolationType AInterpolation) {
  TAnimator::AnimateFloatWait(this, APropertyName, ANewValue, ADuration, AType, AInterpolation);
}

void TSceneObject::StopPropertyAnimation(const std::string& APropertyName) {
  TAnimator::StopPropertyAnimation(this, APropertyName);
}

}  // namespace sphaerix
