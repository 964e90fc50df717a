// What the scene layer needs from the platform: a tick, periodic timers, deferred calls,
// running the event loop until a condition holds, and the application's error report.
// The Qt implementation lives in platform/; tests install a fake.
#pragma once

#include <exception>
#include <functional>

namespace sphaerix {

class IPlatformTimer {
 public:
  virtual ~IPlatformTimer() = default;
};

class IPlatformServices {
 public:
  virtual ~IPlatformServices() = default;
  // Monotonic time in seconds.
  virtual double Tick() = 0;
  // A periodic timer whose callback runs on the user-interface thread; it stops when
  // the returned object is destroyed. Returns nullptr once the application terminates.
  virtual IPlatformTimer* CreateTimer(int AIntervalMs, std::function<void()> ACallback) = 0;
  // Runs ACall later from the event loop, never inside the caller.
  virtual void PostDeferred(std::function<void()> ACall) = 0;
  // Keeps dispatching events, blocking between them, until ADone() holds or the
  // application is terminated.
  virtual void ProcessEventsUntil(const std::function<bool()>& ADone) = 0;
  virtual bool Terminated() const = 0;
  // The application's standard error report (message box, or stderr without a display).
  virtual void HandleException(std::exception_ptr AException) = 0;
};

// The services of the current scene runtime (scene_runtime.h): the blocking waits, touch
// timers and the error report of scene code go through them. Platform() raises
// std::logic_error when no runtime is in place.
IPlatformServices& Platform();
bool PlatformInstalled();

}  // namespace sphaerix
