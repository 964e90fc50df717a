#include "platform/qt_platform.h"

#include "platform/guarded_call.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QEventLoop>
#include <QMetaObject>
#include <QObject>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <stdexcept>

namespace sphaerix {

// What a timer's slot and its handle share: the slot may still be on the stack when the
// handle is destroyed (the clock switches its timer off from inside a tick).
struct QtPlatform::TimerState {
  QTimer* QtTimer = nullptr;
  std::function<void()> Callback;
  QtPlatform* Owner = nullptr;
  int Firing = 0;       // callbacks of this timer on the stack
  bool Queued = false;  // a callback is queued and has not run yet

  void Kill() {
    Callback = nullptr;
    if (!QtTimer) return;
    QtTimer->stop();
    QObject::disconnect(QtTimer, nullptr, nullptr, nullptr);
    // A timer switched off from inside its own callback goes once the loop is back.
    if (Firing > 0 && QCoreApplication::instance())
      QtTimer->deleteLater();
    else
      delete QtTimer;
    QtTimer = nullptr;
  }
};

class QtPlatform::Timer : public IPlatformTimer {
 public:
  explicit Timer(std::shared_ptr<TimerState> AState) : FState(std::move(AState)) {}
  ~Timer() override {
    FState->Kill();
    if (QtPlatform* owner = FState->Owner) {
      auto& list = owner->FTimers;
      list.erase(std::remove(list.begin(), list.end(), FState), list.end());
    }
  }

 private:
  std::shared_ptr<TimerState> FState;
};

QtPlatform::QtPlatform() : FContext(std::make_unique<QObject>()) { FClock.start(); }

QtPlatform::~QtPlatform() {
  for (auto& state : FTimers) {
    state->Kill();
    state->Owner = nullptr;
  }
  FTimers.clear();
  if (FWatchedDispatcher) QObject::disconnect(FWatchedDispatcher, nullptr, FContext.get(), nullptr);
  // Deferred calls still queued die with their receiver.
  FContext.reset();
}

double QtPlatform::Tick() { return static_cast<double>(FClock.nsecsElapsed()) / 1e9; }

IPlatformTimer* QtPlatform::CreateTimer(int AIntervalMs, std::function<void()> ACallback) {
  if (FTerminated) return nullptr;
  auto state = std::make_shared<TimerState>();
  state->Owner = this;
  state->Callback = std::move(ACallback);
  state->QtTimer = new QTimer();
  state->QtTimer->setTimerType(Qt::PreciseTimer);
  state->QtTimer->setInterval(std::max(1, AIntervalMs));
  // Qt never lets a timer fire again while its own timeout is being handled, so a wait
  // begun inside the callback (an AnimateFloatWait in an OnFinish handler) would wait for
  // a clock that cannot tick. The timeout therefore only queues the callback, and the
  // timer is free to fire again in any nested loop the callback runs.
  QObject* context = FContext.get();
  QObject::connect(state->QtTimer, &QTimer::timeout, state->QtTimer, [state, context] {
    if (!state->Callback || state->Queued) return;
    state->Queued = true;
    QMetaObject::invokeMethod(
        context,
        [state] {
          state->Queued = false;
          if (!state->Callback) return;
          // A copy: the callback may destroy its own timer.
          std::function<void()> callback = state->Callback;
          ++state->Firing;
          GuardedCall(callback);
          --state->Firing;
        },
        Qt::QueuedConnection);
  });
  state->QtTimer->start();
  FTimers.push_back(state);
  return new Timer(state);
}

void QtPlatform::PostDeferred(std::function<void()> ACall) {
  QMetaObject::invokeMethod(
      FContext.get(),
      [call = std::move(ACall)] { GuardedCall(call); },
      Qt::QueuedConnection);
}

void QtPlatform::CheckBeforeBlock() {
  // The loop is about to sleep: if the innermost wait is already satisfied (a handler run
  // in this round changed it), wake the loop so that the wait returns now instead of at
  // the next event.
  if (!FWatchedDispatcher) return;
  bool done = FTerminated;
  if (!done && !FWaits.empty()) {
    try {
      done = (*FWaits.back())();
    } catch (...) {
      done = true;  // let the wait itself meet the exception
    }
  }
  if (done) FWatchedDispatcher->wakeUp();
}

void QtPlatform::ProcessEventsUntil(const std::function<bool()>& ADone) {
  if (!QCoreApplication::instance())
    throw std::logic_error("waiting for events needs a running Qt application");
  if (FWaits.empty()) {
    FWatchedDispatcher = QAbstractEventDispatcher::instance();
    if (FWatchedDispatcher)
      QObject::connect(FWatchedDispatcher, &QAbstractEventDispatcher::aboutToBlock, FContext.get(),
                       [this] { CheckBeforeBlock(); });
  }
  FWaits.push_back(&ADone);
  struct Pop {
    QtPlatform* P;
    ~Pop() {
      P->FWaits.pop_back();
      if (!P->FWatchedDispatcher) return;
      if (P->FWaits.empty()) {
        QObject::disconnect(P->FWatchedDispatcher, nullptr, P->FContext.get(), nullptr);
        P->FWatchedDispatcher = nullptr;
      } else {
        // The wait further up may be satisfied now; let it look.
        P->FWatchedDispatcher->wakeUp();
      }
    }
  } pop{this};
  while (!FTerminated && !ADone())
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

void QtPlatform::HandleException(std::exception_ptr AException) {
  if (FExceptionHook) {
    try {
      FExceptionHook(AException);
      return;
    } catch (...) {
      // The report itself failed; fall back to stderr.
    }
  }
  std::fprintf(stderr, "Sphaerix: %s\n", ExceptionMessage(AException).c_str());
  std::fflush(stderr);
}

std::string QtPlatform::ExceptionMessage(std::exception_ptr AException) {
  if (!AException) return "Unknown exception";
  try {
    std::rethrow_exception(AException);
  } catch (const std::exception& e) {
    return e.what();
  } catch (...) {
    return "Unknown exception";
  }
}

void QtPlatform::Terminate() {
  FTerminated = true;
  for (auto& state : FTimers) state->Kill();
  if (QCoreApplication::instance()) {
    if (QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance())
      dispatcher->wakeUp();
    // Only a loop that runs can be told to exit; telling one that does not run yet would
    // make later loops return at once.
    if (QThread::currentThread()->loopLevel() > 0) QCoreApplication::exit(0);
  }
}

int QtPlatform::Run() {
  if (FTerminated) return 0;
  return QCoreApplication::exec();
}

int QtPlatform::ActiveTimerCount() const {
  return static_cast<int>(std::count_if(FTimers.begin(), FTimers.end(),
                                        [](const auto& s) { return s->QtTimer != nullptr; }));
}

}  // namespace sphaerix
