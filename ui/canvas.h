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
#include "scene/view/viewport3d_context.h"

namespace sphaerix {

class TGLDevice;

// One frame of a window drawn with OpenGL, as the window's compositor lays it out for
// the controls that draw on the device (the fill, a viewport's frame, the 2D layers).
struct TWindowFrame {
  TGLDevice* Device = nullptr;  // the window's device, its context current
  TWindowTarget Target;         // the window, and the part of it this frame draws
  // The control that lays the window's fill under its own picture (the viewport that
  // covers the window), so that the fill is not painted first; null: none.
  const TControl* FillTakenBy = nullptr;
  TAlphaColor Fill = claNull;
};

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
  // AFrame: what the window's compositor says of the frame being drawn (not owned).
  TCanvas2D(QPaintDevice& AOpenGLWindow, const TWindowFrame& AFrame)
      : FDevice(&AOpenGLWindow), FOpenGL(true), FFrame(&AFrame) {}

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
  // The window's frame being drawn, when the canvas paints one; null otherwise (a
  // picture of the processor's own, a layer).
  const TWindowFrame* Frame() const { return FFrame; }
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
  const TWindowFrame* FFrame = nullptr;
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
