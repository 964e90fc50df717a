#include "ui/controls.h"

#include "platform/gl_device.h"
#include "ui/accessibility.h"
#include "ui/focus_ring.h"
#include "ui/form.h"
#include "ui/style_book.h"

#include <QApplication>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QImage>
#include <QPaintEngine>
#include <QPainterPath>
#include <QStyle>
#include <QStyleOptionButton>
#include <QtMath>
#include <algorithm>
#include <vector>

namespace sphaerix {

QFont TTextStyle::Font() const {
  QFont f = QGuiApplication::font();
  if (!(StyledSettings & ssFamily) && !Family.isEmpty() && Family != QLatin1String("Default"))
    f.setFamily(Family);
  if (!(StyledSettings & ssSize) || Size > 0) f.setPixelSize(qMax(1, qRound(Size)));
  if (!(StyledSettings & ssStyle)) f.setBold(Bold);
  return f;
}

namespace {

Qt::Alignment ToQtAlign(TTextAlign AHorz, TTextAlign AVert) {
  Qt::Alignment a;
  switch (AHorz) {
    case TTextAlign::Center: a |= Qt::AlignHCenter; break;
    case TTextAlign::Leading: a |= Qt::AlignLeft; break;
    case TTextAlign::Trailing: a |= Qt::AlignRight; break;
  }
  switch (AVert) {
    case TTextAlign::Center: a |= Qt::AlignVCenter; break;
    case TTextAlign::Leading: a |= Qt::AlignTop; break;
    case TTextAlign::Trailing: a |= Qt::AlignBottom; break;
  }
  return a;
}

QRectF Rect(const TControl& AControl) { return QRectF(0, 0, AControl.Width(), AControl.Height()); }

QStyle* Style() { return QApplication::style(); }

// Focus shows where it came by the keyboard, as the desktop's own buttons show it.
bool ShowsFocus(const TControl& AControl) {
  const auto* form = dynamic_cast<const TFormBase*>(AControl.Root());
  return AControl.IsFocused() && form && form->FocusFromKeyboard();
}

}  // namespace

// ---- TLayeredControl

namespace {

// How far painting may reach past a control's box: the rim round text (3 pixels), a
// focus frame, antialiased edges.
constexpr qreal LayerMargin = 8;

// The window area AControl and its visible children paint, in logical pixels.
void AddPaintedArea(const TControl& AControl, QRectF& AArea) {
  const TRectF r = AControl.AbsoluteRect();
  QRectF box(r.Left, r.Top, r.Width(), r.Height());
  if (const auto* label = dynamic_cast<const TLabel*>(&AControl)) {
    // A label's text may run past its box, and its shadow past the text.
    const QFontMetricsF metrics(label->TextSettings().Font());
    box |= metrics.boundingRect(box, ToQtAlign(label->HorzAlign, label->VertAlign) | Qt::TextDontClip, label->Text());
    if (label->Shadow.Enabled) {
      const qreal reach = label->Shadow.Distance + 1 + label->Shadow.Softness * 10;
      box.adjust(-reach, -reach, reach, reach);
    }
  }
  AArea |= box.adjusted(-LayerMargin, -LayerMargin, LayerMargin, LayerMargin);
  for (const TControl* c : AControl.Controls())
    if (c->Visible()) AddPaintedArea(*c, AArea);
}

}  // namespace

void TLayeredControl::PaintTree(TCanvas2D& ACanvas) {
  // Inside a layer, or on a picture of the processor's own, painting goes straight on.
  if (!ACanvas.DrawsWithOpenGL()) {
    TControl::PaintTree(ACanvas);
    return;
  }
  const QPaintDevice* device = &ACanvas.Device();
  const QSizeF window(device->width(), device->height());
  const qreal scale = device->devicePixelRatioF();
  const TPointF origin = LocalToAbsolute({0, 0});
  if (FLayerStale || origin.X != FLayerOrigin.X || origin.Y != FLayerOrigin.Y || window != FLayerWindow ||
      scale != FLayerScale) {
    if (!PaintLayer(window, scale)) {
      // No memory for the picture: the controls paint on the window as they are.
      TControl::PaintTree(ACanvas);
      return;
    }
    FLayerStale = false;
    FLayerOrigin = origin;
    FLayerWindow = window;
    FLayerScale = scale;
  }
  if (FLayer.isNull()) return;
  // Each control's own opacity is in the picture already: source-over is associative,
  // so the picture drawn at full opacity gives what painting each control on the window
  // would have.
  if (DrawOnDevice(ACanvas)) return;
  QPainter& target = ACanvas.Painter();
  target.save();
  target.resetTransform();
  target.setOpacity(1);
  target.drawImage(FLayerAt, FLayer);
  target.restore();
}

bool TLayeredControl::PaintLayer(const QSizeF& AWindow, qreal AScale) {
  QRectF area;
  AddPaintedArea(*this, area);
  const QRect pixels = (area & QRectF(QPointF(0, 0), AWindow)).toAlignedRect();
  if (pixels.isEmpty()) {
    FLayer = QImage();
    return true;
  }
  QImage layer(qCeil(pixels.width() * AScale), qCeil(pixels.height() * AScale), QImage::Format_ARGB32_Premultiplied);
  if (layer.isNull()) return false;
  layer.setDevicePixelRatio(AScale);
  layer.fill(Qt::transparent);
  {
    QPainter painter(&layer);
    TCanvas2D canvas(painter, pixels.topLeft());
    TControl::PaintTree(canvas);
  }
  // A new image is a new texture for the window; the old image, and its texture with it,
  // goes.
  FLayer = std::move(layer);
  FLayerAt = pixels.topLeft();
  ++FLayerPaints;
  return true;
}

TLayeredControl::~TLayeredControl() = default;

// The picture goes through the window's own device, drawn as a viewport's frame is: the
// toolkit's image program would be one more program for the driver to build and translate
// before the first frame. False outside a window's frame or where the window has no device.
bool TLayeredControl::DrawOnDevice(TCanvas2D& ACanvas) {
  const TWindowFrame* frame = ACanvas.Frame();
  if (!frame || !frame->Device || !frame->Device->Alive()) return false;
  TGLDevice& gl = *frame->Device;
  const qreal scale = ACanvas.Device().devicePixelRatioF();
  ACanvas.DrawWithOpenGL([&] {
    if (!FPicture || !FPicture->BelongsTo(gl)) FPicture = gl.MakePicture();
    gl.DrawPicture(*FPicture, FLayer.cacheKey(), reinterpret_cast<const std::uint32_t*>(FLayer.constBits()),
                   FLayer.width(), FLayer.height(), qRound(FLayerAt.x() * scale), qRound(FLayerAt.y() * scale),
                   frame->Target);
  });
  return true;
}

// ---- TPanel

TPanel::TPanel(TSceneObject* AOwner) : TLayeredControl(AOwner) {}

void TPanel::SetStyleLookup(const QString& AValue) {
  if (FStyleLookup == AValue) return;
  FStyleLookup = AValue;
  Repaint();
}

void TPanel::Paint(TCanvas2D& ACanvas) {
  QPainter& p = ACanvas.Begin(*this);
  const TStyleBook* book = TStyleBook::Of(*this);
  if (const TStyleBook::TStylePainter* style = book ? book->FindStyle(FStyleLookup) : nullptr) {
    (*style)(p, *this);
    return;
  }
  p.setPen(Qt::NoPen);
  p.setBrush(QApplication::palette().window());
  p.drawRect(Rect(*this));
}

// ---- TButton

TButton::TButton(TSceneObject* AOwner) : TLayeredControl(AOwner) {
  SetCanFocus(true);
  FTextSettings.StyledSettings = ssFamily | ssStyle | ssFontColor;
  FTextSettings.Size = 14;
}

void TButton::SetText(const QString& AValue) {
  if (FText == AValue) return;
  FText = AValue;
  Repaint();
}

void TButton::Paint(TCanvas2D& ACanvas) {
  QPainter& p = ACanvas.Begin(*this);
  const TStyleBook* book = TStyleBook::Of(*this);
  if (const TStyleBook::TStylePainter* style = book ? book->FindStyle(QStringLiteral("Buttonstyle")) : nullptr) {
    (*style)(p, *this);
    return;
  }
  PaintStandardButton(p, *this, QApplication::palette().color(QPalette::ButtonText));
}

void TButton::PaintStandardButton(QPainter& APainter, const TControl& AControl, const QColor& ACaption) {
  const auto* button = dynamic_cast<const TButton*>(&AControl);
  QStyleOptionButton opt;
  opt.rect = QRect(0, 0, qRound(AControl.Width()), qRound(AControl.Height()));
  opt.state = QStyle::State_Active;
  if (AControl.Enabled()) opt.state |= QStyle::State_Enabled;
  if (AControl.IsMouseOver()) opt.state |= QStyle::State_MouseOver;
  // The style's own focus frame is left out: it is faint and lies on the caption. The
  // focus ring goes round the button instead.
  opt.state |= AControl.IsPressed() && AControl.IsMouseOver() ? QStyle::State_Sunken : QStyle::State_Raised;
  opt.palette = QApplication::palette();
  APainter.setRenderHint(QPainter::Antialiasing, true);
  Style()->drawControl(QStyle::CE_PushButtonBevel, &opt, &APainter, nullptr);
  // Without a glyph the caption fills the button inside margins of 1, 2, 1, 2; no shadow.
  if (button) {
    APainter.setFont(button->FTextSettings.Font());
    APainter.setPen(ACaption);
    const QRectF caption = Rect(AControl).adjusted(1, 2, -1, -2);
    const QString text = QFontMetricsF(APainter.font()).elidedText(button->FText, Qt::ElideRight, caption.width());
    APainter.drawText(caption, Qt::AlignCenter, text);
  }
  if (ShowsFocus(AControl)) DrawFocusRing(APainter, Rect(AControl));
}

void TButton::SetCurrent(bool AValue) {
  if (FCurrent == AValue) return;
  FCurrent = AValue;
  QAccessible::State changed;
  changed.checked = true;
  NotifyAccessibleState(this, changed);
}

bool TButton::KeyDown(int AKey) {
  if (AKey == Qt::Key_Space || AKey == Qt::Key_Return || AKey == Qt::Key_Enter) {
    Click();
    return true;
  }
  return MarksCurrent && MoveChoice(AKey);
}

bool TButton::MoveChoice(int AKey) {
  const bool forward = AKey == Qt::Key_Right || AKey == Qt::Key_Down;
  const bool backward = AKey == Qt::Key_Left || AKey == Qt::Key_Up;
  auto* form = dynamic_cast<TFormBase*>(Root());
  // Arrows over a focus nobody sees (a button clicked with the pointer) stay the
  // window's: they orbit the view.
  if ((!forward && !backward) || !form || !form->FocusFromKeyboard()) return false;
  std::vector<TButton*> group;
  const std::vector<TControl*> siblings = ParentControl() ? ParentControl()->Controls() : form->Controls();
  for (TControl* c : siblings) {
    auto* b = dynamic_cast<TButton*>(c);
    if (b && b->MarksCurrent && b->Visible() && b->Enabled() && b->CanFocus()) group.push_back(b);
  }
  std::stable_sort(group.begin(), group.end(), [](const TButton* a, const TButton* b) {
    return a->Position().Y() != b->Position().Y() ? a->Position().Y() < b->Position().Y()
                                                  : a->Position().X() < b->Position().X();
  });
  const auto at = std::find(group.begin(), group.end(), this);
  if (at == group.end()) return false;
  const int n = static_cast<int>(group.size());
  const int i = static_cast<int>(at - group.begin());
  TButton* next = group[static_cast<size_t>(((forward ? i + 1 : i - 1) % n + n) % n)];
  form->FocusByKeyboard(next);
  next->Click();
  return true;
}

// ---- TSpeedButton

TSpeedButton::TSpeedButton(TSceneObject* AOwner) : TButton(AOwner) { SetCanFocus(false); }

void TSpeedButton::Paint(TCanvas2D& ACanvas) {
  QPainter& p = ACanvas.Begin(*this);
  p.setRenderHint(QPainter::Antialiasing, true);
  if (IsMouseOver() || IsPressed()) {
    QStyleOptionButton opt;
    opt.rect = QRect(0, 0, qRound(Width()), qRound(Height()));
    opt.state = QStyle::State_Enabled | QStyle::State_Active | QStyle::State_MouseOver |
                (IsPressed() ? QStyle::State_Sunken : QStyle::State_Raised);
    opt.palette = QApplication::palette();
    p.save();
    p.setOpacity(p.opacity() * 0.35);
    Style()->drawControl(QStyle::CE_PushButtonBevel, &opt, &p, nullptr);
    p.restore();
  }
  p.setFont(FTextSettings.Font());
  p.setPen(ToQColor(FTextSettings.Color));
  p.drawText(Rect(*this), Qt::AlignCenter, FText);
  if (ShowsFocus(*this)) DrawFocusRing(p, Rect(*this));
}

// ---- Text with a rim

void DrawTextWithHalo(QPainter& APainter, const QRectF& ARect, int AAlign, const QString& AText, TAlphaColor AColor,
                      TAlphaColor AHalo, QRectF* ADrawn) {
  if (AlphaOf(AHalo) != 0) {
    // The text drawn round each glyph at small distances: a solid rim two pixels wide,
    // fading over the next pixel, which reads as a soft outline and needs no off-screen
    // pass.
    QColor halo = ToQColor(AHalo);
    const QColor solid = halo;
    struct TRing {
      double Radius;
      int Steps;
      double Alpha;
    };
    for (const TRing ring : {TRing{3.0, 16, 0.3}, TRing{2.0, 12, 1.0}, TRing{1.0, 8, 1.0}}) {
      halo.setAlphaF(static_cast<float>(solid.alphaF() * ring.Alpha));
      APainter.setPen(halo);
      for (int i = 0; i < ring.Steps; ++i) {
        const double t = 2 * M_PI * i / ring.Steps;
        APainter.drawText(ARect.translated(ring.Radius * qCos(t), ring.Radius * qSin(t)), AAlign, AText);
      }
    }
  }
  APainter.setPen(ToQColor(AColor));
  if (ADrawn)
    APainter.drawText(ARect, AAlign, AText, ADrawn);
  else
    APainter.drawText(ARect, AAlign, AText);
}

// ---- TLabel

TLabel::TLabel(TSceneObject* AOwner) : TLayeredControl(AOwner) {
  SetHitTest(false);
  SetSize(120, 17);
}

void TLabel::SetText(const QString& AValue) {
  if (FText == AValue) return;
  const QString before = FText;
  FText = AValue;
  Repaint();
  NotifyAccessibleText(this, before, FText);
}

void TLabel::Paint(TCanvas2D& ACanvas) {
  QPainter& p = ACanvas.Begin(*this);
  p.setRenderHint(QPainter::TextAntialiasing, true);
  p.setFont(FTextSettings.Font());
  // A label's text may run past its box rather than lose its end (a font wider than the
  // layout assumed must not cut an address short).
  const int align = ToQtAlign(HorzAlign, VertAlign) | Qt::TextDontClip;
  const QRectF r = Rect(*this);
  if (Shadow.Enabled) {
    // A soft shadow: the text drawn a few times around the offset point at falling
    // strength, which reads as a blur without an off-screen pass.
    const double a = qDegreesToRadians(static_cast<double>(Shadow.Direction));
    const QPointF offset(Shadow.Distance * qCos(a), Shadow.Distance * qSin(a));
    QColor c = ToQColor(Shadow.ShadowColor);
    const double spread = 1.0 + Shadow.Softness * 10.0;
    const int rings = 3;
    p.save();
    for (int i = rings; i >= 0; --i) {
      const double radius = spread * i / rings;
      const int steps = i == 0 ? 1 : 8;
      c.setAlphaF(Shadow.Opacity / (steps * (i + 1)));
      p.setPen(c);
      for (int s = 0; s < steps; ++s) {
        const double t = 2 * M_PI * s / steps;
        p.drawText(r.translated(offset + QPointF(radius * qCos(t), radius * qSin(t))), align, FText);
      }
    }
    p.restore();
  }
  QRectF drawn;
  DrawTextWithHalo(p, r, align, FText, FTextSettings.Color, Halo, &drawn);
  const auto* form = dynamic_cast<const TFormBase*>(Root());
  if (IsFocused() && form && form->FocusFromKeyboard()) {
    QStyleOptionFocusRect focus;
    focus.rect = drawn.toAlignedRect().adjusted(-2, -1, 2, 1);
    focus.palette = QApplication::palette();
    focus.state = QStyle::State_Enabled | QStyle::State_HasFocus | QStyle::State_KeyboardFocusChange;
    Style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &p, nullptr);
  }
}

bool TLabel::KeyDown(int AKey) {
  if (!OnClick || !(AKey == Qt::Key_Space || AKey == Qt::Key_Return || AKey == Qt::Key_Enter)) return false;
  Click();
  return true;
}

// ---- TText

TText::TText(TSceneObject* AOwner) : TLayeredControl(AOwner) { SetSize(50, 50); }

void TText::SetText(const QString& AValue) {
  if (FText == AValue) return;
  TText* reader = SpokenBy ? SpokenBy : this;
  const QString before = reader->AccessibleName();
  FText = AValue;
  Repaint();
  NotifyAccessibleText(reader, before, reader->AccessibleName());
}

void TText::Paint(TCanvas2D& ACanvas) {
  QPainter& p = ACanvas.Begin(*this);
  p.setRenderHint(QPainter::TextAntialiasing, true);
  p.setFont(FTextSettings.Font());
  p.setPen(ToQColor(FTextSettings.Color));
  p.setClipRect(Rect(*this));
  const QFontMetricsF fm(p.font());
  QStringList lines = FText.split(QChar('\n'));
  if (Trimming != TTextTrimming::None)
    for (QString& l : lines) l = fm.elidedText(l, Qt::ElideRight, Width());
  DrawTextWithHalo(p, Rect(*this), ToQtAlign(HorzAlign, VertAlign), lines.join(QChar('\n')), FTextSettings.Color,
                   Halo);
  p.setClipping(false);
}

// ---- TImage

TImage::TImage(TSceneObject* AOwner) : TLayeredControl(AOwner) {}

void TImage::SetImage(const QImage& AImage) {
  FImage = AImage;
  Repaint();
}

void TImage::Paint(TCanvas2D& ACanvas) {
  if (FImage.isNull()) return;
  QPainter& p = ACanvas.Begin(*this);
  p.setRenderHint(QPainter::SmoothPixmapTransform, true);
  QSizeF size = QSizeF(FImage.size()).scaled(QSizeF(Width(), Height()), Qt::KeepAspectRatio);
  const QRectF target(QPointF((Width() - size.width()) / 2, (Height() - size.height()) / 2), size);
  p.drawImage(target, FImage);
}

}  // namespace sphaerix
