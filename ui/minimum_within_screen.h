// A window's minimum size that never exceeds the screen it is on: on a screen smaller
// than the layout's minimum (640 x 480, say) the window still fits, and full screen is
// the screen's size, not the minimum's.
#pragma once

#include <QMargins>
#include <QRect>
#include <QSize>

class QWindow;

namespace sphaerix {

// AMinimum, shrunk where the area AAvailable (less the window's frame AFrame) is smaller.
QSize MinimumWithin(const QSize& AMinimum, const QRect& AAvailable, const QMargins& AFrame);

// Gives AWindow the minimum size AMinimum as far as its screen allows, and again whenever
// the window moves to another screen or its screen changes size.
void KeepMinimumWithinScreen(QWindow& AWindow, const QSize& AMinimum);

}  // namespace sphaerix
