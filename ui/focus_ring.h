// The keyboard focus drawn round a control: two rings outside its box, dark against the
// control's own light face and light against the dark card or window behind it, so that
// it stands out on either side (at least 3:1, as the desktop's guidelines ask) and never
// touches the control's text.
#pragma once

#include <QRectF>

class QPainter;

namespace sphaerix {

// How far the rings reach outside the box, in logical pixels.
constexpr qreal FocusRingReach = 4;

// Draws the rings round ABox (the control's box in APainter's coordinates).
void DrawFocusRing(QPainter& APainter, const QRectF& ABox);

}  // namespace sphaerix
