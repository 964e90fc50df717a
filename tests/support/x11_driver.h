// Drives windows of other processes on the X display, as a user would, through xdotool.
#pragma once

#include <QSize>
#include <QString>
#include <QStringList>

namespace x11 {

// Runs xdotool with AArgs and returns its trimmed output.
QString Xdotool(const QStringList& AArgs);
// The id of the first visible window whose title matches ANameRegex, or empty on timeout.
QString WaitForWindow(const QString& ANameRegex, int ATimeoutMs);
QSize WindowSize(const QString& AId);
QSize ScreenSize();
// Asks the window manager to close the window (its close command, as Alt+F4 does).
void CloseWindow(const QString& AId);
// Asks the window manager to add or remove one state of the window (AState, such as
// "_NET_WM_STATE_FULLSCREEN"), as a pager or the window manager's own menu does; false
// when the display cannot be reached.
bool ChangeWindowState(unsigned long AWindow, bool AAdd, const char* AState);

}  // namespace x11
