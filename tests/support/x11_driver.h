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

}  // namespace x11
