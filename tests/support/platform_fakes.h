// A platform whose time moves only when a test says so, in a scene runtime of its own for
// the fake's lifetime (the runtime current before comes back afterwards). Timers fire and deferred
// calls run only from Advance, Pass and Drain; a wait (ProcessEventsUntil) moves the
// clock 10 ms per round, so nested waits run deterministically.
#pragma once

#include <algorithm>
#include <deque>
#include <exception>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "scene/runtime/platform_services.h"
#include "scene/runtime/scene_runtime.h"

namespace sphaerix::testing {

class FakePlatform : public IPlatformServices {
 public:
  struct Timer : IPlatformTimer {
    FakePlatform* Owner;
    int IntervalMs;
    double Due;  // seconds on the fake clock
    std::function<void()> Callback;
    Timer(FakePlatform* AOwner, int AInterval, double ADue, std::function<void()> ACallback)
        : Owner(AOwner), IntervalMs(AInterval), Due(ADue), Callback(std::move(ACallback)) {}
    ~Timer() override {
      auto& v = Owner->Timers;
      v.erase(std::remove(v.begin(), v.end(), this), v.end());
    }
  };

  FakePlatform() = default;
  FakePlatform(const FakePlatform&) = delete;
  FakePlatform& operator=(const FakePlatform&) = delete;

  double Now = 1000.0;  // seconds
  bool IsTerminated = false;
  int TimersCreated = 0;
  std::vector<Timer*> Timers;
  std::deque<std::function<void()>> Deferred;
  // What reached the error report: what() of each exception.
  std::vector<std::string> Errors;
  // Runs once per round of ProcessEventsUntil, before the clock moves: the "events" of a
  // nested wait.
  std::function<void()> OnRound;

  double Tick() override { return Now; }
  IPlatformTimer* CreateTimer(int AIntervalMs, std::function<void()> ACallback) override {
    if (IsTerminated) return nullptr;
    ++TimersCreated;
    Timers.push_back(new Timer(this, AIntervalMs, Now + AIntervalMs / 1000.0, std::move(ACallback)));
    return Timers.back();
  }
  void PostDeferred(std::function<void()> ACall) override { Deferred.push_back(std::move(ACall)); }
  void ProcessEventsUntil(const std::function<bool()>& ADone) override {
    for (int round = 0; !ADone() && !IsTerminated; ++round) {
      if (round > 1000000) throw std::runtime_error("wait never ends");
      if (OnRound) OnRound();
      if (ADone() || IsTerminated) break;
      Advance(0.01);
      Drain();
    }
  }
  bool Terminated() const override { return IsTerminated; }
  void HandleException(std::exception_ptr AException) override {
    try {
      std::rethrow_exception(AException);
    } catch (const std::exception& e) {
      Errors.push_back(e.what());
    } catch (...) {
      Errors.push_back("Unknown exception");
    }
  }

  // The clock jumps by ASeconds and every live timer fires once, as after a loop that
  // was busy meanwhile (a copy of the callback runs, as a real timer keeps its slot alive).
  void Advance(double ASeconds) {
    Now += ASeconds;
    const std::vector<Timer*> live = Timers;
    for (Timer* t : live) {
      if (std::find(Timers.begin(), Timers.end(), t) == Timers.end()) continue;
      std::function<void()> callback = t->Callback;
      if (callback) callback();
    }
  }
  // Time passes millisecond by millisecond: each timer fires whenever it falls due, and
  // the deferred calls run after each millisecond.
  void Pass(int AMs) {
    for (int i = 0; i < AMs; ++i) {
      Now += 0.001;
      const std::vector<Timer*> live = Timers;
      for (Timer* t : live) {
        if (std::find(Timers.begin(), Timers.end(), t) == Timers.end() || t->Due > Now + 1e-6) continue;
        t->Due += t->IntervalMs / 1000.0;
        std::function<void()> callback = t->Callback;
        if (callback) callback();
      }
      Drain();
    }
  }
  void Drain() {
    while (!Deferred.empty()) {
      auto call = std::move(Deferred.front());
      Deferred.pop_front();
      call();
    }
  }
  // What the application's termination does: every timer is dead from now on.
  void Terminate() {
    IsTerminated = true;
    for (Timer* t : Timers) t->Callback = nullptr;
  }

  // Last, so that it ends first: the clock's timer still finds the list it is on.
  SceneRuntime Runtime{*this};
};

}  // namespace sphaerix::testing
