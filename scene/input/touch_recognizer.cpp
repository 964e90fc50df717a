#include "scene/input/touch_recognizer.h"

#include <algorithm>
#include <cmath>

#include "scene/runtime/platform_services.h"

namespace sphaerix {

namespace {

float Distance(TPointF a, TPointF b) { return std::hypot(a.X - b.X, a.Y - b.Y); }
TPointF Midpoint(TPointF a, TPointF b) { return {(a.X + b.X) / 2, (a.Y + b.Y) / 2}; }

}  // namespace

TTouchRecognizer::TTouchRecognizer(ITouchHost& AHost) : FHost(AHost) {}

TTouchRecognizer::~TTouchRecognizer() = default;

void TTouchRecognizer::Report(const std::vector<TTouchPoint>& APoints) {
  const std::vector<TContact> before = FContacts;
  bool anyDown = false;
  std::vector<int> lifted;
  TTouchAction firstAction = TTouchAction::Move;
  for (const TTouchPoint& p : APoints) {
    auto it = std::find_if(FContacts.begin(), FContacts.end(), [&](const TContact& c) { return c.Id == p.Id; });
    if (it == FContacts.end()) {
      if (p.Action == TTouchAction::Up) continue;  // never seen going down: nothing to lift
      // A contact first seen moving counts as touching down now.
      FContacts.push_back({p.Id, p.Location});
      anyDown = true;
    } else {
      it->Location = p.Location;
    }
    if (p.Action == TTouchAction::Up) lifted.push_back(p.Id);
  }
  if (FContacts.empty()) return;
  const int firstId = FContacts.front().Id;
  const bool firstIsNew =
      std::none_of(before.begin(), before.end(), [&](const TContact& c) { return c.Id == firstId; });
  for (const TTouchPoint& p : APoints)
    if (p.Id == firstId) firstAction = firstIsNew ? TTouchAction::Down : p.Action;

  if (anyDown) {
    if (FContacts.size() == 1)
      FTouchDown = FHost.ObjectAtPoint(FContacts[0].Location);
    else if (FContacts.size() == 2)
      FTouchDown = FHost.ObjectAtPoint(Midpoint(FContacts[0].Location, FContacts[1].Location));
  }

  // State first, events last: a handler may pump the event loop and bring the next report
  // in while this one is still being delivered.
  std::vector<TPending> pending;
  const TInteractiveGestures enabled = FHost.EnabledGestures();
  const size_t remaining = FContacts.size() - lifted.size();
  if (enabled.Contains(TInteractiveGesture::Zoom)) RecognizeZoom(before, anyDown, remaining, pending);
  if (enabled.Contains(TInteractiveGesture::DoubleTap)) {
    if (FContacts.size() > 1) {
      StopTapTimer();
    } else {
      RecognizeDoubleTap(firstAction, pending);
    }
  }
  for (int id : lifted)
    FContacts.erase(std::remove_if(FContacts.begin(), FContacts.end(), [&](const TContact& c) { return c.Id == id; }),
                    FContacts.end());

  for (const TPending& p : pending) {
    const bool handled = Deliver(p.Info, p.Gesture);
    if (handled && p.Gesture == TInteractiveGesture::DoubleTap) ++FHandledDoubleTaps;
  }
}

void TTouchRecognizer::RecognizeZoom(const std::vector<TContact>& ABefore, bool AAnyDown, size_t ARemaining,
                                     std::vector<TPending>& AOut) {
  if ((AAnyDown && FContacts.size() >= 3) || ARemaining < 2) {
    EndZoom(AOut);
    return;
  }
  if (AAnyDown || ARemaining != FContacts.size() || FContacts.size() != 2) return;
  if (ABefore.size() != 2 || ABefore[0].Id != FContacts[0].Id || ABefore[1].Id != FContacts[1].Id) return;
  const float d = Distance(FContacts[0].Location, FContacts[1].Location);
  const float previous = Distance(ABefore[0].Location, ABefore[1].Location);
  if (!(d > ZoomThreshold && std::fabs(d - previous) > ZoomThreshold)) return;
  TGestureEventInfo info;
  info.GestureID = igiZoom;
  info.Location = Midpoint(FContacts[0].Location, FContacts[1].Location);
  info.Distance = static_cast<std::int32_t>(std::lround(d));
  info.Flags = FZoomInProgress ? 0 : gfBegin;
  FLastZoom = info;
  AOut.push_back({info, TInteractiveGesture::Zoom});
}

void TTouchRecognizer::EndZoom(std::vector<TPending>& AOut) {
  if (!FZoomInProgress) return;
  FZoomInProgress = false;
  TGestureEventInfo info = FLastZoom;
  info.Flags = gfEnd;
  AOut.push_back({info, TInteractiveGesture::Zoom});
}

void TTouchRecognizer::RecognizeDoubleTap(TTouchAction AAction, std::vector<TPending>& AOut) {
  const TPointF where = FContacts.front().Location;
  if (AAction == TTouchAction::Down) {
    if (!FTapTimerRunning) StartTapTimer();
    FTapLast = where;
    return;
  }
  const float limit = DoubleTapMovement / std::max(FHost.RootScale(), 0.01f);
  const bool moved = Distance(where, FTapLast) > limit;
  FTapLast = where;
  if (!FTapTimerRunning) return;
  if (moved) {
    StopTapTimer();
    return;
  }
  if (AAction != TTouchAction::Up) return;
  if (!FFirstTapMarked) {
    FFirstTapMarked = true;
    return;
  }
  StopTapTimer();
  TGestureEventInfo info;
  info.GestureID = igiDoubleTap;
  info.Location = where;
  info.Flags = gfBegin;
  AOut.push_back({info, TInteractiveGesture::DoubleTap});
}

void TTouchRecognizer::StartTapTimer() {
  FFirstTapMarked = false;
  const unsigned generation = ++FTapGeneration;
  std::weak_ptr<char> alive = FAlive;
  FTapTimer.reset(Platform().CreateTimer(DoubleTapTimeMs, [this, alive, generation] {
    if (alive.expired() || generation != FTapGeneration) return;
    TapTimerFired();
  }));
  FTapTimerRunning = FTapTimer != nullptr;
}

void TTouchRecognizer::StopTapTimer() {
  ++FTapGeneration;
  FTapTimer.reset();
  FTapTimerRunning = false;
  FFirstTapMarked = false;
}

// Runs inside the timer's own callback, so the timer is destroyed later, not here.
void TTouchRecognizer::TapTimerFired() {
  ++FTapGeneration;
  FTapTimerRunning = false;
  FFirstTapMarked = false;
  std::shared_ptr<IPlatformTimer> expired(FTapTimer.release());
  Platform().PostDeferred([expired] {});
}

void TTouchRecognizer::Cancel() {
  std::vector<TPending> pending;
  EndZoom(pending);
  StopTapTimer();
  FContacts.clear();
  for (const TPending& p : pending) Deliver(p.Info, p.Gesture);
}

void TTouchRecognizer::ControlDestroyed(TControl* AControl) {
  if (IsSelfOrDescendant(FTouchDown, AControl)) FTouchDown = nullptr;
  if (IsSelfOrDescendant(FTarget, AControl)) FTarget = nullptr;
}

TControl* TTouchRecognizer::FindTarget(TInteractiveGesture AGesture) const {
  for (TControl* c = FTouchDown; c; c = c->ParentControl())
    if (c->Touch().InteractiveGestures.Contains(AGesture)) return c;
  return nullptr;
}

bool TTouchRecognizer::Deliver(const TGestureEventInfo& AInfo, TInteractiveGesture AGesture) {
  if (AInfo.Flags & gfBegin) {
    FTarget = FindTarget(AGesture);
    if (FTarget && AGesture == TInteractiveGesture::Zoom) FZoomInProgress = true;
  }
  TControl* target = FTarget;
  if (!target) return false;
  if (AInfo.Flags & gfEnd) FTarget = nullptr;
  bool handled = false;
  target->Gesture(AInfo, handled);
  return handled;
}

}  // namespace sphaerix
