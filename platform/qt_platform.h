// The platform services of the scene layer on Qt: a monotonic tick from QElapsedTimer,
// precise QTimers, deferred calls through the event queue, and waits that run the Qt
// event loop nested and block between events.
//
// Use: create the QGuiApplication (or QCoreApplication) first, then the platform through a
// QtRuntime (qt_runtime.h), which installs it for the scene layer; destroy it before the
// application object.
#pragma once

#include <QElapsedTimer>

#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "scene/runtime/platform_services.h"

class QObject;
class QAbstractEventDispatcher;

namespace sphaerix {

class QtPlatform : public IPlatformServices {
 public:
  QtPlatform();
  ~QtPlatform() override;
  QtPlatform(const QtPlatform&) = delete;
  QtPlatform& operator=(const QtPlatform&) = delete;

  double Tick() override;
  IPlatformTimer* CreateTimer(int AIntervalMs, std::function<void()> ACallback) override;
  void PostDeferred(std::function<void()> ACall) override;
  void ProcessEventsUntil(const std::function<bool()>& ADone) override;
  bool Terminated() const override { return FTerminated; }
  void HandleException(std::exception_ptr AException) override;

  // Asks the application to terminate: every timer made here stops for good and no new
  // one is created, every wait in ProcessEventsUntil returns, and the running Qt event
  // loop (if any) is told to exit with 0.
  void Terminate();
  // Runs the application's event loop, or returns 0 at once when Terminate came first
  // (for instance from a handler that ran before the loop started).
  int Run();

  // The application's standard error report; without a hook the message goes to stderr
  // as "Sphaerix: <message>".
  using TExceptionHook = std::function<void(std::exception_ptr)>;
  void SetExceptionHook(TExceptionHook AHook) { FExceptionHook = std::move(AHook); }
  // The text of an exception: what() of a std::exception, else "Unknown exception".
  static std::string ExceptionMessage(std::exception_ptr AException);

  // Timers made here that are still alive and not killed by Terminate.
  int ActiveTimerCount() const;
  // How many ProcessEventsUntil calls are on the stack.
  int WaitDepth() const { return static_cast<int>(FWaits.size()); }

 private:
  class Timer;
  struct TimerState;
  void CheckBeforeBlock();

  QElapsedTimer FClock;
  std::unique_ptr<QObject> FContext;  // receiver of the deferred calls
  std::vector<std::shared_ptr<TimerState>> FTimers;
  std::vector<const std::function<bool()>*> FWaits;  // innermost last
  QAbstractEventDispatcher* FWatchedDispatcher = nullptr;
  bool FTerminated = false;
  TExceptionHook FExceptionHook;
};

}  // namespace sphaerix
