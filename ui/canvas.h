// The 2D painter the toolkit's controls draw with: a QPainter placed at the control and
// carrying its absolute opacity.
#pragma once

#include <QColor>
#include <QFont>
#include <QPainter>

#include "scene/material/color.h"
#include "scene/input/control.h"

namespace sphaerix {

class TCanvas2D {
 public:
  // AOrigin: the window point the painter's (0, 0) stands for (a layer's corner).
  explicit TCanvas2D(QPainter& APainter, QPointF AOrigin = {}) : FPainter(APainter), FOrigin(AOrigin) {}

  // Prepares the painter for AControl: origin at its top left corner, opacity its
  // absolute opacity. Returns the painter.
  QPainter& Begin(const TControl& AControl) {
    const TPointF origin = AControl.LocalToAbsolute({0, 0});
    FPainter.resetTransform();
    FPainter.translate(origin.X - FOrigin.x(), origin.Y - FOrigin.y());
    FPainter.setOpacity(AControl.AbsoluteOpacity());
    return FPainter;
  }
  QPainter& Painter() { return FPainter; }

 private:
  QPainter& FPainter;
  QPointF FOrigin;
};

inline QColor ToQColor(TAlphaColor c) { return QColor(RedOf(c), GreenOf(c), BlueOf(c), AlphaOf(c)); }

// Which font settings come from the style rather than from the control itself.
enum TStyledSetting : unsigned { ssFamily = 1, ssSize = 2, ssStyle = 4, ssFontColor = 8 };

struct TTextStyle {
  QString Family;  // empty: the platform's default family
  float Size = 12;  // logical pixels
  bool Bold = false;
  TAlphaColor Color = claBlack;
  unsigned StyledSettings = ssFamily | ssSize | ssStyle | ssFontColor;

  QFont Font() const;
};

}  // namespace sphaerix
