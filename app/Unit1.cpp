#include "app/Unit1.h"

#include <QDesktopServices>
#include <QBuffer>
#include <QImage>
#include <QImageReader>
#include <QLinearGradient>
#include <QPainter>
#include <QUrl>

#include "app/Unit2.h"
#include "platform/resource_stream.h"
#include "ui/canvas.h"
#include "ui/controls.h"
#include "ui/form_window.h"

#ifndef SPHAERIX_VERSION
#define SPHAERIX_VERSION "0"
#endif

namespace sphaerix {

TForm1* Form1 = nullptr;
const char* const MakerAddress = "https://quorvane.example/sphaerix";

namespace {

TLabel* MakeLabel(TForm1* AForm, const char* AName, float AX, float AY, float AW, float AH,
                  const QString& AText, float ASize, TAlphaColor AColor) {
  auto* l = new TLabel(AForm);
  l->SetName(AName);
  AForm->AddObject(l);
  l->SetBounds(AX, AY, AW, AH);
  l->SetText(AText);
  l->TextSettings().StyledSettings = ssFamily | ssStyle;
  l->TextSettings().Size = ASize;
  l->TextSettings().Color = AColor;
  return l;
}

// The picture read by the toolkit's own PNG reader. Left to find the format itself, the
// toolkit loads every image plugin it has (TIFF, WebP, ...) with its libraries to ask
// whether it knows the data, before the first frame.
QImage ReadPng(const TResourceStream& AStream) {
  QBuffer buffer;
  buffer.setData(reinterpret_cast<const char*>(AStream.Memory()), static_cast<int>(AStream.Size()));
  buffer.open(QIODevice::ReadOnly);
  QImageReader reader(&buffer, "png");
  reader.setAutoDetectImageFormat(false);
  return reader.read();
}

QString WithoutScheme(const QString& AUrl) {
  const int at = AUrl.indexOf(QStringLiteral("://"));
  return at < 0 ? AUrl : AUrl.mid(at + 3);
}

}  // namespace

TForm1::TForm1(TSceneObject* AOwner) : TFormBase(AOwner) {
  SetName("Form1");
  SetCaption(QStringLiteral("About"));
  SetClientSize(515, 265);
  SetPosition(TWindowPlacement::MainFormCenter);
  OpenUrl = [](const QString& AUrl) { QDesktopServices::openUrl(QUrl(AUrl)); };

  SpeedButton1 = new TSpeedButton(this);
  SpeedButton1->SetName("SpeedButton1");
  AddObject(SpeedButton1);
  SpeedButton1->SetBounds(217, 218, 80, 33);
  SpeedButton1->SetText(QStringLiteral("OK"));
  SpeedButton1->TextSettings().StyledSettings = ssFamily | ssStyle;
  SpeedButton1->TextSettings().Size = 16;
  SpeedButton1->TextSettings().Color = 0xFFB8B7B7;
  SpeedButton1->OnClick = [this](TSceneObject* s) { SpeedButton1Click(s); };
  // OK has the focus whenever the window shows (DoShow), as a dialog's default button
  // has; Tab goes from the link to it and back.
  SpeedButton1->SetCanFocus(true);
  SpeedButton1->SetTabOrder(1);
  Dialog = true;

  Image1 = new TImage(this);
  Image1->SetName("Image1");
  AddObject(Image1);
  Image1->SetBounds(32, 32, 205, 135);
  Image1->Description = QStringLiteral("Saturn, Jupiter, the Earth and the Moon");
  TResourceStream picture("AboutPicture");
  Image1->SetImage(ReadPng(picture));

  Label1 = MakeLabel(this, "Label1", 264, 32, 177, 41, QStringLiteral("Sphaerix"), 26, 0xFFADC5E7);
  Label1->Shadow.Enabled = true;
  Label1->Shadow.Distance = 2;
  Label1->Shadow.Direction = 45;
  Label1->Shadow.Softness = 0.1f;
  Label1->Shadow.Opacity = 0.5f;
  Label1->Shadow.ShadowColor = claAqua;
  Label2 = MakeLabel(this, "Label2", 264, 80, 177, 25, QStringLiteral("Quorvane"), 16, 0xFFB8B7B7);
  Label3 = MakeLabel(this, "Label3", 264, 142, 201, 25, WithoutScheme(QString::fromLatin1(MakerAddress)), 16,
                     0xFF6D90D0);
  Label3->SetHitTest(true);
  Label3->Cursor = Qt::PointingHandCursor;
  Label3->OnClick = [this](TSceneObject* s) { Label3Click(s); };
  // The link is reached with Tab and followed with Enter or Space.
  Label3->SetCanFocus(true);
  Label3->SetTabOrder(0);
  // The imagery's licences ask for a credit where the pictures are shown.
  // The program's own licence goes with them.
  Label4 = MakeLabel(this, "Label4", 32, 176, 451, 38,
                     QStringLiteral("Imagery: NASA/JPL-Caltech, NASA Visible Earth, USGS, A. Mellinger (Milky Way),\n"
                                    "J. van Vliet and RVS (Io, Europa; CC BY-SA), the Stellarium and Xplanet projects.\n"
                                    "Sphaerix is free software under the GNU GPL, version 3 or later."),
                     9, 0xFF8A93A6);
  Label4->VertAlign = TTextAlign::Leading;
  // Which release this is, for a report of a fault; under the maker's name.
  Label5 = MakeLabel(this, "Label5", 264, 106, 201, 20, QStringLiteral("Version " SPHAERIX_VERSION), 10,
                     0xFF8A93A6);
  OnKeyDown = [this](TSceneObject* s, int& k, Qt::KeyboardModifiers m) { FormKeyDown(s, k, m); };
  // Some window managers give it a close button whatever it asks for: closing it any way
  // does what OK does, so the main window is active again.
  OnClose = [this](TSceneObject* ASender, TCloseResult& AAction) {
    AAction = TCloseResult::Keep;
    SpeedButton1Click(ASender);
  };
}

TForm1::~TForm1() {
  if (Form1 == this) Form1 = nullptr;
}

void TForm1::ConfigureWindow(TFormWindow& AWindow) {
  // A fixed dialog with a caption but no buttons in it: OK is the way back.
  AWindow.setFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowStaysOnTopHint);
  AWindow.setMinimumSize(QSize(515, 265));
  AWindow.setMaximumSize(QSize(515, 265));
  if (Form2 && Form2->Window()) AWindow.setTransientParent(Form2->Window());
}

void TForm1::DoShow() { SetFocused(SpeedButton1); }

void TForm1::PaintFill(TCanvas2D& ACanvas) {
  QLinearGradient g(0, 0, 0, ClientHeight());
  g.setColorAt(0, ToQColor(0xFF244477));
  g.setColorAt(1, ToQColor(0xFF14141E));
  ACanvas.Painter().fillRect(QRect(0, 0, ClientWidth(), ClientHeight()), g);
}

void TForm1::Label3Click(TSceneObject*) {
  if (OpenUrl) OpenUrl(QString::fromLatin1(MakerAddress));
}

void TForm1::FormKeyDown(TSceneObject*, int& Key, Qt::KeyboardModifiers Shift) {
  if (Shift & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) return;
  if (Key != Qt::Key_Escape && Key != Qt::Key_Return && Key != Qt::Key_Enter) return;
  Key = 0;
  SpeedButton1Click(SpeedButton1);
}

void TForm1::SpeedButton1Click(TSceneObject*) {
  SetFocused(nullptr);
  Hide();
  if (Form2) Form2->Activate();
}

}  // namespace sphaerix
