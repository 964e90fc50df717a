// The 2D painter the toolkit's controls draw with: a QPainter placed at the control and
// carrying its absolute opacity.
#pragma once

#include <QColor>
#include <QFont>
#include <QPaintEngine>
#include <QPainter>
#include <optional>

#include "scene/material/color.h"
#include "scene/input/control.h"

namespace sphaerix {

class TCanvas2D {
 public:
  // AOrigin: the window point the painter's (0, 0) stands for (a layer's corner).
  explicit TCanvas2D(QPainter& APainter, QPointF AOrigin = {})
      : FPainter(&APainter), FDevice(APainter.device()), FOrigin(AOrigin) {
    const QPaintEngine* engine = APainter.paintEngine();
    FOpenGL = engine && (engine->type() == QPaintEngine::OpenGL2 || engine->type() == QPaintEngine::OpenGL);
  }
  // A window drawn with OpenGL, its context current. Its painter begins only when a
  // control paints with it: beginning one builds the toolkit's own programs, which the
  // controls that draw with OpenGL (all of the main window's) never use.
  explicit TCanvas2D(QPaintDevice& AOpenGLWindow) : FDevice(&AOpenGLWindow), FOpenGL(true) {}

  // Prepares the painter for AControl: origin at its top left corner, opacity its
  // absolute opacity. Returns the painter.
  QPainter& Begin(const TControl& AControl) {
    QPainter& painter = Painter();
    const TPointF origin = AControl.LocalToAbsolute({0, 0});
    painter.resetTransform();
    painter.translate(origin.X - FOrigin.x(), origin.Y - FOrigin.y());
    painter.setOpacity(AControl.AbsoluteOpacity());
    return painter;
  }
  QPainter& Painter() {
    if (!FPainter) FPainter = &FOwnPainter.emplace(FDevice);
    return *FPainter;
  }
  bool PainterBegun() const { return FPainter != nullptr; }
  QPaintDevice& Device() const { return *FDevice; }
  // Whether the target is drawn with OpenGL, so that ADraw below may draw on it.
  bool DrawsWithOpenGL() const { return FOpenGL; }
  // Runs ADraw, which draws with OpenGL on the target, out of the painter's way if one
  // has begun.
  template <typename TDraw>
  void DrawWithOpenGL(TDraw ADraw) {
    if (!FPainter) {
      ADraw();
      return;
    }
    FPainter->beginNativePainting();
    try {
      ADraw();
    } catch (...) {
      FPainter->endNativePainting();
      throw;
    }
    FPainter->endNativePainting();
  }

 private:
  QPainter* FPainter = nullptr;
  std::optional<QPainter> FOwnPainter;
  QPaintDevice* FDevice;
  QPointF FOrigin;
  bool FOpenGL = false;
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
