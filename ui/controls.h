// The least set of 2D controls the two windows need: panel, button, speed button, label,
// text block and image. Buttons are drawn by the platform's style, so they look native.
#pragma once

#include <QImage>
#include <QString>
#include <functional>
#include <memory>

#include "scene/input/control.h"
#include "ui/canvas.h"

namespace sphaerix {

class TGLPicture;

enum class TTextAlign { Center, Leading, Trailing };
enum class TTextTrimming { None, Character, Word };

// A control that, on a window drawn with OpenGL, paints itself and its children on the
// processor into a picture of its own and gives the window that one picture. Text,
// antialiased shapes and the style's pixmaps would each cost a software OpenGL driver a
// program of its own, built and translated before the first frame can show; one picture
// costs one. The picture is painted again only when a control in it changed (Repaint),
// or it moved, or the window's scale changed; otherwise the window draws it again from
// the texture it already holds.
class TLayeredControl : public TControl {
 public:
  using TControl::TControl;
  ~TLayeredControl() override;
  void PaintTree(TCanvas2D& ACanvas) override;
  // The picture last given to the window (null before the first, or off OpenGL).
  const QImage& LayerPicture() const { return FLayer; }
  // How many times the picture was painted on the processor.
  unsigned long long LayerPaints() const { return FLayerPaints; }

 protected:
  void PictureChanged() override { FLayerStale = true; }

 private:
  bool DrawOnDevice(TCanvas2D& ACanvas);
  // Paints the picture again for a window (logical size AWindow) at AScale; false when
  // there was no memory for it.
  bool PaintLayer(const QSizeF& AWindow, qreal AScale);

  QImage FLayer;
  QPoint FLayerAt;
  // What the picture was painted for: it is painted again when any of it differs.
  bool FLayerStale = true;
  TPointF FLayerOrigin;
  QSizeF FLayerWindow;
  qreal FLayerScale = 0;
  unsigned long long FLayerPaints = 0;
  std::unique_ptr<TGLPicture> FPicture;  // the window's copy, where its device draws it
};

// A rectangle that can carry a custom look: "Panel1Style1" is a rounded card.
class TPanel : public TLayeredControl {
 public:
  explicit TPanel(TSceneObject* AOwner);
  const QString& StyleLookup() const { return FStyleLookup; }
  void SetStyleLookup(const QString& AValue);
  void Paint(TCanvas2D& ACanvas) override;
  // What assistive technology calls the group ("Bodies").
  QString Description;

 private:
  QString FStyleLookup;
};

// A push button painted with the platform's style in its normal, hot, focused and
// pressed states. Space or Enter clicks it when it has the focus.
class TButton : public TLayeredControl {
 public:
  explicit TButton(TSceneObject* AOwner);
  const QString& Text() const { return FText; }
  void SetText(const QString& AValue);
  TTextStyle& TextSettings() { return FTextSettings; }
  void Paint(TCanvas2D& ACanvas) override;
  bool KeyDown(int AKey) override;
  // The platform's standard button in AControl's state, its caption in ACaption.
  static void PaintStandardButton(QPainter& APainter, const TControl& AControl, const QColor& ACaption);

  // One of a group of buttons of which one stands for what is shown now (the body
  // buttons): assistive technology reads that one as pressed. The look does not change.
  // The group is one stop for Tab; while its focus shows, the arrow keys move the
  // choice along the group in reading order (row by row, left to right).
  bool MarksCurrent = false;
  bool Current() const { return FCurrent; }
  void SetCurrent(bool AValue);

 protected:
  // An arrow key on a member of the group: the neighbour in reading order takes the
  // focus and is clicked. False when the key is not the group's.
  bool MoveChoice(int AKey);

  QString FText;
  TTextStyle FTextSettings;
  bool FCurrent = false;
};

// A flat button that lights up under the pointer.
class TSpeedButton : public TButton {
 public:
  explicit TSpeedButton(TSceneObject* AOwner);
  void Paint(TCanvas2D& ACanvas) override;
};

// A soft coloured shadow drawn under a label's text.
struct TShadowEffect {
  bool Enabled = false;
  float Distance = 3;
  float Direction = 45;  // degrees, clockwise from the x axis
  float Softness = 0.3f;
  float Opacity = 0.6f;
  TAlphaColor ShadowColor = claBlack;
};

// Draws AText aligned by AAlign in ARect with a dark rim of AHalo round every glyph first,
// so that light text stays readable over a light background (a sunlit desert, Venus's
// clouds, the Sun). Nothing is drawn for the rim when AHalo is fully transparent.
void DrawTextWithHalo(QPainter& APainter, const QRectF& ARect, int AAlign, const QString& AText, TAlphaColor AColor,
                      TAlphaColor AHalo, QRectF* ADrawn = nullptr);

class TLabel : public TLayeredControl {
 public:
  explicit TLabel(TSceneObject* AOwner);
  const QString& Text() const { return FText; }
  void SetText(const QString& AValue);
  TTextStyle& TextSettings() { return FTextSettings; }
  const TTextStyle& TextSettings() const { return FTextSettings; }
  TTextAlign HorzAlign = TTextAlign::Leading;
  TTextAlign VertAlign = TTextAlign::Center;
  TShadowEffect Shadow;
  // A dark rim round the glyphs (claNull: none); see DrawTextWithHalo.
  TAlphaColor Halo = claNull;
  // A cursor shape for the pointer over the label (Qt::CursorShape value; -1 none).
  int Cursor = -1;
  void Paint(TCanvas2D& ACanvas) override;
  // A focusable label with a click handler is a link: Enter or Space follows it.
  bool KeyDown(int AKey) override;

 private:
  QString FText;
  TTextStyle FTextSettings;
};

// A block of multi-line text.
class TText : public TLayeredControl {
 public:
  explicit TText(TSceneObject* AOwner);
  const QString& Text() const { return FText; }
  void SetText(const QString& AValue);
  TTextStyle& TextSettings() { return FTextSettings; }
  TTextAlign HorzAlign = TTextAlign::Center;
  TTextAlign VertAlign = TTextAlign::Center;
  TTextTrimming Trimming = TTextTrimming::None;
  // A dark rim round the glyphs (claNull: none); see DrawTextWithHalo.
  TAlphaColor Halo = claNull;
  // What assistive technology reads in place of the text when set (facts shown in two
  // columns are read a row at a time).
  std::function<QString()> AccessibleText;
  // The text whose AccessibleText reads this one's content as well: this one is left out
  // of what assistive technology sees, and a change of it is told as a change of that.
  TText* SpokenBy = nullptr;
  QString AccessibleName() const { return AccessibleText ? AccessibleText() : FText; }
  void Paint(TCanvas2D& ACanvas) override;

 private:
  QString FText;
  TTextStyle FTextSettings;
};

// A picture fitted into the control with its aspect ratio kept.
class TImage : public TLayeredControl {
 public:
  explicit TImage(TSceneObject* AOwner);
  void SetImage(const QImage& AImage);
  const QImage& Image() const { return FImage; }
  // What the picture shows, for those who cannot see it.
  QString Description;
  void Paint(TCanvas2D& ACanvas) override;

 private:
  QImage FImage;
};

}  // namespace sphaerix
