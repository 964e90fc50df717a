// The scene layer's one scope of process-wide state: the platform services and the image
// codecs it installs, the animation clock and the destroyer of finished animations, the
// clock's frame-rate setting, and the windows whose gestures make the enabled set.
//
// The program makes one at start (the Qt side does) and ends it before the platform goes;
// tests and benchmarks make their own. Scopes nest: a scope made while another is current
// replaces it until it ends, and then the outer one is current again, as it was.
#pragma once

#include <memory>
#include <vector>

namespace sphaerix {

class IPlatformServices;
class IBitmapCodecs;
class TAniThread;
class TAnimationDestroyer;
class TWindowInput;

class SceneRuntime {
 public:
  // APlatform (and ACodecs, where given) must outlive the scope.
  explicit SceneRuntime(IPlatformServices& APlatform, IBitmapCodecs* ACodecs = nullptr);
  // Ends the clock (animations still on it stop advancing), then the destroyer (animations
  // whose disposal is queued stay with the objects that own them), and makes the scope
  // that was current before current again.
  ~SceneRuntime();
  SceneRuntime(const SceneRuntime&) = delete;
  SceneRuntime& operator=(const SceneRuntime&) = delete;

  // The innermost scope, or nullptr when none is in place.
  static SceneRuntime* Current();
  // The innermost scope; std::logic_error when none is in place.
  static SceneRuntime& Require();

  IPlatformServices& Platform() const { return FPlatform; }
  // Null when this scope installed no codecs.
  IBitmapCodecs* Codecs() const { return FCodecs; }

  // The clock, or nullptr before the first start that needed one.
  TAniThread* Clock() const { return FClock.get(); }
  TAniThread& EnsureClock();
  // The destroyer, made on first use.
  TAnimationDestroyer& Destroyer();

  // The frame rate the clock derives its timer period from (5..100 when the clock is
  // made; 60 gives 10 ms). It is read again after every tick.
  int AniFrameRate() const { return FAniFrameRate; }
  void SetAniFrameRate(int AValue) { FAniFrameRate = AValue; }

  // The windows alive in this scope, in the order they were made.
  const std::vector<TWindowInput*>& Windows() const { return FWindows; }
  void AddWindow(TWindowInput* AWindow);
  void RemoveWindow(TWindowInput* AWindow);

 private:
  SceneRuntime* FPrevious;
  IPlatformServices& FPlatform;
  IBitmapCodecs* FCodecs;
  int FAniFrameRate = 60;
  std::unique_ptr<TAniThread> FClock;
  std::shared_ptr<TAnimationDestroyer> FDestroyer;
  std::vector<TWindowInput*> FWindows;
};

}  // namespace sphaerix
