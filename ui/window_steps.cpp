#include "ui/window_steps.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QKeySequence>
#include <QObject>
#include <QStringList>
#include <QTimer>
#include <cstdio>
#include <functional>
#include <memory>

#include "ui/form.h"
#include "ui/form_window.h"

namespace sphaerix {

namespace {

struct TStepPlayer {
  TFormWindow* Window = nullptr;
  TFormBase* Form = nullptr;
  QStringList Steps;
  // Where leaving full screen goes back to.
  Qt::WindowStates Normal = Qt::WindowNoState;
  Qt::WindowStates Wanted;
  bool Framed = false;
  bool Applied = true;
  bool Busy = false;
  // Steps played so far; a step's time limit belongs to the step it was set for.
  int Played = 0;
  QString Current;

  // A step that asks for nothing, or whose change the window system never applies, is
  // a result: the player says so and plays no further.
  void Fail(const QString& AWhy) {
    std::fprintf(stderr, "window: step %d (%s) %s\nwindow: steps failed\n", Played, qPrintable(Current),
                 qPrintable(AWhy));
    Window = nullptr;
  }

  // A change of state and of both sides arrive as three signals: one line for them.
  QString LastReport;
  void Report() {
    const QString line = QStringLiteral("window: %1 %2x%3")
                             .arg(static_cast<int>(Window->windowStates()))
                             .arg(Window->width())
                             .arg(Window->height());
    if (line == LastReport) return;
    LastReport = line;
    std::fprintf(stderr, "%s\n", qPrintable(line));
  }

  bool Reached() const {
    const Qt::WindowStates states = Window->windowStates();
    if (Wanted & Qt::WindowFullScreen) return states & Qt::WindowFullScreen;
    return states == Wanted;
  }

  // Runs from the event loop only, so that a step never nests inside the window's own
  // handling of the previous one.
  void Next() {
    if (Busy || !Applied || !Framed || !Reached() || !Window->isExposed()) return;
    if (Steps.isEmpty()) {
      std::fprintf(stderr, "window: steps done\n");
      Window = nullptr;
      return;
    }
    Busy = true;
    Current = Steps.takeFirst();
    ++Played;
    const Qt::WindowStates before = Window->windowStates();
    if (Current == QLatin1String("max")) {
      Normal = Qt::WindowMaximized;
      Window->setWindowStates(Qt::WindowMaximized);
      Wanted = Qt::WindowMaximized;
    } else {
      const QKeySequence key = QKeySequence::fromString(Current);
      if (!key.isEmpty()) {
        QKeyEvent press(QEvent::KeyPress, key[0].key(), key[0].keyboardModifiers());
        QCoreApplication::sendEvent(Window, &press);
      }
      Wanted = Form->FullScreen() ? Qt::WindowStates(Qt::WindowFullScreen) : Normal;
    }
    Busy = false;
    // The window's state as asked for changes at once; the window system's answer comes
    // later, or never when nothing was asked.
    if (Window->windowStates() == before) {
      Fail(QStringLiteral("changed nothing"));
      return;
    }
    Framed = false;
    Applied = false;
  }
};

// How long a step may wait for the window system: far more than a busy machine's
// slowest answer, far less than a test's limit.
constexpr int StepLimitMs = 60000;

class TStateWatch : public QObject {
 public:
  TStateWatch(QObject* AParent, std::function<void()> AChanged) : QObject(AParent), FChanged(std::move(AChanged)) {}
  bool eventFilter(QObject*, QEvent* AEvent) override {
    if (AEvent->type() == QEvent::WindowStateChange) FChanged();
    return false;
  }

 private:
  std::function<void()> FChanged;
};

}  // namespace

void PlayWindowSteps(TFormBase& AForm, const QString& ASteps) {
  TFormWindow* window = AForm.Window();
  auto player = std::make_shared<TStepPlayer>();
  player->Window = window;
  player->Form = &AForm;
  player->Steps = ASteps.split(QLatin1Char(' '), Qt::SkipEmptyParts);
  player->Wanted = AForm.FullScreen() ? Qt::WindowStates(Qt::WindowFullScreen) : Qt::WindowStates();
  const auto later = [player] {
    QMetaObject::invokeMethod(player->Window, [player] {
      if (!player->Window) return;
      const int played = player->Played;
      player->Next();
      // A new step waits for its answer only so long.
      if (player->Window && player->Played != played)
        QTimer::singleShot(StepLimitMs, player->Window, [player, played] {
          if (!player->Window || player->Played != played + 1) return;
          player->Fail(!player->Applied   ? QStringLiteral("was not applied by the window system")
                       : !player->Reached() ? QStringLiteral("ended in another state")
                                            : QStringLiteral("showed no frame"));
        });
    }, Qt::QueuedConnection);
  };
  // The window's state-change event comes from the window system's answer, not from the
  // request, so a step waits for the compositor to have applied the previous one.
  auto* filter = new TStateWatch(window, [player, later] {
    if (!player->Window) return;
    player->Report();
    player->Applied = true;
    later();
  });
  window->installEventFilter(filter);
  QObject::connect(window, &QWindow::widthChanged, window, [player](int) {
    if (player->Window) player->Report();
  });
  QObject::connect(window, &QWindow::heightChanged, window, [player](int) {
    if (player->Window) player->Report();
  });
  QObject::connect(window, &QOpenGLWindow::frameSwapped, window, [player, later] {
    if (!player->Window) return;
    player->Framed = true;
    later();
  });
}

}  // namespace sphaerix
