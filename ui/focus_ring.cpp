#include "ui/focus_ring.h"

#include <QPainter>

namespace sphaerix {

void DrawFocusRing(QPainter& APainter, const QRectF& ABox) {
  APainter.save();
  // Square and crisp: bands of whole pixels, nothing blended into the box.
  APainter.setRenderHint(QPainter::Antialiasing, false);
  APainter.setPen(Qt::NoPen);
  // Each band 2 pixels wide: the dark one right outside the box, the light one outside
  // that.
  const struct {
    qreal From;
    QColor Colour;
  } bands[] = {{0, QColor(12, 12, 32)}, {2, QColor(255, 255, 255)}};
  for (const auto& band : bands) {
    const QRectF outer = ABox.adjusted(-band.From - 2, -band.From - 2, band.From + 2, band.From + 2);
    const QRectF inner = ABox.adjusted(-band.From, -band.From, band.From, band.From);
    APainter.setBrush(band.Colour);
    APainter.drawRect(QRectF(outer.left(), outer.top(), outer.width(), inner.top() - outer.top()));
    APainter.drawRect(QRectF(outer.left(), inner.bottom(), outer.width(), outer.bottom() - inner.bottom()));
    APainter.drawRect(QRectF(outer.left(), inner.top(), inner.left() - outer.left(), inner.height()));
    APainter.drawRect(QRectF(inner.right(), inner.top(), outer.right() - inner.right(), inner.height()));
  }
  APainter.restore();
}

}  // namespace sphaerix
