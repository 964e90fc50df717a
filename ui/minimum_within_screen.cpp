#include "ui/minimum_within_screen.h"

#include <QGuiApplication>
#include <QPointer>
#include <QScreen>
#include <QWindow>
#include <memory>

namespace sphaerix {

QSize MinimumWithin(const QSize& AMinimum, const QRect& AAvailable, const QMargins& AFrame) {
  if (!AAvailable.isValid()) return AMinimum;
  const QSize room = AAvailable.marginsRemoved(AFrame).size().expandedTo(QSize(1, 1));
  return AMinimum.boundedTo(room);
}

void KeepMinimumWithinScreen(QWindow& AWindow, const QSize& AMinimum) {
  QPointer<QWindow> window(&AWindow);
  // The connection to the screen the window is on now, replaced when it moves.
  auto screenWatch = std::make_shared<QMetaObject::Connection>();
  const auto apply = [window, AMinimum] {
    if (!window) return;
    QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (!screen) return;
    // Until the window manager has framed the window (and in full screen, which has no
    // frame), room for a usual frame is kept, so that the window out of full screen
    // still fits with its frame.
    const QMargins frame = window->frameMargins().isNull() ? QMargins(4, 32, 4, 4) : window->frameMargins();
    window->setMinimumSize(MinimumWithin(AMinimum, screen->availableGeometry(), frame));
  };
  const auto follow = [window, screenWatch, apply](QScreen* AScreen) {
    QObject::disconnect(*screenWatch);
    if (AScreen && window) *screenWatch = QObject::connect(AScreen, &QScreen::availableGeometryChanged, window, apply);
    apply();
  };
  QObject::connect(&AWindow, &QWindow::screenChanged, &AWindow, follow);
  // The frame is known only once the window manager has framed the window.
  QObject::connect(&AWindow, &QWindow::widthChanged, &AWindow, apply);
  QObject::connect(&AWindow, &QWindow::heightChanged, &AWindow, apply);
  follow(AWindow.screen() ? AWindow.screen() : QGuiApplication::primaryScreen());
}

}  // namespace sphaerix
