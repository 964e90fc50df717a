#include "tests/support/x11_driver.h"

#include "tests/support/wait.h"

#include <QProcess>
#include <QRegularExpression>

#include <X11/Xlib.h>

namespace x11 {

QString Xdotool(const QStringList& AArgs) {
  QProcess p;
  p.start(QStringLiteral("xdotool"), AArgs);
  if (!p.waitForFinished(10000)) return {};
  return QString::fromLocal8Bit(p.readAllStandardOutput()).trimmed();
}

QString WaitForWindow(const QString& ANameRegex, int ATimeoutMs) {
  QString found;
  sphaerix::testing::WaitFor(
      [&] {
        found = Xdotool({"search", "--onlyvisible", "--name", ANameRegex}).split('\n').first().trimmed();
        return !found.isEmpty();
      },
      ATimeoutMs);
  return found;
}

static QSize ParseGeometry(const QString& AText) {
  const auto m = QRegularExpression(QStringLiteral("(\\d+)x(\\d+)")).match(AText);
  return m.hasMatch() ? QSize(m.captured(1).toInt(), m.captured(2).toInt()) : QSize();
}

QSize WindowSize(const QString& AId) { return ParseGeometry(Xdotool({"getwindowgeometry", AId})); }

QSize ScreenSize() {
  const QStringList wh = Xdotool({"getdisplaygeometry"}).split(' ');
  return wh.size() == 2 ? QSize(wh[0].toInt(), wh[1].toInt()) : QSize();
}

void CloseWindow(const QString& AId) {
  Xdotool({"windowactivate", "--sync", AId});
  Xdotool({"key", "--clearmodifiers", "alt+F4"});
}

bool ChangeWindowState(unsigned long AWindow, bool AAdd, const char* AState) {
  Display* display = XOpenDisplay(nullptr);
  if (!display) return false;
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = AWindow;
  event.xclient.message_type = XInternAtom(display, "_NET_WM_STATE", False);
  event.xclient.format = 32;
  event.xclient.data.l[0] = AAdd ? 1 : 0;  // _NET_WM_STATE_ADD or _REMOVE
  event.xclient.data.l[1] = static_cast<long>(XInternAtom(display, AState, False));
  event.xclient.data.l[3] = 2;  // from a pager: the user's wish
  XSendEvent(display, DefaultRootWindow(display), False, SubstructureRedirectMask | SubstructureNotifyMask,
             &event);
  XCloseDisplay(display);
  return true;
}

}  // namespace x11
